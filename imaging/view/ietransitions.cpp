// The transition engine: three frames and a timer that cross-fades from the
// start frame to the end frame on the view over the duration.
#include "imaging/view/ietransitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/base/ieutils.h"  // IEColorToRGB
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/view/ieview.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "platform/base/threads.h"
#include "platform/ui/extctrls.h"

// ---------------------------------------------------------------------------
// The effect table and the arithmetic every effect shares

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

// ---------------------------------------------------------------------------
// The shared generator

namespace {
Cardinal gRandSeed = 0;
}  // namespace

Cardinal IERandSeed() { return gRandSeed; }
void IESetRandSeed(Cardinal Seed) { gRandSeed = Seed; }

Integer IERandom(Integer N) {
  gRandSeed = gRandSeed * 134775813u + 1u;
  return static_cast<Integer>((static_cast<uint64_t>(gRandSeed) * static_cast<uint32_t>(N)) >> 32);
}

// ---------------------------------------------------------------------------
// The engine

namespace {

std::unique_ptr<TBitmap> NewFrame() {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(1, 1);
  return b;
}

void FillRows(std::vector<Byte*>& Rows, TBitmap* B, Integer Height) {
  Rows.resize(static_cast<size_t>(Height));
  for (Integer y = 0; y < Height; ++y) Rows[static_cast<size_t>(y)] = static_cast<Byte*>(B->ScanLine(y));
}

}  // namespace

TIETransitionEffects::TIETransitionEffects(TIEView* View)
    : FView(View), FStart(NewFrame()), FEnd(NewFrame()), FCurrent(NewFrame()) {
  FTimer = std::make_unique<TTimer>(nullptr);
  FTimer->SetEnabled(false);
  FTimer->SetInterval(1);
  FTimer->OnTimer = [this](TObject*) { TimerEvent(); };
  FTickSource = [] { return GetTickCount(); };
}

TIETransitionEffects::~TIETransitionEffects() {
  // Destroyed with its view: nothing is drawn or announced any more.
  FTimer->SetEnabled(false);
  FTimer->OnTimer = nullptr;
}

bool TIETransitionEffects::TimerEnabled() const { return FTimer->Enabled(); }

void TIETransitionEffects::SetTickSource(TIETickSource Source) {
  FTickSource = Source ? std::move(Source) : TIETickSource([] { return GetTickCount(); });
}

TColor TIETransitionEffects::BackgroundRGB() const {
  if (!FView) return 0;
  const TRGB bg = IEColorToRGB(FView->Background());
  return TColor(bg.r | (bg.g << 8) | (bg.b << 16));
}

void TIETransitionEffects::SetSizes(Integer Width, Integer Height) {
  Stop();
  FWidth = std::max(Width, 0);
  FHeight = std::max(Height, 0);
  for (TBitmap* b : {FCurrent.get(), FStart.get(), FEnd.get()}) {
    b->SetPixelFormat(pf24bit);
    b->SetSize(std::max(FWidth, 1), std::max(FHeight, 1));
  }
}

void TIETransitionEffects::SetFullImage(TIEBitmap* Value) { FFullImage = Value; }

void TIETransitionEffects::Run(bool UpdateOnStop) {
  if (FTransitionType == iettNone) return;
  // A run that is replaced keeps the view locked once, for the new one.
  if (FRunning && FView) FView->UnlockPaintQuiet();
  FUpdateOnStop = UpdateOnStop;
  FRunning = true;
  FStep = 0;
  FRandomDone = 0;
  // A frame needs two pixels each way, and every effect reads all three
  // frames at the stored size through their rows.
  bool sized = FWidth >= 2 && FHeight >= 2;
  for (TBitmap* b : {FStart.get(), FEnd.get(), FCurrent.get()})
    sized = sized && b->Width() == FWidth && b->Height() == FHeight && b->PixelFormat() == pf24bit;
  if (!sized) {
    FRunning = false;
    FTimer->SetEnabled(false);  // the replaced run's timer must not tick on
    return;
  }
  if (FView) FView->LockPaint();
  FillRows(FFromRows, FStart.get(), FHeight);
  FillRows(FToRows, FEnd.get(), FHeight);
  FillRows(FFrameRows, FCurrent.get(), FHeight);
  if (FTransitionType == iettPanZoom && FFullImage) {
    const TRect whole(0, 0, FFullImage->Width(), FFullImage->Height());
    if (PanZoomStartRect.Width() <= 0 || PanZoomStartRect.Height() <= 0) PanZoomStartRect = whole;
    if (PanZoomEndRect.Width() <= 0) PanZoomEndRect = whole;
  }
  FStartTick = FTickSource();
  FTimer->SetEnabled(true);
}

