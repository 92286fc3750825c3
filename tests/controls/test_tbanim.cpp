// Popup animation on a fake clock and cursor: the slide's offsets and growing
// region, the fade's opacity, the 10 ms step rule, every way the animation
// ends (always showing the whole window and notifying it once), which popups
// animate, a start that fails, the menu loop stepping it, and a press on a
// menu still sliding in.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <memory>
#include <string>
#include <vector>

#include "controls/tbanim.h"
#include "controls/tbcommon.h"
#include "controls/tbpopup.h"
#include "platform/ui/testsupport.h"
#include "tests/controls/tbpopup_test_util.h"
#include "tests/platform/graphics/gdi_test_util.h"
#include "tests/platform/ui/uitest.h"
#include "tests/support/process.h"

namespace test_tbanim_tests {

namespace {

using gt_uitest::Soon;

// A popup window that counts the animation's end notifications and its shows.
class TCountingPopup : public TTBPopupWindow {
 public:
  using TTBPopupWindow::TTBPopupWindow;
  Integer Ended = 0, Shows = 0;
  void Dispatch(TMessage& M) override {
    if (M.Msg == TBAnimationEndedMessage) ++Ended;
    if (M.Msg == WM_SHOWWINDOW && M.WParam) ++Shows;
    TTBPopupWindow::Dispatch(M);
  }
};

template <class Base>
class TCountingItem : public Base {
 public:
  using Base::Base;
  TTBPopupWindow* CreatePopupWindow(TTBView* ParentView, bool Customizing) override {
    return new TCountingPopup(nullptr, ParentView, this, Customizing);
  }
};

// Counts the fade's layered updates, which go on to the platform.
Integer g_LayeredUpdates = 0;
BOOL CountingLayeredUpdate(HWND Wnd, HDC DstDC, const TPoint* DstPt, const TSize* Size, HDC SrcDC,
                           const TPoint* SrcPt, COLORREF Key, const BLENDFUNCTION* Blend, DWORD Flags) {
  ++g_LayeredUpdates;
  return UpdateLayeredWindow(Wnd, DstDC, DstPt, Size, SrcDC, SrcPt, Key, Blend, Flags);
}

// The fake clock and cursor, the menu settings and the layered update, put
// back when the test ends.
struct TAnimWorld {
  Cardinal Tick = 1000;
  TPoint Cursor{1, 1};
  TAnimWorld() {
    TBSetAnimationClock([this] { return Tick; });
    TBSetAnimationCursor([this] { return Cursor; });
    Settings(true, false);
  }
  ~TAnimWorld() {
    EndPopupAnimation();
    TBSetAnimationClock(nullptr);
    TBSetAnimationCursor(nullptr);
    TBSetUpdateLayeredWindowEntry(&UpdateLayeredWindow);
    Settings(true, false);
  }
  static void Settings(bool Animation, bool Fade) {
    SystemParametersInfo(SPI_SETMENUANIMATION, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(Animation)), 0);
    SystemParametersInfo(SPI_SETMENUFADE, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(Fade)), 0);
  }
  // Steps once at Tick + Ms from the start (the open).
  void At(Cardinal Start, Cardinal Ms) {
    Tick = Start + Ms;
    StepPopupAnimation();
  }
};

struct TMenu {
  TComponent Owner{nullptr};
  TCountingItem<TTBRootItem>* Root = new TCountingItem<TTBRootItem>(&Owner);
  TCountingItem<TTBSubmenuItem>* Sub = nullptr;
  TTBItem* Exit = nullptr;
  TMenu() {
    for (const char16_t* C : {u"&Open", u"&Recent", u"&Save as...", u"E&xit"}) {
      TTBCustomItem* I = nullptr;
      if (C[1] == u'R')
        I = Sub = new TCountingItem<TTBSubmenuItem>(&Owner);
      else
        I = Exit = new TTBItem(&Owner);
      I->SetCaption(C);
      Root->Add(I);
    }
    auto* One = new TTBItem(&Owner);
    One->SetCaption(u"&One");
    Sub->Add(One);
  }
  // A context menu opened by the mouse (nothing selected) at P.
  std::unique_ptr<TCountingPopup> Open(TPoint P, bool SelectFirst = false) {
    return std::unique_ptr<TCountingPopup>(
        static_cast<TCountingPopup*>(Root->OpenPopup(nullptr, nullptr, false, SelectFirst, false, P, paLeft)));
  }
};

