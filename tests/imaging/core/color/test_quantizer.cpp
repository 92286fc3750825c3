// Colour quantizer: strategy choice, palettes and lookups of each strategy,
// and the quality of median cut against ImageMagick on photo-like pictures.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "imaging/core/color/iequantizer.h"
#include "tests/imaging/core/color/quant_support.h"

namespace test_quantizer_tests {

using namespace quant_test;

namespace {

Cardinal Pack(const TRGB& c) { return (Cardinal(c.r) << 16) | (Cardinal(c.g) << 8) | c.b; }

// Restores the library-wide quantizer settings after each test.
class Quantizer : public ::testing::Test {
 protected:
  void TearDown() override {
    IEQuantizerMethod = SavedMethod;
    IEQuantizerQuality = SavedQuality;
  }
  Integer SavedMethod = IEQuantizerMethod, SavedQuality = IEQuantizerQuality;
};

const TRGB kSentinel = Rgb(7, 8, 9);

std::vector<TRGB> FreshMap() { return std::vector<TRGB>(256, kSentinel); }

// A non-gray picture of exactly N distinct colours, in a known order.
TRGB NthColour(Integer i) { return Rgb(Byte(i * 37 + 1), Byte(i * 11 + 50), Byte(255 - i)); }
void MakeNColours(TIEBitmap& B, Integer N, Integer W = 23) {
  const Integer h = (N + W - 1) / W + 1;
  MakeRGB(B, W, h, [&](Integer x, Integer y) { return NthColour((y * W + x) % N); });
}

// Mean squared error per channel of Original against its palette mapping.
double MappedMse(TIEBitmap& Original, TIEQuantizer& Q, const std::vector<TRGB>& Map) {
  double sum = 0;
  std::vector<Byte> idx(size_t(Original.Width()));
  for (Integer y = 0; y < Original.Height(); ++y) {
    const TRGB* s = static_cast<const TRGB*>(Original.GetScanline(y));
    Q.RGBIndexRow(s, idx.data(), Original.Width());
    for (Integer x = 0; x < Original.Width(); ++x) {
      const TRGB& p = Map[idx[x]];
      const double dr = s[x].r - p.r, dg = s[x].g - p.g, db = s[x].b - p.b;
      sum += dr * dr + dg * dg + db * db;
    }
  }
  return sum / (3.0 * Original.Width() * Original.Height());
}

double MseAgainst(const Pnm& A, const Pnm& B) {
  double sum = 0;
  for (size_t i = 0; i < A.Data.size(); ++i) {
    const double d = double(A.Data[i]) - double(B.Data[i]);
    sum += d * d;
  }
  return sum / double(A.Data.size());
}

// ---------------------------------------------------------------------------
// Strategy choice

TEST_F(Quantizer, ExactColoursInOrderOfFirstAppearance) {
  // Rows from the top, each from the left; repeats do not count again.
  const TRGB a = Rgb(200, 10, 10), b = Rgb(10, 200, 10), c = Rgb(10, 10, 200), d = Rgb(90, 80, 70),
             e = Rgb(1, 2, 4), f = Rgb(255, 254, 253);
  const TRGB rows[3][5] = {{a, b, a, b, c}, {c, d, a, e, e}, {f, f, a, b, d}};
  TIEBitmap pic;
  MakeRGB(pic, 5, 3, [&](Integer x, Integer y) { return rows[y][x]; });
  auto map = FreshMap();
  TIEQuantizer q(&pic, map.data(), 6);
  EXPECT_EQ(q.Strategy(), iqsExactColors);
  EXPECT_FALSE(q.GrayScale());
  EXPECT_EQ(q.ExactColorCount(), 6);
  const TRGB order[6] = {a, b, c, d, e, f};
  for (Integer i = 0; i < 6; ++i) {
    EXPECT_EQ(Pack(map[i]), Pack(order[i])) << i;
    EXPECT_EQ(q.RGBIndex(order[i]), i);
  }
  EXPECT_EQ(Pack(map[6]), Pack(kSentinel)) << "entries the strategy does not make stay";
  EXPECT_EQ(q.RGBIndex(Rgb(3, 3, 4)), -1) << "a colour the picture lacks";

  // Fewer colours than NCol is exact as well.
  auto map2 = FreshMap();
  TIEQuantizer q2(&pic, map2.data(), 200);
  EXPECT_EQ(q2.Strategy(), iqsExactColors);
  EXPECT_EQ(q2.ExactColorCount(), 6);
  EXPECT_EQ(Pack(map2[5]), Pack(f));
}

TEST_F(Quantizer, OneColourMoreThanNColChoosesTheReducerByNCol) {
  struct Case {
    Integer method, ncol;
    TIEQuantizerStrategy expected;
    Integer expectedMethod;
  };
  const Case cases[] = {
      {-1, 16, iqsMedianCut, 1},   {-1, 127, iqsMedianCut, 1}, {-1, 128, iqsNeuralNet, 0},
      {-1, 255, iqsNeuralNet, 0},  {0, 16, iqsNeuralNet, 0},   {1, 200, iqsMedianCut, 1},
      {5, 16, iqsNeuralNet, 0},  // other values act as 0
  };
  for (const Case& c : cases) {
    IEQuantizerMethod = c.method;
    TIEBitmap exact, over;
    MakeNColours(exact, c.ncol);
    MakeNColours(over, c.ncol + 1);
    auto map = FreshMap();
    TIEQuantizer qe(&exact, map.data(), c.ncol);
    EXPECT_EQ(qe.Strategy(), iqsExactColors) << c.ncol;
    TIEQuantizer qo(&over, map.data(), c.ncol);
    EXPECT_EQ(qo.Strategy(), c.expected) << "method " << c.method << " NCol " << c.ncol;
    EXPECT_EQ(qo.Method(), c.expectedMethod);
    for (Integer i = 0; i <= c.ncol; ++i) {
      const Integer k = qo.RGBIndex(NthColour(i));
      EXPECT_TRUE(k >= 0 && k < c.ncol) << k;
    }
  }
}

TEST_F(Quantizer, GrayPicturesGetARampAndAreLookedUpByTheirRed) {
  TIEBitmap gray;
  MakeRGB(gray, 256, 1, [](Integer x, Integer) { return TRGB{Byte(x), Byte(x), Byte(x)}; });
  struct Case {
    Integer ncol;
    std::vector<Byte> firstEntries;
  };
  const Case cases[] = {{16, {0, 16, 32, 48}}, {256, {0, 1, 2, 3}}, {3, {0, 85, 170}}, {10, {0, 25, 51, 76}}};
  for (const Case& c : cases) {
    auto map = FreshMap();
    TIEQuantizer q(&gray, map.data(), c.ncol);
    EXPECT_EQ(q.Strategy(), iqsGrayRamp);
    EXPECT_TRUE(q.GrayScale());
    for (size_t i = 0; i < c.firstEntries.size(); ++i) {
      EXPECT_EQ(map[i].r, c.firstEntries[i]) << c.ncol << " #" << i;
      EXPECT_EQ(map[i].g, c.firstEntries[i]);
      EXPECT_EQ(map[i].b, c.firstEntries[i]);
    }
    if (c.ncol < 256) {
      EXPECT_EQ(Pack(map[size_t(c.ncol)]), Pack(kSentinel)) << c.ncol;
    }
  }
  auto map = FreshMap();
  TIEQuantizer q16(&gray, map.data(), 16);
  EXPECT_EQ(map[15].r, 240);
  EXPECT_EQ(q16.RGBIndex(Rgb(200, 200, 200)), 12);
  TIEQuantizer q256(&gray, map.data(), 256);
  for (Integer v = 0; v < 256; ++v) ASSERT_EQ(q256.RGBIndex(Rgb(Byte(v), Byte(v), Byte(v))), v);

  // Gray formats other than 24-bit take the same ramp.
  TIEBitmap g8(4, 4, ie8g);
  auto map8 = FreshMap();
  TIEQuantizer q8(&g8, map8.data(), 4);
  EXPECT_EQ(q8.Strategy(), iqsGrayRamp);
  EXPECT_EQ(map8[3].r, 192);
}

TEST_F(Quantizer, GrayPalettePictureIsLookedUpInItsOwnPalette) {
  // A gray palette that is not the ramp (reversed, with a duplicate): the
  // indexes must point at the entries the ColorMap holds.
  TIEBitmap pic(8, 2, ie8p);
  for (Integer i = 0; i < 256; ++i) pic.SetPaletteColor(i, TRGB{Byte(255 - i), Byte(255 - i), Byte(255 - i)});
  pic.SetPaletteColor(200, TRGB{250, 250, 250});  // the same colour as entry 5
  ASSERT_TRUE(pic.IsGrayScale());
  auto map = FreshMap();
  TIEQuantizer q(&pic, map.data(), 256);
  EXPECT_EQ(q.Strategy(), iqsPalette);
  EXPECT_TRUE(q.GrayScale());
  for (Integer i = 0; i < 256; ++i) {
    ASSERT_EQ(Pack(map[i]), Pack(pic.GetPaletteBuffer()[i])) << i;
    if (i != 200) {
      ASSERT_EQ(q.RGBIndex(map[i]), i) << "entry " << i;
    }
  }
  EXPECT_EQ(q.RGBIndex(TRGB{250, 250, 250}), 5) << "the first equal entry";
  EXPECT_EQ(q.RGBIndex(Rgb(1, 2, 3)), 256) << "an absent colour gives the palette length";

  // A colour palette behaves the same; NCol copies only its first entries.
  TIEBitmap colour(2, 2, ie8p);
  colour.SetPaletteColor(0, Rgb(9, 0, 0));
  colour.SetPaletteColor(1, Rgb(0, 9, 0));
  auto map2 = FreshMap();
  TIEQuantizer q2(&colour, map2.data(), 1);
  EXPECT_EQ(Pack(map2[0]), Pack(Rgb(9, 0, 0)));
  EXPECT_EQ(Pack(map2[1]), Pack(kSentinel));
  EXPECT_EQ(q2.RGBIndex(Rgb(0, 9, 0)), 1);
}

TEST_F(Quantizer, NonGrayPictureOfAnotherFormatLeavesTheMapAlone) {
  TIEBitmap pic(3, 1, ie32RGB);
  static_cast<Byte*>(pic.GetScanline(0))[0] = 200;
  auto map = FreshMap();
  TIEQuantizer q(&pic, map.data(), 16);
  EXPECT_EQ(q.Strategy(), iqsNone);
  EXPECT_EQ(Pack(map[0]), Pack(kSentinel));
  EXPECT_EQ(q.RGBIndex(Rgb(200, 0, 0)), 0);
}

TEST_F(Quantizer, RowLookupEqualsSingleLookups) {
  TIEBitmap photo;
  Lcg rnd(5);
  MakeRGB(photo, 97, 31, [&](Integer x, Integer y) {
    const uint32_t v = rnd.Next();
    return Rgb(Byte(x * 2 + (v & 15)), Byte(y * 8 + ((v >> 4) & 15)), Byte((x + y) * 2));
  });
  TIEBitmap few;
  MakeNColours(few, 40);
  TIEBitmap gray;
  MakeRGB(gray, 50, 2, [](Integer x, Integer) { return TRGB{Byte(x * 5), Byte(x * 5), Byte(x * 5)}; });
  struct Case {
    TIEBitmap* pic;
    Integer method, ncol;
  };
  const Case cases[] = {{&photo, 1, 32}, {&photo, 0, 200}, {&few, -1, 64}, {&gray, -1, 16}};
  for (const Case& c : cases) {
    IEQuantizerMethod = c.method;
    auto map = FreshMap();
    TIEQuantizer q(c.pic, map.data(), c.ncol);
    std::vector<Byte> row(size_t(c.pic->Width()));
    for (Integer y = 0; y < c.pic->Height(); ++y) {
      const TRGB* s = static_cast<const TRGB*>(c.pic->GetScanline(y));
      q.RGBIndexRow(s, row.data(), c.pic->Width());
      for (Integer x = 0; x < c.pic->Width(); ++x) ASSERT_EQ(row[x], Byte(q.RGBIndex(s[x]))) << x << "," << y;
    }
  }
}

// ---------------------------------------------------------------------------
// Median cut

TEST_F(Quantizer, MedianCutStopsWhenNoBoxCanBeSplit) {
  // Three 5-bit cells only: three boxes, whatever NCol asks.
  const TRGB cells[3] = {Rgb(8, 16, 24), Rgb(200, 40, 16), Rgb(64, 240, 160)};
  TIEBitmap pic;
  MakeRGB(pic, 30, 10, [&](Integer x, Integer y) {
    TRGB c = cells[(x + 2 * y) % 3];
    c.b = Byte(c.b + (x % 8));  // stays in its cell
    return c;
  });
  auto map = FreshMap();
  std::unique_ptr<TIEMedianCut, void (*)(TIEMedianCut*)> mc(IEMedianCutBuild(&pic, map.data(), 100), IEMedianCutFree);
  EXPECT_EQ(IEMedianCutCount(mc.get()), 3);
  for (Integer i = 3; i < 100; ++i) ASSERT_EQ(Pack(map[i]), Pack(kSentinel)) << i;
  std::set<Integer> seen;
  for (const TRGB& c : cells) {
    const Integer k = IEMedianCutIndex(mc.get(), Pack(c));
    seen.insert(k);
    EXPECT_EQ(map[k].r, c.r);
    EXPECT_EQ(map[k].g, c.g);
    EXPECT_NEAR(map[k].b, c.b + 3.5, 0.5);
  }
  EXPECT_EQ(seen.size(), 3u);
  // A colour never seen maps through its cell: inside a box it gets that
  // box, outside every box index 0.
  EXPECT_EQ(IEMedianCutIndex(mc.get(), Pack(Rgb(207, 47, 23))), IEMedianCutIndex(mc.get(), Pack(cells[1])));
  EXPECT_EQ(IEMedianCutIndex(mc.get(), Pack(Rgb(128, 128, 128))), 0);
}

TEST_F(Quantizer, MedianCutKeepsWhiteWhite) {
  // Palette entries are the mean of the real colours of their box, so pure
  // white stays (255, 255, 255) rather than losing up to 7 per channel.
  TIEBitmap pic;
  MakeRGB(pic, 64, 64, [](Integer x, Integer y) {
    if (x < 32) return Rgb(255, 255, 255);
    return Rgb(Byte(x), Byte(y), Byte((x * y) % 100));
  });
  IEQuantizerMethod = 1;
  auto map = FreshMap();
  TIEQuantizer q(&pic, map.data(), 16);
  ASSERT_EQ(q.Strategy(), iqsMedianCut);
  const TRGB w = map[q.RGBIndex(Rgb(255, 255, 255))];
  EXPECT_EQ(Pack(w), Pack(Rgb(255, 255, 255)));
}

TEST_F(Quantizer, MedianCutSeesEveryColumnOfPicturesWiderThan65535) {
  // 70,000 x 1: the colours of the last 4,464 columns are what a 16-bit width
  // (70,000 mod 65,536) would keep, and they are the ones beyond 65,536.
  const Integer w = 70000;
  TIEBitmap pic;
  MakeRGB(pic, w, 1, [](Integer x, Integer) {
    if (x < 65536) return Rgb(0, 0, 0);
    return Rgb(255, Byte(x % 20 * 12), 255);
  });
  IEQuantizerMethod = 1;
  auto map = FreshMap();
  TIEQuantizer q(&pic, map.data(), 16);
  ASSERT_EQ(q.Strategy(), iqsMedianCut);
  EXPECT_EQ(Pack(map[q.RGBIndex(Rgb(0, 0, 0))]), Pack(Rgb(0, 0, 0)));
  for (Integer k = 0; k < 20; ++k) {
    const TRGB c = Rgb(255, Byte(k * 12), 255);
    const TRGB p = map[q.RGBIndex(c)];
    EXPECT_EQ(p.r, 255) << k;
    EXPECT_EQ(p.b, 255) << k;
    EXPECT_NEAR(p.g, c.g, 24) << k;
  }
}

TEST_F(Quantizer, MedianCutMatchesImageMagickQualityOnPhotos) {
  if (Shell("convert -version >/dev/null 2>&1") != 0) GTEST_FAIL() << "ImageMagick (convert) is not installed";
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  const char* makers[] = {
      "convert -size 256x192 -seed 11 plasma:fractal",
      "convert -size 256x192 -seed 12 plasma:tomato-steelblue -blur 0x1",
      "convert -size 256x192 -seed 13 gradient:navy-orange -attenuate 0.6 +noise Gaussian",
  };
  IEQuantizerMethod = -1;
  for (int i = 0; i < 3; ++i) {
    const std::string in = dir.File("photo" + std::to_string(i) + ".ppm");
    const std::string out = dir.File("im" + std::to_string(i) + ".ppm");
    ASSERT_EQ(Shell(std::string(makers[i]) + " -depth 8 " + in), 0);
    ASSERT_EQ(Shell("convert " + in + " +dither -colors 16 -depth 8 " + out), 0);
    Pnm original, im;
    ASSERT_TRUE(ReadPnm(in, original));
    ASSERT_TRUE(ReadPnm(out, im));
    TIEBitmap pic;
    ASSERT_TRUE(LoadRGB(original, pic));
    auto map = FreshMap();
    TIEQuantizer q(&pic, map.data(), 16);
    ASSERT_EQ(q.Strategy(), iqsMedianCut);
    const double ours = MappedMse(pic, q, map), theirs = MseAgainst(original, im);
    EXPECT_LE(ours, 1.5 * theirs) << makers[i] << ": ours " << ours << ", ImageMagick " << theirs;
    std::printf("photo %d: median-cut MSE %.2f, ImageMagick %.2f\n", i, ours, theirs);
  }
}

// ---------------------------------------------------------------------------
// Neural net

TEST_F(Quantizer, NeuralNetSamplingFactor) {
  struct Case {
    Integer w, h, quality, factor;
  };
  const Case cases[] = {
      {40, 25, 100, 1}, {40, 25, 0, 30}, {40, 25, 50, 15}, {40, 25, -1, 1},
      {100, 20, -1, 2},  // P = 2000: Nearest(0 + 2)
      {800, 500, -1, 30},
  };
  for (const Case& c : cases) {
    TIEBitmap pic;
    MakeRGB(pic, c.w, c.h, [](Integer x, Integer y) { return Rgb(Byte(x), Byte(y), Byte(x ^ y)); });
    auto map = FreshMap();
    std::unique_ptr<TIENeuQuant, void (*)(TIENeuQuant*)> nq(IENeuQuantBuild(&pic, map.data(), 64, c.quality),
                                                            IENeuQuantFree);
    EXPECT_EQ(IENeuQuantSamplingFactor(nq.get()), c.factor) << c.w << "x" << c.h << " q" << c.quality;
  }
}

TEST_F(Quantizer, NeuralNetOnATinyPictureStaysInsideIt) {
  // 10 x 20 pixels, 150 colours, NCol 128: the sampling step (499 pixels)
  // exceeds twice the pixel count; every sample must still come from the
  // picture (the sanitizer build checks the reads).
  TIEBitmap pic;
  MakeRGB(pic, 10, 20, [](Integer x, Integer y) {
    const Integer i = (y * 10 + x) % 150;
    return Rgb(Byte(i * 37 % 256), Byte(i * 91 % 256), Byte(i * 13 % 256));
  });
  auto map = FreshMap();
  IEQuantizerMethod = -1;
  IEQuantizerQuality = -1;
  TIEQuantizer q(&pic, map.data(), 128);
  ASSERT_EQ(q.Strategy(), iqsNeuralNet);
  double err = 0;
  for (Integer i = 0; i < 150; ++i) {
    const TRGB c = Rgb(Byte(i * 37 % 256), Byte(i * 91 % 256), Byte(i * 13 % 256));
    const Integer k = q.RGBIndex(c);
    ASSERT_TRUE(k >= 0 && k < 128) << k;
    err += std::abs(map[k].r - c.r) + std::abs(map[k].g - c.g) + std::abs(map[k].b - c.b);
  }
  EXPECT_LT(err / 150, 60) << "the network learnt the picture's colours";
  EXPECT_EQ(Pack(map[128]), Pack(kSentinel));
}

TEST_F(Quantizer, NeuralNetPaletteFollowsNeuronOrderAndLookupsHitTheirColour) {
  TIEBitmap pic;
  // Four well-separated clusters, many colours each.
  const TRGB centres[4] = {Rgb(20, 20, 20), Rgb(230, 40, 40), Rgb(40, 220, 60), Rgb(60, 60, 230)};
  Lcg rnd(3);
  MakeRGB(pic, 120, 100, [&](Integer x, Integer y) {
    TRGB c = centres[(x / 30 + y / 50) % 4];
    const uint32_t v = rnd.Next();
    c.r = Byte(c.r + (v & 15));
    c.g = Byte(c.g + ((v >> 4) & 15));
    c.b = Byte(c.b + ((v >> 8) & 15));
    return c;
  });
  auto map = FreshMap();
  std::unique_ptr<TIENeuQuant, void (*)(TIENeuQuant*)> nq(IENeuQuantBuild(&pic, map.data(), 8, 100), IENeuQuantFree);
  for (const TRGB& c : centres) {
    const TRGB mid = TRGB{Byte(c.b + 7), Byte(c.g + 7), Byte(c.r + 7)};
    const Integer k = IENeuQuantIndex(nq.get(), Pack(mid));
    ASSERT_TRUE(k >= 0 && k < 8);
    EXPECT_LT(std::abs(map[k].r - mid.r) + std::abs(map[k].g - mid.g) + std::abs(map[k].b - mid.b), 30)
        << "cluster " << int(c.r) << "," << int(c.g) << "," << int(c.b);
  }
}

// ---------------------------------------------------------------------------
// Repeatability

TEST_F(Quantizer, SameInputGivesTheSamePaletteAndIndexes) {
  TIEBitmap pic;
  Lcg rnd(21);
  MakeRGB(pic, 160, 90, [&](Integer x, Integer y) {
    const uint32_t v = rnd.Next();
    return Rgb(Byte(x + (v & 31)), Byte(y * 2 + ((v >> 5) & 31)), Byte((x * y) >> 5));
  });
  for (Integer method : {0, 1}) {
    for (Integer ncol : {16, 256}) {
      IEQuantizerMethod = method;
      std::vector<TRGB> maps[2] = {FreshMap(), FreshMap()};
      std::vector<Byte> rows[2];
      for (int run = 0; run < 2; ++run) {
        TIEQuantizer q(&pic, maps[run].data(), ncol);
        ASSERT_EQ(q.Strategy(), method == 1 ? iqsMedianCut : iqsNeuralNet);
        std::vector<Byte> row(160);
        for (Integer y = 0; y < 90; ++y) {
          q.RGBIndexRow(static_cast<const TRGB*>(pic.GetScanline(y)), row.data(), 160);
          rows[run].insert(rows[run].end(), row.begin(), row.end());
        }
      }
      EXPECT_EQ(0, std::memcmp(maps[0].data(), maps[1].data(), 256 * sizeof(TRGB))) << method << "/" << ncol;
      EXPECT_EQ(rows[0], rows[1]) << method << "/" << ncol;
    }
  }
}

}  // namespace

}  // namespace test_quantizer_tests
