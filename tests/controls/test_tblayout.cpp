// Layout of views with items of known sizes: what shows, where it goes,
// wrapping, the chevron, scrolling of tall popups and mirroring of vertical
// toolbars; and, over random item lists, that shown items never overlap.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <string>
#include <vector>

#include "controls/tbview.h"
#include "tests/support/lcg.h"

namespace test_tblayout_tests {

namespace {

// An item whose viewer measures to a fixed size, so that the layout is
// tested apart from fonts.
class TSizedItem : public TTBItem {
 public:
  TSizedItem(TComponent* AOwner, Integer AW, Integer AH) : TTBItem(AOwner), W(AW), H(AH) {}
  Integer W, H;
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override;
};

class TSizedViewer : public TTBItemViewer {
 public:
  using TTBItemViewer::TTBItemViewer;
  void MeasureSize(TCanvas*, Integer& AW, Integer& AH) override {
    auto* I = static_cast<TSizedItem*>(Item());
    AW = I->W;
    AH = I->H;
  }
};

TTBItemViewer* TSizedItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TSizedViewer(View, this, GroupLevel);
}

class TTestView : public TTBView {
 public:
  TTestView(TTBCustomItem* Root, bool IsToolbar, TTBCustomItem* AChevron = nullptr, Integer APPI = 96)
      : TTBView(nullptr, nullptr, Root, nullptr, IsToolbar, false, true), FChevron(AChevron), FPPI(APPI) {
    RebuildViewers();
  }
  TTBCustomItem* ChevronItem() override { return FChevron; }
  Integer ScreenPixelsPerInch() const override { return FPPI; }

