// Docks and docked bars on a shown form: thickness of empty and bound-lined
// docks, the exact error texts, moves between docks with one window handle,
// the docked frame's margins, the order of the bar's events, arranging once
// under an update lock, toggling back to the last or default dock, closing.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/tbdock.h"
#include "controls/tbdockwin.h"
#include "platform/base/sysutils.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"

namespace test_tbdock_tests {

std::vector<std::string> g_Events;

// A bar whose contents are a fixed client size.
class TTestBar : public TTBCustomDockableWindow {
 public:
  TTestBar(TComponent* AOwner, TPoint Client) : TTBCustomDockableWindow(AOwner), FClient(Client) {}
  void CalcSize(bool, TTBDockKind, TPoint& Size, TTBDock*, bool) override { Size = FClient; }
  TPoint GetBaseSize() override { return FClient; }
  void ArrangePlace(const TRect& Bounds, bool Relayout) override {
    ++Places;
    TTBCustomDockableWindow::ArrangePlace(Bounds, Relayout);
  }
  Integer Places = 0;

 private:
  TPoint FClient;
};

struct TDockForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TDockForm() {
    Form->SetBounds(0, 0, 400, 300);
    Form->Show();
  }
  TTBDock* AddDock(TTBDockPosition Position) {
    auto* D = new TTBDock(Form.get());
    D->SetPosition(Position);
    D->SetParent(Form.get());
    return D;
  }
  TTestBar* AddBar(TTBDock* Dock, Integer Row, Integer Pos, TPoint Client = {60, 22}) {
    auto* B = new TTestBar(Form.get(), Client);
    B->SetDockRow(Row);
    B->SetDockPos(Pos);
    if (Dock) B->SetCurrentDock(Dock);
    return B;
  }
};

TEST(TbDock, EmptyDocksAreZeroOrOnePixelThickAndKeepTheirOuterEdge) {
  TDockForm F;
  TTBDock* Top = F.AddDock(dpTop);
  TTBDock* Bottom = F.AddDock(dpBottom);
  EXPECT_EQ(Top->Height(), 0);
  Top->SetFixAlign(true);
  EXPECT_EQ(Top->Height(), 1);

  TTestBar* Bar = F.AddBar(Bottom, 0, 0);
  const Integer FormBottom = F.Form->ClientHeight();
  EXPECT_EQ(Bottom->Height(), 26) << "22 + the docked frame";
  EXPECT_EQ(Bottom->Top() + Bottom->Height(), FormBottom);
  Bar->Hide();
  EXPECT_EQ(Bottom->Height(), 0);
  EXPECT_EQ(Bottom->Top(), FormBottom) << "the bottom edge stays where it was";
}

TEST(TbDock, ErrorTextsAreExact) {
  TDockForm F;
  TTBDock* Dock = F.AddDock(dpTop);
  TTestBar* Bar = F.AddBar(Dock, 0, 0);
  EXPECT_NO_THROW(Dock->SetPosition(dpTop)) << "the same position on a dock with bars";
  try {
    Dock->SetPosition(dpLeft);
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidOperation& E) {
    EXPECT_EQ(E.Message(), u"Cannot change Position of a TTBDock if it already contains controls");
  }
  EXPECT_EQ(Dock->Position(), dpTop);

  auto* Inner = new TTBDock(F.Form.get());
  for (TWinControl* Parent : {static_cast<TWinControl*>(Dock), static_cast<TWinControl*>(Bar)}) {
    try {
      Inner->SetParent(Parent);
      ADD_FAILURE() << "no exception";
    } catch (const EInvalidOperation& E) {
      EXPECT_EQ(E.Message(), u"A TTBDock control cannot be placed inside a tool window or another TTBDock");
    }
  }
  EXPECT_EQ(Inner->Parent(), nullptr);

  auto* Orphan = new TTestBar(F.Form.get(), {10, 10});
  Orphan->SetName(u"Orphan");
  try {
    GetParentFormOrRaise(Orphan);
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidOperation& E) {
    EXPECT_EQ(E.Message(), u"Control 'Orphan' has no parent window");
  }
}

