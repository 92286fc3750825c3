// Hostile GIF image data: the first three bytes give the frame size and the
// interlace flag, the rest starts at the code-size byte. A refused frame
// leaves the stream where it was.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/core/base/iestreams.h"
#include "imaging/io/ielzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 1 << 20) return 0;
  const Integer width = 1 + data[0];
  const Integer height = 1 + (data[1] & 0x7F);
  const bool interlaced = data[1] & 0x80;
  std::vector<Byte> pixels(size_t(width) * height);
  TIEMemStream src(data + 3, int64_t(size - 3));
  IEGIFLZWDecompress(&src, height, width, interlaced, pixels.data());
  const int64_t pos = src.Position();
  if (pos < 0 || pos > int64_t(size - 3)) std::abort();
  return 0;
}
