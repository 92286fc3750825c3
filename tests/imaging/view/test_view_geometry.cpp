// Zoom, origin, extent, coordinate tables and conversions of the
// single-image view, checked against small cases worked out by hand and an
// exact-rational oracle of the tables and properties over many zooms and origins.
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ui/winuser.h"
#include "view_test_util.h"

namespace test_view_geometry_tests {

using namespace view_test;

namespace {

// The view tests below mean "a W x H view area" with scroll bars shown, as a
// picture that does not fit shows them: the control is larger by the bars'
// thickness, so that the area left beside the bars is W x H.
class TGeomTest : public ViewTest {
 protected:
  TZiduzUvView* MakeViewWithBars(Integer ViewW, Integer ViewH) {
    return MakeView(ViewW + GetSystemMetrics(SM_CXVSCROLL), ViewH + GetSystemMetrics(SM_CYHSCROLL));
  }
};

struct TChange {
  char Kind;  // 'g' changing, 'c' change
  Integer Change;
  double Value;
  bool operator==(const TChange&) const = default;
};

// Logs the view's change reports until it goes out of scope (before the log).
struct [[nodiscard]] TRecorder {
  TRecorder(TZiduzUvView* AView, std::vector<TChange>& Log) : V(AView) {
    V->OnViewChanging = [&Log](TObject*, Integer c, double v) { Log.push_back({'g', c, v}); };
    V->OnViewChange = [&Log](TObject*, Integer c) { Log.push_back({'c', c, 0}); };
  }
  ~TRecorder() {
    V->OnViewChanging = nullptr;
    V->OnViewChange = nullptr;
  }
  TZiduzUvView* V;
};

TEST_F(TGeomTest, ZoomKeepsTheCentreAndReportsAroundIt) {
  TZiduzUvView* v = MakeViewWithBars(400, 300);
  SetPicture(v, 1000, 800);
  ASSERT_TRUE(v->HScrollShown() && v->VScrollShown());
  ASSERT_EQ(v->GetViewWidth(), 400);
  ASSERT_EQ(v->GetViewHeight(), 300);
  std::vector<TChange> log;
  TRecorder recorder(v, log);
  v->SetZoom(200);
  EXPECT_EQ(v->ViewX(), 200);
  EXPECT_EQ(v->ViewY(), 150);
  EXPECT_EQ(v->ZoomX(), 200);
  EXPECT_EQ(v->ZoomFactorY(), 2.0);
  EXPECT_EQ(v->InvZoomX(), 0.5);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.front(), (TChange{'g', 2, 200}));
  EXPECT_EQ(log.back(), (TChange{'c', 1, 0}));

