// The open and save dialogs, the folder picker, the input box, the colour,
// font and printer set-up dialogs: what the caller gets back for what the user
// does in the real dialog, driven through the test hooks.
#include <sys/stat.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "platform/base/sysutils.h"
#include "platform/ui/choosedialogs.h"
#include "platform/ui/filedialogs.h"
#include "platform/ui/printers.h"
#include "platform/ui/stdctrls.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "uitest.h"
#include "wm_test_util.h"

namespace test_filedialogs_tests {

WideString W(const std::string& S) { return Utf8ToWide(S); }

void Touch(const std::string& Path) { std::ofstream(Path) << "x"; }

// A folder with a few files, a dialog over it and the hooks reset afterwards.
class FileDialogTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_TRUE(Dir.Ok());
    Touch(Dir.File("a.png"));
    Touch(Dir.File("b.png"));
    Touch(Dir.File("c.jpg"));
  }
  void TearDown() override {
    GtSetFileDialogHook(nullptr);
    GtSetFolderPickerHook(nullptr);
    GtSetDialogFormHook(nullptr);
    GtSetChooseDialogHook(nullptr);
    UiTest::TearDown();
  }
  WideString InDir(const std::string& Name) const { return W(Dir.File(Name)); }
  gt_test::TempDir Dir{"filedlg"};
};

TEST_F(FileDialogTest, OverwritePromptAnsweredNoKeepsTheDialogAndYesAcceptsTheName) {
  TSaveDialog D(Form.get());
  D.SetInitialDir(W(Dir.Path));
  D.SetOptions(TOpenOptions{ofOverwritePrompt});
  std::vector<WideString> Asked;
  Integer Answer = IDNO;
  GtSetMessageBoxHook([&](const WideString& Text, const WideString&, UINT Type) {
    Asked.push_back(Text);
    EXPECT_EQ(Type & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
    return Answer;
  });
  bool FirstClosed = true, SecondClosed = false;
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    S.TypeName(u"a.png");
    FirstClosed = S.Accept();
    EXPECT_TRUE(IsWindowVisible(S.Dialog()));
    // A new name is taken without a question.
    S.TypeName(u"new.png");
    Answer = IDYES;
    S.TypeName(u"b.png");
    SecondClosed = S.Accept();
  });
  EXPECT_TRUE(D.Execute());
  EXPECT_FALSE(FirstClosed);
  EXPECT_TRUE(SecondClosed);
  ASSERT_EQ(Asked.size(), 2u);
  EXPECT_NE(Asked[0].find(InDir("a.png")), WideString::npos);
  EXPECT_NE(Asked[1].find(InDir("b.png")), WideString::npos);
  EXPECT_EQ(D.FileName(), InDir("b.png"));

  // Without the option, and in an open dialog with it, nobody is asked.
  Asked.clear();
  D.SetOptions(TOpenOptions{});
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    S.TypeName(u"a.png");
    EXPECT_TRUE(S.Accept());
  });
  EXPECT_TRUE(D.Execute());
  TOpenDialog O(Form.get());
  O.SetInitialDir(W(Dir.Path));
  O.SetOptions(TOpenOptions{ofOverwritePrompt});
  EXPECT_TRUE(O.Execute());
  EXPECT_TRUE(Asked.empty());
  EXPECT_EQ(O.FileName(), InDir("a.png"));
}

