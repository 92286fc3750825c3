// Popup windows of item trees: opening beside the parent item or at a point,
// the frame and client area, submenus chained from popups and closed with
// them, tall popups that scroll, and the popup-menu component.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <string>
#include <vector>

#include "controls/tbcommon.h"
#include "controls/tbpopup.h"
#include "platform/ui/hints.h"
#include "platform/ui/imglist.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_tbpopup_tests {

namespace {

struct TTree {
  TComponent Owner{nullptr};
  TTBRootItem* Root = new TTBRootItem(&Owner);
  template <class T = TTBItem>
  T* Add(TTBCustomItem* Parent, const char16_t* Caption) {
    T* I = new T(&Owner);
    I->SetCaption(Caption);
    Parent->Add(I);
    return I;
  }
};

TRect WorkAreaAt(const TPoint& P) {
  TRect R;
  MonitorAreaOfPoint(P, true, R);
  return R;
}

TRect BoundsOf(TTBPopupWindow* W) { return TRect(W->Left(), W->Top(), W->Left() + W->Width(), W->Top() + W->Height()); }

TMessage KeyMessage(TShortCut S) {
  TMessage M;
  M.Msg = WM_KEYDOWN;
  M.WParam = S & 0xFF;
  M.LParam = (S & scAlt) ? (1 << 29) : 0;
  return M;
}

}  // namespace

TEST(TbPopup, ContextMenuFitsTheWorkAreaAndShowsWithoutActivation) {
  TTree T;
  T.Add(T.Root, u"&Open");
  T.Add(T.Root, u"&Save");
  T.Add(T.Root, u"E&xit");
  const TRect Work = WorkAreaAt(TPoint(0, 0));
  ASSERT_GT(Work.Width(), 200);
  const HWND ActiveBefore = GetActiveWindow();

  struct {
    TPoint Point;
    TPopupAlignment Alignment;
    bool Left, Above;  // opens left of / above the point
  } Cases[] = {
      {TPoint(Work.Left + 10, Work.Top + 10), paLeft, false, false},
      {TPoint(Work.Right - 1, Work.Bottom - 1), paLeft, true, true},  // flipped, not clamped over the point
      {TPoint(Work.Left + 150, Work.Top + 10), paRight, true, false},
  };
  for (const auto& K : Cases) {
    std::unique_ptr<TTBPopupWindow> W(T.Root->OpenPopup(nullptr, nullptr, false, true, false, K.Point, K.Alignment));
    ASSERT_TRUE(W);
    TTBPopupView* V = W->View();
    const TRect B = BoundsOf(W.get());
    // The window is the content plus a 3-pixel frame all round; the client is the content.
    const TRect C = W->ClientRect();
    EXPECT_EQ(C.Width(), B.Width() - 6);
    EXPECT_EQ(C.Height(), B.Height() - 6);
    EXPECT_EQ(V->Selected(), V->Viewers(0));  // first item selected
    EXPECT_TRUE(W->HandleAllocated() && IsWindowVisible(W->Handle()));
    EXPECT_EQ(GetActiveWindow(), ActiveBefore);
    EXPECT_TRUE(B.Left >= Work.Left && B.Right <= Work.Right && B.Top >= Work.Top && B.Bottom <= Work.Bottom);
    if (K.Left)
      EXPECT_EQ(B.Right, K.Point.X) << (&K - Cases);
    else
      EXPECT_EQ(B.Left, K.Point.X) << (&K - Cases);
    if (K.Above)
      EXPECT_EQ(B.Bottom, K.Point.Y) << (&K - Cases);
    else
      EXPECT_EQ(B.Top, K.Point.Y) << (&K - Cases);
  }
}

