// The toolbar image list (companion lists per state, images from a strip)
// and the image lists items take their images from.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <memory>
#include <vector>

#include "controls/tbcommon.h"
#include "controls/tbimagelist.h"
#include "controls/tbview.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_tbimagelist_tests {

namespace {

// A list of one 16 x 16 image in a single colour.
void FillList(TCustomImageList& L, TColor Color) {
  auto B = FilledBitmap(16, 16, Color);
  ASSERT_EQ(L.AddMasked(B.get(), clFuchsia), 0);
}

COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)) & 0xFFFFFF; }

// The centre pixel after DrawState of image 0 at (0, 0).
COLORREF DrawnColour(TTBCustomImageList& L, bool Enabled, bool Selected, bool Checked) {
  TTestDib D(16, 16, 24, 0xFFFFFF);
  TCanvas C;
  C.SetHandle(D.DC);
  L.DrawState(&C, 0, 0, 0, Enabled, Selected, Checked);
  C.SetHandle(nullptr);
  return D.At(8, 8);
}

struct TEvent {
  TTBItemChange Change;
  TTBCustomItem* Item;
  bool operator==(const TEvent&) const = default;
};

struct TRecorder {
  std::vector<TEvent> Events;
  TTBItemChangeProc Proc() {
    return {this, 0, [this](TTBCustomItem*, bool, TTBItemChange C, Integer, TTBCustomItem* It) {
              Events.push_back({C, It});
            }};
  }
};

}  // namespace

TEST(TbImageList, StateDrawingPicksTheFirstCompanionThatApplies) {
  TComponent Owner(nullptr);
  auto* Own = new TTBImageList(&Owner);
  auto* Disabled = new TImageList(&Owner);
  auto* Checked = new TImageList(&Owner);
  auto* Hot = new TImageList(&Owner);
  FillList(*Own, clRed);
  FillList(*Disabled, clLime);
  FillList(*Checked, clBlue);
  FillList(*Hot, clYellow);
  Own->SetDisabledImages(Disabled);
  Own->SetCheckedImages(Checked);
  Own->SetHotImages(Hot);
  struct {
    bool Enabled, Selected, Checked;
    TColor Expected;
  } Cases[] = {
      {true, false, false, clRed},     {false, false, false, clLime}, {false, true, true, clLime},
      {true, false, true, clBlue},     {true, true, true, clBlue},    {true, true, false, clYellow},
  };
  for (const auto& K : Cases)
    EXPECT_EQ(DrawnColour(*Own, K.Enabled, K.Selected, K.Checked), Rgb(K.Expected))
        << K.Enabled << K.Selected << K.Checked;

  // Without companions a disabled image is greyed by the list itself.
  Own->SetDisabledImages(nullptr);
  Own->SetCheckedImages(nullptr);
  Own->SetHotImages(nullptr);
  const COLORREF Greyed = DrawnColour(*Own, false, true, true);
  EXPECT_NE(Greyed, Rgb(clRed));
  EXPECT_NE(Greyed, Rgb(clLime));
  EXPECT_EQ(DrawnColour(*Own, true, true, true), Rgb(clRed));
}

TEST(TbImageList, CompanionListsLinkAndLetGo) {
  TComponent Owner(nullptr);
  auto* Own = new TTBImageList(&Owner);
  Integer Changes = 0;
  Own->OnChange = [&](TObject*) { ++Changes; };

  Own->SetHotImages(Own);  // a list is never its own companion
  EXPECT_EQ(Own->HotImages(), nullptr);
  EXPECT_EQ(Changes, 0);

  auto* Hot = new TImageList(&Owner);
  Own->SetHotImages(Hot);
  EXPECT_EQ(Changes, 1);
  Own->SetHotImages(Hot);  // unchanged: no change announced
  EXPECT_EQ(Changes, 1);
  FillList(*Hot, clYellow);  // the companion's change is the list's change
  EXPECT_EQ(Changes, 2);

  // A companion that goes is dropped, and its later absence is harmless.
  delete Hot;
  EXPECT_EQ(Own->HotImages(), nullptr);
  EXPECT_EQ(DrawnColour(*Own, true, true, false), 0xFFFFFFu);
}

