// The toolbar over items of known sizes: its docked size and frame, wrapping
// at the dock's length, the shortest length it accepts, the menu-bar
// settings and the list of floating sizes worked out by hand.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "controls/tbtoolbar.h"
#include "platform/ui/forms.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/testsupport.h"

namespace test_tbtoolbar_tests {

// An item whose viewer measures to a fixed size, apart from fonts.
class TBoxItem : public TTBItem {
 public:
  TBoxItem(TComponent* AOwner, Integer AW, Integer AH) : TTBItem(AOwner), W(AW), H(AH) {}
  Integer W, H;
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override;
};

class TBoxViewer : public TTBItemViewer {
 public:
  using TTBItemViewer::TTBItemViewer;
  void MeasureSize(TCanvas*, Integer& AW, Integer& AH) override {
    auto* I = static_cast<TBoxItem*>(Item());
    AW = I->W;
    AH = I->H;
  }
};

TTBItemViewer* TBoxItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TBoxViewer(View, this, GroupLevel);
}

struct TToolbarForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TTBDock* Dock = nullptr;
  TToolbarForm() {
    Form->SetBounds(0, 0, 400, 300);
    Form->Show();
    Dock = new TTBDock(Form.get());
    Dock->SetParent(Form.get());
  }
  TTBToolbar* AddToolbar(int Count, Integer W = 20, Integer H = 20) {
    auto* T = new TTBToolbar(Form.get());
    for (int i = 0; i < Count; ++i) T->Items()->Add(new TBoxItem(Form.get(), W, H));
    return T;
  }
};

TEST(TbToolbar, DockedSizeIsTheItemsPlusTheFrame) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(3);
  T->SetCurrentDock(F.Dock);
  // Three 20-pixel items, the 2-pixel frame, the 6-pixel single handle and its 4.
  EXPECT_EQ(T->Width(), 60 + 14);
  EXPECT_EQ(T->Height(), 20 + 4);
  EXPECT_EQ(F.Dock->Height(), 24);
  EXPECT_EQ(T->ClientWidth(), 60);
  Integer Min = 0;
  T->GetMinShrinkSize(Min);
  EXPECT_EQ(Min, 20 + 14 + 12) << "the first item, the frame and the chevron";
}

// Captions are measured with the menu font while SystemFont is on and with
// the toolbar's own font once it is off; a default item's bold caption is
// wider than the plain one and leaves the next item measured plain.
TEST(TbToolbar, CaptionsAreMeasuredWithTheToolbarsFontWhenSystemFontIsOff) {
  TToolbarForm F;
  auto* T = new TTBToolbar(F.Form.get());
  auto* Plain = new TTBItem(F.Form.get());
  Plain->SetCaption(u"Wide caption");
  auto* Default = new TTBItem(F.Form.get());
  Default->SetCaption(u"Wide caption");
  auto* After = new TTBItem(F.Form.get());
  After->SetCaption(u"Wide caption");
  T->Items()->Add(Plain);
  T->Items()->Add(Default);
  T->Items()->Add(After);
  T->SetCurrentDock(F.Dock);
  auto Width = [&](Integer I) {
    T->View()->EnsureLayout();
    return T->View()->Viewers(I)->BoundsRect.Width();
  };
  T->Font()->SetName(u"Arial");
  T->Font()->SetHeight(-8);
  const Integer System = Width(0);
  ASSERT_GT(System, 12);
  T->Font()->SetHeight(-40);
  T->View()->InvalidateLayout();
  EXPECT_EQ(Width(0), System) << "the toolbar's font is not used while SystemFont is on";

  T->SetSystemFont(false);
  const Integer Large = Width(0);
  T->Font()->SetHeight(-8);
  const Integer Small = Width(0);
  EXPECT_GT(Large, 2 * Small) << "a 40-pixel font against an 8-pixel one";
  EXPECT_NE(Small, System);

  T->Font()->SetHeight(-24);
  Default->SetOptions(TTBItemOptions(Default->Options()).Include(tboDefault));
  const Integer PlainWidth = Width(0);
  EXPECT_GT(Width(1), PlainWidth) << "bold";
  EXPECT_EQ(Width(2), PlainWidth) << "the bold font is not left behind";
}

