// Keyboard ways through a view: the next selectable viewer with wrapping,
// the first one a popup selects, accelerators before first letters and
// enabled items before disabled ones, and scrolling of a tall popup.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <string>
#include <vector>

#include "controls/tbview.h"

namespace test_tbnav_tests {

namespace {

struct TFixture {
  TComponent Owner{nullptr};
  TTBCustomItem* Root = new TTBRootItem(&Owner);
  template <class T = TTBItem>
  T* Add(const char* Caption) {
    T* I = new T(&Owner);
    I->SetCaption(Utf8ToWide(Caption));
    Root->Add(I);
    return I;
  }
};

std::string CaptionOf(TTBItemViewer* V) { return V ? WideToUtf8(V->Item()->Caption()) : "none"; }

TEST(TbNavigation, NextAndFirstSelectable) {
  TFixture F;
  auto* New = F.Add("&New");
  New->SetItemStyle(TTBItemStyle(New->ItemStyle()).Include(tisDontSelectFirst));
  F.Add<TTBSeparatorItem>("");
  F.Add("&Open")->SetEnabled(false);  // disabled items are reached too
  F.Add("Hidden")->SetVisible(false);
  F.Add("&Save");
  TTBView V(nullptr, nullptr, F.Root, nullptr, false, false, false);
  struct {
    Integer From;  // viewer index, -1 for none
    bool Forward;
    const char* Expected;
  } Cases[] = {
      {-1, true, "&New"}, {-1, false, "&Save"}, {0, true, "&Open"},  {2, true, "&Save"},
      {4, true, "&New"},  {0, false, "&Save"},  {4, false, "&Open"},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(CaptionOf(V.NextSelectable(C.From < 0 ? nullptr : V.Viewers(C.From), C.Forward)), C.Expected)
        << C.From << " " << C.Forward;
  EXPECT_EQ(CaptionOf(V.FirstSelectable()), "&Open");  // skips the item that asks not to be first

  // Tab on the last wraps to the first; Shift+Tab on the first to the last.
  V.Select(V.Viewers(4), false);
  V.SelectNext(true);
  EXPECT_EQ(CaptionOf(V.Selected()), "&New");
  V.SelectNext(false);
  EXPECT_EQ(CaptionOf(V.Selected()), "&Save");

  // Only the first of a view that has nothing else is the answer; none without any.
  TFixture G;
  auto* Only = G.Add("&Only");
  Only->SetItemStyle(TTBItemStyle(Only->ItemStyle()).Include(tisDontSelectFirst));
  TTBView W(nullptr, nullptr, G.Root, nullptr, false, false, false);
  EXPECT_EQ(CaptionOf(W.FirstSelectable()), "&Only");
  G.Root->Items(0)->SetVisible(false);
  EXPECT_EQ(W.NextSelectable(nullptr, true), nullptr);
}

TEST(TbNavigation, SelectTellsTheItems) {
  TFixture F;
  auto* A = F.Add("A");
  auto* B = F.Add("B");
  std::vector<std::string> Log;
  for (TTBCustomItem* I : {static_cast<TTBCustomItem*>(A), static_cast<TTBCustomItem*>(B)})
    I->OnSelect = [&](TTBCustomItem* S, TTBItemViewer*, bool Selecting) {
      Log.push_back(WideToUtf8(S->Caption()) + (Selecting ? "+" : "-"));
    };
  TTBView V(nullptr, nullptr, F.Root, nullptr, false, false, false);
  V.Select(V.FindViewer(A), true);
  V.Select(V.FindViewer(A), true);
  V.Select(V.FindViewer(B), false);
  V.Select(nullptr, false);
  EXPECT_EQ(Log, (std::vector<std::string>{"A+", "A-", "B+", "B-"}));
  EXPECT_FALSE(V.SelectedViaMouse());
}

TEST(TbNavigation, AcceleratorsThenFirstLettersEnabledFirst) {
  TFixture F;
  F.Add("&Copy");        // 0
  F.Add("Cut");          // 1 first letter only
  F.Add("Pa&ste");       // 2
  F.Add("&Select all");  // 3
  F.Add("&Close")->SetEnabled(false);  // 4
  F.Add("&Delete")->SetEnabled(false); // 5
  F.Add("&Zoom");        // 6
  F.Add("z&oom out");    // 7
  TTBView V(nullptr, nullptr, F.Root, nullptr, false, false, false);
  struct {
    Integer From;
    WideChar Ch;
    bool AcceleratorsOnly;
    const char* Expected;
    bool Unique;
  } Cases[] = {
      {-1, u'c', false, "&Copy", true},        // the disabled "&Close" comes after the enabled one
      {0, u'C', false, "&Copy", true},         // wraps round to itself
      {-1, u's', false, "Pa&ste", false},      // "&Select all" has it too
      {2, u's', false, "&Select all", false},
      {-1, u'd', false, "&Delete", true},      // found among disabled items only
      {-1, u'u', false, "none", false},        // "Cut" has no "u" first and no accelerator
      {-1, u'z', false, "&Zoom", true},        // "z&oom out" has "o" as accelerator
      {-1, u'o', false, "z&oom out", true},
      {-1, u'q', false, "none", false},
  };
  for (const auto& C : Cases) {
    bool Unique = !C.Unique;
    TTBItemViewer* Found = V.FindAccelerator(C.From < 0 ? nullptr : V.Viewers(C.From), C.Ch, Unique, C.AcceleratorsOnly);
    EXPECT_EQ(CaptionOf(Found), C.Expected) << (&C - Cases);
    if (Found) {
      EXPECT_EQ(Unique, C.Unique) << (&C - Cases);
    }
  }
  // "Cut" is found by its first letter when no accelerator matches.
  F.Root->Items(0)->SetCaption(u"Copy");
  F.Root->Items(4)->SetCaption(u"Close");
  bool Unique = false;
  EXPECT_EQ(CaptionOf(V.FindAccelerator(V.Viewers(0), u'c', Unique, false)), "Cut");
  EXPECT_FALSE(Unique);  // "Copy" matches as well
  EXPECT_EQ(V.FindAccelerator(nullptr, u'c', Unique, true), nullptr);
}

// Items of a fixed size, so that the popup's geometry is known.
class TTallItem : public TTBItem {
 public:
  using TTBItem::TTBItem;
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override {
    struct TViewer : TTBItemViewer {
      using TTBItemViewer::TTBItemViewer;
      void MeasureSize(TCanvas*, Integer& W, Integer& H) override {
        W = 60;
        H = 20;
      }
    };
    return new TViewer(View, this, GroupLevel);
  }
};

TEST(TbNavigation, ScrollingATallPopup) {
  TFixture F;
  for (Integer I = 0; I < 30; ++I) F.Add<TTallItem>("");
  TTBView V(nullptr, nullptr, F.Root, nullptr, false, false, false);
  V.SetMaxHeight(300);
  V.EnsureLayout();
  V.Scroll(true);  // the first clipped item, bottom 300, comes up to 281
  EXPECT_EQ(V.ScrollOffset(), 19);
  V.Scroll(true);
  EXPECT_EQ(V.ScrollOffset(), 39);
  V.Scroll(false);  // the last clipped item at the top (top 1) comes down to 19
  EXPECT_EQ(V.ScrollOffset(), 21);
  V.Select(V.Viewers(29), false);
  V.ScrollSelectedIntoView();
  EXPECT_EQ(V.ScrollOffset(), 300);
  EXPECT_TRUE(V.Viewers(29)->Show);
  V.Select(V.Viewers(0), false);
  V.ScrollSelectedIntoView();
  EXPECT_FALSE(V.Viewers(0)->Clipped);
  EXPECT_EQ(V.ScrollOffset(), 0);
}

}  // namespace

}  // namespace test_tbnav_tests
