// Pixel rules of the GDI stand-in: exclusive right and bottom edges, lines
// without their end point, raster operations that undo themselves, polygon
// fill rules, hatches, clipping and the coordinate mapping.
#include <gtest/gtest.h>

#include "platform/graphics/gdi.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_gdi_drawing_tests {

namespace {

constexpr COLORREF kBlack = 0x000000, kWhite = 0xFFFFFF, kRed = 0x0000FF, kBlue = 0xFF0000;

TEST(GdiShapes, RectangleOutlineCoversLeftTopToRightBottomMinusOne) {
  TTestDib d(24, 24);
  TSelect pen(d.DC, CreatePen(PS_SOLID, 1, kBlack));
  TSelect brush(d.DC, CreateSolidBrush(kRed));
  Rectangle(d.DC, 10, 10, 20, 20);
  for (Integer y = 8; y < 22; ++y)
    for (Integer x = 8; x < 22; ++x) {
      const bool inBox = x >= 10 && x <= 19 && y >= 10 && y <= 19;
      const bool edge = inBox && (x == 10 || x == 19 || y == 10 || y == 19);
      const COLORREF want = edge ? kBlack : inBox ? kRed : kWhite;
      ASSERT_EQ(d.At(x, y), want) << x << "," << y;
    }
}

TEST(GdiShapes, HollowPenRectangleAndEllipseLoseTheirLastRowAndColumn) {
  // Without a pen the filled shape is one pixel smaller, as on Windows.
  TTestDib d(16, 16);
  SelectObject(d.DC, GetStockObject(NULL_PEN));
  TSelect brush(d.DC, CreateSolidBrush(kBlack));
  Rectangle(d.DC, 2, 2, 8, 8);
  EXPECT_EQ(d.At(2, 2), kBlack);
  EXPECT_EQ(d.At(6, 6), kBlack);
  EXPECT_EQ(d.At(7, 5), kWhite);
  EXPECT_EQ(d.At(5, 7), kWhite);
  d.Fill_(kWhite);
  Ellipse(d.DC, 0, 0, 16, 16);
  for (Integer i = 0; i < 16; ++i) {
    EXPECT_EQ(d.At(15, i), kWhite) << i;
    EXPECT_EQ(d.At(i, 15), kWhite) << i;
  }
  EXPECT_EQ(d.At(7, 7), kBlack);
}

TEST(GdiShapes, EllipseStaysInsideItsBoxAndTouchesEverySide) {
  TTestDib d(30, 30);
  TSelect pen(d.DC, CreatePen(PS_SOLID, 1, kBlack));
  SelectObject(d.DC, GetStockObject(NULL_BRUSH));
  Ellipse(d.DC, 5, 7, 25, 21);
  bool left = false, right = false, top = false, bottom = false;
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 30; ++x) {
      if (d.At(x, y) != kBlack) continue;
      ASSERT_TRUE(x >= 5 && x <= 24 && y >= 7 && y <= 20) << x << "," << y;
      left |= x == 5;
      right |= x == 24;
      top |= y == 7;
      bottom |= y == 20;
    }
  EXPECT_TRUE(left && right && top && bottom);
  EXPECT_EQ(d.At(15, 14), kWhite);  // hollow inside
}

TEST(GdiLines, LineToLeavesTheEndPixelAndMovesTheCurrentPosition) {
  struct Case {
    Integer x0, y0, x1, y1, pixels;
  };
  const Case cases[] = {{1, 1, 9, 1, 8}, {1, 1, 1, 9, 8}, {1, 1, 9, 9, 8}, {9, 9, 1, 1, 8}, {2, 3, 11, 6, 9}};
  for (const Case& c : cases) {
    TTestDib d(14, 14);
    TSelect pen(d.DC, CreatePen(PS_SOLID, 1, kBlack));
    MoveToEx(d.DC, c.x0, c.y0, nullptr);
    LineTo(d.DC, c.x1, c.y1);
    EXPECT_EQ(d.At(c.x0, c.y0), kBlack);
    EXPECT_EQ(d.At(c.x1, c.y1), kWhite) << "end pixel drawn";
    Integer n = 0;
    for (Integer y = 0; y < 14; ++y)
      for (Integer x = 0; x < 14; ++x) n += d.At(x, y) == kBlack;
    EXPECT_EQ(n, c.pixels);
    TPoint p;
    GetCurrentPositionEx(d.DC, &p);
    EXPECT_EQ(p, TPoint(c.x1, c.y1));
  }
}

TEST(GdiLines, DashedPenPaintsGapsInTheBackgroundColourUnlessTransparent) {
  TTestDib d(40, 3);
  TSelect pen(d.DC, CreatePen(PS_DASH, 1, kBlack));
  SetBkColor(d.DC, kRed);
  MoveToEx(d.DC, 0, 1, nullptr);
  LineTo(d.DC, 40, 1);
  // Dashes of 18 pixels, gaps of 6.
  EXPECT_EQ(d.Picture(kBlack, 0, 1, 40, 2), "##################......################\n");
  EXPECT_EQ(d.Picture(kRed, 0, 1, 40, 2), "..................######................\n");
  SetBkMode(d.DC, TRANSPARENT);
  d.Fill_(kWhite);
  MoveToEx(d.DC, 0, 1, nullptr);
  LineTo(d.DC, 40, 1);
  EXPECT_EQ(d.At(20, 1), kWhite);
}

