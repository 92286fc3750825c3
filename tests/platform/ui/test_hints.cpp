// Hints: the timing of showing, re-asking and hiding on a manual clock, the
// CM_HINTSHOW question, line breaks, and the hint timers inside a loop that
// pumps messages itself.
#include <string>
#include <vector>

#include "platform/ui/hints.h"
#include "tests/platform/ui/uitest.h"

namespace hints_tests {
namespace {

// A control whose left and right halves have hints of their own, as a
// toolbar's buttons do.
class THalves : public TRecorder {
 public:
  explicit THalves(TComponent* AOwner) : TRecorder(AOwner) { SetShowHint(true); }
  Integer Asks = 0;
  bool Refuse = false;
  void Dispatch(TMessage& M) override {
    if (M.Msg == CM_HINTSHOW) {
      ++Asks;
      auto* Info = reinterpret_cast<THintInfo*>(M.LParam);
      const bool Left = Info->CursorPos.X < Width() / 2;
      Info->CursorRect = Left ? TRect(0, 0, Width() / 2, Height()) : TRect(Width() / 2, 0, Width(), Height());
      Info->HintStr = Left ? u"Left" : u"Right";
      M.Result = Refuse ? 1 : 0;
      return;
    }
    TRecorder::Dispatch(M);
  }
};

class HintUi : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    GtTestHintManualClock(true);
  }
  void TearDown() override {
    GtTestHintManualClock(false);
    UiTest::TearDown();
  }
  THalves* AddHalves(Integer L, Integer T) {
    auto* H = new THalves(Form.get());
    H->SetBounds(L, T, 100, 40);
    H->SetParent(Form.get());
    GtTestPump(10);
    return H;
  }
};

TEST_F(HintUi, ShowsAfterThePauseAsksAgainOutsideTheCursorRectAndHides) {
  THalves* H = AddHalves(20, 20);
  HWND W = H->Handle();
  GtTestMouse(W, gmaMove, gmbNone, 10, 10);
  GtTestHintAdvance(499);
  EXPECT_EQ(GtTestHintWindow(), nullptr);
  EXPECT_EQ(H->Asks, 0);
  GtTestHintAdvance(1);
  EXPECT_EQ(GtTestHintText(), u"Left");
  ASSERT_NE(GtTestHintWindow(), nullptr);
  // Below the mouse, not taking the activation.
  TRect R;
  GetWindowRect(GtTestHintWindow(), &R);
  const TPoint Mouse = H->ClientToScreen(TPoint(10, 10));
  EXPECT_GT(R.Top, Mouse.Y);
  EXPECT_NE(GetActiveWindow(), GtTestHintWindow());

  // Moving inside the cursor rectangle changes nothing.
  GtTestMouse(W, gmaMove, gmbNone, 30, 20);
  GtTestHintAdvance(100);
  EXPECT_EQ(GtTestHintText(), u"Left");
  EXPECT_EQ(H->Asks, 1);

  // Leaving it asks again after the short pause.
  GtTestMouse(W, gmaMove, gmbNone, 70, 20);
  EXPECT_EQ(GtTestHintWindow(), nullptr);
  GtTestHintAdvance(49);
  EXPECT_EQ(GtTestHintWindow(), nullptr);
  GtTestHintAdvance(1);
  EXPECT_EQ(GtTestHintText(), u"Right");
  EXPECT_EQ(H->Asks, 2);

  // Gone after the hide pause, and not back while the mouse stays.
  GtTestHintAdvance(2499);
  EXPECT_EQ(GtTestHintText(), u"Right");
  GtTestHintAdvance(1);
  EXPECT_EQ(GtTestHintWindow(), nullptr);
  GtTestMouse(W, gmaMove, gmbNone, 71, 21);
  GtTestHintAdvance(5000);
  EXPECT_EQ(GtTestHintWindow(), nullptr);
  EXPECT_EQ(H->Asks, 2);
}

