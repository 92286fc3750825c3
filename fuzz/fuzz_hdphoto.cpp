// HD Photo reader on hostile bytes: frame and thumbnail, native and 24-bit;
// what it reads must be writable again.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/hdphoto.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.HDPhoto = {1 << 22, 1 << 25};
  for (int way = 0; way < 3; ++way) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    p.ISNATIVEPIXELFORMAT = way != 1;
    p.SetGetThumbnail(way == 2);
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEReadHDPhoto(&s, &b, p, rec, false);
    if (aborting || b.IsEmpty()) continue;
    TMemoryStream out;
    std::atomic<bool> wAborting{false};
    TIEProgressRec wrec(wAborting);
    p.HDP_LOSSLESS = true;
    IEWriteHDPhoto(&out, &b, p, wrec);
    if (wAborting) std::abort();
  }
  return 0;
}
