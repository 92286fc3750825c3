// The help router over a recording engine: which engine gets which command,
// file and data for each incoming request in each mode, the popup record,
// the popup position, the handler chain and the single instance.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "controls/helprouter.h"
#include "platform/base/sysutils.h"
#include "tests/support/temp_dir.h"

namespace helprouter_tests {
namespace {

struct TCall {
  char Engine;  // 'H' HTML help, 'W' WinHelp
  UINT Command;
  WideString File;
  ULONG_PTR Data;
  HWND Caller;
  std::optional<HH_POPUP> Popup;  // a copy taken during the call
  WideString PopupText, PopupFont;
};

// Records every engine call and answers as told.
class TRecordingEngine {
 public:
  TRecordingEngine() {
    THelpEngine E;
    E.HtmlHelp = [this](HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data) -> HWND {
      TCall C{'H', Command, File, Data, Caller, std::nullopt, {}, {}};
      if (Command == HH_DISPLAY_TEXT_POPUP && Data) {
        C.Popup = *reinterpret_cast<const HH_POPUP*>(Data);
        if (C.Popup->pszText) C.PopupText = C.Popup->pszText;
        if (C.Popup->pszFont) C.PopupFont = C.Popup->pszFont;
      }
      Calls.push_back(C);
      return Answer ? reinterpret_cast<HWND>(static_cast<uintptr_t>(0x77)) : nullptr;
    };
    E.WinHelp = [this](HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data) -> BOOL {
      Calls.push_back({'W', Command, File, Data, Caller, std::nullopt, {}, {}});
      return Answer ? TRUE : FALSE;
    };
    SetHelpEngine(E);
  }
  ~TRecordingEngine() { SetHelpEngine(THelpEngine()); }
  std::vector<TCall> Calls;
  bool Answer = true;
};

// A router with a fixed help file, so that no active form can change it.
struct TRouterFixture {
  TRecordingEngine Engine;
  THelpRouter Router{nullptr};
  explicit TRouterFixture(const WideString& HelpFile = u"/h/app.hlp") { Router.SetHelpfile(HelpFile); }
};

const char* TypeName(THelpType T) { return T == htWinhelp ? "WinHelp" : T == htHTMLhelp ? "HTML" : "mixed"; }

TEST(HelpRouterRoutes, CommandsByModeReachTheirEngine) {
  constexpr char None = 0;
  const struct {
    THelpType Type;
    TShowType Show;
    UINT Command;
    intptr_t Data;
    char Engine;  // None: no engine call
    UINT EngineCommand;
    const char16_t* File;
    ULONG_PTR EngineData;
    bool Result;
  } Cases[] = {
      // HTML help: the commands translated, the file with ".chm".
      {htHTMLhelp, stDefault, HELP_CONTEXT, 42, 'H', HH_HELP_CONTEXT, u"/h/app.chm", 42, true},
      {htHTMLhelp, stDefault, HELP_QUIT, 0, 'H', HH_CLOSE_ALL, u"", 0, true},
      {htHTMLhelp, stDefault, HELP_INDEX, 0, 'H', HH_DISPLAY_TOC, u"/h/app.chm", 0, true},
      {htHTMLhelp, stDefault, HELP_FINDER, 0, 'H', HH_DISPLAY_TOC, u"/h/app.chm", 0, true},
      {htHTMLhelp, stDefault, HELP_SETPOPUP_POS, 0x00140010, None, 0, u"", 0, false},
      {htHTMLhelp, stDefault, 15, 0, 'H', HH_DISPLAY_TOC, u"/h/app.chm", 0, true},
      {htHTMLhelp, stDefault, 15, 3, 'H', HH_DISPLAY_INDEX, u"/h/app.chm", 0, true},
      {htHTMLhelp, stDefault, HELP_KEY, 99, 'H', HH_DISPLAY_INDEX, u"/h/app.chm", 99, true},
      {htHTMLhelp, stDefault, HELP_PARTIALKEY, 98, 'H', HH_DISPLAY_INDEX, u"/h/app.chm", 98, true},
      {htHTMLhelp, stDefault, 0x20, 5, None, 0, u"", 0, false},
      {htHTMLhelp, stDefault, 0, 5, None, 0, u"", 0, false},
      // stMain: a context popup becomes a topic, a popup position nothing.
      {htHTMLhelp, stMain, HELP_CONTEXTPOPUP, 7, 'H', HH_HELP_CONTEXT, u"/h/app.chm", 7, true},
      {htHTMLhelp, stMain, HELP_SETPOPUP_POS, 0x00140010, None, 0, u"", 0, false},
      // WinHelp: the command as it came, the file with ".hlp"; 0 answers true alone.
      {htWinhelp, stDefault, HELP_CONTEXT, 42, 'W', HELP_CONTEXT, u"/h/app.hlp", 42, true},
      {htWinhelp, stDefault, HELP_QUIT, 0, 'W', HELP_QUIT, u"/h/app.hlp", 0, true},
      {htWinhelp, stDefault, HELP_CONTEXTPOPUP, 7, 'W', HELP_CONTEXTPOPUP, u"/h/app.hlp", 7, true},
      {htWinhelp, stDefault, HELP_SETPOPUP_POS, 0x00140010, 'W', HELP_SETPOPUP_POS, u"/h/app.hlp", 0x00140010, true},
      {htWinhelp, stDefault, 15, 3, 'W', 15, u"/h/app.hlp", 3, true},
      {htWinhelp, stDefault, HELP_KEY, 99, 'W', HELP_KEY, u"/h/app.hlp", 99, true},
      {htWinhelp, stDefault, 0x20, 5, 'W', 0x20, u"/h/app.hlp", 5, true},
      {htWinhelp, stDefault, 0, 5, None, 0, u"", 0, true},
      {htWinhelp, stMain, HELP_CONTEXTPOPUP, 7, 'W', HELP_CONTEXT, u"/h/app.hlp", 7, true},
      {htWinhelp, stMain, HELP_SETPOPUP_POS, 0x00140010, None, 0, u"", 0, true},
      // Mixed: only popups and their position go to WinHelp.
      {htMixedMode, stDefault, HELP_CONTEXT, 42, 'H', HH_HELP_CONTEXT, u"/h/app.chm", 42, true},
      {htMixedMode, stDefault, HELP_INDEX, 0, 'H', HH_DISPLAY_TOC, u"/h/app.chm", 0, true},
      {htMixedMode, stDefault, HELP_KEY, 99, 'H', HH_DISPLAY_INDEX, u"/h/app.chm", 99, true},
      {htMixedMode, stDefault, HELP_CONTEXTPOPUP, 7, 'W', HELP_CONTEXTPOPUP, u"/h/app.hlp", 7, true},
      {htMixedMode, stDefault, HELP_SETPOPUP_POS, 0x00140010, 'W', HELP_SETPOPUP_POS, u"/h/app.hlp", 0x00140010,
       true},
      {htMixedMode, stMain, HELP_CONTEXTPOPUP, 7, 'H', HH_HELP_CONTEXT, u"/h/app.chm", 7, true},
      {htMixedMode, stMain, HELP_SETPOPUP_POS, 0x00140010, None, 0, u"", 0, false},
  };
  for (const auto& C : Cases) {
    TRouterFixture F;
    F.Router.SetHelpType(C.Type);
    F.Router.SetShowType(C.Show);
    const std::string Where = std::string(TypeName(C.Type)) + (C.Show == stMain ? "/main" : "/default") +
                              ", command " + std::to_string(C.Command) + ", data " + std::to_string(C.Data);
    EXPECT_EQ(Application->HelpCommand(C.Command, C.Data), C.Result) << Where;
    if (C.Engine == None) {
      EXPECT_TRUE(F.Engine.Calls.empty()) << Where;
      continue;
    }
    ASSERT_EQ(F.Engine.Calls.size(), 1u) << Where;
    const TCall& Got = F.Engine.Calls[0];
    EXPECT_EQ(Got.Engine, C.Engine) << Where;
    EXPECT_EQ(Got.Command, C.EngineCommand) << Where;
    EXPECT_EQ(WideToUtf8(Got.File), WideToUtf8(C.File)) << Where;
    EXPECT_EQ(Got.Data, C.EngineData) << Where;
    // WinHelp is told the calling window; HTML help pages open without one.
    if (C.Engine == 'W') EXPECT_EQ(Got.Caller, Application->Handle()) << Where;
    else EXPECT_EQ(Got.Caller, nullptr) << Where;
  }
}

TEST(HelpRouterRoutes, EngineFailuresAnswerFalseExceptForPopups) {
  const struct {
    THelpType Type;
    UINT Command;
    bool Result;
  } Cases[] = {
      {htHTMLhelp, HELP_CONTEXT, false},
      {htHTMLhelp, HELP_CONTEXTPOPUP, true},  // shown or not, the popup request counts as handled
      {htWinhelp, HELP_CONTEXT, false},
      {htWinhelp, 0, true},
  };
  for (const auto& C : Cases) {
    TRouterFixture F;
    F.Engine.Answer = false;
    F.Router.SetHelpType(C.Type);
    EXPECT_EQ(Application->HelpCommand(C.Command, 1), C.Result) << TypeName(C.Type) << " " << C.Command;
    EXPECT_EQ(Application->HelpContext(5), false);
  }
}

TEST(HelpRouterRoutes, FileExtensionsFollowTheEngine) {
  TRouterFixture F(u"/docs/v1.2/guide.chm");
  F.Router.SetHelpType(htWinhelp);
  Application->HelpCommand(HELP_CONTEXT, 1);
  F.Router.SetHelpType(htHTMLhelp);
  Application->HelpCommand(HELP_CONTEXT, 1);
  ASSERT_EQ(F.Engine.Calls.size(), 2u);
  EXPECT_EQ(WideToUtf8(F.Engine.Calls[0].File), "/docs/v1.2/guide.hlp");
  EXPECT_EQ(WideToUtf8(F.Engine.Calls[1].File), "/docs/v1.2/guide.chm");
}

TEST(HelpRouterPopups, RecordPositionAndTopicsFile) {
  TRouterFixture F(u"/h/app.hlp");
  F.Router.SetHelpType(htHTMLhelp);
  // A position set with negative coordinates in both words, then a popup there.
  const intptr_t Packed = static_cast<intptr_t>((static_cast<uint32_t>(static_cast<uint16_t>(-7)) << 16) |
                                                static_cast<uint16_t>(-5));
  EXPECT_FALSE(Application->HelpCommand(HELP_SETPOPUP_POS, Packed));
  EXPECT_TRUE(Application->HelpCommand(HELP_CONTEXTPOPUP, 1234));
  // The next popup without a position is shown at the cursor.
  SetCursorPos(30, 40);
  TPoint Cursor;
  GetCursorPos(&Cursor);
  EXPECT_TRUE(Application->HelpCommand(HELP_CONTEXTPOPUP, 1235));
  ASSERT_EQ(F.Engine.Calls.size(), 2u);
  const TCall& First = F.Engine.Calls[0];
  EXPECT_EQ(First.Command, HH_DISPLAY_TEXT_POPUP);
  EXPECT_EQ(WideToUtf8(First.File), "/h/app.chm::/CSHelp.txt");
  EXPECT_EQ(First.Caller, Application->Handle());
  ASSERT_TRUE(First.Popup);
  EXPECT_EQ(First.Popup->cbStruct, 52);
  EXPECT_EQ(First.Popup->hinst, nullptr);
  EXPECT_EQ(First.Popup->idString, 1234u);
  EXPECT_EQ(First.Popup->pt, TPoint(-5, -7));
  EXPECT_EQ(First.Popup->clrForeground, 0x1FFFFFFFu);
  EXPECT_EQ(First.Popup->clrBackground, 0x1FFFFFFFu);
  EXPECT_EQ(First.Popup->rcMargins, TRect(-1, -1, -1, -1));
  EXPECT_EQ(WideToUtf8(First.PopupFont), "MS Sans Serif, 8");
  ASSERT_TRUE(F.Engine.Calls[1].Popup);
  EXPECT_EQ(F.Engine.Calls[1].Popup->pt, Cursor);
  EXPECT_EQ(F.Engine.Calls[1].Popup->idString, 1235u);

  // A text of its own goes without file and topic.
  F.Engine.Calls.clear();
  EXPECT_TRUE(F.Router.ShowPopupTopic(3, 4, u"Crop the picture", 77));
  ASSERT_EQ(F.Engine.Calls.size(), 1u);
  EXPECT_EQ(WideToUtf8(F.Engine.Calls[0].File), "");
  EXPECT_EQ(F.Engine.Calls[0].Popup->idString, 0u);
  EXPECT_EQ(WideToUtf8(F.Engine.Calls[0].PopupText), "Crop the picture");

  // An emptied topics name comes back as the usual one.
  F.Engine.Calls.clear();
  F.Router.SetCHMPopupTopics(WideString());
  F.Router.ShowPopupTopic(0, 0, WideString(), 9);
  EXPECT_EQ(WideToUtf8(F.Router.CHMPopupTopics()), "CSHelp.txt");
  ASSERT_EQ(F.Engine.Calls.size(), 1u);
  EXPECT_EQ(WideToUtf8(F.Engine.Calls[0].File), "/h/app.chm::/CSHelp.txt");
}

TEST(HelpRouterPopups, TopicsFolders) {
  gt_test::TempDir D("helptopics");
  ASSERT_TRUE(D.Ok());
  const std::string Folder = D.File("topics.hlp");
  ASSERT_EQ(::mkdir(Folder.c_str(), 0755), 0);
  // A folder as the topics file: HTML popups name the folder itself ...
  {
    TRouterFixture F(u"/h/app.hlp");
    F.Router.SetHelpType(htHTMLhelp);
    F.Router.SetCHMPopupTopics(Utf8ToWide(Folder));
    Application->HelpCommand(HELP_CONTEXTPOPUP, 3);
    ASSERT_EQ(F.Engine.Calls.size(), 1u);
    EXPECT_EQ(WideToUtf8(F.Engine.Calls[0].File), Folder);
  }
  // ... and a ".hlp" topics name in mixed mode is WinHelp's file: the folder,
  // or a name beside the help file.
  {
    TRouterFixture F(u"/h/app.chm");
    F.Router.SetHelpType(htMixedMode);
    F.Router.SetCHMPopupTopics(Utf8ToWide(Folder));
    Application->HelpCommand(HELP_CONTEXTPOPUP, 3);
    F.Router.SetCHMPopupTopics(u"pop.HLP");
    Application->HelpCommand(HELP_CONTEXTPOPUP, 4);
    ASSERT_EQ(F.Engine.Calls.size(), 2u);
    EXPECT_EQ(F.Engine.Calls[0].Engine, 'W');
    EXPECT_EQ(WideToUtf8(F.Engine.Calls[0].File), Folder);
    EXPECT_EQ(WideToUtf8(F.Engine.Calls[1].File), "/h/pop.hlp");
  }
}

TEST(HelpRouterHandlers, ChainOfHandlers) {
  std::vector<std::string> Log;
  Application->OnHelp = [&Log](Word Command, intptr_t, bool& CallHelp) {
    Log.push_back("previous " + std::to_string(Command));
    CallHelp = Command != 3;  // keeps command 3 for itself
    return true;
  };
  {
    TRouterFixture F;
    F.Router.SetHelpType(htHTMLhelp);
    // The router's own event comes first and may keep the request.
    F.Router.OnHelp = [&Log](Word Command, intptr_t, bool& CallHelp) {
      Log.push_back("own " + std::to_string(Command));
      if (Command == 11) CallHelp = false;
      return false;
    };
    EXPECT_FALSE(Application->HelpCommand(11, 0));
    EXPECT_TRUE(Application->HelpCommand(3, 0));
    EXPECT_TRUE(Application->HelpCommand(HELP_CONTEXT, 8));
    EXPECT_EQ(Log, (std::vector<std::string>{"own 11", "own 3", "previous 3", "own 1", "previous 1"}));
    ASSERT_EQ(F.Engine.Calls.size(), 1u);
    EXPECT_EQ(F.Engine.Calls[0].Command, HH_HELP_CONTEXT);
  }
  // Gone, the router leaves the previous handler in charge; what it lets
  // through finds no help system of the application's own.
  Log.clear();
  EXPECT_FALSE(Application->HelpCommand(HELP_CONTEXT, 8));
  EXPECT_TRUE(Application->HelpCommand(3, 8));
  EXPECT_EQ(Log, (std::vector<std::string>{"previous 1", "previous 3"}));
  Application->OnHelp = nullptr;
  EXPECT_FALSE(Application->HelpContext(8));
}

TEST(HelpRouterInstances, SecondRouterIsRefusedAndTheFirstKeepsRouting) {
  TRouterFixture F;
  F.Router.SetHelpType(htHTMLhelp);
  EXPECT_EQ(THelpRouter::Instance(), &F.Router);
  TComponent Owner(nullptr);
  try {
    new THelpRouter(&Owner);
    ADD_FAILURE() << "a second router was made";
  } catch (const Exception& E) {
    EXPECT_EQ(WideToUtf8(E.Message()), "Multiple instances of THelpRouter are not allowed");
  }
  EXPECT_EQ(Owner.ComponentCount(), 0);
  EXPECT_EQ(THelpRouter::Instance(), &F.Router);
  EXPECT_TRUE(Application->HelpContext(12));
  ASSERT_EQ(F.Engine.Calls.size(), 1u);
  EXPECT_EQ(F.Engine.Calls[0].Data, 12u);
  // A third one is refused as well.
  EXPECT_THROW(THelpRouter Third(nullptr), Exception);
}

TEST(HelpRouterForms, OwnerThatIsNoFormIsAnInvalidCast) {
  ASSERT_EQ(Screen->ActiveCustomForm(), nullptr);
  TRecordingEngine Engine;
  TComponent Owner(nullptr);
  auto* Router = new THelpRouter(&Owner);
  EXPECT_THROW(Router->ActiveHelpForm(), EInvalidCast);
  // Owned by a form, the form is the help form and its help file counts.
  delete Router;
  TForm Form(nullptr);
  Form.HandleNeeded();
  Form.SetHelpFile(u"/f/form.hlp");
  Application->SetHelpFile(u"/a/app.hlp");
  THelpRouter Owned(&Form);
  EXPECT_EQ(Owned.ActiveHelpForm(), &Form);
  EXPECT_EQ(WideToUtf8(Owned.CurrentHelpFile()), "/f/form.hlp");
  EXPECT_EQ(Owned.HelpCallerWindow(), Form.Handle());
  Form.SetHelpFile(WideString());
  EXPECT_EQ(WideToUtf8(Owned.CurrentHelpFile()), "/a/app.hlp");
  Application->SetHelpFile(WideString());
}

}  // namespace
}  // namespace helprouter_tests
