// The list view: image indexes asked only for rows that paint, the hit
// test against what is drawn, label editing, custom-draw colours, the
// header's sort bits through its own window, begin-drag notifications,
// sorting, and the state, overlay, cut and drop-target looks.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/base/strutils.h"
#include "platform/base/sysutils.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/listview.h"
#include "platform/ui/treeview.h"
#include "tests/platform/ui/itemview_test_util.h"
#include "tests/platform/ui/uitest.h"
#include "tests/support/temp_dir.h"

namespace listview_tests {
namespace {

using namespace gt_itemview_test;

// A list that records the notifications it reflects to itself and what its children tell it.
class TRecordingList : public TListView {
 public:
  using TListView::TListView;
  std::vector<NMLISTVIEW> Drags;
  std::vector<std::pair<WPARAM, LPARAM>> ParentNotes;
  void Dispatch(TMessage& M) override {
    if (M.Msg == CN_NOTIFY) {
      auto* H = reinterpret_cast<NMHDR*>(M.LParam);
      if (H->code == LVN_BEGINDRAG || H->code == LVN_BEGINRDRAG) Drags.push_back(*reinterpret_cast<NMLISTVIEW*>(H));
    }
    if (M.Msg == WM_PARENTNOTIFY) ParentNotes.push_back({M.WParam, M.LParam});
    TListView::Dispatch(M);
  }
};

WideString W(const std::string& S) { return WideString(S.begin(), S.end()); }

class ListViewTest : public UiTest {
 protected:
  TRecordingList* MakeList(TViewStyle Style, std::initializer_list<Integer> Widths) {
    auto* LV = new TRecordingList(Form.get());
    LV->SetBounds(0, 0, 300, 200);
    LV->SetViewStyle(Style);
    for (Integer Width : Widths) LV->Columns()->Add()->SetWidth(Width);
    LV->SetParent(Form.get());
    return LV;
  }
  void AddItems(TCustomListView* LV, std::initializer_list<const char*> Captions) {
    for (const char* C : Captions) LV->Items()->Add()->SetCaption(W(C));
  }
};

TEST_F(ListViewTest, OnlyRowsAboutToPaintAreAskedForTheirImage) {
  auto Images = SolidImages({clRed, clGreen});
  TRecordingList* LV = MakeList(vsReport, {200});
  LV->SetSmallImages(Images.get());
  LV->Items()->BeginUpdate();
  for (Integer i = 0; i < 10000; ++i) LV->Items()->Add()->SetCaption(W("item " + std::to_string(i)));
  LV->Items()->EndUpdate();
  std::set<Integer> Asked;
  Integer Calls = 0;
  // Filling an item on display, as the shell list does: the image is set when first asked.
  LV->OnGetImageIndex = [&](TObject*, TListItem* Item) {
    Asked.insert(Item->Index());
    ++Calls;
    if (Item->ImageIndex() < 0) Item->SetImageIndex(Item->Index() % 2);
  };
  ASSERT_TRUE(GtTestPumpUntil([&] { return !Asked.empty(); }, 3000));
  GtTestPump(50);
  const Integer Visible = LV->VisibleRowCount();
  ASSERT_GE(Visible, 5);
  EXPECT_GE(static_cast<Integer>(Asked.size()), Visible);
  EXPECT_LE(static_cast<Integer>(Asked.size()), Visible + 2);
  EXPECT_EQ(*Asked.begin(), 0);
  // Setting the image while painting does not make the list paint for ever.
  const Integer Settled = Calls;
  GtTestPump(150);
  EXPECT_EQ(Calls, Settled);

  Asked.clear();
  LV->Items()->Item(5000)->MakeVisible(false);
  ASSERT_TRUE(GtTestPumpUntil([&] { return Asked.count(5000) > 0; }, 3000));
  GtTestPump(50);
  EXPECT_LE(static_cast<Integer>(Asked.size()), Visible + 2);
  const Integer Top = LV->TopItem()->Index();
  for (Integer I : Asked) EXPECT_TRUE(I >= Top - 1 && I <= Top + Visible + 1) << I << " top " << Top;
  // The image the handler chose is the one drawn.
  TListItem* Shown = LV->Items()->Item(5000);
  TGrab G(LV->Handle());
  EXPECT_EQ(G.At(Shown->DisplayRect(drIcon)), Rgb(5000 % 2 ? clGreen : clRed));
}

TEST_F(ListViewTest, HitTestFollowsWhatIsDrawn) {
  auto Images = SolidImages({clRed});
  auto States = SolidImages({clBlack, clLime});
  TRecordingList* LV = MakeList(vsReport, {100, 80});
  LV->SetSmallImages(Images.get());
  LV->SetStateImages(States.get());
  AddItems(LV, {"alpha", "beta"});
  for (Integer i = 0; i < 2; ++i) {
    LV->Items()->Item(i)->SetStateIndex(1);
    LV->Items()->Item(i)->SetImageIndex(0);
  }
  GtTestPump(50);
  const TRect B0 = LV->Items()->Item(0)->DisplayRect(drBounds);
  const TRect B1 = LV->Items()->Item(1)->DisplayRect(drBounds);
  const TRect Icon = LV->Items()->Item(0)->DisplayRect(drIcon);
  const TRect Label = LV->Items()->Item(0)->DisplayRect(drLabel);
  ASSERT_FALSE(IsRectEmpty(Icon));
  ASSERT_GT(Icon.Left, B0.Left);  // the state image comes first
  ASSERT_GT(Label.Left, Icon.Right - 1);
  ASSERT_EQ(B1.Top, B0.Bottom);
  const Integer Y0 = (B0.Top + B0.Bottom) / 2, Y1 = (B1.Top + B1.Bottom) / 2;
  struct Case {
    const char* Name;
    Integer X, Y;
    THitTests Hits;
    Integer Item;  // -1: none
  };
  const Case Cases[] = {
      {"state image", B0.Left + 4, Y0, THitTests{htOnStateIcon, htOnItem}, 0},
      {"image", Icon.Left + 8, Y0, THitTests{htOnIcon, htOnItem}, 0},
      {"label", Label.Left + 6, Y0, THitTests{htOnLabel, htOnItem}, 0},
      {"second row", Label.Left + 6, Y1, THitTests{htOnLabel, htOnItem}, 1},
      {"second column", 140, Y1, THitTests{htOnLabel, htOnItem}, 1},
      {"past the columns", 250, Y0, THitTests{htNowhere}, -1},
      {"below the items", Label.Left + 6, B1.Bottom + 20, THitTests{htNowhere}, -1},
      {"left of the list", -5, Y0, THitTests{htToLeft}, -1},
      {"right of the list", LV->ClientWidth() + 5, Y0, THitTests{htToRight}, -1},
      {"below the list", 10, LV->ClientHeight() + 5, THitTests{htBelow}, -1},
      {"above the list", 10, -5, THitTests{htAbove}, -1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(LV->GetHitTestInfoAt(C.X, C.Y), C.Hits);
    TListItem* Expected = C.Item >= 0 ? LV->Items()->Item(C.Item) : nullptr;
    EXPECT_EQ(LV->GetItemAt(C.X, C.Y), Expected);
    LVHITTESTINFO Info;
    Info.pt = TPoint(C.X, C.Y);
    EXPECT_EQ(SendMessage(LV->Handle(), LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&Info)), C.Item);
    EXPECT_EQ(Info.iItem, C.Item);
  }
  // The parts the hit test names are where their pictures are.
  TGrab G(LV->Handle());
  EXPECT_EQ(G.At(B0.Left + 4, Y0), Rgb(clLime));
  EXPECT_EQ(G.At(Icon.Left + 8, Y0), Rgb(clRed));
  EXPECT_GT(G.Count(Label, [](uint32_t P) { return P != Rgb(clWindow); }), 0);
}

TEST_F(ListViewTest, LabelEditingCommitsAndCancels) {
  TRecordingList* LV = MakeList(vsReport, {200});
  AddItems(LV, {"old", "other"});
  TListItem* Item = LV->Items()->Item(0);
  std::vector<WideString> Edited;
  Integer Asked = 0;
  bool Allow = true;
  LV->OnEditing = [&](TObject*, TListItem*, bool& AllowEdit) {
    ++Asked;
    AllowEdit = Allow;
  };
  // The handler may change the text that is stored.
  LV->OnEdited = [&](TObject*, TListItem*, WideString& S) {
    Edited.push_back(S);
    S += u"!";
  };
  GtTestActivate(Form->Handle());
  GtTestPump(30);

  ASSERT_TRUE(Item->EditCaption());
  EXPECT_TRUE(LV->IsEditing());
  Type(LV->Handle(), "new");
  Press(LV->Handle(), VK_RETURN);
  EXPECT_FALSE(LV->IsEditing());
  EXPECT_EQ(Edited, std::vector<WideString>{u"new"});
  EXPECT_EQ(Item->Caption(), u"new!");

  ASSERT_TRUE(Item->EditCaption());
  Type(LV->Handle(), "zzz");
  Press(LV->Handle(), VK_ESCAPE);
  EXPECT_FALSE(LV->IsEditing());
  EXPECT_EQ(Item->Caption(), u"new!");

  ASSERT_TRUE(Item->EditCaption());
  Item->CancelEdit();
  EXPECT_FALSE(LV->IsEditing());
  EXPECT_EQ(Edited.size(), 1u);
  EXPECT_EQ(Item->Caption(), u"new!");

  Allow = false;
  EXPECT_FALSE(Item->EditCaption());
  EXPECT_FALSE(LV->IsEditing());
  EXPECT_EQ(Asked, 4);
  Allow = true;
  LV->SetReadOnly(true);
  EXPECT_FALSE(Item->EditCaption());
  EXPECT_EQ(Asked, 4);  // a read-only list does not even ask
}

TEST_F(ListViewTest, CustomDrawColoursReachTheScreen) {
  TRecordingList* LV = MakeList(vsReport, {200});
  AddItems(LV, {"WWWWWWWW", "WWWWWWWW", "WWWWWWWW", "WWWWWWWW"});
  LV->OnCustomDrawItem = [](TCustomListView* Sender, TListItem* Item, TCustomDrawState, bool& DefaultDraw) {
    switch (Item->Index()) {
      case 1: Sender->Canvas()->Font()->SetColor(clBlue); break;
      case 2: Sender->Canvas()->Brush()->SetColor(clYellow); break;
      case 3:
        // Drawn by the handler alone.
        Sender->Canvas()->Brush()->SetColor(clLime);
        Sender->Canvas()->FillRect(Item->DisplayRect(drBounds));
        DefaultDraw = false;
        break;
      default: break;
    }
  };
  GtTestPump(50);
  TGrab G(LV->Handle());
  auto Label = [&](Integer I) { return LV->Items()->Item(I)->DisplayRect(drLabel); };
  auto Dark = [](uint32_t P) { return (P & 0xFF) < 100 && ((P >> 8) & 0xFF) < 100 && ((P >> 16) & 0xFF) < 100; };
  EXPECT_EQ(G.Count(Label(0), Bluish), 0);
  EXPECT_GT(G.Count(Label(0), Dark), 10);
  EXPECT_GT(G.Count(Label(1), Bluish), 10);
  EXPECT_EQ(G.Count(Label(1), Dark), 0);
  const auto Yellow = [](uint32_t P) { return P == 0xFFFF00; };
  EXPECT_EQ(G.Count(Label(0), Yellow), 0);
  EXPECT_GT(G.Count(Label(2), Yellow), Label(2).Width() * Label(2).Height() / 2);
  EXPECT_EQ(G.At(Label(3)), Rgb(clLime));
  EXPECT_EQ(G.Count(Label(3), Dark), 0);
}

TEST_F(ListViewTest, SortBitsRoundTripThroughTheHeaderWindow) {
  TRecordingList* LV = MakeList(vsReport, {80, 80, 80});
  LV->Columns()->Items(2)->SetAlignment(taRightJustify);
  for (Integer i = 0; i < 3; ++i) LV->Columns()->Items(i)->SetCaption(W("col " + std::to_string(i)));
  AddItems(LV, {"a", "b"});
  GtTestPump(50);
  const HWND Header = reinterpret_cast<HWND>(SendMessage(LV->Handle(), LVM_GETHEADER, 0, 0));
  ASSERT_TRUE(Header);
  // The list was told of its header's creation, so that it can subclass it.
  ASSERT_EQ(LV->ParentNotes.size(), 1u);
  EXPECT_EQ(LOWORD(LV->ParentNotes[0].first), WM_CREATE);
  EXPECT_EQ(LV->ParentNotes[0].second, reinterpret_cast<LPARAM>(Header));
  std::vector<UINT> Seen;
  TWndMethod Old;
  Old = SubclassWindow(Header, [&](TMessage& M) {
    Seen.push_back(M.Msg);
    Old(M);
  });
  ASSERT_TRUE(Old);
  EXPECT_EQ(SendMessage(Header, HDM_GETITEMCOUNT, 0, 0), 3);
  auto Format = [&](Integer I) {
    HDITEMW It;
    It.mask = HDI_FORMAT;
    EXPECT_TRUE(SendMessage(Header, HDM_GETITEMW, static_cast<WPARAM>(I), reinterpret_cast<LPARAM>(&It)));
    return It.fmt;
  };
  // As the shell list does: read the format, change the sort bits, write it back.
  auto SetSort = [&](Integer I, Integer Bits) {
    HDITEMW It;
    It.mask = HDI_FORMAT;
    SendMessage(Header, HDM_GETITEMW, static_cast<WPARAM>(I), reinterpret_cast<LPARAM>(&It));
    It.fmt = (It.fmt & ~(HDF_SORTUP | HDF_SORTDOWN)) | Bits;
    SendMessage(Header, HDM_SETITEMW, static_cast<WPARAM>(I), reinterpret_cast<LPARAM>(&It));
  };
  const Integer HeaderBottom = LV->Items()->Item(0)->DisplayRect(drBounds).Top;
  ASSERT_GT(HeaderBottom, 5);
  const TGrab Plain(LV->Handle());
  struct Case {
    Integer Column, Bits;
  };
  const Case Cases[] = {{1, HDF_SORTUP}, {1, HDF_SORTDOWN}, {0, HDF_SORTUP}, {0, 0}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Column * 10000 + C.Bits);
    for (Integer i = 0; i < 3; ++i) SetSort(i, i == C.Column ? C.Bits : 0);
    for (Integer i = 0; i < 3; ++i) {
      const Integer F = Format(i);
      EXPECT_EQ(F & (HDF_SORTUP | HDF_SORTDOWN), i == C.Column ? C.Bits : 0) << i;
      EXPECT_EQ(F & HDF_JUSTIFYMASK, i == 2 ? HDF_RIGHT : HDF_LEFT) << i;
      EXPECT_TRUE(F & HDF_STRING);
    }
    GtTestPump(30);
    const TGrab Now(LV->Handle());
    EXPECT_EQ(Now.SameRows(Plain, 0, HeaderBottom), C.Bits == 0);  // the arrow shows, and goes again
  }
  EXPECT_GE(std::count(Seen.begin(), Seen.end(), UINT(HDM_SETITEMW)), 12);
  SubclassWindow(Header, Old);
}

TEST_F(ListViewTest, IconViewPlacesItemsInAGridWithTheLabelUnderTheImage) {
  auto Large = std::make_unique<TImageList>(32, 32, nullptr);
  Large->AddMasked(FilledBitmap(32, 32, clRed).get(), clFuchsia);
  TRecordingList* LV = MakeList(vsIcon, {});
  // As the thumbnail view sets its picture list: by handle.
  SendMessage(LV->Handle(), LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(Large->Handle()));
  AddItems(LV, {"first", "second", "third"});
  for (Integer i = 0; i < 3; ++i) LV->Items()->Item(i)->SetImageIndex(0);
  GtTestPump(50);
  const TRect Icon0 = LV->Items()->Item(0)->DisplayRect(drIcon), Icon1 = LV->Items()->Item(1)->DisplayRect(drIcon);
  const TRect Label0 = LV->Items()->Item(0)->DisplayRect(drLabel);
  EXPECT_EQ(Icon0.Width(), 32);
  EXPECT_EQ(Icon1.Top, Icon0.Top);  // side by side
  EXPECT_GT(Icon1.Left, Icon0.Right);
  EXPECT_GE(Label0.Top, Icon0.Bottom);
  EXPECT_EQ(LV->GetHitTestInfoAt(Mid(Icon1).X, Mid(Icon1).Y), (THitTests{htOnIcon, htOnItem}));
  EXPECT_EQ(LV->GetItemAt(Mid(Icon1).X, Mid(Icon1).Y), LV->Items()->Item(1));
  EXPECT_EQ(LV->GetHitTestInfoAt(Mid(Label0).X, Mid(Label0).Y), (THitTests{htOnLabel, htOnItem}));
  TGrab G(LV->Handle());
  EXPECT_EQ(G.At(Icon0), Rgb(clRed));
  EXPECT_EQ(G.At(Icon1), Rgb(clRed));
  EXPECT_GT(G.Count(Label0, [](uint32_t P) { return P != Rgb(clWindow); }), 0);
}

TEST_F(ListViewTest, AHeaderBitmapShowsAndReadsBack) {
  TRecordingList* LV = MakeList(vsReport, {120});
  LV->Columns()->Items(0)->SetCaption(u"Name");
  AddItems(LV, {"a"});
  GtTestPump(30);
  const Integer HeaderBottom = LV->Items()->Item(0)->DisplayRect(drBounds).Top;
  auto Arrow = FilledBitmap(8, 8, clLime);
  const HWND Header = reinterpret_cast<HWND>(SendMessage(LV->Handle(), LVM_GETHEADER, 0, 0));
  HDITEMW It;
  It.mask = HDI_FORMAT | HDI_BITMAP;
  It.fmt = HDF_STRING | HDF_BITMAP | HDF_BITMAP_ON_RIGHT;
  It.hbm = Arrow->Handle();
  EXPECT_TRUE(SendMessage(Header, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&It)));
  GtTestPump(30);
  const auto Lime = [](uint32_t P) { return P == Rgb(clLime); };
  EXPECT_GE(TGrab(LV->Handle()).Count(TRect(0, 0, 120, HeaderBottom), Lime), 40);
  HDITEMW Back;
  Back.mask = HDI_FORMAT | HDI_BITMAP | HDI_TEXT;
  WCHAR Text[3] = {1, 1, 1};
  Back.pszText = Text;
  Back.cchTextMax = 3;
  EXPECT_TRUE(SendMessage(Header, HDM_GETITEMW, 0, reinterpret_cast<LPARAM>(&Back)));
  EXPECT_EQ(Back.hbm, Arrow->Handle());
  EXPECT_EQ(Back.fmt & (HDF_BITMAP | HDF_BITMAP_ON_RIGHT), HDF_BITMAP | HDF_BITMAP_ON_RIGHT);
  EXPECT_EQ(WideString(Text), u"Na");  // cut to the buffer, never past it
  It.mask = HDI_FORMAT;
  It.fmt = HDF_STRING;
  SendMessage(Header, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&It));
  GtTestPump(30);
  EXPECT_EQ(TGrab(LV->Handle()).Count(TRect(0, 0, 120, HeaderBottom), Lime), 0);
}

