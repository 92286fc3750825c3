// The animation painter and the image's drawing: still frames are drawn at
// once, animations by a painter that waits each frame's delay (12 ms per
// unit, the overshoot of the previous wait halved and taken off), applies
// the disposal of the frame before and honours the loop block.
#include "imaging/formats/giflib_painter.h"

#include <thread>

#include "platform/ui/winuser.h"

namespace giflib_painter {
namespace {

class TSystemClock : public TGIFPainterClock {
 public:
  Cardinal Now() override { return GetTickCount(); }
  bool WaitFor(TEvent* Wake, Integer Ms) override {
    if (!Wake) return true;
    return Wake->WaitFor(Ms < 0 ? INFINITE : Cardinal(Ms)) != wrTimeout;
  }
  void Sleep(Integer Ms) override {
    if (Ms <= 0)
      std::this_thread::yield();
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
  }
};

// The platform's MulDiv: rounds half away from zero.
Integer MulDivRound(int64_t A, int64_t B, int64_t C) {
  if (C == 0) return -1;
  const int64_t n = A * B;
  const bool neg = (n < 0) != (C < 0);
  const int64_t an = n < 0 ? -n : n, ac = C < 0 ? -C : C;
  const int64_t q = (an + ac / 2) / ac;
  return Integer(neg ? -q : q);
}

class TListLock {
 public:
  explicit TListLock(TThreadList* List) : FList(List), FItems(List->LockList()) {}
  ~TListLock() { FList->UnlockList(); }
  TList* Items() const { return FItems; }

 private:
  TThreadList* FList;
  TList* FItems;
};

}  // namespace
}  // namespace giflib_painter

using namespace giflib_painter;

std::shared_ptr<TGIFPainterClock> GIFSystemPainterClock() {
  static const std::shared_ptr<TGIFPainterClock> clock = std::make_shared<TSystemClock>();
  return clock;
}

TGIFPainter::TGIFPainter(TGIFPainter** Slot, TGIFImage* AImage, TCanvas* Canvas, const TRect& Rect, Word Options)
    : TThread(true), FImage(AImage), FTargetCanvas(Canvas), FTargetRect(Rect), FOptions(Options), FOwnerSlot(Slot) {
  if (Slot) *Slot = this;
  FClock = AImage->PainterClock ? AImage->PainterClock : GIFSystemPainterClock();
  AnimationRate = AImage->AnimationRate;
  if (Threaded()) {
    SetFreeOnTerminate(true);
    OnTerminate = [this](TObject*) { ReleaseResources(); };
  }
  if (Threaded() && (Options & gpoAnimate) && AImage->Images()->GetCount() > 1 && AnimationRate >= 0)
    FWakeEvent = std::make_unique<TEvent>(false, false);
  if (AImage->AnimationBackColor != clNone)
    FBackColor = ColorToRGB(AImage->AnimationBackColor);
  else if (AImage->GetGlobalColorMap()->Count() == 0)
    FBackColor = ColorToRGB(clWindow);
  else
    FBackColor = AImage->GetBackgroundColor();
  bool dispose2 = Options & gpoClearOnLoop, dispose3 = false;
  for (Integer i = 0; i < AImage->Images()->GetCount(); ++i)
    if (TGIFGraphicControlExtension* c = AImage->Images()->GetFrame(i)->ControlExtension) {
      dispose2 = dispose2 || c->GetDisposal() == 2;
      dispose3 = dispose3 || c->GetDisposal() == 3;
    }
  if (dispose2 && (Options & gpoTransparent)) FUnderlay = SnapshotOfTarget();
  if (dispose2 || dispose3) {
    FComposeBuffer = SnapshotOfTarget();
    FComposeBuffer->Canvas()->Brush()->SetColor(FBackColor);
    FPreviousBuffer = std::make_unique<TBitmap>();
    FPreviousBuffer->SetPixelFormat(pf24bit);
    FPreviousBuffer->SetSize(Rect.Width(), Rect.Height());
    FPreviousBuffer->Canvas()->Brush()->SetColor(FBackColor);
  }
}

