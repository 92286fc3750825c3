// The background painter's pinned pixels and guarded inputs, the soft
// shadow, the version text and the selection grid.
#include <gtest/gtest.h>

#include <set>

#include "tests/imaging/viewbg/viewbg_support.h"

namespace test_background_rules_tests {

using namespace viewbg_test;

namespace {

constexpr TGeometry kWhole{0, 0, 64, 48, 0, 0, 0, 0};

TEST(Chessboard, SolidOnA24BitTargetHasAFirstSquareOneWider) {
  auto b = JunkTarget(64, 48);
  Paint(*b, iebsChessboard, clWhite, kWhole, 16);
  const COLORREF a = 0xFFFFFF, c = 0x000000;
  struct {
    Integer X, Y;
    COLORREF Want;
  } pins[] = {{0, 0, a}, {16, 0, a}, {17, 0, c}, {32, 0, c}, {33, 0, a}, {0, 16, a},
              {0, 17, c}, {17, 17, a}, {16, 16, a}, {32, 32, a}, {33, 32, c}};
  for (const auto& p : pins) EXPECT_EQ(At(*b, p.X, p.Y), p.Want) << "(" << p.X << ", " << p.Y << ")";
}

TEST(Chessboard, HatchedBrushTilesStartWithTheComplementAndAreSWide) {
  auto b = JunkTarget(64, 48);
  Paint(*b, iebsChessboard, clWhite, kWhole, 16, bsDiagCross);
  // The first tile is wholly the complement; the second (x 16..31) carries
  // white hatch lines; the first pixel of each differs from the s + 1 rule.
  int whiteInFirst = 0, whiteInSecond = 0;
  for (Integer y = 0; y < 16; ++y)
    for (Integer x = 0; x < 32; ++x)
      if (At(*b, x, y) == 0xFFFFFF) ++(x < 16 ? whiteInFirst : whiteInSecond);
  EXPECT_EQ(whiteInFirst, 0);
  EXPECT_GT(whiteInSecond, 16);
}

// The second colour is the complement taken as a plain colour; the raw
// complement of a plain colour would name a system colour (black gave
// black, hiding the board).
TEST(Chessboard, SecondColourIsThePlainComplement) {
  struct {
    TColor Background;
    COLORREF First, Second;
  } rows[] = {
      {clBtnFace, static_cast<COLORREF>(ColorToRGB(clBtnFace)), 0xFFFFF0},
      {clBlack, 0x000000, 0xFFFFFF},
      {clWhite, 0xFFFFFF, 0x000000},
      {0x123456, 0x123456, 0xEDCBA9},
  };
  for (const auto& r : rows) {
    auto b = JunkTarget(40, 8);
    Paint(*b, iebsChessboard, r.Background, {0, 0, 40, 8, 0, 0, 0, 0}, 16);
    EXPECT_EQ(At(*b, 16, 0), r.First) << std::hex << r.Background;
    EXPECT_EQ(At(*b, 17, 0), r.Second) << std::hex << r.Background;
  }
}

TEST(Chessboard, SizeBelowOneCountsAsOne) {
  for (Integer size : {0, -5}) {
    for (bool target : {true, false}) {
      auto b = JunkTarget(8, 4);
      Paint(*b, iebsChessboard, clWhite, {0, 0, 8, 4, 0, 0, 0, 0}, size, bsSolid, target);
      // Direct: squares 2, 1, 1, ... wide; through the canvas: 1 x 1 tiles from the complement.
      const COLORREF row0[2][4] = {{0xFFFFFF, 0xFFFFFF, 0, 0xFFFFFF}, {0, 0xFFFFFF, 0, 0xFFFFFF}};
      for (Integer x = 0; x < 4; ++x) EXPECT_EQ(At(*b, x, 0), row0[target ? 0 : 1][x]) << size << " " << x;
    }
  }
}

// A back buffer holding an old picture must not show through between hatch
// lines (a hatched brush paints only its lines).
TEST(Hatches, LeaveNoOldPixelsBetweenLines) {
  const TColor bg = 0x3060C0;
  for (TIEBackgroundStyle s : {iebsHorizontal, iebsVertical, iebsFDiagonal, iebsBDiagonal, iebsCross, iebsDiagCross}) {
    auto b = JunkTarget(64, 48);
    Paint(*b, s, bg, kWhole);
    std::set<COLORREF> seen;
    for (Integer y = 0; y < 48; ++y)
      for (Integer x = 0; x < 64; ++x) seen.insert(At(*b, x, y));
    EXPECT_EQ(seen, (std::set<COLORREF>{0xFFFFFF, COLORREF(bg)})) << "style " << int(s);
  }
  for (TBrushStyle brush : {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross, bsClear}) {
    auto b = JunkTarget(64, 48);
    Paint(*b, iebsChessboard, bg, kWhole, 8, brush);
    std::set<COLORREF> seen;
    for (Integer y = 0; y < 48; ++y)
      for (Integer x = 0; x < 64; ++x) seen.insert(At(*b, x, y));
    const std::set<COLORREF> want =
        brush == bsClear ? std::set<COLORREF>{0xCF9F3F} : std::set<COLORREF>{COLORREF(bg), 0xCF9F3F};
    EXPECT_EQ(seen, want) << "brush " << int(brush);
  }
}

TEST(PhotoLike, WithoutAPictureIsJustTheSurround) {
  auto b = JunkTarget(20, 20);
  Paint(*b, iebsPhotoLike, clWhite, {0, 0, 20, 20, 0, 0, 0, 0});
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 20; ++x) ASSERT_EQ(At(*b, x, y), 0xB0B0B0u) << x << "," << y;
}

TEST(SoftShadow, DarkensAFivePixelMarginStrongestRightAndBelow) {
  const TColor bg = 0xC8C8C8;
  const TGeometry g{0, 0, 60, 50, 15, 12, 40, 30};
  auto b = JunkTarget(60, 50);
  Paint(*b, iebsSoftShadow, bg, g);
  auto darkness = [&](Integer x, Integer y) { return 0xC8 - Integer(GetRValue(At(*b, x, y))); };
  for (Integer y = 0; y < 50; ++y)
    for (Integer x = 0; x < 60; ++x) {
      const bool inBox = x >= g.X1 && x < g.X2 && y >= g.Y1 && y < g.Y2;
      const bool far = x < g.X1 - 5 || x > g.X2 + 5 || y < g.Y1 - 5 || y > g.Y2 + 5;
      if (inBox || far) ASSERT_EQ(At(*b, x, y), COLORREF(bg)) << x << "," << y;
      else ASSERT_GE(darkness(x, y), 0) << x << "," << y;
    }
  const Integer midY = (g.Y1 + g.Y2) / 2, midX = (g.X1 + g.X2) / 2;
  EXPECT_GT(darkness(g.X2 + 2, midY), darkness(g.X1 - 2, midY));
  EXPECT_GT(darkness(midX, g.Y2 + 2), darkness(midX, g.Y1 - 2));
  EXPECT_GT(darkness(g.X1 - 2, midY), 0);
  EXPECT_GT(darkness(midX, g.Y1 - 2), 0);
}

TEST(SoftShadow, NeedsATargetBitmapAtRunTime) {
  auto b = JunkTarget(30, 30);
  Paint(*b, iebsSoftShadow, clWhite, {0, 0, 30, 30, 5, 5, 20, 20}, 16, bsSolid, false);
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 30; ++x) ASSERT_EQ(At(*b, x, y), Junk(x, y));
}