  // The same zoom again, zero and negative zooms: only the first report.
  for (double z : {200.0, 0.0, -5.0}) {
    log.clear();
    v->SetZoom(z);
    EXPECT_EQ(log, (std::vector<TChange>{{'g', 2, z}})) << z;
    EXPECT_EQ(v->ZoomX(), 200);
  }
  // No upper bound.
  v->SetZoom(5000);
  EXPECT_EQ(v->ZoomX(), 5000);
}

TEST_F(TGeomTest, OriginIsClampedNeverRefused) {
  TZiduzUvView* v = MakeViewWithBars(400, 300);
  SetPicture(v, 1000, 800);
  v->SetZoom(200);
  ASSERT_EQ(v->GetViewWidth(), 400);
  ASSERT_EQ(v->GetViewHeight(), 300);
  Integer mx, my;
  v->GetMaxViewXY(mx, my);
  // The plus-one form leaves room for the last partly shown pixel.
  EXPECT_EQ(mx, 2002 - 400);
  EXPECT_EQ(my, 1602 - 300);
  std::vector<TChange> log;
  TRecorder recorder(v, log);
  v->SetViewOrigin(-5, 99999);
  EXPECT_EQ(v->ViewX(), 0);
  EXPECT_EQ(v->ViewY(), my);
  EXPECT_EQ(log, (std::vector<TChange>{{'g', 0, -5}, {'g', 1, 99999}, {'c', 0, 0}}));
  log.clear();
  v->SetViewOrigin(-1, my + 1);  // clamps to where it already is: no change reported
  EXPECT_EQ(log, (std::vector<TChange>{{'g', 0, -1}, {'g', 1, double(my + 1)}}));
  v->SetViewOriginX(123);
  v->SetViewOriginY(-4);
  EXPECT_EQ(v->ViewX(), 123);
  EXPECT_EQ(v->ViewY(), 0);
  EXPECT_TRUE(v->CanScroll());

  // A picture that fits needs no scrolling; an empty one neither.
  SetPicture(v, 100, 50);
  v->SetZoom(100);
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
  EXPECT_EQ(v->ViewX(), 0);
}

TEST_F(TGeomTest, SmallPictureIsCentred) {
  TZiduzUvView* v = MakeView(300, 200);
  SetPicture(v, 100, 50);
  EXPECT_EQ(v->OffsetX(), 100);
  EXPECT_EQ(v->OffsetY(), 75);
  EXPECT_EQ(v->ExtentX(), 100);
  EXPECT_EQ(v->ZoomedWidth(), 100);
  v->SetCenter(false);
  EXPECT_EQ(v->OffsetX(), 0);
  // Zoomed sizes round half to even: 5 x 0.5 = 2.5 gives 2, 7 x 0.5 gives 4.
  SetPicture(v, 5, 7);
  v->SetZoom(50);
  EXPECT_EQ(v->ZoomedWidth(), 2);
  EXPECT_EQ(v->ZoomedHeight(), 4);
}

TEST_F(TGeomTest, TablesAtTwoHundredAndFifty) {
  TZiduzUvView* v = MakeView(300, 200);
  SetPicture(v, 60, 40);
  v->SetZoom(200);
  const auto& z2b = v->ZoomedToBmpXTable();
  const auto& b2z = v->BmpToZoomedXTable();
  ASSERT_GE(z2b.size(), 4u);
  EXPECT_EQ(z2b[0], 0);
  EXPECT_EQ(z2b[1], 0);
  EXPECT_EQ(z2b[2], 1);
  EXPECT_EQ(z2b[3], 1);
  EXPECT_EQ(b2z[1], 2);
  EXPECT_EQ(v->ClientToImageX(v->OffsetX() + 3), 1);
  EXPECT_EQ(v->ImageToClientX(1), v->OffsetX() + 2);
  v->SetZoom(50);
  ASSERT_GE(v->ZoomedToBmpXTable().size(), 2u);
  EXPECT_EQ(v->ZoomedToBmpXTable()[0], 0);
  EXPECT_EQ(v->ZoomedToBmpXTable()[1], 2);
  EXPECT_EQ(v->ClientToImageX(v->OffsetX() + 1), 2);
}

TEST_F(TGeomTest, OptimalZoomLooksAtTheDominantAxis) {
  TZiduzUvView* v = MakeView(400, 400);
  // FitZoom: the zoom that fits the picture into the borderless 400 x 400 view.
  struct Case {
    Integer W, H;
    bool Stretch, Shrink, Fit;
    double FitZoom;
  } cases[] = {
      {800, 600, false, true, true, 50},    // larger, shrink: fit
      {800, 600, false, false, false, 50},  // larger, no shrink: 100
      {100, 100, true, false, true, 400},   // smaller, stretch: fit
      {100, 100, false, true, false, 400},  // smaller, no stretch: 100
      {300, 500, false, true, true, 80},    // the vertical axis dominates and is larger
      {500, 300, true, false, false, 80},   // the horizontal one dominates and is larger
  };
  for (const Case& c : cases) {
    SetPicture(v, c.W, c.H);
    EXPECT_DOUBLE_EQ(v->GetFitZoom(), c.FitZoom) << c.W << "x" << c.H;
    EXPECT_DOUBLE_EQ(v->GetOptimalZoom(c.W, c.H, 400, 400, c.Stretch, c.Shrink), c.Fit ? c.FitZoom : 100.0)
        << c.W << "x" << c.H;
  }
  EXPECT_EQ(v->GetOptimalZoom(0, 10, 400, 400, true, true), 100);
  EXPECT_EQ(v->GetOptimalZoom(10, 10, 400, 0, true, true), 100);
}

// The fit zoom keeps a margin on each side of the control's outer size: the
// shadow styles their own, the cropped style the edge, the others the border.
// Worked out by hand for an 800 x 500 picture in a 400 x 400 control, where
// the width decides: (400 - 2 x margin) / 8.
TEST_F(TGeomTest, FitZoomLeavesTheMarginsOfBorderAndBackground) {
  ASSERT_EQ(GetSystemMetrics(SM_CXEDGE), 2);  // the platform metrics the numbers assume
  ASSERT_EQ(GetSystemMetrics(SM_CXBORDER), 1);
  struct Case {
    const char* What;
    TBorderStyle Border;
    bool Ctl3D;
    TIEBackgroundStyle Style;
    double FitZoom;
  } cases[] = {
      {"no border", bsNone, true, iebsSolid, 50},
      {"3-D border: the edge, 2", bsSingle, true, iebsSolid, 49.5},
      {"flat border: the border, 1", bsSingle, false, iebsSolid, 49.75},
      {"cropped: the edge, border or not", bsNone, false, iebsCropped, 49.5},
      {"crop shadow: 5", bsNone, true, iebsCropShadow, 48.75},
      {"soft shadow: 9, over the border", bsSingle, true, iebsSoftShadow, 47.75},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TZiduzUvView* v = MakeView(400, 400);
    v->SetBorderStyle(c.Border);
    v->SetCtl3D(c.Ctl3D);
    v->SetBackgroundStyle(c.Style);
    SetPicture(v, 800, 500);
    ASSERT_EQ(v->Width(), 400);
    EXPECT_DOUBLE_EQ(v->GetFitZoom(), c.FitZoom);
    delete v;
  }
}

TEST_F(TGeomTest, AutomaticZoomAndFit) {
  TZiduzUvView* v = MakeView(400, 300);
  SetPicture(v, 1000, 800);
  std::vector<TChange> log;
  TRecorder recorder(v, log);
  v->SetAutoShrink(true);
  EXPECT_DOUBLE_EQ(v->ZoomX(), std::min(400.0 / 10, 300.0 / 8));
  EXPECT_EQ(v->ZoomX(), v->ZoomY());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), (TChange{'g', 2, 100}));
  v->SetAutoShrink(false);
  SetPicture(v, 50, 20);
  v->SetAutoStretch(true);
  EXPECT_DOUBLE_EQ(v->ZoomX(), std::min(400.0 / 0.5, 300.0 / 0.2));
  v->SetAutoStretch(false);
  v->Fit();
  EXPECT_DOUBLE_EQ(v->ZoomX(), 800);
}