std::unique_ptr<TBitmap> TGIFPainter::SnapshotOfTarget() {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(FTargetRect.Width(), FTargetRect.Height());
  b->Canvas()->SetCopyMode(cmSrcCopy);
  b->Canvas()->CopyRect(TRect(0, 0, FTargetRect.Width(), FTargetRect.Height()), FTargetCanvas, FTargetRect);
  return b;
}

TGIFPainter::~TGIFPainter() {
  // A kept error is never raised here: this may run on the painter's own
  // thread, where an exception would end the process.
  if (!Threaded()) ReleaseResources();
}

void TGIFPainter::ReleaseResources() {
  if (FReleased) return;
  FReleased = true;
  if (FImage) {
    {
      TListLock lock(FImage->PainterList());
      if (FOwnerSlot && *FOwnerSlot == this) *FOwnerSlot = nullptr;
      lock.Items()->Remove(this);
    }
    // A threaded painter's error reaches the main thread as a warning (this
    // runs there, through the thread's end notification).
    if (Threaded() && !FPendingError.empty()) FImage->Warning(this, 2, Utf8ToWide(FPendingError));
    FImage = nullptr;
  }
  FComposeBuffer.reset();
  FPreviousBuffer.reset();
  FUnderlay.reset();
}

void TGIFPainter::Start() {
  if (Threaded()) TThread::Resume();
}

void TGIFPainter::Stop() {
  Terminate();
  if (!Threaded()) return;
  if (FWakeEvent) FWakeEvent->SetEvent();
  SetPriority(tpNormal);
  Resume();
}

void TGIFPainter::RunSynchronized(const std::function<void()>& Method) {
  if (Terminated()) return;
  if (Threaded() && !IsMainThread())
    Synchronize([&] {
      if (!Terminated()) Method();
    });
  else
    Method();
}

void TGIFPainter::FireEvent(const TNotifyEvent& Event) {
  if (Event) RunSynchronized([&] { Event(this); });
}

TGIFSubImage* TGIFPainter::Frame() const { return FImage->Images()->GetFrame(ActiveFrame); }

void TGIFPainter::Execute() {
  try {
    Animate();
  } catch (const std::exception& e) {
    Terminate();
    FPendingError = e.what();
  } catch (...) {
    Terminate();
    FPendingError = "Unknown error while painting";
  }
}

