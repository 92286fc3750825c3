// Outline, outer shading and inverted overlay of a selection mask.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "imaging/core/render/iemaskdraw.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace test_maskdraw_tests {

namespace {

using TCoords = std::set<std::pair<Integer, Integer>>;

// A 24-bit bitmap with every byte Value.
std::unique_ptr<TBitmap> MakeBitmap(Integer W, Integer H, Byte Value) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(W, H);
  for (Integer y = 0; y < H; ++y) std::fill_n(static_cast<Byte*>(b->ScanLine(y)), 3 * W, Value);
  return b;
}

// The (b, g, r) bytes of a pixel.
std::array<Byte, 3> Px(TBitmap* B, Integer X, Integer Y) {
  const Byte* p = static_cast<Byte*>(B->ScanLine(Y)) + 3 * X;
  return {p[0], p[1], p[2]};
}

// A mask of W x H with the rectangle X1..X2, Y1..Y2 selected, box in sync.
std::unique_ptr<TIEMask> MakeMask(Integer W, Integer H, Integer Bpp, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  auto m = std::make_unique<TIEMask>();
  m->AllocateBits(W, H, Bpp);
  for (Integer y = Y1; y <= Y2; ++y)
    for (Integer x = X1; x <= X2; ++x) m->SetPixel(x, y, 255);
  return m;
}

// Pixels that are no longer white.
TCoords Drawn(TBitmap* B) {
  TCoords s;
  for (Integer y = 0; y < B->Height(); ++y)
    for (Integer x = 0; x < B->Width(); ++x)
      if (Px(B, x, y) != std::array<Byte, 3>{255, 255, 255}) s.insert({x, y});
  return s;
}

// The one-pixel border of the rectangle X1..X2, Y1..Y2.
TCoords Border(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  TCoords s;
  for (Integer x = X1; x <= X2; ++x) {
    s.insert({x, Y1});
    s.insert({x, Y2});
  }
  for (Integer y = Y1; y <= Y2; ++y) {
    s.insert({X1, y});
    s.insert({X2, y});
  }
  return s;
}

TCoords RectBorder(Integer A, Integer B) { return Border(A, A, B, B); }

constexpr std::array<Byte, 3> kBlue{255, 0, 0}, kRed{0, 0, 255};  // (b, g, r)

}  // namespace

// A 10 x 10 selection at (5, 5) of a 20 x 20 mask, drawn whole at zoom 1 and 3.
TEST(MaskDrawOutline, OutlineIsTheBorderOfTheScaledSelection) {
  struct TCase {
    Integer Bpp, Zoom, First, Last;
  };
  // At zoom 3 mask column 5 begins at destination column 15 and column 14
  // ends at 44, as the view shows the picture.
  const TCase cases[] = {{1, 1, 5, 14}, {8, 1, 5, 14}, {1, 3, 15, 44}, {8, 3, 15, 44}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "bpp " << c.Bpp << " zoom " << c.Zoom);
    auto mask = MakeMask(20, 20, c.Bpp, 5, 5, 14, 14);
    const Integer n = 20 * c.Zoom;
    auto bmp = MakeBitmap(n, n, 255);
    TIEMaskScaledBuffer buf;
    IEMaskDrawOutline(*mask, buf, bmp->Canvas(), 0, 0, n, n, 0, 0, 20, 20, 0, clRed, clBlue, nullptr);
    EXPECT_EQ(Drawn(bmp.get()), RectBorder(c.First, c.Last));
    // Runs of four along the diagonals: (x + y) mod 8 < 4 is Color2.
    const Integer f = c.First;
    EXPECT_EQ(Px(bmp.get(), f, f), (2 * f) % 8 < 4 ? kBlue : kRed);
    EXPECT_EQ(Px(bmp.get(), f + 1, f), (2 * f + 1) % 8 < 4 ? kBlue : kRed);
  }
}

