// The transition companion of a view: plays the change from one displayed
// picture to the next. The view renders its display into the start frame
// before the picture changes and into the end frame after; while the
// transition runs, a 1 ms timer draws the frame for the elapsed time on the
// view, and when the duration is over it shows the end frame and stops.
// Thirty effects are drawn by the engine itself on the pixel rows, the
// others by the step procedures of the table on the retained frame, and the
// pan-zoom moves a rectangle over the view's picture (the whole picture
// unless the caller sets another).
// The catalogue of effects lives here too: the types and their display
// names, and the arithmetic of timing, progress and extents that every
// effect shares.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/base/components.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/windef.h"

class TBitmap;
class TIEBitmap;
class TIEView;
class TIETransitionEffects;
class TTimer;

// The effects: iettNone (0), the 187 effects of the table in its order, and
// iettPanZoom (188), which has no table entry.
enum TIETransitionType : Byte {
  iettNone = 0,
  iettCrossDissolve = 1,
  iettFadeOut = 2,
  iettFadeIn = 3,
  iettFadeOutIn = 4,
  iettLeftRight1 = 5,
  iettLeftRight2 = 6,
  iettRightLeft1 = 7,
  iettRightLeft2 = 8,
  iettUpDown1 = 9,
  iettUpDown2 = 10,
  iettDownUp1 = 11,
  iettDownUp2 = 12,
  iettFromUpLeft = 13,
  iettFromUpRight = 14,
  iettFromBottomLeft = 15,
  iettFromBottomRight = 16,
  iettMoveLeftRight1 = 17,
  iettMoveLeftRight2 = 18,
  iettMoveRightLeft1 = 19,
  iettMoveRightLeft2 = 20,
  iettMoveUpDown1 = 21,
  iettMoveUpDown2 = 22,
  iettMoveDownUp1 = 23,
  iettMoveDownUp2 = 24,
  iettRandomPoints = 25,
  iettRandomBoxes = 26,
  iettCenter1 = 27,
  iettCenter2 = 28,
  iettCenterZoom1 = 29,
  iettCenterZoom2 = 30,
  iettExpandFromLeft = 31,
  iettExpandFromRight = 32,
  iettExpandFromTop = 33,
  iettExpandFromBottom = 34,
  iettExpandFromTopLeft = 35,
  iettExpandFromTopRight = 36,
  iettExpandFromBottomLeft = 37,
  iettExpandFromBottomRight = 38,
  iettExpandInFromLeft = 39,
  iettExpandInFromRight = 40,
  iettExpandInFromTop = 41,
  iettExpandInFromBottom = 42,
  iettExpandInToVerticalCenter = 43,
  iettExpandInToHorizon = 44,
  iettExpandInFromSides = 45,
  iettExpandInFromTopAndBottom = 46,
  iettExpandOutFromHorizon = 47,
  iettExpandOutFromVerticalCenter = 48,
  iettWipeFromTopLeft = 49,
  iettWipeFromTopRight = 50,
  iettWipeFromBottomLeft = 51,
  iettWipeFromBottomRight = 52,
  iettWipeInFromTopAndBottom = 53,
  iettWipeFromHorizon = 54,
  iettWipeInFromSides = 55,
  iettWipeOutFromVerticalCenter = 56,
  iettBuildUpFromLeft = 57,
  iettBuildUpFromRight = 58,
  iettBuildUpFromTop = 59,
  iettBuildUpFromBottom = 60,
  iettUnrollFromLeft = 61,
  iettUnrollFromRight = 62,
  iettUnrollFromTop = 63,
  iettUnrollFromBottom = 64,
  iettSlideInFromLeft = 65,
  iettSlideInFromRight = 66,
  iettSlideInFromTop = 67,
  iettSlideInFromBottom = 68,
  iettShrinkToTopLeft = 69,
  iettShrinkToTopRight = 70,
  iettShrinkToBottomLeft = 71,
  iettShrinkToBottomRight = 72,
  iettShrinkToCenter = 73,
  iettQuartersWipeInToCenter = 74,
  iettQuartersExpandToCenter = 75,
  iettQuartersSlideInToCenter = 76,
  iettCurvedWipeFromLeft = 77,
  iettCurvedWipeFromRight = 78,
  iettCurvedWipeFromTop = 79,
  iettCurvedWipeFromBottom = 80,
  iettCurvedWipeFromTopLeft = 81,
  iettCurvedWipeFromTopRight = 82,
  iettCurvedWipeFromBottomLeft = 83,
  iettCurvedWipeFromBottomRight = 84,
  iettBarsInFromLeft = 85,
  iettBarsInFromRight = 86,
  iettBarsFromTop = 87,
  iettBarsFromBottom = 88,
  iettBarsLeftThenRight = 89,
  iettBarsRightThenLeft = 90,
  iettBarsTopThenBottom = 91,
  iettBarsBottomThenTop = 92,
  iettBarsFrombothSides = 93,
  iettBarsFromTopAndBottom = 94,
  iettShreddedFromLeft = 95,
  iettShreddedFromRight = 96,
  iettShreddedFromTop = 97,
  iettShreddedFromBottom = 98,
  iettShreddedFromTopAndLeft = 99,
  iettShreddedFromTopAndRight = 100,
  iettShreddedFromBottomAndLeft = 101,
  iettShreddedFromBottomAndRight = 102,
  iettShreddedFromHorizonAndLeft = 103,
  iettShreddedFromHorizonAndRight = 104,
  iettShreddedFromTopAndVerticalCenter = 105,
  iettShreddedFromBottomAndVerticalCenter = 106,
  iettShreddedFromCenter = 107,
  iettShreddedToCenter = 108,
  iettShreddedInToHorizon = 109,
  iettShreddedInToVerticalCenter = 110,
  iettShreddedOutFromHorizon = 111,
  iettShreddedOutFromVerticalCenter = 112,
  iettExpandingRectangles = 113,
  iettExpandingTriangles = 114,
  iettExpandingCircles = 115,
  iettExpandingDiamonds = 116,
  iettCircularWipeFromCenter = 117,
  iettCircularWipeToCenter = 118,
  iettCrisscrossWipeFromTopLeft = 119,
  iettCrisscrossWipeFromTopRight = 120,
  iettCrisscrossWipeFromBottomLeft = 121,
  iettCrisscrossWipeFromBottomRight = 122,
  iettCrisscrossWipeBounceFromTopLeft = 123,
  iettCrisscrossWipeBounceFromTopRight = 124,
  iettCrisscrossWipeBounceFromBottomLeft = 125,
  iettCrisscrossWipeBounceFromBottomRight = 126,
  iettCrisscrossWipeFromLeftRightAndTop = 127,
  iettCrisscrossWipeFromLeftRightAndBottom = 128,
  iettCrisscrossWipeFromLeftTopAndBottom = 129,
  iettCrisscrossWipeFromTopLeftRightAndBottom = 130,
  iettCrisscrossWipeFromRightTopAndBottom = 131,
  iettCrisscrossWipeFromBottomLeftTopRight = 132,
  iettWipeDiagonalFromTopLeft = 133,
  iettWipeDiagonalFromTopRight = 134,
  iettWipeDiagonalFromBottomLeft = 135,
  iettWipeDiagonalFromBottomRight = 136,
  iettDiagonalSweepClockwise = 137,
  iettDiagonalSweepCounterClockwise = 138,
  iettSweepClockwise = 139,
  iettSweepCounterClockwise = 140,
  iettStarburstClockwiseFromCenter = 141,
  iettStarburstCounterClockwiseFromCenter = 142,
  iettRotationalRectangle = 143,
  iettRotationalRectangleCounterClockwise = 144,
  iettRotationalStar = 145,
  iettRotationalStarCounterClockwise = 146,
  iettSpeckledWipeFromLeft = 147,
  iettSpeckledWipeFromRight = 148,
  iettSpeckledWipeFromTop = 149,
  iettSpeckledWipeFromBottom = 150,
  iettPushLeftAndSlideOut = 151,
  iettPushRightAndSlideOut = 152,
  iettPushUpAndSlideOut = 153,
  iettPushDownAndSlideOut = 154,
  iettPushAndSqueezeLeft = 155,
  iettPushAndSqueezeRight = 156,
  iettPushAndSqueezeUp = 157,
  iettPushAndSqueezeDown = 158,
  iettHorizontalBlinds = 159,
  iettVerticalBlinds = 160,
  iettUnevenBlindsFromLeft = 161,
  iettUnevenBlindsFromRight = 162,
  iettUnevenBlindsFromTop = 163,
  iettUnevenBlindsFromBottom = 164,
  iettRectanglesFromTheLeft = 165,
  iettRectanglesFromTheRight = 166,
  iettRectanglesFromTheTop = 167,
  iettRectanglesFromTheBottom = 168,
  iettSpirallingRectangleClockwise = 169,
  iettSpirallingRectangleCounterClockwise = 170,
  iettArrowWipeFromLeft = 171,
  iettArrowWipeFromRight = 172,
  iettArrowWipeFromTop = 173,
  iettArrowWipeFromBottom = 174,
  iettHorizontalBowTieWipe = 175,
  iettVerticalBowTieWipe = 176,
  iettDiagonalCrossFromCenter = 177,
  iettDiagonalCrossToCenter = 178,
  iettZigzagWipeFromHorizon = 179,
  iettZigzagWipeFromVerticalCenter = 180,
  iettDiamondWipeFromCenter = 181,
  iettDiamondWipeToCenter = 182,
  iettDiagonalBoxWipe = 183,
  iettTriangularWipeEffect = 184,
  iettRandomBigBoxesEffect = 185,
  iettPageFlipEffect = 186,
  iettPageFlipEffect2 = 187,
  iettPanZoom = 188,
};