void TGIFPainter::Animate() {
  if (!FImage) return;
  if (FOptions & gpoCheckCanvas) FCheckedDC = FTargetCanvas->Handle();
  ActiveFrame = 0;
  FireEvent(OnAnimationStart);
  FirstFramePainted = false;
  Integer loopCount = 1, loopStart = 0;
  bool loopFound = false;
  Integer delay = Threaded() ? 0 : 1;
  PreviousDisposal = 1;
  Cardinal oldTime = FClock->Now();
  Integer prevWait = 0;
  while ((loopCount != 0 || (FOptions & gpoLoopForever)) && !Terminated()) {
    ActiveFrame = loopStart;
    if (FirstFramePainted) FireEvent(OnAnimationLoop);
    bool paintedInPass = false;
    while (ActiveFrame >= 0 && ActiveFrame < FImage->Images()->GetCount() && !Terminated()) {
      TGIFSubImage* frame = Frame();
      if (frame->IsEmpty()) break;
      if (delay > 0) {
        // Rendered now, so that painting after the wait is quick.
        frame->GetBitmap();
        WaitBeforeFrame(delay, oldTime, prevWait);
      } else {
        FClock->Sleep(0);
      }
      if (Terminated()) break;
      FireEvent(OnFramePaint);
      if (Terminated() || ActiveFrame < 0 || ActiveFrame >= FImage->Images()->GetCount()) break;
      frame = Frame();
      CurrentDisposal = 1;
      for (Integer i = 0; i < frame->Extensions()->GetCount(); ++i) {
        TGIFExtension* e = frame->Extensions()->GetExtension(i);
        if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(e)) {
          if (!loopFound) {
            loopFound = true;
            loopCount = loop->LoopCount;
            loopStart = ActiveFrame;
            if ((loopCount == 0 || (FOptions & gpoLoopForever)) && Threaded()) loopCount = -1;
          }
        } else if (auto* c = dynamic_cast<TGIFGraphicControlExtension*>(e)) {
          CurrentDisposal = c->GetDisposal();
        }
      }
      RunSynchronized([this] {
        if (FComposeBuffer)
          PaintFrameBuffered();
        else
          PaintFrameDirect();
      });
      paintedInPass = true;
      PreviousDisposal = CurrentDisposal;
      if (Terminated()) break;
      delay = GIFDefaultFrameDelay;
      if (frame->ControlExtension && frame->ControlExtension->GetDelay() > 0) {
        delay = std::max<Integer>(frame->ControlExtension->GetDelay(), GIFMinimumFrameDelay);
        if (!Threaded()) delay = std::min(delay, GIFMaximumFrameDelay);
      }
      const Integer shown = ActiveFrame;
      FireEvent(OnFramePainted);
      if (Terminated()) break;
      if (ActiveFrame == shown) ++ActiveFrame;
      if (!(FOptions & gpoAnimate)) break;
    }
    if (loopCount > 0) --loopCount;
    if (!((FOptions & gpoAnimate) && (FOptions & gpoLoop))) break;
    // A pass that showed nothing (only empty frames) would spin for ever.
    if (!paintedInPass) break;
  }
  ActiveFrame = -1;
  FireEvent(OnAnimationEnd);
}

void TGIFPainter::WaitBeforeFrame(Integer Delay, Cardinal& OldTime, Integer& PrevWait) {
  const Cardinal newTime = FClock->Now();
  Integer wait;
  if (AnimationRate > 0) {
    if (newTime < OldTime) {
      // The counter wrapped: the passed time is unknown.
      wait = GIFMaximumFrameDelay * GIFDelayUnitMs;
      PrevWait = 0;
    } else {
      const Integer overshoot = (Integer(newTime - OldTime) - PrevWait) / 2;
      wait = MulDivRound(int64_t(Delay) * GIFDelayUnitMs - overshoot, 100, AnimationRate);
      PrevWait = wait;
    }
  } else {
    wait = Threaded() ? -1 : GIFMaximumFrameDelay * GIFDelayUnitMs;
  }
  OldTime = newTime;
  if (Threaded()) {
    if (wait > 0 || AnimationRate == 0)
      if (FClock->WaitFor(FWakeEvent.get(), wait)) {
        PrevWait = 0;
        OldTime = FClock->Now();
      }
    return;
  }
  if (wait < 1) wait = 1;
  while (wait > 0 && !Terminated()) {
    const Cardinal before = FClock->Now();
    FClock->Sleep(std::min(wait, Integer(100)));
    wait -= Integer(FClock->Now() - before);
    MSG msg;
    while (!Terminated() && PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // The application's loop must still see it.
        PostQuitMessage(Integer(msg.wParam));
        Terminate();
        break;
      }
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    }
  }
}

void TGIFPainter::PaintFrameDirect() {
  Frame()->Draw(FTargetCanvas, FTargetRect, FOptions & gpoTransparent, FOptions & gpoTile);
  FirstFramePainted = true;
}

