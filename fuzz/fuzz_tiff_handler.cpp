// TIETIFFHandler reading a TIFF structure from the bytes, then writing the
// model and reading the result again, so the writer sees every odd model the
// reader can make.
#include <cstddef>
#include <cstdint>

#include "imaging/core/meta/ietifftags.h"
#include "imaging/core/base/iestreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TIEMemStream in(Data, static_cast<int64_t>(Size));
  TIETIFFHandler h;
  if (!h.ReadStream(&in)) return 0;
  // Touch every value the way callers do.
  for (Integer i = 0; i < h.IFDCount(); ++i) {
    const TIETIFFEntryList* l = h.IFD(i);
    for (Integer e = 0; e < Integer(l->size()); ++e) {
      h.GetValue(l, e, 0);
      h.GetValue(l, e, Integer((*l)[e].Count) - 1);
    }
    h.GetValueByTag(l, 259, 0);
  }
  TMemoryStream out;
  h.WriteStream(&out, -1);
  out.SetPosition(0);
  TIETIFFHandler again(&out);
  if (h.IFDCount() > 0) {
    TIETIFFHandler copy;
    copy.ReadStream(&out);
    for (Integer e = 0; copy.IFDCount() > 0 && e < Integer(h.IFD(0)->size()); ++e) copy.CopyTag(0, e, &h, 0);
    TMemoryStream one;
    copy.WriteStream(&one, 0);
  }
  return 0;
}
