// Hooks of the current thread: chains per kind, walked newest first over a
// snapshot, and one application event filter, present only while a hook is,
// that reports focus and window-state changes which start in Qt itself.
#include <QApplication>
#include <QEvent>
#include <QWindowStateChangeEvent>
#include <QWidget>

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/base/threads.h"
#include "platform/ui/private/hooks.h"
#include "platform/ui/private/window.h"

namespace gtui {
namespace {

struct THook {
  Integer Kind = 0;
  HOOKPROC Proc = nullptr;
  bool Removed = false;
};

// One chain per kind, newest first. Records are shared so that a walk in
// progress keeps a removed hook's record alive until it has moved past it.
struct TChains {
  std::vector<std::shared_ptr<THook>> Hooks[3];
};
thread_local TChains t_Chains;

int Slot(Integer IdHook) {
  switch (IdHook) {
    case WH_GETMESSAGE: return 0;
    case WH_CALLWNDPROC: return 1;
    case WH_CBT: return 2;
    default: return -1;
  }
}

// A walk of one chain: the snapshot taken when it started and where it is.
struct TWalk {
  Integer Kind;
  std::vector<std::shared_ptr<THook>> Snapshot;
};
thread_local std::vector<TWalk*> t_Walks;

thread_local int t_LayerChanges = 0;

LRESULT CallFrom(TWalk& Walk, size_t From, Integer Code, WPARAM WParam, LPARAM LParam) {
  for (size_t i = From; i < Walk.Snapshot.size(); ++i) {
    THook* H = Walk.Snapshot[i].get();
    if (H->Removed) continue;
    // Hook procedures are plain routines of the callers; an exception must
    // not unwind through the layer's dispatch.
    try {
      return H->Proc(Code, WParam, LParam);
    } catch (...) {
      HandleException(std::current_exception());
      return 0;
    }
  }
  return 0;
}

class THookFilter : public QObject {
 public:
  bool eventFilter(QObject* Object, QEvent* Event) override {
    if (t_LayerChanges > 0 || !Object->isWidgetType()) return false;
    auto* Widget = static_cast<QWidget*>(Object);
    if (Event->type() == QEvent::FocusIn) {
      TWindow* W = WindowOfWidget(Widget);
      if (W && W->Client == Widget) CallHooks(WH_CBT, HCBT_SETFOCUS, reinterpret_cast<WPARAM>(W->Handle), 0);
    } else if (Event->type() == QEvent::WindowStateChange) {
      // A top-level frame, or the sub-window that carries an MDI child.
      TWindow* W = WindowOfWidget(Widget);
      // Only changes of the minimised or maximised state count, not of activation.
      constexpr Qt::WindowStates MinMax = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
      const Qt::WindowStates Old = static_cast<QWindowStateChangeEvent*>(Event)->oldState();
      if (W && (Widget->isWindow() ? W->Frame == Widget : W->Sub == Widget) &&
          ((Old ^ Widget->windowState()) & MinMax)) {
        Qt::WindowStates S = Widget->windowState();
        LPARAM Show = (S & Qt::WindowMinimized) ? SW_MINIMIZE : (S & Qt::WindowMaximized) ? SW_MAXIMIZE : SW_RESTORE;
        CallHooks(WH_CBT, HCBT_MINMAX, reinterpret_cast<WPARAM>(W->Handle), Show);
      }
    }
    return false;
  }
};
THookFilter* g_Filter = nullptr;

void UpdateFilter() {
  bool Want = false;
  for (auto& C : t_Chains.Hooks) Want = Want || !C.empty();
  if (Want && !g_Filter && IsMainThread() && qApp) {
    g_Filter = new THookFilter;
    qApp->installEventFilter(g_Filter);
  } else if (!Want && g_Filter && IsMainThread()) {
    qApp->removeEventFilter(g_Filter);
    delete g_Filter;
    g_Filter = nullptr;
  }
}

}  // namespace

bool HookInstalled(Integer IdHook) {
  int S = Slot(IdHook);
  return S >= 0 && !t_Chains.Hooks[S].empty();
}

LRESULT CallHooks(Integer IdHook, Integer Code, WPARAM WParam, LPARAM LParam) {
  int S = Slot(IdHook);
  if (S < 0 || t_Chains.Hooks[S].empty()) return 0;
  TWalk Walk{IdHook, t_Chains.Hooks[S]};
  t_Walks.push_back(&Walk);
  struct TPop {
    ~TPop() { t_Walks.pop_back(); }
  } Pop;
  return CallFrom(Walk, 0, Code, WParam, LParam);
}

TLayerChange::TLayerChange() { ++t_LayerChanges; }
TLayerChange::~TLayerChange() { --t_LayerChanges; }

bool HookFilterInstalled() { return g_Filter != nullptr; }

}  // namespace gtui

using namespace gtui;

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

HHOOK SetWindowsHookEx(Integer IdHook, HOOKPROC Proc, HINSTANCE, DWORD ThreadId) {
  int S = Slot(IdHook);
  if (S < 0 || !Proc) return nullptr;
  if (ThreadId != 0 && ThreadId != GetCurrentThreadId()) return nullptr;
  if (IsMainThread()) InitWindowing();
  auto H = std::make_shared<THook>();
  H->Kind = IdHook;
  H->Proc = Proc;
  auto& Chain = t_Chains.Hooks[S];
  Chain.insert(Chain.begin(), H);
  UpdateFilter();
  return reinterpret_cast<HHOOK>(H.get());
}

BOOL UnhookWindowsHookEx(HHOOK Hook) {
  for (auto& Chain : t_Chains.Hooks) {
    auto It = std::find_if(Chain.begin(), Chain.end(),
                           [&](const std::shared_ptr<THook>& H) { return reinterpret_cast<HHOOK>(H.get()) == Hook; });
    if (It == Chain.end()) continue;
    (*It)->Removed = true;
    Chain.erase(It);
    UpdateFilter();
    return TRUE;
  }
  return FALSE;
}

LRESULT CallNextHookEx(HHOOK Hook, Integer Code, WPARAM WParam, LPARAM LParam) {
  // The innermost walk that holds Hook decides what comes next.
  for (auto W = t_Walks.rbegin(); W != t_Walks.rend(); ++W) {
    auto& Snap = (*W)->Snapshot;
    for (size_t i = 0; i < Snap.size(); ++i)
      if (reinterpret_cast<HHOOK>(Snap[i].get()) == Hook) return CallFrom(**W, i + 1, Code, WParam, LParam);
  }
  return 0;
}