void TGIFPainter::PaintFrameBuffered() {
  if ((FOptions & gpoCheckCanvas) && GetObjectType(FCheckedDC) != OBJ_DC) {
    Terminate();
    return;
  }
  // Reserved disposals are taken as "leave the frame in place".
  const Byte d = CurrentDisposal > 3 ? 1 : CurrentDisposal;
  const Byte pd = PreviousDisposal > 3 ? 1 : PreviousDisposal;
  const TRect whole(0, 0, FTargetRect.Width(), FTargetRect.Height());
  TCanvas* surface = FComposeBuffer->Canvas();
  TRect surfaceRect = whole;
  bool isBuffer = true;
  if (d == 3) {
    if (pd <= 1) {
      surface = FTargetCanvas;
      surfaceRect = FTargetRect;
      isBuffer = false;
    } else {
      surface = FPreviousBuffer->Canvas();
    }
  }
  TGIFSubImage* frame = Frame();
  HPALETTE pal = frame->GetPalette();
  HPALETTE old = pal ? SelectPalette(surface->Handle(), pal, FALSE) : nullptr;
  if (pal) RealizePalette(surface->Handle());
  if ((FOptions & gpoClearOnLoop) && ActiveFrame == 0) RestoreBackground();
  if (d == 3 && pd >= 2) FPreviousBuffer->Canvas()->CopyRect(whole, FComposeBuffer->Canvas(), whole);
  frame->Draw(surface, surfaceRect, FOptions & gpoTransparent, FOptions & gpoTile);
  if (isBuffer) {
    FTargetCanvas->SetCopyMode(cmSrcCopy);
    FTargetCanvas->CopyRect(FTargetRect, surface, surfaceRect);
  }
  if (pal) SelectPalette(surface->Handle(), old, FALSE);
  if (d == 2) RestoreBackground();
  FirstFramePainted = true;
}

void TGIFPainter::RestoreBackground() {
  // Rectangles are in the buffer's own coordinates, which start at 0, 0.
  TGIFSubImage* frame = Frame();
  TCanvas* c = FComposeBuffer->Canvas();
  const TRect whole(0, 0, FTargetRect.Width(), FTargetRect.Height());
  const Integer sw = FImage->Width(), sh = FImage->Height();
  auto tiles = [&](auto&& Fn) {
    if (sw <= 0 || sh <= 0) return;
    for (Integer x = frame->Left(); x < whole.Right; x += sw)
      for (Integer y = frame->Top(); y < whole.Bottom; y += sh) Fn(TRect(x, y, x + frame->Width(), y + frame->Height()));
  };
  if (FUnderlay) {
    if (FOptions & gpoTile)
      tiles([&](const TRect& r) { c->CopyRect(r, FUnderlay->Canvas(), r); });
    else {
      const TRect r = frame->ScaleRect(whole);
      c->CopyRect(r, FUnderlay->Canvas(), r);
    }
    return;
  }
  if ((FOptions & gpoTile) && frame->Width() != sw && frame->Height() != sh) {
    c->Brush()->SetColor(FImage->AnimationBackColor);
    tiles([&](const TRect& r) { c->FillRect(r); });
    c->Brush()->SetColor(FBackColor);
  } else {
    c->FillRect(frame->ScaleRect(whole));
  }
}

// ------------------------------------------------------------------ image

TGIFPainter* TGIFImage::CreatePainter(TGIFPainter** Slot, TCanvas* Canvas, const TRect& Rect, Word Options) {
  if (Empty() || Rect.Left >= Rect.Right || Rect.Top >= Rect.Bottom) {
    if (Slot) *Slot = nullptr;
    return nullptr;
  }
  if (FFrames.GetCount() == 1) Options &= Word(~(gpoThreaded | gpoAnimate));
  auto* p = new TGIFPainter(Slot, this, Canvas, Rect, Options);
  FPainterList.Add(p);
  p->OnAnimationStart = OnAnimationStart;
  p->OnFramePaint = OnFramePaint;
  p->OnFramePainted = OnFramePainted;
  p->OnAnimationLoop = OnAnimationLoop;
  p->OnAnimationEnd = OnAnimationEnd;
  if (p->Threaded()) {
    p->SetPriority(PainterPriority);
    return p;
  }
  p->Execute();
  const std::string error = p->PendingError();
  delete p;
  if (Slot) *Slot = nullptr;
  // Raised here, by the caller's own thread, after the painter is gone.
  if (!error.empty()) GIFError(error.c_str());
  return nullptr;
}