// The view shows image column c on the zoomed pixels x whose column,
// Trunc(x x 100 / zoom), is c: column c begins at the first such x. Outline
// and shading must sit on those same pixels, or the selection is drawn one
// pixel off the picture beneath it. A 10 x 10 selection at the odd offset
// (7, 9) of a 30 x 30 mask; the window is the whole mask or a scrolled part.
TEST(MaskDrawAtZoom, SelectionLandsOnThePixelsThatShowItsColumns) {
  struct TCase {
    const char* Name;
    Integer Num, Den;                  // zoom = 100 x Num / Den
    Integer XSrc, YSrc, DxSrc, DySrc;  // the window onto the mask
    Integer X1, Y1, X2, Y2;            // destination pixels of columns 7..16 and rows 9..18
  };
  const TCase cases[] = {
      {"100", 1, 1, 0, 0, 30, 30, 7, 9, 16, 18},
      {"150", 3, 2, 0, 0, 30, 30, 11, 14, 25, 28},
      {"200", 2, 1, 0, 0, 30, 30, 14, 18, 33, 37},
      {"300", 3, 1, 0, 0, 30, 30, 21, 27, 50, 56},
      {"333.33", 10, 3, 0, 0, 30, 30, 24, 30, 56, 63},
      {"700", 7, 1, 0, 0, 30, 30, 49, 63, 118, 132},
      {"1200", 12, 1, 0, 0, 30, 30, 84, 108, 203, 227},
      {"300 scrolled to (4, 2)", 3, 1, 4, 2, 24, 24, 9, 21, 38, 50},
      {"700 scrolled to (4, 2)", 7, 1, 4, 2, 24, 24, 21, 49, 90, 118},
  };
  for (Integer bpp : {1, 8}) {
    auto mask = MakeMask(30, 30, bpp, 7, 9, 16, 18);
    TIEMaskScaledBuffer buf;
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "bpp " << bpp << ", zoom " << c.Name);
      const Integer w = c.DxSrc * c.Num / c.Den, h = c.DySrc * c.Num / c.Den;

      auto outline = MakeBitmap(w, h, 255);
      TRect drawn;
      IEMaskDrawOutline(*mask, buf, outline->Canvas(), 0, 0, w, h, c.XSrc, c.YSrc, c.DxSrc, c.DySrc, 0, clRed, clBlue,
                        &drawn);
      EXPECT_EQ(Drawn(outline.get()), Border(c.X1, c.Y1, c.X2, c.Y2));
      // The drawn rectangle reports the selection's pixels moved by one.
      EXPECT_EQ(drawn, TRect(c.X1 + 1, c.Y1 + 1, c.X2 + 1, c.Y2 + 1));

      // Black over everything outside the selection, nothing inside it.
      auto shade = MakeBitmap(w, h, 255);
      IEMaskDrawOuterArea(*mask, buf, shade.get(), 0, 0, w, h, c.XSrc, c.YSrc, c.DxSrc, c.DySrc, 255, clBlack);
      Integer wrong = 0, firstX = -1, firstY = -1;
      for (Integer y = 0; y < h; ++y)
        for (Integer x = 0; x < w; ++x) {
          const bool inside = x >= c.X1 && x <= c.X2 && y >= c.Y1 && y <= c.Y2;
          if (Px(shade.get(), x, y)[0] != (inside ? 255 : 0) && wrong++ == 0) firstX = x, firstY = y;
        }
      EXPECT_EQ(wrong, 0) << "first wrong pixel " << firstX << "," << firstY;
    }
  }
}

// Below 100 % destination pixel x shows column Trunc(x x 100 / zoom) too.
TEST(MaskDrawAtZoom, ZoomingOutSamplesTheColumnUnderEachPixel) {
  // Columns 8..16 selected. At 50 % pixel x shows column 2x: pixels 4..8. At
  // 75 % it shows Trunc(4x / 3): pixel 6 shows column 8 and 12 shows 16.
  const struct {
    Integer Num, Den, X1, X2;
  } cases[] = {{1, 2, 4, 8}, {3, 4, 6, 12}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Num << "/" << c.Den);
    auto mask = MakeMask(32, 1, 8, 8, 0, 16, 0);
    const Integer w = 32 * c.Num / c.Den;
    auto shade = MakeBitmap(w, 1, 255);
    TIEMaskScaledBuffer buf;
    IEMaskDrawOuterArea(*mask, buf, shade.get(), 0, 0, w, 1, 0, 0, 32, 1, 255, clBlack);
    for (Integer x = 0; x < w; ++x)
      EXPECT_EQ(Px(shade.get(), x, 0)[0], x >= c.X1 && x <= c.X2 ? 255 : 0) << "x " << x;
  }
}

