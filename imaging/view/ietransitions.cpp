// The transition engine: three frames and a timer that cross-fades from the
// start frame to the end frame on the view over the duration.
#include "imaging/view/ietransitions.h"

#include <algorithm>
#include <cmath>

#include "imaging/core/base/ieutils.h"  // IEColorToRGB
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/view/ieview.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "platform/ui/extctrls.h"

// ---------------------------------------------------------------------------
// The effect table and the arithmetic every effect shares

// The engine draws the first 30 effects itself; the others' procedures come
// with their families.
const TEffect IETransitionEffectTable[kIETransitionTableCount] = {
    {u"Cross Fade", nullptr},
    {u"Fade Out", nullptr},
    {u"Fade In", nullptr},
    {u"Fade Out then In", nullptr},
    {u"Wipe Left to Right", nullptr},
    {u"Wipe Left to Right 2", nullptr},
    {u"Wipe Right to Left", nullptr},
    {u"Wipe Right to Left 2", nullptr},
    {u"Wipe Top to Bottom", nullptr},
    {u"Wipe Top to Bottom 2", nullptr},
    {u"Wipe Bottom to Top", nullptr},
    {u"Wipe Bottom to Top 2", nullptr},
    {u"Slide from Top Left", nullptr},
    {u"Slide from Top Right", nullptr},
    {u"Slide from Bottom Left", nullptr},
    {u"Slide from Bottom Right", nullptr},
    {u"Push Left to Right", nullptr},
    {u"Slide Out Left to Right", nullptr},
    {u"Push Right to Left", nullptr},
    {u"Slide Out Right to Left", nullptr},
    {u"Push Top to Bottom", nullptr},
    {u"Slide Out Top to Bottom", nullptr},
    {u"Push Bottom to Top", nullptr},
    {u"Slide Out Bottom to Top", nullptr},
    {u"Random Points", nullptr},
    {u"Random Boxes", nullptr},
    {u"Wipe Out from Center", nullptr},
    {u"Wipe In to Center", nullptr},
    {u"Expand Out from Center", nullptr},
    {u"Expand In to Center", nullptr},
    {u"Expand from Left", nullptr},
    {u"Expand from Right", nullptr},
    {u"Expand from Top", nullptr},
    {u"Expand from Bottom", nullptr},
    {u"Expand from Top Left", nullptr},
    {u"Expand from Top Right", nullptr},
    {u"Expand from Bottom Left", nullptr},
    {u"Expand from Bottom Right", nullptr},
    {u"Expand in from Left", nullptr},
    {u"Expand in from Right", nullptr},
    {u"Expand in from Top", nullptr},
    {u"Expand in from Bottom", nullptr},
    {u"Expand in to Vertical Center", nullptr},
    {u"Expand in to Horizon", nullptr},
    {u"Expand in from Sides", nullptr},
    {u"Expand in from Top and Bottom", nullptr},
    {u"Expand out from Horizon", nullptr},
    {u"Expand out from Vertical Center", nullptr},
    {u"Wipe from Top Left", nullptr},
    {u"Wipe from Top Right", nullptr},
    {u"Wipe from Bottom Left", nullptr},
    {u"Wipe from Bottom Right", nullptr},
    {u"Wipe in from Top and Bottom", nullptr},
    {u"Wipe from Horizon", nullptr},
    {u"Wipe in from Sides", nullptr},
    {u"Wipe out from Vertical Center", nullptr},
    {u"Build up from Left", nullptr},
    {u"Build up from Right", nullptr},
    {u"Build up from Top", nullptr},
    {u"Build up from Bottom", nullptr},
    {u"Unroll from Left", nullptr},
    {u"Unroll from Right", nullptr},
    {u"Unroll from Top", nullptr},
    {u"Unroll from Bottom", nullptr},
    {u"Slide in from Left", nullptr},
    {u"Slide in from Right", nullptr},
    {u"Slide in from Top", nullptr},
    {u"Slide in from Bottom", nullptr},
    {u"Shrink to Top Left", nullptr},
    {u"Shrink to Top Right", nullptr},
    {u"Shrink to Bottom Left", nullptr},
    {u"Shrink to Bottom Right", nullptr},
    {u"Shrink to Center", nullptr},
    {u"Quarters Wipe in to Center", nullptr},
    {u"Quarters Expand to Center", nullptr},
    {u"Quarters Slide in to Center", nullptr},
    {u"Curved Wipe from Left", nullptr},
    {u"Curved Wipe from Right", nullptr},
    {u"Curved Wipe from Top", nullptr},
    {u"Curved Wipe from Bottom", nullptr},
    {u"Curved Wipe from Top Left", nullptr},
    {u"Curved Wipe from Top Right", nullptr},
    {u"Curved Wipe from Bottom Left", nullptr},
    {u"Curved Wipe from Bottom Right", nullptr},
    {u"Bars in from Left", nullptr},
    {u"Bars in from Right", nullptr},
    {u"Bars from Top", nullptr},
    {u"Bars from Bottom", nullptr},
    {u"Bars Left then Right", nullptr},
    {u"Bars Right then Left", nullptr},
    {u"Bars Top then Bottom", nullptr},
    {u"Bars Bottom then Top", nullptr},
    {u"Bars from both Sides", nullptr},
    {u"Bars from Top and Bottom", nullptr},
    {u"Shredded from Left", nullptr},
    {u"Shredded from Right", nullptr},
    {u"Shredded from Top", nullptr},
    {u"Shredded from Bottom", nullptr},
    {u"Shredded from Top and Left", nullptr},
    {u"Shredded from Top and Right", nullptr},
    {u"Shredded from Bottom and Left", nullptr},
    {u"Shredded from Bottom and Right", nullptr},
    {u"Shredded from Horizon and Left", nullptr},
    {u"Shredded from Horizon and Right", nullptr},
    {u"Shredded from Top and Vertical Center", nullptr},
    {u"Shredded from Bottom and Vertical Center", nullptr},
    {u"Shredded from Center", nullptr},
    {u"Shredded to Center", nullptr},
    {u"Shredded in to Horizon", nullptr},
    {u"Shredded in to Vertical Center", nullptr},
    {u"Shredded out from Horizon", nullptr},
    {u"Shredded out from Vertical Center", nullptr},
    {u"Expanding Rectangles", nullptr},
    {u"Expanding Triangles", nullptr},
    {u"Expanding Circles", nullptr},
    {u"Expanding Diamonds", nullptr},
    {u"Circular Wipe from Center", nullptr},
    {u"Circular Wipe to Center", nullptr},
    {u"Crisscross Wipe from Top Left", nullptr},
    {u"Crisscross Wipe from Top Right", nullptr},
    {u"Crisscross Wipe from Bottom Left", nullptr},
    {u"Crisscross Wipe from Bottom Right", nullptr},
    {u"Crisscross Wipe Bounce from Top Left", nullptr},
    {u"Crisscross Wipe Bounce from Top Right", nullptr},
    {u"Crisscross Wipe Bounce from Bottom Left", nullptr},
    {u"Crisscross Wipe Bounce from Bottom Right", nullptr},
    {u"Crisscross Wipe from Left Right and Top", nullptr},
    {u"Crisscross Wipe from Left Right and Bottom", nullptr},
    {u"Crisscross Wipe from Left Top and Bottom", nullptr},
    {u"Crisscross Wipe from Top Left Right and Bottom", nullptr},
    {u"Crisscross Wipe from Right Top and Bottom", nullptr},
    {u"Crisscross Wipe from Bottom Left Top Right", nullptr},
    {u"Wipe diagonal from Top Left", nullptr},
    {u"Wipe diagonal from Top Right", nullptr},
    {u"Wipe diagonal from Bottom Left", nullptr},
    {u"Wipe diagonal from Bottom Right", nullptr},
    {u"Diagonal Sweep Clockwise", nullptr},
    {u"Diagonal Sweep Counter-Clockwise", nullptr},
    {u"Sweep Clockwise", nullptr},
    {u"Sweep Counter-Clockwise", nullptr},
    {u"Starburst Clockwise", nullptr},
    {u"Starburst Counter-Clockwise", nullptr},
    {u"Rotational Rectangle Clockwise", nullptr},
    {u"Rotational Rectangle Counter-Clockwise", nullptr},
    {u"Rotational Star Clockwise", nullptr},
    {u"Rotational Star Counter-Clockwise", nullptr},
    {u"Speckled Wipe from Left", nullptr},
    {u"Speckled Wipe from Right", nullptr},
    {u"Speckled Wipe from Top", nullptr},
    {u"Speckled Wipe from Bottom", nullptr},
    {u"Push Left and Slide out", nullptr},
    {u"Push Right and Slide out", nullptr},
    {u"Push up and Slide out", nullptr},
    {u"Push down and Slide out", nullptr},
    {u"Push and Squeeze Left", nullptr},
    {u"Push and Squeeze Right", nullptr},
    {u"Push and Squeeze up", nullptr},
    {u"Push and Squeeze down", nullptr},
    {u"Horizontal Blinds", nullptr},
    {u"Vertical Blinds", nullptr},
    {u"Uneven Blinds from Left", nullptr},
    {u"Uneven Blinds from Right", nullptr},
    {u"Uneven Blinds from Top", nullptr},
    {u"Uneven Blinds from Bottom", nullptr},
    {u"Rectangles from the Left", nullptr},
    {u"Rectangles from the Right", nullptr},
    {u"Rectangles from the Top", nullptr},
    {u"Rectangles from the Bottom", nullptr},
    {u"Spiralling Rectangle Clockwise", nullptr},
    {u"Spiralling Rectangle Counter-Clockwise", nullptr},
    {u"Arrow Wipe from Left", nullptr},
    {u"Arrow Wipe from Right", nullptr},
    {u"Arrow Wipe from Top", nullptr},
    {u"Arrow Wipe from Bottom", nullptr},
    {u"Horizontal Bow Tie Wipe", nullptr},
    {u"Vertical Bow Tie Wipe", nullptr},
    {u"Diagonal Cross from Center", nullptr},
    {u"Diagonal Cross to Center", nullptr},
    {u"Zigzag Wipe from Horizon", nullptr},
    {u"Zigzag Wipe from Vertical Center", nullptr},
    {u"Diamond Wipe from Center", nullptr},
    {u"Diamond Wipe to Center", nullptr},
    {u"Diagonal Box Wipe", nullptr},
    {u"Triangular Wipe", nullptr},
    {u"Random Big Boxes", nullptr},
    {u"Page Flip", nullptr},
    {u"Page Flip 2", nullptr},
};

