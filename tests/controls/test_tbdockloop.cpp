// The drag loop run by real queued mouse and key input: a bar dragged by its
// handle from the top dock onto the left dock, the same drag with Ctrl held
// ending in a floating window with the bar's window handle kept, Ctrl
// pressed and released during a drag, Escape and the right button putting
// everything back, a bar that may not float, a bar that may not change docks,
// and outline drags that move nothing until the release.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "controls/tbcommon.h"
#include "controls/tbdockmove.h"
#include "controls/tbfloat.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"

namespace test_tbdockloop_tests {

class TTestBar : public TTBCustomDockableWindow {
 public:
  TTestBar(TComponent* AOwner, TPoint Client) : TTBCustomDockableWindow(AOwner), FClient(Client) {}
  void CalcSize(bool, TTBDockKind Kind, TPoint& Size, TTBDock*, bool) override {
    Size = Kind == dkVertical ? TPoint(FClient.Y, FClient.X) : FClient;
  }
  TPoint GetBaseSize() override { return FClient; }

 private:
  TPoint FClient;
};

// Steps run one by one from timers while the drag loop waits, as a user's
// input would arrive; each step's input is handled before the next runs.
std::deque<std::function<void()>> g_Script;
void ScriptProc(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  if (g_Script.empty()) return;
  auto Fn = std::move(g_Script.front());
  g_Script.pop_front();
  if (!g_Script.empty()) SetTimer(nullptr, 0, 25, ScriptProc);
  Fn();
}
void RunScript(std::vector<std::function<void()>> Steps) {
  g_Script.assign(Steps.begin(), Steps.end());
  SetTimer(nullptr, 0, 25, ScriptProc);
}

struct TDragForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TTBDock* Top;
  TTBDock* Left;
  TTestBar* Bar;
  TTestBar* Other;
  TDragForm() {
    Form->SetBounds(40, 40, 500, 400);
    Top = AddDock(dpTop);
    Left = AddDock(dpLeft);
    Other = new TTestBar(Form.get(), {70, 22});
    Other->SetDockPos(0);
    Other->SetCurrentDock(Top);
    Bar = new TTestBar(Form.get(), {80, 22});
    Bar->SetDockPos(150);
    Bar->SetCurrentDock(Top);
    Form->Show();
    GtTestActivate(Form->Handle());
    GtTestPump(30);
  }
  ~TDragForm() {
    g_Script.clear();
    Form.reset();
    Application->ProcessMessages();
  }
  TTBDock* AddDock(TTBDockPosition Position) {
    auto* D = new TTBDock(Form.get());
    D->SetPosition(Position);
    D->SetParent(Form.get());
    return D;
  }
  HWND FormH() { return Form->Handle(); }
  // Presses on the bar's drag handle (4 pixels into the window, GrabY down)
  // and runs the script while the loop holds the mouse; returns when it ends.
  void DragFromHandle(std::vector<std::function<void()>> Steps, Cardinal Mods = 0, Integer GrabY = 6) {
    RunScript(std::move(Steps));
    HWND H = Bar->Handle();
    TPoint Client = Bar->ScreenToClient(WindowPoint(4, GrabY));
    GtTestMouse(H, gmaMove, gmbNone, Client.X, Client.Y, Mods);
    GtTestMouse(H, gmaPress, gmbLeft, Client.X, Client.Y, Mods);
    GtTestPumpUntil([] { return g_Script.empty(); }, 3000);
    GtTestPump(30);
  }
  TPoint WindowPoint(Integer X, Integer Y) {
    TRect W;
    GetWindowRect(Bar->Handle(), &W);
    return TPoint(W.Left + X, W.Top + Y);
  }
  // Moves over the form's client area in 10-pixel steps from the handle to (X, Y).
  std::function<void()> MovesTo(Integer X, Integer Y, Cardinal Mods = 0) {
    return [this, X, Y, Mods] {
      TPoint From = Form->ScreenToClient(WindowPoint(4, 6));
      const Integer Steps = std::max(std::abs(X - From.X), std::abs(Y - From.Y)) / 10 + 1;
      for (Integer i = 1; i <= Steps; ++i)
        GtTestMouse(FormH(), gmaMove, gmbNone, From.X + (X - From.X) * i / Steps, From.Y + (Y - From.Y) * i / Steps,
                    Mods);
    };
  }
  std::function<void()> Release(Integer X, Integer Y, Cardinal Mods = 0) {
    return [this, X, Y, Mods] { GtTestMouse(FormH(), gmaRelease, gmbLeft, X, Y, Mods); };
  }
};

