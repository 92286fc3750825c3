// Synthetic input through the platform's event delivery, for tests.
#include "platform/ui/testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScrollBar>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWheelEvent>
#include <QWindow>

#include "platform/ui/forms.h"
#include "platform/ui/private/hooks.h"
#include "platform/ui/private/window.h"

// The platform's own entry points for input that did not come from the window system.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                      Qt::KeyboardModifiers mods, int timestamp);
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* w, QEvent::Type t, int k, Qt::KeyboardModifiers mods,
                                    const QString& text, bool autorep, ushort count);
QT_END_NAMESPACE

using namespace gtui;

namespace {

Qt::MouseButtons g_Buttons;
int g_Timestamp = 1000;

Qt::KeyboardModifiers Modifiers(Cardinal Mods) {
  Qt::KeyboardModifiers M;
  if (Mods & gmkShift) M |= Qt::ShiftModifier;
  if (Mods & gmkCtrl) M |= Qt::ControlModifier;
  if (Mods & gmkAlt) M |= Qt::AltModifier;
  return M;
}

Qt::MouseButton QtButton(TGtMouseButton B) {
  switch (B) {
    case gmbLeft: return Qt::LeftButton;
    case gmbRight: return Qt::RightButton;
    case gmbMiddle: return Qt::MiddleButton;
    default: return Qt::NoButton;
  }
}

struct TTarget {
  QWidget* Client = nullptr;
  QWidget* Top = nullptr;
  QWindow* Window = nullptr;
};

bool Target(HWND Wnd, TTarget& T) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Client) return false;
  T.Client = W->Client;
  T.Top = W->Client->window();
  T.Window = T.Top->windowHandle();
  return T.Window != nullptr;
}

void Settle() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

bool SendMouse(const TTarget& T, QEvent::Type Type, Qt::MouseButton Button, Integer X, Integer Y, Cardinal Mods) {
  QPoint Local = T.Client->mapTo(T.Top, QPoint(X, Y));
  QPoint Global = T.Client->mapToGlobal(QPoint(X, Y));
  if (Type == QEvent::MouseButtonPress) g_Buttons |= Button;
  if (Type == QEvent::MouseButtonRelease) g_Buttons &= ~Button;
  g_Timestamp += 10;
  qt_handleMouseEvent(T.Window, QPointF(Local), QPointF(Global), g_Buttons, Button, Type, Modifiers(Mods), g_Timestamp);
  Settle();
  return true;
}

int QtKeyOf(WORD VK, bool& Keypad) {
  Keypad = false;
  if ((VK >= 'A' && VK <= 'Z') || (VK >= '0' && VK <= '9')) return VK;
  if (VK >= VK_F1 && VK <= VK_F12) return Qt::Key_F1 + (VK - VK_F1);
  if (VK >= VK_NUMPAD0 && VK <= VK_NUMPAD9) {
    Keypad = true;
    return Qt::Key_0 + (VK - VK_NUMPAD0);
  }
  switch (VK) {
    case VK_BACK: return Qt::Key_Backspace;
    case VK_TAB: return Qt::Key_Tab;
    case VK_RETURN: return Qt::Key_Return;
    case VK_SHIFT: return Qt::Key_Shift;
    case VK_CONTROL: return Qt::Key_Control;
    case VK_MENU: return Qt::Key_Alt;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_SPACE: return Qt::Key_Space;
    case VK_PRIOR: return Qt::Key_PageUp;
    case VK_NEXT: return Qt::Key_PageDown;
    case VK_END: return Qt::Key_End;
    case VK_HOME: return Qt::Key_Home;
    case VK_LEFT: return Qt::Key_Left;
    case VK_UP: return Qt::Key_Up;
    case VK_RIGHT: return Qt::Key_Right;
    case VK_DOWN: return Qt::Key_Down;
    case VK_INSERT: return Qt::Key_Insert;
    case VK_DELETE: return Qt::Key_Delete;
    case VK_ADD: Keypad = true; return Qt::Key_Plus;
    case VK_SUBTRACT: Keypad = true; return Qt::Key_Minus;
    case VK_MULTIPLY: Keypad = true; return Qt::Key_Asterisk;
    case VK_DIVIDE: Keypad = true; return Qt::Key_Slash;
    case VK_OEM_PLUS: return Qt::Key_Equal;
    case VK_OEM_MINUS: return Qt::Key_Minus;
    case VK_OEM_COMMA: return Qt::Key_Comma;
    case VK_OEM_PERIOD: return Qt::Key_Period;
    default: return 0;
  }
}

