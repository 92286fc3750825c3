// TIFF reader on hostile bytes: every page and its first SubIFD, converting
// and native, with the directory counter; looping chains, offsets and strips
// past the end, bad counts and corrupt compressed strips must all end cleanly.
#include <atomic>
#include <cstdint>
#include <memory>

#include "imaging/core/base/iestreams.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/formats/tiffread.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.TIFF = {1 << 22, 1 << 25};
  {
    TIEMemStream s(data, static_cast<int64_t>(size));
    IECountTIFFImages(&s);
  }
  for (int pass = 0; pass < 4; ++pass) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    p.ISNATIVEPIXELFORMAT = pass & 1;
    p.TIFF_IMAGEINDEX = pass >> 1;
    p.TIFF_SUBINDEX = pass == 3 ? 0 : -1;
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IETIFFReadRoutine(&s, &b, p, rec, false);
  }
  return 0;
}
