// Accessibility objects of bars, menus and their items, called the way a
// screen reader calls them: roles, names, states, shortcuts, default
// actions, children and navigation; objects kept after their bar has gone;
// the default action that returns before the menu runs; and the object list
// when owners and clients let go on two threads at once.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <atomic>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "controls/tbacc.h"
#include "controls/tbdock.h"
#include "controls/tbpopup.h"
#include "controls/tbtoolbar.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/winuser.h"
#include "tests/controls/tbpopup_test_util.h"
#include "tests/platform/ui/uitest.h"

namespace test_tbacc_tests {

using gt_uitest::Soon;
using tbpopup_test::PopupOf;

const VARIANT Self = VARIANT::I4(CHILDID_SELF);

std::string Hex(HRESULT R) {
  char B[16];
  std::snprintf(B, sizeof B, "%08X", static_cast<unsigned>(R));
  return B;
}

LONG RoleOf(IAccessible* Obj) {
  VARIANT R;
  EXPECT_EQ(Obj->get_accRole(Self, R), S_OK);
  EXPECT_EQ(R.vt, VT_I4);
  return R.lVal;
}

LONG StateOf(IAccessible* Obj) {
  VARIANT S;
  EXPECT_EQ(Obj->get_accState(Self, S), S_OK);
  EXPECT_EQ(S.vt, VT_I4);
  return S.lVal;
}

WideString NameOf(IAccessible* Obj) {
  WideString N;
  EXPECT_EQ(Obj->get_accName(Self, N), S_OK);
  return N;
}

// A shown, active form with a menu bar (File, Edit, Help) and a tool bar of
// five buttons in its top dock.
class TbAcc : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Form->SetBounds(40, 40, 480, 300);
    Dock = new TTBDock(Form.get());
    Dock->SetParent(Form.get());
    MenuBar = new TTBToolbar(Form.get());
    MenuBar->SetCaption(u"Menu");
    MenuBar->SetMenuBar(true);
    File = Add<TTBSubmenuItem>(MenuBar->Items(), u"&File");
    New = Add(File, u"&New");
    New->SetShortCut(ShortCut('N', TShiftState{ssCtrl}));
    Save = Add(File, u"&Save\tCtrl+S");
    File->Add(new TTBSeparatorItem(Form.get()));
    Add(File, u"E&xit");
    Edit = Add<TTBSubmenuItem>(MenuBar->Items(), u"&Edit");
    Add(Edit, u"&Copy");
    Help = Add(MenuBar->Items(), u"&Help");
    MenuBar->SetCurrentDock(Dock);
    Tools = new TTBToolbar(Form.get());
    Tools->SetCaption(u"Tools");
    for (const char16_t* C : {u"&Print", u"Two", u"Three", u"Four", u"Five"}) Buttons.push_back(Add(Tools->Items(), C));
    Buttons[0]->SetShortCut(ShortCut('P', TShiftState{ssCtrl}));
    Tools->SetDockRow(1);
    Tools->SetCurrentDock(Dock);
    GtTestPump(20);
    GtTestActivate(Form->Handle());
    MenuView()->EnsureLayout();
    ToolView()->EnsureLayout();
  }
  void TearDown() override {
    if (MenuBar) MenuView()->CloseChildPopups();
    UiTest::TearDown();
  }
  template <class T = TTBItem>
  T* Add(TTBCustomItem* Parent, const char16_t* Caption) {
    T* I = new T(Form.get());
    I->SetCaption(Caption);
    // Opening a submenu clicks its item; only commands are recorded.
    if constexpr (!std::is_same_v<T, TTBSubmenuItem>) I->OnClick = [this, I](TObject*) { Clicks.push_back(I); };
    Parent->Add(I);
    return I;
  }
  TTBView* MenuView() { return MenuBar->View(); }
  TTBView* ToolView() { return Tools->View(); }
  TTBItemViewer* ViewerOf(TTBView* V, TTBCustomItem* Item) {
    TTBItemViewer* Vw = V->FindViewer(Item);
    EXPECT_NE(Vw, nullptr);
    return Vw;
  }
  TAccRef ObjectOf(TTBView* V, TTBCustomItem* Item) { return TAccRef(ViewerOf(V, Item)->AccessibleObject()); }
  // Opens File's submenu from the menu bar, outside a menu loop.
  TTBView* OpenFile() {
    MenuView()->Select(ViewerOf(MenuView(), File), false);
    EXPECT_TRUE(MenuView()->OpenSubmenu(false));
    TTBView* P = MenuView()->OpenViewerView();
    EXPECT_NE(P, nullptr);
    if (P) P->EnsureLayout();
    return P;
  }

  TTBDock* Dock = nullptr;
  TTBToolbar* MenuBar = nullptr;
  TTBToolbar* Tools = nullptr;
  TTBCustomItem *File = nullptr, *New = nullptr, *Save = nullptr, *Edit = nullptr, *Help = nullptr;
  std::vector<TTBCustomItem*> Buttons;
  std::vector<TTBCustomItem*> Clicks;
};

