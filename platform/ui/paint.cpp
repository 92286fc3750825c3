// Painting: window surfaces, device contexts of windows, update regions and WM_PAINT.
#include <QPainter>

#include <map>

#include "platform/ui/private/window.h"

namespace gtui {
namespace {

class TNullSurface : public TGdiSurface {
 public:
  bool LockPixels(TGdiPixels&) override { return false; }
  void UnlockPixels(const TRect&) override {}
};

struct TDCEntry {
  std::shared_ptr<TGdiSurface> Surface;
  HWND Wnd = nullptr;
};
// Held for the whole run (never destroyed): DCs may be released at any time.
auto& g_DCs = *new std::map<HDC, TDCEntry>;

QRect ToQRect(const TRect& R) { return QRect(R.Left, R.Top, R.Width(), R.Height()); }
TRect ToTRect(const QRect& R) { return TRect(R.x(), R.y(), R.x() + R.width(), R.y() + R.height()); }

QRect ClientQRect(TWindow* W) { return QRect(QPoint(0, 0), W->ClientInFrame().size()); }

HRGN MakeHRGN(const QRegion& R) {
  HRGN Result = CreateRectRgn(0, 0, 0, 0);
  for (const QRect& Q : R) {
    HRGN Part = CreateRectRgn(Q.x(), Q.y(), Q.x() + Q.width(), Q.y() + Q.height());
    CombineRgn(Result, Result, Part, RGN_OR);
    DeleteObject(Part);
  }
  return Result;
}

// A region handed to the window calls. Complex regions are read row by row
// (the GDI layer has no span export); window calls rarely get them.
QRegion FromHRGN(HRGN R) {
  TRect Box;
  Integer Kind = GetRgnBox(R, &Box);
  if (Kind == NULLREGION || Kind == ERROR) return QRegion();
  if (Kind == SIMPLEREGION) return QRegion(ToQRect(Box));
  QRegion Out;
  for (Integer Y = Box.Top; Y < Box.Bottom; ++Y) {
    Integer X = Box.Left;
    while (X < Box.Right) {
      while (X < Box.Right && !PtInRegion(R, X, Y)) ++X;
      Integer Start = X;
      while (X < Box.Right && PtInRegion(R, X, Y)) ++X;
      if (X > Start) Out += QRect(Start, Y, X - Start, 1);
    }
  }
  return Out;
}

HDC NewWindowDC(TWindow* W) {
  std::shared_ptr<TGdiSurface> S;
  if (W && W->Surface)
    S = W->Surface;
  else
    S = std::make_shared<TNullSurface>();
  HDC DC = GtCreateSurfaceDC(S.get());
  if (DC) g_DCs[DC] = TDCEntry{S, W ? W->Handle : nullptr};
  return DC;
}

// Sends WM_PAINT when the update region is not empty; the region that was
// drawn outside Served is scheduled for the next platform paint.
void SendPaint(TWindow* W, const QRegion& Served) {
  if (W->Dead || W->InPaint || W->UpdateRgn.isEmpty()) return;
  W->InPaint = true;
  W->Began = false;
  W->PaintDirty = QRegion();
  Perform(W, WM_PAINT, 0, 0);
  if (W->Dead) return;
  W->InPaint = false;
  // A procedure that never began painting would be asked again and again.
  if (!W->Began) {
    W->UpdateRgn = QRegion();
    W->EraseBkgnd = false;
  }
  QRegion Extra = W->PaintDirty - Served;
  W->PaintDirty = QRegion();
  if (W->Client && !Extra.isEmpty()) W->Client->update(Extra);
  if (W->Client && !W->UpdateRgn.isEmpty()) W->Client->update(W->UpdateRgn);
}

// The 32-bit pixels of a surface's image, for drawing straight into them.
bool LockImagePixels(QImage& Image, TGdiPixels& Pixels) {
  if (Image.isNull()) return false;
  Pixels.Row0 = Image.bits();
  Pixels.Stride = Image.bytesPerLine();
  Pixels.Width = Image.width();
  Pixels.Height = Image.height();
  Pixels.BitCount = 32;
  return true;
}

}  // namespace

bool TWindowSurface::LockPixels(TGdiPixels& Pixels) { return Owner && LockImagePixels(Image, Pixels); }

void TWindowSurface::UnlockPixels(const TRect& Changed) {
  if (!Owner || !Owner->Client || Changed.Width() <= 0 || Changed.Height() <= 0) return;
  QRect R = ToQRect(Changed) & Image.rect();
  if (R.isEmpty()) return;
  if (Owner->InPaint)
    Owner->PaintDirty += R;
  else
    Owner->Client->update(R);
}

bool TFrameSurface::LockPixels(TGdiPixels& Pixels) { return Owner && LockImagePixels(Image, Pixels); }

void TFrameSurface::UnlockPixels(const TRect& Changed) {
  if (!Owner || !Owner->Frame || Changed.Width() <= 0 || Changed.Height() <= 0) return;
  // Only the margins show from here; the client area shows its own surface.
  QRegion R = QRegion(ToQRect(Changed) & Image.rect()) - QRegion(Owner->ClientInFrame());
  if (R.isEmpty()) return;
  // Showing what was drawn needs no new WM_NCPAINT.
  Owner->NcDrawn += R;
  Owner->Frame->update(R);
}

TFrameSurface* FrameSurfaceOf(TWindow* W) {
  if (!W->FrameSurface) W->FrameSurface = std::make_shared<TFrameSurface>(W);
  QImage& Img = W->FrameSurface->Image;
  QSize Size(std::max(0, W->Rect.Width()), std::max(0, W->Rect.Height()));
  if (Img.size() != Size) {
    QImage New(Size, QImage::Format_RGB32);
    if (!New.isNull()) {
      New.fill(Qt::white);
      if (!Img.isNull()) {
        QPainter P(&New);
        P.setCompositionMode(QPainter::CompositionMode_Source);
        P.drawImage(0, 0, Img);
      }
    }
    Img = New;
  }
  return W->FrameSurface.get();
}

void InvalidateRegion(TWindow* W, const QRegion& Region, bool Erase) {
  if (!W || W->Dead) return;
  if (W->Kind == wkNative) {
    if (W->Client) W->Client->update();
    return;
  }
  if (W->Kind != wkSurface) return;
  QRegion R = Region & ClientQRect(W);
  if (R.isEmpty()) return;
  W->UpdateRgn += R;
  if (Erase) W->EraseBkgnd = true;
  if (W->Client && !W->InPaint) W->Client->update(R);
}

void PaintClient(TWindow* W, QWidget* Target, const QRegion& Region) {
  TQtEntry Entry;
  SendPaint(W, Region);
  QPainter P(Target);
  if (W->Dead || !W->Surface || W->Surface->Image.isNull()) {
    P.fillRect(Region.boundingRect(), Qt::white);
    return;
  }
  P.setCompositionMode(QPainter::CompositionMode_Source);
  const QImage& Img = W->Surface->Image;
  for (const QRect& R : Region) P.drawImage(R, Img, R);
}

void DCsWindowGone(TWindow* W) {
  if (W->FrameSurface) W->FrameSurface->Owner = nullptr;
  // DCs handed out stay valid objects; their surface no longer has an owner,
  // so they draw nothing until they are released.
}

}  // namespace gtui

