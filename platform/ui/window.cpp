// Window handles, the message queue and the Qt widgets behind windows.
#include "platform/ui/private/hooks.h"
#include "platform/ui/private/window.h"
#include "platform/ui/crossprocess.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <QElapsedTimer>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/base/strutils.h"
#include "platform/base/threads.h"
#include "platform/graphics/colors.h"

namespace gtui {
namespace {

// ---------------------------------------------------------------- the table

// The table and the queues live for the whole run (never destroyed): worker
// threads may still post while the program ends.
std::mutex& g_Lock = *new std::mutex;  // the table and the queues
auto& g_Table = *new std::unordered_map<uintptr_t, TWindow*>;
uint32_t g_NextCount = 1;  // the counter part of the next window handle

struct TSent {
  MSG Msg;
  LRESULT Result = 0;
  bool Done = false;
};
auto& g_Posted = *new std::deque<MSG>;
auto& g_Sent = *new std::deque<std::shared_ptr<TSent>>;
std::condition_variable& g_SentDone = *new std::condition_variable;
bool g_WakePending = false;

std::function<void(std::exception_ptr)> g_ExceptionHandler;
std::function<void(const MSG&)> g_ThreadMessageHandler;

int g_QtDepth = 0;
auto& g_PeekLevels = *new std::vector<int>;  // QtDepth of each PeekMessage running
auto& g_PeekQueues = *new std::vector<bool>;  // whether that wait takes input into the queue
// The next wait is the application's own (TAppPump). Only that wait lets
// input reach the windows at once: a loop that a handler starts inside it
// (the system resize from a press, a menu) still takes its input from the queue.
bool g_AppPumpNext = false;
TPoint g_LastMessagePos;
HWND g_ToldActive = nullptr;                 // the top-level window last told WM_ACTIVATE active
MSG g_LastQueuedMouse;                       // to drop moves that change nothing

QObject* g_Pump = nullptr;
int PumpEventType() {
  static int Type = QEvent::registerEventType();
  return Type;
}

uintptr_t IdOf(HWND Wnd) { return reinterpret_cast<uintptr_t>(Wnd); }

void PushWait() {
  g_PeekLevels.push_back(g_QtDepth);
  g_PeekQueues.push_back(!g_AppPumpNext);
  g_AppPumpNext = false;
}
void PopWait() {
  g_PeekLevels.pop_back();
  g_PeekQueues.pop_back();
}

// Where queued input goes now: found without g_Lock (the lookups take it),
// then applied to the records under it.
struct TInputRoute {
  HWND Capture = nullptr, Key = nullptr;
  struct TSpot {
    TPoint Pt;
    HWND Target = nullptr;
    TPoint Client;
    bool DblClicks = true;
  };
  std::vector<TSpot> Spots;
};

TInputRoute RouteInput(const std::vector<TPoint>& Points) {
  TInputRoute R;
  R.Capture = GetCapture();
  R.Key = GetFocus();
  if (!R.Key) R.Key = GetActiveWindow();
  for (const TPoint& P : Points) {
    TInputRoute::TSpot S;
    S.Pt = P;
    S.Target = R.Capture ? R.Capture : WindowFromPoint(P);
    S.Client = P;
    if (S.Target) ScreenToClient(S.Target, &S.Client);
    if (TWindow* W = Lookup(S.Target)) S.DblClicks = (W->ClassStyle & CS_DBLCLKS) != 0;
    R.Spots.push_back(S);
  }
  return R;
}

std::vector<TPoint> QueuedInputPoints() {
  std::vector<TPoint> Pts;
  std::lock_guard<std::mutex> L(g_Lock);
  for (const MSG& M : g_Posted)
    if (M.hwnd == MouseInputTarget && std::find(Pts.begin(), Pts.end(), M.pt) == Pts.end()) Pts.push_back(M.pt);
  return Pts;
}

enum TResolved { irReady, irDrop, irLater };

// Gives a queued input record its window (the capture window or the window
// under pt for the mouse, the focus window for keys).
TResolved ResolveInput(const TInputRoute& R, MSG& M) {
  if (M.hwnd == MouseInputTarget) {
    auto It = std::find_if(R.Spots.begin(), R.Spots.end(), [&](const TInputRoute::TSpot& S) { return S.Pt == M.pt; });
    if (It == R.Spots.end()) return irLater;  // queued after the route was found
    if (!It->Target) return irDrop;
    if (M.message != WM_MOUSEWHEEL && M.message != WM_MOUSEHWHEEL) M.lParam = MAKELPARAM(It->Client.X, It->Client.Y);
    // A window without double clicks gets a second press instead.
    if (!It->DblClicks && (M.message == WM_LBUTTONDBLCLK || M.message == WM_RBUTTONDBLCLK ||
                           M.message == WM_MBUTTONDBLCLK || M.message == WM_XBUTTONDBLCLK))
      M.message -= 2;
    M.hwnd = It->Target;
    return irReady;
  }
  if (M.hwnd == KeyInputTarget) {
    if (!R.Key) return irDrop;
    M.hwnd = R.Key;
  }
  return irReady;
}

// Wakes the main thread's loop; the caller holds g_Lock.
void WakeLocked() {
  if (g_WakePending || !g_Pump) return;
  g_WakePending = true;
  QCoreApplication::postEvent(g_Pump, new QEvent(static_cast<QEvent::Type>(PumpEventType())));
}

bool OnMainThread() {
  return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

void RunSent() {
  for (;;) {
    std::shared_ptr<TSent> S;
    {
      std::lock_guard<std::mutex> L(g_Lock);
      if (g_Sent.empty()) return;
      S = g_Sent.front();
      g_Sent.pop_front();
    }
    LRESULT R = 0;
    if (TWindow* W = Lookup(S->Msg.hwnd)) R = Perform(W, S->Msg.message, S->Msg.wParam, S->Msg.lParam);
    {
      std::lock_guard<std::mutex> L(g_Lock);
      S->Result = R;
      S->Done = true;
    }
    g_SentDone.notify_all();
  }
}

void DispatchOne(const MSG& M) {
  if (M.hwnd == nullptr) {
    if (g_ThreadMessageHandler) {
      try {
        g_ThreadMessageHandler(M);
      } catch (...) {
        HandleException(std::current_exception());
      }
    }
    return;
  }
  DispatchMessage(&M);
}

class TPump : public QObject {
 public:
  bool event(QEvent* E) override {
    if (E->type() != PumpEventType()) return QObject::event(E);
    int Level = g_QtDepth;
    TQtEntry Entry;
    {
      std::lock_guard<std::mutex> L(g_Lock);
      g_WakePending = false;
    }
    try {
      CheckSynchronize();
    } catch (...) {
      HandleException(std::current_exception());
    }
    RunSent();
    // A PeekMessage of this level takes the posted messages itself.
    if (!g_PeekLevels.empty() && g_PeekLevels.back() == Level) return true;
    DrainQueue();
    return true;
  }
};

// ---------------------------------------------------------------- widgets

void FillBackground(QPainter& P, const QRect& R) {
  COLORREF C = GetSysColor(COLOR_BTNFACE);
  P.fillRect(R, QColor(GetRValue(C), GetGValue(C), GetBValue(C)));
}

QColor SysQColor(Integer Index) {
  COLORREF C = GetSysColor(Index);
  return QColor(GetRValue(C), GetGValue(C), GetBValue(C));
}

// The outer widget: border, scroll bars and, for top-level windows, the
// platform's window.
class TFrameWidget : public QWidget {
 public:
  TFrameWidget(TWindow* AW, QWidget* Parent, Qt::WindowFlags Flags) : QWidget(Parent, Flags), W(AW) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setProperty("gtwnd", QVariant::fromValue<qulonglong>(IdOf(AW->Handle)));
  }
  TWindow* W;

 protected:
  void paintEvent(QPaintEvent* E) override {
    if (!W) return;
    if (W->Kind == wkSurface) {
      // The window may draw its own margins; a paint only of what a window
      // DC drew there shows it without asking again.
      const bool Asked = !(E->region() - W->NcDrawn).isEmpty() || W->NcDefault;
      W->NcDrawn = QRegion();
      if (Asked) {
        W->NcDefault = false;
        TQtEntry Entry;
        Perform(W, WM_NCPAINT, 1, 0);
      }
      if (!W || W->Dead) return;
      if (!W->NcDefault) {
        QPainter P(this);
        TFrameSurface* F = FrameSurfaceOf(W);
        QRegion Margins = QRegion(rect()) - QRegion(W->ClientInFrame());
        for (const QRect& R : E->region() & Margins) P.drawImage(R.topLeft(), F->Image, R);
        return;
      }
    }
    QPainter P(this);
    Integer B = W->BorderWidth();
    QRect All = rect();
    if (B == 1) {
      P.setPen(SysQColor(COLOR_WINDOWFRAME));
      P.drawRect(All.adjusted(0, 0, -1, -1));
    } else if (B == 2) {
      // Sunken client edge: shadow and dark shadow on the top and left, light and highlight on the rest.
      P.setPen(SysQColor(COLOR_BTNSHADOW));
      P.drawLine(0, 0, All.width() - 2, 0);
      P.drawLine(0, 0, 0, All.height() - 2);
      P.setPen(SysQColor(COLOR_3DDKSHADOW));
      P.drawLine(1, 1, All.width() - 3, 1);
      P.drawLine(1, 1, 1, All.height() - 3);
      P.setPen(SysQColor(COLOR_BTNHIGHLIGHT));
      P.drawLine(0, All.height() - 1, All.width() - 1, All.height() - 1);
      P.drawLine(All.width() - 1, 0, All.width() - 1, All.height() - 1);
      P.setPen(SysQColor(COLOR_3DLIGHT));
      P.drawLine(1, All.height() - 2, All.width() - 2, All.height() - 2);
      P.drawLine(All.width() - 2, 1, All.width() - 2, All.height() - 2);
    }
    // The box between two visible scroll bars.
    if (W->Bars[SB_HORZ].Visible && W->Bars[SB_VERT].Visible) {
      QRect C = W->ClientInFrame();
      FillBackground(P, QRect(C.right() + 1, C.bottom() + 1, ScrollBarThickness, ScrollBarThickness));
    }
  }
  void resizeEvent(QResizeEvent* E) override {
    QWidget::resizeEvent(E);
    if (W && W->TopLevel()) {
      QRect G = geometry();
      ApplyRect(W, TRect(G.x(), G.y(), G.x() + G.width(), G.y() + G.height()), true);
    }
  }
  void moveEvent(QMoveEvent* E) override {
    QWidget::moveEvent(E);
    if (W && W->TopLevel()) {
      QRect G = geometry();
      ApplyRect(W, TRect(G.x(), G.y(), G.x() + G.width(), G.y() + G.height()), true);
    }
  }
  void closeEvent(QCloseEvent* E) override {
    // The window decides through WM_CLOSE; the platform never closes it by itself.
    E->ignore();
    if (W) {
      TQtEntry Entry;
      Perform(W, WM_CLOSE, 0, 0);
    }
  }
  void changeEvent(QEvent* E) override {
    QWidget::changeEvent(E);
    if (W && E->type() == QEvent::ActivationChange && W->TopLevel()) {
      TQtEntry Entry;
      // Qt may tell the new active window before the old one; windows hear
      // it in the order Windows keeps: the old one goes inactive first.
      if (isActiveWindow() && NeverActivated(W)) {
        // The platform activated a window that must never take activation
        // (some window managers and the headless platform do so on showing
        // or clicking): the window that had it gets it back, and nobody hears
        // of the change.
        TWindow* O = Lookup(g_ToldActive);
        if (O && O->Frame && O != W) {
          QWidget* Top = O->Frame->window();
          Top->activateWindow();
          if (QWindow* Q = Top->windowHandle()) Q->requestActivate();
        }
        return;
      }
      if (isActiveWindow() && g_ToldActive == W->Handle) return;  // it never heard it had lost it
      if (isActiveWindow()) {
        if (g_ToldActive && g_ToldActive != W->Handle) {
          HWND Old = g_ToldActive;
          g_ToldActive = nullptr;
          if (TWindow* O = Lookup(Old)) Perform(O, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(W->Handle));
          if (W->Dead) return;
        }
        g_ToldActive = W->Handle;
        Perform(W, WM_ACTIVATE, WA_ACTIVE, 0);
      } else if (g_ToldActive == W->Handle) {
        // Losing it to a window that hands it straight back is no change.
        QWidget* Now = QApplication::activeWindow();
        TWindow* N = Now ? WindowOfWidget(Now) : nullptr;
        if (N && N != W && NeverActivated(N)) return;
        g_ToldActive = nullptr;
        Perform(W, WM_ACTIVATE, WA_INACTIVE, 0);
      }
    }
  }
  bool event(QEvent* E) override {
    if (W && W->TopLevel() && (E->type() == QEvent::ThemeChange || E->type() == QEvent::StyleChange))
      DesktopThemeChanged();
    if (W && W->Client == this) {
      if (TranslateInput(W, E, this)) return true;
    } else if (W && W->Kind == wkSurface) {
      switch (E->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
          if (TranslateNcInput(W, E)) return true;
          break;
        case QEvent::Leave: PointerLeftNc(W); break;
        default: break;
      }
    }
    return QWidget::event(E);
  }
};

// The client area of a surface window.
class TClientWidget : public QWidget {
 public:
  TClientWidget(TWindow* AW, QWidget* Parent) : QWidget(Parent), W(AW) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setProperty("gtwnd", QVariant::fromValue<qulonglong>(IdOf(AW->Handle)));
  }
  TWindow* W;

