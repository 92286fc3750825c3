// Checks that need a real X server (run them with tests/platform/ui/xvfb_checks.sh):
// the display shows what the window surface holds, and the clipboard carries a
// registered format from one process to another. Without a display they skip.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/ui/clipbrd.h"
#include "tests/support/process.h"
#include "uitest.h"
#include "wm_test_util.h"

namespace test_xvfb_tests {

namespace {

const char16_t* const kRawName = u"ZIDUZUV RAW FORMAT";

std::string Hex(const std::vector<uint8_t>& B) {
  static const char D[] = "0123456789abcdef";
  std::string S;
  for (uint8_t C : B) {
    S += D[C >> 4];
    S += D[C & 15];
  }
  return S;
}

std::vector<uint8_t> Payload() {
  std::vector<uint8_t> P;
  for (int i = 0; i < 3000; ++i) P.push_back(static_cast<uint8_t>((i * 7919) >> 3));
  P[5] = 0;  // zero bytes travel too
  return P;
}

// The other process of the clipboard check: "read:<hex>" compares the
// clipboard's raw format with hex; "write:<hex>" offers it until another
// process takes the clipboard.
int RunPeer(const std::string& Mode) {
  UINT Raw = RegisterClipboardFormat(kRawName);
  if (Mode.rfind("read:", 0) == 0) {
    std::vector<uint8_t> Got;
    if (!Clipboard()->GetAsBytes(static_cast<Word>(Raw), Got)) return 2;
    if (Hex(Got) != Mode.substr(5)) return 3;
    std::printf("match\n");
    return 0;
  }
  if (Mode.rfind("write:", 0) == 0) {
    std::vector<uint8_t> Data = Payload();
    if (Hex(Data) != Mode.substr(6)) return 4;
    Clipboard()->SetAsBytes(static_cast<Word>(Raw), Data.data(), Data.size());
    std::printf("ready\n");
    std::fflush(stdout);
    bool Lost = GtTestPumpUntil([Raw] { return !Clipboard()->HasFormat(static_cast<Word>(Raw)); }, 20000);
    return Lost ? 0 : 5;
  }
  return 6;
}

class TClipboardPeer : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* Mode = std::getenv("GT_CLIPBOARD_PEER");
    if (!Mode) return;
    int Code = RunPeer(Mode);
    std::fflush(stdout);
    std::_Exit(Code);
  }
};
[[maybe_unused]] const auto* const kPeer = ::testing::AddGlobalTestEnvironment(new TClipboardPeer);

struct TChild {
  pid_t Pid = -1;
  int Out = -1;
};

TChild StartPeer(const std::string& Mode) {
  int Pipe[2];
  TChild C;
  if (pipe(Pipe) != 0) return C;
  C.Pid = fork();
  if (C.Pid == 0) {
    dup2(Pipe[1], STDOUT_FILENO);
    close(Pipe[0]);
    close(Pipe[1]);
    setenv("GT_CLIPBOARD_PEER", Mode.c_str(), 1);
    // Environments set up only when a test runs: one quick test is selected.
    execl("/proc/self/exe", "test_platform_ui", "--gtest_filter=UiMetrics.FixedMetricsAndScreenSettings",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(Pipe[1]);
  C.Out = Pipe[0];
  fcntl(C.Out, F_SETFL, O_NONBLOCK);
  return C;
}

// Runs events while the child runs (this process may own the clipboard it
// reads) and collects what it prints.
int WaitPeer(TChild& C, Integer TimeoutMs, std::string* Output = nullptr) {
  int Status = 0;
  bool Done = GtTestPumpUntil(
      [&] {
        char Buf[256];
        ssize_t N;
        while ((N = read(C.Out, Buf, sizeof(Buf))) > 0)
          if (Output) Output->append(Buf, static_cast<size_t>(N));
        return waitpid(C.Pid, &Status, WNOHANG) == C.Pid;
      },
      TimeoutMs);
  if (!Done) {
    kill(C.Pid, SIGKILL);
    waitpid(C.Pid, &Status, 0);
    return -1;
  }
  close(C.Out);
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -2;
}

TEST_F(UiTest, XvfbDisplayShowsTheWindowSurface) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/platform/ui/xvfb_checks.sh)";
  TRecorder* R = AddRecorder(20, 20, 160, 120);
  GtTestActivate(Form->Handle());
  ASSERT_TRUE(GtTestPumpUntil([&] { return R->Paints > 0; }, gt_test::kWaitMs));
  // Drawing outside the paint belongs to the picture too.
  R->Canvas()->Pen()->SetMode(pmNot);
  R->Canvas()->Rectangle(30, 30, 90, 80);
  GtTestPump(300);
  std::vector<uint32_t> Surface, Shown;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestSurface(R->Handle(), Surface, W, H));
  TPoint Origin = R->ClientOrigin();
  ASSERT_TRUE(GtTestScreenPixels(Origin.X, Origin.Y, W, H, Shown));
  size_t Differ = 0;
  for (size_t i = 0; i < Surface.size(); ++i)
    if (Surface[i] != Shown[i]) ++Differ;
  EXPECT_EQ(Differ, 0u) << "of " << Surface.size() << " pixels";
}

