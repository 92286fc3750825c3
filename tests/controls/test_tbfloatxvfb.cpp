// Floating toolbars under a real X server and window manager (run by
// tests/controls/xvfb_checks.sh, which starts openbox for the tests named
// *XvfbWm*): the floating window is transient for its form, hides while the
// form is minimised and comes back with it, leaves the form active when
// clicked, passes a close request to the form, a bar docked, floated by a
// drag with Ctrl and dragged back by its caption keeps one window, and a
// resize by the left edge, live or by outline, moves that edge only. Without
// a display and a window manager these checks skip.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/tbfloat.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "tests/support/process.h"

namespace test_tbfloatxvfb_tests {

std::string Hex(uint64_t Id) {
  char B[32];
  std::snprintf(B, sizeof B, "0x%llx", static_cast<unsigned long long>(Id));
  return B;
}

bool XViewable(uint64_t Id) {
  int Rc = -1;
  const std::string Out = gt_test::Capture("xwininfo -id " + Hex(Id) + " 2>/dev/null", &Rc);
  return Rc == 0 && Out.find("IsViewable") != std::string::npos;
}

bool XExists(uint64_t Id) { return gt_test::Shell("xwininfo -id " + Hex(Id) + " >/dev/null 2>&1") == 0; }

uint64_t XActiveWindow() {
  const std::string Out = gt_test::Capture("xdotool getactivewindow 2>/dev/null");
  return Out.empty() ? 0 : std::stoull(Out);
}

bool WindowManagerRuns() {
  return gt_test::Capture("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") != std::string::npos;
}

// Pumps while checking Done every 50 ms.
bool WaitFor(const std::function<bool()>& Done, Integer Ms = 5000) {
  for (Integer T = 0; T < Ms; T += 50) {
    if (Done()) return true;
    GtTestPump(50);
  }
  return Done();
}

class TTestBar : public TTBCustomDockableWindow {
 public:
  TTestBar(TComponent* AOwner, TPoint Client) : TTBCustomDockableWindow(AOwner), FClient(Client) {}
  void CalcSize(bool, TTBDockKind, TPoint& Size, TTBDock*, bool) override { Size = FClient; }
  TPoint GetBaseSize() override { return FClient; }

 private:
  TPoint FClient;
};

// xdotool commands run one by one from timers while a drag loop waits;
// pointer moves wait until the loop holds the mouse.
std::deque<std::string> g_Commands;
void CommandProc(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  if (g_Commands.empty()) return;
  if (g_Commands.front().rfind("mousemove", 0) == 0 && !GetCapture()) {
    SetTimer(nullptr, 0, 60, CommandProc);
    return;
  }
  const std::string C = g_Commands.front();
  g_Commands.pop_front();
  gt_test::Shell("xdotool " + C + " >/dev/null 2>&1");
  SetTimer(nullptr, 0, 60, CommandProc);
}

// Presses the left button at P. The pointer goes somewhere else first: a
// synchronous move to where it already is would wait for a motion that never comes.
void PressAt(TPoint P) {
  gt_test::Shell("xdotool mousemove --sync " + std::to_string(P.X + 3) + " " + std::to_string(P.Y + 3) +
                 " mousemove --sync " + std::to_string(P.X) + " " + std::to_string(P.Y) + " mousedown 1 >/dev/null 2>&1");
}

class TbFloatXvfbWm : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GtTestHasRealDisplay() || !gt_test::HaveTool("xdotool") || !gt_test::HaveTool("wmctrl") ||
        !WindowManagerRuns())
      GTEST_SKIP() << "needs an X display with a window manager, xdotool and wmctrl";
    Form.reset(new TForm(nullptr));
    Form->SetBounds(100, 100, 500, 300);
    Form->SetCaption(u"Main");
    Top = new TTBDock(Form.get());
    Top->SetPosition(dpTop);
    Top->SetParent(Form.get());
    Bar = new TTestBar(Form.get(), {120, 24});
    Bar->SetCaption(u"Tools");
    Bar->SetCurrentDock(Top);
    Form->Show();
    GtTestActivate(Form->Handle());
    FormId = GtTestNativeWindowId(Form->Handle());
    ASSERT_TRUE(WaitFor([&] { return XActiveWindow() == FormId; })) << "the form never became active";
  }
  void TearDown() override {
    g_Commands.clear();
    gt_test::Shell("xdotool mouseup 1 keyup ctrl >/dev/null 2>&1");
    Form.reset();
    Application->ProcessMessages();
  }
  void Float() {
    Bar->SetFloatingPosition(Bounds(700, 200, 0, 0));
    Bar->SetFloating(true);
    FloatId = GtTestNativeWindowId(Bar->FloatingWindow()->Handle());
    ASSERT_TRUE(WaitFor([&] { return FloatId != 0 && XViewable(FloatId); })) << "the floating window never showed";
  }
  std::string Click(TPoint P) {
    return "mousemove --sync " + std::to_string(P.X) + " " + std::to_string(P.Y) + " click 1";
  }

  std::unique_ptr<TForm> Form;
  TTBDock* Top = nullptr;
  TTestBar* Bar = nullptr;
  uint64_t FormId = 0, FloatId = 0;
};

