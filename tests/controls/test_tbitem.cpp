// The item model: sub-item lists and their errors, change delivery through
// embedded groups and link parents, listeners that leave during delivery,
// options, radio groups and linked sub-items.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <memory>
#include <string>
#include <vector>

#include "controls/tbitem.h"

namespace test_tbitem_tests {

namespace {

struct TEvent {
  TTBCustomItem* Origin;
  bool Relayed;
  TTBItemChange Change;
  Integer Index;
  TTBCustomItem* Item;
  bool operator==(const TEvent&) const = default;
};

std::ostream& operator<<(std::ostream& S, const TEvent& E) {
  return S << "{" << WideToUtf8(E.Origin ? E.Origin->Name() : u"-") << "," << E.Relayed << "," << E.Change << ","
           << E.Index << "," << WideToUtf8(E.Item ? E.Item->Name() : u"-") << "}";
}

// Records every change an item delivers to it.
struct TRecorder {
  std::vector<TEvent> Events;
  TTBItemChangeProc Proc() {
    return {this, 0, [this](TTBCustomItem* O, bool R, TTBItemChange C, Integer I, TTBCustomItem* It) {
              Events.push_back({O, R, C, I, It});
            }};
  }
};

// Items named after themselves, owned by one component that frees them.
struct TTree {
  TComponent Owner{nullptr};
  template <class T = TTBItem>
  T* Make(const char* Name) {
    T* I = new T(&Owner);
    I->SetName(W(Name));
    return I;
  }
  TTBCustomItem* Group(const char* Name) {
    TTBCustomItem* G = Make(Name);
    G->SetItemStyle(TTBItemStyle(G->ItemStyle()).Include(tisEmbeddedGroup));
    return G;
  }
};

std::string ErrorOf(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const ETBItemError& E) {
    return E.what();
  }
  return "no error";
}

TEST(TbItemList, IndexErrorsAndInsertion) {
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  TTBCustomItem* A = T.Make("A");
  TTBCustomItem* B = T.Make("B");
  TTBCustomItem* C = T.Make("C");
  const std::string Range = "Toolbar item index out of range";
  EXPECT_EQ(R->Count(), 0);
  EXPECT_EQ(ErrorOf([&] { R->Items(0); }), Range);
  EXPECT_EQ(ErrorOf([&] { R->Insert(1, A); }), Range);
  EXPECT_EQ(ErrorOf([&] { R->Insert(-1, A); }), Range);
  R->Insert(0, A);
  R->Insert(1, C);  // at the count: appends
  R->Insert(1, B);
  EXPECT_EQ(ErrorOf([&] { R->Insert(0, B); }), "Toolbar item already inserted");
  ASSERT_EQ(R->Count(), 3);
  EXPECT_EQ(R->Items(0), A);
  EXPECT_EQ(R->Items(1), B);
  EXPECT_EQ(R->Items(2), C);
  EXPECT_EQ(B->Parent(), R);

  R->Move(7, 7);  // equal indexes: nothing, even when invalid
  EXPECT_EQ(ErrorOf([&] { R->Move(0, 3); }), Range);
  EXPECT_EQ(ErrorOf([&] { R->Move(5, 1); }), Range);
  R->Move(0, 2);
  EXPECT_EQ(R->IndexOf(A), 2);
  EXPECT_EQ(R->IndexOf(B), 0);

  R->Delete(0);  // not freed, only unparented
  EXPECT_EQ(B->Parent(), nullptr);
  EXPECT_EQ(R->IndexOf(B), -1);
  R->Remove(B);  // not there: nothing
  EXPECT_EQ(R->Count(), 2);

  TComponent Stranger(nullptr);
  EXPECT_EQ(ErrorOf([&] { B->SetParentComponent(&Stranger); }),
            "Toolbar item cannot be inserted into container of type TComponent");
  B->SetParentComponent(R);
  EXPECT_EQ(R->Items(2), B);
  EXPECT_EQ(B->GetParentComponent(), R);
  R->SetParentComponentOfRoot(&Stranger);
  EXPECT_EQ(B->GetParentComponent(), &Stranger);
  R->SetParentComponentOfRoot(nullptr);

  // Freeing a sub-item takes it out of the list; Clear frees them all.
  delete A;
  EXPECT_EQ(R->Count(), 2);
  R->Clear();
  EXPECT_EQ(R->Count(), 0);
  EXPECT_EQ(T.Owner.ComponentCount(), 1);  // only R is left
  EXPECT_EQ(T.Owner.Components(0), R);
}

TEST(TbItemChanges, DeliveredThroughEmbeddedGroupsAndLinkParents) {
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  TTBCustomItem* A = T.Make("A");
  TTBCustomItem* G = T.Group("G");
  TTBCustomItem* G2 = T.Group("G2");
  TTBCustomItem* X = T.Make("X");
  TTBCustomItem* Y = T.Make("Y");
  TTBCustomItem* L = T.Group("L");  // shows Target's sub-items in R
  TTBCustomItem* Target = T.Make("Target");
  TTBCustomItem* Z = T.Make("Z");
  TRecorder Rec;
  R->AddChangeListener(Rec.Proc());
  using E = TEvent;

  R->Add(A);
  EXPECT_EQ(Rec.Events, (std::vector<E>{{R, false, icBeginUpdate, -1, nullptr},
                                        {R, false, icInserted, 0, A},
                                        {R, false, icEndUpdate, -1, nullptr}}));
  R->Add(G);
  G->Add(G2);
  Rec.Events.clear();
  G2->Add(X);  // two embedded levels up: the origin stays the group that changed
  EXPECT_EQ(Rec.Events, (std::vector<E>{{G2, true, icBeginUpdate, -1, nullptr},
                                        {G2, true, icInserted, 0, X},
                                        {G2, true, icEndUpdate, -1, nullptr}}));
  Rec.Events.clear();
  X->SetCaption(u"x");
  A->SetImageIndex(2);
  A->SetImageIndex(5);
  A->SetImageIndex(-1);
  EXPECT_EQ(Rec.Events, (std::vector<E>{{G2, true, icInvalidateAndResize, -1, X},
                                        {R, false, icInvalidateAndResize, -1, A},
                                        {R, false, icInvalidate, -1, A},
                                        {R, false, icInvalidateAndResize, -1, A}}));

  R->Add(Y);
  Rec.Events.clear();
  R->Move(2, 0);
  EXPECT_EQ(Rec.Events, (std::vector<E>{{R, false, icBeginUpdate, -1, nullptr},
                                        {R, false, icDeleting, 2, Y},
                                        {R, false, icBeginUpdate, -1, nullptr},
                                        {R, false, icInserted, 0, Y},
                                        {R, false, icEndUpdate, -1, nullptr},
                                        {R, false, icEndUpdate, -1, nullptr}}));

  // A link parent that is an embedded group relays its target's changes,
  // naming itself as the origin.
  R->Add(L);
  Rec.Events.clear();
  L->SetLinkSubitems(Target);
  Target->Add(Z);
  R->Delete(R->IndexOf(Y));
  EXPECT_EQ(Rec.Events, (std::vector<E>{{L, true, icSubitemsChanged, -1, nullptr},
                                        {L, true, icBeginUpdate, -1, nullptr},
                                        {L, true, icInserted, 0, Z},
                                        {L, true, icEndUpdate, -1, nullptr},
                                        {R, false, icDeleting, 0, Y}}));
  Rec.Events.clear();
  L->SetName(u"L2");
  EXPECT_EQ(Rec.Events, (std::vector<E>{{R, false, icNameChanged, -1, L}}));
  R->RemoveChangeListener(Rec.Proc());
}

TEST(TbItemChanges, RelayingStopsAfterElevenLevels) {
  for (const Integer Levels : {11, 12}) {
    TTree T;
    TTBCustomItem* R = T.Make<TTBRootItem>("R");
    TTBCustomItem* Parent = R;
    for (Integer I = 0; I < Levels; ++I) {
      TTBCustomItem* G = T.Group(("G" + std::to_string(I)).c_str());
      Parent->Add(G);
      Parent = G;
    }
    TRecorder Rec;
    R->AddChangeListener(Rec.Proc());
    Parent->Add(T.Make("Leaf"));  // Levels embedded groups below R
    EXPECT_EQ(Rec.Events.size(), Levels <= 11 ? 3u : 0u) << Levels;
    R->RemoveChangeListener(Rec.Proc());
  }
}

TEST(TbItemChanges, ListenersLeavingDuringDeliveryAndCounts) {
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  std::vector<std::string> Calls;
  auto Named = [&](const char* N, const void* Key, std::function<void()> Extra = nullptr) {
    return TTBItemChangeProc{Key, 0, [&, N, Extra](TTBCustomItem*, bool, TTBItemChange, Integer, TTBCustomItem*) {
                               Calls.push_back(N);
                               if (Extra) Extra();
                             }};
  };
  int K1, K2, K3, K4;
  const TTBItemChangeProc P1 = Named("1", &K1), P3 = Named("3", &K3), P4 = Named("4", &K4);
  TTBItemChangeProc P2;
  P2 = Named("2", &K2, [&] {
    R->RemoveChangeListener(P2);
    R->RemoveChangeListener(P3);
  });
  for (const auto& P : {P1, P2, P3, P4}) R->AddChangeListener(P);
  R->AddChangeListener(P1);  // registered twice: counted
  EXPECT_EQ(R->ChangeListenerCount(), 4);

  R->BroadcastChange(icInvalidate, -1, nullptr);
  EXPECT_EQ(Calls, (std::vector<std::string>{"1", "2", "4"}));
  EXPECT_EQ(R->ChangeListenerCount(), 2);
  Calls.clear();
  R->RemoveChangeListener(P1);  // one of its two registrations
  R->BroadcastChange(icInvalidate, -1, nullptr);
  EXPECT_EQ(Calls, (std::vector<std::string>{"1", "4"}));
  R->RemoveChangeListener(P1);
  R->RemoveChangeListener(P4);
  EXPECT_EQ(R->ChangeListenerCount(), 0);

  // A listener that frees the item ends the delivery; the rest are not called.
  TTBCustomItem* Doomed = T.Make("Doomed");
  Calls.clear();
  Doomed->AddChangeListener(Named("a", &K1));
  Doomed->AddChangeListener(Named("b", &K2, [&] { delete Doomed; }));
  Doomed->AddChangeListener(Named("c", &K3));
  Doomed->BroadcastChange(icInvalidate, -1, nullptr);
  EXPECT_EQ(Calls, (std::vector<std::string>{"a", "b"}));
}

TEST(TbItemOptions, FixingInheritanceAndNotification) {
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  TTBCustomItem* P = T.Make("P");
  TTBCustomItem* C = T.Make("C");
  R->Add(P);
  P->Add(C);
  TRecorder Rec;
  R->AddChangeListener(Rec.Proc());

  P->SetOptions({tboToolbarSize});  // without toolbar style it means nothing
  EXPECT_EQ(P->Options(), TTBItemOptions());
  P->SetOptions({tboDefault, tboShowHint});
  EXPECT_EQ(C->EffectiveOptions(), TTBItemOptions({tboShowHint}));  // the default mark is not inherited
  EXPECT_EQ(Rec.Events, (std::vector<TEvent>{{R, false, icInvalidateAndResize, -1, P}}));

  Rec.Events.clear();
  P->SetOptions({tboDefault, tboShowHint, tboNoAutoHint});  // hint options alone: no notification
  EXPECT_TRUE(Rec.Events.empty());
  C->SetMaskOptions({tboNoAutoHint});
  EXPECT_EQ(C->EffectiveOptions(), TTBItemOptions({tboShowHint}));
  C->SetInheritOptions(false);
  EXPECT_EQ(C->EffectiveOptions(), TTBItemOptions());
  C->SetOptions({tboToolbarStyle, tboToolbarSize});
  EXPECT_EQ(C->EffectiveOptions(), TTBItemOptions({tboToolbarStyle, tboToolbarSize}));

  // Inserted items take their options from their new parent.
  TTBCustomItem* D = T.Make("D");
  P->Add(D);
  EXPECT_EQ(D->EffectiveOptions(), TTBItemOptions({tboShowHint, tboNoAutoHint}));
  R->RemoveChangeListener(Rec.Proc());
}

TEST(TbItemGroups, CheckingUnchecksTheSameGroupOnly) {
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  std::vector<TTBCustomItem*> I;
  const Integer Groups[] = {0, 0, 3, 3, 3, 4};
  for (Integer K = 0; K < 6; ++K) {
    I.push_back(T.Make(("I" + std::to_string(K)).c_str()));
    I.back()->SetGroupIndex(Groups[K]);
    I.back()->SetChecked(true);
    R->Add(I.back());
  }
  I[3]->SetRadioItem(true);
  auto States = [&] {
    std::string S;
    for (auto* X : I) S += X->Checked() ? '1' : '0';
    return S;
  };
  EXPECT_EQ(States(), "111111");  // checked before they shared a parent
  I[0]->SetChecked(false);
  I[0]->SetChecked(true);
  EXPECT_EQ(States(), "111111");  // group 0 is no group
  I[2]->SetChecked(false);
  I[2]->SetChecked(true);
  EXPECT_EQ(States(), "111001");  // whatever RadioItem says
  I[5]->SetGroupIndex(3);  // a checked item joining a group unchecks the others
  EXPECT_EQ(States(), "110001");
}

TEST(TbItemLinks, LinkSubitemsRules) {
  TTree T;
  TTBCustomItem* A = T.Make<TTBSubmenuItem>("A");
  TTBCustomItem* B = T.Make("B");
  A->SetLinkSubitems(A);
  EXPECT_EQ(A->LinkSubitems(), nullptr);
  EXPECT_EQ(A->SubitemSource(), A);
  A->SetLinkSubitems(B);
  EXPECT_EQ(A->SubitemSource(), B);
  EXPECT_EQ(B->LinkParents(), std::vector<TTBCustomItem*>{A});
  delete B;  // the link goes with its target
  EXPECT_EQ(A->LinkSubitems(), nullptr);
  TTBCustomItem* C = T.Make("C");
  C->SetLinkSubitems(A);
  delete C;  // and the target forgets a link parent that goes
  EXPECT_TRUE(A->LinkParents().empty());
}

TEST(TbItemKinds, StylesAndLiveCount) {
  const Integer Before = TBLiveItemCount();
  {
    TTree T;
    TTBSubmenuItem* S = T.Make<TTBSubmenuItem>("S");
    TTBSeparatorItem* Sep = T.Make<TTBSeparatorItem>("Sep");
    TTBControlItem* Ctl = T.Make<TTBControlItem>("Ctl");
    TTBItem* Plain = T.Make<TTBItem>("Plain");
    EXPECT_EQ(TBLiveItemCount(), Before + 4);
    EXPECT_EQ(Plain->ItemStyle(), TTBItemStyle({tisSelectable, tisRedrawOnSelChange, tisRedrawOnMouseOverChange}));
    EXPECT_EQ(S->ItemStyle(),
              TTBItemStyle({tisSubmenu, tisSelectable, tisRedrawOnSelChange, tisRedrawOnMouseOverChange}));
    EXPECT_EQ(Sep->ItemStyle(), TTBItemStyle({tisSeparator, tisClicksTransparent}));
    EXPECT_EQ(Ctl->ItemStyle(), TTBItemStyle({tisClicksTransparent, tisRedrawOnSelChange, tisRedrawOnMouseOverChange}));
    S->SetDropdownCombo(true);
    EXPECT_TRUE(S->ItemStyle().Contains(tisCombo));
    EXPECT_TRUE(S->DropdownCombo());
    // The selection colours are set from the caption colour's hue, and the
    // setters leave them as they are.
    const TColor Sel = Plain->XPItemSelBkgrCol();
    Plain->SetXPItemSelBkgrCol(static_cast<TColor>(0x123456));
    EXPECT_EQ(Plain->XPItemSelBkgrCol(), Sel);
  }
  EXPECT_EQ(TBLiveItemCount(), Before);
}

}  // namespace

}  // namespace test_tbitem_tests
