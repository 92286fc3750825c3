// Drawing pictures into ie24RGB pictures: clipping, maps, cached tables, the
// row renderers of every format, display range, contrast and channel
// offsets, transparency and alpha, the filtered path, and destinations in
// row segments or of a single row.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/render/ierender.h"
#include "imaging/core/geometry/ieresample.h"
#include "tests/imaging/core/render/render_support.h"

namespace test_render_tests {

using namespace render_test;

namespace {

// Full call with the common defaults spelled out once.
void Render(TIEBitmap& Src, TIEBitmap& Dst, Integer DstX, Integer DstY, Integer DstW, Integer DstH, Integer SrcX,
            Integer SrcY, Integer SrcW, Integer SrcH, Integer Transparency = 255, Byte Op = 0,
            const Integer* Clip = nullptr, bool Reuse = false, bool EnableAlpha = true,
            TResampleFilter Filter = rfNone) {
  std::unique_ptr<TIERowTable> rows;
  std::unique_ptr<TIEMapTable> xm, ym;
  RenderToTIEBitmapEx(Src, &Dst, rows, xm, ym, Clip, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH, EnableAlpha,
                      Reuse, Transparency, Filter, true, Op);
}

// A one-pixel source of the given format and raw pixel bytes.
void OnePixel(TIEBitmap& B, TIEPixelFormat PF, std::initializer_list<Byte> Bytes) {
  ASSERT_TRUE(B.Allocate(1, 1, PF));
  std::copy(Bytes.begin(), Bytes.end(), static_cast<Byte*>(B.GetScanline(0)));
}

TRGB DrawOnePixel(TIEBitmap& Src, TRGB Under = TRGB{10, 20, 30}, Integer Transparency = 255, Byte Op = 0) {
  TIEBitmap dst;
  EXPECT_TRUE(dst.Allocate(1, 1, ie24RGB));
  SetPixel(dst, 0, 0, Under);
  Render(Src, dst, 0, 0, 1, 1, 0, 0, 1, 1, Transparency, Op);
  return Pixel(dst, 0, 0);
}

::testing::AssertionResult Untouched(TIEBitmap& B, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x) {
      const bool inside = x >= X1 && x <= X2 && y >= Y1 && y <= Y2;
      if (!inside && !SameRGB(Pixel(B, x, y), kMarker))
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << " outside the drawn area changed";
    }
  return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Geometry

struct StoragePair {
  Storage Source, Dest;
};

class RenderStorage : public ::testing::TestWithParam<StoragePair> {};

// The unscaled opaque copy writes each destination row through its own
// address: destinations in row segments or of a single row are drawn
// correctly, and a file-backed destination (whose row addresses do not stay
// valid together) is left alone.
TEST_P(RenderStorage, OneToOneCopyKeepsRowsUnchanged) {
  const StoragePair p = GetParam();
  for (Integer dh : {20, 1}) {
    SCOPED_TRACE("destination height " + std::to_string(dh));
    // A picture takes its storage settings when it is constructed.
    std::unique_ptr<TIEBitmap> source;
    {
      StorageScope s(p.Source);
      source = std::make_unique<TIEBitmap>();
      MakeNoise(*source, 23, 11, ie24RGB, 3);
    }
    TIEBitmap& src = *source;
    ExpectStorage(src, p.Source);
    StorageScope d(p.Dest);
    TIEBitmap dst;
    ASSERT_TRUE(dst.Allocate(40, dh, ie24RGB));
    if (dh > 1) ExpectStorage(dst, p.Dest);
    FillMarker(dst);
    Render(src, dst, 5, 0, 23, 11, 0, 0, 23, 11);
    if (p.Dest == Storage::File) {
      EXPECT_TRUE(Untouched(dst, -1, -1, -1, -1));
      continue;
    }
    const Integer rows = std::min(dh, 11);
    for (Integer y = 0; y < rows; ++y)
      for (Integer x = 0; x < 23; ++x) ASSERT_TRUE(SameRGB(Pixel(dst, x + 5, y), Pixel(src, x, y))) << x << "," << y;
    EXPECT_TRUE(Untouched(dst, 5, 0, 27, rows - 1));
  }
}

INSTANTIATE_TEST_SUITE_P(Storages, RenderStorage,
                         ::testing::Values(StoragePair{Storage::Block, Storage::Block},
                                           StoragePair{Storage::Block, Storage::Segments},
                                           StoragePair{Storage::File, Storage::Segments},
                                           StoragePair{Storage::Segments, Storage::Block},
                                           StoragePair{Storage::Block, Storage::File}),
                         [](const auto& i) {
                           return std::string(StorageName(i.param.Source)) + "To" + StorageName(i.param.Dest);
                         });

TEST(RenderGeometry, NegativeDestinationStartSkipsSourceColumns) {
  TIEBitmap src, dst;
  MakeNoise(src, 100, 4, ie24RGB, 1);
  ASSERT_TRUE(dst.Allocate(120, 4, ie24RGB));
  FillMarker(dst);
  Render(src, dst, -10, 0, 100, 4, 0, 0, 100, 4);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 90; ++x) ASSERT_TRUE(SameRGB(Pixel(dst, x, y), Pixel(src, x + 10, y))) << x;
  EXPECT_TRUE(Untouched(dst, 0, 0, 89, 3));
}

// The skipped source rows of a negative start are rounded to the nearest
// row, halves to even: 5 destination rows at a 1:2 scale are 2.5 source rows.
TEST(RenderGeometry, NegativeStartRoundsHalvesToEven) {
  TIEBitmap src, dst;
  ASSERT_TRUE(src.Allocate(1, 10, ie24RGB));
  for (Integer y = 0; y < 10; ++y) SetPixel(src, 0, y, TRGB{Byte(y), Byte(y), Byte(y)});
  ASSERT_TRUE(dst.Allocate(1, 30, ie24RGB));
  FillMarker(dst);
  Render(src, dst, 0, -5, 1, 20, 0, 0, 1, 10);
  // SrcY 0 + Round(2.5) = 2, then 8 source rows over 15 destination rows.
  EXPECT_EQ(Pixel(dst, 0, 0).r, 2);
  for (Integer y = 0; y < 15; ++y) EXPECT_EQ(Pixel(dst, 0, y).r, Byte(Trunc(y * 8.0 / 15 + 2))) << y;
  EXPECT_TRUE(Untouched(dst, 0, 0, 0, 14));
}

TEST(RenderGeometry, ScaledDrawingMapsEveryDestinationPixelToItsSourcePixel) {
  TIEBitmap src;
  MakeNoise(src, 7, 5, ie24RGB, 2);
  const struct {
    Integer W, H;
  } sizes[] = {{21, 15}, {3, 2}, {10, 13}, {7, 5}};
  for (const auto& s : sizes) {
    for (bool reuse : {false, true}) {
      TIEBitmap dst;
      ASSERT_TRUE(dst.Allocate(s.W + 4, s.H + 4, ie24RGB));
      FillMarker(dst);
      Render(src, dst, 2, 2, s.W, s.H, 0, 0, 7, 5, 255, 0, nullptr, reuse);
      for (Integer y = 0; y < s.H; ++y)
        for (Integer x = 0; x < s.W; ++x) {
          const Integer sx = Integer(Trunc(double(x) * 7 / s.W)), sy = Integer(Trunc(double(y) * 5 / s.H));
          ASSERT_TRUE(SameRGB(Pixel(dst, x + 2, y + 2), Pixel(src, sx, sy))) << s.W << "x" << s.H << " " << x << "," << y;
        }
      EXPECT_TRUE(Untouched(dst, 2, 2, s.W + 1, s.H + 1));
    }
  }
}

TEST(RenderGeometry, ClipRectLimitsWhatIsDrawn) {
  TIEBitmap src, full, clipped;
  MakeNoise(src, 8, 8, ie24RGB, 4);
  ASSERT_TRUE(full.Allocate(30, 30, ie24RGB));
  ASSERT_TRUE(clipped.Allocate(30, 30, ie24RGB));
  FillMarker(full);
  FillMarker(clipped);
  const Integer clip[4] = {6, 9, 17, 12};
  Render(src, full, 2, 3, 24, 24, 0, 0, 8, 8);
  Render(src, clipped, 2, 3, 24, 24, 0, 0, 8, 8, 255, 0, clip);
  EXPECT_TRUE(Untouched(clipped, 6, 9, 17, 12));
  for (Integer y = 9; y <= 12; ++y)
    for (Integer x = 6; x <= 17; ++x) ASSERT_TRUE(SameRGB(Pixel(clipped, x, y), Pixel(full, x, y)));
}

// A source rectangle reaching past the picture at 1:1 must not be copied as
// raw rows (that reads beyond the row); the last column repeats as in the
// mapped path.
TEST(RenderGeometry, UnscaledSourceRectanglePastThePictureRepeatsTheEdge) {
  TIEBitmap src, dst;
  MakeNoise(src, 10, 4, ie24RGB, 5);
  ASSERT_TRUE(dst.Allocate(12, 6, ie24RGB));
  FillMarker(dst);
  Render(src, dst, 0, 0, 10, 4, 5, 2, 10, 4);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 10; ++x)
      ASSERT_TRUE(SameRGB(Pixel(dst, x, y), Pixel(src, std::min(5 + x, 9), std::min(2 + y, 3)))) << x << "," << y;
  EXPECT_TRUE(Untouched(dst, 0, 0, 9, 3));
}

