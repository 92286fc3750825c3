// The animation painter of the GIF graphic class: plays the frames of an
// image onto a canvas with their delays, disposal and loop count, either in
// a thread of its own (drawing and events through the main thread) or
// inside the caller, pumping its messages while it waits. Time comes from
// a clock object so that callers can drive it.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "imaging/formats/giflib.h"

// Where a painter takes its time from and how it waits.
class TGIFPainterClock {
 public:
  virtual ~TGIFPainterClock() = default;
  // Milliseconds on a counter that may wrap.
  virtual Cardinal Now() = 0;
  // Waits Ms milliseconds (-1 for ever) or until Wake is set; true when the
  // wait ended otherwise than by its time running out (Wake set, or none).
  virtual bool WaitFor(TEvent* Wake, Integer Ms) = 0;
  // Sleeps Ms milliseconds (0 only yields).
  virtual void Sleep(Integer Ms) = 0;
};
// The system's clock.
std::shared_ptr<TGIFPainterClock> GIFSystemPainterClock();

// Milliseconds per delay unit of a control block, and the delays in units.
constexpr Integer GIFDelayUnitMs = 12;
constexpr Integer GIFDefaultFrameDelay = 10;
constexpr Integer GIFMinimumFrameDelay = 3;
constexpr Integer GIFMaximumFrameDelay = 1000;

class TGIFPainter : public TThread {
 public:
  // Created suspended; stores itself in *Slot when Slot is given.
  TGIFPainter(TGIFPainter** Slot, TGIFImage* AImage, TCanvas* Canvas, const TRect& Rect, Word Options);
  ~TGIFPainter() override;
  // Starts a threaded painter; nothing for one that runs in its caller.
  void Start();
  // Ends the painter soon: a threaded one's wait ends at once.
  void Stop();
  // The whole animation.
  void Execute() override;
  bool Threaded() const { return FOptions & gpoThreaded; }
  TGIFImage* Image() const { return FImage; }
  TCanvas* TargetCanvas() const { return FTargetCanvas; }
  TRect TargetRect() const { return FTargetRect; }
  Word PaintOptions() const { return FOptions; }
  // The message of an error that stopped the painting ("" when none).
  const std::string& PendingError() const { return FPendingError; }
  // Takes the painter out of its image and frees its buffers; runs once.
  void ReleaseResources();

  // Index of the frame being shown; -1 before the start and after the end.
  // An OnFramePainted handler may set it to choose the next frame.
  std::atomic<Integer> ActiveFrame{-1};
  Byte CurrentDisposal = 0;
  Byte PreviousDisposal = 0;
  Integer AnimationRate = 100;
  bool FirstFramePainted = false;
  TNotifyEvent OnAnimationStart, OnFramePaint, OnFramePainted, OnAnimationLoop, OnAnimationEnd;

 private:
  void Animate();
  void WaitBeforeFrame(Integer Delay, Cardinal& OldTime, Integer& PrevWait);
  void RunSynchronized(const std::function<void()>& Method);
  void FireEvent(const TNotifyEvent& Event);
  void PaintFrameDirect();
  void PaintFrameBuffered();
  void RestoreBackground();
  TGIFSubImage* Frame() const;
  std::unique_ptr<TBitmap> SnapshotOfTarget();

  TGIFImage* FImage;
  TCanvas* FTargetCanvas;
  TRect FTargetRect;
  Word FOptions;
  TGIFPainter** FOwnerSlot;
  std::shared_ptr<TGIFPainterClock> FClock;
  std::unique_ptr<TEvent> FWakeEvent;
  std::unique_ptr<TBitmap> FComposeBuffer, FPreviousBuffer, FUnderlay;
  TColor FBackColor = 0;
  HDC FCheckedDC = nullptr;
  std::string FPendingError;
  bool FReleased = false;
};