TEST(TbDock, BoundLinesAddOnePixelPerSideAroundTheRows) {
  TDockForm F;
  TTBDock* Dock = F.AddDock(dpTop);
  Dock->SetBoundLines({blTop, blBottom});
  EXPECT_EQ(Dock->Height(), 0) << "no bars, no lines";
  F.AddBar(Dock, 0, 0);
  F.AddBar(Dock, 1, 0);
  EXPECT_EQ(Dock->Height(), 2 + 26 + 26);
  EXPECT_EQ(Dock->ClientHeight(), 52);
  EXPECT_EQ(Dock->GetRowAt(0), 0);
  EXPECT_EQ(Dock->GetRowAt(25), 0);
  EXPECT_EQ(Dock->GetRowAt(26), 1);
  EXPECT_EQ(Dock->GetRowAt(60), 2);
  EXPECT_EQ(Dock->GetHighestRow(true), 1);
}

TEST(TbDock, DockedMarginsFollowTheHandleStyleAndCloseButton) {
  struct {
    TTBDockPosition Position;
    TTBDragHandleStyle Style;
    bool Close;
    bool AllowDrag;
    TPoint NC;
  } Cases[] = {
      {dpTop, dhSingle, false, true, {4 + 6 + 4, 4}},  {dpTop, dhDouble, false, true, {4 + 9 + 4, 4}},
      {dpTop, dhNone, false, true, {4 + 0 + 4, 4}},    {dpTop, dhNone, true, true, {4 + 14 + 4, 4}},
      {dpLeft, dhSingle, false, true, {4, 4 + 6 + 4}}, {dpLeft, dhDouble, true, true, {4, 4 + 14 + 4}},
      {dpTop, dhDouble, true, false, {4, 4}},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Position << " style " << C.Style << " close " << C.Close);
    TDockForm F;
    TTBDock* Dock = F.AddDock(C.Position);
    Dock->SetAllowDrag(C.AllowDrag);
    TTestBar* Bar = F.AddBar(nullptr, 0, 0, {60, 22});
    Bar->SetDragHandleStyle(C.Style);
    Bar->SetCloseButtonWhenDocked(C.Close);
    Bar->SetCurrentDock(Dock);
    EXPECT_EQ(Bar->GetDockedNCAreaSize(), C.NC);
    // The client area is what the margins leave; it holds the contents.
    EXPECT_EQ(Bar->ClientWidth(), Bar->Width() - C.NC.X);
    EXPECT_EQ(Bar->ClientHeight(), Bar->Height() - C.NC.Y);
    if (C.Position == dpTop) {
      EXPECT_EQ(Bar->Width(), 60 + C.NC.X);
      EXPECT_EQ(Bar->ClientHeight(), 22);
    } else {
      EXPECT_EQ(Bar->Height(), 22 + C.NC.Y);
      EXPECT_EQ(Bar->ClientWidth(), 60);
    }
  }
}