// When the automatic zoom reports its new zoom, the layout a handler reads
// is already that of the new zoom: the picture's place and the conversions.
TEST_F(TGeomTest, AutomaticZoomReportsTheNewLayout) {
  TZiduzUvView* v = MakeView(400, 300);
  v->SetScrollBars(ssNone);
  SetPicture(v, 100, 50);
  ASSERT_EQ(v->OffsetX(), 150);
  struct TSeen {
    Integer OffsetX, OffsetY, ExtentX, ClientOfColumn10, ColumnAtCentre;
  };
  std::vector<TSeen> seen;
  v->OnViewChange = [&](TObject*, Integer Change) {
    if (Change == 1)
      seen.push_back({v->OffsetX(), v->OffsetY(), v->ExtentX(), v->ImageToClientX(10), v->ClientToImageX(200)});
  };
  v->SetAutoStretch(true);
  v->OnViewChange = nullptr;
  ASSERT_EQ(v->ZoomX(), 400);
  ASSERT_FALSE(seen.empty());
  // 400 x 200 zoomed pixels: flush left, centred vertically.
  for (const TSeen& s : seen) {
    EXPECT_EQ(s.OffsetX, 0);
    EXPECT_EQ(s.OffsetY, 50);
    EXPECT_EQ(s.ExtentX, 400);
    EXPECT_EQ(s.ClientOfColumn10, 40);
    EXPECT_EQ(s.ColumnAtCentre, 50);
  }
  EXPECT_EQ(v->OffsetX(), 0);
  EXPECT_EQ(v->OffsetY(), 50);
}

