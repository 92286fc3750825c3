// Shared helpers of the 1-bit and quantizer tests: pictures from functions,
// binary PNM files for the outside oracles (ImageMagick, a numpy script), and
// a private temporary folder.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "tests/support/temp_dir.h"

namespace quant_test {

// Test files go to a private folder named after this suite.
class TempDir : public gt_test::TempDir {
 public:
  TempDir() : gt_test::TempDir("quant") {}
};

inline int Shell(const std::string& Command) { return std::system(Command.c_str()); }

inline std::string Capture(const std::string& Command) {
  std::string out;
  if (FILE* p = ::popen(Command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

// A binary PNM picture: P5 (one channel) or P6 (R, G, B), 8-bit samples.
struct Pnm {
  int Width = 0, Height = 0, Channels = 0;
  std::vector<unsigned char> Data;
  unsigned char At(int x, int y, int c = 0) const { return Data[(size_t(y) * Width + x) * Channels + c]; }
};

inline bool ReadPnm(const std::string& Path, Pnm& Out) {
  std::ifstream f(Path, std::ios::binary);
  if (!f) return false;
  std::string magic;
  f >> magic;
  auto next = [&f]() {
    int v = -1;
    while (f >> std::ws && f.peek() == '#') f.ignore(1 << 20, '\n');
    f >> v;
    return v;
  };
  if (magic != "P5" && magic != "P6") return false;
  Out.Channels = magic == "P5" ? 1 : 3;
  Out.Width = next();
  Out.Height = next();
  const int maxval = next();
  if (Out.Width <= 0 || Out.Height <= 0 || maxval != 255) return false;
  f.get();
  Out.Data.resize(size_t(Out.Width) * Out.Height * Out.Channels);
  f.read(reinterpret_cast<char*>(Out.Data.data()), std::streamsize(Out.Data.size()));
  return f.gcount() == std::streamsize(Out.Data.size());
}

// ie8g as P5, ie24RGB as P6.
inline bool WritePnm(const std::string& Path, TIEBitmap& B) {
  const bool gray = B.PixelFormat() == ie8g;
  if (!gray && B.PixelFormat() != ie24RGB) return false;
  std::ofstream f(Path, std::ios::binary);
  f << (gray ? "P5\n" : "P6\n") << B.Width() << " " << B.Height() << "\n255\n";
  std::vector<char> row(size_t(B.Width()) * (gray ? 1 : 3));
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* s = static_cast<const Byte*>(B.GetScanline(y));
    if (gray) {
      std::memcpy(row.data(), s, row.size());
    } else {
      for (Integer x = 0; x < B.Width(); ++x) {
        row[3 * x] = char(s[3 * x + 2]);
        row[3 * x + 1] = char(s[3 * x + 1]);
        row[3 * x + 2] = char(s[3 * x]);
      }
    }
    f.write(row.data(), std::streamsize(row.size()));
  }
  return bool(f);
}

// An ie24RGB picture from a P6 file.
inline bool LoadRGB(const Pnm& P, TIEBitmap& B) {
  if (P.Channels != 3 || !B.Allocate(P.Width, P.Height, ie24RGB)) return false;
  for (int y = 0; y < P.Height; ++y) {
    Byte* d = static_cast<Byte*>(B.GetScanline(y));
    for (int x = 0; x < P.Width; ++x) {
      d[3 * x] = P.At(x, y, 2);
      d[3 * x + 1] = P.At(x, y, 1);
      d[3 * x + 2] = P.At(x, y, 0);
    }
  }
  return true;
}

// An ie24RGB picture whose pixel (x, y) is Fn(x, y).
inline void MakeRGB(TIEBitmap& B, Integer W, Integer H, const std::function<TRGB(Integer, Integer)>& Fn) {
  ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
  for (Integer y = 0; y < H; ++y) {
    TRGB* d = static_cast<TRGB*>(B.GetScanline(y));
    for (Integer x = 0; x < W; ++x) d[x] = Fn(x, y);
  }
}

inline TRGB Rgb(Byte r, Byte g, Byte b) { return TRGB{b, g, r}; }

// Bit x of row y of an ie1g picture.
inline bool White(TIEBitmap& B, Integer x, Integer y) {
  return (static_cast<const Byte*>(B.GetScanline(y))[x >> 3] & (0x80 >> (x & 7))) != 0;
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

}  // namespace quant_test
