// The hint machinery: one hint window for the application, its timing on a
// thread timer (or a manual clock in tests), and the CM_HINTSHOW question to
// the control under the mouse.
#include <memory>

#include "platform/ui/forms.h"
#include "platform/ui/hints.h"
#include "platform/ui/private/app.h"

std::vector<WideString> HintLines(const WideString& Text) {
  std::vector<WideString> Lines(1);
  for (size_t i = 0; i < Text.size(); ++i) {
    const WideChar C = Text[i];
    if (C != u'\r' && C != u'\n') {
      Lines.back() += C;
      continue;
    }
    // A CR LF or LF CR pair is one break; two equal ones are two.
    if (i + 1 < Text.size() && (Text[i + 1] == u'\r' || Text[i + 1] == u'\n') && Text[i + 1] != C) ++i;
    Lines.emplace_back();
  }
  return Lines;
}

namespace {

constexpr Integer kPadX = 3, kPadY = 2;

class THintWindow : public TCustomControl {
 public:
  THintWindow() : TCustomControl(nullptr) { SetVisible(false); }
  std::vector<WideString> Lines;
  WideString Text;

  // Lays the text out within MaxWidth (a line wider is wrapped at blanks)
  // and answers the window's size.
  TSize Measure(const WideString& Hint, Integer MaxWidth) {
    Text = Hint;
    Lines.clear();
    TCanvas* C = Canvas();
    C->Font()->Assign(Font());
    const Integer Limit = std::max<Integer>(MaxWidth - 2 * kPadX - 2, 16);
    for (const WideString& L : HintLines(Hint)) {
      WideString Rest = L;
      while (C->TextWidth(Rest) > Limit) {
        size_t Cut = WideString::npos;
        for (size_t P = Rest.find(u' '); P != WideString::npos; P = Rest.find(u' ', P + 1)) {
          if (C->TextWidth(Rest.substr(0, P)) > Limit) break;
          Cut = P;
        }
        if (Cut == WideString::npos || Cut == 0) break;  // one word wider than the limit stays whole
        Lines.push_back(Rest.substr(0, Cut));
        Rest = Rest.substr(Cut + 1);
      }
      Lines.push_back(Rest);
    }
    Integer W = 0;
    for (const WideString& L : Lines) W = std::max(W, C->TextWidth(L));
    const Integer LineH = C->TextHeight(u"Ag");
    return TSize{W + 2 * kPadX + 2, LineH * static_cast<Integer>(Lines.size()) + 2 * kPadY + 2};
  }

 protected:
  void CreateParams(TCreateParams& Params) override {
    TCustomControl::CreateParams(Params);
    Params.Style = WS_POPUP;
    Params.ExStyle |= WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
  }
  void Paint() override {
    TCanvas* C = Canvas();
    C->Brush()->SetColor(Color());
    C->FillRect(ClientRect());
    C->Brush()->SetColor(clInfoText);
    C->FrameRect(ClientRect());
    C->Brush()->SetStyle(bsClear);
    C->Font()->SetColor(clInfoText);
    const Integer LineH = C->TextHeight(u"Ag");
    for (size_t i = 0; i < Lines.size(); ++i)
      C->TextOut(1 + kPadX, 1 + kPadY + LineH * static_cast<Integer>(i), Lines[i]);
    C->Brush()->SetStyle(bsSolid);
  }
};

enum THintTimer { htNone, htShow, htHide };

struct THintState {
  TControl* Control = nullptr;  // the control the hint is for
  TRect CursorRect;             // on the screen; leaving it asks again
  bool HaveRect = false;
  TPoint LastPos;               // the mouse on the screen
  std::unique_ptr<THintWindow> Window;
  THintTimer Pending = htNone;
  UINT_PTR TimerId = 0;
  bool Manual = false;
  Integer Now = 0, Due = 0;     // the manual clock
  bool Recent = false;          // a hint was up when the mouse left its window
};
THintState& g_Hint = *new THintState;

void Fire();

void TimerProc(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  if (Id != g_Hint.TimerId) return;
  g_Hint.TimerId = 0;
  Fire();
}

void StopTimer() {
  if (g_Hint.TimerId) KillTimer(nullptr, g_Hint.TimerId);
  g_Hint.TimerId = 0;
  g_Hint.Pending = htNone;
}

void StartTimer(THintTimer Kind, Integer Ms) {
  StopTimer();
  g_Hint.Pending = Kind;
  if (g_Hint.Manual)
    g_Hint.Due = g_Hint.Now + std::max<Integer>(Ms, 0);
  else
    g_Hint.TimerId = SetTimer(nullptr, 0, static_cast<UINT>(std::max<Integer>(Ms, 1)), TimerProc);
}

bool Shown() {
  return g_Hint.Window && g_Hint.Window->HandleAllocated() && IsWindowVisible(g_Hint.Window->Handle());
}

void HideWindow() {
  if (Shown()) ShowWindow(g_Hint.Window->Handle(), SW_HIDE);
}

// The text up the parent chain, as the control would show it unasked.
WideString DefaultHint(TControl* C) {
  for (; C; C = C->Parent())
    if (!C->Hint().empty()) return GetShortHint(C->Hint());
  return WideString();
}

// Asks Control about a hint at the screen point; false when it wants none.
bool Ask(TControl* Control, TPoint At, THintInfo& Info) {
  Info.HintControl = Control;
  Info.CursorPos = Control->ScreenToClient(At);
  Info.CursorRect = Control->ClientRect();
  Info.HintPos = TPoint(At.X, At.Y + GetSystemMetrics(SM_CYCURSOR) * 2 / 3);
  Info.HintMaxWidth = Screen->Width();
  Info.HintColor = Application->HintColor();
  Info.HideTimeout = Application->HintHidePause();
  Info.HintStr = DefaultHint(Control);
  return Control->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Info)) == 0;
}

