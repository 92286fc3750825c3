// The bare pixel buffer of the resampling passes: bottom-up rows padded to
// four bytes, with address helpers and no range checks.
#pragma once

#include <cstdint>

#include "platform/base/classes.h"
#include "platform/base/types.h"

class TIEWorkBitmap : public TObject {
 public:
  TIEWorkBitmap() = default;
  // Allocates when Width and Height are both positive.
  TIEWorkBitmap(Integer AWidth, Integer AHeight, Integer ABitCount);
  ~TIEWorkBitmap() override;
  TIEWorkBitmap(const TIEWorkBitmap&) = delete;
  TIEWorkBitmap& operator=(const TIEWorkBitmap&) = delete;

  // Keeps the buffer when the three values are the current ones; otherwise
  // frees it and takes Height x RowLen zeroed bytes. False when the size is
  // not positive, the row would not fit in 31 bits, or there is no memory:
  // the bitmap is then empty (every field 0, Bits null), so that a caller
  // that forgot to look can never write through a null row address plus an
  // offset.
  bool Allocate(Integer AWidth, Integer AHeight, Integer ABitCount);
  // Frees the buffer and sets every field to 0.
  void FreeBits();

  Byte* ScanLine(Integer Row) const { return Bits + ptrdiff_t(RowLen) * (Height - Row - 1); }
  Byte* GetPixelAddress8(Integer Row, Integer Col) const { return ScanLine(Row) + Col; }
  Byte* GetPixelAddress32(Integer Row, Integer Col) const { return ScanLine(Row) + 4 * ptrdiff_t(Col); }

  Integer Width = 0;
  Integer Height = 0;
  Integer BitCount = 0;
  Integer RowLen = 0;  // IEBitmapRowLen(Width, BitCount, 32)
  Byte* Bits = nullptr;
};

// Test seam, left empty by the program: returning true makes the next
// allocation of Size bytes fail.
struct TIEWorkBitmapTestHooks {
  bool (*FailAllocate)(int64_t Size) = nullptr;
};
extern TIEWorkBitmapTestHooks IEWorkBitmapTestHooks;