TEST_F(FileDialogTest, DefaultExtIsAddedOnlyToANameWithoutExtension) {
  struct TCase {
    const char* Typed;
    const char16_t* DefaultExt;
    const char* Expected;
  } Cases[] = {
      {"pic", u"png", "pic.png"},
      {"pic", u".png", "pic.png"},  // a leading dot is not doubled
      {"pic.jpg", u"png", "pic.jpg"},
      {"archive.tar.gz", u"png", "archive.tar.gz"},
      {"pic", u"", "pic"},
      {".hidden", u"png", ".hidden.png"},  // a leading dot marks a hidden file, not an extension
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Typed);
    TSaveDialog D(Form.get());
    D.SetInitialDir(W(Dir.Path));
    D.SetDefaultExt(C.DefaultExt);
    GtSetFileDialogHook([&](TGtFileDialogScript& S) {
      S.TypeName(W(C.Typed));
      EXPECT_TRUE(S.Accept());
    });
    ASSERT_TRUE(D.Execute());
    EXPECT_EQ(D.FileName(), InDir(C.Expected));
    EXPECT_EQ(D.Files()->Count(), 1);
    EXPECT_EQ(D.Files()->Strings(0), InDir(C.Expected));
  }
  // A folder whose name has a dot does not count as the file's extension.
  const std::string Sub = Dir.File("v1.2");
  ASSERT_EQ(mkdir(Sub.c_str(), 0700), 0);
  EXPECT_EQ(GtAddDefaultExt(W(Sub + "/pic"), u"png"), W(Sub + "/pic.png"));
  // ofExtensionDifferent tells the caller whether the extension was the default one.
  TSaveDialog D(Form.get());
  D.SetInitialDir(W(Dir.Path));
  D.SetDefaultExt(u"png");
  for (auto [Typed, Different] : {std::pair{"x.jpg", true}, {"x", false}, {"x.PNG", false}}) {
    GtSetFileDialogHook([&, Typed = Typed](TGtFileDialogScript& S) {
      S.TypeName(W(Typed));
      S.Accept();
    });
    ASSERT_TRUE(D.Execute());
    EXPECT_EQ(D.Options().Contains(ofExtensionDifferent), Different) << Typed;
  }
}

TEST_F(FileDialogTest, CanCloseVetoKeepsTheDialogAndTheHandlerSeesTheChosenNames) {
  TOpenDialog D(Form.get());
  D.SetInitialDir(W(Dir.Path));
  D.SetFileName(u"before");
  std::vector<WideString> Seen;
  Integer Calls = 0;
  D.OnCanClose = [&](TObject* Sender, bool& CanClose) {
    EXPECT_EQ(Sender, &D);
    Seen.push_back(D.FileName());
    EXPECT_EQ(D.Files()->Count(), 1);
    CanClose = ++Calls > 1;
  };
  bool FirstClosed = true;
  WideString NameAfterVeto;
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    S.TypeName(u"c.jpg");
    FirstClosed = S.Accept();
    EXPECT_TRUE(IsWindowVisible(S.Dialog()));
    S.TypeName(u"a.png");
    EXPECT_TRUE(S.Accept());
  });
  EXPECT_TRUE(D.Execute());
  EXPECT_FALSE(FirstClosed);
  EXPECT_EQ(Seen, (std::vector<WideString>{InDir("c.jpg"), InDir("a.png")}));
  EXPECT_EQ(D.FileName(), InDir("a.png"));

  // Vetoed every time, then cancelled: the earlier result stays.
  D.OnCanClose = [](TObject*, bool& CanClose) { CanClose = false; };
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    S.TypeName(u"b.png");
    EXPECT_FALSE(S.Accept());
    S.Cancel();
  });
  EXPECT_FALSE(D.Execute());
  EXPECT_EQ(D.FileName(), InDir("a.png"));
  ASSERT_EQ(D.Files()->Count(), 1);
  EXPECT_EQ(D.Files()->Strings(0), InDir("a.png"));
}

TEST_F(FileDialogTest, MustExistChecksKeepTheDialogWithAMessage) {
  struct TCase {
    TOpenOptions Options;
    const char* Typed;
    bool Closes;
    const char16_t* Message;
  } Cases[] = {
      {TOpenOptions{ofFileMustExist}, "missing.png", false, u"File not found"},
      {TOpenOptions{ofFileMustExist}, "a.png", true, nullptr},
      {TOpenOptions{ofPathMustExist}, "nofolder/x.png", false, u"Path does not exist"},
      {TOpenOptions{ofPathMustExist}, "missing.png", true, nullptr},
      {TOpenOptions{}, "missing.png", true, nullptr},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Typed);
    TOpenDialog D(Form.get());
    D.SetInitialDir(W(Dir.Path));
    D.SetOptions(C.Options);
    std::vector<WideString> Messages;
    GtSetMessageBoxHook([&](const WideString& Text, const WideString&, UINT) {
      Messages.push_back(Text);
      return IDOK;
    });
    bool Closed = false;
    GtSetFileDialogHook([&](TGtFileDialogScript& S) {
      S.TypeName(W(C.Typed));
      Closed = S.Accept();
    });
    EXPECT_EQ(D.Execute(), C.Closes);
    EXPECT_EQ(Closed, C.Closes);
    if (C.Message) {
      ASSERT_EQ(Messages.size(), 1u);
      EXPECT_NE(Messages[0].find(C.Message), WideString::npos);
    } else {
      EXPECT_TRUE(Messages.empty());
    }
  }
}

