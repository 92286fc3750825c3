// Popup animation: fade through the window's constant opacity, or slide a
// snapshot in under a growing window region. The menu loop calls the step
// while it waits; every way out shows the complete window.
#include "controls/tbanim.h"

#include "controls/tbcommon.h"
#include "platform/base/sysutils.h"

namespace {

constexpr Integer FadeDuration = 175, FadeBase = 40;
constexpr Integer SlideDuration = 150, SlideBase = 0;
constexpr Cardinal StepInterval = 10;
constexpr UINT ShowFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_SHOWWINDOW |
                           SWP_NOOWNERZORDER | SWP_ASYNCWINDOWPOS;
constexpr LPARAM PrintFlags = PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN;

struct TPopupAnimationState {
  bool Animating = false;
  HWND AnimatedWnd = nullptr;
  Integer DurationMs = 0;
  // The layered update of a fade; null for a slide.
  TTBUpdateLayeredWindowProc Layered = nullptr;
  Integer BaseValue = 0;
  Integer CurrentValue = 0;
  Cardinal FirstTick = 0;
  Cardinal LastStepTick = 0;
  HDC WindowDC = nullptr;
  // The window DC reaches only the margins here; the client area shows its
  // own surface, so the snapshot is copied through both.
  HDC ClientDC = nullptr;
  TPoint ClientOffset;
  HDC MemoryDC = nullptr;
  HBITMAP Snapshot = nullptr;
  HGDIOBJ OldBitmap = nullptr;
  TRect ClientScreenRect;
  Integer WindowWidth = 0, WindowHeight = 0;
  TPoint LastCursor;
  Byte SlideDirections = 0;
};
thread_local TPopupAnimationState State;

TTBAnimationClock& Clock() {
  static TTBAnimationClock C;
  return C;
}
TTBAnimationCursor& CursorSource() {
  static TTBAnimationCursor C;
  return C;
}
TTBUpdateLayeredWindowProc LayeredEntry = &UpdateLayeredWindow;

Cardinal Now() { return Clock() ? Clock()() : GetTickCount(); }

TPoint CursorNow() {
  if (CursorSource()) return CursorSource()();
  TPoint P;
  if (!GetCursorPos(&P)) P = TPoint();
  return P;
}

[[noreturn]] void Fail(const char* What) { throw EOSError(std::string("Popup animation: ") + What); }

void CopySnapshot(Integer X, Integer Y) {
  TPopupAnimationState& S = State;
  BitBlt(S.WindowDC, X, Y, S.WindowWidth, S.WindowHeight, S.MemoryDC, 0, 0, SRCCOPY);
  if (S.ClientDC)
    BitBlt(S.ClientDC, X - S.ClientOffset.X, Y - S.ClientOffset.Y, S.WindowWidth, S.WindowHeight, S.MemoryDC, 0, 0,
           SRCCOPY);
}

void SetRegion(HWND Wnd, HRGN Region) {
  if (!SetWindowRgn(Wnd, Region, FALSE)) DeleteObject(Region);
}

}  // namespace

TPoint TBSlideOffset(Integer Width, Integer Height, Integer Value, Byte Directions) {
  TPoint P;
  if (Directions & tbadDownwards)
    P.Y = MulDiv(Height, Value, 255) - Height;
  else if (Directions & tbadUpwards)
    P.Y = Height - MulDiv(Height, Value, 255);
  if (Directions & tbadRightwards)
    P.X = MulDiv(Width, Value, 255) - Width;
  else if (Directions & tbadLeftwards)
    P.X = Width - MulDiv(Width, Value, 255);
  return P;
}

void EndPopupAnimation() {
  TPopupAnimationState& S = State;
  S.Animating = false;
  if (S.MemoryDC) {
    if (S.Layered)
      SetWindowLong(S.AnimatedWnd, GWL_EXSTYLE,
                    static_cast<LONG>(static_cast<DWORD>(GetWindowLong(S.AnimatedWnd, GWL_EXSTYLE)) & ~WS_EX_LAYERED));
    else
      SetWindowRgn(S.AnimatedWnd, nullptr, FALSE);
    if (S.WindowDC && S.Snapshot) CopySnapshot(0, 0);
    if (S.OldBitmap) SelectObject(S.MemoryDC, S.OldBitmap);
    S.OldBitmap = nullptr;
    DeleteDC(S.MemoryDC);
    S.MemoryDC = nullptr;
  }
  if (S.Snapshot) DeleteObject(S.Snapshot);
  S.Snapshot = nullptr;
  if (S.ClientDC) ReleaseDC(S.AnimatedWnd, S.ClientDC);
  S.ClientDC = nullptr;
  if (S.WindowDC) ReleaseDC(S.AnimatedWnd, S.WindowDC);
  S.WindowDC = nullptr;
  S.Layered = nullptr;
  if (HWND Wnd = S.AnimatedWnd) {
    // Forgotten first: the window may start a new animation on the notification.
    S.AnimatedWnd = nullptr;
    SendNotifyMessage(Wnd, TBAnimationEndedMessage, 0, 0);
  }
}

