// The drawing wrappers: the same shapes through GDI+ and through the plain
// canvas (when loading GDI+ fails), pixel sets with antialiasing off, the
// order of fill and outline, transparency and the binding's use count.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/core/render/iegdiplus.h"
#include "imaging/core/render/iegeom.h"
#include "platform/base/sysutils.h"

namespace test_canvas_tests {

namespace {

struct Rgb {
  int r, g, b;
};

// A white 24-bit platform bitmap and a TIECanvas over it, through GDI+ or
// through the plain canvas.
class Surface {
 public:
  Surface(Integer W, Integer H, bool GdiPlus) : FGdiPlus(GdiPlus) {
    GtSetGdiPlusLoadFails(!GdiPlus);
    IEGDIPlusLoad();
    GtSetGdiPlusLoadFails(false);
    Bmp.SetPixelFormat(pf24bit);
    Bmp.SetSize(W, H);
    Bmp.Canvas()->Brush()->SetColor(clWhite);
    Bmp.Canvas()->FillRect(TRect(0, 0, W, H));
  }
  ~Surface() { IEGDIPlusUnload(); }
  std::unique_ptr<TIECanvas> Make(bool Antialias = false) {
    Bmp.Canvas()->Pen()->SetColor(clBlack);
    Bmp.Canvas()->Pen()->SetWidth(1);
    Bmp.Canvas()->Brush()->SetColor(clRed);
    Bmp.Canvas()->Brush()->SetStyle(bsSolid);
    auto c = std::make_unique<TIECanvas>(Bmp.Canvas(), Antialias, true);
    EXPECT_EQ(c->UsesGdiPlus(), FGdiPlus);
    return c;
  }
  Rgb At(Integer X, Integer Y) {
    const auto* row = static_cast<const Byte*>(Bmp.ScanLine(Y));
    return Rgb{row[X * 3 + 2], row[X * 3 + 1], row[X * 3]};
  }
  // 'W' white, 'K' black, 'R' red, '?' anything else, one text row per line.
  std::string Map() {
    std::string s;
    for (Integer y = 0; y < Bmp.Height(); ++y) {
      for (Integer x = 0; x < Bmp.Width(); ++x) {
        const Rgb p = At(x, y);
        s += p.r == 255 && p.g == 255 && p.b == 255 ? 'W'
             : p.r == 0 && p.g == 0 && p.b == 0     ? 'K'
             : p.r == 255 && p.g == 0 && p.b == 0   ? 'R'
                                                    : '?';
      }
      s += '\n';
    }
    return s;
  }
  TBitmap Bmp;

