// TIETagsHandler reading a maker note: the first byte chooses the enclosing
// byte order and where the note stands, the rest is the note. The note is
// written back and read again.
#include <cstddef>
#include <cstdint>

#include "imaging/core/meta/ietifftags.h"
#include "imaging/core/base/iestreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  const bool little = Data[0] & 1;
  const int64_t at = (Data[0] >> 1) & 0x3F;  // offsets of layouts of mode 0 count from the stream start
  TMemoryStream in;
  in.SetSize(at);
  in.SetPosition(at);
  in.WriteBuffer(Data + 1, static_cast<int64_t>(Size - 1));
  in.SetPosition(at);
  TIETagsHandler h;
  h.ReadFromStream(&in, static_cast<Integer>(Size - 1), little);
  TIETagsHandler copy;
  copy.Assign(&h);
  TMemoryStream out;
  out.SetSize(at);
  out.SetPosition(at);
  const Integer n = copy.WriteToStream(&out);
  if (n > 0) {
    out.SetPosition(at);
    TIETagsHandler back;
    back.ReadFromStream(&out, n, little);
  }
  return 0;
}
