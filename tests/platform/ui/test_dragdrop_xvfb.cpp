// Drag and drop between two real processes on an X server (run them with
// tests/platform/ui/xvfb_checks.sh): the other process is this test program
// started again as a drag source or a drop target, and xdotool moves the
// pointer. Without a display they skip.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/fileutils.h"
#include "platform/ui/dragdrop.h"
#include "tests/support/process.h"
#include "uitest.h"

namespace test_dragdrop_xvfb_tests {

std::vector<WideString> DraggedNames() {
  return {u"/tmp/with blank/a b.png", u"/tmp/Ünïcødé/ファイル.jpg", WideFileName("/tmp/raw\xFF\xFEname.bmp")};
}

std::string Hex(const std::vector<WideString>& Names) {
  static const char D[] = "0123456789abcdef";
  std::string S;
  for (const WideString& N : Names)
    for (unsigned char C : NativeFileName(N) + "\n") {
      S += D[C >> 4];
      S += D[C & 15];
    }
  return S;
}

// Continues while the left button is down, drops when it is released.
class TLeftButtonSource : public TGtComObject<IDropSource> {
 public:
  HRESULT QueryContinueDrag(BOOL Escape, DWORD Keys) override {
    if (Escape) return DRAGDROP_S_CANCEL;
    if (Keys & MK_LBUTTON) return S_OK;
    return DRAGDROP_S_DROP;
  }
  HRESULT GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

// Takes every drop as a move and remembers the names.
class TMoveTarget : public TGtComObject<IDropTarget> {
 public:
  std::vector<WideString> Names;
  bool Dropped = false;
  HRESULT DragEnter(IDataObject*, DWORD, TPoint, DWORD* Effect) override {
    *Effect &= DROPEFFECT_MOVE;
    return S_OK;
  }
  HRESULT DragOver(DWORD, TPoint, DWORD* Effect) override {
    *Effect &= DROPEFFECT_MOVE;
    return S_OK;
  }
  HRESULT DragLeave() override { return S_OK; }
  HRESULT Drop(IDataObject* Data, DWORD, TPoint, DWORD* Effect) override {
    GtFileNamesOfDataObject(Data, Names);
    Dropped = true;
    *Effect &= DROPEFFECT_MOVE;
    return S_OK;
  }
};

// A form at (X, Y) with one control over its client area; prints where the
// control's middle is on the screen.
std::unique_ptr<TForm> PeerForm(Integer X, Integer Y, TRecorder*& Area) {
  auto F = std::make_unique<TForm>(nullptr);
  F->SetBounds(X, Y, 240, 180);
  Area = new TRecorder(F.get());
  Area->SetAlign(alClient);
  Area->SetParent(F.get());
  F->Show();
  GtTestPump(300);
  TPoint Mid = Area->ClientToScreen(TPoint(Area->Width() / 2, Area->Height() / 2));
  std::printf("ready %d %d\n", Mid.X, Mid.Y);
  std::fflush(stdout);
  return F;
}

// The other process: "source" starts a drag of DraggedNames when pressed
// and prints DoDragDrop's answer; "target" prints the names dropped on it.
int RunPeer(const std::string& Mode) {
  TRecorder* Area = nullptr;
  if (Mode == "source") {
    auto F = PeerForm(560, 120, Area);
    bool Done = false;
    Area->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, Integer, Integer) {
      IDataObject* Data = GtCreateFileDataObject(DraggedNames());
      auto* Source = new TLeftButtonSource;
      DWORD Effect = 0;
      HRESULT R = DoDragDrop(Data, Source, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &Effect);
      Data->Release();
      Source->Release();
      std::printf("result %x %u\n", static_cast<unsigned>(R), Effect);
      std::fflush(stdout);
      Done = true;
    };
    return GtTestPumpUntil([&] { return Done; }, 30000) ? 0 : 5;
  }
  if (Mode == "target") {
    auto F = PeerForm(560, 120, Area);
    auto* Target = new TMoveTarget;
    if (RegisterDragDrop(Area->Handle(), Target) != S_OK) return 4;
    bool Got = GtTestPumpUntil([&] { return Target->Dropped; }, 30000);
    std::printf("drop %s\n", Hex(Target->Names).c_str());
    std::fflush(stdout);
    GtTestPump(300);  // the source hears the end of the drop
    RevokeDragDrop(Area->Handle());
    Target->Release();
    return Got ? 0 : 5;
  }
  return 6;
}

class TDragPeer : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* Mode = std::getenv("GT_DRAG_PEER");
    if (!Mode) return;
    int Code = RunPeer(Mode);
    std::fflush(stdout);
    std::_Exit(Code);
  }
};
[[maybe_unused]] const auto* const kPeer = ::testing::AddGlobalTestEnvironment(new TDragPeer);

