// Transition effects drawn with one to four rectangle copies or stretches
// from the end picture, from the frame itself (pushes and squeezes, whose
// displacement adds up from tick to tick) or from the start picture (page
// flips). Centre splits give the far half the odd pixel, so that a full
// extent covers the whole frame at odd sizes too.
#include <algorithm>

#include "imaging/proc/ietrans_procs.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

namespace ietrans_blocks {
namespace {

struct TExtent {
  Integer W, H, PW, PH;
};

TExtent Extent(const TRect& Rect, Integer Percent) {
  TExtent e{};
  CalcTransitionExtent(Rect, Percent, e.W, e.H, e.PW, e.PH);
  return e;
}

// Area (X, Y, W, H) of Src copied to (DX, DY) of the frame; the platform
// cuts it to both bitmaps.
void Copy(TCanvas* C, TCanvas* Src, Integer X, Integer Y, Integer W, Integer H, Integer DX, Integer DY) {
  if (W <= 0 || H <= 0) return;
  BitBlt(C->Handle(), DX, DY, W, H, Src->Handle(), X, Y, SRCCOPY);
}

void CopyInPlace(TCanvas* C, TBitmap* To, Integer X, Integer Y, Integer W, Integer H) {
  Copy(C, To->Canvas(), X, Y, W, H, X, Y);
}

// Area (X, Y, W, H) of Src scaled into (DX, DY, DW, DH) of the frame.
void Stretch(TCanvas* C, TCanvas* Src, Integer X, Integer Y, Integer W, Integer H, Integer DX, Integer DY,
             Integer DW, Integer DH) {
  if (W <= 0 || H <= 0 || DW <= 0 || DH <= 0) return;
  StretchBlt(C->Handle(), DX, DY, DW, DH, Src->Handle(), X, Y, W, H, SRCCOPY);
}

void StretchTo(TCanvas* C, TBitmap* To, Integer X, Integer Y, Integer W, Integer H, Integer DX, Integer DY,
               Integer DW, Integer DH) {
  Stretch(C, To->Canvas(), X, Y, W, H, DX, DY, DW, DH);
}

// The far edge of a roll that has come P along an axis of Size (from the
// near edge): a short curl at the start and the end, a tenth of the size
// in between.
Integer RollFar(Integer P, Integer Size) {
  if (P < Size / 5) return P + P / 2;
  if (Size < P + Size / 5) return P + (Size - P) / 2;
  return P + Size / 10;
}

Integer RollNear(Integer P, Integer Size) {
  const Integer q = Size - P;
  if (P < Size / 5) return q - P / 2;
  if (q < Size / 5) return q - q / 2;
  return q - Size / 10;
}

void PageFlip(TCanvas* C, TBitmap* From, TBitmap* To, const TRect& Rect, Integer Percent, bool Edge) {
  const TExtent e = Extent(Rect, Percent);
  const Integer c = e.W / 2;
  TPen* pen = C->Pen();
  pen->SetColor(0);
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  // The right half at its own width: an odd frame keeps no start column.
  StretchTo(C, To, c, 0, e.W - c, e.H, c, 0, e.W - c, e.H);
  Integer edge;
  if (Percent <= 50) {
    const Integer w = MulDiv(e.W, 50 - Percent, 100);
    Stretch(C, From->Canvas(), c, 0, e.W - c, e.H, c, 0, w, e.H);
    edge = c + w;
  } else {
    const Integer w = MulDiv(e.W, Percent - 50, 50) / 2;
    StretchTo(C, To, 0, 0, c, e.H, c - w, 0, w, e.H);
    edge = c - w;
  }
  if (Edge) {
    C->MoveTo(edge, 0);
    C->LineTo(edge, e.H);
  }
}

}  // namespace
}  // namespace ietrans_blocks

using namespace ietrans_blocks;

