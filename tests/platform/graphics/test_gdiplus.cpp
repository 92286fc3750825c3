// The GDI+ stand-in: smoothing, ARGB blending, bounds, hatches, paths,
// clipping, and the switch that makes loading the library fail.
#include <gtest/gtest.h>

#include "platform/graphics/gdiplus.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_gdiplus_tests {

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;

struct TGraphicsOn {
  explicit TGraphicsOn(HDC DC, GpSmoothingMode Mode = Gdiplus::SmoothingModeAntiAlias) {
    EXPECT_EQ(GdipCreateFromHDC(DC, &G), Gdiplus::Ok);
    GdipSetSmoothingMode(G, Mode);
  }
  ~TGraphicsOn() { GdipDeleteGraphics(G); }
  GpGraphics* G = nullptr;
};

bool IsGrey(COLORREF C) { return C != 0 && C != kWhite; }

TEST(GdiPlus, AntialiasedEllipseBlendsItsEdgeAndStaysInsideItsBounds) {
  // The drawing wrapper draws Ellipse(2, 2, 18, 18) as an ellipse at (2, 2)
  // of width and height 18 - 2 - 1.
  TTestDib d(20, 20);
  TGraphicsOn g(d.DC);
  GpPen* pen = nullptr;
  ASSERT_EQ(GdipCreatePen1(0xFF000000u, 1, Gdiplus::UnitPixel, &pen), Gdiplus::Ok);
  ASSERT_EQ(GdipDrawEllipse(g.G, pen, 2, 2, 15, 15), Gdiplus::Ok);
  Integer grey = 0, dark = 0;
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 20; ++x) {
      const COLORREF c = d.Raw(x, y);
      if (x < 2 || x > 17 || y < 2 || y > 17) {
        ASSERT_EQ(c, kWhite) << x << "," << y;
        continue;
      }
      grey += IsGrey(c);
      dark += GetRValue(c) < 128;
    }
  EXPECT_GT(grey, 20);
  EXPECT_GT(dark, 20);
  EXPECT_EQ(d.Raw(10, 10), kWhite) << "only the outline";
  // Without smoothing there is no intermediate shade.
  TTestDib a(20, 20);
  TGraphicsOn h(a.DC, Gdiplus::SmoothingModeHighSpeed);
  GdipDrawEllipse(h.G, pen, 2, 2, 15, 15);
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 20; ++x) ASSERT_FALSE(IsGrey(a.Raw(x, y))) << x << "," << y;
  GdipDeletePen(pen);
}

TEST(GdiPlus, AlphaOf128BlendsHalfway) {
  TTestDib d(10, 10);
  TGraphicsOn g(d.DC);
  GpSolidFill* red = nullptr;
  ASSERT_EQ(GdipCreateSolidFill(0x80FF0000u, &red), Gdiplus::Ok);
  ASSERT_EQ(GdipFillRectangle(g.G, red, 2, 2, 5, 5), Gdiplus::Ok);
  const COLORREF c = d.Raw(4, 4);
  EXPECT_EQ(GetRValue(c), 255);
  EXPECT_NEAR(GetGValue(c), 127.5, 1);
  EXPECT_NEAR(GetBValue(c), 127.5, 1);
  EXPECT_EQ(d.Raw(0, 0), kWhite);
  // Alpha 0 draws nothing at all.
  GpSolidFill* clear = nullptr;
  GdipCreateSolidFill(0x00000000u, &clear);
  GdipFillRectangle(g.G, clear, 0, 0, 10, 10);
  EXPECT_EQ(d.Raw(0, 0), kWhite);
  GdipDeleteBrush(red);
  GdipDeleteBrush(clear);
}

TEST(GdiPlus, WholeCoordinatesAreThePixelCentres) {
  // A one-pixel line from (1, 3) to (8, 3) covers row 3 exactly when not smoothed.
  TTestDib d(10, 6);
  TGraphicsOn g(d.DC, Gdiplus::SmoothingModeNone);
  GpPen* pen = nullptr;
  GdipCreatePen1(0xFF000000u, 1, Gdiplus::UnitPixel, &pen);
  GdipDrawLine(g.G, pen, 1, 3, 8, 3);
  for (Integer x = 0; x < 10; ++x) {
    EXPECT_EQ(d.Raw(x, 2), kWhite) << x;
    EXPECT_EQ(d.Raw(x, 4), kWhite) << x;
  }
  EXPECT_EQ(d.Raw(4, 3), 0u);
  GdipDeletePen(pen);
}

