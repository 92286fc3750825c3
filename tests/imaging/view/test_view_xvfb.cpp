// The view on a real X server, driven by xdotool (run with
// tests/imaging/viewdisplay/xvfb_checks.sh): a drag over the window makes a
// rectangular selection, a wheel notch zooms out by the wheel's step.
// Without a display, or without xdotool, these checks skip.
#include <string>

#include "view_test_util.h"

namespace test_view_xvfb_tests {

using namespace view_test;

namespace {

class XvfbView : public ViewTest {
 protected:
  // The screen position of the view's client origin, the window shown and active.
  TPoint Show(TZiduzUvView* V) {
    GtTestActivate(Form->Handle());
    GtTestPump(200);
    return V->ClientToScreen(TPoint(0, 0));
  }
  static std::string At(TPoint Origin, Integer X, Integer Y) {
    return " mousemove --sync " + std::to_string(Origin.X + X) + " " + std::to_string(Origin.Y + Y);
  }
};

TEST_F(XvfbView, XvfbDragSelectsAndWheelZooms) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/imaging/viewdisplay/xvfb_checks.sh)";
  ASSERT_TRUE(gt_test::HaveTool("xdotool")) << "needs xdotool";
  TZiduzUvView* v = MakeView(300, 300);
  SetPicture(v, 300, 300);
  v->SetMouseInteract(TIEMouseInteract{miSelect});
  const TPoint o = Show(v);
  const std::string drag = "xdotool" + At(o, 20, 30) + " mousedown 1" + At(o, 40, 40) + At(o, 60, 50) + " mouseup 1";
  ASSERT_EQ(gt_test::Shell(drag), 0);
  ASSERT_TRUE(GtTestPumpUntil([&] { return v->Selected() && !v->GestureRunning(); }, 60000));
  GtTestPump(100);
  const TIEMask* m = v->SelectionMask();
  EXPECT_EQ(TRect(m->X1, m->Y1, m->X2, m->Y2), TRect(20, 30, 59, 49));
  Integer set = 0;
  for (Integer y = 0; y < 300; ++y)
    for (Integer x = 0; x < 300; ++x) set += m->IsPointInside(x, y);
  EXPECT_EQ(set, 40 * 20);

  v->SetMouseInteract(TIEMouseInteract{});
  // Button 4 is a roll away from the user: one notch zooms out by 8 %.
  ASSERT_EQ(gt_test::Shell("xdotool" + At(o, 150, 150) + " click 4"), 0);
  ASSERT_TRUE(GtTestPumpUntil([&] { return v->Zoom() != 100; }, 60000));
  EXPECT_DOUBLE_EQ(v->Zoom(), 92);
  delete v;
}

}  // namespace

}  // namespace test_view_xvfb_tests
