// Fax strips: every decoder stays inside its row and its data at any width
// (the widths that are multiples of 8 leave no slack byte), and the bit
// position only moves forward.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/formats/ccitt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 1 << 16) return 0;
  const Integer width = 1 + (data[0] | (data[1] & 0x0F) << 8);
  const Integer fill = (data[1] & 0x10) ? 2 : 1;
  const bool fillBits = (data[1] & 0x20) != 0;
  const Byte mode = data[2] % 3;
  const Byte* d = data + 3;
  const int64_t n = int64_t(size) - 3;
  const size_t rowBytes = (size_t(width) + 7) / 8;
  // Exactly the row, so that the sanitizer sees any write past it.
  std::vector<Byte> row(rowBytes), ref(rowBytes, 255);
  int64_t pos = 0;
  for (int r = 0; r < 64 && pos < n * 8; ++r) {
    int64_t next;
    if (mode == 0)
      next = IECCITTDecodeRow2D(row.data(), d, n, width, ref.data(), pos, fill, fillBits);
    else if (mode == 1)
      next = IECCITTDecodeRow1D(row.data(), d, n, width, pos, fill);
    else
      next = pos + 8 * IECCITTDecodeHuffmanRow(row.data(), d + pos / 8, n - pos / 8, width, fill);
    if (next < pos) std::abort();
    if (next == pos) break;
    pos = next;
  }
  return 0;
}
