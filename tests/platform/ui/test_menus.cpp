// Menu handles, the popup menu loop driven by the keyboard and the mouse,
// the class library's popup menu and its items, context-menu requests and
// the system menu's states.
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/actnlist.h"
#include "platform/ui/menus.h"
#include "tests/platform/ui/uitest.h"

namespace menus_tests {
namespace {

using gt_uitest::Soon;

// Runs Fn from the loop once Ready holds (the loop has taken what came
// before); gives up after many turns, cancelling the menu.
void SoonWhen(std::function<bool()> Ready, std::function<void()> Fn, Integer Turns = 5000) {
  Soon([Ready, Fn, Turns] {
    if (Ready()) {
      Fn();
    } else if (Turns > 0) {
      SoonWhen(Ready, Fn, Turns - 1);
    } else {
      ADD_FAILURE() << "the menu never reached the expected state";
      PostMessage(nullptr, WM_CANCELMODE, 0, 0);
    }
  });
}

void Keys(HWND Wnd, std::initializer_list<WORD> List, Cardinal Mods = 0) {
  for (WORD K : List) {
    GtTestKey(Wnd, true, K, Mods);
    GtTestKey(Wnd, false, K, Mods);
  }
}

HMENU Menu3(UINT A, UINT B) {
  HMENU M = CreatePopupMenu();
  AppendMenuW(M, MF_STRING, A, u"&Open");
  AppendMenuW(M, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(M, MF_STRING, B, u"&Print");
  return M;
}

// The messages a menu's owner window sees.
struct TOwnerLog {
  std::vector<std::pair<UINT, WPARAM>> Seen;
  std::vector<LPARAM> Params;  // the lParam of each of them
  HWND Wnd = nullptr;
  TOwnerLog() {
    Wnd = AllocateHWnd([this](TMessage& M) {
      if (M.Msg == WM_INITMENUPOPUP || M.Msg == WM_MENUSELECT || M.Msg == WM_COMMAND) {
        Seen.push_back({M.Msg, M.WParam});
        Params.push_back(M.LParam);
      }
    });
  }
  ~TOwnerLog() { DeallocateHWnd(Wnd); }
};

class MenuUi : public UiTest {};

TEST_F(MenuUi, KeyboardChoosesAnInsertedEntryAndEscapeAnswersNothing) {
  HMENU M = Menu3(10, 30);
  MENUITEMINFOW I;
  I.fMask = MIIM_ID | MIIM_STRING;
  I.wID = 77;
  WideString Text = u"&Rename";
  I.dwTypeData = Text.data();
  ASSERT_TRUE(InsertMenuItemW(M, 1, TRUE, &I));  // between Open and the line
  ASSERT_EQ(GetMenuItemCount(M), 4);
  HWND F = Form->Handle();
  TOwnerLog Owner;

  Soon([F] { Keys(F, {VK_DOWN, VK_DOWN, VK_RETURN}); });
  EXPECT_EQ(TrackPopupMenu(M, TPM_RETURNCMD | TPM_RIGHTBUTTON, 100, 100, 0, Owner.Wnd, nullptr), 77);
  ASSERT_GE(Owner.Seen.size(), 4u);
  EXPECT_EQ(Owner.Seen[0].first, static_cast<UINT>(WM_INITMENUPOPUP));
  EXPECT_EQ(Owner.Seen[1], (std::pair<UINT, WPARAM>{WM_MENUSELECT, MAKEWPARAM(10, MF_HILITE)}));
  EXPECT_EQ(Owner.Seen[2], (std::pair<UINT, WPARAM>{WM_MENUSELECT, MAKEWPARAM(77, MF_HILITE)}));
  EXPECT_EQ(Owner.Seen.back(), (std::pair<UINT, WPARAM>{WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF)}));
  EXPECT_EQ(GtTrackedMenu(), nullptr);
  EXPECT_EQ(GetCapture(), nullptr);

  // Up from nothing wraps to the last entry, a greyed one that cannot be
  // chosen, and the next Up steps over the line.
  EnableMenuItem(M, 30, MF_BYCOMMAND | MF_GRAYED);
  Soon([F] { Keys(F, {VK_UP, VK_RETURN, VK_UP, VK_RETURN}); });
  EXPECT_EQ(TrackPopupMenu(M, TPM_RETURNCMD, 100, 100, 0, Owner.Wnd, nullptr), 77);

  Soon([F] { Keys(F, {VK_DOWN, VK_ESCAPE}); });
  EXPECT_EQ(TrackPopupMenu(M, TPM_RETURNCMD, 100, 100, 0, Owner.Wnd, nullptr), 0);

  // Without TPM_RETURNCMD the owner is posted the command; the accelerator chooses at once.
  Owner.Seen.clear();
  Soon([F] { GtTestKey(F, true, 'R', 0, u'r'); });
  EXPECT_EQ(TrackPopupMenu(M, 0, 100, 100, 0, Owner.Wnd, nullptr), TRUE);
  GtTestPump(10);
  ASSERT_FALSE(Owner.Seen.empty());
  EXPECT_EQ(Owner.Seen.back(), (std::pair<UINT, WPARAM>{WM_COMMAND, 77}));
  EXPECT_TRUE(DestroyMenu(M));
  EXPECT_FALSE(IsMenu(M));
  EXPECT_EQ(GetMenuItemCount(M), -1);
}

TEST_F(MenuUi, MouseChoosesTheEntryUnderTheReleaseAndAPressOutsideCloses) {
  HMENU M = Menu3(10, 30);
  TOwnerLog Owner;
  HWND MW = nullptr;
  Soon([&] {
    MW = GtTrackedMenuWindow();
    if (!MW || GtTrackedMenu() != M) {
      ADD_FAILURE() << "the menu is not being tracked";
      PostMessage(nullptr, WM_CANCELMODE, 0, 0);
      return;
    }
    TRect R;
    GetWindowRect(MW, &R);
    const Integer Row = (R.Height() - 14) / 2;  // two entries and a line inside a 3-pixel frame
    const Integer Third = 11 + Row + Row / 2;
    // The release of the button that opened the menu chooses nothing.
    EXPECT_TRUE(IsWindowVisible(MW));
    GtTestMouse(MW, gmaRelease, gmbRight, 10, 3 + Row / 2);
    GtTestMouse(MW, gmaMove, gmbNone, 10, Third);
    GtTestMouse(MW, gmaPress, gmbLeft, 10, Third);
    GtTestMouse(MW, gmaRelease, gmbLeft, 10, Third);
    // Ends the loop as a failure if the click did not choose.
    PostMessage(nullptr, WM_CANCELMODE, 0, 0);
  });
  GtTestMouse(Form->Handle(), gmaPress, gmbRight, 5, 5);  // the right-click that asks for the menu
  EXPECT_EQ(TrackPopupMenu(M, TPM_RETURNCMD | TPM_RIGHTBUTTON, 450, 100, 0, Owner.Wnd, nullptr), 30);
  ASSERT_NE(MW, nullptr);
  EXPECT_FALSE(IsWindow(MW));
  MSG Left;
  while (PeekMessage(&Left, nullptr, WM_CANCELMODE, WM_CANCELMODE, PM_REMOVE)) {
  }

  // A press outside the menu closes it with no answer, and the window there does not get it.
  auto* R = AddRecorder(200, 150, 60, 40);
  GtTestPump(10);
  HWND RH = R->Handle();
  Soon([RH] { GtTestMouse(RH, gmaPress, gmbLeft, 5, 5); });
  EXPECT_EQ(TrackPopupMenu(M, TPM_RETURNCMD, 100, 100, 0, Owner.Wnd, nullptr), 0);
  GtTestMouse(RH, gmaRelease, gmbLeft, 5, 5);
  GtTestPump(10);
  for (const TRecordedMouse& E : R->Mouse) EXPECT_NE(E.Kind, "down");
  DestroyMenu(M);
}

// A menu "&Open", "&More" > ("&Inner" 41, "&Second" 42), "&Quit" 30.
struct TChain {
  HMENU Root = CreatePopupMenu(), Sub = CreatePopupMenu();
  TChain() {
    AppendMenuW(Sub, MF_STRING, 41, u"&Inner");
    AppendMenuW(Sub, MF_STRING, 42, u"&Second");
    AppendMenuW(Root, MF_STRING, 10, u"&Open");
    AppendMenuW(Root, MF_POPUP, reinterpret_cast<UINT_PTR>(Sub), u"&More");
    AppendMenuW(Root, MF_STRING, 30, u"&Quit");
  }
  ~TChain() { DestroyMenu(Root); }
};

TEST_F(MenuUi, SubmenusOpenFromTheKeyboardAndCloseOneLevelAtATime) {
  TChain C;
  TOwnerLog Owner;
  HWND F = Form->Handle();
  struct Case {
    const char* Name;
    std::vector<WORD> Keys;
    Integer Answer;
  };
  const Case Cases[] = {
      {"right opens, first entry lit", {VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN}, 42},
      {"enter opens", {VK_DOWN, VK_DOWN, VK_RETURN, VK_RETURN}, 41},
      {"left closes the submenu only", {VK_DOWN, VK_DOWN, VK_RIGHT, VK_LEFT, VK_DOWN, VK_RETURN}, 30},
      {"escape closes the submenu only", {VK_DOWN, VK_DOWN, VK_RIGHT, VK_ESCAPE, VK_UP, VK_RETURN}, 10},
      {"escape twice closes all", {VK_DOWN, VK_DOWN, VK_RIGHT, VK_ESCAPE, VK_ESCAPE, VK_RETURN}, 0},
      {"right on a plain entry does nothing", {VK_DOWN, VK_RIGHT, VK_RETURN}, 10},
  };
  for (const Case& K : Cases) {
    SCOPED_TRACE(K.Name);
    std::vector<WORD> List = K.Keys;
    Soon([F, List] {
      for (WORD Key : List) Keys(F, {Key});
    });
    EXPECT_EQ(TrackPopupMenu(C.Root, TPM_RETURNCMD, 100, 100, 0, Owner.Wnd, nullptr), K.Answer);
    EXPECT_EQ(GtTrackedMenuDepth(), 0);
    EXPECT_EQ(GtTrackedMenuWindow(), nullptr);
  }

  // The owner prepares the submenu with its position, and hears of the
  // highlight inside it with the submenu's handle.
  Owner.Seen.clear();
  Owner.Params.clear();
  Soon([F] { Keys(F, {VK_DOWN, VK_DOWN, VK_RIGHT, VK_RETURN}); });
  EXPECT_EQ(TrackPopupMenu(C.Root, TPM_RETURNCMD, 100, 100, 0, Owner.Wnd, nullptr), 41);
  auto At = [&](UINT Msg, WPARAM W) {
    for (size_t i = 0; i < Owner.Seen.size(); ++i)
      if (Owner.Seen[i] == std::pair<UINT, WPARAM>{Msg, W}) return static_cast<Integer>(i);
    return -1;
  };
  const Integer MoreLit = At(WM_MENUSELECT, MAKEWPARAM(1, MF_HILITE | MF_POPUP));
  const Integer Init = At(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(C.Sub));
  const Integer InnerLit = At(WM_MENUSELECT, MAKEWPARAM(41, MF_HILITE));
  ASSERT_GE(MoreLit, 0);
  ASSERT_GT(Init, MoreLit);
  ASSERT_GT(InnerLit, Init);
  EXPECT_EQ(Owner.Params[static_cast<size_t>(MoreLit)], reinterpret_cast<LPARAM>(C.Root));
  EXPECT_EQ(Owner.Params[static_cast<size_t>(Init)], MAKELPARAM(1, 0));
  EXPECT_EQ(Owner.Params[static_cast<size_t>(InnerLit)], reinterpret_cast<LPARAM>(C.Sub));

  // A greyed submenu does not open.
  EnableMenuItem(C.Root, 1, MF_BYPOSITION | MF_GRAYED);
  Soon([F] { Keys(F, {VK_DOWN, VK_DOWN, VK_RIGHT, VK_RETURN, VK_DOWN, VK_RETURN}); });
  EXPECT_EQ(TrackPopupMenu(C.Root, TPM_RETURNCMD, 100, 100, 0, Owner.Wnd, nullptr), 30);
}

TEST_F(MenuUi, SubmenuOpensUnderTheMouseAndClosesWhenItLeavesItsEntry) {
  TChain C;
  TOwnerLog Owner;
  HWND RootW = nullptr, SubW = nullptr;
  Integer DepthAfterLeaving = -1;
  auto RowMid = [](HWND W, Integer Index, Integer Rows) {
    TRect R;
    GetWindowRect(W, &R);
    const Integer Row = (R.Height() - 6) / Rows;
    return 3 + Row * Index + Row / 2;
  };
  Soon([&] {
    RootW = GtTrackedMenuWindow();
    if (!RootW) return;
    GtTestMouse(RootW, gmaMove, gmbNone, 10, RowMid(RootW, 1, 3));
    SoonWhen([] { return GtTrackedMenuDepth() == 2; }, [&] {
      SubW = GtTrackedMenuWindow();
      // Back on the parent's first entry: the submenu closes.
      GtTestMouse(RootW, gmaMove, gmbNone, 10, RowMid(RootW, 0, 3));
      SoonWhen([] { return GtTrackedMenuDepth() == 1; }, [&] {
        DepthAfterLeaving = GtTrackedMenuDepth();
        GtTestMouse(RootW, gmaMove, gmbNone, 10, RowMid(RootW, 1, 3));
        SoonWhen([] { return GtTrackedMenuDepth() == 2; }, [&] {
          HWND W = GtTrackedMenuWindow();
          // A click in the submenu chooses its entry.
          GtTestMouse(W, gmaMove, gmbNone, 10, RowMid(W, 1, 2));
          GtTestMouse(W, gmaPress, gmbLeft, 10, RowMid(W, 1, 2));
          GtTestMouse(W, gmaRelease, gmbLeft, 10, RowMid(W, 1, 2));
          PostMessage(nullptr, WM_CANCELMODE, 0, 0);
        });
      });
    });
  });
  EXPECT_EQ(TrackPopupMenu(C.Root, TPM_RETURNCMD, 100, 100, 0, Owner.Wnd, nullptr), 42);
  ASSERT_NE(RootW, nullptr);
  ASSERT_NE(SubW, nullptr);
  EXPECT_NE(SubW, RootW);
  EXPECT_FALSE(IsWindow(SubW));
  EXPECT_EQ(DepthAfterLeaving, 1);
  MSG Left;
  while (PeekMessage(&Left, nullptr, WM_CANCELMODE, WM_CANCELMODE, PM_REMOVE)) {
  }
}

TEST_F(MenuUi, PopupMenuRunsTheClickOfAnItemInASubmenu) {
  TPopupMenu P(Form.get());
  auto* Parent = new TMenuItem(&P);
  Parent->SetCaption(u"&Sort");
  auto* ByName = new TMenuItem(&P);
  ByName->SetCaption(u"By &name");
  auto* BySize = new TMenuItem(&P);
  BySize->SetCaption(u"By &size");
  std::vector<std::string> Log;
  ByName->OnClick = [&](TObject*) { Log.push_back("name"); };
  BySize->OnClick = [&](TObject*) { Log.push_back(GtTrackedMenu() ? "size, menu open" : "size"); };
  Parent->Add(ByName);
  Parent->Add(BySize);
  P.Items()->Add(Parent);
  HWND F = Form->Handle();
  Soon([F] { GtTestKey(F, true, 'S', 0, u's'); GtTestKey(F, true, 'S', 0, u's'); });
  P.Popup(200, 150);
  EXPECT_EQ(Log, (std::vector<std::string>{"size"}));
}

TEST_F(MenuUi, HandleQueriesTable) {
  HMENU M = Menu3(10, 30);
  HMENU Sub = CreatePopupMenu();
  AppendMenuW(Sub, MF_STRING, 41, u"Inner");
  ASSERT_TRUE(AppendMenuW(M, MF_POPUP, reinterpret_cast<UINT_PTR>(Sub), u"&More"));
  CheckMenuItem(M, 10, MF_BYCOMMAND | MF_CHECKED);
  EnableMenuItem(M, 30, MF_BYCOMMAND | MF_GRAYED);
  EXPECT_TRUE(SetMenuDefaultItem(M, 10, FALSE));

  struct StateCase {
    UINT Item, Flags, Expected;
  };
  const StateCase States[] = {
      {10, MF_BYCOMMAND, MF_CHECKED | MF_DEFAULT},
      {30, MF_BYCOMMAND, MF_GRAYED},
      {1, MF_BYPOSITION, MF_SEPARATOR},
      {3, MF_BYPOSITION, MF_POPUP | (1u << 8)},  // a submenu: its count in the high byte
      {41, MF_BYCOMMAND, 0},                     // found inside the submenu
      {99, MF_BYCOMMAND, 0xFFFFFFFF},
      {9, MF_BYPOSITION, 0xFFFFFFFF},
  };
  for (const StateCase& C : States) {
    SCOPED_TRACE(C.Item);
    EXPECT_EQ(GetMenuState(M, C.Item, C.Flags), C.Expected);
  }
  EXPECT_EQ(GetSubMenu(M, 3), Sub);
  EXPECT_EQ(GetMenuItemID(M, 3), 0xFFFFFFFFu);
  EXPECT_EQ(GetMenuItemID(M, 2), 30u);
  EXPECT_EQ(GetMenuDefaultItem(M, FALSE, 0), 10u);
  EXPECT_EQ(GetMenuDefaultItem(M, TRUE, 0), 0u);
  SetMenuDefaultItem(M, 30, FALSE);  // greyed: only with GMDI_USEDISABLED
  EXPECT_EQ(GetMenuDefaultItem(M, FALSE, 0), 0xFFFFFFFFu);
  EXPECT_EQ(GetMenuDefaultItem(M, FALSE, GMDI_USEDISABLED), 30u);

  // Texts never pass the buffer; a null buffer asks for the length.
  struct TextCase {
    Integer Size;
    std::u16string Expected;
    Integer Answer;
  };
  const TextCase Texts[] = {{0, u"", 5}, {3, u"&O", 2}, {5, u"&Ope", 4}, {6, u"&Open", 5}, {40, u"&Open", 5}};
  for (const TextCase& C : Texts) {
    SCOPED_TRACE(C.Size);
    std::u16string Buf(8 + static_cast<size_t>(std::max(C.Size, 0)), u'#');
    Integer Got = GetMenuStringW(M, 10, C.Size ? Buf.data() : nullptr, C.Size, MF_BYCOMMAND);
    EXPECT_EQ(Got, C.Answer);
    if (C.Size) {
      EXPECT_EQ(Buf.substr(0, C.Expected.size()), C.Expected);
      EXPECT_EQ(Buf[C.Expected.size()], u'\0');
      EXPECT_EQ(Buf[static_cast<size_t>(C.Size)], u'#');  // nothing written past the buffer
    }
    MENUITEMINFOW I;
    I.fMask = MIIM_STRING;
    I.dwTypeData = C.Size ? Buf.data() : nullptr;
    I.cch = static_cast<UINT>(C.Size);
    ASSERT_TRUE(GetMenuItemInfoW(M, 0, TRUE, &I));
    EXPECT_EQ(I.cch, static_cast<UINT>(C.Answer));
  }
  // Deleting the submenu's entry frees the submenu; removing keeps it.
  EXPECT_TRUE(RemoveMenu(M, 41, MF_BYCOMMAND));
  EXPECT_EQ(GetMenuItemCount(Sub), 0);
  EXPECT_TRUE(DeleteMenu(M, 3, MF_BYPOSITION));
  EXPECT_FALSE(IsMenu(Sub));
  EXPECT_EQ(GetMenuItemCount(M), 3);
  EXPECT_FALSE(DeleteMenu(M, 99, MF_BYCOMMAND));
  DestroyMenu(M);
}

TEST_F(MenuUi, PopupMenuFiresOnPopupFirstAndClicksAfterTheMenuHasGone) {
  TPopupMenu P(Form.get());
  std::vector<std::string> Log;
  P.OnPopup = [&](TObject* S) {
    Log.push_back(S == &P ? "popup" : "popup from another");
    EXPECT_EQ(GtTrackedMenu(), nullptr);
  };
  auto* A = new TMenuItem(&P);
  A->SetCaption(u"&Alpha");
  auto* Hidden = new TMenuItem(&P);
  Hidden->SetCaption(u"Hidden");
  Hidden->SetVisible(false);
  auto* B = new TMenuItem(&P);
  B->SetCaption(u"&Beta");
  B->SetShortCut(static_cast<TShortCut>('B' | scCtrl));
  B->OnClick = [&](TObject* S) {
    Log.push_back(S == B ? "beta" : "beta from another");
    Log.push_back(GtTrackedMenu() ? "menu still there" : "menu gone");
  };
  P.Items()->Add(A);
  P.Items()->Add(Hidden);
  P.Items()->Add(B);
  HWND F = Form->Handle();
  Soon([&] {
    Log.push_back("keys");
    Keys(F, {VK_DOWN, VK_DOWN, VK_RETURN});
  });
  P.Popup(200, 150);
  EXPECT_EQ(Log, (std::vector<std::string>{"popup", "keys", "beta", "menu gone"}));
  EXPECT_EQ(P.PopupPoint(), TPoint(200, 150));

  // The shortcut reaches the item without the menu.
  Log.clear();
  TMessage K;
  K.Msg = WM_KEYDOWN;
  K.WParam = 'B';
  GtTestKey(F, true, VK_CONTROL);
  EXPECT_TRUE(P.IsShortCut(K));
  GtTestKey(F, false, VK_CONTROL);
  EXPECT_EQ(Log.size(), 2u);
  K.WParam = 'A';
  EXPECT_FALSE(P.IsShortCut(K));
  P.Items()->Clear();
  EXPECT_EQ(P.Items()->Count(), 0);
}

TEST_F(MenuUi, ItemFollowsItsActionUntilItChangesThePropertyItself) {
  TCustomAction Act(Form.get());
  Act.SetCaption(u"Save");
  Act.SetShortCut(static_cast<TShortCut>('S' | scCtrl));
  Integer Runs = 0;
  Act.OnExecute = [&](TObject*) { ++Runs; };
  TPopupMenu P(Form.get());
  auto* I = new TMenuItem(&P);
  P.Items()->Add(I);
  I->SetAction(&Act);
  EXPECT_EQ(I->Caption(), u"Save");
  EXPECT_EQ(I->ShortCut(), static_cast<TShortCut>('S' | scCtrl));
  Act.SetCaption(u"Save as");
  Act.SetEnabled(false);
  EXPECT_EQ(I->Caption(), u"Save as");
  EXPECT_FALSE(I->Enabled());
  I->SetCaption(u"Own");
  Act.SetCaption(u"Save again");
  EXPECT_EQ(I->Caption(), u"Own");  // no longer shared with the action
  Act.SetEnabled(true);
  I->Click();
  EXPECT_EQ(Runs, 1);
}

// A control that records the context-menu requests it gets.
class TMenuProbe : public TCustomControl {
 public:
  explicit TMenuProbe(TComponent* AOwner) : TCustomControl(AOwner) {}
  std::vector<LPARAM> Requests;
  void WndProc(TMessage& M) override {
    if (M.Msg == WM_CONTEXTMENU) Requests.push_back(M.LParam);
    TCustomControl::WndProc(M);
  }
};

TEST_F(MenuUi, ShiftF10AsksForTheContextMenuAtTheKeyboardsPlace) {
  auto* Probe = new TMenuProbe(Form.get());
  Probe->SetBounds(30, 40, 100, 60);
  Probe->SetParent(Form.get());
  GtTestPump(10);
  Probe->SetFocus();
  GtTestPump(10);
  HWND H = Probe->Handle();
  GtTestKey(H, true, VK_SHIFT, gmkShift);
  GtTestKey(H, true, VK_F10, gmkShift);
  GtTestKey(H, false, VK_F10, gmkShift);
  GtTestKey(H, false, VK_SHIFT);
  GtTestPump(10);
  EXPECT_EQ(Probe->Requests, (std::vector<LPARAM>{-1}));

  // With a popup menu the request opens it at the control's corner.
  TPopupMenu P(Form.get());
  auto* I = new TMenuItem(&P);
  I->SetCaption(u"One");
  P.Items()->Add(I);
  Probe->SetPopupMenu(&P);
  TPoint Seen;
  P.OnPopup = [&](TObject*) {
    Seen = P.PopupPoint();
    Soon([H] { Keys(H, {VK_ESCAPE}); });
  };
  SendMessage(H, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(H), -1);
  EXPECT_EQ(Seen, Probe->ClientToScreen(TPoint(0, 0)));
  EXPECT_EQ(P.PopupComponent(), Probe);
  Probe->SetPopupMenu(nullptr);
}

TEST_F(MenuUi, SystemMenuStatesFollowTheWindow) {
  struct Case {
    const char* Name;
    TWindowState State;
    bool MinBox;
    std::vector<UINT> Greyed;
  };
  const Case Cases[] = {
      {"normal", wsNormal, true, {SC_RESTORE}},
      {"maximised", wsMaximized, true, {SC_MOVE, SC_SIZE, SC_MAXIMIZE}},
      {"minimised", wsMinimized, true, {SC_SIZE, SC_MINIMIZE}},
      {"no minimise box", wsNormal, false, {SC_RESTORE, SC_MINIMIZE}},
  };
  const UINT All[] = {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_CLOSE};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Form->SetWindowState(wsNormal);
    TBorderIcons Icons = Form->BorderIcons();
    if (C.MinBox)
      Icons.Include(biMinimize);
    else
      Icons.Exclude(biMinimize);
    Form->SetBorderIcons(Icons);
    Form->SetWindowState(C.State);
    GtTestPump(10);
    HMENU M = GetSystemMenu(Form->Handle(), FALSE);
    ASSERT_NE(M, nullptr);
    EXPECT_EQ(GetMenuItemCount(M), 7);
    std::vector<UINT> Greyed;
    for (UINT Id : All)
      if (GetMenuState(M, Id, MF_BYCOMMAND) & MF_GRAYED) Greyed.push_back(Id);
    EXPECT_EQ(Greyed, C.Greyed);
  }
  Form->SetWindowState(wsNormal);
  EXPECT_EQ(GetSystemMenu(Form->Handle(), TRUE), nullptr);
}

}  // namespace
}  // namespace menus_tests
