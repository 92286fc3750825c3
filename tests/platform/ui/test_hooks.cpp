// Hooks of the thread: chain order and passing on, the places the layer
// calls them, rewriting of a message, and removal during a call.
#include <string>
#include <vector>

#include "tests/platform/ui/uitest.h"

namespace test_hooks_tests {

namespace {

std::vector<std::string> g_Log;
HHOOK g_Hooks[4] = {};

std::string Name(UINT Msg) {
  switch (Msg) {
    case WM_DESTROY: return "WM_DESTROY";
    case WM_ACTIVATE: return "WM_ACTIVATE";
    default: return std::to_string(Msg);
  }
}

LRESULT CALLBACK_A(Integer Code, WPARAM W, LPARAM L) {
  g_Log.push_back("A");
  return CallNextHookEx(g_Hooks[0], Code, W, L);
}
LRESULT CALLBACK_B(Integer Code, WPARAM W, LPARAM L) {
  g_Log.push_back("B");
  return CallNextHookEx(g_Hooks[1], Code, W, L) + 10;
}
// Removes itself and the older hook A while it runs, then passes on.
LRESULT CALLBACK_Remover(Integer Code, WPARAM W, LPARAM L) {
  g_Log.push_back("R");
  UnhookWindowsHookEx(g_Hooks[2]);
  UnhookWindowsHookEx(g_Hooks[0]);
  return CallNextHookEx(g_Hooks[2], Code, W, L);
}

TEST(Hooks, NewestFirstPassingOnAndRemovalDuringACall) {
  ASSERT_EQ(SetWindowsHookEx(WH_CBT, CALLBACK_A, nullptr, GetCurrentThreadId() + 1), nullptr)
      << "another thread's hooks are refused";
  EXPECT_FALSE(GtTestHookFilterInstalled());
  g_Hooks[0] = SetWindowsHookEx(WH_GETMESSAGE, CALLBACK_A, nullptr, GetCurrentThreadId());
  g_Hooks[1] = SetWindowsHookEx(WH_GETMESSAGE, CALLBACK_B, nullptr, 0);
  ASSERT_NE(g_Hooks[0], nullptr);
  ASSERT_NE(g_Hooks[1], nullptr);
  EXPECT_TRUE(GtTestHookFilterInstalled());
  HWND Wnd = AllocateHWnd([](TMessage&) {});
  MSG M;
  PostMessage(Wnd, WM_USER + 1, 0, 0);
  g_Log.clear();
  ASSERT_TRUE(PeekMessage(&M, Wnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(g_Log, (std::vector<std::string>{"B", "A"}));

  // The newest removes itself and A while the chain runs: the walk skips A
  // (already gone), finishes, and the next walk sees only B.
  g_Hooks[2] = SetWindowsHookEx(WH_GETMESSAGE, CALLBACK_Remover, nullptr, 0);
  PostMessage(Wnd, WM_USER + 2, 0, 0);
  g_Log.clear();
  ASSERT_TRUE(PeekMessage(&M, Wnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(g_Log, (std::vector<std::string>{"R", "B"}));
  PostMessage(Wnd, WM_USER + 3, 0, 0);
  g_Log.clear();
  ASSERT_TRUE(PeekMessage(&M, Wnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(g_Log, (std::vector<std::string>{"B"}));
  EXPECT_FALSE(UnhookWindowsHookEx(g_Hooks[0])) << "already removed";
  EXPECT_TRUE(UnhookWindowsHookEx(g_Hooks[1]));
  EXPECT_FALSE(GtTestHookFilterInstalled()) << "the filter goes with the last hook";
  DeallocateHWnd(Wnd);
}

// The get-message hook: sees the remove flag and may send the message elsewhere.
HWND g_Redirect = nullptr;
std::vector<WPARAM> g_RemoveFlags;
LRESULT Redirector(Integer Code, WPARAM W, LPARAM L) {
  auto* M = reinterpret_cast<MSG*>(L);
  g_RemoveFlags.push_back(W);
  if (Code == HC_ACTION && M->message == WM_USER + 7) M->hwnd = g_Redirect;
  return CallNextHookEx(g_Hooks[3], Code, W, L);
}

TEST(Hooks, GetMessageHookSeesTheRemoveFlagAndRewritesTheMessage) {
  std::vector<std::string> Got;
  HWND A = AllocateHWnd([&](TMessage& M) { Got.push_back("A " + Name(M.Msg)); });
  HWND B = AllocateHWnd([&](TMessage& M) { Got.push_back("B " + Name(M.Msg)); });
  g_Redirect = B;
  g_RemoveFlags.clear();
  g_Hooks[3] = SetWindowsHookEx(WH_GETMESSAGE, Redirector, nullptr, 0);
  PostMessage(A, WM_USER + 7, 0, 0);
  MSG M;
  ASSERT_TRUE(PeekMessage(&M, A, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(GetMessage(&M, A, 0, 0));
  EXPECT_EQ(M.hwnd, B);
  DispatchMessage(&M);
  EXPECT_EQ(Got, (std::vector<std::string>{"B " + Name(WM_USER + 7)}));
  EXPECT_EQ(g_RemoveFlags, (std::vector<WPARAM>{PM_NOREMOVE, PM_REMOVE}));
  UnhookWindowsHookEx(g_Hooks[3]);
  DeallocateHWnd(A);
  DeallocateHWnd(B);
}

// The CBT hook: asked before destruction, state changes and focus moves.
struct TCbtCall {
  Integer Code;
  WPARAM W;
  LPARAM L;
  bool Zoomed;
};
std::vector<TCbtCall> g_Cbt;
HWND g_Refuse = nullptr;
std::vector<std::string>* g_Order = nullptr;
LRESULT Cbt(Integer Code, WPARAM W, LPARAM L) {
  HWND Wnd = reinterpret_cast<HWND>(W);
  g_Cbt.push_back({Code, W, L, IsZoomed(Wnd) != FALSE});
  if (Code == HCBT_DESTROYWND && g_Order) g_Order->push_back("HCBT_DESTROYWND");
  if (Wnd == g_Refuse) return 1;
  return CallNextHookEx(nullptr, Code, W, L);
}

class HooksUi : public UiTest {};

TEST_F(HooksUi, CbtHookComesBeforeTheChangeAndCanRefuseIt) {
  std::vector<std::string> Order;
  g_Order = &Order;
  g_Cbt.clear();
  HHOOK H = SetWindowsHookEx(WH_CBT, Cbt, nullptr, 0);
  auto* R = AddRecorder(10, 10, 50, 50);
  HWND RH = R->Handle();
  TWndMethod Old = R->WindowProc;
  R->WindowProc = [Old, &Order](TMessage& M) {
    if (M.Msg == WM_DESTROY) Order.push_back("WM_DESTROY");
    Old(M);
  };
  // Maximising: the hook runs while the window is not zoomed yet.
  HWND F = Form->Handle();
  ShowWindow(F, SW_MAXIMIZE);
  GtTestPump(20);
  ASSERT_FALSE(g_Cbt.empty());
  EXPECT_EQ(g_Cbt[0].Code, HCBT_MINMAX);
  EXPECT_EQ(reinterpret_cast<HWND>(g_Cbt[0].W), F);
  EXPECT_EQ(g_Cbt[0].L, SW_MAXIMIZE);
  EXPECT_FALSE(g_Cbt[0].Zoomed);
  EXPECT_TRUE(IsZoomed(F));
  // A refused destruction leaves the window alive.
  g_Refuse = RH;
  EXPECT_FALSE(DestroyWindow(RH));
  EXPECT_TRUE(IsWindow(RH));
  g_Refuse = nullptr;
  Order.clear();
  EXPECT_TRUE(DestroyWindow(RH));
  ASSERT_GE(Order.size(), 2u);
  EXPECT_EQ(Order[0], "HCBT_DESTROYWND");
  EXPECT_EQ(Order[1], "WM_DESTROY");
  // Focus: the window gaining it and the one losing it.
  auto* E1 = AddRecorder(100, 10, 40, 40);
  auto* E2 = AddRecorder(150, 10, 40, 40);
  SetFocus(E1->Handle());
  GtTestPump(10);
  g_Cbt.clear();
  SetFocus(E2->Handle());
  GtTestPump(10);
  ASSERT_FALSE(g_Cbt.empty());
  EXPECT_EQ(g_Cbt[0].Code, HCBT_SETFOCUS);
  EXPECT_EQ(reinterpret_cast<HWND>(g_Cbt[0].W), E2->Handle());
  EXPECT_EQ(reinterpret_cast<HWND>(g_Cbt[0].L), E1->Handle());
  EXPECT_EQ(g_Cbt.size(), 1u) << "the layer's own change is not reported twice";
  UnhookWindowsHookEx(H);
  g_Order = nullptr;
}

// The call-window-procedure hook sees WM_ACTIVATE of both forms.
std::vector<std::pair<HWND, WORD>> g_Activations;
LRESULT CallWnd(Integer Code, WPARAM W, LPARAM L) {
  auto* C = reinterpret_cast<CWPSTRUCT*>(L);
  if (Code == HC_ACTION && C->message == WM_ACTIVATE) g_Activations.push_back({C->hwnd, LOWORD(C->wParam)});
  return CallNextHookEx(nullptr, Code, W, L);
}

TEST_F(HooksUi, CallWndProcHookSeesDeactivationThenActivation) {
  TForm Second(nullptr);
  Second.SetBounds(400, 40, 200, 100);
  Second.Show();
  ASSERT_TRUE(GtTestActivate(Form->Handle()));
  g_Activations.clear();
  HHOOK H = SetWindowsHookEx(WH_CALLWNDPROC, CallWnd, nullptr, 0);
  ASSERT_TRUE(GtTestActivate(Second.Handle()));
  GtTestPumpUntil([] { return g_Activations.size() >= 2; }, 2000);
  UnhookWindowsHookEx(H);
  ASSERT_EQ(g_Activations.size(), 2u);
  EXPECT_EQ(g_Activations[0], std::make_pair(Form->Handle(), WORD(WA_INACTIVE)));
  EXPECT_EQ(g_Activations[1].first, Second.Handle());
  EXPECT_NE(g_Activations[1].second, WA_INACTIVE);
}

}  // namespace

}  // namespace test_hooks_tests
