// Input: Qt events become window messages; key and button state, capture and cursors.
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QStyleHints>
#include <QWheelEvent>

#include <QPointer>

#include <map>

#include "platform/ui/private/window.h"

namespace gtui {
namespace {

uint8_t g_Keys[256];  // bit 7: down, bit 0: toggled
QPoint g_LastCursor;
HWND g_Capture = nullptr;
HWND g_MouseWindow = nullptr;  // the window that saw the last mouse move
HCURSOR g_Cursor = nullptr;
bool g_AltAlone = false;  // Alt is down and no other key or button came since
// While a mouse event passes from a window that answered HTTRANSPARENT to the
// window beneath, the widget the pointer is really over: the cursor that the
// window beneath chooses shows there.
QPointer<QWidget> g_PassedFrom;
HCURSOR const NoCursorApplied = reinterpret_cast<HCURSOR>(~uintptr_t(0));

void SetKey(WORD VK, bool Down) {
  uint8_t& K = g_Keys[VK & 0xFF];
  if (Down && !(K & 0x80)) K ^= 0x01;
  K = Down ? (K | 0x80) : (K & ~0x80);
}

void NoteModifiers(Qt::KeyboardModifiers M) {
  SetKey(VK_SHIFT, M & Qt::ShiftModifier);
  SetKey(VK_CONTROL, M & Qt::ControlModifier);
  SetKey(VK_MENU, M & Qt::AltModifier);
}

void NoteButtons(Qt::MouseButtons B) {
  SetKey(VK_LBUTTON, B & Qt::LeftButton);
  SetKey(VK_RBUTTON, B & Qt::RightButton);
  SetKey(VK_MBUTTON, B & Qt::MiddleButton);
  SetKey(VK_XBUTTON1, B & Qt::XButton1);
  SetKey(VK_XBUTTON2, B & Qt::XButton2);
}

WPARAM MouseKeys(Qt::MouseButtons B, Qt::KeyboardModifiers M) {
  WPARAM K = 0;
  if (B & Qt::LeftButton) K |= MK_LBUTTON;
  if (B & Qt::RightButton) K |= MK_RBUTTON;
  if (B & Qt::MiddleButton) K |= MK_MBUTTON;
  if (B & Qt::XButton1) K |= MK_XBUTTON1;
  if (B & Qt::XButton2) K |= MK_XBUTTON2;
  if (M & Qt::ShiftModifier) K |= MK_SHIFT;
  if (M & Qt::ControlModifier) K |= MK_CONTROL;
  return K;
}

UINT ButtonMessage(Qt::MouseButton B, QEvent::Type T, bool DblClicks) {
  int Kind = T == QEvent::MouseButtonPress ? 0 : T == QEvent::MouseButtonRelease ? 1 : 2;
  if (Kind == 2 && !DblClicks) Kind = 0;
  switch (B) {
    case Qt::LeftButton: return WM_LBUTTONDOWN + Kind;
    case Qt::RightButton: return WM_RBUTTONDOWN + Kind;
    case Qt::MiddleButton: return WM_MBUTTONDOWN + Kind;
    case Qt::XButton1:
    case Qt::XButton2: return WM_XBUTTONDOWN + Kind;
    default: return 0;
  }
}

bool TrackedCursor() {
  static const bool Tracked = QGuiApplication::platformName() == QLatin1String("offscreen") ||
                              QGuiApplication::platformName() == QLatin1String("minimal");
  return Tracked;
}

struct TCursorTable {
  std::map<uintptr_t, QCursor> Cursors;
  std::map<uintptr_t, uintptr_t> Stock;  // IDC_ -> handle
  uintptr_t Next = 0x20000;
};
TCursorTable& Cursors() {
  static TCursorTable* T = new TCursorTable;
  return *T;
}

const QCursor* FindCursor(HCURSOR H) {
  auto& T = Cursors();
  auto It = T.Cursors.find(reinterpret_cast<uintptr_t>(H));
  return It == T.Cursors.end() ? nullptr : &It->second;
}

void ShowCursorOn(QWidget* Widget, HCURSOR H) {
  if (const QCursor* C = FindCursor(H))
    Widget->setCursor(*C);
  else
    Widget->setCursor(Qt::BlankCursor);
}

void ApplyCursor(TWindow* W, HCURSOR H) {
  if (!W || W->Dead || !W->Client) return;
  if (g_PassedFrom && g_PassedFrom != W->Client) {
    ShowCursorOn(g_PassedFrom, H);
    // The window the pointer is over no longer shows what it last chose.
    if (TWindow* Over = WindowOfWidget(g_PassedFrom)) Over->AppliedCursor = NoCursorApplied;
  }
  if (W->AppliedCursor == H) return;
  W->AppliedCursor = H;
  ShowCursorOn(W->Client, H);
}

// Hands a mouse event to the window beneath W at its point, as the event Qt
// would have sent there; false when there is no such window.
bool PassBeneath(TWindow* W, QMouseEvent* M, QWidget* Over) {
  const QPoint G = M->globalPosition().toPoint();
  TWindow* T = WindowBeneath(W, G);
  if (!T || T == W || !T->Client) return false;
  QWidget* To = T->Client;
  if (T->Frame && !To->rect().contains(To->mapFromGlobal(G))) To = T->Frame;  // over its margins
  QMouseEvent Passed(M->type(), To->mapFromGlobal(M->globalPosition()), M->globalPosition(), M->button(),
                     M->buttons(), M->modifiers(), M->pointingDevice());
  Passed.setTimestamp(M->timestamp());
  QPointer<QWidget> Outer = g_PassedFrom;
  if (!Outer) g_PassedFrom = Over;
  QApplication::sendEvent(To, &Passed);
  g_PassedFrom = Outer;
  return true;
}

// Mouse input reaches a window only when its hit test keeps it: a window
// answering HTTRANSPARENT passes it to the window beneath. The capture
// window takes everything without being asked.
bool PassedOn(TWindow* W, QMouseEvent* M, QWidget* Over) {
  if (g_Capture || W->Kind != wkSurface) return false;
  const QPoint G = M->globalPosition().toPoint();
  const LRESULT Code = Perform(W, WM_NCHITTEST, 0, MAKELPARAM(G.x(), G.y()));
  if (W->Dead) return true;
  return Code == HTTRANSPARENT && PassBeneath(W, M, Over);
}

LPARAM KeyData(QKeyEvent* K) {
  LPARAM D = 1;
  if (K->modifiers() & Qt::AltModifier) D |= LPARAM(1) << 29;
  if (K->isAutoRepeat()) D |= LPARAM(1) << 30;
  if (K->type() == QEvent::KeyRelease) D |= LPARAM(3) << 30;
  return D;
}

bool TranslateKey(TWindow* W, QKeyEvent* K, bool Native) {
  bool Queue = InputGoesToQueue() && !Native;
  TQtEntry Entry;
  NoteModifiers(K->modifiers());
  WORD VK = QtKeyToVirtualKey(K->key(), K->modifiers());
  bool Press = K->type() == QEvent::KeyPress;
  // Alt, F10 and keys held with Alt are system keys, as on Windows.
  bool Alt = ((K->modifiers() & Qt::AltModifier) && VK != VK_MENU) || VK == VK_MENU || VK == VK_F10;
  LPARAM Data = KeyData(K);
  if (VK == VK_MENU) Data |= LPARAM(1) << 29;
  bool WasAltAlone = g_AltAlone;
  if (Press && !K->isAutoRepeat()) g_AltAlone = VK == VK_MENU;
  if (!Press && VK == VK_MENU) {
    g_AltAlone = false;
    // The release of an Alt pressed and let go alone opens the menu.
    if (WasAltAlone) Data |= AltAloneKeyData;
  }
  if (Queue) {
    // The loop takes the key and then its characters from the queue.
    auto Put = [&](UINT Msg, WPARAM WParam) {
      MSG Q;
      Q.hwnd = KeyInputTarget;
      Q.message = Msg;
      Q.wParam = WParam;
      Q.lParam = Data;
      Q.time = GetTickCount();
      Q.pt = TPoint(g_LastCursor.x(), g_LastCursor.y());
      QueueInput(Q);
    };
    if (!Press) {
      if (VK) {
        SetKey(VK, false);
        Put(Alt ? WM_SYSKEYUP : WM_KEYUP, VK);
      }
      return true;
    }
    if (VK) {
      SetKey(VK, true);
      Put(Alt ? WM_SYSKEYDOWN : WM_KEYDOWN, VK);
    }
    for (QChar C : K->text()) Put(Alt ? WM_SYSCHAR : WM_CHAR, C.unicode());
    return true;
  }
  if (K->type() == QEvent::KeyRelease) {
    if (VK) SetKey(VK, false);
    if (!VK) return !Native;
    TMessage M;
    M.Msg = Alt ? WM_SYSKEYUP : WM_KEYUP;
    M.WParam = VK;
    M.LParam = Data;
    Deliver(W, M);
    return !Native || M.WParam == 0 || W->Dead;
  }
  if (VK) {
    SetKey(VK, true);
    if (Perform(W, Alt ? CN_SYSKEYDOWN : CN_KEYDOWN, VK, Data) != 0 || W->Dead) return true;
    TMessage M;
    M.Msg = Alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    M.WParam = VK;
    M.LParam = Data;
    Deliver(W, M);
    if (W->Dead || M.WParam == 0) return true;
  }
  bool Ate = false;
  const QString Text = K->text();
  for (QChar C : Text) {
    TMessage M;
    M.Msg = Alt ? WM_SYSCHAR : WM_CHAR;
    M.WParam = C.unicode();
    M.LParam = Data;
    Deliver(W, M);
    if (W->Dead) return true;
    if (M.WParam == 0) Ate = true;
  }
  return !Native || Ate;
}

}  // namespace

void NoteCursor(const QPoint& Global) { g_LastCursor = Global; }
void NoteKey(WORD VirtKey, bool Down) { SetKey(VirtKey, Down); }

WORD QtKeyToVirtualKey(int Key, Qt::KeyboardModifiers Mods) {
  bool Pad = Mods & Qt::KeypadModifier;
  if (Key >= Qt::Key_A && Key <= Qt::Key_Z) return static_cast<WORD>('A' + (Key - Qt::Key_A));
  if (Key >= Qt::Key_0 && Key <= Qt::Key_9)
    return static_cast<WORD>(Pad ? VK_NUMPAD0 + (Key - Qt::Key_0) : '0' + (Key - Qt::Key_0));
  if (Key >= Qt::Key_F1 && Key <= Qt::Key_F24) return static_cast<WORD>(VK_F1 + (Key - Qt::Key_F1));
  switch (Key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Select: return VK_SELECT;
    case Qt::Key_Print: return VK_SNAPSHOT;
    case Qt::Key_Execute: return VK_EXECUTE;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Help: return VK_HELP;
    case Qt::Key_Clear: return VK_CLEAR;
    case Qt::Key_Meta:
    case Qt::Key_Super_L: return VK_LWIN;
    case Qt::Key_Super_R: return VK_RWIN;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_NumLock: return VK_NUMLOCK;
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_Asterisk: return Pad ? WORD(VK_MULTIPLY) : WORD('8');
    case Qt::Key_Plus: return Pad ? VK_ADD : VK_OEM_PLUS;
    case Qt::Key_Minus: return Pad ? VK_SUBTRACT : VK_OEM_MINUS;
    case Qt::Key_Period: return Pad ? VK_DECIMAL : VK_OEM_PERIOD;
    case Qt::Key_Slash: return Pad ? VK_DIVIDE : VK_OEM_2;
    case Qt::Key_Comma: return VK_OEM_COMMA;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return VK_OEM_1;
    case Qt::Key_Equal: return VK_OEM_PLUS;
    case Qt::Key_Underscore: return VK_OEM_MINUS;
    case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Greater: return VK_OEM_PERIOD;
    case Qt::Key_Question: return VK_OEM_2;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return VK_OEM_3;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return VK_OEM_4;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return VK_OEM_5;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return VK_OEM_6;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return VK_OEM_7;
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    default: return 0;
  }
}

bool TranslateInput(TWindow* W, QEvent* E, QWidget* Receiver) {
  bool Native = W->Kind == wkNative;
  switch (E->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      auto* M = static_cast<QMouseEvent*>(E);
      bool Queue = InputGoesToQueue() && !Native;
      TQtEntry Entry;
      NoteCursor(M->globalPosition().toPoint());
      NoteButtons(M->buttons());
      NoteModifiers(M->modifiers());
      if (E->type() != QEvent::MouseMove) g_AltAlone = false;
      if (Queue) {
        MSG Q;
        Q.hwnd = MouseInputTarget;
        Q.message = E->type() == QEvent::MouseMove ? WM_MOUSEMOVE : ButtonMessage(M->button(), E->type(), true);
        if (!Q.message) return true;
        Q.wParam = MouseKeys(M->buttons(), M->modifiers());
        if (Q.message >= WM_XBUTTONDOWN && Q.message <= WM_XBUTTONDBLCLK)
          Q.wParam |= static_cast<WPARAM>(M->button() == Qt::XButton1 ? 1 : 2) << 16;
        Q.time = GetTickCount();
        QPoint G = M->globalPosition().toPoint();
        Q.pt = TPoint(G.x(), G.y());
        QueueInput(Q);
        return true;
      }
      const QPoint G = M->globalPosition().toPoint();
      if (!Native && PassedOn(W, M, Receiver)) return true;
      NoteMessagePos(TPoint(G.x(), G.y()));
      QPoint P = M->position().toPoint();
      // The receiver is the frame around the client or, for item views, a viewport inside it.
      if (Receiver != W->Client)
        P = W->Client->isAncestorOf(Receiver) ? Receiver->mapTo(W->Client, P) : W->Client->mapFrom(Receiver, P);
      LPARAM Pos = MAKELPARAM(P.x(), P.y());
      WPARAM Keys = MouseKeys(M->buttons(), M->modifiers());
      UINT Msg = WM_MOUSEMOVE;
      if (E->type() != QEvent::MouseMove) {
        Msg = ButtonMessage(M->button(), E->type(), (W->ClassStyle & CS_DBLCLKS) != 0);
        if (!Msg) return !Native;
        if (Msg >= WM_XBUTTONDOWN && Msg <= WM_XBUTTONDBLCLK)
          Keys |= static_cast<WPARAM>(M->button() == Qt::XButton1 ? 1 : 2) << 16;
      } else {
        g_MouseWindow = W->Handle;
        if (!g_Capture || g_Capture == W->Handle) {
          if (Perform(W, WM_SETCURSOR, reinterpret_cast<WPARAM>(W->Handle), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)) == 0 &&
              !W->Dead)
            DefWindowProc(W->Handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(W->Handle),
                          MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
          if (W->Dead) return true;
        }
      }
      Perform(W, Msg, Keys, Pos);
      return !Native;
    }
    case QEvent::Wheel: {
      auto* Wh = static_cast<QWheelEvent*>(E);
      bool Queue = InputGoesToQueue() && !Native;
      TQtEntry Entry;
      QPoint G = Wh->globalPosition().toPoint();
      NoteCursor(G);
      NoteModifiers(Wh->modifiers());
      WPARAM Keys = MouseKeys(Wh->buttons(), Wh->modifiers());
      QPoint A = Wh->angleDelta();
      if (Queue) {
        MSG Q;
        Q.hwnd = MouseInputTarget;
        Q.lParam = MAKELPARAM(G.x(), G.y());
        Q.time = GetTickCount();
        Q.pt = TPoint(G.x(), G.y());
        if (A.y()) {
          Q.message = WM_MOUSEWHEEL;
          Q.wParam = MAKEWPARAM(static_cast<Integer>(Keys), A.y());
          QueueInput(Q);
        }
        if (A.x()) {
          Q.message = WM_MOUSEHWHEEL;
          Q.wParam = MAKEWPARAM(static_cast<Integer>(Keys), -A.x());
          QueueInput(Q);
        }
        return true;
      }
      LRESULT R = 0;
      if (A.y()) R = Perform(W, WM_MOUSEWHEEL, MAKEWPARAM(static_cast<Integer>(Keys), A.y()), MAKELPARAM(G.x(), G.y()));
      if (A.x() && !W->Dead)
        R |= Perform(W, WM_MOUSEHWHEEL, MAKEWPARAM(static_cast<Integer>(Keys), -A.x()), MAKELPARAM(G.x(), G.y()));
      return !Native || R != 0;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: return TranslateKey(W, static_cast<QKeyEvent*>(E), Native);
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
      // LParam 1: the focus moved only because the window was (de)activated.
      auto Reason = static_cast<QFocusEvent*>(E)->reason();
      LPARAM Activation = Reason == Qt::ActiveWindowFocusReason || Reason == Qt::PopupFocusReason ? 1 : 0;
      TQtEntry Entry;
      Perform(W, E->type() == QEvent::FocusIn ? WM_SETFOCUS : WM_KILLFOCUS, 0, Activation);
      return false;
    }
    case QEvent::Enter: {
      TQtEntry Entry;
      if (Receiver == W->Client) PointerLeftNc(W);
      if (W->Dead) return false;
      Perform(W, CM_MOUSEENTER, 0, 0);
      return false;
    }
    case QEvent::Leave: {
      TQtEntry Entry;
      if (Receiver == W->Client) PointerLeftClient(W);
      if (W->Dead) return false;
      Perform(W, CM_MOUSELEAVE, 0, 0);
      return false;
    }
    // The layer's own hint window follows the mouse moves; the platform's tool tips never show.
    case QEvent::ToolTip: return true;
    case QEvent::ContextMenu: {
      auto* C = static_cast<QContextMenuEvent*>(E);
      TQtEntry Entry;
      LPARAM Pos = C->reason() == QContextMenuEvent::Keyboard ? LPARAM(-1)
                                                               : MAKELPARAM(C->globalPos().x(), C->globalPos().y());
      LRESULT R = Perform(W, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(W->Handle), Pos);
      return !Native || R != 0;
    }
    default: return false;
  }
}