// How the elapsed part of the duration maps to the step (0..1024).
enum TIETransitionTiming : Byte { ttLinear = 0, ttExponential = 1, ttLogarithmic = 2 };

class TCanvas;

// One frame of a table effect on the canvas of the frame, which still holds
// the previous frame: Rect is the whole frame, Percent 0..100 never falls
// during a run, Density is 1.
using TIETransitionStepProc = void (*)(TCanvas* Canvas, TBitmap* FromBitmap, TBitmap* ToBitmap, const TRect& Rect,
                                       Integer Density, Integer Percent);
// A table record: the display name and the step procedure (none for the
// effects the engine draws itself).
struct TEffect {
  const char16_t* Name;
  TIETransitionStepProc Proc;
};
constexpr Integer kIETransitionTableCount = 187;
// Record i describes effect type i + 1; the application lists "None"
// followed by these names, so that the list index is the type.
extern const TEffect IETransitionEffectTable[kIETransitionTableCount];
// The display name of a table effect; empty for iettNone, iettPanZoom and
// anything outside the table.
const char16_t* IETransitionEffectName(Integer Type);

// The step (0..1024) after Elapsed of Duration milliseconds: linear;
// exponential exp(5t - 2.718) / 10; logarithmic (ln(10t) + 2.718) / 5, held
// at 0 while it would be negative (and at zero elapsed time, where it has no
// value); all truncated and at most 1024. A duration below 1 counts as 1.
Integer IETransitionTimingStep(TIETransitionTiming Timing, Cardinal Elapsed, Integer Duration);
// The percentage a table effect draws for Step: Step x 100 / 1024 rounded,
// halves to even (512 gives 50, 5 gives 0, 6 gives 1, 1023 gives 100).
Integer IETransitionPercent(Integer Step);
// The frame size W x H of Rect and how far an effect has come along each
// axis at Percent: the longer side scaled directly, the other in proportion
// (MulDiv rounding, halves away from zero).
void CalcTransitionExtent(const TRect& Rect, Integer Percent, Integer& W, Integer& H, Integer& PW, Integer& PH);
// The part of a PictureWidth x PictureHeight picture that a pan-zoom shows
// at Step (0..1024): each side moved from Start towards End by
// Trunc(start - Step x (start - end) / 1024), then cut to the picture.
// Clipped tells whether anything was cut (the frame is then letter-boxed).
// False, with nothing to draw, when no part of the rectangle lies in the
// picture (reversed, empty or wholly outside).
bool IEPanZoomSourceRect(const TRect& Start, const TRect& End, Integer Step, Integer PictureWidth,
                         Integer PictureHeight, TRect& Source, bool& Clipped);
