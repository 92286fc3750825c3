// WBMP reader on hostile bytes; what it reads must be writable again.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/wbmp.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 22, 1 << 25};
  TIEMemStream s(data, static_cast<int64_t>(size));
  TIEBitmap b;
  TIOParamsVals p(nullptr);
  std::atomic<bool> aborting{false};
  TIEProgressRec rec(aborting);
  IEReadWBMP(&s, &b, p, rec, false);
  if (aborting || b.IsEmpty()) return 0;
  TMemoryStream out;
  std::atomic<bool> wAborting{false};
  TIEProgressRec wrec(wAborting);
  IEWriteWBMP(&out, &b, wrec);
  if (wAborting) std::abort();
  return 0;
}
