// MDI frames and children: z-order and activation, tiling and cascading,
// maximised children, the window menu, the child's system menu and closing.
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/menus.h"
#include "tests/platform/ui/uitest.h"
#include "tests/platform/ui/mdi_test_util.h"

namespace test_mdi_tests {

class Mdi : public mdi_test::MdiFrameTest {
 protected:
  void SetUp() override {
    MakeFrame();
    Frame->SetClientWidth(600);
    Frame->SetClientHeight(400);
    GtTestPump(20);
  }
  std::vector<WideString> Order() {
    std::vector<WideString> Out;
    for (Integer i = 0; i < Frame->MDIChildCount(); ++i) Out.push_back(Frame->MDIChildren(i)->Caption());
    return Out;
  }
  // The client origin of a child on the screen against its window's corner.
  static TPoint CaptionOffset(TForm* F) {
    TRect W;
    GetWindowRect(F->Handle(), &W);
    TPoint P;
    ClientToScreen(F->Handle(), &P);
    return TPoint(P.X - W.Left, P.Y - W.Top);
  }
};

TEST_F(Mdi, ClientFillsTheFrameAndChildrenLiveInIt) {
  ASSERT_NE(Frame->ClientHandle(), nullptr);
  TRect R;
  ASSERT_TRUE(GetClientRect(Frame->ClientHandle(), &R));
  EXPECT_EQ(R.Width(), 600);
  EXPECT_EQ(R.Height(), 400);
  TForm* A = AddChild(u"A");
  EXPECT_EQ(GetParent(A->Handle()), Frame->ClientHandle());
  EXPECT_TRUE(IsWindowVisible(A->Handle()));
  // The sub-window draws a caption above the child's client area.
  EXPECT_GT(CaptionOffset(A).Y, CaptionOffset(A).X);
  EXPECT_EQ(A->BoundsRect(), Bounds(10, 10, 200, 150));
  // A child without an MDI main form cannot be made.
  Application->SetMainForm(nullptr);
  TForm Orphan(nullptr);
  Orphan.SetFormStyle(fsMDIChild);
  EXPECT_THROW(Orphan.Show(), EInvalidOperation);
  Application->SetMainForm(Frame.get());
}

TEST_F(Mdi, TileHorizontalPlacesRowsAndColumns) {
  struct Case {
    TTileMode Mode;
    std::vector<TRect> Want;  // in MDIChildren order
  };
  const std::vector<Case> Cases = {
      {tbHorizontal, {Bounds(0, 0, 600, 400)}},
      {tbHorizontal, {Bounds(0, 0, 600, 200), Bounds(0, 200, 600, 200)}},
      {tbHorizontal, {Bounds(0, 0, 600, 133), Bounds(0, 133, 600, 133), Bounds(0, 266, 600, 133)}},
      {tbHorizontal,
       {Bounds(0, 0, 300, 200), Bounds(0, 200, 300, 200), Bounds(300, 0, 300, 200), Bounds(300, 200, 300, 200)}},
      {tbHorizontal,
       {Bounds(0, 0, 300, 200), Bounds(0, 200, 300, 200), Bounds(300, 0, 300, 133), Bounds(300, 133, 300, 133),
        Bounds(300, 266, 300, 133)}},
      {tbVertical, {Bounds(0, 0, 200, 400), Bounds(200, 0, 200, 400), Bounds(400, 0, 200, 400)}},
  };
  for (const Case& C : Cases) {
    Kids.clear();
    for (size_t i = 0; i < C.Want.size(); ++i) AddChild(u"T" + WideString(1, static_cast<WideChar>(u'0' + i)));
    // A maximised child is restored and tiled with the others.
    SendMessage(Kids[0]->Handle(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    Frame->SetTileMode(C.Mode);
    Frame->Tile();
    ASSERT_EQ(Frame->MDIChildCount(), static_cast<Integer>(C.Want.size()));
    for (size_t i = 0; i < C.Want.size(); ++i) {
      TForm* F = Frame->MDIChildren(static_cast<Integer>(i));
      EXPECT_EQ(F->BoundsRect(), C.Want[i]) << "n=" << C.Want.size() << " child " << i;
      EXPECT_FALSE(IsZoomed(F->Handle()));
    }
  }
}

TEST_F(Mdi, ChildrenComeActiveFirstThenInZOrder) {
  TForm* A = AddChild(u"A");
  TForm* B = AddChild(u"B");
  AddChild(u"C");
  std::vector<std::string> Log;
  B->OnActivate = [&](TObject*) { Log.push_back("B+"); };
  B->OnDeactivate = [&](TObject*) { Log.push_back("B-"); };
  EXPECT_EQ(Order(), (std::vector<WideString>{u"C", u"B", u"A"}));
  B->Show();  // brings the second of three to the top
  EXPECT_EQ(Frame->ActiveMDIChild(), B);
  EXPECT_EQ(Order(), (std::vector<WideString>{u"B", u"C", u"A"}));
  Frame->Next();  // the active one goes to the bottom
  EXPECT_EQ(Order(), (std::vector<WideString>{u"C", u"A", u"B"}));
  Frame->Previous();  // the bottom one comes up
  EXPECT_EQ(Order(), (std::vector<WideString>{u"B", u"C", u"A"}));
  EXPECT_EQ(Log, (std::vector<std::string>{"B+", "B-", "B+"}));
  // The system menu's Next does what the frame's Next does.
  SendMessage(B->Handle(), WM_SYSCOMMAND, SC_NEXTWINDOW, 0);
  EXPECT_EQ(Order(), (std::vector<WideString>{u"C", u"A", u"B"}));
  // Hiding the active child activates the next; showing it again puts it on top.
  Frame->ActiveMDIChild()->Hide();
  EXPECT_EQ(Frame->ActiveMDIChild(), A);
  Kids[2]->Show();
  EXPECT_EQ(Frame->ActiveMDIChild(), Kids[2].get());
  // Destroying the active child activates the next one down.
  Kids.erase(Kids.begin() + 2);
  EXPECT_EQ(Frame->ActiveMDIChild(), A);
  EXPECT_EQ(Order(), (std::vector<WideString>{u"A", u"B"}));
  B->OnActivate = B->OnDeactivate = nullptr;
}

TEST_F(Mdi, CascadeStepsTheChildrenWithTheActiveOnTop) {
  AddChild(u"A");
  AddChild(u"B");
  AddChild(u"C");
  Frame->Cascade();
  const Integer Step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
  // Bottom first: A at the corner, C (active) furthest down, all the same size.
  EXPECT_EQ(Kids[0]->Left(), 0);
  EXPECT_EQ(Kids[1]->Left(), Step);
  EXPECT_EQ(Kids[2]->Top(), 2 * Step);
  EXPECT_EQ(Kids[0]->Width(), Kids[2]->Width());
  EXPECT_LT(Kids[2]->Left() + Kids[2]->Width(), 601);
  EXPECT_LT(Kids[2]->Top() + Kids[2]->Height(), 401);
  EXPECT_EQ(Order(), (std::vector<WideString>{u"C", u"B", u"A"}));
}

std::vector<std::pair<HWND, bool>> g_MinMax;
HHOOK g_Cbt = nullptr;
LRESULT CbtHook(Integer Code, WPARAM W, LPARAM L) {
  if (Code == HCBT_MINMAX && L == SW_MAXIMIZE)
    g_MinMax.push_back({reinterpret_cast<HWND>(W), IsZoomed(reinterpret_cast<HWND>(W)) != FALSE});
  return CallNextHookEx(g_Cbt, Code, W, L);
}

TEST_F(Mdi, MaximisedChildHasNoCaptionAndPassesItsStateOn) {
  TForm* A = AddChild(u"A");
  TForm* B = AddChild(u"B");
  const TPoint Normal = CaptionOffset(B);
  g_MinMax.clear();
  g_Cbt = SetWindowsHookEx(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
  SendMessage(B->Handle(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  ASSERT_EQ(g_MinMax.size(), 1u);
  EXPECT_EQ(g_MinMax[0], std::make_pair(B->Handle(), false)) << "the hook runs before the state changes";
  EXPECT_TRUE(IsZoomed(B->Handle()));
  EXPECT_EQ(B->WindowState(), wsMaximized);
  EXPECT_EQ(B->BoundsRect(), Bounds(0, 0, 600, 400));
  EXPECT_EQ(CaptionOffset(B), TPoint(0, 0)) << "no caption of its own";

  // Activating another child maximises it in turn.
  A->Show();
  EXPECT_EQ(Frame->ActiveMDIChild(), A);
  EXPECT_TRUE(IsZoomed(A->Handle()));
  EXPECT_EQ(CaptionOffset(A), TPoint(0, 0));
  ASSERT_EQ(g_MinMax.size(), 2u);
  EXPECT_EQ(g_MinMax[1], std::make_pair(A->Handle(), false));
  UnhookWindowsHookEx(g_Cbt);

  SendMessage(A->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsZoomed(A->Handle()));
  EXPECT_EQ(CaptionOffset(A), Normal) << "the caption is back";
  EXPECT_EQ(A->BoundsRect(), Bounds(10, 10, 200, 150));
}

TEST_F(Mdi, WindowMenuListsTheChildrenAndActivatesTheChosenOne) {
  auto* Menu = new TMenuItem(Frame.get());
  auto* Own = new TMenuItem(Frame.get());
  Own->SetCaption(u"&Cascade");
  Menu->Add(Own);
  Frame->SetWindowMenu(Menu);
  HMENU H = Menu->Handle();
  SendMessage(Frame->ClientHandle(), WM_MDIREFRESHMENU, 0, 0);
  EXPECT_EQ(GetMenuItemCount(H), 1) << "no children, no entries";

  TForm* One = AddChild(u"One");
  AddChild(u"Two");
  AddChild(u"Three");
  auto Text = [&](Integer Pos) {
    WideChar Buf[64] = {};
    GetMenuStringW(H, static_cast<UINT>(Pos), Buf, 64, MF_BYPOSITION);
    return WideString(Buf);
  };
  auto Checked = [&](Integer Pos) { return (GetMenuState(H, static_cast<UINT>(Pos), MF_BYPOSITION) & MF_CHECKED) != 0; };
  for (int Round = 0; Round < 2; ++Round) {
    SendMessage(Frame->ClientHandle(), WM_MDIREFRESHMENU, 0, 0);
    ASSERT_EQ(GetMenuItemCount(H), 5) << "own entry, separator, three children";
    EXPECT_EQ(Text(0), u"&Cascade");
    EXPECT_TRUE(GetMenuState(H, 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(Text(2), u"&1 One");
    EXPECT_EQ(Text(3), u"&2 Two");
    EXPECT_EQ(Text(4), u"&3 Three");
    EXPECT_EQ(GetMenuItemID(H, 2), IDM_FIRSTCHILD);
    EXPECT_EQ(Checked(2), Round == 1);
    EXPECT_FALSE(Checked(3));
    EXPECT_EQ(Checked(4), Round == 0);
    // The entry's command, sent to the frame, activates (and restores) its child.
    if (Round == 0) {
      One->SetWindowState(wsMinimized);
      SendMessage(Frame->Handle(), WM_COMMAND, GetMenuItemID(H, 2), 0);
      EXPECT_EQ(Frame->ActiveMDIChild(), One);
      EXPECT_FALSE(IsIconic(One->Handle()));
    }
  }
  Kids.clear();
  SendMessage(Frame->ClientHandle(), WM_MDIREFRESHMENU, 0, 0);
  EXPECT_EQ(GetMenuItemCount(H), 1);
}

TEST_F(Mdi, SystemMenuStatesFollowTheChild) {
  struct Case {
    const char* Name;
    bool MinimizeBox;
    Integer Show;
    bool Restore, Move, Size, Minimize, Maximize;  // enabled
  };
  const Case Cases[] = {
      {"normal", true, SW_SHOWNORMAL, false, true, true, true, true},
      {"maximised", true, SW_MAXIMIZE, true, false, false, true, false},
      {"minimised", true, SW_MINIMIZE, true, true, false, false, true},
      {"no minimise box", false, SW_SHOWNORMAL, false, true, true, false, true},
  };
  for (const Case& C : Cases) {
    Kids.clear();
    TForm* F = AddChild(u"S", C.MinimizeBox);
    ShowWindow(F->Handle(), C.Show);
    HMENU M = GetSystemMenu(F->Handle(), FALSE);
    ASSERT_NE(M, nullptr);
    auto On = [&](UINT Id) { return (GetMenuState(M, Id, MF_BYCOMMAND) & MF_GRAYED) == 0; };
    EXPECT_EQ(On(SC_RESTORE), C.Restore) << C.Name;
    EXPECT_EQ(On(SC_MOVE), C.Move) << C.Name;
    EXPECT_EQ(On(SC_SIZE), C.Size) << C.Name;
    EXPECT_EQ(On(SC_MINIMIZE), C.Minimize) << C.Name;
    EXPECT_EQ(On(SC_MAXIMIZE), C.Maximize) << C.Name;
    EXPECT_TRUE(On(SC_CLOSE)) << C.Name;
    EXPECT_TRUE(On(SC_NEXTWINDOW)) << C.Name;
    WideChar Buf[32] = {};
    GetMenuStringW(M, SC_CLOSE, Buf, 32, MF_BYCOMMAND);
    EXPECT_EQ(WideString(Buf), u"&Close\tCtrl+F4");
  }
}

TEST_F(Mdi, ClosingMinimisesStaysOrFrees) {
  TForm* A = AddChild(u"A");
  SendMessage(A->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  Application->ProcessMessages();
  EXPECT_TRUE(IsIconic(A->Handle())) << "without OnClose a child minimises";
  EXPECT_EQ(A->WindowState(), wsMinimized);
  SetWindowPos(A->Handle(), nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ASSERT_EQ(A->Left(), 100);
  Frame->ArrangeIcons();
  EXPECT_EQ(A->BoundsRect(), Bounds(0, 400 - A->Height(), A->Width(), A->Height())) << "icons line the bottom";

  TForm* B = AddChild(u"B", false);
  SendMessage(B->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  Application->ProcessMessages();
  EXPECT_TRUE(IsWindowVisible(B->Handle())) << "without a minimise box it stays";
  EXPECT_FALSE(IsIconic(B->Handle()));

  TForm* C = AddChild(u"C");
  bool Destroyed = false;
  C->OnClose = [](TObject*, TCloseAction& Action) { Action = caFree; };
  C->OnDestroy = [&](TObject*) { Destroyed = true; };
  Kids.back().release();  // freed by its own close
  C->Close();
  Application->ProcessMessages();
  EXPECT_TRUE(Destroyed);
  EXPECT_EQ(Frame->MDIChildCount(), 2);
  EXPECT_EQ(Frame->ActiveMDIChild(), B);
  EXPECT_EQ(Order(), (std::vector<WideString>{u"B", u"A"}));
}

}  // namespace test_mdi_tests
