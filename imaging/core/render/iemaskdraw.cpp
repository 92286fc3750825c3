// Drawing a selection mask: outline, outer shading and inverted overlay.
#include "imaging/core/render/iemaskdraw.h"

#include <algorithm>
#include <cstdint>

#include "imaging/core/bitmap/iemaskmap.h"
#include "imaging/core/base/ieutils.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

namespace {

// Destination pixel d shows source offset floor(d x Src / Dst), the mapping
// the mask's stretch uses, so the limits found here match the scaled plane.
using iemask_detail::TAxisMap;

// Fills the buffer with the mask scaled to Dx.Dst x Dy.Dst; reallocates only
// when the size or depth changed.
void FillScaled(const TIEMask& Mask, TIEMaskScaledBuffer& Buf, Integer XSrc, Integer YSrc, const TAxisMap& Dx,
                const TAxisMap& Dy) {
  const Integer bpp = Mask.BitsPerPixel();
  if (Buf.Width != Dx.Dst || Buf.Height != Dy.Dst || Buf.BitsPerPixel != bpp) {
    Buf.RowLen = IEBitmapRowLen(Integer(Dx.Dst), bpp, 32);
    Buf.Bits.assign(size_t(int64_t(Buf.RowLen) * Dy.Dst), 0);
    Buf.Width = Integer(Dx.Dst);
    Buf.Height = Integer(Dy.Dst);
    Buf.BitsPerPixel = bpp;
  }
  IEStretchMaskBits(bpp, Buf.Bits.data(), Buf.Width, Buf.Height, Mask.X1, Mask.Y1, Mask.X2, Mask.Y2, Mask.Width(),
                    Mask.Height(), Mask.Bits(), XSrc, YSrc, Integer(Dx.Src), Integer(Dy.Src));
}

inline const Byte* ScaledRow(const TIEMaskScaledBuffer& B, int64_t R) {
  return B.Bits.data() + ptrdiff_t(B.RowLen) * (B.Height - 1 - R);
}

inline bool ScaledAt(const Byte* Row, int64_t C, Integer Bpp) {
  return Bpp == 8 ? Row[C] != 0 : (Row[C >> 3] & (0x80u >> (C & 7))) != 0;
}

bool Drawable(const TIEMask& Mask) {
  return Mask.Bits() && !Mask.IsEmpty() && (Mask.BitsPerPixel() == 1 || Mask.BitsPerPixel() == 8);
}

}  // namespace