TEST_F(FileDialogTest, HostedPanelAndStripSitInTheDialogAndReturnToTheirOwnerAfterwards) {
  auto* Panel = new TPanel(Form.get());
  Panel->SetParent(Form.get());
  Panel->SetBounds(7, 9, 120, 150);
  Panel->SetVisible(false);
  auto* Inner = new TButton(Form.get());
  Inner->SetParent(Panel);
  Inner->SetBounds(4, 4, 60, 22);
  auto* Strip = new TPanel(Form.get());
  Strip->SetParent(Form.get());
  Strip->SetBounds(3, 170, 90, 30);
  Strip->SetAlign(alBottom);
  for (bool Save : {false, true}) {
    SCOPED_TRACE(Save ? "save" : "open");
    std::unique_ptr<TOpenDialog> D(Save ? new TSaveDialog(Form.get()) : new TOpenDialog(Form.get()));
    D->SetInitialDir(W(Dir.Path));
    D->SetHostedPanel(Panel);
    D->SetHostedStrip(Strip);
    bool Checked = false;
    D->OnShow = [&](TObject*) {
      // Laid out by the time the dialog announces itself.
      EXPECT_GE(Panel->Width(), 120);
      EXPECT_GE(Panel->Height(), 150);
      EXPECT_EQ(Strip->Height(), 30);
    };
    GtSetFileDialogHook([&](TGtFileDialogScript& S) {
      HWND PanelHost = S.PanelHost(), StripHost = S.StripHost();
      ASSERT_TRUE(PanelHost && StripHost);
      EXPECT_EQ(GetParent(Panel->Handle()), PanelHost);
      EXPECT_EQ(GetParent(Strip->Handle()), StripHost);
      EXPECT_EQ(GetAncestorWindow(Inner->Handle()), S.Dialog());
      EXPECT_TRUE(Panel->Showing());
      EXPECT_TRUE(Strip->Showing());
      EXPECT_TRUE(IsWindowVisible(Inner->Handle()));
      // The panel beside the standard controls, the strip under both, across the dialog.
      TRect Client, P, St;
      GetClientRect(S.Dialog(), &Client);
      GetWindowRect(Panel->Handle(), &P);
      GetWindowRect(Strip->Handle(), &St);
      EXPECT_GE(St.Top, P.Bottom);
      EXPECT_GT(St.Width(), Client.Width() * 9 / 10);
      EXPECT_GT(P.Left, St.Left + St.Width() / 2);
      S.Cancel();
      Checked = true;
    });
    EXPECT_FALSE(D->Execute());
    EXPECT_TRUE(Checked);
    EXPECT_EQ(Panel->Parent(), Form.get());
    EXPECT_EQ(GetParent(Panel->Handle()), Form->Handle());
    EXPECT_EQ(Panel->Align(), alNone);
    EXPECT_EQ(Panel->Left(), 7);
    EXPECT_EQ(Panel->Top(), 9);
    EXPECT_EQ(Panel->Width(), 120);
    EXPECT_EQ(Panel->Height(), 150);
    EXPECT_FALSE(Panel->Visible());
    EXPECT_EQ(Inner->Parent(), Panel);
    EXPECT_EQ(Strip->Parent(), Form.get());
    EXPECT_EQ(Strip->Align(), alBottom);
    EXPECT_EQ(Strip->Height(), 30);
    EXPECT_TRUE(Strip->Visible());
  }
  // A panel freed while the dialog shows is not touched afterwards (asan).
  TOpenDialog D(Form.get());
  D.SetHostedPanel(Panel);
  D.SetHostedStrip(Strip);
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    delete Panel;
    EXPECT_EQ(D.HostedPanel(), nullptr);
    EXPECT_EQ(D.HostedStrip(), Strip);
    S.Cancel();
  });
  EXPECT_FALSE(D.Execute());
  EXPECT_EQ(Strip->Parent(), Form.get());
}