TEST(GdiRop, NotPenTwiceRestoresEveryByte) {
  for (Integer bits : {1, 8, 24, 32}) {
    TTestDib d(40, 30, bits);
    d.Randomize(7);
    const auto before = d.Bytes();
    struct Pen {
      Integer style, width;
    };
    for (const Pen& p : {Pen{PS_SOLID, 1}, Pen{PS_DOT, 1}, Pen{PS_SOLID, 3}}) {
      TSelect pen(d.DC, CreatePen(p.style, p.width, kBlack));
      SelectObject(d.DC, GetStockObject(NULL_BRUSH));
      SetROP2(d.DC, R2_NOT);
      for (int pass = 0; pass < 2; ++pass) {
        MoveToEx(d.DC, 1, 2, nullptr);
        LineTo(d.DC, 37, 25);
        LineTo(d.DC, 5, 28);
        const TPoint poly[] = {{3, 3}, {30, 8}, {12, 20}, {35, 27}};
        Polyline(d.DC, poly, 4);
        Rectangle(d.DC, 4, 4, 33, 22);
        Ellipse(d.DC, 2, 6, 38, 29);
      }
      EXPECT_EQ(d.Bytes(), before) << "bits " << bits << " style " << p.style << " width " << p.width;
    }
  }
}

TEST(GdiRop, XorPenAndFocusRectTwiceRestore) {
  TTestDib d(20, 20);
  d.Randomize(3);
  const auto before = d.Bytes();
  TSelect pen(d.DC, CreatePen(PS_SOLID, 1, kRed));
  TSelect brush(d.DC, CreateSolidBrush(kBlue));
  SetROP2(d.DC, R2_XORPEN);
  const TRect r(2, 3, 17, 15);
  for (int i = 0; i < 2; ++i) {
    Rectangle(d.DC, 1, 1, 19, 19);
    DrawFocusRect(d.DC, &r);
  }
  EXPECT_EQ(d.Bytes(), before);
  DrawFocusRect(d.DC, &r);
  EXPECT_NE(d.Bytes(), before);
}

TEST(GdiRop, SrcInvertTwiceRestoresEveryByte) {
  for (Integer bits : {1, 8, 24, 32}) {
    TTestDib src(16, 12, bits), dst(16, 12, bits);
    src.Randomize(1);
    dst.Randomize(2);
    const auto before = dst.Bytes();
    BitBlt(dst.DC, 0, 0, 16, 12, src.DC, 0, 0, SRCINVERT);
    EXPECT_NE(dst.Bytes(), before);
    BitBlt(dst.DC, 0, 0, 16, 12, src.DC, 0, 0, SRCINVERT);
    EXPECT_EQ(dst.Bytes(), before) << bits;
  }
}

TEST(GdiRop, TernaryOperationsCombineSourcePatternAndDestination) {
  TTestDib src(1, 1, 24, RGB(0xF0, 0x0F, 0x33)), dst(1, 1, 24);
  TSelect brush(dst.DC, CreateSolidBrush(RGB(0x55, 0xAA, 0xFF)));
  struct Case {
    DWORD rop;
    COLORREF d, want;
  };
  const COLORREF s = RGB(0xF0, 0x0F, 0x33), p = RGB(0x55, 0xAA, 0xFF), d0 = RGB(0x12, 0x34, 0x56);
  const Case cases[] = {
      {SRCCOPY, d0, s},          {SRCAND, d0, s & d0},        {SRCPAINT, d0, s | d0},
      {SRCINVERT, d0, s ^ d0},   {NOTSRCCOPY, d0, ~s & 0xFFFFFF}, {DSTINVERT, d0, ~d0 & 0xFFFFFF},
      {PATCOPY, d0, p},          {PATINVERT, d0, p ^ d0},     {BLACKNESS, d0, 0},
      {WHITENESS, d0, 0xFFFFFF}, {0x00E20746, d0, (s & p) | (~s & d0 & 0xFFFFFF)},
  };
  for (const Case& c : cases) {
    SetPixel(dst.DC, 0, 0, c.d);
    BitBlt(dst.DC, 0, 0, 1, 1, src.DC, 0, 0, c.rop);
    EXPECT_EQ(dst.At(0, 0), c.want) << std::hex << c.rop;
  }
}

TEST(GdiBlit, NegativeExtentsMirror) {
  TTestDib src(4, 2), dst(6, 3);
  const COLORREF c[4] = {kRed, RGB(0, 255, 0), kBlue, kBlack};
  for (Integer x = 0; x < 4; ++x) SetPixel(src.DC, x, 0, c[x]);
  // Destination: the origin is the first pixel, the width runs leftwards.
  StretchBlt(dst.DC, 4, 0, -4, 1, src.DC, 0, 0, 4, 1, SRCCOPY);
  for (Integer x = 0; x < 4; ++x) EXPECT_EQ(dst.At(4 - x, 0), c[x]) << x;
  EXPECT_EQ(dst.At(0, 0), kWhite);
  EXPECT_EQ(dst.At(5, 0), kWhite);
  // Source extent negative: the same mirror.
  dst.Fill_(kWhite);
  StretchBlt(dst.DC, 0, 1, 4, 1, src.DC, 3, 0, -4, 1, SRCCOPY);
  for (Integer x = 0; x < 4; ++x) EXPECT_EQ(dst.At(x, 1), c[3 - x]) << x;
  // Both negative: no mirror at all.
  dst.Fill_(kWhite);
  StretchBlt(dst.DC, 3, 2, -4, 1, src.DC, 3, 0, -4, 1, SRCCOPY);
  for (Integer x = 0; x < 4; ++x) EXPECT_EQ(dst.At(x, 2), c[x]) << x;
  // Vertical mirror.
  TTestDib col(1, 3), out(1, 3);
  SetPixel(col.DC, 0, 0, kRed);
  SetPixel(col.DC, 0, 2, kBlue);
  StretchBlt(out.DC, 0, 2, 1, -3, col.DC, 0, 0, 1, 3, SRCCOPY);
  EXPECT_EQ(out.At(0, 0), kBlue);
  EXPECT_EQ(out.At(0, 2), kRed);
}