using namespace gtui;

HDC BeginPaint(HWND Wnd, PAINTSTRUCT* Paint) {
  TWindow* W = Lookup(Wnd);
  if (!W || !Paint) return nullptr;
  CaretBeforePaint(W);
  HDC DC = NewWindowDC(W);
  if (!DC) return nullptr;
  W->Began = true;
  QRegion R = W->UpdateRgn;
  HRGN Clip = MakeHRGN(R);
  SelectClipRgn(DC, Clip);
  DeleteObject(Clip);
  Paint->hdc = DC;
  Paint->rcPaint = ToTRect(R.boundingRect());
  Paint->fErase = FALSE;
  bool Erase = W->EraseBkgnd;
  W->UpdateRgn = QRegion();
  W->EraseBkgnd = false;
  if (Erase && !R.isEmpty()) Paint->fErase = Perform(W, WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0) == 0;
  return DC;
}

BOOL EndPaint(HWND Wnd, const PAINTSTRUCT* Paint) {
  if (!Paint) return FALSE;
  ReleaseDC(Wnd, Paint->hdc);
  if (TWindow* W = Lookup(Wnd)) CaretAfterPaint(W);
  return TRUE;
}

namespace {
HDC NewOverlayDC(HWND Wnd) {
  TPoint Origin;
  std::shared_ptr<TGdiSurface> S = OverlaySurface(Wnd, Origin);
  if (!S) return nullptr;
  HDC DC = GtCreateSurfaceDC(S.get());
  if (!DC) return nullptr;
  g_DCs[DC] = TDCEntry{S, Wnd};
  if (Origin.X || Origin.Y) SetViewportOrgEx(DC, Origin.X, Origin.Y, nullptr);
  return DC;
}
}  // namespace