TEST_F(FileDialogTest, FiltersAndFilterIndexRoundTripAndTypeChangesAreReportedOnce) {
  TOpenDialog D(Form.get());
  D.SetInitialDir(W(Dir.Path));
  D.SetFilter(u"PNG pictures|*.png|JPEG pictures|*.jpg;*.jpeg|Everything|*");
  D.SetFilterIndex(2);
  std::vector<Integer> TypeChanges;
  D.OnTypeChange = [&](TObject*) { TypeChanges.push_back(D.FilterIndex()); };
  Integer ShownFirst = 0;
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    ShownFirst = S.ShownType();
    S.ChooseType(3);
    S.ChooseType(3);  // the same row again: no change
    S.ChooseType(1);
    EXPECT_EQ(D.FilterIndex(), 1);  // live while shown
    S.TypeName(u"a.png");
    S.Accept();
  });
  ASSERT_TRUE(D.Execute());
  EXPECT_EQ(ShownFirst, 2);
  EXPECT_EQ(TypeChanges, (std::vector<Integer>{3, 1}));
  EXPECT_EQ(D.FilterIndex(), 1);

  // A cancelled dialog keeps the stored index whatever was chosen in it; an
  // index outside the rows shows the first.
  D.SetFilterIndex(9);
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    ShownFirst = S.ShownType();
    S.ChooseType(2);
    S.Cancel();
  });
  EXPECT_FALSE(D.Execute());
  EXPECT_EQ(ShownFirst, 1);
  EXPECT_EQ(D.FilterIndex(), 9);
  EXPECT_EQ(D.FileName(), InDir("a.png"));
}

TEST_F(FileDialogTest, MultiSelectFillsFilesWithFullPaths) {
  TOpenDialog D(Form.get());
  D.SetInitialDir(W(Dir.Path));
  D.SetOptions(TOpenOptions{ofAllowMultiSelect, ofFileMustExist});
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    S.TypeName(u"\"a.png\" \"c.jpg\" \"b.png\"");
    EXPECT_TRUE(S.Accept());
  });
  ASSERT_TRUE(D.Execute());
  ASSERT_EQ(D.Files()->Count(), 3);
  EXPECT_EQ(D.Files()->Strings(0), InDir("a.png"));
  EXPECT_EQ(D.Files()->Strings(1), InDir("c.jpg"));
  EXPECT_EQ(D.Files()->Strings(2), InDir("b.png"));
  EXPECT_EQ(D.FileName(), InDir("a.png"));
  // A second run replaces the list; one missing file of several keeps the dialog.
  GtSetMessageBoxHook([](const WideString&, const WideString&, UINT) { return IDOK; });
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    S.TypeName(u"\"b.png\" \"gone.png\"");
    EXPECT_FALSE(S.Accept());
    S.TypeName(u"\"b.png\"");
    EXPECT_TRUE(S.Accept());
  });
  ASSERT_TRUE(D.Execute());
  ASSERT_EQ(D.Files()->Count(), 1);
  EXPECT_EQ(D.Files()->Strings(0), InDir("b.png"));
}

TEST_F(FileDialogTest, EventsComeInTheirOrderAndLiveStateAnswersWhileShown) {
  const std::string Sub = Dir.File("sub");
  ASSERT_EQ(mkdir(Sub.c_str(), 0700), 0);
  Touch(Sub + "/z.png");
  TOpenDialog D(Form.get());
  D.SetInitialDir(W(Dir.Path));
  D.SetFileName(u"a.png");
  std::vector<std::string> Log;
  D.OnShow = [&](TObject*) { Log.push_back("show"); };
  D.OnFolderChange = [&](TObject*) { Log.push_back("folder " + WideToUtf8(D.CurrentFolder())); };
  D.OnSelectionChange = [&](TObject*) {
    if (Log.empty() || Log.back() != "selection") Log.push_back("selection");
  };
  D.OnClose = [&](TObject*) {
    Log.push_back("close");
    EXPECT_EQ(D.Handle(), nullptr);
  };
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    EXPECT_EQ(D.Handle(), S.Dialog());
    EXPECT_EQ(D.EditText(), u"a.png");
    EXPECT_EQ(D.FileName(), InDir("a.png"));
    D.SetEditText(u"b.png");
    EXPECT_EQ(D.FileName(), InDir("b.png"));
    S.ChangeFolder(W(Sub));
    EXPECT_TRUE(S.SelectFile(u"z.png"));
    S.Cancel();
  });
  EXPECT_FALSE(D.Execute());
  EXPECT_EQ(Log, (std::vector<std::string>{"show", "folder " + Sub, "selection", "close"}));
  EXPECT_EQ(D.FileName(), u"a.png");
  EXPECT_EQ(D.Handle(), nullptr);
  // Confirming a folder's name opens it instead of closing the dialog.
  Log.clear();
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    S.TypeName(u"sub");
    EXPECT_FALSE(S.Accept());
    S.TypeName(u"z.png");
    EXPECT_TRUE(S.Accept());
  });
  EXPECT_TRUE(D.Execute());
  EXPECT_EQ(D.FileName(), W(Sub + "/z.png"));
  EXPECT_EQ(Log, (std::vector<std::string>{"show", "folder " + Sub, "close"}));
}

