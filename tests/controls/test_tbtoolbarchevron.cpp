// The chevron of a toolbar on a dock too short for it: which items it
// collects, its popup of exactly those items, a click there running the item
// once, and the glyph it draws.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "controls/tbdock.h"
#include "controls/tbpopup.h"
#include "controls/tbtoolbar.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "platform/ui/winuser.h"
#include "tests/controls/tbpopup_test_util.h"
#include "tests/platform/ui/uitest.h"

namespace test_tbtoolbarchevron_tests {

using gt_uitest::Soon;
using tbpopup_test::PopupOf;

// An item whose viewer measures to a fixed size, apart from fonts.
class TBoxItem : public TTBItem {
 public:
  using TTBItem::TTBItem;
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override;
};

class TBoxViewer : public TTBItemViewer {
 public:
  using TTBItemViewer::TTBItemViewer;
  void MeasureSize(TCanvas*, Integer& AW, Integer& AH) override {
    AW = 20;
    AH = 20;
  }
};

TTBItemViewer* TBoxItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TBoxViewer(View, this, GroupLevel);
}

struct TChevronForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TTBDock* Dock = nullptr;
  TTBToolbar* Bar = nullptr;
  std::vector<TTBCustomItem*> Items;
  std::vector<std::string> Log;
  explicit TChevronForm(TTBChevronPriorityForNewItems Priority = tbcpHighest, Integer Count = 12) {
    Form->SetBounds(30, 30, 200, 150);
    Form->Show();
    Dock = new TTBDock(Form.get());
    Dock->SetParent(Form.get());
    Bar = new TTBToolbar(Form.get());
    Bar->SetChevronPriorityForNewItems(Priority);
    for (Integer i = 0; i < Count; ++i) {
      auto* I = new TBoxItem(Form.get());
      I->SetCaption(u"Item");
      const std::string Name = "item " + std::to_string(i);
      I->OnClick = [this, Name](TObject*) {
        Log.push_back(Name);
        if (PopupOf(Bar->Items())) Log.push_back("popup still shown");
      };
      Bar->Items()->Add(I);
      Items.push_back(I);
    }
    Bar->SetCurrentDock(Dock);
    GtTestActivate(Form->Handle());
    GtTestPump(10);
  }
  TTBItemViewer* Chevron() { return Bar->View()->FindViewer(Bar->ChevronItem()); }
  std::vector<TTBCustomItem*> OffEdge() {
    std::vector<TTBCustomItem*> Out;
    for (TTBCustomItem* I : Items)
      if (Bar->View()->FindViewer(I)->OffEdge) Out.push_back(I);
    return Out;
  }
};

TEST(TbToolbarChevron, ADockTooShortHidesTheLowestPriorityItemsBehindTheChevron) {
  for (auto Priority : {tbcpHighest, tbcpLowest}) {
    SCOPED_TRACE(Priority == tbcpHighest ? "new items highest" : "new items lowest");
    TChevronForm F(Priority);
    const Integer DockW = F.Dock->Width();
    ASSERT_LT(DockW, 12 * 20 + 14) << "the dock must be too short";
    EXPECT_EQ(F.Bar->Width(), DockW) << "shrunk to the dock";
    // Twelve 20-pixel items in the dock's length less the docked frame (14)
    // and the chevron (12).
    const Integer Fit = (DockW - 14 - 12) / 20;
    const std::vector<TTBCustomItem*> Hidden = F.OffEdge();
    ASSERT_EQ(Hidden.size(), size_t(12 - Fit));
    // Each item added last got the highest priority, so the first ones go
    // first; with the lowest, the last ones.
    const std::vector<TTBCustomItem*> Expected =
        Priority == tbcpHighest ? std::vector<TTBCustomItem*>(F.Items.begin(), F.Items.begin() + (12 - Fit))
                                : std::vector<TTBCustomItem*>(F.Items.begin() + Fit, F.Items.end());
    EXPECT_EQ(Hidden, Expected);
    TTBItemViewer* C = F.Chevron();
    ASSERT_NE(C, nullptr);
    EXPECT_TRUE(C->Show);
    EXPECT_TRUE(F.Bar->ChevronItem()->Enabled()) << "it hides commands";
    EXPECT_EQ(C->BoundsRect, TRect(DockW - 14 - 12, 0, DockW - 14, 20));
    for (TTBCustomItem* I : F.Items) {
      TTBItemViewer* V = F.Bar->View()->FindViewer(I);
      if (V->Show) {
        EXPECT_LE(V->BoundsRect.Right, DockW - 14 - 12);
      }
    }
    Integer Min = 0;
    F.Bar->GetMinShrinkSize(Min);
    EXPECT_EQ(Min, 20 + 14 + 12);
  }
  // The chevron's hint and caption.
  TChevronForm F;
  EXPECT_EQ(F.Bar->ChevronHint(), u"More Buttons|");
  EXPECT_EQ(F.Bar->ChevronItem()->Caption(), u"More Buttons");
  F.Bar->SetChevronHint(u"R&D tools|Tools that do not fit");
  EXPECT_EQ(F.Bar->ChevronItem()->Caption(), u"R&&D tools");
}

