// GIF reader, composed load and frame removal on hostile bytes; a frame that
// reads must be writable again.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/gif.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 22, 1 << 25};
  for (Integer index : {0, 1}) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    p.GIF_IMAGEINDEX = index;
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    if (index == 0) {
      Integer count = 0;
      std::unique_ptr<TIEMask> mask;
      IEReadGIF(&s, &b, count, p, rec, false, mask, false);
    } else {
      IEReadGIFComposed(&s, &b, p, rec);
    }
    if (aborting || b.IsEmpty()) continue;
    TMemoryStream out;
    std::atomic<bool> wAborting{false};
    TIEProgressRec wrec(wAborting);
    p.BITSPERSAMPLE = 8;
    IEWriteGIF(&out, &b, p, wrec);
    if (wAborting) std::abort();
  }
  TIEMemStream s(data, static_cast<int64_t>(size));
  TMemoryStream copy;
  IEGIFRemoveFrameStream(&s, &copy, 0);
  return 0;
}
