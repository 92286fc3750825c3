// Drag and drop: dropped-file handles and their queries, file lists on the
// clipboard with the cut marker, files dropped by other programs (as
// WM_DROPFILES and through registered OLE targets), and the class library's
// drag of one control onto another.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/fileutils.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/dragdrop.h"
#include "tests/support/temp_dir.h"
#include "uitest.h"

namespace test_dragdrop_tests {

// A name with a blank, one with letters outside ASCII, and one whose bytes
// are not UTF-8 (0xFF, as older systems wrote Latin-1 names).
std::vector<WideString> OddNames() {
  return {u"/tmp/with blank/a b.png", u"/tmp/Ünïcødé/ファイル#1%.jpg", WideFileName("/tmp/raw\xFF\xFEname.bmp")};
}

// The names of a handle, read as the shell layer reads them: count first, then
// each name into a large buffer.
std::vector<WideString> ReadAll(HDROP H) {
  std::vector<WideString> Out;
  UINT N = DragQueryFileW(H, 0xFFFFFFFFu, nullptr, 0);
  for (UINT i = 0; i < N; ++i) {
    WCHAR Buf[2601];
    UINT Len = DragQueryFileW(H, i, Buf, 2601);
    if (Len == 0 || Len >= 2601) break;
    Out.emplace_back(Buf, Len);
  }
  return Out;
}

TEST(DragDrop, DragQueryFileAnswersCountsAndLengthsAndNeverWritesPastTheBuffer) {
  const std::vector<WideString> Names = {u"/a/bb", u"/x/y/zzzzzzzz.png", u"/"};
  HDROP H = GtCreateDropFiles(Names, TPoint(7, 9));
  ASSERT_NE(H, nullptr);
  struct Case {
    const char* What;
    UINT Index;
    bool WithBuffer;
    UINT Cch;
    UINT Answer;
    const char16_t* Written;  // what the buffer holds afterwards (null: untouched)
  };
  const Case Cases[] = {
      {"count", 0xFFFFFFFFu, false, 0, 3, nullptr},
      {"count with a buffer", 0xFFFFFFFFu, true, 10, 3, nullptr},
      {"length for a null buffer", 1, false, 0, 17, nullptr},
      {"whole name", 1, true, 18, 17, u"/x/y/zzzzzzzz.png"},
      {"one short: cut, full length told", 1, true, 17, 17, u"/x/y/zzzzzzzz.pn"},
      {"small buffer", 0, true, 3, 5, u"/a"},
      {"room for the zero only", 0, true, 1, 5, u""},
      {"no room at all", 0, true, 0, 5, nullptr},
      {"shortest name", 2, true, 4, 1, u"/"},
      {"index past the end", 3, true, 10, 0, nullptr},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    std::vector<WCHAR> Buf(40, u'#');
    UINT Got = DragQueryFileW(H, C.Index, C.WithBuffer ? Buf.data() + 4 : nullptr, C.Cch);
    EXPECT_EQ(Got, C.Answer);
    WideString Expect(4, u'#');
    if (C.Written) Expect += WideString(C.Written) + u'\0';
    Expect.resize(40, u'#');
    EXPECT_EQ(WideString(Buf.begin(), Buf.end()), Expect);
  }
  TPoint P;
  EXPECT_TRUE(DragQueryPoint(H, &P));
  EXPECT_EQ(P, TPoint(7, 9));
  DragFinish(H);
  EXPECT_EQ(DragQueryFileW(nullptr, 0xFFFFFFFFu, nullptr, 0), 0u);
}

TEST(DragDrop, BrokenDropBlocksAreRefused) {
  // Head, then "ab" without the zeros that end the name and the list.
  std::vector<uint8_t> Cut(20, 0);
  Cut[0] = 20;
  Cut[16] = 1;  // wide names
  for (char16_t C : {u'a', u'b'}) {
    Cut.push_back(static_cast<uint8_t>(C));
    Cut.push_back(0);
  }
  std::vector<uint8_t> FarOffset = Cut;
  FarOffset[0] = 200;
  std::vector<uint8_t> Short(Cut.begin(), Cut.begin() + 12);
  std::vector<uint8_t> Odd = Cut;
  Odd.push_back('x');  // half a character
  std::vector<uint8_t> Narrow(20, 0);
  Narrow[0] = 20;
  for (char C : std::string("/tmp/raw\xFF", 9)) Narrow.push_back(static_cast<uint8_t>(C));
  Narrow.push_back(0);
  Narrow.push_back(0);
  struct Case {
    const char* What;
    const std::vector<uint8_t>* Block;
    bool Ok;
    size_t Count;
  };
  const Case Cases[] = {{"name without its zero", &Cut, false, 0},
                        {"names past the block", &FarOffset, false, 0},
                        {"shorter than the head", &Short, false, 0},
                        {"half a character at the end", &Odd, false, 0},
                        {"8-bit names", &Narrow, true, 1}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    std::vector<WideString> Names;
    EXPECT_EQ(GtReadDropFiles(C.Block->data(), C.Block->size(), Names), C.Ok);
    EXPECT_EQ(Names.size(), C.Count);
    HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE, C.Block->size());
    std::memcpy(GlobalLock(H), C.Block->data(), C.Block->size());
    GlobalUnlock(H);
    EXPECT_EQ(DragQueryFileW(H, 0xFFFFFFFFu, nullptr, 0), C.Count);
    GlobalFree(H);
  }
  std::vector<WideString> Names;
  ASSERT_TRUE(GtReadDropFiles(Narrow.data(), Narrow.size(), Names));
  EXPECT_EQ(NativeFileName(Names[0]), std::string("/tmp/raw\xFF", 9));
}

