// The transition engine: three frames and a timer that cross-fades from the
// start frame to the end frame on the view over the duration.
#include "imaging/view/ietransitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/base/ieutils.h"  // IEColorToRGB
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/proc/ietrans_procs.h"
#include "imaging/view/ieview.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "platform/base/threads.h"
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
    {u"Expand from Left", ExpandFromLeft},
    {u"Expand from Right", ExpandFromRight},
    {u"Expand from Top", ExpandFromTop},
    {u"Expand from Bottom", ExpandFromBottom},
    {u"Expand from Top Left", ExpandFromTopLeft},
    {u"Expand from Top Right", ExpandFromTopRight},
    {u"Expand from Bottom Left", ExpandFromBottomLeft},
    {u"Expand from Bottom Right", ExpandFromBottomRight},
    {u"Expand in from Left", ExpandInFromLeft},
    {u"Expand in from Right", ExpandInFromRight},
    {u"Expand in from Top", ExpandInFromTop},
    {u"Expand in from Bottom", ExpandInFromBottom},
    {u"Expand in to Vertical Center", ExpandInToVerticalCenter},
    {u"Expand in to Horizon", ExpandInToHorizon},
    {u"Expand in from Sides", ExpandInFromSides},
    {u"Expand in from Top and Bottom", ExpandInFromTopAndBottom},
    {u"Expand out from Horizon", ExpandOutFromHorizon},
    {u"Expand out from Vertical Center", ExpandOutFromVerticalCenter},
    {u"Wipe from Top Left", WipeFromTopLeft},
    {u"Wipe from Top Right", WipeFromTopRight},
    {u"Wipe from Bottom Left", WipeFromBottomLeft},
    {u"Wipe from Bottom Right", WipeFromBottomRight},
    {u"Wipe in from Top and Bottom", WipeInFromTopAndBottom},
    {u"Wipe from Horizon", WipeFromHorizon},
    {u"Wipe in from Sides", WipeInFromSides},
    {u"Wipe out from Vertical Center", WipeOutFromVerticalCenter},
    {u"Build up from Left", BuildUpFromLeft},
    {u"Build up from Right", BuildUpFromRight},
    {u"Build up from Top", BuildUpFromTop},
    {u"Build up from Bottom", BuildUpFromBottom},
    {u"Unroll from Left", UnrollFromLeft},
    {u"Unroll from Right", UnrollFromRight},
    {u"Unroll from Top", UnrollFromTop},
    {u"Unroll from Bottom", UnrollFromBottom},
    {u"Slide in from Left", SlideInFromLeft},
    {u"Slide in from Right", SlideInFromRight},
    {u"Slide in from Top", SlideInFromTop},
    {u"Slide in from Bottom", SlideInFromBottom},
    {u"Shrink to Top Left", ShrinkToTopLeft},
    {u"Shrink to Top Right", ShrinkToTopRight},
    {u"Shrink to Bottom Left", ShrinkToBottomLeft},
    {u"Shrink to Bottom Right", ShrinkToBottomRight},
    {u"Shrink to Center", ShrinkToCenter},
    {u"Quarters Wipe in to Center", QuartersWipeInToCenter},
    {u"Quarters Expand to Center", QuartersExpandToCenter},
    {u"Quarters Slide in to Center", QuartersSlideInToCenter},
    {u"Curved Wipe from Left", CurvedWipeFromLeft},
    {u"Curved Wipe from Right", CurvedWipeFromRight},
    {u"Curved Wipe from Top", CurvedWipeFromTop},
    {u"Curved Wipe from Bottom", CurvedWipeFromBottom},
    {u"Curved Wipe from Top Left", CurvedWipeFromTopLeft},
    {u"Curved Wipe from Top Right", CurvedWipeFromTopRight},
    {u"Curved Wipe from Bottom Left", CurvedWipeFromBottomLeft},
    {u"Curved Wipe from Bottom Right", CurvedWipeFromBottomRight},
    {u"Bars in from Left", BarsInFromLeft},
    {u"Bars in from Right", BarsInFromRight},
    {u"Bars from Top", BarsFromTop},
    {u"Bars from Bottom", BarsFromBottom},
    {u"Bars Left then Right", BarsLeftThenRight},
    {u"Bars Right then Left", BarsRightThenLeft},
    {u"Bars Top then Bottom", BarsTopThenBottom},
    {u"Bars Bottom then Top", BarsBottomThenTop},
    {u"Bars from both Sides", BarsFrombothSides},
    {u"Bars from Top and Bottom", BarsFromTopAndBottom},
    {u"Shredded from Left", ShreddedFromLeft},
    {u"Shredded from Right", ShreddedFromRight},
    {u"Shredded from Top", ShreddedFromTop},
    {u"Shredded from Bottom", ShreddedFromBottom},
    {u"Shredded from Top and Left", ShreddedFromTopAndLeft},
    {u"Shredded from Top and Right", ShreddedFromTopAndRight},
    {u"Shredded from Bottom and Left", ShreddedFromBottomAndLeft},
    {u"Shredded from Bottom and Right", ShreddedFromBottomAndRight},
    {u"Shredded from Horizon and Left", ShreddedFromHorizonAndLeft},
    {u"Shredded from Horizon and Right", ShreddedFromHorizonAndRight},
    {u"Shredded from Top and Vertical Center", ShreddedFromTopAndVerticalCenter},
    {u"Shredded from Bottom and Vertical Center", ShreddedFromBottomAndVerticalCenter},
    {u"Shredded from Center", ShreddedFromCenter},
    {u"Shredded to Center", ShreddedToCenter},
    {u"Shredded in to Horizon", ShreddedInToHorizon},
    {u"Shredded in to Vertical Center", ShreddedInToVerticalCenter},
    {u"Shredded out from Horizon", ShreddedOutFromHorizon},
    {u"Shredded out from Vertical Center", ShreddedOutFromVerticalCenter},
    {u"Expanding Rectangles", ExpandingRectangles},
    {u"Expanding Triangles", ExpandingTriangles},
    {u"Expanding Circles", ExpandingCircles},
    {u"Expanding Diamonds", ExpandingDiamonds},
    {u"Circular Wipe from Center", CircularWipeFromCenter},
    {u"Circular Wipe to Center", CircularWipeToCenter},
    {u"Crisscross Wipe from Top Left", CrisscrossWipeFromTopLeft},
    {u"Crisscross Wipe from Top Right", CrisscrossWipeFromTopRight},
    {u"Crisscross Wipe from Bottom Left", CrisscrossWipeFromBottomLeft},
    {u"Crisscross Wipe from Bottom Right", CrisscrossWipeFromBottomRight},
    {u"Crisscross Wipe Bounce from Top Left", CrisscrossWipeBounceFromTopLeft},
    {u"Crisscross Wipe Bounce from Top Right", CrisscrossWipeBounceFromTopRight},
    {u"Crisscross Wipe Bounce from Bottom Left", CrisscrossWipeBounceFromBottomLeft},
    {u"Crisscross Wipe Bounce from Bottom Right", CrisscrossWipeBounceFromBottomRight},
    {u"Crisscross Wipe from Left Right and Top", CrisscrossWipeFromLeftRightAndTop},
    {u"Crisscross Wipe from Left Right and Bottom", CrisscrossWipeFromLeftRightAndBottom},
    {u"Crisscross Wipe from Left Top and Bottom", CrisscrossWipeFromLeftTopAndBottom},
    {u"Crisscross Wipe from Top Left Right and Bottom", CrisscrossWipeFromTopLeftRightAndBottom},
    {u"Crisscross Wipe from Right Top and Bottom", CrisscrossWipeFromRightTopAndBottom},
    {u"Crisscross Wipe from Bottom Left Top Right", CrisscrossWipeFromBottomLeftTopRight},
    {u"Wipe diagonal from Top Left", WipeDiagonalFromTopLeft},
    {u"Wipe diagonal from Top Right", WipeDiagonalFromTopRight},
    {u"Wipe diagonal from Bottom Left", WipeDiagonalFromBottomLeft},
    {u"Wipe diagonal from Bottom Right", WipeDiagonalFromBottomRight},
    {u"Diagonal Sweep Clockwise", DiagonalSweepClockwise},
    {u"Diagonal Sweep Counter-Clockwise", DiagonalSweepCounterClockwise},
    {u"Sweep Clockwise", SweepClockwise},
    {u"Sweep Counter-Clockwise", SweepCounterClockwise},
    {u"Starburst Clockwise", StarburstClockwiseFromCenter},
    {u"Starburst Counter-Clockwise", StarburstCounterClockwiseFromCenter},
    {u"Rotational Rectangle Clockwise", RotationalRectangle},
    {u"Rotational Rectangle Counter-Clockwise", RotationalRectangleCounterClockwise},
    {u"Rotational Star Clockwise", RotationalStar},
    {u"Rotational Star Counter-Clockwise", RotationalStarCounterClockwise},
    {u"Speckled Wipe from Left", SpeckledWipeFromLeft},
    {u"Speckled Wipe from Right", SpeckledWipeFromRight},
    {u"Speckled Wipe from Top", SpeckledWipeFromTop},
    {u"Speckled Wipe from Bottom", SpeckledWipeFromBottom},
    {u"Push Left and Slide out", PushLeftAndSlideOut},
    {u"Push Right and Slide out", PushRightAndSlideOut},
    {u"Push up and Slide out", PushUpAndSlideOut},
    {u"Push down and Slide out", PushDownAndSlideOut},
    {u"Push and Squeeze Left", PushAndSqueezeLeft},
    {u"Push and Squeeze Right", PushAndSqueezeRight},
    {u"Push and Squeeze up", PushAndSqueezeUp},
    {u"Push and Squeeze down", PushAndSqueezeDown},
    {u"Horizontal Blinds", HorizontalBlinds},
    {u"Vertical Blinds", VerticalBlinds},
    {u"Uneven Blinds from Left", UnevenBlindsFromLeft},
    {u"Uneven Blinds from Right", UnevenBlindsFromRight},
    {u"Uneven Blinds from Top", UnevenBlindsFromTop},
    {u"Uneven Blinds from Bottom", UnevenBlindsFromBottom},
    {u"Rectangles from the Left", RectanglesFromTheLeft},
    {u"Rectangles from the Right", RectanglesFromTheRight},
    {u"Rectangles from the Top", RectanglesFromTheTop},
    {u"Rectangles from the Bottom", RectanglesFromTheBottom},
    {u"Spiralling Rectangle Clockwise", SpirallingRectangleClockwise},
    {u"Spiralling Rectangle Counter-Clockwise", SpirallingRectangleCounterClockwise},
    {u"Arrow Wipe from Left", ArrowWipeFromLeft},
    {u"Arrow Wipe from Right", ArrowWipeFromRight},
    {u"Arrow Wipe from Top", ArrowWipeFromTop},
    {u"Arrow Wipe from Bottom", ArrowWipeFromBottom},
    {u"Horizontal Bow Tie Wipe", HorizontalBowTieWipe},
    {u"Vertical Bow Tie Wipe", VerticalBowTieWipe},
    {u"Diagonal Cross from Center", DiagonalCrossFromCenter},
    {u"Diagonal Cross to Center", DiagonalCrossToCenter},
    {u"Zigzag Wipe from Horizon", ZigzagWipeFromHorizon},
    {u"Zigzag Wipe from Vertical Center", ZigzagWipeFromVerticalCenter},
    {u"Diamond Wipe from Center", DiamondWipeFromCenter},
    {u"Diamond Wipe to Center", DiamondWipeToCenter},
    {u"Diagonal Box Wipe", DiagonalBoxWipe},
    {u"Triangular Wipe", TriangularWipeEffect},
    {u"Random Big Boxes", RandomBigBoxesEffect},
    {u"Page Flip", PageFlipEffect},
    {u"Page Flip 2", PageFlipEffect2},
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