void StretchDrawRect(TCanvas* Canvas, TRect Dest, TBitmap* Bitmap, TRect Source, bool MirrorH, bool MirrorV) {
  Source.Left = std::max(Source.Left, 0);
  Source.Top = std::max(Source.Top, 0);
  Source.Right = std::min(Source.Right, Bitmap->Width());
  Source.Bottom = std::min(Source.Bottom, Bitmap->Height());
  if (Source.Right <= Source.Left || Source.Bottom <= Source.Top) return;
  if (MirrorH) {
    const Integer l = Dest.Left;
    Dest.Left = Dest.Right + 1;
    Dest.Right = l - 1;
  }
  if (MirrorV) {
    const Integer t = Dest.Top;
    Dest.Top = Dest.Bottom + 1;
    Dest.Bottom = t - 1;
  }
  if (Dest.Right == Dest.Left || Dest.Bottom == Dest.Top) return;
  SetStretchBltMode(Canvas->Handle(), HALFTONE);
  StretchBlt(Canvas->Handle(), Dest.Left, Dest.Top, Dest.Right - Dest.Left, Dest.Bottom - Dest.Top,
             Bitmap->Canvas()->Handle(), Source.Left, Source.Top, Source.Right - Source.Left,
             Source.Bottom - Source.Top, SRCCOPY);
}

#define EXTENT const TExtent e = Extent(Rect, Percent); (void)FromBitmap; (void)Density
#define W e.W
#define H e.H
#define PW e.PW
#define PH e.PH