TEST(GdiBlit, StretchSamplesNearestPixels) {
  TTestDib src(2, 1), dst(6, 1);
  SetPixel(src.DC, 0, 0, kRed);
  SetPixel(src.DC, 1, 0, kBlue);
  StretchBlt(dst.DC, 0, 0, 6, 1, src.DC, 0, 0, 2, 1, SRCCOPY);
  EXPECT_EQ(dst.Picture(kRed), "###...\n");
  TTestDib wide(6, 1), small(2, 1);
  for (Integer x = 0; x < 6; ++x) SetPixel(wide.DC, x, 0, x < 3 ? kRed : kBlue);
  StretchBlt(small.DC, 0, 0, 2, 1, wide.DC, 0, 0, 6, 1, SRCCOPY);
  EXPECT_EQ(small.At(0, 0), kRed);
  EXPECT_EQ(small.At(1, 0), kBlue);
}

TEST(GdiBlit, MonochromeBitmapsUseTextAndBackgroundColours) {
  // 0 bits take the destination's text colour, 1 bits its background colour.
  const uint8_t bits[2] = {0xA0, 0x00};  // rows of 16 bits: 1 0 1 0 ...
  HBITMAP mono = CreateBitmap(4, 1, 1, 1, bits);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mdc, mono);
  TTestDib dst(4, 1);
  SetTextColor(dst.DC, kRed);
  SetBkColor(dst.DC, kBlue);
  BitBlt(dst.DC, 0, 0, 4, 1, mdc, 0, 0, SRCCOPY);
  EXPECT_EQ(dst.At(0, 0), kBlue);
  EXPECT_EQ(dst.At(1, 0), kRed);
  EXPECT_EQ(dst.At(2, 0), kBlue);
  // Colour to monochrome: the source's background colour becomes 1, the rest 0.
  TTestDib src(4, 1);
  SetPixel(src.DC, 1, 0, RGB(10, 20, 30));
  SetBkColor(src.DC, kWhite);
  BitBlt(mdc, 0, 0, 4, 1, src.DC, 0, 0, SRCCOPY);
  SetTextColor(dst.DC, kBlack);
  SetBkColor(dst.DC, kWhite);
  BitBlt(dst.DC, 0, 0, 4, 1, mdc, 0, 0, SRCCOPY);
  EXPECT_EQ(dst.Picture(kBlack), ".#..\n");
  SelectObject(mdc, old);
  DeleteDC(mdc);
  DeleteObject(mono);
}

TEST(GdiBlit, MaskBltKeepsTheDestinationWhereTheMaskIsSet) {
  TTestDib src(4, 1, 24, kRed), dst(4, 1, 24, kBlue);
  const uint8_t mbits[2] = {0x50, 0};  // 0 1 0 1
  HBITMAP mask = CreateBitmap(4, 1, 1, 1, mbits);
  MaskBlt(dst.DC, 0, 0, 4, 1, src.DC, 0, 0, mask, 0, 0, 0xCCAA0029);
  EXPECT_EQ(dst.Picture(kRed), "#.#.\n");
  DeleteObject(mask);
}