TEST_F(TbAcc, ViewObjectsAnswerByKind) {
  TTBView* Popup = OpenFile();
  ASSERT_NE(Popup, nullptr);
  struct {
    const char* Kind;
    TTBView* View;
    LONG Role;
    WideString Name;
    HRESULT ShortcutResult;
    WideString Shortcut;
  } Cases[] = {
      {"menu bar", MenuView(), ROLE_SYSTEM_MENUBAR, u"Menu", S_OK, AltKeyName()},
      {"tool bar", ToolView(), ROLE_SYSTEM_TOOLBAR, u"Tools", S_FALSE, u""},
      {"popup", Popup, ROLE_SYSTEM_MENUPOPUP, u"File", S_FALSE, u""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Kind);
    TAccRef Obj(C.View->AccessibleObject());
    ASSERT_TRUE(Obj);
    EXPECT_EQ(RoleOf(Obj.get()), C.Role);
    EXPECT_EQ(NameOf(Obj.get()), C.Name);
    EXPECT_EQ(StateOf(Obj.get()), 0);
    WideString S = u"junk";
    EXPECT_EQ(Obj->get_accKeyboardShortcut(Self, S), C.ShortcutResult);
    EXPECT_EQ(S, C.Shortcut);
    // Where the view is on the screen: its window's rectangle.
    TRect W;
    GetWindowRect(C.View->Window()->Handle(), &W);
    LONG L, T, Wd, H;
    ASSERT_EQ(Obj->accLocation(L, T, Wd, H, Self), S_OK);
    EXPECT_EQ(TRect(L, T, L + Wd, T + H), W);
    // What a view does not have.
    for (auto Get : {&IAccessible::get_accValue, &IAccessible::get_accDescription, &IAccessible::get_accHelp,
                     &IAccessible::get_accDefaultAction}) {
      WideString Out = u"junk";
      EXPECT_EQ((Obj.get()->*Get)(Self, Out), S_FALSE);
      EXPECT_TRUE(Out.empty());
    }
    EXPECT_EQ(Obj->accSelect(SELFLAG_TAKEFOCUS, Self), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Obj->accDoDefaultAction(Self), S_FALSE);
    // Only the view itself has a role, name and location.
    for (const VARIANT& Bad : {VARIANT::I4(1), VARIANT::I4(-1), VARIANT()}) {
      VARIANT R;
      WideString N;
      EXPECT_EQ(Obj->get_accRole(Bad, R), E_INVALIDARG);
      EXPECT_EQ(R.vt, VT_EMPTY);
      EXPECT_EQ(Obj->get_accName(Bad, N), E_INVALIDARG);
      EXPECT_EQ(Obj->accLocation(L, T, Wd, H, Bad), E_INVALIDARG);
    }
  }
  // A submenu's parent is the viewer that opened it; a bar's is its window.
  TAccRef Parent;
  ASSERT_EQ(TAccRef(Popup->AccessibleObject())->get_accParent(Parent), S_OK);
  EXPECT_EQ(Parent.get(), ViewerOf(MenuView(), File)->AccObject());
  ASSERT_EQ(TAccRef(MenuView()->AccessibleObject())->get_accParent(Parent), S_OK);
  HWND Wnd = nullptr;
  ASSERT_EQ(Parent->GetWindow(Wnd), S_OK);
  EXPECT_EQ(Wnd, MenuBar->Handle());
  EXPECT_EQ(RoleOf(Parent.get()), ROLE_SYSTEM_WINDOW);
}

