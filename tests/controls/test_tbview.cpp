// Views keep one viewer per shown item in step with the item tree: inserts,
// deletes, embedded groups, linked sub-items, the chevron and the priority
// list; hint texts and what a viewer shows.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <string>
#include <utility>
#include <vector>

#include "controls/tbview.h"

namespace tbview_tests {

namespace {

struct TTree {
  TComponent Owner{nullptr};
  template <class T = TTBItem>
  T* Make(const char* Name, TTBCustomItem* Parent = nullptr, Integer Index = -1) {
    T* I = new T(&Owner);
    I->SetName(W(Name));
    if (Parent) Parent->Insert(Index < 0 ? Parent->Count() : Index, I);
    return I;
  }
  TTBCustomItem* Group(const char* Name, TTBCustomItem* Parent = nullptr) {
    TTBCustomItem* G = Make(Name);
    G->SetItemStyle(TTBItemStyle(G->ItemStyle()).Include(tisEmbeddedGroup));
    if (Parent) Parent->Add(G);
    return G;
  }
};

// A toolbar view with a chevron item of its own.
class TChevronView : public TTBView {
 public:
  TChevronView(TTBCustomItem* Root, TTBCustomItem* AChevron)
      : TTBView(nullptr, nullptr, Root, nullptr, true, false, true), FChevron(AChevron) {
    RebuildViewers();  // the base constructor could not ask for the chevron yet
  }
  TTBCustomItem* ChevronItem() override { return FChevron; }

