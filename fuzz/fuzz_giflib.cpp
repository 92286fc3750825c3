// The GIF object model on hostile bytes: whatever loads must save, and the
// saved file must load again with the same frames.
#include <cstdint>
#include <cstdlib>

#include "imaging/formats/giflib.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.Native = {1 << 22, 1 << 22};
  TGIFImage image;
  try {
    TMemoryStream in;
    if (size) in.WriteBuffer(data, int64_t(size));
    in.SetPosition(0);
    image.LoadFromStream(&in);
  } catch (const Exception&) {
    return 0;
  }
  if (image.Empty()) return 0;
  TMemoryStream out;
  try {
    image.SaveToStream(&out);
  } catch (const GIFException&) {
    // Pixels beyond a frame's own table cannot be written; that is refused, not crashed.
    return 0;
  }
  out.SetPosition(0);
  TGIFImage again;
  again.LoadFromStream(&out);
  auto pictures = [](TGIFImage& I) {
    Integer n = 0;
    for (Integer i = 0; i < I.Images()->GetCount(); ++i) n += I.Images()->GetFrame(i)->IsEmpty() ? 0 : 1;
    return n;
  };
  if (pictures(again) != pictures(image)) std::abort();
  return 0;
}
