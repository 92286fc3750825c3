// The menu loop of popup menus: keys, typed accelerators, submenus, presses
// outside the menu, and the chosen item's click after the menu has gone.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <functional>
#include <string>
#include <vector>

#include "controls/tbmodal.h"
#include "controls/tbpopup.h"
#include "tests/controls/tbpopup_test_util.h"
#include "tests/platform/ui/uitest.h"

namespace test_tbmenuloop_tests {

namespace {

using gt_uitest::Soon;

using tbpopup_test::PopupOf;

struct TMenuFixture {
  TComponent Owner{nullptr};
  TTBRootItem* Root = new TTBRootItem(&Owner);
  std::vector<std::string> Log;
  bool PopupGoneAtClick = true;
  template <class T = TTBItem>
  T* Add(TTBCustomItem* Parent, const char16_t* Caption, const std::string& Name) {
    T* I = new T(&Owner);
    I->SetCaption(Caption);
    I->OnClick = [this, Name](TObject*) {
      Log.push_back(Name);
      // Opening a submenu clicks its item inside the menu; commands run after it.
      if (Name != "Recent" && PopupOf(Root)) PopupGoneAtClick = false;
    };
    Parent->Add(I);
    return I;
  }
  TTBCustomItem* Open = Add(Root, u"&Open", "Open");
  TTBSubmenuItem* Recent = Add<TTBSubmenuItem>(Root, u"&Recent", "Recent");
  TTBCustomItem* One = Add(Recent, u"&One", "One");
  TTBCustomItem* Two = Add(Recent, u"&Two", "Two");
  TTBCustomItem* Exit = Add(Root, u"E&xit", "Exit");
};

// Keys arrive at the focused window, as the user's would; the menu loop takes them from there.
HWND g_KeyWnd = nullptr;

void Keys(std::initializer_list<WORD> List, HWND Wnd = g_KeyWnd) {
  for (WORD K : List) {
    GtTestKey(Wnd, true, K, 0);
    GtTestKey(Wnd, false, K, 0);
  }
}

}  // namespace

class TbMenuLoop : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    GtTestActivate(Form->Handle());
    g_KeyWnd = Form->Handle();
  }
};

TEST_F(TbMenuLoop, KeysWalkIntoSubmenusAndTheClickRunsAfterTheMenu) {
  struct {
    const char* Name;
    std::vector<WORD> Keys;
    const char* Chosen;  // nullptr: the menu ends without a command
  } Cases[] = {
      {"enter on the first", {VK_RETURN}, "Open"},
      {"into the submenu", {VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN}, "Two"},
      {"escape closes one level", {VK_DOWN, VK_RIGHT, VK_ESCAPE, VK_UP, VK_RETURN}, "Open"},
      {"escape at the top ends", {VK_ESCAPE}, nullptr},
      {"up wraps to the last", {VK_UP, VK_RETURN}, "Exit"},
      {"end then home", {VK_END, VK_HOME, VK_RETURN}, "Open"},
      {"alt ends", {VK_MENU}, nullptr},
  };
  for (const auto& K : Cases) {
    TMenuFixture F;
    const std::vector<WORD> Seq = K.Keys;
    Soon([&F, Seq] {
      TTBPopupWindow* W = PopupOf(F.Root);
      if (!W) {
        ADD_FAILURE() << "no popup";
        PostMessage(nullptr, WM_CANCELMODE, 0, 0);
        return;
      }
      for (WORD Key : Seq) Keys({Key});
    });
    TTBCustomItem* Got = F.Root->PopupAt(true, false, TPoint(60, 60), paLeft, false);
    // Only opening the submenu clicked its item inside the loop; no command ran yet.
    for (const std::string& L : F.Log) EXPECT_EQ(L, "Recent") << K.Name;
    const size_t Before = F.Log.size();
    EXPECT_EQ(PopupOf(F.Root), nullptr) << K.Name;
    Application->ProcessMessages();
    if (K.Chosen) {
      ASSERT_NE(Got, nullptr) << K.Name;
      EXPECT_EQ(std::vector<std::string>(F.Log.begin() + Before, F.Log.end()), std::vector<std::string>{K.Chosen})
          << K.Name;
      EXPECT_TRUE(F.PopupGoneAtClick) << K.Name;
    } else {
      EXPECT_EQ(Got, nullptr) << K.Name;
      EXPECT_EQ(F.Log.size(), Before) << K.Name;
    }
  }
}

