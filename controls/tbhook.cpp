// Shared window hooks: per-thread counts of the kinds registrations need, one
// platform hook per kind, and a dispatch that survives registrations being
// removed (even the last one) by the procedures it calls.
#include "controls/tbhook.h"

#include <algorithm>
#include <vector>

namespace {

struct THookUserData {
  THookUserData* OlderUser = nullptr;
  TObject* OwnerObject = nullptr;
  THookKinds CountedKinds = 0;
};

struct THookProcData {
  THookProc Procedure = nullptr;
  THookProcCodes WantedCodes = 0;
  THookUserData* NewestUser = nullptr;
  // Set when the last user left while a dispatch was running; the entry is
  // freed when the outermost dispatch ends, so no walk ever reads freed memory.
  bool Dead = false;
};

struct THookInfo {
  HHOOK Handles[3] = {nullptr, nullptr, nullptr};
  int32_t UserCounts[3] = {0, 0, 0};
};

thread_local std::vector<THookProcData*>* t_ProcList = nullptr;
thread_local THookInfo* t_HookInfo = nullptr;
thread_local int t_DispatchDepth = 0;

constexpr Integer KindIds[3] = {WH_CALLWNDPROC, WH_CBT, WH_GETMESSAGE};

LRESULT CallWndProcHook(Integer Code, WPARAM WParam, LPARAM LParam);
LRESULT CBTHook(Integer Code, WPARAM WParam, LPARAM LParam);
LRESULT GetMessageHook(Integer Code, WPARAM WParam, LPARAM LParam);
constexpr HOOKPROC KindProcs[3] = {CallWndProcHook, CBTHook, GetMessageHook};

// Removes this thread's hooks when the thread (or the program) ends. It is
// first touched after the platform installed a hook, so the platform's own
// per-thread chains outlive it.
struct TShutdownGuard {
  bool Armed = false;
  ~TShutdownGuard() {
    if (Armed) ReleaseAllHookKinds();
  }
};
thread_local TShutdownGuard t_ShutdownGuard;

THookProcData* FindLive(THookProc Procedure) {
  if (!t_ProcList) return nullptr;
  for (THookProcData* P : *t_ProcList)
    if (!P->Dead && P->Procedure == Procedure) return P;
  return nullptr;
}

bool HasLiveEntries() {
  return std::any_of(t_ProcList->begin(), t_ProcList->end(), [](THookProcData* P) { return !P->Dead; });
}

// Frees what emptied out, but never while a dispatch may still read it.
void Tidy() {
  if (t_DispatchDepth > 0) return;
  if (t_ProcList) {
    auto& L = *t_ProcList;
    auto Sweep = [](THookProcData* P) {
      if (!P->Dead) return false;
      delete P;
      return true;
    };
    L.erase(std::remove_if(L.begin(), L.end(), Sweep), L.end());
  }
  if (t_HookInfo) {
    const THookInfo& I = *t_HookInfo;
    bool Empty = true;
    for (int K = 0; K < 3; ++K) Empty = Empty && I.UserCounts[K] == 0 && I.Handles[K] == nullptr;
    if (Empty) {
      delete t_HookInfo;
      t_HookInfo = nullptr;
    }
  }
}

void AcquireHookKinds(THookKinds Kinds, THookKinds& Counted) {
  if (!t_HookInfo) t_HookInfo = new THookInfo;
  for (int K = 0; K < 3; ++K) {
    if ((Kinds & (1u << K)) && !(Counted & (1u << K))) {
      ++t_HookInfo->UserCounts[K];
      Counted |= static_cast<THookKinds>(1u << K);
    }
  }
  for (int K = 0; K < 3; ++K) {
    if ((Counted & (1u << K)) && !t_HookInfo->Handles[K]) {
      // A failed install leaves 0 and is tried again at the next acquisition.
      t_HookInfo->Handles[K] = SetWindowsHookEx(KindIds[K], KindProcs[K], nullptr, GetCurrentThreadId());
      if (t_HookInfo->Handles[K]) t_ShutdownGuard.Armed = true;
    }
  }
}

void ReleaseHookKinds(THookKinds Kinds, bool Force) {
  if (!t_HookInfo) return;
  for (int K = 0; K < 3; ++K) {
    if (!(Kinds & (1u << K))) continue;
    if (!Force) --t_HookInfo->UserCounts[K];
    if (t_HookInfo->Handles[K] && (Force || t_HookInfo->UserCounts[K] == 0)) {
      UnhookWindowsHookEx(t_HookInfo->Handles[K]);
      t_HookInfo->Handles[K] = nullptr;
    }
  }
  Tidy();
}

// Calls every live procedure that wants Code. The walk runs over a snapshot
// of the entries; an entry removed meanwhile is only marked, so both the
// snapshot and the list stay valid until the outermost dispatch is over.
void Dispatch(THookProcCode Code, HWND Wnd, WPARAM WParam, LPARAM LParam) {
  std::vector<THookProcData*> Snapshot;
  try {
    Snapshot = *t_ProcList;
  } catch (...) {
    return;
  }
  ++t_DispatchDepth;
  for (THookProcData* P : Snapshot) {
    if (P->Dead || !(P->WantedCodes & HookCodeBit(Code))) continue;
    try {
      P->Procedure(Code, Wnd, WParam, LParam);
    } catch (...) {
      // A failing listener must not break the thread's message flow.
    }
  }
  --t_DispatchDepth;
  if (t_DispatchDepth == 0) {
    Tidy();
    if (t_ProcList && t_ProcList->empty()) {
      delete t_ProcList;
      t_ProcList = nullptr;
    }
  }
}

HHOOK HandleOf(THookKind Kind) { return t_HookInfo ? t_HookInfo->Handles[Kind] : nullptr; }

LRESULT CallWndProcHook(Integer Code, WPARAM WParam, LPARAM LParam) {
  // Taken before the procedures run: they may remove this very hook.
  HHOOK Next = HandleOf(kindCallWndProc);
  if (t_ProcList && Code == HC_ACTION && LParam) {
    const auto* C = reinterpret_cast<const CWPSTRUCT*>(LParam);
    int HookCode = C->message == WM_ACTIVATE            ? hookActivate
                   : C->message == WM_ACTIVATEAPP       ? hookActivateApp
                   : C->message == WM_WINDOWPOSCHANGED ? hookWindowPosChanged
                                                        : -1;
    if (HookCode >= 0) {
      Dispatch(static_cast<THookProcCode>(HookCode), C->hwnd, C->wParam, C->lParam);
    } else if (C->message == WM_SHOWWINDOW) {
      // The window layer tells a window it shows or hides with WM_SHOWWINDOW
      // alone; the position change that would carry it is passed on for it.
      WINDOWPOS Pos;
      Pos.hwnd = C->hwnd;
      Pos.flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | (C->wParam ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
      Dispatch(hookWindowPosChanged, C->hwnd, 0, reinterpret_cast<LPARAM>(&Pos));
    }
  }
  return CallNextHookEx(Next, Code, WParam, LParam);
}

LRESULT CBTHook(Integer Code, WPARAM WParam, LPARAM LParam) {
  HHOOK Next = HandleOf(kindCBT);
  if (t_ProcList && Code == HCBT_DESTROYWND) Dispatch(hookDestroyWindow, reinterpret_cast<HWND>(WParam), 0, 0);
  return CallNextHookEx(Next, Code, WParam, LParam);
}

LRESULT GetMessageHook(Integer Code, WPARAM WParam, LPARAM LParam) {
  HHOOK Next = HandleOf(kindGetMessage);
  if (t_ProcList && Code == HC_ACTION) Dispatch(hookGetMessage, nullptr, WParam, LParam);
  return CallNextHookEx(Next, Code, WParam, LParam);
}

}  // namespace

THookKinds KindsForCodes(THookProcCodes Codes) {
  THookKinds K = 0;
  if (Codes & (HookCodeBit(hookActivate) | HookCodeBit(hookActivateApp) | HookCodeBit(hookWindowPosChanged)))
    K |= 1u << kindCallWndProc;
  if (Codes & HookCodeBit(hookDestroyWindow)) K |= 1u << kindCBT;
  if (Codes & HookCodeBit(hookGetMessage)) K |= 1u << kindGetMessage;
  return K;
}

void RegisterHookProc(TObject* Owner, THookProc Procedure, THookProcCodes Codes) {
  if (!t_ProcList) t_ProcList = new std::vector<THookProcData*>;
  THookUserData* User = nullptr;
  if (THookProcData* P = FindLive(Procedure)) {
    for (User = P->NewestUser; User && User->OwnerObject != Owner;) User = User->OlderUser;
    if (!User) {
      User = new THookUserData{P->NewestUser, Owner, 0};
      P->NewestUser = User;
    }
  } else {
    User = new THookUserData{nullptr, Owner, 0};
    try {
      t_ProcList->reserve(t_ProcList->size() + 1);
      t_ProcList->push_back(new THookProcData{Procedure, Codes, User, false});
    } catch (...) {
      delete User;
      throw;
    }
  }
  AcquireHookKinds(KindsForCodes(Codes), User->CountedKinds);
}

void UnregisterHookProc(TObject* Owner, THookProc Procedure) {
  if (!t_ProcList) return;
  if (THookProcData* P = FindLive(Procedure)) {
    THookUserData* Newer = nullptr;
    THookUserData* User = P->NewestUser;
    while (User && User->OwnerObject != Owner) {
      Newer = User;
      User = User->OlderUser;
    }
    if (!User) return;
    if (Newer)
      Newer->OlderUser = User->OlderUser;
    else if (User->OlderUser)
      P->NewestUser = User->OlderUser;
    else {
      P->NewestUser = nullptr;
      P->Dead = true;
    }
    THookKinds Counted = User->CountedKinds;
    delete User;
    ReleaseHookKinds(Counted, false);
  }
  Tidy();
  if (t_DispatchDepth == 0 && t_ProcList && !HasLiveEntries()) {
    delete t_ProcList;
    t_ProcList = nullptr;
  }
}

void ReleaseAllHookKinds() {
  ReleaseHookKinds((1u << kindCallWndProc) | (1u << kindCBT) | (1u << kindGetMessage), true);
}