TEST_F(TbAcc, ViewChildrenAreTheReachableViewersAndBadNumbersAreRefused) {
  TTBView* V = ToolView();
  // Two hides its item; Four did not fit and is reached through the chevron.
  Buttons[1]->SetVisible(false);
  V->EnsureLayout();
  TTBItemViewer* Four = ViewerOf(V, Buttons[3]);
  Four->Show = false;
  Four->OffEdge = true;
  TAccRef Obj(V->AccessibleObject());
  LONG Count = -1;
  ASSERT_EQ(Obj->get_accChildCount(Count), S_OK);
  EXPECT_EQ(Count, 4);

  const ULONG Refs = static_cast<TTBViewAccObject*>(Obj.get())->RefCount();
  TAccRef Got;
  ASSERT_EQ(Obj->get_accChild(VARIANT::I4(0), Got), S_OK);
  EXPECT_EQ(Got.get(), Obj.get());
  EXPECT_EQ(static_cast<TTBViewAccObject*>(Obj.get())->RefCount(), Refs + 1) << "the caller's reference";
  Got.reset();

  const TTBCustomItem* Expected[] = {Buttons[0], Buttons[2], Buttons[3], Buttons[4]};
  for (LONG N = 1; N <= 4; ++N) {
    ASSERT_EQ(Obj->get_accChild(VARIANT::I4(N), Got), S_OK) << N;
    auto* Item = dynamic_cast<TTBItemViewerAccObject*>(Got.get());
    ASSERT_NE(Item, nullptr) << N;
    EXPECT_EQ(Item->OwnerViewer()->Item(), Expected[N - 1]) << N;
  }
  for (const VARIANT& Bad : {VARIANT::I4(-1), VARIANT::I4(Count + 1), VARIANT::I4(-2147483647 - 1), VARIANT()}) {
    Got = TAccRef(Obj.get());
    EXPECT_EQ(Obj->get_accChild(Bad, Got), E_INVALIDARG) << Bad.lVal;
    EXPECT_FALSE(Got) << "cleared first";
  }

  // First and last child; other directions have nothing for a view.
  VARIANT End;
  ASSERT_EQ(Obj->accNavigate(NAVDIR_FIRSTCHILD, Self, End), S_OK);
  ASSERT_EQ(End.vt, VT_DISPATCH);
  EXPECT_EQ(End.pdispVal.get(), ViewerOf(V, Buttons[0])->AccObject());
  ASSERT_EQ(Obj->accNavigate(NAVDIR_LASTCHILD, Self, End), S_OK);
  EXPECT_EQ(End.pdispVal.get(), ViewerOf(V, Buttons[4])->AccObject());
  EXPECT_EQ(Obj->accNavigate(NAVDIR_NEXT, Self, End), S_FALSE);
  EXPECT_EQ(End.vt, VT_EMPTY);

  // Hit testing: a button, the bar's own margin, and a point outside it.
  TTBItemViewer* Three = ViewerOf(V, Buttons[2]);
  TPoint P(Three->BoundsRect.Left + 2, Three->BoundsRect.Top + 2);
  ClientToScreen(Tools->Handle(), &P);
  ASSERT_EQ(Obj->accHitTest(P.X, P.Y, End), S_OK);
  ASSERT_EQ(End.vt, VT_DISPATCH);
  EXPECT_EQ(End.pdispVal.get(), Three->AccObject());
  TRect W;
  GetWindowRect(Tools->Handle(), &W);
  EXPECT_EQ(Obj->accHitTest(W.Right + 5, W.Top, End), S_FALSE);
}

