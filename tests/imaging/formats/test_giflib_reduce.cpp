// Colour reduction of the GIF library: the lookups' exact answers, the DIB
// row layout, the octree's palettes (a huge one-colour picture included),
// and every reduction method with every dither engine on memory bitmaps.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <set>

#include "imaging/formats/giflib_reduce.h"
#include "tests/imaging/formats/giflib_test_util.h"
#include "tests/support/lcg.h"

namespace giflib_reduce_tests {
namespace {

HPALETTE Palette(std::vector<std::array<Byte, 3>> Colors) {
  std::vector<Byte> buf(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY), 0);
  auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = WORD(Colors.size());
  for (size_t i = 0; i < Colors.size(); ++i) (&lp->palPalEntry[0])[i] = {Colors[i][0], Colors[i][1], Colors[i][2], 0};
  return CreatePalette(lp);
}

using giflib_test::Bitmap24;

// The colour of each pixel of an 8-bit result, through its colour table.
std::vector<std::array<Byte, 3>> Colors(TBitmap* B) {
  std::vector<std::array<Byte, 3>> out;
  for (Integer y = 0; y < B->Height(); ++y) {
    const Byte* row = static_cast<const Byte*>(B->ScanLine(y));
    for (Integer x = 0; x < B->Width(); ++x) {
      const RGBQUAD q = B->ColorTableEntry(row[x]);
      out.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue});
    }
  }
  return out;
}