TEST(TbToolbar, AWrapToolbarWrapsAtTheDocksLengthLessItsFrame) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(30);
  T->SetShrinkMode(tbsmWrap);
  T->SetCurrentDock(F.Dock);
  const Integer DockW = F.Dock->Width();
  ASSERT_GT(DockW, 100);
  const Integer PerLine = (DockW - 14) / 20;
  const Integer Lines = (30 + PerLine - 1) / PerLine;
  EXPECT_EQ(T->Width(), DockW) << "shrunk to the dock's length";
  EXPECT_EQ(T->ClientHeight(), 20 * Lines);
  EXPECT_EQ(F.Dock->Height(), 20 * Lines + 4);
  EXPECT_EQ(T->ShrunkSize(), DockW);
}

TEST(TbToolbar, MenuBarTurnsOnFullSizeWrappingAndShortcuts) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(2);
  T->SetCurrentDock(F.Dock);
  T->SetMenuBar(true);
  EXPECT_TRUE(T->FullSize());
  EXPECT_EQ(T->ShrinkMode(), tbsmWrap);
  EXPECT_FALSE(T->CloseButton());
  EXPECT_TRUE(T->ProcessShortCuts());
  EXPECT_TRUE(T->ControlStyle().Contains(csMenuEvents));
  EXPECT_TRUE(T->View()->Style().Contains(vstMenuBar));
  EXPECT_EQ(T->Width(), F.Dock->Width()) << "a full-size bar spans the dock";
  T->SetMenuBar(false);
  EXPECT_FALSE(T->FullSize());
  EXPECT_EQ(T->ShrinkMode(), tbsmChevron);
  EXPECT_TRUE(T->CloseButton());
  EXPECT_FALSE(T->View()->Style().Contains(vstMenuBar));
}

TEST(TbToolbar, FloatingSizesHoldTheNarrowestWidthForEachLineCount) {
  // Ten 20 x 20 items between floating margins of 4 left, 4 right, 2 top and
  // 1 bottom: k items a line need 8 + 20k, and ten items take ceil(10 / k)
  // lines of 20. Six, seven, eight and nine lines cannot happen.
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(10);
  T->SetFloatingWidth(77);
  const std::vector<TPoint> Expected = {{208, 23}, {108, 43}, {88, 63}, {68, 83}, {48, 103}, {28, 203}};
  EXPECT_EQ(T->GetFloatingSizes(), Expected);
  EXPECT_EQ(T->FloatingWidth(), 77) << "restored afterwards";
}

}  // namespace test_tbtoolbar_tests

namespace test_tbtoolbar_tests {

// Ten 20 x 20 items (client sizes above) in a floating frame of 3 a side and
// 17 on top: outer sizes 214x43, 114x63, 94x83, 74x103, 54x123, 34x223.
const TRect Frame(3, 17, 3, 3);

TEST(TbToolbar, ResizingByTheSideSnapsToListedSizesWithABandAroundTheStart) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(10);
  const TRect Start = Bounds(100, 100, 114, 63);
  struct {
    Integer Side;
    TRect Request;
    TRect Result;
    Integer NewFloatingWidth;
  } Cases[] = {
      // Right edge: the band is 12 either way (the neighbours are 100 and 20 away).
      {1, Bounds(100, 100, 125, 63), Start, 108},
      {1, Bounds(100, 100, 127, 63), Bounds(100, 100, 214, 43), 0},
      {1, Bounds(100, 100, 103, 63), Start, 108},
      {1, Bounds(100, 100, 101, 63), Bounds(100, 100, 94, 83), 88},
      {1, Bounds(100, 100, 10, 63), Bounds(100, 100, 34, 223), 28},
      // Left edge: the right edge stays.
      {0, Bounds(190, 100, 24, 63), Bounds(180, 100, 34, 223), 28},
      // Bottom edge, by height: 123 is the first at least 90 from the small end.
      {5, Bounds(100, 100, 114, 90), Bounds(100, 100, 74, 103), 68},
      {5, Bounds(100, 100, 114, 40), Bounds(100, 100, 214, 43), 0},
      // Top edge: the bottom stays.
      {2, Bounds(100, 60, 114, 103), Bounds(100, 60, 74, 103), 68},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << "side " << C.Side << " request " << C.Request.Width() << "x"
                                    << C.Request.Height());
    T->SetFloatingWidth(108);
    T->SizeBegin(C.Side, 114, 63, Frame);
    TRect R = C.Request;
    T->SizeTrack(R, Start);
    EXPECT_EQ(R, C.Result);
    T->SizeCommit();
    EXPECT_EQ(T->FloatingWidth(), C.NewFloatingWidth);
    T->SizeEnd();
  }
}

