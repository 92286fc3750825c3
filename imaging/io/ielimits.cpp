// Reader limits and data-availability checks.
#include "imaging/io/ielimits.h"

#include <algorithm>

TIEReadLimits IEReadLimits;

bool IEPictureFits(const TIEReadLimit& Limit, int64_t Width, int64_t Height, int64_t BitsPerPixel) {
  if (Width <= 0 || Height <= 0 || BitsPerPixel <= 0) return false;
  // Each factor is below 2^32 for any size a file can declare; checking the
  // pixel count first keeps the byte product below 2^63.
  if (Width > INT32_MAX || Height > INT32_MAX || BitsPerPixel > 1024) return false;
  const int64_t pixels = Width * Height;
  if (pixels > Limit.MaxPixels || pixels > (int64_t(1) << 48)) return false;
  const int64_t bytes = (pixels / 8) * BitsPerPixel + ((pixels % 8) * BitsPerPixel + 7) / 8;
  return bytes <= Limit.MaxBytes;
}

int64_t IEStreamBytesLeft(TStream* Stream) {
  if (!Stream) return -1;
  try {
    const int64_t pos = Stream->Position();
    const int64_t size = Stream->Size();
    if (pos < 0 || size < 0) return -1;
    return size > pos ? size - pos : 0;
  } catch (...) {
    return -1;
  }
}

bool IEDataCanExplain(int64_t MinCodedBytes, int64_t Available) {
  if (Available < 0) return true;
  return MinCodedBytes <= Available;
}

int64_t IEDeflateMinInput(int64_t Expanded) { return Expanded <= 0 ? 0 : Expanded / IEDeflateMaxRatio; }

int64_t IEGrowCapacity(int64_t Current, int64_t Needed, int64_t Cap) {
  if (Current >= Cap) return Current;
  int64_t grown = Current > Cap / 2 ? Cap : std::max<int64_t>(Current * 2, 256);
  grown = std::max(grown, Needed);
  return std::min(grown, Cap);
}
