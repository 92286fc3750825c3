// Shared helper of the GIF library tests: a 24-bit platform bitmap painted
// pixel by pixel from a function of (x, y) giving {r, g, b}.
#pragma once

#include <array>
#include <functional>
#include <memory>

#include "platform/graphics/bitmap.h"

namespace giflib_test {

using Rgb = std::array<Byte, 3>;

inline std::unique_ptr<TBitmap> Bitmap24(Integer W, Integer H, const std::function<Rgb(Integer, Integer)>& Fn) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(W, H);
  for (Integer y = 0; y < H; ++y) {
    Byte* row = static_cast<Byte*>(b->ScanLine(y));
    for (Integer x = 0; x < W; ++x) {
      const Rgb c = Fn(x, y);
      row[3 * x] = c[2];
      row[3 * x + 1] = c[1];
      row[3 * x + 2] = c[0];
    }
  }
  return b;
}

}  // namespace giflib_test
