// Reparenting, child lookup by point, placement and window shapes.
#include <QBitmap>
#include <QGuiApplication>
#include <QRegion>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/ui/private/window.h"

#include <xcb/xcb.h>

using namespace gtui;

// The mask that stands for an empty region: Qt reads an empty mask as none.
static const QRegion EmptyShape(-1, -1, 1, 1);

HWND SetParent(HWND Child, HWND NewParent) {
  TWindow* W = Lookup(Child);
  TWindow* P = NewParent ? Lookup(NewParent) : nullptr;
  if (!W || W->Kind == wkMessage || (NewParent && !P)) return nullptr;
  for (TWindow* A = P; A; A = A->Parent)
    if (A == W) return nullptr;  // a window cannot go inside itself
  TWindow* Old = W->Parent;
  HWND OldHandle = Old ? Old->Handle : nullptr;
  if (Old == P) return OldHandle;
  TRect Screen;
  GetWindowRect(Child, &Screen);
  if (Old) Old->Children.erase(std::remove(Old->Children.begin(), Old->Children.end(), W), Old->Children.end());
  W->Parent = P;
  bool Visible = (W->Style & WS_VISIBLE) != 0;
  if (P) {
    P->Children.push_back(W);
    W->Style |= WS_CHILD;
    W->Style &= ~static_cast<DWORD>(WS_POPUP);
    W->Frame->setParent(P->Client, Qt::Widget);
  } else {
    W->Style &= ~static_cast<DWORD>(WS_CHILD);
    W->Frame->setParent(nullptr, TopLevelFlags(W));
  }
  // The window stays where it was on the screen, in its new coordinates.
  TPoint TopLeft(Screen.Left, Screen.Top);
  if (P) ScreenToClient(P->Handle, &TopLeft);
  W->Rect = TRect(TopLeft.X, TopLeft.Y, TopLeft.X + Screen.Width(), TopLeft.Y + Screen.Height());
  W->Frame->setGeometry(W->Rect.Left, W->Rect.Top, W->Rect.Width(), W->Rect.Height());
  if (Visible) W->Frame->show();
  return OldHandle;
}

HWND ChildWindowFromPointEx(HWND Parent, TPoint Point, UINT Flags) {
  TWindow* P = Lookup(Parent);
  if (!P) return nullptr;
  TRect Client;
  GetClientRect(Parent, &Client);
  if (!PtInRect(Client, Point)) return nullptr;
  for (auto It = P->Children.rbegin(); It != P->Children.rend(); ++It) {
    TWindow* K = *It;
    if (K->Dead || !PtInRect(K->Rect, Point)) continue;
    if ((Flags & CWP_SKIPINVISIBLE) && !(K->Style & WS_VISIBLE)) continue;
    if ((Flags & CWP_SKIPDISABLED) && (K->Style & WS_DISABLED)) continue;
    if ((Flags & CWP_SKIPTRANSPARENT) && (K->ExStyle & WS_EX_TRANSPARENT)) continue;
    return K->Handle;
  }
  return Parent;
}

BOOL GetWindowPlacement(HWND Wnd, WINDOWPLACEMENT* Placement) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Frame || !Placement) return FALSE;
  Qt::WindowStates S = W->Frame->windowState();
  Placement->flags = 0;
  if (S & Qt::WindowMinimized) {
    Placement->showCmd = SW_SHOWMINIMIZED;
    // Qt keeps the maximised state under the minimised one.
    if (S & Qt::WindowMaximized) Placement->flags |= WPF_RESTORETOMAXIMIZED;
  } else {
    Placement->showCmd = (S & Qt::WindowMaximized) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  }
  QRect N = W->TopLevel() ? W->Frame->normalGeometry() : W->Frame->geometry();
  if (!N.isValid()) N = W->Frame->geometry();
  Placement->rcNormalPosition = TRect(N.x(), N.y(), N.x() + N.width(), N.y() + N.height());
  Placement->ptMinPosition = TPoint(-1, -1);
  Placement->ptMaxPosition = TPoint(-1, -1);
  return TRUE;
}

Integer SetWindowRgn(HWND Wnd, HRGN Region, BOOL Redraw) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Frame) return 0;
  if (!Region) {
    W->Frame->clearMask();
    W->Frame->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    return 1;
  }
  // Rows of spans of the region over the window's rectangle.
  QRegion Shape;
  const Integer Width = W->Rect.Width(), Height = W->Rect.Height();
  for (Integer y = 0; y < Height; ++y) {
    Integer Start = -1;
    for (Integer x = 0; x <= Width; ++x) {
      bool In = x < Width && PtInRegion(Region, x, y);
      if (In && Start < 0) Start = x;
      if (!In && Start >= 0) {
        Shape += QRect(Start, y, x - Start, 1);
        Start = -1;
      }
    }
  }
  DeleteObject(Region);
  if (Shape.isEmpty()) {
    // An empty mask means "no mask" to Qt: a mask outside the window hides
    // every pixel, and the window lets every click through.
    W->Frame->setMask(EmptyShape);
    W->Frame->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  } else {
    W->Frame->setMask(Shape);
    W->Frame->setAttribute(Qt::WA_TransparentForMouseEvents, false);
  }
  if (Redraw) W->Frame->update();
  return 1;
}