TEST_F(TGeomTest, ZoomAtAndZoomToRect) {
  TZiduzUvView* v = MakeViewWithBars(400, 300);
  SetPicture(v, 1000, 800);
  ASSERT_EQ(v->GetViewWidth(), 400);
  ASSERT_EQ(v->GetViewHeight(), 300);
  std::vector<TChange> log;
  TRecorder recorder(v, log);
  v->ZoomAt(100, 60, 200, false);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], (TChange{'g', 2, 100}));
  EXPECT_EQ(log[1], (TChange{'g', 2, 60}));
  EXPECT_EQ(log[2], (TChange{'g', 2, 200}));
  EXPECT_EQ(v->ZoomX(), 200);
  EXPECT_EQ(v->ViewX(), 2 * 100 - 100 + 2);
  EXPECT_EQ(v->ViewY(), 2 * 60 - 60 + 2);
  EXPECT_EQ(v->PaintLockCount(), 0);
  // A zoom that stays as it is leaves the picture where it is, however often.
  for (int notch = 0; notch < 3; ++notch) v->ZoomAt(100, 60, 200, false);
  EXPECT_EQ(v->ViewX(), 2 * 100 - 100 + 2);
  EXPECT_EQ(v->ViewY(), 2 * 60 - 60 + 2);
  v->ZoomAt(200, 150, 100, true);
  EXPECT_EQ(v->ZoomX(), 100);

  v->ZoomToRect(TRect(100, 50, 300, 200));
  EXPECT_EQ(v->ZoomX(), 200);
  EXPECT_EQ(v->ViewX(), 200);
  EXPECT_EQ(v->ViewY(), 100);
  v->ZoomToRect(TRect(5, 5, 50, 5));  // height 0: nothing
  EXPECT_EQ(v->ZoomX(), 200);
  EXPECT_EQ(v->PaintLockCount(), 0);
}

// One axis at a time: the other axis keeps its zoom and origin, each axis
// has its own maximum against the control's outer size, and the filter
// delay looks at the zoom of the axis being changed.
TEST_F(TGeomTest, PerAxisZoom) {
  TZiduzUvView* v = MakeViewWithBars(400, 300);
  SetPicture(v, 1000, 800);
  ASSERT_EQ(v->GetViewWidth(), 400);
  std::vector<TChange> log;
  {
    TRecorder recorder(v, log);
    v->SetZoomX(200);
  }
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.front(), (TChange{'g', 2, 200}));
  EXPECT_EQ(log.back(), (TChange{'c', 1, 0}));
  EXPECT_EQ(v->ZoomX(), 200);
  EXPECT_EQ(v->ZoomFactorX(), 2.0);
  EXPECT_EQ(v->InvZoomX(), 0.5);
  EXPECT_EQ(v->ZoomY(), 100);
  EXPECT_EQ(v->ZoomFactorY(), 1.0);
  EXPECT_EQ(v->ViewX(), 200);  // the centre column 200 stays under the centre
  EXPECT_EQ(v->ViewY(), 0);
  EXPECT_EQ(v->ZoomedWidth(), 2000);
  EXPECT_EQ(v->ZoomedHeight(), 800);
  Integer mx, my;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 2002 - 400);
  EXPECT_EQ(my, 801 - 300);
  // Same zoom again, zero: only the first report.
  for (double z : {100.0, 0.0}) {
    log.clear();
    TRecorder recorder(v, log);
    v->SetZoomY(z);
    EXPECT_EQ(log, (std::vector<TChange>{{'g', 2, z}})) << z;
  }
  // 410 zoomed columns fit the 400 + bar outer width: no horizontal
  // scrolling, although the equal-zoom rule would keep it (the rows do not fit).
  v->SetZoomX(41);
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(v->ViewX(), 0);
  EXPECT_FALSE(v->HScrollShown());
  EXPECT_TRUE(v->VScrollShown());
  EXPECT_EQ(my, 801 - v->GetViewHeight());
  v->SetZoomY(50);
  EXPECT_EQ(v->ZoomX(), 41);
  EXPECT_EQ(v->ZoomedHeight(), 400);
  EXPECT_EQ(v->ClientToImageY(v->OffsetY() + 3), 6);

  // The delayed filter is armed only when the changed axis was zoomed.
  v->SetZoomFilter(rfFastLinear);
  v->SetDelayZoomFilter(true);
  v->SetZoomY(100);
  ASSERT_TRUE(GtTestPumpUntil([&] { return v->FilterDelayCount() == 0 && v->FastFramesCount() == 0; }, 3000));
  v->SetZoomY(150);  // Y was at 100
  EXPECT_EQ(v->FilterDelayCount(), 0);
  EXPECT_GT(v->FastFramesCount(), 0);
  v->SetZoomX(60);  // X was at 41
  EXPECT_GT(v->FilterDelayCount(), 0);
}

