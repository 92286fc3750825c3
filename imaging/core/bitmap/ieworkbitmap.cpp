// Work bitmap of the resampling passes.
#include "imaging/core/bitmap/ieworkbitmap.h"

#include "imaging/core/base/iehelpers.h"
#include "imaging/core/base/ieutils.h"

TIEWorkBitmapTestHooks IEWorkBitmapTestHooks;

TIEWorkBitmap::TIEWorkBitmap(Integer AWidth, Integer AHeight, Integer ABitCount) {
  if (AWidth > 0 && AHeight > 0) Allocate(AWidth, AHeight, ABitCount);
}

TIEWorkBitmap::~TIEWorkBitmap() { FreeBits(); }

bool TIEWorkBitmap::Allocate(Integer AWidth, Integer AHeight, Integer ABitCount) {
  if (Bits && AWidth == Width && AHeight == Height && ABitCount == BitCount) return true;
  FreeBits();
  if (AWidth <= 0 || AHeight <= 0 || ABitCount <= 0) return false;
  const Integer rowLen = IEBitmapRowLen(AWidth, ABitCount, 32);
  if (rowLen <= 0) return false;
  const int64_t size = int64_t(rowLen) * AHeight;
  if (IEWorkBitmapTestHooks.FailAllocate && IEWorkBitmapTestHooks.FailAllocate(size)) return false;
  void* block = IELargeAlloc(size);
  if (!block) return false;
  Width = AWidth;
  Height = AHeight;
  BitCount = ABitCount;
  RowLen = rowLen;
  Bits = static_cast<Byte*>(block);
  return true;
}

void TIEWorkBitmap::FreeBits() {
  if (Bits) {
    void* block = Bits;
    IELargeFree(block);
  }
  Bits = nullptr;
  Width = Height = BitCount = RowLen = 0;
}