TEST(GdiBlit, StretchDIBitsCountsSourceRowsFromTheBottomOfABottomUpDib) {
  // A 1 x 4 bottom-up 8-bit DIB whose rows from the top hold 10, 20, 30, 40.
  std::vector<uint8_t> buf(sizeof(BITMAPINFOHEADER) + 256 * 4);
  auto* bi = reinterpret_cast<BITMAPINFO*>(buf.data());
  bi->bmiHeader = BITMAPINFOHEADER();
  bi->bmiHeader.biWidth = 1;
  bi->bmiHeader.biHeight = 4;
  bi->bmiHeader.biBitCount = 8;
  auto* t = reinterpret_cast<RGBQUAD*>(buf.data() + 40);
  for (int i = 0; i < 256; ++i) t[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  const uint8_t rows[16] = {40, 0, 0, 0, 30, 0, 0, 0, 20, 0, 0, 0, 10, 0, 0, 0};  // memory: bottom row first
  TTestDib dst(1, 2);
  // The top two rows start 2 rows above the bottom: ySrc = Height - rows - top = 2.
  StretchDIBits(dst.DC, 0, 0, 1, 2, 0, 2, 1, 2, rows, bi, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(dst.At(0, 0), RGB(10, 10, 10));
  EXPECT_EQ(dst.At(0, 1), RGB(20, 20, 20));
}

TEST(GdiFill, BowTieAndStarFillByTheAlternateRule) {
  TTestDib d(12, 12);
  SelectObject(d.DC, GetStockObject(NULL_PEN));
  TSelect brush(d.DC, CreateSolidBrush(kBlack));
  const TPoint bow[] = {{0, 0}, {10, 10}, {10, 0}, {0, 10}};
  Polygon(d.DC, bow, 4);
  // Pixel centres decide; a centre on an edge belongs to the span on its right.
  EXPECT_EQ(d.Picture(kBlack, 0, 0, 11, 11), Lines({
                                                  ".........#.",
                                                  "#.......##.",
                                                  "##.....###.",
                                                  "###...####.",
                                                  "####.#####.",
                                                  "####.#####.",
                                                  "###...####.",
                                                  "##.....###.",
                                                  "#.......##.",
                                                  ".........#.",
                                                  "...........",
                                              }));
  // A five-pointed star: its centre is covered twice, so the alternate rule
  // leaves it empty and the winding rule fills it.
  const TPoint star[] = {{50, 0}, {79, 90}, {2, 35}, {97, 35}, {20, 90}};
  TTestDib s(100, 100);
  SelectObject(s.DC, GetStockObject(NULL_PEN));
  TSelect sb(s.DC, CreateSolidBrush(kBlack));
  Polygon(s.DC, star, 5);
  EXPECT_EQ(s.At(50, 50), kWhite);
  EXPECT_EQ(s.At(50, 10), kBlack);
  SetPolyFillMode(s.DC, WINDING);
  Polygon(s.DC, star, 5);
  EXPECT_EQ(s.At(50, 50), kBlack);
}

TEST(GdiFill, PolygonWithPenIncludesItsRightAndBottomEdge) {
  TTestDib d(14, 14);
  TSelect pen(d.DC, CreatePen(PS_SOLID, 1, kBlack));
  TSelect brush(d.DC, CreateSolidBrush(kRed));
  const TPoint sq[] = {{2, 2}, {10, 2}, {10, 10}, {2, 10}};
  Polygon(d.DC, sq, 4);
  EXPECT_EQ(d.At(10, 10), kBlack);
  EXPECT_EQ(d.At(10, 5), kBlack);
  EXPECT_EQ(d.At(6, 6), kRed);
  EXPECT_EQ(d.At(11, 6), kWhite);
}

TEST(GdiFill, HatchBrushesMatchTheirGoldenPictures) {
  struct Case {
    Integer hatch;
    const char* rows[8];
  };
  const Case cases[] = {
      {HS_HORIZONTAL, {"........", "........", "........", "########", "........", "........", "........", "........"}},
      {HS_VERTICAL, {"....#...", "....#...", "....#...", "....#...", "....#...", "....#...", "....#...", "....#..."}},
      {HS_FDIAGONAL, {"#.......", ".#......", "..#.....", "...#....", "....#...", ".....#..", "......#.", ".......#"}},
      {HS_BDIAGONAL, {".......#", "......#.", ".....#..", "....#...", "...#....", "..#.....", ".#......", "#......."}},
      {HS_CROSS, {"....#...", "....#...", "....#...", "########", "....#...", "....#...", "....#...", "....#..."}},
      {HS_DIAGCROSS, {"#......#", ".#....#.", "..#..#..", "...##...", "...##...", "..#..#..", ".#....#.", "#......#"}},
  };
  for (const Case& c : cases) {
    TTestDib d(8, 8);
    HBRUSH b = CreateHatchBrush(c.hatch, kBlack);
    const TRect r(0, 0, 8, 8);
    FillRect(d.DC, &r, b);
    DeleteObject(b);
    std::string want;
    for (const char* row : c.rows) want += std::string(row) + "\n";
    EXPECT_EQ(d.Picture(kBlack), want) << "hatch " << c.hatch;
  }
}

TEST(GdiFill, HatchBackgroundFollowsTheBackgroundModeAndBrushOrigin) {
  TTestDib d(8, 8, 24, kRed);
  TSelect brush(d.DC, CreateHatchBrush(HS_VERTICAL, kBlack));
  SelectObject(d.DC, GetStockObject(NULL_PEN));
  SetBkMode(d.DC, TRANSPARENT);
  Rectangle(d.DC, 0, 0, 9, 9);
  EXPECT_EQ(d.At(4, 0), kBlack);
  EXPECT_EQ(d.At(3, 0), kRed) << "a transparent hatch keeps the background";
  SetBkMode(d.DC, OPAQUE);
  SetBkColor(d.DC, kBlue);
  SetBrushOrgEx(d.DC, 2, 0, nullptr);
  Rectangle(d.DC, 0, 0, 9, 9);
  EXPECT_EQ(d.At(6, 3), kBlack);
  EXPECT_EQ(d.At(4, 3), kBlue);
}

TEST(GdiFill, GradientRectangleRunsFromFirstColourToOneStepShortOfTheSecond) {
  TTestDib d(4, 2);
  TRIVERTEX v[2];
  v[0].x = 0;
  v[0].y = 0;
  v[1].x = 4;
  v[1].y = 2;
  v[1].Red = 0xFF00;  // black -> red over 4 pixels
  GRADIENT_RECT gr{0, 1};
  ASSERT_TRUE(GradientFill(d.DC, v, 2, &gr, 1, GRADIENT_FILL_RECT_H));
  const Byte want[4] = {0, 63, 127, 191};
  for (Integer x = 0; x < 4; ++x) EXPECT_EQ(d.At(x, 1), RGB(want[x], 0, 0)) << x;
  ASSERT_TRUE(GradientFill(d.DC, v, 2, &gr, 1, GRADIENT_FILL_RECT_V));
  EXPECT_EQ(d.At(3, 0), RGB(0, 0, 0));
  EXPECT_EQ(d.At(3, 1), RGB(127, 0, 0));
  EXPECT_FALSE(GradientFill(d.DC, v, 2, &gr, 1, GRADIENT_FILL_TRIANGLE));
}

TEST(GdiClip, RegionsCombineAndLimitDrawing) {
  HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), r = CreateRectRgn(0, 0, 0, 0);
  struct Case {
    Integer mode, kind;
    TPoint in, out;
  };
  const Case cases[] = {
      {RGN_AND, SIMPLEREGION, {6, 6}, {2, 2}},
      {RGN_OR, COMPLEXREGION, {12, 12}, {12, 2}},
      {RGN_XOR, COMPLEXREGION, {2, 2}, {6, 6}},
      {RGN_DIFF, COMPLEXREGION, {2, 8}, {6, 6}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CombineRgn(r, a, b, c.mode), c.kind) << c.mode;
    EXPECT_TRUE(PtInRegion(r, c.in.X, c.in.Y)) << c.mode;
    EXPECT_FALSE(PtInRegion(r, c.out.X, c.out.Y)) << c.mode;
  }
  TRect box;
  CombineRgn(r, a, b, RGN_OR);
  EXPECT_EQ(GetRgnBox(r, &box), COMPLEXREGION);
  EXPECT_EQ(box, TRect(0, 0, 15, 15));
  EXPECT_FALSE(PtInRegion(r, 15, 15)) << "right and bottom are outside";

  // Drawing is clipped to the selected region; ExcludeClipRect cuts a hole.
  TTestDib d(16, 16);
  SelectClipRgn(d.DC, r);
  ExcludeClipRect(d.DC, 1, 1, 3, 3);
  EXPECT_EQ(GetClipBox(d.DC, &box), COMPLEXREGION);
  EXPECT_EQ(box, TRect(0, 0, 15, 15));
  HBRUSH black = CreateSolidBrush(kBlack);
  const TRect all(0, 0, 16, 16);
  FillRect(d.DC, &all, black);
  EXPECT_EQ(d.At(0, 0), kBlack);
  EXPECT_EQ(d.At(1, 1), kWhite);
  EXPECT_EQ(d.At(14, 14), kBlack);
  EXPECT_EQ(d.At(12, 2), kWhite);
  // The clip box of logical coordinates follows the window origin.
  SetWindowOrgEx(d.DC, 5, 5, nullptr);
  GetClipBox(d.DC, &box);
  EXPECT_EQ(box, TRect(5, 5, 20, 20));
  SelectClipRgn(d.DC, nullptr);
  EXPECT_EQ(GetClipBox(d.DC, &box), SIMPLEREGION);
  EXPECT_EQ(box, TRect(5, 5, 21, 21));
  DeleteObject(black);
  for (HRGN h : {a, b, r}) DeleteObject(h);
}

TEST(GdiClip, PolygonRegionUsesTheFillRule) {
  const TPoint tri[] = {{0, 0}, {8, 0}, {0, 8}};
  HRGN r = CreatePolygonRgn(tri, 3, ALTERNATE);
  EXPECT_TRUE(PtInRegion(r, 0, 0));
  EXPECT_TRUE(PtInRegion(r, 6, 0));
  EXPECT_FALSE(PtInRegion(r, 7, 7));
  EXPECT_FALSE(PtInRegion(r, 8, 0));
  DeleteObject(r);
}

TEST(GdiCoordinates, OriginsAndAFlippingWorldTransformMapWholePixels) {
  TTestDib d(10, 10);
  HBRUSH black = CreateSolidBrush(kBlack);
  SetViewportOrgEx(d.DC, 3, 2, nullptr);
  const TRect r(0, 0, 2, 1);
  FillRect(d.DC, &r, black);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 6; ++x) EXPECT_EQ(d.Raw(x, y), (y == 2 && (x == 3 || x == 4)) ? kBlack : kWhite);
  // The top-down transform of a picture container: row y goes to Height - 1 - y.
  d.Fill_(kWhite);
  SetViewportOrgEx(d.DC, 0, 0, nullptr);
  ASSERT_EQ(SetGraphicsMode(d.DC, GM_ADVANCED), GM_COMPATIBLE);
  XFORM x;
  x.eM22 = -1;
  x.eDy = 9;
  ASSERT_TRUE(SetWorldTransform(d.DC, &x));
  const TRect top(1, 0, 3, 2);
  FillRect(d.DC, &top, black);
  // Logical rows 0 and 1 are device rows 9 and 8: the first two rows in the
  // memory of this bottom-up DIB.
  for (Integer row = 0; row < 3; ++row)
    for (Integer x = 0; x < 4; ++x) {
      const bool want = row < 2 && (x == 1 || x == 2);
      EXPECT_EQ(d.Bits[row * d.Row + 3 * x], want ? 0 : 255) << row << "," << x;
    }
  EXPECT_EQ(GetPixel(d.DC, 1, 0) & 0xFFFFFF, kBlack);
  EXPECT_EQ(GetPixel(d.DC, 2, 1) & 0xFFFFFF, kBlack);
  EXPECT_EQ(GetPixel(d.DC, 1, 2) & 0xFFFFFF, kWhite);
  // Leaving advanced mode needs the identity transform.
  EXPECT_EQ(SetGraphicsMode(d.DC, GM_COMPATIBLE), 0);
  ModifyWorldTransform(d.DC, nullptr, MWT_IDENTITY);
  EXPECT_EQ(SetGraphicsMode(d.DC, GM_COMPATIBLE), GM_ADVANCED);
  DeleteObject(black);
}

