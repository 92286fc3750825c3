// Popup menus of item trees on a real X server (run with
// tests/controls/xvfb_checks.sh): the window the X server shows is where the
// placement put it, and a popup menu driven by xdotool opens on a right
// press, survives its release, lets a click outside through to the window
// there, closes one level on Escape and runs a chosen item after the menu has
// gone. Without a display these checks skip.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/tbcommon.h"
#include "controls/tbitempopup.h"
#include "controls/tbpopup.h"
#include "tests/controls/tbpopup_test_util.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "tests/platform/ui/uitest.h"
#include "tests/support/process.h"

namespace test_tbxvfb_tests {

namespace {

using Clock = std::chrono::steady_clock;

std::string Hex(uint64_t Id) {
  char B[32];
  std::snprintf(B, sizeof B, "0x%llx", static_cast<unsigned long long>(Id));
  return B;
}

// What xwininfo says of a window: whether it exists and is viewable, and
// its place and size on the screen.
struct TXWindow {
  bool Exists = false, Viewable = false;
  Integer X = -1, Y = -1, Width = -1, Height = -1;
};

Integer FieldOf(const std::string& Out, const std::string& Label) {
  const size_t P = Out.find(Label);
  if (P == std::string::npos) return -1;
  return static_cast<Integer>(std::stol(Out.substr(P + Label.size())));
}

TXWindow XWindowInfo(uint64_t Id) {
  TXWindow W;
  int Rc = -1;
  const std::string Out = gt_test::Capture("xwininfo -id " + Hex(Id) + " 2>/dev/null", &Rc);
  if (Rc != 0 || Out.find("Absolute upper-left X:") == std::string::npos) return W;
  W.Exists = true;
  W.Viewable = Out.find("IsViewable") != std::string::npos;
  W.X = FieldOf(Out, "Absolute upper-left X:");
  W.Y = FieldOf(Out, "Absolute upper-left Y:");
  W.Width = FieldOf(Out, "Width:");
  W.Height = FieldOf(Out, "Height:");
  return W;
}

// Whether the X server still lists the window among the shown ones.
bool XShown(uint64_t Id) { return XWindowInfo(Id).Viewable; }

std::string At(TPoint P) { return " mousemove --sync " + std::to_string(P.X) + " " + std::to_string(P.Y); }

using tbpopup_test::PopupOf;

// The screen point in the middle of Item's row in the popup W.
TPoint RowOf(TTBPopupWindow* W, TTBCustomItem* Item) {
  TTBItemViewer* V = W->View()->FindViewer(Item);
  const TRect& R = V->BoundsRect;
  return W->ClientToScreen(TPoint((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2));
}

// Steps run from a timer while the menu loop waits, each once its condition
// holds: the user's next move, made with xdotool, after the screen has
// answered the last one. A step that waits too long fails the test and ends
// the menu.
struct TStep {
  const char* Name;
  std::function<bool()> Ready;
  std::function<void()> Act;
};

class TScript {
 public:
  explicit TScript(std::vector<TStep> Steps) : FSteps(std::move(Steps)) {
    g_Running = this;
    FSince = Clock::now();
    FTimer = SetTimer(nullptr, 0, 20, Tick);
  }
  ~TScript() {
    KillTimer(nullptr, FTimer);
    g_Running = nullptr;
  }
  bool Done() const { return FNext >= FSteps.size(); }
  // Milliseconds since the last step ran.
  long Elapsed() const {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - FSince).count());
  }

 private:
  static void Tick(HWND, UINT, UINT_PTR, DWORD) {
    TScript* S = g_Running;
    if (!S || S->Done() || S->FBusy) return;
    S->FBusy = true;
    TStep& Step = S->FSteps[S->FNext];
    if (Step.Ready()) {
      Step.Act();
      ++S->FNext;
      S->FSince = Clock::now();
    } else if (S->Elapsed() > 20000) {
      ADD_FAILURE() << "step \"" << Step.Name << "\" never became ready";
      S->FNext = S->FSteps.size();
      PostMessage(nullptr, WM_CANCELMODE, 0, 0);
    }
    S->FBusy = false;
  }
  static inline TScript* g_Running = nullptr;
  std::vector<TStep> FSteps;
  size_t FNext = 0;
  bool FBusy = false;
  Clock::time_point FSince;
  UINT_PTR FTimer = 0;
};

// A shown, active form with a recorder on its right half (the window a
// click outside the menu lands in) and, on its left half, a recorder whose
// right press pops the menu up at the pointer.
struct TMenuScene {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TRecorder* Opener = nullptr;
  TRecorder* Other = nullptr;
  TComponent Owner{nullptr};
  TTBPopupMenu* Menu = new TTBPopupMenu(&Owner);
  TTBItem* Open = Add<TTBItem>(Menu->Items(), u"&Open", "Open");
  // Opening the submenu by a click clicks its item inside the menu; it logs nothing.
  TTBSubmenuItem* Recent = Add<TTBSubmenuItem>(Menu->Items(), u"&Recent", "");
  TTBItem* One = Add<TTBItem>(Recent, u"&One", "One");
  TTBItem* Exit = Add<TTBItem>(Menu->Items(), u"E&xit", "Exit");
  std::vector<std::string> Log;
  // What the X server showed of the menu's window when the click ran.
  bool MenuShownAtClick = false;
  uint64_t MenuId = 0;
  bool Returned = false;