TEST(TbDockLoop, ADragFromTheTopDockToTheLeftDockDocksItInRowZero) {
  TDragForm F;
  HWND H = F.Bar->Handle();
  const TPoint Target = F.Form->ScreenToClient(F.Left->ClientToScreen(TPoint(0, 150)));
  F.DragFromHandle({F.MovesTo(Target.X + 1, Target.Y), F.Release(Target.X + 1, Target.Y)});
  EXPECT_EQ(F.Bar->CurrentDock(), F.Left);
  EXPECT_EQ(F.Bar->DockRow(), 0);
  EXPECT_EQ(F.Bar->EffectiveDockRow(), 0);
  EXPECT_EQ(F.Bar->Handle(), H) << "the same window throughout";
  EXPECT_EQ(F.Left->Width(), F.Bar->Width()) << "the left dock holds it";
  EXPECT_EQ(F.Bar->Parent(), F.Left);
  EXPECT_FALSE(F.Bar->FloatingWindow()) << "no floating window is left behind";
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(F.Top->VisibleBarList(), std::vector<TTBCustomDockableWindow*>{F.Other});
}

TEST(TbDockLoop, CtrlKeepsTheBarFromDockingAndTakesEffectAtOnce) {
  // Held from the press: the drag ends floating, in a window owned by the form.
  {
    TDragForm F;
    HWND H = F.Bar->Handle();
    const TPoint Target = F.Form->ScreenToClient(F.Left->ClientToScreen(TPoint(0, 150)));
    F.DragFromHandle({F.MovesTo(Target.X + 1, Target.Y, gmkCtrl), F.Release(Target.X + 1, Target.Y, gmkCtrl)},
                     gmkCtrl);
    EXPECT_TRUE(F.Bar->Floating());
    EXPECT_EQ(F.Bar->CurrentDock(), nullptr);
    ASSERT_TRUE(F.Bar->FloatingWindow());
    EXPECT_EQ(F.Bar->Parent(), F.Bar->FloatingWindow());
    EXPECT_EQ(F.Bar->Handle(), H);
    EXPECT_EQ(F.Bar->DockPos(), 150) << "a bar that ends floating keeps its starting place";
    EXPECT_EQ(F.Bar->LastDock(), F.Top);
    // The grab point stays under the pointer: 4, 6 into the floating window.
    TRect W;
    GetWindowRect(F.Bar->FloatingWindow()->Handle(), &W);
    const TPoint Release = F.Form->ClientToScreen(TPoint(Target.X + 1, Target.Y));
    EXPECT_EQ(W.Left, Release.X - MulDiv(W.Width() - 1, 4, 80 + 4 + 6 + 4 - 1));
    // Docked again by the toggle: still one window handle.
    GtTestKey(F.FormH(), false, VK_CONTROL);
    F.Bar->ToggleDocking();
    EXPECT_EQ(F.Bar->CurrentDock(), F.Top);
    EXPECT_EQ(F.Bar->Handle(), H);
    GtTestPump(20);
    EXPECT_FALSE(F.Bar->FloatingWindow());
  }
  // Pressed over the left dock, the bar leaves it at once; released again, it docks.
  {
    TDragForm F;
    const TPoint Target = F.Form->ScreenToClient(F.Left->ClientToScreen(TPoint(0, 150)));
    std::vector<TTBDock*> Seen;
    F.DragFromHandle({F.MovesTo(Target.X + 1, Target.Y),
                      [&] {
                        Seen.push_back(F.Bar->CurrentDock());
                        GtTestKey(F.FormH(), true, VK_CONTROL);
                      },
                      [&] {
                        Seen.push_back(F.Bar->CurrentDock());
                        GtTestKey(F.FormH(), false, VK_CONTROL);
                      },
                      [&] { Seen.push_back(F.Bar->CurrentDock()); }, F.Release(Target.X + 1, Target.Y)});
    EXPECT_EQ(Seen, (std::vector<TTBDock*>{F.Left, nullptr, F.Left}));
    EXPECT_EQ(F.Bar->CurrentDock(), F.Left);
  }
}

