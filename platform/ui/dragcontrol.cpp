// Dragging a control onto another inside the program: the layer's own loop
// holds the capture on a message window and takes the pointer's moves from
// the queue, asks the control under the pointer whether it accepts the
// source, and drops on the release.
#include <cstdlib>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/private/app.h"

namespace {

struct TDrag {
  TControl* Control = nullptr;  // the dragged control
  TObject* Source = nullptr;    // what the targets see
  TControl* Target = nullptr;   // the control under the pointer
  bool Finish = false, Drop = false;
};
TDrag* g_Drag = nullptr;

TPoint TargetPoint(TControl* Target, TPoint Screen) { return Target->ScreenToClient(Screen); }

bool AskTarget(TDrag& D, TControl* Target, TPoint Screen, TDragState State) {
  bool Accept = false;
  TPoint P = TargetPoint(Target, Screen);
  Target->DragOver(D.Source, P.X, P.Y, State, Accept);
  return Accept;
}

void ShowCursor(TCursor C) { SetCursor(Screen->Cursors(C)); }

}  // namespace

namespace gtui {
void DragControlDestroyed(TControl* Control) {
  if (!g_Drag) return;
  if (g_Drag->Target == Control) g_Drag->Target = nullptr;
  if (g_Drag->Source == Control) g_Drag->Source = nullptr;
  if (g_Drag->Control == Control) {
    g_Drag->Control = nullptr;
    g_Drag->Finish = true;
  }
}
}  // namespace gtui

bool TControl::Dragging() const { return g_Drag && g_Drag->Control == this; }

void TControl::EndDrag(bool Drop) {
  if (!Dragging()) return;
  g_Drag->Finish = true;
  g_Drag->Drop = Drop;
}

void TControl::DragOver(TObject* Source, Integer X, Integer Y, TDragState State, bool& Accept) {
  Accept = false;
  if (OnDragOver) {
    Accept = true;
    OnDragOver(this, Source, X, Y, State, Accept);
  }
}

void TControl::DragDrop(TObject* Source, Integer X, Integer Y) {
  if (OnDragDrop) OnDragDrop(this, Source, X, Y);
}

void TControl::DoStartDrag(TObject*& DragObject) {
  if (OnStartDrag) OnStartDrag(this, DragObject);
}

void TControl::DoEndDrag(TObject* Target, Integer X, Integer Y) {
  if (OnEndDrag) OnEndDrag(this, Target, X, Y);
}

void TControl::BeginDrag(bool Immediate, Integer Threshold) {
  if (g_Drag) return;  // one drag at a time
  if (Threshold < 0) Threshold = 5;
  TDrag D;
  D.Control = this;
  TObject* Given = nullptr;
  g_Drag = &D;
  DoStartDrag(Given);
  D.Source = Given ? Given : this;

  // From the press (the message last taken), not from where the pointer is
  // now: on a real display it may have moved on before the drag begins.
  const DWORD Pos = GetMessagePos();
  const TPoint Start(static_cast<int16_t>(LOWORD(Pos)), static_cast<int16_t>(HIWORD(Pos)));
  bool Started = Immediate;
  TPoint Last = Start;
  bool Accepted = false;

  HWND Wnd = AllocateHWnd(nullptr);
  // Whoever held the capture (the pressed control) lets go: the loop has it now.
  SetMouseCapture(false);
  SetCapture(Wnd);
  auto MoveTo = [&](TPoint Pt) {
    Last = Pt;
    if (!Started) {
      if (std::abs(Pt.X - Start.X) < Threshold && std::abs(Pt.Y - Start.Y) < Threshold) return;
      Started = true;
    }
    TControl* Now = FindDragTarget(Pt, false);
    if (Now != D.Target) {
      if (D.Target) AskTarget(D, D.Target, Pt, dsDragLeave);
      D.Target = Now;
      if (D.Target && !D.Finish) AskTarget(D, D.Target, Pt, dsDragEnter);
    }
    Accepted = D.Target && !D.Finish && AskTarget(D, D.Target, Pt, dsDragMove);
    ShowCursor(Accepted && D.Control ? D.Control->DragCursor() : crNoDrop);
  };
  if (Started) MoveTo(Start);

  while (!D.Finish && GetCapture() == Wnd) {
    MSG M;
    if (!PeekMessage(&M, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
      continue;
    }
    switch (M.message) {
      case WM_MOUSEMOVE: MoveTo(M.pt); break;
      case WM_LBUTTONUP:
        if (!(M.pt == Last)) MoveTo(M.pt);
        D.Finish = true;
        D.Drop = Started;
        break;
      case WM_RBUTTONDOWN: D.Finish = true; break;
      case WM_KEYDOWN:
        if (M.wParam == VK_ESCAPE) D.Finish = true;
        break;
      case WM_CANCELMODE: D.Finish = true; break;
      case WM_QUIT:
        PostQuitMessage(static_cast<Integer>(M.wParam));
        D.Finish = true;
        break;
      default:
        if (M.message < WM_KEYFIRST || M.message > WM_MOUSELAST) DispatchMessage(&M);
        break;
    }
  }
  if (GetCapture() == Wnd) ReleaseCapture();
  DeallocateHWnd(Wnd);

  // The target hears the drag leave, and whether it takes the drop then.
  TControl* Target = D.Target;
  TPoint P = Target ? TargetPoint(Target, Last) : TPoint();
  bool Dropped = false;
  if (Target && Started) {
    bool Accept = AskTarget(D, Target, Last, dsDragLeave);
    if (D.Drop && Accept && D.Target) {
      Target->DragDrop(D.Source, P.X, P.Y);
      Dropped = true;
    }
  }
  ShowCursor(crDefault);
  g_Drag = nullptr;
  if (D.Control) D.Control->DoEndDrag(Dropped ? Target : nullptr, Dropped ? P.X : 0, Dropped ? P.Y : 0);
}