 private:
  TTBCustomItem* FChevron;
  Integer FPPI;
};

struct TFixture {
  TComponent Owner{nullptr};
  TTBCustomItem* Root = new TTBRootItem(&Owner);
  TSizedItem* Add(Integer W, Integer H, const char* Caption = "") {
    auto* I = new TSizedItem(&Owner, W, H);
    I->SetCaption(W_(Caption));
    Root->Add(I);
    return I;
  }
  TTBCustomItem* Sep() {
    auto* S = new TTBSeparatorItem(&Owner);
    Root->Add(S);
    return S;
  }
  static WideString W_(const char* S) { return Utf8ToWide(S); }
};

struct TResult {
  TPoint Base, Total;
  Integer Lines = 0;
};
TResult Layout(TTBView& V, Integer Orientation, Integer Wrap, Integer ChevronOffset = 0, Integer ChevronSize = 0) {
  TResult R;
  V.ComputeLayout(true, Orientation, Wrap, ChevronOffset, ChevronSize, R.Base, R.Total, R.Lines);
  return R;
}

std::vector<TRect> ShownRects(const TTBView& V) {
  std::vector<TRect> L;
  for (Integer I = 0; I < V.ViewerCount(); ++I)
    if (V.Viewers(I)->Show) L.push_back(V.Viewers(I)->BoundsRect);
  return L;
}

TEST(TbLayout, EmptyViewsAndCaptionHeights) {
  {
    TFixture F;
    F.Add(30, 10)->SetVisible(false);
    TTestView V(F.Root, true);
    const TResult R = Layout(V, tbvoHorizontal, 0);
    EXPECT_EQ(R.Base, TPoint(23, 22));
    EXPECT_EQ(R.Total, TPoint(23, 22));
  }
  struct {
    Integer PPI, Orientation;
    const char* Caption;
    Integer Height;
  } Cases[] = {
      {96, tbvoHorizontal, "x", 20}, {120, tbvoHorizontal, "x", 22}, {144, tbvoHorizontal, "x", 20},
      {120, tbvoVertical, "x", 13},  {96, tbvoHorizontal, "", 13},   {96, tbvoFloating, "x", 20},
  };
  for (const auto& C : Cases) {
    TFixture F;
    F.Add(30, 13, C.Caption);
    TTestView V(F.Root, true, nullptr, C.PPI);
    Layout(V, C.Orientation, 0);
    EXPECT_EQ(V.Viewers(0)->BoundsRect.Height(), C.Height) << C.PPI << " " << C.Orientation << " " << C.Caption;
  }
}

TEST(TbLayout, SeparatorsNeverLeadTrailOrDouble) {
  TFixture F;
  F.Sep();
  F.Add(20, 20);
  F.Sep();
  F.Sep();
  F.Add(20, 20)->SetVisible(false);
  F.Sep();
  F.Add(20, 20);
  F.Sep();
  TTestView V(F.Root, true);
  Layout(V, tbvoHorizontal, 0);
  std::string Shown;
  for (Integer I = 0; I < V.ViewerCount(); ++I) Shown += V.Viewers(I)->Show ? '1' : '0';
  EXPECT_EQ(Shown, "01100010");
  EXPECT_EQ(V.Viewers(2)->BoundsRect, TRect(20, 0, 26, 20));  // stretched across the line
}

TEST(TbLayout, ChevronKeepsWhatFitsBeforeIt) {
  TFixture F;
  for (Integer I = 0; I < 10; ++I) F.Add(23, 22);
  auto* Chevron = new TTBItem(&F.Owner);
  TTestView V(F.Root, true, Chevron);
  const TResult R = Layout(V, tbvoHorizontal, 0, 100, 13);
  for (Integer I = 0; I < 10; ++I) {
    EXPECT_EQ(V.Viewers(I)->Show, I < 3) << I;
    EXPECT_EQ(V.Viewers(I)->OffEdge, I >= 3) << I;
  }
  EXPECT_EQ(V.Viewers(10)->BoundsRect, TRect(87, 0, 100, 22));
  EXPECT_TRUE(V.Viewers(10)->Show);
  EXPECT_TRUE(Chevron->Enabled());
  EXPECT_EQ(R.Base, TPoint(230, 22));
  EXPECT_EQ(R.Total, TPoint(69, 22));

  // Items that gained priority stay; the least important go first.
  V.GivePriority(V.Viewers(8));
  Layout(V, tbvoHorizontal, 0, 100, 13);
  EXPECT_TRUE(V.Viewers(8)->Show);
  EXPECT_FALSE(V.Viewers(2)->Show);
}

TEST(TbLayout, WrappingBreaksLinesAndTurnsSeparatorsIntoDividers) {
  TFixture F;
  for (Integer I = 0; I < 4; ++I) F.Add(40, 22);
  F.Sep();
  F.Add(40, 22);
  TTestView V(F.Root, true);
  const TResult R = Layout(V, tbvoHorizontal, 100);
  EXPECT_EQ(ShownRects(V), (std::vector<TRect>{{0, 0, 40, 22},
                                               {40, 0, 80, 22},
                                               {0, 22, 40, 44},
                                               {40, 22, 80, 44},
                                               {0, 44, 100, 50},
                                               {0, 50, 40, 72}}));
  EXPECT_EQ(R.Total, TPoint(100, 72));
  EXPECT_EQ(R.Lines, 3);
  EXPECT_TRUE(V.Viewers(4)->State & tbvsLineBreak);

  // A separator that may not break stays in its line when what follows it fits.
  F.Root->Items(4)->SetItemStyle(TTBItemStyle(F.Root->Items(4)->ItemStyle()).Include(tisNoLineBreak));
  static_cast<TSizedItem*>(F.Root->Items(5))->W = 10;
  Layout(V, tbvoHorizontal, 100);
  EXPECT_FALSE(V.Viewers(4)->State & tbvsLineBreak);
  EXPECT_EQ(V.Viewers(4)->BoundsRect, TRect(80, 22, 86, 44));
}

TEST(TbLayout, TallPopupsScrollAndClip) {
  TFixture F;
  for (Integer I = 0; I < 30; ++I) F.Add(50 + I, 20);
  TTestView V(F.Root, false);
  V.SetMaxHeight(300);
  const TResult R = Layout(V, tbvoHorizontal, 0);
  EXPECT_EQ(R.Total.Y, 300);
  EXPECT_FALSE(V.ShowUpArrow());
  EXPECT_TRUE(V.ShowDownArrow());
  for (Integer I = 0; I < 30; ++I) {
    EXPECT_EQ(V.Viewers(I)->Show, I < 14) << I;  // bottoms past 281 are hidden
    EXPECT_EQ(V.Viewers(I)->Clipped, I >= 14) << I;
    EXPECT_EQ(V.Viewers(I)->BoundsRect.Width(), 79) << I;  // all as wide as the widest
  }
  V.SetScrollOffset(1000);  // limited to the range
  Layout(V, tbvoHorizontal, 0);
  EXPECT_EQ(V.ScrollOffset(), 300);
  EXPECT_TRUE(V.ShowUpArrow());
  EXPECT_FALSE(V.ShowDownArrow());
  EXPECT_FALSE(V.Viewers(15)->Show);  // top 0 is under the up arrow
  EXPECT_TRUE(V.Viewers(16)->Show);
  EXPECT_EQ(V.Viewers(16)->BoundsRect.Top, 20);
}

TEST(TbLayout, VerticalMirroringAndRightAlignment) {
  {
    TFixture F;
    for (Integer I = 0; I < 3; ++I) F.Add(22, 23);
    TTestView V(F.Root, true);
    const TResult R = Layout(V, tbvoVertical, 50);
    EXPECT_EQ(R.Total, TPoint(44, 50));
    EXPECT_EQ(ShownRects(V), (std::vector<TRect>{{22, 0, 44, 23}, {22, 23, 44, 46}, {0, 0, 22, 23}}));
  }
  {
    TFixture F;
    for (Integer I = 0; I < 4; ++I) F.Add(40, 22);
    F.Root->Items(3)->SetItemStyle(TTBItemStyle(F.Root->Items(3)->ItemStyle()).Include(tisRightAlign));
    TTestView V(F.Root, true);
    Layout(V, tbvoHorizontal, 100);
    EXPECT_EQ(V.Viewers(2)->BoundsRect, TRect(0, 22, 40, 44));
    EXPECT_EQ(V.Viewers(3)->BoundsRect, TRect(60, 22, 100, 44));  // ends at the wrap length
  }
}

TEST(TbLayout, ShownViewersNeverOverlapAndStayInside) {
  gt_test::Lcg Rng(1234);
  for (Integer Round = 0; Round < 200; ++Round) {
    TFixture F;
    const Integer N = 1 + Rng.Next() % 20;
    for (Integer I = 0; I < N; ++I) {
      if (Rng.Next() % 5 == 0) {
        F.Sep();
        continue;
      }
      TSizedItem* It = F.Add(5 + Rng.Next() % 50, 5 + Rng.Next() % 25);
      if (Rng.Next() % 6 == 0) It->SetVisible(false);
      if (Rng.Next() % 8 == 0) It->SetItemStyle(TTBItemStyle(It->ItemStyle()).Include(tisRightAlign));
    }
    const bool Toolbar = Rng.Next() % 3 != 0;
    const Integer Orientation = Toolbar ? static_cast<Integer>(Rng.Next() % 3) : tbvoHorizontal;
    const Integer Wrap = Toolbar && Rng.Next() % 2 ? 30 + static_cast<Integer>(Rng.Next() % 150) : 0;
    TTestView V(F.Root, Toolbar);
    const TResult R = Layout(V, Orientation, Wrap);
    const std::vector<TRect> Rects = ShownRects(V);
    for (size_t A = 0; A < Rects.size(); ++A) {
      TRect Common;
      EXPECT_TRUE(Rects[A].Left >= 0 && Rects[A].Top >= 0 && Rects[A].Right <= R.Total.X &&
                  Rects[A].Bottom <= R.Total.Y)
          << "round " << Round << " viewer " << A;
      for (size_t B = A + 1; B < Rects.size(); ++B)
        EXPECT_FALSE(IntersectRect(Common, Rects[A], Rects[B])) << "round " << Round << " " << A << "/" << B;
    }
  }
}

}  // namespace

}  // namespace test_tblayout_tests