const char16_t* IETransitionEffectName(Integer Type) {
  if (Type < 1 || Type > kIETransitionTableCount) return u"";
  return IETransitionEffectTable[Type - 1].Name;
}

Integer IETransitionTimingStep(TIETransitionTiming Timing, Cardinal Elapsed, Integer Duration) {
  const double t = static_cast<double>(Elapsed) / std::max(Duration, 1);
  double v;
  switch (Timing) {
    case ttExponential:
      v = std::exp(5 * t - 2.718) / 10;
      break;
    case ttLogarithmic:
      // ln(10t) has no value at 0 and is below -2.718 until t reaches
      // about 0.66 %: no effect may see a negative step.
      if (Elapsed == 0) return 0;
      v = (std::log(10 * t) + 2.718) / 5;
      break;
    default:
      v = t;
      break;
  }
  const int64_t step = Trunc(v * 1024);
  return static_cast<Integer>(std::clamp<int64_t>(step, 0, 1024));
}

Integer IETransitionPercent(Integer Step) { return static_cast<Integer>(Round(Step * 100.0 / 1024)); }

void CalcTransitionExtent(const TRect& Rect, Integer Percent, Integer& W, Integer& H, Integer& PW, Integer& PH) {
  W = Rect.Right - Rect.Left;
  H = Rect.Bottom - Rect.Top;
  if (W >= H) {
    PW = MulDiv(W, Percent, 100);
    PH = MulDiv(PW, H, W);
  } else {
    PH = MulDiv(H, Percent, 100);
    PW = MulDiv(PH, W, H);
  }
}