TEST(ViewGeometry, FitRectToAspect) {
  struct Case {
    TRect In;
    Integer VW, VH, IW, IH;
    TRect Want;
  } cases[] = {
      {TRect(10, 10, 110, 60), 400, 300, 1000, 800, TRect(10, -2, 110, 73)},  // grows in height
      {TRect(0, 0, 40, 90), 400, 300, 1000, 800, TRect(-40, 0, 80, 90)},     // grows in width
      {TRect(10, 0, 11, 3), 3, 2, 100, 100, TRect(9, 0, 13, 3)},             // Round(4.5) = 4
      {TRect(-5, -5, 200, 100), 100, 100, 50, 500, TRect(-27, 0, 78, 105)},  // clipped first
  };
  for (const Case& c : cases) {
    const TRect r = IEFitRectToAspect(c.In, c.VW, c.VH, c.IW, c.IH);
    EXPECT_EQ(r.Left, c.Want.Left);
    EXPECT_EQ(r.Top, c.Want.Top);
    EXPECT_EQ(r.Right, c.Want.Right);
    EXPECT_EQ(r.Bottom, c.Want.Bottom);
  }
}

// Zooms where floating point puts z x 100 / zoom just below the integer at
// every column boundary: column k must start at exactly k x zoom / 100.
TEST_F(TGeomTest, ColumnBoundariesAtTroublesomeZooms) {
  TZiduzUvView* v = MakeView(400, 300);
  SetPicture(v, 50, 40);
  for (Integer zoom : {300, 600, 700, 900, 1200}) {
    v->SetZoom(zoom);
    v->SetViewOrigin(0, 0);
    const auto& z2b = v->ZoomedToBmpXTable();
    const auto& b2z = v->BmpToZoomedXTable();
    ASSERT_FALSE(z2b.empty()) << zoom;
    for (Integer k = 1; k < 40; ++k) {
      const Integer z = k * zoom / 100;
      if (size_t(z) >= z2b.size() || z >= v->VisibleWidth()) break;
      EXPECT_EQ(z2b[size_t(z)], k) << zoom << " k=" << k;
      EXPECT_EQ(z2b[size_t(z - 1)], k - 1) << zoom << " k=" << k;
      EXPECT_EQ(b2z[size_t(k)], z) << zoom << " k=" << k;
      EXPECT_EQ(v->ClientToImageX(v->OffsetX() + z), k) << zoom;
      EXPECT_EQ(v->ClientToImageY(v->OffsetY() + z), k) << zoom;
      EXPECT_EQ(v->ImageToClientX(k), v->OffsetX() + z) << zoom;
    }
  }
}

// One axis of the property below, over the client positions First - 3 ..
// First + Count + 2, which reach past both ends of the tables: the columns
// under consecutive positions never go back (and move by at most one above
// 100 %), every position maps back to at or before itself, and each new
// column maps back to exactly where it first appears. The tables clip to
// the last image column and the arithmetic past them does not, so a run
// reaching past the image is only checked up to its last column.
template <typename ToImage, typename ToClient>
void CheckAxis(ToImage ToImg, ToClient ToCli, Integer First, Integer Count, Integer ImageSize, double Zoom,
               const std::string& Where) {
  EXPECT_EQ(ToCli(ToImg(First)), First) << Where;
  Integer c = ToImg(First - 3);
  for (Integer p = First - 3; p < First + Count + 2; ++p) {
    EXPECT_LE(ToCli(c), p) << Where << " at " << p;
    const Integer next = ToImg(p + 1);
    EXPECT_GE(next, c) << Where << " at " << p;
    if (next != c && next < ImageSize) {
      EXPECT_EQ(ToCli(next), p + 1) << Where << " at " << p;
      if (Zoom >= 100) {
        EXPECT_EQ(next - c, 1) << Where << " at " << p;
      }
    }
    c = next;
  }
}

