#include "imaging/core/render/iedib.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "imaging/core/render/iedibconvert.h"
#include "imaging/core/render/ierender.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/types.h"
#include "platform/graphics/colors.h"

namespace {

uint32_t ReadU32(const Byte* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;  // little-endian host
}
uint16_t ReadU16(const Byte* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
void WriteU32(Byte* p, uint32_t v) { std::memcpy(p, &v, 4); }
void WriteU16(Byte* p, uint16_t v) { std::memcpy(p, &v, 2); }

constexpr size_t kHeaderSize = 40;
constexpr size_t kUnknownLength = std::numeric_limits<size_t>::max();

// One colour channel of a bit-field pixel: position and width of the mask,
// widened to 8 bits by the platform's one rule for packed samples.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  int Width = 0;
  explicit TChannel(uint32_t M) : Mask(M) {
    if (M == 0) return;
    Shift = std::countr_zero(M);
    Width = 32 - std::countl_zero(M >> Shift);
  }
  Byte Get(uint32_t Pixel) const {
    if (Width == 0) return 0;
    return WidenSample((Pixel & Mask) >> Shift, Width);
  }
};

Integer Fail(TIEBitmap* Dest) {
  Dest->Allocate(0, 0, ie24RGB);
  return 0;
}

// Header: Length bytes at Dib (kUnknownLength when not known). Bits: the rows
// when not null, with BitsLength bytes.
Integer DecodeDIB(const Byte* Dib, size_t Length, const Byte* Bits, size_t BitsLength, TIEBitmap* Dest) {
  if (Dib == nullptr || Dest == nullptr) return Dest ? Fail(Dest) : 0;
  if (Length < kHeaderSize) return Fail(Dest);
  const uint32_t headerSize = ReadU32(Dib);
  if (headerSize < kHeaderSize || headerSize > Length) return Fail(Dest);
  const int32_t width = static_cast<int32_t>(ReadU32(Dib + 4));
  const int32_t rawHeight = static_cast<int32_t>(ReadU32(Dib + 8));
  const int bits = ReadU16(Dib + 14);
  const uint32_t compression = ReadU32(Dib + 16);
  const uint32_t clrUsed = ReadU32(Dib + 32);
  // Negative heights are legal top-down DIBs; the most negative value has no
  // positive counterpart.
  if (width <= 0 || rawHeight == 0 || rawHeight == std::numeric_limits<int32_t>::min()) return Fail(Dest);
  const bool topDown = rawHeight < 0;
  const int32_t height = topDown ? -rawHeight : rawHeight;
  if (IEIsYUVCompression(compression)) {
    // Video frames: the pixels follow the header and any colour table; the
    // layout fixes the row order, and the frame must fit in the data.
    const uint64_t at = uint64_t(headerSize) + uint64_t(clrUsed) * 4;
    const Byte* pixels = Bits;
    size_t available = BitsLength;
    if (pixels == nullptr) {
      if (at > Length) return Fail(Dest);
      pixels = Dib + at;
      available = Length == kUnknownLength ? kUnknownLength : Length - size_t(at);
    }
    if (!IEDecodeYUVFrame(pixels, available, width, height, compression, Dest)) return Fail(Dest);
    return bits;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return Fail(Dest);
  const bool bitFields = compression == BI_BITFIELDS;
  if (compression != BI_RGB && !(bitFields && (bits == 16 || bits == 32))) return Fail(Dest);

  uint64_t offset = headerSize;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (bitFields) {
    // Larger headers carry the masks themselves; a 40-byte one is followed by them.
    uint64_t at = headerSize >= 52 ? 40 : headerSize;
    if (headerSize < 52) offset += 12;
    if (at + 12 > Length) return Fail(Dest);
    for (int i = 0; i < 3; ++i) masks[i] = ReadU32(Dib + at + 4 * i);
  }
  uint64_t tableEntries = clrUsed;
  if (tableEntries == 0 && bits <= 8) tableEntries = uint64_t{1} << bits;
  const uint64_t tableOffset = offset;
  offset += tableEntries * 4;
  if (offset > Length) return Fail(Dest);
  // Only the entries a pixel can name are used; missing ones are black.
  const uint64_t usable = bits <= 8 ? std::min<uint64_t>(tableEntries, uint64_t{1} << bits) : 0;
  TRGB palette[256] = {};
  for (uint64_t i = 0; i < usable; ++i) {
    const Byte* e = Dib + tableOffset + 4 * i;
    palette[i] = TRGB{e[0], e[1], e[2]};
  }

  const uint64_t rowLen = ((uint64_t(bits) * uint64_t(width) + 31) / 32) * 4;
  const Byte* pixels;
  if (Bits != nullptr) {
    pixels = Bits;
    if (BitsLength != kUnknownLength && rowLen * uint64_t(height) > BitsLength) return Fail(Dest);
  } else {
    pixels = Dib + offset;
    if (Length != kUnknownLength && rowLen * uint64_t(height) > Length - offset) return Fail(Dest);
  }

  if (!Dest->Allocate(width, height, bits == 1 ? ie1g : ie24RGB)) return Fail(Dest);

  // ie1g stores 1 as white: keep the bits when entry 1 is at least as bright
  // as entry 0, invert them otherwise.
  bool invert = false;
  if (bits == 1) {
    auto lum = [](const TRGB& c) { return int(c.r) * 299 + int(c.g) * 587 + int(c.b) * 114; };
    invert = lum(palette[0]) > lum(palette[1]);
  }
  const TChannel red(masks[0]), green(masks[1]), blue(masks[2]);
  const size_t rowBytes1 = (size_t(width) + 7) / 8;

  for (int32_t r = 0; r < height; ++r) {
    const Byte* src = pixels + uint64_t(r) * rowLen;
    const Integer destRow = topDown ? r : height - 1 - r;
    Byte* dst = static_cast<Byte*>(Dest->GetScanline(destRow));
    switch (bits) {
      case 1:
        if (invert) {
          for (size_t i = 0; i < rowBytes1; ++i) dst[i] = static_cast<Byte>(~src[i]);
        } else {
          std::memcpy(dst, src, rowBytes1);
        }
        if (width % 8 != 0) dst[rowBytes1 - 1] &= static_cast<Byte>(0xFF << (8 - width % 8));
        break;
      case 4:
        for (int32_t x = 0; x < width; ++x) {
          const Byte b = src[x >> 1];
          const TRGB& c = palette[(x & 1) ? (b & 0x0F) : (b >> 4)];
          dst[3 * x] = c.b, dst[3 * x + 1] = c.g, dst[3 * x + 2] = c.r;
        }
        break;
      case 8:
        for (int32_t x = 0; x < width; ++x) {
          const TRGB& c = palette[src[x]];
          dst[3 * x] = c.b, dst[3 * x + 1] = c.g, dst[3 * x + 2] = c.r;
        }
        break;
      case 16:
        for (int32_t x = 0; x < width; ++x) {
          const uint32_t p = ReadU16(src + 2 * x);
          dst[3 * x] = blue.Get(p), dst[3 * x + 1] = green.Get(p), dst[3 * x + 2] = red.Get(p);
        }
        break;
      case 24:
        std::memcpy(dst, src, size_t(width) * 3);
        break;
      case 32:
        if (bitFields) {
          for (int32_t x = 0; x < width; ++x) {
            const uint32_t p = ReadU32(src + 4 * x);
            dst[3 * x] = blue.Get(p), dst[3 * x + 1] = green.Get(p), dst[3 * x + 2] = red.Get(p);
          }
        } else {
          for (int32_t x = 0; x < width; ++x) {
            dst[3 * x] = src[4 * x], dst[3 * x + 1] = src[4 * x + 1], dst[3 * x + 2] = src[4 * x + 2];
          }
        }
        break;
    }
  }
  return bits;
}

}  // namespace

Integer IEDIBToBitmapBlock(const void* Dib, size_t Length, TIEBitmap* Dest) {
  return DecodeDIB(static_cast<const Byte*>(Dib), Length, nullptr, 0, Dest);
}

Integer IEDIBToBitmap(const void* Dib, TIEBitmap* Dest, const void* Bits, bool IsPointer) {
  if (Dest == nullptr) return 0;
  const Byte* bitsPtr = static_cast<const Byte*>(Bits);
  if (!IsPointer) {
    HGLOBAL handle = const_cast<void*>(Dib);
    const Byte* p = static_cast<const Byte*>(GlobalLock(handle));
    if (p == nullptr) return Fail(Dest);
    const Integer result = DecodeDIB(p, GlobalSize(handle), bitsPtr, kUnknownLength, Dest);
    GlobalUnlock(handle);
    return result;
  }
  size_t length = kUnknownLength;
  if (HGLOBAL h = GlobalHandle(Dib)) {
    // Only the block's start is known to GlobalHandle, so its size is exact.
    length = GlobalSize(h);
  }
  return DecodeDIB(static_cast<const Byte*>(Dib), length, bitsPtr, kUnknownLength, Dest);
}

HGLOBAL _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, Integer DpiX,
                           Integer DpiY) {
  if (Bitmap == nullptr) return nullptr;
  IEWriteDebugLog(W("_CopyBitmaptoDIBEx: begin"));
  const TIEPixelFormat format = Bitmap->PixelFormat();
  if (format != ie1g && format != ie8p && format != ie8g && format != ie24RGB) {
    IEWriteDebugLog(W("_CopyBitmaptoDIBEx: not supported pixel format, converting to 24bit and recurse"));
    TIEBitmap temp;
    const bool range = (format == ie16g || format == ie32f) && Bitmap->DisplayHigh() != Bitmap->DisplayLow();
    if (range || Bitmap->Contrast() != 0 || Bitmap->ChannelOffsetsOn()) {
      // A display window, contrast or channel offsets are part of what the
      // view shows: the copy is drawn by the views' own renderer (alpha
      // left out, as a 24-bit DIB has none).
      if (!temp.Allocate(Bitmap->Width(), Bitmap->Height(), ie24RGB)) return nullptr;
      std::unique_ptr<TIERowTable> rows;
      std::unique_ptr<TIEMapTable> xmap, ymap;
      RenderToTIEBitmapEx(*Bitmap, &temp, rows, xmap, ymap, nullptr, 0, 0, temp.Width(), temp.Height(), 0, 0,
                          temp.Width(), temp.Height(), false, false, 255, rfNone, true, 0);
    } else {
      temp.Assign(Bitmap);
      temp.SetPixelFormat(ie24RGB);
      if (temp.PixelFormat() != ie24RGB) return nullptr;
    }
    return _CopyBitmaptoDIBEx(&temp, X1, Y1, X2, Y2, DpiX, DpiY);
  }
  if (X2 == 0) X2 = Bitmap->Width();
  if (Y2 == 0) Y2 = Bitmap->Height();
  // A rectangle reaching outside the picture would read outside its rows.
  if (X1 < 0 || Y1 < 0 || X2 <= X1 || Y2 <= Y1 || X2 > Bitmap->Width() || Y2 > Bitmap->Height()) return nullptr;
  const int32_t width = X2 - X1;
  const int32_t height = Y2 - Y1;
  const int bits = format == ie1g ? 1 : (format == ie24RGB ? 24 : 8);
  const size_t tableBytes = format == ie1g ? 8 : (format == ie24RGB ? 0 : 1024);
  const size_t rowLen = ((size_t(width) * bits + 31) / 32) * 4;
  const size_t total = kHeaderSize + 4 + tableBytes + rowLen * size_t(height);
  IEWriteDebugLog(W("_CopyBitmaptoDIBEx: allocate ") + Utf8ToWide(std::to_string(total)) + W(" bytes"));
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT, total);
  if (handle == nullptr) return nullptr;
  Byte* p = static_cast<Byte*>(GlobalLock(handle));
  if (p == nullptr) {
    GlobalFree(handle);
    return nullptr;
  }
  std::memset(p, 0, total);
  WriteU32(p, kHeaderSize);
  WriteU32(p + 4, uint32_t(width));
  WriteU32(p + 8, uint32_t(height));
  WriteU16(p + 12, 1);
  WriteU16(p + 14, uint16_t(bits));
  WriteU32(p + 24, uint32_t(int32_t(Trunc(DpiX * 39.3700787))));
  WriteU32(p + 28, uint32_t(int32_t(Trunc(DpiY * 39.3700787))));
  IEWriteDebugLog(W(format == ie1g ? "_CopyBitmaptoDIBEx: ie1g"
                                    : format == ie24RGB ? "_CopyBitmaptoDIBEx: ie24RGB" : "_CopyBitmaptoDIBEx: ie8g or ie8p"));
  Byte* table = p + kHeaderSize;
  if (format == ie1g) {
    std::memset(table + 4, 0xFF, 4);
  } else if (format == ie8g) {
    for (int i = 0; i < 256; ++i) table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = Byte(i);
  } else if (format == ie8p) {
    const Integer n = std::min<Integer>(Bitmap->GetPaletteLength(), 256);
    for (Integer i = 0; i < n; ++i) {
      TRGB c;
      Bitmap->GetPaletteColor(i, c);
      table[4 * i] = c.b, table[4 * i + 1] = c.g, table[4 * i + 2] = c.r;
    }
  }
  Byte* rows = table + tableBytes;
  for (int32_t r = 0; r < height; ++r) {
    const Byte* src = static_cast<const Byte*>(Bitmap->GetScanline(Y2 - 1 - r));
    Byte* dst = rows + size_t(r) * rowLen;
    if (format == ie1g) {
      for (int32_t x = 0; x < width; ++x) {
        const int32_t sx = X1 + x;
        if (src[sx >> 3] & (0x80 >> (sx & 7))) dst[x >> 3] |= Byte(0x80 >> (x & 7));
      }
    } else {
      const size_t bpp = size_t(bits / 8);
      std::memcpy(dst, src + size_t(X1) * bpp, size_t(width) * bpp);
    }
  }
  GlobalUnlock(handle);
  return handle;
}
