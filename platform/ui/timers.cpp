// Window timers (SetTimer/KillTimer) and the caret, both driven by Qt timers.
#include <QTimer>

#include <map>

#include "platform/base/threads.h"
#include "platform/ui/private/window.h"

namespace gtui {
namespace {

struct TTimerRec {
  HWND Wnd = nullptr;
  UINT_PTR Id = 0;
  TIMERPROC Proc = nullptr;
  QTimer* Timer = nullptr;
};
using TKey = std::pair<uintptr_t, UINT_PTR>;
// Held for the whole run (never destroyed), like the Qt timers they point to.
auto& g_Timers = *new std::map<TKey, TTimerRec>;
UINT_PTR g_NextThreadTimer = 1;

void Fire(const TKey& Key) {
  auto It = g_Timers.find(Key);
  if (It == g_Timers.end()) return;
  TTimerRec R = It->second;
  TQtEntry Entry;
  if (R.Proc) {
    try {
      R.Proc(R.Wnd, WM_TIMER, R.Id, GetTickCount());
    } catch (...) {
      HandleException(std::current_exception());
    }
  } else if (R.Wnd) {
    if (TWindow* W = Lookup(R.Wnd)) Perform(W, WM_TIMER, R.Id, 0);
  } else {
    PostMessage(nullptr, WM_TIMER, R.Id, 0);
  }
}

void Kill(std::map<TKey, TTimerRec>::iterator It) {
  It->second.Timer->stop();
  It->second.Timer->deleteLater();
  g_Timers.erase(It);
}

// ---------------------------------------------------------------- caret

struct TCaret {
  HWND Owner = nullptr;
  Integer Width = 1, Height = 1;
  TPoint Pos;
  Integer HideCount = 1;  // a new caret is hidden until ShowCaret
  bool Drawn = false;     // its inversion is on the surface now
  bool BlinkOn = false;
  bool PaintHidden = false;
  QTimer* Blink = nullptr;
};
TCaret& g_Caret = *new TCaret;
UINT g_BlinkTime = 530;

void InvertCaret() {
  HDC DC = GetDC(g_Caret.Owner);
  if (!DC) return;
  PatBlt(DC, g_Caret.Pos.X, g_Caret.Pos.Y, g_Caret.Width, g_Caret.Height, DSTINVERT);
  ReleaseDC(g_Caret.Owner, DC);
  g_Caret.Drawn = !g_Caret.Drawn;
}

void EraseCaret() {
  if (g_Caret.Drawn) InvertCaret();
}

void UpdateBlink() {
  bool Visible = g_Caret.Owner && g_Caret.HideCount == 0;
  if (!Visible) {
    EraseCaret();
    if (g_Caret.Blink) g_Caret.Blink->stop();
    return;
  }
  if (!g_Caret.Blink) {
    g_Caret.Blink = new QTimer();
    QObject::connect(g_Caret.Blink, &QTimer::timeout, [] {
      TQtEntry Entry;
      if (!g_Caret.Owner || g_Caret.HideCount != 0 || g_Caret.PaintHidden) return;
      InvertCaret();
    });
  }
  g_Caret.Blink->setInterval(static_cast<int>(g_BlinkTime));
  if (!g_Caret.Drawn) InvertCaret();
  g_Caret.Blink->start();
}

}  // namespace

void TimersWindowGone(TWindow* W) {
  for (auto It = g_Timers.begin(); It != g_Timers.end();) {
    auto Next = std::next(It);
    if (It->second.Wnd == W->Handle) Kill(It);
    It = Next;
  }
}

void CaretWindowGone(TWindow* W) {
  if (g_Caret.Owner != W->Handle) return;
  g_Caret.Drawn = false;  // its surface goes with the window
  g_Caret.Owner = nullptr;
  UpdateBlink();
}

void CaretBeforePaint(TWindow* W) {
  if (g_Caret.Owner != W->Handle || !g_Caret.Drawn || g_Caret.PaintHidden) return;
  InvertCaret();
  g_Caret.PaintHidden = true;
}

void CaretAfterPaint(TWindow* W) {
  if (g_Caret.Owner != W->Handle || !g_Caret.PaintHidden) return;
  g_Caret.PaintHidden = false;
  if (g_Caret.HideCount == 0) InvertCaret();
}

}  // namespace gtui

