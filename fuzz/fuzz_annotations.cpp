// TIFF imaging-annotation blocks: every field is checked against the data, and
// the marks read survive a save and a second read.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/core/meta/iemetarecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  TIEImagingAnnot a;
  a.LoadFromBuffer(data, static_cast<Integer>(size));
  std::vector<Byte> block;
  a.SaveToBuffer(block);
  TIEImagingAnnot back;
  back.LoadFromBuffer(block.data(), static_cast<Integer>(block.size()));
  if (back.Objects.size() != a.Objects.size()) std::abort();
  for (size_t i = 0; i < a.Objects.size(); ++i) {
    const TIEImagingObject& x = *a.Objects[i];
    const TIEImagingObject& y = *back.Objects[i];
    if (x.Attributes != y.Attributes || x.Text != y.Text || x.DIB != y.DIB ||
        x.PointCount() != y.PointCount())
      std::abort();
    for (Integer k = 0; k < x.PointCount(); ++k)
      if (x.Points[k].X != y.Points[k].X || x.Points[k].Y != y.Points[k].Y) std::abort();
  }
  return 0;
}
