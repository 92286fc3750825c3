// The histogram control: recomposition of the off-screen picture from the
// attached processor's histogram.
#include "imaging/proc/iehistogrambox.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "imaging/core/base/ieutils.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/proc/ziduzuvproc.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace iehistogrambox {
namespace {

WideString Number(int64_t V) {
  const std::string s = std::to_string(V);
  return WideString(s.begin(), s.end());
}

// The count of one channel at one level.
Cardinal Count(const TIEHistogramEntry& E, THistogramKindItem K) {
  switch (K) {
    case hkRed: return E.r;
    case hkGreen: return E.g;
    case hkBlue: return E.b;
    default: return E.gray;
  }
}

}  // namespace
}  // namespace iehistogrambox

THistogramBox::THistogramBox(TComponent* AOwner) : TCustomControl(AOwner), FBitmap(std::make_unique<TBitmap>()) {
  FBackground = clWhite;
  FGrayColor = clBlack;
  TControlStyle style = ControlStyle();
  style.Include(csOpaque);
  style.Include(csAcceptsControls);
  SetControlStyle(style);
  FBitmap->SetPixelFormat(pf24bit);
  FBitmap->SetSize(256, 105);
  TCustomControl::SetBounds(Left(), Top(), 256, 105);
  Update();
}

THistogramBox::~THistogramBox() {
  if (FProc) FProc->RemoveFreeNotification(this);
}

void THistogramBox::SetAttachedZiduzUvProc(TZiduzUvProc* Value) {
  if (FProc == Value) return;
  if (FProc) FProc->RemoveFreeNotification(this);
  FProc = Value;
  if (FProc) FProc->FreeNotification(this);
}

void THistogramBox::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FProc) FProc = nullptr;
}

void THistogramBox::SetBackground(TColor Value) {
  FBackground = Value;
  Update();
}

void THistogramBox::SetHistogramKind(THistogramKind Value) {
  if (Value == FKind) return;
  FKind = Value;
  Update();
}

void THistogramBox::SetLabels(THistogramLabels Value) {
  if (Value == FLabels) return;
  FLabels = Value;
  Update();
}

void THistogramBox::SetCompBar(bool Value) {
  if (Value == FCompBar) return;
  FCompBar = Value;
  Update();
}

void THistogramBox::SetHistogramStyle(THistogramStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  Update();
}