TEST(TbToolbarChevron, ADockLongEnoughShowsNoChevron) {
  TChevronForm F(tbcpHighest, 5);
  EXPECT_TRUE(F.OffEdge().empty());
  EXPECT_FALSE(F.Chevron()->Show);
  EXPECT_EQ(F.Bar->Width(), 5 * 20 + 14);
}

TEST(TbToolbarChevron, ItsPopupShowsTheHiddenItemsAndAClickThereRunsTheItemOnce) {
  TChevronForm F;
  const std::vector<TTBCustomItem*> Hidden = F.OffEdge();
  ASSERT_FALSE(Hidden.empty());
  TTBItemViewer* C = F.Chevron();
  const TPoint At((C->BoundsRect.Left + C->BoundsRect.Right) / 2, 10);
  std::vector<TTBCustomItem*> Shown;
  TTBCustomItem* Target = Hidden.back();
  Soon([&] {
    GtTestMouse(F.Bar->Handle(), gmaRelease, gmbLeft, At.X, At.Y);
    TTBPopupWindow* W = PopupOf(F.Bar->Items());
    if (!W) {
      ADD_FAILURE() << "no chevron popup";
      PostMessage(nullptr, WM_CANCELMODE, 0, 0);
      return;
    }
    TTBView* V = W->View();
    V->EnsureLayout();
    for (Integer i = 0; i < V->ViewerCount(); ++i)
      if (V->Viewers(i)->Show) Shown.push_back(V->Viewers(i)->Item());
    TTBItemViewer* T = V->FindViewer(Target);
    const TPoint P((T->BoundsRect.Left + T->BoundsRect.Right) / 2, (T->BoundsRect.Top + T->BoundsRect.Bottom) / 2);
    GtTestMouse(W->Handle(), gmaMove, gmbNone, P.X, P.Y);
    GtTestMouse(W->Handle(), gmaPress, gmbLeft, P.X, P.Y);
    GtTestMouse(W->Handle(), gmaRelease, gmbLeft, P.X, P.Y);
    PostMessage(nullptr, WM_CANCELMODE, 0, 0);  // ends a loop that missed the click
  });
  GtTestMouse(F.Bar->Handle(), gmaPress, gmbLeft, At.X, At.Y);
  GtTestPump(20);
  Application->ProcessMessages();
  EXPECT_EQ(Shown, Hidden) << "the popup shows exactly what the toolbar left out";
  const std::string Name = "item " + std::to_string(
                                         std::find(F.Items.begin(), F.Items.end(), Target) - F.Items.begin());
  EXPECT_EQ(F.Log, std::vector<std::string>{Name}) << "one click, after the popup is gone";
  EXPECT_EQ(PopupOf(F.Bar->Items()), nullptr);
  EXPECT_FALSE(F.Bar->View()->State().Contains(vsModal));
  F.Bar->View()->EnsureLayout();
  EXPECT_FALSE(F.Bar->View()->FindViewer(Target)->OffEdge) << "a chosen item takes the first place in priority";
  MSG Left;
  while (PeekMessage(&Left, nullptr, WM_CANCELMODE, WM_CANCELMODE, PM_REMOVE)) {
  }
}