TEST(TbToolbar, OnceOffTheStartSizeTheBandStaysOffWhileTheMoveKeepsItsDirection) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(10);
  const TRect Start = Bounds(100, 100, 114, 63);
  T->SizeBegin(1, 114, 63, Frame);
  TRect R = Bounds(100, 100, 101, 63);
  T->SizeTrack(R, Start);
  EXPECT_EQ(R.Width(), 94);
  R = Bounds(100, 100, 110, 63);  // still shrinking, inside the band
  T->SizeTrack(R, Start);
  EXPECT_EQ(R.Width(), 94) << "the band no longer pulls back to the start";
  R = Bounds(100, 100, 120, 63);  // growing again: the band is back
  T->SizeTrack(R, Start);
  EXPECT_EQ(R.Width(), 114);
  T->SizeEnd();
}

TEST(TbToolbar, AStartSizeOffTheListStillSnapsToListedSizes) {
  // After a font change or a floating width set by code the window's size
  // need not be in the list; every request must still land on a listed size.
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(10);
  const std::vector<Integer> Widths = {214, 114, 94, 74, 54, 34};
  for (Integer StartW : {300, 150, 100, 20}) {
    const TRect Start = Bounds(100, 100, StartW, 70);
    T->SizeBegin(1, StartW, 70, Frame);
    for (Integer W = 1; W <= 400; W += 7) {
      TRect R = Bounds(100, 100, W, 70);
      T->SizeTrack(R, Start);
      EXPECT_NE(std::find(Widths.begin(), Widths.end(), R.Width()), Widths.end())
          << "start " << StartW << " request " << W << " gave " << R.Width();
    }
    T->SizeEnd();
  }
}

}  // namespace test_tbtoolbar_tests

namespace test_tbtoolbar_tests {

// A toolbar whose component state a test can set, as a form designer or a
// form reader would.
class TStateToolbar : public TTBToolbar {
 public:
  using TTBToolbar::TTBToolbar;
  using TComponent::ExcludeState;
  using TComponent::IncludeState;
  void Load() { Loaded(); }
};

// The control items of a root, in order, by their controls.
std::vector<TControl*> HostedControls(TTBToolbar* T) {
  std::vector<TControl*> Out;
  for (Integer i = 0; i < T->Items()->Count(); ++i)
    if (auto* C = dynamic_cast<TTBControlItem*>(T->Items()->Items(i))) Out.push_back(C->Control());
  return Out;
}

TEST(TbToolbar, ChildControlsBecomeItemsAndLeaveWithoutBeingFreed) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(2);
  T->SetCurrentDock(F.Dock);
  auto* Edit = new TButton(F.Form.get());
  Edit->SetBounds(0, 0, 50, 21);
  Edit->SetParent(T);
  ASSERT_EQ(HostedControls(T), std::vector<TControl*>{Edit});
  EXPECT_EQ(T->Items()->IndexOf(T->Items()->Items(2)), 2) << "added at the end";
  // Laid out like an item: after the two 20-pixel items, centred in the line.
  EXPECT_EQ(Edit->Left(), 40);
  EXPECT_EQ(T->ClientWidth(), 90);
  EXPECT_EQ(T->ClientHeight(), 21);
  // Leaving the toolbar frees the item, not the control.
  Edit->SetParent(F.Form.get());
  EXPECT_TRUE(HostedControls(T).empty());
  EXPECT_EQ(T->Items()->Count(), 2);
  EXPECT_EQ(Edit->Parent(), F.Form.get()) << "the control lives on";
  EXPECT_EQ(T->ClientWidth(), 40);
  // Joining again makes a new item; an item added by code is not doubled.
  Edit->SetParent(T);
  auto* Button = new TButton(F.Form.get());
  T->AddControlItem(0, Button);
  Button->SetParent(T);
  EXPECT_EQ(HostedControls(T), (std::vector<TControl*>{Button, Edit}));
}

