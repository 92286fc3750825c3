// The MDI client: a native window over an MDI area whose children are the
// frame's document windows, each carried by a sub-window that draws its
// caption. The client keeps the children's z-order itself (the active child
// first), arranges them (cascade, tile, icons) and lists them in the frame's
// window menu.
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/menus.h"
#include "platform/ui/private/hooks.h"
#include "platform/ui/private/window.h"

namespace gtui {
namespace {

struct TMdiClient {
  HWND Handle = nullptr;
  QMdiArea* Area = nullptr;
  std::vector<HWND> Order;  // the children, top of the z-order (the active one) first
  HMENU WindowMenu = nullptr;
  bool Listed = false;  // the window menu ends with this client's separator and entries
  int Quiet = 0;        // the client's own changes: Qt's reports of them are not followed
};

auto& g_Clients = *new std::map<HWND, TMdiClient*>;

TMdiClient* ClientOf(HWND Wnd) {
  auto It = g_Clients.find(Wnd);
  return It == g_Clients.end() ? nullptr : It->second;
}

TMdiClient* ClientOfChild(const TWindow* W) { return W && W->Parent ? ClientOf(W->Parent->Handle) : nullptr; }

struct TQuiet {
  explicit TQuiet(TMdiClient* C) : Client(C) { ++Client->Quiet; }
  ~TQuiet() { --Client->Quiet; }
  TMdiClient* Client;
};

bool Visible(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  return W && !W->Dead && (W->Style & WS_VISIBLE);
}

HWND Active(const TMdiClient* C) {
  for (HWND H : C->Order)
    if (Visible(H)) return H;
  return nullptr;
}

// Stacks the sub-windows as the client's order says.
void Restack(TMdiClient* C) {
  TQuiet Q(C);
  for (auto It = C->Order.rbegin(); It != C->Order.rend(); ++It)
    if (TWindow* W = Lookup(*It); W && W->Sub) W->Sub->raise();
}

void MoveToFront(TMdiClient* C, HWND Wnd) {
  auto& O = C->Order;
  O.erase(std::remove(O.begin(), O.end(), Wnd), O.end());
  O.insert(O.begin(), Wnd);
}

// Whether Wnd is the active child, counting it as visible (it may be hiding
// or going).
bool WasActive(const TMdiClient* C, HWND Wnd) {
  for (HWND H : C->Order) {
    if (H == Wnd) return true;
    if (Visible(H)) return false;
  }
  return false;
}

const HWND CurrentActive = reinterpret_cast<HWND>(-1);

// Makes Wnd the active child: it goes to the top, hears WM_MDIACTIVATE with
// the child that loses activation (the active one unless Old names it), and
// is maximised when that one was.
void Activate(TMdiClient* C, HWND Wnd, HWND Old = CurrentActive) {
  TWindow* New = Lookup(Wnd);
  if (!New || !New->Sub || !Visible(Wnd)) return;
  if (Old == CurrentActive) Old = Active(C);
  MoveToFront(C, Wnd);
  Restack(C);
  {
    TQuiet Q(C);
    TLayerChange Reported;
    C->Area->setActiveSubWindow(static_cast<QMdiSubWindow*>(New->Sub));
  }
  if (Old == Wnd) return;
  // A maximised child hands the maximised state on; it shows restored
  // behind the new one.
  if (Old && IsZoomed(Old) && !IsZoomed(Wnd)) {
    TQuiet Q(C);
    ShowWindow(Wnd, SW_MAXIMIZE);
    if (IsWindow(Old)) ShowWindow(Old, SW_RESTORE);
  }
  if (Old && IsWindow(Old))
    SendMessage(Old, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(Old), reinterpret_cast<LPARAM>(Wnd));
  if (IsWindow(Wnd)) SendMessage(Wnd, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(Old), reinterpret_cast<LPARAM>(Wnd));
}

// The visible children in creation order: the window menu's order.
std::vector<HWND> Listed(const TMdiClient* C) {
  std::vector<HWND> Out;
  TWindow* Client = Lookup(C->Handle);
  if (!Client) return Out;
  for (TWindow* K : Client->Children)
    if (K->Sub && Visible(K->Handle)) Out.push_back(K->Handle);
  return Out;
}

constexpr size_t MaxListed = 9;

void RemoveListing(TMdiClient* C) {
  if (!C->Listed || !IsMenu(C->WindowMenu)) {
    C->Listed = false;
    return;
  }
  for (UINT Id = IDM_FIRSTCHILD; Id < IDM_FIRSTCHILD + MaxListed; ++Id) DeleteMenu(C->WindowMenu, Id, MF_BYCOMMAND);
  Integer N = GetMenuItemCount(C->WindowMenu);
  if (N > 0 && (GetMenuState(C->WindowMenu, static_cast<UINT>(N - 1), MF_BYPOSITION) & MF_SEPARATOR))
    DeleteMenu(C->WindowMenu, static_cast<UINT>(N - 1), MF_BYPOSITION);
  C->Listed = false;
}

// The window menu ends with a separator and "&1 caption" ... "&9 caption",
// the active child checked.
void RefreshMenu(TMdiClient* C) {
  RemoveListing(C);
  if (!IsMenu(C->WindowMenu)) return;
  std::vector<HWND> Kids = Listed(C);
  if (Kids.empty()) return;
  HWND A = Active(C);
  AppendMenuW(C->WindowMenu, MF_SEPARATOR, 0, nullptr);
  for (size_t i = 0; i < Kids.size() && i < MaxListed; ++i) {
    WideString Text = u"&" + WideString(1, static_cast<WideChar>(u'1' + i)) + u" " + GtGetWindowText(Kids[i]);
    AppendMenuW(C->WindowMenu, MF_STRING | (Kids[i] == A ? UINT(MF_CHECKED) : 0u), IDM_FIRSTCHILD + i, Text.c_str());
  }
  C->Listed = true;
}

// Next: the child below the active one comes up and the active one goes to
// the bottom. Previous: the bottom child comes up.
void Next(TMdiClient* C, bool Previous) {
  std::vector<HWND> V;
  for (HWND H : C->Order)
    if (Visible(H)) V.push_back(H);
  if (V.size() < 2) return;
  if (Previous) {
    Activate(C, V.back());
    return;
  }
  HWND Cur = V.front();
  Activate(C, V[1]);
  auto& O = C->Order;
  O.erase(std::remove(O.begin(), O.end(), Cur), O.end());
  O.push_back(Cur);
  Restack(C);
}

TRect ClientArea(const TMdiClient* C) {
  TRect R;
  GetClientRect(C->Handle, &R);
  return R;
}

// The visible children to arrange, top of the z-order first; a maximised
// child is restored first.
std::vector<HWND> Arrangeable(TMdiClient* C, bool Iconic, bool SkipDisabled) {
  std::vector<HWND> Out;
  for (HWND H : C->Order) {
    if (!Visible(H) || (SkipDisabled && !IsWindowEnabled(H))) continue;
    if (!Iconic && IsZoomed(H)) {
      TQuiet Q(C);
      ShowWindow(H, SW_RESTORE);
    }
    if ((IsIconic(H) != FALSE) == Iconic) Out.push_back(H);
  }
  return Out;
}

void Place(HWND Wnd, Integer X, Integer Y, Integer W, Integer H) {
  SetWindowPos(Wnd, nullptr, X, Y, W, H, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Minimised children in a line along the bottom, in creation order, a new
// line above when one is full.
Integer ArrangeIcons(TMdiClient* C) {
  TRect R = ClientArea(C);
  std::vector<HWND> Icons;
  for (HWND H : Listed(C))
    if (IsIconic(H)) Icons.push_back(H);
  Integer X = 0, Y = R.Bottom, LineHeight = 0;
  for (HWND H : Icons) {
    TWindow* W = Lookup(H);
    if (!W || !W->Sub) continue;
    Integer IW = W->Rect.Width(), IH = W->Rect.Height();
    if (X > 0 && X + IW > R.Right) {
      X = 0;
      Y -= LineHeight;
      LineHeight = 0;
    }
    if (X == 0) LineHeight = IH;
    Place(H, X, Y - LineHeight, IW, IH);
    X += IW;
  }
  return Icons.empty() ? 0 : R.Bottom - (Y - LineHeight);
}

Integer IntSqrt(Integer N) {
  Integer R = 0;
  while ((R + 1) * (R + 1) <= N) ++R;
  return R;
}

// Horizontal: wide windows one above the other. Rows = trunc(sqrt(n)),
// columns = n div rows (exchanged for horizontal), filled column by column,
// the last column taking the rest.
void Tile(TMdiClient* C, WPARAM How) {
  std::vector<HWND> Kids = Arrangeable(C, false, (How & MDITILE_SKIPDISABLED) != 0);
  Integer N = static_cast<Integer>(Kids.size());
  if (N == 0) return;
  TRect R = ClientArea(C);
  Integer Height = R.Height() - ArrangeIcons(C);
  Integer Rows = IntSqrt(N), Cols = N / Rows;
  if (How & MDITILE_HORIZONTAL) std::swap(Rows, Cols);
  Integer XSize = R.Width() / Cols, YSize = Height / Rows;
  Integer X = 0, I = 0;
  for (Integer Col = 1; Col <= Cols && I < N; ++Col) {
    if (Col == Cols) {
      Rows = N - I;
      YSize = Height / Rows;
    }
    Integer Y = 0;
    for (Integer Row = 1; Row <= Rows && I < N; ++Row, ++I) {
      Place(Kids[static_cast<size_t>(I)], X, Y, XSize, YSize);
      Y += YSize;
    }
    X += XSize;
  }
}

// Each child a caption and a frame further down and right than the one
// below it; the active child ends on top.
void Cascade(TMdiClient* C, WPARAM How) {
  std::vector<HWND> Kids = Arrangeable(C, false, (How & MDITILE_SKIPDISABLED) != 0);
  if (Kids.empty()) return;
  TRect R = ClientArea(C);
  Integer Height = R.Height() - ArrangeIcons(C);
  Integer Step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
  Integer Stagger = Step > 0 ? Height / (3 * Step) : 0;
  Integer W = std::max(0, R.Width() - Stagger * Step), H = std::max(0, Height - Stagger * Step);
  Integer K = 0;
  for (auto It = Kids.rbegin(); It != Kids.rend(); ++It, ++K) {
    Integer Off = Step * (K % (Stagger + 1));
    Place(*It, Off, Off, W, H);
  }
  Restack(C);
}

void ClientProc(TMdiClient* C, TMessage& M) {
  HWND Wnd = C->Handle;
  HWND Child = reinterpret_cast<HWND>(M.WParam);
  switch (M.Msg) {
    case WM_MDIACTIVATE: Activate(C, Child); break;
    case WM_MDIGETACTIVE: {
      HWND A = Active(C);
      if (M.LParam) *reinterpret_cast<BOOL*>(M.LParam) = A && IsZoomed(A);
      M.Result = reinterpret_cast<LRESULT>(A);
      break;
    }
    case WM_MDINEXT: {
      // From a given child: as if it were the active one.
      if (Child && std::find(C->Order.begin(), C->Order.end(), Child) != C->Order.end() && Child != Active(C))
        Activate(C, Child);
      Next(C, M.LParam != 0);
      break;
    }
    case WM_MDIMAXIMIZE: ShowWindow(Child, SW_MAXIMIZE); break;
    case WM_MDIRESTORE: ShowWindow(Child, SW_RESTORE); break;
    case WM_MDIDESTROY: DestroyWindow(Child); break;
    case WM_MDITILE: Tile(C, M.WParam); M.Result = 1; break;
    case WM_MDICASCADE: Cascade(C, M.WParam); M.Result = 1; break;
    case WM_MDIICONARRANGE: ArrangeIcons(C); break;
    case WM_MDISETMENU: {
      M.Result = reinterpret_cast<LRESULT>(C->WindowMenu);
      if (M.LParam) {
        RemoveListing(C);
        C->WindowMenu = reinterpret_cast<HMENU>(M.LParam);
      }
      break;
    }
    case WM_MDIREFRESHMENU:
      RefreshMenu(C);
      M.Result = reinterpret_cast<LRESULT>(C->WindowMenu);
      break;
    case WM_COMMAND: {
      // A window-menu entry: its child comes up (restored when minimised).
      UINT Id = LOWORD(M.WParam);
      std::vector<HWND> Kids = Listed(C);
      if (Id >= IDM_FIRSTCHILD && Id < IDM_FIRSTCHILD + std::min(Kids.size(), MaxListed)) {
        HWND K = Kids[Id - IDM_FIRSTCHILD];
        if (IsIconic(K)) ShowWindow(K, SW_RESTORE);
        Activate(C, K);
        M.Result = 1;
      }
      break;
    }
    case WM_NCDESTROY:
      // The last message the client's procedure hears.
      g_Clients.erase(Wnd);
      delete C;
      break;
    default: M.Result = DefWindowProc(Wnd, M.Msg, M.WParam, M.LParam); break;
  }
}

// Follows the sub-window's rectangle, caption and activation by the user.
class TSubWindowFilter : public QObject {
 public:
  bool eventFilter(QObject* O, QEvent* E) override {
    auto* Sub = static_cast<QWidget*>(O);
    switch (E->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::WindowStateChange: Sync(Sub); break;
      default: break;
    }
    return false;
  }
  static void Sync(QWidget* Sub) {
    TWindow* W = WindowOfWidget(Sub);
    if (!W || W->Sub != Sub || W->Dead) return;
    TQtEntry Entry;
    QRect G = Sub->geometry();
    QMargins D = Sub->contentsMargins();
    bool DecoChanged = D != W->Deco;
    W->Deco = D;
    TRect R(G.x(), G.y(), G.x() + G.width(), G.y() + G.height());
    bool Same = R.Left == W->Rect.Left && R.Top == W->Rect.Top && R.Right == W->Rect.Right && R.Bottom == W->Rect.Bottom;
    ApplyRect(W, R, true);
    if (DecoChanged && Same && !W->Dead) Relayout(W);
  }
};

TSubWindowFilter* SubFilter() {
  static TSubWindowFilter* F = new TSubWindowFilter;
  return F;
}

}  // namespace

HWND CreateMdiClient(HWND Frame, const TRect& Rect) {
  auto* Area = new QMdiArea;
  Area->setFrameShape(QFrame::NoFrame);
  // The client decides which child is maximised on activation.
  Area->setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
  Area->setBackground(QColor(0x80, 0x80, 0x80));
  auto* C = new TMdiClient;
  C->Area = Area;
  TCreateWindow P;
  P.Kind = wkNative;
  P.Parent = Frame;
  P.Style = WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE;
  P.Rect = Rect;
  P.Native = Area;
  P.HandleOut = &C->Handle;
  P.Proc = [C](TMessage& M) { ClientProc(C, M); };
  HWND H = CreateWindowRecord(P);
  g_Clients[H] = C;
  // A maximised child shows no caption of its own: its buttons belong on
  // the frame's menu bar.
  if (QWidget* Top = Area->window()) Top->setAttribute(Qt::WA_CanHostQMdiSubWindowTitleBar, true);
  QObject::connect(Area, &QMdiArea::subWindowActivated, Area, [H](QMdiSubWindow* Sub) {
    TMdiClient* Cl = ClientOf(H);
    if (!Cl || Cl->Quiet || !Sub) return;
    TWindow* W = WindowOfWidget(Sub);
    if (!W || W->Sub != Sub || W->Dead) return;
    TQtEntry Entry;
    try {
      Activate(Cl, W->Handle);
    } catch (...) {
      HandleException(std::current_exception());
    }
  });
  return H;
}

std::vector<HWND> MdiChildrenOf(HWND Client) {
  std::vector<HWND> Out;
  if (TMdiClient* C = ClientOf(Client)) {
    HWND A = Active(C);
    if (A) Out.push_back(A);
    for (HWND H : C->Order)
      if (H != A && IsWindow(H)) Out.push_back(H);
  }
  return Out;
}

bool IsMdiClient(const TWindow* W) { return W && W->Kind == wkNative && ClientOf(W->Handle) != nullptr; }

void AttachMdiChild(TWindow* W) {
  TMdiClient* C = ClientOfChild(W);
  if (!C) return;
  auto* Sub = new QMdiSubWindow;
  Sub->setAttribute(Qt::WA_DeleteOnClose, false);
  Qt::WindowFlags F = Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (W->Style & WS_SYSMENU) F |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (W->Style & WS_MINIMIZEBOX) F |= Qt::WindowMinimizeButtonHint;
  if (W->Style & WS_MAXIMIZEBOX) F |= Qt::WindowMaximizeButtonHint;
  Sub->setWindowFlags(F);
  Sub->setProperty("gtwnd", W->Frame->property("gtwnd"));
  Sub->setWindowTitle(QString::fromStdU16String(W->Text));
  Sub->setWidget(W->Frame);
  {
    TQuiet Q(C);
    C->Area->addSubWindow(Sub);
    Sub->hide();
  }
  W->Sub = Sub;
  W->Deco = Sub->contentsMargins();
  Sub->installEventFilter(SubFilter());
  // New children start at the bottom; showing one activates it.
  C->Order.push_back(W->Handle);
}

void MdiChildShown(TWindow* W, bool Shown, bool DoActivate) {
  TMdiClient* C = ClientOfChild(W);
  // The client's own state changes leave activation as it is.
  if (!C || C->Quiet) return;
  HWND Wnd = W->Handle;
  if (Shown) {
    if (DoActivate || !Active(C) || Active(C) == Wnd) Activate(C, Wnd);
    return;
  }
  // A hidden child passes activation to the next visible one.
  if (!WasActive(C, Wnd)) return;
  auto& O = C->Order;
  O.erase(std::remove(O.begin(), O.end(), Wnd), O.end());
  O.push_back(Wnd);
  if (HWND Next = Active(C))
    Activate(C, Next, Wnd);
  else
    SendMessage(Wnd, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(Wnd), 0);
}

void MdiChildGone(TWindow* W) {
  TMdiClient* C = ClientOfChild(W);
  if (!C) return;
  HWND Wnd = W->Handle;
  auto& O = C->Order;
  const bool Was = WasActive(C, Wnd) && (W->Style & WS_VISIBLE);
  const bool Zoomed = W->Sub && W->Sub->isMaximized();
  O.erase(std::remove(O.begin(), O.end(), Wnd), O.end());
  {
    TQuiet Q(C);
    if (W->Sub) {
      W->Sub->removeEventFilter(SubFilter());
      C->Area->removeSubWindow(W->Sub);
    }
  }
  // The next child takes activation, and the maximised state with it.
  if (Was)
    if (HWND Next = Active(C)) {
      Activate(C, Next, nullptr);
      if (Zoomed && IsWindow(Next) && !IsZoomed(Next)) {
        TQuiet Q(C);
        ShowWindow(Next, SW_MAXIMIZE);
      }
    }
}

}  // namespace gtui
