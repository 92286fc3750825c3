// DrawDib: draws a DIB (header, colour table, pixels) into a device context,
// stretched by nearest sampling without smoothing.
#pragma once

#include "platform/graphics/gdi.h"

struct HDRAWDIB__;
using HDRAWDIB = HDRAWDIB__*;

enum : UINT {
  DDF_UPDATE = 0x0002, DDF_SAME_HDC = 0x0004, DDF_SAME_DRAW = 0x0008, DDF_DONTDRAW = 0x0010,
  DDF_ANIMATE = 0x0020, DDF_BUFFER = 0x0040, DDF_JUSTDRAWIT = 0x0080, DDF_FULLSCREEN = 0x0100,
  DDF_BACKGROUNDPAL = 0x0200, DDF_NOTKEYFRAME = 0x0400, DDF_HURRYUP = 0x0800, DDF_HALFTONE = 0x1000,
};

HDRAWDIB DrawDibOpen();
BOOL DrawDibClose(HDRAWDIB Handle);
// Source coordinates count from the picture's top-left corner; a width or
// height of -1 takes the picture's. Bits may be null when they follow the
// header and colour table.
BOOL DrawDibDraw(HDRAWDIB Handle, HDC DC, Integer XDst, Integer YDst, Integer DXDst, Integer DYDst,
                 const BITMAPINFOHEADER* Header, const void* Bits, Integer XSrc, Integer YSrc, Integer DXSrc,
                 Integer DYSrc, UINT Flags);
// There is no hardware palette to realise: 0 colours changed.
UINT DrawDibRealize(HDRAWDIB Handle, HDC DC, BOOL Background);