 protected:
  bool event(QEvent* E) override {
    if (W && TranslateInput(W, E, this)) return true;
    return QWidget::event(E);
  }
  void paintEvent(QPaintEvent* E) override {
    if (W) {
      PaintClient(W, this, E->region());
    } else {
      QPainter P(this);
      FillBackground(P, E->rect());
    }
  }
};

// Native widgets keep their own event handling; this filter shows their
// input to the window procedure first.
class TNativeFilter : public QObject {
 public:
  explicit TNativeFilter(TWindow* AW) : W(AW) {}
  TWindow* W;
  bool eventFilter(QObject* Obj, QEvent* E) override {
    if (!W || Obj != W->Client) return false;
    return TranslateInput(W, E, static_cast<QWidget*>(Obj));
  }
};

// The platform's decorations for a top-level window from its Windows styles.
}  // namespace

namespace {
// A menu, drop-down or list window: stays on top, has no frame style, and
// the program's own menu loop decides when it closes, so the window manager
// must neither decorate, focus nor stack it (override-redirect on X).
bool IsPopup(const TWindow* W) {
  constexpr DWORD Frames = WS_CAPTION | WS_THICKFRAME;
  return (W->Style & WS_POPUP) && (W->ExStyle & WS_EX_TOOLWINDOW) && (W->ExStyle & WS_EX_TOPMOST) &&
         !(W->Style & Frames);
}
}  // namespace

bool NeverActivated(const TWindow* W) {
  return W->TopLevel() && (W->ExStyle & WS_EX_TOOLWINDOW) && (W->Style & WS_CAPTION) != WS_CAPTION;
}

Qt::WindowFlags TopLevelFlags(const TWindow* W) {
  Qt::WindowFlags F = Qt::Window;
  if (W->ExStyle & WS_EX_TOOLWINDOW) F = Qt::Tool;
  if (W->ExStyle & WS_EX_TOPMOST) F |= Qt::WindowStaysOnTopHint;
  if (IsPopup(W)) return F | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus;
  // A tool window without a caption draws its own frame and caption.
  if (NeverActivated(W)) return F | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus;
  if ((W->Style & WS_CAPTION) == WS_CAPTION) {
    F |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (W->Style & WS_SYSMENU) F |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (W->Style & WS_MINIMIZEBOX) F |= Qt::WindowMinimizeButtonHint;
    if (W->Style & WS_MAXIMIZEBOX) F |= Qt::WindowMaximizeButtonHint;
  } else if (!(W->Style & (WS_THICKFRAME | WS_DLGFRAME | WS_BORDER))) {
    F |= Qt::FramelessWindowHint;
  }
  return F;
}

