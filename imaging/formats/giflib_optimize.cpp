// Making a GIF smaller without changing what it shows: frames lose their
// transparent borders (Crop) and the pixels that repeat what the frame
// underneath already shows (Merge), colour tables are sorted and trimmed,
// and settings and blocks without a visible effect are dropped.
#include <algorithm>

#include "imaging/formats/giflib.h"

namespace giflib_optimize {
namespace {

bool Overlap(const TRect& A, const TRect& B, TRect& R) {
  R = TRect(std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right), std::min(A.Bottom, B.Bottom));
  return R.Left < R.Right && R.Top < R.Bottom;
}

bool SameRect(const TRect& A, const TRect& B) {
  return A.Left == B.Left && A.Top == B.Top && A.Right == B.Right && A.Bottom == B.Bottom;
}

Integer Disposal(TGIFSubImage* F) { return F->ControlExtension ? F->ControlExtension->GetDisposal() : 0; }

// True when index P of map A and index Q of map B show the same colour.
bool SameColour(TGIFColorMap* A, Integer P, TGIFColorMap* B, Integer Q) {
  if (A == B && P == Q) return true;
  if (P >= A->Count() || Q >= B->Count()) return false;
  const Byte* a = A->Entry(P);
  const Byte* b = B->Entry(Q);
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

}  // namespace
}  // namespace giflib_optimize

using namespace giflib_optimize;

void TGIFSubImage::Crop() {
  if (IsEmpty() || !HasTransparency) return;
  const Byte t = TransparentIndex();
  const Integer w = Width(), h = Height();
  auto opaqueColumn = [&](Integer x) {
    for (Integer y = 0; y < h; ++y)
      if (PixelData[size_t(int64_t(y) * w + x)] != t) return true;
    return false;
  };
  Integer c0 = 0;
  while (c0 < w && !opaqueColumn(c0)) ++c0;
  if (c0 == w) {
    Clear();
    return;
  }
  Integer c1 = w - 1;
  while (c1 > c0 && !opaqueColumn(c1)) --c1;
  auto opaqueRow = [&](Integer y) {
    const Byte* row = PixelData.data() + int64_t(y) * w;
    for (Integer x = c0; x <= c1; ++x)
      if (row[x] != t) return true;
    return false;
  };
  Integer r0 = 0;
  while (!opaqueRow(r0)) ++r0;
  Integer r1 = h - 1;
  while (r1 > r0 && !opaqueRow(r1)) --r1;
  const Integer nw = c1 - c0 + 1, nh = r1 - r0 + 1;
  std::vector<Byte> cropped(size_t(int64_t(nw) * nh));
  for (Integer y = 0; y < nh; ++y)
    std::copy_n(PixelData.begin() + (int64_t(r0 + y) * w + c0), nw, cropped.begin() + int64_t(y) * nw);
  PixelData = std::move(cropped);
  Descriptor.Left = Word(Descriptor.Left + c0);
  Descriptor.Top = Word(Descriptor.Top + r0);
  Descriptor.Width = Word(nw);
  Descriptor.Height = Word(nh);
  FreeBitmap();
  FreeMask();
}

void TGIFSubImage::Merge(TGIFSubImage* Previous) {
  if (IsEmpty() || !Previous || Previous->IsEmpty()) return;
  const Integer pd = Disposal(Previous);
  if (pd == 2 || pd == 3) return;
  TRect r;
  if (!Overlap(BoundsRect(), Previous->BoundsRect(), r)) return;
  Integer t = 0;
  bool needIndex = !HasTransparency;
  if (HasTransparency) {
    t = TransparentIndex();
  } else {
    const Integer local = FLocalColorMap.Count();
    const Integer global = FImage ? FImage->GetGlobalColorMap()->Count() : 0;
    if (local > 0 ? local >= 256 : (global < 1 || global > 255)) return;
  }
  const bool hadTransparency = HasTransparency;
  bool chose = false;
  TGIFColorMap* mine = ActiveColorMap();
  TGIFColorMap* theirs = Previous->ActiveColorMap();
  const bool prevTransparent = Previous->HasTransparency;
  const Integer prevT = Previous->TransparentIndex();
  for (Integer y = r.Top; y < r.Bottom; ++y) {
    Byte* row = PixelData.data() + int64_t(y - Top()) * Width() - Left();
    const Byte* prow = Previous->PixelData.data() + int64_t(y - Previous->Top()) * Previous->Width() - Previous->Left();
    for (Integer x = r.Left; x < r.Right; ++x) {
      const Integer p = row[x], q = prow[x];
      if (!needIndex && p == t) continue;
      if (prevTransparent && q == prevT) continue;
      if (!SameColour(mine, p, theirs, q)) continue;
      if (needIndex) {
        // Frames on the global table share one transparent colour.
        bool found = false;
        if (FLocalColorMap.Count() == 0 && FImage)
          for (Integer i = 0; i < FImage->Images()->GetCount() && !found; ++i) {
            TGIFSubImage* f = FImage->Images()->GetFrame(i);
            if (f != this && f->HasTransparency && f->LocalColorMap()->Count() == 0) {
              t = f->TransparentIndex();
              found = true;
            }
          }
        if (!found) t = FLocalColorMap.Count() > 0 ? FLocalColorMap.Add(0) : FImage->GetGlobalColorMap()->Add(0);
        needIndex = false;
        chose = true;
        mine = ActiveColorMap();
      }
      row[x] = Byte(t);
    }
  }
  if (!hadTransparency && chose) {
    if (!ControlExtension) FExtensions.Add(new TGIFGraphicControlExtension(this));
    ControlExtension->SetTransparent(true);
    ControlExtension->SetTransparentColorIndex(Byte(t));
  }
  FreeBitmap();
  FreeMask();
}

