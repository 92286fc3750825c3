// Reads arbitrary bytes as a sequence of length-prefixed string records (the
// names and texts of layer and vector files), through the read-ahead buffer
// the readers use. The first byte picks the record kinds. Every record that
// loads must save back to exactly the bytes it was read from.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/core/base/iestreams.h"
#include "imaging/core/base/ieutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t kinds = data[0];
  TIEMemStream source(data + 1, static_cast<int64_t>(size - 1));
  TIEBufferedReadStream in(&source, 7, false);
  for (int i = 0; i < 64; ++i) {
    const int64_t start = in.Position();
    TMemoryStream again;
    try {
      if (kinds & (1u << (i % 8))) {
        WideString w;
        IELoadWideStringFromStream(&in, w);
        IESaveWideStringToStream(&again, w);
      } else {
        AnsiString a;
        IELoadStringFromStream(&in, a);
        IESaveStringToStream(&again, a);
      }
    } catch (const EReadError&) {
      return 0;  // a hostile or cut count ends the stream cleanly
    }
    const int64_t end = in.Position();
    if (end - start != again.Size()) std::abort();
    if (std::memcmp(data + 1 + start, again.Memory(), static_cast<size_t>(again.Size())) != 0) std::abort();
  }
  return 0;
}