 private:
  TTBCustomItem* FChevron;
};

using TList = std::vector<std::pair<std::string, Integer>>;
TList ViewersOf(const TTBView& V) {
  TList L;
  for (Integer I = 0; I < V.ViewerCount(); ++I)
    L.push_back({WideToUtf8(V.Viewers(I)->Item()->Name()), V.Viewers(I)->GroupLevel()});
  return L;
}

TEST(TbView, ViewersFollowInsertsDeletesGroupsAndLinks) {
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  T.Make("A", R);
  T.Make("B", R);
  TTBCustomItem* G = T.Group("G", R);
  T.Make("G1", G);
  TTBCustomItem* H = T.Group("H", G);
  T.Make("H1", H);
  T.Make("C", R);
  TTBView V(nullptr, nullptr, R, nullptr, false, false, false);
  EXPECT_EQ(ViewersOf(V), (TList{{"A", 0}, {"B", 0}, {"G", 0}, {"G1", 1}, {"H", 1}, {"H1", 2}, {"C", 0}}));

  T.Make("X", R, 1);   // before B
  T.Make("G0", G, 0);  // into the group, before G1
  T.Make("H2", H);     // last in the nested group
  EXPECT_EQ(ViewersOf(V), (TList{{"A", 0},
                                 {"X", 0},
                                 {"B", 0},
                                 {"G", 0},
                                 {"G0", 1},
                                 {"G1", 1},
                                 {"H", 1},
                                 {"H1", 2},
                                 {"H2", 2},
                                 {"C", 0}}));
  R->Move(R->IndexOf(G), 0);
  EXPECT_EQ(ViewersOf(V).front(), (std::pair<std::string, Integer>{"G", 0}));
  EXPECT_EQ(ViewersOf(V)[5], (std::pair<std::string, Integer>{"H2", 2}));
  EXPECT_EQ(ViewersOf(V)[6], (std::pair<std::string, Integer>{"A", 0}));

  R->Remove(G);  // the group goes with every viewer of its sub-items
  EXPECT_EQ(ViewersOf(V), (TList{{"A", 0}, {"X", 0}, {"B", 0}, {"C", 0}}));
  EXPECT_EQ(V.IndexOfViewer(V.FindViewer(R->Items(2))), 2);
  EXPECT_THROW(V.FindViewer(G), ETBItemError);
  try {
    V.Viewers(4);
    ADD_FAILURE() << "no error";
  } catch (const ETBItemError& E) {
    EXPECT_STREQ(E.what(), "Toolbar item index out of range");
  }
  try {
    V.FindViewer(G);
  } catch (const ETBItemError& E) {
    EXPECT_STREQ(E.what(), "An item viewer associated the specified item could not be found");
  }
  delete G;
}

TEST(TbView, LinkedSubitemsAndDeepGroups) {
  TTree T;
  TTBCustomItem* P = T.Make<TTBSubmenuItem>("P");
  T.Make("Own", P);
  TTBCustomItem* Other = T.Make("Other");
  T.Make("O1", Other);
  T.Make("O2", Other);
  TTBView V(nullptr, nullptr, P, nullptr, false, false, false);
  EXPECT_EQ(ViewersOf(V), (TList{{"Own", 0}}));
  P->SetLinkSubitems(Other);
  EXPECT_EQ(V.SourceItem(), Other);
  EXPECT_EQ(ViewersOf(V), (TList{{"O1", 0}, {"O2", 0}}));
  T.Make("O3", Other, 0);
  EXPECT_EQ(ViewersOf(V), (TList{{"O3", 0}, {"O1", 0}, {"O2", 0}}));
  delete Other;  // the view falls back to the parent item's own sub-items
  EXPECT_EQ(V.SourceItem(), P);
  EXPECT_EQ(ViewersOf(V), (TList{{"Own", 0}}));

  // Groups nest down to level 10; deeper sub-items get no viewers.
  TTBCustomItem* Parent = P;
  for (Integer I = 0; I < 12; ++I) Parent = T.Group(("D" + std::to_string(I)).c_str(), Parent);
  T.Make("Leaf", Parent);
  const TList L = ViewersOf(V);
  ASSERT_EQ(L.size(), 12u);  // "Own" and D0..D10
  EXPECT_EQ(L.back(), (std::pair<std::string, Integer>{"D10", 10}));
}

TEST(TbView, NewItemsLandBeforeTheChevronAndGainPriority) {
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  TTBCustomItem* Chevron = T.Make("Chevron");
  TTBCustomItem* A = T.Make("A", R);
  TTBCustomItem* B = T.Make("B", R);
  TChevronView V(R, Chevron);
  EXPECT_EQ(ViewersOf(V), (TList{{"A", 0}, {"B", 0}, {"Chevron", 0}}));
  EXPECT_EQ(V.InternalViewersAtEnd(), 1);
  TTBCustomItem* C = T.Make("C", R);
  EXPECT_EQ(ViewersOf(V), (TList{{"A", 0}, {"B", 0}, {"C", 0}, {"Chevron", 0}}));
  // New viewers go to the front of the priority list; the chevron is not in it.
  ASSERT_EQ(V.PriorityList().size(), 3u);
  EXPECT_EQ(V.PriorityList()[0]->Item(), C);
  EXPECT_EQ(V.PriorityList()[1]->Item(), A);
  V.GivePriority(V.FindViewer(B));
  EXPECT_EQ(V.PriorityList()[0]->Item(), B);
  EXPECT_EQ(V.TopPriorityViewer()->Item(), B);
}

TEST(TbView, HintTextAndCaptionAndImageRules) {
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  TTBView Toolbar(nullptr, nullptr, R, nullptr, true, false, false);
  TTBView Popup(nullptr, nullptr, R, nullptr, false, false, false);
  struct TCase {
    const char* Caption;
    const char* Hint;
    bool Submenu, Combo, NoAutoHint;
    Integer ImageIndex;
    TTBItemDisplayMode Mode;
    const char* ToolbarHint;
    bool ToolbarCaption, PopupCaption, ToolbarImage, PopupImage;
  };
  const TCase Cases[] = {
      {"&Save...", "", false, false, false, 0, nbdmDefault, "Save", false, true, true, true},
      {"&Save...", "Store it|Long text", false, false, false, 0, nbdmDefault, "Store it", false, true, true, true},
      {"&Open:", "", false, false, true, 0, nbdmDefault, "", false, true, true, true},
      {"&File", "", true, false, false, -1, nbdmDefault, "", true, true, false, false},
      {"&File", "", true, true, false, -1, nbdmDefault, "File", true, true, false, false},
      {"&Zoom", "", true, false, false, 3, nbdmDefault, "Zoom", false, true, true, true},
      {"Both", "", false, false, false, 3, nbdmImageAndText, "Both", true, true, true, true},
      {"Text", "", false, false, false, 3, nbdmTextOnly, "Text", true, true, false, false},
      {"Menus", "", false, false, false, 3, nbdmTextOnlyInMenus, "Menus", false, true, true, false},
  };
  for (const auto& C : Cases) {
    TTBCustomItem* I = C.Submenu ? static_cast<TTBCustomItem*>(T.Make<TTBSubmenuItem>("I", R)) : T.Make("I", R);
    if (C.Combo) static_cast<TTBSubmenuItem*>(I)->SetDropdownCombo(true);
    I->SetCaption(W(C.Caption));
    I->SetHint(W(C.Hint));
    I->SetImageIndex(C.ImageIndex);
    I->SetDisplayMode(C.Mode);
    if (C.NoAutoHint) I->SetOptions({tboNoAutoHint});
    TTBItemViewer* TV = Toolbar.FindViewer(I);
    TTBItemViewer* PV = Popup.FindViewer(I);
    const std::string Name = C.Caption + std::string("/") + std::to_string(C.Mode);
    EXPECT_EQ(WideToUtf8(Toolbar.ViewerHintText(TV)), C.ToolbarHint) << Name;
    EXPECT_EQ(TV->CaptionShown(), C.ToolbarCaption) << Name;
    EXPECT_EQ(PV->CaptionShown(), C.PopupCaption) << Name;
    EXPECT_EQ(TV->ImageShown(), C.ToolbarImage) << Name;
    EXPECT_EQ(PV->ImageShown(), C.PopupImage) << Name;
    delete I;
  }
  // An image above the caption always shows the caption.
  TTBCustomItem* Above = T.Make("Above", R);
  Above->SetImageIndex(1);
  Above->SetOptions({tboImageAboveCaption});
  EXPECT_TRUE(Toolbar.FindViewer(Above)->CaptionShown());
  // Only the caption before a Tab is the viewer's text.
  Above->SetCaption(u"&Print\tCtrl+P");
  EXPECT_EQ(Toolbar.FindViewer(Above)->CaptionText(), u"&Print");
}

TEST(TbView, ButtonPartOfSplitButtons) {
  TTree T;
  TTBCustomItem* R = T.Make<TTBRootItem>("R");
  TTBSubmenuItem* S = T.Make<TTBSubmenuItem>("S", R);
  TTBCustomItem* Plain = T.Make("Plain", R);
  TTBView V(nullptr, nullptr, R, nullptr, true, false, false);
  TTBItemViewer* SV = V.FindViewer(S);
  EXPECT_FALSE(SV->InButtonPart(5, 5));  // a plain submenu has no button part
  S->SetDropdownCombo(true);
  SV->BoundsRect = TRect(0, 0, 40, 22);  // after the layout that the change caused
  EXPECT_TRUE(SV->InButtonPart(28, 5));
  EXPECT_FALSE(SV->InButtonPart(29, 5));  // the last 11 pixels are the arrow
  EXPECT_TRUE(V.FindViewer(Plain)->InButtonPart(39, 5));
}

}  // namespace
}  // namespace tbview_tests
