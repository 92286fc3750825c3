// What the PSD reader and writer share: big-endian numbers, the colour
// modes, the pixel format each mode and depth maps to, and PackBits rows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/core/base/iedefs.h"

namespace psd_common {

enum TPSDMode : int {
  kBitmap = 0,
  kGrayscale = 1,
  kIndexed = 2,
  kRGB = 3,
  kCMYK = 4,
  kMultichannel = 7,
  kDuotone = 8,
  kLab = 9,
};

// The format's own limit on either side of a document or layer.
constexpr int64_t kMaxSide = 300000;

inline uint16_t BE16(const Byte* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t BE32(const Byte* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The picture format of a layer or merged picture, or ieNone for a mode and
// depth this system does not read.
inline TIEPixelFormat PixelFormatOf(int Mode, int Depth) {
  switch (Mode) {
    case kBitmap:
      return Depth == 1 ? ie1g : ieNone;
    case kGrayscale:
    case kDuotone:
      return Depth == 8 ? ie8g : Depth == 16 ? ie16g : ieNone;
    case kIndexed:
      return Depth == 8 ? ie8p : ieNone;
    case kRGB:
      return Depth == 8 ? ie24RGB : Depth == 16 ? ieRGB48 : ieNone;
    case kCMYK:
      return Depth == 8 || Depth == 16 ? ieCMYK : ieNone;
    case kMultichannel:
      return Depth == 8 ? ie8g : ieNone;
    case kLab:
      return Depth == 8 || Depth == 16 ? ieCIELab : ieNone;
    default:
      return ieNone;
  }
}

// Unpacks N bytes of PackBits into Out (OutLen bytes): 0..127 copies n + 1
// bytes, -1..-127 repeats the next byte 1 - n times, -128 does nothing.
// Output beyond OutLen and input beyond N are never touched.
inline void UnpackBits(const Byte* In, size_t N, Byte* Out, size_t OutLen) {
  size_t i = 0, o = 0;
  while (i < N && o < OutLen) {
    const int n = int8_t(In[i++]);
    if (n >= 0) {
      for (int k = 0; k <= n && i < N; ++k, ++i)
        if (o < OutLen) Out[o++] = In[i];
    } else if (n != -128) {
      if (i >= N) break;
      const Byte v = In[i++];
      for (int k = 0; k < 1 - n && o < OutLen; ++k) Out[o++] = v;
    }
  }
}

// Appends Row (N bytes) PackBits-coded to Out: runs of 4 or more equal bytes
// (at most 128) become run packets, everything else literal packets of at
// most 128 bytes.
inline void PackBits(const Byte* Row, size_t N, std::vector<Byte>& Out) {
  size_t i = 0, litStart = 0;
  auto flush = [&](size_t End) {
    while (litStart < End) {
      const size_t n = std::min<size_t>(128, End - litStart);
      Out.push_back(Byte(n - 1));
      Out.insert(Out.end(), Row + litStart, Row + litStart + n);
      litStart += n;
    }
  };
  while (i < N) {
    size_t run = 1;
    while (i + run < N && run < 128 && Row[i + run] == Row[i]) ++run;
    if (run >= 4) {
      flush(i);
      Out.push_back(Byte(1 - int(run)));
      Out.push_back(Row[i]);
      i += run;
      litStart = i;
    } else {
      i += run;
    }
  }
  flush(N);
}

}  // namespace psd_common