void Activate() {
  TControl* Control = g_Hint.Control;
  if (!Control) return;
  THintInfo Info;
  const bool Wanted = Ask(Control, g_Hint.LastPos, Info);
  if (g_Hint.Control != Control) return;  // the handler cancelled or moved the hint
  const TPoint Corner = Control->ClientToScreen(TPoint(Info.CursorRect.Left, Info.CursorRect.Top));
  g_Hint.CursorRect = TRect(Corner.X, Corner.Y, Corner.X + Info.CursorRect.Width(), Corner.Y + Info.CursorRect.Height());
  g_Hint.HaveRect = true;
  if (!Wanted || Info.HintStr.empty()) {
    HideWindow();
    return;
  }
  if (!g_Hint.Window) g_Hint.Window = std::make_unique<THintWindow>();
  THintWindow* W = g_Hint.Window.get();
  W->SetColor(Info.HintColor);
  TSize Size = W->Measure(Info.HintStr, Info.HintMaxWidth > 0 ? Info.HintMaxWidth : Screen->Width());
  // Kept on the monitor's work area.
  TRect Work = Screen->MonitorFromPoint(Info.HintPos).WorkareaRect;
  Integer X = std::max(std::min(Info.HintPos.X, Work.Right - Size.cx), Work.Left);
  Integer Y = Info.HintPos.Y;
  if (Y + Size.cy > Work.Bottom) Y = std::max(g_Hint.CursorRect.Top - Size.cy, Work.Top);
  W->SetBounds(X, Y, Size.cx, Size.cy);
  SetWindowPos(W->Handle(), HWND_TOPMOST, X, Y, Size.cx, Size.cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  W->Invalidate();
  if (Info.HideTimeout > 0) StartTimer(htHide, Info.HideTimeout);
}

void Fire() {
  const THintTimer Kind = g_Hint.Pending;
  g_Hint.Pending = htNone;
  if (Kind == htShow)
    Activate();
  else if (Kind == htHide)
    HideWindow();  // the control stays: no new hint until the mouse moves on
}

}  // namespace

namespace gtui {

void HintMouse(TControl* Under, TPoint At) {
  if (g_Hint.Window && Under == g_Hint.Window.get()) return;
  g_Hint.LastPos = At;
  if (!Under || !Application->ShowHint() || !Under->ShowHint()) {
    HintCancel();
    return;
  }
  if (Under != g_Hint.Control) {
    // Moving from a shown hint to the next control shows its hint sooner.
    const bool WasShown = Shown() || g_Hint.Recent;
    g_Hint.Recent = false;
    HideWindow();
    g_Hint.Control = Under;
    g_Hint.HaveRect = false;
    StartTimer(htShow, WasShown ? Application->HintShortPause() : Application->HintPause());
    return;
  }
  if (g_Hint.HaveRect && !PtInRect(g_Hint.CursorRect, At)) {
    HideWindow();
    g_Hint.HaveRect = false;
    StartTimer(htShow, Application->HintShortPause());
  }
}

void HintCancel() {
  g_Hint.Recent = false;
  StopTimer();
  HideWindow();
  g_Hint.Control = nullptr;
  g_Hint.HaveRect = false;
}

void HintHide() {
  StopTimer();
  HideWindow();
}

void HintForget(TControl* Control) {
  if (g_Hint.Control == Control) HintCancel();
}

void HintLeave(TControl* Control) {
  for (TControl* C = g_Hint.Control; C; C = C->Parent())
    if (C == Control) {
      // Moving on to a neighbouring window keeps the short pause.
      const bool WasShown = Shown();
      HintCancel();
      g_Hint.Recent = WasShown;
      return;
    }
}

void HintActivate(TPoint At) {
  g_Hint.LastPos = At;
  StopTimer();
  Activate();
}

WideString HintAskAt(TControl* Control, TPoint At) {
  THintInfo Info;
  if (!Control || !Application->ShowHint() || !Control->ShowHint() || !Ask(Control, At, Info)) return WideString();
  return Info.HintStr;
}

}  // namespace gtui

void GtTestHintManualClock(bool Manual) {
  gtui::HintCancel();
  g_Hint.Manual = Manual;
  g_Hint.Now = g_Hint.Due = 0;
}

void GtTestHintAdvance(Integer Ms) {
  const Integer Until = g_Hint.Now + Ms;
  // Each timer due on the way fires at its own time, so a show may start
  // the hide countdown within the same advance.
  while (g_Hint.Pending != htNone && g_Hint.Due <= Until) {
    g_Hint.Now = g_Hint.Due;
    Fire();
  }
  g_Hint.Now = Until;
}

HWND GtTestHintWindow() { return Shown() ? g_Hint.Window->Handle() : nullptr; }
WideString GtTestHintText() { return Shown() ? g_Hint.Window->Text : WideString(); }
Integer GtTestHintLineCount() { return Shown() ? static_cast<Integer>(g_Hint.Window->Lines.size()) : 0; }
