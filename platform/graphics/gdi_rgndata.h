// Regions from a list of rectangles, laid out as the platform's region data:
// a 32-byte header and Count rectangles of 16 bytes.
#pragma once

#include "platform/graphics/gdi.h"

enum : DWORD { RDH_RECTANGLES = 1 };

struct RGNDATAHEADER {
  DWORD dwSize;
  DWORD iType;
  DWORD nCount;
  DWORD nRgnSize;
  TRect rcBound;
};
static_assert(sizeof(RGNDATAHEADER) == 32, "region data header is 32 bytes");

struct RGNDATA {
  RGNDATAHEADER rdh;
  char Buffer[1];
};

struct XFORM;

// The union of the rectangles of Data (Count bytes in all). Rectangles whose
// right or bottom edge does not lie beyond the left or top cover nothing,
// as on the platform, where the region's rectangles are never normalised.
// Null for a header that is not a rectangle list or a count the data cannot
// hold; a transform is not supported (null only).
HRGN ExtCreateRegion(const XFORM* Transform, DWORD Count, const RGNDATA* Data);