TEST_F(ListViewTest, DraggingFromAnItemReportsBeginDrag) {
  struct Case {
    TGtMouseButton Button;
    UINT Code;
  };
  for (const Case& C : {Case{gmbLeft, LVN_BEGINDRAG}, Case{gmbRight, LVN_BEGINRDRAG}}) {
    SCOPED_TRACE(C.Code);
    TRecordingList* LV = MakeList(vsReport, {200});
    AddItems(LV, {"one", "two", "three"});
    GtTestPump(50);
    const TPoint P = Mid(LV->Items()->Item(1)->DisplayRect(drLabel));
    GtTestMouse(LV->Handle(), gmaPress, C.Button, P.X, P.Y);
    for (Integer dx = 2; dx <= 16; dx += 2) GtTestMouse(LV->Handle(), gmaMove, C.Button, P.X + dx, P.Y);
    GtTestMouse(LV->Handle(), gmaRelease, C.Button, P.X + 16, P.Y);
    ASSERT_EQ(LV->Drags.size(), 1u);
    EXPECT_EQ(LV->Drags[0].hdr.code, C.Code);
    EXPECT_EQ(LV->Drags[0].iItem, 1);
    EXPECT_EQ(LV->Drags[0].ptAction.X, P.X);
    // A drag over the empty area starts nothing.
    GtTestMouse(LV->Handle(), gmaPress, C.Button, 150, 180);
    for (Integer dx = 2; dx <= 16; dx += 2) GtTestMouse(LV->Handle(), gmaMove, C.Button, 150 - dx, 180);
    GtTestMouse(LV->Handle(), gmaRelease, C.Button, 134, 180);
    EXPECT_EQ(LV->Drags.size(), 1u);
    delete LV;
  }
}