void THistogramBox::Update() {
  using namespace iehistogrambox;
  TBitmap* bm = FBitmap.get();
  const Integer bw = bm->Width(), bh = bm->Height();
  const TRGB bg = IEColorToRGB(FBackground);
  for (Integer y = 0; y < bh; ++y) {
    auto* r = static_cast<Byte*>(bm->ScanLine(y));
    for (Integer x = 0; x < bw; ++x, r += 3) {
      r[0] = bg.b;
      r[1] = bg.g;
      r[2] = bg.r;
    }
  }
  TCanvas* c = bm->Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(FBackground);
  c->Pen()->SetColor(FBackground);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetMode(pmCopy);
  TIEBitmap* picture = FProc ? FProc->AttachedIEBitmap() : nullptr;
  if (picture && !picture->IsEmpty()) {
    auto histogram = std::make_unique<TIEHistogramEntry[]>(256);
    FProc->GetHistogram(*reinterpret_cast<TIEHistogram*>(histogram.get()));
    const THistogramKindItem kinds[] = {hkRed, hkGreen, hkBlue, hkGray};
    Cardinal max = 0;
    for (Integer i = 0; i < 256; ++i)
      for (THistogramKindItem k : kinds)
        if (FKind.Contains(k)) max = std::max(max, Count(histogram[i], k));
    if (max > 0) {
      Integer w = ClientWidth(), h = ClientHeight(), left = 0;
      const Integer fh = std::abs(Font()->Height());
      const Integer barH = static_cast<Integer>(Trunc(fh * 1.2));
      if (FCompBar) h -= barH + 2;
      const WideString size = iehistogrambox::Number(int64_t(picture->Width()) * picture->Height());
      if (FLabels.Contains(hlVertical)) {
        c->Font()->Assign(Font());
        const Integer lw = c->TextWidth(size);
        c->TextOut(0, h / 2, iehistogrambox::Number(max / 2));
        c->TextOut(0, 0, iehistogrambox::Number(max));
        c->Pen()->SetColor(Font()->Color());
        w -= lw + 2;
        left += lw + 2;
      }
      if (FLabels.Contains(hlHorizontal)) {
        c->Font()->Assign(Font());
        const Integer lh = c->TextHeight(size);
        for (Integer i = 0; i <= 3; ++i)
          c->TextOut(static_cast<Integer>(Round(64.0 * i / 256 * w)) + left, h - fh - 1, iehistogrambox::Number(64 * i));
        c->TextOut(left + w - c->TextWidth(u"255"), h - fh - 1, u"255");
        h -= lh + 2;
        c->MoveTo(left - 1, 0);
        c->LineTo(left - 1, h);
        c->LineTo(left + w, h);
      }
      if (FCompBar && w > 0) {
        // The ramp's bottom rows, cut to the bitmap; its last columns would
        // reach 256 on graphs wider than 512 pixels.
        for (Integer y = std::max(bh - barH, 0); y < bh; ++y) {
          auto* row = static_cast<Byte*>(bm->ScanLine(y));
          for (Integer x = 0; x < w; ++x) {
            const Integer px = left + x;
            if (px < 0 || px >= bw) continue;
            Byte* p = row + px * 3;
            p[0] = p[1] = p[2] = 0;
            const Byte v = static_cast<Byte>(std::min<int64_t>(Round(static_cast<double>(x) / w * 256), 255));
            if (FKind.Contains(hkRed) || FKind.Contains(hkGray)) p[2] = v;
            if (FKind.Contains(hkGreen) || FKind.Contains(hkGray)) p[1] = v;
            if (FKind.Contains(hkBlue) || FKind.Contains(hkGray)) p[0] = v;
          }
        }
      }
      auto penFor = [&](THistogramKindItem k) {
        switch (k) {
          case hkRed: return TColor(0x0000FF);
          case hkGreen: return TColor(0x008000);
          case hkBlue: return TColor(0xFF0000);
          default: return FGrayColor;
        }
      };
      auto level = [&](Integer x) { return std::clamp<Integer>(static_cast<Integer>(Trunc(double(x) / w * 256)), 0, 255); };
      auto height = [&](Cardinal n) { return static_cast<Integer>(Round(double(n) / max * h)); };
      if (FStyle == hsBars) {
        for (Integer x = 0; x < w; ++x)
          for (THistogramKindItem k : kinds) {
            if (!FKind.Contains(k)) continue;
            const Cardinal n = Count(histogram[level(x)], k);
            Integer hh = height(n);
            if (n != 0 && hh == 0) hh = 1;
            c->Pen()->SetColor(penFor(k));
            c->MoveTo(left + x, h - 1);
            c->LineTo(left + x, h - hh - 1);
          }
      } else {
        for (THistogramKindItem k : kinds) {
          if (!FKind.Contains(k)) continue;
          c->Pen()->SetColor(penFor(k));
          c->MoveTo(left, h - 1);
          for (Integer x = 0; x < w; ++x) c->LineTo(left + x, h - height(Count(histogram[level(x)], k)));
        }
      }
    }
  }
  Invalidate();
}

void THistogramBox::Paint() { Canvas()->Draw(0, 0, FBitmap.get()); }

void THistogramBox::WMEraseBkgnd(TMessage& Message) { Message.Result = 0; }

void THistogramBox::Resize() {
  TCustomControl::Resize();
  FollowSize();
}

void THistogramBox::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (!HandleAllocated()) FollowSize();
}

void THistogramBox::FollowSize() {
  const Integer w = std::max(ClientWidth(), 1), h = std::max(ClientHeight(), 1);
  if (w == FBitmap->Width() && h == FBitmap->Height()) return;
  FBitmap->SetSize(w, h);
  Update();
}