TEST_F(TbAcc, ItemStatesFollowTheViewerAndItsItem) {
  TTBView* V = ToolView();
  Buttons[1]->SetEnabled(false);
  Buttons[2]->SetChecked(true);
  TTBItemViewer* Four = ViewerOf(V, Buttons[3]);
  Four->Show = false;
  Four->OffEdge = true;
  OpenFile();
  struct {
    const char* Kind;
    TTBView* View;
    TTBCustomItem* Item;
    LONG State;
  } Cases[] = {
      {"plain", V, Buttons[0], STATE_SYSTEM_FOCUSABLE},
      {"disabled", V, Buttons[1], STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_UNAVAILABLE},
      {"checked", V, Buttons[2], STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_CHECKED},
      {"off the edge", V, Buttons[3], STATE_SYSTEM_INVISIBLE},
      {"submenu open", MenuView(), File, STATE_SYSTEM_HOTTRACKED | STATE_SYSTEM_HASPOPUP | STATE_SYSTEM_FOCUSABLE},
      {"submenu closed", MenuView(), Edit, STATE_SYSTEM_HASPOPUP | STATE_SYSTEM_FOCUSABLE},
  };
  for (const auto& C : Cases) EXPECT_EQ(StateOf(ObjectOf(C.View, C.Item).get()), C.State) << C.Kind;

  // In a running menu the selection also has the focus, and when the view
  // holds the mouse over it, it is pressed.
  TTBItemViewer* Plain = ViewerOf(V, Buttons[0]);
  V->Select(Plain, false);
  V->SetState(TTBViewState(V->State()).Include(vsModal));
  V->SetMouseOverSelected(true);
  V->SetCapture(true);
  EXPECT_EQ(StateOf(ObjectOf(V, Buttons[0]).get()), STATE_SYSTEM_HOTTRACKED | STATE_SYSTEM_FOCUSED |
                                                        STATE_SYSTEM_PRESSED | STATE_SYSTEM_FOCUSABLE);
  VARIANT Focus;
  EXPECT_EQ(ObjectOf(V, Buttons[0])->get_accFocus(Focus), S_OK);
  EXPECT_EQ(Focus.vt, VT_I4);
  EXPECT_EQ(ObjectOf(V, Buttons[2])->get_accFocus(Focus), S_FALSE);
  V->SetCapture(false);
  V->SetMouseOverSelected(false);
  V->SetState(TTBViewState(V->State()).Exclude(vsModal));
  V->Select(nullptr, false);

  // A disabled form: nothing on its bars takes input.
  EnableWindow(Form->Handle(), FALSE);
  EXPECT_EQ(StateOf(ObjectOf(V, Buttons[0]).get()), 0);
  WideString A;
  EXPECT_EQ(ObjectOf(V, Buttons[0])->get_accDefaultAction(Self, A), S_FALSE);
  EXPECT_EQ(ObjectOf(V, Buttons[0])->accSelect(SELFLAG_TAKEFOCUS, Self), E_FAIL);
  EnableWindow(Form->Handle(), TRUE);
}