TEST(GdiState, SaveAndRestoreBringBackObjectsColoursAndClip) {
  TTestDib d(8, 8);
  HPEN red = CreatePen(PS_SOLID, 1, kRed);
  const Integer level = SaveDC(d.DC);
  ASSERT_EQ(level, 1);
  HGDIOBJ oldPen = SelectObject(d.DC, red);
  SetTextColor(d.DC, kBlue);
  IntersectClipRect(d.DC, 0, 0, 2, 2);
  SaveDC(d.DC);
  SetTextColor(d.DC, kRed);
  ASSERT_TRUE(RestoreDC(d.DC, -1));
  EXPECT_EQ(GetTextColor(d.DC), kBlue);
  ASSERT_TRUE(RestoreDC(d.DC, 1));
  EXPECT_EQ(GetTextColor(d.DC), 0u);
  EXPECT_EQ(GetCurrentObject(d.DC, OBJ_PEN), oldPen);
  TRect box;
  EXPECT_EQ(GetClipBox(d.DC, &box), SIMPLEREGION);
  EXPECT_EQ(box, TRect(0, 0, 8, 8));
  EXPECT_FALSE(RestoreDC(d.DC, 1)) << "that level is gone";
  EXPECT_TRUE(DeleteObject(red));
}

TEST(GdiObjects, StaleAndForeignHandlesFailWithoutHarm) {
  const Integer before = GtGdiObjectCount();
  HPEN p = CreatePen(PS_SOLID, 1, 0);
  EXPECT_TRUE(DeleteObject(p));
  EXPECT_FALSE(DeleteObject(p));
  int local = 0;
  EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(&local), GetStockObject(BLACK_PEN)), nullptr);
  EXPECT_FALSE(LineTo(nullptr, 1, 1));
  EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH))) << "stock objects stay";
  EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
  // A bitmap selected into a DC cannot be deleted; it can after deselection.
  {
    TTestDib d(2, 2);
    EXPECT_FALSE(DeleteObject(d.Bmp));
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, d.Bmp), nullptr) << "one DC at a time";
    DeleteDC(other);
  }
  EXPECT_EQ(GtGdiObjectCount(), before);
}