HDC GetDC(HWND Wnd) {
  if (!Wnd && ScreenOverlayActive()) return NewOverlayDC(nullptr);
  if (!Wnd) {
    HDC DC = GtCreateScreenDC();
    if (DC) g_DCs[DC] = TDCEntry{nullptr, nullptr};
    return DC;
  }
  TWindow* W = Lookup(Wnd);
  return W ? NewWindowDC(W) : nullptr;
}

HDC GetDCEx(HWND Wnd, HRGN Clip, DWORD Flags) {
  HDC DC = (Flags & DCX_LOCKWINDOWUPDATE) ? NewOverlayDC(Wnd) : (Flags & DCX_WINDOW) ? GetWindowDC(Wnd) : GetDC(Wnd);
  if (DC && Clip && (Flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN)))
    ExtSelectClipRgn(DC, Clip, (Flags & DCX_EXCLUDERGN) ? RGN_DIFF : RGN_AND);
  return DC;
}

// The whole window from its corner: it draws the margins (WM_NCPAINT).
// Windows without a surface of their own get their client DC.
HDC GetWindowDC(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W || W->Kind != wkSurface) return GetDC(Wnd);
  FrameSurfaceOf(W);
  std::shared_ptr<TGdiSurface> S = W->FrameSurface;
  HDC DC = GtCreateSurfaceDC(S.get());
  if (DC) g_DCs[DC] = TDCEntry{S, Wnd};
  return DC;
}

Integer ReleaseDC(HWND, HDC DC) {
  auto It = g_DCs.find(DC);
  if (It == g_DCs.end()) return 0;
  DeleteDC(DC);
  g_DCs.erase(It);
  return 1;
}

HWND WindowFromDC(HDC DC) {
  auto It = g_DCs.find(DC);
  return It == g_DCs.end() ? nullptr : It->second.Wnd;
}

BOOL InvalidateRect(HWND Wnd, const TRect* R, BOOL Erase) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  if (W->Kind != wkSurface) {
    InvalidateRegion(W, QRegion(), Erase != FALSE);
    return TRUE;
  }
  QRegion Reg = R ? QRegion(ToQRect(*R).normalized()) : QRegion(ClientQRect(W));
  InvalidateRegion(W, Reg, Erase != FALSE);
  return TRUE;
}

BOOL InvalidateRgn(HWND Wnd, HRGN Region, BOOL Erase) {
  if (!Region) return InvalidateRect(Wnd, nullptr, Erase);
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  InvalidateRegion(W, FromHRGN(Region), Erase != FALSE);
  return TRUE;
}

BOOL ValidateRect(HWND Wnd, const TRect* R) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  if (R)
    W->UpdateRgn -= QRegion(ToQRect(*R).normalized());
  else
    W->UpdateRgn = QRegion();
  if (W->UpdateRgn.isEmpty()) W->EraseBkgnd = false;
  return TRUE;
}