TEST(TbDockLoop, AFloatingBarCannotBeDraggedAboveTheWorkAreaBeyondItsCaption) {
  TDragForm F;
  TRect Area;
  MonitorAreaOfPoint(F.WindowPoint(4, 6), true, Area);
  const TPoint Far = F.Form->ScreenToClient(TPoint(Area.Left + 200, Area.Top - 400));
  // Grabbed near its bottom, the bar would go higher than its caption allows.
  F.DragFromHandle({F.MovesTo(Far.X, Far.Y, gmkCtrl), F.Release(Far.X, Far.Y, gmkCtrl)}, gmkCtrl, 22);
  GtTestKey(F.FormH(), false, VK_CONTROL);
  ASSERT_TRUE(F.Bar->Floating());
  TRect W;
  GetWindowRect(F.Bar->FloatingWindow()->Handle(), &W);
  const Integer TopFrame = F.Bar->FloatingNCMargins().Top;
  EXPECT_EQ(W.Top, Area.Top - TopFrame + 4) << "the caption's last 4 pixels stay reachable";
}

TEST(TbDockLoop, TheHandleShowsTheMoveCursorNearItsLeadingEdge) {
  TDragForm F;
  HWND H = F.Bar->Handle();
  const HCURSOR Move = LoadCursor(nullptr, IDC_SIZEALL);
  // The single handle is 6 pixels: the move cursor within 8 of the window's left edge.
  struct {
    TTBDragHandleStyle Style;
    Integer X;
    bool Moves;
  } Cases[] = {{dhSingle, 2, true}, {dhSingle, 7, true}, {dhSingle, 8, false}, {dhDouble, 10, true},
               {dhDouble, 11, false}, {dhNone, 2, false}};
  for (auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Style << " at " << C.X);
    F.Bar->SetDragHandleStyle(C.Style);
    const TPoint P = F.WindowPoint(C.X, 10);
    SetCursorPos(P.X, P.Y);
    ::SetCursor(LoadCursor(nullptr, IDC_ARROW));
    SendMessage(H, WM_SETCURSOR, reinterpret_cast<WPARAM>(H), MAKELPARAM(HTCAPTION, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor() == Move, C.Moves);
  }
}

TEST(TbDockLoop, EscapeAndTheRightButtonPutEverythingBack) {
  for (bool Escape : {true, false}) {
    SCOPED_TRACE(Escape ? "Escape" : "right button");
    TDragForm F;
    HWND H = F.Bar->Handle();
    const TRect Before = F.Bar->BoundsRect();
    const TRect OtherBefore = F.Other->BoundsRect();
    const TPoint Target = F.Form->ScreenToClient(F.Left->ClientToScreen(TPoint(0, 150)));
    TTBDock* During = nullptr;
    F.DragFromHandle({F.MovesTo(Target.X + 1, Target.Y),
                      [&] {
                        During = F.Bar->CurrentDock();
                        if (Escape)
                          GtTestKey(F.FormH(), true, VK_ESCAPE);
                        else
                          GtTestMouse(F.FormH(), gmaPress, gmbRight, Target.X + 1, Target.Y);
                      },
                      [&] {
                        if (!Escape) GtTestMouse(F.FormH(), gmaRelease, gmbRight, Target.X + 1, Target.Y);
                        GtTestMouse(F.FormH(), gmaRelease, gmbLeft, Target.X + 1, Target.Y);
                      }});
    EXPECT_EQ(During, F.Left) << "the smooth drag had moved it";
    EXPECT_EQ(F.Bar->CurrentDock(), F.Top);
    EXPECT_EQ(F.Bar->DockPos(), 150);
    EXPECT_EQ(F.Bar->DockRow(), 0);
    EXPECT_EQ(F.Bar->BoundsRect(), Before);
    EXPECT_EQ(F.Other->BoundsRect(), OtherBefore);
    EXPECT_EQ(F.Left->Width(), 0);
    EXPECT_EQ(F.Bar->Handle(), H);
    EXPECT_EQ(GetCapture(), nullptr);
    if (Escape) GtTestKey(F.FormH(), false, VK_ESCAPE);
  }
}