TEST(TbDock, MovingBetweenDocksKeepsTheWindowAndFiresEventsInOrder) {
  TDockForm F;
  TTBDock* Top = F.AddDock(dpTop);
  TTBDock* Left = F.AddDock(dpLeft);
  TTestBar* Bar = F.AddBar(Top, 0, 0);
  HWND H = Bar->Handle();
  auto Log = [](const char* Name) { return [Name](TObject*) { g_Events.push_back(Name); }; };
  Bar->OnDockChanging = [](TObject*, bool Floating, TTBDock* To) {
    g_Events.push_back(std::string("changing ") + (To ? "dock" : "none") + (Floating ? " floating" : ""));
  };
  Bar->OnDockChangingHidden = [](TObject*, bool, TTBDock*) { g_Events.push_back("changing-hidden"); };
  Bar->OnRecreating = Log("recreating");
  Bar->OnRecreated = Log("recreated");
  Bar->OnDockChanged = Log("changed");
  Bar->OnMove = Log("move");
  std::vector<std::string> InsertRemove;
  for (TTBDock* D : {Top, Left})
    D->OnInsertRemoveBar = [&InsertRemove, D, Top](TObject* Sender, bool Inserting, TTBCustomDockableWindow*) {
      EXPECT_EQ(Sender, D);
      InsertRemove.push_back(std::string(D == Top ? "top " : "left ") + (Inserting ? "in" : "out"));
    };

  g_Events.clear();
  Bar->SetCurrentDock(nullptr);  // a plain child of the form
  const std::vector<std::string> Expected = {"changing none", "recreating", "changing-hidden", "move", "recreated",
                                             "changed"};
  EXPECT_EQ(g_Events, Expected);
  EXPECT_EQ(Bar->Parent(), F.Form.get());
  EXPECT_FALSE(Bar->Docked());
  EXPECT_EQ(Bar->Handle(), H);
  EXPECT_EQ(Top->Height(), 0);
  EXPECT_EQ(Bar->LastDock(), Top) << "the last dock is remembered";
  EXPECT_NE(std::find(Top->BarList().begin(), Top->BarList().end(), Bar), Top->BarList().end());
  EXPECT_TRUE(Top->VisibleBarList().empty());

  g_Events.clear();
  Bar->SetCurrentDock(Left);
  EXPECT_EQ(g_Events[0], "changing dock");
  EXPECT_EQ(g_Events.back(), "changed");
  EXPECT_EQ(Bar->Handle(), H);
  EXPECT_EQ(GetParent(H), Left->Handle());
  EXPECT_EQ(Left->Width(), 64) << "the client width 60 + the frame, across the dock";
  EXPECT_EQ(Bar->LastDock(), Left);
  EXPECT_EQ(std::find(Top->BarList().begin(), Top->BarList().end(), Bar), Top->BarList().end())
      << "the old last dock lets it go";
  EXPECT_EQ(InsertRemove, (std::vector<std::string>{"top out", "left in"}));
  EXPECT_TRUE(IsAncestorWindow(F.Form->Handle(), H));
  EXPECT_TRUE(IsAncestorWindow(H, H));
  EXPECT_FALSE(IsAncestorWindow(H, F.Form->Handle()));
}

TEST(TbDock, AnUpdateLockArrangesOnceWhenReleased) {
  TDockForm F;
  TTBDock* Dock = F.AddDock(dpTop);
  TTestBar* A = F.AddBar(Dock, 0, 0);
  TTestBar* B = F.AddBar(Dock, 0, 100);
  A->Places = B->Places = 0;
  Dock->BeginUpdate();
  A->SetDockRow(1);
  B->SetDockPos(200);
  A->SetDockPos(30);
  EXPECT_EQ(A->Places + B->Places, 0);
  Dock->EndUpdate();
  EXPECT_EQ(A->Places, 1);
  EXPECT_EQ(B->Places, 1);
  EXPECT_EQ(A->BoundsRect(), Bounds(30, 26, 74, 26));
  EXPECT_EQ(B->BoundsRect(), Bounds(200, 0, 74, 26));
}

TEST(TbDock, ToggleReturnsToTheLastDockOrTheDefaultDockAhead) {
  TDockForm F;
  TTBDock* Top = F.AddDock(dpTop);
  TTBDock* Bottom = F.AddDock(dpBottom);
  TTestBar* First = F.AddBar(Top, 0, 0);
  TTestBar* Bar = F.AddBar(nullptr, 3, 250);
  Bar->SetParent(F.Form.get());
  Bar->SetUseLastDock(false);
  Bar->SetDefaultDock(Top);
  Bar->ToggleDocking();
  EXPECT_EQ(Bar->CurrentDock(), Top);
  EXPECT_EQ(Bar->DockRow(), 0);
  EXPECT_EQ(Bar->DockPos(), -8);
  EXPECT_EQ(Bar->EffectiveDockPos(), 0) << "ahead of every bar of row 0";
  EXPECT_EQ(First->EffectiveDockPos(), 74);

  // With a last dock, the bar goes back there to its old row and position.
  TTestBar* Other = F.AddBar(Bottom, 1, 120);
  Other->SetDefaultDock(Top);
  Other->SetCurrentDock(nullptr);
  EXPECT_EQ(Bottom->Height(), 0);
  Other->ToggleDocking();
  EXPECT_EQ(Other->CurrentDock(), Bottom);
  EXPECT_EQ(Other->DockRow(), 1);
  EXPECT_EQ(Other->EffectiveDockPos(), 120);
}

