// Which pixels the GDI+ stand-in covers: whole coordinates are pixel
// centres, aliased fills take the centres in [left, right) x [top, bottom),
// smoothed fills shade by covered area, one-pixel outlines are closed,
// connected and mirror-symmetric, and a path starts where its first segment
// does.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>

#include "platform/graphics/gdiplus.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_gdiplus_pixels_tests {

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
using TPixels = std::set<std::pair<Integer, Integer>>;

// A graphics object, a black one-pixel pen and a black brush over a DIB.
struct TDraw {
  explicit TDraw(HDC DC, bool Smooth = false) {
    EXPECT_EQ(GdipCreateFromHDC(DC, &G), Gdiplus::Ok);
    GdipSetSmoothingMode(G, Smooth ? Gdiplus::SmoothingModeAntiAlias : Gdiplus::SmoothingModeNone);
    GdipCreatePen1(0xFF000000u, 1, Gdiplus::UnitPixel, &Pen);
    GdipCreateSolidFill(0xFF000000u, &Brush);
  }
  ~TDraw() {
    GdipDeleteBrush(Brush);
    GdipDeletePen(Pen);
    GdipDeleteGraphics(G);
  }
  GpGraphics* G = nullptr;
  GpPen* Pen = nullptr;
  GpSolidFill* Brush = nullptr;
};

TPixels Drawn(const TTestDib& D) {
  TPixels s;
  for (Integer y = 0; y < D.H; ++y)
    for (Integer x = 0; x < D.W; ++x)
      if (D.Raw(x, y) != kWhite) s.insert({x, y});
  return s;
}

TPixels Block(Integer X0, Integer X1, Integer Y0, Integer Y1) {
  TPixels s;
  for (Integer y = Y0; y <= Y1; ++y)
    for (Integer x = X0; x <= X1; ++x) s.insert({x, y});
  return s;
}

// ------------------------------------------------------------ filled rectangles

struct TRectCase {
  REAL X, Y, W, H;
  Integer Col0, Col1, Row0, Row1;  // covered without smoothing, inclusive; Col1 < Col0 for none
};

const TRectCase kRects[] = {
    {2, 2, 4, 3, 2, 5, 2, 4},            // whole coordinates: columns x..x+w-1, rows y..y+h-1
    {0, 0, 1, 1, 0, 0, 0, 0},            // one pixel at the corner of the surface
    {5, 1, 3, 6, 5, 7, 1, 6},
    {1.5f, 1.5f, 4, 3, 2, 5, 2, 4},      // edges between centres
    {2.25f, 2.75f, 4, 3, 3, 6, 3, 5},
    {2.5f, 1, 2, 2, 3, 4, 1, 2},
    {-0.5f, -0.5f, 3, 3, 0, 2, 0, 2},    // half a pixel up and left still starts at pixel 0
    {3, 3, 0.5f, 0.5f, 3, 3, 3, 3},      // smaller than a pixel but over its centre
    {3.25f, 3.25f, 0.5f, 0.5f, 1, 0, 1, 0},  // over no centre: nothing
    {3, 3, 0, 4, 1, 0, 1, 0},            // no width: nothing
};

TEST(GdiPlusFillRectangle, AliasedCoversThePixelCentresInside) {
  for (const TRectCase& c : kRects) {
    TTestDib d(10, 9);
    TDraw g(d.DC);
    ASSERT_EQ(GdipFillRectangle(g.G, g.Brush, c.X, c.Y, c.W, c.H), Gdiplus::Ok);
    const TPixels want = c.Col1 < c.Col0 ? TPixels() : Block(c.Col0, c.Col1, c.Row0, c.Row1);
    EXPECT_EQ(Drawn(d), want) << c.X << "," << c.Y << " " << c.W << "x" << c.H << "\n" << d.Picture(0);
  }
}

