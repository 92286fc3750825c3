// The kernels on pictures kept in a temporary file, whose rows are reachable
// one at a time, must give what they give on pictures in memory.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "imaging/core/kernels/iebitmapstats.h"
#include "imaging/core/kernels/ieblur.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/kernels/iemagicwand.h"
#include "kernels_support.h"

namespace test_filebacked_tests {

using namespace kernels_test;

namespace {

// Restores the library's memory threshold however the test ends.
struct TThresholdGuard {
  int64_t Saved = IEMemoryThresholdOverride;
  ~TThresholdGuard() { IEMemoryThresholdOverride = Saved; }
};

std::vector<Byte> Rows(TIEBitmap& B) {
  std::vector<Byte> v;
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* r = RowOf(B, y);
    v.insert(v.end(), r, r + B.RowLen());
  }
  return v;
}

// A picture in memory and an equal one in a file, each with an alpha channel
// of the same values.
// A picture takes the memory threshold when it is made.
void Pair(std::unique_ptr<TIEBitmap>& MemPtr, std::unique_ptr<TIEBitmap>& FilePtr, Integer W, Integer H,
          TIEPixelFormat PF, unsigned Seed) {
  std::mt19937 rng(Seed);
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  MemPtr = std::make_unique<TIEBitmap>();
  TIEBitmap& Mem = *MemPtr;
  ASSERT_TRUE(Mem.Allocate(W, H, PF));
  TIEBitmap* ma = Mem.GetAlphaChannel();
  for (Integer y = 0; y < H; ++y) {
    for (Integer i = 0; i < Mem.RowLen(); ++i) RowOf(Mem, y)[i] = Byte((rng() % 4) * 60 + (y / 8) * 3);
    for (Integer x = 0; x < W; ++x) RowOf(*ma, y)[x] = (x > W / 3 && x < W / 2 && y > H / 3 && y < H / 2) ? 255 : 0;
  }
  IEMemoryThresholdOverride = 0;
  FilePtr = std::make_unique<TIEBitmap>();
  TIEBitmap& File = *FilePtr;
  ASSERT_TRUE(File.Allocate(W, H, PF));
  ASSERT_EQ(File.Location(), ieFile);
  TIEBitmap* fa = File.GetAlphaChannel();
  for (Integer y = 0; y < H; ++y) {
    std::memcpy(RowOf(File, y), RowOf(Mem, y), size_t(Mem.RowLen()));
    std::memcpy(RowOf(*fa, y), RowOf(*ma, y), size_t(W));
  }
}

}  // namespace

TEST(FileBackedPictures, KernelsGiveTheSameResults) {
  TThresholdGuard guard;
  const Integer W = 90, H = 70;
  {
    std::unique_ptr<TIEBitmap> mp, fp;
    Pair(mp, fp, W, H, ie8g, 1);
    TIEBitmap &m = *mp, &f = *fp;
    IEGaussianBlurRect8(&m, 5, 3, 80, 66, 3.0);
    IEGaussianBlurRect8(&f, 5, 3, 80, 66, 3.0);
    IEApplyFilter3x3Gray(&m, TIEFilter3x3{{{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}}, 1}, 0, 10, W - 1, H - 1);
    IEApplyFilter3x3Gray(&f, TIEFilter3x3{{{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}}, 1}, 0, 10, W - 1, H - 1);
    EXPECT_EQ(Rows(f), Rows(m));
    EXPECT_TRUE(IEBitmapsEqual(&m, &f));
  }
  {
    std::unique_ptr<TIEBitmap> mp, fp;
    Pair(mp, fp, W, H, ie24RGB, 2);
    TIEBitmap &m = *mp, &f = *fp;
    EXPECT_EQ(IEAddSoftShadowRect(&m, 4, -3, 2.5, 60, TRGB{10, 20, 30}, 31, 24, 44, 34),
              IEAddSoftShadowRect(&f, 4, -3, 2.5, 60, TRGB{10, 20, 30}, 31, 24, 44, 34));
    EXPECT_EQ(Rows(f), Rows(m));
    EXPECT_EQ(Rows(*f.GetAlphaChannel()), Rows(*m.GetAlphaChannel()));
    TRect rm, rf;
    IEGetOpaqueBounds(&m, rm);
    IEGetOpaqueBounds(&f, rf);
    EXPECT_EQ(rf, rm);

    std::unique_ptr<TIEBitmap> ref, refFile;
    Pair(ref, refFile, 40, 30, ie24RGB, 3);
    IEMatchHistogram(refFile.get(), &f);
    IEMatchHistogram(ref.get(), &m);
    IEReorderChannels(&f, "GRB", nullptr, nullptr);
    IEReorderChannels(&m, "GRB", nullptr, nullptr);
    EXPECT_EQ(Rows(f), Rows(m));
    Integer r1, g1, b1, r2, g2, b2;
    IECalcAverageRGB(&m, r1, g1, b1);
    IECalcAverageRGB(&f, r2, g2, b2);
    EXPECT_EQ(std::vector<Integer>({r2, g2, b2}), std::vector<Integer>({r1, g1, b1}));
    EXPECT_TRUE(IEBitmapsEqual(&m, &f));

    for (bool dilate : {false, true}) {
      TIEMask mm, mf;
      mm.AllocateBits(W, H, 8);
      mf.AllocateBits(W, H, 8);
      IEMagicWandFill(&m, 10, 10, dilate, 70, &mm, 255);
      IEMagicWandFill(&f, 10, 10, dilate, 70, &mf, 255);
      EXPECT_EQ(std::vector<Byte>(mf.Bits(), mf.Bits() + mf.RowLen() * H),
                std::vector<Byte>(mm.Bits(), mm.Bits() + mm.RowLen() * H));
      Integer cm = 0, cf = 0;
      auto pm = IEMagicWandOutline(&m, 10, 10, dilate, 70, cm);
      auto pf = IEMagicWandOutline(&f, 10, 10, dilate, 70, cf);
      ASSERT_EQ(cf, cm);
      ASSERT_GT(cm, 0);
      EXPECT_EQ(std::vector<TPoint>(pf.get(), pf.get() + cf), std::vector<TPoint>(pm.get(), pm.get() + cm));
    }
  }
}

}  // namespace test_filebacked_tests
