// The DIB plane: rows bottom-up in the platform DIB, drawing through its
// context lands in the rows the library reads.
#include <gtest/gtest.h>

#include <cstdint>

#include "imaging/core/render/iedibbitmap.h"

namespace test_dibbitmap_tests {

namespace {

TEST(DibBitmap, RowsAreBottomUpAndPlatformDrawingLandsInThem) {
  TIEDibbitmap dib;
  ASSERT_TRUE(dib.Allocate(3, 2, ie24RGB));
  EXPECT_EQ(dib.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(dib.GetBitCount(), 24);
  EXPECT_EQ(dib.GetRowLen(), 12);
  ASSERT_NE(dib.DC(), nullptr);
  EXPECT_EQ(dib.GetScanline(1), static_cast<void*>(dib.Bits()));
  EXPECT_EQ(dib.GetScanline(0), static_cast<void*>(dib.Bits() + 12));
  SetPixel(dib.DC(), 2, 0, RGB(10, 20, 30));
  const auto* top = static_cast<const uint8_t*>(dib.GetScanline(0));
  EXPECT_EQ(top[6], 30);  // blue, green, red
  EXPECT_EQ(top[7], 20);
  EXPECT_EQ(top[8], 10);

  TIEDibbitmap copy;
  copy.Assign(&dib);
  ASSERT_EQ(copy.GetWidth(), 3);
  ASSERT_EQ(copy.GetHeight(), 2);
  EXPECT_NE(copy.Bits(), dib.Bits());
  EXPECT_EQ(static_cast<const uint8_t*>(copy.GetScanline(0))[8], 10);
}

TEST(DibBitmap, AllocationRules) {
  TIEDibbitmap dib;
  ASSERT_TRUE(dib.Allocate(9, 4, ie1g));
  EXPECT_EQ(dib.GetPixelFormat(), ie1g);
  EXPECT_EQ(dib.GetRowLen(), 4);
  // A zero size is refused and keeps the plane; other formats are refused.
  EXPECT_FALSE(dib.AllocateBits(0, 5, 24));
  EXPECT_FALSE(dib.AllocateBits(-3, 5, 24));
  EXPECT_FALSE(dib.Allocate(5, 5, ie8g));
  EXPECT_EQ(dib.GetWidth(), 9);
  EXPECT_EQ(dib.GetHeight(), 4);
  TRGB c{1, 2, 3};
  dib.GetPaletteColor(1, c);
  EXPECT_EQ(c.r + c.g + c.b, 0);
  dib.FreeBits();
  EXPECT_EQ(dib.GetWidth(), 0);
  EXPECT_EQ(dib.Bits(), nullptr);
  EXPECT_EQ(dib.GetPixelFormat(), ieNone);
}

}  // namespace

}  // namespace test_dibbitmap_tests