TEST(DragDrop, FileUrlListsKeepEveryByteOfTheNames) {
  const std::vector<WideString> Names = OddNames();
  std::string List = GtUriListOfNames(Names);
  EXPECT_NE(List.find("file:///tmp/with%20blank/a%20b.png\r\n"), std::string::npos) << List;
  EXPECT_NE(List.find("raw%FF%FEname.bmp"), std::string::npos) << List;
  EXPECT_NE(List.find("%231%25.jpg"), std::string::npos) << "'#' and '%' are escaped: " << List;
  EXPECT_EQ(GtNamesOfUriList(List), Names);
  // The raw name reaches the file system with its bytes.
  EXPECT_EQ(NativeFileName(Names[2]), std::string("/tmp/raw\xFF\xFEname.bmp"));

  // Lists written by other programs: comments, LF only, localhost, lower-case
  // escapes; URLs of other machines and other schemes are left out.
  const std::string Foreign =
      "# dragged from a file manager\n"
      "file:///home/u/a%c3%a9.png\n"
      "http://example.org/b.png\r\n"
      "file://localhost/home/u/c.png\r\n"
      "file://faraway.example/d.png\n"
      "file:///home/u/%00evil\n"
      "file:///home/u/e%zz.png";
  EXPECT_EQ(GtNamesOfUriList(Foreign),
            (std::vector<WideString>{u"/home/u/aé.png", u"/home/u/c.png", u"/home/u/e%zz.png"}));
}

