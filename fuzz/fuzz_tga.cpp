// TGA reader on hostile bytes, with and without alpha; what it reads must be
// writable again, compressed.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/tga.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 22, 1 << 25};
  for (bool noAlpha : {false, true}) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    std::unique_ptr<TIEMask> mask;
    IEReadTGA(&s, &b, p, rec, false, mask, noAlpha);
    if (aborting || b.IsEmpty()) continue;
    TMemoryStream out;
    std::atomic<bool> wAborting{false};
    TIEProgressRec wrec(wAborting);
    p.TGA_COMPRESSED = true;
    IEWriteTGA(&out, &b, p, wrec, nullptr);
    if (wAborting) std::abort();
  }
  return 0;
}
