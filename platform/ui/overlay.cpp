// Outlines that the program inverts on the screen (under LockWindowUpdate)
// or over a window and its children (DCX_LOCKWINDOWUPDATE) while it drags a
// frame or a bar. Such drawing cannot go into any window's surface, so it
// goes into an overlay: an input-transparent widget above everything else
// whose surface starts at zero. XOR drawing leaves non-zero values exactly
// where outlines are, the same outline drawn again brings them back to zero,
// and the overlay shows the pixels beneath it inverted by those values.
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include <map>

#include "platform/ui/private/window.h"

namespace gtui {
namespace {

class TOverlayWidget : public QWidget {
 public:
  TOverlayWidget(QWidget* Parent, Qt::WindowFlags Flags) : QWidget(Parent, Flags) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
  }
  QImage Xor;       // what was inverted, Format_RGB32; the low 24 bits count
  QImage Backdrop;  // what the overlay covers, taken when it appears
  QRegion Shown;    // the pixels whose XOR value is not zero

  // Takes the pixels beneath: the screen, or the parent with its children.
  void TakeBackdrop() {
    if (isWindow()) {
      QScreen* S = QGuiApplication::primaryScreen();
      QRect G = geometry();
      Backdrop = S ? S->grabWindow(0, G.x(), G.y(), G.width(), G.height()).toImage() : QImage();
    } else if (parentWidget()) {
      Backdrop = parentWidget()->grab(geometry()).toImage();
    }
    Backdrop = Backdrop.convertToFormat(QImage::Format_RGB32);
    if (Backdrop.size() != Xor.size()) {
      QImage Full(Xor.size(), QImage::Format_RGB32);
      Full.fill(Qt::black);
      QPainter P(&Full);
      P.drawImage(0, 0, Backdrop);
      Backdrop = Full;
    }
  }

 protected:
  void paintEvent(QPaintEvent* E) override {
    QPainter P(this);
    for (const QRect& Area : E->region()) {
      QRect R = Area & Xor.rect();
      if (R.isEmpty()) continue;
      QImage Out(R.size(), QImage::Format_RGB32);
      for (int y = 0; y < R.height(); ++y) {
        const auto* X = reinterpret_cast<const uint32_t*>(Xor.constScanLine(R.y() + y)) + R.x();
        const auto* B = reinterpret_cast<const uint32_t*>(Backdrop.constScanLine(R.y() + y)) + R.x();
        auto* O = reinterpret_cast<uint32_t*>(Out.scanLine(y));
        for (int x = 0; x < R.width(); ++x) O[x] = 0xFF000000u | ((B[x] ^ X[x]) & 0xFFFFFFu);
      }
      P.drawImage(R.topLeft(), Out);
    }
  }
};

class TOverlaySurface : public TGdiSurface {
 public:
  explicit TOverlaySurface(TOverlayWidget* AWidget) : Widget(AWidget) {}
  bool LockPixels(TGdiPixels& Pixels) override {
    if (!Widget || Widget->Xor.isNull()) return false;
    QImage& I = Widget->Xor;
    Pixels.Row0 = I.bits();
    Pixels.Stride = I.bytesPerLine();
    Pixels.Width = I.width();
    Pixels.Height = I.height();
    Pixels.BitCount = 32;
    return true;
  }
  void UnlockPixels(const TRect& Changed) override {
    if (!Widget) return;
    QRect R = QRect(Changed.Left, Changed.Top, Changed.Width(), Changed.Height()) & Widget->Xor.rect();
    if (R.isEmpty()) return;
    QRegion Now;
    for (int y = R.top(); y <= R.bottom(); ++y) {
      const auto* Row = reinterpret_cast<const uint32_t*>(Widget->Xor.constScanLine(y));
      int Start = -1;
      for (int x = R.left(); x <= R.right() + 1; ++x) {
        bool On = x <= R.right() && (Row[x] & 0xFFFFFFu) != 0;
        if (On && Start < 0) Start = x;
        if (!On && Start >= 0) {
          Now += QRect(Start, y, x - Start, 1);
          Start = -1;
        }
      }
    }
    const bool WasShown = !Widget->Shown.isEmpty();
    Widget->Shown = (Widget->Shown - R) + Now;
    if (Widget->Shown.isEmpty()) {
      Widget->hide();
      return;
    }
    if (!WasShown) Widget->TakeBackdrop();
    Widget->setMask(Widget->Shown);
    Widget->update(R);
    if (!Widget->isVisible()) Widget->show();
    Widget->raise();
  }
  QPointer<TOverlayWidget> Widget;
};

HWND g_Locked = nullptr;
bool g_LockedScreen = false;
std::shared_ptr<TOverlaySurface> g_Screen;
auto& g_OverWindows = *new std::map<HWND, std::shared_ptr<TOverlaySurface>>;

// A zero surface of Size, unless the widget already holds outlines.
void Prepare(TOverlayWidget* W, const QSize& Size) {
  if (W->Xor.size() == Size || !W->Shown.isEmpty()) return;
  W->Xor = QImage(Size, QImage::Format_RGB32);
  W->Xor.fill(Qt::black);
}

}  // namespace

std::shared_ptr<TGdiSurface> OverlaySurface(HWND Wnd, TPoint& Origin) {
  InitWindowing();
  Origin = TPoint();
  if (!Wnd) {
    QScreen* S = QGuiApplication::primaryScreen();
    if (!S) return nullptr;
    QRect G = S->virtualGeometry();
    if (!g_Screen || !g_Screen->Widget) {
      auto* W = new TOverlayWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint |
                                                Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                                                Qt::WindowTransparentForInput);
      g_Screen = std::make_shared<TOverlaySurface>(W);
    }
    if (g_Screen->Widget->Shown.isEmpty()) g_Screen->Widget->setGeometry(G);
    Prepare(g_Screen->Widget, g_Screen->Widget->size());
    Origin = TPoint(-g_Screen->Widget->x(), -g_Screen->Widget->y());
    return g_Screen;
  }
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Client || W->Kind != wkSurface) return nullptr;
  auto& Entry = g_OverWindows[Wnd];
  if (!Entry || !Entry->Widget) Entry = std::make_shared<TOverlaySurface>(new TOverlayWidget(W->Client, Qt::Widget));
  TOverlayWidget* O = Entry->Widget;
  if (O->Shown.isEmpty()) O->setGeometry(QRect(QPoint(0, 0), W->Client->size()));
  Prepare(O, O->size());
  return Entry;
}

bool ScreenOverlayActive() { return g_LockedScreen; }

void OverlayWindowGone(TWindow* W) {
  auto It = g_OverWindows.find(W->Handle);
  if (It != g_OverWindows.end()) g_OverWindows.erase(It);
  if (g_Locked == W->Handle) {
    g_Locked = nullptr;
    g_LockedScreen = false;
  }
}

}  // namespace gtui

using namespace gtui;

BOOL LockWindowUpdate(HWND Wnd) {
  if (Wnd && !Lookup(Wnd)) return FALSE;
  // One window at a time, as on Windows.
  if (Wnd && g_Locked && g_Locked != Wnd) return FALSE;
  g_Locked = Wnd;
  g_LockedScreen = Wnd != nullptr;
  return TRUE;
}
