// Pluggable drawing surfaces: a device context can draw into any pixel memory
// owned elsewhere (a window's persistent image, a printer page). The surface
// hands out its rows for the duration of one drawing call and is told which
// rectangle changed.
#pragma once

#include <cstddef>

#include "platform/graphics/gdi.h"

// Rows of pixels in one of the DIB layouts: 1, 4, 8 bits with a colour table,
// 16 bits with masks, 24 bits as B, G, R, 32 bits as B, G, R, X.
struct TGdiPixels {
  uint8_t* Row0 = nullptr;  // the top row
  ptrdiff_t Stride = 0;     // bytes from one row to the next row below (negative for bottom-up memory)
  Integer Width = 0;
  Integer Height = 0;
  Integer BitCount = 0;
  const RGBQUAD* Colors = nullptr;
  Integer ColorCount = 0;
  uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0;  // 16-bit layouts (555 when all 0)
  // A 1-bit device bitmap without colour table: blits expand it with the text
  // and background colours and reduce colour sources by the background colour.
  bool MonoDDB = false;
  uint8_t* Row(Integer Y) const { return Row0 + static_cast<ptrdiff_t>(Y) * Stride; }
};

class TGdiSurface {
 public:
  virtual ~TGdiSurface() = default;
  // Fills Pixels for one drawing call; false when there is nothing to draw on.
  // A blit from a surface onto itself locks it twice before unlocking, so the
  // lock must nest.
  virtual bool LockPixels(TGdiPixels& Pixels) = 0;
  // Ends the call; Changed is the device rectangle that was written (may be empty).
  virtual void UnlockPixels(const TRect& Changed) = 0;
  // GetDeviceCaps for this surface; the default describes a 96-dpi 32-bit display.
  virtual Integer DeviceCaps(Integer Index);
};

// A device context over Surface, which must outlive it. DeleteDC frees the DC
// only. Selecting bitmaps into it fails, as for a window DC.
HDC GtCreateSurfaceDC(TGdiSurface* Surface);