TEST(RenderGeometry, DegenerateRectanglesDrawNothing) {
  TIEBitmap src, dst;
  MakeNoise(src, 5, 5, ie24RGB, 1);
  ASSERT_TRUE(dst.Allocate(10, 10, ie24RGB));
  FillMarker(dst);
  const Integer cases[][8] = {{0, 0, 0, 5, 0, 0, 5, 5},  {0, 0, 5, 5, 0, 0, 0, 5},   {10, 0, 5, 5, 0, 0, 5, 5},
                              {0, 10, 5, 5, 0, 0, 5, 5}, {-20, 0, 5, 5, 0, 0, 5, 5}, {0, 0, -5, 5, 0, 0, 5, 5},
                              {0, 0, 5, 5, 0, 0, 5, -3}};
  for (const auto& c : cases) Render(src, dst, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
  const Integer outside[4] = {-5, -5, -1, -1};
  Render(src, dst, 0, 0, 5, 5, 0, 0, 5, 5, 255, 0, outside);
  EXPECT_TRUE(Untouched(dst, -1, -1, -1, -1));
}

// ---------------------------------------------------------------------------
// Cached tables

TEST(RenderTables, CachedTablesGiveTheSameOutputAsFreshOnes) {
  TIEBitmap src, fresh, cached;
  MakeNoise(src, 13, 9, ie24RGB, 6);
  ASSERT_TRUE(fresh.Allocate(50, 40, ie24RGB));
  ASSERT_TRUE(cached.Allocate(50, 40, ie24RGB));
  const Integer clip[4] = {3, 2, 45, 37};
  std::unique_ptr<TIERowTable> rows;
  std::unique_ptr<TIEMapTable> xm, ym;
  // Kept by the first call, reused by the next ones.
  RenderToTIEBitmapEx(src, &cached, rows, xm, ym, clip, -4, 1, 47, 33, 1, 1, 11, 8, true, true, 255, rfNone, false, 0);
  ASSERT_TRUE(rows && xm && ym);
  Noise(src, 7);
  for (Integer transparency : {255, 100}) {
    FillMarker(fresh);
    FillMarker(cached);
    const TIERowTable* keptRows = rows.get();
    RenderToTIEBitmapEx(src, &cached, rows, xm, ym, clip, -4, 1, 47, 33, 1, 1, 11, 8, true, true, transparency,
                        rfNone, false, 0);
    EXPECT_EQ(rows.get(), keptRows);  // used, not rebuilt
    Render(src, fresh, -4, 1, 47, 33, 1, 1, 11, 8, transparency, 0, clip, true);
    EXPECT_TRUE(SamePixels(cached, fresh));
  }
  // Tables are handed back only with FreeTables false.
  std::unique_ptr<TIERowTable> r2;
  std::unique_ptr<TIEMapTable> x2, y2;
  RenderToTIEBitmapEx(src, &fresh, r2, x2, y2, nullptr, 0, 0, 20, 20, 0, 0, 13, 9, true, false, 255, rfNone, true, 0);
  EXPECT_FALSE(r2 || x2 || y2);
}

// Tables of another geometry: too short ones are rebuilt (never read past
// their end); entries beyond the source pull the window's end in.
TEST(RenderTables, TablesOfAnotherGeometry) {
  TIEBitmap src, dst, expect;
  MakeNoise(src, 10, 6, ie24RGB, 8);
  ASSERT_TRUE(dst.Allocate(40, 20, ie24RGB));
  ASSERT_TRUE(expect.Allocate(40, 20, ie24RGB));
  std::unique_ptr<TIERowTable> rows = std::make_unique<TIERowTable>(3, nullptr);
  std::unique_ptr<TIEMapTable> xm = std::make_unique<TIEMapTable>(2, 0), ym = std::make_unique<TIEMapTable>(1, 0);
  FillMarker(dst);
  FillMarker(expect);
  RenderToTIEBitmapEx(src, &dst, rows, xm, ym, nullptr, 0, 0, 30, 18, 0, 0, 10, 6, true, false, 255, rfNone, true, 0);
  Render(src, expect, 0, 0, 30, 18, 0, 0, 10, 6);
  EXPECT_TRUE(SamePixels(dst, expect));

  // A column map made for a 20-pixel-wide source, used with a 10-pixel one.
  TIEBitmap wide;
  MakeNoise(wide, 20, 6, ie24RGB, 9);
  std::unique_ptr<TIERowTable> r;
  std::unique_ptr<TIEMapTable> x, y;
  FillMarker(dst);
  RenderToTIEBitmapEx(wide, &dst, r, x, y, nullptr, 0, 0, 20, 6, 0, 0, 20, 6, true, false, 200, rfNone, false, 0);
  ASSERT_TRUE(x && x->size() == 20);
  FillMarker(dst);
  RenderToTIEBitmapEx(src, &dst, r, x, y, nullptr, 0, 0, 20, 6, 0, 0, 10, 6, true, false, 255, rfNone, true, 0);
  for (Integer yy = 0; yy < 6; ++yy)
    for (Integer xx = 0; xx < 10; ++xx) ASSERT_TRUE(SameRGB(Pixel(dst, xx, yy), Pixel(src, xx, yy)));
  EXPECT_TRUE(Untouched(dst, 0, 0, 9, 5));
}

// ---------------------------------------------------------------------------
// Source formats

TEST(RenderFormats, EveryFormatBecomesItsColour) {
  TRGB cmyk, lab;
  IEConvertCMYKToRGB(TCMYK{200, 100, 50, 220}, cmyk);
  lab = IECIELabToRGB(TCIELab{150, 20, -30});
  const struct {
    const char* Name;
    TIEPixelFormat PF;
    std::initializer_list<Byte> Bytes;
    TRGB Expect;
  } cases[] = {
      {"ie24RGB", ie24RGB, {10, 20, 30}, {10, 20, 30}},
      {"ie32RGB", ie32RGB, {10, 20, 30, 99}, {10, 20, 30}},
      {"ie1g set", ie1g, {0x80}, {255, 255, 255}},
      {"ie1g clear", ie1g, {0x7F}, {0, 0, 0}},
      {"ie8g", ie8g, {77}, {77, 77, 77}},
      {"ie16g", ie16g, {0x34, 0x9A}, {0x9A, 0x9A, 0x9A}},
      {"ieRGB48", ieRGB48, {0x11, 0xA0, 0x22, 0xB0, 0x33, 0xC0}, {0xC0, 0xB0, 0xA0}},  // words r, g, b
      {"ieCMYK", ieCMYK, {200, 100, 50, 220}, cmyk},
      {"ieCIELab", ieCIELab, {150, 20, Byte(-30)}, lab},
  };
  for (const auto& c : cases) {
    TIEBitmap src;
    OnePixel(src, c.PF, c.Bytes);
    EXPECT_TRUE(SameRGB(DrawOnePixel(src), c.Expect)) << c.Name;
  }
  TIEBitmap pal;
  OnePixel(pal, ie8p, {7});
  pal.SetPaletteColor(7, TRGB{40, 50, 60});
  EXPECT_TRUE(SameRGB(DrawOnePixel(pal), TRGB{40, 50, 60}));
}

TEST(RenderFormats, DisplayRangeOfGraySources) {
  TIEBitmap g16;
  ASSERT_TRUE(g16.Allocate(6, 1, ie16g));
  const Word v16[6] = {0, 100, 2048, 4095, 5000, 65535};
  std::memcpy(g16.GetScanline(0), v16, sizeof v16);
  const Byte plain16[6] = {0, 0, 8, 15, 19, 255};
  const Byte range16[6] = {0, 6, 127, 255, 255, 255};  // Trunc(v / 4095 x 255), 4095 and above white

  TIEBitmap g8;
  ASSERT_TRUE(g8.Allocate(6, 1, ie8g));
  const Byte v8[6] = {0, 100, 150, 199, 200, 255};
  std::memcpy(g8.GetScanline(0), v8, sizeof v8);
  const Byte range8[6] = {0, 0, 127, 252, 255, 255};  // 100..200

  TIEBitmap f32;
  ASSERT_TRUE(f32.Allocate(6, 1, ie32f));
  const float vf[6] = {-0.5f, 0.0f, 0.5f, 1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN()};
  std::memcpy(f32.GetScanline(0), vf, sizeof vf);
  const Byte plainF[6] = {0, 0, 127, 255, 255, 0};
  const Byte rangeF[6] = {0, 0, 255, 255, 255, 255};  // 0..0.5

  auto check = [](TIEBitmap& src, const Byte* expect, const char* what) {
    TIEBitmap dst;
    ASSERT_TRUE(dst.Allocate(6, 1, ie24RGB));
    Render(src, dst, 0, 0, 6, 1, 0, 0, 6, 1);
    for (Integer x = 0; x < 6; ++x) EXPECT_TRUE(SameRGB(Pixel(dst, x, 0), TRGB{expect[x], expect[x], expect[x]}))
        << what << " pixel " << x << ": " << int(Pixel(dst, x, 0).r);
  };
  check(g16, plain16, "16-bit");
  g16.SetDisplayLow(0);
  g16.SetDisplayHigh(4095);
  check(g16, range16, "16-bit range");
  g8.SetDisplayLow(100);
  g8.SetDisplayHigh(200);
  check(g8, range8, "8-bit range");
  // A fractional range: the top sample is (10 - 0) / 9.7 x 255 = 262, white.
  const Byte v8f[6] = {0, 1, 5, 9, 10, 200};
  std::memcpy(g8.GetScanline(0), v8f, sizeof v8f);
  const Byte range8f[6] = {0, 26, 131, 236, 255, 255};
  g8.SetDisplayLow(0.5);
  g8.SetDisplayHigh(10.2);
  check(g8, range8f, "8-bit fractional range");
  check(f32, plainF, "float");
  f32.SetDisplayLow(0);
  f32.SetDisplayHigh(0.5);
  check(f32, rangeF, "float range");
}

// Contrast and channel offsets: c -> clamp(((c + offset - 128) K) div 65536
// + 128), the offsets added whenever the adjustment runs.
TEST(RenderFormats, ContrastAndChannelOffsets) {
  const struct {
    const char* Name;
    TIEPixelFormat PF;
    Integer Contrast;
    bool OffsetsOn;
    Integer Offsets[3];  // red, green, blue
    Byte Op;
    TRGB Expect;  // for the source pixel (blue 100, green 150, red 200)
  } cases[] = {
      {"no adjustment", ie24RGB, 0, false, {20, -20, 5}, 0, {100, 150, 200}},
      {"offsets", ie24RGB, 0, true, {20, -20, 5}, 0, {105, 130, 220}},
      {"contrast 10 doubles", ie24RGB, 10, false, {0, 0, 0}, 0, {72, 172, 255}},
      {"contrast -25 halves", ie24RGB, -25, false, {0, 0, 0}, 0, {114, 139, 164}},
      {"contrast adds offsets even when off", ie24RGB, 10, false, {0, 0, -2}, 0, {68, 172, 255}},
      {"contrast -25 adds offsets when off", ie24RGB, -25, false, {10, 0, -10}, 0, {109, 139, 169}},
      {"blend operation adds offsets", ie24RGB, 0, false, {10, 0, 0}, 8, {100, 150, 210}},
      {"32-bit at 1:1 always adjusts", ie32RGB, 0, false, {10, 0, 0}, 0, {100, 150, 210}},
      {"48-bit contrast", ieRGB48, -25, false, {0, 0, 0}, 0, {114, 139, 164}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap src;
    if (c.PF == ieRGB48)
      OnePixel(src, ieRGB48, {0, 200, 0, 150, 0, 100});  // high bytes red 200, green 150, blue 100
    else if (c.PF == ie32RGB)
      OnePixel(src, ie32RGB, {100, 150, 200, 0});
    else
      OnePixel(src, ie24RGB, {100, 150, 200});
    src.SetContrast(c.Contrast);
    src.SetChannelOffsetsOn(c.OffsetsOn);
    for (Integer i = 0; i < 3; ++i) src.SetChannelOffset(i, c.Offsets[i]);
    const TRGB got = DrawOnePixel(src, TRGB{0, 0, 0}, 255, c.Op);
    EXPECT_TRUE(SameRGB(got, c.Expect)) << int(got.b) << "," << int(got.g) << "," << int(got.r);
  }
}

// ---------------------------------------------------------------------------
// Transparency and alpha

TEST(RenderBlending, TransparencyAndAlphaMoveTheDestinationByFloor) {
  const struct {
    Byte C, D;
    Integer Transparency;
    Integer Alpha;  // -1: no alpha channel
    Byte Expect;
  } cases[] = {
      {200, 100, 128, -1, 150},  // 100 + floor(128 x 100 / 256)
      {0, 255, 1, -1, 254},      // floor(-255 / 256) = -1
      {255, 0, 255, 200, 199},   // t = min(255, 200): floor(200 x 255 / 256)
      {255, 0, 100, 200, 99},    // t = min(100, 200)
      {255, 0, 255, 0, 0},       // transparent pixel
      {255, 0, 0, -1, 0},        // Transparency 0 draws nothing
      {50, 60, 300, -1, 50},     // above 255: opaque
  };
  for (const auto& c : cases) {
    TIEBitmap src;
    OnePixel(src, ie24RGB, {c.C, c.C, c.C});
    if (c.Alpha >= 0) src.GetAlphaChannel()->SetPixelByte(0, 0, Byte(c.Alpha));
    const TRGB got = DrawOnePixel(src, TRGB{c.D, c.D, c.D}, c.Transparency);
    EXPECT_EQ(got.r, c.Expect) << int(c.C) << " over " << int(c.D) << " t " << c.Transparency << " a " << c.Alpha;
  }
}

// An alpha channel marked Full is not read: the opaque renderer runs even
// when its bytes say otherwise; with the mark cleared they are honoured.
TEST(RenderBlending, FullAlphaChannelIsIgnored) {
  TIEBitmap src;
  MakeNoise(src, 6, 4, ie24RGB, 2);
  TIEBitmap* a = src.GetAlphaChannel();
  for (Integer y = 0; y < 4; ++y) std::memset(a->GetScanline(y), 0, 6);
  a->SetFull(true);
  TIEBitmap dst;
  ASSERT_TRUE(dst.Allocate(6, 4, ie24RGB));
  FillMarker(dst);
  Render(src, dst, 0, 0, 6, 4, 0, 0, 6, 4);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 6; ++x) ASSERT_TRUE(SameRGB(Pixel(dst, x, y), Pixel(src, x, y)));
  a->SetFull(false);
  FillMarker(dst);
  Render(src, dst, 0, 0, 6, 4, 0, 0, 6, 4);
  EXPECT_TRUE(Untouched(dst, -1, -1, -1, -1));
  // EnableAlpha false ignores it as well.
  Render(src, dst, 0, 0, 6, 4, 0, 0, 6, 4, 255, 0, nullptr, false, false);
  EXPECT_TRUE(SameRGB(Pixel(dst, 3, 2), Pixel(src, 3, 2)));
}

// Row reuse copies the previous destination row when the source row
// repeats; for an enlargement it gives what drawing every row gives.
TEST(RenderBlending, RowReuseGivesTheSameEnlargement) {
  for (TIEPixelFormat pf : {ie24RGB, ie32RGB, ie1g, ie8g}) {
    for (Integer transparency : {255, 90}) {
      SCOPED_TRACE(std::to_string(int(pf)) + " t " + std::to_string(transparency));
      TIEBitmap src, a, b;
      MakeNoise(src, 5, 4, pf, 3);
      ASSERT_TRUE(a.Allocate(17, 19, ie24RGB));
      ASSERT_TRUE(b.Allocate(17, 19, ie24RGB));
      FillMarker(a);
      FillMarker(b);
      Render(src, a, 0, 0, 17, 19, 0, 0, 5, 4, transparency, 0, nullptr, false);
      Render(src, b, 0, 0, 17, 19, 0, 0, 5, 4, transparency, 0, nullptr, true);
      EXPECT_TRUE(SamePixels(a, b));
    }
  }
}

// ---------------------------------------------------------------------------
// Filtered path

TEST(RenderFiltered, ScaledSourcesGoThroughTheResampler) {
  // ie24RGB enlarged with a kernel: the resampled rectangle, drawn at 1:1.
  TIEBitmap src, part, expect, dst;
  MakeNoise(src, 12, 10, ie24RGB, 4);
  ASSERT_TRUE(part.Allocate(8, 6, ie24RGB));
  src.CopyRectTo(&part, 2, 3, 0, 0, 8, 6);
  ASSERT_TRUE(expect.Allocate(20, 15, ie24RGB));
  IEResampleFiltered(&part, &expect, rfTriangle);
  ASSERT_TRUE(dst.Allocate(24, 18, ie24RGB));
  FillMarker(dst);
  Render(src, dst, 1, 2, 20, 15, 2, 3, 8, 6, 255, 0, nullptr, false, true, rfTriangle);
  for (Integer y = 0; y < 15; ++y)
    for (Integer x = 0; x < 20; ++x) ASSERT_TRUE(SameRGB(Pixel(dst, x + 1, y + 2), Pixel(expect, x, y))) << x << "," << y;
  EXPECT_TRUE(Untouched(dst, 1, 2, 20, 16));

  // ie1g shrunk across without alpha: the averaged bits.
  TIEBitmap bits, gray;
  MakeNoise(bits, 40, 12, ie1g, 5);
  ASSERT_TRUE(gray.Allocate(10, 6, ie24RGB));
  IEResample1BitToGray24(&bits, 0, 0, 39, 11, &gray);
  FillMarker(dst);
  Render(bits, dst, 0, 0, 10, 6, 0, 0, 40, 12, 255, 0, nullptr, false, true, rfLanczos3);
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 10; ++x) ASSERT_TRUE(SameRGB(Pixel(dst, x, y), Pixel(gray, x, y))) << x << "," << y;
  EXPECT_TRUE(Untouched(dst, 0, 0, 9, 5));
}