TEST(TbDock, CloseAsksFirstAndCanDragFollowsTheDock) {
  TDockForm F;
  TTBDock* Dock = F.AddDock(dpTop);
  TTestBar* Bar = F.AddBar(Dock, 0, 0);
  EXPECT_TRUE(Bar->CanDrag());
  Dock->SetAllowDrag(false);
  EXPECT_FALSE(Bar->CanDrag());
  EXPECT_EQ(Bar->GetDockedNCAreaSize(), TPoint(4, 4)) << "no handle without dragging";
  Dock->SetAllowDrag(true);

  bool Allow = false;
  int Closed = 0;
  Bar->OnCloseQuery = [&Allow](TObject*, bool& CanClose) { CanClose = Allow; };
  Bar->OnClose = [&Closed](TObject*) { ++Closed; };
  Bar->Close();
  EXPECT_TRUE(Bar->Visible());
  EXPECT_EQ(Closed, 0);
  Allow = true;
  Bar->Close();
  EXPECT_FALSE(Bar->Visible());
  EXPECT_EQ(Closed, 1);
  EXPECT_EQ(Dock->Height(), 0);

  Bar->SetParent(F.Form.get());
  EXPECT_FALSE(Bar->CanDrag()) << "a plain child is not dragged";
}

}  // namespace test_tbdock_tests