TEST(TbImageList, ImagesComeFromTheStrip) {
  TComponent Owner(nullptr);
  auto* L = new TTBImageList(&Owner);
  FillList(*L, clRed);
  // Changing the mask colour without a strip keeps the images.
  L->SetImagesBitmapMaskColor(clBlue);
  EXPECT_EQ(L->Count(), 1);
  EXPECT_TRUE(L->ImageDataStored(true));

  // 50 pixels at width 16: three whole images, the rest ignored.
  auto Strip = FilledBitmap(50, 16, clLime);
  Strip->Canvas()->Brush()->SetColor(clBlue);
  Strip->Canvas()->FillRect(TRect(16, 0, 32, 16));  // the second image is all mask colour
  L->SetImagesBitmap(Strip.get());
  EXPECT_EQ(L->Count(), 3);
  EXPECT_FALSE(L->ImageDataStored(true));
  EXPECT_TRUE(L->ImageDataStored(false));

  TTestDib D(16, 16, 24, 0xFFFFFF);
  TCanvas C;
  C.SetHandle(D.DC);
  L->Draw(&C, 0, 0, 1);
  EXPECT_EQ(D.At(8, 8), 0xFFFFFFu);  // blue is transparent
  // A new mask colour reloads: lime now shows through in image 0, blue is drawn in image 1.
  L->SetImagesBitmapMaskColor(clLime);
  EXPECT_EQ(L->Count(), 3);
  L->Draw(&C, 0, 0, 1);
  EXPECT_EQ(D.At(8, 8), Rgb(clBlue));
  D.Fill_(0xFFFFFF);
  L->Draw(&C, 0, 0, 0);
  EXPECT_EQ(D.At(8, 8), 0xFFFFFFu);
  C.SetHandle(nullptr);
}

TEST(TbImageList, ItemListsNotifyAsTheirSizeRequires) {
  TComponent Owner(nullptr);
  auto* Root = new TTBRootItem(&Owner);
  auto* Item = new TTBItem(&Owner);
  auto* Sub = new TTBSubmenuItem(&Owner);
  Root->Add(Item);
  Root->Add(Sub);
  auto* A = new TImageList(&Owner);
  auto* B = new TImageList(&Owner);  // 16 x 16 as A
  auto* Big = new TImageList(&Owner);
  Big->SetSize(24, 24);
  TRecorder Rec;
  Root->AddChangeListener(Rec.Proc());

  Item->SetImages(A);        // from none: resize
  Item->SetImages(B);        // same size: repaint only
  Item->SetImages(Big);      // other size: resize
  Big->SetSize(16, 16);      // the list changes size: resize
  FillList(*Big, clRed);     // same size: repaint
  Item->SetImages(nullptr);  // removed: resize
  const std::vector<TEvent> Expected = {{icInvalidateAndResize, Item}, {icInvalidate, Item},
                                        {icInvalidateAndResize, Item}, {icInvalidateAndResize, Item},
                                        {icInvalidate, Item},          {icInvalidateAndResize, Item}};
  EXPECT_EQ(Rec.Events, Expected);

  TRecorder SubRec;
  Sub->AddChangeListener(SubRec.Proc());
  Sub->SetSubMenuImages(A);
  FillList(*A, clRed);
  const std::vector<TEvent> SubExpected = {{icSubmenuImagesChanged, nullptr}, {icSubmenuImagesChanged, nullptr}};
  EXPECT_EQ(SubRec.Events, SubExpected);

  // A freed list leaves the items that used it.
  Item->SetImages(A);
  delete A;
  EXPECT_EQ(Item->Images(), nullptr);
  EXPECT_EQ(Sub->SubMenuImages(), nullptr);
  Root->RemoveChangeListener(Rec.Proc());
  Sub->RemoveChangeListener(SubRec.Proc());
}

TEST(TbImageList, ViewerFindsItsListUpTheViews) {
  TComponent Owner(nullptr);
  auto* Root = new TTBRootItem(&Owner);
  auto* Sub = new TTBSubmenuItem(&Owner);
  auto* Leaf = new TTBItem(&Owner);
  auto* Own = new TTBItem(&Owner);
  Root->Add(Sub);
  Sub->Add(Leaf);
  Sub->Add(Own);
  auto* RootList = new TImageList(&Owner);
  auto* SubList = new TImageList(&Owner);
  auto* OwnList = new TImageList(&Owner);
  Own->SetImages(OwnList);
  TTBView Top(nullptr, nullptr, Root, nullptr, true, false, false);
  TTBView Popup(nullptr, &Top, Sub, nullptr, false, false, false);
  EXPECT_EQ(Popup.FindViewer(Leaf)->ImageList(), nullptr);
  Root->SetSubMenuImages(RootList);  // found through the parent view
  EXPECT_EQ(Popup.FindViewer(Leaf)->ImageList(), RootList);
  Sub->SetSubMenuImages(SubList);  // the nearer view wins
  EXPECT_EQ(Popup.FindViewer(Leaf)->ImageList(), SubList);
  EXPECT_EQ(Popup.FindViewer(Own)->ImageList(), OwnList);  // the item's own list first
  EXPECT_EQ(Top.FindViewer(Sub)->ImageList(), RootList);
}