TEST(GdiPlus, HatchBrushesUseForeAndBackColours) {
  TTestDib d(16, 8);
  TGraphicsOn g(d.DC, Gdiplus::SmoothingModeNone);
  GpHatch* h = nullptr;
  ASSERT_EQ(GdipCreateHatchBrush(Gdiplus::HatchStyleVertical, 0xFF000000u, 0xFFFF0000u, &h), Gdiplus::Ok);
  GdipFillRectangle(g.G, h, -0.5f, -0.5f, 16, 8);
  // The same columns as the GDI hatch of the same name.
  EXPECT_EQ(d.Picture(0, 0, 0, 16, 1), "....#.......#...\n");
  EXPECT_EQ(d.Raw(0, 0), RGB(255, 0, 0));
  GdipDeleteBrush(h);
}

TEST(GdiPlus, PathsOfArcsAndLinesFillAndOutline) {
  // A rounded rectangle as the drawing wrapper builds it: four arcs and a line.
  TTestDib d(40, 40);
  TGraphicsOn g(d.DC);
  GpPath* path = nullptr;
  ASSERT_EQ(GdipCreatePath(Gdiplus::FillModeAlternate, &path), Gdiplus::Ok);
  const REAL x = 5, y = 5, w = 30, h = 30, c = 16;
  GdipAddPathArc(path, x, y, c, c, 180, 90);
  GdipAddPathArc(path, x + w - c, y, c, c, 270, 90);
  GdipAddPathArc(path, x + w - c, y + h - c, c, c, 0, 90);
  GdipAddPathArc(path, x, y + h - c, c, c, 90, 90);
  GdipAddPathLine(path, x, y + h - c, x, y + c / 2);
  GpSolidFill* blue = nullptr;
  GdipCreateSolidFill(0xFF0000FFu, &blue);
  ASSERT_EQ(GdipFillPath(g.G, blue, path), Gdiplus::Ok);
  EXPECT_EQ(d.Raw(20, 20), RGB(0, 0, 255));
  EXPECT_EQ(d.Raw(6, 6), kWhite) << "the corner is rounded off";
  EXPECT_EQ(d.Raw(20, 6), RGB(0, 0, 255));
  GpPen* pen = nullptr;
  GdipCreatePen1(0xFFFF0000u, 2, Gdiplus::UnitPixel, &pen);
  GdipSetPenLineJoin(pen, Gdiplus::LineJoinRound);
  ASSERT_EQ(GdipDrawPath(g.G, pen, path), Gdiplus::Ok);
  EXPECT_EQ(GetRValue(d.Raw(20, 5)), 255);
  // Arcs and polygons draw too.
  ASSERT_EQ(GdipDrawArc(g.G, pen, 5, 5, 30, 30, 0, 90), Gdiplus::Ok);
  const GpPoint tri[3] = {{1, 38}, {10, 30}, {19, 38}};
  ASSERT_EQ(GdipFillPolygonI(g.G, blue, tri, 3, Gdiplus::FillModeAlternate), Gdiplus::Ok);
  ASSERT_EQ(GdipDrawPolygonI(g.G, pen, tri, 3), Gdiplus::Ok);
  ASSERT_EQ(GdipDrawLinesI(g.G, pen, tri, 3), Gdiplus::Ok);
  EXPECT_EQ(d.Raw(10, 36), RGB(0, 0, 255));
  GdipDeletePen(pen);
  GdipDeleteBrush(blue);
  GdipDeletePath(path);
}

TEST(GdiPlus, DrawingFollowsTheClipAndOriginOfTheDC) {
  TTestDib d(10, 10);
  IntersectClipRect(d.DC, 0, 0, 5, 10);
  SetViewportOrgEx(d.DC, 2, 0, nullptr);
  TGraphicsOn g(d.DC, Gdiplus::SmoothingModeNone);
  GpSolidFill* black = nullptr;
  GdipCreateSolidFill(0xFF000000u, &black);
  GdipFillRectangle(g.G, black, -0.5f, -0.5f, 10, 10);
  EXPECT_EQ(d.Raw(1, 5), kWhite) << "left of the origin";
  EXPECT_EQ(d.Raw(3, 5), 0u);
  EXPECT_EQ(d.Raw(6, 5), kWhite) << "clipped";
  GdipDeleteBrush(black);
}

TEST(GdiPlus, PaletteTargetsKeepTheirUntouchedPixels) {
  // An 8-bit grey DIB whose table holds white twice: untouched pixels keep their index.
  TTestDib d(8, 8, 8);
  RGBQUAD white{255, 255, 255, 0};
  SetDIBColorTable(d.DC, 10, 1, &white);
  std::memset(d.Bits, 10, static_cast<size_t>(d.Row) * d.H);
  TGraphicsOn g(d.DC);
  GpSolidFill* black = nullptr;
  GdipCreateSolidFill(0xFF000000u, &black);
  GdipFillRectangle(g.G, black, 3, 3, 2, 2);
  EXPECT_EQ(d.Bits[0], 10);
  EXPECT_EQ(d.Bits[(8 - 1 - 4) * d.Row + 4], 0) << "black";
  GdipDeleteBrush(black);
}

