// Measuring: per-pixel unit factors, number texts, drag lengths, the
// selection's outline and area, angles, and scale-ruler ticks (including a
// ruler in a unit so small that every tenth would be far below a pixel).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "imaging/view/ievect.h"
#include "platform/base/sysutils.h"
#include "platform/ui/testsupport.h"
#include "tests/imaging/view/view_test_util.h"

namespace vect_measure_tests {

class VectMeasure : public view_test::ViewTest {
 protected:
  TZiduzUvVect* MakeVect() {
    auto* v = new TZiduzUvVect(Form.get());
    v->SetBorderStyle(bsNone);
    v->SetParent(Form.get());
    v->SetBounds(0, 0, 300, 200);
    v->HandleNeeded();
    return v;
  }
};

TEST_F(VectMeasure, UnitFactorsPerUnitResolutionAndScale) {
  TZiduzUvVect* v = MakeVect();
  v->SetDpi(300, 150);
  // Lengths of one inch in each unit.
  struct Case {
    TIEUnits Unit;
    double PerInch;
  };
  const Case cases[] = {{ieuINCHES, 1},          {ieuKM, 2.54e-5},      {ieuMETERS, 0.0254},
                        {ieuCENTIMETERS, 2.54},  {ieuMILLIMETERS, 25.4}, {ieuMICRONS, 25400},
                        {ieuNANOMETERS, 2.54e7}};
  for (double scale : {1.0, 2.0}) {
    v->SetMeasureScale(scale);
    for (const Case& c : cases) {
      v->SetMUnit(c.Unit);
      EXPECT_NEAR(v->UnitPerPixelX(), c.PerInch / 300 * scale, c.PerInch * 1e-12) << int(c.Unit);
      EXPECT_NEAR(v->UnitPerPixelY(), c.PerInch / 150 * scale, c.PerInch * 1e-12) << int(c.Unit);
      EXPECT_EQ(v->GetObj(IEV_TEMPLATE)->RulerUnit, c.Unit);
    }
    v->SetMUnit(ieuPIXELS);
    EXPECT_DOUBLE_EQ(v->UnitPerPixelX(), scale);
  }
  v->SetMeasureScale(1);
  v->SetMUnit(ieuMILLIMETERS);
  EXPECT_NEAR(v->UnitPerPixelX(), 0.0846667, 1e-7);
  // The resolution setters recompute them.
  v->SetDpiX(100);
  EXPECT_NEAR(v->UnitPerPixelX(), 0.254, 1e-12);
}

TEST_F(VectMeasure, TextsAndDragLengths) {
  TZiduzUvVect* v = MakeVect();
  v->SetMUnit(ieuMILLIMETERS);
  char expected[32];
  std::snprintf(expected, sizeof expected, "%.2f mm", 12.346);
  EXPECT_EQ(WideToUtf8(v->MeasureText(12.346, false)), expected);
  v->SetMUnit(ieuPIXELS);
  // A drag that does not move covers one pixel each way.
  EXPECT_EQ(WideToUtf8(v->MeasureText(v->GetDragLength(10, 10, 10, 10), false)), "1.41 pixels");
  EXPECT_DOUBLE_EQ(v->GetDragLength(0, 0, 2, 3), 5.0);
  v->SetZoom(200);
  EXPECT_DOUBLE_EQ(v->GetDragLength(0, 0, 5, 7), std::hypot(3.0, 4.0));
  v->SetFloatDigits(0);
  EXPECT_EQ(WideToUtf8(v->MeasureText(3.5, true)), "4 pixels\u00B2");
}

TEST_F(VectMeasure, OutlineAndAreaOfAPolygonSelection) {
  TZiduzUvVect* v = MakeVect();
  view_test::ViewTest::SetPicture(v, 100, 80);
  v->SetSelectionBase(iesbBitmap);
  for (TPoint p : {TPoint(0, 0), TPoint(40, 0), TPoint(0, 30)}) v->AddSelectionPoint(p.X, p.Y);
  v->EndSelection();
  ASSERT_EQ(v->GetSelectionPolygonCount(), 3);
  EXPECT_DOUBLE_EQ(v->GetOutlineLength(), 40 + 30 + 50);
  EXPECT_DOUBLE_EQ(v->GetSelectionArea(), 600);
  v->SetMeasureScale(2);
  EXPECT_DOUBLE_EQ(v->GetOutlineLength(), 240);
  EXPECT_DOUBLE_EQ(v->GetSelectionArea(), 2400);
  v->Deselect();
  EXPECT_EQ(v->GetSelectionArea(), 0);
}

TEST_F(VectMeasure, AnglesByTurnAndInnerAngles) {
  TZiduzUvVect* v = MakeVect();
  const TPoint one[3] = {TPoint(100, 0), TPoint(0, 0), TPoint(0, 100)};
  const TPoint other[3] = {TPoint(0, 100), TPoint(0, 0), TPoint(100, 0)};
  bool turned = false;
  EXPECT_EQ(WideToUtf8(v->FormatMeasure(v->AngleOf(one, turned))), "90.00");
  EXPECT_FALSE(turned);
  EXPECT_EQ(WideToUtf8(v->FormatMeasure(v->AngleOf(other, turned))), "270.00");
  v->SetInnerAngles(true);
  EXPECT_EQ(WideToUtf8(v->FormatMeasure(v->AngleOf(other, turned))), "90.00");
  EXPECT_TRUE(turned);
}

TEST_F(VectMeasure, ScaleRulerTicks) {
  TZiduzUvVect* v = MakeVect();
  v->SetDpi(100, 100);
  auto ticks = v->RulerScaleTicks(0, 50, 100, 50, ieuINCHES, 100, 100);
  ASSERT_EQ(ticks.size(), 11u);
  for (size_t i = 0; i < ticks.size(); ++i) {
    EXPECT_EQ(ticks[i].A.X, Integer(10 * i));
    EXPECT_EQ(ticks[i].B.X, Integer(10 * i));
    // Whole units are longest, halves next.
    const Integer half = i % 10 == 0 ? 12 : i % 5 == 0 ? 8 : 6;
    EXPECT_EQ(ticks[i].B.Y - ticks[i].A.Y, 2 * half) << i;
    EXPECT_EQ(ticks[i].Label, i % 10 == 0 ? Integer(i / 10) : -1);
  }
  EXPECT_TRUE(v->RulerScaleTicks(5, 5, 5, 5, ieuINCHES, 100, 100).empty());

  // A nanometre ruler a thousand pixels long: the ticks that would lie a
  // millionth of a pixel apart are thinned to ones at least 2 pixels apart.
  v->SetDpi(300, 300);
  ticks = v->RulerScaleTicks(0, 10, 1000, 10, ieuNANOMETERS, 100, 100);
  ASSERT_GE(ticks.size(), 2u);
  ASSERT_LE(ticks.size(), 501u);
  for (size_t i = 1; i < ticks.size(); ++i) EXPECT_GE(ticks[i].A.X - ticks[i - 1].A.X, 2);
  // A pixel ruler: tenths of a pixel, then whole pixels, are too dense; a
  // tick every ten pixels remains, each numbered.
  ticks = v->RulerScaleTicks(0, 10, 50, 10, ieuPIXELS, 100, 100);
  ASSERT_EQ(ticks.size(), 6u);
  EXPECT_EQ(ticks[3].A.X, 30);
  EXPECT_EQ(ticks[3].Label, 30);
}


// The hint is drawn on the window over a picture whose every pixel differs
// from its neighbours, so that a restore off by one pixel or one row shows.
class VectHint : public VectMeasure {
 protected:
  TZiduzUvVect* MakeHintView() {
    TZiduzUvVect* v = MakeVect();
    SetPicture(v, 300, 200);
    TIEBitmap* b = v->GetIEBitmap();
    for (Integer y = 0; y < 200; ++y) {
      Byte* row = static_cast<Byte*>(b->GetScanline(y));
      for (Integer x = 0; x < 300; ++x) {
        row[x * 3] = Byte(x * 7 + y);
        row[x * 3 + 1] = Byte(y * 5 + x / 3);
        row[x * 3 + 2] = Byte(x ^ y);
      }
    }
    v->Update();
    v->Repaint();
    GtTestPump(5);
    return v;
  }
  static std::vector<uint32_t> Surface(TZiduzUvVect* V) {
    std::vector<uint32_t> px;
    Integer w = 0, h = 0;
    EXPECT_TRUE(GtTestSurface(V->Handle(), px, w, h));
    EXPECT_EQ(w, 300);
    return px;
  }
  static Integer Differences(const std::vector<uint32_t>& A, const std::vector<uint32_t>& B, TRect& Box) {
    Integer n = 0;
    Box = TRect(300, 200, -1, -1);
    for (size_t i = 0; i < A.size() && i < B.size(); ++i)
      if (A[i] != B[i]) {
        ++n;
        const Integer x = Integer(i % 300), y = Integer(i / 300);
        Box = TRect(std::min(Box.Left, x), std::min(Box.Top, y), std::max(Box.Right, x), std::max(Box.Bottom, y));
      }
    return n;
  }
};

TEST_F(VectHint, HidingRestoresTheSavedPixelsExactly) {
  TZiduzUvVect* v = MakeHintView();
  const std::vector<uint32_t> before = Surface(v);
  TRect box;
  // Not active: nothing is drawn.
  v->ShowMeasureHint(50, 40);
  EXPECT_EQ(Differences(before, Surface(v), box), 0);

  v->StartMeasureHint(iemhDragLen, 10, 10);
  // (50, 40) in the middle, then a corner the box cannot fit into.
  for (TPoint at : {TPoint(50, 40), TPoint(295, 195), TPoint(-20, -30)}) {
    SCOPED_TRACE(std::to_string(at.X) + "," + std::to_string(at.Y));
    v->ShowMeasureHint(at.X, at.Y);
    const TPoint pos = v->MeasureHintPos();
    const Integer changed = Differences(before, Surface(v), box);
    EXPECT_GT(changed, 100);
    EXPECT_GE(box.Left, pos.X);
    EXPECT_GE(box.Top, pos.Y);
    EXPECT_LT(box.Right, 300);
    EXPECT_LT(box.Bottom, 200);
    if (at.X == 50) {
      EXPECT_EQ(pos, TPoint(50, 40));
    }
    v->HideMeasureHint();
    EXPECT_EQ(Differences(before, Surface(v), box), 0);
    // A second hide finds nothing saved and draws nothing.
    v->HideMeasureHint();
    EXPECT_EQ(Differences(before, Surface(v), box), 0);
  }
  // Refreshing twice in a row leaves one box, and hiding it leaves none.
  v->RefreshMeasureHint(100, 100);
  v->RefreshMeasureHint(120, 110);
  v->HideMeasureHint();
  EXPECT_EQ(Differences(before, Surface(v), box), 0);
}

TEST_F(VectHint, ValuesTextsAndTheEndOfADrag) {
  TZiduzUvVect* v = MakeHintView();
  std::vector<std::pair<WideString, double>> shown;
  v->OnMeasureHint = [&](TObject*, WideString& Text, double Value) {
    shown.push_back({Text, Value});
    Text = u"x";
  };
  std::vector<double> ended;
  v->OnDragLenEnd = [&](TObject*, double Value) { ended.push_back(Value); };

  v->StartMeasureHint(iemhDragLen, 10, 10);
  v->ShowMeasureHint(10, 10);  // both end pixels count
  v->RefreshMeasureHint(13, 14);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].first, u"1.41 pixels");
  EXPECT_NEAR(shown[1].second, std::sqrt(41.0), 1e-12);  // 4 by 5 pixels
  // A repaint draws the hint again at its place with the same value.
  v->Repaint();
  GtTestPump(5);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[2].second, shown[1].second);

  // An area of 0 (no selection) shows the last value measured.
  v->HideMeasureHint();
  v->StartMeasureHint(iemhArea, 0, 0);
  v->ShowMeasureHint(30, 30);
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[3].second, shown[1].second);
  EXPECT_EQ(shown[3].first.back(), u'\u00B2');
  v->EndMeasureHint();
  EXPECT_TRUE(ended.empty());  // only a drag-length gesture reports its end

  const std::vector<uint32_t> before = Surface(v);
  v->StartMeasureHint(iemhDragLen, 0, 0);
  v->ShowMeasureHint(2, 3);
  v->EndMeasureHint();
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_DOUBLE_EQ(ended[0], 5.0);  // (3, 4) pixels with both ends counted
  EXPECT_FALSE(v->MeasureHintActive());
  TRect box;
  EXPECT_EQ(Differences(before, Surface(v), box), 0);
}

