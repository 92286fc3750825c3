// The pixel-format converter behind TIEBitmap::CopyAndConvertFormat and
// TIEBitmap::ConvertToPixelFormat: one row routine per pair of formats, chosen
// once per picture and run row by row through row addresses.
#pragma once

#include "imaging/core/bitmap/iebitmap.h"

// Converts every pixel of Source into Dest, which must already have Source's
// size and its own (target) pixel format. Reads the target's attributes
// (BlackWhiteMethod, PaletteUsed, DisplayLow/DisplayHigh) as the rules say.
// Source is read only: pairs that go through ie24RGB use a temporary copy.
// Palette of an ie8p target is written; alpha channels are not touched.
// Returns false when a temporary picture could not be allocated, a needed
// kernel is missing, or the storage failed; Dest's pixels are then undefined.
bool IEConvertPixels(TIEBitmap& Source, TIEBitmap& Dest);