// Smoothed, each pixel is shaded by the share of its square [p-0.5, p+0.5]
// that the rectangle covers.
TEST(GdiPlusFillRectangle, SmoothedShadesByCoveredArea) {
  auto overlap = [](double P, double A, double L) {
    return std::max(0.0, std::min(P + 0.5, A + L) - std::max(P - 0.5, double(A)));
  };
  for (const TRectCase& c : kRects) {
    TTestDib d(10, 9);
    TDraw g(d.DC, true);
    ASSERT_EQ(GdipFillRectangle(g.G, g.Brush, c.X, c.Y, c.W, c.H), Gdiplus::Ok);
    for (Integer y = 0; y < d.H; ++y)
      for (Integer x = 0; x < d.W; ++x) {
        const double cover = overlap(x, c.X, c.W) * overlap(y, c.Y, c.H);
        EXPECT_NEAR(GetGValue(d.Raw(x, y)), 255 * (1 - cover), 3)
            << c.X << "," << c.Y << " " << c.W << "x" << c.H << " at " << x << "," << y;
      }
  }
}

TEST(GdiPlusFillRectangle, ScaledWorldAndHatchKeepTheRule) {
  // Doubled, (1, 1, 2, 2) spans 2..6 on the device: pixels 2 to 5.
  TTestDib d(10, 9);
  TDraw g(d.DC);
  GpMatrix* m = nullptr;
  ASSERT_EQ(GdipCreateMatrix2(2, 0, 0, 2, 0, 0, &m), Gdiplus::Ok);
  GdipSetWorldTransform(g.G, m);
  GdipFillRectangle(g.G, g.Brush, 1, 1, 2, 2);
  EXPECT_EQ(Drawn(d), Block(2, 5, 2, 5)) << d.Picture(0);
  GdipDeleteMatrix(m);
  // A hatch fills the same pixels, and its pattern stays on the device grid.
  TTestDib h(16, 6);
  TDraw gh(h.DC);
  GpHatch* cross = nullptr;
  ASSERT_EQ(GdipCreateHatchBrush(Gdiplus::HatchStyleVertical, 0xFF000000u, 0xFFFF0000u, &cross), Gdiplus::Ok);
  GdipFillRectangle(gh.G, cross, 1, 1, 14, 4);
  EXPECT_EQ(Drawn(h), Block(1, 14, 1, 4));
  EXPECT_EQ(h.Picture(0, 0, 1, 16, 2), "....#.......#...\n");
  GdipDeleteBrush(cross);
}

// ------------------------------------------------------------ one-pixel outlines

struct TShapeCase {
  const char* Name;
  GpStatus (*Draw)(TDraw&);
  std::initializer_list<const char*> Want;
};

const TShapeCase kShapes[] = {
    {"rectangle", [](TDraw& g) { return GdipDrawRectangle(g.G, g.Pen, 2, 2, 6, 4); },
     {"..........",
      "..........",
      "..#######.",
      "..#.....#.",
      "..#.....#.",
      "..#.....#.",
      "..#######.",
      ".........."}},
    {"line right", [](TDraw& g) { return GdipDrawLine(g.G, g.Pen, 1, 3, 8, 3); },
     {"..........", "..........", "..........", ".########.", "..........", "..........", "..........", ".........."}},
    {"line left", [](TDraw& g) { return GdipDrawLine(g.G, g.Pen, 8, 3, 1, 3); },
     {"..........", "..........", "..........", ".########.", "..........", "..........", "..........", ".........."}},
    {"line up", [](TDraw& g) { return GdipDrawLine(g.G, g.Pen, 4, 6, 4, 1); },
     {"..........", "....#.....", "....#.....", "....#.....", "....#.....", "....#.....", "....#.....", ".........."}},
    {"diagonal", [](TDraw& g) { return GdipDrawLine(g.G, g.Pen, 7, 6, 2, 1); },
     {"..........", "..#.......", "...#......", "....#.....", ".....#....", "......#...", ".......#..", ".........."}},
    {"one step", [](TDraw& g) { return GdipDrawLine(g.G, g.Pen, 4, 4, 5, 4); },
     {"..........", "..........", "..........", "..........", "....##....", "..........", "..........", ".........."}},
    {"polyline", [](TDraw& g) {
       const GpPoint pts[3] = {{1, 6}, {1, 1}, {8, 1}};
       return GdipDrawLinesI(g.G, g.Pen, pts, 3);
     },
     {"..........", ".########.", ".#........", ".#........", ".#........", ".#........", ".#........", ".........."}},
    // A quarter of the circle about (5, 4) of radius 3, clockwise from its
    // right point to its lowest: the centres within half a pixel of it, both
    // end points included.
    {"arc", [](TDraw& g) { return GdipDrawArc(g.G, g.Pen, 2, 1, 6, 6, 0, 90); },
     {"..........",
      "..........",
      "..........",
      "..........",
      "........#.",
      "........#.",
      ".......#..",
      ".....##..."}},
    // The centres within half a pixel of the curve: steep parts take two.
    {"ellipse", [](TDraw& g) { return GdipDrawEllipse(g.G, g.Pen, 2, 2, 6, 4); },
     {"..........",
      "..........",
      "....###...",
      "..##...##.",
      "..#.....#.",
      "..##...##.",
      "....###...",
      ".........."}},
    {"filled ellipse", [](TDraw& g) { return GdipFillEllipse(g.G, g.Brush, 2, 2, 6, 4); },
     {"..........",
      "..........",
      "..........",
      "...#####..",
      "...#####..",
      "...#####..",
      "..........",
      ".........."}},
};