enum TGrabOf { goClient, goSurface, goWindow };

bool Grab(HWND Wnd, TGrabOf What, std::vector<uint32_t>& Pixels, Integer& Width, Integer& Height) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Client) return false;
  Settle();
  QImage Img;
  if (What == goWindow) {
    Img = W->Frame->grab(W->Frame->rect()).toImage().convertToFormat(QImage::Format_RGB32);
  } else if (What == goSurface) {
    if (!W->Surface) return false;
    Img = W->Surface->Image;
  } else {
    Img = W->Client->grab(W->Client->rect()).toImage().convertToFormat(QImage::Format_RGB32);
  }
  if (Img.isNull()) return false;
  Width = Img.width();
  Height = Img.height();
  Pixels.resize(static_cast<size_t>(Width) * static_cast<size_t>(Height));
  for (Integer y = 0; y < Height; ++y) {
    const auto* Row = reinterpret_cast<const uint32_t*>(Img.constScanLine(y));
    for (Integer x = 0; x < Width; ++x) Pixels[static_cast<size_t>(y) * Width + x] = Row[x] & 0xFFFFFF;
  }
  return true;
}

}  // namespace

bool GtTestMouse(HWND Wnd, TGtMouseAction Action, TGtMouseButton Button, Integer X, Integer Y, Cardinal Mods) {
  TTarget T;
  if (!Target(Wnd, T)) return false;
  Qt::MouseButton B = QtButton(Button);
  switch (Action) {
    case gmaPress: return SendMouse(T, QEvent::MouseButtonPress, B, X, Y, Mods);
    case gmaRelease: return SendMouse(T, QEvent::MouseButtonRelease, B, X, Y, Mods);
    case gmaMove: return SendMouse(T, QEvent::MouseMove, Qt::NoButton, X, Y, Mods);
    case gmaDoubleClick:
      g_Timestamp += 1000;
      SendMouse(T, QEvent::MouseButtonPress, B, X, Y, Mods);
      SendMouse(T, QEvent::MouseButtonRelease, B, X, Y, Mods);
      SendMouse(T, QEvent::MouseButtonPress, B, X, Y, Mods);
      return SendMouse(T, QEvent::MouseButtonRelease, B, X, Y, Mods);
  }
  return false;
}

bool GtTestClick(HWND Wnd, TGtMouseButton Button, Integer X, Integer Y, Cardinal Mods) {
  g_Timestamp += 1000;
  if (!GtTestMouse(Wnd, gmaPress, Button, X, Y, Mods)) return false;
  // The press may have destroyed the window (a button that closes its form).
  if (!IsWindow(Wnd)) return true;
  return GtTestMouse(Wnd, gmaRelease, Button, X, Y, Mods);
}

