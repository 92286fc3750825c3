// Printing a picture on a page: the layout of the printed rectangle from
// margins, positions and a size mode (in inches), and the preview bitmap.
#pragma once

#include "platform/base/types.h"

// Vertical position inside the margins.
enum TIEVerticalPos : Byte { ievpTop = 0, ievpCenter = 1, ievpBottom = 2 };
// Horizontal position inside the margins.
enum TIEHorizontalPos : Byte { iehpLeft = 0, iehpCenter = 1, iehpRight = 2 };
// Normal (the picture's own resolution), fit (aspect kept), stretch (the
// whole area), specified (SpecWidth x SpecHeight).
enum TIESizeMode : Byte { iesNormal = 0, iesFit = 1, iesStretch = 2, iesSpecified = 3 };

struct TIEPrintLayout {
  // Inches from the page's top-left corner.
  double X = 0, Y = 0, Width = 0, Height = 0;
};

// Where a Width x Height picture lands on a PageWidth x PageHeight page.
// Normal uses the picture's resolution, fit the device's. False, with
// nothing to draw, for an empty picture, resolutions of 0 or less, or
// margins that leave no area.
bool IEComputePrintLayout(Integer PicWidth, Integer PicHeight, double PicDpiX, double PicDpiY, Integer DeviceDpiX,
                          Integer DeviceDpiY, double PageWidth, double PageHeight, double LeftMargin,
                          double TopMargin, double RightMargin, double BottomMargin, Byte VerticalPosition,
                          Byte HorizontalPosition, Byte SizeMode, double SpecWidth, double SpecHeight,
                          TIEPrintLayout& Layout);
