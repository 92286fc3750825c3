// Shared window hooks: counting of hook kinds per registration, the events
// each code receives through the window layer, and procedures that remove
// registrations (their own, others', the last one) while being called.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "controls/tbhook.h"
#include "platform/base/classes.h"
#include "platform/ui/private/hooks.h"

namespace test_tbhook_tests {

struct TCall {
  char Proc;
  THookProcCode Code;
  HWND Wnd;
  WPARAM WParam;
  LPARAM LParam;
  UINT Msg;  // the MSG's message for hookGetMessage
};
std::vector<TCall> g_Calls;

void Record(char Proc, THookProcCode Code, HWND Wnd, WPARAM W, LPARAM L) {
  UINT Msg = Code == hookGetMessage && L ? reinterpret_cast<const MSG*>(L)->message : 0;
  g_Calls.push_back({Proc, Code, Wnd, W, L, Msg});
}

void ProcA(THookProcCode C, HWND Wnd, WPARAM W, LPARAM L) { Record('A', C, Wnd, W, L); }
void ProcB(THookProcCode C, HWND Wnd, WPARAM W, LPARAM L) { Record('B', C, Wnd, W, L); }
void ProcC(THookProcCode C, HWND Wnd, WPARAM W, LPARAM L) { Record('C', C, Wnd, W, L); }
void ProcD(THookProcCode C, HWND Wnd, WPARAM W, LPARAM L) { Record('D', C, Wnd, W, L); }

TObject g_Owner1, g_Owner2;

bool Installed(Integer Id) { return gtui::HookInstalled(Id); }

struct TKinds {
  bool CallWnd, CBT, GetMsg;
  bool operator==(const TKinds&) const = default;
};
TKinds InstalledKinds() { return {Installed(WH_CALLWNDPROC), Installed(WH_CBT), Installed(WH_GETMESSAGE)}; }
std::ostream& operator<<(std::ostream& O, const TKinds& K) {
  return O << "{callwnd " << K.CallWnd << ", cbt " << K.CBT << ", getmsg " << K.GetMsg << "}";
}

class TbHook : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(InstalledKinds(), (TKinds{false, false, false})) << "another test left a hook behind";
    g_Calls.clear();
  }
  void TearDown() override { EXPECT_EQ(InstalledKinds(), (TKinds{false, false, false})); }
};

TEST_F(TbHook, KindsFollowTheRegistrationsThatNeedThem) {
  const THookProcCodes Activation = HookCodeBit(hookActivate) | HookCodeBit(hookWindowPosChanged);
  const THookProcCodes Destroy = HookCodeBit(hookDestroyWindow);
  const THookProcCodes GetMsg = HookCodeBit(hookGetMessage);

  // A get-message registration alone installs only the get-message hook.
  RegisterHookProc(&g_Owner1, ProcA, GetMsg);
  EXPECT_EQ(InstalledKinds(), (TKinds{false, false, true}));
  UnregisterHookProc(&g_Owner1, ProcA);
  EXPECT_EQ(InstalledKinds(), (TKinds{false, false, false}));

  // Two owners of one procedure count its kinds twice: the hooks stay until
  // both have gone. The same owner registering again counts once.
  RegisterHookProc(&g_Owner1, ProcB, Activation | Destroy);
  RegisterHookProc(&g_Owner1, ProcB, Activation | Destroy);
  RegisterHookProc(&g_Owner2, ProcB, Activation | Destroy);
  EXPECT_EQ(InstalledKinds(), (TKinds{true, true, false}));
  UnregisterHookProc(&g_Owner2, ProcB);
  EXPECT_EQ(InstalledKinds(), (TKinds{true, true, false}));
  // An owner that never registered this procedure changes nothing.
  UnregisterHookProc(&g_Owner2, ProcB);
  UnregisterHookProc(&g_Owner2, ProcC);
  EXPECT_EQ(InstalledKinds(), (TKinds{true, true, false}));
  UnregisterHookProc(&g_Owner1, ProcB);
  EXPECT_EQ(InstalledKinds(), (TKinds{false, false, false}));

  // Each kind is counted over all procedures: removing one procedure keeps
  // the kinds another still needs.
  RegisterHookProc(&g_Owner1, ProcA, Destroy);
  RegisterHookProc(&g_Owner1, ProcB, Destroy | GetMsg);
  UnregisterHookProc(&g_Owner1, ProcB);
  EXPECT_EQ(InstalledKinds(), (TKinds{false, true, false}));
  UnregisterHookProc(&g_Owner1, ProcA);

  EXPECT_EQ(KindsForCodes(0), 0);
  EXPECT_EQ(KindsForCodes(HookCodeBit(hookActivateApp)), 1u << kindCallWndProc);
}

