// Shared helpers of the rotation and rendering tests: pictures from
// functions, pixel comparisons that ignore row padding, the library switches
// that choose a picture's storage, and the shared PNM files (for ImageMagick,
// exiftran, a numpy script), runners and temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieglobals.h"
#include "tests/support/lcg.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace render_test {

using gt_test::Shell;

inline bool Have(const std::string& Program) { return gt_test::HaveTool(Program); }

// Test files go to a private folder named after this suite.
class TempDir : public gt_test::TempDir {
 public:
  TempDir() : gt_test::TempDir("render") {}
};

// Storage a new picture gets, chosen through the library's switches and the
// allocation seams; everything is restored when the scope ends.
enum class Storage { Block, Segments, File };

inline const char* StorageName(Storage s) {
  return s == Storage::Block ? "Block" : s == Storage::Segments ? "Segments" : "File";
}

class StorageScope {
 public:
  explicit StorageScope(Storage s) {
    if (s == Storage::File) {
      FDir = std::make_unique<gt_test::TempDir>("render-file");
      IETempFolder = Utf8ToWide(FDir->Path);
    }
    IEMemoryThresholdOverride = s == Storage::File ? 0 : std::numeric_limits<int64_t>::max();
    if (s == Storage::Segments) IEBitmapTestHooks.FailBlock = [](int64_t) { return true; };
  }
  ~StorageScope() {
    IEMemoryThresholdOverride = FThreshold;
    IETempFolder = FTemp;
    IEBitmapTestHooks = {};
  }
  StorageScope(const StorageScope&) = delete;
  StorageScope& operator=(const StorageScope&) = delete;

 private:
  int64_t FThreshold = IEMemoryThresholdOverride;
  WideString FTemp = IETempFolder;
  std::unique_ptr<gt_test::TempDir> FDir;  // the folder of file-backed pictures
};

inline void ExpectStorage(TIEBitmap& B, Storage S) {
  EXPECT_EQ(B.Location(), S == Storage::File ? ieFile : ieMemory);
  EXPECT_EQ(B.SegmentCount() > 1, S == Storage::Segments);
}

// Bytes of a row that hold pixels (padding left out).
inline size_t PixelBytesOfRow(TIEBitmap& B) { return (size_t(B.Width()) * size_t(B.BitCount()) + 7) / 8; }

// Row y's pixel bytes; the unused low bits of an ie1g row's last byte are cleared.
inline std::vector<Byte> RowBytes(TIEBitmap& B, Integer y) {
  const size_t n = PixelBytesOfRow(B);
  const Byte* s = static_cast<const Byte*>(B.GetScanline(y));
  std::vector<Byte> r(s, s + n);
  if (B.PixelFormat() == ie1g && B.Width() % 8 != 0 && n > 0) r[n - 1] &= Byte(0xFF << (8 - B.Width() % 8));
  return r;
}

// Same size, format and pixels; reports the first differing row.
inline ::testing::AssertionResult SamePixels(TIEBitmap& A, TIEBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.PixelFormat() != B.PixelFormat())
    return ::testing::AssertionFailure() << "size/format " << A.Width() << "x" << A.Height() << "/"
                                         << int(A.PixelFormat()) << " vs " << B.Width() << "x" << B.Height() << "/"
                                         << int(B.PixelFormat());
  for (Integer y = 0; y < A.Height(); ++y)
    if (RowBytes(A, y) != RowBytes(B, y)) return ::testing::AssertionFailure() << "row " << y << " differs";
  return ::testing::AssertionSuccess();
}

using gt_test::Lcg;

// Fills every pixel byte with noise (all bits of ie1g rows).
inline void Noise(TIEBitmap& B, uint32_t Seed) {
  Lcg g(Seed);
  for (Integer y = 0; y < B.Height(); ++y) {
    Byte* r = static_cast<Byte*>(B.GetScanline(y));
    const size_t n = PixelBytesOfRow(B);
    for (size_t i = 0; i < n; ++i) r[i] = Byte(g.Next());
  }
}

// A picture of that size and format full of noise; an ie8p one also gets a
// palette of distinct colours.
inline void MakeNoise(TIEBitmap& B, Integer W, Integer H, TIEPixelFormat PF, uint32_t Seed) {
  ASSERT_TRUE(B.Allocate(W, H, PF));
  Noise(B, Seed);
  if (PF == ie8p)
    for (Integer i = 0; i < 256; ++i) B.SetPaletteColor(i, TRGB{Byte(i), Byte(255 - i), Byte(i * 7)});
}

inline TRGB Pixel(TIEBitmap& B, Integer x, Integer y) { return static_cast<const TRGB*>(B.GetScanline(y))[x]; }
inline void SetPixel(TIEBitmap& B, Integer x, Integer y, TRGB c) { static_cast<TRGB*>(B.GetScanline(y))[x] = c; }
inline bool SameRGB(const TRGB& a, const TRGB& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// PNM files: P4 (1 = black), P5 and P6 with 8-bit samples.
using gt_test::LoadPnm;
using gt_test::Pnm;
using gt_test::ReadPnm;
using gt_test::WritePnm;

// A colour no rendering produces from the test pictures: pixels that keep it
// were not drawn.
inline const TRGB kMarker{1, 2, 3};

inline void FillMarker(TIEBitmap& B) {
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x) SetPixel(B, x, y, kMarker);
}

}  // namespace render_test