TEST_F(ListViewTest, SortingKeepsTheSelectionWithItsItem) {
  TRecordingList* LV = MakeList(vsReport, {200});
  AddItems(LV, {"b", "C", "a"});
  std::vector<std::pair<WideString, bool>> Selections;
  LV->OnSelectItem = [&](TObject*, TListItem* I, bool S) { Selections.push_back({I->Caption(), S}); };
  LV->Items()->Item(1)->SetSelected(true);
  GtTestPump(30);
  auto Order = [&] {
    WideString S;
    for (Integer i = 0; i < LV->Items()->Count(); ++i) S += LV->Items()->Item(i)->Caption();
    return S;
  };
  LV->AlphaSort();
  EXPECT_EQ(Order(), u"abC");  // letter case does not count
  ASSERT_TRUE(LV->Selected());
  EXPECT_EQ(LV->Selected()->Caption(), u"C");
  LV->CustomSort([](TListItem* A, TListItem* B, LPARAM) { return -WideCompareText(A->Caption(), B->Caption()); }, 0);
  EXPECT_EQ(Order(), u"Cba");
  Integer SeenData = 0;
  LV->OnCompare = [&](TObject*, TListItem* A, TListItem* B, Integer Data, Integer& Compare) {
    SeenData = Data;
    Compare = WideCompareText(A->Caption(), B->Caption());
  };
  LV->CustomSort(nullptr, 7);
  EXPECT_EQ(Order(), u"abC");
  EXPECT_EQ(SeenData, 7);
  LV->OnCompare = nullptr;
  LV->SetSortType(stText);
  LV->Items()->Item(0)->SetCaption(u"z");
  EXPECT_EQ(Order(), u"bCz");
  // A click selects in the view; a single-selection list gives up the old one.
  Selections.clear();
  const TPoint P = Mid(LV->Items()->Item(0)->DisplayRect(drLabel));
  GtTestClick(LV->Handle(), gmbLeft, P.X, P.Y);
  EXPECT_EQ(LV->Selected(), LV->Items()->Item(0));
  EXPECT_EQ(LV->SelCount(), 1);
  const std::vector<std::pair<WideString, bool>> Expected{{u"C", false}, {u"b", true}};
  EXPECT_EQ(Selections, Expected);
}

