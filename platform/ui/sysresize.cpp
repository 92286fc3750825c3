// The system's move and resize loop behind SC_MOVE and SC_SIZE. It runs in
// the layer so that it behaves the same with and without a window manager:
// the pointer's moves come through the queue while the loop holds the capture.
#include <algorithm>

#include "platform/ui/private/window.h"

namespace gtui {

void SystemMoveSize(HWND Wnd, UINT Edge) {
  TRect Start;
  if (!GetWindowRect(Wnd, &Start) || Edge > WMSZ_BOTTOMRIGHT) return;
  TRect StartLocal = Start;
  if (HWND P = GetParent(Wnd)) MapWindowPoints(nullptr, P, reinterpret_cast<TPoint*>(&StartLocal), 2);
  if (GetKeyState(VK_LBUTTON) >= 0) return;  // only while the button that started it is held
  // From the press that started it, not from where the pointer is now: on a
  // real display the pointer may have moved on before the loop runs.
  const DWORD Pos = GetMessagePos();
  const TPoint From(static_cast<int16_t>(LOWORD(Pos)), static_cast<int16_t>(HIWORD(Pos)));
  bool Left = Edge == WMSZ_LEFT || Edge == WMSZ_TOPLEFT || Edge == WMSZ_BOTTOMLEFT;
  bool Right = Edge == WMSZ_RIGHT || Edge == WMSZ_TOPRIGHT || Edge == WMSZ_BOTTOMRIGHT;
  bool Top = Edge == WMSZ_TOP || Edge == WMSZ_TOPLEFT || Edge == WMSZ_TOPRIGHT;
  bool Bottom = Edge == WMSZ_BOTTOM || Edge == WMSZ_BOTTOMLEFT || Edge == WMSZ_BOTTOMRIGHT;
  bool Move = Edge == 0;
  // The window may narrow the sizes it can take (a form's constraints).
  MINMAXINFO Limits;
  Limits.ptMinTrackSize = TPoint(1, 1);
  Limits.ptMaxTrackSize = TPoint(0x7FFF, 0x7FFF);
  Limits.ptMaxSize = Limits.ptMaxTrackSize;
  SendMessage(Wnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&Limits));
  const Integer MinW = std::max<Integer>(Limits.ptMinTrackSize.X, 1), MinH = std::max<Integer>(Limits.ptMinTrackSize.Y, 1);
  const Integer MaxW = std::max(Limits.ptMaxTrackSize.X, MinW), MaxH = std::max(Limits.ptMaxTrackSize.Y, MinH);

  auto Place = [&](TPoint To) {
    Integer DX = To.X - From.X, DY = To.Y - From.Y;
    TRect R = StartLocal;
    if (Move) {
      R = TRect(R.Left + DX, R.Top + DY, R.Right + DX, R.Bottom + DY);
    } else {
      // The moving edge stops where the size reaches a limit; the other stays.
      if (Left) R.Left = std::clamp(R.Left + DX, R.Right - MaxW, R.Right - MinW);
      if (Right) R.Right = std::clamp(R.Right + DX, R.Left + MinW, R.Left + MaxW);
      if (Top) R.Top = std::clamp(R.Top + DY, R.Bottom - MaxH, R.Bottom - MinH);
      if (Bottom) R.Bottom = std::clamp(R.Bottom + DY, R.Top + MinH, R.Top + MaxH);
    }
    SetWindowPos(Wnd, nullptr, R.Left, R.Top, R.Width(), R.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  };

  SetCapture(Wnd);
  bool Done = false, Cancel = false;
  while (!Done && IsWindow(Wnd) && GetCapture() == Wnd) {
    MSG M;
    if (!PeekMessage(&M, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
      continue;
    }
    switch (M.message) {
      case WM_MOUSEMOVE: Place(M.pt); break;
      case WM_LBUTTONUP:
        Place(M.pt);
        Done = true;
        break;
      case WM_KEYDOWN:
        if (M.wParam == VK_ESCAPE) Done = Cancel = true;
        break;
      case WM_CANCELMODE: Done = Cancel = true; break;
      case WM_QUIT:
        PostQuitMessage(static_cast<Integer>(M.wParam));
        Done = Cancel = true;
        break;
      default:
        if (M.message < WM_KEYFIRST || M.message > WM_MOUSELAST) DispatchMessage(&M);
        break;
    }
  }
  if (GetCapture() == Wnd) ReleaseCapture();
  if (Cancel && IsWindow(Wnd))
    SetWindowPos(Wnd, nullptr, StartLocal.Left, StartLocal.Top, StartLocal.Width(), StartLocal.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace gtui