TEST_F(FileDialogTest, AFailingHandlerOrTheWindowClosingNeverEndsTheProgram) {
  TOpenDialog D(Form.get());
  D.SetInitialDir(W(Dir.Path));
  std::vector<std::string> Reported;
  Application->OnException = [&](TObject*, Exception& E) { Reported.push_back(WideToUtf8(E.Message())); };
  D.OnCanClose = [](TObject*, bool&) { throw Exception("cannot tell"); };
  bool Closed = true;
  GtSetFileDialogHook([&](TGtFileDialogScript& S) {
    S.TypeName(u"a.png");
    // The failure is reported and the dialog goes on.
    Closed = S.Accept();
    EXPECT_TRUE(IsWindowVisible(S.Dialog()));
    // The window manager's close button cancels; the dialog is not freed under its own loop (asan).
    SendMessage(S.Dialog(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(S.Dialog()));
  });
  EXPECT_FALSE(D.Execute());
  EXPECT_FALSE(Closed);
  EXPECT_EQ(Reported, std::vector<std::string>{"cannot tell"});
  EXPECT_EQ(D.FileName(), u"");
}

// The folder picker's callback as the picker component writes it.
struct TPickerLog {
  std::vector<std::string> Calls;
  WideString Preselect, OkText;
  bool OnlyWithPath = false;
  Integer ValidateAnswer = 0;
};

Integer PickerCallback(HWND Wnd, UINT Msg, LPARAM LParam, LPARAM Data) {
  auto* L = reinterpret_cast<TPickerLog*>(Data);
  switch (Msg) {
    case BFFM_INITIALIZED:
      L->Calls.push_back("init");
      if (!L->Preselect.empty()) SendMessage(Wnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(&L->Preselect));
      if (!L->OkText.empty()) SendMessage(Wnd, BFFM_SETOKTEXT, 0, reinterpret_cast<LPARAM>(&L->OkText));
      SetWindowText(Wnd, u"Pick a folder");
      break;
    case BFFM_SELCHANGED: {
      const WideString& P = *reinterpret_cast<const WideString*>(LParam);
      L->Calls.push_back("sel " + WideToUtf8(P));
      if (L->OnlyWithPath) SendMessage(Wnd, BFFM_ENABLEOK, 0, P.find(u"locked") == WideString::npos);
      break;
    }
    case BFFM_VALIDATEFAILEDW:
      L->Calls.push_back("invalid " + WideToUtf8(*reinterpret_cast<const WideString*>(LParam)));
      return L->ValidateAnswer;
  }
  return 0;
}

TEST_F(FileDialogTest, FolderPickerPreselectsReportsSelectionsAndAnswersThePath) {
  const std::string One = Dir.File("one"), Locked = Dir.File("locked");
  ASSERT_EQ(mkdir(One.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(Locked.c_str(), 0700), 0);
  TPickerLog Log;
  Log.Preselect = W(One);
  Log.OkText = u"Copy here";
  Log.OnlyWithPath = true;
  WideString Display;
  TGtBrowseInfo Info;
  Info.Root = W(Dir.Path);
  Info.pszDisplayName = &Display;
  Info.lpfn = PickerCallback;
  Info.lParam = reinterpret_cast<LPARAM>(&Log);
  WideString Caption;
  GtSetFolderPickerHook([&](TGtFolderPickerScript& S) {
    EXPECT_EQ(S.Selected(), W(One));
    EXPECT_EQ(S.OkCaption(), u"Copy here");
    Caption = GtGetWindowText(S.Dialog());
    // Above the root the picker does not go.
    S.Select(W(Dir.Path + "/.."));
    EXPECT_TRUE(GtTestPumpUntil([&] { return S.Selected() == W(Dir.Path); }, 2000)) << WideToUtf8(S.Selected());
    S.Select(W(Locked));
    EXPECT_FALSE(S.OkEnabled());
    EXPECT_FALSE(S.Accept());
    S.Select(W(One));
    EXPECT_TRUE(S.OkEnabled());
    EXPECT_TRUE(S.Accept());
  });
  EXPECT_EQ(GtBrowseForFolder(Info), W(One));
  EXPECT_EQ(Display, u"one");
  EXPECT_EQ(Caption, u"Pick a folder");
  EXPECT_EQ(Log.Calls,
            (std::vector<std::string>{"init", "sel " + One, "sel " + Dir.Path, "sel " + Locked, "sel " + One}));

  // A typed name that is no folder: with validation the callback decides.
  for (Integer Answer : {1, 0}) {
    SCOPED_TRACE(Answer);
    TPickerLog L2;
    L2.ValidateAnswer = Answer;
    Info.lParam = reinterpret_cast<LPARAM>(&L2);
    Info.ulFlags = BIF_VALIDATE | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    bool Closed = false;
    GtSetFolderPickerHook([&](TGtFolderPickerScript& S) {
      S.TypeName(u"nowhere");
      Closed = S.Accept();
      if (!Closed) S.Cancel();
    });
    EXPECT_EQ(GtBrowseForFolder(Info), u"");
    EXPECT_EQ(Closed, Answer == 0);
    EXPECT_EQ(L2.Calls.back(), "invalid nowhere");
  }
}

TEST_F(FileDialogTest, InputQueryChangesTheValueOnlyOnOk) {
  for (Integer Result : {mrCancel, mrOk}) {
    WideString Value = u"old.png";
    WideString Shown, Caption;
    GtSetDialogFormHook([&](TForm* F) {
      Caption = F->Caption();
      auto* E = dynamic_cast<TEdit*>(F->FindComponent(u"Edit"));
      EXPECT_NE(E, nullptr);
      if (!E) return static_cast<Integer>(mrCancel);
      Shown = E->Text();
      E->SetText(u"new.png");
      return Result;
    });
    EXPECT_EQ(InputQuery(u"Rename", u"", Value), Result == mrOk);
    EXPECT_EQ(Shown, u"old.png");
    EXPECT_EQ(Caption, u"Rename");
    EXPECT_EQ(Value, Result == mrOk ? u"new.png" : u"old.png");
  }
  // The real box: Escape cancels whatever was typed.
  GtSetDialogFormHook(nullptr);
  TTimer T(nullptr);
  T.SetInterval(20);
  T.OnTimer = [&](TObject*) {
    auto* Active = dynamic_cast<TCustomForm*>(FindControl(GetActiveWindow()));
    if (!Active || !Active->FormState().Contains(fsModal)) return;
    T.SetEnabled(false);
    auto* E = dynamic_cast<TEdit*>(Active->FindComponent(u"Edit"));
    ASSERT_NE(E, nullptr);
    E->SetText(u"typed");
    GtTestKey(E->Handle(), true, VK_ESCAPE);
  };
  T.SetEnabled(true);
  WideString Value = u"kept";
  EXPECT_FALSE(InputQuery(u"Rename", u"New name:", Value));
  EXPECT_EQ(Value, u"kept");
}

TEST_F(FileDialogTest, ColorAndFontDialogsTakeTheChoiceOnlyOnOk) {
  TColorDialog C(Form.get());
  C.SetColor(static_cast<TColor>(0x112233));
  std::vector<std::string> Log;
  C.OnShow = [&](TObject*) { Log.push_back("show"); };
  C.OnClose = [&](TObject*) { Log.push_back("close"); };
  for (bool Ok : {false, true}) {
    TColor Offered = clNone;
    GtSetChooseDialogHook([&](TFont* F, TColor* Colour) {
      EXPECT_EQ(F, nullptr);
      Offered = *Colour;
      *Colour = static_cast<TColor>(0x445566);
      return Ok;
    });
    EXPECT_EQ(C.Execute(), Ok);
    EXPECT_EQ(Offered, static_cast<TColor>(0x112233));
  }
  EXPECT_EQ(C.Color(), static_cast<TColor>(0x445566));
  EXPECT_EQ(Log, (std::vector<std::string>{"show", "close", "show", "close"}));

  TFontDialog F(Form.get());
  F.Font()->SetName(u"DejaVu Sans");
  F.Font()->SetSize(12);
  F.Font()->SetColor(static_cast<TColor>(0x0000FF));
  for (bool Ok : {false, true}) {
    GtSetChooseDialogHook([&](TFont* Font, TColor* Colour) {
      EXPECT_EQ(Colour, nullptr);
      EXPECT_EQ(Font->Name(), u"DejaVu Sans");
      EXPECT_EQ(Font->Size(), 12);
      Font->SetName(u"Liberation Serif");
      Font->SetSize(20);
      Font->SetStyle(TFontStyles{fsBold});
      return Ok;
    });
    EXPECT_EQ(F.Execute(), Ok);
    if (!Ok) {
      EXPECT_EQ(F.Font()->Name(), u"DejaVu Sans");
    }
  }
  EXPECT_EQ(F.Font()->Name(), u"Liberation Serif");
  EXPECT_EQ(F.Font()->Size(), 20);
  EXPECT_TRUE(F.Font()->Style().Contains(fsBold));
  EXPECT_EQ(F.Font()->Color(), static_cast<TColor>(0x0000FF));
}

TEST_F(FileDialogTest, PrinterSetupSetsOrientationOnlyOnOk) {
  const TPrinterOrientation Before = Printer()->Orientation();
  Printer()->SetOrientation(poPortrait);
  TPrinterSetupDialog D(Form.get());
  for (Integer Result : {mrCancel, mrOk}) {
    GtSetDialogFormHook([&](TForm* F) {
      auto* O = dynamic_cast<TRadioGroup*>(F->FindComponent(u"Orientation"));
      auto* P = dynamic_cast<TComboBox*>(F->FindComponent(u"Printers"));
      EXPECT_TRUE(O && P);
      if (!O || !P) return static_cast<Integer>(mrCancel);
      EXPECT_EQ(O->ItemIndex(), 0);
      EXPECT_EQ(P->Items()->Count(), Printer()->Printers()->Count());
      O->SetItemIndex(1);
      return Result;
    });
    EXPECT_EQ(D.Execute(), Result == mrOk);
    EXPECT_EQ(Printer()->Orientation(), Result == mrOk ? poLandscape : poPortrait);
  }
  Printer()->SetOrientation(Before);
}

TEST(XvfbFileDialog, XvfbANameTypedIntoTheRealSaveDialogAndReturnIsTheResult) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/platform/ui/xvfb_checks.sh)";
  ASSERT_TRUE(gt_test::HaveTool("xdotool")) << "needs xdotool";
  ASSERT_TRUE(gt_test::HaveTool("openbox")) << "needs openbox";
  gt_test::TXWindowManager Wm;
  ASSERT_TRUE(Wm.Ready);
  gt_test::TempDir Dir("filedlg-x");
  ASSERT_TRUE(Dir.Ok());
  TSaveDialog D(nullptr);
  D.SetInitialDir(W(Dir.Path));
  D.SetTitle(u"Save the picture as");
  D.SetDefaultExt(u"png");
  // A red panel and a blue strip inside the dialog, read back from the screen while it shows.
  TForm Keeper(nullptr);
  auto* Panel = new TPanel(&Keeper);
  Panel->SetParent(&Keeper);
  Panel->SetBounds(0, 0, 160, 200);
  Panel->SetBevelOuter(bvNone);
  Panel->SetColor(clRed);
  D.SetHostedPanel(Panel);
  auto* Strip = new TPanel(&Keeper);
  Strip->SetParent(&Keeper);
  Strip->SetBounds(0, 0, 100, 24);
  Strip->SetBevelOuter(bvNone);
  Strip->SetColor(clBlue);
  D.SetHostedStrip(Strip);
  std::vector<uint32_t> Seen;
  TTimer Look(nullptr);
  Look.SetInterval(50);
  Look.OnTimer = [&](TObject*) {
    if (!D.Handle() || !IsWindowVisible(D.Handle()) || !Panel->Showing()) return;
    std::vector<uint32_t> Now, Pixel;
    for (TWinControl* C : {static_cast<TWinControl*>(Panel), static_cast<TWinControl*>(Strip)}) {
      const TPoint P = C->ClientToScreen(TPoint(C->Width() / 2, C->Height() / 2));
      if (GtTestScreenPixels(P.X, P.Y, 1, 1, Pixel) && Pixel.size() == 1) Now.push_back(Pixel[0]);
    }
    Seen = Now;
    if (Seen == std::vector<uint32_t>{0xFF0000, 0x0000FF}) Look.SetEnabled(false);
  };
  Look.SetEnabled(true);
  // Should the keys go astray, the dialog is closed instead of waiting forever.
  TTimer Guard(nullptr);
  Guard.SetInterval(20000);
  Guard.OnTimer = [&](TObject*) {
    Guard.SetEnabled(false);
    if (D.Handle()) PostMessage(D.Handle(), WM_CLOSE, 0, 0);
  };
  Guard.SetEnabled(true);
  int Typed = -1;
  std::thread Typist([&] {
    Typed = gt_test::Shell(
        "timeout 30 sh -c \"xdotool search --sync --onlyvisible --name 'Save the picture as' windowactivate windowfocus && "
        "sleep 0.5 && xdotool type --delay 30 holiday && sleep 0.2 && xdotool key Return\"");
  });
  const bool Ok = D.Execute();
  Typist.join();
  EXPECT_EQ(Typed, 0);
  EXPECT_TRUE(Ok);
  EXPECT_EQ(D.FileName(), W(Dir.File("holiday.png")));
  EXPECT_EQ(Seen, (std::vector<uint32_t>{0xFF0000, 0x0000FF}));
  EXPECT_EQ(Panel->Parent(), &Keeper);
}