WideString (*TooltipText)(HWND Wnd, TPoint Point) = nullptr;

const QCursor* CursorOf(HCURSOR Cursor) { return FindCursor(Cursor); }

void CaptureWindowGone(TWindow* W) {
  if (g_Capture == W->Handle) {
    if (W->Client) W->Client->releaseMouse();
    g_Capture = nullptr;
  }
}

void CursorWindowGone(TWindow* W) {
  if (g_MouseWindow == W->Handle) g_MouseWindow = nullptr;
}

}  // namespace gtui

using namespace gtui;

HWND SetCapture(HWND Wnd) {
  HWND Old = GetCapture();
  TWindow* W = Lookup(Wnd);
  // A window without a visible part (AllocateHWnd) holds the capture only
  // logically: input is routed to it through the queue.
  if (!W || Old == Wnd) return Old;
  if (TWindow* O = Lookup(Old)) {
    g_Capture = nullptr;
    if (O->Client) O->Client->releaseMouse();
    Perform(O, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(Wnd));
    if (W->Dead) return Old;
  }
  g_Capture = Wnd;
  if (W->Client && W->Client->isVisible()) W->Client->grabMouse();
  return Old;
}

BOOL ReleaseCapture() {
  TWindow* O = Lookup(g_Capture);
  g_Capture = nullptr;
  if (O) {
    if (O->Client) O->Client->releaseMouse();
    Perform(O, WM_CAPTURECHANGED, 0, 0);
  }
  return TRUE;
}

