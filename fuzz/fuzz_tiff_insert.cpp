// Inserting a page into a hostile TIFF: the writer walks the existing chain of
// directories (loops, offsets past the end, cut entries) before it appends.
// The walk must end, and a refused file must stay as it was.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/formats/tiffwrite.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  TMemoryStream s;
  s.WriteBuffer(data + 1, int64_t(size - 1));
  s.SetPosition(0);
  TIEBitmap page(3, 2, ie24RGB);
  TIOParamsVals params(nullptr);
  params.TIFF_IMAGEINDEX = data[0] % 5;
  params.TIFF_COMPRESSION = (data[0] & 0x80) ? 5 : 0;
  std::atomic<bool> abort{false};
  TIEProgressRec rec(abort);
  const Integer images = IEWriteTIFF(&s, true, &page, params, rec);
  if (abort && images != 0) std::abort();
  if (abort && (s.Size() != int64_t(size - 1) || std::memcmp(s.Memory(), data + 1, size - 1) != 0)) std::abort();
  if (!abort && (images < 1 || images > 65536)) std::abort();
  return 0;
}