TEST(GdiObjects, PixelsOnPaletteTargetsTakeTheNearestEntry) {
  TTestDib d(4, 1, 8);  // grey ramp
  EXPECT_EQ(SetPixel(d.DC, 0, 0, RGB(100, 102, 104)), RGB(102, 102, 102));
  EXPECT_EQ(d.Bits[0], 102);
  // PALETTEINDEX addresses the table directly on an 8-bit DIB.
  SetPixel(d.DC, 1, 0, PALETTEINDEX(7));
  EXPECT_EQ(d.Bits[1], 7);
  // A palette-relative colour behaves as its RGB value.
  SetPixel(d.DC, 2, 0, PALETTERGB(9, 9, 9));
  EXPECT_EQ(d.Bits[2], 9);
  RGBQUAD q[2];
  EXPECT_EQ(GetDIBColorTable(d.DC, 254, 5, q), 2u);
  EXPECT_EQ(q[1].rgbRed, 255);
  const RGBQUAD red{0, 0, 255, 0};
  EXPECT_EQ(SetDIBColorTable(d.DC, 3, 1, &red), 1u);
  d.Bits[3] = 3;
  EXPECT_EQ(GetPixel(d.DC, 3, 0) & 0xFFFFFF, kRed);
}

TEST(GdiUser, DrawEdgeUsesTheClassicColoursAndAdjusts) {
  TTestDib d(6, 6);
  TRect r(0, 0, 6, 6);
  ASSERT_TRUE(DrawEdge(d.DC, &r, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST));
  EXPECT_EQ(r, TRect(2, 2, 4, 4));
  EXPECT_EQ(d.At(0, 0), GetSysColor(COLOR_3DLIGHT));
  EXPECT_EQ(d.At(5, 5), GetSysColor(COLOR_3DDKSHADOW));
  EXPECT_EQ(d.At(5, 0), GetSysColor(COLOR_3DDKSHADOW)) << "lower-right owns the shared corner";
  EXPECT_EQ(d.At(1, 1), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(d.At(4, 4), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(d.At(2, 2), GetSysColor(COLOR_BTNFACE));
}

TEST(GdiUser, FrameControlsDrawBlackGlyphsOnWhite) {
  TTestDib d(16, 16, 24, kRed);
  TRect r(0, 0, 16, 16);
  ASSERT_TRUE(DrawFrameControl(d.DC, &r, DFC_MENU, DFCS_MENUARROW));
  Integer black = 0, other = 0, leftHalf = 0;
  for (Integer y = 0; y < 16; ++y)
    for (Integer x = 0; x < 16; ++x) {
      const COLORREF c = d.At(x, y);
      if (c == kBlack) {
        ++black;
        leftHalf += x < 8;
      } else if (c != kWhite) {
        ++other;
      }
    }
  EXPECT_GT(black, 4);
  EXPECT_EQ(other, 0);
  EXPECT_GT(leftHalf, black - leftHalf) << "a right-pointing arrow is broad on the left";
  TTestDib c(18, 18);
  TRect cr(0, 0, 18, 18);
  ASSERT_TRUE(DrawFrameControl(c.DC, &cr, DFC_CAPTION, DFCS_CAPTIONCLOSE));
  EXPECT_EQ(c.At(0, 0), GetSysColor(COLOR_3DLIGHT));
  EXPECT_EQ(c.At(9, 9), GetSysColor(COLOR_BTNTEXT)) << "the cross meets in the middle";
}

TEST(GdiUser, SystemColourBrushesAndFrameRect) {
  TTestDib d(5, 5);
  const TRect r(0, 0, 5, 5);
  FillRect(d.DC, &r, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_BTNFACE + 1)));
  EXPECT_EQ(d.At(2, 2), GetSysColor(COLOR_BTNFACE));
  HBRUSH b = CreateSolidBrush(kBlack);
  FrameRect(d.DC, &r, b);
  EXPECT_EQ(d.Picture(kBlack), Lines({"#####", "#...#", "#...#", "#...#", "#####"}));
  DeleteObject(b);
}

TEST(GdiLines, LineDdaVisitsTheLinePixelsWithoutTheEnd) {
  std::vector<TPoint> pts;
  LineDDA(0, 0, 4, 2, [](Integer x, Integer y, LPARAM p) { reinterpret_cast<std::vector<TPoint>*>(p)->push_back({x, y}); },
          reinterpret_cast<LPARAM>(&pts));
  ASSERT_EQ(pts.size(), 4u);
  EXPECT_EQ(pts.front(), TPoint(0, 0));
  EXPECT_EQ(pts.back().X, 3);
}

TEST(GdiLines, HugeCoordinatesAreClippedQuickly) {
  TTestDib d(10, 10);
  TSelect pen(d.DC, CreatePen(PS_SOLID, 1, kBlack));
  TSelect brush(d.DC, CreateSolidBrush(kRed));
  MoveToEx(d.DC, -200000000, 5, nullptr);
  LineTo(d.DC, 200000000, 5);
  EXPECT_EQ(d.Picture(kBlack, 0, 5, 10, 6), "##########\n");
  Rectangle(d.DC, -100000000, -100000000, 100000000, 100000000);
  std::string allRed;
  for (int i = 0; i < 10; ++i) allRed += "##########\n";
  EXPECT_EQ(d.Picture(kRed), allRed) << "the interior of a huge rectangle covers the bitmap";
}