BOOL ValidateRgn(HWND Wnd, HRGN Region) {
  if (!Region) return ValidateRect(Wnd, nullptr);
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  W->UpdateRgn -= FromHRGN(Region);
  if (W->UpdateRgn.isEmpty()) W->EraseBkgnd = false;
  return TRUE;
}

BOOL GetUpdateRect(HWND Wnd, TRect* R, BOOL) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  if (R) *R = ToTRect(W->UpdateRgn.boundingRect());
  return W->UpdateRgn.isEmpty() ? FALSE : TRUE;
}

Integer GetUpdateRgn(HWND Wnd, HRGN Region, BOOL) {
  TWindow* W = Lookup(Wnd);
  if (!W || !Region) return ERROR;
  HRGN R = MakeHRGN(W->UpdateRgn);
  Integer Kind = CombineRgn(Region, R, nullptr, RGN_COPY);
  DeleteObject(R);
  return Kind;
}

BOOL UpdateWindow(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  if (W->Kind != wkSurface || W->UpdateRgn.isEmpty()) return TRUE;
  QRegion Painted = W->UpdateRgn;
  SendPaint(W, QRegion());
  if (!W->Dead && W->Client) W->Client->update(Painted);
  return TRUE;
}

BOOL RedrawWindow(HWND Wnd, const TRect* Update, HRGN Region, UINT Flags) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  QRegion Reg;
  if (Region)
    Reg = FromHRGN(Region);
  else if (Update)
    Reg = QRegion(ToQRect(*Update).normalized());
  else if (W->Kind == wkSurface)
    Reg = QRegion(ClientQRect(W));
  if (Flags & RDW_INVALIDATE) InvalidateRegion(W, Reg, (Flags & RDW_ERASE) != 0);
  if (Flags & RDW_VALIDATE) {
    W->UpdateRgn -= Reg;
    if (W->UpdateRgn.isEmpty()) W->EraseBkgnd = false;
  }
  if ((Flags & RDW_FRAME) && W->Frame) W->Frame->update();
  if (Flags & RDW_ALLCHILDREN) {
    std::vector<TWindow*> Kids = W->Children;
    for (TWindow* K : Kids) RedrawWindow(K->Handle, nullptr, nullptr, Flags);
  }
  if (Flags & (RDW_UPDATENOW | RDW_ERASENOW)) UpdateWindow(Wnd);
  return TRUE;
}

BOOL ScrollWindow(HWND Wnd, Integer DX, Integer DY, const TRect* Scroll, const TRect* Clip) {
  TWindow* W = Lookup(Wnd);
  if (!W || W->Kind != wkSurface || !W->Surface) return FALSE;
  QImage& Img = W->Surface->Image;
  QRect Area = Scroll ? ToQRect(*Scroll) & Img.rect() : Img.rect();
  if (Clip) Area &= ToQRect(*Clip);
  if (!Area.isEmpty() && (DX || DY)) {
    QRect Src = Area.translated(-DX, -DY) & Area;
    QRect Dst = Src.translated(DX, DY);
    QImage Copy = Img.copy(Src);
    QPainter P(&Img);
    P.setCompositionMode(QPainter::CompositionMode_Source);
    P.drawImage(Dst.topLeft(), Copy);
    P.end();
    QRegion Uncovered = QRegion(Area) - QRegion(Dst);
    // Pending invalid parts move with the pixels.
    QRegion Moved = W->UpdateRgn & QRegion(Area);
    W->UpdateRgn -= Moved;
    W->UpdateRgn += Moved.translated(DX, DY) & QRegion(Area);
    InvalidateRegion(W, Uncovered, true);
    if (W->Client) W->Client->update(Area);
  }
  if (!Scroll) {
    std::vector<TWindow*> Kids = W->Children;
    for (TWindow* K : Kids) {
      TRect R = K->Rect;
      OffsetRect(R, DX, DY);
      ApplyRect(K, R, false);
    }
  }
  return TRUE;
}