void TIETransitionEffects::CopyToView(TBitmap* Bitmap) {
  // Outside a paint: the drawing goes straight to the window surface.
  if (FView && FView->HandleAllocated())
    BitBlt(FView->GetCanvas()->Handle(), 0, 0, FWidth, FHeight, Bitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
}

void TIETransitionEffects::TimerEvent() {
  if (!FRunning) return;
  if (OnTransitionStep) OnTransitionStep(FView, FStep);
  if (!FRunning) return;  // the handler stopped the run
  DrawStep(FStep);
  CopyToView(FCurrent.get());
  if (OnTransitionPaint) OnTransitionPaint(FView, FCurrent.get(), this, FStep);
  if (!FRunning) return;
  const Cardinal elapsed = FTickSource() - FStartTick;
  if (static_cast<int64_t>(elapsed) >= static_cast<int64_t>(FDuration)) {
    if (FUpdateOnStop && FTransitionType != iettPanZoom) {
      CopyToView(FEnd.get());
      if (OnTransitionPaint) OnTransitionPaint(FView, FEnd.get(), this, 1024);
    }
    Stop();
    return;
  }
  FStep = IETransitionTimingStep(FTiming, elapsed, FDuration);
}

void TIETransitionEffects::DrawStep(Integer Step) {
  if (!FRunning) return;  // the rows are only valid during a run
  Step = std::clamp(Step, 0, 1024);
  if (FTransitionType >= 1 && FTransitionType <= 30) IEDrawBuiltinTransition(*this, FTransitionType, Step);
  else if (FTransitionType == iettPanZoom) DrawPanZoom(Step);
  else DrawTableEffect(FTransitionType, Step);
}

void TIETransitionEffects::DrawTableEffect(Integer Type, Integer Step) {
  if (Type < 31 || Type > kIETransitionTableCount) return;
  if (Step <= 0) {
    // A full copy of the start picture, row by row: the frame's rows stay
    // where the run found them.
    const size_t n = static_cast<size_t>(FWidth) * 3;
    for (Integer y = 0; y < FHeight; ++y)
      std::memcpy(FFrameRows[static_cast<size_t>(y)], FFromRows[static_cast<size_t>(y)], n);
    return;
  }
  const TIETransitionStepProc proc = IETransitionEffectTable[Type - 1].Proc;
  if (!proc) return;
  TCanvas* c = FCurrent->Canvas();
  SetStretchBltMode(c->Handle(), HALFTONE);
  const TRect r(0, 0, FCurrent->Width(), FCurrent->Height());
  proc(c, FStart.get(), FEnd.get(), r, 1, IETransitionPercent(std::min(Step, 1024)));
}

void TIETransitionEffects::DrawPanZoom(Integer Step) {
  const Integer fw = FCurrent->Width(), fh = FCurrent->Height();
  TRect src;
  bool clipped = false;
  if (!FFullImage || FFullImage->IsEmpty() ||
      !IEPanZoomSourceRect(PanZoomStartRect, PanZoomEndRect, Step, FFullImage->Width(), FFullImage->Height(), src,
                           clipped))
    return;  // nothing of the picture to show: the frame stays
  Integer x = 0, y = 0, w = fw, h = fh;
  if (clipped) {
    IEFitRectKeepAspect(src.Width(), src.Height(), fw, fh, x, y, w, h);
    const TColor bg = BackgroundRGB();
    const Byte b = Byte(bg >> 16), g = Byte(bg >> 8), r = Byte(bg);
    for (Integer row = 0; row < fh; ++row) {
      Byte* d = FFrameRows[static_cast<size_t>(row)];
      for (Integer i = 0; i < fw; ++i, d += 3) {
        d[0] = b;
        d[1] = g;
        d[2] = r;
      }
    }
  }
  if (w > 0 && h > 0)
    FFullImage->RenderToTBitmap(FCurrent.get(), x, y, w, h, src.Left, src.Top, src.Width(), src.Height(), 255,
                                rfFastLinear, 0);
}

void TIETransitionEffects::Stop() {
  if (!FRunning) return;
  FTimer->SetEnabled(false);
  FRunning = false;
  for (TBitmap* b : {FCurrent.get(), FStart.get(), FEnd.get()}) b->SetSize(1, 1);
  if (FView) {
    FView->UnlockPaintQuiet();
    if (FUpdateOnStop) FView->Update();
    // The window surface still holds the last frame: the view repaints its
    // own state.
    FView->Invalidate();
  }
  if (OnTransitionStop) OnTransitionStop(FView);
}
