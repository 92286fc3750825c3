// Drawing a picture into an ie24RGB picture at any zoom: clipping of the
// source and destination rectangles, column and row maps, and the row
// renderers that turn each source format into colour, apply contrast,
// channel offsets and a blend operation, and mix by transparency and alpha.
// This is the views' paint path into their back buffer.
#pragma once

#include <memory>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iedefs.h"

// TIERowTable (address of every destination row, index = destination row)
// and TIEMapTable (source column or row of every destination column or row
// of the drawn window, indexed by x - DstX or y - DstY) come with iebitmap.h.

// Draws the rectangle (SrcX, SrcY, SrcWidth, SrcHeight) of Source into the
// rectangle (DstX, DstY, DstWidth, DstHeight) of Dest, which may lie partly
// outside Dest.
// - Dest must be an ie24RGB picture whose rows stay addressable together:
//   in memory (one block or row segments). A file-backed Dest is refused.
// - DestRows, XMap and YMap: tables of an earlier call of the same geometry
//   are used as they are; empty ones are built. With FreeTables false the
//   tables built here are handed back through them, else freed. A table too
//   short for this call, or whose entries lie outside Source, is rebuilt.
// - ClipRect: nullptr or four values X1, Y1, X2, Y2 (inclusive, destination
//   coordinates); nothing outside is touched.
// - EnableAlpha: honour Source's alpha channel unless it is Full.
// - ReuseRows: a destination row whose source row repeats the previous
//   one's may be copied from the previous destination row.
// - Transparency: 0..255, global opacity (255 opaque).
// - Filter: resampling of scaled ie1g and ie24RGB sources; rfNone = nearest.
// - BlendOperation: 0..37, IEBlendRGB per pixel (0 = copy).
// Never raises; Source's Access is ieaRead during the call.
void RenderToTIEBitmapEx(TIEBitmap& Source, TIEBitmap* Dest, std::unique_ptr<TIERowTable>& DestRows,
                         std::unique_ptr<TIEMapTable>& XMap, std::unique_ptr<TIEMapTable>& YMap,
                         const Integer* ClipRect, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                         Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, bool EnableAlpha,
                         bool ReuseRows, Integer Transparency, TResampleFilter Filter, bool FreeTables,
                         Byte BlendOperation);

// RenderToTIEBitmapEx with new tables, no clip, alpha honoured, no row reuse.
void RenderToTIEBitmap(TIEBitmap& Source, TIEBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth,
                       Integer DstHeight, Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                       Integer Transparency, TResampleFilter Filter, Byte BlendOperation);

// What every row renderer receives. The window is the part of the
// destination that is drawn; the maps are indexed from DstX and DstY.
struct TIERenderRowsArgs {
  Byte* const* DestRows = nullptr;
  TIEBitmap* Dest = nullptr;
  Integer FirstRow = 0, LastRow = -1;  // inclusive
  Integer FirstCol = 0, LastCol = -1;  // inclusive
  Integer DstX = 0, DstY = 0;
  Integer SrcX = 0, SrcY = 0;          // source offsets of the unmapped 1:1 copy
  Integer StepX = 16384, StepY = 16384;  // source pixels per destination pixel, 14 fraction bits
  // nullptr only for RenderRows24RGB's unmapped 1:1 copy: destination pixel
  // (x, y) then shows source pixel (SrcX + x - DstX, SrcY + y - DstY),
  // which must lie in the source.
  const Integer* XMap = nullptr;
  const Integer* YMap = nullptr;
  bool ReuseRows = false;
  bool UseAlpha = false;        // blended renderers: read the source alpha
  Integer Transparency = 255;   // blended renderers
  Byte BlendOperation = 0;      // ie24RGB, ie32RGB and ieRGB48 renderers
};

// The row renderers, an opaque and a blended one per source format. Each
// expects Source in its own pixel format and a window inside Dest.
void RenderRows24RGB(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows24RGBBlended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows32RGB(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows32RGBBlended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows1g(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows1gBlended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows8g(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows8gBlended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows8p(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows8pBlended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows16g(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows16gBlended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows32f(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRows32fBlended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRowsCMYK(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRowsCMYKBlended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRowsCIELab(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRowsCIELabBlended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRowsRGB48(TIEBitmap& Source, const TIERenderRowsArgs& Args);
void RenderRowsRGB48Blended(TIEBitmap& Source, const TIERenderRowsArgs& Args);
