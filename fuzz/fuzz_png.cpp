// PNG reader on hostile bytes, in both the converting and the native mode;
// what it reads must be writable again.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/iepng.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.PNG = {1 << 22, 1 << 25};
  for (bool native : {false, true}) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    p.ISNATIVEPIXELFORMAT = native;
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEReadPNG(&s, &b, p, rec, false);
    if (aborting || b.IsEmpty()) continue;
    TMemoryStream out;
    std::atomic<bool> wAborting{false};
    TIEProgressRec wrec(wAborting);
    p.SAMPLESPERPIXEL = native ? 1 : 3;
    try {
      IEPngWriteRoutine(&out, &b, p, wrec);
    } catch (...) {
      std::abort();  // the registry shape never raises
    }
    if (wAborting) std::abort();
  }
  return 0;
}
