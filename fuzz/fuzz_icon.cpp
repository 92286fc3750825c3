// The icon graphic on hostile bytes: loading either fails with its own error
// or gives an icon that draws and hands out its bitmaps.
#include <cstdint>
#include <cstdlib>

#include "platform/base/sysutils.h"
#include "platform/graphics/icon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  TMemoryStream s;
  if (size) s.WriteBuffer(data, int64_t(size));
  s.SetPosition(0);
  TIcon icon;
  try {
    icon.LoadFromStream(&s);
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  if (icon.Empty() || icon.Width() <= 0 || icon.Height() <= 0) std::abort();
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(16, 16);
  target.Canvas()->StretchDraw(TRect(0, 0, 16, 16), &icon);
  ICONINFO info;
  if (!GetIconInfo(icon.Handle(), &info) || !info.hbmMask || !info.hbmColor) std::abort();
  DeleteObject(info.hbmMask);
  DeleteObject(info.hbmColor);
  return 0;
}