TEST_F(TbAcc, ItemNamesShortcutsAndDefaultActions) {
  TTBView* Popup = OpenFile();
  ASSERT_NE(Popup, nullptr);
  Buttons[4]->SetEnabled(false);
  const WideString Alt = AltKeyName();
  EXPECT_EQ(Alt, u"Alt");
  struct {
    const char* Kind;
    TTBView* View;
    TTBCustomItem* Item;
    WideString Name;
    WideString Shortcut;  // empty: S_FALSE
    WideString Action;    // empty: S_FALSE
  } Cases[] = {
      {"menu command with a shortcut key", Popup, New, u"New\tCtrl+N", u"n", u"Execute"},
      {"menu command with a shortcut text", Popup, Save, u"Save\tCtrl+S", u"s", u"Execute"},
      {"menu bar title with its submenu open", MenuView(), File, u"File", Alt + u"+f", u"Close"},
      {"menu bar title", MenuView(), Edit, u"Edit", Alt + u"+e", u"Open"},
      {"menu bar command", MenuView(), Help, u"Help", Alt + u"+h", u"Execute"},
      {"button with a shortcut key (toolbar style)", ToolView(), Buttons[0], u"Print", Alt + u"+p", u"Press"},
      {"button without accelerator", ToolView(), Buttons[1], u"Two", u"", u"Press"},
      {"disabled button", ToolView(), Buttons[4], u"Five", u"", u""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Kind);
    TAccRef Obj = ObjectOf(C.View, C.Item);
    EXPECT_EQ(NameOf(Obj.get()), C.Name);
    WideString S = u"junk";
    EXPECT_EQ(Obj->get_accKeyboardShortcut(Self, S), C.Shortcut.empty() ? S_FALSE : S_OK);
    EXPECT_EQ(S, C.Shortcut);
    WideString A = u"junk";
    EXPECT_EQ(Obj->get_accDefaultAction(Self, A), C.Action.empty() ? S_FALSE : S_OK);
    EXPECT_EQ(A, C.Action);
  }
  EXPECT_EQ(RoleOf(ObjectOf(Popup, New).get()), ROLE_SYSTEM_MENUITEM);
  EXPECT_EQ(RoleOf(ObjectOf(ToolView(), Buttons[0]).get()), ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_EQ(RoleOf(TAccRef(Popup->Viewers(2)->AccessibleObject()).get()), ROLE_SYSTEM_SEPARATOR);
  EXPECT_EQ(ObjectOf(ToolView(), Buttons[4])->accDoDefaultAction(Self), E_FAIL);
  EXPECT_EQ(ObjectOf(ToolView(), Buttons[0])->accDoDefaultAction(VARIANT::I4(1)), E_INVALIDARG);

  // The open title has the submenu as its one child; performing "Close"
  // closes it instead of running anything.
  TAccRef FileObj = ObjectOf(MenuView(), File);
  LONG Count = 0;
  EXPECT_EQ(FileObj->get_accChildCount(Count), S_OK);
  EXPECT_EQ(Count, 1);
  TAccRef Sub;
  ASSERT_EQ(FileObj->get_accChild(VARIANT::I4(1), Sub), S_OK);
  EXPECT_EQ(Sub.get(), Popup->AccObject());
  EXPECT_EQ(FileObj->get_accChild(VARIANT::I4(2), Sub), E_INVALIDARG);
  EXPECT_EQ(FileObj->get_accChild(VARIANT::I4(-1), Sub), E_INVALIDARG);
  Sub.reset();
  ASSERT_EQ(FileObj->accDoDefaultAction(Self), S_OK);
  EXPECT_EQ(MenuView()->OpenViewer(), nullptr);
  Application->ProcessMessages();
  EXPECT_TRUE(Clicks.empty());
  EXPECT_EQ(FileObj->get_accChildCount(Count), S_OK);
  EXPECT_EQ(Count, 0);
}

TEST_F(TbAcc, NavigationSkipsHiddenItemsButReachesOffEdgeOnes) {
  TTBView* V = ToolView();
  Buttons[1]->SetVisible(false);
  V->EnsureLayout();
  TTBItemViewer* Four = ViewerOf(V, Buttons[3]);
  Four->Show = false;
  Four->OffEdge = true;
  struct {
    TTBCustomItem* From;
    LONG Dir;
    TTBCustomItem* To;  // nullptr: S_FALSE
  } Cases[] = {
      {Buttons[0], NAVDIR_NEXT, Buttons[2]},     {Buttons[0], NAVDIR_RIGHT, Buttons[2]},
      {Buttons[2], NAVDIR_DOWN, Buttons[3]},     {Buttons[3], NAVDIR_NEXT, Buttons[4]},
      {Buttons[4], NAVDIR_NEXT, nullptr},        {Buttons[4], NAVDIR_PREVIOUS, Buttons[3]},
      {Buttons[2], NAVDIR_UP, Buttons[0]},       {Buttons[2], NAVDIR_LEFT, Buttons[0]},
      {Buttons[0], NAVDIR_PREVIOUS, nullptr},    {Buttons[0], NAVDIR_FIRSTCHILD, nullptr},
      {Buttons[0], 0, nullptr},                  {Buttons[0], 99, nullptr},
  };
  for (const auto& C : Cases) {
    VARIANT End = VARIANT::I4(7);
    const HRESULT R = ObjectOf(V, C.From)->accNavigate(C.Dir, Self, End);
    const std::string What = WideToUtf8(C.From->Caption()) + " dir " + std::to_string(C.Dir);
    if (!C.To) {
      EXPECT_EQ(R, S_FALSE) << What;
      EXPECT_EQ(End.vt, VT_EMPTY) << What;
      continue;
    }
    ASSERT_EQ(R, S_OK) << What;
    ASSERT_EQ(End.vt, VT_DISPATCH) << What;
    EXPECT_EQ(End.pdispVal.get(), ViewerOf(V, C.To)->AccObject()) << What;
  }
  // Into an open submenu.
  TTBView* Popup = OpenFile();
  VARIANT End;
  ASSERT_EQ(ObjectOf(MenuView(), File)->accNavigate(NAVDIR_LASTCHILD, Self, End), S_OK);
  EXPECT_EQ(End.pdispVal.get(), Popup->AccObject());
  EXPECT_EQ(ObjectOf(MenuView(), File)->accNavigate(NAVDIR_NEXT, VARIANT::I4(2), End), E_INVALIDARG);
}

TEST_F(TbAcc, SelectTakesTheFocusFlagAlone) {
  TTBView* Popup = OpenFile();
  ASSERT_NE(Popup, nullptr);
  TAccRef SaveObj = ObjectOf(Popup, Save);
  for (LONG Flags : std::initializer_list<LONG>{0, SELFLAG_TAKESELECTION, SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION,
                     SELFLAG_TAKEFOCUS | SELFLAG_EXTENDSELECTION, 0x10, -1}) {
    EXPECT_EQ(SaveObj->accSelect(Flags, Self), E_INVALIDARG) << Flags;
    EXPECT_NE(Popup->Selected(), ViewerOf(Popup, Save)) << Flags;
  }
  EXPECT_EQ(SaveObj->accSelect(SELFLAG_TAKEFOCUS, VARIANT::I4(1)), E_INVALIDARG);
  ASSERT_EQ(SaveObj->accSelect(SELFLAG_TAKEFOCUS, Self), S_OK);
  EXPECT_EQ(Popup->Selected(), ViewerOf(Popup, Save));
  // A submenu queues nothing: no loop starts when the messages run.
  Application->ProcessMessages();
  EXPECT_FALSE(MenuView()->State().Contains(vsModal));
  EXPECT_TRUE(Clicks.empty());
}

TEST_F(TbAcc, DefaultActionReturnsBeforeTheMenuRunsAndThePostedActionRunsIt) {
  TAccRef FileObj = ObjectOf(MenuView(), File);
  ASSERT_EQ(FileObj->accDoDefaultAction(Self), S_OK);
  // The call has returned; no menu runs yet.
  EXPECT_FALSE(MenuView()->State().Contains(vsModal));
  EXPECT_EQ(PopupOf(File), nullptr);
  EXPECT_EQ(MenuView()->Selected(), ViewerOf(MenuView(), File));

  bool Modal = false;
  std::vector<WideString> Names;
  LONG PopupRole = 0;
  Soon([&] {
    Modal = MenuView()->State().Contains(vsModal);
    if (TTBPopupWindow* W = PopupOf(File)) {
      // The reader finds the menu through the title it opened.
      TAccRef Sub;
      if (FileObj->get_accChild(VARIANT::I4(1), Sub) == S_OK) {
        PopupRole = RoleOf(Sub.get());
        LONG N = 0;
        Sub->get_accChildCount(N);
        for (LONG I = 1; I <= N; ++I) {
          TAccRef C;
          if (Sub->get_accChild(VARIANT::I4(I), C) == S_OK) Names.push_back(NameOf(C.get()));
        }
      }
      (void)W;
    }
    // The menu ends as when another window takes the mouse; a message wakes the loop.
    ReleaseCapture();
    PostMessage(Form->Handle(), WM_NULL, 0, 0);
  });
  Application->ProcessMessages();
  EXPECT_TRUE(Modal);
  EXPECT_EQ(PopupRole, ROLE_SYSTEM_MENUPOPUP);
  EXPECT_EQ(Names, (std::vector<WideString>{u"New\tCtrl+N", u"Save\tCtrl+S", u"", u"Exit"}));
  EXPECT_FALSE(MenuView()->State().Contains(vsModal));
  EXPECT_EQ(PopupOf(File), nullptr);

  // A button's invoke runs its click once the menu loop it starts has ended
  // (the reader holds the object meanwhile).
  TAccRef Three = ObjectOf(ToolView(), Buttons[2]);
  ASSERT_EQ(Three->accDoDefaultAction(Self), S_OK);
  EXPECT_TRUE(Clicks.empty());
  Application->ProcessMessages();
  Application->ProcessMessages();
  EXPECT_EQ(Clicks, std::vector<TTBCustomItem*>{Buttons[2]});
}

TEST_F(TbAcc, ObjectsKeptAfterTheBarHasGoneAnswerFail) {
  TAccRef ViewObj(MenuView()->AccessibleObject());
  TAccRef ItemObj = ObjectOf(MenuView(), File);
  // A queued invoke whose viewer goes before it arrives does nothing.
  ASSERT_EQ(ObjectOf(MenuView(), Help)->accDoDefaultAction(Self), S_OK);
  const Integer Views = TBLiveViewAccObjects();
  delete MenuBar;
  MenuBar = nullptr;
  Application->ProcessMessages();
  EXPECT_TRUE(Clicks.empty());

  for (IAccessible* Obj : {ViewObj.get(), ItemObj.get()}) {
    TAccRef Out;
    LONG N = 5, L, T, W, H;
    VARIANT V;
    WideString S;
    EXPECT_EQ(Obj->get_accParent(Out), E_FAIL);
    EXPECT_EQ(Obj->get_accChildCount(N), E_FAIL);
    EXPECT_EQ(N, 0);
    EXPECT_EQ(Obj->get_accChild(VARIANT::I4(0), Out), E_FAIL);
    EXPECT_EQ(Obj->get_accName(Self, S), E_FAIL);
    EXPECT_EQ(Obj->get_accRole(Self, V), E_FAIL);
    EXPECT_EQ(Obj->get_accState(Self, V), E_FAIL);
    EXPECT_EQ(Obj->get_accKeyboardShortcut(Self, S), E_FAIL);
    EXPECT_EQ(Obj->accLocation(L, T, W, H, Self), E_FAIL);
    EXPECT_EQ(Obj->accNavigate(NAVDIR_FIRSTCHILD, Self, V), E_FAIL);
    EXPECT_EQ(Obj->accHitTest(100, 100, V), E_FAIL);
  }
  EXPECT_EQ(ItemObj->accDoDefaultAction(Self), E_FAIL);
  EXPECT_EQ(ItemObj->accSelect(SELFLAG_TAKEFOCUS, Self), E_FAIL);
  VARIANT F;
  EXPECT_EQ(ItemObj->get_accFocus(F), E_FAIL);

  // The objects end with their last client.
  EXPECT_EQ(TBLiveViewAccObjects(), Views);
  ViewObj.reset();
  ItemObj.reset();
  EXPECT_EQ(TBLiveViewAccObjects(), Views - 1);

  // An item object whose last client lets go while the viewer lives is
  // freed, and the viewer makes a new one when asked again.
  TTBItemViewer* V = ViewerOf(ToolView(), Buttons[0]);
  const Integer Before = TBLiveViewerAccObjects();
  {
    TAccRef Obj(V->AccessibleObject());
    EXPECT_EQ(TBLiveViewerAccObjects(), Before + 1);
  }
  EXPECT_EQ(V->AccObject(), nullptr);
  EXPECT_EQ(TBLiveViewerAccObjects(), Before);
  TAccRef Again(V->AccessibleObject());
  EXPECT_EQ(NameOf(Again.get()), u"Print");
}

TEST_F(TbAcc, WindowsHandOutTheirViewsObject) {
  TAccRef Obj;
  ASSERT_EQ(AccessibleObjectFromWindow(MenuBar->Handle(), OBJID_CLIENT, Obj), S_OK);
  EXPECT_EQ(Obj.get(), MenuView()->AccObject());
  EXPECT_EQ(RoleOf(Obj.get()), ROLE_SYSTEM_MENUBAR);
  // A window without an object of its own gets the standard client object.
  ASSERT_EQ(AccessibleObjectFromWindow(Dock->Handle(), OBJID_CLIENT, Obj), S_OK);
  EXPECT_EQ(RoleOf(Obj.get()), ROLE_SYSTEM_CLIENT);
  EXPECT_EQ(AccessibleObjectFromWindow(nullptr, OBJID_CLIENT, Obj), E_INVALIDARG);
  EXPECT_FALSE(Obj);
  // The popup of a running menu answers for its view too.
  TTBView* Popup = OpenFile();
  ASSERT_NE(Popup, nullptr);
  ASSERT_EQ(AccessibleObjectFromWindow(Popup->Window()->Handle(), OBJID_CLIENT, Obj), S_OK);
  EXPECT_EQ(Obj.get(), Popup->AccObject());
  MenuView()->CloseChildPopups();

  // A windowed control on a bar is its own window's object, as a child and
  // under the pointer.
  auto* Button = new TButton(Form.get());
  Button->SetBounds(0, 0, 50, 21);
  Button->SetParent(Tools);
  ToolView()->EnsureLayout();
  TAccRef Bar(ToolView()->AccessibleObject());
  LONG Count = 0;
  ASSERT_EQ(Bar->get_accChildCount(Count), S_OK);
  ASSERT_EQ(Count, 6);
  HWND Wnd = nullptr;
  ASSERT_EQ(Bar->get_accChild(VARIANT::I4(6), Obj), S_OK);
  ASSERT_EQ(Obj->GetWindow(Wnd), S_OK);
  EXPECT_EQ(Wnd, Button->Handle());
  TRect R;
  GetWindowRect(Button->Handle(), &R);
  VARIANT Hit;
  ASSERT_EQ(Bar->accHitTest(R.Left + 5, R.Top + 5, Hit), S_OK);
  ASSERT_EQ(Hit.vt, VT_DISPATCH);
  ASSERT_EQ(Hit.pdispVal->GetWindow(Wnd), S_OK);
  EXPECT_EQ(Wnd, Button->Handle());
}

// Clients on another thread let go of item objects while the GUI thread
// destroys the bars that own them: the list and the links stay sound. The
// counts check the list; the thread sanitizer reports a detach that reads
// the viewer's link outside the list lock.
TEST_F(TbAcc, OwnersAndClientsLettingGoOnTwoThreads) {
  const Integer Before = TBLiveViewerAccObjects();
  for (int Round = 0; Round < 20; ++Round) {
    auto* Bar = new TTBToolbar(Form.get());
    for (int I = 0; I < 30; ++I) Add(Bar->Items(), u"Item");
    Bar->SetDockRow(2);
    Bar->SetCurrentDock(Dock);
    Bar->View()->EnsureLayout();
    std::vector<TAccRef> Held;
    for (Integer I = 0; I < Bar->View()->ViewerCount(); ++I)
      Held.push_back(TAccRef(Bar->View()->Viewers(I)->AccessibleObject()));
    std::atomic<bool> Go{false};
    std::thread Client([&] {
      while (!Go.load()) std::this_thread::yield();
      for (TAccRef& R : Held) R.reset();
    });
    Go = true;
    delete Bar;
    Client.join();
    EXPECT_EQ(TBLiveViewerAccObjects(), Before) << Round;
  }
}

}  // namespace test_tbacc_tests