namespace {

// A top-level window without a sizing frame keeps the size the program gives it.
void FixSize(TWindow* W) {
  if (!W->TopLevel() || !W->Frame || W->Kind != wkSurface) return;
  if (W->Style & WS_THICKFRAME) {
    W->Frame->setMinimumSize(0, 0);
    W->Frame->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    W->Frame->setFixedSize(std::max(0, W->Rect.Width()), std::max(0, W->Rect.Height()));
  }
}

void DetachWidgets(TWindow* W) {
  for (QWidget* Wd : {W->Frame, W->Client}) {
    if (!Wd) continue;
    if (auto* F = dynamic_cast<TFrameWidget*>(Wd)) F->W = nullptr;
    if (auto* C = dynamic_cast<TClientWidget*>(Wd)) C->W = nullptr;
    Wd->setProperty("gtwnd", QVariant());
    for (QObject* Child : Wd->children())
      if (auto* F = dynamic_cast<TNativeFilter*>(Child)) F->W = nullptr;
  }
  for (auto& B : W->Bars)
    if (B.Bar) {
      B.Bar->disconnect();
      B.Bar = nullptr;
    }
  if (W->Sub) {
    // The sub-window goes with the frame it carries.
    W->Sub->setProperty("gtwnd", QVariant());
    W->Sub->hide();
    W->Sub->deleteLater();
  } else if (W->Frame) {
    W->Frame->hide();
    W->Frame->deleteLater();
  }
  W->Frame = W->Client = W->Sub = nullptr;
}

// Destroyed records stay readable until nothing of theirs runs any more:
// callers up the stack may still look at them.
auto& g_Graveyard = *new std::vector<TWindow*>;

}  // namespace

// ---------------------------------------------------------------- records

Integer TWindow::BorderWidth() const {
  // The sub-window of an MDI child draws the child's frame.
  if (Kind != wkSurface || Sub) return 0;
  if (ExStyle & WS_EX_CLIENTEDGE) return 2;
  if (Style & WS_BORDER) return 1;
  return 0;
}

QRect TWindow::ClientInFrame() const {
  Integer W = Rect.Width() - Margins.Left - Margins.Right - (Bars[SB_VERT].Visible ? ScrollBarThickness : 0);
  Integer H = Rect.Height() - Margins.Top - Margins.Bottom - (Bars[SB_HORZ].Visible ? ScrollBarThickness : 0);
  // The sub-window of an MDI child draws its caption around the frame widget.
  return QRect(Margins.Left - Deco.left(), Margins.Top - Deco.top(), std::max(0, W), std::max(0, H));
}

void UpdateMargins(TWindow* W) {
  if (!W || W->Dead || W->Kind != wkSurface) return;
  NCCALCSIZE_PARAMS P;
  P.rgrc[0] = P.rgrc[1] = W->Rect;
  P.rgrc[2] = W->Rect;
  Perform(W, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&P));
  if (W->Dead) return;
  const TRect& C = P.rgrc[0];
  const TRect& R = W->Rect;
  // Margins never pass the window: a hostile answer gives an empty client area.
  auto Clamp = [](Integer V, Integer Max) { return std::clamp<Integer>(V, 0, std::max<Integer>(0, Max)); };
  Integer L = Clamp(C.Left - R.Left, R.Width()), T = Clamp(C.Top - R.Top, R.Height());
  W->Margins = TRect(L, T, Clamp(R.Right - C.Right, R.Width() - L), Clamp(R.Bottom - C.Bottom, R.Height() - T));
}

TWindow* Lookup(HWND Wnd) {
  if (!Wnd) return nullptr;
  std::lock_guard<std::mutex> L(g_Lock);
  auto It = g_Table.find(IdOf(Wnd));
  return It == g_Table.end() ? nullptr : It->second;
}

TWindow* WindowOfWidget(QWidget* Widget) {
  for (QWidget* P = Widget; P; P = P->parentWidget()) {
    QVariant V = P->property("gtwnd");
    if (V.isValid())
      if (TWindow* W = Lookup(reinterpret_cast<HWND>(static_cast<uintptr_t>(V.toULongLong())))) return W;
  }
  return nullptr;
}

TQtEntry::TQtEntry() { ++g_QtDepth; }
TQtEntry::~TQtEntry() { --g_QtDepth; }
int QtDepth() { return g_QtDepth; }

void HandleException(std::exception_ptr E) {
  if (!g_ExceptionHandler) return;
  try {
    g_ExceptionHandler(E);
  } catch (...) {
    // The handler itself failed; nothing sensible is left to do.
  }
}

void Deliver(TWindow* W, TMessage& Message) {
  if (!W || W->Dead || !W->Proc) return;
  if (HookInstalled(WH_CALLWNDPROC)) {
    CWPSTRUCT C;
    C.hwnd = W->Handle;
    C.message = Message.Msg;
    C.wParam = Message.WParam;
    C.lParam = Message.LParam;
    CallHooks(WH_CALLWNDPROC, HC_ACTION, 1, reinterpret_cast<LPARAM>(&C));
    if (W->Dead) return;
  }
  ++W->Busy;
  try {
    W->Proc(Message);
  } catch (...) {
    HandleException(std::current_exception());
  }
  --W->Busy;
}

LRESULT Perform(TWindow* W, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage M;
  M.Msg = Msg;
  M.WParam = WParam;
  M.LParam = LParam;
  Deliver(W, M);
  return M.Result;
}

namespace {
QtMessageHandler g_PreviousMessageHandler = nullptr;

// The headless platform says so for every raise and mouse grab; both are
// fine without it (stacking and implicit grabs still work inside the process).
void FilterPlatformNotes(QtMsgType Type, const QMessageLogContext& Context, const QString& Msg) {
  if (Type == QtWarningMsg && (Msg == QLatin1String("This plugin does not support raise()") ||
                               Msg == QLatin1String("This plugin does not support grabbing the mouse") ||
                               Msg == QLatin1String("This plugin does not support grabbing the keyboard") ||
                               Msg == QLatin1String("This plugin does not support setting window masks")))
    return;
  if (g_PreviousMessageHandler) g_PreviousMessageHandler(Type, Context, Msg);
  else qt_message_output(Type, Context, Msg);
}
}  // namespace

void InitWindowing() {
  if (g_Pump) return;
  if (!QCoreApplication::instance()) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
      setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int Argc = 1;
    static char Name[] = "gimro-tal";
    static char* Argv[] = {Name, nullptr};
    // Lives for the whole run: widgets, fonts and caches must not outlive it.
    static QApplication* App = new QApplication(Argc, Argv);
    (void)App;
  }
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    throw Exception("The window layer needs the widget application: create the application object first");
  QApplication::setQuitOnLastWindowClosed(false);
  InstallAccessibilityFactory();
  if (QGuiApplication::platformName() == QLatin1String("offscreen"))
    g_PreviousMessageHandler = qInstallMessageHandler(FilterPlatformNotes);
  SetMainThread();
  auto* Pump = new TPump();
  SetWakeMainThread([] {
    std::lock_guard<std::mutex> L(g_Lock);
    WakeLocked();
  });
  // Workers read the pump under the lock; messages posted before it existed wake it now.
  std::lock_guard<std::mutex> L(g_Lock);
  g_Pump = Pump;
  if (!g_Posted.empty() || !g_Sent.empty()) WakeLocked();
}