TEST(XvfbFileDialog, XvfbAFolderNameTypedIntoTheRealFolderPickerAndReturnIsTheResult) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/platform/ui/xvfb_checks.sh)";
  ASSERT_TRUE(gt_test::HaveTool("xdotool")) << "needs xdotool";
  ASSERT_TRUE(gt_test::HaveTool("openbox")) << "needs openbox";
  gt_test::TXWindowManager Wm;
  ASSERT_TRUE(Wm.Ready);
  gt_test::TempDir Dir("picker-x");
  ASSERT_TRUE(Dir.Ok());
  ASSERT_EQ(mkdir(Dir.File("albums").c_str(), 0700), 0);
  TPickerLog Log;
  Log.OkText = u"Copy here";
  TGtBrowseInfo Info;
  Info.Root = W(Dir.Path);
  Info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
  Info.lParam = reinterpret_cast<LPARAM>(&Log);
  HWND Shown = nullptr;
  TTimer Guard(nullptr);
  Guard.SetInterval(100);
  Integer Ticks = 0;
  Guard.OnTimer = [&](TObject*) {
    // The picker's window is the one the callback was given; closed should the keys go astray.
    if (++Ticks == 200 && Shown) PostMessage(Shown, WM_CLOSE, 0, 0);
  };
  Guard.SetEnabled(true);
  Info.lpfn = [&](HWND Wnd, UINT Msg, LPARAM LParam, LPARAM Data) {
    if (Msg == BFFM_INITIALIZED) Shown = Wnd;
    return PickerCallback(Wnd, Msg, LParam, Data);
  };
  int Typed = -1;
  std::thread Typist([&] {
    Typed = gt_test::Shell(
        "timeout 30 sh -c \"xdotool search --sync --onlyvisible --name 'Pick a folder' windowactivate windowfocus && "
        "sleep 0.5 && xdotool type --delay 30 albums && sleep 0.2 && xdotool key Return\"");
  });
  const WideString Chosen = GtBrowseForFolder(Info);
  Typist.join();
  EXPECT_EQ(Typed, 0);
  EXPECT_EQ(Chosen, W(Dir.File("albums")));
  EXPECT_EQ(Log.Calls.front(), "init");
}

}  // namespace test_filedialogs_tests
