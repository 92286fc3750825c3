// Reader limits and data-availability checks.
#include "imaging/io/ielimits.h"

#include <algorithm>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iefilebuffer.h"

TIEReadLimits IEReadLimits;

namespace ielimits {

// Bytes of a Width x Height picture of BitsPerPixel bits, or -1 for a size
// no picture can have. Each factor is below 2^32 for any size a file can
// declare; capping the pixel count first keeps the product below 2^63.
int64_t PictureBytes(int64_t Width, int64_t Height, int64_t BitsPerPixel) {
  if (Width <= 0 || Height <= 0 || BitsPerPixel <= 0) return -1;
  if (Width > INT32_MAX || Height > INT32_MAX || BitsPerPixel > 1024) return -1;
  const int64_t pixels = Width * Height;
  if (pixels > (int64_t(1) << 48)) return -1;
  return (pixels / 8) * BitsPerPixel + ((pixels % 8) * BitsPerPixel + 7) / 8;
}

// Kept free in the temporary folder beside a picture stored there: the rest
// of the system and the saved result need room too.
constexpr int64_t kTemporaryReserve = int64_t(256) << 20;

}  // namespace ielimits

bool IEPictureFits(const TIEReadLimit& Limit, int64_t Width, int64_t Height, int64_t BitsPerPixel) {
  const int64_t bytes = ielimits::PictureBytes(Width, Height, BitsPerPixel);
  return bytes >= 0 && Width * Height <= Limit.MaxPixels && bytes <= Limit.MaxBytes;
}

bool IEPictureFitsBitmap(const TIEReadLimit& Limit, const TIEBitmap& Bitmap, int64_t Width, int64_t Height,
                         int64_t BitsPerPixel) {
  if (IEPictureFits(Limit, Width, Height, BitsPerPixel)) return true;
  const int64_t bytes = ielimits::PictureBytes(Width, Height, BitsPerPixel);
  if (bytes < 0 || Bitmap.StorageFor(bytes) != ieFile) return false;
  const int64_t free = IETemporaryFolderFreeBytes();
  return free >= 0 && bytes <= free - ielimits::kTemporaryReserve;
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