HWND CreateWindowRecord(const TCreateWindow& P) {
  InitWindowing();
  TWindow* Parent = Lookup(P.Parent);
  auto* W = new TWindow;
  {
    // Handles are 32-bit numbers of this process's range; after the
    // counter wraps, numbers still in use are skipped.
    const uintptr_t Base = ProcessHandleBase();
    std::lock_guard<std::mutex> L(g_Lock);
    uintptr_t Id;
    do {
      Id = Base | (uintptr_t(g_NextCount) << 2);
      g_NextCount = g_NextCount >= 0xFFFF ? 1 : g_NextCount + 1;
    } while (g_Table.count(Id));
    W->Handle = reinterpret_cast<HWND>(Id);
    g_Table[Id] = W;
  }
  if (P.HandleOut) *P.HandleOut = W->Handle;
  W->Kind = P.Kind;
  W->Proc = P.Proc;
  // The scroll-bar bits live in the bar state; GetWindowLong puts them back.
  W->Style = P.Style & ~static_cast<DWORD>(WS_HSCROLL | WS_VSCROLL);
  W->ExStyle = P.ExStyle;
  W->ClassStyle = P.ClassStyle;
  W->Text = P.Text;
  W->Rect = P.Rect;
  W->Parent = (P.Style & WS_CHILD) ? Parent : nullptr;
  if (W->Parent) W->Parent->Children.push_back(W);
  // A top-level window is owned by the top-level window that holds the parent it names.
  if (!W->Parent && Parent) W->Owner = Lookup(GetAncestorWindow(Parent->Handle));
  if (W->Kind == wkMessage) return W->Handle;

  QWidget* QtParent = W->Parent ? W->Parent->Client : nullptr;
  // Qt makes a window with a parent widget transient for it: it stays above its owner.
  QWidget* QtOwner = W->Owner && W->Owner->Kind == wkSurface ? W->Owner->Frame : nullptr;
  if (W->Kind == wkNative) {
    W->Frame = W->Client = P.Native;
    P.Native->setParent(QtParent, QtParent ? Qt::Widget : Qt::Window);
    P.Native->setProperty("gtwnd", QVariant::fromValue<qulonglong>(IdOf(W->Handle)));
    auto* Filter = new TNativeFilter(W);
    Filter->setParent(P.Native);
    P.Native->installEventFilter(Filter);
  } else {
    // An MDI child's frame goes into a sub-window of its client's area.
    const bool Mdi = W->Parent && IsMdiClient(W->Parent);
    auto* Frame = new TFrameWidget(W, Mdi ? nullptr : QtParent ? QtParent : QtOwner,
                                   QtParent ? Qt::WindowFlags(Qt::Widget) : TopLevelFlags(W));
    W->Frame = Frame;
    if (Mdi) AttachMdiChild(W);
    if (NeverActivated(W)) Frame->setAttribute(Qt::WA_ShowWithoutActivating, true);
    W->Client = new TClientWidget(W, Frame);
    W->Client->show();
    W->Surface = std::make_shared<TWindowSurface>(W);
    if (!W->Text.empty()) Frame->setWindowTitle(QString::fromStdU16String(W->Text));
  }
  FixSize(W);
  OuterWidget(W)->setGeometry(W->Rect.Left, W->Rect.Top, W->Rect.Width(), W->Rect.Height());
  Relayout(W);
  if (W->Kind == wkSurface && (P.Style & WS_HSCROLL)) ShowScrollBar(W->Handle, SB_HORZ, TRUE);
  if (W->Kind == wkSurface && (P.Style & WS_VSCROLL)) ShowScrollBar(W->Handle, SB_VERT, TRUE);
  if (W->Style & WS_DISABLED) W->Frame->setEnabled(false);
  if (W->Style & WS_VISIBLE) {
    OuterWidget(W)->show();
    if (W->Sub) MdiChildShown(W, true, true);
  }
  return W->Handle;
}

// ---------------------------------------------------------------- geometry

void ApplyRect(TWindow* W, const TRect& R, bool FromPlatform) {
  if (!W || W->Dead) return;
  bool Moved = R.Left != W->Rect.Left || R.Top != W->Rect.Top;
  bool Sized = R.Width() != W->Rect.Width() || R.Height() != W->Rect.Height();
  if (!Moved && !Sized) return;
  W->Rect = R;
  if (!FromPlatform && W->Frame) {
    if (Sized) FixSize(W);
    QRect G(R.Left, R.Top, std::max(0, R.Width()), std::max(0, R.Height()));
    if (OuterWidget(W)->geometry() != G) OuterWidget(W)->setGeometry(G);
  }
  if (Sized) Relayout(W);
  WINDOWPOS Pos;
  Pos.hwnd = W->Handle;
  Pos.x = R.Left;
  Pos.y = R.Top;
  Pos.cx = R.Width();
  Pos.cy = R.Height();
  Pos.flags = (Moved ? 0u : UINT(SWP_NOMOVE)) | (Sized ? 0u : UINT(SWP_NOSIZE));
  Perform(W, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&Pos));
  if (Moved && !W->Dead) Perform(W, WM_MOVE, 0, MAKELPARAM(R.Left, R.Top));
}

void Relayout(TWindow* W) {
  if (!W || W->Dead || W->Kind == wkMessage) return;
  UpdateMargins(W);
  if (W->Dead) return;
  QRect C = W->ClientInFrame();
  QSize OldSize = W->Kind == wkSurface && W->Surface ? W->Surface->Image.size() : QSize(-1, -1);
  if (W->Kind == wkSurface) {
    if (W->Client != W->Frame && W->Client->geometry() != C) W->Client->setGeometry(C);
    auto& V = W->Bars[SB_VERT];
    auto& H = W->Bars[SB_HORZ];
    if (V.Bar) {
      V.Bar->setGeometry(C.right() + 1, C.top(), ScrollBarThickness, C.height());
      V.Bar->setVisible(V.Visible);
    }
    if (H.Bar) {
      H.Bar->setGeometry(C.left(), C.bottom() + 1, C.width(), ScrollBarThickness);
      H.Bar->setVisible(H.Visible);
    }
    W->Frame->update();
  }
  if (W->Kind == wkSurface && OldSize != C.size()) {
    QImage& Img = W->Surface->Image;
    QImage New(C.size(), QImage::Format_RGB32);
    if (!New.isNull()) {
      New.fill(Qt::white);
      if (!Img.isNull()) {
        QPainter P(&New);
        P.setCompositionMode(QPainter::CompositionMode_Source);
        P.drawImage(0, 0, Img);
      }
    }
    bool WidthChanged = OldSize.width() != C.width(), HeightChanged = OldSize.height() != C.height();
    QRegion Newly = QRegion(QRect(QPoint(0, 0), C.size()));
    if (!Img.isNull() && !((W->ClassStyle & CS_HREDRAW) && WidthChanged) &&
        !((W->ClassStyle & CS_VREDRAW) && HeightChanged))
      Newly -= QRegion(QRect(QPoint(0, 0), Img.size()));
    Img = New;
    W->UpdateRgn &= QRegion(QRect(QPoint(0, 0), C.size()));
    if (!Newly.isEmpty()) InvalidateRegion(W, Newly, true);
  }
  if (W->Kind == wkSurface && OldSize != C.size())
    Perform(W, WM_SIZE, SIZE_RESTORED, MAKELPARAM(C.width(), C.height()));
  else if (W->Kind == wkNative)
    Perform(W, WM_SIZE, SIZE_RESTORED, MAKELPARAM(W->Rect.Width(), W->Rect.Height()));
}

// ---------------------------------------------------------------- queue

void DrainQueue() {
  // Only what is queued now: messages posted by the handlers wait for the next round.
  size_t Count;
  {
    std::lock_guard<std::mutex> L(g_Lock);
    Count = g_Posted.size();
  }
  // Input stays for the program's loop that waits below this one.
  bool KeepInput = InputGoesToQueue();
  std::deque<MSG> Kept;
  while (Count-- > 0) {
    MSG M;
    {
      std::lock_guard<std::mutex> L(g_Lock);
      if (g_Posted.empty()) break;
      M = g_Posted.front();
      g_Posted.pop_front();
      if (KeepInput && (M.hwnd == MouseInputTarget || M.hwnd == KeyInputTarget)) {
        Kept.push_back(M);
        continue;
      }
    }
    // Input left queued by a loop that has ended goes where it lands now.
    if (M.hwnd == MouseInputTarget || M.hwnd == KeyInputTarget) {
      if (ResolveInput(RouteInput({M.pt}), M) != irReady) continue;
    }
    DispatchOne(M);
  }
  std::lock_guard<std::mutex> L(g_Lock);
  g_Posted.insert(g_Posted.begin(), Kept.begin(), Kept.end());
  if (!Kept.empty()) return;
  if (!g_Posted.empty()) WakeLocked();
}

void ProcessPlatformEvents(bool WaitForMore) {
  InitWindowing();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(WaitForMore ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
}

bool InputGoesToQueue() { return !g_PeekQueues.empty() && g_PeekQueues.back(); }

void QueueInput(const MSG& M) {
  std::lock_guard<std::mutex> L(g_Lock);
  if (M.message == WM_MOUSEMOVE) {
    // Grabs and crossings repeat the pointer's place; a loop must not see a
    // move that did not move.
    if (g_LastQueuedMouse.message == WM_MOUSEMOVE && g_LastQueuedMouse.pt == M.pt &&
        g_LastQueuedMouse.wParam == M.wParam)
      return;
  }
  if (M.hwnd == MouseInputTarget) g_LastQueuedMouse = M;
  g_Posted.push_back(M);
  WakeLocked();
}

TAppPump::TAppPump() : Outer(g_AppPumpNext) { g_AppPumpNext = true; }
TAppPump::~TAppPump() { g_AppPumpNext = Outer; }

void FlushDeferredDeletes() {
  if (g_QtDepth != 0) return;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  for (auto It = g_Graveyard.begin(); It != g_Graveyard.end();) {
    if ((*It)->Busy == 0) {
      delete *It;
      It = g_Graveyard.erase(It);
    } else {
      ++It;
    }
  }
}

}  // namespace gtui