TEST(GdiPlusOutline, AliasedOnePixelShapesCoverTheirCentres) {
  for (const TShapeCase& c : kShapes) {
    TTestDib d(10, 8);
    TDraw g(d.DC);
    ASSERT_EQ(c.Draw(g), Gdiplus::Ok) << c.Name;
    EXPECT_EQ(d.Picture(0), Lines(c.Want)) << c.Name;
  }
}

// ------------------------------------------------------------ rounded rectangles

// The path the drawing wrapper builds for a rounded rectangle: four arcs,
// then a line up the left side back to where the first arc starts.
GpPath* RoundedRectPath(REAL X, REAL Y, REAL W, REAL H, REAL CW, REAL CH) {
  GpPath* path = nullptr;
  EXPECT_EQ(GdipCreatePath(Gdiplus::FillModeAlternate, &path), Gdiplus::Ok);
  GdipAddPathArc(path, X, Y, CW, CH, 180, 90);
  GdipAddPathArc(path, X + W - CW, Y, CW, CH, 270, 90);
  GdipAddPathArc(path, X + W - CW, Y + H - CH, CW, CH, 0, 90);
  GdipAddPathArc(path, X, Y + H - CH, CW, CH, 90, 90);
  GdipAddPathLine(path, X, Y + H - CH, X, Y + CH / 2);
  return path;
}

bool HasNeighbour(const TPixels& S, std::pair<Integer, Integer> P) {
  for (Integer dy = -1; dy <= 1; ++dy)
    for (Integer dx = -1; dx <= 1; ++dx)
      if ((dx || dy) && S.count({P.first + dx, P.second + dy})) return true;
  return false;
}

TEST(GdiPlusRoundRect, AliasedOutlineIsClosedConnectedAndSymmetric) {
  // (box x, y, w, h, corner w, h) on a 26 x 20 surface; odd and even sizes.
  // The closing line runs from y + h - ch up to y + ch / 2, so the shape is
  // only symmetric while ch < 2h/3.
  struct TCase {
    REAL X, Y, W, H, CW, CH;
  };
  const TCase cases[] = {{2, 2, 19, 13, 4, 4}, {2, 2, 19, 13, 6, 6}, {3, 2, 20, 15, 5, 9},
                         {1, 1, 18, 16, 10, 10}, {2, 3, 12, 7, 3, 2}};
  for (const TCase& c : cases) {
    TTestDib d(26, 20);
    TDraw g(d.DC);
    GpPath* path = RoundedRectPath(c.X, c.Y, c.W, c.H, c.CW, c.CH);
    ASSERT_EQ(GdipDrawPath(g.G, g.Pen, path), Gdiplus::Ok);
    GdipDeletePath(path);
    const TPixels s = Drawn(d);
    const std::string pic = d.Picture(0);
    const Integer x0 = Integer(c.X), y0 = Integer(c.Y), x1 = Integer(c.X + c.W), y1 = Integer(c.Y + c.H);
    ASSERT_FALSE(s.empty());
    for (const auto& p : s) {
      // Nothing outside the box (no segment tied to the origin) ...
      EXPECT_TRUE(p.first >= x0 && p.first <= x1 && p.second >= y0 && p.second <= y1)
          << p.first << "," << p.second << "\n" << pic;
      // ... and no pixel on its own.
      EXPECT_TRUE(HasNeighbour(s, p)) << p.first << "," << p.second << "\n" << pic;
      // Mirrored left to right and top to bottom it is the same outline.
      EXPECT_TRUE(s.count({x0 + x1 - p.first, p.second})) << p.first << "," << p.second << "\n" << pic;
      EXPECT_TRUE(s.count({p.first, y0 + y1 - p.second})) << p.first << "," << p.second << "\n" << pic;
    }
    // Each side is reached, and closed: the left edge is whole, where the figure starts and ends.
    for (Integer y = y0 + Integer(std::ceil(c.CH / 2)); y <= y1 - Integer(std::ceil(c.CH / 2)); ++y)
      EXPECT_TRUE(s.count({x0, y})) << y << "\n" << pic;
    EXPECT_TRUE(s.count({(x0 + x1) / 2, y0}) && s.count({(x0 + x1) / 2, y1}) && s.count({x1, (y0 + y1) / 2})) << pic;
    // One pixel wide: a pixel on the straight top edge has no pixel below it.
    EXPECT_FALSE(s.count({(x0 + x1) / 2, y0 + 1})) << pic;
  }
}