// The chevron viewer drawn on a face-coloured bitmap: T button text, H
// highlight, S shadow, . face.
std::vector<std::string> PaintChevron(bool Vertical, bool Enabled, bool Pushed) {
  TChevronForm F(tbcpHighest, 1);
  F.Bar->ChevronItem()->SetEnabled(Enabled);
  F.Bar->View()->SetOrientation(Vertical ? tbvoVertical : tbvoHorizontal);
  TTBItemViewer* V = F.Chevron();
  const TRect R = Vertical ? TRect(0, 0, 22, 12) : TRect(0, 0, 12, 22);
  TBitmap B;
  B.SetSize(R.Width(), R.Height());
  B.Canvas()->Brush()->SetColor(clBtnFace);
  B.Canvas()->FillRect(R);
  V->Paint(B.Canvas(), R, false, Pushed, false);
  std::vector<std::string> Rows;
  for (Integer Y = 0; Y < R.Height(); ++Y) {
    std::string Row;
    for (Integer X = 0; X < R.Width(); ++X) {
      const COLORREF C = GetPixel(B.Canvas()->Handle(), X, Y);
      Row += C == GetSysColor(COLOR_BTNTEXT)        ? 'T'
             : C == GetSysColor(COLOR_BTNHIGHLIGHT) ? 'H'
             : C == GetSysColor(COLOR_BTNSHADOW)    ? 'S'
             : C == GetSysColor(COLOR_BTNFACE)      ? '.'
                                                    : '?';
    }
    Rows.push_back(Row);
  }
  return Rows;
}

std::vector<std::string> Rows(std::initializer_list<const char*> L) { return {L.begin(), L.end()}; }

TEST(TbToolbarChevron, TheGlyphPointsAlongTheToolbar) {
  // Rightwards: ">>" at (2, 4), 8 wide and 5 high; rows 4 to 8 of a 12 x 22 button.
  const std::vector<std::string> Right = PaintChevron(false, true, false);
  EXPECT_EQ(std::vector<std::string>(Right.begin() + 2, Right.begin() + 11),
            Rows({"............",
                  "............",
                  "..TT..TT....",
                  "...TT..TT...",
                  "....TT..TT..",
                  "...TT..TT...",
                  "..TT..TT....",
                  "............",
                  "............"}));
  // Pushed: a sunken outer edge, the glyph one pixel right and down.
  const std::vector<std::string> Pushed = PaintChevron(false, true, true);
  EXPECT_EQ(Pushed[0][5], 'S');
  EXPECT_EQ(Pushed[21][5], 'H');
  EXPECT_EQ(Pushed[5], "S..TT..TT..H");
  EXPECT_EQ(Pushed[7], "S....TT..TTH");
  // Downwards in a vertical toolbar: two "v" at (right - 9, 2), 5 wide, 8 high.
  const std::vector<std::string> Down = PaintChevron(true, true, false);
  EXPECT_EQ(std::vector<std::string>(Down.begin(), Down.begin() + 11),
            Rows({"......................",
                  "......................",
                  ".............T...T....",
                  ".............TT.TT....",
                  "..............TTT.....",
                  "...............T......",
                  ".............T...T....",
                  ".............TT.TT....",
                  "..............TTT.....",
                  "...............T......",
                  "......................"}));
  // Disabled: the highlight one pixel lower under the shadow.
  const std::vector<std::string> Off = PaintChevron(false, false, false);
  EXPECT_EQ(Off[4], "..SS..SS....");
  EXPECT_EQ(Off[5], "..HSS.HSS...");
  EXPECT_EQ(Off[9], "..HH..HH....");
}

}  // namespace test_tbtoolbarchevron_tests