void TGIFImage::StopAllPainters() {
  for (;;) {
    bool threaded = false;
    {
      TListLock lock(&FPainterList);
      TList* items = lock.Items();
      if (items->Count() == 0) break;
      for (Integer i = items->Count() - 1; i >= 0; --i) {
        auto* p = static_cast<TGIFPainter*>(items->Items(i));
        p->Stop();
        threaded = threaded || p->Threaded();
      }
    }
    if (!threaded) break;
    if (IsMainThread())
      while (CheckSynchronize(0)) {
      }
    std::this_thread::yield();
  }
  FRenderBitmap.reset();
}

void TGIFImage::StopDrawPainter() {
  for (;;) {
    bool threaded = false;
    {
      TListLock lock(&FPainterList);
      if (!ActivePainter) break;
      ActivePainter->Stop();
      threaded = ActivePainter->Threaded();
    }
    if (!threaded) break;
    if (IsMainThread())
      while (CheckSynchronize(0)) {
      }
    std::this_thread::yield();
  }
  FRenderBitmap.reset();
}

void TGIFImage::FreeRenderBitmap() {
  {
    TListLock lock(&FPainterList);
    if (ActivePainter) ActivePainter->Stop();
  }
  FRenderBitmap.reset();
}

void TGIFImage::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || FInDraw || Empty()) return;
  FInDraw = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } clear{FInDraw};
  const Integer n = FFrames.GetCount();
  if (n == 1 || !(PaintOptions & gpoAnimate)) {
    TGIFSubImage* f = FFrames.GetFrame(StillFrameIndex >= 0 && StillFrameIndex < n ? StillFrameIndex : 0);
    f->Draw(ACanvas, Rect, PaintOptions & gpoTransparent, PaintOptions & gpoTile);
    return;
  }
  auto copyRender = [&] {
    TBitmap* b = GetBitmap();
    if (!b) return;
    if (PaintOptions & gpoTile) {
      const Integer w = Width(), h = Height();
      if (w <= 0 || h <= 0) return;
      for (Integer x = Rect.Left; x < Rect.Right; x += w)
        for (Integer y = Rect.Top; y < Rect.Bottom; y += h) ACanvas->StretchDraw(TRect(x, y, x + w, y + h), b);
    } else {
      ACanvas->StretchDraw(Rect, b);
    }
  };
  if (FRenderBitmap && !(PaintOptions & gpoDirect)) {
    copyRender();
    return;
  }
  TGIFPainter* started = nullptr;
  {
    TListLock lock(&FPainterList);
    if (ActivePainter && ActivePainter->TargetCanvas() == ACanvas && ActivePainter->TargetRect() == Rect) return;
  }
  StopDrawPainter();
  {
    TListLock lock(&FPainterList);
    TCanvas* canvas = ACanvas;
    TRect rect = Rect;
    if (!(PaintOptions & gpoDirect)) {
      if (!FRenderBitmap) {
        FRenderBitmap = std::make_unique<TBitmap>();
        FRenderBitmap->SetPixelFormat(pf24bit);
        FRenderBitmap->SetSize(Width(), Height());
      }
      // The painter starts from what lies under the picture.
      FRenderBitmap->Canvas()->CopyRect(TRect(0, 0, Width(), Height()), ACanvas, Rect);
      canvas = FRenderBitmap->Canvas();
      rect = TRect(0, 0, Width(), Height());
    }
    started = CreatePainter(&ActivePainter, canvas, rect, PaintOptions);
    if (!started) return;
    started->Start();
  }
  if (!(PaintOptions & gpoDirect)) {
    for (;;) {
      {
        TListLock lock(&FPainterList);
        if (!ActivePainter || ActivePainter->Terminated() || ActivePainter->FirstFramePainted) break;
      }
      if (!CheckSynchronize(0)) std::this_thread::yield();
    }
    copyRender();
  }
}
