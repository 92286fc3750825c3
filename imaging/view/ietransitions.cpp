// The transition engine: three frames and a timer that cross-fades from the
// start frame to the end frame on the view over the duration.
#include "imaging/view/ietransitions.h"

#include <algorithm>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/view/ieview.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "platform/ui/extctrls.h"

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
  if (FStart->Width() <= 1 && FStart->Height() <= 1) return;
  // The two frames are rendered at the view size; one that differs is not
  // a frame of this transition.
  if (FEnd->Width() != FStart->Width() || FEnd->Height() != FStart->Height()) return;
  if (FRunning) FTimer->SetEnabled(false);
  FCurrent->SetSize(FStart->Width(), FStart->Height());
  if (FTransitionType == iettPanZoom && PanZoomEndRect.Width() <= 0 && FFullImage)
    PanZoomEndRect = TRect(0, 0, FFullImage->Width(), FFullImage->Height());
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

void TIETransitionEffects::ShowStep(Integer Step) {
  const Integer w = FCurrent->Width(), h = FCurrent->Height();
  const Integer weight = std::clamp(Step, 0, 1000) * 256 / 1000;  // share of the end frame, of 256
  const size_t n = size_t(w) * 3;
  for (Integer y = 0; y < h; ++y) {
    const auto* s = static_cast<const Byte*>(FStart->ScanLine(y));
    const auto* e = static_cast<const Byte*>(FEnd->ScanLine(y));
    auto* d = static_cast<Byte*>(FCurrent->ScanLine(y));
    for (size_t i = 0; i < n; ++i) d[i] = Byte((s[i] * (256 - weight) + e[i] * weight) >> 8);
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
