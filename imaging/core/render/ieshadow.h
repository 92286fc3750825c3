// Shadows painted around a picture box on a 24-bit bitmap (and, outside
// the bitmap, on the canvas that shows it).
#pragma once

#include "platform/base/types.h"

class TCanvas;
class TBitmap;

// Darkening factor of step K (0 = the edge touching the picture) across a
// shadow strip of thickness T: e^(-0.1 - t^2 / 6) with t = (T - K) / (T / 3).
double IEShadowStripFactor(Integer T, Integer K);
// The strip right of the box (X1..X2 wide, T = X2 - X1 + 1); its lower end
// steps down one pixel per column. Pixels of a 24-bit Bitmap are darkened in
// its rows, any other one through Canvas (either may be null).
void IEDrawVertShadow(TCanvas* Canvas, TBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2);
// The strip below the box (Y1..Y2 high, T = Y2 - Y1 + 1); its right end steps
// right one pixel per row.
void IEDrawHorizShadow(TCanvas* Canvas, TBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2);
// A blurred shadow up to 5 pixels around the box of a 24-bit Bitmap whose
// pixels are X1 <= x < X2, Y1 <= y < Y2 (right and bottom exclusive, like the
// views' picture rectangle), strongest right of and below it; the box itself
// is never changed.
void IEDrawSoftShadow(TBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2);
