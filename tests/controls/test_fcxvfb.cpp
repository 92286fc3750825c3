// The control set on a real X server, driven by xdotool (run with
// tests/controls/xvfb_checks.sh): a ghost drag of a splitter cancelled with
// Escape leaves the screen as it was, and dragging a status bar's grip sizes
// its form. Without a display these checks skip.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/fcsplit.h"
#include "controls/fcstatus.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "tests/support/process.h"

namespace fcxvfb_tests {
namespace {

std::string At(TPoint P) { return " mousemove --sync " + std::to_string(P.X) + " " + std::to_string(P.Y); }

std::unique_ptr<TForm> ShownForm(Integer W, Integer H) {
  std::unique_ptr<TForm> f(new TForm(nullptr));
  f->SetBounds(100, 100, W, H);
  f->Show();
  GtTestActivate(f->Handle());
  GtTestPump(200);
  return f;
}

TEST(XvfbFcSplitter, XvfbAGhostDragCancelledWithEscapeLeavesTheScreenAsBefore) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/controls/xvfb_checks.sh)";
  ASSERT_TRUE(gt_test::HaveTool("xdotool")) << "needs xdotool";
  auto form = ShownForm(400, 250);
  auto* s = new TFcSplitter(form.get());
  s->SetParent(form.get());
  s->SetBounds(10, 10, 300, 150);
  GtTestPump(200);
  const TPoint o = s->ClientToScreen(TPoint(0, 0));
  auto shot = [&] {
    std::vector<uint32_t> px;
    GtTestScreenPixels(o.X, o.Y, s->Width(), s->Height(), px);
    return px;
  };
  const std::vector<uint32_t> before = shot();
  ASSERT_FALSE(before.empty());
  const Integer start = s->Position();
  const TPoint bar(o.X + start + 1, o.Y + 50);
  ASSERT_EQ(gt_test::Shell("xdotool" + At(bar) + " mousedown 1" + At(TPoint(bar.X + 15, bar.Y)) +
                           At(TPoint(bar.X + 30, bar.Y))),
            0);
  ASSERT_TRUE(GtTestPumpUntil([&] { return s->Dragging(); }, 60000));
  GtTestPump(200);
  EXPECT_NE(shot(), before);  // the ghost shows over the panes
  ASSERT_EQ(gt_test::Shell("xdotool key Escape"), 0);
  ASSERT_TRUE(GtTestPumpUntil([&] { return !s->Dragging(); }, 60000));
  ASSERT_EQ(gt_test::Shell("xdotool mouseup 1"), 0);
  GtTestPump(200);
  EXPECT_EQ(s->Position(), start);
  EXPECT_EQ(shot(), before);
}

// The press on the grip arrives while the application's pump waits; the
// resize loop it starts must still see the pointer's moves and the release.
TEST(XvfbFcStatusBar, XvfbDraggingTheGripSizesTheFormUntilTheRelease) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/controls/xvfb_checks.sh)";
  ASSERT_TRUE(gt_test::HaveTool("xdotool")) << "needs xdotool";
  auto form = ShownForm(400, 250);
  auto* bar = new TFcStatusBar(form.get());
  bar->SetParent(form.get());
  GtTestPump(200);
  ASSERT_TRUE(bar->GripActive());
  const Integer w = form->Width(), h = form->Height();
  const TRect g = bar->GripRect();
  const TPoint grip = bar->ClientToScreen(TPoint(g.Right - 4, (g.Top + g.Bottom) / 2));
  ASSERT_EQ(gt_test::Shell("xdotool" + At(grip) + " mousedown 1" + At(TPoint(grip.X + 20, grip.Y + 10)) +
                           At(TPoint(grip.X + 40, grip.Y + 30)) + " mouseup 1"),
            0);
  EXPECT_TRUE(GtTestPumpUntil([&] { return form->Width() == w + 40 && form->Height() == h + 30; }, 60000))
      << form->Width() << " x " << form->Height() << " from " << w << " x " << h;
  EXPECT_EQ(GetCapture(), nullptr);
  // The loop has ended: a later move leaves the size alone.
  ASSERT_EQ(gt_test::Shell("xdotool" + At(TPoint(grip.X + 60, grip.Y + 50))), 0);
  GtTestPump(200);
  EXPECT_EQ(form->Width(), w + 40);
  EXPECT_EQ(form->Height(), h + 30);
}

}  // namespace
}  // namespace fcxvfb_tests