TEST(TbToolbar, LoadingTurnsTheChildrenIntoItemsOnce) {
  TToolbarForm F;
  auto* T = new TStateToolbar(F.Form.get());
  T->IncludeState(csLoading);
  T->Items()->Add(new TBoxItem(F.Form.get(), 20, 20));
  auto* A = new TButton(F.Form.get());
  A->SetParent(T);
  auto* B = new TButton(F.Form.get());
  B->SetParent(T);
  T->AddControlItem(0, B);  // already held: loading must not add another
  EXPECT_EQ(HostedControls(T), std::vector<TControl*>{B}) << "nothing is added while loading";
  T->ExcludeState(csLoading);
  T->Load();
  EXPECT_EQ(HostedControls(T), (std::vector<TControl*>{B, A}));
}

TEST(TbToolbar, ControlItemsMadeAtDesignTimeTakeTheFirstFreeName) {
  TToolbarForm F;
  auto* T = new TStateToolbar(F.Form.get());
  T->IncludeState(csDesigning);
  auto* Taken = new TTBItem(F.Form.get());
  Taken->SetName(u"TBControlItem2");
  std::vector<WideString> Names;
  for (int i = 0; i < 3; ++i) {
    auto* C = new TButton(F.Form.get());
    C->SetParent(T);
    Names.push_back(T->Items()->Items(i)->Name());
  }
  EXPECT_EQ(Names, (std::vector<WideString>{u"TBControlItem1", u"TBControlItem3", u"TBControlItem4"}));
  EXPECT_EQ(T->Items()->Items(0)->Owner(), F.Form.get()) << "owned by the toolbar's owner";
}

TEST(TbToolbar, BarsOfARowShareTheThicknessOfTheThickest) {
  TToolbarForm F;
  TTBToolbar* Tall = F.AddToolbar(2, 20, 30);
  TTBToolbar* Low = F.AddToolbar(2, 20, 20);
  Tall->SetCurrentDock(F.Dock);
  Low->SetCurrentDock(F.Dock);
  ASSERT_EQ(Low->EffectiveDockRow(), Tall->EffectiveDockRow());
  EXPECT_EQ(Low->ClientHeight(), 30);
  // The lower bar's items sit in the middle of the row, also after its own relayout.
  Low->Items()->Add(new TBoxItem(F.Form.get(), 20, 20));
  for (Integer i = 0; i < Low->View()->ViewerCount(); ++i) {
    TTBItemViewer* V = Low->View()->Viewers(i);
    if (!V->Show) continue;
    EXPECT_EQ(V->BoundsRect.Top, 5) << i;
    EXPECT_EQ(V->BoundsRect.Bottom, 25) << i;
  }
  EXPECT_EQ(Low->ClientHeight(), 30);
  // Alone in a row it takes its own thickness again.
  Tall->SetDockRow(1);
  F.Dock->ArrangeBars();
  EXPECT_EQ(Low->ClientHeight(), 20);
}

}  // namespace test_tbtoolbar_tests

