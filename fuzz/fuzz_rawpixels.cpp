// Headerless pixel reader: the first four bytes choose the picture's pixel
// format and size and the layout parameters, the rest is the data.
#include <cstdint>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/rawpixels.h"
#include "platform/base/sysutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > 1 << 20) return 0;
  static const TIEPixelFormat formats[] = {ie1g, ie8p, ie8g, ie16g, ie32f, ie24RGB, ieCMYK, ieRGB48};
  TIEBitmap b;
  if (!b.Allocate(1 + data[1] % 64, 1 + data[2] % 64, formats[data[0] % 8])) return 0;
  TIOParamsVals p(nullptr);
  p.BMPRAW_ROWALIGN = 8 * (data[3] & 15);
  p.BMPRAW_PLANES = (data[3] >> 4) & 1;
  p.BMPRAW_CHANNELORDER = (data[3] >> 5) & 1;
  p.BMPRAW_DATAFORMAT = Byte(data[0] / 8 % 3);
  p.BMPRAW_HEADERSIZE = data[0] / 24 % 4;
  TIEMemStream s(data + 4, static_cast<int64_t>(size - 4));
  std::atomic<bool> aborting{false};
  TIEProgressRec rec(aborting);
  try {
    IEReadRawPixels(&s, &b, p, rec);
  } catch (const Exception&) {
    // Hexadecimal text for a float picture is refused by raising.
  }
  return 0;
}