TEST(GdiShapes, PieChordAndArcFollowTheArcDirection) {
  struct Case {
    Integer dir;
    bool chord;
    TPoint filled, empty;
  };
  // From the east point to the north point: the upper-right quarter counter-
  // clockwise, the other three quarters clockwise.
  const Case cases[] = {
      {AD_COUNTERCLOCKWISE, false, {14, 5}, {5, 14}},
      {AD_CLOCKWISE, false, {5, 14}, {14, 5}},
      {AD_COUNTERCLOCKWISE, true, {17, 4}, {12, 8}},
  };
  for (const Case& c : cases) {
    TTestDib d(22, 22);
    SelectObject(d.DC, GetStockObject(NULL_PEN));
    TSelect brush(d.DC, CreateSolidBrush(kBlack));
    SetArcDirection(d.DC, c.dir);
    if (c.chord) Chord(d.DC, 0, 0, 21, 21, 21, 10, 10, 0);
    else Pie(d.DC, 0, 0, 21, 21, 21, 10, 10, 0);
    EXPECT_EQ(d.At(c.filled.X, c.filled.Y), kBlack) << c.dir << c.chord;
    EXPECT_EQ(d.At(c.empty.X, c.empty.Y), kWhite) << c.dir << c.chord;
  }
  TTestDib a(22, 22);
  TSelect pen(a.DC, CreatePen(PS_SOLID, 1, kBlack));
  Arc(a.DC, 0, 0, 21, 21, 21, 10, 10, 0);
  EXPECT_EQ(a.At(10, 10), kWhite);
  EXPECT_EQ(a.Picture(kBlack, 0, 0, 9, 22).find('#'), std::string::npos) << "nothing on the left half";
  EXPECT_EQ(a.At(20, 10), kBlack);
  EXPECT_EQ(a.At(10, 0), kBlack);
}

TEST(GdiShapes, WidePensAndInsideFrame) {
  TTestDib d(20, 20);
  TSelect pen(d.DC, CreatePen(PS_INSIDEFRAME, 3, kBlack));
  TSelect brush(d.DC, CreateSolidBrush(kRed));
  Rectangle(d.DC, 2, 2, 14, 14);
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 20; ++x) {
      const bool inside = x >= 2 && x < 14 && y >= 2 && y < 14;
      if (!inside) {
        ASSERT_EQ(d.At(x, y), kWhite) << x << "," << y;
      }
    }
  for (Integer i = 2; i < 5; ++i) EXPECT_EQ(d.At(i, 8), kBlack) << i;
  for (Integer i = 11; i < 14; ++i) EXPECT_EQ(d.At(i, 8), kBlack) << i;
  EXPECT_EQ(d.At(8, 8), kRed);
  // A wide line is as wide as its pen, with round ends.
  TTestDib l(20, 12);
  TSelect wide(l.DC, CreatePen(PS_SOLID, 5, kBlack));
  MoveToEx(l.DC, 4, 6, nullptr);
  LineTo(l.DC, 15, 6);
  EXPECT_EQ(l.Picture(kBlack, 10, 0, 11, 12), Lines({".", ".", ".", ".", "#", "#", "#", "#", "#", ".", ".", "."}));
  EXPECT_EQ(l.At(16, 6), kBlack) << "round cap past the end point";
  EXPECT_EQ(l.At(18, 6), kWhite);
}

TEST(GdiFill, PatternBrushesTileFromTheBrushOrigin) {
  // A colour pattern repeats as it is; a monochrome one takes the text and
  // background colours.
  TTestDib pat(2, 2);
  SetPixel(pat.DC, 0, 0, kRed);
  SetPixel(pat.DC, 1, 1, kBlue);
  SelectObject(pat.DC, pat.Old);  // a pattern bitmap need not be selected
  HBRUSH b = CreatePatternBrush(pat.Bmp);
  SelectObject(pat.DC, pat.Bmp);
  TTestDib d(4, 4);
  const TRect all(0, 0, 4, 4);
  FillRect(d.DC, &all, b);
  EXPECT_EQ(d.Picture(kRed), Lines({"#.#.", "....", "#.#.", "...."}));
  EXPECT_EQ(d.At(3, 3), kBlue);
  DeleteObject(b);
  const uint8_t bits[] = {0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0};
  HBITMAP mono = CreateBitmap(8, 8, 1, 1, bits);
  HBRUSH checker = CreatePatternBrush(mono);
  DeleteObject(mono);  // the brush keeps its own copy
  SetTextColor(d.DC, kRed);
  SetBkColor(d.DC, kBlue);
  FillRect(d.DC, &all, checker);
  EXPECT_EQ(d.Picture(kRed), Lines({"#.#.", ".#.#", "#.#.", ".#.#"}));
  EXPECT_EQ(d.At(1, 0), kBlue);
  DeleteObject(checker);
}

TEST(GdiClip, OffsetClipRegionAndPtVisible) {
  TTestDib d(8, 8);
  HRGN r = CreateRectRgn(0, 0, 2, 2);
  SelectClipRgn(d.DC, r);
  DeleteObject(r);  // the DC keeps a copy
  OffsetClipRgn(d.DC, 3, 3);
  EXPECT_TRUE(PtVisible(d.DC, 4, 4));
  EXPECT_FALSE(PtVisible(d.DC, 1, 1));
  HBRUSH b = CreateSolidBrush(kBlack);
  const TRect all(0, 0, 8, 8);
  FillRect(d.DC, &all, b);
  EXPECT_EQ(d.Picture(kBlack, 2, 2, 6, 6), Lines({"....", ".##.", ".##.", "...."}));
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(d.DC, got), 1);
  TRect box;
  GetRgnBox(got, &box);
  EXPECT_EQ(box, TRect(3, 3, 5, 5));
  DeleteObject(got);
  DeleteObject(b);
}

