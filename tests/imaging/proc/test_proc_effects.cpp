// Bump map, lens, wave and soft shadow.
#include <gtest/gtest.h>

#include "proc_test_util.h"

namespace test_proc_effects_tests {

using namespace proc_test;

namespace {

struct Rec {
  std::atomic<bool> Abort{false};
  TIEProgressRec P{Abort};
};

TEST(ProcEffects, BumpMapBetweenSourceAndLight) {
  TIEBitmap b;
  Noise(b, 30, 20, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  Rec r;
  IEBumpMap(&b, 10, 10, r.P, 0, 0, 30, 20, 0xFFFFFF, 100, 50, 50);
  EXPECT_EQ(Bytes(b), Bytes(original));
  IEBumpMap(&b, 10, 10, r.P, 0, 0, 30, 20, 0xFFFFFF, 0, 0, 50);  // no light size: nothing
  EXPECT_EQ(Bytes(b), Bytes(original));
  // Only light on a flat picture: under the light the patched centre entry,
  // the mean of two entries of Trunc((1 - sqrt(2) / 128) * 256) = 253.
  TIEBitmap flat;
  ASSERT_TRUE(flat.Allocate(30, 20, ie24RGB));
  flat.Fill(static_cast<double>(0x808080));
  IEBumpMap(&flat, 10, 10, r.P, 0, 0, 30, 20, 0x0000FF, 0, 50, 50);  // blue light
  EXPECT_EQ(PixelBytes(flat, 10, 10), (std::vector<Byte>{253, 0, 0}));
  EXPECT_LT(PixelBytes(flat, 29, 19)[0], 253);
}

TEST(ProcEffects, LensRefractsOnlyInsideItsEllipse) {
  TIEBitmap b;
  Noise(b, 60, 40, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  Rec r;
  IELensEffect(&b, 30, 20, r.P, 0.5, 30, 40);
  IELensEffect(&b, 30, 20, r.P, 1, 30, 40);  // refraction 1 bends nothing
  IELensEffect(&b, 30, 20, r.P, -1, 30, 40);
  EXPECT_EQ(Bytes(b), Bytes(original));
  IELensEffect(&b, 30, 20, r.P, 2.5, 30, 40);
  EXPECT_NE(Bytes(b), Bytes(original));
  // Box 10..50 by 5..35: pixels outside its inscribed ellipse keep their values.
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 60; ++x) {
      const double u = (x - 10 - 20 + 0.5) / 20, v = (15 - (y - 5) - 0.5) / 15;
      if (x < 10 || x >= 50 || y < 5 || y >= 35 || u * u + v * v >= 1) {
        ASSERT_EQ(PixelBytes(b, x, y), PixelBytes(original, x, y)) << x << "," << y;
      }
    }
  // Lenses on corners and edges, and lenses without area, stay inside the picture.
  for (auto [cx, cy, w, h] : {std::tuple{0, 0, 50, 50}, {59, 39, 50, 50}, {59, 0, 120, 7}, {30, 20, 0, 10},
                              {30, 20, 1, 1}, {-100, -100, 20, 20}}) {
    IELensEffect(&b, cx, cy, r.P, 3, h, w);
    IELensEffect(&b, cx, cy, r.P, -3, h, w);
  }
  EXPECT_EQ(b.Width(), 60);
}

TEST(ProcEffects, WaveNeedsAmplitudeAndTwentyFourBits) {
  Rec r;
  TIEBitmap b;
  Noise(b, 40, 30, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  IEWaveEffect(&b, 0, 10, r.P, false, 0);
  IEWaveEffect(&b, 5, 0, r.P, false, 0);
  EXPECT_EQ(Bytes(b), Bytes(original));
  IEWaveEffect(&b, 5, 10, r.P, true, 30);
  EXPECT_NE(Bytes(b), Bytes(original));
  for (TIEPixelFormat pf : {ie8g, ie1g, ie32RGB}) {
    TIEBitmap o;
    Noise(o, 9, 7, pf);
    const auto before = Bytes(o);
    IEWaveEffect(&o, 5, 3, r.P, false, 0);
    EXPECT_EQ(Bytes(o), before) << int(pf);
  }
  // One row or one column: the missing neighbours read as 0, nothing else.
  for (auto [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}}) {
    TIEBitmap t;
    Noise(t, w, h, ie24RGB);
    IEWaveEffect(&t, 3, 2, r.P, false, 0);
    IEWaveEffect(&t, 3, 2, r.P, true, 90);
    EXPECT_EQ(t.Width(), w);
  }
}

TEST(ProcEffects, SoftShadowGrowsTheCanvasAndKeepsThePicture) {
  std::vector<Byte> shadows[2];
  for (int run = 0; run < 2; ++run) {
    const Integer intensity = run == 0 ? 100 : 0;
    TIEBitmap b;
    Noise(b, 100, 100, ie24RGB);
    TIEBitmap original;
    original.Assign(&b);
    IEAddSoftShadow(&b, 5, 5, nullptr, nullptr, 0x000000, true, intensity, 3);
    ASSERT_EQ(b.Width(), 125);
    ASSERT_EQ(b.Height(), 125);
    // Centred: 12 columns and rows before the old area.
    for (Integer y = 0; y < 100; ++y)
      for (Integer x = 0; x < 100; ++x) {
        ASSERT_EQ(PixelBytes(b, x + 12, y + 12), PixelBytes(original, x, y));
        ASSERT_EQ(b.GetAlpha(x + 12, y + 12), 255);
      }
    for (Integer y = 0; y < 125; ++y)
      for (Integer x = 0; x < 125; ++x) shadows[run].push_back(b.GetAlpha(x, y));
    EXPECT_GT(b.GetAlpha(114, 114), 0);  // the shadow right of and below the picture
    EXPECT_EQ(b.GetAlpha(2, 2), 0);      // none on the far side
  }
  // Intensity 0 divides the shadow by 3.
  for (size_t i = 0; i < shadows[0].size(); ++i)
    if (shadows[0][i] != 255) {
      ASSERT_EQ(shadows[1][i], shadows[0][i] / 3) << i;
    }
}

}  // namespace

}  // namespace test_proc_effects_tests