TEST(TbImageList, MeasuredSizesWithA16PixelList) {
  TComponent Owner(nullptr);
  auto* Root = new TTBRootItem(&Owner);
  auto* List = new TImageList(&Owner);
  Root->SetSubMenuImages(List);
  auto Add = [&](const char16_t* Caption, Integer Image, TTBItemOptions Options) {
    auto* I = new TTBItem(&Owner);
    I->SetCaption(Caption);
    I->SetImageIndex(Image);
    I->SetOptions(Options);
    Root->Add(I);
    return I;
  };
  auto* ImageOnly = Add(u"", 0, {});
  auto* Both = Add(u"&Save", 0, {});
  Both->SetDisplayMode(nbdmImageAndText);  // a toolbar shows only the image by default
  auto* Above = Add(u"&Save", 0, {tboImageAboveCaption});
  auto* Menu = Add(u"&Save", 0, {});
  TTBView Toolbar(nullptr, nullptr, Root, nullptr, true, false, false);
  TTBView Popup(nullptr, nullptr, Root, nullptr, false, false, false);
  TCanvas C;
  HDC DC = CreateCompatibleDC(nullptr);
  C.SetHandle(DC);
  C.Font()->Assign(Toolbar.ViewFont());
  DC = C.Handle();
  TEXTMETRICW TM;
  ASSERT_TRUE(GetTextMetricsW(DC, &TM));
  const Integer TW = MeasureTextWidth(DC, u"&Save", true);
  const Integer MenuH = std::max(TM.tmHeight + TM.tmExternalLeading + 4, 19);
  struct {
    TTBView* View;
    TTBCustomItem* Item;
    Integer W, H;
  } Cases[] = {
      {&Toolbar, ImageOnly, 6 + 17, 22},
      {&Toolbar, Both, TW + 12 + 17, std::max(TM.tmHeight + 6, 22)},
      {&Toolbar, Above, std::max(TW + 12, 23), TM.tmHeight + 6 + 16},
      {&Popup, Menu, TW + MulDiv(19, MenuH, 19) + 6 + MenuH, MenuH},
  };
  for (const auto& K : Cases) {
    Integer W = -1, H = -1;
    K.View->FindViewer(K.Item)->MeasureSize(&C, W, H);
    EXPECT_EQ(W, K.W) << (&K - Cases);
    EXPECT_EQ(H, K.H) << (&K - Cases);
  }
  // A wider list widens the menu's image column by its aspect.
  List->SetSize(32, 16);
  Integer W = -1, H = -1;
  Popup.FindViewer(Menu)->MeasureSize(&C, W, H);
  EXPECT_EQ(W, TW + MulDiv(35, MenuH, 19) + 6 + MenuH);
  C.SetHandle(nullptr);
  DeleteDC(DC);
}

TEST(TbImageList, DisabledMenuItemShowsTheDisabledListInFullColour) {
  TComponent Owner(nullptr);
  auto* Root = new TTBRootItem(&Owner);
  auto* List = new TTBImageList(&Owner);
  auto* Disabled = new TImageList(&Owner);
  FillList(*List, clRed);
  FillList(*Disabled, clLime);
  auto* Item = new TTBItem(&Owner);
  Item->SetCaption(u"Cut");
  Item->SetImageIndex(0);
  Item->SetDisplayXP(false);
  Item->SetEnabled(false);
  Item->SetImages(List);
  Root->Add(Item);
  TTBView V(nullptr, nullptr, Root, nullptr, false, false, false);
  V.EnsureLayout();
  auto Paint = [&](TTestDib& D) {
    TTBItemViewer* Viewer = V.FindViewer(Item);
    Viewer->BoundsRect = TRect(0, 0, D.W, D.H);
    Viewer->Show = true;
    D.Fill_(0xFFFFFF);
    TCanvas C;
    C.SetHandle(D.DC);
    V.PaintViewer(Viewer, &C, false);
    C.SetHandle(nullptr);
  };
  // The image column of a 22-pixel item is MulDiv(19, 22, 19) = 22 wide.
  TTestDib D(120, 22);
  Paint(D);
  EXPECT_NE(D.At(11, 11), Rgb(clRed));  // greyed by the list itself
  EXPECT_NE(D.At(11, 11), Rgb(clLime));
  List->SetDisabledImages(Disabled);
  Paint(D);
  EXPECT_EQ(D.At(11, 11), Rgb(clLime));
  // Centred: columns 3 to 18 hold the image, the edges of the column stay untouched.
  EXPECT_EQ(D.At(3, 3), Rgb(clLime));
  EXPECT_EQ(D.At(18, 18), Rgb(clLime));
  EXPECT_EQ(D.At(2, 11), 0xFFFFFFu);
  EXPECT_EQ(D.At(19, 11), 0xFFFFFFu);
}

}  // namespace test_tbimagelist_tests