void TGIFImage::Optimize(Word Options, Byte ReductionMethod, Byte DitherKind, Integer ReductionColorBits) {
  (void)DitherKind;
  (void)ReductionColorBits;
  if (Empty()) return;
  auto frame = [&](Integer i) { return FFrames.GetFrame(i); };
  if (Options & goptColorMaps) {
    if (GetGlobalColorMap()->Count() > 0) GetGlobalColorMap()->Optimize();
    for (Integer i = 0; i < FFrames.GetCount(); ++i)
      if (frame(i)->LocalColorMap()->Count() > 0) frame(i)->LocalColorMap()->Optimize();
  }
  if (Options & goptCleanup) {
    for (Integer i = 0; i < FFrames.GetCount(); ++i) {
      TGIFSubImage* f = frame(i);
      if (!f->HasTransparency || !f->ControlExtension) continue;
      const Byte t = f->TransparentIndex();
      if (std::find(f->PixelData.begin(), f->PixelData.end(), t) == f->PixelData.end())
        f->ControlExtension->SetTransparent(false);
    }
    // A disposal matters only where the next frame leaves the disposed
    // area visible: an opaque next frame that covers this one entirely
    // makes it needless.
    for (Integer i = 0; i + 1 < FFrames.GetCount(); ++i) {
      TGIFSubImage* f = frame(i);
      TGIFSubImage* n = frame(i + 1);
      const Integer d = Disposal(f);
      TRect r;
      if ((d == 2 || d == 3) && !n->HasTransparency && !n->IsEmpty() && Overlap(f->BoundsRect(), n->BoundsRect(), r) &&
          SameRect(r, f->BoundsRect()))
        f->ControlExtension->SetDisposal(0);
    }
  }
  if (Options & goptMerge) {
    for (Integer i = FFrames.GetCount() - 1; i >= 1; --i) {
      Integer j = i - 1;
      while (j > 0 && Disposal(frame(j)) == 3) --j;
      frame(i)->Merge(frame(j));
    }
  }
  if (Options & goptCrop) {
    for (Integer i = FFrames.GetCount() - 1; i >= 0; --i) {
      TGIFSubImage* f = frame(i);
      if (f->IsEmpty() || !f->HasTransparency || !f->ControlExtension) continue;
      const Integer delay = f->ControlExtension->GetDelay();
      f->Crop();
      if (!f->IsEmpty()) continue;
      if (i > 0 && frame(i - 1)->HasTransparency && frame(i - 1)->ControlExtension) {
        // Delays are 16-bit; a longer wait is kept as the longest one.
        TGIFGraphicControlExtension* c = frame(i - 1)->ControlExtension;
        c->SetDelay(Word(std::min<Integer>(65535, c->GetDelay() + delay)));
      }
      FFrames.Delete(i);
    }
  }
  if (Options & goptCleanup) {
    for (Integer i = FFrames.GetCount() - 1; i >= 0; --i) {
      TGIFSubImage* f = frame(i);
      const bool single = FFrames.GetCount() == 1;
      TGIFExtensionList* ext = f->Extensions();
      for (Integer k = ext->GetCount() - 1; k >= 0; --k) {
        TGIFExtension* e = ext->GetExtension(k);
        const TGIFExtensionClass c = e->ClassType();
        bool drop = c == &TGIFCommentExtension::Class || c == &TGIFTextExtension::Class ||
                    c == &TGIFUnknownAppExtension::Class || (c == &TGIFAppExtNSLoop::Class && !(i == 0 && !single));
        if (c == &TGIFGraphicControlExtension::Class) {
          auto* g = static_cast<TGIFGraphicControlExtension*>(e);
          drop = (g->GetDelay() == 0 || single) && !g->GetTransparent() && !g->GetUserInput() &&
                 (g->GetDisposal() <= 1 || single);
        }
        if (drop) ext->Delete(k);
      }
      if (f->IsEmpty() && ext->GetCount() == 0) FFrames.Delete(i);
    }
  }
  if (!(Options & goptCleanup) && (Options & goptReduceColors) && ReductionMethod == 9) GIFError("Invalid reduction method");
  Changed(this);
}