// A picture box under 2 x 2 pixels gets no sunken edge and no shadow: the
// area is just the style's fill.
TEST(FramedStyles, NoEdgeOrShadowAroundAPictureBelowTwoByTwo) {
  const TColor bg = 0xC0D0E0;
  struct {
    TIEBackgroundStyle Style;
    COLORREF Fill;
  } styles[] = {{iebsCropped, COLORREF(ColorToRGB(clBtnFace))}, {iebsCropShadow, COLORREF(bg)},
                {iebsSoftShadow, COLORREF(bg)}};
  const TGeometry boxes[] = {{0, 0, 40, 40, 10, 10, 11, 11},
                             {0, 0, 40, 40, 10, 10, 30, 11},
                             {0, 0, 40, 40, 10, 10, 11, 30},
                             {0, 0, 40, 40, 0, 0, 0, 0}};
  for (const auto& st : styles)
    for (const TGeometry& g : boxes) {
      auto b = JunkTarget(40, 40);
      Paint(*b, st.Style, bg, g);
      Integer wrong = 0;
      for (Integer y = 0; y < 40; ++y)
        for (Integer x = 0; x < 40; ++x) wrong += At(*b, x, y) != st.Fill;
      EXPECT_EQ(wrong, 0) << "style " << int(st.Style) << ", box " << g.X2 - g.X1 << " x " << g.Y2 - g.Y1;
    }
  // Two by two is enough for the edge.
  auto b = JunkTarget(40, 40);
  Paint(*b, iebsCropped, bg, {0, 0, 40, 40, 10, 10, 12, 12});
  Integer edge = 0;
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 40; ++x) edge += At(*b, x, y) != COLORREF(ColorToRGB(clBtnFace));
  EXPECT_GT(edge, 4);
}