TEST(XvfbClipboard, RawFormatTravelsBetweenTwoProcesses) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/platform/ui/xvfb_checks.sh)";
  UINT Raw = RegisterClipboardFormat(kRawName);
  std::vector<uint8_t> Data = Payload();

  // This process offers, the other reads.
  Clipboard()->SetAsBytes(static_cast<Word>(Raw), Data.data(), Data.size());
  TChild Reader = StartPeer("read:" + Hex(Data));
  ASSERT_GT(Reader.Pid, 0);
  std::string Said;
  EXPECT_EQ(WaitPeer(Reader, 20000, &Said), 0);
  EXPECT_NE(Said.find("match"), std::string::npos) << Said;

  // The other offers, this one reads, then takes the clipboard back (which ends the other).
  TChild Writer = StartPeer("write:" + Hex(Data));
  ASSERT_GT(Writer.Pid, 0);
  std::string Out;
  ASSERT_TRUE(GtTestPumpUntil(
      [&] {
        char Buf[64];
        ssize_t N = read(Writer.Out, Buf, sizeof(Buf));
        if (N > 0) Out.append(Buf, static_cast<size_t>(N));
        return Out.find("ready") != std::string::npos;
      },
      20000));
  GtTestPump(100);
  std::vector<uint8_t> Got;
  EXPECT_TRUE(Clipboard()->HasFormat(static_cast<Word>(Raw)));
  ASSERT_TRUE(Clipboard()->GetAsBytes(static_cast<Word>(Raw), Got));
  EXPECT_EQ(Got, Data);
  Clipboard()->SetAsText(u"taken back");
  EXPECT_EQ(WaitPeer(Writer, 20000), 0);
}

// A top-level window of the given styles owned by Owner.
class TXTopProbe : public TRecorder {
 public:
  TXTopProbe(DWORD AStyle, DWORD AExStyle, HWND AOwner) : TRecorder(nullptr), Style(AStyle), ExStyle(AExStyle), Owner(AOwner) {}
  DWORD Style, ExStyle;
  HWND Owner;

 protected:
  void CreateParams(TCreateParams& P) override {
    TRecorder::CreateParams(P);
    P.Style = Style;
    P.ExStyle = ExStyle;
    P.WndParent = Owner;
  }
};

using gt_test::Capture;
using gt_test::HaveTool;

std::string XId(uint64_t Id) { return std::to_string(Id); }

TEST_F(UiTest, XvfbPopupsBypassTheWindowManagerAndFloatingWindowsStayWithTheirOwner) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/platform/ui/xvfb_checks.sh)";
  ASSERT_TRUE(HaveTool("xwininfo") && HaveTool("xprop")) << "install x11-utils (scripts/install-deps.sh)";
  HWND F = Form->Handle();
  TXTopProbe Popup(WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED, F);
  Popup.SetBounds(100, 100, 80, 60);
  TXTopProbe Floating(WS_POPUP | WS_BORDER, WS_EX_TOOLWINDOW, F);
  Floating.SetBounds(300, 100, 80, 60);
  ShowWindow(Popup.Handle(), SW_SHOWNA);
  ShowWindow(Floating.Handle(), SW_SHOWNA);
  GtTestPump(300);
  const std::string P = XId(GtTestNativeWindowId(Popup.Handle())), Fl = XId(GtTestNativeWindowId(Floating.Handle()));
  const std::string FormId = XId(GtTestNativeWindowId(F));
  EXPECT_NE(Capture("xwininfo -id " + P).find("Override Redirect State: yes"), std::string::npos);
  EXPECT_NE(Capture("xwininfo -id " + Fl).find("Override Redirect State: no"), std::string::npos);
  // The floating window is transient for its owner's X window.
  std::string Transient = Capture("xprop -id " + Fl + " WM_TRANSIENT_FOR");
  char Hex[32];
  std::snprintf(Hex, sizeof(Hex), "0x%llx", static_cast<unsigned long long>(std::stoull(FormId)));
  EXPECT_NE(Transient.find(Hex), std::string::npos) << Transient << " wanted " << Hex;
  // A constant alpha of 40 is the opacity property, 40/255 of the full scale.
  BLENDFUNCTION Blend;
  Blend.SourceConstantAlpha = 40;
  ASSERT_TRUE(UpdateLayeredWindow(Popup.Handle(), nullptr, nullptr, nullptr, nullptr, nullptr, 0, &Blend, ULW_ALPHA));
  std::string Opacity;
  GtTestPumpUntil(
      [&] {
        Opacity = Capture("xprop -id " + P + " _NET_WM_WINDOW_OPACITY");
        return Opacity.find("= ") != std::string::npos;
      },
      gt_test::kWaitMs);
  auto Eq = Opacity.find("= ");
  ASSERT_NE(Eq, std::string::npos) << Opacity;
  double Value = std::stod(Opacity.substr(Eq + 2)) / 4294967295.0;
  EXPECT_NEAR(Value, 40.0 / 255.0, 0.01);
}