namespace test_tbtoolbar_tests {

TEST(TbToolbar, HintsComeFromTheItemUnderThePointer) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(3);
  T->Items()->Items(0)->SetHint(u"Bold|Makes the selection bold");
  T->Items()->Items(1)->SetHint(u"Mark|Marks the place");
  T->Items()->Items(1)->SetShortCut(ShortCut('M', TShiftState{ssCtrl}));
  T->Items()->Items(2)->SetHint(u"Long|Shown in menus only");
  T->Items()->Items(2)->SetOptions(TTBItemOptions{tboLongHintInMenuOnly});
  T->SetCurrentDock(F.Dock);
  T->SetShowHint(true);
  GtTestPump(10);
  // The tooltip: the short hint and the shortcut; none between items.
  EXPECT_EQ(GtTestTooltip(T->Handle(), 10, 10), u"Bold");
  EXPECT_EQ(GtTestTooltip(T->Handle(), 30, 10), u"Mark (Ctrl+M)");
  EXPECT_EQ(GtTestTooltip(T->Handle(), T->ClientWidth() + 5, 10), u"");
  // The toolbar's own Hint follows the pointer for the status line, unless
  // the item keeps its long hint for menus.
  struct {
    Integer X;
    const char16_t* Hint;
  } Moves[] = {{10, u"Bold|Makes the selection bold"}, {30, u"Mark|Marks the place"}, {50, u""}};
  for (const auto& M : Moves) {
    GtTestMouse(T->Handle(), gmaMove, gmbNone, M.X, 10);
    GtTestPump(5);
    EXPECT_EQ(T->Hint(), WideString(M.Hint)) << "x " << M.X;
  }
  GtTestMouse(T->Handle(), gmaMove, gmbNone, 30, 10);
  GtTestPump(5);
  ASSERT_NE(T->View()->Selected(), nullptr) << "hovering selects";
  T->Perform(WM_NCMOUSEMOVE, HTCAPTION, 0);
  EXPECT_EQ(T->View()->Selected(), nullptr);
  EXPECT_EQ(T->Hint(), u"");
  // Leaving the window clears the hover selection as well.
  GtTestMouse(T->Handle(), gmaMove, gmbNone, 10, 10);
  GtTestPump(5);
  ASSERT_NE(T->View()->Selected(), nullptr);
  T->Perform(CM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(T->View()->Selected(), nullptr);
}

TEST(TbToolbar, PressesOnItemsAreNoDragStarts) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(3);
  TTBCustomItem* Through = T->Items()->Items(2);
  Through->SetItemStyle(TTBItemStyle(Through->ItemStyle()).Include(tisClicksTransparent));
  T->SetCurrentDock(F.Dock);
  struct {
    Integer X;
    bool OnControl;
  } Cases[] = {{5, true}, {35, true}, {45, false} /* clicks pass through */, {200, false} /* beside the items */};
  for (const auto& C : Cases) EXPECT_EQ(T->IsPointOnControl(TPoint(C.X, 10)), C.OnControl) << "x " << C.X;
}

TEST(TbToolbar, APlainToolbarThatKeepsItsWidthFitsItsItemsIntoIt) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(10);
  T->SetAutoResize(false);
  T->SetParent(F.Form.get());
  T->SetBounds(0, 100, 100, 22);
  T->View()->InvalidateLayout();
  T->View()->EnsureLayout();
  EXPECT_EQ(T->Width(), 100) << "the width is kept";
  // 100 pixels less the chevron's 12: four items show, six wait in the chevron.
  Integer Shown = 0, Hidden = 0;
  for (Integer i = 0; i < 10; ++i) {
    TTBItemViewer* V = T->View()->FindViewer(T->Items()->Items(i));
    Shown += V->Show;
    Hidden += V->OffEdge;
  }
  EXPECT_EQ(Shown, 4);
  EXPECT_EQ(Hidden, 6);
  EXPECT_TRUE(T->View()->FindViewer(T->ChevronItem())->Show);
  // Wrapping instead: 5 items a line, two lines.
  T->SetShrinkMode(tbsmWrap);
  T->View()->EnsureLayout();
  Integer Lines = 0;
  for (Integer i = 0; i < 10; ++i) Lines = std::max(Lines, T->View()->FindViewer(T->Items()->Items(i))->BoundsRect.Top);
  EXPECT_EQ(Lines, 20) << "the second line starts 20 pixels down";
}

}  // namespace test_tbtoolbar_tests