bool IEPanZoomSourceRect(const TRect& Start, const TRect& End, Integer Step, Integer PictureWidth,
                         Integer PictureHeight, TRect& Source, bool& Clipped) {
  auto at = [Step](Integer From, Integer To) {
    const double d = (static_cast<double>(From) - To) / 1024;
    return static_cast<int64_t>(Trunc(From - Step * d));
  };
  int64_t x = at(Start.Left, End.Left), y = at(Start.Top, End.Top);
  int64_t w = at(Start.Right, End.Right) - x, h = at(Start.Bottom, End.Bottom) - y;
  Clipped = false;
  // Both ends of each side are cut to the picture, not only its length: a
  // rectangle from 300 that is 500 wide on a 600-wide picture ends at 600.
  if (x < 0) {
    w += x;
    x = 0;
    Clipped = true;
  }
  if (w > PictureWidth - x) {
    w = PictureWidth - x;
    Clipped = true;
  }
  if (y < 0) {
    h += y;
    y = 0;
    Clipped = true;
  }
  if (h > PictureHeight - y) {
    h = PictureHeight - y;
    Clipped = true;
  }
  if (w <= 0 || h <= 0) return false;
  Source = TRect(static_cast<Integer>(x), static_cast<Integer>(y), static_cast<Integer>(x + w),
                 static_cast<Integer>(y + h));
  return true;
}

