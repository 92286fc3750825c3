// Geometry helpers: angles, turns, polygons, hit distances, Bezier sampling,
// size fitting and grey colour tables.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/render/iegeom.h"

namespace test_geom_tests {

namespace {
constexpr double kPi = std::numbers::pi;

TEST(Geometry, LineAngleOnScreenAxes) {
  struct Case {
    Integer x2, y2;
    double want;
  };
  const Case cases[] = {{1, -1, kPi / 4},  {1, 1, 7 * kPi / 4}, {-1, 1, 5 * kPi / 4}, {-1, -1, 3 * kPi / 4},
                        {0, -5, kPi / 2},  {0, 5, 3 * kPi / 2}, {-3, 0, kPi},         {3, 0, 0},
                        {0, 0, 0},         {2, -1, std::atan2(1.0, 2.0)}};
  for (const Case& c : cases) EXPECT_NEAR(IELineAngle(0, 0, c.x2, c.y2), c.want, 1e-12) << c.x2 << "," << c.y2;
  // Far-apart points must not overflow the difference.
  EXPECT_NEAR(IELineAngle(-2147483647, 0, 2147483647, 0), 0, 1e-12);
  EXPECT_NEAR(IELineAngle(2147483647, 0, -2147483647, 0), kPi, 1e-12);
}

TEST(Geometry, AngleBetweenSegmentsAndVertexAngle) {
  EXPECT_DOUBLE_EQ(IEAngleBetweenSegments(0, 0, 10, 0, 20, 0), 0);
  EXPECT_NEAR(IEAngleBetweenSegments(0, 0, 10, 0, 0, 0), kPi, 1e-12);
  EXPECT_NEAR(IEAngleBetweenSegments(0, 0, 10, 0, 10, 10), kPi / 2, 1e-12);
  EXPECT_DOUBLE_EQ(IEAngleBetweenSegments(3, 3, 3, 3, 10, 0), 0);  // zero-length segment

  // Right angle at P1: the turn direction decides between pi/2 and 3 pi/2.
  EXPECT_EQ(IETurnDirection(10, 0, 0, 0, 0, 10), -1);
  EXPECT_NEAR(IEVertexAngle(10, 0, 0, 0, 0, 10), 3 * kPi / 2, 1e-12);
  EXPECT_EQ(IETurnDirection(0, 10, 0, 0, 10, 0), 1);
  EXPECT_NEAR(IEVertexAngle(0, 10, 0, 0, 10, 0), kPi / 2, 1e-12);
  // Collinear: the law of cosines can land a hair outside -1..1; never NaN.
  for (Integer k : {1, 3, 7, 1000003}) {
    const double a = IEVertexAngle(0, 0, k, k, 2 * k, 2 * k);
    EXPECT_FALSE(std::isnan(a)) << k;
  }
}

TEST(Geometry, TurnDirectionTable) {
  struct Case {
    Integer x0, y0, x1, y1, x2, y2, want;
  };
  const Case cases[] = {
      {0, 0, 10, 0, 10, 10, 1},    {0, 0, 10, 0, 10, -10, -1},  // by the cross product
      {0, 0, 5, 0, 10, 0, 1},                                    // collinear, P1 nearer
      {0, 0, 10, 0, 5, 0, 0},                                    // collinear, P2 nearer
      {0, 0, -5, 0, 10, 0, -1},    {0, 0, 0, 5, 0, -5, -1},      // opposite sides of P0
      {0, 0, 0, 0, 0, 0, 0},
      // 32-bit products would overflow here.
      {-2000000000, -2000000000, 2000000000, -2000000000, 2000000000, 2000000000, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IETurnDirection(c.x0, c.y0, c.x1, c.y1, c.x2, c.y2), c.want) << c.x1 << "," << c.y1 << " " << c.x2;
}

TEST(Geometry, ArcFunctionsKeepTheirQuadrant) {
  EXPECT_NEAR(IEArcCos(1), 0, 1e-12);
  EXPECT_NEAR(IEArcCos(0), kPi / 2, 1e-12);
  EXPECT_NEAR(IEArcCos(-0.5), 2 * kPi / 3, 1e-12);  // a bare arc tangent of the quotient gives -pi/3
  EXPECT_NEAR(IEArcCos(-1), kPi, 1e-12);
  EXPECT_NEAR(IEArcTan2(-1, 1), 3 * kPi / 4, 1e-12);  // (x, y) order
  EXPECT_NEAR(IEArcTan2(-1, -1), -3 * kPi / 4, 1e-12);
  EXPECT_NEAR(IEArcTan2(0, 2), kPi / 2, 1e-12);
}

TEST(Geometry, RotatePointsUsesOldCoordinatesAndTruncates) {
  TPoint pts[] = {{20, 10}, {10, 0}, {13, 17}};
  IERotatePoints(pts, 1, 10, 10, 90);  // counter-clockwise on screen; the third point is beyond LastIndex
  EXPECT_EQ(pts[0].X, 10);
  EXPECT_EQ(pts[0].Y, 0);
  EXPECT_EQ(pts[1].X, 0);
  EXPECT_EQ(pts[1].Y, 10);
  EXPECT_EQ(pts[2].X, 13);
  EXPECT_EQ(pts[2].Y, 17);
  TPoint p[] = {{10, 0}};
  IERotatePoints(p, 0, 0, 0, 45);  // 7.07.. and -7.07.. truncate toward zero
  EXPECT_EQ(p[0].X, 7);
  EXPECT_EQ(p[0].Y, -7);
}

TEST(Geometry, PointInPolygonEvenOdd) {
  const TPoint square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  struct Case {
    Integer x, y;
    bool in;
  };
  const Case cases[] = {{5, 5, true},  {10, 5, false}, {0, 5, true},   {5, 0, true},
                        {5, 10, false}, {-1, 5, false}, {11, 11, false}};
  for (const Case& c : cases) EXPECT_EQ(IEPointInPolygon(c.x, c.y, square, 3), c.in) << c.x << "," << c.y;
  EXPECT_FALSE(IEPointInPolygon(5, 5, square, -1));

  // Zoomed: picture square scaled by 2 and moved to (100, 100).
  EXPECT_TRUE(IEPointInZoomedPolygon(115, 105, square, 4, 0, 0, 100, 100, 2, 2));
  EXPECT_FALSE(IEPointInZoomedPolygon(121, 105, square, 4, 0, 0, 100, 100, 2, 2));
  EXPECT_FALSE(IEPointInZoomedPolygon(102, 119, square, 4, 5, 5, 100, 100, 2, 2));
  EXPECT_TRUE(IEPointInZoomedPolygon(95, 95, square, 4, 5, 5, 100, 100, 2, 2));
  EXPECT_FALSE(IEPointInZoomedPolygon(115, 105, square, 0, 0, 0, 100, 100, 2, 2));
}

TEST(Geometry, DistanceToRectangleAndEllipse) {
  EXPECT_DOUBLE_EQ(IEDistanceToRectangle(5, 5, 0, 0, 10, 10, false, 1), 5);
  EXPECT_DOUBLE_EQ(IEDistanceToRectangle(5, 5, 0, 0, 10, 10, true, 1), 0);
  EXPECT_DOUBLE_EQ(IEDistanceToRectangle(10, 10, 0, 0, 10, 10, true, 1), 0);  // bounds included
  EXPECT_DOUBLE_EQ(IEDistanceToRectangle(15, 5, 0, 0, 10, 10, false, 1), 5);
  EXPECT_DOUBLE_EQ(IEDistanceToRectangle(15, 5, 0, 0, 10, 10, false, 4), 3);  // moved by +2
  EXPECT_DOUBLE_EQ(IEDistanceToRectangle(5, 5, 0, 0, 10, 10, false, 4), 3);
  EXPECT_DOUBLE_EQ(IEDistanceToRectangle(15, 5, 0, 0, 10, 10, false, -1), 2147483647.0);

  // Circle of radius 50 around (50, 50), outline as an inscribed 39-gon.
  const double centre = IEDistanceToEllipse(50, 50, 0, 0, 100, 100, false, 1);
  EXPECT_GT(centre, 48);  // vertices are truncated towards the centre
  EXPECT_LE(centre, 50);
  EXPECT_NEAR(IEDistanceToEllipse(100, 50, 0, 0, 100, 100, false, 1), 0, 1e-9);
  const double below = IEDistanceToEllipse(50, 150, 0, 0, 100, 100, false, 1);
  EXPECT_GE(below, 50);
  EXPECT_LT(below, 52);
  EXPECT_DOUBLE_EQ(IEDistanceToEllipse(50, 50, 0, 0, 100, 100, true, 1), 0);
  EXPECT_DOUBLE_EQ(IEDistanceToEllipse(60, 40, 0, 0, 100, 100, true, 1), 0);  // truncated near-zero
  EXPECT_GE(IEDistanceToEllipse(160, 50, 0, 0, 100, 100, true, 1), 60);
  EXPECT_DOUBLE_EQ(IEDistanceToEllipse(0, 0, 0, 0, 100, 100, false, -2), 2147483647.0);
  // A wider pen reaches further out.
  EXPECT_LT(IEDistanceToEllipse(50, 155, 0, 0, 100, 100, false, 8), IEDistanceToEllipse(50, 155, 0, 0, 100, 100, false, 1));
  // Degenerate ellipse: still at least two vertices, a finite answer.
  EXPECT_LT(IEDistanceToEllipse(3, 3, 3, 3, 3, 3, false, 1), 1);
}

// An ellipse billions of pixels across (a vector object from a hostile file)
// is measured promptly and without a vertex per pixel of its circumference.
TEST(Geometry, DistanceToAHugeEllipseIsBounded) {
  const Integer r = 2000000000;
  // From the centre the outline is a radius away, less what the polygon's
  // truncated vertices and straight sides give up.
  const double centre = IEDistanceToEllipse(0, 0, -r, -r, r, r, false, 1);
  EXPECT_GT(centre, 0.999 * r);
  EXPECT_LE(centre, r);
  EXPECT_NEAR(IEDistanceToEllipse(r, 0, -r, -r, r, r, false, 1), 0, 1);
  EXPECT_DOUBLE_EQ(IEDistanceToEllipse(12345, -678, -r, -r, r, r, true, 3), 0);
}

TEST(Geometry, CosineTable) {
  IEBuildCosineTable();
  for (Integer i = 0; i < 256; ++i)
    EXPECT_EQ(IECosineTable[i], std::nearbyint(64 - std::cos(i * kPi / 255) * 64)) << i;
  EXPECT_EQ(IECosineTable[0], 0);
  EXPECT_EQ(IECosineTable[64], 19);
  EXPECT_EQ(IECosineTable[255], 128);
}

TEST(Geometry, CubicBezierSamples) {
  std::vector<TPoint> pts;
  const TPoint p0(0, 0), p1(0, 100), p2(100, 100), p3(100, 0);
  IECubicBezier(p0, p1, p2, p3, pts, 1);
  ASSERT_EQ(pts.size(), 1u);
  EXPECT_EQ(pts[0].X, 100);
  EXPECT_EQ(pts[0].Y, 0);
  IECubicBezier(p0, p1, p2, p3, pts, 4);
  ASSERT_EQ(pts.size(), 4u);
  // t = 0.25: x = 3 (.25)(.75)^2 0 + 3 (.0625)(.75) 100 + (.015625) 100 = 15.625 -> 16; y = 56.25 -> 56.
  EXPECT_EQ(pts[0].X, 16);
  EXPECT_EQ(pts[0].Y, 56);
  EXPECT_EQ(pts[1].X, 50);
  EXPECT_EQ(pts[1].Y, 75);
  EXPECT_EQ(pts[3].X, 100);
  EXPECT_EQ(pts[3].Y, 0);
  // Halves go to the even neighbour: t = 0.5 of a straight line 0..5 gives 2.5 -> 2.
  IECubicBezier(TPoint(0, 0), TPoint(0, 0), TPoint(5, 5), TPoint(5, 5), pts, 2);
  EXPECT_EQ(pts[0].X, 2);
  IECubicBezier(p0, p1, p2, p3, pts, 0);
  EXPECT_TRUE(pts.empty());
}

TEST(Geometry, FitSizeInBoxAndIncludePoint) {
  struct Case {
    Integer w, h, mw, mh, nw, nh;
  };
  const Case cases[] = {{400, 200, 100, 100, 100, 50}, {1, 1000, 10, 10, 1, 10},
                        {50, 25, 100, 100, 100, 50},   {1000, 1, 10, 10, 10, 1}};
  for (const Case& c : cases) {
    Integer nw = -1, nh = -1;
    IEFitSizeInBox(c.w, c.h, c.mw, c.mh, nw, nh);
    EXPECT_EQ(nw, c.nw) << c.w << "x" << c.h;
    EXPECT_EQ(nh, c.nh) << c.w << "x" << c.h;
  }
  Integer nw = 7, nh = 8;
  IEFitSizeInBox(0, 10, 100, 100, nw, nh);
  EXPECT_EQ(nw, 7);
  EXPECT_EQ(nh, 8);

  TRect r(5, 5, 10, 10);
  IEIncludePointInRect(r, 2, 20);
  EXPECT_EQ(r.Left, 2);
  EXPECT_EQ(r.Top, 5);
  EXPECT_EQ(r.Right, 10);
  EXPECT_EQ(r.Bottom, 20);
  IEIncludePointInRect(r, 7, 7);
  EXPECT_EQ(r.Left, 2);
  EXPECT_EQ(r.Bottom, 20);
}

TEST(Geometry, GrayColorTables) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf8bit);
  bmp.SetSize(4, 4);
  ASSERT_EQ(bmp.ColorTableSize(), 256);
  RGBQUAD red;
  red.rgbRed = 255;
  for (Integer i = 0; i < 256; ++i) bmp.SetColorTableEntry(i, red);
  EXPECT_FALSE(IEIsGrayColorTable(&bmp));
  IESetGrayColorTable(&bmp);
  EXPECT_TRUE(IEIsGrayColorTable(&bmp));
  EXPECT_EQ(bmp.ColorTableEntry(200).rgbGreen, 200);
  RGBQUAD nearly;
  nearly.rgbRed = nearly.rgbGreen = 17;
  nearly.rgbBlue = 18;
  bmp.SetColorTableEntry(17, nearly);
  EXPECT_FALSE(IEIsGrayColorTable(&bmp));

  // Copy into an ie8p picture's palette.
  bmp.SetColorTableEntry(17, red);
  TIEBitmap dest(4, 4, ie8p);
  IECopyDIBColorTable(&bmp, &dest);
  TRGB c;
  dest.GetPaletteColor(17, c);
  EXPECT_EQ(c.r, 255);
  EXPECT_EQ(c.g, 0);
  dest.GetPaletteColor(100, c);
  EXPECT_EQ(c.r, 100);
  EXPECT_EQ(c.b, 100);

  TBitmap truecolor;
  truecolor.SetPixelFormat(pf24bit);
  truecolor.SetSize(2, 2);
  EXPECT_TRUE(IEIsGrayColorTable(&truecolor));  // no table counts as grey
}

}  // namespace

}  // namespace test_geom_tests
