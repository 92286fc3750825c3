// BMP reader on hostile bytes, as a file and as a packed DIB, with and
// without alpha and palette output; what it reads must be writable again.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/bmp.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 22, 1 << 25};
  for (int mode = 0; mode < 3; ++mode) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    p.ISNATIVEPIXELFORMAT = mode == 1;
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    std::unique_ptr<TIEMask> mask;
    IEReadBMP(&s, &b, 0, p, rec, false, mode == 2, mask, mode == 1);
    if (aborting || b.IsEmpty()) continue;
    TMemoryStream out;
    std::atomic<bool> wAborting{false};
    TIEProgressRec wrec(wAborting);
    p.BMP_COMPRESSION = 1;
    IEWriteBMP(&out, &b, p, wrec, mask != nullptr);
    if (wAborting) std::abort();
  }
  return 0;
}
