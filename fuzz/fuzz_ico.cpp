// Icon and cursor readers on hostile bytes, converting and native; what they
// read must be writable again as an icon.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/ico.h"
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
    try {
      if (mode == 2)
        IEReadCUR(&s, &b, p, false, rec, mask, false);
      else
        IEReadICO(&s, &b, p, false, rec, mask, false);
    } catch (const Exception&) {
      continue;  // "Unsupported pixel format" of the native mode
    }
    if (aborting || b.IsEmpty() || b.Width() > 256 || b.Height() > 256) continue;
    if (b.PixelFormat() != ie24RGB && b.PixelFormat() != ie1g && !b.ConvertToPixelFormat(ie24RGB)) continue;
    TMemoryStream out;
    std::atomic<bool> wAborting{false};
    TIEProgressRec wrec(wAborting);
    IEWriteICO(&out, &b, p, wrec, {TSize(b.Width(), b.Height())}, {8});
    if (wAborting) std::abort();
  }
  return 0;
}
