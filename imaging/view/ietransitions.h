// The transition companion of a view: plays the change from one displayed
// picture to the next. The view renders its display into the start frame
// before the picture changes and into the end frame after; while the
// transition runs, a 1 ms timer draws the frame for the elapsed time on the
// view, and when the duration is over it shows the end frame and stops.
// This engine knows one way of getting from start to end: a cross-fade,
// used for every effect; the pan-zoom end rectangle is the whole picture
// unless the caller sets another.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/base/components.h"
#include "platform/graphics/windef.h"

class TBitmap;
class TIEBitmap;
class TIEView;
class TIETransitionEffects;
class TTimer;

// The effects run from iettNone (0) to iettPanZoom (188).
enum TIETransitionType : Byte { iettNone = 0, iettCrossDissolve = 1, iettPanZoom = 188 };

using TIETransitionStepEvent = std::function<void(TObject* Sender, Integer Step)>;
using TIEOnTransitionPaint =
    std::function<void(TObject* Sender, TBitmap* Bitmap, TIETransitionEffects* Transition, Integer Step)>;

class TIETransitionEffects : public TObject {
 public:
  explicit TIETransitionEffects(TIEView* View);
  ~TIETransitionEffects() override;

  TIEView* View() const { return FView; }
  TIETransitionType TransitionType() const { return FTransitionType; }
  void SetTransitionType(TIETransitionType Value) { FTransitionType = Value; }
  Integer Duration() const { return FDuration; }
  void SetDuration(Integer Value) { FDuration = Value; }
  bool Running() const { return FRunning; }

  // The three 24-bit frames: start ("from"), end ("to") and the one being
  // shown; 1 x 1 while idle.
  TBitmap* StartFrame() const { return FStart.get(); }
  TBitmap* EndFrame() const { return FEnd.get(); }
  TBitmap* CurrentFrame() const { return FCurrent.get(); }
  // Stops a running transition and sizes the three frames.
  void SetSizes(Integer Width, Integer Height);
  // The picture the view shows at the end (not owned).
  TIEBitmap* FullImage() const { return FFullImage; }
  void SetFullImage(TIEBitmap* Value);
  // Where a pan-zoom ends, in image pixels (left, top, right, bottom).
  TRect PanZoomEndRect;

  // Starts when the type is not iettNone and the frames are larger than
  // 1 x 1; UpdateOnStop has the view update itself when it stops.
  void Run(bool UpdateOnStop);
  // Ends a running transition: timer off, frames back to 1 x 1, the view
  // refreshed (and updated when asked), then OnTransitionStop (Sender = the
  // view). Nothing when none runs.
  void Stop();
  void SetOnTransitionPaint(TIEOnTransitionPaint Handler) { OnTransitionPaint = std::move(Handler); }

  // Step = per mille of the duration elapsed (1000 at the end frame).
  TNotifyEvent OnTransitionStop;
  TIETransitionStepEvent OnTransitionStep;
  TIEOnTransitionPaint OnTransitionPaint;

 protected:
  void TimerTick(TObject* Sender);
  // Makes the current frame for Step (0..1000) and draws it on the view.
  void ShowStep(Integer Step);

  TIEView* FView;
  TIETransitionType FTransitionType = iettNone;
  Integer FDuration = 1000;
  bool FRunning = false;
  bool FUpdateOnStop = false;
  TIEBitmap* FFullImage = nullptr;
  std::unique_ptr<TBitmap> FStart, FEnd, FCurrent;
  std::unique_ptr<TTimer> FTimer;
  std::chrono::steady_clock::time_point FStartTime;
};