TEST_F(ListViewTest, BackgroundPictureShowsBehindTransparentRows) {
  gt_test::TempDir Dir;
  ASSERT_TRUE(Dir.Ok());
  auto Picture = FilledBitmap(8, 8, clRed);
  Picture->Canvas()->Brush()->SetColor(clBlue);
  Picture->Canvas()->FillRect(TRect(4, 0, 8, 8));
  const WideString File = Utf8ToWide(Dir.File("back.bmp"));
  Picture->SaveToFile(File);
  TRecordingList* LV = MakeList(vsReport, {200});
  AddItems(LV, {"one"});
  // As the shell list does: text without background, then the picture from a file, tiled.
  EXPECT_TRUE(SendMessage(LV->Handle(), LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(CLR_NONE)));
  LVBKIMAGEW Back;
  Back.ulFlags = LVBKIF_SOURCE_URL | LVBKIF_STYLE_TILE;
  Back.pszImage = File.c_str();
  EXPECT_TRUE(SendMessage(LV->Handle(), LVM_SETBKIMAGEW, 0, reinterpret_cast<LPARAM>(&Back)));
  GtTestPump(50);
  const TRect Row = LV->Items()->Item(0)->DisplayRect(drBounds);
  auto Picture8 = [](uint32_t P) { return P == Rgb(clRed) || P == Rgb(clBlue); };
  {
    TGrab G(LV->Handle());
    const TRect Empty(Row.Left, Row.Bottom + 10, Row.Right, Row.Bottom + 40);
    EXPECT_EQ(G.Count(Empty, Picture8), Empty.Width() * Empty.Height());
    EXPECT_GT(G.Count(Row, [](uint32_t P) { return P == Rgb(clBlue); }), Row.Height() * 10);  // behind the row too
  }
  Back.ulFlags = LVBKIF_SOURCE_NONE;
  EXPECT_TRUE(SendMessage(LV->Handle(), LVM_SETBKIMAGEW, 0, reinterpret_cast<LPARAM>(&Back)));
  GtTestPump(50);
  {
    TGrab G(LV->Handle());
    EXPECT_EQ(G.Count(TRect(Row.Left, Row.Bottom + 10, Row.Right, Row.Bottom + 40), Picture8), 0);
  }
  const WideString Missing = Utf8ToWide(Dir.File("missing.bmp"));
  Back.ulFlags = LVBKIF_SOURCE_URL;
  Back.pszImage = Missing.c_str();
  EXPECT_FALSE(SendMessage(LV->Handle(), LVM_SETBKIMAGEW, 0, reinterpret_cast<LPARAM>(&Back)));
}

