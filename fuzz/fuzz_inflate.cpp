// Inflation of hostile zlib data through the whole-buffer routine (with its
// output cap) and the decompression stream: errors are exceptions of the
// zlib family, never hangs or unbounded output.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/io/iezlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  constexpr int64_t kCap = 4 << 20;
  int64_t whole = -1;
  try {
    void* out = nullptr;
    Integer outSize = 0;
    ZDecompressBuffer(data, static_cast<Integer>(size), out, outSize, size ? data[0] : 0, kCap);
    if (outSize < 0 || outSize > kCap) std::abort();
    whole = outSize;
    std::free(out);
  } catch (const EZDecompressionError&) {
  }
  try {
    TIEMemStream src(data, static_cast<int64_t>(size));
    TZDecompressionStream z(&src);
    Byte buf[8192];
    int64_t total = 0, n;
    while ((n = z.Read(buf, sizeof buf)) > 0) {
      total += n;
      if (total > kCap) break;
    }
    // A complete stream gives the same bytes both ways.
    if (whole >= 0 && total <= kCap && total != whole) std::abort();
  } catch (const EZDecompressionError&) {
  } catch (const EStreamError&) {
  }
  return 0;
}