TEST(GdiPlusRoundRect, SmoothedOutlineHasNoSeamWhereTheFigureCloses) {
  // Drawn smoothed with a one-pixel pen, the straight left side is solid
  // black all the way, including the point where the path starts and ends.
  TTestDib d(24, 18);
  TDraw g(d.DC, true);
  GpPath* path = RoundedRectPath(2, 2, 19, 13, 4, 4);
  ASSERT_EQ(GdipDrawPath(g.G, g.Pen, path), Gdiplus::Ok);
  GdipDeletePath(path);
  for (Integer y = 5; y <= 12; ++y) {
    EXPECT_EQ(d.Raw(2, y), 0u) << y;
    EXPECT_EQ(d.Raw(1, y), kWhite) << y;
    EXPECT_EQ(d.Raw(3, y), kWhite) << y;
  }
}

TEST(GdiPlusPath, FirstSegmentStartsThePathAndFiguresJoin) {
  // A fresh path has no point at the origin: a square of lines fills and
  // outlines only itself.
  TTestDib d(12, 12);
  TDraw g(d.DC);
  GpPath* path = nullptr;
  ASSERT_EQ(GdipCreatePath(Gdiplus::FillModeWinding, &path), Gdiplus::Ok);
  GdipAddPathLine(path, 3, 3, 8, 3);
  GdipAddPathLine(path, 8, 8, 3, 8);
  ASSERT_EQ(GdipFillPath(g.G, g.Brush, path), Gdiplus::Ok);
  const TPixels fill = Drawn(d);
  ASSERT_FALSE(fill.empty());
  for (const auto& p : fill) EXPECT_TRUE(p.first >= 3 && p.second >= 3) << p.first << "," << p.second;
  // A single arc draws only itself.
  TTestDib a(12, 12);
  TDraw ga(a.DC);
  GpPath* arc = nullptr;
  GdipCreatePath(Gdiplus::FillModeAlternate, &arc);
  GdipAddPathArc(arc, 4, 4, 6, 6, 0, 90);
  GdipDrawPath(ga.G, ga.Pen, arc);
  for (const auto& p : Drawn(a)) EXPECT_TRUE(p.first >= 6 && p.second >= 6) << p.first << "," << p.second;
  GdipDeletePath(arc);
  // A wide outline that returns to its start is joined there like at every
  // other corner: the mitred corner at the start point is filled.
  TTestDib w(16, 16);
  TDraw gw(w.DC);
  GdipSetPenWidth(gw.Pen, 3);
  GpPath* square = nullptr;
  GdipCreatePath(Gdiplus::FillModeAlternate, &square);
  GdipAddPathLine(square, 4, 4, 11, 4);
  GdipAddPathLine(square, 11, 11, 4, 11);
  GdipAddPathLine(square, 4, 11, 4, 4);
  GdipDrawPath(gw.G, gw.Pen, square);
  for (const auto& corner : {std::pair{3, 3}, std::pair{12, 3}, std::pair{12, 12}, std::pair{3, 12}})
    EXPECT_EQ(w.Raw(corner.first, corner.second), 0u) << corner.first << "," << corner.second << "\n" << w.Picture(0);
  GdipDeletePath(square);
  GdipDeletePath(path);
}

}  // namespace

}  // namespace test_gdiplus_pixels_tests