TEST(DragDrop, NamesThatAreNotUtf8OpenTheFileTheyCameFrom) {
  gt_test::TempDir Dir("dnd");
  ASSERT_FALSE(Dir.Path.empty());
  const std::string Raw = Dir.Path + "/pic\xE9\x80.png";  // Latin-1 é and a stray continuation byte
  int Fd = ::open(Raw.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(Fd, 0);
  ::close(Fd);
  const WideString Name = WideFileName(Raw);
  HDROP H = GtCreateDropFiles({Name});
  std::vector<WideString> Back = ReadAll(H);
  DragFinish(H);
  ASSERT_EQ(Back.size(), 1u);
  EXPECT_TRUE(FileExists(Back[0]));
  EXPECT_EQ(NativeFileName(Back[0]), Raw);
  EXPECT_EQ(GtNamesOfUriList(GtUriListOfNames(Back)), Back);
  // Valid UTF-8 text is unchanged by the escape.
  EXPECT_EQ(WideFileName("/tmp/a\xC3\xA9\xE2\x82\xAC"), u"/tmp/aé€");
  EXPECT_EQ(NativeFileName(u"/tmp/aé€"), "/tmp/a\xC3\xA9\xE2\x82\xAC");
}

DWORD ReadDword(HGLOBAL H) {
  DWORD V = 0;
  if (H && GlobalSize(H) >= 4) {
    std::memcpy(&V, GlobalLock(H), 4);
    GlobalUnlock(H);
  }
  return V;
}

AnsiString ReadText(UINT Format) {
  std::vector<uint8_t> B;
  if (!Clipboard()->GetAsBytes(static_cast<Word>(Format), B)) return "<none>";
  return AnsiString(B.begin(), B.end());
}

TEST_F(UiTest, DragDropClipboardCarriesFileListsAndTheCutMarker) {
  const UINT Effect = RegisterClipboardFormat(CFSTR_PREFERREDDROPEFFECT);
  const UINT Gnome = RegisterClipboardFormat(u"x-special/gnome-copied-files");
  const UINT Kde = RegisterClipboardFormat(u"application/x-kde-cutselection");
  const std::vector<WideString> Names = OddNames();
  const std::string Uris = GtUriListOfNames(Names);
  std::string Lf;  // the same list with LF between the entries and none after the last
  for (char C : Uris)
    if (C != '\r') Lf += C;
  Lf.pop_back();
  struct Case {
    const char* What;
    DWORD Effect;  // 0: no marker set
    const char* Marker;
    const char* KdeMarker;
    DWORD ReadEffect;
  };
  const Case Cases[] = {{"cut", DROPEFFECT_MOVE, "cut\n", "1", DROPEFFECT_MOVE},
                        {"copy", DROPEFFECT_COPY | DROPEFFECT_LINK, "copy\n", "<none>", DROPEFFECT_COPY},
                        {"no marker", 0, "copy\n", "<none>", DROPEFFECT_COPY}};
  HWND Owner = Form->Handle();
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    ASSERT_TRUE(OpenClipboard(Owner));
    EmptyClipboard();
    SetClipboardData(CF_HDROP, GtCreateDropFiles(Names));
    if (C.Effect) {
      HGLOBAL E = GlobalAlloc(GMEM_MOVEABLE, 4);
      std::memcpy(GlobalLock(E), &C.Effect, 4);
      GlobalUnlock(E);
      SetClipboardData(Effect, E);
    }
    CloseClipboard();
    GtTestPump(20);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_HDROP));
    ASSERT_TRUE(OpenClipboard(Owner));
    EXPECT_EQ(ReadAll(GetClipboardData(CF_HDROP)), Names);
    EXPECT_EQ(ReadDword(GetClipboardData(Effect)), C.ReadEffect);
    CloseClipboard();
    // What other programs read.
    EXPECT_EQ(ReadText(Gnome), C.Marker + Lf);
    EXPECT_EQ(ReadText(Kde), C.KdeMarker);
    EXPECT_EQ(ReadText(RegisterClipboardFormat(u"text/uri-list")), Uris);
  }

  // A file manager's cut files: the list and the marker come from its format.
  const std::string Theirs = "cut\nfile:///home/u/x%20y.png\nfile:///home/u/z.png";
  Clipboard()->SetAsBytes(static_cast<Word>(Gnome), reinterpret_cast<const uint8_t*>(Theirs.data()), Theirs.size());
  GtTestPump(20);
  ASSERT_TRUE(OpenClipboard(Owner));
  EXPECT_EQ(ReadAll(GetClipboardData(CF_HDROP)), (std::vector<WideString>{u"/home/u/x y.png", u"/home/u/z.png"}));
  EXPECT_EQ(ReadDword(GetClipboardData(Effect)), DROPEFFECT_MOVE);
  CloseClipboard();
  // Plain text offers no files.
  Clipboard()->SetAsText(u"file:///not/a/list");
  GtTestPump(20);
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP));
  EXPECT_FALSE(IsClipboardFormatAvailable(Effect));
}

