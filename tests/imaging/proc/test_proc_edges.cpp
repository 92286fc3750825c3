// The edge detector: flat pictures, a step, the threshold's direction,
// guarded arguments and long edge chains.
#include <gtest/gtest.h>

#include "proc_test_util.h"

namespace test_proc_edges_tests {

using namespace proc_test;

namespace {

int BlackCount(TIEBitmap& B, Integer* MinX = nullptr, Integer* MaxX = nullptr) {
  int n = 0;
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x) {
      TRGB t;
      B.GetPixelAsRGB(x, y, t);
      if (t.r == 0) {
        ++n;
        if (MinX) *MinX = std::min(*MinX, x);
        if (MaxX) *MaxX = std::max(*MaxX, x);
      }
    }
  return n;
}

void Step(TIEBitmap& B, Integer W, Integer H, Integer At) {
  ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const Byte v = x < At ? 0 : 255;
      B.SetPixelTriple(x, y, TRGB{v, v, v});
    }
}

TEST(ProcEdges, FlatPictureGivesWhiteAndAStepGivesALineBesideIt) {
  TIEBitmap flat;
  ASSERT_TRUE(flat.Allocate(40, 30, ie24RGB));
  flat.Fill(static_cast<double>(0x336699));
  TZiduzUvProc::CreateFromBitmap(&flat)->EdgeDetect();
  ASSERT_EQ(flat.PixelFormat(), ie1g);
  EXPECT_EQ(BlackCount(flat), 0);

  TIEBitmap b;
  Step(b, 64, 64, 32);
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  Events ev;
  ev.Attach(*p);
  p->EdgeDetect(7, 0, 0.99, 0.9, true);
  ASSERT_EQ(b.PixelFormat(), ie1g);
  ASSERT_EQ(b.Width(), 64);
  Integer lo = 64, hi = -1;
  EXPECT_GT(BlackCount(b, &lo, &hi), 30);
  EXPECT_GE(lo, 30);
  EXPECT_LE(hi, 33);
  for (Integer y = 0; y < 64; ++y) EXPECT_EQ(b.GetPixelByte(0, y) & 0x80, 0x80);  // column 0 white
  for (Integer x = 0; x < 64; ++x) {
    TRGB t;
    b.GetPixelAsRGB(x, 63, t);
    ASSERT_EQ(t.r, 255) << x;  // last row white
  }
  EXPECT_EQ(ev.Progress, (std::vector<Integer>{16, 33, 50, 66, 83, 100, 100}));
}

TEST(ProcEdges, RaisingTheRatioRaisesTheThresholdAndHysteresisOnlyAdds) {
  TIEBitmap src;
  Noise(src, 80, 60, ie24RGB);
  int last = INT32_MAX;
  for (double ratio : {0.3, 0.7, 0.9, 0.99, 1.0}) {
    TIEBitmap b;
    b.Assign(&src);
    TZiduzUvProc::CreateFromBitmap(&b)->EdgeDetect(7, 0, ratio, 0.9, false);
    const int n = BlackCount(b);
    EXPECT_LE(n, last) << ratio;
    last = n;
  }
  TIEBitmap with, without;
  with.Assign(&src);
  without.Assign(&src);
  TZiduzUvProc::CreateFromBitmap(&with)->EdgeDetect(7, 0, 0.9, 0.9, true);
  TZiduzUvProc::CreateFromBitmap(&without)->EdgeDetect(7, 0, 0.9, 0.9, false);
  EXPECT_GE(BlackCount(with), BlackCount(without));
  EXPECT_GT(BlackCount(without), 0);
}

TEST(ProcEdges, ArgumentsOutsideTheirRangeAreGuarded) {
  TIEBitmap src;
  Step(src, 50, 40, 20);
  for (double b : {0.0, 1.0, -1.0, 1.5}) {
    TIEBitmap t;
    t.Assign(&src);
    TZiduzUvProc p(nullptr);
    p.SetAutoUndo(true);
    p.SetAttachedIEBitmap(&t);
    p.EdgeDetect(7, 0, 0.99, b, true);
    EXPECT_EQ(t.PixelFormat(), ie24RGB) << b;
    EXPECT_EQ(p.GetUndoCount(), 0);
  }
  // Windows wider than the padding are cut to it.
  TIEBitmap wide, widest;
  wide.Assign(&src);
  widest.Assign(&src);
  TZiduzUvProc::CreateFromBitmap(&wide)->EdgeDetect(51, 0, 0.9, 0.9, true);
  TZiduzUvProc::CreateFromBitmap(&widest)->EdgeDetect(1001, 0, 0.9, 0.9, true);
  EXPECT_EQ(Bytes(wide), Bytes(widest));
  TIEBitmap neg;
  neg.Assign(&src);
  TZiduzUvProc::CreateFromBitmap(&neg)->EdgeDetect(-9, 3, 0.9, 0.9, true);
  EXPECT_EQ(neg.PixelFormat(), ie1g);
  // Tiny pictures wrap into the padding without reading outside it.
  for (auto [w, h] : {std::pair{1, 1}, {2, 1}, {1, 3}}) {
    TIEBitmap t;
    Noise(t, w, h, ie24RGB);
    TZiduzUvProc::CreateFromBitmap(&t)->EdgeDetect();
    EXPECT_EQ(t.Width(), w);
  }
}

TEST(ProcEdges, AVeryLongEdgeChainIsFollowedWithoutRecursion) {
  // A serpentine band: one connected edge of several hundred thousand
  // pixels, far deeper than a call stack can follow one call per pixel.
  const Integer N = 1200;
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(N, N, ie24RGB));
  b.Fill(0);
  for (Integer y = 0; y < N; ++y) {
    const Integer band = y / 12;
    for (Integer x = 0; x < N; ++x) {
      const bool line = (y % 12) < 6 || (band % 2 == 0 ? x >= N - 8 : x < 8);
      if (line) b.SetPixelTriple(x, y, TRGB{255, 255, 255});
    }
  }
  TZiduzUvProc::CreateFromBitmap(&b)->EdgeDetect(7, 0, 0.5, 0.9, true);
  EXPECT_GT(BlackCount(b), N * N / 20);
}

}  // namespace

}  // namespace test_proc_edges_tests
