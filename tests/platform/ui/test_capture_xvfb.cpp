// The logical capture of a window without a visible part, on a real X server
// (run it with tests/platform/ui/xvfb_checks.sh): a real press on another form
// reaches the loop that holds the capture, and once the loop has let it go the
// pointer is no longer this program's: another X client (this test program
// started again) gets the next click. Without a display it skips.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/process.h"
#include "uitest.h"

namespace test_capture_xvfb_tests {

// The other X client: a form whose control prints "clicked" at its first
// press, with "in the middle" when it came where the click was aimed, and
// ends; 5 when none comes.
int RunPeer() {
  auto F = std::make_unique<TForm>(nullptr);
  F->SetBounds(760, 560, 240, 180);
  auto* Area = new TRecorder(F.get());
  Area->SetAlign(alClient);
  Area->SetParent(F.get());
  F->Show();
  GtTestPump(300);
  TPoint Mid = Area->ClientToScreen(TPoint(Area->Width() / 2, Area->Height() / 2));
  std::printf("ready %d %d\n", Mid.X, Mid.Y);
  std::fflush(stdout);
  auto Downs = [&] {
    for (const TRecordedMouse& M : Area->Mouse)
      if (M.Kind == "down") return &M;
    return static_cast<const TRecordedMouse*>(nullptr);
  };
  if (!GtTestPumpUntil([&] { return Downs() != nullptr; }, 30000)) return 5;
  const TPoint At(Downs()->X, Downs()->Y);
  std::printf("clicked %s\n", At == TPoint(Area->Width() / 2, Area->Height() / 2) ? "in the middle" : "elsewhere");
  std::fflush(stdout);
  return 0;
}

class TCapturePeer : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!std::getenv("GT_CAPTURE_PEER")) return;
    int Code = RunPeer();
    std::fflush(stdout);
    std::_Exit(Code);
  }
};
[[maybe_unused]] const auto* const kPeer = ::testing::AddGlobalTestEnvironment(new TCapturePeer);