 private:
  bool FGdiPlus;
};

class CanvasPaths : public ::testing::TestWithParam<bool> {};

TEST_P(CanvasPaths, RectangleFilledInsideOutline) {
  Surface s(12, 10, GetParam());
  s.Make()->Rectangle(2, 2, 10, 8);  // outline on columns 2 and 9, rows 2 and 7
  const std::string want =
      "WWWWWWWWWWWW\n"
      "WWWWWWWWWWWW\n"
      "WWKKKKKKKKWW\n"
      "WWKRRRRRRKWW\n"
      "WWKRRRRRRKWW\n"
      "WWKRRRRRRKWW\n"
      "WWKRRRRRRKWW\n"
      "WWKKKKKKKKWW\n"
      "WWWWWWWWWWWW\n"
      "WWWWWWWWWWWW\n";
  EXPECT_EQ(s.Map(), want);
}

TEST_P(CanvasPaths, FillRectAndReversedCorners) {
  Surface s(8, 6, GetParam());
  auto c = s.Make();
  c->Rectangle(6, 5, 1, 1);  // corners given the other way round
  const std::string map = s.Map();
  EXPECT_EQ(map.substr(9, 8), "WKKKKKWW") << map;
  EXPECT_EQ(map.substr(2 * 9, 8), "WKRRRKWW") << map;
  EXPECT_EQ(map.substr(4 * 9, 8), "WKKKKKWW") << map;
}

TEST_P(CanvasPaths, PolygonAndPolyline) {
  Surface s(12, 12, GetParam());
  auto c = s.Make();
  const TPoint tri[] = {{1, 1}, {10, 1}, {1, 10}};
  c->Polygon(tri, 2);
  EXPECT_EQ(s.At(1, 1).r, 0);     // a vertex is outlined
  EXPECT_EQ(s.At(10, 1).g, 0);
  EXPECT_EQ(s.At(3, 3).g, 0);     // inside: red
  EXPECT_EQ(s.At(3, 3).r, 255);
  EXPECT_EQ(s.At(9, 9).g, 255);   // beyond the hypotenuse: untouched
  EXPECT_EQ(s.At(11, 11).g, 255);
  const TPoint line[] = {{0, 11}, {11, 11}};
  c->Polyline(line, 1);
  EXPECT_EQ(s.At(5, 11).r, 0);
  EXPECT_EQ(s.At(5, 11).g, 0);
}

// Corners taller than two thirds of the box (shape 3) once made the closing
// left side start a full corner height up, past where the lower-left arc
// ends, leaving a spur up the left edge: the outline is checked to stay in
// its box and to be mirror-symmetric, with and without antialiasing.
TEST_P(CanvasPaths, EllipseAndRoundRectStayInTheirBox) {
  for (bool antialias : {false, true}) {
    for (int shape = 0; shape < 4; ++shape) {
      Surface s(20, 16, GetParam());
      auto c = s.Make(antialias);
      if (shape == 0) c->Ellipse(2, 2, 18, 14);
      if (shape == 1) c->RoundRect(2, 2, 18, 14, 6, 6);
      if (shape == 2) c->RoundRect(2, 2, 18, 14, 100, 100);  // corner sizes lowered to the box
      if (shape == 3) c->RoundRect(2, 2, 18, 14, 8, 10);     // tall corners
      const std::string map = s.Map();
      const std::string what = "shape " + std::to_string(shape) + (antialias ? " antialiased" : "") + "\n" + map;
      auto at = [&](Integer x, Integer y) { return map[size_t(y * 21 + x)]; };
      Integer minX = 99, minY = 99, maxX = -1, maxY = -1;
      for (Integer y = 0; y < 16; ++y)
        for (Integer x = 0; x < 20; ++x)
          if (at(x, y) != 'W') {
            minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
          }
      // The GDI+ rounded rectangle spans x2 - x1 by y2 - y1, one pixel more
      // than the plain canvas and the ellipse.
      const bool wide = GetParam() && shape > 0;
      EXPECT_EQ(minX, 2) << what;
      EXPECT_EQ(minY, 2) << what;
      EXPECT_EQ(maxX, wide ? 18 : 17) << what;
      EXPECT_EQ(maxY, wide ? 14 : 13) << what;
      for (Integer y = minY; y <= maxY; ++y)
        for (Integer x = minX; x <= maxX; ++x) {
          ASSERT_EQ(at(x, y), at(minX + maxX - x, y)) << x << "," << y << " " << what;
          ASSERT_EQ(at(x, y), at(x, minY + maxY - y)) << x << "," << y << " " << what;
        }
      EXPECT_EQ(at(2, 2), 'W') << what;  // rounded corner
      EXPECT_EQ(at(10, 8), 'R') << what;
      if (antialias && GetParam()) {
        EXPECT_NE(at(2, 8), 'W') << what;  // left edge outlined
      } else {
        EXPECT_EQ(at(2, 8), 'K') << what;
      }
      if (shape == 1) {
        EXPECT_EQ(at(4, 4), 'R') << what;  // small corners keep the box square-ish
      }
      if (shape == 2) {
        EXPECT_NE(at(4, 4), 'R') << what;
      }
    }
  }
}

TEST_P(CanvasPaths, ArcSweepsCounterClockwiseFromStartToEnd) {
  Surface s(21, 21, GetParam());
  auto c = s.Make();
  c->Arc(0, 0, 20, 20, 20, 10, 10, 0);  // right point to top point: the upper-right quarter
  const std::string map = s.Map();
  Integer drawn = 0;
  for (Integer y = 0; y < 21; ++y)
    for (Integer x = 0; x < 21; ++x)
      if (map[size_t(y * 22 + x)] != 'W') {
        ++drawn;
        EXPECT_GE(x, 9) << map;
        EXPECT_LE(y, 11) << map;
      }
  EXPECT_GT(drawn, 10) << map;
}

TEST_P(CanvasPaths, LinesAndThreeDFrame) {
  Surface s(10, 10, GetParam());
  auto c = s.Make();
  IEDraw3DRectGdiPlus(c.get(), 1, 1, 8, 8, clRed, clBlack);
  EXPECT_EQ(s.At(1, 5).r, 255);  // left edge in Color1
  EXPECT_EQ(s.At(1, 5).g, 0);
  EXPECT_EQ(s.At(5, 1).g, 0);    // top edge in Color1
  EXPECT_EQ(s.At(5, 8).r, 0);    // bottom edge in Color2
  EXPECT_EQ(s.At(8, 5).r, 0);    // right edge in Color2
  EXPECT_EQ(s.At(5, 5).g, 255);  // inside untouched
  EXPECT_EQ(c->PenPos().X, 8);
  EXPECT_EQ(c->PenPos().Y, 1);
}

INSTANTIATE_TEST_SUITE_P(GdiPlusAndPlain, CanvasPaths, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "GdiPlus" : "Plain"; });

TEST(CanvasGdiPlus, PolygonOutlinedBeforeFillRectanglesAfter) {
  // With a 3-pixel pen the fill order shows on the inner half of the outline.
  Surface s(40, 20, true);
  auto c = s.Make();
  c->Pen()->SetWidth(3);
  c->Rectangle(3, 3, 16, 16);
  const TPoint sq[] = {{23, 3}, {35, 3}, {35, 15}, {23, 15}};
  c->Polygon(sq, 3);
  // Rectangle: fill first, the outline covers it on both sides of the edge.
  EXPECT_EQ(s.At(4, 9).r, 0);
  EXPECT_EQ(s.At(2, 9).r, 0);
  EXPECT_EQ(s.At(9, 9).g, 0);
  EXPECT_EQ(s.At(9, 9).r, 255);
  // Polygon: outline first, the fill paints over its inner half.
  EXPECT_EQ(s.At(22, 9).r, 0);    // outer half stays black
  EXPECT_EQ(s.At(24, 9).r, 255);  // inner half now red
  EXPECT_EQ(s.At(24, 9).g, 0);
}

TEST(CanvasGdiPlus, TransparencyHalfBlendsThroughGdiPlusOnly) {
  for (bool gdi : {true, false}) {
    Surface s(10, 10, gdi);
    auto c = s.Make();
    c->Brush()->SetTransparency(128);
    c->FillRect(TRect(0, 0, 10, 10));
    c->Pen()->SetTransparency(128);
    c->Pen()->SetColor(clBlack);
    c->MoveTo(0, 8);
    c->LineTo(9, 8);
    const Rgb fill = s.At(3, 3), line = s.At(3, 8);
    if (gdi) {
      EXPECT_EQ(fill.r, 255);
      EXPECT_NEAR(fill.g, 127, 1);
      EXPECT_NEAR(fill.b, 127, 1);
      EXPECT_NEAR(line.r, 127, 1);  // black at half over white
      EXPECT_NEAR(line.g, 63, 2);   // black at half over the half-red fill
    } else {
      EXPECT_EQ(fill.g, 0);  // the plain canvas knows no transparency
      EXPECT_EQ(line.r, 0);
    }
  }
}

TEST(CanvasGdiPlus, ClearStylesDrawNothing) {
  Surface s(10, 10, true);
  auto c = s.Make();
  c->Pen()->SetStyle(psClear);
  c->Brush()->SetStyle(bsClear);
  c->Rectangle(1, 1, 9, 9);
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 10; ++x) ASSERT_EQ(s.At(x, y).g, 255) << x << "," << y;
  // Leaving psClear keeps alpha 0 until the colour is set again.
  c->Pen()->SetStyle(psSolid);
  c->DrawLine(0, 5, 9, 5);
  EXPECT_EQ(s.At(4, 5).g, 255);
  c->Pen()->SetColor(clBlack);
  c->DrawLine(0, 5, 9, 5);
  EXPECT_EQ(s.At(4, 5).g, 0);
}

