#include "imaging/core/render/iedibbitmap.h"

#include <cstdint>
#include <cstring>

#include "imaging/core/base/ieutils.h"

TIEDibbitmap::TIEDibbitmap() {
  FInfo.Header.biSize = 40;
  FInfo.Header.biPlanes = 1;
  FInfo.Header.biCompression = BI_RGB;
  FInfo.Colors[0] = RGBQUAD{0, 0, 0, 0};
  FInfo.Colors[1] = RGBQUAD{255, 255, 255, 0};
}

TIEDibbitmap::~TIEDibbitmap() { FreeBits(); }

TIEPixelFormat TIEDibbitmap::GetPixelFormat() {
  if (FBitCount == 1) return ie1g;
  if (FBitCount == 24) return ie24RGB;
  return ieNone;
}

bool TIEDibbitmap::Allocate(Integer Width, Integer Height, TIEPixelFormat PixelFormat) {
  if (PixelFormat == ie1g) return AllocateBits(Width, Height, 1);
  if (PixelFormat == ie24RGB) return AllocateBits(Width, Height, 24);
  return false;
}

void TIEDibbitmap::Assign(TObject* Source) {
  auto* src = dynamic_cast<TIEDibbitmap*>(Source);
  if (src == nullptr || src == this) return;
  if (!AllocateBits(src->FWidth, src->FHeight, src->FBitCount)) return;
  std::memcpy(FBits, src->FBits, size_t(FRowLen) * size_t(FHeight));
}

bool TIEDibbitmap::AllocateBits(Integer Width, Integer Height, Integer BitCount) {
  // Negative sizes are refused like zero ones: they cannot describe a plane.
  if (Width <= 0 || Height <= 0) return false;
  FreeBits();
  const int64_t rowLen = ((int64_t(Width) * BitCount + 31) / 32) * 4;
  if (rowLen > INT32_MAX || rowLen * Height > INT32_MAX) return false;
  FDC = CreateCompatibleDC(nullptr);
  if (FDC == nullptr) return false;
  FInfo.Header.biWidth = Width;
  FInfo.Header.biHeight = Height;
  FInfo.Header.biBitCount = static_cast<WORD>(BitCount);
  FInfo.Header.biSizeImage = static_cast<DWORD>(rowLen * Height);
  void* bits = nullptr;
  FDIB = CreateDIBSection(FDC, reinterpret_cast<const BITMAPINFO*>(&FInfo), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (FDIB == nullptr || bits == nullptr) {
    FreeBits();
    return false;
  }
  SelectObject(FDC, FDIB);
  FWidth = Width;
  FHeight = Height;
  FBitCount = BitCount;
  FRowLen = static_cast<Integer>(rowLen);
  FBits = static_cast<Byte*>(bits);
  return true;
}

void TIEDibbitmap::FreeBits() {
  if (FDC != nullptr) DeleteDC(FDC);
  if (FDIB != nullptr) DeleteObject(FDIB);
  FDC = nullptr;
  FDIB = nullptr;
  FWidth = FHeight = FBitCount = FRowLen = 0;
  FBits = nullptr;
}
