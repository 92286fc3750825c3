// A main window as the program builds it: an MDI frame with a menu bar and a
// shortcut toolbar on its top dock and two children, each with a shortcut
// toolbar of its own. Synthetic keys show which toolbar takes a shortcut, and
// what Alt alone, Alt and a letter, and Alt and "-" do on the menu bar.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <memory>
#include <string>
#include <vector>

#include "controls/tbcommon.h"
#include "controls/tbdock.h"
#include "controls/tbpopup.h"
#include "controls/tbtoolbar.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/testsupport.h"
#include "platform/ui/winuser.h"
#include "tests/controls/tbpopup_test_util.h"
#include "tests/platform/ui/mdi_test_util.h"
#include "tests/platform/ui/uitest.h"

namespace test_tbtoolbarkeys_tests {

using gt_uitest::Soon;
using tbpopup_test::PopupOf;

class TbToolbarKeys : public mdi_test::MdiFrameTest {
 protected:
  void SetUp() override {
    MakeFrame();
    TTBDock* Top = new TTBDock(Frame.get());
    Top->SetParent(Frame.get());
    MenuBar = new TTBToolbar(Frame.get());
    MenuBar->SetMenuBar(true);
    File = Sub(MenuBar->Items(), u"&File", "File");
    Add(File, u"&New", "New");
    Add(File, u"&Save", "Save");
    File->Add(new TTBSeparatorItem(Frame.get()));
    Add(File, u"E&xit", "Exit");
    Edit = Sub(MenuBar->Items(), u"&Edit", "Edit");
    Add(Edit, u"&Copy", "Copy");
    MenuBar->SetCurrentDock(Top);
    MainBar = new TTBToolbar(Frame.get());
    MainBar->SetProcessShortCuts(true);
    Add(MainBar->Items(), u"Bold", "main bold", ShortCut('B', TShiftState{ssCtrl}));
    Add(MainBar->Items(), u"Mark", "main mark", ShortCut('M', TShiftState{ssCtrl}));
    MainBar->SetCurrentDock(Top);
    One = AddChild(u"One");
    OneBar = ChildBar(One, "one");
    Two = AddChild(u"Two");
    TwoBar = ChildBar(Two, "two");
    Add(TwoBar->Items(), u"Keep", "two keep", ShortCut('K', TShiftState{ssCtrl}));
    GtTestActivate(Frame->Handle());
    GtTestPump(20);
  }
  void TearDown() override {
    Application->ProcessMessages();
    mdi_test::MdiFrameTest::TearDown();
  }
  TTBCustomItem* Add(TTBCustomItem* Parent, const char16_t* Caption, const std::string& Name, TShortCut Key = 0) {
    auto* I = new TTBItem(Frame.get());
    I->SetCaption(Caption);
    I->SetShortCut(Key);
    I->OnClick = [this, Name](TObject*) {
      Log.push_back(Name);
      if (PopupOf(File) || PopupOf(Edit)) PopupGoneAtClick = false;
    };
    Parent->Add(I);
    return I;
  }
  TTBSubmenuItem* Sub(TTBCustomItem* Parent, const char16_t* Caption, const std::string& Name) {
    auto* I = new TTBSubmenuItem(Frame.get());
    I->SetCaption(Caption);
    I->OnPopup = [this, Name](TTBCustomItem*, bool) { Log.push_back("popup " + Name); };
    Parent->Add(I);
    return I;
  }
  // A docked toolbar on the child whose Ctrl+B is its own.
  TTBToolbar* ChildBar(TForm* Child, const std::string& Name) {
    auto* D = new TTBDock(Child);
    D->SetParent(Child);
    auto* T = new TTBToolbar(Child);
    T->SetProcessShortCuts(true);
    Add(T->Items(), u"Bold", Name + " bold", ShortCut('B', TShiftState{ssCtrl}));
    T->SetCurrentDock(D);
    return T;
  }
  // A key pressed and released in the frame, as the user types it; the
  // focused window receives it.
  void Type(WORD Key, Cardinal Mods, WideChar Text = 0) {
    GtTestKey(Frame->Handle(), true, Key, Mods, Text);
    GtTestKey(Frame->Handle(), false, Key, Mods);
    // The modifiers come up last, as the user lets go of them, so no later
    // test sees them still held.
    if (Mods & gmkCtrl) GtTestKey(Frame->Handle(), false, VK_CONTROL, Mods & ~gmkCtrl);
    if (Mods & gmkShift) GtTestKey(Frame->Handle(), false, VK_SHIFT, Mods & ~(gmkCtrl | gmkShift));
    if (Mods & gmkAlt) GtTestKey(Frame->Handle(), false, VK_MENU, 0);
    Application->ProcessMessages();
  }
  void AltAlone() {
    GtTestKey(Frame->Handle(), true, VK_MENU, gmkAlt);
    GtTestKey(Frame->Handle(), false, VK_MENU, 0);
    Application->ProcessMessages();
  }
  TTBToolbar* MenuBar = nullptr;
  TTBToolbar* MainBar = nullptr;
  TTBSubmenuItem* File = nullptr;
  TTBSubmenuItem* Edit = nullptr;
  TForm* One = nullptr;
  TForm* Two = nullptr;
  TTBToolbar* OneBar = nullptr;
  TTBToolbar* TwoBar = nullptr;
  std::vector<std::string> Log;
  bool PopupGoneAtClick = true;
};

TEST_F(TbToolbarKeys, ShortcutsGoToTheActiveChildFirstThenTheFrame) {
  ASSERT_TRUE(MainBar->ShortcutsRegistered());
  ASSERT_TRUE(OneBar->ShortcutsRegistered());
  struct {
    TForm* Active;
    WORD Key;
    const char* Taker;  // nullptr: nobody takes it
  } Cases[] = {
      {Two, 'B', "two bold"},
      {Two, 'K', "two keep"},
      {Two, 'M', "main mark"},  // the child has none: the frame's toolbar
      {Two, 'Q', nullptr},
      // The other child active: its own Ctrl+B; Ctrl+K belongs to a child
      // that is not active and is no one's now.
      {One, 'B', "one bold"},
      {One, 'K', nullptr},
      {One, 'M', "main mark"},
  };
  auto Run = [&](TForm* Active, WORD Key, const char* Taker) {
    Active->Show();
    GtTestPump(10);
    ASSERT_EQ(Frame->ActiveMDIChild(), Active);
    ASSERT_EQ(Screen->ActiveCustomForm(), Active);
    Log.clear();
    Type(Key, gmkCtrl);
    if (Taker)
      EXPECT_EQ(Log, std::vector<std::string>{Taker}) << "Ctrl+" << char(Key);
    else
      EXPECT_TRUE(Log.empty()) << "Ctrl+" << char(Key) << " taken by " << (Log.empty() ? "" : Log[0]);
  };
  for (const auto& C : Cases) Run(C.Active, C.Key, C.Taker);
  // A toolbar's handler is asked before its items are searched.
  bool Asked = false;
  OneBar->OnShortCut = [&](TMessage&, bool& Handled) {
    Asked = true;
    Handled = true;
  };
  Run(One, 'B', nullptr);
  EXPECT_TRUE(Asked) << "the handler took the key before the items were searched";
  OneBar->OnShortCut = nullptr;
  // A toolbar that stops processing shortcuts leaves the key to the next form.
  OneBar->SetProcessShortCuts(false);
  EXPECT_FALSE(OneBar->ShortcutsRegistered());
  Run(One, 'B', "main bold");
  // A disabled item does not take its key: the frame's toolbar gets it.
  OneBar->SetProcessShortCuts(true);
  OneBar->Items()->Items(0)->SetEnabled(false);
  Run(One, 'B', "main bold");
}

TEST_F(TbToolbarKeys, AltAloneSelectsTheFirstMenuItemAndShowsAccelerators) {
  ASSERT_TRUE(MenuBar->View()->Style().Contains(vstHideAccelsUntilAlt));
  struct {
    TTBItemViewer* Selected = nullptr;
    bool Modal = false, Accels = false, Called = false;
  } Seen;
  Soon([&] {
    TTBView* V = MenuBar->View();
    Seen.Called = true;
    Seen.Selected = V->Selected();
    Seen.Modal = V->State().Contains(vsModal);
    Seen.Accels = V->State().Contains(vsShowAccels);
    GtTestKey(Frame->Handle(), true, VK_ESCAPE, 0);
    GtTestKey(Frame->Handle(), false, VK_ESCAPE, 0);
  });
  const Integer Beeps = GtTestBeepCount();
  AltAlone();
  GtTestPump(20);
  ASSERT_TRUE(Seen.Called);
  EXPECT_TRUE(Seen.Modal) << "Alt alone enters the menu loop";
  ASSERT_NE(Seen.Selected, nullptr);
  EXPECT_EQ(Seen.Selected->Item(), File);
  EXPECT_TRUE(Seen.Accels);
  EXPECT_FALSE(MenuBar->View()->State().Contains(vsModal)) << "Escape ended it";
  // The underlines go back to what the desktop asks for.
  EXPECT_EQ(MenuBar->View()->State().Contains(vsShowAccels), KeyboardCuesShown());
  EXPECT_EQ(GtTestBeepCount(), Beeps);
  EXPECT_TRUE(Log.empty());
}

TEST_F(TbToolbarKeys, AltAndALetterOpensItsMenuAndTheChosenCommandRunsOnceAfterIt) {
  bool SawPopup = false;
  Soon([&] {
    SawPopup = PopupOf(File) != nullptr;
    for (WORD K : {WORD(VK_DOWN), WORD(VK_RETURN)}) {
      GtTestKey(Frame->Handle(), true, K, 0);
      GtTestKey(Frame->Handle(), false, K, 0);
    }
  });
  Type('F', gmkAlt, u'f');
  GtTestPump(20);
  EXPECT_TRUE(SawPopup);
  EXPECT_EQ(PopupOf(File), nullptr);
  EXPECT_EQ(Log, (std::vector<std::string>{"popup File", "Save"}));
  EXPECT_TRUE(PopupGoneAtClick);
  EXPECT_FALSE(MenuBar->View()->State().Contains(vsModal));
}

TEST_F(TbToolbarKeys, AClickOnAMenuOpensItAndAClickInItRunsTheCommandOnceAfterIt) {
  TTBItemViewer* FileV = MenuBar->View()->FindViewer(File);
  ASSERT_NE(FileV, nullptr);
  const TPoint At(FileV->BoundsRect.Left + 5, FileV->BoundsRect.Top + 5);
  bool SawPopup = false;
  Soon([&] {
    GtTestMouse(MenuBar->Handle(), gmaRelease, gmbLeft, At.X, At.Y);
    TTBPopupWindow* W = PopupOf(File);
    SawPopup = W != nullptr;
    if (!W) {
      PostMessage(nullptr, WM_CANCELMODE, 0, 0);
      return;
    }
    TTBItemViewer* V = W->View()->FindViewer(File->Items(1));
    const TPoint P(V->BoundsRect.Left + 5, V->BoundsRect.Top + 3);
    GtTestMouse(W->Handle(), gmaMove, gmbNone, P.X, P.Y);
    GtTestMouse(W->Handle(), gmaPress, gmbLeft, P.X, P.Y);
    GtTestMouse(W->Handle(), gmaRelease, gmbLeft, P.X, P.Y);
    PostMessage(nullptr, WM_CANCELMODE, 0, 0);  // ends a loop that missed the click
  });
  GtTestMouse(MenuBar->Handle(), gmaPress, gmbLeft, At.X, At.Y);
  GtTestPump(20);
  EXPECT_TRUE(SawPopup);
  EXPECT_EQ(Log, (std::vector<std::string>{"popup File", "Save"}));
  EXPECT_TRUE(PopupGoneAtClick);
  MSG Left;
  while (PeekMessage(&Left, nullptr, WM_CANCELMODE, WM_CANCELMODE, PM_REMOVE)) {
  }
}

TEST_F(TbToolbarKeys, AltAndALetterOnAToolbarClicksTheItemItUnderlines) {
  TwoBar->Items()->Items(1)->SetCaption(u"&Keep");
  Two->Show();
  GtTestPump(10);
  const Integer Beeps = GtTestBeepCount();
  Type('K', gmkAlt, u'k');
  GtTestPump(10);
  EXPECT_EQ(Log, std::vector<std::string>{"two keep"});
  EXPECT_EQ(GtTestBeepCount(), Beeps);
  EXPECT_FALSE(TwoBar->View()->State().Contains(vsModal));
  // A letter no item underlines opens nothing on a toolbar; the menu bar
  // knows no such menu either and says so.
  Log.clear();
  Type('Z', gmkAlt, u'z');
  GtTestPump(10);
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(GtTestBeepCount(), Beeps + 1);
}

TEST_F(TbToolbarKeys, AltAndMinusIsLeftToTheSystemWithoutABeep) {
  const Integer Beeps = GtTestBeepCount();
  Type(VK_OEM_MINUS, gmkAlt, u'-');
  GtTestPump(10);
  EXPECT_EQ(GtTestBeepCount(), Beeps) << "no beep";
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(MenuBar->View()->Selected(), nullptr) << "the menu bar did not take it";

  // The key-menu command as the menu bar receives it: what counts as taken.
  struct {
    LPARAM Key;
    WPARAM Command;
    LRESULT Result;
    Integer Beeps;
  } Cases[] = {
      {'-', SC_KEYMENU, 0, 0},     // the system's: an MDI child's window menu
      {' ', SC_KEYMENU, 0, 0},     // the window menu, never the menu bar's
      {'q', SC_KEYMENU, 1, 1},     // no such accelerator: taken with a beep
      {0, SC_MINIMIZE, 0, 0},      // other system commands are not a toolbar's
      {0, SC_CLOSE, 0, 0},
  };
  for (const auto& C : Cases) {
    const Integer Before = GtTestBeepCount();
    EXPECT_EQ(MenuBar->Perform(WM_SYSCOMMAND, C.Command, C.Key), C.Result) << "key " << C.Key;
    EXPECT_EQ(GtTestBeepCount() - Before, C.Beeps) << "key " << C.Key;
  }
  EXPECT_TRUE(MenuBar->Visible()) << "SC_MINIMIZE and SC_CLOSE did nothing to the bar";
  EXPECT_TRUE(Log.empty());
}

TEST_F(TbToolbarKeys, AltAndAKeyInTheMdiClientIsHandedToTheFrame) {
  // A retrieved Alt+key addressed to the client (or Alt+"-" to a child in
  // it) goes to the frame, whose menu bar opens the menu.
  bool SawPopup = false;
  Soon([&] {
    SawPopup = PopupOf(Edit) != nullptr;
    GtTestKey(Frame->Handle(), true, VK_ESCAPE, 0);
    GtTestKey(Frame->Handle(), false, VK_ESCAPE, 0);
    GtTestKey(Frame->Handle(), true, VK_ESCAPE, 0);
    GtTestKey(Frame->Handle(), false, VK_ESCAPE, 0);
  });
  PostMessage(Frame->ClientHandle(), WM_SYSCHAR, 'e', 0);
  GtTestPump(50);
  EXPECT_TRUE(SawPopup);
  EXPECT_EQ(Log, (std::vector<std::string>{"popup Edit"}));

  // The rule itself, on messages as the hook sees them.
  struct {
    HWND Target;
    WPARAM Char;
    bool ToFrame;
  } Cases[] = {
      {Frame->ClientHandle(), 'e', true},
      {One->Handle(), '-', true},
      {One->Handle(), 'e', false},
      {OneBar->Handle(), '-', true},
      {MainBar->Handle(), '-', false},  // not inside the client
  };
  for (const auto& C : Cases) {
    PostMessage(C.Target, WM_SYSCHAR, C.Char, 0);
    MSG Got{};
    ASSERT_TRUE(PeekMessage(&Got, nullptr, WM_SYSCHAR, WM_SYSCHAR, PM_REMOVE));
    EXPECT_EQ(Got.hwnd, C.ToFrame ? Frame->Handle() : C.Target) << "char " << char(C.Char);
  }
}

TEST_F(TbToolbarKeys, TheMenuBarsHookAndShortcutRegistrationEndWithIt) {
  Type('M', gmkCtrl);
  ASSERT_EQ(Log, std::vector<std::string>{"main mark"});
  delete MainBar;
  MainBar = nullptr;
  Log.clear();
  Type('M', gmkCtrl);
  EXPECT_TRUE(Log.empty()) << "a freed toolbar is asked no more";
  delete MenuBar;
  MenuBar = nullptr;
  PostMessage(Frame->ClientHandle(), WM_SYSCHAR, 'e', 0);
  MSG Got{};
  ASSERT_TRUE(PeekMessage(&Got, nullptr, WM_SYSCHAR, WM_SYSCHAR, PM_REMOVE));
  EXPECT_EQ(Got.hwnd, Frame->ClientHandle()) << "no menu bar: nothing is redirected";
}

}  // namespace test_tbtoolbarkeys_tests
