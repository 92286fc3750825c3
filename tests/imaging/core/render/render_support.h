// Shared helpers of the rotation and rendering tests: pictures from
// functions, binary PNM files for the outside oracles (ImageMagick,
// exiftran, a numpy script), pixel comparisons that ignore row padding, and
// the library switches that choose a picture's storage.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieglobals.h"
#include "tests/support/temp_dir.h"

namespace render_test {

inline int Shell(const std::string& Command) { return std::system(Command.c_str()); }

inline bool Have(const std::string& Program) {
  return Shell("command -v " + Program + " >/dev/null 2>&1") == 0;
}

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
      char tmpl[] = "/tmp/gt-render-file-XXXXXX";
      if (::mkdtemp(tmpl)) FDir = tmpl;
      IETempFolder = Utf8ToWide(FDir);
    }
    IEMemoryThresholdOverride = s == Storage::File ? 0 : std::numeric_limits<int64_t>::max();
    if (s == Storage::Segments) IEBitmapTestHooks.FailBlock = [](int64_t) { return true; };
  }
  ~StorageScope() {
    IEMemoryThresholdOverride = FThreshold;
    IETempFolder = FTemp;
    IEBitmapTestHooks = {};
    if (!FDir.empty()) Shell("rm -rf '" + FDir + "'");
  }
  StorageScope(const StorageScope&) = delete;
  StorageScope& operator=(const StorageScope&) = delete;

 private:
  int64_t FThreshold = IEMemoryThresholdOverride;
  WideString FTemp = IETempFolder;
  std::string FDir;
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

// Small deterministic generator, the same on every platform.
struct Lcg {
  uint32_t State;
  explicit Lcg(uint32_t Seed) : State(Seed) {}
  uint32_t Next() {
    State = State * 1664525u + 1013904223u;
    return State >> 8;
  }
};

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

// ---------------------------------------------------------------------------
// PNM files: P4 (1 = black), P5 and P6 with 8-bit samples.

struct Pnm {
  char Kind = 0;  // '4', '5' or '6'
  int Width = 0, Height = 0;
  std::vector<unsigned char> Data;  // P4: packed rows; P5/P6: samples
};

inline bool ReadPnm(const std::string& Path, Pnm& Out) {
  std::ifstream f(Path, std::ios::binary);
  if (!f) return false;
  std::string magic;
  f >> magic;
  if (magic.size() != 2 || magic[0] != 'P' || (magic[1] != '4' && magic[1] != '5' && magic[1] != '6')) return false;
  Out.Kind = magic[1];
  auto next = [&f]() {
    int v = -1;
    while (f >> std::ws && f.peek() == '#') f.ignore(1 << 20, '\n');
    f >> v;
    return v;
  };
  Out.Width = next();
  Out.Height = next();
  if (Out.Kind != '4' && next() != 255) return false;
  if (Out.Width <= 0 || Out.Height <= 0) return false;
  f.get();
  const size_t row = Out.Kind == '4' ? size_t(Out.Width + 7) / 8 : size_t(Out.Width) * (Out.Kind == '6' ? 3 : 1);
  Out.Data.resize(row * size_t(Out.Height));
  f.read(reinterpret_cast<char*>(Out.Data.data()), std::streamsize(Out.Data.size()));
  return f.gcount() == std::streamsize(Out.Data.size());
}

// ie24RGB as P6, ie8g and ie8p (its indexes) as P5, ie1g as P4.
inline bool WritePnm(const std::string& Path, TIEBitmap& B) {
  const TIEPixelFormat pf = B.PixelFormat();
  if (pf != ie24RGB && pf != ie8g && pf != ie8p && pf != ie1g) return false;
  std::ofstream f(Path, std::ios::binary);
  f << (pf == ie24RGB ? "P6\n" : pf == ie1g ? "P4\n" : "P5\n") << B.Width() << " " << B.Height() << "\n";
  if (pf != ie1g) f << "255\n";
  for (Integer y = 0; y < B.Height(); ++y) {
    std::vector<Byte> r = RowBytes(B, y);
    if (pf == ie24RGB)
      for (size_t i = 0; i + 2 < r.size(); i += 3) std::swap(r[i], r[i + 2]);
    if (pf == ie1g)
      for (Byte& b : r) b = Byte(~b);
    if (pf == ie1g && B.Width() % 8 != 0) r.back() &= Byte(0xFF << (8 - B.Width() % 8));
    f.write(reinterpret_cast<const char*>(r.data()), std::streamsize(r.size()));
  }
  return bool(f);
}

// The picture of a PNM file in the format that matches its kind (P5 into
// PF, which is ie8g or ie8p).
inline bool LoadPnm(const Pnm& P, TIEBitmap& B, TIEPixelFormat GrayFormat = ie8g) {
  const TIEPixelFormat pf = P.Kind == '6' ? ie24RGB : P.Kind == '4' ? ie1g : GrayFormat;
  if (!B.Allocate(P.Width, P.Height, pf)) return false;
  const size_t row = P.Kind == '4' ? size_t(P.Width + 7) / 8 : size_t(P.Width) * (P.Kind == '6' ? 3 : 1);
  for (int y = 0; y < P.Height; ++y) {
    Byte* d = static_cast<Byte*>(B.GetScanline(y));
    const unsigned char* s = P.Data.data() + row * size_t(y);
    for (size_t i = 0; i < row; ++i) d[i] = P.Kind == '4' ? Byte(~s[i]) : s[i];
    if (P.Kind == '6')
      for (size_t i = 0; i + 2 < row; i += 3) std::swap(d[i], d[i + 2]);
  }
  return true;
}

// A colour no rendering produces from the test pictures: pixels that keep it
// were not drawn.
inline const TRGB kMarker{1, 2, 3};

inline void FillMarker(TIEBitmap& B) {
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x) SetPixel(B, x, y, kMarker);
}

}  // namespace render_test
