// Alpha channel life cycle, merging on a background, and whole-bitmap copies.
#include <cstring>
#include <limits>

#include "bitmap_fixture.h"

namespace test_bitmap_alpha_tests {

namespace {

Byte& At(TIEBitmap& b, int x, int y) { return static_cast<Byte*>(b.GetScanline(y))[x]; }

}  // namespace

TEST_F(BitmapTest, AlphaChannelIsCreatedOpaqueOnFirstUse) {
  for (int64_t threshold : {int64_t(0), std::numeric_limits<int64_t>::max()}) {
    IEMemoryThresholdOverride = threshold;
    TIEBitmap b(7, 5, ie24RGB);
    EXPECT_FALSE(b.HasAlphaChannel());
    TIEBitmap* a = b.GetAlphaChannel();
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(b.HasAlphaChannel());
    EXPECT_TRUE(a->IsAlphaChannel());
    EXPECT_EQ(a->PixelFormat(), ie8g);
    EXPECT_EQ(a->Width(), 7);
    EXPECT_EQ(a->Height(), 5);
    EXPECT_EQ(a->Location(), b.Location());
    EXPECT_TRUE(a->Full());
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(At(*a, x, y), 255);
    EXPECT_EQ(a->GetAlphaChannel(), nullptr);  // an alpha channel has none
    EXPECT_EQ(b.GetAlphaChannel(), a);
  }
}

TEST_F(BitmapTest, AlphaChannelFollowsResizeAndAttachReturnsThePrevious) {
  TIEBitmap b(4, 4, ie24RGB);
  At(*b.GetAlphaChannel(), 1, 1) = 17;
  b.SetWidth(6);
  b.SetHeight(3);
  TIEBitmap* a = b.GetAlphaChannel();
  EXPECT_EQ(a->Width(), 6);
  EXPECT_EQ(a->Height(), 3);
  EXPECT_EQ(At(*a, 1, 1), 17);

  auto fresh = TIEBitmap::CreateAlphaChannel(6, 3, ieTBitmap);
  EXPECT_EQ(fresh->Location(), ieMemory);
  TIEBitmap* freshRaw = fresh.get();
  std::unique_ptr<TIEBitmap> previous = b.AttachAlphaChannel(std::move(fresh));
  EXPECT_EQ(previous.get(), a);  // alive, handed back to the caller
  EXPECT_EQ(At(*previous, 1, 1), 17);
  EXPECT_EQ(b.GetAlphaChannel(), freshRaw);
  EXPECT_TRUE(freshRaw->IsAlphaChannel());
}

// Merging on the background is exact at both ends of the alpha range:
// alpha 0 gives the background and alpha 255 keeps the pixel, for every
// value; between them it is the rounded blend.
TEST_F(BitmapTest, RemoveAlphaChannelBlendIsExactAtTransparentAndOpaque) {
  const Byte alphas[] = {0, 255, 128, 1, 254};
  const TColor background = 0xFF0A05;  // red 5, green 10, blue 255
  const Byte back[3] = {255, 10, 5};   // blue, green, red storage order
  TIEBitmap b(256, 5, ie24RGB);
  TIEBitmap* a = b.GetAlphaChannel();
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 256; ++x) {
      std::memset(static_cast<Byte*>(b.GetScanline(y)) + 3 * x, x, 3);
      At(*a, x, y) = alphas[y];
    }
  b.RemoveAlphaChannel(true, background);
  EXPECT_FALSE(b.HasAlphaChannel());
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 256; ++x)
      for (int c = 0; c < 3; ++c) {
        double exact = (double(x) * alphas[y] + double(back[c]) * (255 - alphas[y])) / 255.0;
        ASSERT_EQ(static_cast<Byte*>(b.GetScanline(y))[3 * x + c], Round(exact))
            << "alpha " << int(alphas[y]) << " value " << x << " channel " << c;
      }
  for (int x = 0; x < 256; ++x) {
    EXPECT_EQ(static_cast<Byte*>(b.GetScanline(0))[3 * x + 2], 5);  // transparent: background red
    EXPECT_EQ(static_cast<Byte*>(b.GetScanline(1))[3 * x + 2], x);  // opaque: kept
  }
}

