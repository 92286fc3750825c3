// Drawing pictures on platform canvases: the printing path (strips of packed
// DIBs stretched onto the device), the two overlay boxes of the views and the
// DrawDib wrappers. TIEBitmap::RenderToCanvas, RenderToTBitmap and
// RenderToTBitmapEx are declared with the container.
#pragma once

#include <cstdint>

#include "imaging/core/bitmap/iebitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/drawdib.h"
#include "platform/graphics/globalmem.h"

class TBitmap;

// Largest strip of a print, in rows: at most a quarter of the memory
// threshold and at most 40 MB (41,943,040 bytes) of 24-bit rows of Width
// pixels padded to RowAlignment bits, never more than Height, at least 1.
Integer IERenderStripHeight(int64_t MemoryThreshold, Integer Width, Integer Height, Integer RowAlignment);

// Draws Rows rows of Bitmap from row FirstRow, Width columns from column SrcX,
// at (X, Y) of Canvas with their own size, through a packed DIB of 200 dpi.
// Nothing is drawn for a rectangle outside the picture.
void PrintPict(TCanvas* Canvas, Integer X, Integer Y, TIEBitmap* Bitmap, Integer SrcX, Integer FirstRow, Integer Width,
               Integer Rows);

// Stretches the source rectangle of the packed DIB in the global block Dib
// (uncompressed, colour table after the header) onto the destination
// rectangle of Canvas, nearest pixel (COLORONCOLOR), SRCCOPY. A block that
// is malformed or too short for its header is not drawn (false).
bool _DIBDrawTo(TCanvas* Canvas, HGLOBAL Dib, Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight);

// The hint box of the measuring tools: Font, Brush, Text with 6 pixels of
// margin, moved inside CanvasWidth x CanvasHeight (X and Y written back).
// Background, when given, receives the canvas pixels that the box covers
// (frame included), so that painting it back at (X, Y) removes the box.
void IEDrawTextBox(TCanvas* Canvas, Integer& X, Integer& Y, const WideString& Text, TFont* Font, TBrush* Brush,
                   TBitmap* Background, Integer CanvasWidth, Integer CanvasHeight, TColor FrameColor1,
                   TColor FrameColor2);

// The views' information box: Text in Arial 9 on half-transparent light
// yellow, as wide as the wider of Text and WidthSample (so that changing
// numbers do not make it jump). Negative X and Y become 0.
void IEDrawInfoBox(TCanvas* Canvas, Integer& X, Integer& Y, const WideString& Text, const WideString& WidthSample);

// The platform's DrawDib service.
HDRAWDIB IEDrawDibOpen();
BOOL IEDrawDibClose(HDRAWDIB Handle);
BOOL IEDrawDibDraw(HDRAWDIB Handle, HDC DC, Integer XDst, Integer YDst, Integer DXDst, Integer DYDst,
                   const BITMAPINFOHEADER* Header, const void* Bits, Integer XSrc, Integer YSrc, Integer DXSrc,
                   Integer DYSrc, UINT Flags);
UINT IEDrawDibRealize(HDRAWDIB Handle, HDC DC, BOOL Background);
