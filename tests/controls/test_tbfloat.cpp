// The floating window: its hit test and the resize sides, its frame and
// caption painted with and without gradient captions, the caption's active
// state, the resize loop (snapping, minimum size, a cancelled outline
// resize), close requests and Escape going to the form, showing with the
// form, and moving a window back onto the screen.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "controls/tbcommon.h"
#include "controls/tbfloat.h"
#include "controls/tbtoolbar.h"
#include "platform/graphics/colors.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "tests/platform/ui/mdi_test_util.h"

namespace test_tbfloat_tests {

constexpr UINT SpiSetGradientCaptions = 0x1009;

class TTestBar : public TTBCustomDockableWindow {
 public:
  TTestBar(TComponent* AOwner, TPoint Client) : TTBCustomDockableWindow(AOwner), FClient(Client) {}
  void CalcSize(bool, TTBDockKind, TPoint& Size, TTBDock*, bool) override { Size = FClient; }
  TPoint GetBaseSize() override { return FClient; }
  void GetFloatingMinMaxSize(Integer& MinW, Integer& MinH, Integer&, Integer&) override {
    MinW = MinClient.X;
    MinH = MinClient.Y;
  }
  // Snaps the width to multiples of 50 pixels, as a toolbar snaps to its wrap widths.
  void SizeBegin(Integer Side, Integer W, Integer H, const TRect& Frame) override {
    Calls.push_back("begin " + std::to_string(Side) + " " + std::to_string(W) + "x" + std::to_string(H) + " " +
                    std::to_string(Frame.Left) + "," + std::to_string(Frame.Top));
  }
  void SizeTrack(TRect& R, const TRect&) override {
    if (Snap) R.Right = R.Left + (R.Width() + 25) / 50 * 50;
  }
  void SizeCommit() override { Calls.push_back("commit"); }
  void SizeEnd() override { Calls.push_back("end"); }
  TPoint MinClient{1, 1};
  bool Snap = false;
  std::vector<std::string> Calls;

 private:
  TPoint FClient;
};

std::deque<std::function<void()>> g_Script;
void ScriptProc(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  if (g_Script.empty()) return;
  auto Fn = std::move(g_Script.front());
  g_Script.pop_front();
  if (!g_Script.empty()) SetTimer(nullptr, 0, 25, ScriptProc);
  Fn();
}
void RunScript(std::vector<std::function<void()>> Steps) {
  g_Script.assign(Steps.begin(), Steps.end());
  SetTimer(nullptr, 0, 25, ScriptProc);
}

struct TFloatForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TTestBar* Bar;
  explicit TFloatForm(TPoint Client = {100, 40}) {
    Form->SetBounds(40, 40, 500, 400);
    Form->SetCaption(u"Main");
    Form->Show();
    Bar = new TTestBar(Form.get(), Client);
    Bar->SetCaption(u"Tools");
    Bar->SetParent(Form.get());
    Bar->SetFloatingPosition(Bounds(200, 150, 0, 0));
    Bar->SetFloating(true);
    GtTestActivate(Form->Handle());
    ::SetFocus(Form->Handle());
    GtTestPump(40);
  }
  ~TFloatForm() {
    g_Script.clear();
    Form.reset();
    Application->ProcessMessages();
  }
  HWND FW() { return Bar->FloatingWindow()->Handle(); }
  TRect WindowRect() {
    TRect R;
    GetWindowRect(FW(), &R);
    return R;
  }
  // A mouse event at a point of the floating window (window coordinates).
  void Mouse(TGtMouseAction A, TGtMouseButton B, Integer X, Integer Y) {
    const TRect M = Bar->FloatingNCMargins();
    GtTestMouse(FW(), A, B, X - M.Left, Y - M.Top);
  }
};