TEST_F(ListViewTest, AnImageListFreedFirstLeavesTheViewsWithoutIt) {
  auto Images = SolidImages({clRed});
  TRecordingList* LV = MakeList(vsReport, {200});
  auto* TV = new TTreeView(Form.get());
  TV->SetBounds(0, 200, 300, 40);
  TV->SetParent(Form.get());
  LV->SetSmallImages(Images.get());
  LV->SetStateImages(Images.get());  // one list in two places
  TV->SetImages(Images.get());
  AddItems(LV, {"one"});
  LV->Items()->Item(0)->SetImageIndex(0);
  TV->Items()->Add(nullptr, u"node")->SetImageIndex(0);
  GtTestPump(50);
  EXPECT_EQ(TGrab(LV->Handle()).At(LV->Items()->Item(0)->DisplayRect(drIcon)), Rgb(clRed));
  Images.reset();
  EXPECT_EQ(LV->SmallImages(), nullptr);
  EXPECT_EQ(LV->StateImages(), nullptr);
  EXPECT_EQ(TV->Images(), nullptr);
  LV->Invalidate();
  TV->Invalidate();
  GtTestPump(50);  // painting after the list has gone touches nothing of it
  EXPECT_EQ(TGrab(LV->Handle()).Count(LV->Items()->Item(0)->DisplayRect(drBounds), [](uint32_t P) { return P == Rgb(clRed); }), 0);
}

