// A menu-bar toolbar of an MDI frame: the maximised child's system-menu item
// and buttons come and go with the maximised state (announced before the
// window changes), the minimise button follows the maximised child's
// minimise box, the buttons and the rebuilt system menu command the child,
// and the window list mirrors the frame's window menu.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <memory>
#include <vector>

#include "controls/tbdock.h"
#include "controls/tbmdi.h"
#include "controls/tbpopup.h"
#include "controls/tbtoolbar.h"
#include "platform/ui/forms.h"
#include "platform/ui/imglist.h"
#include "platform/ui/testsupport.h"
#include "platform/ui/winuser.h"
#include "tests/platform/ui/mdi_test_util.h"

namespace test_tbmdi_tests {

class TbMdi : public mdi_test::MdiFrameTest {
 protected:
  void SetUp() override {
    MakeFrame();
    Dock = new TTBDock(Frame.get());
    Dock->SetParent(Frame.get());
    MenuBar = new TTBToolbar(Frame.get());
    MenuBar->SetMenuBar(true);
    File = new TTBSubmenuItem(Frame.get());
    File->SetCaption(u"&File");
    MenuBar->Items()->Add(File);
    Window = new TTBSubmenuItem(Frame.get());
    Window->SetCaption(u"&Window");
    auto* Cascade = new TTBItem(Frame.get());
    Cascade->SetCaption(u"&Cascade");
    Window->Add(Cascade);
    Window->Add(new TTBSeparatorItem(Frame.get()));
    List = new TTBMDIWindowItem(Frame.get());
    Window->Add(List);
    MenuBar->Items()->Add(Window);
    MenuBar->SetCurrentDock(Dock);
    Handler = new TTBMDIHandler(Frame.get());
    Handler->SetToolbar(MenuBar);
    GtTestPump(20);
  }
  // The menu bar's viewers of the handler's items that the layout shows.
  std::vector<TTBItemViewer*> ShownMdiViewers() {
    std::vector<TTBItemViewer*> Out;
    TTBView* V = MenuBar->View();
    V->EnsureLayout();
    for (Integer I = 0; I < V->ViewerCount(); ++I) {
      TTBItemViewer* Vw = V->Viewers(I);
      TTBCustomItem* It = Vw->Item();
      if ((It == Handler->SystemMenuItem() || It->Parent() == Handler->ButtonsItem()) && Vw->Show) Out.push_back(Vw);
    }
    return Out;
  }
  bool ButtonsShown() {
    TTBMDIButtonsItem* B = Handler->ButtonsItem();
    return Handler->SystemMenuItem()->Visible() && B->MinimizeItem()->Visible() && B->RestoreItem()->Visible() &&
           B->CloseItem()->Visible();
  }
  TTBDock* Dock = nullptr;
  TTBToolbar* MenuBar = nullptr;
  TTBSubmenuItem* File = nullptr;
  TTBSubmenuItem* Window = nullptr;
  TTBMDIWindowItem* List = nullptr;
  TTBMDIHandler* Handler = nullptr;
};

// What the handler's items looked like when the maximise was announced.
struct TSeen {
  bool Called = false, WasZoomed = true, Shown = false;
};
TSeen g_Seen;
TTBMDIHandler* g_SeenHandler = nullptr;
HHOOK g_TestHook = nullptr;

LRESULT SeeMaximise(Integer Code, WPARAM WParam, LPARAM LParam) {
  // The newest hook runs first: let the handler's run, then look.
  const LRESULT R = CallNextHookEx(g_TestHook, Code, WParam, LParam);
  if (Code == HCBT_MINMAX && (LParam & 0xFFFF) == SW_SHOWMAXIMIZED && !g_Seen.Called) {
    g_Seen.Called = true;
    g_Seen.WasZoomed = IsZoomed(reinterpret_cast<HWND>(WParam)) != FALSE;
    TTBMDIButtonsItem* B = g_SeenHandler->ButtonsItem();
    g_Seen.Shown = g_SeenHandler->SystemMenuItem()->Visible() && B->CloseItem()->Visible();
  }
  return R;
}

TEST_F(TbMdi, MaximisingShowsItemAndButtonsBeforeTheChildChanges) {
  TForm* A = AddChild(u"A");
  AddChild(u"B");
  EXPECT_FALSE(ButtonsShown());
  EXPECT_TRUE(ShownMdiViewers().empty()) << "nothing maximised, nothing on the bar";

  g_Seen = TSeen();
  g_SeenHandler = Handler;
  g_TestHook = SetWindowsHookEx(WH_CBT, SeeMaximise, nullptr, GetCurrentThreadId());
  ASSERT_NE(g_TestHook, nullptr);
  ShowWindow(A->Handle(), SW_SHOWMAXIMIZED);
  UnhookWindowsHookEx(g_TestHook);
  ASSERT_TRUE(g_Seen.Called);
  EXPECT_FALSE(g_Seen.WasZoomed) << "announced before the change";
  EXPECT_TRUE(g_Seen.Shown) << "both shown at the announcement";

  // On the bar: the system-menu item first, then the toolbar's own items,
  // then gap, minimise, restore, gap, close; sized from the system metrics.
  const std::vector<TTBItemViewer*> V = ShownMdiViewers();
  ASSERT_EQ(V.size(), 6u);
  TTBView* View = MenuBar->View();
  EXPECT_EQ(View->Viewers(0)->Item(), Handler->SystemMenuItem());
  // Widths from the layout; heights as measured (a row stretches them).
  auto Measured = [](TTBItemViewer* Vw) {
    TPoint P;
    Vw->MeasureSize(nullptr, P.X, P.Y);
    return P;
  };
  EXPECT_EQ(V[0]->BoundsRect.Width(), GetSystemMetrics(SM_CXSMICON) + 2);
  EXPECT_EQ(Measured(V[0]).Y, GetSystemMetrics(SM_CYSMICON) + 2);
  const TTBMDIButtonsItem* B = Handler->ButtonsItem();
  EXPECT_EQ(V[2]->Item(), B->MinimizeItem());
  EXPECT_EQ(V[3]->Item(), B->RestoreItem());
  EXPECT_EQ(V[5]->Item(), B->CloseItem());
  // Only the toolbar's chevron comes after the buttons.
  EXPECT_EQ(View->Viewers(View->ViewerCount() - 1)->Item(), MenuBar->ChevronItem());
  EXPECT_EQ(View->Viewers(View->ViewerCount() - 2)->Item(), B->CloseItem());
  for (size_t I : {2u, 3u, 5u}) {
    EXPECT_EQ(V[I]->BoundsRect.Width(), GetSystemMetrics(SM_CXMENUSIZE) - 2);
    EXPECT_EQ(Measured(V[I]).Y, GetSystemMetrics(SM_CYMENUSIZE) - 4);
  }
  EXPECT_EQ(V[1]->BoundsRect.Width(), 2);
  EXPECT_EQ(Measured(V[1]).Y, 6);
  // The buttons sit at the bar's far end, after the Window item.
  EXPECT_GT(V[2]->BoundsRect.Left, View->FindViewer(Window)->BoundsRect.Right);

  // Restoring hides them again.
  ShowWindow(A->Handle(), SW_RESTORE);
  EXPECT_FALSE(ButtonsShown());
  EXPECT_TRUE(ShownMdiViewers().empty());
}

TEST_F(TbMdi, ANewChildShownMaximisedBringsTheButtons) {
  auto* F = new TForm(nullptr);
  F->SetFormStyle(fsMDIChild);
  F->SetCaption(u"M");
  F->SetWindowState(wsMaximized);
  Kids.emplace_back(F);
  F->Show();
  EXPECT_TRUE(IsZoomed(F->Handle()));
  EXPECT_TRUE(ButtonsShown());
  EXPECT_EQ(ShownMdiViewers().size(), 6u);
}

TEST_F(TbMdi, DestroyingTheOnlyMaximisedChildHidesThem) {
  TForm* A = AddChild(u"A");
  TForm* B = AddChild(u"B");
  ShowWindow(B->Handle(), SW_SHOWMAXIMIZED);
  ASSERT_TRUE(ButtonsShown());
  Kids.pop_back();  // frees B
  GtTestPump(10);
  // The child that comes up in its place may take over the maximised state;
  // the buttons follow what the remaining child shows.
  EXPECT_EQ(ButtonsShown(), IsZoomed(A->Handle()) != FALSE);
  ShowWindow(A->Handle(), SW_SHOWMAXIMIZED);
  ASSERT_TRUE(ButtonsShown());
  Kids.clear();  // the only one, maximised
  GtTestPump(10);
  EXPECT_FALSE(ButtonsShown());
  EXPECT_TRUE(ShownMdiViewers().empty());
}

TEST_F(TbMdi, MinimiseButtonFollowsTheMaximisedChildsMinimiseBox) {
  struct Case {
    const char* Name;
    bool MinimizeBox;
    bool OtherActiveFirst;  // an ordinary child is active when this one is maximised
  };
  const Case Cases[] = {
      {"with minimise box", true, false},
      {"without minimise box", false, false},
      // The announcement comes before the maximised child is the active one.
      {"without minimise box, another child active", false, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Kids.clear();
    TForm* M = AddChild(u"M", C.MinimizeBox);
    if (C.OtherActiveFirst) {
      AddChild(u"Other");
      ASSERT_NE(Frame->ActiveMDIChild(), M);
    }
    ShowWindow(M->Handle(), SW_SHOWMAXIMIZED);
    ASSERT_TRUE(ButtonsShown());
    const TTBMDIButtonsItem* B = Handler->ButtonsItem();
    EXPECT_EQ(B->MinimizeItem()->Enabled(), C.MinimizeBox);
    EXPECT_TRUE(B->RestoreItem()->Enabled());
    EXPECT_TRUE(B->CloseItem()->Enabled());
    // The shown viewer draws the greyed glyph.
    EXPECT_EQ(ShownMdiViewers().size(), 6u);
  }
}

TEST_F(TbMdi, ButtonsCommandTheMaximisedChild) {
  TForm* A = AddChild(u"A");
  bool Freed = false;
  A->OnClose = [](TObject*, TCloseAction& Action) { Action = caFree; };
  A->OnDestroy = [&](TObject*) { Freed = true; };
  TTBMDIButtonsItem* B = Handler->ButtonsItem();

  ShowWindow(A->Handle(), SW_SHOWMAXIMIZED);
  B->RestoreItem()->Click();
  EXPECT_FALSE(IsZoomed(A->Handle()));
  EXPECT_FALSE(ButtonsShown());

  ShowWindow(A->Handle(), SW_SHOWMAXIMIZED);
  B->MinimizeItem()->Click();
  EXPECT_TRUE(IsIconic(A->Handle()));
  EXPECT_FALSE(ButtonsShown());

  ShowWindow(A->Handle(), SW_SHOWMAXIMIZED);
  ASSERT_TRUE(ButtonsShown());
  Kids.back().release();  // freed by its own close
  B->CloseItem()->Click();
  GtTestPump(10);
  EXPECT_TRUE(Freed);
  EXPECT_FALSE(ButtonsShown());
}

TEST_F(TbMdi, SystemMenuIsRebuiltFromTheChildsMenu) {
  TForm* A = AddChild(u"A", false);
  ShowWindow(A->Handle(), SW_SHOWMAXIMIZED);
  TTBMDISystemMenuItem* S = Handler->SystemMenuItem();
  ASSERT_NE(S->SystemImages(), nullptr);
  EXPECT_EQ(S->SystemImages()->Count(), 4);
  EXPECT_EQ(S->Caption(), u"&-");

  for (int Round = 0; Round < 2; ++Round) {  // rebuilt, not appended
    S->Click();
    HMENU M = GetSystemMenu(A->Handle(), FALSE);
    ASSERT_EQ(S->Count(), GetMenuItemCount(M));
    struct Want {
      UINT Command;
      Integer Image;
      bool Enabled;
    };
    const Want Wants[] = {{SC_RESTORE, 3, true},   {SC_MOVE, -1, false},    {SC_SIZE, -1, false},
                          {SC_MINIMIZE, 2, false}, {SC_MAXIMIZE, 1, false}, {SC_CLOSE, 0, true}};
    for (const Want& W : Wants) {
      SCOPED_TRACE(W.Command);
      TTBCustomItem* Found = nullptr;
      for (Integer I = 0; I < S->Count(); ++I)
        if (!S->Items(I)->ItemStyle().Contains(tisSeparator) && S->Items(I)->Tag() == static_cast<intptr_t>(W.Command))
          Found = S->Items(I);
      ASSERT_NE(Found, nullptr);
      EXPECT_EQ(Found->ImageIndex(), W.Image);
      EXPECT_EQ(Found->Enabled(), W.Enabled);
      EXPECT_EQ(Found->Options().Contains(tboDefault), W.Command == SC_CLOSE);
      if (W.Command == SC_CLOSE) {
        EXPECT_EQ(Found->Caption(), u"&Close\tCtrl+F4");
      }
    }
    Integer Separators = 0;
    for (Integer I = 0; I < S->Count(); ++I)
      if (S->Items(I)->ItemStyle().Contains(tisSeparator)) {
        ++Separators;
        EXPECT_TRUE(GetMenuState(M, static_cast<UINT>(I), MF_BYPOSITION) & MF_SEPARATOR);
      }
    EXPECT_GT(Separators, 0);
  }
  // Its entries send the command to the child.
  for (Integer I = 0; I < S->Count(); ++I) {
    if (S->Items(I)->Tag() == SC_RESTORE) S->Items(I)->Click();
  }
  EXPECT_FALSE(IsZoomed(A->Handle()));
  EXPECT_FALSE(ButtonsShown());
}

TEST_F(TbMdi, WindowListMirrorsTheChildrenWithTheActiveOneChecked) {
  Integer Updates = 0;
  List->OnUpdate = [&](TObject*) { ++Updates; };
  List->RefreshFromAction();
  EXPECT_EQ(List->Count(), 0) << "no child, no entries";
  EXPECT_EQ(Updates, 1);

  TForm* One = AddChild(u"One");
  AddChild(u"Two");
  TForm* Three = AddChild(u"Three");
  ASSERT_EQ(Frame->ActiveMDIChild(), Three);
  // Opening the Window menu updates the list; its entries show inline.
  {
    std::unique_ptr<TTBPopupWindow> W(Window->OpenPopup(nullptr, nullptr, false, false, false, TPoint(100, 100), paLeft));
    ASSERT_EQ(List->Count(), 3);
    for (Integer I = 0; I < 3; ++I) EXPECT_NE(W->View()->FindViewer(List->Items(I)), nullptr) << I;
  }
  const std::vector<WideString> Captions{u"&1 One", u"&2 Two", u"&3 Three"};
  for (Integer I = 0; I < 3; ++I) {
    EXPECT_EQ(List->Items(I)->Caption(), Captions[static_cast<size_t>(I)]);
    EXPECT_EQ(List->Items(I)->Checked(), I == 2) << I;
    EXPECT_EQ(List->Items(I)->Tag(), static_cast<intptr_t>(IDM_FIRSTCHILD + I));
  }

  // Clicking an entry activates its child; the next update moves the check.
  List->Items(0)->Click();
  GtTestPump(10);
  EXPECT_EQ(Frame->ActiveMDIChild(), One);
  List->RefreshFromAction();
  ASSERT_EQ(List->Count(), 3);
  for (Integer I = 0; I < 3; ++I) EXPECT_EQ(List->Items(I)->Checked(), I == 0) << I;

  // Disabling the list disables its entries; fewer children, fewer entries.
  List->SetEnabled(false);
  for (Integer I = 0; I < 3; ++I) EXPECT_FALSE(List->Items(I)->Enabled());
  // The menu opened again drops the entry of the child gone, whose viewer
  // the new popup had already made.
  Kids.erase(Kids.begin());
  {
    std::unique_ptr<TTBPopupWindow> W(Window->OpenPopup(nullptr, nullptr, false, false, false, TPoint(100, 100), paLeft));
    ASSERT_EQ(List->Count(), 2);
    EXPECT_EQ(W->View()->ViewerCount(), 3 + 2) << "Cascade, separator, the list and its two entries";
  }
  EXPECT_FALSE(List->Items(0)->Enabled());
  Kids.clear();
  List->RefreshFromAction();
  EXPECT_EQ(List->Count(), 0);
}

TEST_F(TbMdi, HandlerLeavesAToolbarItNoLongerServes) {
  AddChild(u"A");
  ShowWindow(Kids.back()->Handle(), SW_SHOWMAXIMIZED);
  auto ViewerOf = [](TTBToolbar* T, TTBCustomItem* It) -> TTBItemViewer* {
    for (Integer I = 0; I < T->View()->ViewerCount(); ++I)
      if (T->View()->Viewers(I)->Item() == It) return T->View()->Viewers(I);
    return nullptr;
  };
  auto ViewerOfSystemItem = [&](TTBToolbar* T) { return ViewerOf(T, Handler->SystemMenuItem()); };
  ASSERT_NE(ViewerOfSystemItem(MenuBar), nullptr);

  auto* Other = new TTBToolbar(Frame.get());
  Handler->SetToolbar(Other);
  EXPECT_EQ(ViewerOfSystemItem(MenuBar), nullptr);
  EXPECT_EQ(ViewerOf(MenuBar, Handler->ButtonsItem()->CloseItem()), nullptr);
  EXPECT_NE(ViewerOfSystemItem(Other), nullptr);

  // A toolbar that goes leaves the handler without one; a handler that goes
  // leaves its toolbar without its items.
  delete Other;
  EXPECT_EQ(Handler->Toolbar(), nullptr);
  Handler->SetToolbar(MenuBar);
  delete Handler;
  Handler = nullptr;
  EXPECT_EQ(MenuBar->MDIButtonsItem(), nullptr);
  EXPECT_EQ(MenuBar->MDISystemMenuItem(), nullptr);
  MenuBar->View()->EnsureLayout();
  ShowWindow(Kids.back()->Handle(), SW_RESTORE);  // no handler hears it now
}

}  // namespace test_tbmdi_tests