TEST_F(TbHook, EachCodeReachesTheProceduresThatWantIt) {
  HWND Wnd = AllocateHWnd([](TMessage&) {});
  RegisterHookProc(&g_Owner1, ProcA,
                   HookCodeBit(hookActivate) | HookCodeBit(hookActivateApp) | HookCodeBit(hookWindowPosChanged) |
                       HookCodeBit(hookDestroyWindow) | HookCodeBit(hookGetMessage));
  // B's codes are fixed by its first registration; a later one with more
  // codes (by another owner) adds none.
  RegisterHookProc(&g_Owner1, ProcB, HookCodeBit(hookActivateApp));
  RegisterHookProc(&g_Owner2, ProcB, HookCodeBit(hookGetMessage) | HookCodeBit(hookActivate));

  SendMessage(Wnd, WM_ACTIVATE, WA_ACTIVE, 0x55);
  SendMessage(Wnd, WM_ACTIVATEAPP, 1, 0x66);
  SendMessage(Wnd, WM_WINDOWPOSCHANGED, 0, 0x77);
  SendMessage(Wnd, WM_SIZE, 0, 0);  // no code of its own
  PostMessage(Wnd, WM_USER + 5, 0, 0);
  MSG M;
  ASSERT_TRUE(PeekMessage(&M, Wnd, WM_USER + 5, WM_USER + 5, PM_REMOVE));

  struct {
    char Proc;
    THookProcCode Code;
    HWND Wnd;
    WPARAM WParam;
    LPARAM LParam;
  } Expected[] = {
      {'A', hookActivate, Wnd, WA_ACTIVE, 0x55},  {'A', hookActivateApp, Wnd, 1, 0x66},
      {'B', hookActivateApp, Wnd, 1, 0x66},       {'A', hookWindowPosChanged, Wnd, 0, 0x77},
      {'A', hookGetMessage, nullptr, PM_REMOVE, 0},
  };
  ASSERT_EQ(g_Calls.size(), std::size(Expected));
  for (size_t i = 0; i < std::size(Expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(g_Calls[i].Proc, Expected[i].Proc);
    EXPECT_EQ(g_Calls[i].Code, Expected[i].Code);
    EXPECT_EQ(g_Calls[i].Wnd, Expected[i].Wnd);
    EXPECT_EQ(g_Calls[i].WParam, Expected[i].WParam);
    if (Expected[i].Code != hookGetMessage) {
      EXPECT_EQ(g_Calls[i].LParam, Expected[i].LParam);
    }
  }
  EXPECT_EQ(g_Calls.back().Msg, UINT(WM_USER + 5)) << "the get-message code passes the message record";

  g_Calls.clear();
  DestroyWindow(Wnd);
  ASSERT_EQ(g_Calls.size(), 1u);
  EXPECT_EQ(g_Calls[0].Code, hookDestroyWindow);
  EXPECT_EQ(g_Calls[0].Wnd, Wnd);
  EXPECT_EQ(g_Calls[0].WParam, 0u);

  UnregisterHookProc(&g_Owner1, ProcA);
  UnregisterHookProc(&g_Owner1, ProcB);
  UnregisterHookProc(&g_Owner2, ProcB);
}

// Removes its own registration and then that of the procedure after it.
void SelfAndSuccessorRemover(THookProcCode C, HWND Wnd, WPARAM W, LPARAM L) {
  Record('R', C, Wnd, W, L);
  UnregisterHookProc(&g_Owner1, SelfAndSuccessorRemover);
  UnregisterHookProc(&g_Owner1, ProcC);
}
// Removes every registration there is, the last one included.
void RemoveEverything(THookProcCode C, HWND Wnd, WPARAM W, LPARAM L) {
  Record('X', C, Wnd, W, L);
  for (THookProc P : {ProcA, ProcB, ProcC, ProcD, RemoveEverything}) UnregisterHookProc(&g_Owner1, P);
}
void Thrower(THookProcCode C, HWND Wnd, WPARAM W, LPARAM L) {
  Record('T', C, Wnd, W, L);
  throw std::runtime_error("listener failed");
}

std::string Order() {
  std::string S;
  for (const TCall& C : g_Calls) S += C.Proc;
  return S;
}

TEST_F(TbHook, RemovalDuringDispatchSkipsNoOtherProcedureAndFreesNothingEarly) {
  const THookProcCodes Code = HookCodeBit(hookWindowPosChanged);
  HWND Wnd = AllocateHWnd([](TMessage&) {});
  struct {
    std::vector<THookProc> Procs;
    const char* FirstDispatch;
    const char* SecondDispatch;
  } Cases[] = {
      // R removes itself and C; A, B and D are each called exactly once.
      {{ProcA, SelfAndSuccessorRemover, ProcC, ProcB, ProcD}, "ARBD", "ABD"},
      {{SelfAndSuccessorRemover, ProcC, ProcD}, "RD", "D"},
      // The procedure that empties the list and drops every hook is not the
      // last in it: the walk goes on over the entries it removed, calling none.
      {{ProcA, RemoveEverything, ProcB}, "AX", ""},
      {{RemoveEverything}, "X", ""},
      // An exception inside a listener stays there.
      {{Thrower, ProcA}, "TA", "TA"},
  };
  for (auto& Case : Cases) {
    SCOPED_TRACE(Case.FirstDispatch);
    for (THookProc P : Case.Procs) RegisterHookProc(&g_Owner1, P, Code);
    g_Calls.clear();
    SendMessage(Wnd, WM_WINDOWPOSCHANGED, 0, 0);
    EXPECT_EQ(Order(), Case.FirstDispatch);
    g_Calls.clear();
    SendMessage(Wnd, WM_WINDOWPOSCHANGED, 0, 0);
    EXPECT_EQ(Order(), Case.SecondDispatch);
    for (THookProc P : Case.Procs) UnregisterHookProc(&g_Owner1, P);
    EXPECT_FALSE(Installed(WH_CALLWNDPROC));
  }
  DeallocateHWnd(Wnd);
}

// A dispatch inside a dispatch: the inner one must not free what the outer
// walk still reads when the last registration goes during it.
HWND g_InnerWnd = nullptr;
void Nester(THookProcCode C, HWND Wnd, WPARAM W, LPARAM L) {
  Record('N', C, Wnd, W, L);
  if (C == hookActivate) SendMessage(g_InnerWnd, WM_ACTIVATEAPP, 1, 0);
}
void LastRemover(THookProcCode C, HWND Wnd, WPARAM W, LPARAM L) {
  Record('L', C, Wnd, W, L);
  UnregisterHookProc(&g_Owner1, LastRemover);
  UnregisterHookProc(&g_Owner1, Nester);
  UnregisterHookProc(&g_Owner2, ProcA);
}

TEST_F(TbHook, NestedDispatchRemovingTheLastRegistration) {
  g_InnerWnd = AllocateHWnd([](TMessage&) {});
  RegisterHookProc(&g_Owner1, Nester, HookCodeBit(hookActivate) | HookCodeBit(hookActivateApp));
  RegisterHookProc(&g_Owner1, LastRemover, HookCodeBit(hookActivateApp));
  RegisterHookProc(&g_Owner2, ProcA, HookCodeBit(hookActivate));
  SendMessage(g_InnerWnd, WM_ACTIVATE, WA_ACTIVE, 0);
  // Outer: N (activate) runs the inner dispatch N, L; L removed A, which the
  // outer walk then skips.
  EXPECT_EQ(Order(), "NNL");
  g_Calls.clear();
  SendMessage(g_InnerWnd, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(Order(), "");
  DeallocateHWnd(g_InnerWnd);
}

}  // namespace test_tbhook_tests