IE_TRANSITION_PROC(ExpandFromLeft) { EXTENT; StretchTo(Canvas, ToBitmap, 0, 0, W, H, 0, 0, PW, H); }
IE_TRANSITION_PROC(ExpandFromRight) { EXTENT; StretchTo(Canvas, ToBitmap, 0, 0, W, H, W - PW, 0, PW, H); }
IE_TRANSITION_PROC(ExpandFromTop) { EXTENT; StretchTo(Canvas, ToBitmap, 0, 0, W, H, 0, 0, W, PH); }
IE_TRANSITION_PROC(ExpandFromBottom) { EXTENT; StretchTo(Canvas, ToBitmap, 0, 0, W, H, 0, H - PH, W, PH); }
IE_TRANSITION_PROC(ExpandFromTopLeft) { EXTENT; StretchTo(Canvas, ToBitmap, 0, 0, W, H, 0, 0, PW, PH); }
IE_TRANSITION_PROC(ExpandFromTopRight) { EXTENT; StretchTo(Canvas, ToBitmap, 0, 0, W, H, W - PW, 0, PW, PH); }
IE_TRANSITION_PROC(ExpandFromBottomLeft) { EXTENT; StretchTo(Canvas, ToBitmap, 0, 0, W, H, 0, H - PH, PW, PH); }
IE_TRANSITION_PROC(ExpandFromBottomRight) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, 0, 0, W, H, W - PW, H - PH, PW, PH);
}
IE_TRANSITION_PROC(ExpandInFromLeft) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, W - PW, 0, PW, H, PW - W, 0, 2 * W - PW, H);
}
IE_TRANSITION_PROC(ExpandInFromRight) { EXTENT; StretchTo(Canvas, ToBitmap, 0, 0, PW, H, 0, 0, 2 * W - PW, H); }
IE_TRANSITION_PROC(ExpandInFromTop) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, 0, H - PH, W, PH, 0, PH - H, W, 2 * H - PH);
}
IE_TRANSITION_PROC(ExpandInFromBottom) { EXTENT; StretchTo(Canvas, ToBitmap, 0, 0, W, PH, 0, 0, W, 2 * H - PH); }
IE_TRANSITION_PROC(ExpandInToVerticalCenter) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, (W - PW) / 2, 0, PW, H, PW - W, 0, 3 * W - 2 * PW, H);
}
IE_TRANSITION_PROC(ExpandInToHorizon) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, 0, (H - PH) / 2, W, PH, 0, PH - H, W, 3 * H - 2 * PH);
}
IE_TRANSITION_PROC(ExpandInFromSides) {
  EXTENT;
  const Integer a = PW / 2, c = W / 2;
  StretchTo(Canvas, ToBitmap, 0, 0, c, H, 0, 0, a, H);
  StretchTo(Canvas, ToBitmap, c, 0, W - c, H, W - (PW - a), 0, PW - a, H);
}
IE_TRANSITION_PROC(ExpandInFromTopAndBottom) {
  EXTENT;
  const Integer a = PH / 2, c = H / 2;
  StretchTo(Canvas, ToBitmap, 0, 0, W, c, 0, 0, W, a);
  StretchTo(Canvas, ToBitmap, 0, c, W, H - c, 0, H - (PH - a), W, PH - a);
}
IE_TRANSITION_PROC(ExpandOutFromHorizon) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, 0, 0, W, H, 0, (H - PH) / 2, W, PH);
}
IE_TRANSITION_PROC(ExpandOutFromVerticalCenter) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, 0, 0, W, H, (W - PW) / 2, 0, PW, H);
}
IE_TRANSITION_PROC(WipeFromTopLeft) { EXTENT; CopyInPlace(Canvas, ToBitmap, 0, 0, PW, PH); }
IE_TRANSITION_PROC(WipeFromTopRight) { EXTENT; CopyInPlace(Canvas, ToBitmap, W - PW, 0, PW, PH); }
IE_TRANSITION_PROC(WipeFromBottomLeft) { EXTENT; CopyInPlace(Canvas, ToBitmap, 0, H - PH, PW, PH); }
IE_TRANSITION_PROC(WipeFromBottomRight) { EXTENT; CopyInPlace(Canvas, ToBitmap, W - PW, H - PH, PW, PH); }
IE_TRANSITION_PROC(WipeInFromTopAndBottom) {
  EXTENT;
  const Integer a = PH / 2;
  CopyInPlace(Canvas, ToBitmap, 0, 0, W, a);
  CopyInPlace(Canvas, ToBitmap, 0, H - (PH - a), W, PH - a);
}
IE_TRANSITION_PROC(WipeFromHorizon) { EXTENT; CopyInPlace(Canvas, ToBitmap, 0, (H - PH) / 2, W, PH); }
IE_TRANSITION_PROC(WipeInFromSides) {
  EXTENT;
  const Integer a = PW / 2;
  CopyInPlace(Canvas, ToBitmap, 0, 0, a, H);
  CopyInPlace(Canvas, ToBitmap, W - (PW - a), 0, PW - a, H);
}
IE_TRANSITION_PROC(WipeOutFromVerticalCenter) { EXTENT; CopyInPlace(Canvas, ToBitmap, (W - PW) / 2, 0, PW, H); }
IE_TRANSITION_PROC(BuildUpFromLeft) {
  EXTENT;
  CopyInPlace(Canvas, ToBitmap, W - PW, 0, PW, H);
  const Integer s = std::max(W - PW - W / 10, 0);
  StretchTo(Canvas, ToBitmap, s, 0, W - PW - s, H, 0, 0, W - PW, H);
}
IE_TRANSITION_PROC(BuildUpFromRight) {
  EXTENT;
  CopyInPlace(Canvas, ToBitmap, 0, 0, PW, H);
  const Integer n = std::min(W - PW, W / 10);
  StretchTo(Canvas, ToBitmap, PW, 0, n, H, PW, 0, W - PW, H);
}
IE_TRANSITION_PROC(BuildUpFromTop) {
  EXTENT;
  CopyInPlace(Canvas, ToBitmap, 0, H - PH, W, PH);
  const Integer s = std::max(H - PH - H / 10, 0);
  StretchTo(Canvas, ToBitmap, 0, s, W, H - PH - s, 0, 0, W, H - PH);
}
IE_TRANSITION_PROC(BuildUpFromBottom) {
  EXTENT;
  CopyInPlace(Canvas, ToBitmap, 0, 0, W, PH);
  const Integer n = std::min(H - PH, H / 10);
  StretchTo(Canvas, ToBitmap, 0, PH, W, n, 0, PH, W, H - PH);
}
// The rolls: the mirrored back of the roll beyond the unrolled part.
IE_TRANSITION_PROC(UnrollFromLeft) {
  EXTENT;
  const Integer p = PW, r = RollFar(p, W);
  StretchDrawRect(Canvas, TRect(p, 0, r, H), ToBitmap, TRect(r, 0, 2 * r - p, H), true, false);
  CopyInPlace(Canvas, ToBitmap, 0, 0, p, H);
}
IE_TRANSITION_PROC(UnrollFromRight) {
  EXTENT;
  const Integer p = PW, q = W - p, l = RollNear(p, W);
  StretchDrawRect(Canvas, TRect(l, 0, q, H), ToBitmap, TRect(2 * l - q, 0, l, H), true, false);
  CopyInPlace(Canvas, ToBitmap, q, 0, p, H);
}
IE_TRANSITION_PROC(UnrollFromTop) {
  EXTENT;
  const Integer p = PH, r = RollFar(p, H);
  StretchDrawRect(Canvas, TRect(0, p, W, r), ToBitmap, TRect(0, r, W, 2 * r - p), false, true);
  CopyInPlace(Canvas, ToBitmap, 0, 0, W, p);
}
IE_TRANSITION_PROC(UnrollFromBottom) {
  EXTENT;
  const Integer p = PH, q = H - p, l = RollNear(p, H);
  StretchDrawRect(Canvas, TRect(0, l, W, q), ToBitmap, TRect(0, 2 * l - q, W, l), false, true);
  CopyInPlace(Canvas, ToBitmap, 0, q, W, p);
}
IE_TRANSITION_PROC(SlideInFromLeft) { EXTENT; Copy(Canvas, ToBitmap->Canvas(), 0, 0, W, H, PW - W, 0); }
IE_TRANSITION_PROC(SlideInFromRight) { EXTENT; Copy(Canvas, ToBitmap->Canvas(), 0, 0, W, H, W - PW, 0); }
IE_TRANSITION_PROC(SlideInFromTop) { EXTENT; Copy(Canvas, ToBitmap->Canvas(), 0, 0, W, H, 0, PH - H); }
IE_TRANSITION_PROC(SlideInFromBottom) { EXTENT; Copy(Canvas, ToBitmap->Canvas(), 0, 0, W, H, 0, H - PH); }
IE_TRANSITION_PROC(ShrinkToTopLeft) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, 0, 0, PW, PH, 0, 0, 2 * W - PW, 2 * H - PH);
}
IE_TRANSITION_PROC(ShrinkToTopRight) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, W - PW, 0, PW, PH, PW - W, 0, 2 * W - PW, 2 * H - PH);
}
IE_TRANSITION_PROC(ShrinkToBottomLeft) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, 0, H - PH, PW, PH, 0, PH - H, 2 * W - PW, 2 * H - PH);
}
IE_TRANSITION_PROC(ShrinkToBottomRight) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, W - PW, H - PH, PW, PH, PW - W, PH - H, 2 * W - PW, 2 * H - PH);
}
IE_TRANSITION_PROC(ShrinkToCenter) {
  EXTENT;
  StretchTo(Canvas, ToBitmap, (W - PW) / 2, (H - PH) / 2, PW, PH, PW - W, PH - H, 3 * W - 2 * PW, 3 * H - 2 * PH);
}
IE_TRANSITION_PROC(QuartersWipeInToCenter) {
  EXTENT;
  const Integer a = PW / 2, b = PH / 2, a2 = PW - a, b2 = PH - b;
  CopyInPlace(Canvas, ToBitmap, 0, 0, a, b);
  CopyInPlace(Canvas, ToBitmap, 0, H - b2, a, b2);
  CopyInPlace(Canvas, ToBitmap, W - a2, H - b2, a2, b2);
  CopyInPlace(Canvas, ToBitmap, W - a2, 0, a2, b);
}
IE_TRANSITION_PROC(QuartersExpandToCenter) {
  EXTENT;
  const Integer a = PW / 2, b = PH / 2, a2 = PW - a, b2 = PH - b;
  const Integer c = W / 2, d = H / 2, c2 = W - c, d2 = H - d;
  StretchTo(Canvas, ToBitmap, 0, 0, c, d, 0, 0, a, b);
  StretchTo(Canvas, ToBitmap, 0, d, c, d2, 0, H - b2, a, b2);
  StretchTo(Canvas, ToBitmap, c, d, c2, d2, W - a2, H - b2, a2, b2);
  StretchTo(Canvas, ToBitmap, c, 0, c2, d, W - a2, 0, a2, b);
}
IE_TRANSITION_PROC(QuartersSlideInToCenter) {
  EXTENT;
  const Integer a = PW / 2, b = PH / 2, a2 = PW - a, b2 = PH - b;
  const Integer c = W / 2, d = H / 2, c2 = W - c, d2 = H - d;
  TCanvas* to = ToBitmap->Canvas();
  Copy(Canvas, to, 0, 0, c, d, a - c, 0);
  Copy(Canvas, to, c, 0, c2, d, c, b - d);
  Copy(Canvas, to, c, d, c2, d2, W - a2, d);
  Copy(Canvas, to, 0, d, c, d2, 0, H - b2);
}
// Pushes and squeezes move what the frame already shows, by the whole
// extent each tick: the displacement adds up over the run.
IE_TRANSITION_PROC(PushLeftAndSlideOut) {
  EXTENT;
  Copy(Canvas, Canvas, PW, 0, W - PW, H, 0, 0);
  Copy(Canvas, ToBitmap->Canvas(), 0, 0, PW, H, W - PW, 0);
}
IE_TRANSITION_PROC(PushRightAndSlideOut) {
  EXTENT;
  Copy(Canvas, Canvas, 0, 0, W - PW, H, PW, 0);
  Copy(Canvas, ToBitmap->Canvas(), W - PW, 0, PW, H, 0, 0);
}
IE_TRANSITION_PROC(PushUpAndSlideOut) {
  EXTENT;
  Copy(Canvas, Canvas, 0, PH, W, H - PH, 0, 0);
  Copy(Canvas, ToBitmap->Canvas(), 0, 0, W, PH, 0, H - PH);
}
IE_TRANSITION_PROC(PushDownAndSlideOut) {
  EXTENT;
  Copy(Canvas, Canvas, 0, 0, W, H - PH, 0, PH);
  Copy(Canvas, ToBitmap->Canvas(), 0, H - PH, W, PH, 0, 0);
}
IE_TRANSITION_PROC(PushAndSqueezeLeft) {
  EXTENT;
  Stretch(Canvas, Canvas, 0, 0, W, H, 0, 0, W - PW, H);
  Copy(Canvas, ToBitmap->Canvas(), 0, 0, PW, H, W - PW, 0);
}
IE_TRANSITION_PROC(PushAndSqueezeRight) {
  EXTENT;
  Stretch(Canvas, Canvas, 0, 0, W, H, PW, 0, W - PW, H);
  Copy(Canvas, ToBitmap->Canvas(), W - PW, 0, PW, H, 0, 0);
}
IE_TRANSITION_PROC(PushAndSqueezeUp) {
  EXTENT;
  Stretch(Canvas, Canvas, 0, 0, W, H, 0, 0, W, H - PH);
  Copy(Canvas, ToBitmap->Canvas(), 0, 0, W, PH, 0, H - PH);
}
IE_TRANSITION_PROC(PushAndSqueezeDown) {
  EXTENT;
  Stretch(Canvas, Canvas, 0, 0, W, H, 0, PH, W, H - PH);
  Copy(Canvas, ToBitmap->Canvas(), 0, H - PH, W, PH, 0, 0);
}
IE_TRANSITION_PROC(PageFlipEffect) {
  (void)Density;
  PageFlip(Canvas, FromBitmap, ToBitmap, Rect, Percent, false);
}
IE_TRANSITION_PROC(PageFlipEffect2) {
  (void)Density;
  PageFlip(Canvas, FromBitmap, ToBitmap, Rect, Percent, true);
}

#undef EXTENT
#undef W
#undef H
#undef PW
#undef PH