void IEMaskDrawOutline(const TIEMask& Mask, TIEMaskScaledBuffer& Buffer, TCanvas* Canvas, Integer XDst,
                       Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc, Integer YSrc, Integer DxSrc,
                       Integer DySrc, Integer Phase, TColor Color1, TColor Color2, TRect* DrawnRect) {
  if (!Canvas || DxDst < 1 || DyDst < 1 || DxSrc < 1 || DySrc < 1 || !Drawable(Mask)) return;
  const TRGB rgb1 = IEColorToRGB(Color1), rgb2 = IEColorToRGB(Color2);
  const TColor c1 = TColor(RGB(rgb1.r, rgb1.g, rgb1.b)), c2 = TColor(RGB(rgb2.r, rgb2.g, rgb2.b));
  const TAxisMap mx{DxSrc, DxDst}, my{DySrc, DyDst};
  FillScaled(Mask, Buffer, XSrc, YSrc, mx, my);

  // From where the box begins to one pixel beyond where it ends.
  const int64_t firstRow = std::max<int64_t>(my.StartOf(int64_t(Mask.Y1) - YSrc), 0);
  const int64_t lastRow = std::min<int64_t>(my.StartOf(int64_t(Mask.Y2) - YSrc + 1) + 1, DyDst - 1);
  const int64_t firstCol = std::max<int64_t>(mx.StartOf(int64_t(Mask.X1) - XSrc), 0);
  const int64_t lastCol = std::min<int64_t>(mx.StartOf(int64_t(Mask.X2) - XSrc + 1) + 1, DxDst - 1);
  if (DrawnRect)
    *DrawnRect = TRect(Integer(XDst + firstCol + 1), Integer(YDst + firstRow + 1), Integer(XDst + lastCol - 1),
                       Integer(YDst + lastRow - 1));
  if (lastRow < firstRow || lastCol < firstCol) return;
  Canvas->Pen()->SetStyle(psSolid);
  Canvas->Pen()->SetMode(pmCopy);

  const Integer bpp = Mask.BitsPerPixel();
  const bool wholeWidth = DxSrc == Mask.Width(), wholeHeight = DySrc == Mask.Height();
  for (int64_t r = firstRow; r <= lastRow; ++r) {
    const Byte* row = ScaledRow(Buffer, r);
    const Byte* above = ScaledRow(Buffer, std::max<int64_t>(r - 1, 0));
    const Byte* below = ScaledRow(Buffer, std::min<int64_t>(r + 1, DyDst - 1));
    const int64_t maskRow = YSrc + my.SourceAt(r);
    for (int64_t c = firstCol; c <= lastCol; ++c) {
      if (!ScaledAt(row, c, bpp)) continue;
      bool draw;
      if (c == 0)
        draw = XSrc <= Mask.X1;
      else if (c == lastCol)
        draw = XSrc + mx.SourceAt(c) >= Mask.X2 || wholeWidth;
      else if (r == 0)
        draw = maskRow <= Mask.Y1;
      else if (r == lastRow)
        draw = maskRow >= Mask.Y2 || wholeHeight;
      else
        draw = !(ScaledAt(above, c - 1, bpp) && ScaledAt(above, c, bpp) && ScaledAt(above, c + 1, bpp) &&
                 ScaledAt(row, c - 1, bpp) && ScaledAt(row, c + 1, bpp) && ScaledAt(below, c - 1, bpp) &&
                 ScaledAt(below, c, bpp) && ScaledAt(below, c + 1, bpp));
      if (!draw) continue;
      const int64_t x = XDst + c, y = YDst + r;
      // C++ % truncates like the runs' definition wants, negative x included.
      Canvas->SetPixels(Integer(x), Integer(y), (x + y + Phase) % 8 < 4 ? c2 : c1);
    }
  }
}

void IEMaskDrawOuterArea(const TIEMask& Mask, TIEMaskScaledBuffer& Buffer, TBitmap* Bitmap, Integer XDst,
                         Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc, Integer YSrc, Integer DxSrc,
                         Integer DySrc, Integer Transparency, TColor Color) {
  if (!Bitmap || Bitmap->PixelFormat() != pf24bit || DxDst < 1 || DyDst < 1 || DxSrc < 1 || DySrc < 1 ||
      !Drawable(Mask))
    return;
  // Destination columns and rows left of or above the bitmap are dropped.
  if (XDst < 0) {
    const Integer cut = -XDst;
    const Integer srcCut = Integer(Round(double(cut) * DxSrc / DxDst));
    DxDst -= cut;
    XSrc += srcCut;
    DxSrc -= srcCut;
    XDst = 0;
  }
  if (YDst < 0) {
    const Integer cut = -YDst;
    const Integer srcCut = Integer(Round(double(cut) * DySrc / DyDst));
    DyDst -= cut;
    YSrc += srcCut;
    DySrc -= srcCut;
    YDst = 0;
  }
  if (DxDst < 1 || DyDst < 1 || DxSrc < 1 || DySrc < 1) return;
  const TAxisMap mx{DxSrc, DxDst}, my{DySrc, DyDst};
  FillScaled(Mask, Buffer, XSrc, YSrc, mx, my);

  // From where the mask begins to one pixel beyond where it ends; work stops
  // at the bitmap's own right and bottom edges, measured from the destination
  // origin.
  const int64_t firstRow = std::max<int64_t>(my.StartOf(-int64_t(YSrc)), 0);
  const int64_t lastRow = std::min({my.StartOf(int64_t(Mask.Height()) - YSrc) + 1, int64_t(DyDst) - 1,
                                    int64_t(Bitmap->Height()) - 1 - YDst});
  const int64_t firstCol = std::max<int64_t>(mx.StartOf(-int64_t(XSrc)), 0);
  const int64_t lastCol = std::min({mx.StartOf(int64_t(Mask.Width()) - XSrc) + 1, int64_t(DxDst) - 1,
                                    int64_t(Bitmap->Width()) - 1 - XDst});
  if (lastRow < firstRow || lastCol < firstCol) return;

  const Integer bpp = Mask.BitsPerPixel();
  const TRGB col = IEColorToRGB(Color);
  const double w = Transparency / 255.0;
  for (int64_t r = firstRow; r <= lastRow; ++r) {
    const Byte* row = ScaledRow(Buffer, r);
    Byte* px = static_cast<Byte*>(Bitmap->ScanLine(Integer(YDst + r))) + 3 * (XDst + firstCol);
    for (int64_t c = firstCol; c <= lastCol; ++c, px += 3) {
      if (ScaledAt(row, c, bpp)) continue;
      if (Transparency == -1) {
        if (((c + r) & 1) == 0) px[0] = px[1] = px[2] = 97;
      } else {
        px[0] = Byte(Trunc(w * col.b + (1 - w) * px[0]));
        px[1] = Byte(Trunc(w * col.g + (1 - w) * px[1]));
        px[2] = Byte(Trunc(w * col.r + (1 - w) * px[2]));
      }
    }
  }
}

