// The view base control: border, background, resolution and the
// bitmap-change handlers of the companions.
#include "imaging/view/ieview.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/base/threads.h"
#include "platform/ui/forms.h"
#include "platform/ui/winuser.h"

TIEView::TIEView(TComponent* AOwner) : TCustomControl(AOwner) {
  // The view paints its whole area itself: nothing is erased behind it.
  SetControlStyle(ControlStyle() + TControlStyle{csAcceptsControls, csOpaque, csReplicatable, csNeedsBorderPaint});
  FBackground = clBtnFace;
  FBorderStyle = bsSingle;
  FHandlers.clear();
  SetCtl3D(true);
}

TIEView::~TIEView() {
  // The list is taken out before any handler runs, so a handler that
  // unregisters itself (or another one) finds nothing to free and cannot make
  // this loop skip or double-free a record. Handlers registered meanwhile are
  // called too, in a further round.
  FHandlersGone = true;
  while (!FHandlers.empty()) {
    std::vector<THandlerRecord> taken = std::move(FHandlers);
    FHandlers.clear();
    for (THandlerRecord& r : taken)
      if (r.Handler) r.Handler(this, true);
  }
}

void TIEView::SetBackground(TColor Value) { FBackground = Value; }

void TIEView::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  if (HandleAllocated()) RecreateWnd();
}

void TIEView::SetCtl3D(bool Value) {
  if (Value == Ctl3D()) return;
  TCustomControl::SetCtl3D(Value);
  if (HandleAllocated()) RecreateWnd();
}

void TIEView::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (FBorderStyle == bsSingle) {
    // New-style controls are always on here.
    if (Ctl3D())
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    else
      Params.Style |= WS_BORDER;
  }
  // Resizing must not repaint the whole window.
  Params.WindowClass.style &= ~static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW);
}

void TIEView::SetDpiX(Integer Dpi) {
  if (Dpi != 0) FDpiX = Dpi;
}

void TIEView::SetDpiY(Integer Dpi) {
  if (Dpi != 0) FDpiY = Dpi;
}

void TIEView::SetDpi(Integer DpiX, Integer DpiY) {
  SetDpiX(DpiX);
  SetDpiY(DpiY);
}

Integer TIEView::AddBitmapChangeHandler(TIEBitmapChangeEvent Handler) {
  // Positive handles, never one that is still registered; after the largest
  // 32-bit value the search starts again at 1.
  Integer h = FNextHandle < 1 ? 1 : FNextHandle;
  auto inUse = [this](Integer v) {
    return std::any_of(FHandlers.begin(), FHandlers.end(), [v](const THandlerRecord& r) { return r.Handle == v; });
  };
  while (inUse(h)) h = h == std::numeric_limits<Integer>::max() ? 1 : h + 1;
  FNextHandle = h == std::numeric_limits<Integer>::max() ? 1 : h + 1;
  FHandlers.push_back({h, std::move(Handler)});
  return h;
}

void TIEView::RemoveBitmapChangeHandler(Integer Handle) {
  if (FHandlersGone || Handle < 0) return;
  auto it = std::find_if(FHandlers.begin(), FHandlers.end(),
                         [Handle](const THandlerRecord& r) { return r.Handle == Handle; });
  if (it != FHandlers.end()) FHandlers.erase(it);
}

void TIEView::CallBitmapChangeHandlers() {
  // The handlers present at the start, each only while it is still
  // registered; the call runs on a copy, so a handler may unregister itself.
  std::vector<Integer> handles;
  handles.reserve(FHandlers.size());
  for (const THandlerRecord& r : FHandlers) handles.push_back(r.Handle);
  for (Integer h : handles) {
    auto it = std::find_if(FHandlers.begin(), FHandlers.end(), [h](const THandlerRecord& r) { return r.Handle == h; });
    if (it == FHandlers.end() || !it->Handler) continue;
    TIEBitmapChangeEvent call = it->Handler;
    call(this, false);
  }
}

void TIEView::Notification(TComponent* AComponent, TOperation Operation) {
  if (AComponent == this) return;
  TCustomControl::Notification(AComponent, Operation);
}

bool TIEView::HasParentWindow() { return GetParentForm(this) != nullptr || Parent() != nullptr; }

void TIEView::PostIOMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (IsMainThread()) {
    PostMessage(Handle(), Msg, WParam, LParam);
    return;
  }
  // Workers never touch the control: the window is made and the message
  // posted by a call queued for the main thread, which first checks that the
  // view still exists.
  std::weak_ptr<bool> alive = FAlive;
  TThread::Queue(nullptr, [alive, this, Msg, WParam, LParam] {
    if (alive.expired()) return;
    PostMessage(Handle(), Msg, WParam, LParam);
  });
}