using namespace gtui;

// ---------------------------------------------------------------- message API

LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (OnMainThread()) {
    TWindow* W = Lookup(Wnd);
    return W ? Perform(W, Msg, WParam, LParam) : 0;
  }
  auto S = std::make_shared<TSent>();
  S->Msg.hwnd = Wnd;
  S->Msg.message = Msg;
  S->Msg.wParam = WParam;
  S->Msg.lParam = LParam;
  std::unique_lock<std::mutex> L(g_Lock);
  if (!g_Table.count(IdOf(Wnd))) return 0;
  g_Sent.push_back(S);
  WakeLocked();
  g_SentDone.wait(L, [&] { return S->Done; });
  return S->Result;
}

BOOL SendNotifyMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (!OnMainThread()) return PostMessage(Wnd, Msg, WParam, LParam);
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  Perform(W, Msg, WParam, LParam);
  return TRUE;
}

BOOL PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  MSG M;
  M.hwnd = Wnd;
  M.message = Msg;
  M.wParam = WParam;
  M.lParam = LParam;
  M.time = GetTickCount();
  {
    std::lock_guard<std::mutex> L(g_Lock);
    if (!Wnd || g_Table.count(IdOf(Wnd))) {
      g_Posted.push_back(M);
      WakeLocked();
      return TRUE;
    }
  }
  // Not a window of ours: perhaps one of the program's other processes.
  if (IsOwnHandle(IdOf(Wnd))) return FALSE;
  return PostToOtherProcess(IdOf(Wnd), Msg, WParam, LParam);
}

void PostQuitMessage(Integer ExitCode) { PostMessage(nullptr, WM_QUIT, static_cast<WPARAM>(ExitCode), 0); }

static bool MatchesFilter(const MSG& M, HWND Wnd, UINT Min, UINT Max) {
  if (Wnd && M.hwnd != Wnd) return false;
  if (Min == 0 && Max == 0) return true;
  return M.message >= Min && M.message <= Max;
}

BOOL PeekMessage(MSG* Msg, HWND Wnd, UINT Min, UINT Max, UINT Remove) {
  InitWindowing();
  PushWait();
  try {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  } catch (...) {
    PopWait();
    throw;
  }
  PopWait();
  RunSent();
  MSG Taken;
  BOOL Found = FALSE;
  TInputRoute Route = RouteInput(QueuedInputPoints());
  {
    std::lock_guard<std::mutex> L(g_Lock);
    for (auto It = g_Posted.begin(); It != g_Posted.end();) {
      MSG M = *It;
      TResolved How = ResolveInput(Route, M);
      if (How == irDrop) {
        It = g_Posted.erase(It);
        continue;
      }
      if (How == irLater) {
        ++It;
        continue;
      }
      if (!MatchesFilter(M, Wnd, Min, Max)) {
        ++It;
        continue;
      }
      Taken = M;
      if (Remove & PM_REMOVE) g_Posted.erase(It);
      Found = TRUE;
      break;
    }
    if (!g_Posted.empty()) WakeLocked();
  }
  if (Found) {
    // Messages posted by the program carry the pointer's place when taken.
    if (Taken.pt == TPoint() && Taken.message < WM_KEYFIRST) GetCursorPos(&Taken.pt);
    g_LastMessagePos = Taken.pt;
  }
  // The hook sees the message before the caller and may rewrite it.
  if (Found && HookInstalled(WH_GETMESSAGE))
    CallHooks(WH_GETMESSAGE, HC_ACTION, Remove & PM_REMOVE, reinterpret_cast<LPARAM>(&Taken));
  if (Found && Msg) *Msg = Taken;
  return Found;
}

BOOL GetMessage(MSG* Msg, HWND Wnd, UINT Min, UINT Max) {
  MSG M;
  for (;;) {
    if (PeekMessage(&M, Wnd, Min, Max, PM_REMOVE)) break;
    PushWait();
    try {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    } catch (...) {
      PopWait();
      throw;
    }
    PopWait();
  }
  if (Msg) *Msg = M;
  return M.message != WM_QUIT;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* Msg) {
  if (!Msg) return 0;
  TWindow* W = Lookup(Msg->hwnd);
  if (!W) return 0;
  return Perform(W, Msg->message, Msg->wParam, Msg->lParam);
}

BOOL WaitMessage() {
  InitWindowing();
  {
    std::lock_guard<std::mutex> L(g_Lock);
    if (!g_Posted.empty()) return TRUE;
  }
  PushWait();
  try {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  } catch (...) {
    PopWait();
    throw;
  }
  PopWait();
  return TRUE;
}

UINT RegisterWindowMessage(const WideString& Name) {
  static std::mutex Lock;
  static std::map<WideString, UINT> Names;
  static UINT Next = 0xC000;
  if (Name.empty()) return 0;
  WideString Key = WideUpperCase(Name);
  std::lock_guard<std::mutex> L(Lock);
  auto It = Names.find(Key);
  if (It != Names.end()) return It->second;
  if (Next > 0xFFFF) return 0;
  Names[Key] = Next;
  return Next++;
}

HWND AllocateHWnd(const TWndMethod& Method) {
  TCreateWindow P;
  P.Kind = wkMessage;
  P.Proc = Method;
  return CreateWindowRecord(P);
}

void DeallocateHWnd(HWND Wnd) { DestroyWindow(Wnd); }

void GtSetExceptionHandler(const std::function<void(std::exception_ptr)>& Handler) { g_ExceptionHandler = Handler; }
void GtSetThreadMessageHandler(const std::function<void(const MSG&)>& Handler) { g_ThreadMessageHandler = Handler; }

// ---------------------------------------------------------------- windows

BOOL IsWindow(HWND Wnd) {
  if (!Wnd) return FALSE;
  std::lock_guard<std::mutex> L(g_Lock);
  return g_Table.count(IdOf(Wnd)) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  return W && W->Frame && W->Frame->isVisible();
}

BOOL IsWindowEnabled(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  return (W->Style & WS_DISABLED) ? FALSE : TRUE;
}

BOOL EnableWindow(HWND Wnd, BOOL Enable) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  BOOL WasDisabled = (W->Style & WS_DISABLED) ? TRUE : FALSE;
  if (Enable)
    W->Style &= ~static_cast<DWORD>(WS_DISABLED);
  else
    W->Style |= WS_DISABLED;
  if (W->Frame) W->Frame->setEnabled(Enable != FALSE);
  if (WasDisabled == (Enable ? TRUE : FALSE)) Perform(W, WM_ENABLE, Enable ? 1 : 0, 0);
  return WasDisabled;
}

BOOL DestroyWindow(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  if (HookInstalled(WH_CBT)) {
    if (CallHooks(WH_CBT, HCBT_DESTROYWND, reinterpret_cast<WPARAM>(Wnd), 0) != 0) return FALSE;
    W = Lookup(Wnd);
    if (!W) return TRUE;
  }
  std::vector<HWND> Owned;
  for (auto& [Id, O] : g_Table)
    if (O->Owner == W && !O->Dead) Owned.push_back(O->Handle);
  std::sort(Owned.begin(), Owned.end());
  // Owned windows go first, as their Qt windows are children of the owner's.
  for (HWND O : Owned) DestroyWindow(O);
  W = Lookup(Wnd);
  if (!W) return TRUE;
  std::vector<TWindow*> Kids = W->Children;
  for (TWindow* K : Kids) DestroyWindow(K->Handle);
  Perform(W, WM_DESTROY, 0, 0);
  if (W->Dead) return TRUE;
  Perform(W, WM_NCDESTROY, 0, 0);
  {
    std::lock_guard<std::mutex> L(g_Lock);
    g_Table.erase(IdOf(W->Handle));
    // Messages already queued for it are dropped.
    for (auto It = g_Posted.begin(); It != g_Posted.end();)
      It = It->hwnd == W->Handle ? g_Posted.erase(It) : It + 1;
  }
  if (W->Sub) MdiChildGone(W);
  W->Dead = true;
  TimersWindowGone(W);
  CaptureWindowGone(W);
  CaretWindowGone(W);
  CursorWindowGone(W);
  ScrollBarsWindowGone(W);
  DCsWindowGone(W);
  DropTargetsWindowGone(W);
  OverlayWindowGone(W);
  if (W->Surface) W->Surface->Owner = nullptr;
  if (W->Parent) {
    auto& C = W->Parent->Children;
    C.erase(std::remove(C.begin(), C.end(), W), C.end());
  }
  DetachWidgets(W);
  W->Proc = nullptr;
  g_Graveyard.push_back(W);
  return TRUE;
}

