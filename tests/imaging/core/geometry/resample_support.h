// Shared helpers of the resampling tests: pictures from functions, PNM files
// for the outside oracles (ImageMagick, Pillow), picture comparison and a
// private temporary folder.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieparallel.h"
#include "imaging/core/geometry/ieresample.h"
#include "tests/support/temp_dir.h"

namespace resample_test {

// Test files go to a private folder named after this suite.
class TempDir : public gt_test::TempDir {
 public:
  TempDir() : gt_test::TempDir("resample") {}
};

inline int Shell(const std::string& Command) { return std::system(Command.c_str()); }

// Forces one thread count for a scope.
class ThreadScope {
 public:
  explicit ThreadScope(Integer Count) : FSaved(IEParallelThreads()) { IESetParallelThreads(Count); }
  ~ThreadScope() { IESetParallelThreads(FSaved); }

 private:
  Integer FSaved;
};

struct Lcg {
  uint32_t State;
  explicit Lcg(uint32_t Seed) : State(Seed) {}
  uint32_t Next() {
    State = State * 1664525u + 1013904223u;
    return State >> 8;
  }
};

// A picture of the given format whose sample c of pixel (x, y) is F(x, y, c)
// (truncated to the sample type). ie1g: a non-zero value sets the bit.
inline void Make(TIEBitmap& B, TIEPixelFormat PF, Integer W, Integer H,
                 const std::function<double(Integer x, Integer y, Integer c)>& F) {
  ASSERT_TRUE(B.Allocate(W, H, PF));
  const Integer channels = IEPixelFormatChannelCount(PF);
  for (Integer y = 0; y < H; ++y) {
    Byte* row = static_cast<Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < W; ++x)
      for (Integer c = 0; c < channels; ++c) {
        const double v = F(x, y, c);
        switch (PF) {
          case ie1g:
            if (v != 0)
              row[x >> 3] |= Byte(0x80 >> (x & 7));
            else
              row[x >> 3] &= Byte(~(0x80 >> (x & 7)));
            break;
          case ie16g:
          case ieRGB48:
            reinterpret_cast<Word*>(row)[x * channels + c] = Word(v);
            break;
          case ie32f:
            reinterpret_cast<float*>(row)[x] = float(v);
            break;
          default:
            row[x * channels + c] = Byte(v);
            break;
        }
      }
  }
}

// Sample c of pixel (x, y) of a row of the given format as a double (ie1g: 0 or 255).
inline double RowSample(const Byte* Row, TIEPixelFormat PF, Integer Channels, Integer x, Integer c) {
  switch (PF) {
    case ie1g:
      return (Row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    case ie16g:
    case ieRGB48: {
      Word w;
      std::memcpy(&w, Row + 2 * (size_t(x) * Channels + c), 2);
      return w;
    }
    case ie32f: {
      float f;
      std::memcpy(&f, Row + 4 * size_t(x), 4);
      return f;
    }
    default:
      return Row[size_t(x) * Channels + c];
  }
}

inline double Sample(TIEBitmap& B, Integer x, Integer y, Integer c = 0) {
  return RowSample(static_cast<const Byte*>(B.GetScanline(y)), B.PixelFormat(), B.ChannelCount(), x, c);
}

// Every sample of every pixel, row by row (padding left out). Each row is
// fetched once: a picture in a temporary file maps a row per fetch.
inline std::vector<double> Samples(TIEBitmap& B) {
  std::vector<double> out;
  const Integer channels = B.PixelFormat() == ie1g ? 1 : B.ChannelCount();
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* row = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < B.Width(); ++x)
      for (Integer c = 0; c < channels; ++c) out.push_back(RowSample(row, B.PixelFormat(), B.ChannelCount(), x, c));
  }
  return out;
}

// Binary PNM of 8 or 16 bits per sample: P5 one channel, P6 R, G, B.
struct Pnm {
  int Width = 0, Height = 0, Channels = 0, MaxVal = 0;
  std::vector<int> Data;
  int At(int x, int y, int c = 0) const { return Data[(size_t(y) * Width + x) * Channels + c]; }
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
  Out.MaxVal = next();
  if (Out.Width <= 0 || Out.Height <= 0 || Out.MaxVal <= 0 || Out.MaxVal > 65535) return false;
  f.get();
  const size_t n = size_t(Out.Width) * Out.Height * Out.Channels;
  const int bytes = Out.MaxVal > 255 ? 2 : 1;
  std::vector<unsigned char> raw(n * bytes);
  f.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
  if (f.gcount() != std::streamsize(raw.size())) return false;
  Out.Data.resize(n);
  for (size_t i = 0; i < n; ++i) Out.Data[i] = bytes == 2 ? (raw[2 * i] << 8 | raw[2 * i + 1]) : raw[i];
  return true;
}

// ie8g and ie16g as P5; ie24RGB and ieRGB48 as P6 (in R, G, B order).
inline bool WritePnm(const std::string& Path, TIEBitmap& B) {
  const TIEPixelFormat pf = B.PixelFormat();
  const bool gray = pf == ie8g || pf == ie16g;
  const bool deep = pf == ie16g || pf == ieRGB48;
  std::ofstream f(Path, std::ios::binary);
  f << (gray ? "P5\n" : "P6\n") << B.Width() << " " << B.Height() << "\n" << (deep ? 65535 : 255) << "\n";
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x)
      for (Integer k = 0; k < (gray ? 1 : 3); ++k) {
        // ie24RGB stores blue first; ieRGB48 stores red first.
        const Integer c = pf == ie24RGB ? 2 - k : k;
        const int v = int(Sample(B, x, y, gray ? 0 : c));
        if (deep) f.put(char(v >> 8));
        f.put(char(v & 255));
      }
  return bool(f);
}

// Peak signal-to-noise ratio of B against the PNM picture (same size and
// channel order R, G, B).
inline double Psnr(TIEBitmap& B, const Pnm& Ref) {
  double se = 0;
  size_t n = 0;
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x)
      for (Integer k = 0; k < Ref.Channels; ++k) {
        const Integer c = B.PixelFormat() == ie24RGB ? 2 - k : k;
        const double d = Sample(B, x, y, c) - Ref.At(x, y, k);
        se += d * d;
        ++n;
      }
  if (se == 0) return 99.0;
  const double mse = se / double(n);
  return 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace resample_test