void IEFitRectKeepAspect(Integer SrcW, Integer SrcH, Integer DstW, Integer DstH, Integer& X, Integer& Y, Integer& W,
                         Integer& H) {
  X = Y = W = H = 0;
  if (SrcW <= 0 || SrcH <= 0 || DstW <= 0 || DstH <= 0) return;
  const double k = static_cast<double>(SrcW) / DstW > static_cast<double>(SrcH) / DstH
                       ? static_cast<double>(DstW) / SrcW
                       : static_cast<double>(DstH) / SrcH;
  W = static_cast<Integer>(Round(SrcW * k));
  H = static_cast<Integer>(Round(SrcH * k));
  X = static_cast<Integer>(Trunc(DstW / 2.0 - W / 2.0));
  Y = static_cast<Integer>(Trunc(DstH / 2.0 - H / 2.0));
}

namespace {

std::unique_ptr<TBitmap> NewFrame() {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(1, 1);
  return b;
}

}  // namespace

TIETransitionEffects::TIETransitionEffects(TIEView* View)
    : FView(View), FStart(NewFrame()), FEnd(NewFrame()), FCurrent(NewFrame()) {
  FTimer = std::make_unique<TTimer>(nullptr);
  FTimer->SetEnabled(false);
  FTimer->SetInterval(1);
  FTimer->OnTimer = [this](TObject* Sender) { TimerTick(Sender); };
}

TIETransitionEffects::~TIETransitionEffects() {
  // Destroyed with its view: nothing is drawn or announced any more.
  FTimer->SetEnabled(false);
  FTimer->OnTimer = nullptr;
}

void TIETransitionEffects::SetSizes(Integer Width, Integer Height) {
  Stop();
  Width = std::max(Width, 1);
  Height = std::max(Height, 1);
  for (TBitmap* b : {FStart.get(), FEnd.get(), FCurrent.get()}) {
    b->SetPixelFormat(pf24bit);
    b->SetSize(Width, Height);
  }
}

void TIETransitionEffects::SetFullImage(TIEBitmap* Value) { FFullImage = Value; }