// Over many zooms and origins, with the scroll bars taking their room (the
// bitmap tables then end inside the client area) and without them.
TEST_F(TGeomTest, ConversionsAgreeAcrossZoomsAndOrigins) {
  for (TScrollStyle bars : {ssBoth, ssNone}) {
    TZiduzUvView* v = MakeView(257, 193);
    v->SetScrollBars(bars);
    SetPicture(v, 613, 419);
    std::mt19937 rng(20240611);
    bool barsShown = false;
    for (double zoom : {5.0, 10.0, 25.0, 33.33, 50.0, 75.0, 100.0, 150.0, 200.0, 300.0, 400.0, 700.0, 1600.0}) {
      v->SetZoom(zoom);
      barsShown = barsShown || (v->HScrollShown() && v->VScrollShown() && v->GetViewWidth() < 257 &&
                                v->GetViewHeight() < 193);
      Integer mx, my;
      v->GetMaxViewXY(mx, my);
      for (int trial = 0; trial < 12; ++trial) {
        const Integer ox = mx > 0 ? Integer(rng() % uint32_t(mx + 1)) : 0;
        const Integer oy = my > 0 ? Integer(rng() % uint32_t(my + 1)) : 0;
        v->SetViewOrigin(ox, oy);
        ASSERT_GT(v->VisibleWidth(), 0) << zoom;
        ASSERT_GT(v->VisibleHeight(), 0) << zoom;
        std::ostringstream where;
        where << (bars == ssNone ? "no bars" : "bars") << ", zoom " << zoom << ", origin " << ox << "," << oy;
        CheckAxis([v](Integer x) { return v->ClientToImageX(x); }, [v](Integer b) { return v->ImageToClientX(b); },
                  v->OffsetX(), v->VisibleWidth(), 613, zoom, where.str() + ", x");
        CheckAxis([v](Integer y) { return v->ClientToImageY(y); }, [v](Integer b) { return v->ImageToClientY(b); },
                  v->OffsetY(), v->VisibleHeight(), 419, zoom, where.str() + ", y");
      }
    }
    EXPECT_EQ(barsShown, bars == ssBoth);
    delete v;
  }
}

std::vector<Integer> ParseRow(const std::string& Line, char Tag) {
  std::istringstream in(Line);
  std::string tag;
  in >> tag;
  EXPECT_EQ(tag, std::string(1, Tag));
  std::vector<Integer> out;
  Integer x;
  while (in >> x) out.push_back(x);
  return out;
}

TEST_F(TGeomTest, TablesMatchTheExactRationalOracle) {
  TZiduzUvView* v = MakeView(257, 193);
  SetPicture(v, 613, 419);
  const char* zooms[] = {"5", "10", "25", "33.33", "50", "75", "100", "150", "200", "300", "400", "700", "1600"};
  for (const char* zs : zooms) {
    v->SetZoom(std::stod(zs));
    v->SetViewOrigin(0, 0);
    const auto& z2b = v->ZoomedToBmpXTable();
    const auto& b2z = v->BmpToZoomedXTable();
    ASSERT_GT(z2b.size(), 2u) << zs;
    ASSERT_GT(b2z.size(), 2u) << zs;
    // The last entries lie past what the build fills; compare the rest.
    const size_t nz = z2b.size() - 1, nb = b2z.size() - 2;
    int status = 0;
    const std::string out = RunOutput("/usr/bin/python3 " + kHere + "/coordinate_tables.py " + zs + ":613:" +
                                          std::to_string(std::max(nz, nb)),
                                      status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream lines(out);
    std::string zl, bl;
    std::getline(lines, zl);
    std::getline(lines, bl);
    const std::vector<Integer> pz = ParseRow(zl, 'Z'), pb = ParseRow(bl, 'B');
    ASSERT_GE(pz.size(), nz);
    ASSERT_GE(pb.size(), nb);
    for (size_t i = 0; i < nz; ++i) ASSERT_EQ(z2b[i], pz[i]) << "zoom " << zs << " zoomed x " << i;
    for (size_t i = 0; i < nb; ++i) ASSERT_EQ(b2z[i], pb[i]) << "zoom " << zs << " column " << i;
  }
}

}  // namespace

}  // namespace test_view_geometry_tests
