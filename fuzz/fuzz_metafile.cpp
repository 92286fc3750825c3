// Metafiles (WMF and EMF) on hostile bytes: the header sizes, then drawing at
// a small size, must end cleanly.
#include <cstdint>
#include <vector>

#include "platform/devices/metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  TMetafile m;
  if (!m.LoadFromBytes(std::vector<uint8_t>(data, data + size))) return 0;
  std::vector<uint8_t> rows(32 * 24 * 3, 0x80);
  m.Draw(rows.data(), 32, 24, 32 * 3);
  return 0;
}