TEST(MaskDrawOutline, ColoursFollowTheDiagonalRunsAndPhaseShiftsThem) {
  auto mask = MakeMask(20, 20, 1, 5, 5, 14, 14);
  // Hand-checked colours of the top edge (row 5) at phase 0: x + 5 mod 8 < 4 is blue (Color2).
  auto p0 = MakeBitmap(20, 20, 255);
  TIEMaskScaledBuffer buf;
  IEMaskDrawOutline(*mask, buf, p0->Canvas(), 0, 0, 20, 20, 0, 0, 20, 20, 0, clRed, clBlue, nullptr);
  const std::pair<Integer, std::array<Byte, 3>> top[] = {{5, kBlue}, {6, kBlue}, {7, kRed},   {8, kRed},
                                                         {9, kRed},  {10, kRed}, {11, kBlue}, {14, kBlue}};
  for (const auto& [x, col] : top) EXPECT_EQ(Px(p0.get(), x, 5), col) << "x " << x;

  auto p1 = MakeBitmap(20, 20, 255);
  IEMaskDrawOutline(*mask, buf, p1->Canvas(), 0, 0, 20, 20, 0, 0, 20, 20, 1, clRed, clBlue, nullptr);
  ASSERT_EQ(Drawn(p1.get()), Drawn(p0.get()));
  // One more phase moves each run one pixel back along the edge.
  for (Integer x = 6; x <= 14; ++x) {
    EXPECT_EQ(Px(p1.get(), x - 1, 5), Px(p0.get(), x, 5)) << "top x " << x;
    EXPECT_EQ(Px(p1.get(), 5, x - 1), Px(p0.get(), 5, x)) << "left y " << x;
  }
  // Phase 8 is phase 0 again.
  auto p8 = MakeBitmap(20, 20, 255);
  IEMaskDrawOutline(*mask, buf, p8->Canvas(), 0, 0, 20, 20, 0, 0, 20, 20, 8, clRed, clBlue, nullptr);
  for (const auto& [x, y] : Drawn(p0.get())) EXPECT_EQ(Px(p8.get(), x, y), Px(p0.get(), x, y));
}

TEST(MaskDrawOutline, EdgeCutByTheWindowIsNotOutlined) {
  auto mask = MakeMask(20, 20, 8, 5, 5, 14, 14);
  // The window shows mask columns 8..19: the selection runs on past its left edge.
  auto bmp = MakeBitmap(12, 20, 255);
  TIEMaskScaledBuffer buf;
  IEMaskDrawOutline(*mask, buf, bmp->Canvas(), 0, 0, 12, 20, 8, 0, 12, 20, 0, clRed, clBlue, nullptr);
  const TCoords d = Drawn(bmp.get());
  for (Integer y = 0; y < 20; ++y) EXPECT_FALSE(d.count({0, y})) << "y " << y;
  EXPECT_TRUE(d.count({1, 5}));   // top edge
  EXPECT_TRUE(d.count({6, 14}));  // right edge (mask column 14)
  EXPECT_TRUE(d.count({3, 14}));  // bottom edge
  EXPECT_FALSE(d.count({3, 9}));  // inside

  // The window shows mask columns 0..9: the selection runs on past its right edge.
  auto right = MakeBitmap(10, 20, 255);
  IEMaskDrawOutline(*mask, buf, right->Canvas(), 0, 0, 10, 20, 0, 0, 10, 20, 0, clRed, clBlue, nullptr);
  const TCoords r = Drawn(right.get());
  for (Integer y = 0; y < 20; ++y) EXPECT_FALSE(r.count({9, y})) << "y " << y;
  EXPECT_TRUE(r.count({5, 9}));   // left edge
  EXPECT_TRUE(r.count({8, 5}));   // top edge
  EXPECT_TRUE(r.count({8, 14}));  // bottom edge
}