// A control that takes WM_DROPFILES the way the main form does: reads the
// names and the point, then frees the handle.
class TDropSite : public TCustomControl {
 public:
  explicit TDropSite(TComponent* AOwner) : TCustomControl(AOwner) {}
  std::vector<std::vector<WideString>> Drops;
  std::vector<TPoint> Points;
  void Dispatch(TMessage& M) override {
    if (M.Msg == WM_DROPFILES) {
      auto H = reinterpret_cast<HDROP>(M.WParam);
      Drops.push_back(ReadAll(H));
      TPoint P;
      DragQueryPoint(H, &P);
      Points.push_back(P);
      DragFinish(H);
      return;
    }
    TCustomControl::Dispatch(M);
  }
};

TEST_F(UiTest, DragDropFilesFromOtherProgramsArriveAsOneWmDropFiles) {
  auto* Site = new TDropSite(Form.get());
  Site->SetBounds(10, 10, 200, 150);
  Site->SetParent(Form.get());
  TRecorder* Inner = new TRecorder(Site);  // a child without its own acceptance
  Inner->SetBounds(50, 40, 60, 50);
  Inner->SetParent(Site);
  TRecorder* Elsewhere = AddRecorder(220, 10, 80, 80);
  GtTestPump(20);
  const std::vector<WideString> Names = OddNames();
  const std::string List = "# from a file manager\r\n" + GtUriListOfNames(Names);
  const DWORD All = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

  // Nothing accepts files yet.
  EXPECT_EQ(GtTestDragFiles(Site->Handle(), gdsEnter, 20, 20, List, All, MK_LBUTTON), DROPEFFECT_NONE);
  GtTestDragFiles(Site->Handle(), gdsLeave, 0, 0, List, All, 0);

  DragAcceptFiles(Site->Handle(), TRUE);
  EXPECT_TRUE(GetWindowLong(Site->Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  // Over the child: the drag goes to the site, as a copy.
  EXPECT_EQ(GtTestDragFiles(Inner->Handle(), gdsEnter, 5, 5, List, All, MK_LBUTTON), DROPEFFECT_COPY);
  EXPECT_EQ(GtTestDragFiles(Inner->Handle(), gdsMove, 10, 12, List, All, MK_LBUTTON), DROPEFFECT_COPY);
  EXPECT_EQ(GtTestDragFiles(Inner->Handle(), gdsDrop, 10, 12, List, All, 0), DROPEFFECT_COPY);
  EXPECT_TRUE(Site->Drops.empty()) << "posted, not sent";
  GtTestPump(50);
  ASSERT_EQ(Site->Drops.size(), 1u);
  EXPECT_EQ(Site->Drops[0], Names);
  EXPECT_EQ(Site->Points[0], TPoint(60, 52)) << "in the site's client area";

  // A list without local files, and a window that does not take files, are refused.
  EXPECT_EQ(GtTestDragFiles(Site->Handle(), gdsEnter, 20, 20, "http://example.org/a.png\r\n", All, MK_LBUTTON),
            DROPEFFECT_NONE);
  GtTestDragFiles(Site->Handle(), gdsLeave, 0, 0, List, All, 0);
  EXPECT_EQ(GtTestDragFiles(Elsewhere->Handle(), gdsEnter, 5, 5, List, All, MK_LBUTTON), DROPEFFECT_NONE);
  GtTestDragFiles(Elsewhere->Handle(), gdsLeave, 0, 0, List, All, 0);
  DragAcceptFiles(Site->Handle(), FALSE);
  EXPECT_EQ(GtTestDragFiles(Site->Handle(), gdsEnter, 20, 20, List, All, MK_LBUTTON), DROPEFFECT_NONE);
  GtTestDragFiles(Site->Handle(), gdsLeave, 0, 0, List, All, 0);
  GtTestPump(20);
  EXPECT_EQ(Site->Drops.size(), 1u);
}

// A drop target that records its calls and takes a move over the left half
// of its window with Shift held, a copy over the left half otherwise, and
// nothing over the right half.
class TRecordingTarget : public TGtComObject<IDropTarget> {
 public:
  explicit TRecordingTarget(HWND AWnd) : Wnd(AWnd) {}
  HWND Wnd;
  std::vector<std::string> Calls;
  std::vector<std::vector<WideString>> Names;
  std::vector<TPoint> Points;
  Integer Refs = 1;
  ULONG AddRef() override {
    ++Refs;
    return TGtComObject<IDropTarget>::AddRef();
  }
  ULONG Release() override {
    --Refs;
    return TGtComObject<IDropTarget>::Release();
  }
  DWORD Decide(DWORD Keys, TPoint Pt, DWORD Allowed) {
    TPoint C = Pt;
    ScreenToClient(Wnd, &C);
    if (C.X >= 100) return DROPEFFECT_NONE;
    return (Keys & MK_SHIFT ? DROPEFFECT_MOVE : DROPEFFECT_COPY) & Allowed;
  }
  HRESULT DragEnter(IDataObject* Data, DWORD Keys, TPoint Pt, DWORD* Effect) override {
    Calls.push_back("enter");
    std::vector<WideString> N;
    GtFileNamesOfDataObject(Data, N);
    Names.push_back(N);
    Points.push_back(Pt);
    *Effect = Decide(Keys, Pt, *Effect);
    return S_OK;
  }
  HRESULT DragOver(DWORD Keys, TPoint Pt, DWORD* Effect) override {
    Calls.push_back("over");
    Points.push_back(Pt);
    *Effect = Decide(Keys, Pt, *Effect);
    return S_OK;
  }
  HRESULT DragLeave() override {
    Calls.push_back("leave");
    return S_OK;
  }
  HRESULT Drop(IDataObject* Data, DWORD Keys, TPoint Pt, DWORD* Effect) override {
    Calls.push_back("drop");
    std::vector<WideString> N;
    GtFileNamesOfDataObject(Data, N);
    Names.push_back(N);
    *Effect = Decide(Keys, Pt, *Effect);
    return S_OK;
  }
};

TEST_F(UiTest, DragDropRegisteredTargetDecidesEachPointAndGetsTheNames) {
  TRecorder* Site = AddRecorder(10, 10, 200, 150);
  GtTestPump(20);
  HWND H = Site->Handle();
  auto* Target = new TRecordingTarget(H);
  ASSERT_EQ(RegisterDragDrop(H, Target), S_OK);
  EXPECT_EQ(RegisterDragDrop(H, Target), DRAGDROP_E_ALREADYREGISTERED);
  EXPECT_EQ(Target->Refs, 2) << "held once";
  const std::vector<WideString> Names = OddNames();
  const std::string List = GtUriListOfNames(Names);
  const DWORD CopyMove = DROPEFFECT_COPY | DROPEFFECT_MOVE;

  EXPECT_EQ(GtTestDragFiles(H, gdsEnter, 20, 30, List, CopyMove, MK_LBUTTON), DROPEFFECT_COPY);
  EXPECT_EQ(GtTestDragFiles(H, gdsMove, 150, 30, List, CopyMove, MK_LBUTTON), DROPEFFECT_NONE);
  EXPECT_EQ(GtTestDragFiles(H, gdsMove, 40, 30, List, CopyMove, MK_LBUTTON | MK_SHIFT), DROPEFFECT_MOVE);
  EXPECT_EQ(GtTestDragFiles(H, gdsMove, 40, 30, List, DROPEFFECT_COPY, MK_LBUTTON | MK_SHIFT), DROPEFFECT_NONE)
      << "a move the source does not allow";
  GtTestDragFiles(H, gdsLeave, 0, 0, List, CopyMove, 0);
  EXPECT_EQ(GtTestDragFiles(H, gdsEnter, 30, 30, List, CopyMove, MK_LBUTTON | MK_SHIFT), DROPEFFECT_MOVE);
  EXPECT_EQ(GtTestDragFiles(H, gdsDrop, 31, 32, List, CopyMove, MK_SHIFT), DROPEFFECT_MOVE);

  EXPECT_EQ(Target->Calls, (std::vector<std::string>{"enter", "over", "over", "over", "leave", "enter", "drop"}));
  ASSERT_EQ(Target->Names.size(), 3u);
  for (auto& N : Target->Names) EXPECT_EQ(N, Names);
  TPoint Screen(20, 30);
  ClientToScreen(H, &Screen);
  EXPECT_EQ(Target->Points[0], Screen) << "targets get screen points";

  EXPECT_EQ(RevokeDragDrop(H), S_OK);
  EXPECT_EQ(RevokeDragDrop(H), DRAGDROP_E_NOTREGISTERED);
  EXPECT_EQ(Target->Refs, 1);
  EXPECT_EQ(GtTestDragFiles(H, gdsEnter, 20, 30, List, CopyMove, MK_LBUTTON), DROPEFFECT_NONE);
  GtTestDragFiles(H, gdsLeave, 0, 0, List, CopyMove, 0);

  // A window that goes away lets go of its target.
  ASSERT_EQ(RegisterDragDrop(H, Target), S_OK);
  EXPECT_EQ(Target->Refs, 2);
  delete Site;
  EXPECT_EQ(Target->Refs, 1);
  EXPECT_EQ(RegisterDragDrop(H, Target), DRAGDROP_E_INVALIDHWND);
  Target->Release();
}

// ---------------------------------------------------------------- the class library's drag

struct TDragEvent {
  std::string What;  // "enter", "move", "leave", "drop", "end"
  TControl* Control;
  TObject* Source;
  Integer X, Y;
  bool operator==(const TDragEvent&) const = default;
};

void PrintTo(const TDragEvent& E, std::ostream* Os) { *Os << E.What << "(" << E.X << "," << E.Y << ")"; }

// Records the drag events of the targets and the source's end.
struct TDragLog {
  std::vector<TDragEvent> Events;
  void Watch(TControl* C, bool Accepts) {
    C->OnDragOver = [this, C, Accepts](TObject*, TObject* Source, Integer X, Integer Y, TDragState S, bool& Accept) {
      const char* Names[] = {"enter", "leave", "move"};
      Events.push_back({Names[S], C, Source, X, Y});
      Accept = Accepts;
    };
    C->OnDragDrop = [this, C](TObject*, TObject* Source, Integer X, Integer Y) {
      Events.push_back({"drop", C, Source, X, Y});
    };
  }
  void WatchEnd(TControl* C) {
    C->OnEndDrag = [this](TObject*, TObject* Target, Integer X, Integer Y) {
      Events.push_back({"end", static_cast<TControl*>(Target), nullptr, X, Y});
    };
  }
};

using gt_uitest::Soon;

class ClassDrag : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Source = AddRecorder(10, 10, 60, 60);
    A = AddRecorder(100, 10, 60, 60);
    B = AddRecorder(180, 10, 60, 60);
    Log.Watch(A, true);
    Log.Watch(B, true);
    Log.WatchEnd(Source);
    GtTestPump(20);
  }
  TRecorder *Source = nullptr, *A = nullptr, *B = nullptr;
  TDragLog Log;
};

