// The selection outline on the window surface: the dash pattern and its
// phase, the timer that moves it, the grips of a rectangle, the order of
// the polygon notifications and the timing of a mask outline.
#include <vector>

#include "platform/ui/extctrls.h"
#include "view_test_util.h"

namespace test_view_outline_tests {

using namespace view_test;

namespace {

// Reaches the view's own outline timer tick and its fast-frame count.
class TProbeView : public TZiduzUvView {
 public:
  using TZiduzUvView::TZiduzUvView;
  using TZiduzUvView::OutlineTimerTick;
  void SetFastFrames(Integer N) { FFastFramesCount = N; }
};

class TOutlineTest : public ViewTest {
 protected:
  TProbeView* Make(Integer W, Integer H) {
    auto* v = new TProbeView(Form.get());
    v->SetBorderStyle(bsNone);
    v->SetParent(Form.get());
    v->SetBounds(0, 0, W, H);
    v->HandleNeeded();
    GtTestPump(5);
    SetPicture(v, W, H);
    v->SetSelectionBase(iesbBitmap);
    return v;
  }
  // The window surface as 0x00RRGGBB.
  static std::vector<uint32_t> Surface(TZiduzUvView* V, Integer& W) {
    V->Repaint();
    GtTestPump(5);
    std::vector<uint32_t> px;
    Integer h = 0;
    EXPECT_TRUE(GtTestSurface(V->Handle(), px, W, h));
    return px;
  }
  TTimer Tick{nullptr};  // a timer as the sender of the ticks
};

TEST_F(TOutlineTest, DashesAlongTheSidesFollowThePhase) {
  for (Integer phase : {0, 3, 9}) {
    SCOPED_TRACE(phase);
    TProbeView* v = Make(100, 100);
    v->Select(10, 10, 31, 31);
    for (Integer i = 0; i < phase; ++i) v->OutlineTimerTick(&Tick);
    ASSERT_EQ(v->SelectionPhase(), phase);
    // During a drag the polygon itself is outlined, from its phase.
    v->StartSelectionDrag(10, 10);
    v->DragRectangle(31, 31, false, false);
    Integer w = 0;
    const auto px = Surface(v, w);
    ASSERT_EQ(w, 100);
    // Counter from the phase: 0..3 first colour, 4..7 second, after 7 back
    // to 0; 8 and 9 give one pixel of the second colour first.
    Integer counter = phase, wrong = 0;
    auto expect = [&](Integer x, Integer y) {
      const uint32_t want = counter <= 3 ? 0x000000 : 0xFFFFFF;
      wrong += (px[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFF) != want;
      if (++counter > 7) counter = 0;
    };
    for (Integer x = 10; x < 30; ++x) expect(x, 10);  // top side, its end left to the next
    for (Integer y = 10; y < 30; ++y) expect(30, y);  // right side
    EXPECT_EQ(wrong, 0);
    v->EndSelectionGesture();
    delete v;
  }
}

TEST_F(TOutlineTest, TimerMovesThePhaseExceptDuringAGesture) {
  TProbeView* v = Make(100, 100);
  v->Select(10, 10, 50, 50);
  std::vector<Integer> phases;
  for (int i = 0; i < 12; ++i) {
    v->OutlineTimerTick(&Tick);
    phases.push_back(v->SelectionPhase());
  }
  EXPECT_EQ(phases, (std::vector<Integer>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2}));
  // A tick from anything but a timer, or during a drag, leaves it.
  v->OutlineTimerTick(v);
  EXPECT_EQ(v->SelectionPhase(), 2);
  v->StartSelectionDrag(10, 10);
  v->DragRectangle(40, 40, false, false);
  v->OutlineTimerTick(&Tick);
  EXPECT_EQ(v->SelectionPhase(), 2);
  v->EndSelectionGesture();
  v->OutlineTimerTick(&Tick);
  EXPECT_EQ(v->SelectionPhase(), 3);
  delete v;
}

TEST_F(TOutlineTest, MaskOutlineTimingAndFastFrames) {
  const auto keep = IEOutlineClock;
  Cardinal now = 0, step = 0;
  Integer calls = 0;
  IEOutlineClock = [&] {
    ++calls;
    const Cardinal t = now;
    now += step;
    return t;
  };
  struct TRestore {
    const std::function<Cardinal()>& K;
    ~TRestore() { IEOutlineClock = K; }
  } restore{keep};
  TProbeView* v = Make(100, 100);
  v->Select(10, 10, 50, 50);
  Integer w = 0;
  Surface(v, w);  // the first paint makes the outline timer
  ASSERT_GT(v->OutlineTimerInterval(), 0u);
  for (const auto& c : {std::pair<Cardinal, Cardinal>{100, 500}, {10, 210}, {42, 210}, {43, 215}}) {
    step = c.first;
    v->DrawSelectionOutline(nullptr, true);
    EXPECT_EQ(v->OutlineTimerInterval(), c.second) << c.first << " ms";
  }
  // While fast frames are counted down the mask is not outlined.
  v->SetFastFrames(2);
  calls = 0;
  v->DrawSelectionOutline(nullptr, true);
  EXPECT_EQ(calls, 0);
  v->SetFastFrames(0);
  v->DrawSelectionOutline(nullptr, true);
  EXPECT_EQ(calls, 2);
  delete v;
}

TEST_F(TOutlineTest, RectangleSidesAreNotifiedInOrder) {
  TProbeView* v = Make(100, 100);
  std::vector<std::vector<Integer>> seen;
  v->OnDrawPolygon = [&](TObject*, Integer Poly, Integer Point, TCanvas*, Integer X, Integer Y) {
    seen.push_back({Poly, Point, X, Y});
  };
  v->StartSelectionDrag(10, 20);
  v->DragRectangle(50, 60, false, false);
  seen.clear();
  v->DrawSelectionOutline(nullptr, true);
  const std::vector<std::vector<Integer>> want{{0, 1, 49, 20}, {0, 2, 49, 59}, {0, 3, 10, 59}, {0, 0, 10, 20}};
  EXPECT_EQ(seen, want);
  v->EndSelectionGesture();
  delete v;
}

TEST_F(TOutlineTest, GripsOnTheCornersAndSides) {
  TProbeView* v = Make(100, 100);
  v->Select(20, 20, 60, 50);
  Integer w = 0;
  const auto px = Surface(v, w);
  auto at = [&](Integer x, Integer y) { return px[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFF; };
  // The brush 0xBAFFFF (blue BA, green FF, red FF), two pixels inside
  // each grip toward the selection, clear of the mask outline.
  const TPoint grips[8] = {{22, 22}, {58, 22}, {58, 48}, {22, 48}, {40, 22}, {22, 35}, {58, 35}, {40, 48}};
  for (const TPoint& g : grips) EXPECT_EQ(at(g.X, g.Y), 0xFFFFBAu) << g.X << "," << g.Y;
  EXPECT_NE(at(40, 35), 0xFFFFBAu);
  // Without the extended grips the sides have none.
  v->SetSelectionGripStyle(0, 0xBAFFFF, bsSolid, 5, false, 1);
  const auto px2 = Surface(v, w);
  EXPECT_NE(px2[size_t(35) * size_t(w) + 22] & 0xFFFFFF, 0xFFFFBAu);
  EXPECT_EQ(px2[size_t(22) * size_t(w) + 22] & 0xFFFFFF, 0xFFFFBAu);
  delete v;
}

}  // namespace

}  // namespace test_view_outline_tests