struct TChild {
  pid_t Pid = -1;
  int Out = -1;
  std::string Said;
  TChild() = default;
  TChild(TChild&& O) noexcept : Pid(O.Pid), Out(O.Out), Said(std::move(O.Said)) { O.Pid = -1; O.Out = -1; }
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

// Starts this program again (Mode set: a drag peer) or a shell command.
TChild Start(const std::string& Mode, const std::string& Command) {
  int Pipe[2];
  TChild C;
  if (pipe(Pipe) != 0) return C;
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
    setenv("GT_DRAG_PEER", Mode.c_str(), 1);
    // Environments are set up only when a test runs: one quick test is selected.
    execl("/proc/self/exe", "test_platform_ui", "--gtest_filter=DragDrop.BrokenDropBlocksAreRefused",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(Pipe[1]);
  C.Out = Pipe[0];
  fcntl(C.Out, F_SETFL, O_NONBLOCK);
  return C;
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

// Presses at From, moves to To in steps with pauses (the platforms' drag
// protocols need moves to see the target), and releases there.
std::string DragCommand(TPoint From, TPoint To) {
  auto At = [](TPoint P) { return " mousemove " + std::to_string(P.X) + " " + std::to_string(P.Y) + " sleep 0.15"; };
  std::string Cmd = "xdotool" + At(From) + " mousedown 1 sleep 0.3";
  for (int i = 1; i <= 6; ++i)
    Cmd += At(TPoint(From.X + (To.X - From.X) * i / 6, From.Y + (To.Y - From.Y) * i / 6));
  Cmd += At(TPoint(To.X + 3, To.Y + 2)) + At(To) + " sleep 0.3 mouseup 1";
  return Cmd;
}

class XvfbDragDrop : public UiTest {
 protected:
  void SetUp() override {
    if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/platform/ui/xvfb_checks.sh)";
    if (!gt_test::HaveTool("xdotool")) GTEST_SKIP() << "install xdotool (scripts/install-deps.sh)";
    UiTest::SetUp();
  }
};

class TDropSite : public TCustomControl {
 public:
  explicit TDropSite(TComponent* AOwner) : TCustomControl(AOwner) {}
  std::vector<std::vector<WideString>> Drops;
  void Dispatch(TMessage& M) override {
    if (M.Msg == WM_DROPFILES) {
      auto H = reinterpret_cast<HDROP>(M.WParam);
      std::vector<WideString> Names;
      UINT N = DragQueryFileW(H, 0xFFFFFFFFu, nullptr, 0);
      for (UINT i = 0; i < N; ++i) {
        WCHAR Buf[2601];
        UINT Len = DragQueryFileW(H, i, Buf, 2601);
        Names.emplace_back(Buf, std::min<UINT>(Len, 2600));
      }
      Drops.push_back(Names);
      DragFinish(H);
      return;
    }
    TCustomControl::Dispatch(M);
  }
};

TEST_F(XvfbDragDrop, FilesDraggedFromAnotherProgramArriveAsWmDropFiles) {
  auto* Site = new TDropSite(Form.get());
  Site->SetBounds(10, 10, 200, 150);
  Site->SetParent(Form.get());
  GtTestPump(200);
  DragAcceptFiles(Site->Handle(), TRUE);
  TChild Peer = Start("source", "");
  ASSERT_GT(Peer.Pid, 0);
  TPoint From;
  ASSERT_TRUE(WaitReady(Peer, From)) << Peer.Said;
  TPoint To = Site->ClientToScreen(TPoint(100, 75));
  TChild Mouse = Start("", DragCommand(From, To));
  EXPECT_EQ(Finish(Mouse, 20000), 0);
  EXPECT_TRUE(GtTestPumpUntil([&] { return !Site->Drops.empty(); }, 5000));
  EXPECT_EQ(Finish(Peer, 10000), 0);
  ASSERT_EQ(Site->Drops.size(), 1u) << Peer.Said;
  EXPECT_EQ(Site->Drops[0], DraggedNames());
  EXPECT_NE(Peer.Said.find("result 40100 1\n"), std::string::npos) << "dropped as a copy: " << Peer.Said;
}

TEST_F(XvfbDragDrop, OleDragToAnotherProgramsTargetDeliversTheNamesAndItsEffect) {
  TRecorder* Area = AddRecorder(10, 10, 200, 150);
  GtTestPump(200);
  HRESULT Result = 0;
  DWORD Effect = 0xFF;
  bool Ran = false;
  Area->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, Integer, Integer) {
    IDataObject* Data = GtCreateFileDataObject(DraggedNames());
    auto* Source = new TLeftButtonSource;
    Result = DoDragDrop(Data, Source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &Effect);
    Data->Release();
    Source->Release();
    Ran = true;
  };
  TChild Peer = Start("target", "");
  ASSERT_GT(Peer.Pid, 0);
  TPoint To;
  ASSERT_TRUE(WaitReady(Peer, To)) << Peer.Said;
  TPoint From = Area->ClientToScreen(TPoint(100, 75));
  TChild Mouse = Start("", DragCommand(From, To));
  EXPECT_EQ(Finish(Mouse, 20000), 0);
  EXPECT_TRUE(GtTestPumpUntil([&] { return Ran; }, 5000));
  EXPECT_EQ(Finish(Peer, 10000), 0);
  EXPECT_EQ(Result, DRAGDROP_S_DROP);
  EXPECT_EQ(Effect, DROPEFFECT_MOVE) << "the target's choice";
  EXPECT_NE(Peer.Said.find("drop " + Hex(DraggedNames()) + "\n"), std::string::npos) << Peer.Said;
}

}  // namespace test_dragdrop_xvfb_tests
