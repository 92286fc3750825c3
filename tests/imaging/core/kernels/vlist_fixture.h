// Shared set-up of the virtual image list tests: library switches and test
// seams restored after each test, a private temporary folder that must be
// empty again when the test ends, and pictures with recognisable pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iefilebuffer.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/kernels/ievirtualimagelist.h"
#include "tests/support/temp_dir.h"

class VlistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FTemp = std::make_unique<gt_test::TempDir>("vlist");
    ASSERT_TRUE(FTemp->Ok());
    Dir = FTemp->Path;
    IETempFolder = Utf8ToWide(Dir);
  }
  void TearDown() override {
    EXPECT_TRUE(gt_test::FolderEntries(Dir).empty()) << "left in " << Dir;
    FTemp.reset();
    IEMemoryThresholdOverride = SavedThreshold;
    IEUseSegments = SavedUseSegments;
    IETempFolder = SavedTempFolder;
    IEBitmapTestHooks = {};
    IEFileBufferTestHooks = {};
  }

  std::unique_ptr<gt_test::TempDir> FTemp;
  std::string Dir;
  int64_t SavedThreshold = IEMemoryThresholdOverride;
  bool SavedUseSegments = IEUseSegments;
  WideString SavedTempFolder = IETempFolder;
};

// Every byte of every row (padding included) depends on its place and Seed,
// so swapped, flipped or shifted rows show.
inline void FillPattern(TIEBitmap& B, int Seed) {
  for (Integer y = 0; y < B.Height(); ++y) {
    auto* row = static_cast<Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < B.RowLen(); ++x) row[x] = static_cast<Byte>(x * 7 + y * 13 + Seed * 31);
  }
}

inline std::unique_ptr<TIEBitmap> MakePicture(Integer W, Integer H, TIEPixelFormat PF, int Seed) {
  auto b = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(b->Allocate(W, H, PF));
  FillPattern(*b, Seed);
  if (PF == ie8p)
    for (Integer i = 0; i < 256; ++i)
      b->SetPaletteColor(i, TRGB{static_cast<Byte>(i), static_cast<Byte>(255 - i), static_cast<Byte>(i ^ Seed)});
  return b;
}

// Rows of A and B equal over the bytes that hold pixels.
inline ::testing::AssertionResult SameRows(TIEBitmap& A, TIEBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.PixelFormat() != B.PixelFormat())
    return ::testing::AssertionFailure() << "shape " << A.Width() << "x" << A.Height() << "/" << int(A.PixelFormat())
                                         << " vs " << B.Width() << "x" << B.Height() << "/" << int(B.PixelFormat());
  const size_t n = (static_cast<size_t>(A.Width()) * A.BitCount() + 7) / 8;
  for (Integer y = 0; y < A.Height(); ++y) {
    std::vector<Byte> ra(static_cast<Byte*>(A.GetScanline(y)), static_cast<Byte*>(A.GetScanline(y)) + n);
    if (std::memcmp(ra.data(), B.GetScanline(y), n) != 0) return ::testing::AssertionFailure() << "row " << y;
  }
  return ::testing::AssertionSuccess();
}

// Bits (rows bottom-up, RowLen each) equal to B's rows.
inline ::testing::AssertionResult BitsMatch(const void* Bits, TIEBitmap& B) {
  if (!Bits) return ::testing::AssertionFailure() << "no bits";
  const auto* p = static_cast<const Byte*>(Bits);
  const size_t n = (static_cast<size_t>(B.Width()) * B.BitCount() + 7) / 8;
  for (Integer i = 0; i < B.Height(); ++i)
    if (std::memcmp(p + static_cast<size_t>(i) * B.RowLen(), B.GetScanline(B.Height() - 1 - i), n) != 0)
      return ::testing::AssertionFailure() << "stored row " << i;
  return ::testing::AssertionSuccess();
}