HWND GetParent(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  return W && W->Parent ? W->Parent->Handle : nullptr;
}

HWND GetAncestorWindow(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W) return nullptr;
  while (W->Parent) W = W->Parent;
  return W->Handle;
}

HWND GetDesktopWindow() { return nullptr; }

HWND GetActiveWindow() {
  InitWindowing();
  QWidget* A = QApplication::activeWindow();
  TWindow* W = A ? WindowOfWidget(A) : nullptr;
  return W ? W->Handle : nullptr;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

BOOL SetForegroundWindow(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Frame) return FALSE;
  QWidget* Top = W->Frame->window();
  Top->raise();
  Top->activateWindow();
  return TRUE;
}

HWND GetFocus() {
  InitWindowing();
  QWidget* F = QApplication::focusWidget();
  TWindow* W = F ? WindowOfWidget(F) : nullptr;
  return W ? W->Handle : nullptr;
}

HWND SetFocus(HWND Wnd) {
  HWND Old = GetFocus();
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Client) return nullptr;
  if (HookInstalled(WH_CBT) && Wnd != Old) {
    if (CallHooks(WH_CBT, HCBT_SETFOCUS, reinterpret_cast<WPARAM>(Wnd), reinterpret_cast<LPARAM>(Old)) != 0)
      return nullptr;
    W = Lookup(Wnd);
    if (!W || !W->Client) return nullptr;
  }
  TLayerChange Reported;
  W->Client->setFocus(Qt::OtherFocusReason);
  return Old;
}

HWND WindowFromPoint(TPoint Point) {
  InitWindowing();
  QWidget* Wd = QApplication::widgetAt(Point.X, Point.Y);
  TWindow* W = Wd ? WindowOfWidget(Wd) : nullptr;
  // A window answering HTTRANSPARENT hands the point to the window beneath.
  while (W && W->Kind == wkSurface) {
    const HWND H = W->Handle;
    if (Perform(W, WM_NCHITTEST, 0, MAKELPARAM(Point.X, Point.Y)) != HTTRANSPARENT) break;
    W = Lookup(H);
    if (!W || W->Dead) return nullptr;
    TWindow* Beneath = WindowBeneath(W, QPoint(Point.X, Point.Y));
    if (!Beneath) break;
    W = Beneath;
  }
  return W ? W->Handle : nullptr;
}

BOOL GetClientRect(HWND Wnd, TRect* R) {
  TWindow* W = Lookup(Wnd);
  if (!W || !R) return FALSE;
  if (W->Kind == wkMessage) {
    *R = TRect();
  } else if (W->Kind == wkNative) {
    *R = TRect(0, 0, W->Rect.Width(), W->Rect.Height());
  } else {
    QRect C = W->ClientInFrame();
    *R = TRect(0, 0, C.width(), C.height());
  }
  return TRUE;
}

static QPoint ClientOriginGlobal(TWindow* W) {
  if (!W->Client) return QPoint();
  return W->Client->mapToGlobal(QPoint(0, 0));
}

BOOL GetWindowRect(HWND Wnd, TRect* R) {
  TWindow* W = Lookup(Wnd);
  if (!W || !R) return FALSE;
  if (!W->Frame) {
    *R = TRect();
    return TRUE;
  }
  QPoint P = OuterWidget(W)->mapToGlobal(QPoint(0, 0));
  *R = TRect(P.x(), P.y(), P.x() + W->Rect.Width(), P.y() + W->Rect.Height());
  return TRUE;
}

BOOL ClientToScreen(HWND Wnd, TPoint* Point) {
  TWindow* W = Lookup(Wnd);
  if (!W || !Point) return FALSE;
  QPoint O = ClientOriginGlobal(W);
  Point->X += O.x();
  Point->Y += O.y();
  return TRUE;
}

BOOL ScreenToClient(HWND Wnd, TPoint* Point) {
  TWindow* W = Lookup(Wnd);
  if (!W || !Point) return FALSE;
  QPoint O = ClientOriginGlobal(W);
  Point->X -= O.x();
  Point->Y -= O.y();
  return TRUE;
}

Integer MapWindowPoints(HWND From, HWND To, TPoint* Points, UINT Count) {
  QPoint A, B;
  if (From) {
    TWindow* W = Lookup(From);
    if (!W) return 0;
    A = ClientOriginGlobal(W);
  }
  if (To) {
    TWindow* W = Lookup(To);
    if (!W) return 0;
    B = ClientOriginGlobal(W);
  }
  Integer DX = A.x() - B.x(), DY = A.y() - B.y();
  for (UINT i = 0; i < Count; ++i) {
    Points[i].X += DX;
    Points[i].Y += DY;
  }
  return MAKELPARAM(DX, DY);
}

BOOL MoveWindow(HWND Wnd, Integer X, Integer Y, Integer Width, Integer Height, BOOL Repaint) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  ApplyRect(W, TRect(X, Y, X + Width, Y + Height), false);
  if (Repaint && !W->Dead) InvalidateRect(Wnd, nullptr, TRUE);
  return TRUE;
}

BOOL SetWindowPos(HWND Wnd, HWND InsertAfter, Integer X, Integer Y, Integer CX, Integer CY, UINT Flags) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  TRect R = W->Rect;
  if (!(Flags & SWP_NOMOVE)) R = TRect(X, Y, X + R.Width(), Y + R.Height());
  if (!(Flags & SWP_NOSIZE)) R = TRect(R.Left, R.Top, R.Left + CX, R.Top + CY);
  ApplyRect(W, R, false);
  if (W->Dead || !W->Frame) return TRUE;
  if (!(Flags & SWP_NOZORDER)) {
    if (W->TopLevel() && (InsertAfter == HWND_TOPMOST || InsertAfter == HWND_NOTOPMOST)) {
      bool Topmost = InsertAfter == HWND_TOPMOST;
      if (((W->ExStyle & WS_EX_TOPMOST) != 0) != Topmost) {
        W->ExStyle ^= WS_EX_TOPMOST;
        ApplyTopLevelFlags(W);
      }
    }
    // Leaving the topmost band keeps the window where it is: above the other windows.
    if (InsertAfter == HWND_TOP || InsertAfter == HWND_TOPMOST) {
      OuterWidget(W)->raise();
    } else if (InsertAfter == HWND_BOTTOM) {
      OuterWidget(W)->lower();
    } else if (TWindow* A = Lookup(InsertAfter)) {
      if (A->Frame && OuterWidget(A)->parentWidget() == OuterWidget(W)->parentWidget())
        OuterWidget(W)->stackUnder(OuterWidget(A));
    }
  }
  if (Flags & SWP_FRAMECHANGED) {
    Relayout(W);
    if (W->Dead || !W->Frame) return TRUE;
    W->Frame->update();
  }
  if (Flags & SWP_SHOWWINDOW) ShowWindow(Wnd, SW_SHOWNA);
  if (Flags & SWP_HIDEWINDOW) ShowWindow(Wnd, SW_HIDE);
  return TRUE;
}