TEST(CanvasPen, WidthIsFloatingForGdiPlusTruncatedForThePlainPen) {
  Surface s(4, 4, true);
  auto c = s.Make();
  c->Pen()->SetWidth(2.5f);
  EXPECT_FLOAT_EQ(c->Pen()->Width(), 2.5f);
  EXPECT_EQ(s.Bmp.Canvas()->Pen()->Width(), 2);
  EXPECT_NE(c->Pen()->GdiPen(), nullptr);
  c->Pen()->SetTransparency(128);
  EXPECT_EQ(c->Pen()->GetARGB(), 0x80000000u);  // black pen, alpha 128
  c->Pen()->SetStyle(psClear);
  EXPECT_EQ(c->Pen()->GetARGB(), 0x00000000u);
  c->Brush()->SetColor(clRed);
  c->Brush()->SetTransparency(200);
  EXPECT_EQ(c->Brush()->GetARGB(), 0xC8FF0000u);
  c->Brush()->SetStyle(bsCross);  // a hatch brush
  EXPECT_NE(c->Brush()->GdiBrush(), nullptr);
  EXPECT_EQ(s.Bmp.Canvas()->Brush()->Style(), bsCross);
}

TEST(CanvasBinding, FailingLoadFallsBackToThePlainCanvas) {
  ASSERT_EQ(IEGDIPlusUseCount(), 0);
  GtSetGdiPlusLoadFails(true);
  IEGDIPlusLoad();
  GtSetGdiPlusLoadFails(false);
  EXPECT_FALSE(IEGDIPlusLoaded());
  EXPECT_FALSE(IEGDIPlusAvailable());
  {
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(4, 4);
    TIECanvas c(bmp.Canvas(), true, true);
    EXPECT_FALSE(c.UsesGdiPlus());
    EXPECT_EQ(c.Pen()->GdiPen(), nullptr);
    EXPECT_EQ(c.Brush()->GdiBrush(), nullptr);
  }
  IEGDIPlusUnload();
  EXPECT_EQ(IEGDIPlusUseCount(), 0);
}

