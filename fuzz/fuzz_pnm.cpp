// PNM reader on hostile bytes in both sample modes; what it reads must be
// writable again.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/pnm.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 22, 1 << 25};
  for (bool native : {false, true}) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    p.ISNATIVEPIXELFORMAT = native;
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEReadPNM(&s, &b, p, rec, false);
    if (aborting || b.IsEmpty()) continue;
    TMemoryStream out;
    std::atomic<bool> wAborting{false};
    TIEProgressRec wrec(wAborting);
    IEWritePNM(&out, &b, p, wrec);
    if (wAborting) std::abort();
  }
  return 0;
}
