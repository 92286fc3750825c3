// EXIF blocks from JPEG APP1 and camera files: parsing stays inside the
// data, and whatever parses is written again and parses again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ieexif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 18) return 0;
  std::vector<Byte> block = {'E', 'x', 'i', 'f', 0, 0};
  block.insert(block.end(), data, data + size);
  TIOParamsVals p(nullptr);
  if (!IELoadEXIFFromBuffer(block.data(), static_cast<Integer>(block.size()), p)) return 0;
  if (!p.EXIF_HASEXIF) std::abort();
  if (p.EXIF_THUMBNAIL && (p.EXIF_THUMBNAIL->Width() > 400 || p.EXIF_THUMBNAIL->Height() > 400)) std::abort();
  std::vector<Byte> again;
  if (!IESaveEXIFToBuffer(p, again, true)) return 0;
  TIOParamsVals q(nullptr);
  if (!IELoadEXIFFromBuffer(again.data(), static_cast<Integer>(again.size()), q)) std::abort();
  TMemoryStream s;
  s.Write(data, static_cast<int64_t>(size));
  s.Seek(0, soBeginning);
  IEFindTIFFHeader(&s);
  TIOParamsVals r(nullptr);
  IELoadCameraRawEXIF(&s, r);
  return 0;
}
