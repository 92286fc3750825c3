// Margins that a window asks for with WM_NCCALCSIZE, drawn by the window
// through its window DC, and mouse input over them with the window's own hit
// testing and leave tracking.
#include <algorithm>
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

// A window that logs its button and move messages and answers the hit test
// it is told to (0: the default answer).
class THitLog : public TRecorder {
 public:
  explicit THitLog(TComponent* AOwner) : TRecorder(AOwner) {}
  LRESULT Answer = 0;
  std::vector<std::pair<UINT, TPoint>> Log;

 protected:
  void WndProc(TMessage& M) override {
    if (M.Msg == WM_NCHITTEST && Answer) {
      M.Result = Answer;
      return;
    }
    if (M.Msg == WM_MOUSEMOVE || (M.Msg >= WM_LBUTTONDOWN && M.Msg <= WM_MBUTTONDBLCLK))
      Log.push_back({M.Msg, TPoint(GET_X_LPARAM(M.LParam), GET_Y_LPARAM(M.LParam))});
    TRecorder::WndProc(M);
  }
};

TEST_F(NonClientUi, ATransparentChildPassesTheMouseToTheWindowBeneathItAndAClientOneKeepsIt) {
  // Parent P holds Below (at x 60..140) and, above it, Child (at x 10..90):
  // child point (5, 7) lies over P only, (65, 7) over Below as well.
  auto* P = new THitLog(Form.get());
  P->SetBounds(20, 20, 260, 160);
  P->SetParent(Form.get());
  auto* Below = new THitLog(Form.get());
  Below->SetBounds(60, 10, 80, 60);
  Below->SetParent(P);
  auto* Child = new THitLog(Form.get());
  Child->SetBounds(10, 10, 80, 60);
  Child->SetParent(P);
  GtTestPump(20);
  const HWND C = Child->Handle();
  auto Gesture = [&](Integer X, Integer Y) {
    GtTestMouse(C, gmaMove, gmbNone, X + 1, Y + 1);
    for (THitLog* L : {P, Below, Child}) L->Log.clear();
    GtTestMouse(C, gmaMove, gmbNone, X, Y);
    GtTestClick(C, gmbLeft, X, Y);
    GtTestMouse(C, gmaDoubleClick, gmbLeft, X, Y);
    GtTestPump(10);
  };
  using TLog = std::vector<std::pair<UINT, TPoint>>;
  auto At = [](const TLog& L, Integer X, Integer Y) {
    TLog Out = L;
    for (auto& E : Out) E.second = TPoint(X, Y);
    return Out;
  };
  auto Count = [](const TLog& L, UINT Msg) {
    return std::count_if(L.begin(), L.end(), [&](const auto& E) { return E.first == Msg; });
  };

  // A child answering HTCLIENT keeps the whole gesture: this is what a
  // window that takes it receives.
  Child->Answer = HTCLIENT;
  Gesture(5, 7);
  const TLog Kept = Child->Log;
  EXPECT_TRUE(P->Log.empty());
  EXPECT_EQ(Count(Kept, WM_LBUTTONDBLCLK), 1);
  EXPECT_EQ(Count(Kept, WM_LBUTTONUP), 3);
  EXPECT_EQ(Kept, At(Kept, 5, 7));
  TPoint Screen(5, 7);
  ClientToScreen(C, &Screen);
  EXPECT_EQ(WindowFromPoint(Screen), C);

  struct Case {
    const char* Where;
    Integer X, Y;
    THitLog* Gets;
    TPoint There;  // the point in the receiver's client coordinates
  };
  const Case Cases[] = {{"over the parent only", 5, 7, P, {15, 17}}, {"over the sibling below", 65, 7, Below, {15, 7}}};
  Child->Answer = HTTRANSPARENT;
  for (const Case& K : Cases) {
    SCOPED_TRACE(K.Where);
    Gesture(K.X, K.Y);
    EXPECT_TRUE(Child->Log.empty());
    // The same messages, once each, at the receiver's own point.
    EXPECT_EQ(K.Gets->Log, At(Kept, K.There.X, K.There.Y));
    for (THitLog* L : {P, Below}) {
      if (L != K.Gets) {
        EXPECT_TRUE(L->Log.empty());
      }
    }
    TPoint S(K.X, K.Y);
    ClientToScreen(C, &S);
    EXPECT_EQ(WindowFromPoint(S), K.Gets->Handle());
  }

  // A window holding the capture is not asked: it takes the mouse.
  for (THitLog* L : {P, Below, Child}) L->Log.clear();
  SetCapture(C);
  GtTestMouse(C, gmaMove, gmbNone, 5, 7);
  GtTestMouse(C, gmaPress, gmbLeft, 5, 7);
  ReleaseCapture();
  GtTestMouse(C, gmaRelease, gmbLeft, 5, 7);
  GtTestPump(10);
  EXPECT_EQ(Child->Log, TLog({{WM_MOUSEMOVE, {5, 7}}, {WM_LBUTTONDOWN, {5, 7}}}));
  EXPECT_EQ(P->Log, TLog({{WM_LBUTTONUP, {15, 17}}}));
}

}  // namespace
}  // namespace nonclient_tests
