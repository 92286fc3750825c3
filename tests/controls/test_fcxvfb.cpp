// The control set on a real X server, driven by xdotool (run with
// tests/controls/xvfb_checks.sh): a ghost drag of a splitter cancelled with
// Escape leaves the screen as it was. Without a display these checks skip.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/fcsplit.h"
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

}  // namespace
}  // namespace fcxvfb_tests
