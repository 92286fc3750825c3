// Whole-picture statistics, channel routines and the bit-depth row converter.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/kernels/iebitmapstats.h"
#include "kernels_support.h"

namespace test_bitmapstats_tests {

using namespace kernels_test;

namespace {

void RandomRGB(TIEBitmap& B, Integer W, Integer H, unsigned Seed, int Lo = 0, int Hi = 255) {
  std::mt19937 rng(Seed);
  B.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer i = 0; i < W * 3; ++i) RowOf(B, y)[i] = Byte(Lo + int(rng() % unsigned(Hi - Lo + 1)));
}

std::vector<Byte> AllRows(TIEBitmap& B) {
  std::vector<Byte> v;
  for (Integer y = 0; y < B.Height(); ++y) v.insert(v.end(), RowOf(B, y), RowOf(B, y) + B.RowLen());
  return v;
}

}  // namespace

TEST(AverageRGB, EveryFormatGivesBytes) {
  struct TCase {
    std::string Name;
    TIEPixelFormat PF;
    std::vector<Byte> Row0, Row1;  // raw bytes of the two rows of a 2 x 2 picture
    Integer R, G, B;
  };
  auto word = [](Word v) { return std::vector<Byte>{Byte(v), Byte(v >> 8)}; };
  auto cat = [](std::vector<Byte> a, const std::vector<Byte>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  auto flt = [](float a, float b) {
    std::vector<Byte> v(8);
    std::memcpy(v.data(), &a, 4);
    std::memcpy(v.data() + 4, &b, 4);
    return v;
  };
  const std::vector<TCase> cases{
      // Per row the sums are divided by the width, then the rows by the height.
      {"24-bit", ie24RGB, {10, 20, 30, 11, 21, 31}, {0, 0, 0, 1, 1, 1}, 15, 10, 5},
      {"32-bit", ie32RGB, {10, 20, 30, 99, 12, 22, 32, 99}, {10, 20, 30, 0, 12, 22, 32, 0}, 31, 21, 11},
      {"gray", ie8g, {100, 200}, {0, 50}, 87, 87, 87},
      {"16-bit gray", ie16g, cat(word(0xFFFF), word(0xFF00)), cat(word(0x0100), word(0x01FF)), 128, 128, 128},
      {"1 bit", ie1g, {0x80}, {0xC0}, 191, 191, 191},
      {"float", ie32f, flt(0.5f, 1.0f), flt(2.0f, -1.0f), 159, 159, 159},
      {"48-bit", ieRGB48, cat(cat(word(0xFF00), word(0x1000)), cat(cat(word(0x2000), word(0x0100)), cat(word(0x0200), word(0x03FF)))),
       cat(cat(word(0xFF00), word(0x1000)), cat(cat(word(0x2000), word(0x0100)), cat(word(0x0200), word(0x03FF)))), 128, 9, 17},
  };
  for (const TCase& c : cases) {
    TIEBitmap b(2, 2, c.PF);
    std::memcpy(RowOf(b, 0), c.Row0.data(), c.Row0.size());
    std::memcpy(RowOf(b, 1), c.Row1.data(), c.Row1.size());
    Integer r = -1, g = -1, bl = -1;
    IECalcAverageRGB(&b, r, g, bl);
    EXPECT_EQ(std::vector<Integer>({r, g, bl}), std::vector<Integer>({c.R, c.G, c.B})) << c.Name;
  }
  TIEBitmap pal(2, 1, ie8p);
  pal.SetPaletteColor(3, TRGB{10, 20, 30});
  pal.SetPaletteColor(4, TRGB{30, 40, 50});
  RowOf(pal, 0)[0] = 3;
  RowOf(pal, 0)[1] = 4;
  Integer r, g, b;
  IECalcAverageRGB(&pal, r, g, b);
  EXPECT_EQ(std::vector<Integer>({r, g, b}), std::vector<Integer>({40, 30, 20}));
  TIEBitmap empty;
  IECalcAverageRGB(&empty, r, g, b);
  EXPECT_EQ(std::vector<Integer>({r, g, b}), std::vector<Integer>({128, 128, 128}));
}

TEST(BitmapsEqual, ComparesSizeRowsAndAlpha) {
  TIEBitmap a, b;
  RandomRGB(a, 9, 5, 1);
  RandomRGB(b, 9, 5, 1);
  EXPECT_TRUE(IEBitmapsEqual(&a, &b));
  EXPECT_TRUE(IEBitmapsEqual(&a, &a));
  RowOf(b, 4)[26] ^= 1;  // last byte of the last pixel
  EXPECT_FALSE(IEBitmapsEqual(&a, &b));
  RowOf(b, 4)[26] ^= 1;
  b.GetAlphaChannel();
  EXPECT_FALSE(IEBitmapsEqual(&a, &b));
  a.GetAlphaChannel();
  EXPECT_TRUE(IEBitmapsEqual(&a, &b));
  RowOf(*a.GetAlphaChannel(), 2)[3] = 7;
  EXPECT_FALSE(IEBitmapsEqual(&a, &b));

  TIEBitmap wide, narrow;
  RandomRGB(wide, 10, 5, 2);
  RandomRGB(narrow, 9, 5, 2);
  EXPECT_FALSE(IEBitmapsEqual(&wide, &narrow));
  // Same size, shorter rows in the second picture: unequal, and no row is
  // read past its end.
  TIEBitmap gray(9, 5, ie8g), rgb(9, 5, ie24RGB);
  EXPECT_FALSE(IEBitmapsEqual(&rgb, &gray));
  EXPECT_FALSE(IEBitmapsEqual(&gray, &rgb));
}

TEST(MatchHistogram, ReshapesChannelsToTheReference) {
  TIEBitmap pic, self;
  RandomRGB(pic, 64, 48, 3);
  RandomRGB(self, 64, 48, 3);
  IEMatchHistogram(&pic, &self);
  const std::vector<Byte> before = AllRows(pic), after = AllRows(self);
  int worst = 0;
  for (size_t i = 0; i < before.size(); ++i) worst = std::max(worst, std::abs(int(before[i]) - int(after[i])));
  EXPECT_LE(worst, 2);

  // A dark picture takes the bright reference's levels, channel by channel.
  TIEBitmap dark, bright;
  RandomRGB(dark, 60, 40, 4, 0, 60);
  RandomRGB(bright, 50, 30, 5, 150, 250);
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 50; ++x) RowOf(bright, y)[3 * x + 1] = Byte(RowOf(bright, y)[3 * x + 1] - 140);  // green 10..110
  IEMatchHistogram(&bright, &dark);
  double mean[3] = {};
  Integer lo[3] = {255, 255, 255}, hi[3] = {};
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 60; ++x)
      for (Integer c = 0; c < 3; ++c) {
        const Byte v = RowOf(dark, y)[3 * x + c];
        mean[c] += v / 2400.0;
        lo[c] = std::min<Integer>(lo[c], v);
        hi[c] = std::max<Integer>(hi[c], v);
      }
  EXPECT_NEAR(mean[0], 200, 4);
  EXPECT_NEAR(mean[1], 60, 4);
  EXPECT_NEAR(mean[2], 200, 4);
  EXPECT_GE(lo[0], 150);
  EXPECT_LE(hi[0], 250);
  EXPECT_GE(lo[1], 10);
  EXPECT_LE(hi[1], 110);

  // 48-bit pictures map through their high bytes, blue being the third word.
  TIEBitmap src24, deep(60, 40, ieRGB48);
  RandomRGB(src24, 60, 40, 4, 0, 60);
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 60; ++x) {
      Word* w = reinterpret_cast<Word*>(RowOf(deep, y)) + 3 * x;
      const Byte* p = RowOf(src24, y) + 3 * x;
      w[0] = Word(p[2] * 257);
      w[1] = Word(p[1] * 257);
      w[2] = Word(p[0] * 257 + 3);  // the low byte is not looked at
    }
  IEMatchHistogram(&bright, &deep);
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 60; ++x) {
      const Word* w = reinterpret_cast<const Word*>(RowOf(deep, y)) + 3 * x;
      const Byte* p = RowOf(dark, y) + 3 * x;
      ASSERT_EQ(w[0], p[2] * 257);
      ASSERT_EQ(w[1], p[1] * 257);
      ASSERT_EQ(w[2], p[0] * 257);
    }

  // Only an ie24RGB reference counts; an empty reference histogram does nothing.
  TIEBitmap gray(4, 4, ie8g), target;
  RandomRGB(target, 5, 5, 6);
  const std::vector<Byte> orig = AllRows(target);
  IEMatchHistogram(&gray, &target);
  int64_t none[256] = {};
  IEMatchChannelHistogram(&target, 1, none, 0);
  IEMatchChannelHistogram(&target, 3, none, 10);
  EXPECT_EQ(AllRows(target), orig);
}