TEST_F(ClassDrag, DragDropAcrossTwoTargetsGivesEnterMoveLeaveThenOneDrop) {
  GtTestMouse(Source->Handle(), gmaPress, gmbLeft, 30, 30);
  Soon([&] {
    GtTestMouse(A->Handle(), gmaMove, gmbNone, 5, 6);
    GtTestMouse(A->Handle(), gmaMove, gmbNone, 7, 8);
    GtTestMouse(B->Handle(), gmaMove, gmbNone, 20, 21);
    GtTestMouse(B->Handle(), gmaRelease, gmbLeft, 22, 23);
  });
  Source->BeginDrag(true);
  const std::vector<TDragEvent> Want = {
      {"enter", A, Source, 5, 6},  {"move", A, Source, 5, 6},   {"move", A, Source, 7, 8},
      {"leave", A, Source, 20 + 80, 21}, {"enter", B, Source, 20, 21}, {"move", B, Source, 20, 21},
      {"move", B, Source, 22, 23}, {"leave", B, Source, 22, 23}, {"drop", B, Source, 22, 23},
      {"end", B, nullptr, 22, 23}};
  // Before the first move the pointer is still over the source, which takes nothing.
  std::vector<TDragEvent> Got;
  for (auto& E : Log.Events)
    if (E.Control != Source) Got.push_back(E);
  EXPECT_EQ(Got, Want);
  EXPECT_FALSE(Source->Dragging());
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ClassDrag, DragDropEndsWithoutADropWhenCancelledOrRefused) {
  struct Case {
    const char* What;
    std::function<void()> Finish;
  };
  TRecorder* Refuser = AddRecorder(100, 100, 60, 60);
  Log.Watch(Refuser, false);
  const Case Cases[] = {
      {"Escape",
       [&] {
         GtTestKey(B->Handle(), true, VK_ESCAPE);
         GtTestKey(B->Handle(), false, VK_ESCAPE);
       }},
      {"right button", [&] { GtTestMouse(B->Handle(), gmaPress, gmbRight, 20, 21); }},
      {"release over a refusing target",
       [&] {
         GtTestMouse(Refuser->Handle(), gmaMove, gmbNone, 10, 10);
         GtTestMouse(Refuser->Handle(), gmaRelease, gmbLeft, 10, 10);
       }},
      {"release over a control without OnDragOver",
       [&] {
         GtTestMouse(B->Handle(), gmaMove, gmbNone, 20, 150);
         GtTestMouse(B->Handle(), gmaRelease, gmbLeft, 20, 150);
       }},
  };
  Integer Step = 0;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Log.Events.clear();
    GtTestMouse(Source->Handle(), gmaPress, gmbLeft, 30, 30);
    ++Step;  // a move to where the last one went would be no move at all
    Soon([&] {
      GtTestMouse(B->Handle(), gmaMove, gmbNone, 20 + Step, 21);
      C.Finish();
    });
    Source->BeginDrag(true);
    GtTestMouse(B->Handle(), gmaRelease, gmbLeft, 20, 21);
    GtTestMouse(B->Handle(), gmaRelease, gmbRight, 20, 21);
    GtTestPump(10);
    int Drops = 0, Leaves = 0;
    for (auto& E : Log.Events) {
      Drops += E.What == "drop";
      Leaves += E.What == "leave" && E.Control == B;
    }
    EXPECT_EQ(Drops, 0);
    EXPECT_EQ(Leaves, 1) << "B hears the drag leave: " << ::testing::PrintToString(Log.Events);
    ASSERT_FALSE(Log.Events.empty());
    EXPECT_EQ(Log.Events.back().What, "end");
    EXPECT_EQ(Log.Events.back().Control, nullptr) << "no target";
  }
}