TEST(TbDockLoop, DockModesLimitWhereTheBarMayGo) {
  // A bar that may not float shows the not-allowed cursor away from the
  // docks and stays put when released there.
  {
    TDragForm F;
    F.Bar->SetDockMode(dmCannotFloat);
    HCURSOR During = nullptr;
    TRect Before;
    F.DragFromHandle({F.MovesTo(250, 250),
                      [&] {
                        During = GetCursor();
                        Before = F.Bar->BoundsRect();
                      },
                      F.Release(250, 250)});
    EXPECT_EQ(During, LoadCursor(nullptr, IDC_NO));
    EXPECT_EQ(F.Bar->CurrentDock(), F.Top);
    EXPECT_EQ(F.Bar->BoundsRect(), Before);
    EXPECT_FALSE(F.Bar->Floating());
    EXPECT_NE(GetCursor(), LoadCursor(nullptr, IDC_NO)) << "the cursor comes back after the drag";
  }
  // A bar that may not change docks is never caught by another dock.
  {
    TDragForm F;
    F.Bar->SetDockMode(dmCannotFloatOrChangeDocks);
    const TPoint Target = F.Form->ScreenToClient(F.Left->ClientToScreen(TPoint(0, 150)));
    std::vector<TTBDock*> Seen;
    F.DragFromHandle({F.MovesTo(Target.X + 1, Target.Y), [&] { Seen.push_back(F.Bar->CurrentDock()); },
                      F.Release(Target.X + 1, Target.Y)});
    EXPECT_EQ(Seen, std::vector<TTBDock*>{F.Top});
    EXPECT_EQ(F.Bar->CurrentDock(), F.Top);
    EXPECT_EQ(F.Left->Width(), 0);
  }
  // A dock may refuse a bar.
  {
    TDragForm F;
    Integer Asked = 0;
    F.Left->OnRequestDock = [&Asked](TObject*, TTBCustomDockableWindow*, bool& Accept) {
      ++Asked;
      Accept = false;
    };
    const TPoint Target = F.Form->ScreenToClient(F.Left->ClientToScreen(TPoint(0, 150)));
    F.DragFromHandle({F.MovesTo(Target.X + 1, Target.Y), F.Release(Target.X + 1, Target.Y)});
    EXPECT_GT(Asked, 0);
    EXPECT_TRUE(F.Bar->Floating());
  }
}

TEST(TbDockLoop, AnOutlineDragMovesNothingUntilTheRelease) {
  TDragForm F;
  F.Bar->SetSmoothDrag(false);
  const TRect Before = F.Bar->BoundsRect();
  const TPoint Target = F.Form->ScreenToClient(F.Left->ClientToScreen(TPoint(0, 150)));
  TRect During;
  TTBDock* DockDuring = nullptr;
  F.DragFromHandle({F.MovesTo(Target.X + 1, Target.Y),
                    [&] {
                      During = F.Bar->BoundsRect();
                      DockDuring = F.Bar->CurrentDock();
                    },
                    F.Release(Target.X + 1, Target.Y)});
  EXPECT_EQ(DockDuring, F.Top);
  EXPECT_EQ(During, Before);
  EXPECT_EQ(F.Bar->CurrentDock(), F.Left);
  // The loop let go of the screen: another window may lock it now.
  EXPECT_EQ(LockWindowUpdate(F.Other->Handle()), TRUE);
  LockWindowUpdate(nullptr);
}

}  // namespace test_tbdockloop_tests