TEST(CanvasBinding, UseCountKeepsTheLibraryLoaded) {
  ASSERT_EQ(IEGDIPlusUseCount(), 0);
  IEGDIPlusLoad();
  IEGDIPlusLoad();
  EXPECT_TRUE(IEGDIPlusAvailable());
  IEGDIPlusUnload();
  EXPECT_TRUE(IEGDIPlusLoaded());
  IEGDIPlusUnload();
  EXPECT_FALSE(IEGDIPlusLoaded());
  // An unbalanced unload must not leave the count negative: the next
  // load/unload pair has to release the library again.
  IEGDIPlusUnload();
  EXPECT_EQ(IEGDIPlusUseCount(), 0);
  IEGDIPlusLoad();
  IEGDIPlusUnload();
  EXPECT_FALSE(IEGDIPlusLoaded());

  // Not allowed: loading leaves GDI+ away and canvases draw plainly.
  IESetGDIPlusAllowed(false);
  IEGDIPlusLoad();
  EXPECT_FALSE(IEGDIPlusLoaded());
  IEGDIPlusUnload();
  IESetGDIPlusAllowed(true);
}

TEST(CanvasGdiPlus, WithoutAntialiasStillDrawsThroughGdiPlus) {
  Surface s(10, 10, true);
  auto c = s.Make(false);
  EXPECT_TRUE(c->UsesGdiPlus());
  c->Brush()->SetTransparency(128);
  c->FillRect(TRect(0, 0, 10, 10));
  EXPECT_NEAR(s.At(5, 5).g, 127, 1);  // only GDI+ blends
}

