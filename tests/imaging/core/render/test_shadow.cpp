// Drop-shadow strips and the soft shadow around a picture box.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "imaging/core/render/ieshadow.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace test_shadow_tests {

namespace {

std::unique_ptr<TBitmap> Filled(Integer W, Integer H, Byte Value) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(W, H);
  for (Integer y = 0; y < H; ++y) std::fill_n(static_cast<Byte*>(b->ScanLine(y)), 3 * W, Value);
  return b;
}

Byte At(TBitmap* B, Integer X, Integer Y) { return static_cast<Byte*>(B->ScanLine(Y))[3 * X]; }

}  // namespace

TEST(Shadow, StripFactorsForThicknessSix) {
  const double expected[] = {0.202, 0.319, 0.465, 0.622, 0.766, 0.868};
  for (Integer k = 0; k < 6; ++k) EXPECT_NEAR(IEShadowStripFactor(6, k), expected[k], 0.0006) << "k " << k;
}

TEST(Shadow, VerticalAndHorizontalStripsCoverTheirSteppedRanges) {
  // 200 x 0.202 = 40.4 and 200 x 0.868 = 173.6, truncated.
  auto v = Filled(120, 80, 200);
  IEDrawVertShadow(v->Canvas(), v.get(), 100, 10, 105, 60);
  struct TCol {
    Integer X, First, Last;
    Byte Value;
  };
  for (const TCol& c : {TCol{100, 16, 57, 40}, TCol{105, 16, 62, 173}}) {
    EXPECT_EQ(At(v.get(), c.X, c.First - 1), 200) << c.X;
    EXPECT_EQ(At(v.get(), c.X, c.First), c.Value) << c.X;
    EXPECT_EQ(At(v.get(), c.X, c.Last), c.Value) << c.X;
    EXPECT_EQ(At(v.get(), c.X, c.Last + 1), 200) << c.X;
  }
  EXPECT_EQ(At(v.get(), 99, 30), 200);
  EXPECT_EQ(At(v.get(), 106, 30), 200);

  auto h = Filled(80, 120, 200);
  IEDrawHorizShadow(h->Canvas(), h.get(), 10, 100, 60, 105);
  for (const TCol& c : {TCol{100, 16, 55, 40}, TCol{105, 16, 60, 173}}) {  // X is the row here
    EXPECT_EQ(At(h.get(), c.First - 1, c.X), 200) << c.X;
    EXPECT_EQ(At(h.get(), c.First, c.X), c.Value) << c.X;
    EXPECT_EQ(At(h.get(), c.Last, c.X), c.Value) << c.X;
    EXPECT_EQ(At(h.get(), c.Last + 1, c.X), 200) << c.X;
  }
}

TEST(Shadow, PixelsBeyondTheBitmapGoThroughTheCanvas) {
  // The picture is 103 columns wide; the strip's last three columns lie on
  // the canvas that shows it.
  auto pic = Filled(103, 80, 200);
  auto screen = Filled(120, 80, 200);
  IEDrawVertShadow(screen->Canvas(), pic.get(), 100, 10, 105, 60);
  EXPECT_EQ(At(pic.get(), 100, 20), 40);
  EXPECT_EQ(At(screen.get(), 100, 20), 200);
  EXPECT_EQ(At(screen.get(), 105, 20), 173);
  // Without a bitmap everything goes to the canvas, none of it out of range.
  auto only = Filled(103, 80, 200);
  IEDrawVertShadow(only->Canvas(), nullptr, 100, 10, 105, 60);
  EXPECT_EQ(At(only.get(), 100, 20), 40);
  EXPECT_EQ(At(only.get(), 102, 20), Byte(Trunc(200 * IEShadowStripFactor(6, 2))));
}

TEST(Shadow, SoftShadowLeavesTheWholeBoxAlone) {
  auto b = Filled(40, 40, 200);
  // The box is columns and rows 10..19: X2 and Y2 lie one past it, as in the
  // picture rectangle the views pass.
  IEDrawSoftShadow(b.get(), 10, 10, 20, 20);
  // Every pixel of the box, its last column and row included.
  for (Integer y = 10; y <= 19; ++y)
    for (Integer x = 10; x <= 19; ++x) ASSERT_EQ(At(b.get(), x, y), 200) << x << "," << y;
  // Darkest just right of and below the box, weaker on the other sides, and
  // nothing beyond 5 pixels.
  EXPECT_LT(At(b.get(), 21, 15), 100);
  EXPECT_LT(At(b.get(), 15, 21), 100);
  EXPECT_LT(At(b.get(), 21, 15), At(b.get(), 9, 15));
  EXPECT_LT(At(b.get(), 15, 21), At(b.get(), 15, 9));
  EXPECT_LT(At(b.get(), 9, 15), 200);
  EXPECT_LT(At(b.get(), 25, 15), 200);
  EXPECT_EQ(At(b.get(), 26, 15), 200);
  EXPECT_EQ(At(b.get(), 15, 26), 200);
  EXPECT_EQ(At(b.get(), 4, 15), 200);
  EXPECT_EQ(At(b.get(), 15, 4), 200);
  // A box at the bitmap's corner is clipped, not overrun.
  auto corner = Filled(12, 12, 200);
  IEDrawSoftShadow(corner.get(), 0, 0, 10, 10);
  EXPECT_EQ(At(corner.get(), 9, 9), 200);
  EXPECT_LT(At(corner.get(), 10, 5), 200);
  EXPECT_LT(At(corner.get(), 11, 11), 200);
}

// The shadow starts right at X2 and Y2: the column and row next to the box
// are its darkest pixels, with no undarkened gap between box and shadow.
TEST(Shadow, SoftShadowStartsAtTheBoxsRightAndBottomEdge) {
  auto b = Filled(40, 40, 200);
  IEDrawSoftShadow(b.get(), 10, 10, 20, 20);
  const struct {
    Integer X, Y;
  } darkest[] = {{20, 15}, {15, 20}, {20, 12}, {12, 20}, {20, 20}};
  for (const auto& p : darkest) {
    EXPECT_LT(At(b.get(), p.X, p.Y), 100) << p.X << "," << p.Y;
    // Strongest next to the box, fading outwards.
    EXPECT_LT(At(b.get(), p.X, p.Y), At(b.get(), p.X + (p.X == 20 ? 3 : 0), p.Y + (p.Y == 20 ? 3 : 0)))
        << p.X << "," << p.Y;
  }
  EXPECT_EQ(At(b.get(), 19, 19), 200);
}

}  // namespace test_shadow_tests
