// Camera RAW glue on hostile bytes: the decoder's identification and load,
// the output stage, and the CRW heap walk (which gets the bytes on its own,
// since the decoder refuses most of what reaches it).
#include <cstdint>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/raw.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 22, 1 << 25};
  {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIOParamsVals p(nullptr);
    IEReadRAWMetadata(&s, p);
  }
  TIEMemStream s(data, static_cast<int64_t>(size));
  TIEBitmap b;
  TIOParamsVals p(nullptr);
  p.RAW_HALFSIZE = size % 2 == 1;
  std::atomic<bool> aborting{false};
  TIEProgressRec rec(aborting);
  IEReadRAW(&s, &b, p, rec, false);
  return 0;
}