// The process-wide generator every random effect draws from: seed := seed x
// 134775813 + 1 (mod 2^32) on each draw; IERandom(N) is the high half of the
// 64-bit product of the new seed and N, so IERandom(0) is 0 and still
// advances. The application reseeds it before choosing a random effect.
Cardinal IERandSeed();
void IESetRandSeed(Cardinal Seed);
Integer IERandom(Integer N);
// SrcW x SrcH fitted into DstW x DstH keeping its aspect ratio, centred:
// the rectangle (X, Y, W, H). All zero when a size is not positive, where no
// ratio exists.
void IEFitRectKeepAspect(Integer SrcW, Integer SrcH, Integer DstW, Integer DstH, Integer& X, Integer& Y, Integer& W,
                         Integer& H);

using TIETransitionStepEvent = std::function<void(TObject* Sender, Integer Step)>;
using TIEOnTransitionPaint =
    std::function<void(TObject* Sender, TBitmap* Bitmap, TIETransitionEffects* Transition, Integer Step)>;
// Milliseconds from an arbitrary origin, wrapping at 2^32.
using TIETickSource = std::function<Cardinal()>;

class TIETransitionEffects : public TObject {
 public:
  explicit TIETransitionEffects(TIEView* View);
  ~TIETransitionEffects() override;