TEST(TbPopup, SubmenusOpenBesideTheirItemAndCloseWithTheirParent) {
  TTree T;
  auto* File = T.Add<TTBSubmenuItem>(T.Root, u"&File");
  auto* Recent = T.Add<TTBSubmenuItem>(File, u"&Recent");
  T.Add(Recent, u"one.png");
  std::vector<std::string> Log;
  Recent->OnPopup = [&](TTBCustomItem*, bool) { Log.push_back("popup"); };
  Recent->OnClick = [&](TObject*) { Log.push_back("click"); };

  const TRect Work = WorkAreaAt(TPoint(0, 0));
  std::unique_ptr<TTBPopupWindow> Top(
      File->OpenPopup(nullptr, nullptr, false, true, false, TPoint(Work.Left + 20, Work.Top + 20), paLeft));
  TTBPopupView* TopView = Top->View();
  TTBItemViewer* RecentViewer = TopView->FindViewer(Recent);
  TTBPopupWindow* Sub = Recent->OpenPopup(TopView, RecentViewer, true, false, false, TPoint(), paLeft);
  EXPECT_EQ(Log, (std::vector<std::string>{"popup", "click"}));  // opening a submenu clicks its item
  EXPECT_EQ(TopView->OpenPopupWindow(), Sub);
  EXPECT_EQ(TopView->OpenViewer(), RecentViewer);
  EXPECT_EQ(TopView->OpenViewerView(), Sub->View());
  // Right of the item, overlapping the parent's frame: (item right - 3, item top - 3) on the screen.
  const TPoint ItemTopLeft = Top->ClientToScreen(TPoint(RecentViewer->BoundsRect.Left, RecentViewer->BoundsRect.Top));
  EXPECT_EQ(Sub->Left(), ItemTopLeft.X + RecentViewer->BoundsRect.Width() - 3);
  EXPECT_EQ(Sub->Top(), ItemTopLeft.Y - 3);
  EXPECT_FALSE(Sub->View()->State().Contains(vsOpenedLeftwards));
  EXPECT_EQ(Sub->Font()->Height(), TopView->ViewFont()->Height());

  // Closing the parent's popups frees the submenu window and its view.
  TopView->CloseChildPopups();
  EXPECT_EQ(TopView->OpenPopupWindow(), nullptr);
  EXPECT_EQ(TopView->OpenViewer(), nullptr);

  // Freeing a popup frees the submenus opened from it.
  Recent->OpenPopup(TopView, RecentViewer, true, false, false, TPoint(), paLeft);
  Top.reset();
}

TEST(TbPopup, SubmenuAtTheRightEdgeOpensLeftAndItsChildTriesLeftFirst) {
  TTree T;
  auto* A = T.Add<TTBSubmenuItem>(T.Root, u"A menu item with a long caption");
  auto* B = T.Add<TTBSubmenuItem>(A, u"Another long caption here");
  T.Add(B, u"Leaf item");
  const TRect Work = WorkAreaAt(TPoint(0, 0));
  std::unique_ptr<TTBPopupWindow> Top(
      T.Root->OpenPopup(nullptr, nullptr, false, true, false, TPoint(Work.Right - 1, Work.Top + 5), paLeft));
  TTBPopupWindow* W1 = A->OpenPopup(Top->View(), Top->View()->FindViewer(A), true, false, false, TPoint(), paLeft);
  EXPECT_TRUE(W1->View()->State().Contains(vsOpenedLeftwards));
  EXPECT_LE(W1->Left() + W1->Width(), Top->Left() + 3 + 3);  // ends on the parent's frame
  TTBPopupWindow* W2 = B->OpenPopup(W1->View(), W1->View()->FindViewer(B), true, false, false, TPoint(), paLeft);
  EXPECT_TRUE(W2->View()->State().Contains(vsOpenedLeftwards));
  EXPECT_LT(W2->Left(), W1->Left());
}

TEST(TbPopup, TallPopupIsAsHighAsTheWorkAreaAndDrawsItsArrows) {
  TTree T;
  const TRect Work = WorkAreaAt(TPoint(0, 0));
  const Integer Count = Work.Height() / 10 + 10;  // far more than fit
  for (Integer I = 0; I < Count; ++I) T.Add(T.Root, u"Item");
  std::unique_ptr<TTBPopupWindow> W(
      T.Root->OpenPopup(nullptr, nullptr, false, false, false, TPoint(Work.Left, Work.Top), paLeft));
  EXPECT_EQ(W->Height(), Work.Height());
  EXPECT_EQ(W->Top(), Work.Top);
  TTBPopupView* V = W->View();
  EXPECT_TRUE(V->ShowDownArrow());
  EXPECT_FALSE(V->ShowUpArrow());
  V->Scroll(true);
  EXPECT_TRUE(V->ShowUpArrow());

  // Both arrows, drawn through the client print: a triangle in the menu text colour centred in each band.
  const Integer CW = W->ClientRect().Width(), CH = W->ClientRect().Height();
  TTestDib D(CW, CH, 24, 0xFFFFFF);
  SendMessage(W->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(D.DC), PRF_CLIENT);
  const COLORREF Text = static_cast<COLORREF>(ColorToRGB(clMenuText)) & 0xFFFFFF;
  const Integer CX = CW / 2;
  EXPECT_EQ(D.At(CX, 19 / 2 - 1 + 2), Text);       // up arrow: apex at cy, base at cy + 3
  EXPECT_EQ(D.At(CX, CH - 19 + 19 / 2 - 1 + 1), Text);  // down arrow: base at cy, apex at cy + 3
}