TEST(GdiPlus, InvalidArgumentsAreRefused) {
  GpGraphics* g = reinterpret_cast<GpGraphics*>(1);
  int notADC = 0;
  EXPECT_NE(GdipCreateFromHDC(reinterpret_cast<HDC>(&notADC), &g), Gdiplus::Ok);
  EXPECT_EQ(g, nullptr);
  GpPen* pen = nullptr;
  EXPECT_EQ(GdipCreatePen1(0, -1, Gdiplus::UnitPixel, &pen), Gdiplus::InvalidParameter);
  EXPECT_EQ(GdipDrawLine(nullptr, nullptr, 0, 0, 1, 1), Gdiplus::InvalidParameter);
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput in;
  EXPECT_EQ(GdiplusStartup(&token, &in, nullptr), Gdiplus::Ok);
  EXPECT_NE(token, 0u);
  in.GdiplusVersion = 2;
  EXPECT_EQ(GdiplusStartup(&token, &in, nullptr), Gdiplus::UnsupportedGdiplusVersion);
  GdiplusShutdown(token);
}

TEST(GdiPlus, LoadingCountsUsesAndTheSwitchMakesItFail) {
  const Integer base = GtGdiPlusLoadCount();
  GtGdiPlusLibrary* lib = GtLoadGdiPlus();
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(GtGdiPlusLoadCount(), base + 1);
  EXPECT_EQ(GtGdiPlusProc(lib, "GdipDrawLine"), reinterpret_cast<void*>(&GdipDrawLine));
  EXPECT_EQ(GtGdiPlusProc(lib, "GdipFillPath"), reinterpret_cast<void*>(&GdipFillPath));
  EXPECT_EQ(GtGdiPlusProc(lib, "GdipNoSuchEntry"), nullptr);
  // Every entry point the drawing wrappers resolve by name exists.
  for (const char* name :
       {"GdiplusStartup", "GdiplusShutdown", "GdipCreateFromHDC", "GdipDeleteGraphics", "GdipCreatePen1",
        "GdipDeletePen", "GdipDrawLine", "GdipSetSmoothingMode", "GdipSetPenWidth", "GdipSetPenColor",
        "GdipSetPenDashStyle", "GdipDeleteBrush", "GdipCreateSolidFill", "GdipFillRectangle", "GdipDrawRectangle",
        "GdipCreateHatchBrush", "GdipDrawEllipse", "GdipFillEllipse", "GdipDrawPolygonI", "GdipFillPolygonI",
        "GdipDrawLinesI", "GdipDrawArc", "GdipCreatePath", "GdipAddPathArc", "GdipDrawPath", "GdipFillPath",
        "GdipDeletePath", "GdipAddPathLine", "GdipSetPenLineJoin", "GdipSetPenDashArray", "GdipSetWorldTransform",
        "GdipGetWorldTransform", "GdipResetWorldTransform", "GdipCreateMatrix", "GdipCreateMatrix2",
        "GdipDeleteMatrix"})
    EXPECT_NE(GtGdiPlusProc(lib, name), nullptr) << name;
  GtFreeGdiPlus(lib);
  EXPECT_EQ(GtGdiPlusLoadCount(), base);
  GtSetGdiPlusLoadFails(true);
  EXPECT_EQ(GtLoadGdiPlus(), nullptr);
  EXPECT_EQ(GtGdiPlusLoadCount(), base);
  GtSetGdiPlusLoadFails(false);
  lib = GtLoadGdiPlus();
  EXPECT_NE(lib, nullptr);
  GtFreeGdiPlus(lib);
}

TEST(GdiPlus, WorldTransformMovesTheDrawing) {
  TTestDib d(10, 10);
  TGraphicsOn g(d.DC, Gdiplus::SmoothingModeNone);
  GpMatrix* m = nullptr;
  ASSERT_EQ(GdipCreateMatrix2(1, 0, 0, 1, 5, 0, &m), Gdiplus::Ok);
  GdipSetWorldTransform(g.G, m);
  GpSolidFill* black = nullptr;
  GdipCreateSolidFill(0xFF000000u, &black);
  GdipFillRectangle(g.G, black, -0.5f, -0.5f, 1, 1);
  EXPECT_EQ(d.Raw(5, 0), 0u);
  EXPECT_EQ(d.Raw(0, 0), kWhite);
  GpMatrix* back = nullptr;
  GdipCreateMatrix(&back);
  GdipGetWorldTransform(g.G, back);
  REAL e[6];
  GdipGetMatrixElements(back, e);
  EXPECT_EQ(e[4], 5);
  GdipResetWorldTransform(g.G);
  GdipFillRectangle(g.G, black, -0.5f, -0.5f, 1, 1);
  EXPECT_EQ(d.Raw(0, 0), 0u);
  GdipDeleteMatrix(m);
  GdipDeleteMatrix(back);
  GdipDeleteBrush(black);
}

}  // namespace

}  // namespace test_gdiplus_tests