TEST_F(TbMenuLoop, TypedAcceleratorsChooseOrOnlySelect) {
  {
    TMenuFixture F;
    Soon([&F] { GtTestKey(g_KeyWnd, true, 'X', 0, u'x'); });
    EXPECT_EQ(F.Root->PopupAt(true, false, TPoint(60, 60), paLeft, true), F.Exit);
    Application->ProcessMessages();
    EXPECT_TRUE(F.Log.empty());  // returned only
  }
  {
    // Two items share "e" as first letter: the first after the selection is selected, not run.
    TMenuFixture F;
    F.Add(F.Root, u"Edit", "Edit");
    F.Add(F.Root, u"Erase", "Erase");
    WideString Selected;
    Soon([&F, &Selected] {
      TTBPopupWindow* W = PopupOf(F.Root);
      GtTestKey(g_KeyWnd, true, 'E', 0, u'e');
      Soon([&F, &Selected, W] {
        if (TTBItemViewer* V = W->View()->Selected()) Selected = V->Item()->Caption();
        Keys({VK_ESCAPE});
      });
    });
    EXPECT_EQ(F.Root->PopupAt(true, false, TPoint(60, 60), paLeft, false), nullptr);
    EXPECT_EQ(Selected, u"Edit");
  }
  {
    // With every item disabled, a disabled item's accelerator ends the menu.
    TMenuFixture F;
    for (TTBCustomItem* I : {F.Open, static_cast<TTBCustomItem*>(F.Recent), F.Exit}) I->SetEnabled(false);
    Soon([&F] { GtTestKey(g_KeyWnd, true, 'X', 0, u'x'); });
    EXPECT_EQ(F.Root->PopupAt(true, false, TPoint(60, 60), paLeft, false), nullptr);
  }
}

TEST_F(TbMenuLoop, APressOutsideEndsTheMenuAndReachesTheWindowThere) {
  auto* R = AddRecorder(200, 150, 60, 40);
  GtTestPump(10);
  HWND RH = R->Handle();
  TMenuFixture F;
  Soon([RH] { GtTestMouse(RH, gmaPress, gmbLeft, 5, 5); });
  EXPECT_EQ(F.Root->PopupAt(true, false, TPoint(20, 20), paLeft, false), nullptr);
  GtTestMouse(RH, gmaRelease, gmbLeft, 5, 5);
  GtTestPump(10);
  Application->ProcessMessages();
  EXPECT_TRUE(F.Log.empty());
  Integer Downs = 0;
  for (const TRecordedMouse& E : R->Mouse) Downs += E.Kind == "down";
  EXPECT_EQ(Downs, 1);
}

TEST_F(TbMenuLoop, ClickingAnItemChoosesItAndTheOpeningReleaseDoesNot) {
  TMenuFixture F;
  Soon([&F] {
    TTBPopupWindow* W = PopupOf(F.Root);
    TTBItemViewer* V = W->View()->FindViewer(F.Exit);
    const TPoint C(V->BoundsRect.Left + 5, V->BoundsRect.Top + 3);
    // The release of the right button that opened the menu, at the popup's
    // corner where the press was, leaves it open.
    GtTestMouse(W->Handle(), gmaRelease, gmbRight, -2, -2);
    GtTestMouse(W->Handle(), gmaMove, gmbNone, C.X, C.Y);
    GtTestMouse(W->Handle(), gmaPress, gmbLeft, C.X, C.Y);
    GtTestMouse(W->Handle(), gmaRelease, gmbLeft, C.X, C.Y);
    PostMessage(nullptr, WM_CANCELMODE, 0, 0);  // ends a loop that missed the click
  });
  GtTestMouse(Form->Handle(), gmaPress, gmbRight, 5, 5);
  EXPECT_EQ(F.Root->PopupAt(false, true, TPoint(100, 100), paLeft, false), F.Exit);
  Application->ProcessMessages();
  EXPECT_EQ(F.Log, (std::vector<std::string>{"Exit"}));
  MSG Left;
  while (PeekMessage(&Left, nullptr, WM_CANCELMODE, WM_CANCELMODE, PM_REMOVE)) {
  }
}

