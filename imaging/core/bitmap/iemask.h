// The selection of a picture: a plane of one value per pixel (1 bit, set =
// selected, or 8 bits, 0..255 = degree of selection) with the bounding box
// of the selected pixels and a flag saying the whole plane is selected, so
// that users can skip work. Also used by codecs as an 8-bit alpha plane.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>

#include "imaging/core/base/iedefs.h"
#include "platform/base/classes.h"
#include "platform/base/types.h"
#include <vector>

#include "platform/graphics/colors.h"  // TColor
#include "platform/graphics/windef.h"  // TPoint, TRect

class TIEBitmap;
class TCanvas;
class TBitmap;

// The mask scaled to the last destination size of a drawing; kept between
// repaints so that the plane is only reallocated when that size changes.
struct TIEMaskScaledBuffer {
  std::vector<Byte> Bits;  // bottom-up plane, rows padded to 4 bytes
  Integer Width = 0, Height = 0, BitsPerPixel = 0, RowLen = 0;
};

// The x of a point in a point list that separates two polygons.
constexpr Integer IEPolygonSeparator = 0xFFFFF;

class TIEMask : public TObject {
 public:
  TIEMask() = default;
  ~TIEMask() override;

  // --- plane -------------------------------------------------------------------

  // Frees the old plane and allocates a zero-filled one; empty box, Full
  // false. A size of 0 or less leaves no plane. A plane that cannot be had
  // raises EOutOfMemory (the mask is then without plane).
  void AllocateBits(Integer Width, Integer Height, Integer BitsPerPixel);
  // No plane any more; Width, Height, BitsPerPixel and RowLen become 0.
  void FreeBits();
  // A new plane of the new size and the same depth, keeping the overlapping
  // rows anchored at the top-left; the box is clipped to the new plane
  // (made empty when nothing of it is left). Full stays only when the plane
  // did not grow.
  void Resize(Integer NewWidth, Integer NewHeight);

  Integer Width() const { return FWidth; }
  Integer Height() const { return FHeight; }
  // 1 or 8; a plane of any other depth is left alone by every pixel operation.
  Integer BitsPerPixel() const { return FBitsPerPixel; }
  // Bytes per row, rows padded to 4 bytes.
  Integer RowLen() const { return FRowLen; }
  // The plane, rows stored bottom-up (null without plane).
  Byte* Bits() const { return FBits.get(); }
  // Address of picture row Row (0 = top) in the bottom-up plane. No range check.
  Byte* ScanLine(Integer Row) const {
    return FBits.get() + static_cast<ptrdiff_t>(FRowLen) * (static_cast<ptrdiff_t>(FHeight) - 1 - Row);
  }

  // --- pixels --------------------------------------------------------------------

  // 0 outside the plane; 8-bit: the byte; 1-bit: 0 or the bit's weight in its byte.
  Integer GetPixel(Integer X, Integer Y) const;
  bool IsPointInside(Integer X, Integer Y) const { return GetPixel(X, Y) != 0; }
  // Ignored outside the plane. A non-zero Value widens the box. 1-bit: set
  // for a non-zero Value, clear for 0; 8-bit: the low byte. A write that
  // leaves the pixel less than fully selected clears Full.
  void SetPixel(Integer X, Integer Y, Integer Value);
  // Writes columns X1..X2 (clipped to the plane) of row Y: 8-bit the low byte
  // of Value, 1-bit set for a non-zero Value and clear for 0. A row outside
  // the plane writes nothing. Returns the pixels written; leaves the box
  // alone; clears Full when the value does not select fully.
  Integer DrawHorizontalLine(Integer Value, Integer X1, Integer X2, Integer Y);

  // --- whole plane ---------------------------------------------------------------

  // Every byte of the plane (row padding included) := Value; Full := (Value
  // = 255), which is returned. The box is left alone.
  bool Fill(Byte Value);
  // Fill(0) and the empty box.
  void Clear();
  bool IsEmpty() const { return X1 == INT32_MAX; }
  // The box of the non-zero pixels (empty when there is none).
  void SyncRect();
  // Full := every pixel fully selected (true for a depth other than 1 or 8).
  void SyncFull();
  // Selected pixels become 0, the others Value; box recomputed, Full false.
  // Nothing for an empty mask.
  void Invert(Integer Value);
  // Moves the selected area by (DX, DY). With Clip what leaves the plane is
  // cut; without, DX and DY are first reduced so that the box stays inside
  // and the reduced values are handed back.
  void Translate(Integer& DX, Integer& DY, bool Clip);

  // --- polygons ------------------------------------------------------------------

  // Fills each polygon of Points (polygons separated by a point whose X is
  // IEPolygonSeparator) with Value, then SyncFull.
  void FillPolygons(Integer Value, const TPoint* Points, Integer Count);
  // Even-odd scan-line fill of one polygon: pixel (x, y) is filled when the
  // point (x + 0.5, y) lies inside (right and bottom edges exclusive). A
  // non-zero Value widens the box by the polygon's points; a polygon that
  // covers no pixel of the plane leaves the box as it was.
  void FillPolygon(Integer Value, const TPoint* Points, Integer Count);

