// Shared helpers of the conversion and pixel tests: pictures from packed
// rows, packed rows back out, and a snapshot that shows any change of a
// picture (pixels with padding, palette, alpha, attributes).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "tests/imaging/core/bitmap/bitmap_fixture.h"

inline std::vector<Byte> FromHex(const char* s) {
  std::vector<Byte> out;
  for (size_t i = 0; s[i] && s[i + 1]; i += 2) out.push_back(Byte(std::stoi(std::string(s + i, 2), nullptr, 16)));
  return out;
}

inline size_t PackedRowBytes(TIEPixelFormat PF, Integer Width) {
  return (size_t(Width) * size_t(IEPixelFormatBitCount(PF)) + 7) / 8;
}

// Fills an allocated picture from rows packed without padding.
inline void SetPackedRows(TIEBitmap& B, const std::vector<Byte>& Rows) {
  const size_t n = PackedRowBytes(B.PixelFormat(), B.Width());
  ASSERT_EQ(Rows.size(), n * size_t(B.Height()));
  for (Integer y = 0; y < B.Height(); ++y) std::memcpy(B.GetScanline(y), Rows.data() + n * size_t(y), n);
}

// The pixel bytes of every row, padding left out; for ie1g the bits past the
// width are cleared.
inline std::vector<Byte> PackedRows(TIEBitmap& B) {
  const size_t n = PackedRowBytes(B.PixelFormat(), B.Width());
  std::vector<Byte> out;
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* r = static_cast<const Byte*>(B.GetScanline(y));
    out.insert(out.end(), r, r + n);
    if (B.PixelFormat() == ie1g && B.Width() % 8) out.back() &= Byte(0xFF << (8 - B.Width() % 8));
  }
  return out;
}

inline std::vector<Byte> PaletteBytes(TIEBitmap& B) {
  const Byte* p = reinterpret_cast<const Byte*>(B.GetPaletteBuffer());
  return p ? std::vector<Byte>(p, p + 3 * size_t(B.GetPaletteLength())) : std::vector<Byte>{};
}

// Everything a caller could see of a picture.
struct TPictureSnapshot {
  TIEPixelFormat Format;
  Integer Width, Height, RowLen, PaletteUsed;
  bool Full, HasAlpha;
  std::vector<Byte> Rows, Palette, Alpha;
  bool operator==(const TPictureSnapshot&) const = default;
};

inline TPictureSnapshot Snapshot(TIEBitmap& B) {
  TPictureSnapshot s{B.PixelFormat(), B.Width(), B.Height(), B.RowLen(), B.PaletteUsed(), B.Full(),
                     B.HasAlphaChannel(), {}, PaletteBytes(B), {}};
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* r = static_cast<const Byte*>(B.GetScanline(y));
    s.Rows.insert(s.Rows.end(), r, r + B.RowLen());
  }
  if (B.HasAlphaChannel()) {
    TIEBitmap* a = B.GetAlphaChannel();
    for (Integer y = 0; y < a->Height(); ++y) {
      const Byte* r = static_cast<const Byte*>(a->GetScanline(y));
      s.Alpha.insert(s.Alpha.end(), r, r + a->RowLen());
    }
  }
  return s;
}

inline Byte& Px(TIEBitmap& B, Integer ByteX, Integer y) { return static_cast<Byte*>(B.GetScanline(y))[ByteX]; }