void StartPopupAnimation(HWND Wnd, bool Fade, Byte Direction) {
  EndPopupAnimation();
  TPopupAnimationState& S = State;
  try {
    S.AnimatedWnd = Wnd;
    S.Layered = Fade ? LayeredEntry : nullptr;
    S.SlideDirections = Direction;
    S.LastCursor = CursorNow();

    TRect Client, Window;
    if (!GetClientRect(Wnd, &Client) || !GetWindowRect(Wnd, &Window)) Fail("the window has no rectangle");
    TPoint Origin(0, 0);
    ClientToScreen(Wnd, &Origin);
    S.ClientScreenRect = TRect(Origin.X, Origin.Y, Origin.X + Client.Width(), Origin.Y + Client.Height());
    S.ClientOffset = TPoint(Origin.X - Window.Left, Origin.Y - Window.Top);
    S.WindowWidth = Window.Width();
    S.WindowHeight = Window.Height();
    S.WindowDC = GetDCEx(Wnd, nullptr, DCX_WINDOW | DCX_CACHE);
    if (!S.WindowDC) Fail("no device context for the window");
    S.ClientDC = GetDC(Wnd);
    if (!S.ClientDC) Fail("no device context for the client area");

    S.Snapshot = CreateCompatibleBitmap(S.WindowDC, S.WindowWidth, S.WindowHeight);
    if (!S.Snapshot) Fail("no bitmap for the snapshot");
    S.MemoryDC = CreateCompatibleDC(S.WindowDC);
    if (!S.MemoryDC) Fail("no memory device context");
    S.OldBitmap = SelectObject(S.MemoryDC, S.Snapshot);
    SendMessage(Wnd, WM_PRINT, reinterpret_cast<WPARAM>(S.MemoryDC), PrintFlags);
    // The snapshot holds what a paint would draw now, and the window is
    // shown without a redraw: a paint would end the animation at once.
    ValidateRect(Wnd, nullptr);

    if (S.Layered) {
      SetWindowLong(Wnd, GWL_EXSTYLE, static_cast<LONG>(static_cast<DWORD>(GetWindowLong(Wnd, GWL_EXSTYLE)) | WS_EX_LAYERED));
      S.DurationMs = FadeDuration;
      S.CurrentValue = FadeBase;
      // The layered window shows the snapshot: here the window keeps showing
      // its own pixels, so the snapshot becomes them.
      CopySnapshot(0, 0);
      const TPoint Position(Window.Left, Window.Top);
      const TSize Size{S.WindowWidth, S.WindowHeight};
      const TPoint Source(0, 0);
      BLENDFUNCTION Blend;
      Blend.BlendOp = AC_SRC_OVER;
      Blend.SourceConstantAlpha = static_cast<BYTE>(FadeBase);
      if (!S.Layered(Wnd, nullptr, &Position, &Size, S.MemoryDC, &Source, 0, &Blend, ULW_ALPHA))
        Fail("the layered window cannot be updated");
    } else {
      S.DurationMs = SlideDuration;
      S.CurrentValue = SlideBase;
      SetRegion(Wnd, CreateRectRgn(0, 0, 0, 0));
    }
    S.BaseValue = S.CurrentValue;
    S.FirstTick = Now();
    S.LastStepTick = S.FirstTick;
    SetWindowPos(Wnd, nullptr, 0, 0, 0, 0, ShowFlags);
    S.Animating = true;
  } catch (...) {
    EndPopupAnimation();
    throw;
  }
}

void StepPopupAnimation() {
  TPopupAnimationState& S = State;
  if (!S.Animating) return;
  const Cardinal Tick = Now();
  if (static_cast<Cardinal>(Tick - S.LastStepTick) < StepInterval) return;
  S.LastStepTick = Tick;
  const auto Elapsed = static_cast<int32_t>(Tick - S.FirstTick);
  if (Elapsed < 0 || Elapsed >= S.DurationMs) {
    EndPopupAnimation();
    return;
  }
  const Integer Value = static_cast<Integer>(static_cast<int64_t>(Elapsed) * 255 / S.DurationMs) + S.BaseValue;
  if (Value < 0 || Value >= 255) {
    EndPopupAnimation();
    return;
  }
  const TPoint Cursor = CursorNow();
  if (Cursor != S.LastCursor) {
    if (PtInRect(S.ClientScreenRect, Cursor)) {
      EndPopupAnimation();
      return;
    }
    S.LastCursor = Cursor;
  }
  if (Value <= S.CurrentValue) return;
  S.CurrentValue = Value;
  if (S.Layered) {
    BLENDFUNCTION Blend;
    Blend.BlendOp = AC_SRC_OVER;
    Blend.SourceConstantAlpha = static_cast<BYTE>(Value);
    S.Layered(S.AnimatedWnd, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &Blend, ULW_ALPHA);
  } else {
    const TPoint O = TBSlideOffset(S.WindowWidth, S.WindowHeight, Value, S.SlideDirections);
    SetRegion(S.AnimatedWnd, CreateRectRgn(O.X, O.Y, O.X + S.WindowWidth, O.Y + S.WindowHeight));
    CopySnapshot(O.X, O.Y);
  }
}

void EndPopupAnimationFor(HWND Wnd) {
  if (State.Animating && (!Wnd || Wnd == State.AnimatedWnd)) EndPopupAnimation();
}

bool PopupAnimationRunning() { return State.Animating; }

HWND PopupAnimationWindow() { return State.Animating ? State.AnimatedWnd : nullptr; }

TTBAnimationClock TBSetAnimationClock(TTBAnimationClock C) {
  TTBAnimationClock Old = std::move(Clock());
  Clock() = std::move(C);
  return Old;
}

TTBAnimationCursor TBSetAnimationCursor(TTBAnimationCursor C) {
  TTBAnimationCursor Old = std::move(CursorSource());
  CursorSource() = std::move(C);
  return Old;
}

TTBUpdateLayeredWindowProc TBSetUpdateLayeredWindowEntry(TTBUpdateLayeredWindowProc Entry) {
  TTBUpdateLayeredWindowProc Old = LayeredEntry;
  LayeredEntry = Entry;
  return Old;
}
