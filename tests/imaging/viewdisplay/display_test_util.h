// Helpers of the display tests: a patterned picture whose every pixel is
// known from its coordinates, the nearest-neighbour oracle of a zoomed and
// scrolled view, and reading the back buffer and the window surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../view/view_test_util.h"
#include "imaging/core/bitmap/iebitmap.h"

namespace display_test {

using namespace view_test;

// Colour of picture pixel (x, y), 0x00RRGGBB; neighbours always differ.
inline uint32_t PatternAt(Integer X, Integer Y) {
  const uint32_t r = uint32_t(X * 5 + Y) & 255, g = uint32_t(Y * 3 + X * 11) & 255, b = uint32_t(X * 7 + Y * 13) & 255;
  return (r << 16) | (g << 8) | b;
}

inline void FillPattern(TIEBitmap* B, Integer W, Integer H) {
  ASSERT_TRUE(B->Allocate(W, H, ie24RGB));
  for (Integer y = 0; y < H; ++y) {
    auto* p = static_cast<Byte*>(B->GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      const uint32_t c = PatternAt(x, y);
      p[3 * x] = Byte(c);
      p[3 * x + 1] = Byte(c >> 8);
      p[3 * x + 2] = Byte(c >> 16);
    }
  }
}

inline void FillSolid(TIEBitmap* B, Integer W, Integer H, uint32_t Rgb) {
  ASSERT_TRUE(B->Allocate(W, H, ie24RGB));
  for (Integer y = 0; y < H; ++y) {
    auto* p = static_cast<Byte*>(B->GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      p[3 * x] = Byte(Rgb);
      p[3 * x + 1] = Byte(Rgb >> 8);
      p[3 * x + 2] = Byte(Rgb >> 16);
    }
  }
}

// Pixel (x, y) of an ie24RGB picture as 0x00RRGGBB.
inline uint32_t PixelOf(TIEBitmap* B, Integer X, Integer Y) {
  const auto* p = static_cast<const Byte*>(B->GetScanline(Y)) + 3 * X;
  return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

// The back buffer as 0x00RRGGBB values, row after row.
inline std::vector<uint32_t> Pixels(TIEBitmap* B) {
  std::vector<uint32_t> v;
  v.reserve(size_t(B->Width()) * size_t(B->Height()));
  for (Integer y = 0; y < B->Height(); ++y)
    for (Integer x = 0; x < B->Width(); ++x) v.push_back(PixelOf(B, x, y));
  return v;
}

// How many pixels of a W x H region of A and B differ; the first one in Where.
inline size_t CountDiff(const std::vector<uint32_t>& A, const std::vector<uint32_t>& B, std::string* Where,
                        Integer W) {
  size_t n = 0;
  for (size_t i = 0; i < A.size() && i < B.size(); ++i)
    if (A[i] != B[i]) {
      if (n++ == 0 && Where)
        *Where = "(" + std::to_string(i % size_t(W)) + "," + std::to_string(i / size_t(W)) + ") " +
                 std::to_string(A[i]) + " vs " + std::to_string(B[i]);
    }
  if (A.size() != B.size()) n += 1;
  return n;
}

// What a view at an integral Zoom with origin (OX, OY) and no offset shows
// at client (x, y) with nearest sampling: the picture pixel whose zoomed
// square holds (OX + x, OY + y). Computed in integers, independently of the
// view's tables.
inline std::vector<uint32_t> NearestOracle(Integer W, Integer H, Integer Zoom, Integer OX, Integer OY) {
  std::vector<uint32_t> v;
  v.reserve(size_t(W) * size_t(H));
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) v.push_back(PatternAt((OX + x) * 100 / Zoom, (OY + y) * 100 / Zoom));
  return v;
}

}  // namespace display_test
