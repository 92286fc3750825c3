// The raw picture stream, which any process can put on the clipboard: the
// reader must refuse what is malformed without reading or allocating beyond
// the data, and what it accepts must save back to a stream that reads the
// same again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iestreams.h"

namespace {

std::vector<Byte> Save(TIEBitmap& b) {
  TMemoryStream ms;
  b.SaveRawToStream(nullptr, &ms);
  const Byte* p = static_cast<const Byte*>(ms.Memory());
  return std::vector<Byte>(p, p + ms.Size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  TIEBitmap fromBuffer;
  bool ok = fromBuffer.LoadRawFromStream(data, nullptr, int64_t(size));

  // The stream path must agree with the buffer path.
  TIEMemStream ms(data, int64_t(size));
  TIEBitmap fromStream;
  if (fromStream.LoadRawFromStream(nullptr, &ms) != ok) std::abort();
  if (!ok) {
    if (!fromBuffer.IsEmpty() || fromBuffer.PixelFormat() != ieNone) std::abort();
    return 0;
  }

  // What was read is a whole picture: every row and every pixel reachable.
  if (fromBuffer.IsEmpty()) std::abort();
  for (Integer y = 0; y < fromBuffer.Height(); ++y) {
    TRGB c;
    fromBuffer.GetPixelAsRGB(fromBuffer.Width() - 1, y, c);
  }
  const std::vector<Byte> once = Save(fromBuffer);
  if (int64_t(once.size()) != fromBuffer.GetRawSize()) std::abort();
  if (once != Save(fromStream)) std::abort();
  // The saved form is canonical: reading and saving it again changes nothing.
  TIEBitmap again;
  if (!again.LoadRawFromStream(once.data(), nullptr, int64_t(once.size()))) std::abort();
  if (Save(again) != once) std::abort();
  return 0;
}