TEST(TbPopup, FrameAndHintsOfThePopupWindow) {
  TTree T;
  auto* Save = T.Add(T.Root, u"&Save");
  Save->SetHint(u"Saves the picture");
  std::unique_ptr<TTBPopupWindow> W(
      T.Root->OpenPopup(nullptr, nullptr, false, false, false, TPoint(40, 40), paLeft));
  TTestDib D(W->Width(), W->Height(), 24, 0x123456);
  SendMessage(W->Handle(), WM_PRINT, reinterpret_cast<WPARAM>(D.DC), PRF_NONCLIENT);
  const COLORREF Face = GetSysColor(COLOR_BTNFACE) & 0xFFFFFF;
  if (FlatMenusActive()) {
    EXPECT_EQ(D.At(0, 0), GetSysColor(COLOR_BTNSHADOW) & 0xFFFFFF);
    EXPECT_EQ(D.At(2, 5), static_cast<COLORREF>(ColorToRGB(clMenu)) & 0xFFFFFF);
  } else {
    EXPECT_EQ(D.At(2, 5), Face);  // the face-coloured ring inside the raised edge
    EXPECT_EQ(D.At(W->Width() - 3, 5), Face);
  }
  EXPECT_EQ(D.At(W->Width() / 2, W->Height() / 2), 0x123456u);  // the client is not printed

  // The hint names the item under the cursor and keeps to its rectangle.
  THintInfo Info;
  TTBItemViewer* V = W->View()->FindViewer(Save);
  Info.CursorPos = TPoint(V->BoundsRect.Left + 2, V->BoundsRect.Top + 2);
  SendMessage(W->Handle(), CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Info));
  EXPECT_EQ(Info.HintStr, u"Saves the picture");
  EXPECT_EQ(Info.CursorRect, V->BoundsRect);
  // With a shortcut the hint names it, as long as the application wants that.
  Save->SetShortCut(scCtrl | 'S');
  const bool Was = Application->HintShortCuts();
  struct {
    bool HintShortCuts;
    const char16_t* Hint;
    const char16_t* Expected;
  } Cases[] = {
      {true, u"Saves the picture", u"Saves the picture (Ctrl+S)"},
      {false, u"Saves the picture", u"Saves the picture"},
      {true, u"", u"Save (Ctrl+S)"},  // the caption stands in for a missing hint
  };
  for (const auto& K : Cases) {
    Application->SetHintShortCuts(K.HintShortCuts);
    Save->SetHint(K.Hint);
    Info = THintInfo();
    Info.CursorPos = TPoint(V->BoundsRect.Left + 2, V->BoundsRect.Top + 2);
    SendMessage(W->Handle(), CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Info));
    EXPECT_EQ(Info.HintStr, K.Expected);
  }
  Application->SetHintShortCuts(Was);
  // WM_CLOSE does not close a popup.
  SendMessage(W->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(W->Handle()));
}

TEST(TbPopupMenu, ItemsOnPopupAndShortCuts) {
  TComponent Owner(nullptr);
  auto* Menu = new TTBPopupMenu(&Owner);
  Integer Popups = 0, Saves = 0;
  Menu->OnPopup = [&](TObject* Sender) {
    EXPECT_EQ(Sender, Menu);
    ++Popups;
  };
  auto* Save = new TTBItem(&Owner);
  Save->SetCaption(u"&Save");
  Save->SetShortCut(scAlt | 'S');
  Save->OnClick = [&](TObject*) { ++Saves; };
  Menu->Items()->Add(Save);
  EXPECT_EQ(ItemContainerOf(Menu), Menu->Items());
  EXPECT_EQ(Save->GetParentComponent(), Menu);

  // Opening the menu's popup fires OnPopup each time.
  for (int I = 0; I < 2; ++I) {
    std::unique_ptr<TTBPopupWindow> W(
        Menu->Items()->OpenPopup(nullptr, nullptr, false, true, false, TPoint(30, 30), paLeft));
  }
  EXPECT_EQ(Popups, 2);

  TMessage Key = KeyMessage(scAlt | 'S');
  EXPECT_TRUE(Menu->IsShortCut(Key));
  EXPECT_EQ(Saves, 1);
  TMessage Other = KeyMessage(scAlt | 'Q');
  EXPECT_FALSE(Menu->IsShortCut(Other));
  EXPECT_EQ(Saves, 1);

  auto* List = new TImageList(&Owner);
  Menu->SetImages(List);
  EXPECT_EQ(Menu->Items()->SubMenuImages(), List);
}

}  // namespace test_tbpopup_tests