Integer GetWindowRgn(HWND Wnd, HRGN Region) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Frame || !Region) return ERROR;
  const QRegion Mask = W->Frame->mask();
  if (Mask.isEmpty()) return ERROR;
  SetRectRgn(Region, 0, 0, 0, 0);
  if (Mask == EmptyShape) return NULLREGION;
  for (const QRect& R : Mask) {
    HRGN Part = CreateRectRgn(R.x(), R.y(), R.x() + R.width(), R.y() + R.height());
    CombineRgn(Region, Region, Part, RGN_OR);
    DeleteObject(Part);
  }
  return Mask.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

namespace gtui {

void ApplyTopLevelFlags(TWindow* W) {
  if (!W || W->Dead || !W->TopLevel() || !W->Frame || W->Kind != wkSurface) return;
  Qt::WindowFlags F = TopLevelFlags(W);
  QWidget* QtOwner = W->Owner && W->Owner->Kind == wkSurface ? W->Owner->Frame : nullptr;
  const bool Visible = W->Frame->isVisible();
  const Qt::WindowFlags Rebuild = Qt::BypassWindowManagerHint | Qt::WindowType_Mask;
  W->Frame->setAttribute(Qt::WA_ShowWithoutActivating, NeverActivated(W));
  if (W->Frame->parentWidget() != QtOwner || (W->Frame->windowFlags() & Rebuild) != (F & Rebuild)) {
    // A new owner or window type needs a new platform window.
    W->Frame->setParent(QtOwner, F);
    W->Frame->setGeometry(W->Rect.Left, W->Rect.Top, W->Rect.Width(), W->Rect.Height());
    if (Visible) W->Frame->show();
  } else if (W->Frame->windowFlags() != F) {
    // Staying on top and the like change on the same platform window: the
    // window is neither re-created nor hidden.
    W->Frame->overrideWindowFlags(F);
    if (QWindow* Q = W->Frame->windowHandle()) Q->setFlags(F);
  }
}

}  // namespace gtui

namespace toplevel_x11 {
// The platform plugin of this Qt leaves the compositor's opacity property
// unset, so the layer writes it on the window itself.
void SetX11Opacity(QWindow* Window, double Alpha) {
  // Other platforms (the headless one among them) may answer the X11
  // interface without a connection behind it.
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* X = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!X || !Window || !Window->handle()) return;
  xcb_connection_t* C = X->connection();
  if (!C) return;
  static const char Name[] = "_NET_WM_WINDOW_OPACITY";
  xcb_intern_atom_reply_t* Atom =
      xcb_intern_atom_reply(C, xcb_intern_atom(C, 0, sizeof(Name) - 1, Name), nullptr);
  if (!Atom) return;
  const auto Id = static_cast<xcb_window_t>(Window->winId());
  if (Alpha >= 1.0) {
    xcb_delete_property(C, Id, Atom->atom);
  } else {
    uint32_t Value = static_cast<uint32_t>(std::llround(std::clamp(Alpha, 0.0, 1.0) * 4294967295.0));
    xcb_change_property(C, XCB_PROP_MODE_REPLACE, Id, Atom->atom, XCB_ATOM_CARDINAL, 32, 1, &Value);
  }
  free(Atom);
  xcb_flush(C);
}
}  // namespace toplevel_x11

using toplevel_x11::SetX11Opacity;

void gtui::LayeredStyleRemoved(TWindow* W) {
  if (!W || !W->Frame || !W->TopLevel()) return;
  W->Frame->setWindowOpacity(1.0);
  SetX11Opacity(W->Frame->windowHandle(), 1.0);
}

BOOL UpdateLayeredWindow(HWND Wnd, HDC, const TPoint* DstPt, const TSize* Size, HDC, const TPoint*, COLORREF,
                         const BLENDFUNCTION* Blend, DWORD Flags) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Frame || !W->TopLevel() || !(W->ExStyle & WS_EX_LAYERED)) return FALSE;
  if (Flags & ULW_COLORKEY) return FALSE;
  if ((Flags & ULW_ALPHA) && (!Blend || Blend->BlendOp != AC_SRC_OVER || (Blend->AlphaFormat & AC_SRC_ALPHA)))
    return FALSE;
  if (DstPt || Size) {
    TRect R = W->Rect;
    if (DstPt) R = TRect(DstPt->X, DstPt->Y, DstPt->X + R.Width(), DstPt->Y + R.Height());
    if (Size) R = TRect(R.Left, R.Top, R.Left + Size->cx, R.Top + Size->cy);
    ApplyRect(W, R, false);
    if (W->Dead || !W->Frame) return FALSE;
  }
  const double Alpha = (Flags & ULW_ALPHA) ? Blend->SourceConstantAlpha / 255.0 : 1.0;
  W->Frame->setWindowOpacity(Alpha);
  SetX11Opacity(W->Frame->windowHandle(), Alpha);
  return TRUE;
}