struct TChild {
  pid_t Pid = -1;
  int Out = -1;
  std::string Said;
  TChild() = default;
  TChild(const TChild&) = delete;
  // A child left running by a failed check is ended with the test.
  ~TChild() {
    if (Pid > 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    if (Out >= 0) close(Out);
  }
};

// Starts this program again as the peer (Command empty) or a shell command.
void Start(TChild& C, const std::string& Command) {
  int Pipe[2];
  if (pipe(Pipe) != 0) return;
  C.Pid = fork();
  if (C.Pid == 0) {
    dup2(Pipe[1], STDOUT_FILENO);
    close(Pipe[0]);
    close(Pipe[1]);
    if (!Command.empty()) {
      execl("/bin/sh", "sh", "-c", Command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    unsetenv("GTEST_SHARD_INDEX");
    unsetenv("GTEST_TOTAL_SHARDS");
    unsetenv("GTEST_SHARD_STATUS_FILE");
    setenv("GT_CAPTURE_PEER", "1", 1);
    // Environments are set up only when a test runs: one quick test is selected.
    execl("/proc/self/exe", "test_platform_ui", "--gtest_filter=UiMetrics.FixedMetricsAndScreenSettings",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(Pipe[1]);
  C.Out = Pipe[0];
  fcntl(C.Out, F_SETFL, O_NONBLOCK);
}

void Collect(TChild& C) {
  char Buf[512];
  ssize_t N;
  while ((N = read(C.Out, Buf, sizeof Buf)) > 0) C.Said.append(Buf, static_cast<size_t>(N));
}

// Runs events until the child has ended; its exit code, -1 when it had to be killed.
int Finish(TChild& C, Integer TimeoutMs) {
  int Status = 0;
  bool Done = GtTestPumpUntil(
      [&] {
        Collect(C);
        return waitpid(C.Pid, &Status, WNOHANG) == C.Pid;
      },
      TimeoutMs);
  if (!Done) {
    kill(C.Pid, SIGKILL);
    waitpid(C.Pid, &Status, 0);
  }
  Collect(C);
  close(C.Out);
  C.Out = -1;
  C.Pid = -1;
  return Done && WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

// The child's first lines are the test program's own; "ready X Y" follows.
bool WaitReady(TChild& C, TPoint& Mid) {
  bool Ok = GtTestPumpUntil(
      [&] {
        Collect(C);
        size_t At = C.Said.find("ready ");
        return At != std::string::npos && C.Said.find('\n', At) != std::string::npos;
      },
      20000);
  return Ok && std::sscanf(C.Said.c_str() + C.Said.find("ready "), "ready %d %d", &Mid.X, &Mid.Y) == 2;
}

std::string ClickCommand(TPoint P) {
  return "xdotool mousemove " + std::to_string(P.X) + " " + std::to_string(P.Y) + " sleep 0.2 click 1";
}

class XvfbCapture : public UiTest {
 protected:
  void SetUp() override {
    if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/platform/ui/xvfb_checks.sh)";
    if (!gt_test::HaveTool("xdotool")) GTEST_SKIP() << "install xdotool (scripts/install-deps.sh)";
    UiTest::SetUp();
  }
};

TEST_F(XvfbCapture, PressOnAnotherFormReachesTheLoopAndAfterwardsAnotherClientGetsTheClick) {
  TChild Peer;
  Start(Peer, "");
  ASSERT_GT(Peer.Pid, 0);

  TForm Other(nullptr);
  Other.SetBounds(420, 60, 240, 180);
  auto* Area = new TRecorder(&Other);
  Area->SetAlign(alClient);
  Area->SetParent(&Other);
  Other.Show();
  GtTestPump(300);
  const TPoint Target = Area->ClientToScreen(TPoint(60, 50));

  // A loop over a logical capture, written the way the menu loop is: judge
  // each message before removing it, take the press and its release.
  HWND Catcher = AllocateHWnd([](TMessage&) {});
  SetCapture(Catcher);
  ASSERT_EQ(GetCapture(), Catcher);
  TChild Click;
  Start(Click, ClickCommand(Target));
  ASSERT_GT(Click.Pid, 0);
  MSG Down{}, Up{};
  bool GotDown = false, GotUp = false;
  const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!(GotDown && GotUp) && std::chrono::steady_clock::now() < Limit) {
    MSG M;
    if (!PeekMessage(&M, nullptr, 0, 0, PM_NOREMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      continue;
    }
    if (M.message == WM_LBUTTONDOWN || M.message == WM_LBUTTONUP) {
      (M.message == WM_LBUTTONDOWN ? Down : Up) = M;
      (M.message == WM_LBUTTONDOWN ? GotDown : GotUp) = true;
      PeekMessage(&M, nullptr, M.message, M.message, PM_REMOVE | PM_NOYIELD);
    } else {
      PeekMessage(&M, nullptr, M.message, M.message, PM_REMOVE);
      DispatchMessage(&M);
    }
  }
  ReleaseCapture();
  EXPECT_EQ(Finish(Click, 10000), 0);
  ASSERT_TRUE(GotDown) << "the press on the other form never reached the loop";
  EXPECT_EQ(Down.hwnd, Catcher);
  EXPECT_EQ(Down.pt, Target);
  EXPECT_TRUE(GotUp);
  EXPECT_EQ(Up.hwnd, Catcher);
  GtTestPump(200);
  for (const TRecordedMouse& M : Area->Mouse) EXPECT_NE(M.Kind, "down") << "the loop took the press";
  DeallocateHWnd(Catcher);

  // The pointer is free again: the other X client hears the next click.
  TPoint PeerAt;
  ASSERT_TRUE(WaitReady(Peer, PeerAt)) << Peer.Said;
  TChild Second;
  Start(Second, ClickCommand(PeerAt));
  EXPECT_EQ(Finish(Second, 10000), 0);
  EXPECT_EQ(Finish(Peer, 15000), 0) << Peer.Said;
  EXPECT_NE(Peer.Said.find("clicked in the middle\n"), std::string::npos) << Peer.Said;
}

}  // namespace test_capture_xvfb_tests
