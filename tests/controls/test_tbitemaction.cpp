// Items bound to actions, the click decision and the shortcut search and
// execution of item trees.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <string>
#include <vector>

#include "controls/tbitemaction.h"
#include "platform/ui/forms.h"

namespace test_tbitemaction_tests {

namespace {

struct TTree {
  TComponent Owner{nullptr};
  template <class T = TTBItem>
  T* Make(const char* Name, TTBCustomItem* Parent = nullptr) {
    T* I = new T(&Owner);
    I->SetName(W(Name));
    if (Parent) Parent->Add(I);
    return I;
  }
};

TMessage KeyMessage(TShortCut S) {
  TMessage M;
  M.Msg = WM_KEYDOWN;
  M.WParam = S & 0xFF;
  // Ctrl and Shift come from the keyboard state; Alt from bit 29 of the key data.
  M.LParam = (S & scAlt) ? (1 << 29) : 0;
  return M;
}

TEST(TbItemAction, AssigningCopiesAllTenValuesAndFollowsTheAction) {
  TTree T;
  TCustomAction A(nullptr);
  Integer Executed = 0;
  A.SetCaption(u"&Save");
  A.SetChecked(true);
  A.SetEnabled(false);
  A.SetHelpContext(12);
  A.SetHint(u"Save it");
  A.SetImageIndex(4);
  A.SetShortCut(scCtrl | 'S');
  A.SetVisible(false);
  A.SetAutoCheck(true);
  A.SetOnExecute([&](TObject*) { ++Executed; });

  TTBCustomItem* I = T.Make("I");
  I->SetAction(&A);
  EXPECT_EQ(I->Action(), &A);
  EXPECT_EQ(I->Caption(), u"&Save");
  EXPECT_TRUE(I->Checked());
  EXPECT_FALSE(I->Enabled());
  EXPECT_EQ(I->HelpContext(), 12);
  EXPECT_EQ(I->Hint(), u"Save it");
  EXPECT_EQ(I->ImageIndex(), 4);
  EXPECT_EQ(I->ShortCut(), scCtrl | 'S');
  EXPECT_FALSE(I->Visible());
  EXPECT_TRUE(I->AutoCheck());
  ASSERT_TRUE(I->OnClick);
  EXPECT_TRUE(IsActionExecuteHandler(I->OnClick, &A));
  // Everything comes from the action, so nothing goes to a form file.
  EXPECT_FALSE(I->IsCaptionStored());
  EXPECT_FALSE(I->IsOnClickStored());

  // Changing the caption on the item alone unlinks just the caption.
  I->SetCaption(u"Mine");
  EXPECT_TRUE(I->IsCaptionStored());
  EXPECT_FALSE(I->IsHintStored());
  A.SetCaption(u"Theirs");
  A.SetHint(u"New hint");
  EXPECT_EQ(I->Caption(), u"Mine");
  EXPECT_EQ(I->Hint(), u"New hint");

  // While loading, only the values still at their defaults are taken.
  TTBCustomItem* J = T.Make("J");
  J->SetCaption(u"Own");
  J->SetImageIndex(9);
  J->ApplyAction(&A, true);
  EXPECT_EQ(J->Caption(), u"Own");
  EXPECT_EQ(J->ImageIndex(), 9);
  EXPECT_EQ(J->Hint(), u"New hint");
  EXPECT_TRUE(J->Checked());

  // Freeing the action drops the link.
  {
    TCustomAction Short(nullptr);
    Short.SetCaption(u"x");
    J->SetAction(&Short);
    ASSERT_NE(J->ActionLink(), nullptr);
  }
  EXPECT_EQ(J->Action(), nullptr);
  EXPECT_EQ(J->ActionLink(), nullptr);
  I->SetAction(nullptr);
  EXPECT_EQ(Executed, 0);
}

TEST(TbItemAction, ClickDecisionOrder) {
  struct TCase {
    const char* Name;
    bool Enabled, AutoCheck, WithAction, ActionAutoCheck, OwnOnClick;
    const char* ExpectedCalls;
    bool ExpectedChecked;
  };
  const TCase Cases[] = {
      {"disabled does nothing", false, true, false, false, true, "", false},
      {"plain OnClick", true, false, false, false, true, "click", false},
      {"auto check toggles", true, true, false, false, false, "", true},
      {"action runs through the link", true, false, true, false, false, "execute", false},
      {"own OnClick wins over the action", true, false, true, false, true, "click", false},
      // the action toggles its own check; the item follows through the link
      {"linked auto check left to the action", true, true, true, true, false, "execute", true},
  };
  for (const auto& C : Cases) {
    TTree T;
    std::string Calls;
    TCustomAction A(nullptr);
    A.SetOnExecute([&](TObject*) { Calls += "execute"; });
    A.SetAutoCheck(C.ActionAutoCheck);
    TTBCustomItem* I = T.Make("I");
    if (C.WithAction) I->SetAction(&A);
    I->SetAutoCheck(C.AutoCheck);
    if (C.OwnOnClick) I->OnClick = [&](TObject* S) {
      EXPECT_EQ(S, I);
      Calls += "click";
    };
    I->SetEnabled(C.Enabled);
    I->Click();
    EXPECT_EQ(Calls, C.ExpectedCalls) << C.Name;
    EXPECT_EQ(I->Checked(), C.ExpectedChecked) << C.Name;
    I->SetAction(nullptr);
  }
}

TEST(TbItemShortCut, EnclosingSubmenusOpenInOrderBeforeTheClick) {
  TTree T;
  std::vector<std::string> Log;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  TTBCustomItem* A = T.Make<TTBSubmenuItem>("A", R);
  TTBCustomItem* B = T.Make<TTBSubmenuItem>("B", A);
  TTBCustomItem* I = T.Make("I", B);
  T.Make("Other", R)->SetShortCut(scCtrl | 'O');
  for (TTBCustomItem* X : {R, A, B, I}) {
    const std::string N = WideToUtf8(X->Name());
    X->OnPopup = [&, N](TTBCustomItem*, bool FromLink) { Log.push_back("popup " + N + (FromLink ? " link" : "")); };
    X->OnClick = [&, N](TObject*) { Log.push_back("click " + N); };
  }
  I->SetShortCut(scAlt | 'K');
  I->SetVisible(false);  // hidden items answer their shortcuts too

  TTBCustomItem* Top = nullptr;
  EXPECT_EQ(R->FindByShortCut(scAlt | 'K', Top), I);
  EXPECT_EQ(Top, A);
  EXPECT_EQ(B->FindByShortCut(scAlt | 'K', Top), I);
  EXPECT_EQ(Top, nullptr);
  EXPECT_EQ(R->FindByShortCut(scAlt | 'Q', Top), nullptr);

  EXPECT_TRUE(R->ExecuteShortCut(KeyMessage(scAlt | 'K')));
  EXPECT_EQ(Log, (std::vector<std::string>{"popup R", "click R", "popup A", "click A", "popup B", "click B",
                                           "click I"}));
  EXPECT_FALSE(R->ExecuteShortCut(KeyMessage(scAlt | 'Q')));

  // A disabled enclosing submenu stops the walk; a disabled target is found but not clicked.
  Log.clear();
  A->SetEnabled(false);
  EXPECT_FALSE(R->ExecuteShortCut(KeyMessage(scAlt | 'K')));
  EXPECT_EQ(Log, (std::vector<std::string>{"popup R", "click R"}));
  A->SetEnabled(true);
  I->SetEnabled(false);
  Log.clear();
  EXPECT_FALSE(R->ExecuteShortCut(KeyMessage(scAlt | 'K')));
  EXPECT_EQ(Log.back(), "click B");

  // A linked source opens first, as from the link.
  TTBCustomItem* Shared = T.Make("Shared");
  T.Make("Linked", Shared)->SetShortCut(scAlt | 'L');
  Shared->OnPopup = [&](TTBCustomItem* Sender, bool FromLink) {
    Log.push_back("popup Shared for " + WideToUtf8(Sender->Name()) + (FromLink ? " link" : ""));
  };
  B->SetLinkSubitems(Shared);
  Log.clear();
  EXPECT_TRUE(R->ExecuteShortCut(KeyMessage(scAlt | 'L')));
  EXPECT_EQ(Log, (std::vector<std::string>{"popup R", "click R", "popup A", "click A", "popup Shared for B link",
                                           "popup B", "click B"}));
}

TEST(TbItemShortCut, LinkChainsAndRebuildingHandlersAreBounded) {
  // 25 steps through LinkSubitems still find the item, a 26th does not.
  for (const Integer Steps : {25, 26}) {
    TTree T;
    TTBCustomItem* R = T.Make<TTBRootItem>("R");
    TTBCustomItem* Holder = R;
    for (Integer K = 0; K < Steps; ++K) {
      TTBCustomItem* Link = T.Make<TTBSubmenuItem>(("Link" + std::to_string(K)).c_str(), Holder);
      TTBCustomItem* Target = T.Make(("Target" + std::to_string(K)).c_str());
      Link->SetLinkSubitems(Target);
      Holder = Target;
    }
    T.Make("Deep", Holder)->SetShortCut(scCtrl | 'D');
    TTBCustomItem* Top = nullptr;
    EXPECT_EQ(R->FindByShortCut(scCtrl | 'D', Top) != nullptr, Steps <= 25) << Steps;
  }

  // Popup handlers that rebuild their items on every call: the item found is
  // never the one reached, so the walk starts over, a bounded number of times.
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  TTBCustomItem* Menu = T.Make<TTBSubmenuItem>("Menu", R);
  Integer Popups = 0;
  Menu->OnPopup = [&](TTBCustomItem*, bool) {
    ++Popups;
    Menu->Clear();
    TTBCustomItem* Sub = new TTBSubmenuItem(&T.Owner);
    Menu->Add(Sub);
    TTBCustomItem* Leaf = new TTBItem(&T.Owner);
    Leaf->SetShortCut(scAlt | 'R');
    Sub->Add(Leaf);
    // Opening the submenu moves the shortcut back up a level.
    Sub->OnPopup = [&, Sub](TTBCustomItem*, bool) {
      Sub->Clear();
      TTBCustomItem* Back = new TTBItem(&T.Owner);
      Back->SetShortCut(scAlt | 'R');
      Menu->Add(Back);
    };
  };
  TTBCustomItem* Seed = T.Make("Seed", Menu);
  Seed->SetShortCut(scAlt | 'R');
  EXPECT_FALSE(R->ExecuteShortCut(KeyMessage(scAlt | 'R')));
  EXPECT_EQ(Popups, 9);  // the first walk and eight restarts
}

TEST(TbItemShortCut, TextAfterTabOrFromTheShortCut) {
  TTree T;
  TTBCustomItem* I = T.Make("I");
  EXPECT_EQ(I->ShortCutText(), u"");
  I->SetShortCut(scCtrl | 'S');
  EXPECT_EQ(I->ShortCutText(), u"Ctrl+S");
  I->SetCaption(u"&Save\tCtrl+Alt+S");
  EXPECT_EQ(I->ShortCutText(), u"Ctrl+Alt+S");
}

}  // namespace

}  // namespace test_tbitemaction_tests