// ---------------------------------------------------------------------------
// Members of the picture

// The members draw this picture exactly as the routines do, and the full
// form hands its tables back through the caller's pointers.
TEST(RenderMembers, DrawWhatTheRoutinesDraw) {
  TIEBitmap src, byMember, byRoutine;
  MakeNoise(src, 13, 9, ie24RGB, 11);
  TIEBitmap* alpha = src.GetAlphaChannel();
  Noise(*alpha, 12);
  alpha->SetFull(false);
  ASSERT_TRUE(byMember.Allocate(30, 20, ie24RGB));
  ASSERT_TRUE(byRoutine.Allocate(30, 20, ie24RGB));

  FillMarker(byMember);
  FillMarker(byRoutine);
  src.RenderToTIEBitmap(&byMember, 2, 3, 25, 14, 1, 1, 11, 7, 180, rfTriangle, 5);
  RenderToTIEBitmap(src, &byRoutine, 2, 3, 25, 14, 1, 1, 11, 7, 180, rfTriangle, 5);
  EXPECT_TRUE(SamePixels(byMember, byRoutine));
  EXPECT_FALSE(Untouched(byMember, -1, -1, -1, -1)) << "nothing was drawn";
  EXPECT_TRUE(Untouched(byMember, 2, 3, 26, 16));

  const Integer clip[4] = {4, 4, 20, 15};
  FillMarker(byMember);
  FillMarker(byRoutine);
  std::unique_ptr<TIERowTable> rows, rows2;
  std::unique_ptr<TIEMapTable> xm, ym, xm2, ym2;
  src.RenderToTIEBitmapEx(&byMember, rows, xm, ym, clip, 0, 0, 30, 20, 0, 0, 13, 9, false, true, 255, rfNone,
                          false, 0);
  RenderToTIEBitmapEx(src, &byRoutine, rows2, xm2, ym2, clip, 0, 0, 30, 20, 0, 0, 13, 9, false, true, 255, rfNone,
                      false, 0);
  EXPECT_TRUE(SamePixels(byMember, byRoutine));
  EXPECT_TRUE(Untouched(byMember, 4, 4, 20, 15));
  ASSERT_TRUE(rows && xm && ym);
  EXPECT_EQ(*xm, *xm2);
  EXPECT_EQ(*ym, *ym2);
}

}  // namespace

}  // namespace test_render_tests