TEST(TbFloat, HitTestTableHasNoCornersAndWiderBottomAndRightEdges) {
  TTBFloatingGeometry G;
  G.Width = 120;
  G.Height = 60;
  G.BorderX = 4;
  G.BorderY = 3;
  G.CaptionHeight = 15;
  // Caption: x 4..115, y 3..16; close cell: the last 14 pixels, x 102..115.
  struct {
    TPoint P;
    Integer Resizable, NotResizable;
  } Cases[] = {
      {{0, 0}, HTTOP, HTNOWHERE},          {{119, 0}, HTTOP, HTNOWHERE},     {{50, 2}, HTTOP, HTNOWHERE},
      {{0, 2}, HTTOP, HTNOWHERE},          {{50, 3}, HTTBCAPTION, HTTBCAPTION}, {{4, 16}, HTTBCAPTION, HTTBCAPTION},
      {{101, 10}, HTTBCAPTION, HTTBCAPTION}, {{102, 10}, HTTBCLOSE, HTTBCLOSE}, {{115, 3}, HTTBCLOSE, HTTBCLOSE},
      {{116, 10}, HTRIGHT, HTNOWHERE},     {{115, 17}, HTRIGHT, HTNOWHERE},  {{3, 30}, HTLEFT, HTNOWHERE},
      {{4, 30}, HTNOWHERE, HTNOWHERE},     {{114, 30}, HTNOWHERE, HTNOWHERE}, {{115, 30}, HTRIGHT, HTNOWHERE},
      {{119, 30}, HTRIGHT, HTNOWHERE},     {{50, 55}, HTNOWHERE, HTNOWHERE}, {{50, 56}, HTBOTTOM, HTNOWHERE},
      {{50, 59}, HTBOTTOM, HTNOWHERE},     {{0, 59}, HTBOTTOM, HTNOWHERE},   {{119, 56}, HTBOTTOM, HTNOWHERE},
      {{120, 30}, HTNOWHERE, HTNOWHERE},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.P.X << "," << C.P.Y);
    G.Resizable = true;
    EXPECT_EQ(G.HitTest(C.P), C.Resizable);
    G.Resizable = false;
    EXPECT_EQ(G.HitTest(C.P), C.NotResizable);
  }
  // Without a close button the whole strip is caption; without a caption the top is an edge.
  G.Resizable = true;
  G.CloseButton = false;
  EXPECT_EQ(G.HitTest({110, 10}), HTTBCAPTION);
  G.ShowCaption = false;
  EXPECT_EQ(G.HitTest({110, 10}), HTNOWHERE);
  EXPECT_EQ(G.HitTest({110, 1}), HTTOP);

  struct {
    Integer Code, Side;
  } Sides[] = {{HTLEFT, 0}, {HTRIGHT, 1}, {HTTOP, 2}, {HTBOTTOM, 5}, {HTTBCAPTION, -1}, {HTTOPLEFT, -1}};
  for (auto& S : Sides) EXPECT_EQ(SizingSideOf(S.Code), S.Side) << S.Code;
}

