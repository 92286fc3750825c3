// Helpers for controls whose window is a Qt widget (buttons, edits, lists ...).
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include "platform/ui/controls.h"
#include "platform/ui/private/window.h"

namespace gtui {

inline QString ToQString(const WideString& S) { return QString::fromStdU16String(S); }
inline WideString FromQString(const QString& S) { return S.toStdU16String(); }

// The face, size and styles of a class-library font.
QFont ToQFont(TFont* Font);

// Makes the window of a native control around Widget (which the window then
// owns) and stores its handle in *Handle before any message is sent.
void CreateNativeWindow(const TCreateParams& Params, QWidget* Widget, const TWndMethod& Proc, HWND* Handle,
                        TFont* Font);

// The widget of a native control's window, or nullptr (no window yet, or another kind).
template <class W>
W* NativeOf(HWND Wnd) {
  TWindow* Win = Lookup(Wnd);
  if (!Win || Win->Kind != wkNative) return nullptr;
  return dynamic_cast<W*>(Win->Client);
}

// The client widget of any window (native or surface), for widgets placed inside it.
inline QWidget* ClientWidgetOf(HWND Wnd) {
  TWindow* Win = Lookup(Wnd);
  return Win ? Win->Client : nullptr;
}

// Qt signals arrive from outside any window procedure: this runs a handler
// with the layer's bookkeeping and hands exceptions to the application.
template <class F>
void Guarded(F&& Fn) {
  TQtEntry Entry;
  try {
    Fn();
  } catch (...) {
    HandleException(std::current_exception());
  }
}

}  // namespace gtui