TEST_F(VectHint, HidingAfterARepaintRestoresTheNewPicture) {
  TZiduzUvVect* v = MakeHintView();
  v->StartMeasureHint(iemhDragLen, 0, 0);
  v->ShowMeasureHint(60, 60);
  // The picture under the hint changes and is repainted: the hint comes
  // back on top, and hiding it shows the new picture, not the old one.
  for (Integer y = 0; y < 200; ++y) std::memset(v->GetIEBitmap()->GetScanline(y), 0x55, 300 * 3);
  v->Update();
  v->Repaint();
  GtTestPump(5);
  std::vector<uint32_t> px = Surface(v);
  EXPECT_NE(px[size_t(70 * 300 + 70)], 0x555555u);
  v->HideMeasureHint();
  px = Surface(v);
  for (size_t i = 0; i < px.size(); ++i) ASSERT_EQ(px[i], 0x555555u) << i % 300 << "," << i / 300;
}

TEST_F(VectHint, ADragLengthGestureShowsTheHintAndReportsItsLength) {
  TZiduzUvVect* v = MakeHintView();
  v->SetVectorInteract(TIEVectorInteract{viDragLen});
  std::vector<double> ended;
  v->OnDragLenEnd = [&](TObject*, double Value) { ended.push_back(Value); };
  const std::vector<uint32_t> before = Surface(v);
  ASSERT_TRUE(GtTestMouse(v->Handle(), gmaPress, gmbLeft, 20, 20));
  ASSERT_TRUE(GtTestMouse(v->Handle(), gmaMove, gmbLeft, 60, 50));
  EXPECT_TRUE(v->MeasureHintActive());
  EXPECT_NEAR(v->LastMeasuredValue(), std::hypot(41.0, 31.0), 1e-9);
  TRect box;
  EXPECT_GT(Differences(before, Surface(v), box), 100);
  ASSERT_TRUE(GtTestMouse(v->Handle(), gmaMove, gmbLeft, 80, 20));
  ASSERT_TRUE(GtTestMouse(v->Handle(), gmaRelease, gmbLeft, 80, 20));
  EXPECT_FALSE(v->MeasureHintActive());
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_NEAR(ended[0], std::hypot(61.0, 1.0), 1e-9);
  // Neither the hint nor the rubber line is left on the window.
  EXPECT_EQ(Differences(before, Surface(v), box), 0);
}