  template <class T>
  T* Add(TTBCustomItem* Parent, const char16_t* Caption, const std::string& Name) {
    T* I = new T(&Owner);
    I->SetCaption(Caption);
    if (!Name.empty())
      I->OnClick = [this, Name](TObject*) {
        Log.push_back(Name);
        MenuShownAtClick = PopupOf(Menu->Items()) != nullptr || (MenuId && XShown(MenuId));
      };
    Parent->Add(I);
    return I;
  }

  TMenuScene() {
    Form->SetBounds(100, 100, 500, 300);
    Opener = new TRecorder(Form.get());
    Opener->SetBounds(0, 0, 250, 300);
    Opener->SetParent(Form.get());
    Other = new TRecorder(Form.get());
    Other->SetBounds(250, 0, 250, 300);
    Other->SetParent(Form.get());
    Opener->OnMouseDown = [this](TObject*, TMouseButton B, TShiftState, Integer X, Integer Y) {
      if (B != mbRight) return;
      const TPoint P = Opener->ClientToScreen(TPoint(X, Y));
      Menu->Popup(P.X, P.Y);
      Returned = true;
    };
    Form->Show();
    GtTestActivate(Form->Handle());
    GtTestPump(200);
  }
  ~TMenuScene() {
    // Releases a button left down by a failed run.
    gt_test::Shell("xdotool mouseup 1 mouseup 3 >/dev/null 2>&1");
    GtTestPump(50);
  }

  // Where the right press opens the menu: near the top-left of the opener,
  // so the menu lies over the opener and leaves the other recorder free.
  TPoint PressPoint() const { return Opener->ClientToScreen(TPoint(40, 30)); }
  TPoint OutsidePoint() const { return Other->ClientToScreen(TPoint(200, 250)); }

  Integer DownsIn(TRecorder* R, TMouseButton B) const {
    Integer N = 0;
    for (const TRecordedMouse& E : R->Mouse) N += E.Kind == "down" && E.Button == B;
    return N;
  }
};

#define GT_NEEDS_X()                                                                             \
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/controls/xvfb_checks.sh)"; \
  ASSERT_TRUE(gt_test::HaveTool("xdotool")) << "needs xdotool";                                  \
  ASSERT_TRUE(gt_test::HaveTool("xwininfo")) << "needs xwininfo"

}  // namespace

TEST(XvfbTbPopup, XvfbTheShownPopupIsWhereThePlacementPutsIt) {
  GT_NEEDS_X();
  TComponent Owner(nullptr);
  auto* Root = new TTBRootItem(&Owner);
  for (const char16_t* C : {u"&Open", u"&Save as...", u"&Print", u"E&xit"}) {
    auto* I = new TTBItem(&Owner);
    I->SetCaption(C);
    Root->Add(I);
  }
  TRect Work;
  MonitorAreaOfPoint(TPoint(0, 0), true, Work);
  ASSERT_GT(Work.Width(), 300);
  struct {
    const char* Name;
    TPoint Point;
    TPopupAlignment Alignment;
  } Cases[] = {
      {"top left", TPoint(Work.Left + 30, Work.Top + 40), paLeft},
      {"bottom right corner, flipped", TPoint(Work.Right - 1, Work.Bottom - 1), paLeft},
      {"right aligned", TPoint(Work.Left + 400, Work.Top + 200), paRight},
      {"centred", TPoint(Work.Left + 400, Work.Top + 200), paCenter},
  };
  for (const auto& K : Cases) {
    std::unique_ptr<TTBPopupWindow> W(Root->OpenPopup(nullptr, nullptr, false, true, false, K.Point, K.Alignment));
    ASSERT_TRUE(W) << K.Name;
    TTBPopupPlacementInput In;
    In.ParentRect = TRect(K.Point.X, K.Point.Y, K.Point.X, K.Point.Y);
    MonitorAreaOfPoint(K.Point, true, In.Monitor);
    In.Width = W->Width();
    In.Height = W->Height();
    In.Alignment = K.Alignment == paRight ? tbpaRight : K.Alignment == paCenter ? tbpaCenter : tbpaLeft;
    In.MenuDropAlignmentRight = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0;
    const TTBPopupPlacement Want = PlacePopup(In);
    const uint64_t Id = GtTestNativeWindowId(W->Handle());
    ASSERT_NE(Id, 0u) << K.Name;
    TXWindow X;
    EXPECT_TRUE(GtTestPumpUntil(
        [&] {
          X = XWindowInfo(Id);
          return X.Viewable && X.X == Want.Position.X && X.Y == Want.Position.Y;
        },
        10000))
        << K.Name << ": X shows (" << X.X << ", " << X.Y << ") viewable " << X.Viewable << ", placed at ("
        << Want.Position.X << ", " << Want.Position.Y << ")";
    EXPECT_EQ(X.Width, In.Width) << K.Name;
    EXPECT_EQ(X.Height, In.Height) << K.Name;
    EXPECT_TRUE(X.X >= Work.Left && X.X + X.Width <= Work.Right && X.Y >= Work.Top && X.Y + X.Height <= Work.Bottom)
        << K.Name;
  }
}