TEST(MaskDrawOutline, ZoomBeyondTheFixedPointRangeDoesNotDivideByZero) {
  // One mask pixel over 17000 destination columns: a 14-bit fixed-point
  // step from source to destination would be 0.
  auto mask = MakeMask(2, 1, 1, 0, 0, 0, 0);
  auto bmp = MakeBitmap(17000, 1, 255);
  TIEMaskScaledBuffer buf;
  IEMaskDrawOutline(*mask, buf, bmp->Canvas(), 0, 0, 17000, 1, 0, 0, 1, 1, 0, clRed, clBlue, nullptr);
  // Every column is outlined, in one run from 0.
  const TCoords d = Drawn(bmp.get());
  ASSERT_GE(d.size(), 16384u);
  EXPECT_EQ(d.begin()->first, 0);
  EXPECT_EQ(d.rbegin()->first, Integer(d.size()) - 1);
  EXPECT_EQ(d.size(), 17000u) << "the whole destination shows the selected pixel";
}

TEST(MaskDrawOutline, NothingForEmptyMaskOrEmptyDestination) {
  TIEMask empty;
  empty.AllocateBits(10, 10, 1);
  auto full = MakeMask(10, 10, 1, 2, 2, 5, 5);
  auto bmp = MakeBitmap(10, 10, 255);
  TIEMaskScaledBuffer buf;
  IEMaskDrawOutline(empty, buf, bmp->Canvas(), 0, 0, 10, 10, 0, 0, 10, 10, 0, clRed, clBlue, nullptr);
  IEMaskDrawOutline(*full, buf, bmp->Canvas(), 0, 0, 0, 10, 0, 0, 10, 10, 0, clRed, clBlue, nullptr);
  IEMaskDrawOutline(*full, buf, bmp->Canvas(), 0, 0, 10, 0, 0, 0, 10, 10, 0, clRed, clBlue, nullptr);
  EXPECT_TRUE(Drawn(bmp.get()).empty());
}

TEST(MaskDrawOuterArea, CheckerboardAndBlendLeaveTheSelectionAlone) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    auto mask = MakeMask(10, 10, bpp, 2, 2, 7, 7);
    auto grey = MakeBitmap(10, 10, 200);
    TIEMaskScaledBuffer buf;
    IEMaskDrawOuterArea(*mask, buf, grey.get(), 0, 0, 10, 10, 0, 0, 10, 10, -1, clRed);
    EXPECT_EQ(Px(grey.get(), 0, 0), (std::array<Byte, 3>{97, 97, 97}));
    EXPECT_EQ(Px(grey.get(), 1, 0), (std::array<Byte, 3>{200, 200, 200}));
    EXPECT_EQ(Px(grey.get(), 9, 1), (std::array<Byte, 3>{97, 97, 97}));
    EXPECT_EQ(Px(grey.get(), 4, 4), (std::array<Byte, 3>{200, 200, 200}));  // selected
    EXPECT_EQ(Px(grey.get(), 7, 7), (std::array<Byte, 3>{200, 200, 200}));  // selected

    auto blend = MakeBitmap(10, 10, 200);
    IEMaskDrawOuterArea(*mask, buf, blend.get(), 0, 0, 10, 10, 0, 0, 10, 10, 128, clRed);
    // 128/255 of red over 200: blue and green 99 (99.6 truncated), red 227.
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {9, 9}, {8, 3}})
      EXPECT_EQ(Px(blend.get(), x, y), (std::array<Byte, 3>{99, 99, 227})) << x << "," << y;
    EXPECT_EQ(Px(blend.get(), 5, 5), (std::array<Byte, 3>{200, 200, 200}));
  }
}

TEST(MaskDrawOuterArea, DestinationIsClippedToTheBitmap) {
  auto mask = MakeMask(10, 10, 8, 5, 0, 5, 9);  // column 5 selected
  TIEMaskScaledBuffer buf;
  // Three columns left of the bitmap: mask column 5 lands on x = 2, and only
  // the remaining 7 destination columns are touched.
  auto left = MakeBitmap(10, 1, 200);
  IEMaskDrawOuterArea(*mask, buf, left.get(), -3, 0, 10, 1, 0, 0, 10, 1, 255, clBlack);
  for (Integer x = 0; x < 10; ++x)
    EXPECT_EQ(Px(left.get(), x, 0)[0], x == 2 || x >= 7 ? 200 : 0) << "x " << x;

  // A destination that runs past the bottom: rows below the bitmap are not
  // written, rows above the destination stay.
  auto low = MakeBitmap(10, 10, 200);
  IEMaskDrawOuterArea(*mask, buf, low.get(), 0, 5, 10, 10, 0, 0, 10, 10, 255, clBlack);
  for (Integer y = 0; y < 10; ++y) EXPECT_EQ(Px(low.get(), 0, y)[0], y < 5 ? 200 : 0) << "y " << y;
}