TEST(Background, LeavesTheCanvasToolsAsFound) {
  auto b = JunkTarget(32, 32);
  TCanvas* c = b->Canvas();
  c->Pen()->SetColor(clRed);
  c->Pen()->SetWidth(3);
  c->Brush()->SetColor(clLime);
  c->Brush()->SetStyle(bsCross);
  for (TIEBackgroundStyle s : {iebsDiagonals, iebsPhotoLike, iebsHorizontal}) {
    Paint(*b, s, clBtnFace, {0, 0, 32, 32, 4, 4, 20, 20});
    EXPECT_EQ(c->Pen()->Color(), clRed);
    EXPECT_EQ(c->Pen()->Width(), 3);
    EXPECT_EQ(c->Brush()->Color(), clLime);
    EXPECT_EQ(c->Brush()->Style(), bsCross);
  }
}

TEST(VersionText, ReadsTheVersionAndSitsInTheBottomRightCorner) {
  EXPECT_EQ(IEVersionText(), u"ZiduzUv Version 3.0.4 - 26/9/2009");
  struct {
    Integer ViewW, ViewH;
  } views[] = {{400, 80}, {330, 61}};
  for (const auto& v : views) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(400, 80);
    b.Canvas()->Brush()->SetColor(clLime);
    b.Canvas()->FillRect(TRect(0, 0, 400, 80));
    IEDrawVersionText(b.Canvas(), v.ViewW, v.ViewH);
    Integer l = 400, t = 80, r = -1, bottom = -1, dark = 0;
    for (Integer y = 0; y < 80; ++y)
      for (Integer x = 0; x < 400; ++x) {
        const COLORREF p = At(b, x, y);
        if (p == 0x00FF00) continue;
        l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), bottom = std::max(bottom, y);
        if (GetRValue(p) < 96 && GetGValue(p) < 96 && GetBValue(p) < 96) ++dark;
      }
    // The white box ends exactly at the view's corner and holds black text.
    EXPECT_EQ(r, v.ViewW - 1);
    EXPECT_EQ(bottom, v.ViewH - 1);
    EXPECT_GT(dark, 50);
    EXPECT_GE(t, v.ViewH - 20);
    EXPECT_GT(l, v.ViewW - 300);
    EXPECT_LT(l, v.ViewW - 120);
    EXPECT_EQ(At(b, v.ViewW - 1, v.ViewH - 1), 0xFFFFFFu);
    EXPECT_EQ(b.Canvas()->Brush()->Color(), clLime);
  }
}

TEST(Grid, DividesTheOrderedRectangle) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(20, 20);  // white
  IEDrawGrid(b.Canvas(), 1, 0, 0, 19, 19);
  IEDrawGrid(b.Canvas(), 3, 12, 8, 2, 1);
  // Corners ordered to (2, 1)-(12, 8): rows 1 + 7c/3 = 3, 5 and columns
  // 2 + 10c/3 = 5, 8, each line without its end point.
  int grey = 0;
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 20; ++x) {
      const bool onRow = (y == 3 || y == 5) && x >= 2 && x < 12;
      const bool onCol = (x == 5 || x == 8) && y >= 1 && y < 8;
      const COLORREF p = At(b, x, y);
      EXPECT_EQ(p, (onRow || onCol) ? 0xA0A0A0u : 0xFFFFFFu) << x << "," << y;
      grey += p == 0xA0A0A0;
    }
  EXPECT_EQ(grey, 30);
}

}  // namespace

}  // namespace test_background_rules_tests