TEST_F(BitmapTest, RemoveAlphaChannelResolvesSystemBackgroundColours) {
  TIEBitmap b(1, 1, ie24RGB);
  static_cast<Byte*>(b.GetAlphaChannel()->GetScanline(0))[0] = 0;
  b.RemoveAlphaChannel(true, clWindow);
  COLORREF expected = GetSysColor(COLOR_WINDOW);
  auto* px = static_cast<Byte*>(b.GetScanline(0));
  EXPECT_EQ(px[0], GetBValue(expected));
  EXPECT_EQ(px[1], GetGValue(expected));
  EXPECT_EQ(px[2], GetRValue(expected));
}

TEST_F(BitmapTest, RemoveAlphaChannelMergesOnlyColourPictures) {
  TIEBitmap g(4, 1, ie8g);
  std::memset(g.GetScanline(0), 100, 4);
  std::memset(g.GetAlphaChannel()->GetScanline(0), 0, 4);
  g.RemoveAlphaChannel(true, 0xFFFFFF);
  EXPECT_FALSE(g.HasAlphaChannel());
  EXPECT_EQ(At(g, 3, 0), 100);

  // Without Merge the pixels stay; an alpha channel itself has nothing to drop.
  TIEBitmap c(2, 1, ie24RGB);
  std::memset(c.GetAlphaChannel()->GetScanline(0), 0, 2);
  TIEBitmap* a = c.GetAlphaChannel();
  a->RemoveAlphaChannel(true, 0);
  c.RemoveAlphaChannel(false, 0xFFFFFF);
  EXPECT_EQ(At(c, 0, 0), 0);
  EXPECT_FALSE(c.HasAlphaChannel());
}

// Assign copies size, format, pixels, palette and alpha channel between any
// two storages; two file-backed bitmaps copy file to file.
struct AssignCase {
  const char* name;
  int64_t srcThreshold, dstThreshold;
};

void PrintTo(const AssignCase& c, std::ostream* os) { *os << c.name; }

class AssignBetween : public BitmapTest, public ::testing::WithParamInterface<AssignCase> {};

TEST_P(AssignBetween, CopiesEverything) {
  IEMemoryThresholdOverride = GetParam().srcThreshold;
  TIEBitmap src(33, 17, ie8p);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < src.RowLen(); ++x) At(src, x, y) = static_cast<Byte>(x * 3 + y * 11);
  src.SetPaletteColor(3, TRGB{30, 31, 32});
  src.SetPaletteUsed(16);
  src.SetBlackWhiteMethod(0);
  At(*src.GetAlphaChannel(), 32, 16) = 5;

  IEMemoryThresholdOverride = GetParam().dstThreshold;
  TIEBitmap dst(3, 3, ie24RGB);
  dst.Assign(&src);
  EXPECT_EQ(dst.Width(), 33);
  EXPECT_EQ(dst.Height(), 17);
  EXPECT_EQ(dst.PixelFormat(), ie8p);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < src.RowLen(); ++x) ASSERT_EQ(At(dst, x, y), static_cast<Byte>(x * 3 + y * 11));
  EXPECT_EQ(dst.GetPaletteBuffer()[3].g, 31);
  EXPECT_EQ(dst.PaletteUsed(), 16);
  EXPECT_EQ(dst.BlackWhiteMethod(), 0);
  ASSERT_TRUE(dst.HasAlphaChannel());
  EXPECT_EQ(At(*dst.GetAlphaChannel(), 32, 16), 5);
  EXPECT_EQ(At(*dst.GetAlphaChannel(), 0, 0), 255);

  // A source without alpha removes the destination's.
  TIEBitmap plain(2, 2, ie8g);
  dst.Assign(&plain);
  EXPECT_FALSE(dst.HasAlphaChannel());
  EXPECT_EQ(dst.GetPaletteLength(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Locations, AssignBetween,
    ::testing::Values(AssignCase{"MemoryToMemory", std::numeric_limits<int64_t>::max(),
                                 std::numeric_limits<int64_t>::max()},
                      AssignCase{"MemoryToFile", std::numeric_limits<int64_t>::max(), 0},
                      AssignCase{"FileToMemory", 0, std::numeric_limits<int64_t>::max()},
                      AssignCase{"FileToFile", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace test_bitmap_alpha_tests
