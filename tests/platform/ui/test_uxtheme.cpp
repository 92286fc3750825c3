// Theme services: class names, handles, drawing through a DC's clip and
// mapping, colours and text, per-window switching, and the notifications of
// a switch or a desktop theme change.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/forms.h"
#include "platform/ui/messages.h"
#include "platform/ui/testsupport.h"
#include "platform/ui/uxtheme.h"

namespace test_uxtheme_tests {
namespace {

struct TThemed {
  TThemed() { EnableTheming(TRUE); }
  ~TThemed() { EnableTheming(FALSE); }
};

struct TCanvas24 {
  TBitmap Bmp;
  TCanvas24(Integer W, Integer H, COLORREF Fill) {
    Bmp.SetPixelFormat(pf24bit);
    Bmp.SetSize(W, H);
    HBRUSH b = CreateSolidBrush(Fill);
    TRect r(0, 0, W, H);
    FillRect(DC(), &r, b);
    DeleteObject(b);
  }
  HDC DC() { return Bmp.Canvas()->Handle(); }
  COLORREF At(Integer X, Integer Y) { return GetPixel(DC(), X, Y) & 0xFFFFFF; }
};

struct TCounter {
  Integer Changes = 0;
  HWND Wnd = AllocateHWnd([this](TMessage& M) {
    if (M.Msg == WM_THEMECHANGED) ++Changes;
    M.Result = DefWindowProc(Wnd, M.Msg, M.WParam, M.LParam);
  });
  ~TCounter() { DeallocateHWnd(Wnd); }
};

TEST(UxTheme, ClassListsOpenTheFirstKnownClassOnlyWhileTheProgramIsThemed) {
  ASSERT_TRUE(IsThemeActive());
  EXPECT_FALSE(IsAppThemed());
  EXPECT_EQ(OpenThemeData(nullptr, u"BUTTON"), nullptr);
  TThemed on;
  EXPECT_TRUE(IsAppThemed());
  const Integer before = GtOpenThemeDataCount();
  struct TCase {
    const WCHAR* List;
    bool Opens;
  };
  for (const TCase& c : {TCase{u"BUTTON", true}, TCase{u"status", true}, TCase{u"NOSUCH;Progress", true},
                         TCase{u"ExplorerBar", true}, TCase{u"SCROLLBAR", true}, TCase{u"GLOBALS", true},
                         TCase{u"NOSUCH", false}, TCase{u"", false}, TCase{u"BUTTONS", false}}) {
    HTHEME t = OpenThemeData(nullptr, c.List);
    EXPECT_EQ(t != nullptr, c.Opens);
    if (t) {
      EXPECT_EQ(CloseThemeData(t), S_OK);
      EXPECT_EQ(CloseThemeData(t), E_HANDLE);
    }
  }
  EXPECT_EQ(GtOpenThemeDataCount(), before);
  EXPECT_EQ(CloseThemeData(nullptr), E_HANDLE);
}

TEST(UxTheme, PartsDrawOverTheTargetWithinItsClipAndMappingAndUnknownPartsFail) {
  TThemed on;
  HTHEME t = OpenThemeData(nullptr, u"BUTTON");
  ASSERT_NE(t, nullptr);
  constexpr COLORREF kBack = 0x123456;
  TCanvas24 c(60, 40, kBack);
  TRect r(10, 10, 50, 30);
  // A clip of the left half and a viewport moved by (5, 2).
  const TRect clip(0, 0, 30, 40);
  SetViewportOrgEx(c.DC(), 5, 2, nullptr);
  ASSERT_EQ(DrawThemeBackground(t, c.DC(), BP_PUSHBUTTON, PBS_NORMAL, &r, &clip), S_OK);
  SetViewportOrgEx(c.DC(), 0, 0, nullptr);
  Integer drawn = 0;
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 60; ++x) {
      const bool inside = x >= 15 && x < 35 && y >= 12 && y < 32;  // part ∩ clip, moved
      if (!inside)
        ASSERT_EQ(c.At(x, y), kBack) << x << "," << y;
      else
        drawn += c.At(x, y) != kBack;
    }
  EXPECT_GT(drawn, 20 * 20 / 2);
  // Rounded corners keep what was there.
  EXPECT_TRUE(IsThemeBackgroundPartiallyTransparent(t, BP_PUSHBUTTON, PBS_NORMAL));
  EXPECT_EQ(c.At(15, 12), kBack);
  for (Integer bad : {0, 2, 9})
    EXPECT_EQ(DrawThemeBackground(t, c.DC(), bad, 1, &r, nullptr), E_INVALIDARG) << bad;
  EXPECT_EQ(DrawThemeBackground(t, c.DC(), BP_PUSHBUTTON, 6, &r, nullptr), E_INVALIDARG);
  EXPECT_EQ(DrawThemeBackground(t, c.DC(), BP_PUSHBUTTON, PBS_NORMAL, nullptr, nullptr), E_INVALIDARG);
  // An empty rectangle draws nothing and succeeds.
  TRect empty(20, 20, 20, 30);
  EXPECT_EQ(DrawThemeBackground(t, c.DC(), BP_PUSHBUTTON, PBS_NORMAL, &empty, nullptr), S_OK);
  CloseThemeData(t);
  EXPECT_EQ(DrawThemeBackground(t, c.DC(), BP_PUSHBUTTON, PBS_NORMAL, &r, nullptr), E_HANDLE);
  // Classes that only open have nothing to draw.
  HTHEME g = OpenThemeData(nullptr, u"GLOBALS");
  EXPECT_EQ(DrawThemeBackground(g, c.DC(), 0, 0, &r, nullptr), E_INVALIDARG);
  CloseThemeData(g);
}

TEST(UxTheme, TextIsWrittenInThePartsTextColourAndMeasuredLikeDrawText) {
  TThemed on;
  // The bitmap's DC carries its canvas's small font; unsmoothed, its glyphs
  // take exactly the part's text colour.
  struct TCrisp {
    bool Was = GtSetFontSmoothing(false);
    ~TCrisp() { GtSetFontSmoothing(Was); }
  } crisp;
  HTHEME t = OpenThemeData(nullptr, u"BUTTON");
  ASSERT_NE(t, nullptr);
  COLORREF text = 0, disabled = 0;
  ASSERT_EQ(GetThemeColor(t, BP_GROUPBOX, GBS_NORMAL, TMT_TEXTCOLOR, &text), S_OK);
  ASSERT_EQ(GetThemeColor(t, BP_GROUPBOX, GBS_DISABLED, TMT_TEXTCOLOR, &disabled), S_OK);
  EXPECT_NE(text, disabled);
  EXPECT_EQ(GetThemeColor(t, BP_GROUPBOX, GBS_NORMAL, 1234, &text), E_PROP_ID_UNSUPPORTED);
  const COLORREF back = text ^ 0xFFFFFF;
  TCanvas24 c(80, 24, back);
  TRect box(2, 2, 78, 22);
  TRect extent;
  ASSERT_EQ(GetThemeTextExtent(t, c.DC(), BP_GROUPBOX, GBS_NORMAL, u"Group", -1, DT_SINGLELINE, nullptr, &extent),
            S_OK);
  TRect measured(0, 0, 0, 0);
  DrawTextW(c.DC(), u"Group", -1, &measured, DT_SINGLELINE | DT_CALCRECT);
  EXPECT_EQ(extent, measured);
  SetTextColor(c.DC(), back);
  ASSERT_EQ(DrawThemeText(t, c.DC(), BP_GROUPBOX, GBS_NORMAL, u"Group", -1, DT_LEFT | DT_SINGLELINE, 0, &box), S_OK);
  Integer inText = 0, other = 0;
  for (Integer y = 0; y < 24; ++y)
    for (Integer x = 0; x < 80; ++x) {
      const COLORREF p = c.At(x, y);
      inText += p == text;
      // Outside the text's box nothing changed: no background is painted.
      if (x >= box.Left + extent.Width() + 1 || y < box.Top || y >= box.Top + extent.Height()) other += p != back;
    }
  EXPECT_GT(inText, 5);
  EXPECT_EQ(other, 0);
  // The DC's own text colour is left as it was.
  EXPECT_EQ(GetTextColor(c.DC()), back);
  CloseThemeData(t);
}

TEST(UxTheme, SwitchingAndDesktopChangesTellEveryWindowOnce) {
  TCounter a, b;
  std::unique_ptr<TForm> f1(new TForm(nullptr)), f2(new TForm(nullptr));
  f1->Show();
  f2->Show();
  EnableTheming(TRUE);
  EXPECT_EQ(a.Changes, 1);
  EXPECT_EQ(b.Changes, 1);
  EnableTheming(TRUE);  // no change
  EXPECT_EQ(a.Changes, 1);
  // Two top-level windows hear of the desktop's change; the program's
  // windows receive it once, after the event.
  GtTestDesktopThemeChanged();
  EXPECT_EQ(a.Changes, 1);
  GtTestPump(20);
  EXPECT_EQ(a.Changes, 2);
  EXPECT_EQ(b.Changes, 2);
  EnableTheming(FALSE);
  EXPECT_EQ(a.Changes, 3);
}

TEST(UxTheme, AWindowWhoseThemeIsTurnedOffGetsNoThemeData) {
  TThemed on;
  TCounter w;
  ASSERT_EQ(SetWindowTheme(w.Wnd, u"", u""), S_OK);
  EXPECT_EQ(w.Changes, 1);
  EXPECT_EQ(OpenThemeData(w.Wnd, u"BUTTON"), nullptr);
  ASSERT_EQ(SetWindowTheme(w.Wnd, nullptr, nullptr), S_OK);
  HTHEME t = OpenThemeData(w.Wnd, u"BUTTON");
  EXPECT_NE(t, nullptr);
  CloseThemeData(t);
  EXPECT_EQ(SetWindowTheme(nullptr, u"", u""), E_HANDLE);
}

}  // namespace
}  // namespace test_uxtheme_tests