BOOL ShowWindow(HWND Wnd, Integer CmdShow) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Frame) return FALSE;
  bool MinMax = CmdShow == SW_MAXIMIZE || CmdShow == SW_MINIMIZE || CmdShow == SW_SHOWMINIMIZED ||
                CmdShow == SW_SHOWMINNOACTIVE || CmdShow == SW_RESTORE;
  if (MinMax && HookInstalled(WH_CBT)) {
    // Asked before the state changes; a non-zero answer keeps the old state.
    if (CallHooks(WH_CBT, HCBT_MINMAX, reinterpret_cast<WPARAM>(Wnd), CmdShow) != 0)
      return (W->Style & WS_VISIBLE) ? TRUE : FALSE;
    W = Lookup(Wnd);
    if (!W || !W->Frame) return FALSE;
  }
  TLayerChange Reported;
  BOOL Was = (W->Style & WS_VISIBLE) ? TRUE : FALSE;
  bool Show = CmdShow != SW_HIDE;
  if (Show)
    W->Style |= WS_VISIBLE;
  else
    W->Style &= ~static_cast<DWORD>(WS_VISIBLE);
  if (Was != (Show ? TRUE : FALSE)) Perform(W, WM_SHOWWINDOW, Show ? 1 : 0, 0);
  if (W->Dead || !W->Frame) return Was;
  if (W->Sub) {
    // An MDI child: its sub-window takes the state; activation stays
    // within the client.
    switch (CmdShow) {
      case SW_HIDE: W->Sub->hide(); break;
      case SW_MAXIMIZE: W->Sub->showMaximized(); break;
      case SW_MINIMIZE:
      case SW_SHOWMINIMIZED:
      case SW_SHOWMINNOACTIVE: W->Sub->showMinimized(); break;
      case SW_RESTORE: W->Sub->showNormal(); break;
      default: W->Sub->show(); break;
    }
    if (Lookup(Wnd) == W && !W->Dead)
      MdiChildShown(W, Show, Show && CmdShow != SW_SHOWNA && CmdShow != SW_SHOWNOACTIVATE && CmdShow != SW_SHOWMINNOACTIVE &&
                                 CmdShow != SW_MINIMIZE);
    return Was;
  }
  switch (CmdShow) {
    case SW_HIDE: W->Frame->hide(); break;
    case SW_MAXIMIZE: W->Frame->showMaximized(); break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE: W->Frame->showMinimized(); break;
    case SW_RESTORE: W->Frame->showNormal(); break;
    default:
      if (W->TopLevel() && (CmdShow == SW_SHOWNA || CmdShow == SW_SHOWNOACTIVATE))
        W->Frame->setAttribute(Qt::WA_ShowWithoutActivating, true);
      W->Frame->show();
      if (W->TopLevel() && CmdShow != SW_SHOWNA && CmdShow != SW_SHOWNOACTIVATE && !NeverActivated(W))
        W->Frame->activateWindow();
      break;
  }
  return Was;
}

BOOL BringWindowToTop(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Frame) return FALSE;
  if (W->Sub) {
    // An MDI child comes to the top of its client by activation.
    SendMessage(W->Parent->Handle, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(Wnd), 0);
    return TRUE;
  }
  W->Frame->raise();
  if (W->TopLevel()) W->Frame->activateWindow();
  return TRUE;
}

BOOL IsIconic(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  return W && W->Frame && OuterWidget(W)->isMinimized();
}

BOOL IsZoomed(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  return W && W->Frame && OuterWidget(W)->isMaximized();
}

LONG GetWindowLong(HWND Wnd, Integer Index) {
  TWindow* W = Lookup(Wnd);
  if (!W) return 0;
  switch (Index) {
    case GWL_STYLE: {
      DWORD S = W->Style;
      if (W->Bars[SB_HORZ].Visible) S |= WS_HSCROLL;
      if (W->Bars[SB_VERT].Visible) S |= WS_VSCROLL;
      return static_cast<LONG>(S);
    }
    case GWL_EXSTYLE: return static_cast<LONG>(W->ExStyle);
    case GWL_HWNDPARENT: {
      TWindow* P = W->Parent ? W->Parent : W->Owner;
      return static_cast<LONG>(reinterpret_cast<uintptr_t>(P ? P->Handle : nullptr));
    }
    default: return 0;
  }
}

LONG SetWindowLong(HWND Wnd, Integer Index, LONG NewValue) {
  TWindow* W = Lookup(Wnd);
  if (!W) return 0;
  LONG Old = GetWindowLong(Wnd, Index);
  if (Index == GWL_STYLE) {
    DWORD V = static_cast<DWORD>(NewValue);
    W->Style = V & ~static_cast<DWORD>(WS_HSCROLL | WS_VSCROLL);
    if (((V & WS_HSCROLL) != 0) != W->Bars[SB_HORZ].Visible) ShowScrollBar(Wnd, SB_HORZ, (V & WS_HSCROLL) != 0);
    if (((V & WS_VSCROLL) != 0) != W->Bars[SB_VERT].Visible) ShowScrollBar(Wnd, SB_VERT, (V & WS_VSCROLL) != 0);
    Relayout(W);
  } else if (Index == GWL_EXSTYLE) {
    const bool WasLayered = (W->ExStyle & WS_EX_LAYERED) != 0;
    W->ExStyle = static_cast<DWORD>(NewValue);
    if (WasLayered && !(W->ExStyle & WS_EX_LAYERED)) LayeredStyleRemoved(W);
    Relayout(W);
  } else if (Index == GWL_HWNDPARENT && W->TopLevel()) {
    // Handles are 32-bit numbers, so the value carries one whole.
    HWND New = reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<ULONG>(NewValue)));
    TWindow* O = New ? Lookup(GetAncestorWindow(New)) : nullptr;
    if (O == W) return Old;  // a window cannot own itself
    for (TWindow* A = O; A; A = A->Owner)
      if (A == W) return Old;  // nor a window that it owns
    W->Owner = O;
    ApplyTopLevelFlags(W);
  }
  return Old;
}

BOOL SetWindowText(HWND Wnd, const WideString& Text) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  W->Text = Text;
  if (W->Frame && (W->TopLevel() || W->Sub)) OuterWidget(W)->setWindowTitle(QString::fromStdU16String(Text));
  return TRUE;
}

WideString GtGetWindowText(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  return W ? W->Text : WideString();
}

// The window commands a top-level window carries out itself. There is no
// window menu: SC_KEYMENU ends here without effect.
static LRESULT DefSysCommand(HWND Wnd, WPARAM Command, LPARAM) {
  switch (Command & 0xFFF0) {
    case SC_MINIMIZE: ShowWindow(Wnd, SW_MINIMIZE); break;
    case SC_MAXIMIZE: ShowWindow(Wnd, SW_MAXIMIZE); break;
    case SC_RESTORE: ShowWindow(Wnd, SW_RESTORE); break;
    case SC_CLOSE: PostMessage(Wnd, WM_CLOSE, 0, 0); break;
    case SC_NEXTWINDOW:
    case SC_PREVWINDOW:
      // An MDI child passes activation to its neighbour in the client.
      if (TWindow* W = Lookup(Wnd); W && W->Sub)
        SendMessage(W->Parent->Handle, WM_MDINEXT, reinterpret_cast<WPARAM>(Wnd),
                    (Command & 0xFFF0) == SC_PREVWINDOW ? 1 : 0);
      break;
    case SC_SIZE: SystemMoveSize(Wnd, static_cast<UINT>(Command & 0xF)); break;
    case SC_MOVE: SystemMoveSize(Wnd, 0); break;
    default: break;
  }
  return 0;
}

