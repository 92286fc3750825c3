// DICOM reader on hostile bytes: the element walk, every pixel layout and
// the compressed-data decoders, for the first and a later frame. What it
// reads must be a whole picture of the declared size.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/dicom.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 22, 1 << 25};
  for (Integer index : {0, 1}) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    p.SetImageIndex(index);
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEReadDICOM(&s, p, &b, rec, false);
    if (aborting) continue;
    if (b.IsEmpty() || b.Width() != p.WIDTH || b.Height() != p.HEIGHT) std::abort();
    for (Integer y = 0; y < b.Height(); ++y) (void)b.GetScanline(y);
  }
  TIEMemStream s(data, static_cast<int64_t>(size));
  (void)IECountDICOMFrames(&s);
  return 0;
}