TEST(ReorderChannels, OrderStringsAndProgress) {
  struct TCase {
    std::string Order;
    Byte B, G, R;
  };
  // The pixel is blue 1, green 2, red 3.
  const std::vector<TCase> cases{{"BGR", 1, 2, 3}, {"RGB", 3, 2, 1}, {"rgb", 3, 2, 1}, {"R00", 3, 0, 0},
                                 {"GGG", 2, 2, 2}, {"0B0", 0, 1, 0}, {"RGBX", 3, 2, 1}, {"RG", 1, 2, 3},
                                 {"RXB", 1, 2, 3}, {"", 1, 2, 3}};
  for (const TCase& c : cases) {
    TIEBitmap rgb(3, 4, ie24RGB), deep(3, 4, ieRGB48);
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < 3; ++x) {
        *rgb.GetPixelRGBAddress(x, y) = TRGB{1, 2, 3};
        Word* w = reinterpret_cast<Word*>(RowOf(deep, y)) + 3 * x;
        w[0] = 3000, w[1] = 2000, w[2] = 1000;  // red, green, blue words
      }
    std::vector<Integer> progress;
    IEReorderChannels(&rgb, c.Order, [&](TObject*, Integer p) { progress.push_back(p); }, nullptr);
    IEReorderChannels(&deep, c.Order, nullptr, nullptr);
    const TRGB p = *rgb.GetPixelRGBAddress(2, 3);
    EXPECT_EQ(std::vector<Integer>({p.b, p.g, p.r}), std::vector<Integer>({c.B, c.G, c.R})) << c.Order;
    const Word* w = reinterpret_cast<const Word*>(RowOf(deep, 3)) + 6;
    EXPECT_EQ(std::vector<Integer>({w[2], w[1], w[0]}),
              std::vector<Integer>({c.B * 1000, c.G * 1000, c.R * 1000}))
        << c.Order;
    const bool valid = c.B != 1 || c.G != 2 || c.R != 3 || c.Order == "BGR";
    EXPECT_EQ(progress, valid ? std::vector<Integer>({0, 25, 50, 75}) : std::vector<Integer>()) << c.Order;
  }
  TIEBitmap gray(2, 2, ie8g);
  RowOf(gray, 0)[0] = 9;
  IEReorderChannels(&gray, "RGB", nullptr, nullptr);
  EXPECT_EQ(RowOf(gray, 0)[0], 9);
}

