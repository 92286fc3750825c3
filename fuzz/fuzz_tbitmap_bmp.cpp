// BMP files loaded into the platform bitmap, and BMP <-> packed DIB payloads
// exchanged with other programs through the clipboard: hostile input must end
// in a clean refusal.
#include <cstdint>
#include <vector>

#include "platform/base/classes.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/clipbrd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  {
    TMemoryStream s;
    if (Size) s.WriteBuffer(Data, static_cast<int64_t>(Size));
    s.SetPosition(0);
    TBitmap b;
    try {
      b.LoadFromStream(&s);
    } catch (const Exception&) {
    }
  }
  std::vector<uint8_t> out;
  GtBmpFileToPackedDIB(Data, Size, out);
  GtPackedDIBToBmpFile(Data, Size, out);
  return 0;
}