TEST(MaskDrawOuterArea, TallMaskNeedsWideIntermediates) {
  // (Height - YSrc) x 16384 passes 2^31 for a mask taller than 131071 rows.
  auto mask = MakeMask(1, 140000, 8, 0, 0, 0, 0);
  auto bmp = MakeBitmap(1, 4, 200);
  TIEMaskScaledBuffer buf;
  IEMaskDrawOuterArea(*mask, buf, bmp.get(), 0, 0, 1, 4, 0, 0, 1, 4, 255, clBlack);
  EXPECT_EQ(Px(bmp.get(), 0, 0)[0], 200);
  for (Integer y = 1; y < 4; ++y) EXPECT_EQ(Px(bmp.get(), 0, y)[0], 0) << "y " << y;
}

TEST(MaskDrawInverted, InvertsUnderSelectedPixelsAndTwiceRestores) {
  auto mask = MakeMask(8, 8, 1, 2, 1, 4, 3);
  for (Integer zoom : {1, 2}) {
    SCOPED_TRACE(zoom);
    const Integer n = 8 * zoom;
    auto bmp = MakeBitmap(n, n, 0);
    for (Integer y = 0; y < n; ++y)
      for (Integer x = 0; x < n; ++x) {
        Byte* p = static_cast<Byte*>(bmp->ScanLine(y)) + 3 * x;
        p[0] = Byte(x * 13), p[1] = Byte(y * 11), p[2] = 7;
      }
    IEMaskDrawInverted(*mask, bmp->Canvas(), 0, 0, n, n, 0, 0, 8, 8);
    for (Integer y = 0; y < n; ++y)
      for (Integer x = 0; x < n; ++x) {
        const bool sel = mask->GetPixel(x / zoom, y / zoom) != 0;
        const std::array<Byte, 3> orig{Byte(x * 13), Byte(y * 11), 7};
        const std::array<Byte, 3> inv{Byte(255 - orig[0]), Byte(255 - orig[1]), Byte(255 - orig[2])};
        ASSERT_EQ(Px(bmp.get(), x, y), sel ? inv : orig) << x << "," << y;
      }
    IEMaskDrawInverted(*mask, bmp->Canvas(), 0, 0, n, n, 0, 0, 8, 8);
    for (Integer y = 0; y < n; ++y)
      for (Integer x = 0; x < n; ++x)
        ASSERT_EQ(Px(bmp.get(), x, y), (std::array<Byte, 3>{Byte(x * 13), Byte(y * 11), 7})) << x << "," << y;
  }
  // A part of the plane: mask rows 1..4 shown in a 4 x 4 window.
  auto part = MakeBitmap(4, 4, 0);
  IEMaskDrawInverted(*mask, part->Canvas(), 0, 0, 4, 4, 2, 1, 4, 4);
  EXPECT_EQ(Px(part.get(), 0, 0), (std::array<Byte, 3>{255, 255, 255}));  // mask (2, 1)
  EXPECT_EQ(Px(part.get(), 2, 2), (std::array<Byte, 3>{255, 255, 255}));  // mask (4, 3)
  EXPECT_EQ(Px(part.get(), 3, 0), (std::array<Byte, 3>{0, 0, 0}));        // mask (5, 1)
  EXPECT_EQ(Px(part.get(), 0, 3), (std::array<Byte, 3>{0, 0, 0}));        // mask (2, 4)

  // 8-bit masks are not drawn this way.
  auto eight = MakeMask(8, 8, 8, 0, 0, 7, 7);
  auto bmp = MakeBitmap(8, 8, 0);
  IEMaskDrawInverted(*eight, bmp->Canvas(), 0, 0, 8, 8, 0, 0, 8, 8);
  EXPECT_EQ(Px(bmp.get(), 3, 3), (std::array<Byte, 3>{0, 0, 0}));
}

}  // namespace test_maskdraw_tests
