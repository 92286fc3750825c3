// PSD reader on hostile bytes: merged picture and layers; what it reads must
// be writable again with its layers.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/psd.h"
#include "imaging/io/ielimits.h"
#include "imaging/view/ziduzuvview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 20, 1 << 24};
  for (bool layers : {false, true}) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    p.ISNATIVEPIXELFORMAT = layers;
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    TIEPSDLayerList list;
    IEReadPSD(&s, &b, p, rec, layers, &list);
    if (aborting) continue;
    std::vector<TIELayer*> raw;
    for (auto& l : list) raw.push_back(l.get());
    TIEBitmap* merged = b.IsEmpty() ? nullptr : &b;
    if (!merged && raw.empty()) continue;
    if (!merged && raw[0]->Bitmap->IsEmpty()) continue;
    TMemoryStream out;
    std::atomic<bool> wAborting{false};
    TIEProgressRec wrec(wAborting);
    IEWritePSD(&out, p, wrec, merged, raw);
  }
  return 0;
}
