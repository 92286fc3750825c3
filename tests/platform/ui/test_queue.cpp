// Message loops of the program: input taken from the queue, its target chosen
// when it is removed, the logical capture of a window without a visible part,
// system keys, and the system resize.
#include <functional>
#include <string>
#include <vector>

#include "tests/platform/ui/uitest.h"

namespace test_queue_tests {

namespace {

// Runs Action once from a timer while a loop waits, as a user's input would arrive.
std::function<void()> g_Injected;
void InjectProc(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  auto Fn = std::move(g_Injected);
  g_Injected = nullptr;
  if (Fn) Fn();
}
void InjectSoon(std::function<void()> Fn) {
  g_Injected = std::move(Fn);
  SetTimer(nullptr, 0, 1, InjectProc);
}

// A loop written the way the menu loop is: judge a press before removing it.
struct TLoopResult {
  MSG Peeked;
  bool Got = false;
};
TLoopResult PeekPressLoop(HWND CaptureWnd, bool RemoveIt) {
  TLoopResult R;
  SetCapture(CaptureWnd);
  bool Done = false;
  for (int Rounds = 0; !Done && Rounds < 400; ++Rounds) {
    MSG M;
    if (!PeekMessage(&M, nullptr, 0, 0, PM_NOREMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      continue;
    }
    if (M.message == WM_LBUTTONDOWN || M.message == WM_LBUTTONDBLCLK) {
      R.Peeked = M;
      R.Got = true;
      if (RemoveIt) PeekMessage(&M, nullptr, M.message, M.message, PM_REMOVE | PM_NOYIELD);
      Done = true;
    } else {
      PeekMessage(&M, nullptr, M.message, M.message, PM_REMOVE);
      DispatchMessage(&M);
    }
  }
  ReleaseCapture();
  return R;
}

class QueueUi : public UiTest {};

TEST_F(QueueUi, PressJudgedBeforeRemovalThenDeliveredWhereItLands) {
  auto* R = AddRecorder(20, 30, 100, 80);
  HWND Catcher = AllocateHWnd([](TMessage&) {});
  HWND RH = R->Handle();
  for (bool Remove : {false, true}) {
    SCOPED_TRACE(Remove ? "removed by the loop" : "left queued");
    R->Mouse.clear();
    InjectSoon([RH] { GtTestMouse(RH, gmaPress, gmbLeft, 7, 9); });
    TLoopResult Res = PeekPressLoop(Catcher, Remove);
    ASSERT_TRUE(Res.Got);
    // The capture decides the window; pt is on the screen.
    EXPECT_EQ(Res.Peeked.hwnd, Catcher);
    TPoint Expected(7, 9);
    ClientToScreen(RH, &Expected);
    EXPECT_EQ(Res.Peeked.pt, Expected);
    EXPECT_TRUE(R->Mouse.empty()) << "nothing reached the window while the loop held the input";
    DWORD Pos = GetMessagePos();
    EXPECT_EQ(TPoint(GET_X_LPARAM(Pos), GET_Y_LPARAM(Pos)), Expected);
    GtTestPump(30);
    auto Downs = Significant(R->Mouse);
    if (Remove) {
      EXPECT_TRUE(Downs.empty());
    } else {
      ASSERT_EQ(Downs.size(), 1u);
      EXPECT_EQ(Downs[0].Kind, "down");
      EXPECT_EQ(TPoint(Downs[0].X, Downs[0].Y), TPoint(7, 9));
    }
    GtTestMouse(RH, gmaRelease, gmbLeft, 7, 9);
    GtTestPump(10);
  }
  DeallocateHWnd(Catcher);
}

TEST_F(QueueUi, KeysComeWithTheirCharactersInOrder) {
  auto* R = AddRecorder(20, 30, 100, 80);
  R->SetFocus();
  GtTestPump(10);
  HWND RH = R->Handle();
  InjectSoon([RH] {
    GtTestKey(RH, true, 'A', 0, u'a');
    GtTestKey(RH, false, 'A');
    GtTestMouse(RH, gmaMove, gmbNone, 5, 5);
    GtTestMouse(RH, gmaMove, gmbNone, 5, 5);  // a move that does not move
    GtTestMouse(RH, gmaMove, gmbNone, 6, 5);
  });
  std::vector<std::pair<UINT, WPARAM>> Seen;
  std::vector<HWND> Targets;
  for (int Rounds = 0; Rounds < 400 && Seen.size() < 5; ++Rounds) {
    MSG M;
    if (!PeekMessage(&M, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      continue;
    }
    if ((M.message >= WM_KEYFIRST && M.message <= WM_KEYLAST) || M.message == WM_MOUSEMOVE) {
      Seen.push_back({M.message, M.message == WM_MOUSEMOVE ? static_cast<WPARAM>(M.lParam) : M.wParam});
      Targets.push_back(M.hwnd);
    } else {
      DispatchMessage(&M);
    }
  }
  const std::vector<std::pair<UINT, WPARAM>> Expected = {
      {WM_KEYDOWN, 'A'},
      {WM_CHAR, 'a'},
      {WM_KEYUP, 'A'},
      {WM_MOUSEMOVE, static_cast<WPARAM>(MAKELPARAM(5, 5))},
      {WM_MOUSEMOVE, static_cast<WPARAM>(MAKELPARAM(6, 5))},
  };
  EXPECT_EQ(Seen, Expected);
  for (HWND T : Targets) EXPECT_EQ(T, RH);
}

TEST(Queue, WaitAnswersForMessagesAndTimesOut) {
  MSG M;
  while (PeekMessage(&M, nullptr, 0, 0, PM_REMOVE)) {
  }
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT), WAIT_TIMEOUT);
  HWND W = AllocateHWnd([](TMessage&) {});
  PostMessage(W, WM_USER, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0);
  EXPECT_TRUE(PeekMessage(&M, W, 0, 0, PM_REMOVE));
  DeallocateHWnd(W);
}

TEST(Queue, RepostedQuitEndsTheOuterLoop) {
  HWND W = AllocateHWnd([](TMessage&) {});
  PostMessage(W, WM_USER + 5, 0, 0);
  int InnerRuns = 0, OuterMessages = 0;
  MSG M;
  BOOL Outer;
  while ((Outer = GetMessage(&M, nullptr, 0, 0)) != FALSE) {
    ++OuterMessages;
    if (M.message != WM_USER + 5) continue;
    // An inner loop that meets WM_QUIT ends and posts it again for the loop around it.
    PostQuitMessage(3);
    for (;;) {
      MSG I;
      if (!PeekMessage(&I, nullptr, 0, 0, PM_REMOVE)) continue;
      ++InnerRuns;
      if (I.message == WM_QUIT) {
        PostQuitMessage(static_cast<Integer>(I.wParam));
        break;
      }
    }
  }
  EXPECT_EQ(M.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(M.wParam, 3u);
  EXPECT_GE(InnerRuns, 1);
  EXPECT_EQ(OuterMessages, 1);
  DeallocateHWnd(W);
}

// A control that takes one accelerator.
class TAccelTaker : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  WideChar Accel = 0;
  int Taken = 0;
  void Dispatch(TMessage& M) override {
    if (M.Msg == CM_DIALOGCHAR && static_cast<WideChar>(M.WParam) == Accel) {
      ++Taken;
      M.Result = 1;
      return;
    }
    TCustomControl::Dispatch(M);
  }
};

TEST_F(QueueUi, SystemKeysReachTheMenuCommand) {
  auto* Taker = new TAccelTaker(Form.get());
  Taker->SetBounds(0, 0, 10, 10);
  Taker->SetParent(Form.get());
  Taker->Accel = u'g';
  std::vector<std::pair<WPARAM, LPARAM>> Commands;
  std::vector<WPARAM> AppKeys;
  Integer Hook = Application->HookMainWindow([&](TMessage& M) {
    if (M.Msg == CM_APPSYSCOMMAND) {
      auto* Sys = reinterpret_cast<TMessage*>(M.LParam);
      Commands.push_back({Sys->WParam, Sys->LParam});
    }
    if (M.Msg == CM_APPKEYDOWN) AppKeys.push_back(M.WParam);
    return false;
  });
  ASSERT_TRUE(GtTestActivate(Form->Handle()));
  Form->SetFocus();
  GtTestPump(10);
  HWND F = Form->Handle();
  struct Case {
    const char* Name;
    std::function<void()> Keys;
    std::vector<std::pair<WPARAM, LPARAM>> Expected;
  };
  const Case Cases[] = {
      {"Alt alone",
       [F] {
         GtTestKey(F, true, VK_MENU, gmkAlt);
         GtTestKey(F, false, VK_MENU, 0);
       },
       {{SC_KEYMENU, 0}}},
      {"Alt+F nobody takes",
       [F] {
         GtTestKey(F, true, VK_MENU, gmkAlt);
         GtTestKey(F, true, 'F', gmkAlt, u'f');
         GtTestKey(F, false, 'F', gmkAlt);
         GtTestKey(F, false, VK_MENU, 0);
       },
       {{SC_KEYMENU, 'f'}}},
      {"Alt+G, a control's accelerator",
       [F] {
         GtTestKey(F, true, VK_MENU, gmkAlt);
         GtTestKey(F, true, 'G', gmkAlt, u'g');
         GtTestKey(F, false, 'G', gmkAlt);
         GtTestKey(F, false, VK_MENU, 0);
       },
       {}},
      {"F10",
       [F] {
         GtTestKey(F, true, VK_F10);
         GtTestKey(F, false, VK_F10);
       },
       {{SC_KEYMENU, 0}}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Commands.clear();
    C.Keys();
    GtTestPump(10);
    EXPECT_EQ(Commands, C.Expected);
  }
  EXPECT_EQ(Taker->Taken, 1);
  EXPECT_FALSE(AppKeys.empty()) << "key presses are offered to the application's hooks";
  Application->UnhookMainWindow(Hook);
}

TEST_F(QueueUi, SizeCommandFollowsThePointerUntilRelease) {
  HWND F = Form->Handle();
  TRect Before;
  GetWindowRect(F, &Before);
  TRect Client;
  GetClientRect(F, &Client);
  Integer X = Client.Right - 3, Y = Client.Bottom - 3;
  GtTestMouse(F, gmaPress, gmbLeft, X, Y);
  InjectSoon([F, X, Y] {
    GtTestMouse(F, gmaMove, gmbNone, X + 15, Y + 5);
    GtTestMouse(F, gmaMove, gmbNone, X + 30, Y + 20);
    GtTestMouse(F, gmaRelease, gmbLeft, X + 30, Y + 20);
  });
  SendMessage(F, WM_SYSCOMMAND, static_cast<WPARAM>(SC_SIZE) | WMSZ_BOTTOMRIGHT, 0);
  TRect After;
  GetWindowRect(F, &After);
  EXPECT_EQ(After.Left, Before.Left);
  EXPECT_EQ(After.Top, Before.Top);
  EXPECT_EQ(After.Width(), Before.Width() + 30);
  EXPECT_EQ(After.Height(), Before.Height() + 20);
  EXPECT_EQ(GetCapture(), nullptr);
}


TEST_F(QueueUi, SizeCommandKeepsTheWindowWithinItsMinMaxInfo) {
  HWND F = Form->Handle();
  TRect Start;
  GetWindowRect(F, &Start);
  const Integer W0 = Start.Width(), H0 = Start.Height();
  struct Case {
    const char* Name;
    UINT Edge;
    Integer DX, DY;
    TPoint Min, Max;
    TRect Want;  // relative to the start: left, top, width, height changes
  };
  const Case Cases[] = {
      {"no limits", WMSZ_BOTTOMRIGHT, 30, 20, {0, 0}, {0, 0}, {0, 0, 30, 20}},
      {"maximum width", WMSZ_BOTTOMRIGHT, 30, 20, {0, 0}, {W0 + 10, H0 + 100}, {0, 0, 10, 20}},
      {"minimum size", WMSZ_BOTTOMRIGHT, -W0, -H0, {120, 90}, {0, 0}, {0, 0, 120 - W0, 90 - H0}},
      {"left edge stops, right stays", WMSZ_LEFT, W0, 0, {100, 1}, {0, 0}, {W0 - 100, 0, 100 - W0, 0}},
      {"top edge up to the maximum", WMSZ_TOP, 0, -50, {0, 0}, {4000, H0 + 20}, {0, -20, 0, 20}},
  };
  const TWndMethod Own = Form->WindowProc;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    SetWindowPos(F, nullptr, Start.Left, Start.Top, W0, H0, SWP_NOZORDER | SWP_NOACTIVATE);
    Form->WindowProc = [Own, C](TMessage& M) {
      if (M.Msg == WM_GETMINMAXINFO) {
        auto* Info = reinterpret_cast<MINMAXINFO*>(M.LParam);
        if (C.Min.X) Info->ptMinTrackSize = C.Min;
        if (C.Max.X) Info->ptMaxTrackSize = C.Max;
        return;
      }
      Own(M);
    };
    GtTestMouse(F, gmaPress, gmbLeft, 20, 20);
    InjectSoon([F, C] {
      GtTestMouse(F, gmaMove, gmbNone, 20 + C.DX / 2, 20 + C.DY / 2);
      GtTestMouse(F, gmaMove, gmbNone, 20 + C.DX, 20 + C.DY);
      GtTestMouse(F, gmaRelease, gmbLeft, 20 + C.DX, 20 + C.DY);
      PostMessage(F, WM_CANCELMODE, 0, 0);
    });
    SendMessage(F, WM_SYSCOMMAND, static_cast<WPARAM>(SC_SIZE) | C.Edge, 0);
    Form->WindowProc = Own;
    GtTestPump(5);
    TRect After;
    GetWindowRect(F, &After);
    EXPECT_EQ(After.Left - Start.Left, C.Want.Left);
    EXPECT_EQ(After.Top - Start.Top, C.Want.Top);
    EXPECT_EQ(After.Width() - W0, C.Want.Right);
    EXPECT_EQ(After.Height() - H0, C.Want.Bottom);
  }
}

// The grip of a status bar starts the resize from its press handler, which
// runs while the application's own pump waits: the resize loop below it must
// still take the pointer's input from the queue.
TEST_F(QueueUi, SizeCommandStartedInsideTheApplicationPumpGetsItsInput) {
  HWND F = Form->Handle();
  auto* R = AddRecorder(0, 0, 40, 30);
  HWND RH = R->Handle();
  TRect Before;
  GetWindowRect(F, &Before);
  bool Sized = false;
  R->OnMouseDown = [F, RH, &Sized](TObject*, TMouseButton, TShiftState, Integer, Integer) {
    InjectSoon([RH] {
      GtTestMouse(RH, gmaMove, gmbNone, 25, 15);
      GtTestMouse(RH, gmaMove, gmbNone, 40, 30);
      GtTestMouse(RH, gmaRelease, gmbLeft, 40, 30);
      // Without the input the loop would wait forever; this ends it as a
      // failure instead, and is harmless once the release has ended it.
      PostMessage(RH, WM_CANCELMODE, 0, 0);
    });
    SendMessage(F, WM_SYSCOMMAND, static_cast<WPARAM>(SC_SIZE) | WMSZ_BOTTOMRIGHT, 0);
    Sized = true;
  };
  // The press comes from a timer that fires inside the application's wait.
  InjectSoon([RH] { GtTestMouse(RH, gmaPress, gmbLeft, 10, 10); });
  for (int Round = 0; Round < 10000 && !Sized; ++Round) Application->HandleMessage();
  ASSERT_TRUE(Sized);
  EXPECT_EQ(GetCapture(), nullptr);
  TRect After;
  GetWindowRect(F, &After);
  EXPECT_EQ(After.TopLeft(), Before.TopLeft());
  EXPECT_EQ(After.Width(), Before.Width() + 30);
  EXPECT_EQ(After.Height(), Before.Height() + 20);
}
}  // namespace

}  // namespace test_queue_tests