TEST(TbFloat, TheWindowAnswersHitTestsWithItsFrame) {
  TFloatForm F;
  const TRect W = F.WindowRect();
  const Integer B = GetSystemMetrics(SM_CXFRAME), H = GetSmallCaptionHeight();
  EXPECT_EQ(W.Width(), 100 + 2 * B);
  EXPECT_EQ(W.Height(), 40 + 2 * B + H);
  auto Hit = [&](Integer X, Integer Y) {
    return static_cast<Integer>(SendMessage(F.FW(), WM_NCHITTEST, 0, MAKELPARAM(W.Left + X, W.Top + Y)));
  };
  EXPECT_EQ(Hit(0, 0), HTTOP);
  EXPECT_EQ(Hit(W.Width() - 1, W.Height() - 1), HTBOTTOM);
  EXPECT_EQ(Hit(B + 5, B + 3), HTTBCAPTION);
  EXPECT_EQ(Hit(W.Width() - B - 3, B + 3), HTTBCLOSE);
  EXPECT_EQ(Hit(B + 10, B + H + 10), HTCLIENT);
  EXPECT_EQ(Hit(1, B + H + 10), HTLEFT);
  // The client area answers first: the right edge's extra pixel is the client's here.
  EXPECT_EQ(Hit(W.Width() - B - 1, B + H + 10), HTCLIENT);
  EXPECT_EQ(Hit(W.Width() - B, B + H + 10), HTRIGHT);
  // The window is a never-activated tool window owned by the form.
  EXPECT_TRUE(GetWindowLong(F.FW(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_EQ(reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<ULONG>(GetWindowLong(F.FW(), GWL_HWNDPARENT)))),
            F.Form->Handle());
  EXPECT_TRUE(IsWindowVisible(F.FW()));
  EXPECT_EQ(GetParentFormOf(F.Bar), F.Form.get());
}

TEST(TbFloat, FrameAndCaptionGoldensWithAndWithoutGradients) {
  for (bool Gradient : {false, true}) {
    SCOPED_TRACE(Gradient ? "gradient" : "flat");
    SystemParametersInfo(SpiSetGradientCaptions, Gradient ? 1 : 0, nullptr, 0);
    TFloatForm F;
    const TTBFloatingGeometry G = F.Bar->FloatingWindow()->Geometry();
    ASSERT_FALSE(F.Bar->InactiveCaption()) << "the form is active";
    std::vector<uint32_t> Px;
    Integer W = 0, H = 0;
    ASSERT_TRUE(GtTestGrabWindow(F.FW(), Px, W, H));
    ASSERT_EQ(W, G.Width);
    auto At = [&](Integer X, Integer Y) { return Px[static_cast<size_t>(Y) * W + X]; };
    auto Sys = [](Integer Index) {
      const COLORREF C = GetSysColor(Index);
      return static_cast<uint32_t>(GetRValue(C)) << 16 | static_cast<uint32_t>(GetGValue(C)) << 8 | GetBValue(C);
    };
    const Integer Mid = G.Height / 2;
    // The raised edge, the band in the active border colour, the button-face ring.
    EXPECT_EQ(At(0, Mid), Sys(COLOR_3DLIGHT));
    EXPECT_EQ(At(1, Mid), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(At(W - 1, Mid), Sys(COLOR_3DDKSHADOW));
    EXPECT_EQ(At(W - 2, Mid), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(At(2, Mid), Sys(COLOR_ACTIVEBORDER));
    EXPECT_EQ(At(G.BorderX - 1, Mid), Sys(COLOR_BTNFACE));
    EXPECT_EQ(At(W - G.BorderX, Mid), Sys(COLOR_BTNFACE));
    const TRect Cap = G.CaptionRect(), Cell = G.CloseButtonCell(), Button = G.CloseButtonRect();
    // The caption starts in the caption colour and the line under it is button face.
    EXPECT_EQ(At(Cap.Left, Cap.Top), Sys(COLOR_ACTIVECAPTION));
    EXPECT_EQ(At(Cap.Left + 20, Cap.Bottom), Sys(COLOR_BTNFACE));
    // The strip right of the close button and above it takes the caption's end colour.
    const uint32_t End = Sys(Gradient ? COLOR_GRADIENTACTIVECAPTION : COLOR_ACTIVECAPTION);
    EXPECT_EQ(At(Cell.Right - 1, Cell.Top + 6), End);
    EXPECT_EQ(At(Button.Right, Button.Top + 3), End);
    EXPECT_EQ(At(Cell.Left + 4, Cell.Top), End);
    // Just left of the cell the caption has come most of the way to that colour.
    if (Gradient) {
      EXPECT_NE(At(Cell.Left - 1, Cell.Bottom - 1), Sys(COLOR_ACTIVECAPTION));
    }
    // The close button is drawn as a raised button, not in the caption colour.
    EXPECT_EQ(At(Button.Left, Button.Top), Sys(COLOR_3DLIGHT));
    EXPECT_EQ(At(Button.Right - 1, Button.Bottom - 1), Sys(COLOR_3DDKSHADOW));
  }
  SystemParametersInfo(SpiSetGradientCaptions, 0, nullptr, 0);
}

TEST(TbFloat, TheCaptionIsActiveOnlyWhileItsFormOrOwnerIsActive) {
  TFloatForm F;
  EXPECT_FALSE(F.Bar->InactiveCaption());
  TForm Other(nullptr);
  Other.SetBounds(600, 40, 200, 150);
  Other.Show();
  GtTestActivate(Other.Handle());
  GtTestPump(40);
  EXPECT_TRUE(F.Bar->InactiveCaption());
  EXPECT_TRUE(IsWindowVisible(F.FW())) << "the program still has an active window";
  std::vector<uint32_t> Px;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestGrabWindow(F.FW(), Px, W, H));
  const TRect Cap = F.Bar->FloatingWindow()->Geometry().CaptionRect();
  const COLORREF C = GetSysColor(COLOR_INACTIVECAPTION);
  EXPECT_EQ(Px[static_cast<size_t>(Cap.Top) * W + Cap.Left],
            static_cast<uint32_t>(GetRValue(C)) << 16 | static_cast<uint32_t>(GetGValue(C)) << 8 | GetBValue(C));
  // On top of all forms the caption stays active.
  F.Bar->SetFloatingMode(fmOnTopOfAllForms);
  GtTestPump(20);
  EXPECT_FALSE(F.Bar->InactiveCaption());
  EXPECT_TRUE(GetWindowLong(F.FW(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  GtTestActivate(F.Form->Handle());
  GtTestPump(20);
}

TEST(TbFloat, ResizingSnapsKeepsTheMinimumAndACancelledOutlineChangesNothing) {
  const Integer B = GetSystemMetrics(SM_CXFRAME);
  // Live, from the right edge, snapping to multiples of 50 outer pixels.
  {
    TFloatForm F;
    F.Bar->Snap = true;
    const TRect W = F.WindowRect();
    RunScript({[&] {
                 F.Mouse(gmaMove, gmbNone, W.Width() + 20, 30);
                 F.Mouse(gmaMove, gmbNone, W.Width() + 40, 30);
               },
               [&] { F.Mouse(gmaRelease, gmbLeft, W.Width() + 40, 30); }});
    F.Mouse(gmaMove, gmbNone, W.Width() - 1, 30);
    F.Mouse(gmaPress, gmbLeft, W.Width() - 1, 30);
    GtTestPumpUntil([] { return g_Script.empty(); }, 3000);
    GtTestPump(20);
    EXPECT_EQ(F.WindowRect().Width(), (W.Width() + 40 + 25) / 50 * 50);
    EXPECT_EQ(F.WindowRect().Left, W.Left) << "the left edge stays";
    EXPECT_EQ(F.Bar->Width(), F.WindowRect().Width() - 2 * B) << "the bar takes the client size";
    ASSERT_FALSE(F.Bar->Calls.empty());
    EXPECT_EQ(F.Bar->Calls.front(), "begin 1 " + std::to_string(W.Width()) + "x" + std::to_string(W.Height()) + " " +
                                        std::to_string(B) + "," + std::to_string(B + GetSmallCaptionHeight()));
    EXPECT_EQ(F.Bar->Calls.back(), "end");
  }
  // From the bottom-right corner: the bottom edge only, not below the minimum.
  {
    TFloatForm F;
    F.Bar->MinClient = {10, 30};
    const TRect W = F.WindowRect();
    RunScript({[&] { F.Mouse(gmaMove, gmbNone, W.Width() - 60, W.Height() - 40); },
               [&] { F.Mouse(gmaRelease, gmbLeft, W.Width() - 60, W.Height() - 40); }});
    F.Mouse(gmaMove, gmbNone, W.Width() - 1, W.Height() - 1);
    F.Mouse(gmaPress, gmbLeft, W.Width() - 1, W.Height() - 1);
    GtTestPumpUntil([] { return g_Script.empty(); }, 3000);
    GtTestPump(20);
    EXPECT_EQ(F.WindowRect().Width(), W.Width());
    EXPECT_EQ(F.WindowRect().Top, W.Top);
    EXPECT_EQ(F.WindowRect().Height(), 30 + F.Bar->FloatingNCMargins().Top + B);
  }
  // An outline resize: nothing moves until the release; Escape leaves the size as it was.
  for (bool Cancel : {true, false}) {
    SCOPED_TRACE(Cancel ? "cancelled" : "accepted");
    TFloatForm F;
    F.Bar->SetSmoothDrag(false);
    const TRect W = F.WindowRect();
    TRect During;
    const Integer X = W.Width() - 1;
    RunScript({[&] {
                 F.Mouse(gmaMove, gmbNone, X + 10, 30);
                 F.Mouse(gmaMove, gmbNone, X + 30, 30);
               },
               [&] {
                 During = F.WindowRect();
                 // As the key would arrive at the focused form.
                 if (Cancel) PostMessage(F.Form->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
               },
               [&] {
                 if (Cancel) PostMessage(F.Form->Handle(), WM_KEYUP, VK_ESCAPE, 0);
                 F.Mouse(gmaRelease, gmbLeft, X + 30, 30);
               }});
    F.Mouse(gmaMove, gmbNone, X, 30);
    F.Mouse(gmaPress, gmbLeft, X, 30);
    GtTestPumpUntil([] { return g_Script.empty(); }, 3000);
    GtTestPump(20);
    EXPECT_EQ(During, W);
    if (Cancel) {
      EXPECT_EQ(F.WindowRect(), W);
      EXPECT_EQ(std::count(F.Bar->Calls.begin(), F.Bar->Calls.end(), "commit"), 0);
    } else {
      EXPECT_EQ(F.WindowRect(), TRect(W.Left, W.Top, W.Right + 30, W.Bottom));
    }
    EXPECT_EQ(F.Bar->Calls.back(), "end");
    EXPECT_EQ(GetCapture(), nullptr);
  }
}

// An item whose viewer measures to a fixed size.
class TBoxItem : public TTBItem {
 public:
  using TTBItem::TTBItem;
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override;
};
class TBoxViewer : public TTBItemViewer {
 public:
  using TTBItemViewer::TTBItemViewer;
  void MeasureSize(TCanvas*, Integer& AW, Integer& AH) override { AW = AH = 20; }
};
TTBItemViewer* TBoxItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TBoxViewer(View, this, GroupLevel);
}

TEST(TbFloat, AToolbarResizedByItsFrameTakesTheListedWidthItSnapsTo) {
  // Ten 20 x 20 items; the toolbar lists its floating sizes (one line, two
  // lines of five, ...). Dragging the right edge well past the two-line
  // width lands the window on that width and the toolbar wraps there.
  std::unique_ptr<TForm> Form(new TForm(nullptr));
  Form->SetBounds(40, 40, 500, 400);
  Form->Show();
  auto* T = new TTBToolbar(Form.get());
  for (int i = 0; i < 10; ++i) T->Items()->Add(new TBoxItem(Form.get()));
  T->SetParent(Form.get());
  T->SetFloatingPosition(Bounds(100, 100, 0, 0));
  T->SetFloating(true);
  GtTestActivate(Form->Handle());
  GtTestPump(30);
  HWND FW = T->FloatingWindow()->Handle();
  const TRect M = T->FloatingNCMargins();
  const std::vector<TPoint> Sizes = T->GetFloatingSizes();
  ASSERT_GE(Sizes.size(), 3u);
  const Integer TwoLines = Sizes[1].X + M.Left + M.Right;
  TRect W;
  GetWindowRect(FW, &W);
  ASSERT_GT(W.Width(), TwoLines + 12);
  // Pressed on the right edge, released 5 pixels short of the two-line width.
  const Integer Edge = W.Width() - 1, To = TwoLines + 5;
  RunScript({[&] { GtTestMouse(FW, gmaMove, gmbNone, To - M.Left, 10); },
             [&] { GtTestMouse(FW, gmaRelease, gmbLeft, To - M.Left, 10); }});
  GtTestMouse(FW, gmaMove, gmbNone, Edge - M.Left, 10);
  GtTestMouse(FW, gmaPress, gmbLeft, Edge - M.Left, 10);
  GtTestPumpUntil([] { return g_Script.empty(); }, 3000);
  GtTestPump(30);
  GetWindowRect(FW, &W);
  EXPECT_EQ(W.Width(), TwoLines);
  EXPECT_EQ(T->FloatingWidth(), Sizes[1].X) << "the stored width leaves out the frame";
  EXPECT_EQ(T->Width(), Sizes[1].X);
  Form.reset();
  Application->ProcessMessages();
}

TEST(TbFloat, CloseRequestsAndEscapeGoToTheForm) {
  TFloatForm F;
  Integer Asked = 0;
  F.Form->OnCloseQuery = [&Asked](TObject*, bool& CanClose) {
    ++Asked;
    CanClose = false;
  };
  HWND FW = F.FW();
  SendMessage(FW, WM_CLOSE, 0, 0);
  SendMessage(FW, WM_SYSCOMMAND, SC_CLOSE, 0);
  GtTestPump(20);
  EXPECT_EQ(Asked, 2);
  EXPECT_TRUE(IsWindow(FW));
  EXPECT_TRUE(IsWindowVisible(FW));
  EXPECT_TRUE(F.Bar->Visible());
  // The caption's close button closes the bar, when released over it.
  Integer Closed = 0;
  F.Bar->OnClose = [&Closed](TObject*) { ++Closed; };
  const TRect Cell = F.Bar->FloatingWindow()->Geometry().CloseButtonCell();
  RunScript({[&] { F.Mouse(gmaRelease, gmbLeft, Cell.Left + 4, Cell.Top + 4); }});
  F.Mouse(gmaMove, gmbNone, Cell.Left + 4, Cell.Top + 4);
  F.Mouse(gmaPress, gmbLeft, Cell.Left + 4, Cell.Top + 4);
  GtTestPumpUntil([] { return g_Script.empty(); }, 3000);
  GtTestPump(20);
  EXPECT_EQ(Closed, 1);
  EXPECT_FALSE(IsWindowVisible(FW)) << "a hidden bar hides its floating window";
  // Escape in the floating window gives the focus back to the form.
  F.Bar->Show();
  GtTestPump(20);
  EXPECT_EQ(F.Bar->FloatingWindow()->Perform(CM_DIALOGKEY, VK_ESCAPE, 0), 1);
  EXPECT_EQ(GetFocus(), F.Form->Handle());
  F.Form->OnCloseQuery = nullptr;
}

class TbFloatMdi : public mdi_test::MdiFrameTest {};

TEST_F(TbFloatMdi, AChildsBarIsOwnedByTheFrameAndSendsCloseThere) {
  MakeFrame();
  TForm* Child = AddChild(u"Doc");
  GtTestPump(30);
  Integer FrameAsked = 0, ChildAsked = 0;
  Frame->OnCloseQuery = [&FrameAsked](TObject*, bool& CanClose) {
    ++FrameAsked;
    CanClose = false;
  };
  Child->OnCloseQuery = [&ChildAsked](TObject*, bool& CanClose) {
    ++ChildAsked;
    CanClose = false;
  };
  auto* Bar = new TTestBar(Child, {60, 20});
  Bar->SetParent(Child);
  Bar->SetFloatingPosition(Bounds(300, 300, 0, 0));
  Bar->SetFloating(true);
  GtTestActivate(Frame->Handle());
  GtTestPump(30);
  HWND FW = Bar->FloatingWindow()->Handle();
  EXPECT_EQ(reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<ULONG>(GetWindowLong(FW, GWL_HWNDPARENT)))),
            Frame->Handle());
  SendMessage(FW, WM_CLOSE, 0, 0);
  EXPECT_EQ(FrameAsked, 1);
  EXPECT_EQ(ChildAsked, 0);
  Frame->OnCloseQuery = nullptr;
  Child->OnCloseQuery = nullptr;
  delete Bar;
}

TEST(TbFloat, TheWindowShowsOnlyWithItsFormAndReactsToActivation) {
  TFloatForm F;
  HWND FW = F.FW();
  EXPECT_TRUE(IsWindowVisible(FW));
  F.Bar->SetHideWhenInactive(false);
  // The form goes: it loses activation, and the bar follows it.
  F.Form->Hide();
  GtTestPump(30);
  EXPECT_FALSE(IsWindowVisible(FW));
  // Back, and told it is active (as the window system tells it): the bar shows.
  F.Form->Show();
  SendMessage(F.Form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  GtTestPump(30);
  EXPECT_TRUE(IsWindowVisible(FW));
  // Hidden while another form is active: the position change of the form hides the bar.
  {
    TForm Other(nullptr);
    Other.SetBounds(600, 40, 200, 150);
    Other.Show();
    GtTestActivate(Other.Handle());
    GtTestPump(30);
    ASSERT_TRUE(IsWindowVisible(FW));
    F.Form->Hide();
    GtTestPump(20);
    EXPECT_FALSE(IsWindowVisible(FW));
    F.Form->Show();
    GtTestPump(20);
    EXPECT_TRUE(IsWindowVisible(FW));
    GtTestActivate(F.Form->Handle());
    GtTestPump(30);
  }
  // Hiding while the program has no active window follows that.
  F.Bar->SetHideWhenInactive(true);
  GtTestPump(30);
  EXPECT_EQ(IsWindowVisible(FW) != FALSE, ThreadHasActiveWindow());
  F.Bar->SetHideWhenInactive(false);
  // A hidden bar hides its window whatever the form does.
  F.Bar->Hide();
  SendMessage(F.Form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  GtTestPump(30);
  EXPECT_FALSE(IsWindowVisible(FW));
  F.Bar->Show();
  GtTestPump(30);
  EXPECT_TRUE(IsWindowVisible(FW));
  // On top of all forms: owned by the application's window and topmost.
  F.Bar->SetFloatingMode(fmOnTopOfAllForms);
  GtTestPump(30);
  EXPECT_EQ(reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<ULONG>(GetWindowLong(FW, GWL_HWNDPARENT)))),
            Application->Handle());
  EXPECT_TRUE(GetWindowLong(FW, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST(TbFloat, AWindowThatOwnedTheFloatingWindowGoesAndTheApplicationOwnsIt) {
  TFloatForm F;
  HWND FW = F.FW();
  auto Owner = [FW] {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<ULONG>(GetWindowLong(FW, GWL_HWNDPARENT))));
  };
  auto* Other = new TForm(nullptr);
  Other->SetBounds(600, 40, 100, 100);
  Other->Show();
  SetWindowOwner(FW, Other->Handle());
  ASSERT_EQ(Owner(), Other->Handle());
  delete Other;
  EXPECT_EQ(Owner(), Application->Handle()) << "re-owned as the owner went";
  EXPECT_TRUE(IsWindow(FW)) << "the floating window itself stays";
  // The next showing check gives it back to its form.
  SendMessage(F.Form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  F.Bar->Hide();
  F.Bar->Show();
  GtTestPump(20);
  EXPECT_EQ(Owner(), F.Form->Handle());
}

TEST(TbFloat, MoveOnScreenShiftsLeftUpRightDownWithLeftAndTopWinning) {
  TRect Area;
  struct {
    TPoint Place;  // relative to the work area's top-left
    bool OnlyIfFullyOff;
    TPoint Want;  // relative, or the place when it stays
  } Cases[] = {
      {{-50, 20}, false, {0, 20}},
      {{-50, 20}, true, {-50, 20}},  // still overlapping: stays
      {{-500, 20}, true, {0, 20}},
      {{20, -30}, false, {20, 0}},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Place.X << "," << C.Place.Y << " " << C.OnlyIfFullyOff);
    TFloatForm F;
    MonitorAreaOfRect(F.WindowRect(), true, Area);
    F.Bar->SetFloatingPosition(Bounds(Area.Left + C.Place.X, Area.Top + C.Place.Y, 0, 0));
    F.Bar->MoveOnScreen(C.OnlyIfFullyOff);
    EXPECT_EQ(F.WindowRect().TopLeft(), TPoint(Area.Left + C.Want.X, Area.Top + C.Want.Y));
  }
  // Past the right and bottom edges it comes back to them.
  {
    TFloatForm F;
    MonitorAreaOfRect(F.WindowRect(), true, Area);
    const TRect W = F.WindowRect();
    F.Bar->SetFloatingPosition(Bounds(Area.Right - 10, Area.Bottom - 5, 0, 0));
    F.Bar->MoveOnScreen(false);
    EXPECT_EQ(F.WindowRect().TopLeft(), TPoint(Area.Right - W.Width(), Area.Bottom - W.Height()));
  }
  // Wider than the area: the left edge wins.
  {
    TFloatForm F({4000, 40});
    MonitorAreaOfRect(F.WindowRect(), true, Area);
    F.Bar->MoveOnScreen(false);
    EXPECT_EQ(F.WindowRect().Left, Area.Left);
  }
}

}  // namespace test_tbfloat_tests