// WM_PRINT: the window as it shows, into a DC whose origin is the window's
// corner (with the non-client flag) or its client's. Flags: 1 only when
// visible, 2 frame, 4 client (WM_PRINTCLIENT), 8 background (WM_ERASEBKGND),
// 0x10 the child windows, each printed with its frame at its place.
static LRESULT DefPrint(HWND Wnd, HDC DC, LPARAM Flags) {
  constexpr LPARAM CheckVisible = 0x1, NonClient = 0x2, Client = 0x4, Erase = 0x8, Children = 0x10;
  TWindow* W = Lookup(Wnd);
  if (!W || !DC) return 0;
  if ((Flags & CheckVisible) && !IsWindowVisible(Wnd)) return 0;
  Integer B = W->BorderWidth();
  if ((Flags & NonClient) && B > 0) {
    TRect R(0, 0, W->Rect.Width(), W->Rect.Height());
    if (W->ExStyle & WS_EX_CLIENTEDGE)
      DrawEdge(DC, &R, EDGE_SUNKEN, BF_RECT);
    else
      FrameRect(DC, &R, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  Integer Saved = SaveDC(DC);
  if (Flags & NonClient) {
    OffsetViewportOrgEx(DC, W->Margins.Left, W->Margins.Top, nullptr);
    QRect C = W->ClientInFrame();
    IntersectClipRect(DC, 0, 0, C.width(), C.height());
  }
  if (Flags & Erase) SendMessage(Wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
  if (Flags & Client) SendMessage(Wnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(DC), Flags);
  if (Flags & Children) {
    std::vector<HWND> Kids;
    for (TWindow* K : W->Children) Kids.push_back(K->Handle);
    // The first child is the lowest: it is printed first, the others over it.
    for (HWND K : Kids) {
      TWindow* KW = Lookup(K);
      if (!KW || !(KW->Style & WS_VISIBLE)) continue;
      Integer S = SaveDC(DC);
      OffsetViewportOrgEx(DC, KW->Rect.Left, KW->Rect.Top, nullptr);
      IntersectClipRect(DC, 0, 0, KW->Rect.Width(), KW->Rect.Height());
      SendMessage(K, WM_PRINT, reinterpret_cast<WPARAM>(DC), (Flags & ~CheckVisible) | NonClient);
      RestoreDC(DC, S);
    }
  }
  RestoreDC(DC, Saved);
  return 0;
}

// Where a screen point lies in the window: client, nowhere, the edges of a
// sizing frame, else the border.
static LRESULT DefHitTest(HWND Wnd, TPoint Pt) {
  TWindow* W = Lookup(Wnd);
  TRect R;
  if (!W || !GetWindowRect(Wnd, &R) || !PtInRect(R, Pt)) return HTNOWHERE;
  const Integer X = Pt.X - R.Left, Y = Pt.Y - R.Top;
  if (W->ClientInFrame().contains(X, Y)) return HTCLIENT;
  if (!(W->Style & WS_THICKFRAME)) return HTBORDER;
  const bool Left = X < W->Margins.Left, Right = X >= R.Width() - W->Margins.Right;
  const bool Top = Y < W->Margins.Top, Bottom = Y >= R.Height() - W->Margins.Bottom;
  if (Top) return Left ? HTTOPLEFT : Right ? HTTOPRIGHT : HTTOP;
  if (Bottom) return Left ? HTBOTTOMLEFT : Right ? HTBOTTOMRIGHT : HTBOTTOM;
  if (Left) return HTLEFT;
  if (Right) return HTRIGHT;
  return HTBORDER;
}

LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_PAINT: {
      PAINTSTRUCT Ps;
      if (BeginPaint(Wnd, &Ps)) EndPaint(Wnd, &Ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HDC DC = reinterpret_cast<HDC>(WParam);
      TRect R;
      if (!DC || !GetClientRect(Wnd, &R)) return 0;
      FillRect(DC, &R, GetSysColorBrush(COLOR_WINDOW));
      return 1;
    }
    case WM_SETCURSOR:
      if (LOWORD(static_cast<uintptr_t>(LParam)) == HTCLIENT) {
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE: DestroyWindow(Wnd); return 0;
    case WM_SYSKEYUP:
      // Shift+F10 asks for the context menu at the keyboard's place (-1).
      if (WParam == VK_F10 && GetKeyState(VK_SHIFT) < 0) {
        SendMessage(Wnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Wnd), -1);
        return 0;
      }
      // Alt pressed and released alone, or F10: the window's menu.
      if ((WParam == VK_MENU && (LParam & AltAloneKeyData)) || WParam == VK_F10)
        SendMessage(GetAncestorWindow(Wnd), WM_SYSCOMMAND, SC_KEYMENU, 0);
      return 0;
    case WM_SYSCHAR:
      // An Alt+key nobody took: the menu with that key.
      SendMessage(GetAncestorWindow(Wnd), WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(WParam));
      return 0;
    case WM_SYSCOMMAND: return DefSysCommand(Wnd, WParam, LParam);
    case WM_CONTEXTMENU:
      // A child that shows no menu of its own passes the request to its parent.
      if (HWND P = (GetWindowLong(Wnd, GWL_STYLE) & WS_CHILD) ? GetParent(Wnd) : nullptr)
        return SendMessage(P, WM_CONTEXTMENU, WParam, LParam);
      return 0;
    case WM_NCCALCSIZE: {
      TWindow* W = Lookup(Wnd);
      auto* R = reinterpret_cast<TRect*>(LParam);
      if (!W || !R) return 0;
      Integer B = W->BorderWidth();
      const QMargins& D = W->Deco;
      *R = TRect(R->Left + D.left() + B, R->Top + D.top() + B, R->Right - D.right() - B, R->Bottom - D.bottom() - B);
      return 0;
    }
    case WM_NCPAINT:
      if (TWindow* W = Lookup(Wnd)) W->NcDefault = true;
      return 0;
    case WM_NCHITTEST: return DefHitTest(Wnd, TPoint(GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)));
    case WM_NCLBUTTONDOWN:
      // The caption moves a top-level window, the edges of a sizing frame size it.
      if (GetParent(Wnd)) return 0;
      if (WParam == static_cast<WPARAM>(HTCAPTION)) return SendMessage(Wnd, WM_SYSCOMMAND, static_cast<WPARAM>(SC_MOVE) + HTCAPTION, LParam);
      if (WParam >= static_cast<WPARAM>(HTLEFT) && WParam <= static_cast<WPARAM>(HTBOTTOMRIGHT) &&
          (GetWindowLong(Wnd, GWL_STYLE) & WS_THICKFRAME))
        return SendMessage(Wnd, WM_SYSCOMMAND, SC_SIZE | (WParam - HTLEFT + 1), LParam);
      return 0;
    case WM_PRINT: return DefPrint(Wnd, reinterpret_cast<HDC>(WParam), LParam);
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      // Unhandled wheel messages go up to the parent, as on Windows.
      if (HWND P = GetParent(Wnd)) return SendMessage(P, Msg, WParam, LParam);
      return 0;
    default: return 0;
  }
}

BOOL EnumWindows(const WNDENUMPROC& Proc, LPARAM Param) {
  std::vector<uintptr_t> Ids;
  for (auto& [Id, W] : g_Table)
    if (W->TopLevel() && !W->Dead && W->Kind != wkMessage) Ids.push_back(Id);
  std::sort(Ids.begin(), Ids.end());
  // Handles are looked up again: an earlier call may have destroyed a window.
  for (uintptr_t Id : Ids) {
    auto It = g_Table.find(Id);
    if (It == g_Table.end() || It->second->Dead) continue;
    if (!Proc(It->second->Handle, Param)) break;
  }
  return TRUE;
}

std::vector<HWND> gtui::AllWindowHandles(bool WithMessageWindows) {
  std::vector<uintptr_t> Ids;
  for (auto& [Id, W] : g_Table)
    if (!W->Dead && (WithMessageWindows || W->Kind != wkMessage)) Ids.push_back(Id);
  std::sort(Ids.begin(), Ids.end());
  std::vector<HWND> All;
  All.reserve(Ids.size());
  for (uintptr_t Id : Ids) All.push_back(g_Table.at(Id)->Handle);
  return All;
}

BOOL EnumChildWindows(HWND Parent, const WNDENUMPROC& Proc, LPARAM Param) {
  TWindow* P = Lookup(Parent);
  if (!P) return FALSE;
  std::vector<HWND> All;
  std::function<void(TWindow*)> Walk = [&](TWindow* W) {
    for (TWindow* K : W->Children) {
      All.push_back(K->Handle);
      Walk(K);
    }
  };
  Walk(P);
  for (HWND H : All)
    if (Lookup(H) && !Proc(H, Param)) break;
  return TRUE;
}

void gtui::NoteMessagePos(TPoint Pt) { g_LastMessagePos = Pt; }

DWORD GetMessagePos() {
  return static_cast<DWORD>(MAKELPARAM(g_LastMessagePos.X, g_LastMessagePos.Y));
}

DWORD MsgWaitForMultipleObjects(DWORD Count, const void* Handles, BOOL WaitAll, DWORD Milliseconds, DWORD WakeMask) {
  (void)Handles;
  (void)WaitAll;
  (void)WakeMask;
  InitWindowing();
  auto HasMessage = [] {
    std::lock_guard<std::mutex> L(g_Lock);
    return !g_Posted.empty();
  };
  QElapsedTimer Clock;
  Clock.start();
  QTimer Wake;
  Wake.setSingleShot(true);
  for (;;) {
    if (HasMessage()) return WAIT_OBJECT_0 + Count;
    qint64 Left = Milliseconds == INFINITE ? -1 : static_cast<qint64>(Milliseconds) - Clock.elapsed();
    if (Milliseconds != INFINITE && Left <= 0) return WAIT_TIMEOUT;
    if (Left > 0) Wake.start(static_cast<int>(Left));
    PushWait();
    try {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    } catch (...) {
      PopWait();
      throw;
    }
    PopWait();
    RunSent();
  }
}