TEST_F(TbFloatXvfbWm, TheFloatingWindowBelongsToItsFormAndFollowsIt) {
  Float();
  // Transient for the form.
  const std::string Transient = gt_test::Capture("xprop -id " + Hex(FloatId) + " WM_TRANSIENT_FOR");
  EXPECT_NE(Transient.find(Hex(FormId)), std::string::npos) << Transient;

  // A click on the bar leaves the form active.
  const TPoint InBar = Bar->ClientToScreen(TPoint(30, 10));
  gt_test::Shell("xdotool " + Click(InBar) + " >/dev/null 2>&1");
  GtTestPump(300);
  EXPECT_EQ(XActiveWindow(), FormId);
  EXPECT_EQ(GetActiveWindow(), Form->Handle());
  EXPECT_FALSE(Bar->InactiveCaption());

  // A close request to the floating window reaches the form and closes nothing.
  Integer Asked = 0;
  Form->OnCloseQuery = [&Asked](TObject*, bool& CanClose) {
    ++Asked;
    CanClose = false;
  };
  gt_test::Shell("wmctrl -i -c " + Hex(FloatId));
  EXPECT_TRUE(WaitFor([&] { return Asked > 0; }));
  GtTestPump(200);
  EXPECT_EQ(Asked, 1);
  EXPECT_TRUE(XViewable(FloatId));
  EXPECT_TRUE(XViewable(FormId));
  EXPECT_TRUE(Bar->Visible());
  Form->OnCloseQuery = nullptr;

  // Minimising the form hides the bar; restoring it shows the bar again.
  gt_test::Shell("xdotool windowminimize --sync " + std::to_string(FormId) + " >/dev/null 2>&1");
  EXPECT_TRUE(WaitFor([&] { return !XViewable(FloatId); })) << "the bar stayed on the screen";
  gt_test::Shell("wmctrl -i -a " + Hex(FormId));
  EXPECT_TRUE(WaitFor([&] { return XViewable(FloatId); })) << "the bar did not come back";
  EXPECT_TRUE(WaitFor([&] { return XActiveWindow() == FormId; }));
}

TEST_F(TbFloatXvfbWm, DockedFloatedAndDockedAgainKeepsOneWindow) {
  HWND H = Bar->Handle();
  GtTestPump(200);
  // Dragged by its handle with Ctrl held: floating.
  TRect W;
  GetWindowRect(H, &W);
  const TPoint Grip(W.Left + 4, W.Top + 8);
  g_Commands = {"keydown ctrl", "mousemove --sync " + std::to_string(Grip.X + 40) + " " + std::to_string(Grip.Y + 100),
                "mousemove --sync " + std::to_string(Grip.X + 80) + " " + std::to_string(Grip.Y + 200),
                "mouseup 1", "keyup ctrl"};
  SetTimer(nullptr, 0, 100, CommandProc);
  PressAt(Grip);
  ASSERT_TRUE(WaitFor([&] { return g_Commands.empty() && Bar->Floating() && !Bar->FDragging; }))
      << "the drag did not end floating";
  ASSERT_TRUE(Bar->FloatingWindow());
  EXPECT_EQ(Bar->Handle(), H);
  FloatId = GtTestNativeWindowId(Bar->FloatingWindow()->Handle());
  ASSERT_TRUE(WaitFor([&] { return FloatId != 0 && XViewable(FloatId); }));
  EXPECT_EQ(XActiveWindow(), FormId) << "floating took nothing from the form";

  // Dragged back by its caption over the top dock: docked, the same window.
  TRect F;
  GetWindowRect(Bar->FloatingWindow()->Handle(), &F);
  const TPoint Caption(F.Left + 20, F.Top + Bar->FloatingNCMargins().Top - 6);
  TPoint DockPoint = Top->ClientToScreen(TPoint(200, Top->ClientHeight() / 2));
  g_Commands = {"mousemove --sync " + std::to_string((Caption.X + DockPoint.X) / 2) + " " +
                    std::to_string((Caption.Y + DockPoint.Y) / 2),
                "mousemove --sync " + std::to_string(DockPoint.X) + " " + std::to_string(DockPoint.Y), "mouseup 1"};
  SetTimer(nullptr, 0, 100, CommandProc);
  PressAt(Caption);
  ASSERT_TRUE(WaitFor([&] { return g_Commands.empty() && Bar->Docked() && !Bar->FDragging; }))
      << "the caption drag did not dock the bar";
  EXPECT_EQ(Bar->CurrentDock(), Top);
  EXPECT_EQ(Bar->Handle(), H);
  EXPECT_FALSE(Bar->FloatingWindow());
  EXPECT_TRUE(WaitFor([&] { return !XExists(FloatId); })) << "the floating window is gone";
  EXPECT_TRUE(IsWindowVisible(H));
}

TEST_F(TbFloatXvfbWm, ResizingByTheLeftEdgeMovesThatEdgeOnly) {
  Float();
  for (bool Smooth : {true, false}) {
    SCOPED_TRACE(Smooth ? "live" : "outline");
    Bar->SetSmoothDrag(Smooth);
    TRect W;
    GetWindowRect(Bar->FloatingWindow()->Handle(), &W);
    const TPoint Edge(W.Left + 1, W.Top + W.Height() / 2 + 5);
    g_Commands = {"mousemove --sync " + std::to_string(Edge.X - 20) + " " + std::to_string(Edge.Y),
                  "mousemove --sync " + std::to_string(Edge.X - 40) + " " + std::to_string(Edge.Y), "mouseup 1"};
    SetTimer(nullptr, 0, 100, CommandProc);
    PressAt(Edge);
    ASSERT_TRUE(WaitFor([&] { return g_Commands.empty(); }));
    GtTestPump(300);
    TRect After;
    GetWindowRect(Bar->FloatingWindow()->Handle(), &After);
    EXPECT_EQ(After.Left, W.Left - 40);
    EXPECT_EQ(After.Right, W.Right);
    EXPECT_EQ(Bar->Width(), After.Width() - 2 * Bar->GetFloatingBorderSize().X);
  }
}

}  // namespace test_tbfloatxvfb_tests