void TIETransitionEffects::Run(bool UpdateOnStop) {
  if (FTransitionType == iettNone) return;
  // A frame needs two pixels each way; a 1 x N one is as empty as 1 x 1.
  if (FStart->Width() < 2 || FStart->Height() < 2) return;
  // The two frames are rendered at the view size; one that differs is not
  // a frame of this transition.
  if (FEnd->Width() != FStart->Width() || FEnd->Height() != FStart->Height()) return;
  if (FRunning) FTimer->SetEnabled(false);
  FCurrent->SetSize(FStart->Width(), FStart->Height());
  if (FTransitionType == iettPanZoom && FFullImage) {
    const TRect whole(0, 0, FFullImage->Width(), FFullImage->Height());
    if (PanZoomStartRect.Width() <= 0 || PanZoomStartRect.Height() <= 0) PanZoomStartRect = whole;
    if (PanZoomEndRect.Width() <= 0) PanZoomEndRect = whole;
  }
  FUpdateOnStop = UpdateOnStop;
  FRunning = true;
  FStartTime = std::chrono::steady_clock::now();
  ShowStep(0);
  FTimer->SetEnabled(true);
}

void TIETransitionEffects::TimerTick(TObject*) {
  if (!FRunning) return;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - FStartTime).count();
  const Integer duration = std::max(FDuration, 1);
  if (elapsed >= duration) {
    ShowStep(1000);
    Stop();
    return;
  }
  ShowStep(static_cast<Integer>(elapsed * 1000 / duration));
}

void TIETransitionEffects::DrawPanZoom(Integer Step) {
  const Integer fw = FCurrent->Width(), fh = FCurrent->Height();
  TRect src;
  bool clipped = false;
  const Integer s = std::clamp(Step, 0, 1000) * 1024 / 1000;
  if (!FFullImage || FFullImage->IsEmpty() ||
      !IEPanZoomSourceRect(PanZoomStartRect, PanZoomEndRect, s, FFullImage->Width(), FFullImage->Height(), src,
                           clipped))
    return;  // nothing of the picture to show: the frame stays
  Integer x = 0, y = 0, w = fw, h = fh;
  if (clipped) {
    IEFitRectKeepAspect(src.Width(), src.Height(), fw, fh, x, y, w, h);
    const TRGB bg = IEColorToRGB(FView ? FView->Background() : TColor(0));
    for (Integer row = 0; row < fh; ++row) {
      auto* d = static_cast<Byte*>(FCurrent->ScanLine(row));
      for (Integer i = 0; i < fw; ++i, d += 3) {
        d[0] = bg.b;
        d[1] = bg.g;
        d[2] = bg.r;
      }
    }
  }
  if (w > 0 && h > 0)
    FFullImage->RenderToTBitmap(FCurrent.get(), x, y, w, h, src.Left, src.Top, src.Width(), src.Height(), 255,
                                rfFastLinear, 0);
}

void TIETransitionEffects::ShowStep(Integer Step) {
  const Integer w = FCurrent->Width(), h = FCurrent->Height();
  if (FTransitionType == iettPanZoom && FFullImage) {
    DrawPanZoom(Step);
  } else {
    const Integer weight = std::clamp(Step, 0, 1000) * 256 / 1000;  // share of the end frame, of 256
    const size_t n = size_t(w) * 3;
    for (Integer y = 0; y < h; ++y) {
      const auto* s = static_cast<const Byte*>(FStart->ScanLine(y));
      const auto* e = static_cast<const Byte*>(FEnd->ScanLine(y));
      auto* d = static_cast<Byte*>(FCurrent->ScanLine(y));
      for (size_t i = 0; i < n; ++i) d[i] = Byte((s[i] * (256 - weight) + e[i] * weight) >> 8);
    }
  }
  if (OnTransitionStep) OnTransitionStep(FView, Step);
  // Outside a paint: the drawing goes to the window surface.
  if (FView && FView->HandleAllocated())
    BitBlt(FView->Canvas()->Handle(), 0, 0, w, h, FCurrent->Canvas()->Handle(), 0, 0, SRCCOPY);
  if (OnTransitionPaint) OnTransitionPaint(FView, FCurrent.get(), this, Step);
}

void TIETransitionEffects::Stop() {
  if (!FRunning) return;
  FRunning = false;
  FTimer->SetEnabled(false);
  for (TBitmap* b : {FStart.get(), FEnd.get(), FCurrent.get()}) b->SetSize(1, 1);
  if (FView) {
    if (FUpdateOnStop) FView->Update();
    FView->Invalidate();
  }
  if (OnTransitionStop) OnTransitionStop(FView);
}
