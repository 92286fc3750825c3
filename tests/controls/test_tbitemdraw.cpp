// Measuring and drawing of toolbar buttons and menu items: sizes from the
// font's metrics, and the marks that tell states apart (tick, radio dot,
// checker, edges, emboss, flat scheme, shortcut placement, separators).
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <algorithm>
#include <string>

#include "controls/tbcommon.h"
#include "controls/tbview.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_tbitemdraw_tests {

namespace {

struct TFixture {
  TComponent Owner{nullptr};
  TTBCustomItem* Root = new TTBRootItem(&Owner);
  template <class T = TTBItem>
  T* Add(const char* Caption) {
    T* I = new T(&Owner);
    I->SetCaption(Utf8ToWide(Caption));
    I->SetDisplayXP(false);
    Root->Add(I);
    return I;
  }
};

COLORREF Sys(Integer Index) { return GetSysColor(Index) & 0xFFFFFF; }

// Paints one viewer into a fresh picture of its own size, on Background.
void PaintAlone(TTBView& V, TTBItemViewer* Viewer, TTestDib& Dib, COLORREF Background) {
  V.EnsureLayout();
  Viewer->BoundsRect = TRect(0, 0, Dib.W, Dib.H);
  Viewer->Show = true;
  Dib.Fill_(Background);
  // Captions come in the view's font; without smoothing their pixels take
  // exactly the colours the checks look for.
  const bool Smoothing = GtSetFontSmoothing(false);
  TCanvas C;
  C.SetHandle(Dib.DC);
  V.PaintViewer(Viewer, &C, false);
  C.SetHandle(nullptr);
  GtSetFontSmoothing(Smoothing);
}

Integer CountColor(const TTestDib& D, COLORREF C, const TRect& R) {
  Integer N = 0;
  for (Integer Y = R.Top; Y < R.Bottom; ++Y)
    for (Integer X = R.Left; X < R.Right; ++X) N += D.At(X, Y) == C;
  return N;
}

TEST(TbItemDraw, MeasuredSizesFollowTheFontMetrics) {
  TFixture F;
  TTBView Toolbar(nullptr, nullptr, F.Root, nullptr, true, false, false);
  TTBView Popup(nullptr, nullptr, F.Root, nullptr, false, false, false);
  TCanvas C;
  HDC DC = CreateCompatibleDC(nullptr);
  C.SetHandle(DC);
  C.Font()->Assign(Toolbar.ViewFont());
  DC = C.Handle();
  TEXTMETRICW TM;
  ASSERT_TRUE(GetTextMetricsW(DC, &TM));
  const Integer TW = MeasureTextWidth(DC, u"&Save", true);
  const Integer SW = TextExtentOf(DC, u"Ctrl+S").cx;
  const Integer MenuH = TM.tmHeight + TM.tmExternalLeading + 4;

  auto* Plain = F.Add("&Save");
  auto* Drop = F.Add<TTBSubmenuItem>("&Save");
  Drop->SetOptions({tboDropdownArrow});
  auto* Combo = F.Add<TTBSubmenuItem>("&Save");
  Combo->SetDropdownCombo(true);
  auto* Short = F.Add("&Save");
  Short->SetShortCut(0x4000 | 'S');
  auto* Sep = F.Add<TTBSeparatorItem>("");
  struct {
    TTBView* View;
    TTBCustomItem* Item;
    Integer W, H;
  } Cases[] = {
      {&Toolbar, Plain, TW + 12, TM.tmHeight + 6},
      {&Toolbar, Drop, TW + 12 + 8, TM.tmHeight + 6},
      {&Toolbar, Combo, TW + 12 + 11, TM.tmHeight + 6},
      {&Toolbar, Sep, 6, 6},
      {&Popup, Plain, TW + MenuH + 6 + MenuH, MenuH},
      {&Popup, Short, TW + MenuH + 6 + SW + MenuH + 6 + MenuH, MenuH},
      {&Popup, Drop, TW + MenuH + 6 + MenuH, MenuH},
      {&Popup, Sep, 0, 10},
  };
  for (const auto& K : Cases) {
    Integer W = -1, H = -1;
    K.View->FindViewer(K.Item)->MeasureSize(&C, W, H);
    EXPECT_EQ(W, K.W) << (&K - Cases);
    EXPECT_EQ(H, K.H) << (&K - Cases);
  }

  // A vertical toolbar turns captions: the vertical font's height across, the text along.
  Toolbar.SetOrientation(tbvoVertical);
  HFONT VF = CreateVerticalFont(DC);
  HGDIOBJ Old = SelectObject(DC, VF);
  TEXTMETRICW VTM;
  GetTextMetricsW(DC, &VTM);
  SelectObject(DC, Old);
  DeleteObject(VF);
  Integer W = 0, H = 0;
  Toolbar.FindViewer(Drop)->MeasureSize(&C, W, H);
  EXPECT_EQ(W, VTM.tmHeight + 6);
  EXPECT_EQ(H, TW + 12 + 8);  // the drop-down arrow goes below
  C.SetHandle(nullptr);
  DeleteDC(DC);
}

TEST(TbItemDraw, TickAndRadioDotOfCheckedMenuItems) {
  TFixture F;
  auto* Tick = F.Add("Tick");
  auto* Radio = F.Add("Radio");
  Tick->SetChecked(true);
  Radio->SetChecked(true);
  Radio->SetRadioItem(true);
  TTBView V(nullptr, nullptr, F.Root, nullptr, false, false, false);
  const COLORREF Text = Sys(COLOR_BTNTEXT), Light = Sys(COLOR_BTNHIGHLIGHT);
  ASSERT_NE(Text, Light);
  // The box is the 20-pixel image column, its content moved by one: centre (11, 11).
  TTestDib D(120, 20);
  PaintAlone(V, V.FindViewer(Tick), D, Sys(COLOR_MENU));
  const TPoint Dark[] = {{8, 11}, {10, 11}, {11, 10}, {12, 9}, {12, 10}, {11, 11}, {10, 12}};
  const TPoint Lit[] = {{7, 12}, {8, 13}, {10, 13}, {11, 12}, {12, 11}, {13, 10}};
  for (const TPoint& P : Dark) EXPECT_EQ(D.At(P.X, P.Y), Text) << P.X << "," << P.Y;
  for (const TPoint& P : Lit) EXPECT_EQ(D.At(P.X, P.Y), Light) << P.X << "," << P.Y;

  PaintAlone(V, V.FindViewer(Radio), D, Sys(COLOR_MENU));
  for (Integer Y = 9; Y < 12; ++Y)
    for (Integer X = 9; X < 12; ++X) EXPECT_EQ(D.At(X, Y), Text) << X << "," << Y;
  EXPECT_EQ(D.At(10, 7), Light);   // the ring around the dot
  EXPECT_EQ(D.At(7, 10), Light);
}

TEST(TbItemDraw, ShortCutTextEndsEightPixelsFromTheRight) {
  TFixture F;
  auto* I = F.Add("Open");
  I->SetShortCut(0x4000 | 'O');
  TTBView V(nullptr, nullptr, F.Root, nullptr, false, false, false);
  TTestDib D(220, 20);
  PaintAlone(V, V.FindViewer(I), D, RGB(255, 255, 255));
  Integer Rightmost = -1;
  for (Integer X = 120; X < D.W; ++X)
    for (Integer Y = 0; Y < D.H; ++Y)
      if (D.At(X, Y) != RGB(255, 255, 255)) Rightmost = X;
  EXPECT_LE(Rightmost, 220 - 8 - 1);
  EXPECT_GE(Rightmost, 220 - 8 - 4);
}

TEST(TbItemDraw, ToolbarButtonStates) {
  TFixture F;
  const COLORREF Face = Sys(COLOR_BTNFACE), Light = Sys(COLOR_BTNHIGHLIGHT), Shadow = Sys(COLOR_BTNSHADOW);
  auto* Disabled = F.Add("Ab");
  Disabled->SetEnabled(false);
  auto* Checked = F.Add("Ab");
  auto* Plain = F.Add("Ab");
  auto* Split = F.Add<TTBSubmenuItem>("");
  Split->SetDropdownCombo(true);
  TTBView V(nullptr, nullptr, F.Root, nullptr, true, false, false);

  // Disabled: the caption in highlight, then in shadow one pixel up and left.
  TTestDib D(40, 22);
  PaintAlone(V, V.FindViewer(Disabled), D, Face);
  Integer Pairs = 0;
  for (Integer Y = 0; Y + 1 < D.H; ++Y)
    for (Integer X = 0; X + 1 < D.W; ++X) Pairs += D.At(X, Y) == Shadow && D.At(X + 1, Y + 1) == Light;
  EXPECT_GT(Pairs, 3);
  EXPECT_EQ(CountColor(D, Sys(COLOR_BTNTEXT), TRect(0, 0, D.W, D.H)), 0);

  // Checked and not hot: sunken edge, checker inside, caption one pixel down and right.
  TTestDib P(40, 22), C(40, 22);
  PaintAlone(V, V.FindViewer(Plain), P, Face);
  Checked->SetChecked(true);
  PaintAlone(V, V.FindViewer(Checked), C, Face);
  EXPECT_EQ(C.At(0, 5), Shadow);
  EXPECT_EQ(C.At(39, 5), Light);
  EXPECT_EQ(C.At(2, 2) == Light, C.At(3, 2) == Face);  // alternating pattern
  EXPECT_NE(C.At(2, 2), C.At(3, 2));
  auto InkBox = [&](const TTestDib& X) {
    TRect B(1000, 1000, -1, -1);
    for (Integer Y = 0; Y < X.H; ++Y)
      for (Integer Xx = 0; Xx < X.W; ++Xx)
        if (X.At(Xx, Y) == Sys(COLOR_BTNTEXT)) {
          B.Left = std::min(B.Left, Xx);
          B.Top = std::min(B.Top, Y);
          B.Right = std::max(B.Right, Xx);
          B.Bottom = std::max(B.Bottom, Y);
        }
    return B;
  };
  const TRect A = InkBox(P), B = InkBox(C);
  ASSERT_GE(A.Right, 0);
  EXPECT_EQ(B.Left, A.Left + 1);
  EXPECT_EQ(B.Top, A.Top + 1);

  // A selected split button with its menu open: button part raised, arrow part sunken.
  TTBItemViewer* SV = V.FindViewer(Split);
  V.SetSelected(SV);
  V.SetOpenViewer(SV, nullptr);
  TTestDib S(40, 22);
  PaintAlone(V, SV, S, Face);
  EXPECT_EQ(S.At(0, 0), Light);
  EXPECT_EQ(S.At(29, 0), Shadow);
  V.SetOpenViewer(nullptr, nullptr);
  V.SetSelected(nullptr);
}

TEST(TbItemDraw, FlatSchemeAndSeparators) {
  TFixture F;
  auto* I = F.Add("Flat");
  I->SetDisplayXP(true);
  auto* Sep = F.Add<TTBSeparatorItem>("");
  TTBView Popup(nullptr, nullptr, F.Root, nullptr, false, false, false);
  TTBItemViewer* IV = Popup.FindViewer(I);
  Popup.SetSelected(IV);
  TTestDib D(120, 20);
  PaintAlone(Popup, IV, D, RGB(1, 2, 3));
  const COLORREF Outline = ColorToRGB(I->XPItemOutlineCol()), Fill = ColorToRGB(I->XPItemSelBkgrCol());
  EXPECT_EQ(D.At(21, 0), Outline);  // the frame starts after the image column
  EXPECT_EQ(D.At(119, 10), Outline);
  EXPECT_EQ(D.At(60, 1), Fill);
  EXPECT_EQ(D.At(5, 10), static_cast<COLORREF>(ColorToRGB(I->XPItemLeftCol())));  // image strip
  EXPECT_GT(CountColor(D, ColorToRGB(I->XPItemSelTxtCol()), TRect(25, 1, 119, 19)), 0);
  Popup.SetSelected(nullptr);

  // A separator in a vertical toolbar is a horizontal etched line.
  TTBView Vertical(nullptr, nullptr, F.Root, nullptr, true, false, false);
  Vertical.SetOrientation(tbvoVertical);
  static_cast<TTBSeparatorItem*>(Sep)->SetDisplayXP(false);
  TTestDib S(22, 6);
  PaintAlone(Vertical, Vertical.FindViewer(Sep), S, RGB(1, 2, 3));
  EXPECT_EQ(S.At(10, 2), Sys(COLOR_BTNSHADOW));
  EXPECT_EQ(S.At(10, 3), Sys(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(S.At(10, 0), RGB(1, 2, 3));
}

}  // namespace

}  // namespace test_tbitemdraw_tests