template <class F>
std::string ErrorOf(F&& Fn) {
  try {
    Fn();
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

TEST(GifLibLookups, AnswersAndCells) {
  TNetscapeColorLookup web;
  TMonochromeLookup mono;
  TGrayScaleLookup gray;
  struct Case {
    TColorLookup* L;
    std::array<Byte, 3> In;
    Byte Index;
    std::array<Byte, 3> Out;
  } cases[] = {
      {&web, {48, 100, 255}, 53, {51, 102, 255}},
      {&web, {47, 0, 0}, 0, {0, 0, 0}},
      {&mono, {127, 127, 127}, 0, {0, 0, 0}},
      {&mono, {128, 127, 127}, 1, {255, 255, 255}},
      {&gray, {255, 255, 255}, 255, {255, 255, 255}},
      {&gray, {255, 0, 0}, 76, {76, 76, 76}},
  };
  for (const Case& c : cases) {
    Byte r, g, b;
    EXPECT_EQ(c.L->Lookup(c.In[0], c.In[1], c.In[2], r, g, b), c.Index) << int(c.In[0]) << "," << int(c.In[1]);
    EXPECT_EQ((std::array<Byte, 3>{r, g, b}), c.Out);
  }
  // Two entries in one cell: the lower index seeds it.
  HPALETTE shared = Palette({{0, 0, 0}, {6, 0, 0}});
  TFastColorLookup fast(shared);
  Byte r, g, b;
  EXPECT_EQ(fast.Lookup(6, 0, 0, r, g, b), 0);
  // The first colour met decides its cell for every later colour there.
  HPALETTE far = Palette({{0, 0, 0}, {40, 40, 40}});
  TFastColorLookup cached(far);
  EXPECT_EQ(cached.Lookup(23, 23, 23, r, g, b), 1);
  EXPECT_EQ(cached.Lookup(16, 16, 16, r, g, b), 1);
  TFastColorLookup fresh(far);
  EXPECT_EQ(fresh.Lookup(16, 16, 16, r, g, b), 0);
  DeleteObject(shared);
  DeleteObject(far);
}

TEST(GifLibDIB, RowLayoutAndErrors) {
  TBitmap b;
  const struct {
    TPixelFormat Pf;
    Integer W;
    Integer Row;
  } sizes[] = {{pf8bit, 3, 4}, {pf24bit, 3, 12}, {pf24bit, 5, 16}};
  for (auto s : sizes) {
    TDIBWriter w(&b, s.Pf, s.W, 10, nullptr);
    EXPECT_EQ(w.RowSize(), s.Row);
    // Rows are stored bottom-up.
    EXPECT_EQ(static_cast<Byte*>(w.ScanLine(0)) - static_cast<Byte*>(w.ScanLine(9)), 9 * s.Row);
    EXPECT_EQ(ErrorOf([&] { w.ScanLine(10); }), "Scan line index out of range");
  }
  EXPECT_EQ(ErrorOf([&] { TDIBWriter w(&b, pf4bit, 3, 3, nullptr); }), "Unsupported PixelFormat");
  EXPECT_EQ(ErrorOf([&] { TDIBWriter w(&b, pf8bit, 3, 0, nullptr); }), "Invalid image dimensions");
  // The writer's palette becomes the bitmap's colour table.
  HPALETTE p = Palette({{10, 20, 30}, {200, 100, 50}});
  {
    TDIBWriter w(&b, pf8bit, 2, 1, p);
    Byte* row = static_cast<Byte*>(w.ScanLine(0));
    row[0] = 1;
    row[1] = 0;
  }
  DeleteObject(p);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(Colors(&b), (std::vector<std::array<Byte, 3>>{{200, 100, 50}, {10, 20, 30}}));
}

TEST(GifLibOctree, PalettesOfThePicture) {
  const std::array<Byte, 3> three[3] = {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}};
  auto pic = Bitmap24(6, 2, [&](Integer x, Integer) { return three[x % 3]; });
  for (bool system : {false, true}) {
    HPALETTE h = CreateQuantizedPaletteFromBitmap(pic.get(), 256, 8, system);
    std::vector<PALETTEENTRY> e(256);
    const UINT n = GetPaletteEntries(h, 0, 256, e.data());
    DeleteObject(h);
    EXPECT_EQ(n, 256u);
    const size_t first = system ? 10 : 0;
    // Octree order: the child number grows with red, then green, then blue.
    const std::array<Byte, 3> expected[3] = {three[2], three[1], three[0]};
    for (size_t i = 0; i < 3; ++i)
      EXPECT_EQ((std::array<Byte, 3>{e[first + i].peRed, e[first + i].peGreen, e[first + i].peBlue}), expected[i]) << i;
    EXPECT_EQ(e[first + 3].peRed + e[first + 3].peGreen + e[first + 3].peBlue, 0);
  }
  // Never more leaves than asked for, after any pixel.
  TColorQuantizer q(16, 8);
  gt_test::Lcg g(9);
  for (int i = 0; i < 5000; ++i) {
    const uint32_t v = g.Next();
    q.AddColor(Byte(v), Byte(v >> 8), Byte(v >> 16));
    ASSERT_LE(q.LeafCount(), 16);
  }
  EXPECT_EQ(q.GetColorTable().size(), size_t(q.LeafCount()));
  EXPECT_EQ(ErrorOf([] { TColorQuantizer bad(16, 9); }), "ColorBits must be 8 or less");
}

TEST(GifLibOctree, TwelveMegapixelsOfWhite) {
  auto pic = Bitmap24(4000, 3000, [](Integer, Integer) { return std::array<Byte, 3>{255, 255, 255}; });
  HPALETTE h = CreateQuantizedPaletteFromBitmap(pic.get(), 256, 8, false);
  PALETTEENTRY e[2] = {};
  GetPaletteEntries(h, 0, 2, e);
  DeleteObject(h);
  EXPECT_EQ((std::array<Byte, 3>{e[0].peRed, e[0].peGreen, e[0].peBlue}), (std::array<Byte, 3>{255, 255, 255}));
}

TEST(GifLibReduce, EveryMethodWithEveryEngine) {
  gt_test::Lcg g(4);
  auto source = [&] {
    return Bitmap24(23, 17, [&](Integer x, Integer y) {
      return std::array<Byte, 3>{Byte(x * 11), Byte(y * 15), Byte((x + y) * 6 + g.Next() % 9)};
    });
  };
  HPALETTE custom = Palette({{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}});
  // The largest mean error per channel each method may leave.
  const struct {
    TGIFReductionMethod M;
    int Palette;  // colours the result may use at most
    double MaxMeanError;
  } methods[] = {
      {crmWindows20, 20, 60},      {crmHalftone256, 256, 25}, {crmGray4, 4, 80},           {crmMonochrome, 2, 110},
      {crmGray256, 256, 60},       {crmWebSafe216, 216, 30},  {crmOptimized, 16, 25},      {crmOptimizedWindows, 256, 15},
      {crmCustomPalette, 4, 110},
  };
  for (auto m : methods)
    for (int k = ditNearest; k <= ditBurkes; ++k) {
      SCOPED_TRACE(std::to_string(m.M) + "/" + std::to_string(k));
      auto src = source();
      const std::vector<std::array<Byte, 3>> before = [&] {
        std::vector<std::array<Byte, 3>> c;
        for (Integer y = 0; y < 17; ++y)
          for (Integer x = 0; x < 23; ++x) {
            const Byte* p = static_cast<const Byte*>(src->ScanLine(y)) + 3 * x;
            c.push_back({p[2], p[1], p[0]});
          }
        return c;
      }();
      auto out = ReduceColors(src.get(), m.M, TGIFDitherKind(k), 4, custom);
      ASSERT_EQ(out->PixelFormat(), pf8bit);
      ASSERT_EQ(out->Width(), 23);
      ASSERT_EQ(out->Height(), 17);
      EXPECT_EQ(src->PixelFormat(), pf24bit);
      std::set<std::array<Byte, 3>> used;
      double err = 0;
      const auto after = Colors(out.get());
      for (size_t i = 0; i < after.size(); ++i) {
        used.insert(after[i]);
        for (int c = 0; c < 3; ++c) err += std::abs(int(after[i][size_t(c)]) - before[i][size_t(c)]);
      }
      EXPECT_LE(int(used.size()), m.Palette);
      EXPECT_LT(err / (3.0 * after.size()), m.MaxMeanError);
    }
  DeleteObject(custom);
  // No reduction: a 24-bit copy, the source untouched.
  auto src = source();
  auto copy = ReduceColors(src.get(), crmNone, ditNearest, 8, nullptr);
  EXPECT_EQ(copy->PixelFormat(), pf24bit);
  EXPECT_EQ(std::memcmp(copy->ScanLine(5), src->ScanLine(5), 23 * 3), 0);
  // A custom reduction without a palette, or an unknown method, gives nothing.
  EXPECT_TRUE(ReduceColors(src.get(), crmCustomPalette, ditNearest, 8, nullptr)->Empty());
  EXPECT_TRUE(ReduceColors(src.get(), TGIFReductionMethod(10), ditNearest, 8, nullptr)->Empty());
}

TEST(GifLibReduce, MonochromeGrays) {
  auto flat = [](Byte v) { return Bitmap24(16, 8, [v](Integer, Integer) { return std::array<Byte, 3>{v, v, v}; }); };
  const struct {
    Byte Gray;
    TGIFDitherKind Kind;
    int MinWhite, MaxWhite;  // of 128 pixels
  } cases[] = {
      {127, ditNearest, 0, 0},
      {128, ditNearest, 128, 128},
      {128, ditFloydSteinberg, 40, 90},
      {128, ditStucki, 40, 90},
      {64, ditBurkes, 15, 50},
  };
  for (auto c : cases) {
    SCOPED_TRACE(std::to_string(c.Gray) + "/" + std::to_string(c.Kind));
    auto out = ReduceColors(flat(c.Gray).get(), crmMonochrome, c.Kind, 8, nullptr);
    int white = 0;
    for (const auto& px : Colors(out.get())) white += px[0] == 255;
    EXPECT_GE(white, c.MinWhite);
    EXPECT_LE(white, c.MaxWhite);
  }
  // A 1 x 1 picture gives a 1 x 1 result for every method and engine.
  for (int m = crmWindows20; m <= crmOptimizedWindows; ++m)
    for (int k = ditNearest; k <= ditBurkes; ++k) {
      auto tiny = Bitmap24(1, 1, [](Integer, Integer) { return std::array<Byte, 3>{1, 2, 3}; });
      auto r = ReduceColors(tiny.get(), TGIFReductionMethod(m), TGIFDitherKind(k), 8, nullptr);
      EXPECT_EQ(r->Width(), 1);
      EXPECT_EQ(r->Height(), 1);
    }
}

}  // namespace
}  // namespace giflib_reduce_tests