  // --- pictures ------------------------------------------------------------------

  // Lays an ie8g or ie8p Bitmap over the plane with its top-left at (X, Y):
  // 1-bit masks lose the pixels where the bitmap is 0, 8-bit masks keep the
  // smaller value. Other formats change nothing. SyncRect when RecalcRect;
  // SyncFull always.
  void IntersectWithBitmap(TIEBitmap* Bitmap, Integer X, Integer Y, bool RecalcRect);
  // Copies the selected pixels of the box from Source into Dest. A cropped
  // side is a picture of the box's size whose (0, 0) is the box's top-left;
  // the other side is addressed at the mask's own coordinates. Only the part
  // that lies inside both pictures is touched. With CopyAlpha,
  // CopyAlphaChannel follows.
  void CopyBitmap(TIEBitmap* Dest, TIEBitmap* Source, bool DestCropped, bool SourceCropped, bool CopyAlpha);
  // Dest's alpha channel (created on demand) over the same area: selected
  // pixels get Source's alpha (255 without alpha channel; 8-bit masks: at
  // most the mask value), unselected ones 0. Dest's alpha Full ends false.
  void CopyAlphaChannel(TIEBitmap* Dest, TIEBitmap* Source, bool DestCropped, bool SourceCropped);

  // --- drawing (iemaskdraw.h) -------------------------------------------------------
  // The part (XSrc, YSrc, DxSrc, DySrc) of the mask shown in (XDst, YDst,
  // DxDst, DyDst); the rules are those of the IEMaskDraw routines. Outline and
  // outer area share this mask's scaled plane between repaints.

  void DrawOutline(TCanvas* Canvas, Integer XDst, Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc,
                   Integer YSrc, Integer DxSrc, Integer DySrc, Integer Phase, TColor Color1, TColor Color2,
                   TRect* DrawnRect);
  void DrawOuterArea(TBitmap* Bitmap, Integer XDst, Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc,
                     Integer YSrc, Integer DxSrc, Integer DySrc, Integer Transparency, TColor Color);
  void DrawInverted(TCanvas* Canvas, Integer XDst, Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc,
                    Integer YSrc, Integer DxSrc, Integer DySrc);
  // The scaled plane of the last DrawOutline or DrawOuterArea (empty after FreeBits).
  const TIEMaskScaledBuffer& ScaledBuffer() const { return FScaledBuffer; }

  // --- state -----------------------------------------------------------------------

  // Bounding box of the selected pixels, inclusive; empty: X1 = Y1 = MaxInt,
  // X2 = Y2 = 0. Public so that a stored selection can be restored.
  Integer X1 = INT32_MAX, Y1 = INT32_MAX, X2 = 0, Y2 = 0;
  // Every pixel fully selected (255, or a set bit).
  bool Full = false;

 private:
  void EmptyBox() {
    X1 = Y1 = INT32_MAX;
    X2 = Y2 = 0;
  }
  void ClampBox();
  bool HasPixels() const { return FBits && (FBitsPerPixel == 1 || FBitsPerPixel == 8); }
  // The box cut to the plane; false when nothing of it lies inside.
  bool ClippedBox(Integer& AX1, Integer& AY1, Integer& AX2, Integer& AY2) const;

  // The plane comes zero-filled from calloc, which keeps large planes cheap.
  struct TPlaneDeleter {
    void operator()(Byte* P) const;
  };
  using TPlane = std::unique_ptr<Byte[], TPlaneDeleter>;

  Integer FWidth = 0, FHeight = 0, FBitsPerPixel = 0, FRowLen = 0;
  TPlane FBits;
  TIEMaskScaledBuffer FScaledBuffer;
};

// Scales the part (XSrc, YSrc, DxSrc, DySrc) of a mask plane (SourceWidth x
// SourceHeight, bottom-up, BitsPerPixel 1 or 8) by nearest sample into Dest,
// a bottom-up plane of DestWidth x DestHeight of the same depth with rows
// padded to 4 bytes. Dest is zero-filled, then only the rows and columns that
// show the box X1..Y2 are filled. Destination pixel d shows source offset
// floor(d x DxSrc / DestWidth) (and the same in y), computed exactly in
// integers. Samples outside the source take its nearest edge row or column.
void IEStretchMaskBits(Integer BitsPerPixel, Byte* Dest, Integer DestWidth, Integer DestHeight, Integer X1,
                       Integer Y1, Integer X2, Integer Y2, Integer SourceWidth, Integer SourceHeight,
                       const Byte* SourceBits, Integer XSrc, Integer YSrc, Integer DxSrc, Integer DySrc);