  TIEView* View() const { return FView; }
  TIETransitionType TransitionType() const { return FTransitionType; }
  void SetTransitionType(TIETransitionType Value) { FTransitionType = Value; }
  Integer Duration() const { return FDuration; }
  void SetDuration(Integer Value) { FDuration = Value; }
  TIETransitionTiming Timing() const { return FTiming; }
  void SetTiming(TIETransitionTiming Value) { FTiming = Value; }
  bool Running() const { return FRunning; }
  bool TimerEnabled() const;
  // Progress of the frame the next tick draws, 0 (start) .. 1024 (end).
  Integer Step() const { return FStep; }
  // Random picks the random-point and random-box effects made in this run.
  Integer& RandomDone() { return FRandomDone; }
  Integer Width() const { return FWidth; }
  Integer Height() const { return FHeight; }
  // The clock of the timing; GetTickCount unless replaced (tests drive it).
  void SetTickSource(TIETickSource Source);

  // The three 24-bit frames: start ("from"), end ("to") and the one being
  // composed; 1 x 1 while idle.
  TBitmap* FromBitmap() const { return FStart.get(); }
  TBitmap* ToBitmap() const { return FEnd.get(); }
  TBitmap* FrameBitmap() const { return FCurrent.get(); }
  TBitmap* StartFrame() const { return FStart.get(); }
  TBitmap* EndFrame() const { return FEnd.get(); }
  TBitmap* CurrentFrame() const { return FCurrent.get(); }
  // Row y (0 = top) of each frame, valid while running.
  Byte* const* FromRows() const { return FFromRows.data(); }
  Byte* const* ToRows() const { return FToRows.data(); }
  Byte* const* FrameRows() const { return FFrameRows.data(); }
  // The view's background as 0x00BBGGRR with system colours resolved;
  // black without a view.
  TColor BackgroundRGB() const;

  // Stops a running transition and sizes the three frames.
  void SetSizes(Integer Width, Integer Height);
  // The picture the view shows at the end (not owned).
  TIEBitmap* FullImage() const { return FFullImage; }
  void SetFullImage(TIEBitmap* Value);
  // Where a pan-zoom starts and ends, in image pixels (left, top, right,
  // bottom); an empty one is the whole picture.
  TRect PanZoomStartRect;
  TRect PanZoomEndRect;

  // Starts the effect set in TransitionType over Duration: the view is
  // paint-locked and the timer runs. Refused (not running, timer off) for
  // iettNone, a frame below 2 x 2, or frames of another size than the one
  // set. UpdateOnStop shows the end frame and updates the view at the end.
  void Run(bool UpdateOnStop);
  // Ends a running transition: timer off, frames back to 1 x 1, the view
  // unlocked (and updated when asked), then OnTransitionStop (Sender = the
  // view). Depends on the run alone, not on the type set meanwhile.
  void Stop();
  // One tick: draws the frame for Step on the view, then takes the next step
  // from the clock, or ends the run when the duration has passed.
  void TimerEvent();
  // Composes the frame of the current effect for Step into FrameBitmap, on
  // top of the previous frame (a tick's drawing, without showing it).
  void DrawStep(Integer Step);
  // One frame of a table effect (types 31 .. 187; others draw nothing).
  void DrawTableEffect(Integer Type, Integer Step);
  void SetOnTransitionPaint(TIEOnTransitionPaint Handler) { OnTransitionPaint = std::move(Handler); }

  TNotifyEvent OnTransitionStop;
  TIETransitionStepEvent OnTransitionStep;
  TIEOnTransitionPaint OnTransitionPaint;

 protected:
  // The pan-zoom frame for Step: the moving rectangle of the picture
  // stretched over the frame, or letter-boxed over the view's background
  // where it was cut to the picture.
  void DrawPanZoom(Integer Step);
  void CopyToView(TBitmap* Bitmap);

  TIEView* FView;
  TIETransitionType FTransitionType = iettNone;
  TIETransitionTiming FTiming = ttLinear;
  Integer FDuration = 1000;
  Integer FWidth = 1, FHeight = 1;
  Integer FStep = 0;
  Integer FRandomDone = 0;
  bool FRunning = false;
  bool FUpdateOnStop = false;
  Cardinal FStartTick = 0;
  TIEBitmap* FFullImage = nullptr;
  std::unique_ptr<TBitmap> FStart, FEnd, FCurrent;
  std::vector<Byte*> FFromRows, FToRows, FFrameRows;
  std::unique_ptr<TTimer> FTimer;
  TIETickSource FTickSource;
};

// The engine's own effects (types 1 .. 30) on the rows of its frames.
void IEDrawBuiltinTransition(TIETransitionEffects& Engine, Integer Type, Integer Step);