HWND GetCapture() { return Lookup(g_Capture) ? g_Capture : nullptr; }

BOOL GetCursorPos(TPoint* Point) {
  if (!Point) return FALSE;
  InitWindowing();
  QPoint P = TrackedCursor() ? g_LastCursor : QCursor::pos();
  *Point = TPoint(P.x(), P.y());
  return TRUE;
}

BOOL SetCursorPos(Integer X, Integer Y) {
  InitWindowing();
  g_LastCursor = QPoint(X, Y);
  if (!TrackedCursor()) QCursor::setPos(X, Y);
  return TRUE;
}

SHORT GetKeyState(Integer VirtKey) {
  uint8_t K = g_Keys[VirtKey & 0xFF];
  int V = (K & 0x80 ? 0x8000 : 0) | (K & 0x01);
  return static_cast<SHORT>(static_cast<uint16_t>(V));
}

SHORT GetAsyncKeyState(Integer VirtKey) {
  InitWindowing();
  bool Down;
  switch (VirtKey) {
    case VK_LBUTTON: Down = QGuiApplication::mouseButtons() & Qt::LeftButton; break;
    case VK_RBUTTON: Down = QGuiApplication::mouseButtons() & Qt::RightButton; break;
    case VK_MBUTTON: Down = QGuiApplication::mouseButtons() & Qt::MiddleButton; break;
    case VK_SHIFT: Down = QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier; break;
    case VK_CONTROL: Down = QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier; break;
    case VK_MENU: Down = QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier; break;
    default: Down = g_Keys[VirtKey & 0xFF] & 0x80; break;
  }
  return Down ? static_cast<SHORT>(static_cast<uint16_t>(0x8000)) : 0;
}