TEST_F(ClassDrag, DragDropWaitsForTheThresholdAndAutomaticModeStartsOnThePress) {
  // Not immediate: moves within 5 pixels are no drag; releasing there drops nothing.
  GtTestMouse(Source->Handle(), gmaPress, gmbLeft, 30, 30);
  Soon([&] {
    GtTestMouse(Source->Handle(), gmaMove, gmbNone, 33, 32);
    GtTestMouse(Source->Handle(), gmaRelease, gmbLeft, 33, 32);
  });
  Source->BeginDrag(false);
  ASSERT_EQ(Log.Events.size(), 1u);
  EXPECT_EQ(Log.Events[0].What, "end");

  // Automatic: the press itself starts the drag; OnStartDrag can put another source in its place.
  Log.Events.clear();
  TObject Other;
  Source->SetDragMode(dmAutomatic);
  Source->OnStartDrag = [&](TObject*, TObject*& DragObject) {
    DragObject = &Other;
    Soon([&] {
      GtTestMouse(A->Handle(), gmaMove, gmbNone, 5, 6);
      GtTestMouse(A->Handle(), gmaRelease, gmbLeft, 5, 6);
    });
  };
  size_t DownsBefore = Source->Mouse.size();
  // Away from the first press, which would make this one a double click.
  GtTestMouse(Source->Handle(), gmaPress, gmbLeft, 50, 50);
  ASSERT_GE(Log.Events.size(), 2u);
  EXPECT_EQ(Log.Events[0], (TDragEvent{"enter", A, &Other, 5, 6}));
  EXPECT_EQ(Log.Events.back(), (TDragEvent{"end", A, nullptr, 5, 6}));
  for (size_t i = DownsBefore; i < Source->Mouse.size(); ++i) EXPECT_NE(Source->Mouse[i].Kind, "down");
}

}  // namespace test_dragdrop_tests
