// Mouse, wheel and keyboard input reaching controls as the class library's events.
#include "uitest.h"

namespace test_input_tests {

namespace {

struct MouseCase {
  const char* Name;
  TGtMouseButton Button;
  Cardinal Mods;
  TMouseButton Expected;
  TShiftState DownShift;  // the pressed button is down during the press
  TShiftState UpShift;    // and no longer during the release
};

class MouseCases : public UiTest, public ::testing::WithParamInterface<MouseCase> {};

TEST_P(MouseCases, PressMoveReleaseArriveWithShiftStateAndClientCoordinates) {
  const MouseCase& C = GetParam();
  TRecorder* R = AddRecorder(10, 20, 200, 150);
  GtTestPump(10);
  HWND H = R->Handle();
  ASSERT_TRUE(GtTestMouse(H, gmaPress, C.Button, 30, 40, C.Mods));
  ASSERT_TRUE(GtTestMouse(H, gmaMove, gmbNone, 35, 47, C.Mods));
  ASSERT_TRUE(GtTestMouse(H, gmaRelease, C.Button, 36, 48, C.Mods));
  R->Mouse = Significant(R->Mouse);
  ASSERT_EQ(R->Mouse.size(), 3u);
  EXPECT_EQ(R->Mouse[0].Kind, "down");
  EXPECT_EQ(R->Mouse[0].Button, C.Expected);
  EXPECT_EQ(R->Mouse[0].Shift, C.DownShift);
  EXPECT_EQ(R->Mouse[0].X, 30);
  EXPECT_EQ(R->Mouse[0].Y, 40);
  EXPECT_EQ(R->Mouse[1].Kind, "move");
  EXPECT_EQ(R->Mouse[1].Shift, C.DownShift);
  EXPECT_EQ(R->Mouse[1].X, 35);
  EXPECT_EQ(R->Mouse[1].Y, 47);
  EXPECT_EQ(R->Mouse[2].Kind, "up");
  EXPECT_EQ(R->Mouse[2].Button, C.Expected);
  EXPECT_EQ(R->Mouse[2].Shift, C.UpShift);
  EXPECT_EQ(R->Mouse[2].X, 36);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, MouseCases,
    ::testing::Values(MouseCase{"left", gmbLeft, 0, mbLeft, {ssLeft}, {}},
                      MouseCase{"shift_left", gmbLeft, gmkShift, mbLeft, {ssShift, ssLeft}, {ssShift}},
                      MouseCase{"ctrl_right", gmbRight, gmkCtrl, mbRight, {ssCtrl, ssRight}, {ssCtrl}},
                      MouseCase{"alt_middle", gmbMiddle, gmkAlt, mbMiddle, {ssAlt, ssMiddle}, {ssAlt}}),
    [](const ::testing::TestParamInfo<MouseCase>& I) { return std::string(I.param.Name); });

TEST_F(UiTest, DragOutsideTheControlStaysWithItAndClickNeedsTheReleaseInside) {
  TRecorder* R = AddRecorder(10, 20, 100, 80);
  Integer Clicks = 0, DblClicks = 0;
  R->OnClick = [&](TObject*) { ++Clicks; };
  R->OnDblClick = [&](TObject*) { ++DblClicks; };
  GtTestPump(10);
  HWND H = R->Handle();
  // Captured: a move past the right and above the top reports coordinates outside the client area.
  GtTestMouse(H, gmaPress, gmbLeft, 50, 50);
  EXPECT_EQ(GetCapture(), H);
  EXPECT_LT(GetAsyncKeyState(VK_LBUTTON), 0);
  EXPECT_LT(GetKeyState(VK_LBUTTON), 0);
  GtTestMouse(H, gmaMove, gmbNone, 150, -10);
  GtTestMouse(H, gmaMove, gmbNone, 160, -12);
  GtTestMouse(H, gmaRelease, gmbLeft, 160, -12);
  std::vector<TRecordedMouse> Seen = Significant(R->Mouse);
  ASSERT_EQ(Seen.size(), 3u);
  EXPECT_EQ(Seen[1].X, 150);
  EXPECT_EQ(Seen[1].Y, -10);
  EXPECT_EQ(Clicks, 0);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_GE(GetAsyncKeyState(VK_LBUTTON), 0);
  GtTestClick(H, gmbLeft, 5, 5);
  EXPECT_EQ(Clicks, 1);
  GtTestMouse(H, gmaDoubleClick, gmbLeft, 6, 6);
  EXPECT_EQ(DblClicks, 1);
  // The second press of a double click carries ssDouble.
  bool SawDouble = false;
  for (auto& M : R->Mouse)
    if (M.Kind == "down" && M.Shift.Contains(ssDouble)) SawDouble = true;
  EXPECT_TRUE(SawDouble);
}

TEST_F(UiTest, WheelNotchesCarryPlusMinus120AndFallBackToUpDownEvents) {
  TRecorder* R = AddRecorder(0, 0, 100, 100);
  GtTestPump(10);
  std::vector<Integer> Deltas;
  TPoint LastPos;
  R->OnMouseWheel = [&](TObject*, TShiftState, Integer D, TPoint P, bool& Handled) {
    Deltas.push_back(D);
    LastPos = P;
    Handled = D > 0 && D != 120;  // only large steps away are handled here
  };
  Integer Ups = 0, Downs = 0;
  R->OnMouseWheelUp = [&](TObject*, TShiftState, TPoint, bool& H) {
    ++Ups;
    H = true;
  };
  R->OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool& H) {
    ++Downs;
    H = true;
  };
  HWND H = R->Handle();
  GtTestWheel(H, 20, 30, 120);
  GtTestWheel(H, 20, 30, -120);
  GtTestWheel(H, 20, 30, -240);
  GtTestWheel(H, 20, 30, 240);
  EXPECT_EQ(Deltas, (std::vector<Integer>{120, -120, -240, 240}));
  EXPECT_EQ(Ups, 1);
  EXPECT_EQ(Downs, 3);  // two notches in the third event
  // The position is on the screen, as Windows gives it.
  TPoint Expect = R->ClientToScreen(TPoint(20, 30));
  EXPECT_EQ(LastPos, Expect);
}

TEST_F(UiTest, KeysReachTheFocusedControlWithVirtualKeysAndShiftState) {
  TRecorder* R = AddRecorder(0, 0, 100, 100);
  R->SetTabStop(true);
  std::vector<std::pair<Word, TShiftState>> Downs, Ups;
  std::u16string Typed;
  R->OnKeyDown = [&](TObject*, Word& K, TShiftState S) { Downs.push_back({K, S}); };
  R->OnKeyUp = [&](TObject*, Word& K, TShiftState S) { Ups.push_back({K, S}); };
  R->OnKeyPress = [&](TObject*, WideChar& C) { Typed += C; };
  GtTestActivate(Form->Handle());
  R->SetFocus();
  GtTestPump(10);
  HWND H = R->Handle();
  ASSERT_EQ(GetFocus(), H);
  GtTestKey(H, true, 'A', gmkShift, u'A');
  EXPECT_LT(GetKeyState('A'), 0);
  GtTestKey(H, false, 'A', gmkShift);
  EXPECT_GE(GetKeyState('A'), 0);
  GtTestKey(H, true, VK_F5, gmkCtrl);
  GtTestKey(H, false, VK_F5, gmkCtrl);
  ASSERT_EQ(Downs.size(), 2u);
  EXPECT_EQ(Downs[0].first, 'A');
  EXPECT_EQ(Downs[0].second, TShiftState{ssShift});
  EXPECT_EQ(Downs[1].first, VK_F5);
  EXPECT_EQ(Downs[1].second, TShiftState{ssCtrl});
  ASSERT_EQ(Ups.size(), 2u);
  EXPECT_EQ(Ups[0].first, 'A');
  EXPECT_EQ(Typed, u"A");
  // The key state is the program's own: let go of Ctrl so that the tests after
  // this one do not start with it held.
  GtTestKey(H, false, VK_CONTROL);
  EXPECT_GE(GetKeyState(VK_CONTROL), 0);
}

TEST_F(UiTest, ArrowsAndTabGoToTheControlOnlyWhenItWantsThem) {
  TRecorder* A = AddRecorder(0, 0, 100, 100);
  TRecorder* B = AddRecorder(120, 0, 100, 100);
  A->SetTabStop(true);
  B->SetTabStop(true);
  std::vector<Word> Keys;
  A->OnKeyDown = [&](TObject*, Word& K, TShiftState) { Keys.push_back(K); };
  Integer Entered = 0;
  B->OnEnter = [&](TObject*) { ++Entered; };
  GtTestActivate(Form->Handle());
  A->SetFocus();
  GtTestPump(10);
  // Not wanted: the arrow moves the focus among the form's controls instead.
  GtTestKey(A->Handle(), true, VK_RIGHT);
  GtTestKey(A->Handle(), false, VK_RIGHT);
  EXPECT_TRUE(Keys.empty());
  EXPECT_EQ(GetFocus(), B->Handle());
  EXPECT_EQ(Entered, 1);
  EXPECT_EQ(Form->ActiveControl(), B);
  // Wanted: the control sees the arrow and keeps the focus; Tab still moves on.
  A->SetFocus();
  A->WantArrows = true;
  GtTestPump(10);
  GtTestKey(A->Handle(), true, VK_LEFT);
  EXPECT_EQ(Keys, std::vector<Word>{VK_LEFT});
  EXPECT_EQ(GetFocus(), A->Handle());
  GtTestKey(A->Handle(), true, VK_TAB);
  EXPECT_EQ(GetFocus(), B->Handle());
}

TEST_F(UiTest, KeyPreviewLetsTheFormSwallowKeys) {
  TRecorder* R = AddRecorder(0, 0, 100, 100);
  Integer ControlSaw = 0;
  R->OnKeyDown = [&](TObject*, Word&, TShiftState) { ++ControlSaw; };
  Form->SetKeyPreview(true);
  Form->OnKeyDown = [](TObject*, Word& K, TShiftState) {
    if (K == 'Q') K = 0;
  };
  GtTestActivate(Form->Handle());
  R->SetFocus();
  GtTestPump(10);
  GtTestKey(R->Handle(), true, 'Q');
  GtTestKey(R->Handle(), true, 'W');
  EXPECT_EQ(ControlSaw, 1);
}

TEST_F(UiTest, CursorOfTheControlUnderTheMouseAndScreenCursorOverride) {
  TRecorder* R = AddRecorder(0, 0, 100, 100);
  R->SetCursor(crHandPoint);
  GtTestPump(10);
  GtTestMouse(R->Handle(), gmaMove, gmbNone, 10, 10);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHandPoint));
  Screen->SetCursor(crHourGlass);
  GtTestMouse(R->Handle(), gmaMove, gmbNone, 11, 10);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHourGlass));
  Screen->SetCursor(crDefault);
  EXPECT_NE(Screen->Cursors(crHourGlass), Screen->Cursors(crDefault));
  // A registered number maps to its cursor; unknown numbers give the default.
  HCURSOR Mine = LoadCursor(nullptr, IDC_SIZEALL);
  Screen->SetCursors(1785, Mine);
  EXPECT_EQ(Screen->Cursors(1785), Mine);
  EXPECT_EQ(Screen->Cursors(4242), Screen->Cursors(crDefault));
}

}  // namespace

}  // namespace test_input_tests