BOOL GetKeyboardState(BYTE* KeyState) {
  if (!KeyState) return FALSE;
  for (int i = 0; i < 256; ++i) KeyState[i] = g_Keys[i];
  return TRUE;
}

UINT GetDoubleClickTime() {
  InitWindowing();
  return static_cast<UINT>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

HCURSOR LoadCursor(HINSTANCE Instance, uintptr_t CursorId) {
  if (Instance) return nullptr;  // cursor resources are registered by the program itself
  InitWindowing();
  Qt::CursorShape Shape;
  switch (CursorId) {
    case IDC_ARROW: Shape = Qt::ArrowCursor; break;
    case IDC_IBEAM: Shape = Qt::IBeamCursor; break;
    case IDC_WAIT: Shape = Qt::WaitCursor; break;
    case IDC_CROSS: Shape = Qt::CrossCursor; break;
    case IDC_UPARROW: Shape = Qt::UpArrowCursor; break;
    case IDC_SIZENWSE: Shape = Qt::SizeFDiagCursor; break;
    case IDC_SIZENESW: Shape = Qt::SizeBDiagCursor; break;
    case IDC_SIZEWE: Shape = Qt::SizeHorCursor; break;
    case IDC_SIZENS: Shape = Qt::SizeVerCursor; break;
    case IDC_SIZEALL: Shape = Qt::SizeAllCursor; break;
    case IDC_NO: Shape = Qt::ForbiddenCursor; break;
    case IDC_HAND: Shape = Qt::PointingHandCursor; break;
    case IDC_APPSTARTING: Shape = Qt::BusyCursor; break;
    case IDC_HELP: Shape = Qt::WhatsThisCursor; break;
    default: return nullptr;
  }
  auto& T = Cursors();
  auto It = T.Stock.find(CursorId);
  if (It != T.Stock.end()) return reinterpret_cast<HCURSOR>(It->second);
  uintptr_t H = T.Next;
  T.Next += 4;
  T.Cursors.emplace(H, QCursor(Shape));
  T.Stock[CursorId] = H;
  return reinterpret_cast<HCURSOR>(H);
}

HCURSOR GtCreateCursor(const uint32_t* Pixels, Integer Width, Integer Height, Integer HotX, Integer HotY) {
  if (!Pixels || Width <= 0 || Height <= 0 || Width > 256 || Height > 256) return nullptr;
  InitWindowing();
  QImage Img(Width, Height, QImage::Format_ARGB32);
  for (Integer y = 0; y < Height; ++y)
    for (Integer x = 0; x < Width; ++x) {
      uint32_t P = Pixels[static_cast<size_t>(y) * Width + x];  // B, G, R, A bytes
      Img.setPixel(x, y, qRgba((P >> 16) & 0xFF, (P >> 8) & 0xFF, P & 0xFF, (P >> 24) & 0xFF));
    }
  auto& T = Cursors();
  uintptr_t H = T.Next;
  T.Next += 4;
  T.Cursors.emplace(H, QCursor(QPixmap::fromImage(Img), HotX, HotY));
  return reinterpret_cast<HCURSOR>(H);
}

BOOL DestroyCursor(HCURSOR Cursor) {
  auto& T = Cursors();
  uintptr_t H = reinterpret_cast<uintptr_t>(Cursor);
  for (auto& S : T.Stock)
    if (S.second == H) return TRUE;
  return T.Cursors.erase(H) ? TRUE : FALSE;
}

HCURSOR SetCursor(HCURSOR Cursor) {
  HCURSOR Old = g_Cursor;
  g_Cursor = Cursor;
  TWindow* W = Lookup(g_Capture);
  if (!W) W = Lookup(g_MouseWindow);
  ApplyCursor(W, Cursor);
  return Old;
}

HCURSOR GetCursor() { return g_Cursor; }

namespace gtui {

TWindow* WindowBeneath(TWindow* W, const QPoint& Global) {
  if (!W->Parent) return nullptr;
  QWidget* Self = OuterWidget(W);
  QWidget* Host = Self ? Self->parentWidget() : nullptr;
  if (Host) {
    // Siblings are stacked in the order of the host's children, the top one last.
    const QObjectList& Kids = Host->children();
    for (qsizetype i = Kids.indexOf(Self) - 1; i >= 0; --i) {
      auto* S = qobject_cast<QWidget*>(Kids[i]);
      if (!S || S->isWindow() || !S->isVisible() || S->testAttribute(Qt::WA_TransparentForMouseEvents)) continue;
      const QPoint L = S->mapFromGlobal(Global);
      if (!S->rect().contains(L) || (!S->mask().isEmpty() && !S->mask().contains(L))) continue;
      QWidget* Deep = S->childAt(L);
      if (TWindow* T = WindowOfWidget(Deep ? Deep : S)) return T;
    }
  }
  return W->Parent;
}

bool TranslateNcInput(TWindow* W, QEvent* E) {
  // In a loop of the program, input is queued by its screen point like any other.
  if (InputGoesToQueue()) return TranslateInput(W, E, W->Frame);
  auto* M = static_cast<QMouseEvent*>(E);
  TQtEntry Entry;
  const QPoint G = M->globalPosition().toPoint();
  NoteCursor(G);
  NoteButtons(M->buttons());
  NoteModifiers(M->modifiers());
  const LPARAM Pt = MAKELPARAM(G.x(), G.y());
  const LRESULT Code = Perform(W, WM_NCHITTEST, 0, Pt);
  if (W->Dead) return true;
  if (Code == HTTRANSPARENT && !g_Capture && PassBeneath(W, M, W->Frame)) return true;
  W->InNc = true;
  UINT Msg = WM_NCMOUSEMOVE;
  if (E->type() != QEvent::MouseMove) {
    // Non-client messages keep the order of the client ones, 0x160 below them.
    UINT Client = ButtonMessage(M->button(), E->type(), (W->ClassStyle & CS_DBLCLKS) != 0);
    if (!Client || Client >= WM_XBUTTONDOWN) return true;
    Msg = Client - (WM_LBUTTONDOWN - WM_NCLBUTTONDOWN);
  }
  Perform(W, Msg, static_cast<WPARAM>(Code), Pt);
  return true;
}

void PointerLeftNc(TWindow* W) {
  if (!W || !W->InNc) return;
  W->InNc = false;
  if (W->TrackNcLeave) {
    W->TrackNcLeave = false;
    PostMessage(W->Handle, WM_NCMOUSELEAVE, 0, 0);
  }
}

void PointerLeftClient(TWindow* W) {
  if (W && W->TrackLeave) {
    W->TrackLeave = false;
    PostMessage(W->Handle, WM_MOUSELEAVE, 0, 0);
  }
}

}  // namespace gtui

BOOL TrackMouseEvent(TRACKMOUSEEVENT* Track) {
  if (!Track || Track->cbSize != sizeof(TRACKMOUSEEVENT)) return FALSE;
  TWindow* W = Lookup(Track->hwndTrack);
  if (!W || !W->Client) return FALSE;
  const bool Nc = (Track->dwFlags & TME_NONCLIENT) != 0;
  if (!(Track->dwFlags & TME_LEAVE)) return TRUE;  // hovering is not reported
  bool& Flag = Nc ? W->TrackNcLeave : W->TrackLeave;
  if (Track->dwFlags & TME_CANCEL) {
    Flag = false;
    return TRUE;
  }
  Flag = true;
  // Not there now: the leave comes at once.
  const bool There = Nc ? W->InNc : W->Client->underMouse();
  if (!There) {
    Flag = false;
    PostMessage(W->Handle, Nc ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0);
  }
  return TRUE;
}
