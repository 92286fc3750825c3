// Hostile TIFF LZW strips: the first byte picks the fill order and the chunk
// size, the rest is the strip. Decoding stays inside the strip and stops.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/io/ielzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 20) return 0;
  const Integer fillOrder = (data[0] & 0x80) ? 2 : 1;
  const Integer chunk = 1 + (data[0] & 0x7F) * 97;
  // An exact copy, so that any read past the strip is caught.
  std::vector<Byte> strip(data + 1, data + size);
  void* state = nullptr;
  // At most 4,096 bytes come of each code: more chunks than that cannot hold data.
  const int64_t limit = (int64_t(size) * 8 / 9 + 2) * 4096;
  int64_t total = 0;
  while (total < limit) {
    const Byte* out = IETIFFLZWDecompress(strip.data(), Integer(strip.size()), chunk, state, fillOrder);
    if (!out) break;
    volatile Byte sink = out[chunk - 1];
    (void)sink;
    total += chunk;
    if (total > 1 << 22) break;
  }
  IETIFFLZWDecompress(nullptr, 0, 0, state, fillOrder);
  if (state) std::abort();
  return 0;
}
