// XMP segments from JPEG APP1: the packet search stays inside the data, and a
// packet found is written back unchanged.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/core/meta/iemetarecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  const Integer n = static_cast<Integer>(size);
  const Byte* packet = IEFindXMPPacket(data, n);
  if (packet != nullptr && (packet <= data || packet > data + size)) std::abort();
  AnsiString text;
  if (!IELoadXMP(data, n, text)) return 0;
  std::vector<Byte> block;
  IESaveXMP(text, block);
  AnsiString again;
  // The saved segment has the standard header, so it is found again unless
  // the text is too short to make the segment 30 bytes long.
  if (IELoadXMP(block.data(), static_cast<Integer>(block.size()), again) != (block.size() >= 30)) std::abort();
  if (block.size() >= 30 && again != text) std::abort();
  return 0;
}
