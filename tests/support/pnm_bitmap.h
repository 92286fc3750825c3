// Pictures to and from PNM files, for the oracles that read and write them:
// ie1g as P4, ie8g and ie8p (its indexes) as P5, ie16g as 16-bit P5, ie24RGB
// as P6 and ieRGB48 as 16-bit P6.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "tests/support/pnm.h"

namespace gt_test {

// Writes B as a PNM file; false for a pixel format PNM does not hold or a
// failed write.
inline bool WritePnm(const std::string& Path, TIEBitmap& B) {
  const TIEPixelFormat pf = B.PixelFormat();
  const Integer w = B.Width(), h = B.Height();
  if (pf == ie1g) {
    // PNM bits are 1 for black, ours 1 for white; the bits past the width are 0.
    const std::string head = "P4\n" + std::to_string(w) + " " + std::to_string(h) + "\n";
    std::vector<uint8_t> file(head.begin(), head.end());
    const size_t row = (size_t(w) + 7) / 8;
    for (Integer y = 0; y < h; ++y) {
      const Byte* s = static_cast<const Byte*>(B.GetScanline(y));
      for (size_t i = 0; i < row; ++i) file.push_back(Byte(~s[i]));
      if (w % 8) file.back() &= Byte(0xFF << (8 - w % 8));
    }
    return WriteFileBytes(Path, file);
  }
  if (pf != ie8g && pf != ie8p && pf != ie16g && pf != ie24RGB && pf != ieRGB48) return false;
  const int channels = pf == ie24RGB || pf == ieRGB48 ? 3 : 1;
  const bool deep = pf == ie16g || pf == ieRGB48;
  std::vector<int> samples;
  samples.reserve(size_t(w) * size_t(h) * size_t(channels));
  for (Integer y = 0; y < h; ++y) {
    const Byte* s = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < w; ++x)
      for (int k = 0; k < channels; ++k) {
        if (deep) {
          Word v;
          std::memcpy(&v, s + 2 * (size_t(x) * size_t(channels) + size_t(k)), 2);
          samples.push_back(v);
        } else {
          // ie24RGB keeps blue first
          samples.push_back(s[size_t(x) * size_t(channels) + size_t(channels == 3 ? 2 - k : k)]);
        }
      }
  }
  return WritePnmSamples(Path, w, h, channels, deep ? 65535 : 255, samples);
}

// The picture of a PNM file: P4 as ie1g; 8-bit P6 as ie24RGB and 16-bit P6 as
// ieRGB48; 8-bit P5 as GrayFormat (ie8g, or ie8p for indexes), 16-bit P5 as
// ie16g. Samples of a MaxVal other than 255 or 65535 are kept as they are.
inline bool LoadPnm(const Pnm& P, TIEBitmap& B, TIEPixelFormat GrayFormat = ie8g) {
  const bool deep = P.MaxVal > 255;
  const TIEPixelFormat pf = P.Kind == '4'   ? ie1g
                            : P.Kind == '6' ? (deep ? ieRGB48 : ie24RGB)
                                            : (deep ? ie16g : GrayFormat);
  if (P.Width <= 0 || P.Height <= 0 || !B.Allocate(P.Width, P.Height, pf)) return false;
  for (int y = 0; y < P.Height; ++y) {
    Byte* d = static_cast<Byte*>(B.GetScanline(y));
    for (int x = 0; x < P.Width; ++x) {
      if (pf == ie1g) {
        const Byte bit = Byte(0x80 >> (x & 7));
        d[x >> 3] = P.At(x, y) ? Byte(d[x >> 3] & ~bit) : Byte(d[x >> 3] | bit);
        continue;
      }
      for (int k = 0; k < P.Channels; ++k) {
        const size_t at = size_t(x) * size_t(P.Channels) + size_t(k);
        if (deep) {
          const Word v = Word(P.At(x, y, k));
          std::memcpy(d + 2 * at, &v, 2);
        } else {
          d[size_t(x) * size_t(P.Channels) + size_t(P.Channels == 3 ? 2 - k : k)] = Byte(P.At(x, y, k));
        }
      }
    }
  }
  return true;
}

}  // namespace gt_test
