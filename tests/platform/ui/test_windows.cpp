// Window handles, the message queue across threads, painting through the
// window surface, timers, modal forms, scroll bars and alignment.
#include <atomic>
#include <thread>

#include "platform/base/threads.h"
#include "platform/ui/extctrls.h"
#include "uitest.h"

namespace test_windows_tests {

namespace {

constexpr UINT kProgressMessage = WM_USER + 7003;  // 8027

std::vector<uint32_t> Grab(HWND H) {
  std::vector<uint32_t> P;
  Integer W = 0, Hh = 0;
  EXPECT_TRUE(GtTestGrab(H, P, W, Hh));
  return P;
}

uint32_t PixelAt(HWND H, Integer X, Integer Y) {
  std::vector<uint32_t> P;
  Integer W = 0, Hh = 0;
  if (!GtTestGrab(H, P, W, Hh) || X >= W || Y >= Hh) return 0xFFFFFFFF;
  return P[static_cast<size_t>(Y) * W + X];
}

TEST_F(UiTest, PostedMessagesFromThreadsArriveOnTheMainThreadInPostingOrder) {
  TRecorder* R = AddRecorder(0, 0, 50, 50);
  HWND H = R->Handle();
  std::thread::id Main = std::this_thread::get_id();
  std::thread([H] { PostMessage(H, kProgressMessage, 42, 0); }).join();
  ASSERT_TRUE(GtTestPumpUntil([&] { return !R->Messages.empty(); }, gt_test::kWaitMs));
  EXPECT_EQ(R->Messages[0].Msg, kProgressMessage);
  EXPECT_EQ(R->Messages[0].WParam, 42u);
  EXPECT_EQ(R->MessageThreads[0], Main);
  R->Messages.clear();

  // Four threads post 500 numbered messages each, interleaved.
  constexpr int Threads = 4, PerThread = 500;
  std::vector<std::thread> Workers;
  for (int t = 0; t < Threads; ++t)
    Workers.emplace_back([H, t] {
      for (int i = 0; i < PerThread; ++i) PostMessage(H, kProgressMessage, static_cast<WPARAM>(t * 100000 + i), 0);
    });
  for (auto& W : Workers) W.join();
  ASSERT_TRUE(GtTestPumpUntil([&] { return R->Messages.size() == Threads * PerThread; }, gt_test::kWaitMs));
  std::vector<int> Next(Threads, 0);
  for (const TMessage& M : R->Messages) {
    int T = static_cast<int>(M.WParam / 100000), I = static_cast<int>(M.WParam % 100000);
    ASSERT_EQ(I, Next[T]) << "thread " << T;
    ++Next[T];
  }
  EXPECT_EQ(std::this_thread::get_id(), Main);
}

TEST_F(UiTest, PostingToADestroyedControlFailsAndDropsWhatWasQueued) {
  TRecorder* R = AddRecorder(0, 0, 50, 50);
  HWND H = R->Handle();
  ASSERT_TRUE(PostMessage(H, kProgressMessage, 1, 0));
  delete R;
  EXPECT_FALSE(IsWindow(H));
  EXPECT_FALSE(PostMessage(H, kProgressMessage, 2, 0));
  BOOL FromThread = TRUE;
  std::thread([&] { FromThread = PostMessage(H, kProgressMessage, 3, 0); }).join();
  EXPECT_FALSE(FromThread);
  EXPECT_EQ(SendMessage(H, kProgressMessage, 4, 0), 0);
  GtTestPump(30);  // the message queued before the destruction must not reach freed memory
  // A new window never gets the old handle back.
  TRecorder* Again = AddRecorder(0, 0, 50, 50);
  EXPECT_NE(Again->Handle(), H);
}

TEST_F(UiTest, NestedLoopsPeekFilterAndDispatchQueuedMessages) {
  TRecorder* R = AddRecorder(0, 0, 50, 50);
  HWND H = R->Handle();
  PostMessage(H, WM_USER + 5, 1, 0);
  PostMessage(H, WM_USER + 9, 2, 0);
  MSG M;
  // Peeking without removing, and a range that skips the first message.
  ASSERT_TRUE(PeekMessage(&M, H, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(M.message, WM_USER + 5);
  ASSERT_TRUE(PeekMessage(&M, nullptr, WM_USER + 6, WM_USER + 10, PM_REMOVE));
  EXPECT_EQ(M.message, WM_USER + 9);
  EXPECT_EQ(M.hwnd, H);
  EXPECT_TRUE(R->Messages.empty());  // taken by the loop, not delivered
  DispatchMessage(&M);
  ASSERT_EQ(R->Messages.size(), 1u);
  EXPECT_EQ(R->Messages[0].WParam, 2u);
  ASSERT_TRUE(GetMessage(&M, nullptr, 0, 0));
  EXPECT_EQ(M.message, WM_USER + 5);
  PostQuitMessage(3);
  EXPECT_FALSE(GetMessage(&M, nullptr, 0, 0));
  EXPECT_EQ(M.message, WM_QUIT);
  EXPECT_EQ(M.wParam, 3u);
}

TEST_F(UiTest, WorkerThreadsRunCodeOnTheMainThreadThroughSynchronize) {
  struct TWorker : TThread {
    TWorker() : TThread(true) {}
    std::thread::id Ran;
    void Execute() override {
      Synchronize([this] { Ran = std::this_thread::get_id(); });
    }
  } Worker;
  Worker.Start();
  EXPECT_TRUE(GtTestPumpUntil([&] { return Worker.Finished(); }, gt_test::kWaitMs));
  EXPECT_EQ(Worker.Ran, std::this_thread::get_id());
}

TEST_F(UiTest, SendMessageFromAThreadWaitsForTheMainThreadsAnswer) {
  TRecorder* R = AddRecorder(0, 0, 50, 50);
  HWND H = R->Handle();
  TWndMethod Old = R->WindowProc;
  R->WindowProc = [Old](TMessage& M) {
    if (M.Msg == WM_USER + 1) {
      M.Result = static_cast<LRESULT>(M.WParam * 2);
      return;
    }
    Old(M);
  };
  std::atomic<LRESULT> Answer{0};
  std::atomic<bool> Done{false};
  std::thread T([&] {
    Answer = SendMessage(H, WM_USER + 1, 21, 0);
    Done = true;
  });
  EXPECT_TRUE(GtTestPumpUntil([&] { return Done.load(); }, gt_test::kWaitMs));
  T.join();
  EXPECT_EQ(Answer.load(), 42);
}

TEST_F(UiTest, RegisteredMessagesAreSharedByNameIgnoringCase) {
  UINT A = RegisterWindowMessage(u"GimroTal.Ping");
  EXPECT_GE(A, 0xC000u);
  EXPECT_EQ(RegisterWindowMessage(u"gimrotal.ping"), A);
  EXPECT_NE(RegisterWindowMessage(u"GimroTal.Pong"), A);
  EXPECT_EQ(RegisterWindowMessage(u""), 0u);
}

TEST_F(UiTest, InvalidationSendsOnePaintForTheUnionAndErasesWithTheColor) {
  TRecorder* R = AddRecorder(10, 10, 100, 80);
  R->PaintPattern = false;
  R->SetColor(clRed);
  ASSERT_TRUE(GtTestPumpUntil([&] { return R->Paints > 0; }, gt_test::kWaitMs));
  GtTestPump(20);
  Integer Before = R->Paints;
  HWND H = R->Handle();
  EXPECT_EQ(PixelAt(H, 50, 40), 0xFF0000u);  // erased with the control's colour (red)
  TRect A(0, 0, 10, 10), B(30, 20, 40, 30);
  InvalidateRect(H, &A, FALSE);
  InvalidateRect(H, &B, FALSE);
  GtTestPump(30);
  EXPECT_EQ(R->Paints, Before + 1);
  EXPECT_EQ(R->LastPaintClip, TRect(0, 0, 40, 30));
  // A validated region is not painted.
  InvalidateRect(H, &A, FALSE);
  ValidateRect(H, nullptr);
  GtTestPump(30);
  EXPECT_EQ(R->Paints, Before + 1);
  // Update paints at once, without an event loop.
  R->Invalidate();
  R->Update();
  EXPECT_EQ(R->Paints, Before + 2);
}

TEST_F(UiTest, DrawingOutsidePaintShowsAndASecondInversionRestoresThePixels) {
  TRecorder* R = AddRecorder(10, 10, 120, 90);
  ASSERT_TRUE(GtTestPumpUntil([&] { return R->Paints > 0; }, gt_test::kWaitMs));
  GtTestPump(20);
  HWND H = R->Handle();
  std::vector<uint32_t> Original = Grab(H);
  Integer Paints = R->Paints;
  TCanvas* C = R->Canvas();
  C->Pen()->SetMode(pmNot);
  C->Brush()->SetStyle(bsSolid);
  C->Rectangle(20, 15, 70, 55);
  std::vector<uint32_t> Inverted = Grab(H);
  ASSERT_EQ(Inverted.size(), Original.size());
  for (Integer y = 0; y < 90; ++y)
    for (Integer x = 0; x < 120; ++x) {
      size_t I = static_cast<size_t>(y) * 120 + x;
      bool Inside = x >= 20 && x < 70 && y >= 15 && y < 55;
      ASSERT_EQ(Inverted[I], Inside ? (~Original[I] & 0xFFFFFFu) : Original[I]) << x << "," << y;
    }
  C->Rectangle(20, 15, 70, 55);
  EXPECT_EQ(Grab(H), Original);
  // No WM_PAINT was needed for either drawing.
  EXPECT_EQ(R->Paints, Paints);
  // The surface is what GetDC draws on.
  std::vector<uint32_t> Surface;
  Integer W = 0, Hh = 0;
  ASSERT_TRUE(GtTestSurface(H, Surface, W, Hh));
  EXPECT_EQ(Surface, Original);
}

TEST_F(UiTest, GraphicControlsPaintOnTheParentSurfaceInTheirPlace) {
  TRecorder* R = AddRecorder(0, 0, 200, 150);
  R->PaintPattern = false;
  R->SetColor(clWhite);
  auto* S = new TShape(Form.get());
  S->SetParent(R);
  S->SetBounds(40, 30, 20, 10);
  S->Brush()->SetColor(clBlue);
  S->Pen()->SetColor(clBlue);
  ASSERT_TRUE(GtTestPumpUntil([&] { return R->Paints > 0; }, gt_test::kWaitMs));
  GtTestPump(30);
  HWND H = R->Handle();
  EXPECT_EQ(PixelAt(H, 45, 35), 0x0000FFu);
  EXPECT_EQ(PixelAt(H, 39, 35), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(H, 60, 35), 0xFFFFFFu);
  // Clicks on the shape go to the shape, in its own coordinates.
  std::vector<TPoint> Downs;
  S->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, Integer X, Integer Y) { Downs.push_back(TPoint(X, Y)); };
  GtTestClick(H, gmbLeft, 45, 37);
  ASSERT_EQ(Downs.size(), 1u);
  EXPECT_EQ(Downs[0], TPoint(5, 7));
  EXPECT_TRUE(R->Mouse.empty());
}

TEST_F(UiTest, TimersFireOnTheMainThreadUntilDisabled) {
  auto* T = new TTimer(Form.get());
  T->SetInterval(10);
  Integer Ticks = 0;
  T->OnTimer = [&](TObject*) { ++Ticks; };
  EXPECT_TRUE(GtTestPumpUntil([&] { return Ticks >= 3; }, gt_test::kWaitMs));
  T->SetEnabled(false);
  Integer Stopped = Ticks;
  GtTestPump(60);
  EXPECT_EQ(Ticks, Stopped);

  // A window timer: WM_TIMER with its id until KillTimer.
  TRecorder* R = AddRecorder(0, 0, 10, 10);
  Integer WmTimers = 0;
  TWndMethod Old = R->WindowProc;
  R->WindowProc = [&, Old](TMessage& M) {
    if (M.Msg == WM_TIMER && M.WParam == 7) ++WmTimers;
    Old(M);
  };
  EXPECT_EQ(SetTimer(R->Handle(), 7, 10, nullptr), 7u);
  EXPECT_TRUE(GtTestPumpUntil([&] { return WmTimers >= 2; }, gt_test::kWaitMs));
  EXPECT_TRUE(KillTimer(R->Handle(), 7));
  EXPECT_FALSE(KillTimer(R->Handle(), 7));
}

TEST_F(UiTest, ATimerMayFreeItselfFromItsOwnEvent) {
  auto* T = new TTimer(nullptr);
  T->SetInterval(5);
  bool Fired = false;
  T->OnTimer = [&](TObject* Sender) {
    Fired = true;
    delete static_cast<TTimer*>(Sender);
  };
  EXPECT_TRUE(GtTestPumpUntil([&] { return Fired; }, gt_test::kWaitMs));
  GtTestPump(20);
}

TEST_F(UiTest, ShowModalReturnsTheModalResultOfTheButtonPressed) {
  TForm Dialog(nullptr);
  Dialog.SetBounds(0, 0, 200, 100);
  Dialog.SetPosition(poScreenCenter);
  auto* Ok = new TButton(&Dialog);
  Ok->SetParent(&Dialog);
  Ok->SetModalResult(mrOk);
  auto* Cancel = new TButton(&Dialog);
  Cancel->SetParent(&Dialog);
  Cancel->SetLeft(100);
  Cancel->SetModalResult(mrCancel);
  Cancel->SetCancel(true);
  Integer Clicks = 0;
  Ok->OnClick = [&](TObject*) { ++Clicks; };
  TTimer Press(nullptr);
  Press.SetInterval(20);
  Press.OnTimer = [&](TObject*) {
    Press.SetEnabled(false);
    GtTestClick(Ok->Handle(), gmbLeft, 5, 5);
  };
  EXPECT_EQ(Dialog.ShowModal(), mrOk);
  EXPECT_EQ(Clicks, 1);
  EXPECT_FALSE(Dialog.Visible());
  // Centred on the screen at its first show.
  EXPECT_EQ(Dialog.Left(), (Screen->Width() - 200) / 2);

  // Escape presses the Cancel button.
  Press.OnTimer = [&](TObject*) {
    Press.SetEnabled(false);
    GtTestKey(Dialog.Handle(), true, VK_ESCAPE);
  };
  Press.SetEnabled(true);
  EXPECT_EQ(Dialog.ShowModal(), mrCancel);

  Dialog.Show();
  EXPECT_THROW(Dialog.ShowModal(), EInvalidOperation);
}

TEST_F(UiTest, ExceptionsOfHandlersReachTheApplicationAndTheLoopGoesOn) {
  TRecorder* R = AddRecorder(0, 0, 50, 50);
  std::vector<std::u16string> Caught;
  Application->OnException = [&](TObject*, Exception& E) { Caught.push_back(E.Message()); };
  R->OnClick = [](TObject*) { throw EInvalidOperation("boom"); };
  GtTestClick(R->Handle(), gmbLeft, 5, 5);
  R->OnClick = [](TObject*) { throw EAbort("quiet"); };
  GtTestClick(R->Handle(), gmbLeft, 5, 5);
  ASSERT_EQ(Caught.size(), 1u);
  EXPECT_EQ(Caught[0], u"boom");
  Integer Clicks = 0;
  R->OnClick = [&](TObject*) { ++Clicks; };
  GtTestClick(R->Handle(), gmbLeft, 5, 5);
  EXPECT_EQ(Clicks, 1);
}

TEST_F(UiTest, ShowingTheVerticalBarShrinksTheClientWidthByItsThickness) {
  TRecorder* R = AddRecorder(0, 0, 200, 120);
  HWND H = R->Handle();
  Integer Resizes = 0;
  R->OnResize = [&](TObject*) { ++Resizes; };
  ASSERT_EQ(R->ClientWidth(), 200);
  ShowScrollBar(H, SB_VERT, TRUE);
  EXPECT_EQ(R->ClientWidth(), 200 - GetSystemMetrics(SM_CXVSCROLL));
  EXPECT_EQ(R->ClientHeight(), 120);
  EXPECT_EQ(R->Width(), 200);
  EXPECT_EQ(Resizes, 1);
  ShowScrollBar(H, SB_HORZ, TRUE);
  EXPECT_EQ(R->ClientHeight(), 120 - GetSystemMetrics(SM_CYHSCROLL));
  EXPECT_TRUE(GetWindowLong(H, GWL_STYLE) & WS_VSCROLL);
  ShowScrollBar(H, SB_BOTH, FALSE);
  EXPECT_EQ(R->ClientRect(), TRect(0, 0, 200, 120));
  // A sunken client edge takes two pixels on each side from the client area too.
  auto* Framed = new TPanel(Form.get());
  Framed->SetParent(Form.get());
  Framed->SetBounds(0, 130, 100, 60);
  Framed->SetBorderStyle(bsSingle);
  Framed->HandleNeeded();
  EXPECT_TRUE(GetWindowLong(Framed->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(Framed->ClientRect(), TRect(0, 0, 96, 56));
}

TEST_F(UiTest, ScrollInfoClampsThePositionAndShowsOrHidesTheBarByTheRange) {
  TRecorder* R = AddRecorder(0, 0, 200, 120);
  HWND H = R->Handle();
  SCROLLINFO Si;
  Si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  Si.nMin = 0;
  Si.nMax = 99;
  Si.nPage = 10;
  Si.nPos = 95;
  EXPECT_EQ(SetScrollInfo(H, SB_HORZ, &Si, TRUE), 90);  // the last full page starts at 90
  EXPECT_EQ(R->ClientHeight(), 120 - 17);
  SCROLLINFO Out;
  Out.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(H, SB_HORZ, &Out));
  EXPECT_EQ(Out.nMax, 99);
  EXPECT_EQ(Out.nPage, 10u);
  EXPECT_EQ(Out.nPos, 90);
  EXPECT_EQ(Out.nTrackPos, 90);
  EXPECT_EQ(SetScrollPos(H, SB_HORZ, -5, TRUE), 90);
  EXPECT_EQ(GetScrollPos(H, SB_HORZ), 0);
  // A page larger than the range makes the bar unnecessary: it goes.
  Si.fMask = SIF_RANGE | SIF_PAGE;
  Si.nMax = 9;
  Si.nPage = 20;
  SetScrollInfo(H, SB_HORZ, &Si, TRUE);
  EXPECT_EQ(R->ClientHeight(), 120);
  Out.fMask = SIF_PAGE;
  GetScrollInfo(H, SB_HORZ, &Out);
  EXPECT_EQ(Out.nPage, 10u);
  // Setting only the position never shows a hidden bar.
  SetScrollPos(H, SB_VERT, 3, TRUE);
  EXPECT_EQ(R->ClientWidth(), 200);
}

TEST_F(UiTest, ClicksOnTheWindowsScrollBarArriveAsScrollCodes) {
  TRecorder* R = AddRecorder(0, 0, 200, 150);
  HWND H = R->Handle();
  SCROLLINFO Si;
  Si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  Si.nMax = 999;
  Si.nPage = 100;
  Si.nPos = 0;
  SetScrollInfo(H, SB_VERT, &Si, TRUE);
  GtTestPump(20);
  Integer Length = GtTestScrollBarLength(H, SB_VERT);
  ASSERT_GT(Length, 60);
  // The arrow at the bottom.
  GtTestScrollBarMouse(H, SB_VERT, gmaPress, 8, Length - 4);
  GtTestScrollBarMouse(H, SB_VERT, gmaRelease, 8, Length - 4);
  ASSERT_GE(R->Scrolls.size(), 2u);
  EXPECT_EQ(R->Scrolls.front().first, SB_LINEDOWN);
  EXPECT_EQ(R->Scrolls.back().first, SB_ENDSCROLL);
  // The bar does not move by itself: the window sets the position.
  EXPECT_EQ(GetScrollPos(H, SB_VERT), 0);
  // Dragging the thumb: tracking positions, then the final one, then the end.
  R->Scrolls.clear();
  GtTestScrollBarMouse(H, SB_VERT, gmaPress, 8, 25);
  GtTestScrollBarMouse(H, SB_VERT, gmaMove, 8, 45);
  GtTestScrollBarMouse(H, SB_VERT, gmaRelease, 8, 45);
  ASSERT_GE(R->Scrolls.size(), 3u);
  EXPECT_EQ(R->Scrolls[0].first, SB_THUMBTRACK);
  EXPECT_GT(R->Scrolls[0].second, 0);
  size_t N = R->Scrolls.size();
  EXPECT_EQ(R->Scrolls[N - 2].first, SB_THUMBPOSITION);
  EXPECT_EQ(R->Scrolls[N - 2].second, R->Scrolls[0].second);
  EXPECT_EQ(R->Scrolls[N - 1].first, SB_ENDSCROLL);
}

TEST_F(UiTest, HintsShowAsToolTipsAndTheLongPartReachesOnHint) {
  TRecorder* R = AddRecorder(0, 0, 100, 100);
  R->SetHint(u"Zoom|Zooms the picture");
  std::vector<std::u16string> Hints;
  Application->OnHint = [&](TObject*) { Hints.push_back(Application->Hint()); };
  GtTestPump(10);
  EXPECT_EQ(GtTestTooltip(R->Handle(), 10, 10), u"");  // ShowHint is off
  R->SetShowHint(true);
  EXPECT_EQ(GtTestTooltip(R->Handle(), 10, 10), u"Zoom");
  GtTestMouse(R->Handle(), gmaMove, gmbNone, 10, 10);
  GtTestMouse(Form->Handle(), gmaMove, gmbNone, 200, 150);
  Application->OnHint = nullptr;
  ASSERT_GE(Hints.size(), 2u);
  EXPECT_EQ(Hints[Hints.size() - 2], u"Zooms the picture");
  EXPECT_EQ(Hints.back(), u"");
}

TEST_F(UiTest, AlignLaysOutFourPanelsAroundAClientArea) {
  Form->SetClientWidth(400);
  Form->SetClientHeight(300);
  auto Make = [&](TAlign A, Integer W, Integer H) {
    auto* P = new TPanel(Form.get());
    P->SetBounds(0, 0, W, H);
    P->SetAlign(A);
    P->SetParent(Form.get());
    return P;
  };
  TPanel* Top = Make(alTop, 10, 30);
  TPanel* Bottom = Make(alBottom, 10, 20);
  TPanel* Left = Make(alLeft, 50, 10);
  TPanel* Right = Make(alRight, 60, 10);
  TPanel* Client = Make(alClient, 10, 10);
  EXPECT_EQ(Top->BoundsRect(), TRect(0, 0, 400, 30));
  EXPECT_EQ(Bottom->BoundsRect(), TRect(0, 280, 400, 300));
  EXPECT_EQ(Left->BoundsRect(), TRect(0, 30, 50, 280));
  EXPECT_EQ(Right->BoundsRect(), TRect(340, 30, 400, 280));
  EXPECT_EQ(Client->BoundsRect(), TRect(50, 30, 340, 280));
  // Resizing the form lays them out again; hiding one gives its room to the client.
  Form->SetClientWidth(500);
  Form->SetClientHeight(400);
  EXPECT_EQ(Client->BoundsRect(), TRect(50, 30, 440, 380));
  Left->SetVisible(false);
  EXPECT_EQ(Client->BoundsRect(), TRect(0, 30, 440, 380));
  // Two top panels stack in their order from the top.
  TPanel* Second = Make(alTop, 10, 15);
  Second->SetTop(100);
  EXPECT_EQ(Second->BoundsRect(), TRect(0, 30, 500, 45));
  EXPECT_EQ(Client->Top(), 45);
}

TEST_F(UiTest, AnchorsKeepDistancesWhenTheParentGrows) {
  Form->SetClientWidth(300);
  Form->SetClientHeight(200);
  auto* Br = new TPanel(Form.get());
  Br->SetParent(Form.get());
  Br->SetBounds(250, 150, 40, 30);
  Br->SetAnchors(TAnchors{akRight, akBottom});
  auto* Wide = new TPanel(Form.get());
  Wide->SetParent(Form.get());
  Wide->SetBounds(10, 10, 280, 20);
  Wide->SetAnchors(TAnchors{akLeft, akTop, akRight});
  Form->SetClientWidth(400);
  Form->SetClientHeight(260);
  EXPECT_EQ(Br->BoundsRect(), TRect(350, 210, 390, 240));
  EXPECT_EQ(Wide->BoundsRect(), TRect(10, 10, 390, 30));
}

TEST_F(UiTest, CaretInvertsItsRectangleWhileShownAndRestoresWhenHidden) {
  TRecorder* R = AddRecorder(0, 0, 100, 60);
  ASSERT_TRUE(GtTestPumpUntil([&] { return R->Paints > 0; }, gt_test::kWaitMs));
  GtTestPump(20);
  HWND H = R->Handle();
  std::vector<uint32_t> Before = Grab(H);
  ASSERT_TRUE(CreateCaret(H, nullptr, 2, 12));
  SetCaretPos(10, 5);
  EXPECT_EQ(Grab(H), Before);  // a new caret is hidden
  ShowCaret(H);
  std::vector<uint32_t> Shown = Grab(H);
  EXPECT_EQ(Shown[5 * 100 + 10], ~Before[5 * 100 + 10] & 0xFFFFFFu);
  EXPECT_EQ(Shown[5 * 100 + 12], Before[5 * 100 + 12]);
  // A paint does not leave caret pixels behind.
  R->Invalidate();
  R->Update();
  EXPECT_EQ(Grab(H)[5 * 100 + 10], ~Before[5 * 100 + 10] & 0xFFFFFFu);
  HideCaret(H);
  EXPECT_EQ(Grab(H), Before);
  EXPECT_TRUE(DestroyCaret());
  EXPECT_FALSE(ShowCaret(H));
}

TEST_F(UiTest, ClientAndScreenCoordinatesMapThroughTheParents) {
  TRecorder* R = AddRecorder(15, 25, 50, 50);
  TPoint P(3, 4);
  ASSERT_TRUE(ClientToScreen(R->Handle(), &P));
  TPoint F(18, 29);
  ASSERT_TRUE(ClientToScreen(Form->Handle(), &F));
  EXPECT_EQ(P, F);
  ASSERT_TRUE(ScreenToClient(R->Handle(), &P));
  EXPECT_EQ(P, TPoint(3, 4));
  EXPECT_EQ(R->ClientToScreen(TPoint(3, 4)), F);
  TRect Wr;
  ASSERT_TRUE(GetWindowRect(R->Handle(), &Wr));
  EXPECT_EQ(Wr.Width(), 50);
}

TEST(UiMetrics, FixedMetricsAndScreenSettings) {
  EXPECT_EQ(GetSystemMetrics(SM_CXEDGE), 2);
  EXPECT_EQ(GetSystemMetrics(SM_CYBORDER), 1);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), Screen->Width());
  EXPECT_GT(Screen->Width(), 0);
  TRect Work;
  ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &Work, 0));
  EXPECT_EQ(Work, Screen->WorkAreaRect());
  BOOL Drag = FALSE;
  ASSERT_TRUE(SystemParametersInfo(SPI_SETDRAGFULLWINDOWS, 0, nullptr, 0));
  ASSERT_TRUE(SystemParametersInfo(SPI_GETDRAGFULLWINDOWS, 0, &Drag, 0));
  EXPECT_FALSE(Drag);
  SystemParametersInfo(SPI_SETDRAGFULLWINDOWS, 1, nullptr, 0);
  // Menus slide unless the program says otherwise, and fade only when asked.
  BOOL Animation = FALSE, Fade = TRUE;
  ASSERT_TRUE(SystemParametersInfo(SPI_GETMENUANIMATION, 0, &Animation, 0));
  ASSERT_TRUE(SystemParametersInfo(SPI_GETMENUFADE, 0, &Fade, 0));
  EXPECT_TRUE(Animation);
  EXPECT_FALSE(Fade);
  ASSERT_TRUE(SystemParametersInfo(SPI_SETMENUFADE, 0, reinterpret_cast<void*>(1), 0));
  ASSERT_TRUE(SystemParametersInfo(SPI_SETMENUANIMATION, 0, nullptr, 0));
  SystemParametersInfo(SPI_GETMENUANIMATION, 0, &Animation, 0);
  SystemParametersInfo(SPI_GETMENUFADE, 0, &Fade, 0);
  EXPECT_FALSE(Animation);
  EXPECT_TRUE(Fade);
  SystemParametersInfo(SPI_SETMENUFADE, 0, nullptr, 0);
  SystemParametersInfo(SPI_SETMENUANIMATION, 0, reinterpret_cast<void*>(1), 0);
  EXPECT_FALSE(SystemParametersInfo(SPI_SETDESKWALLPAPER, 0, nullptr, 0));
  EXPECT_EQ(Screen->PixelsPerInch(), 96);
  EXPECT_GE(Screen->MonitorCount(), 1);
  EXPECT_TRUE(Screen->Monitors(0).Primary);
}

}  // namespace

}  // namespace test_windows_tests
