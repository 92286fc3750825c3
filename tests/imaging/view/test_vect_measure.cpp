// Measuring: per-pixel unit factors, number texts, drag lengths, the
// selection's outline and area, angles, and scale-ruler ticks (including a
// ruler in a unit so small that every tenth would be far below a pixel).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "imaging/view/ievect.h"
#include "platform/base/sysutils.h"
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

}  // namespace vect_measure_tests