TEST_F(TbMenuLoop, AClickInASubmenuChoosesItsItem) {
  TMenuFixture F;
  bool Opened = false;
  Soon([&F, &Opened] {
    Keys({VK_DOWN, VK_RIGHT});  // opens "Recent" from the keyboard
    Soon([&F, &Opened] {
      TTBPopupWindow* W = PopupOf(F.Recent);
      Opened = W != nullptr;
      if (W) {
        TTBItemViewer* V = W->View()->FindViewer(F.Two);
        const TPoint C(V->BoundsRect.Left + 5, V->BoundsRect.Top + 3);
        GtTestMouse(W->Handle(), gmaMove, gmbNone, C.X, C.Y);
        GtTestMouse(W->Handle(), gmaPress, gmbLeft, C.X, C.Y);
        GtTestMouse(W->Handle(), gmaRelease, gmbLeft, C.X, C.Y);
      }
      PostMessage(nullptr, WM_CANCELMODE, 0, 0);  // ends a loop that missed the click
    });
  });
  TTBCustomItem* Got = F.Root->PopupAt(true, false, TPoint(60, 60), paLeft, false);
  EXPECT_TRUE(Opened);
  EXPECT_EQ(Got, F.Two) << "a press in the submenu is inside the menu";
  Application->ProcessMessages();
  EXPECT_EQ(F.Log, (std::vector<std::string>{"Recent", "Two"}));
  MSG Left;
  while (PeekMessage(&Left, nullptr, WM_CANCELMODE, WM_CANCELMODE, PM_REMOVE)) {
  }
}

TEST_F(TbMenuLoop, ViewTimersOpenAndCloseSubmenusOnlyInPopups) {
  TMenuFixture F;
  std::unique_ptr<TTBPopupWindow> W(F.Root->OpenPopup(nullptr, nullptr, false, false, false, TPoint(40, 40), paLeft));
  TTBPopupView* V = W->View();
  V->Select(V->FindViewer(F.Recent), true);  // by mouse: the open timer starts
  EXPECT_TRUE(V->TimerRunning(0));
  V->TimerFired(0);
  ASSERT_NE(V->OpenViewerView(), nullptr);
  EXPECT_EQ(V->OpenViewerView()->Selected(), nullptr);  // opened by the mouse: nothing selected
  V->Select(V->FindViewer(F.Exit), true);  // leaving an open submenu by mouse: the close timer
  EXPECT_TRUE(V->TimerRunning(1));
  EXPECT_NE(V->OpenPopupWindow(), nullptr);
  V->TimerFired(1);
  EXPECT_EQ(V->OpenPopupWindow(), nullptr);

  // A toolbar view never runs timers.
  TTBView Toolbar(nullptr, nullptr, F.Root, Form.get(), true, false, false);
  Toolbar.SetState(TTBViewState(Toolbar.State()).Include(vsModal));
  Toolbar.Select(Toolbar.FindViewer(F.Open), true);
  for (Integer I = 0; I <= 3; ++I) EXPECT_FALSE(Toolbar.TimerRunning(I));
}

TEST_F(TbMenuLoop, PopupMenuComponentFiresOnPopupAndReturnsTheItem) {
  TComponent Owner(nullptr);
  auto* Menu = new TTBPopupMenu(&Owner);
  Menu->SetTrackButton(tbLeftButton);
  Integer Popups = 0, Clicks = 0;
  Menu->OnPopup = [&](TObject*) { ++Popups; };
  auto* Item = new TTBItem(&Owner);
  Item->SetCaption(u"&Copy");
  Item->OnClick = [&](TObject*) { ++Clicks; };
  Menu->Items()->Add(Item);
  Soon([] {
    GtTestKey(g_KeyWnd, true, 'C', 0, u'c');
  });
  EXPECT_EQ(Menu->PopupEx(80, 80, true), Item);
  EXPECT_EQ(Menu->PopupPoint(), TPoint(80, 80));
  EXPECT_EQ(Popups, 1);
  Application->ProcessMessages();
  EXPECT_EQ(Clicks, 0);
}

}  // namespace test_tbmenuloop_tests
