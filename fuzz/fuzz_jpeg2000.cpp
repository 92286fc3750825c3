// JPEG 2000 reader (JP2 files and code streams) on hostile bytes; what it
// reads must be writable again as a code stream.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/io/iejpeg2000.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.JPEG2000 = {1 << 20, 1 << 25};
  TIEMemStream s(data, static_cast<int64_t>(size));
  TIEBitmap b;
  TIOParamsVals p(nullptr);
  std::atomic<bool> aborting{false};
  TIEProgressRec rec(aborting);
  IEReadJPEG2000(&s, &b, p, rec, false);
  if (aborting || b.IsEmpty() || int64_t(b.Width()) * b.Height() > 1 << 16) return 0;
  TMemoryStream out;
  std::atomic<bool> wAborting{false};
  TIEProgressRec wrec(wAborting);
  p.BITSPERSAMPLE = 8;
  IEWriteJPEG2000(&out, &b, p, wrec, iej2kCodeStream);
  if (wAborting) std::abort();
  return 0;
}
