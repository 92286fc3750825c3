// Between two real processes: named mutexes as locked files, window handles
// of separate ranges, and a post to another process's form that arrives
// once, and fails quickly once that process is gone.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ui/crossprocess.h"
#include "tests/platform/ui/uitest.h"

namespace test_crossprocess_tests {

const WideString MutexName = u"Gimro-Tal test/mutex";

// Runs in the peer process (selected by the environment): makes the mutex
// and a form, prints the form's handle, and prints "got" for each WM_USER
// that reaches the form, until stdin closes.
class TPeerForm : public TForm {
 public:
  using TForm::TForm;
  void Dispatch(TMessage& M) override {
    if (M.Msg == WM_USER) {
      std::printf("got %d %d\n", static_cast<int>(M.WParam), static_cast<int>(M.LParam));
      std::fflush(stdout);
    }
    TForm::Dispatch(M);
  }
};

TEST(CrossProcess, PeerSide) {
  if (!std::getenv("GT_CROSSPROCESS_PEER")) GTEST_SKIP() << "runs as the peer of the two-process test";
  HANDLE M = CreateMutex(nullptr, FALSE, MutexName);
  ASSERT_NE(M, nullptr);
  TPeerForm F(nullptr);
  F.Show();
  std::printf("\nwnd %lu\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(F.Handle())));
  std::fflush(stdout);
  fcntl(STDIN_FILENO, F_SETFL, O_NONBLOCK);
  for (;;) {
    Application->ProcessMessages();
    char C;
    if (read(STDIN_FILENO, &C, 1) == 0) break;
    usleep(2000);
  }
  CloseHandle(M);
}

struct TPeer {
  pid_t Pid = -1;
  int In = -1, Out = -1;
  std::string Text;
  // The handle the peer printed ("wnd N" on a line of its own), 0 until then.
  unsigned long Handle(int Ms) {
    if (!WaitFor("\nwnd ", Ms)) return 0;
    size_t At = Text.find("\nwnd ");
    auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
    while (Text.find('\n', At + 1) == std::string::npos && std::chrono::steady_clock::now() < End) WaitFor("\x01", 10);  // reads on
    unsigned long V = 0;
    return std::sscanf(Text.c_str() + At, "\nwnd %lu", &V) == 1 ? V : 0;
  }
  // Reads what the peer printed until Want appears or the time is up.
  bool WaitFor(const std::string& Want, int Ms) {
    auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
    while (Text.find(Want) == std::string::npos && std::chrono::steady_clock::now() < End) {
      char Buf[256];
      ssize_t N = read(Out, Buf, sizeof Buf);
      if (N > 0)
        Text.append(Buf, static_cast<size_t>(N));
      else
        usleep(5000);
    }
    return Text.find(Want) != std::string::npos;
  }
};

TPeer StartPeer(const char* Slot) {
  int ToPeer[2], FromPeer[2];
  TPeer P;
  if (pipe(ToPeer) != 0 || pipe(FromPeer) != 0) return P;
  P.Pid = fork();
  if (P.Pid == 0) {
    dup2(ToPeer[0], STDIN_FILENO);
    dup2(FromPeer[1], STDOUT_FILENO);
    for (int Fd : {ToPeer[0], ToPeer[1], FromPeer[0], FromPeer[1]}) close(Fd);
    // The peer runs its one test whatever shard of the suite started it.
    unsetenv("GTEST_SHARD_INDEX");
    unsetenv("GTEST_TOTAL_SHARDS");
    unsetenv("GTEST_SHARD_STATUS_FILE");
    setenv("GT_CROSSPROCESS_PEER", "1", 1);
    setenv("GT_HANDLE_SLOT", Slot, 1);
    execl("/proc/self/exe", "test_platform_ui", "--gtest_filter=CrossProcess.PeerSide", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ToPeer[0]);
  close(FromPeer[1]);
  P.In = ToPeer[1];
  P.Out = FromPeer[0];
  fcntl(P.Out, F_SETFL, O_NONBLOCK);
  return P;
}

TEST(CrossProcess, MutexLivesWithItsHolder) {
  const WideString Name = u"Gimro-Tal test " + Utf8ToWide(std::to_string(getpid()));
  EXPECT_EQ(OpenMutex(MUTEX_ALL_ACCESS, FALSE, Name), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  HANDLE M = CreateMutex(nullptr, FALSE, Name);
  ASSERT_NE(M, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE Again = CreateMutex(nullptr, FALSE, Name);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  HANDLE O = OpenMutex(MUTEX_ALL_ACCESS, FALSE, Name);
  EXPECT_NE(O, nullptr);
  // Open handles keep it alive; the last close ends it.
  EXPECT_TRUE(CloseHandle(M));
  EXPECT_TRUE(CloseHandle(Again));
  HANDLE Still = OpenMutex(MUTEX_ALL_ACCESS, FALSE, Name);
  EXPECT_NE(Still, nullptr);
  EXPECT_TRUE(CloseHandle(Still));
  EXPECT_TRUE(CloseHandle(O));
  EXPECT_FALSE(CloseHandle(O)) << "closed already";
  EXPECT_EQ(OpenMutex(MUTEX_ALL_ACCESS, FALSE, Name), nullptr);
}

TEST(CrossProcess, PostReachesTheOtherProcessOnceAndFailsAfterItDied) {
  TPeer P = StartPeer("700");
  ASSERT_GT(P.Pid, 0);
  const unsigned long Wnd = P.Handle(20000);
  ASSERT_NE(Wnd, 0ul) << P.Text;
  HWND Foreign = reinterpret_cast<HWND>(static_cast<uintptr_t>(Wnd));
  EXPECT_LE(Wnd, 0xFFFFFFFFul) << "handles are 32-bit";
  EXPECT_FALSE(IsWindow(Foreign)) << "not one of ours";
  TForm Own(nullptr);
  EXPECT_NE(reinterpret_cast<uintptr_t>(Own.Handle()) >> 21, Wnd >> 21) << "each process has its own range";

  HANDLE M = OpenMutex(MUTEX_ALL_ACCESS, FALSE, MutexName);
  EXPECT_NE(M, nullptr) << "the peer holds the mutex";
  if (M) CloseHandle(M);

  EXPECT_TRUE(PostMessage(Foreign, WM_USER, 0, 0));
  EXPECT_TRUE(P.WaitFor("got 0 0\n", 5000)) << P.Text;
  // A number of the peer's range that is no window there is refused.
  EXPECT_FALSE(PostMessage(reinterpret_cast<HWND>(static_cast<uintptr_t>(Wnd + 4000)), WM_USER, 0, 0));
  // Messages below WM_USER never cross.
  EXPECT_FALSE(PostMessage(Foreign, WM_CLOSE, 0, 0));
  usleep(100000);
  P.WaitFor("never", 200);
  size_t First = P.Text.find("got"), Second = P.Text.find("got", First + 1);
  EXPECT_EQ(Second, std::string::npos) << "the message arrived once: " << P.Text;

  kill(P.Pid, SIGKILL);
  int Status = 0;
  waitpid(P.Pid, &Status, 0);
  close(P.In);
  close(P.Out);
  EXPECT_EQ(OpenMutex(MUTEX_ALL_ACCESS, FALSE, MutexName), nullptr) << "the mutex went with its process";
  auto T0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(PostMessage(Foreign, WM_USER, 0, 0));
  EXPECT_LT(std::chrono::steady_clock::now() - T0, std::chrono::seconds(1));

  // A new process in the same slot: the old number names none of its
  // windows, even where its own numbering meets it.
  TPeer Q = StartPeer("700");
  const unsigned long QWnd = Q.Handle(20000);
  ASSERT_NE(QWnd, 0ul) << Q.Text;
  EXPECT_EQ(QWnd >> 21, Wnd >> 21) << "the same slot";
  EXPECT_NE(QWnd, Wnd);
  EXPECT_FALSE(PostMessage(Foreign, WM_USER, 0, 0));
  EXPECT_TRUE(PostMessage(reinterpret_cast<HWND>(static_cast<uintptr_t>(QWnd)), WM_USER, 1, 2));
  EXPECT_TRUE(Q.WaitFor("got 1 2\n", 5000)) << Q.Text;
  EXPECT_EQ(Q.Text.find("got 0 0"), std::string::npos) << Q.Text;
  close(Q.In);
  waitpid(Q.Pid, &Status, 0);
  close(Q.Out);
}

}  // namespace test_crossprocess_tests
