// Packed DIBs arrive from other processes through the clipboard: any block
// must decode or fail without reading outside it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/core/render/iedib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  // An exact-size copy so that any over-read leaves the allocation.
  std::vector<uint8_t> block(data, data + size);
  TIEBitmap out;
  const Integer bits = IEDIBToBitmapBlock(block.data(), block.size(), &out);
  if (bits != 0 && out.Width() > 0) {
    HGLOBAL h = _CopyBitmaptoDIBEx(&out, 0, 0, 0, 0, 96, 96);
    if (h != nullptr) {
      TIEBitmap back;
      IEDIBToBitmap(h, &back, nullptr, false);
      GlobalFree(h);
    }
  }
  return 0;
}