TEST(GdiDib, GetAndSetDIBitsConvertBetweenLayouts) {
  TTestDib d(3, 2);
  SetPixel(d.DC, 0, 0, RGB(1, 2, 3));
  SetPixel(d.DC, 2, 1, RGB(200, 100, 50));
  BITMAPINFO bi;
  bi.bmiHeader = BITMAPINFOHEADER();
  bi.bmiHeader.biWidth = 3;
  bi.bmiHeader.biHeight = -2;  // top-down
  bi.bmiHeader.biBitCount = 32;
  uint32_t px[6] = {};
  SelectObject(d.DC, d.Old);
  HDC screen = GtCreateScreenDC();
  ASSERT_EQ(GetDIBits(screen, d.Bmp, 0, 2, px, &bi, DIB_RGB_COLORS), 2);
  EXPECT_EQ(px[0], 0x010203u);
  EXPECT_EQ(px[5], 0xC86432u);
  // Back from an 8-bit grey DIB of one bottom-up row at scan line 0 (the bottom).
  std::vector<uint8_t> buf(sizeof(BITMAPINFOHEADER) + 256 * 4);
  auto* g = reinterpret_cast<BITMAPINFO*>(buf.data());
  g->bmiHeader = BITMAPINFOHEADER();
  g->bmiHeader.biWidth = 3;
  g->bmiHeader.biHeight = 2;
  g->bmiHeader.biBitCount = 8;
  auto* t = reinterpret_cast<RGBQUAD*>(buf.data() + 40);
  for (int i = 0; i < 256; ++i) t[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  const uint8_t rows[8] = {10, 20, 30, 0, 40, 50, 60, 0};
  EXPECT_EQ(SetDIBits(screen, d.Bmp, 0, 1, rows, g, DIB_RGB_COLORS), 1);
  SelectObject(d.DC, d.Bmp);
  EXPECT_EQ(d.At(1, 1), RGB(20, 20, 20));
  EXPECT_EQ(d.At(0, 0), RGB(1, 2, 3)) << "only the bottom scan line was set";
  // SetDIBitsToDevice draws the same rows 1:1 at a position.
  TTestDib e(4, 3);
  EXPECT_EQ(SetDIBitsToDevice(e.DC, 1, 1, 3, 2, 0, 0, 0, 2, rows, g, DIB_RGB_COLORS), 2);
  EXPECT_EQ(e.At(1, 1), RGB(40, 40, 40));
  EXPECT_EQ(e.At(3, 2), RGB(30, 30, 30));
  EXPECT_EQ(e.At(0, 0), kWhite);
  DeleteDC(screen);
}

TEST(GdiShapes, RoundRectAndBezier) {
  TTestDib d(20, 20);
  SelectObject(d.DC, GetStockObject(NULL_PEN));
  TSelect brush(d.DC, CreateSolidBrush(kBlack));
  RoundRect(d.DC, 0, 0, 20, 20, 10, 10);
  EXPECT_EQ(d.At(0, 0), kWhite) << "rounded corner";
  EXPECT_EQ(d.At(0, 10), kBlack);
  EXPECT_EQ(d.At(10, 10), kBlack);
  TTestDib b(20, 20);
  TSelect pen(b.DC, CreatePen(PS_SOLID, 1, kBlack));
  const TPoint pts[4] = {{0, 10}, {6, 0}, {13, 19}, {19, 10}};
  ASSERT_TRUE(PolyBezier(b.DC, pts, 4));
  EXPECT_EQ(b.At(0, 10), kBlack);
  EXPECT_EQ(b.At(19, 10), kBlack) << "a Bezier ends on its last point";
  EXPECT_FALSE(PolyBezier(b.DC, pts, 3));
}

TEST(GdiBlit, OverlappingCopiesWithinOneBitmapScroll) {
  for (Integer bits : {8, 24}) {
    TTestDib d(4, 6, bits);
    auto grey = [](Integer i) { return RGB(static_cast<Byte>(i * 20), static_cast<Byte>(i * 20), static_cast<Byte>(i * 20)); };
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 4; ++x) SetPixel(d.DC, x, y, grey(y + x));
    BitBlt(d.DC, 0, 1, 4, 5, d.DC, 0, 0, SRCCOPY);  // down by one row
    for (Integer y = 1; y < 6; ++y) EXPECT_EQ(d.At(2, y), grey(y - 1 + 2)) << bits << " row " << y;
    BitBlt(d.DC, 0, 0, 4, 5, d.DC, 0, 1, SRCCOPY);  // and back up
    for (Integer y = 0; y < 5; ++y) EXPECT_EQ(d.At(2, y), grey(y + 2)) << bits << " row " << y;
    BitBlt(d.DC, 1, 0, 3, 6, d.DC, 0, 0, SRCCOPY);  // right by one column
    for (Integer x = 1; x < 4; ++x) EXPECT_EQ(d.At(x, 0), grey(x - 1)) << bits << " column " << x;
  }
}

TEST(GdiBlit, TrueColourCopiesBetweenDepthsKeepColours) {
  TTestDib a(2, 2, 24), b(4, 4, 32), c(4, 4, 24);
  SetPixel(a.DC, 0, 0, RGB(1, 2, 3));
  SetPixel(a.DC, 1, 1, RGB(250, 251, 252));
  StretchBlt(b.DC, 0, 0, 4, 4, a.DC, 0, 0, 2, 2, SRCCOPY);
  EXPECT_EQ(b.At(1, 1), RGB(1, 2, 3));
  EXPECT_EQ(b.At(3, 2), RGB(250, 251, 252));
  BitBlt(c.DC, 0, 0, 4, 4, b.DC, 0, 0, SRCCOPY);
  EXPECT_EQ(c.At(0, 1), RGB(1, 2, 3));
  EXPECT_EQ(c.At(2, 3), RGB(250, 251, 252));
  // The fourth byte of a 32-bit pixel travels with 32-bit copies only.
  b.Bits[3] = 0x7F;
  TTestDib e(4, 4, 32);
  BitBlt(e.DC, 0, 0, 4, 4, b.DC, 0, 0, SRCCOPY);
  EXPECT_EQ(e.Bits[3], 0x7F);
  BitBlt(e.DC, 0, 0, 4, 4, c.DC, 0, 0, SRCCOPY);
  EXPECT_EQ(e.Bits[3], 0);
}

}  // namespace

}  // namespace test_gdi_drawing_tests