using namespace gtui;

UINT_PTR SetTimer(HWND Wnd, UINT_PTR IdEvent, UINT Elapse, TIMERPROC Proc) {
  InitWindowing();
  if (Wnd && !Lookup(Wnd)) return 0;
  if (!Wnd) IdEvent = g_NextThreadTimer++;
  TKey Key{reinterpret_cast<uintptr_t>(Wnd), IdEvent};
  auto It = g_Timers.find(Key);
  if (It == g_Timers.end()) {
    TTimerRec R;
    R.Wnd = Wnd;
    R.Id = IdEvent;
    R.Timer = new QTimer();
    QObject::connect(R.Timer, &QTimer::timeout, [Key] { Fire(Key); });
    It = g_Timers.emplace(Key, R).first;
  }
  It->second.Proc = Proc;
  // Windows raises intervals below 10 ms to 10 ms.
  It->second.Timer->start(static_cast<int>(std::max<UINT>(Elapse, 10)));
  return Wnd ? (IdEvent ? IdEvent : 1) : IdEvent;
}

BOOL KillTimer(HWND Wnd, UINT_PTR IdEvent) {
  auto It = g_Timers.find(TKey{reinterpret_cast<uintptr_t>(Wnd), IdEvent});
  if (It == g_Timers.end()) return FALSE;
  Kill(It);
  return TRUE;
}

BOOL CreateCaret(HWND Wnd, HBITMAP, Integer Width, Integer Height) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  DestroyCaret();
  g_Caret.Owner = Wnd;
  g_Caret.Width = Width > 0 ? Width : GetSystemMetrics(SM_CXBORDER);
  g_Caret.Height = Height > 0 ? Height : GetSystemMetrics(SM_CYBORDER);
  g_Caret.Pos = TPoint();
  g_Caret.HideCount = 1;
  g_Caret.Drawn = false;
  g_Caret.PaintHidden = false;
  return TRUE;
}

BOOL DestroyCaret() {
  if (!g_Caret.Owner) return FALSE;
  EraseCaret();
  g_Caret.Owner = nullptr;
  g_Caret.HideCount = 1;
  UpdateBlink();
  return TRUE;
}

BOOL SetCaretPos(Integer X, Integer Y) {
  if (!g_Caret.Owner) return FALSE;
  bool Was = g_Caret.Drawn;
  EraseCaret();
  g_Caret.Pos = TPoint(X, Y);
  if (Was) InvertCaret();
  return TRUE;
}

BOOL GetCaretPos(TPoint* Point) {
  if (!Point || !g_Caret.Owner) return FALSE;
  *Point = g_Caret.Pos;
  return TRUE;
}

BOOL ShowCaret(HWND Wnd) {
  if (!g_Caret.Owner || (Wnd && Wnd != g_Caret.Owner)) return FALSE;
  if (g_Caret.HideCount > 0) --g_Caret.HideCount;
  UpdateBlink();
  return TRUE;
}

BOOL HideCaret(HWND Wnd) {
  if (!g_Caret.Owner || (Wnd && Wnd != g_Caret.Owner)) return FALSE;
  ++g_Caret.HideCount;
  UpdateBlink();
  return TRUE;
}

UINT GetCaretBlinkTime() { return g_BlinkTime; }

BOOL SetCaretBlinkTime(UINT Milliseconds) {
  g_BlinkTime = Milliseconds ? Milliseconds : 530;
  if (g_Caret.Blink && g_Caret.Blink->isActive()) g_Caret.Blink->setInterval(static_cast<int>(g_BlinkTime));
  return TRUE;
}