namespace test_tbtoolbar_tests {

TEST(TbToolbar, ControlsWaitingInTheChevronAreLeftOutOfTheTabOrder) {
  TToolbarForm F;
  auto* Before = new TButton(F.Form.get());
  Before->SetParent(F.Form.get());
  TTBToolbar* T = F.AddToolbar(30);
  auto* Near = new TPanel(F.Form.get());
  Near->SetBounds(0, 0, 40, 20);
  auto* Far = new TPanel(F.Form.get());
  Far->SetBounds(0, 0, 40, 20);
  auto* InFar = new TButton(F.Form.get());
  InFar->SetParent(Far);
  T->AddControlItem(0, Near);
  Near->SetParent(T);
  Far->SetParent(T);  // the last item: the first to go behind the chevron
  T->SetChevronMoveItems(false);  // the items hide from the end
  T->SetCurrentDock(F.Dock);
  ASSERT_TRUE(T->View()->FindViewer(T->Items()->Items(T->Items()->Count() - 1))->OffEdge);
  ASSERT_FALSE(T->View()->FindViewer(T->Items()->Items(0))->OffEdge);
  std::vector<TWinControl*> List;
  F.Form->GetTabOrderList(List);
  auto Has = [&](TWinControl* W) { return std::find(List.begin(), List.end(), W) != List.end(); };
  EXPECT_TRUE(Has(Before));
  EXPECT_TRUE(Has(T));
  EXPECT_TRUE(Has(Near));
  EXPECT_FALSE(Has(Far));
  EXPECT_FALSE(Has(InFar)) << "nor what the hidden control holds";
}

}  // namespace test_tbtoolbar_tests

namespace test_tbtoolbar_tests {

TEST(TbToolbar, TheColourReachesTheViewThatPaintsTheBackground) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(2);
  EXPECT_EQ(T->View()->BackgroundColor(), clBtnFace);
  T->SetColor(clRed);
  EXPECT_EQ(T->View()->BackgroundColor(), clRed);
}

TEST(TbToolbar, AtDesignTimeAPlainToolbarShowsADottedOutline) {
  TToolbarForm F;
  for (bool Designing : {false, true}) {
    auto* T = new TStateToolbar(F.Form.get());
    if (Designing) T->IncludeState(csDesigning);
    T->SetParent(F.Form.get());
    T->SetBounds(10, 150, 60, 22);
    T->Repaint();
    std::vector<uint32_t> Px;
    Integer W = 0, H = 0;
    ASSERT_TRUE(GtTestGrab(T->Handle(), Px, W, H));
    const COLORREF Shadow = GetSysColor(COLOR_BTNSHADOW);
    auto Is = [&](Integer X, Integer Y) {
      const uint32_t v = Px[size_t(Y) * W + X];
      return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF) == Shadow;
    };
    Integer OnTop = 0, Inside = 0;
    for (Integer X = 0; X < W; ++X) OnTop += Is(X, 0);
    for (Integer X = 1; X < W - 1; ++X) Inside += Is(X, H / 2);
    EXPECT_EQ(Inside, 0);
    if (Designing) {
      EXPECT_GT(OnTop, 0) << "the outline";
      EXPECT_LT(OnTop, W) << "dotted, not solid";
      EXPECT_TRUE(Is(0, H / 2) || Is(0, H / 2 + 1));
    } else {
      EXPECT_EQ(OnTop, 0);
    }
    delete T;
  }
}

}  // namespace test_tbtoolbar_tests

namespace test_tbtoolbar_tests {

TEST(TbToolbar, ThePositionDataHoldsTheFloatingWidthUnderTheToolbarsName) {
  TToolbarForm F;
  TTBToolbar* T = F.AddToolbar(3);
  T->SetName(u"Tools");
  T->SetFloatingWidth(77);
  std::map<std::pair<WideString, WideString>, Integer> Store;
  int Data = 0;
  T->WritePositionData(
      [&](const WideString& Bar, const WideString& Value, Integer V, void* Extra) {
        EXPECT_EQ(Extra, &Data);
        Store[{Bar, Value}] = V;
      },
      &Data);
  EXPECT_EQ(Store, (std::map<std::pair<WideString, WideString>, Integer>{{{u"Tools", u"FloatRightX"}, 77}}));
  T->SetFloatingWidth(0);
  auto Read = [&](const WideString& Bar, const WideString& Value, Integer Default, void*) {
    auto It = Store.find({Bar, Value});
    return It == Store.end() ? Default : It->second;
  };
  T->ReadPositionData(Read, nullptr);
  EXPECT_EQ(T->FloatingWidth(), 77);
  // Nothing stored for the name: the current width is the default and stays.
  T->SetName(u"Other");
  T->SetFloatingWidth(40);
  T->ReadPositionData(Read, nullptr);
  EXPECT_EQ(T->FloatingWidth(), 40);
}

}  // namespace test_tbtoolbar_tests