// The X window the window manager calls active, in decimal ("" for none).
std::string ActiveXWindow() {
  const std::string S = Capture("xprop -root _NET_ACTIVE_WINDOW");
  const auto At = S.find("# 0x");
  return At == std::string::npos ? std::string() : std::to_string(std::stoull(S.substr(At + 2), nullptr, 16));
}

TEST_F(UiTest, XvfbClicksOnPopupAndFloatingWindowKeepTheActiveFormAndTopmostIsTheAboveState) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/platform/ui/xvfb_checks.sh)";
  ASSERT_TRUE(HaveTool("xprop") && HaveTool("xdotool") && HaveTool("openbox")) << "scripts/install-deps.sh";
  gt_test::TXWindowManager Wm;
  ASSERT_TRUE(Wm.Ready);
  HWND F = Form->Handle();
  const std::string FormId = XId(GtTestNativeWindowId(F));
  GtTestPump(300);
  gt_test::Shell("xdotool windowactivate " + FormId + " >/dev/null 2>&1");
  ASSERT_TRUE(GtTestPumpUntil([&] { return ActiveXWindow() == FormId; }, 10000))
      << Capture("xprop -root _NET_ACTIVE_WINDOW");
  TXTopProbe Popup(WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, F);
  Popup.SetBounds(500, 100, 80, 60);
  TXTopProbe Floating(WS_POPUP | WS_BORDER, WS_EX_TOOLWINDOW, F);
  Floating.SetBounds(700, 100, 80, 60);
  ShowWindow(Popup.Handle(), SW_SHOWNA);
  ShowWindow(Floating.Handle(), SW_SHOWNA);
  GtTestPump(300);
  for (TXTopProbe* P : {&Popup, &Floating}) {
    SCOPED_TRACE(P == &Popup ? "popup" : "floating window");
    TRect R;
    GetWindowRect(P->Handle(), &R);
    P->Mouse.clear();
    ASSERT_EQ(gt_test::Shell("xdotool mousemove " + std::to_string(R.Left + 40) + " " + std::to_string(R.Top + 30) +
                             " click 1"),
              0);
    ASSERT_TRUE(GtTestPumpUntil([&] { return !Significant(P->Mouse).empty(); }, gt_test::kWaitMs));
    GtTestPump(300);
    EXPECT_EQ(Significant(P->Mouse)[0].Kind, "down");
    EXPECT_EQ(ActiveXWindow(), FormId);
    EXPECT_EQ(GetActiveWindow(), F);
  }
  // Topmost and back on the X window the floating window already has.
  const uint64_t Native = GtTestNativeWindowId(Floating.Handle());
  const std::string Fl = XId(Native);
  auto Above = [&] { return Capture("xprop -id " + Fl + " _NET_WM_STATE").find("_NET_WM_STATE_ABOVE") != std::string::npos; };
  const UINT Keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  EXPECT_FALSE(Above());
  SetWindowPos(Floating.Handle(), HWND_TOPMOST, 0, 0, 0, 0, Keep);
  EXPECT_TRUE(GtTestPumpUntil(Above, gt_test::kWaitMs));
  SetWindowPos(Floating.Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, Keep);
  EXPECT_TRUE(GtTestPumpUntil([&] { return !Above(); }, gt_test::kWaitMs));
  EXPECT_EQ(GtTestNativeWindowId(Floating.Handle()), Native);
  EXPECT_EQ(ActiveXWindow(), FormId);
}

TEST_F(UiTest, XvfbScreenOutlinesLeaveTheScreenAsBefore) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/platform/ui/xvfb_checks.sh)";
  TRecorder* R = AddRecorder(20, 20, 160, 120);
  GtTestActivate(Form->Handle());
  ASSERT_TRUE(GtTestPumpUntil([&] { return R->Paints > 0; }, gt_test::kWaitMs));
  GtTestPump(200);
  TPoint O = R->ClientOrigin();
  std::vector<uint32_t> Before, Drawn, After;
  ASSERT_TRUE(GtTestScreenPixels(O.X, O.Y, 160, 120, Before));
  ASSERT_TRUE(LockWindowUpdate(Form->Handle()));
  auto Draw = [&] {
    HDC DC = GetDC(nullptr);
    PatBlt(DC, O.X + 10, O.Y + 10, 100, 4, DSTINVERT);
    ReleaseDC(nullptr, DC);
    GtTestPump(300);
  };
  Draw();
  ASSERT_TRUE(GtTestScreenPixels(O.X, O.Y, 160, 120, Drawn));
  // The band shows inverted; the rest as it was.
  EXPECT_EQ(Drawn[static_cast<size_t>(11) * 160 + 20], Before[static_cast<size_t>(11) * 160 + 20] ^ 0xFFFFFFu);
  EXPECT_EQ(Drawn[static_cast<size_t>(50) * 160 + 20], Before[static_cast<size_t>(50) * 160 + 20]);
  Draw();
  ASSERT_TRUE(GtTestScreenPixels(O.X, O.Y, 160, 120, After));
  EXPECT_EQ(After, Before);
  LockWindowUpdate(nullptr);
}

}  // namespace

}  // namespace test_xvfb_tests