TEST_F(ListViewTest, ExtendedStylesChangeOnlyTheMaskedBits) {
  TRecordingList* LV = MakeList(vsReport, {200});
  const HWND H = LV->Handle();
  EXPECT_EQ(SendMessage(H, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER, LVS_EX_DOUBLEBUFFER), 0);
  EXPECT_EQ(SendMessage(H, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT | 0x4),
            LVS_EX_DOUBLEBUFFER);
  EXPECT_EQ(SendMessage(H, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_DOUBLEBUFFER | LVS_EX_FULLROWSELECT);
  EXPECT_TRUE(LV->RowSelect());
  LV->SetRowSelect(false);
  EXPECT_EQ(SendMessage(H, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_DOUBLEBUFFER);
}

TEST_F(ListViewTest, RangesChosenInTheViewReachTheItems) {
  TRecordingList* LV = MakeList(vsReport, {200});
  LV->SetMultiSelect(true);
  AddItems(LV, {"a", "b", "c", "d", "e", "f"});
  Integer Told = 0;
  LV->OnSelectItem = [&](TObject*, TListItem*, bool S) { Told += S ? 1 : -1; };
  GtTestPump(30);
  auto At = [&](Integer I) { return Mid(LV->Items()->Item(I)->DisplayRect(drLabel)); };
  GtTestClick(LV->Handle(), gmbLeft, At(1).X, At(1).Y);
  GtTestClick(LV->Handle(), gmbLeft, At(4).X, At(4).Y, gmkShift);
  EXPECT_EQ(LV->SelCount(), 4);
  EXPECT_EQ(Told, 4);
  GtTestClick(LV->Handle(), gmbLeft, At(2).X, At(2).Y, gmkCtrl);
  EXPECT_EQ(LV->SelCount(), 3);
  WideString Chosen;
  for (TListItem* I = LV->GetNextItem(nullptr, sdAll, {isSelected}); I; I = LV->GetNextItem(I, sdAll, {isSelected}))
    Chosen += I->Caption();
  EXPECT_EQ(Chosen, u"bde");
  EXPECT_EQ(LV->ItemFocused(), LV->Items()->Item(2));
  LV->SelectAll();
  EXPECT_EQ(LV->SelCount(), 6);
  // Deleting selected items keeps the count right.
  LV->Items()->Delete(0);
  EXPECT_EQ(LV->SelCount(), 5);
  LV->ClearSelection();
  EXPECT_EQ(LV->SelCount(), 0);
  EXPECT_EQ(LV->Selected(), nullptr);
  EXPECT_EQ(Told, 1);  // a deleted item is told as deleted, not as deselected
  GtTestPump(30);
  // The view shows no selection either: a click on one item selects that one alone.
  GtTestClick(LV->Handle(), gmbLeft, At(3).X, At(3).Y);
  EXPECT_EQ(LV->SelCount(), 1);
  EXPECT_EQ(LV->Selected(), LV->Items()->Item(3));
}

TEST_F(ListViewTest, StateOverlayCutAndDropTargetLooks) {
  auto Images = SolidImages({clRed});
  AddOverlayDot(Images.get());
  auto States = SolidImages({clBlack, clLime});
  TRecordingList* LV = MakeList(vsReport, {200});
  LV->SetSmallImages(Images.get());
  LV->SetStateImages(States.get());
  AddItems(LV, {"plain", "cut", "overlay", "drop", "state"});
  for (Integer i = 0; i < 5; ++i) LV->Items()->Item(i)->SetImageIndex(0);
  LV->Items()->Item(1)->SetCut(true);
  LV->Items()->Item(2)->SetOverlayIndex(1);
  LV->Items()->Item(3)->SetDropTarget(true);
  LV->Items()->Item(4)->SetStateIndex(1);
  GtTestPump(50);
  TGrab G(LV->Handle());
  auto Icon = [&](Integer I) { return LV->Items()->Item(I)->DisplayRect(drIcon); };
  EXPECT_EQ(G.At(Icon(0)), Rgb(clRed));
  EXPECT_EQ(G.At(Icon(1)), 0xFE7F7Fu);  // half way to the window colour
  EXPECT_EQ(G.At(Icon(2)), Rgb(clBlue));
  EXPECT_EQ(G.At(Icon(2).Left + 1, Icon(2).Top + 1), Rgb(clRed));
  const TRect Drop = LV->Items()->Item(3)->DisplayRect(drLabel);
  EXPECT_GT(G.Count(Drop, [](uint32_t P) { return P == Rgb(clHighlight); }), Drop.Width() * Drop.Height() / 2);
  EXPECT_EQ(G.Count(LV->Items()->Item(0)->DisplayRect(drLabel), [](uint32_t P) { return P == Rgb(clHighlight); }), 0);
  const Integer StateX = LV->Items()->Item(4)->DisplayRect(drBounds).Left + 8;
  EXPECT_EQ(G.At(StateX, Mid(Icon(4)).Y), Rgb(clLime));
  EXPECT_EQ(G.At(StateX, Mid(Icon(0)).Y), Rgb(clWindow));  // no state image
}

}  // namespace
}  // namespace listview_tests
