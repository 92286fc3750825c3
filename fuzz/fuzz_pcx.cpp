// PCX and DCX readers on hostile bytes; what they read must be writable
// again, as PCX and as a page inserted into the same bytes.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/dcx.h"
#include "imaging/formats/pcx.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 22, 1 << 25};
  for (bool dcx : {false, true}) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    if (dcx)
      IEReadDCXPage(&s, &b, p, rec, false);
    else
      IEReadPCX(&s, &b, p, static_cast<int64_t>(size), rec, false);
    if (aborting || b.IsEmpty()) continue;
    TMemoryStream out;
    if (dcx) out.WriteBuffer(data, static_cast<int64_t>(size));
    out.SetPosition(0);
    std::atomic<bool> wAborting{false};
    TIEProgressRec wrec(wAborting);
    if (dcx)
      IEWriteDCX(&out, &b, p, wrec);
    else
      IEWritePCX(&out, &b, p, wrec);
    if (wAborting && !dcx) std::abort();
  }
  return 0;
}