TEST(OpaqueBounds, InclusiveBoundsOfNonZeroAlpha) {
  TIEBitmap pic(8, 6, ie24RGB);
  TRect r;
  IEGetOpaqueBounds(&pic, r);
  EXPECT_EQ(r, TRect(0, 0, 7, 5));
  TIEBitmap* a = pic.GetAlphaChannel();
  a->Fill(0);
  IEGetOpaqueBounds(&pic, r);
  EXPECT_EQ(r, TRect(8, 6, -1, -1));
  RowOf(*a, 1)[5] = 1;
  RowOf(*a, 3)[2] = 200;
  RowOf(*a, 4)[7] = 9;
  IEGetOpaqueBounds(&pic, r);
  EXPECT_EQ(r, TRect(2, 1, 7, 4));
  a->Fill(255);
  IEGetOpaqueBounds(&pic, r);
  EXPECT_EQ(r, TRect(0, 0, 7, 5));
}

TEST(ConvertRowToIndexed, EveryPair) {
  const TRGB palette[16] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}, {16, 17, 18},
                            {19, 20, 21}, {22, 23, 24}, {25, 26, 27}, {28, 29, 30}, {31, 32, 33}, {34, 35, 36},
                            {37, 38, 39}, {40, 41, 42}, {43, 44, 45}, {46, 47, 48}};
  auto triples = [&](std::vector<int> idx) {
    std::vector<Byte> v;
    for (int i : idx) v.insert(v.end(), {palette[i].b, palette[i].g, palette[i].r});
    return v;
  };
  // A quantizer whose palette is exactly three colours, in order of first appearance.
  TIEBitmap qpic(3, 1, ie24RGB);
  *qpic.GetPixelRGBAddress(0, 0) = palette[0];
  *qpic.GetPixelRGBAddress(1, 0) = palette[5];
  *qpic.GetPixelRGBAddress(2, 0) = palette[9];
  TRGB qmap[256] = {};
  TIEQuantizer q(&qpic, qmap, 16);
  ASSERT_EQ(q.Strategy(), iqsExactColors);

  struct TCase {
    std::string Name;
    Integer SrcBits, DstBits, Width;
    std::vector<Byte> Src, Expected;
    Integer Result;
  };
  const std::vector<TCase> cases{
      {"1 to 1", 1, 1, 10, {0xA5, 0xC0}, {0xA5, 0xC0}, 2},
      {"1 to 4", 1, 4, 5, {0xA8}, {0x10, 0x10, 0x10}, 3},
      {"1 to 8", 1, 8, 5, {0xA8}, {1, 0, 1, 0, 1}, 5},
      {"1 to 24", 1, 24, 3, {0x40}, triples({0, 1, 0}), 9},
      {"4 to 4", 4, 4, 3, {0x12, 0x30}, {0x12, 0x30}, 2},
      {"4 to 8", 4, 8, 3, {0x1F, 0x70}, {1, 15, 7}, 3},
      {"4 to 24", 4, 24, 3, {0x2F, 0x30}, triples({2, 15, 3}), 9},
      {"8 to 1", 8, 1, 10, {1, 0, 0, 1, 1, 1, 1, 1, 0, 1}, {0x9F, 0x40}, 2},
      // Bytes above 1: each pixel takes its byte's lowest bit, and no byte
      // reaches the bits of its neighbours (a whole byte shifted into place
      // would set pixels 0..6 from the 0xFF of pixel 7; a non-zero test would
      // set pixels 0, 4, 6 and 9). Lowest bits 0 1 1 0 0 1 0 1 | 1 0.
      {"8 to 1, lowest bit of larger bytes", 8, 1, 10, {2, 3, 255, 0, 0x80, 1, 0xFE, 0xFF, 7, 4}, {0x65, 0x80}, 2},
      {"8 to 8", 8, 8, 3, {9, 8, 7}, {9, 8, 7}, 3},
      {"8 to 24", 8, 24, 2, {15, 4}, triples({15, 4}), 6},
      {"24 to 4", 24, 4, 3, triples({9, 0, 5}), {0x20, 0x10}, 2},
      {"24 to 8", 24, 8, 3, triples({9, 0, 5}), {2, 0, 1}, 3},
      {"24 to 24", 24, 24, 2, triples({3, 4}), triples({3, 4}), 6},
      {"32 to 24", 32, 24, 2, {1, 2, 3, 99, 4, 5, 6, 98}, {1, 2, 3, 4, 5, 6}, 6},
      {"no rule", 4, 1, 9, {0x11, 0x11, 0x11, 0x11, 0x11}, {0, 0}, 2},
      {"no depth", 8, 16, 4, {1, 2, 3, 4}, {}, 0},
  };
  for (const TCase& c : cases) {
    std::vector<Byte> dst(c.Expected.size() + 4, 0);
    const Integer n = IEConvertRowToIndexed(c.Src.data(), dst.data(), c.SrcBits, c.DstBits, c.Width, palette, &q);
    EXPECT_EQ(n, c.Result) << c.Name;
    EXPECT_EQ(std::vector<Byte>(dst.begin(), dst.begin() + Integer(c.Expected.size())), c.Expected) << c.Name;
    EXPECT_EQ(dst[c.Expected.size()], 0) << c.Name << ": wrote past the row";
  }
}

}  // namespace test_bitmapstats_tests