TEST(XvfbTbPopupMenu, XvfbARightPressOpensAndAClickOutsideEndsItAndReachesTheWindowThere) {
  GT_NEEDS_X();
  TMenuScene S;
  const TPoint Press = S.PressPoint(), Outside = S.OutsidePoint();
  bool OpenAfterRelease = false, OutsideCovered = true;
  TScript Script({
      {"the menu shows", [&] { return PopupOf(S.Menu->Items()) != nullptr; },
       [&] {
         TTBPopupWindow* W = PopupOf(S.Menu->Items());
         S.MenuId = GtTestNativeWindowId(W->Handle());
         const TRect B(W->Left(), W->Top(), W->Left() + W->Width(), W->Top() + W->Height());
         OutsideCovered = PtInRect(B, Outside);
         gt_test::Shell("xdotool mouseup 3");
       }},
      {"the release has arrived", [&] { return Script.Elapsed() > 400; },
       [&] {
         OpenAfterRelease = PopupOf(S.Menu->Items()) != nullptr && XShown(S.MenuId);
         gt_test::Shell("xdotool" + At(Outside) + " click 1");
       }},
  });
  ASSERT_EQ(gt_test::Shell("xdotool" + At(Press) + " mousedown 3"), 0);
  ASSERT_TRUE(GtTestPumpUntil([&] { return Script.Done() && S.Returned; }, 60000))
      << "script done " << Script.Done() << ", menu returned " << S.Returned;
  EXPECT_FALSE(OutsideCovered);
  EXPECT_TRUE(OpenAfterRelease);
  EXPECT_TRUE(GtTestPumpUntil([&] { return S.DownsIn(S.Other, mbLeft) > 0; }, 10000));
  GtTestPump(300);
  EXPECT_EQ(S.DownsIn(S.Other, mbLeft), 1);
  EXPECT_EQ(PopupOf(S.Menu->Items()), nullptr);
  EXPECT_FALSE(XShown(S.MenuId));
  EXPECT_TRUE(S.Log.empty());
}

TEST(XvfbTbPopupMenu, XvfbEscapeClosesOneLevelAndTheChosenItemRunsOnceAfterTheMenuHasGone) {
  GT_NEEDS_X();
  TMenuScene S;
  uint64_t SubId = 0;
  bool SubClosed = false, RootStayed = false;
  TScript Script({
      {"the menu shows", [&] { return PopupOf(S.Menu->Items()) != nullptr; },
       [&] {
         TTBPopupWindow* W = PopupOf(S.Menu->Items());
         S.MenuId = GtTestNativeWindowId(W->Handle());
         gt_test::Shell("xdotool mouseup 3" + At(RowOf(W, S.Recent)) + " click 1");
       }},
      {"the submenu shows", [&] { return PopupOf(S.Recent) != nullptr; },
       [&] {
         SubId = GtTestNativeWindowId(PopupOf(S.Recent)->Handle());
         gt_test::Shell("xdotool key Escape");
       }},
      {"the submenu has gone", [&] { return PopupOf(S.Recent) == nullptr || Script.Elapsed() > 3000; },
       [&] {
         SubClosed = PopupOf(S.Recent) == nullptr && !XShown(SubId);
         TTBPopupWindow* W = PopupOf(S.Menu->Items());
         RootStayed = W != nullptr && XShown(S.MenuId);
         if (W)
           gt_test::Shell("xdotool" + At(RowOf(W, S.Exit)) + " click 1");
         else
           PostMessage(nullptr, WM_CANCELMODE, 0, 0);
       }},
  });
  ASSERT_EQ(gt_test::Shell("xdotool" + At(S.PressPoint()) + " mousedown 3"), 0);
  ASSERT_TRUE(GtTestPumpUntil([&] { return Script.Done() && S.Returned; }, 60000))
      << "script done " << Script.Done() << ", menu returned " << S.Returned;
  EXPECT_NE(SubId, 0u);
  EXPECT_TRUE(SubClosed);
  EXPECT_TRUE(RootStayed);
  EXPECT_TRUE(GtTestPumpUntil([&] { return !S.Log.empty(); }, 10000));
  GtTestPump(300);
  EXPECT_EQ(S.Log, std::vector<std::string>{"Exit"});
  EXPECT_FALSE(S.MenuShownAtClick);
  EXPECT_EQ(S.DownsIn(S.Other, mbLeft), 0);
}

}  // namespace test_tbxvfb_tests
