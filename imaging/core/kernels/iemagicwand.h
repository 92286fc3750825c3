// Magic wand: the region of similar colour around a clicked pixel, as a
// connected fill into a selection mask, as a match of the whole picture, or
// as the outline polygon of the connected region.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "platform/graphics/windef.h"  // TPoint

// The outline is traced on a grid of (4 x box width + 4) x (4 x box height + 4)
// one-byte cells; a region whose grid would need more cells than this gets
// no outline.
constexpr int64_t IEMagicWandMaxOutlineCells = int64_t(1) << 30;

// A pixel matches when each of its red, green and blue (any pixel format)
// differs from the seed pixel's by at most Tolerance. Regions are
// 4-connected. A seed outside the picture changes nothing.

// Sets MaskValue in Mask for every pixel of the connected matching region
// around (X, Y); with Dilate for the 3x3 neighbourhood of each such pixel,
// limited to the picture. Other mask pixels stay as they were.
void IEMagicWandFill(TIEBitmap* Bitmap, Integer X, Integer Y, bool Dilate, Integer Tolerance, TIEMask* Mask,
                     Integer MaskValue);
// Sets MaskValue in Mask for every matching pixel of the picture.
void IEMagicWandGlobal(TIEBitmap* Bitmap, Integer X, Integer Y, Integer Tolerance, TIEMask* Mask, Integer MaskValue);
// The outer outline of the connected matching region (with Dilate, of the
// region grown as IEMagicWandFill grows it) as Count points in pixel-corner
// coordinates, clockwise from the top-left; each corner appears where the
// outline changes direction, so a single pixel gives its four corners twice
// each. Null and Count 0 for no region or one too large to trace.
std::unique_ptr<TPoint[]> IEMagicWandOutline(TIEBitmap* Bitmap, Integer X, Integer Y, bool Dilate,
                                             Integer Tolerance, Integer& Count);

inline void IEPointAdd(const TPoint& A, const TPoint& B, TPoint& Result) { Result = TPoint(A.X + B.X, A.Y + B.Y); }
inline void IEPointSub(const TPoint& A, const TPoint& B, TPoint& Result) { Result = TPoint(A.X - B.X, A.Y - B.Y); }
