// Rectangle-list regions, clipped copies within one surface, mirrored
// stretches and MulDiv's rounding: what the transition effects draw with.
#include <gtest/gtest.h>

#include <vector>

#include "platform/graphics/gdi.h"
#include "platform/graphics/gdi_rgndata.h"
#include "tests/platform/graphics/gdi_test_util.h"
#include "tests/support/pnm.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace gdi_rgndata_tests {
namespace {

HRGN RectList(const std::vector<TRect>& Rects) {
  std::vector<char> data(sizeof(RGNDATAHEADER) + Rects.size() * sizeof(TRect));
  RGNDATAHEADER h{};
  h.dwSize = sizeof h;
  h.iType = RDH_RECTANGLES;
  h.nCount = static_cast<DWORD>(Rects.size());
  h.nRgnSize = sizeof(TRect);
  std::memcpy(data.data(), &h, sizeof h);
  if (!Rects.empty()) std::memcpy(data.data() + sizeof h, Rects.data(), Rects.size() * sizeof(TRect));
  return ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
}

// '#' for the points of a 12 x 8 area inside the region.
std::string Coverage(HRGN R) {
  std::string s;
  for (Integer y = 0; y < 8; ++y) {
    for (Integer x = 0; x < 12; ++x) s += PtInRegion(R, x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

TEST(RegionData, ARectangleListCoversExactlyItsRectanglesAndInvertedOnesNothing) {
  struct Case {
    const char* Name;
    std::vector<TRect> Rects;
    std::string Picture;
  } cases[] = {
      {"overlapping and touching",
       {TRect(1, 1, 4, 3), TRect(3, 2, 6, 5), TRect(6, 4, 8, 5), TRect(10, 0, 12, 1)},
       Lines({"..........##", ".###........", ".#####......", "...###......", "...#####....", "............",
              "............", "............"})},
      {"inverted and empty rectangles cover nothing",
       {TRect(5, 5, 2, 7), TRect(2, 7, 5, 5), TRect(8, 1, 8, 6), TRect(0, 6, 3, 6), TRect(9, 6, 11, 7)},
       Lines({"............", "............", "............", "............", "............", "............",
              ".........##.", "............"})},
      {"nothing", {}, Lines({"............", "............", "............", "............", "............",
                             "............", "............", "............"})},
  };
  for (const Case& c : cases) {
    HRGN r = RectList(c.Rects);
    ASSERT_NE(r, nullptr) << c.Name;
    EXPECT_EQ(Coverage(r), c.Picture) << c.Name;
    DeleteObject(r);
  }
}

TEST(RegionData, MalformedDataMakesNoRegion) {
  RGNDATAHEADER h{};
  h.dwSize = sizeof h;
  h.iType = RDH_RECTANGLES;
  h.nCount = 3;  // more rectangles than the data holds
  h.nRgnSize = 16;
  std::vector<char> data(sizeof h + 2 * sizeof(TRect));
  std::memcpy(data.data(), &h, sizeof h);
  EXPECT_EQ(ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<const RGNDATA*>(data.data())),
            nullptr);
  h.nCount = 0;
  h.iType = 2;
  std::memcpy(data.data(), &h, sizeof h);
  EXPECT_EQ(ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<const RGNDATA*>(data.data())),
            nullptr);
  EXPECT_EQ(ExtCreateRegion(nullptr, 8, reinterpret_cast<const RGNDATA*>(data.data())), nullptr);
}

TEST(RegionData, ACopyWithinOneSurfaceEqualsACopyThroughATemporary) {
  struct Case {
    Integer SX, SY, W, H, DX, DY;
  } cases[] = {
      {0, 0, 30, 20, 5, 0}, {5, 0, 30, 20, 0, 0}, {0, 0, 30, 20, 0, 7}, {0, 7, 30, 13, 0, 0},
      {3, 4, 20, 10, 6, 9}, {10, 10, 40, 40, -5, 2},  // reaching past the edges: cut
  };
  for (const Case& c : cases) {
    TTestDib self(32, 24), expect(32, 24), temp(32, 24);
    self.Randomize(7);
    std::memcpy(expect.Bits, self.Bits, self.Bytes().size());
    BitBlt(temp.DC, 0, 0, 32, 24, self.DC, 0, 0, SRCCOPY);
    BitBlt(expect.DC, c.DX, c.DY, c.W, c.H, temp.DC, c.SX, c.SY, SRCCOPY);
    BitBlt(self.DC, c.DX, c.DY, c.W, c.H, self.DC, c.SX, c.SY, SRCCOPY);
    EXPECT_EQ(self.Bytes(), expect.Bytes()) << c.SX << "," << c.SY << " to " << c.DX << "," << c.DY;
  }
}

TEST(RegionData, AClippedCopyDrawsOnlyInsideTheRegion) {
  TTestDib src(12, 8, 24, 0x0000FF), dst(12, 8, 24, 0xFFFFFF);
  HRGN r = RectList({TRect(1, 1, 4, 3), TRect(6, 5, 9, 7), TRect(9, 2, 3, 4)});
  SelectClipRgn(dst.DC, r);
  BitBlt(dst.DC, 0, 0, 12, 8, src.DC, 0, 0, SRCCOPY);
  SelectClipRgn(dst.DC, nullptr);
  DeleteObject(r);
  EXPECT_EQ(dst.Picture(0x0000FF), Lines({"............", ".###........", ".###........", "............",
                                           "............", "......###...", "......###...", "............"}));
}

// The mirrored stretch of the rolls: destination edges swapped past each
// other (Left = Right + 1, Right = Left - 1) at the source's own size give
// the picture flopped, as ImageMagick flops it.
TEST(RegionData, AMirroredStretchOfTheSameSizeIsAFlop) {
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick convert missing";
  gt_test::TempDir dir("flop");
  ASSERT_FALSE(dir.Path.empty());
  TTestDib src(23, 9), dst(23, 9);
  src.Randomize(3);
  std::vector<int> samples;
  for (Integer y = 0; y < 9; ++y)
    for (Integer x = 0; x < 23; ++x) {
      const COLORREF c = src.Raw(x, y);
      samples.insert(samples.end(), {int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c))});
    }
  const std::string in = dir.Path + "/in.ppm", out = dir.Path + "/out.ppm";
  ASSERT_TRUE(gt_test::WritePnmSamples(in, 23, 9, 3, 255, samples));
  ASSERT_EQ(gt_test::Shell("convert " + in + " -flop " + out), 0);
  gt_test::Pnm flopped;
  ASSERT_TRUE(gt_test::ReadPnm(out, flopped));
  // The rolls' destination (0, 0, 21, 9) with its edges swapped: from
  // Left = 22 to Right = -1, an extent of -23.
  const TRect d(0, 0, 21, 9);
  SetStretchBltMode(dst.DC, HALFTONE);
  StretchBlt(dst.DC, d.Right + 1, d.Top, (d.Left - 1) - (d.Right + 1), d.Bottom - d.Top, src.DC, 0, 0, 23, 9, SRCCOPY);
  for (Integer y = 0; y < 9; ++y)
    for (Integer x = 0; x < 23; ++x)
      ASSERT_EQ(dst.Raw(x, y), RGB(flopped.At(x, y, 0), flopped.At(x, y, 1), flopped.At(x, y, 2))) << x << "," << y;
}

TEST(RegionData, MulDivRoundsHalvesAwayFromZeroAndRefusesAZeroDivisor) {
  struct Case {
    Integer A, B, C, Result;
  } cases[] = {
      {400, 50, 100, 200}, {3, 1, 2, 2},        {-3, 1, 2, -2},      {5, 1, -2, -3},  {-5, -1, 2, 3},
      {7, 1, 3, 2},        {8, 1, 3, 3},        {1, 1, 0, -1},       {0, 5, 0, -1},   {2000000000, 3, 2, -1},
      {2000000000, 2, 4, 1000000000},  // the product needs 64 bits
  };
  for (const Case& c : cases) EXPECT_EQ(MulDiv(c.A, c.B, c.C), c.Result) << c.A << " x " << c.B << " / " << c.C;
}

}  // namespace
}  // namespace gdi_rgndata_tests
