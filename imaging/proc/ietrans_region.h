// The rectangle-list region builder of the band and grid transitions, and
// the three band builders (bars, shreds, specks) made with it.
#pragma once

#include <vector>

#include "platform/graphics/windef.h"

struct HRGN__;
using HRGN = HRGN__*;

// Collects rectangles as they come (not validated, ordered, merged or
// clipped) in a block laid out as region data, grown by 500 rectangles at
// a time; CreateRegion makes one region of them all.
class TComplexRegion {
 public:
  TComplexRegion() { Clear(); }
  void Clear();
  void AddRect(Integer Left, Integer Top, Integer Right, Integer Bottom);
  // Null when nothing was added since Clear; the caller owns the region.
  HRGN CreateRegion();
  Integer Count() const { return FCount; }
  Integer Capacity() const { return FCapacity; }
  const TRect& Bounds() const { return FBounds; }
  size_t DataSize() const { return FData.size(); }

 private:
  std::vector<Byte> FData;
  Integer FCount = 0, FCapacity = 0;
  TRect FBounds;
};

// Bands of thickness min(W, H) div 50 + 1 reaching X (rows) and Y (columns)
// into the frame from the sides the modes name (0: no bands that way).
HRGN BarsRegion(Integer X, Integer Y, Integer W, Integer H, Integer HMode, Integer VMode);
// Thin bands of length X or Y, each with its own random offset.
HRGN ShredRegion(Integer X, Integer Y, Integer W, Integer H, Integer HMode, Integer VMode);
// A solid part of length X or Y with random specks ahead of its edge.
HRGN SpeckleRegion(Integer X, Integer Y, Integer W, Integer H, Integer HMode, Integer VMode);
