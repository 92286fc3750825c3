// Margins that a window asks for with WM_NCCALCSIZE, drawn by the window
// through its window DC, and mouse input over them with the window's own hit
// testing and leave tracking.
#include <vector>

#include "tests/platform/ui/uitest.h"

namespace nonclient_tests {
namespace {

constexpr Integer kMargin = 3;
constexpr COLORREF kFrameColour = RGB(200, 10, 30);

// A child with a 3-pixel frame of its own, painted red through the window
// DC, and a hit test that answers the private code 2002 in the top margin.
class TFramed : public TRecorder {
 public:
  explicit TFramed(TComponent* AOwner) : TRecorder(AOwner) {}
  std::vector<TMessage> Nc;  // non-client mouse messages and leaves
  Integer NcPaints = 0;

 protected:
  void WndProc(TMessage& M) override {
    switch (M.Msg) {
      case WM_NCCALCSIZE: {
        auto* R = reinterpret_cast<TRect*>(M.LParam);
        *R = TRect(R->Left + kMargin, R->Top + kMargin, R->Right - kMargin, R->Bottom - kMargin);
        M.Result = 0;
        return;
      }
      case WM_NCPAINT: {
        ++NcPaints;
        HDC DC = GetWindowDC(Handle());
        TRect R(0, 0, Width(), Height());
        HBRUSH B = CreateSolidBrush(kFrameColour);
        FillRect(DC, &R, B);
        DeleteObject(B);
        ReleaseDC(Handle(), DC);
        return;
      }
      case WM_NCHITTEST: {
        TPoint P(GET_X_LPARAM(M.LParam), GET_Y_LPARAM(M.LParam));
        TRect W;
        GetWindowRect(Handle(), &W);
        if (P.Y - W.Top < kMargin && PtInRect(W, P)) {
          M.Result = 2002;
          return;
        }
        break;
      }
      case WM_NCLBUTTONDOWN:
      case WM_NCLBUTTONUP:
      case WM_NCMOUSEMOVE:
      case WM_NCMOUSELEAVE:
      case WM_MOUSELEAVE: Nc.push_back(M); break;
      default: break;
    }
    TRecorder::WndProc(M);
  }
};

class NonClientUi : public UiTest {
 protected:
  TFramed* AddFramed(Integer L, Integer T, Integer W, Integer H) {
    auto* F = new TFramed(Form.get());
    F->SetBounds(L, T, W, H);
    F->SetParent(Form.get());
    GtTestPump(20);
    return F;
  }
};

TEST_F(NonClientUi, MarginsComeOffTheClientArea) {
  TFramed* F = AddFramed(20, 20, 100, 60);
  HWND H = F->Handle();
  TRect C;
  ASSERT_TRUE(GetClientRect(H, &C));
  EXPECT_EQ(C, TRect(0, 0, 94, 54));
  TRect W;
  GetWindowRect(H, &W);
  TPoint Origin(0, 0);
  ClientToScreen(H, &Origin);
  EXPECT_EQ(Origin, TPoint(W.Left + 3, W.Top + 3));
  // A new size asks again; so does a frame change.
  F->SetBounds(20, 20, 50, 40);
  GetClientRect(H, &C);
  EXPECT_EQ(C, TRect(0, 0, 44, 34));
  SetWindowPos(H, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  GetClientRect(H, &C);
  EXPECT_EQ(C, TRect(0, 0, 44, 34));
  // A plain bordered window keeps the standard border.
  auto* Plain = AddRecorder(150, 20, 60, 40);
  SetWindowLong(Plain->Handle(), GWL_STYLE, GetWindowLong(Plain->Handle(), GWL_STYLE) | WS_BORDER);
  GetClientRect(Plain->Handle(), &C);
  EXPECT_EQ(C, TRect(0, 0, 58, 38));
}

TEST_F(NonClientUi, TheWindowDcDrawsTheMarginsFromTheWindowsCorner) {
  TFramed* F = AddFramed(20, 20, 100, 60);
  ASSERT_TRUE(GtTestPumpUntil([&] { return F->NcPaints > 0 && F->Paints > 0; }, gt_test::kWaitMs));
  std::vector<uint32_t> Px;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestGrabWindow(F->Handle(), Px, W, H));
  ASSERT_EQ(W, 100);
  ASSERT_EQ(H, 60);
  auto At = [&](Integer X, Integer Y) { return Px[static_cast<size_t>(Y) * W + X]; };
  const uint32_t Red = 0xC80A1E;
  EXPECT_EQ(At(0, 0), Red);
  EXPECT_EQ(At(2, 30), Red);
  EXPECT_EQ(At(99, 59), Red);
  // The client starts 3 pixels in, with its own pattern (the first cell is RGB(0, 0, 0x40)).
  EXPECT_EQ(At(3, 3), 0x000040u);
  // Drawing outside WM_NCPAINT shows too (a grab would paint afresh: the screen shows what is there).
  HDC DC = GetWindowDC(F->Handle());
  TRect Dot(1, 1, 2, 2);
  FillRect(DC, &Dot, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(F->Handle(), DC);
  GtTestPump(20);
  TRect Win;
  GetWindowRect(F->Handle(), &Win);
  std::vector<uint32_t> Screen;
  ASSERT_TRUE(GtTestScreenPixels(Win.Left, Win.Top, 3, 3, Screen));
  EXPECT_EQ(Screen[4], 0xFFFFFFu);
  EXPECT_EQ(Screen[0], Red);
}

TEST_F(NonClientUi, PressesOnTheMarginsCarryTheHitTestCodeAndLeavingIsToldOnce) {
  TFramed* F = AddFramed(20, 20, 100, 60);
  HWND H = F->Handle();
  // Client coordinates: (10, -2) is in the top margin, (-2, 20) in the left one.
  GtTestMouse(H, gmaMove, gmbNone, 10, -2);
  GtTestMouse(H, gmaPress, gmbLeft, 10, -2);
  GtTestMouse(H, gmaRelease, gmbLeft, 10, -2);
  GtTestMouse(H, gmaMove, gmbNone, -2, 20);
  GtTestPump(10);
  TRect Win;
  GetWindowRect(H, &Win);
  std::vector<std::pair<UINT, WPARAM>> Got;
  for (const TMessage& M : F->Nc) Got.push_back({M.Msg, M.WParam});
  const std::vector<std::pair<UINT, WPARAM>> Want = {
      {WM_NCMOUSEMOVE, 2002}, {WM_NCLBUTTONDOWN, 2002}, {WM_NCLBUTTONUP, 2002}, {WM_NCMOUSEMOVE, HTBORDER}};
  EXPECT_EQ(Got, Want);
  ASSERT_GE(F->Nc.size(), 2u);
  // The point is on the screen.
  EXPECT_EQ(GET_X_LPARAM(F->Nc[1].LParam), Win.Left + 13);
  EXPECT_EQ(GET_Y_LPARAM(F->Nc[1].LParam), Win.Top + 1);
  // Nothing reached the client as a client press.
  EXPECT_TRUE(Significant(F->Mouse).empty() || Significant(F->Mouse)[0].Kind == "move");

  // Leaving the margins for the client area is told once, after tracking asked for it.
  F->Nc.clear();
  TRACKMOUSEEVENT T;
  T.dwFlags = TME_LEAVE | TME_NONCLIENT;
  T.hwndTrack = H;
  ASSERT_TRUE(TrackMouseEvent(&T));
  GtTestPump(10);
  EXPECT_TRUE(F->Nc.empty());  // still over the margins
  GtTestMouse(H, gmaMove, gmbNone, 20, 20);
  GtTestMouse(H, gmaMove, gmbNone, 25, 25);
  GtTestMouse(H, gmaMove, gmbNone, -2, 25);
  GtTestMouse(H, gmaMove, gmbNone, 20, 20);
  GtTestPump(20);
  Integer Leaves = 0;
  for (const TMessage& M : F->Nc) Leaves += M.Msg == WM_NCMOUSELEAVE;
  EXPECT_EQ(Leaves, 1);
  // Asked while the pointer is elsewhere: at once.
  F->Nc.clear();
  ASSERT_TRUE(TrackMouseEvent(&T));
  GtTestPump(10);
  ASSERT_EQ(F->Nc.size(), 1u);
  EXPECT_EQ(F->Nc[0].Msg, static_cast<UINT>(WM_NCMOUSELEAVE));
}

TEST_F(NonClientUi, DefaultHitTestTable) {
  auto* R = AddRecorder(20, 20, 100, 60);
  HWND H = R->Handle();
  SetWindowLong(H, GWL_STYLE, GetWindowLong(H, GWL_STYLE) | WS_BORDER);
  TRect W;
  GetWindowRect(H, &W);
  struct Case {
    Integer X, Y;  // window coordinates
    LRESULT Code;
  };
  const Case Cases[] = {{0, 0, HTBORDER}, {50, 30, HTCLIENT}, {99, 59, HTBORDER}, {100, 30, HTNOWHERE}, {-1, 0, HTNOWHERE}};
  for (const Case& C : Cases)
    EXPECT_EQ(SendMessage(H, WM_NCHITTEST, 0, MAKELPARAM(W.Left + C.X, W.Top + C.Y)), C.Code) << C.X << "," << C.Y;
}

}  // namespace
}  // namespace nonclient_tests