bool GtTestWheel(HWND Wnd, Integer X, Integer Y, Integer Delta, Cardinal Mods) {
  TTarget T;
  if (!Target(Wnd, T)) return false;
  QPoint Global = T.Client->mapToGlobal(QPoint(X, Y));
  QWidget* Receiver = T.Client->childAt(X, Y);
  if (!Receiver) Receiver = T.Client;
  QPoint Local = Receiver->mapFromGlobal(Global);
  QWheelEvent E(QPointF(Local), QPointF(Global), QPoint(), QPoint(0, Delta), g_Buttons, Modifiers(Mods),
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(Receiver, &E);
  Settle();
  return true;
}

bool GtTestKey(HWND Wnd, bool Press, WORD VirtKey, Cardinal Mods, WideChar Text) {
  TTarget T;
  if (!Target(Wnd, T)) return false;
  bool Keypad = false;
  int Key = QtKeyOf(VirtKey, Keypad);
  if (!Key) return false;
  Qt::KeyboardModifiers M = Modifiers(Mods);
  if (Keypad) M |= Qt::KeypadModifier;
  QString S = Text ? QString(QChar(Text)) : QString();
  qt_handleKeyEvent(T.Window, Press ? QEvent::KeyPress : QEvent::KeyRelease, Key, M, S, false, 1);
  Settle();
  return true;
}

bool GtTestGrab(HWND Wnd, std::vector<uint32_t>& Pixels, Integer& Width, Integer& Height) {
  return Grab(Wnd, goClient, Pixels, Width, Height);
}

bool GtTestSurface(HWND Wnd, std::vector<uint32_t>& Pixels, Integer& Width, Integer& Height) {
  return Grab(Wnd, goSurface, Pixels, Width, Height);
}

bool GtTestPumpUntil(const std::function<bool()>& Done, Integer TimeoutMs) {
  QElapsedTimer Clock;
  Clock.start();
  for (;;) {
    Application->ProcessMessages();
    if (Done()) return true;
    if (Clock.elapsed() >= TimeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
}

void GtTestPump(Integer Ms) {
  GtTestPumpUntil([] { return false; }, Ms);
}

bool GtTestActivate(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Frame) return false;
  QWidget* Top = W->Frame->window();
  Top->activateWindow();
  if (QWindow* Win = Top->windowHandle()) Win->requestActivate();
  return GtTestPumpUntil([Top] { return Top->isActiveWindow(); }, 1000);
}

bool GtTestHasRealDisplay() {
  InitWindowing();
  QString P = QGuiApplication::platformName();
  return P == QLatin1String("xcb") || P.startsWith(QLatin1String("wayland"));
}

bool GtTestScreenPixels(Integer X, Integer Y, Integer Width, Integer Height, std::vector<uint32_t>& Pixels) {
  InitWindowing();
  QScreen* S = QGuiApplication::primaryScreen();
  if (!S) return false;
  QImage Img = S->grabWindow(0, X, Y, Width, Height).toImage().convertToFormat(QImage::Format_RGB32);
  if (Img.width() != Width || Img.height() != Height) return false;
  Pixels.resize(static_cast<size_t>(Width) * static_cast<size_t>(Height));
  for (Integer y = 0; y < Height; ++y) {
    const auto* Row = reinterpret_cast<const uint32_t*>(Img.constScanLine(y));
    for (Integer x = 0; x < Width; ++x) Pixels[static_cast<size_t>(y) * Width + x] = Row[x] & 0xFFFFFF;
  }
  return true;
}

bool GtTestScrollBarMouse(HWND Wnd, Integer Bar, TGtMouseAction Action, Integer X, Integer Y) {
  TWindow* W = Lookup(Wnd);
  if (!W || (Bar != SB_HORZ && Bar != SB_VERT) || !W->Bars[Bar].Bar || !W->Bars[Bar].Visible) return false;
  TTarget T;
  T.Client = W->Bars[Bar].Bar;
  T.Top = T.Client->window();
  T.Window = T.Top->windowHandle();
  if (!T.Window) return false;
  switch (Action) {
    case gmaPress: return SendMouse(T, QEvent::MouseButtonPress, Qt::LeftButton, X, Y, 0);
    case gmaRelease: return SendMouse(T, QEvent::MouseButtonRelease, Qt::LeftButton, X, Y, 0);
    case gmaMove: return SendMouse(T, QEvent::MouseMove, Qt::NoButton, X, Y, 0);
    default: return false;
  }
}

Integer GtTestScrollBarLength(HWND Wnd, Integer Bar) {
  TWindow* W = Lookup(Wnd);
  if (!W || (Bar != SB_HORZ && Bar != SB_VERT) || !W->Bars[Bar].Bar || !W->Bars[Bar].Visible) return 0;
  QScrollBar* B = W->Bars[Bar].Bar;
  return Bar == SB_VERT ? B->height() : B->width();
}

WideString GtTestTooltip(HWND Wnd, Integer X, Integer Y) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Client || !gtui::TooltipText) return WideString();
  return gtui::TooltipText(Wnd, TPoint(X, Y));
}

bool GtTestHookFilterInstalled() { return gtui::HookFilterInstalled(); }

uint64_t GtTestNativeWindowId(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Frame) return 0;
  QWindow* Q = W->Frame->window()->windowHandle();
  return Q ? static_cast<uint64_t>(Q->winId()) : 0;
}

double GtTestWindowOpacity(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  return W && W->Frame ? W->Frame->window()->windowOpacity() : 0.0;
}

bool GtTestGrabWindow(HWND Wnd, std::vector<uint32_t>& Pixels, Integer& Width, Integer& Height) {
  return Grab(Wnd, goWindow, Pixels, Width, Height);
}

void GtTestDesktopThemeChanged() {
  for (QWidget* W : QApplication::topLevelWidgets()) {
    QEvent E(QEvent::ThemeChange);
    QCoreApplication::sendEvent(W, &E);
  }
}

namespace gtui {
extern Integer g_BeepCount;
}  // namespace gtui

Integer GtTestBeepCount() { return gtui::g_BeepCount; }