void IEMaskDrawInverted(const TIEMask& Mask, TCanvas* Canvas, Integer XDst, Integer YDst, Integer DxDst,
                        Integer DyDst, Integer XSrc, Integer YSrc, Integer DxSrc, Integer DySrc) {
  if (!Canvas || Mask.BitsPerPixel() != 1 || !Mask.Bits() || Mask.IsEmpty()) return;
  struct {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[2];
  } info;
  info.bmiHeader.biWidth = Mask.Width();
  info.bmiHeader.biHeight = Mask.Height();
  info.bmiHeader.biBitCount = 1;
  info.bmiColors[1] = RGBQUAD{255, 255, 255, 0};
  // The plane is bottom-up: source rows count from its last row.
  StretchDIBits(Canvas->Handle(), XDst, YDst, DxDst, DyDst, XSrc, Mask.Height() - DySrc - YSrc, DxSrc, DySrc,
                Mask.Bits(), reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCINVERT);
}

// The mask's own drawing operations: the routines above with the mask's
// scaled plane, so that a view keeps it between repaints without holding it.

void TIEMask::DrawOutline(TCanvas* Canvas, Integer XDst, Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc,
                          Integer YSrc, Integer DxSrc, Integer DySrc, Integer Phase, TColor Color1, TColor Color2,
                          TRect* DrawnRect) {
  IEMaskDrawOutline(*this, FScaledBuffer, Canvas, XDst, YDst, DxDst, DyDst, XSrc, YSrc, DxSrc, DySrc, Phase, Color1,
                    Color2, DrawnRect);
}

void TIEMask::DrawOuterArea(TBitmap* Bitmap, Integer XDst, Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc,
                            Integer YSrc, Integer DxSrc, Integer DySrc, Integer Transparency, TColor Color) {
  IEMaskDrawOuterArea(*this, FScaledBuffer, Bitmap, XDst, YDst, DxDst, DyDst, XSrc, YSrc, DxSrc, DySrc, Transparency,
                      Color);
}

void TIEMask::DrawInverted(TCanvas* Canvas, Integer XDst, Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc,
                           Integer YSrc, Integer DxSrc, Integer DySrc) {
  IEMaskDrawInverted(*this, Canvas, XDst, YDst, DxDst, DyDst, XSrc, YSrc, DxSrc, DySrc);
}