namespace test_tbdock_tests {

struct TFrameShot {
  std::vector<uint32_t> Px;
  Integer W = 0, H = 0;
  explicit TFrameShot(TWinControl* C) {
    C->Repaint();
    RedrawWindow(C->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    GtTestGrabWindow(C->Handle(), Px, W, H);
  }
  COLORREF At(Integer X, Integer Y) const {
    const uint32_t v = Px[size_t(Y) * W + X];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  // H highlight, S shadow, F face, T button text; '?' anything else.
  std::string Map(Integer X0, Integer Y0, Integer X1, Integer Y1) const {
    std::string s;
    for (Integer y = Y0; y < Y1; ++y) {
      for (Integer x = X0; x < X1; ++x) {
        COLORREF c = At(x, y);
        s += c == GetSysColor(COLOR_BTNHIGHLIGHT) ? 'H'
             : c == GetSysColor(COLOR_BTNSHADOW)  ? 'S'
             : c == GetSysColor(COLOR_BTNFACE)    ? 'F'
             : c == GetSysColor(COLOR_BTNTEXT)    ? 'T'
                                                  : '?';
      }
      s += '\n';
    }
    return s;
  }
};

// Rows of an expected map, each repeated Count times.
std::string Rows(std::initializer_list<std::pair<const char*, int>> Spec) {
  std::string s;
  for (auto& [Row, Count] : Spec)
    for (int i = 0; i < Count; ++i) s += std::string(Row) + "\n";
  return s;
}

// The leading 12 columns of a bar on a top dock, client 30 x 16, so the
// handle runs 18 pixels (client height + 2) from row 2. Grip bars are 3
// pixels wide with a filled middle; the far end of each grip's first line is
// highlighted; the close glyph sits 2 inside the 11 x 11 button at 3,2.
TEST(TbDock, DockedFrameGoldensForEachHandleStyle) {
  const char* Top = "HHHHHHHHHHHH";
  const char* Inner = "HFFFFFFFFFFF";
  const char* Bottom = "SSSSSSSSSSSS";
  const char* Glyph[] = {"HFFFFTTFFTTF", "HFFFFFTTTTFF", "HFFFFFFTTFFF", "HFFFFFTTTTFF", "HFFFFTTFFTTF"};
  struct {
    TTBDragHandleStyle Style;
    bool Close;
    std::string Map;
  } Cases[] = {
      {dhDouble, false,
       Rows({{Top, 1}, {Inner, 1}, {"HFFFHHSHHSFF", 1}, {"HFFFHFSHFSFF", 14}, {"HFFFHSSHSSFF", 1}, {Inner, 1},
             {Bottom, 1}})},
      {dhSingle, false,
       Rows({{Top, 1}, {Inner, 2}, {"HFFHHSFFFFFF", 1}, {"HFFHFSFFFFFF", 12}, {"HFFHSSFFFFFF", 1}, {Inner, 2},
             {Bottom, 1}})},
      {dhNone, false, Rows({{Top, 1}, {Inner, 18}, {Bottom, 1}})},
      {dhDouble, true,
       Rows({{Top, 1}, {Inner, 4}, {Glyph[0], 1}, {Glyph[1], 1}, {Glyph[2], 1}, {Glyph[3], 1}, {Glyph[4], 1},
             {Inner, 4}, {"HFFFFHHSHHSF", 1}, {"HFFFFHFSHFSF", 2}, {"HFFFFHSSHSSF", 1}, {Inner, 1}, {Bottom, 1}})},
      {dhNone, true,
       Rows({{Top, 1}, {Inner, 4}, {Glyph[0], 1}, {Glyph[1], 1}, {Glyph[2], 1}, {Glyph[3], 1}, {Glyph[4], 1},
             {Inner, 9}, {Bottom, 1}})},
      {dhSingle, true,
       Rows({{Top, 1}, {Inner, 4}, {Glyph[0], 1}, {Glyph[1], 1}, {Glyph[2], 1}, {Glyph[3], 1}, {Glyph[4], 1},
             {Inner, 4}, {"HFFFFFFHHSFF", 1}, {"HFFFFFFHFSFF", 1}, {"HFFFFFFHSSFF", 1}, {Inner, 2}, {Bottom, 1}})},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << "style " << C.Style << " close " << C.Close);
    TDockForm F;
    TTBDock* Dock = F.AddDock(dpTop);
    TTestBar* Bar = F.AddBar(nullptr, 0, 0, {30, 16});
    Bar->SetDragHandleStyle(C.Style);
    Bar->SetCloseButtonWhenDocked(C.Close);
    Bar->SetCurrentDock(Dock);
    GtTestPump(20);
    TFrameShot S(Bar);
    ASSERT_EQ(S.H, 20);
    EXPECT_EQ(S.Map(0, 0, 12, S.H), C.Map);
    // The far side of the frame: a raised edge, shadow on the right.
    EXPECT_EQ(S.At(S.W - 1, 5), GetSysColor(COLOR_BTNSHADOW));
  }
}

}  // namespace test_tbdock_tests

namespace test_tbdock_tests {

// A background that records what it is asked to draw.
class TRecordingBackground : public TTBBasicBackground {
 public:
  using TTBBasicBackground::TTBBasicBackground;
  bool Using = true;
  std::vector<TRect> Drawn;
  Integer Registered = 0;
  void Draw(HDC, const TRect& DrawRect) override { Drawn.push_back(DrawRect); }
  HPALETTE GetPalette() override { return nullptr; }
  void RegisterChanges(const TNotifyEvent&) override { ++Registered; }
  void SysColorChanged() override {}
  void UnregisterChanges(const TNotifyEvent&) override { --Registered; }
  bool UsingBackground() override { return Using; }
};

TEST(TbDock, BackgroundIsAnchoredToTheParentsClientOrigin) {
  TDockForm F;
  TTBDock* Bottom = F.AddDock(dpBottom);
  Bottom->SetBoundLines({blTop});
  F.AddBar(Bottom, 0, 0);
  auto* Bg = new TRecordingBackground(F.Form.get());
  Bottom->SetBackground(Bg);
  EXPECT_EQ(Bg->Registered, 1);
  EXPECT_TRUE(Bottom->UsingBackground());
  Bg->Drawn.clear();
  HDC DC = GetDC(Bottom->Handle());
  Bottom->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
  ReleaseDC(Bottom->Handle(), DC);
  ASSERT_FALSE(Bg->Drawn.empty());
  // The client rectangle moved up by the dock's top and the 1-pixel line.
  const TRect Client = Bottom->ClientRect();
  EXPECT_EQ(Bg->Drawn.back(), Bounds(-Bottom->Left(), -Bottom->Top() - 1, Client.Width(), Client.Height()));
  Bg->Using = false;
  EXPECT_FALSE(Bottom->UsingBackground()) << "a background that paints nothing counts as none";
  Bottom->SetBackground(nullptr);
  EXPECT_EQ(Bg->Registered, 0);
  // Removing the background component clears the dock's reference.
  Bottom->SetBackground(Bg);
  delete Bg;
  EXPECT_EQ(Bottom->Background(), nullptr);
}

TEST(TbDock, MDIChildrenBelongToTheirFrame) {
  auto Frame = std::make_unique<TForm>(nullptr);
  Frame->SetFormStyle(fsMDIForm);
  Frame->SetBounds(20, 20, 500, 400);
  TCustomForm* OldMain = Application->MainForm();
  Application->SetMainForm(Frame.get());  // MDI children open in the main form
  Frame->Show();
  auto* Child = new TForm(nullptr);
  Child->SetFormStyle(fsMDIChild);
  Child->SetBounds(10, 10, 200, 150);
  Child->Show();
  std::unique_ptr<TForm> OwnedChild(Child);
  TForm Plain(nullptr);
  EXPECT_EQ(GetMDIParentOf(Child), Frame.get());
  EXPECT_EQ(GetMDIParentOf(&Plain), &Plain);
  EXPECT_EQ(GetMDIParentOf(Frame.get()), Frame.get());
  OwnedChild.reset();
  Application->SetMainForm(OldMain);
  Frame.reset();
  Application->ProcessMessages();
}

}  // namespace test_tbdock_tests

namespace test_tbdock_tests {

// Runs once from a timer while a loop waits, as a user's input would arrive.
std::function<void()> g_Injected;
void InjectProc(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  auto Fn = std::move(g_Injected);
  g_Injected = nullptr;
  if (Fn) Fn();
}

TEST(TbDock, TheDockedCloseButtonClosesOnlyWhenReleasedOverIt) {
  for (bool MoveAway : {true, false}) {
    SCOPED_TRACE(MoveAway ? "released elsewhere" : "released on it");
    TDockForm F;
    TTBDock* Dock = F.AddDock(dpTop);
    TTestBar* Bar = F.AddBar(nullptr, 0, 0, {60, 22});
    Bar->SetCloseButtonWhenDocked(true);
    Bar->SetCurrentDock(Dock);
    GtTestPump(20);
    int Closed = 0;
    Bar->OnClose = [&Closed](TObject*) { ++Closed; };
    // The button is 11 x 11 at 3,2 of the window; the client starts 20 in, 2 down.
    const TPoint OnButton(3 + 5 - 20, 2 + 5 - 2);
    HWND H = Bar->Handle();
    const TPoint ReleaseAt = MoveAway ? TPoint(40, 5) : OnButton;
    g_Injected = [H, ReleaseAt] {
      GtTestMouse(H, gmaMove, gmbNone, ReleaseAt.X, ReleaseAt.Y);
      GtTestMouse(H, gmaRelease, gmbLeft, ReleaseAt.X, ReleaseAt.Y);
    };
    SetTimer(nullptr, 0, 1, InjectProc);
    GtTestMouse(H, gmaMove, gmbNone, OnButton.X, OnButton.Y);
    GtTestMouse(H, gmaPress, gmbLeft, OnButton.X, OnButton.Y);
    GtTestPump(20);
    EXPECT_EQ(Closed, MoveAway ? 0 : 1);
    EXPECT_EQ(Bar->Visible(), MoveAway);
    EXPECT_EQ(GetCapture(), nullptr);
  }
}

}  // namespace test_tbdock_tests
