// The clipboard paste readers on hostile blocks: the raw image, DIBs and PNG
// files of any program. A failed read must leave the picture as it was.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/core/base/iestartup.h"
#include "imaging/io/ielimits.h"
#include "imaging/proc/ziduzuvproc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  // The file readers are registered at start-up: without it every PNG
  // block would fail before its reader saw a byte.
  static const bool started = (IEStartup(), true);
  (void)started;
  IEReadLimits.PNG = {1 << 22, 1 << 25};
  const std::vector<Byte> block(data, data + size);
  using TReader = bool (*)(const std::vector<Byte>&, TIEBitmap&);
  for (TReader read : {TReader(&IEClipboardReadRaw), TReader(&IEClipboardReadDIB), TReader(&IEClipboardReadPNG)}) {
    TIEBitmap b;
    if (!b.Allocate(3, 2, ie8g)) return 0;
    b.Fill(77);
    if (!read(block, b) && (b.Width() != 3 || b.Height() != 2 || b.GetPixelByte(2, 1) != 77)) std::abort();
  }
  return 0;
}