double Opacity(TTBPopupWindow* W) { return GtTestWindowOpacity(W->Handle()); }
bool Layered(TTBPopupWindow* W) { return (GetWindowLong(W->Handle(), GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

// The window's shape: "none", "empty" or the box of the region.
std::string Shape(TTBPopupWindow* W) {
  HRGN R = CreateRectRgn(0, 0, 0, 0);
  const Integer Kind = GetWindowRgn(W->Handle(), R);
  TRect B;
  GetRgnBox(R, &B);
  DeleteObject(R);
  if (Kind == ERROR) return "none";
  if (Kind == NULLREGION) return "empty";
  return std::to_string(B.Left) + "," + std::to_string(B.Top) + "," + std::to_string(B.Right) + "," +
         std::to_string(B.Bottom);
}

// What the window draws of itself, frame and client, as WM_PRINT gives it.
std::vector<uint32_t> Printed(TTBPopupWindow* W) {
  TTestDib D(W->Width(), W->Height(), 24, 0x00FF00);
  SendMessage(W->Handle(), WM_PRINT, reinterpret_cast<WPARAM>(D.DC), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
  std::vector<uint32_t> P;
  for (Integer y = 0; y < D.H; ++y)
    for (Integer x = 0; x < D.W; ++x) P.push_back(D.At(x, y));
  return P;
}

// The pixels the platform shows for the whole window, as 0xBBGGRR like the print.
std::vector<uint32_t> Shown(TTBPopupWindow* W) {
  std::vector<uint32_t> P;
  Integer Width = 0, Height = 0;
  if (!GtTestGrabWindow(W->Handle(), P, Width, Height)) return {};
  for (uint32_t& C : P) C = ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
  return P;
}

}  // namespace

class TbAnim : public UiTest {
 protected:
  TAnimWorld World;
};

TEST(TbAnimSlide, OffsetsForEachDirectionAndValue) {
  // A 100 x 60 window; MulDiv rounds (2 and 3 tell it from truncation).
  const struct {
    Byte Dir;
    Integer Value, X, Y;
  } Cases[] = {
      {tbadDownwards, 0, 0, -60},    {tbadDownwards, 1, 0, -60},    {tbadDownwards, 3, 0, -59},
      {tbadDownwards, 127, 0, -30},  {tbadDownwards, 128, 0, -30},  {tbadDownwards, 254, 0, 0},
      {tbadUpwards, 0, 0, 60},       {tbadUpwards, 1, 0, 60},       {tbadUpwards, 3, 0, 59},
      {tbadUpwards, 127, 0, 30},     {tbadUpwards, 128, 0, 30},     {tbadUpwards, 254, 0, 0},
      {tbadRightwards, 0, -100, 0},  {tbadRightwards, 1, -100, 0},  {tbadRightwards, 2, -99, 0},
      {tbadRightwards, 127, -50, 0}, {tbadRightwards, 128, -50, 0}, {tbadRightwards, 254, 0, 0},
      {tbadLeftwards, 0, 100, 0},    {tbadLeftwards, 1, 100, 0},    {tbadLeftwards, 2, 99, 0},
      {tbadLeftwards, 127, 50, 0},   {tbadLeftwards, 128, 50, 0},   {tbadLeftwards, 254, 0, 0},
      // Both bits of an axis: downwards before upwards, rightwards before leftwards.
      {tbadDownwards | tbadUpwards, 127, 0, -30},
      {tbadLeftwards | tbadRightwards, 127, -50, 0},
      // One direction of each axis together.
      {tbadUpwards | tbadLeftwards, 3, 99, 59},
      {tbadDownwards | tbadRightwards, 128, -50, -30},
      {0, 127, 0, 0},
  };
  for (const auto& C : Cases) {
    const TPoint P = TBSlideOffset(100, 60, C.Value, C.Dir);
    EXPECT_EQ(P.X, C.X) << "directions " << int(C.Dir) << " value " << C.Value;
    EXPECT_EQ(P.Y, C.Y) << "directions " << int(C.Dir) << " value " << C.Value;
  }
}

TEST_F(TbAnim, FadeFollowsTheClockAndEndsFullyOpaque) {
  TAnimWorld::Settings(true, true);
  TBSetUpdateLayeredWindowEntry(&CountingLayeredUpdate);
  g_LayeredUpdates = 0;
  TMenu M;
  World.Tick = 5000;
  auto W = M.Open(TPoint(100, 100));
  ASSERT_TRUE(PopupAnimationRunning());
  EXPECT_TRUE(IsWindowVisible(W->Handle()));
  EXPECT_TRUE(Layered(W.get()));
  EXPECT_EQ(Shape(W.get()), "none");
  EXPECT_NEAR(Opacity(W.get()), 40 / 255.0, 1e-6);
  EXPECT_EQ(g_LayeredUpdates, 1);

  const struct {
    Cardinal Ms;
    Integer Alpha;  // 255: ended
    Integer Updates;
    const char* Why;
  } Steps[] = {
      {9, 40, 1, "under 10 ms after the start does nothing"},
      {10, 54, 2, "10 * 255 / 175 + 40"},
      {19, 54, 2, "9 ms after the last working step does nothing"},
      // The clock went back: the unsigned difference is large, so the step
      // works, but its value is below the last one shown.
      {0, 54, 2, "a smaller value draws nothing"},
      {10, 54, 2, "the same value draws nothing"},
      {100, 185, 3, "100 * 255 / 175 + 40"},
      {147, 254, 4, "the last value below 255"},
      {0, 254, 4, "back again, so that the next step may follow at once"},
      {148, 255, 4, "the value would pass 254: the end"},
  };
  for (const auto& S : Steps) {
    World.At(5000, S.Ms);
    EXPECT_EQ(PopupAnimationRunning(), S.Alpha < 255) << S.Why;
    EXPECT_NEAR(Opacity(W.get()), S.Alpha / 255.0, 1e-6) << S.Why;
    EXPECT_EQ(g_LayeredUpdates, S.Updates) << S.Why;
  }
  EXPECT_FALSE(Layered(W.get()));
  EXPECT_EQ(W->Ended, 1);
  EXPECT_EQ(W->Shows, 1);
  EXPECT_EQ(Shown(W.get()), Printed(W.get()));
  EndPopupAnimation();
  EndPopupAnimationFor(nullptr);
  EXPECT_EQ(W->Ended, 1);
}

TEST_F(TbAnim, SlideGrowsARegionOverTheMovingSnapshot) {
  TMenu M;
  World.Tick = 0xFFFFFFF0u;  // the tick count wraps during the slide
  auto W = M.Open(TPoint(100, 100));
  // At a point the popup lies below and right of it: it slides down and right.
  ASSERT_EQ(W->AnimationDirection(), tbadDownwards | tbadRightwards);
  ASSERT_TRUE(PopupAnimationRunning());
  EXPECT_EQ(Shape(W.get()), "empty");
  EXPECT_FALSE(Layered(W.get()));
  const Integer Wd = W->Width(), Ht = W->Height();

  // Printing the window would end the animation (it erases the background):
  // what shows is kept and compared with the print at the end.
  struct TSeen {
    Cardinal Ms;
    Integer X, Y;
    std::string Shape;
    std::vector<uint32_t> Pixels;
  };
  std::vector<TSeen> Seen;
  for (Cardinal Ms : {30u, 75u, 140u}) {
    World.At(0xFFFFFFF0u, Ms);
    ASSERT_TRUE(PopupAnimationRunning()) << Ms;
    const Integer V = static_cast<Integer>(Ms * 255 / 150);
    Seen.push_back({Ms, MulDiv(Wd, V, 255) - Wd, MulDiv(Ht, V, 255) - Ht, Shape(W.get()), Shown(W.get())});
  }
  World.At(0xFFFFFFF0u, 150);
  EXPECT_FALSE(PopupAnimationRunning());
  EXPECT_EQ(Shape(W.get()), "none");
  EXPECT_EQ(W->Ended, 1);
  const std::vector<uint32_t> Print = Printed(W.get());
  EXPECT_EQ(Shown(W.get()), Print);
  for (const TSeen& S : Seen) {
    EXPECT_EQ(S.Shape, "0,0," + std::to_string(S.X + Wd) + "," + std::to_string(S.Y + Ht)) << S.Ms;
    // What shows is the snapshot's bottom-right part, at the top-left corner.
    ASSERT_EQ(S.Pixels.size(), Print.size());
    Integer Wrong = 0;
    for (Integer y = 0; y < S.Y + Ht; ++y)
      for (Integer x = 0; x < S.X + Wd; ++x)
        Wrong += S.Pixels[static_cast<size_t>(y * Wd + x)] != Print[static_cast<size_t>((y - S.Y) * Wd + (x - S.X))];
    EXPECT_EQ(Wrong, 0) << S.Ms;
  }
}

TEST_F(TbAnim, TheCursorEnteringTheClientAreaEndsIt) {
  TMenu M;
  // The popup's client area starts 3 pixels inside its corner at (100, 100).
  const TPoint Inside(110, 110), Outside(90, 300), Elsewhere(95, 310);
  World.Cursor = Inside;  // opened under the cursor: staying there goes on
  auto W = M.Open(TPoint(100, 100));
  ASSERT_TRUE(PtInRect(W->BoundsRect(), Inside));
  World.At(1000, 10);
  EXPECT_TRUE(PopupAnimationRunning()) << "the cursor has not moved";
  World.Cursor = Outside;
  World.At(1000, 20);
  EXPECT_TRUE(PopupAnimationRunning()) << "moved outside";
  World.Cursor = Elsewhere;
  World.At(1000, 30);
  EXPECT_TRUE(PopupAnimationRunning()) << "moved outside again";
  EXPECT_NE(Shape(W.get()), "none");
  World.Cursor = TPoint(W->Left() + 3, W->Top() + 3);  // the client's first pixel
  World.At(1000, 40);
  EXPECT_FALSE(PopupAnimationRunning());
  EXPECT_EQ(Shape(W.get()), "none");
  EXPECT_EQ(Shown(W.get()), Printed(W.get()));
  EXPECT_EQ(W->Ended, 1);
}

TEST_F(TbAnim, EveryWayOutShowsTheWholeWindowAndNotifiesItOnce) {
  TMenu M;
  const struct {
    const char* Name;
    std::function<void(TCountingPopup* W, TMenu& M, std::unique_ptr<TCountingPopup>& Other)> End;
  } Cases[] = {
      {"cancelled with no window", [](TCountingPopup*, TMenu&, auto&) { EndPopupAnimationFor(nullptr); }},
      {"cancelled for its window", [](TCountingPopup* W, TMenu&, auto&) { EndPopupAnimationFor(W->Handle()); }},
      {"painted",
       [](TCountingPopup* W, TMenu&, auto&) {
         InvalidateRect(W->Handle(), nullptr, TRUE);
         UpdateWindow(W->Handle());
       }},
      {"hidden", [](TCountingPopup* W, TMenu&, auto&) { ShowWindow(W->Handle(), SW_HIDE); }},
      {"another popup animates",
       [](TCountingPopup*, TMenu& M, auto& Other) { Other = M.Open(TPoint(400, 100)); }},
  };
  for (const auto& C : Cases) {
    auto W = M.Open(TPoint(100, 100));
    ASSERT_TRUE(PopupAnimationRunning()) << C.Name;
    std::unique_ptr<TCountingPopup> Other;
    C.End(W.get(), M, Other);
    EXPECT_EQ(W->Ended, 1) << C.Name;
    EXPECT_EQ(Shape(W.get()), "none") << C.Name;
    if (IsWindowVisible(W->Handle())) {
      EXPECT_EQ(Shown(W.get()), Printed(W.get())) << C.Name;
    }
    EXPECT_EQ(PopupAnimationRunning(), Other != nullptr) << C.Name;
    EndPopupAnimation();
    EXPECT_EQ(W->Ended, 1) << C.Name << ": only once";
  }

  // Cancelling for another window changes nothing.
  auto W = M.Open(TPoint(100, 100));
  auto Bystander = M.Open(TPoint(400, 100), true);
  EndPopupAnimationFor(Bystander->Handle());
  EXPECT_TRUE(PopupAnimationRunning());
  EXPECT_EQ(W->Ended, 0);
  // A popup destroyed while it slides ends its animation on the way.
  W.reset();
  EXPECT_FALSE(PopupAnimationRunning());
}

TEST_F(TbAnim, OnlyPopupsOpenedByTheMouseAnimateAsTheSettingsSay) {
  TMenu M;
  const struct {
    const char* Name;
    bool Animation, Fade, SelectFirst, NoLayered;
    const char* Expect;  // "slide", "fade" or "none"
  } Cases[] = {
      {"default settings slide", true, false, false, false, "slide"},
      {"fade chosen", true, true, false, false, "fade"},
      {"fade without layered windows slides", true, true, false, true, "slide"},
      {"animation off", false, true, false, false, "none"},
      {"opened by the keyboard", true, true, true, false, "none"},
  };
  for (const auto& C : Cases) {
    TAnimWorld::Settings(C.Animation, C.Fade);
    TBSetUpdateLayeredWindowEntry(C.NoLayered ? nullptr : &UpdateLayeredWindow);
    auto W = M.Open(TPoint(100, 100), C.SelectFirst);
    const std::string Got = !PopupAnimationRunning() ? "none" : Layered(W.get()) ? "fade" : "slide";
    EXPECT_EQ(Got, C.Expect) << C.Name;
    EXPECT_TRUE(IsWindowVisible(W->Handle())) << C.Name;
    EXPECT_EQ(W->Shows, 1) << C.Name;
    if (Got == "none") {
      EXPECT_EQ(Shape(W.get()), "none") << C.Name;
      EXPECT_EQ(Opacity(W.get()), 1.0) << C.Name;
    }
    W.reset();
    EXPECT_FALSE(PopupAnimationRunning()) << C.Name;
  }
  TBSetUpdateLayeredWindowEntry(&UpdateLayeredWindow);
  TAnimWorld::Settings(true, false);

  // A submenu of a view that asks for no animation shows at once; of any
  // other view it slides.
  for (bool NoAnimation : {false, true}) {
    auto Top = M.Open(TPoint(100, 100), true);
    TTBView* TopView = Top->View();
    if (NoAnimation) TopView->SetState(TTBViewState(TopView->State()).Include(vsNoAnimation));
    M.Sub->OpenPopup(TopView, TopView->FindViewer(M.Sub), true, false, false, TPoint(), paLeft);
    EXPECT_EQ(PopupAnimationRunning(), !NoAnimation);
    EXPECT_TRUE(IsWindowVisible(TopView->OpenPopupWindow()->Handle()));
    TopView->CloseChildPopups();
    EXPECT_FALSE(PopupAnimationRunning());
  }
}

// The layered update fails: the start raises, and the menu opens without the
// animation, once, and keeps working.
BOOL RefusingLayeredUpdate(HWND, HDC, const TPoint*, const TSize*, HDC, const TPoint*, COLORREF,
                           const BLENDFUNCTION*, DWORD) {
  return FALSE;
}

TEST_F(TbAnim, AStartThatFailsShowsThePopupOnceAndTheMenuGoesOn) {
  TAnimWorld::Settings(true, true);
  TBSetUpdateLayeredWindowEntry(&RefusingLayeredUpdate);
  TMenu M;
  {
    auto W = M.Open(TPoint(100, 100));
    EXPECT_THROW(StartPopupAnimation(W->Handle(), true, 0), EOSError);
    EXPECT_FALSE(PopupAnimationRunning());
  }

  GtTestActivate(Form->Handle());
  TCountingPopup* Seen = nullptr;
  bool Visible = false, Running = true, Opaque = false;
  Integer Shows = 0;
  Soon([&] {
    Seen = static_cast<TCountingPopup*>(tbpopup_test::PopupOf(M.Root));
    if (Seen) {
      Visible = IsWindowVisible(Seen->Handle());
      Shows = Seen->Shows;
      Running = PopupAnimationRunning();
      Opaque = !Layered(Seen) && Opacity(Seen) == 1.0 && Shown(Seen) == Printed(Seen);
    }
    // The loop goes on: the keys choose the last item.
    for (WORD K : {VK_UP, VK_RETURN}) {
      GtTestKey(Form->Handle(), true, K, 0);
      GtTestKey(Form->Handle(), false, K, 0);
    }
    PostMessage(nullptr, WM_CANCELMODE, 0, 0);  // ends a loop that missed the keys
  });
  TTBCustomItem* Chosen = M.Root->PopupAt(false, false, TPoint(100, 100), paLeft, true);
  ASSERT_NE(Seen, nullptr);
  EXPECT_TRUE(Visible);
  EXPECT_EQ(Shows, 1);
  EXPECT_FALSE(Running);
  EXPECT_TRUE(Opaque);
  EXPECT_EQ(Chosen, M.Exit);
  MSG Left;
  while (PeekMessage(&Left, nullptr, WM_CANCELMODE, WM_CANCELMODE, PM_REMOVE)) {
  }
}

TEST_F(TbAnim, TheMenuLoopStepsTheAnimationWhileItWaits) {
  TMenu M;
  GtTestActivate(Form->Handle());
  bool RunningAtOpen = false, RunningLater = true, Whole = false;
  // Looks again until the loop has taken a turn (a busy machine may run the
  // next timer first); nothing but the loop steps the animation.
  Integer Looks = 0;
  std::function<void()> Look = [&] {
    RunningLater = PopupAnimationRunning();
    if (RunningLater && ++Looks < 100) {
      Soon(Look);
      return;
    }
    if (TTBPopupWindow* W = tbpopup_test::PopupOf(M.Root)) Whole = Shape(W) == "none" && Shown(W) == Printed(W);
    GtTestKey(Form->Handle(), true, VK_ESCAPE, 0);
    GtTestKey(Form->Handle(), false, VK_ESCAPE, 0);
    PostMessage(nullptr, WM_CANCELMODE, 0, 0);
  };
  Soon([&] {
    RunningAtOpen = PopupAnimationRunning();
    World.Tick += 150;  // the loop's next turn ends the slide
    Soon(Look);
  });
  EXPECT_EQ(M.Root->PopupAt(false, false, TPoint(100, 100), paLeft, true), nullptr);
  EXPECT_TRUE(RunningAtOpen);
  EXPECT_FALSE(RunningLater);
  EXPECT_TRUE(Whole);
  MSG Left;
  while (PeekMessage(&Left, nullptr, WM_CANCELMODE, WM_CANCELMODE, PM_REMOVE)) {
  }
}

TEST_F(TbAnim, APressOnAMenuStillSlidingInReachesIt) {
  TMenu M;
  GtTestActivate(Form->Handle());
  bool Running = false;
  Soon([&] {
    TTBPopupWindow* W = tbpopup_test::PopupOf(M.Root);
    Running = PopupAnimationRunning();
    // The last row is not shown yet; the press comes before any step.
    TTBItemViewer* V = W->View()->FindViewer(M.Exit);
    const TPoint C(V->BoundsRect.Left + 5, V->BoundsRect.Top + 3);
    GtTestMouse(W->Handle(), gmaMove, gmbNone, C.X, C.Y);
    GtTestMouse(W->Handle(), gmaPress, gmbLeft, C.X, C.Y);
    GtTestMouse(W->Handle(), gmaRelease, gmbLeft, C.X, C.Y);
    PostMessage(nullptr, WM_CANCELMODE, 0, 0);  // ends a loop that missed the click
  });
  EXPECT_EQ(M.Root->PopupAt(false, false, TPoint(100, 100), paLeft, true), M.Exit);
  EXPECT_TRUE(Running);
  EXPECT_FALSE(PopupAnimationRunning());
  MSG Left;
  while (PeekMessage(&Left, nullptr, WM_CANCELMODE, WM_CANCELMODE, PM_REMOVE)) {
  }
}

// On a real X server: after the animation the screen shows the popup exactly
// as a popup shown without one, and no opacity below full is left on it.
TEST(XvfbTbAnim, XvfbAfterTheAnimationThePopupLooksAsIfShownWithoutOne) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/controls/xvfb_checks.sh)";
  ASSERT_TRUE(gt_test::HaveTool("xprop")) << "needs xprop";
  TMenu M;
  const TPoint At(200, 200);
  auto ScreenOf = [](TTBPopupWindow* W) {
    std::vector<uint32_t> P;
    GtTestScreenPixels(W->Left(), W->Top(), W->Width(), W->Height(), P);
    return P;
  };
  TAnimWorld::Settings(false, false);
  std::vector<uint32_t> Plain;
  {
    auto W = M.Open(At);
    GtTestPump(300);
    Plain = ScreenOf(W.get());
  }
  ASSERT_FALSE(Plain.empty());
  for (bool Fade : {true, false}) {
    TAnimWorld::Settings(true, Fade);
    auto W = M.Open(At);
    EXPECT_TRUE(PopupAnimationRunning()) << Fade;
    EXPECT_TRUE(GtTestPumpUntil(
        [] {
          StepPopupAnimation();
          return !PopupAnimationRunning();
        },
        5000));
    std::vector<uint32_t> Now;
    EXPECT_TRUE(GtTestPumpUntil(
        [&] {
          Now = ScreenOf(W.get());
          return Now == Plain;
        },
        3000))
        << (Fade ? "fade" : "slide");
    const std::string Id = std::to_string(GtTestNativeWindowId(W->Handle()));
    const std::string Props = gt_test::Capture("xprop -id " + Id + " _NET_WM_WINDOW_OPACITY 2>&1");
    EXPECT_NE(Props.find("not found"), std::string::npos) << Props;
  }
  TAnimWorld::Settings(true, false);
}

}  // namespace test_tbanim_tests