TEST_F(VectHint, OutlineOfAPolygonBeingDrawnRunsOnToTheMouse) {
  struct Case {
    const char* Name;
    std::vector<TPoint> Clicks;
    TPoint Mouse;
    bool Rubber;
    double Open, Closed;  // while drawn, and once ended (-1: not checked)
  };
  const Case cases[] = {
      {"one point, rubber", {{10, 10}}, {13, 14}, true, 5, -1},
      {"one point, no rubber", {{10, 10}}, {13, 14}, false, 0, -1},
      {"two points, rubber", {{10, 10}, {40, 10}}, {40, 50}, true, 30 + 40, -1},
      {"two points, no rubber", {{10, 10}, {40, 10}}, {40, 50}, false, 30, -1},
      // An open outline is not closed while drawn: 70, not 120.
      {"three points, rubber", {{10, 10}, {40, 10}, {40, 50}}, {20, 50}, true, 30 + 40 + 20, 120},
      {"three points, no rubber", {{10, 10}, {40, 10}, {40, 50}}, {20, 50}, false, 30 + 40, 120},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvVect* v = MakeHintView();
    v->SetMouseInteract(TIEMouseInteract{miSelectPolygon});
    v->SetMeasureRubberSegment(c.Rubber);
    for (TPoint p : c.Clicks) ASSERT_TRUE(GtTestClick(v->Handle(), gmbLeft, p.X, p.Y));
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaMove, gmbNone, c.Mouse.X, c.Mouse.Y));
    ASSERT_TRUE(v->GestureRunning());
    EXPECT_NEAR(v->GetOutlineLength(), c.Open, 1e-9);
    // The mouse's distance counts in the unit like every other segment.
    v->SetMeasureScale(2);
    EXPECT_NEAR(v->GetOutlineLength(), 2 * c.Open, 1e-9);
    v->SetMeasureScale(1);
    // Ended: closed, and the mouse no longer counts.
    v->EndPolygonSelection(false, false);
    EXPECT_FALSE(v->GestureRunning());
    if (c.Closed >= 0) {
      EXPECT_NEAR(v->GetOutlineLength(), c.Closed, 1e-9);
    }
    delete v;
  }
}

