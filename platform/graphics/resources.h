// The program's small built-in pictures, looked up by resource name: mouse
// cursors and the MDI system-menu images, drawn by this code at start-up.
#pragma once

#include <memory>
#include <vector>

#include "platform/graphics/bitmap.h"

struct TGtCursorImage {
  Integer Width = 0;
  Integer Height = 0;
  TPoint HotSpot;
  std::vector<uint32_t> Pixels;  // ARGB rows from the top; alpha 0 is transparent
};

// The cursor of that resource name (case-insensitive): the view's cursors
// ("MOVE", "CROCE3+", "ZOOMPIU", "ROT1", ...), the splitter's "FCSPLIT_HORZ"
// family and "CURSOR_1". False for an unknown name.
bool GtResourceCursor(const WideString& Name, TGtCursorImage& Image);
// The names GtResourceCursor knows.
std::vector<WideString> GtResourceCursorNames();
// A bitmap resource ("TBSYSMENUIMAGES"), or nullptr for an unknown name.
std::unique_ptr<TBitmap> GtResourceBitmap(const WideString& Name);