TEST_F(HintUi, NextControlAfterAShownHintWaitsTheShortPauseAndARefusalShowsNothing) {
  THalves* A = AddHalves(20, 20);
  THalves* B = AddHalves(20, 100);
  auto* Plain = AddRecorder(180, 20, 60, 40);
  Plain->SetHint(u"Plain|The long text");
  Plain->SetShowHint(true);
  GtTestMouse(A->Handle(), gmaMove, gmbNone, 10, 10);
  GtTestHintAdvance(500);
  ASSERT_EQ(GtTestHintText(), u"Left");
  GtTestMouse(Plain->Handle(), gmaMove, gmbNone, 10, 10);
  GtTestHintAdvance(50);
  EXPECT_EQ(GtTestHintText(), u"Plain");  // the short part of the control's own hint

  B->Refuse = true;
  GtTestMouse(B->Handle(), gmaMove, gmbNone, 10, 10);
  GtTestHintAdvance(3000);
  EXPECT_EQ(B->Asks, 1);
  EXPECT_EQ(GtTestHintWindow(), nullptr);

  // A press ends a shown hint at once; a control without ShowHint is never asked.
  GtTestMouse(A->Handle(), gmaMove, gmbNone, 80, 10);
  GtTestHintAdvance(500);
  ASSERT_EQ(GtTestHintText(), u"Right");
  GtTestMouse(A->Handle(), gmaPress, gmbLeft, 80, 10);
  EXPECT_EQ(GtTestHintWindow(), nullptr);
  GtTestMouse(A->Handle(), gmaRelease, gmbLeft, 80, 10);
  A->SetShowHint(false);
  const Integer Before = A->Asks;
  GtTestMouse(A->Handle(), gmaMove, gmbNone, 10, 12);
  GtTestHintAdvance(3000);
  EXPECT_EQ(A->Asks, Before);
  EXPECT_EQ(GtTestHintWindow(), nullptr);
}

TEST_F(HintUi, LineBreaksInAnyOrderMakeLines) {
  struct Case {
    std::u16string Text;
    std::vector<std::u16string> Lines;
  };
  const Case Cases[] = {
      {u"a\n\rb", {u"a", u"b"}},   {u"a\r\nb", {u"a", u"b"}},           {u"a\rb", {u"a", u"b"}},
      {u"a\n\nb", {u"a", u"", u"b"}}, {u"a\n\r\n\rb", {u"a", u"", u"b"}}, {u"one", {u"one"}},
      {u"end\n", {u"end", u""}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Text.begin(), C.Text.end()));
    EXPECT_EQ(HintLines(C.Text), C.Lines);
  }
  // The window shows them as lines, taller than one.
  auto* P = AddRecorder(20, 20, 60, 40);
  P->SetShowHint(true);
  P->SetHint(u"a");
  GtTestMouse(P->Handle(), gmaMove, gmbNone, 5, 5);
  GtTestHintAdvance(500);
  ASSERT_NE(GtTestHintWindow(), nullptr);
  TRect One;
  GetWindowRect(GtTestHintWindow(), &One);
  P->SetHint(u"a\n\rb");
  Application->CancelHint();
  GtTestMouse(P->Handle(), gmaMove, gmbNone, 6, 6);
  GtTestHintAdvance(500);
  EXPECT_EQ(GtTestHintLineCount(), 2);
  TRect Two;
  GetWindowRect(GtTestHintWindow(), &Two);
  EXPECT_GT(Two.Height(), One.Height());
}

TEST_F(HintUi, HintTimersRunInsideALoopThatTakesTheQueue) {
  GtTestHintManualClock(false);
  Application->SetHintPause(1);
  auto* P = AddRecorder(20, 20, 60, 40);
  P->SetShowHint(true);
  P->SetHint(u"In the loop");
  // The loop of a menu or a drag: it takes the messages and feeds the hint
  // machinery itself.
  TMessage Move;
  Move.Msg = WM_MOUSEMOVE;
  Move.LParam = MAKELPARAM(5, 5);
  Application->HintMouseMessage(P, Move);
  bool Seen = false;
  for (Integer Turn = 0; Turn < 10000 && !Seen; ++Turn) {
    MSG M;
    if (!PeekMessage(&M, nullptr, 0, 0, PM_REMOVE)) MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    Seen = GtTestHintText() == u"In the loop";
  }
  EXPECT_TRUE(Seen);
  Application->CancelHint();
  EXPECT_EQ(GtTestHintWindow(), nullptr);
  Application->SetHintPause(500);
}

}  // namespace
}  // namespace hints_tests