TEST_F(VectHint, MeasuringInteractionsShowTheSelectionInTheHint) {
  struct Case {
    const char* Name;
    TIEVectorInteract Interact;
    const char* Text;  // of the last hint shown, empty for none
  };
  // The triangle (10,10) (40,10) (40,50) being drawn, the mouse at (10,50).
  const Case cases[] = {
      {"area", TIEVectorInteract{viMeasureArea}, "600.00 pixels\u00B2"},
      {"perimeter", TIEVectorInteract{viMeasurePerimeter}, "100.00 pixels"},
      {"area before perimeter", TIEVectorInteract{viMeasureArea, viMeasurePerimeter}, "600.00 pixels\u00B2"},
      {"neither", TIEVectorInteract{viNoClickCreate}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvVect* v = MakeHintView();
    v->SetMouseInteract(TIEMouseInteract{miSelectPolygon});
    v->SetVectorInteract(c.Interact);
    std::string shown;
    v->OnMeasureHint = [&](TObject*, WideString& Text, double) { shown = WideToUtf8(Text); };
    for (TPoint p : {TPoint(10, 10), TPoint(40, 10), TPoint(40, 50)})
      ASSERT_TRUE(GtTestClick(v->Handle(), gmbLeft, p.X, p.Y));
    const std::vector<uint32_t> before = Surface(v);
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaMove, gmbNone, 10, 50));
    EXPECT_EQ(shown, c.Text);
    EXPECT_EQ(v->MeasureHintActive(), *c.Text != 0);
    if (*c.Text) {
      // The box is on the window, near the mouse.
      TRect box;
      EXPECT_GT(Differences(before, Surface(v), box), 100);
      EXPECT_LE(std::abs(v->MeasureHintPos().X - 10), 40);
      EXPECT_LE(std::abs(v->MeasureHintPos().Y - 50), 40);
      // Ended and taken away, the selection has nothing to show.
      v->EndPolygonSelection(false, false);
      v->Deselect();
      ASSERT_TRUE(GtTestMouse(v->Handle(), gmaMove, gmbNone, 20, 60));
      EXPECT_FALSE(v->MeasureHintActive());
    }
    delete v;
  }
}

TEST_F(VectMeasure, LoadingObjectsRecomputesTheUnitFactors) {
  TZiduzUvVect* a = MakeVect();
  TZiduzUvVect* b = MakeVect();
  for (TZiduzUvVect* v : {a, b}) {
    v->SetDpi(300, 300);
    v->SetMUnit(ieuMILLIMETERS);
  }
  a->SetMeasureScale(2);
  TMemoryStream s;
  a->SaveObjectsToStream(&s);
  s.SetPosition(0);
  ASSERT_TRUE(b->LoadObjectsFromStream(&s));
  EXPECT_DOUBLE_EQ(b->MeasureScale(), 2);
  EXPECT_NEAR(b->UnitPerPixelX(), 2 * 25.4 / 300, 1e-12);
  EXPECT_NEAR(b->UnitPerPixelY(), 2 * 25.4 / 300, 1e-12);
}

}  // namespace vect_measure_tests