TEST(CanvasGdiPlus, ShadeOutsideRect) {
  for (bool gdi : {true, false}) {
    Surface s(20, 20, gdi);
    IEShadeOutsideRect(s.Bmp.Canvas(), 0, 0, 19, 19, 5, 5, 14, 14);
    const int shade = gdi ? 105 : 0;  // black at 150 of 255 over white; opaque on the plain canvas
    for (Integer y = 8; y <= 13; ++y)
      for (Integer x = 8; x <= 13; ++x) ASSERT_EQ(s.At(x, y).g, 255) << x << "," << y;
    for (const TPoint p : {TPoint(2, 10), TPoint(4, 2), TPoint(17, 10), TPoint(10, 3), TPoint(10, 17), TPoint(18, 18)})
      EXPECT_NEAR(s.At(p.X, p.Y).g, shade, 1) << p.X << "," << p.Y << " gdi " << gdi << "\n" << s.Map();
    Surface e(6, 6, gdi);
    IEShadeOutsideRect(e.Bmp.Canvas(), 0, 0, 5, 5, 3, 1, 3, 4);  // empty inner rectangle: nothing
    EXPECT_EQ(e.At(0, 0).g, 255);
  }
}

TEST(CanvasPlain, ThreeDRectOnThePlainCanvasExcludesEndPoints) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(6, 6);
  bmp.Canvas()->Brush()->SetColor(clWhite);
  bmp.Canvas()->FillRect(TRect(0, 0, 6, 6));
  IEDraw3DRect(bmp.Canvas(), 1, 1, 4, 4, clBlack, clRed);
  auto at = [&](Integer x, Integer y) {
    const auto* row = static_cast<const Byte*>(bmp.ScanLine(y));
    return std::string{row[x * 3 + 2] == 255 ? (row[x * 3 + 1] == 255 ? 'W' : 'R') : 'K'};
  };
  std::string map;
  for (Integer y = 0; y < 6; ++y) {
    for (Integer x = 0; x < 6; ++x) map += at(x, y);
    map += '\n';
  }
  // Colour-1 lines (4,1)<-(1,1)<-(1,4) exclude (4,1); colour-2 lines run (1,4)->(4,4)->(4,1).
  EXPECT_EQ(map,
            "WWWWWW\n"
            "WKKKWW\n"
            "WKWWRW\n"
            "WKWWRW\n"
            "WRRRRW\n"
            "WWWWWW\n");
}

}  // namespace

namespace {
// The failing load sends the canvas down the plain path. Rectangles come out
// pixel for pixel the same; ellipses and polygons are rasterised by different
// code (and a polygon's fill covers the inner half of its outline through
// GDI+), so they must cover nearly the same pixels.
TEST(CanvasBinding, PlainFallbackGivesTheSamePixels) {
  const TPoint poly[] = {{2, 2}, {15, 4}, {9, 14}, {3, 11}};
  const int allowed[] = {0, 4, 14};  // about a tenth of the polygon's edge pixels
  for (int shape = 0; shape < 3; ++shape) {
    std::string maps[2];
    for (int gdi = 0; gdi < 2; ++gdi) {
      Surface s(18, 17, gdi == 1);
      auto c = s.Make();
      if (shape == 0) c->Rectangle(1, 2, 16, 15);
      if (shape == 1) c->Ellipse(1, 2, 16, 15);
      if (shape == 2) c->Polygon(poly, 3);
      maps[gdi] = s.Map();
    }
    if (shape == 0) {
      EXPECT_EQ(maps[0], maps[1]);
    }
    int differ = 0, covered = 0;
    for (size_t i = 0; i < maps[0].size(); ++i) {
      differ += (maps[0][i] == 'W') != (maps[1][i] == 'W');
      covered += maps[0][i] == 'R' || maps[0][i] == 'K';
    }
    EXPECT_GT(covered, 60) << shape;
    EXPECT_LE(differ, allowed[shape]) << "shape " << shape << "\nplain:\n" << maps[0] << "gdi+:\n" << maps[1];
  }
}
}  // namespace

}  // namespace test_canvas_tests
