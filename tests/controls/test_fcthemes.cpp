// The themed looks of the control set: the theme switch and its change
// notification, the theme nexus's handles, and what the push button, group
// box, status bar, status pane, progress bar and bar background draw when the
// desktop theme is in use, against their classic looks.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <set>
#include <vector>

#include "controls/fcbutton.h"
#include "controls/fcpanel.h"
#include "controls/fcprgres.h"
#include "controls/fcstatus.h"
#include "controls/gfxsystem.h"
#include "platform/ui/forms.h"
#include "platform/ui/messages.h"
#include "platform/ui/testsupport.h"
#include "platform/ui/uxtheme.h"
#include "tests/controls/fc_test_util.h"

namespace test_fcthemes_tests {
namespace {

// Themes on for one test; off again afterwards whatever happens.
struct TThemesOn {
  TThemesOn() { SetFcThemesEnabled(true); }
  ~TThemesOn() { SetFcThemesEnabled(false); }
};

constexpr TColor kParent = static_cast<TColor>(0x3080C0);

// Pixels (0x00RRGGBB) of a rectangle of a window's surface.
struct TShot {
  Integer W = 0, H = 0;
  std::vector<uint32_t> Px;
  uint32_t At(Integer X, Integer Y) const { return Px[size_t(Y) * W + X]; }
  friend bool operator==(const TShot&, const TShot&) = default;
};

// All of the surface when R is null.
TShot Shot(HWND Wnd, const TRect* Part) {
  std::vector<uint32_t> px;
  Integer w = 0, h = 0;
  GtTestSurface(Wnd, px, w, h);
  const TRect R = Part ? *Part : TRect(0, 0, w, h);
  EXPECT_TRUE(R.Left >= 0 && R.Top >= 0 && R.Right <= w && R.Bottom <= h);
  TShot s;
  if (R.Left < 0 || R.Top < 0 || R.Right > w || R.Bottom > h) return s;
  s.W = R.Width();
  s.H = R.Height();
  for (Integer y = R.Top; y < R.Bottom; ++y)
    for (Integer x = R.Left; x < R.Right; ++x) s.Px.push_back(px[size_t(y) * w + x] & 0xFFFFFF);
  return s;
}

// A windowed control's client area.
TShot ShotOf(TWinControl* C) {
  C->Repaint();
  GtTestPump(5);
  return Shot(C->Handle(), nullptr);
}

// A graphic control's area on its parent's surface.
TShot ShotOf(TGraphicControl* C) {
  C->Parent()->Repaint();
  GtTestPump(5);
  const TRect r(C->Left(), C->Top(), C->Left() + C->Width(), C->Top() + C->Height());
  return Shot(C->Parent()->Handle(), &r);
}

uint32_t Qt(TColor C) {
  const COLORREF c = static_cast<COLORREF>(ColorToRGB(C));
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

Integer DistinctColours(const TShot& S) { return static_cast<Integer>(std::set<uint32_t>(S.Px.begin(), S.Px.end()).size()); }

struct TForm1 {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TForm1() {
    Form->SetClientWidth(320);
    Form->SetClientHeight(200);
    Form->SetColor(kParent);
    Form->Show();
    GtTestActivate(Form->Handle());
  }
};

// ---------------------------------------------------------------- switch and nexus

// Counts the theme changes a plain message window hears.
struct TListener {
  Integer Changes = 0;
  HWND Wnd = AllocateHWnd([this](TMessage& M) {
    if (M.Msg == WM_THEMECHANGED) ++Changes;
    M.Result = DefWindowProc(Wnd, M.Msg, M.WParam, M.LParam);
  });
  ~TListener() { DeallocateHWnd(Wnd); }
};

TEST(FcThemes, TheSwitchIsOffByDefaultAndEveryChangeReachesEveryWindowAndTheNexus) {
  TThemeNexus& nexus = ThemeNexus();
  EXPECT_FALSE(FcThemesEnabled());
  EXPECT_FALSE(nexus.ThemesEnabled());
  EXPECT_EQ(nexus.ScrollbarTheme(), nullptr);
  EXPECT_EQ(nexus.GlobalsTheme(), nullptr);
  const Integer before = GtOpenThemeDataCount();
  TListener l;
  {
    TThemesOn on;
    EXPECT_TRUE(FcThemesEnabled());
    EXPECT_TRUE(ThemesInUse());
    EXPECT_EQ(l.Changes, 1);
    EXPECT_TRUE(nexus.ThemesEnabled());
    EXPECT_NE(nexus.ScrollbarTheme(), nullptr);
    EXPECT_NE(nexus.GlobalsTheme(), nullptr);
    EXPECT_EQ(GtOpenThemeDataCount(), before + 2);
    // Setting the same value again is no change.
    SetFcThemesEnabled(true);
    EXPECT_EQ(l.Changes, 1);
  }
  EXPECT_EQ(l.Changes, 2);
  EXPECT_FALSE(FcThemesEnabled());
  // The handles opened while themes were on are closed once they are off.
  EXPECT_FALSE(nexus.ThemesEnabled());
  EXPECT_EQ(nexus.ScrollbarTheme(), nullptr);
  EXPECT_EQ(nexus.GlobalsTheme(), nullptr);
  EXPECT_EQ(GtOpenThemeDataCount(), before);
}

TEST(FcThemes, AThemeChangeClosesAndReopensTheNexusHandles) {
  TThemesOn on;
  TThemeNexus& nexus = ThemeNexus();
  const HTHEME scroll = nexus.ScrollbarTheme(), globals = nexus.GlobalsTheme();
  ASSERT_NE(scroll, nullptr);
  ASSERT_NE(globals, nullptr);
  const Integer open = GtOpenThemeDataCount();
  SendMessage(nexus.Handle(), WM_THEMECHANGED, 0, 0);
  EXPECT_NE(nexus.ScrollbarTheme(), nullptr);
  EXPECT_NE(nexus.GlobalsTheme(), nullptr);
  EXPECT_NE(nexus.ScrollbarTheme(), scroll);
  EXPECT_NE(nexus.GlobalsTheme(), globals);
  // The old handles are gone, and nothing more is held than before.
  EXPECT_EQ(CloseThemeData(scroll), E_HANDLE);
  EXPECT_EQ(CloseThemeData(globals), E_HANDLE);
  EXPECT_EQ(GtOpenThemeDataCount(), open);
}

// ---------------------------------------------------------------- push button

TEST(FcThemes, ButtonStatesLookApartTheCornersShowTheParentAndClassicReturnsWhenOff) {
  TForm1 f;
  auto* b = new TFcButton(f.Form.get());
  b->SetParent(f.Form.get());
  b->SetBounds(20, 20, 80, 26);
  b->SetCaption(u"");
  GtTestPump(5);
  const TShot classic = ShotOf(b);
  TThemesOn on;
  ASSERT_TRUE(b->UsesTheme());
  const TShot normal = ShotOf(b);
  EXPECT_NE(normal, classic);
  EXPECT_EQ(ShotOf(b), normal);  // stable
  // A rounded part: the parent's colour shows in the corner pixel.
  EXPECT_EQ(normal.At(0, 0), Qt(kParent));
  EXPECT_EQ(normal.At(normal.W - 1, normal.H - 1), Qt(kParent));
  // Pressed by the mouse, the themed button looks different.
  GtTestMouse(b->Handle(), gmaPress, gmbLeft, 10, 10);
  ASSERT_TRUE(b->Pressed());
  const TShot pressed = ShotOf(b);
  GtTestMouse(b->Handle(), gmaRelease, gmbLeft, 10, 10);
  EXPECT_NE(pressed, normal);
  b->SetEnabled(false);
  const TShot disabled = ShotOf(b);
  EXPECT_NE(disabled, normal);
  EXPECT_NE(disabled, pressed);
  b->SetEnabled(true);
  // Not theme aware: the classic frame again, to the pixel.
  b->SetThemeAware(false);
  b->SetEnabled(false);
  b->SetEnabled(true);
  EXPECT_EQ(ShotOf(b), classic);
}

TEST(FcThemes, ButtonFocusInsetAndCaptionDoNotShiftUnderTheTheme) {
  TForm1 f;
  auto* b = new TFcButton(f.Form.get());
  b->SetParent(f.Form.get());
  b->SetBounds(20, 20, 80, 26);
  b->SetGroupIndex(1);
  b->SetDown(true);
  const TRect classicCaption = b->CaptionRect();
  TThemesOn on;
  const TRect focus = b->FocusRect();
  // Inset 3, shifted by (1, 1) for the latched group button.
  EXPECT_EQ(focus, TRect(4, 4, 78, 24));
  const TRect caption = b->CaptionRect();
  EXPECT_EQ(caption, TRect(5, 5, 75, 21));
  EXPECT_EQ(classicCaption, TRect(6, 6, 76, 22));
}

// ---------------------------------------------------------------- group box

TEST(FcThemes, GroupBoxDrawsTheThemeFrameBrokenByItsCaption) {
  TForm1 f;
  auto* g = new TFcGroupBox(f.Form.get());
  g->SetParent(f.Form.get());
  g->SetBounds(10, 10, 200, 100);
  g->SetGroupStyle(gsStandard);
  g->SetVisualStyle(vsWinXP);
  g->SetColor(clBtnFace);
  g->SetCaption(u"");
  const TShot classicEmpty = ShotOf(g);
  TThemesOn on;
  const TShot empty = ShotOf(g);
  EXPECT_NE(empty, classicEmpty);
  g->SetCaption(u"&Options");
  const TShot titled = ShotOf(g);
  const TRect cr = g->CaptionRect();
  ASSERT_GT(cr.Width(), 0);
  // The caption changes only its own box: the frame elsewhere is the one
  // drawn without a caption.
  Integer insideDiffers = 0;
  for (Integer y = 0; y < titled.H; ++y)
    for (Integer x = 0; x < titled.W; ++x) {
      const bool inside = x >= cr.Left && x < cr.Right && y >= cr.Top && y < cr.Bottom;
      if (!inside) {
        ASSERT_EQ(titled.At(x, y), empty.At(x, y)) << x << "," << y;
      } else if (titled.At(x, y) != empty.At(x, y)) {
        ++insideDiffers;
      }
    }
  EXPECT_GT(insideDiffers, 0);
  // The caption's text is in the theme's group-box text colour.
  const uint32_t text = Qt(ThemeElementColor(tekGroupBoxCaption));
  Integer inText = 0;
  for (Integer y = cr.Top; y < cr.Bottom; ++y)
    for (Integer x = cr.Left; x < cr.Right; ++x) inText += titled.At(x, y) == text;
  EXPECT_GT(inText, 0);
  // A style the theme does not cover keeps the classic look.
  g->SetGroupStyle(gsTopLine);
  const TShot topLine = ShotOf(g);
  SetFcThemesEnabled(false);
  EXPECT_EQ(ShotOf(g), topLine);
}

TEST(FcThemes, GroupBoxCaptionColourIsTheThemesTextColourOnlyWhileThemesAreOn) {
  EXPECT_EQ(ThemeElementColor(tekGroupBoxCaption), clBtnFace);
  TThemesOn on;
  const TFcThemeData theme(nullptr, u"BUTTON");
  ASSERT_TRUE(theme);
  COLORREF c = 0;
  ASSERT_EQ(GetThemeColor(theme.Handle(), BP_GROUPBOX, GBS_NORMAL, TMT_TEXTCOLOR, &c), S_OK);
  EXPECT_EQ(ThemeElementColor(tekGroupBoxCaption), static_cast<TColor>(c));
  EXPECT_EQ(ThemeElementColor(tekOther), static_cast<TColor>(0xFFFFFF));
}

// ---------------------------------------------------------------- status bar, panes, progress

struct TStatus {
  TForm1 F;
  TFcStatusBar* Bar;
  TStatus() {
    Bar = new TFcStatusBar(F.Form.get());
    Bar->SetParent(F.Form.get());
    Bar->SetAlign(alBottom);
    Bar->SetHeight(22);
    Bar->SetColor(clBtnFace);
    Bar->SetVisualStyle(vsWinXP);
  }
};

TEST(FcThemes, StatusBarBackgroundAndGripComeFromTheTheme) {
  TStatus s;
  const TShot classic = ShotOf(s.Bar);
  TThemesOn on;
  const TShot themed = ShotOf(s.Bar);
  EXPECT_NE(themed, classic);
  EXPECT_EQ(ShotOf(s.Bar), themed);
  // The grip is drawn in the last 20 columns only.
  s.Bar->SetShowSizeGrip(false);
  const TShot plain = ShotOf(s.Bar);
  bool gripSeen = false;
  for (Integer y = 0; y < themed.H; ++y)
    for (Integer x = 0; x < themed.W; ++x) {
      if (x < themed.W - 20)
        ASSERT_EQ(themed.At(x, y), plain.At(x, y)) << x << "," << y;
      else
        gripSeen |= themed.At(x, y) != plain.At(x, y);
    }
  EXPECT_TRUE(gripSeen);
  // The simple caption is written with the theme's text drawing.
  s.Bar->SetSimpleCaption(u"Ready");
  s.Bar->SetSimpleStatus(true);
  EXPECT_NE(ShotOf(s.Bar), plain);
  // A gradient status bar does not use the theme.
  s.Bar->SetSimpleStatus(false);
  s.Bar->SetVisualStyle(vsGradient);
  const TShot gradient = ShotOf(s.Bar);
  SetFcThemesEnabled(false);
  EXPECT_EQ(ShotOf(s.Bar), gradient);
}

TEST(FcThemes, PaneInAThemedBarFramesItselfAndWritesOverTheBarsBackground) {
  TStatus s;
  auto* p = new TFcStatusPane(s.F.Form.get());
  p->SetParent(s.Bar);
  p->SetAlign(alLeft);
  p->SetWidth(120);
  p->SetCaption(u"");
  p->SetColor(static_cast<TColor>(0x00FF00));
  p->SetFillColor(static_cast<TColor>(0x00FF00));
  // The classic bar places its panes one pixel past its client edges; the
  // themed one inside them, from the moment themes are switched on.
  EXPECT_EQ(p->Left(), -1);
  TThemesOn on;
  ASSERT_TRUE(s.Bar->ThemeInUse());
  EXPECT_EQ(p->Left(), 0);
  EXPECT_EQ(p->Top(), 0);
  EXPECT_EQ(p->Height(), s.Bar->Height());
  const TShot pane = ShotOf(p);
  // The pane's own fill colour is not used in a themed bar: its text area
  // holds the bar's theme background.
  for (uint32_t v : pane.Px) ASSERT_NE(v, 0x00FF00u);
  s.Bar->Repaint();
  const TRect text = p->TextRect();
  TBitmap back;
  back.SetPixelFormat(pf24bit);
  back.SetSize(s.Bar->Width(), s.Bar->Height());
  const TFcThemeData theme(nullptr, u"STATUS");
  ASSERT_TRUE(theme.Draw(back.Canvas()->Handle(), 0, 0, TRect(0, 0, back.Width(), back.Height())));
  for (Integer y = text.Top; y < text.Bottom; ++y)
    for (Integer x = text.Left; x < text.Right; ++x) {
      const COLORREF c = GetPixel(back.Canvas()->Handle(), p->Left() + x, p->Top() + y);
      ASSERT_EQ(pane.At(x, y), uint32_t((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c))) << x << "," << y;
    }
  // The pane part differs from the plain bar background somewhere (its frame).
  bool framed = false;
  for (Integer y = 0; y < pane.H && !framed; ++y)
    for (Integer x = 0; x < pane.W && !framed; ++x) {
      const COLORREF c = GetPixel(back.Canvas()->Handle(), p->Left() + x, p->Top() + y);
      framed = pane.At(x, y) != uint32_t((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
    }
  EXPECT_TRUE(framed);
}

struct TBar {
  TForm1 F;
  TFcProgressBar* Bar;
  TBar(Integer W, Integer H) {
    Bar = new TFcProgressBar(F.Form.get());
    Bar->SetParent(F.Form.get());
    Bar->SetBounds(10, 10, W, H);
  }
};

// How many columns (or rows, vertically) of the inside differ from the empty bar.
Integer FilledLines(const TShot& Empty, const TShot& Now, bool Vertical) {
  Integer n = 0;
  const Integer lines = Vertical ? Now.H : Now.W;
  for (Integer i = 0; i < lines; ++i) {
    bool differs = false;
    const Integer across = Vertical ? Now.W : Now.H;
    for (Integer j = 0; j < across && !differs; ++j)
      differs = Vertical ? Now.At(j, i) != Empty.At(j, i) : Now.At(i, j) != Empty.At(i, j);
    n += differs;
  }
  return n;
}

TEST(FcThemes, ThemedChunksFillTheDoneFractionAndLargePercentagesDrawAsFull) {
  struct TCase {
    Integer W, H;
    bool Vertical;
  };
  for (const TCase c : {TCase{204, 20, false}, TCase{20, 124, true}}) {
    SCOPED_TRACE(c.Vertical ? "vertical" : "horizontal");
    TBar b(c.W, c.H);
    b.Bar->SetBarStyle(bsLED);
    TThemesOn on;
    b.Bar->SetPercent(0);
    const TShot empty = ShotOf(b.Bar);
    b.Bar->SetPercent(100);
    const Integer full = FilledLines(empty, ShotOf(b.Bar), c.Vertical);
    // Frame part 1, LED inset 1 and the chunk's own 1: the chunk spans the
    // length less 6.
    const Integer length = (c.Vertical ? c.H : c.W) - 6;
    EXPECT_NEAR(full, length, 2);
    for (Integer p : {1, 25, 50, 99}) {
      b.Bar->SetPercent(static_cast<Word>(p));
      EXPECT_NEAR(FilledLines(empty, ShotOf(b.Bar), c.Vertical), p * length / 100.0, 2.5) << p;
    }
    // The chunks grow from the bottom: at 50 % the top half is untouched.
    if (c.Vertical) {
      b.Bar->SetPercent(50);
      const TShot half = ShotOf(b.Bar);
      for (Integer y = 0; y < c.H / 2 - 3; ++y)
        for (Integer x = 0; x < c.W; ++x) ASSERT_EQ(half.At(x, y), empty.At(x, y)) << x << "," << y;
    }
    b.Bar->SetPercent(100);
    const TShot hundred = ShotOf(b.Bar);
    for (Word p : {Word(150), Word(65535)}) {
      b.Bar->SetPercent(p);
      EXPECT_EQ(ShotOf(b.Bar), hundred) << p;
    }
  }
}

TEST(FcThemes, ProgressBarUsesTheThemeOnlyWhereItApplies) {
  TBar b(200, 20);
  b.Bar->SetPercent(40);
  const TShot classic = ShotOf(b.Bar);
  TThemesOn on;
  const TShot themed = ShotOf(b.Bar);
  EXPECT_NE(themed, classic);
  EXPECT_EQ(ShotOf(b.Bar), themed);
  // The plain bar inside the theme's frame (3 pixels on each side) fills
  // 40 % of the 194 pixels inside: 78 columns from x = 3.
  b.Bar->SetShowPercent(false);
  const TShot noText = ShotOf(b.Bar);
  std::string row;
  for (Integer x = 0; x < noText.W; ++x) row += noText.At(x, 10) == Qt(clHighlight) ? '#' : '.';
  EXPECT_EQ(row.find('#'), 3u);
  EXPECT_EQ(row.rfind('#'), 80u);
  EXPECT_EQ(std::count(row.begin(), row.end(), '#'), 78);
  b.Bar->SetShowPercent(true);
  // Not theme aware: exactly the classic look.
  b.Bar->SetThemeAware(false);
  EXPECT_EQ(ShotOf(b.Bar), classic);
  b.Bar->SetThemeAware(true);

  // Inside a status bar that is not vsWinXP: the classic look; inside a
  // themed one: over the bar's background, unlike the free-standing look.
  TStatus s;
  auto* inBar = new TFcProgressBar(s.F.Form.get());
  inBar->SetParent(s.Bar);
  inBar->SetBounds(4, 2, 150, 18);
  inBar->SetPercent(40);
  s.Bar->SetVisualStyle(vsGradient);
  const TShot gradientBar = ShotOf(inBar);
  SetFcThemesEnabled(false);
  const TShot classicInBar = ShotOf(inBar);
  EXPECT_EQ(gradientBar, classicInBar);
  SetFcThemesEnabled(true);
  s.Bar->SetVisualStyle(vsWinXP);
  const TShot themedInBar = ShotOf(inBar);
  EXPECT_NE(themedInBar, classicInBar);
  EXPECT_GT(DistinctColours(themedInBar), 2);
}

// ---------------------------------------------------------------- bar background

TEST(FcThemes, BarBackgroundDrawsTheThemesBarOnlyForTheThemedStyle) {
  TFcSurface classic(40, 24), themed(40, 24), gradient(40, 24);
  const TRect r(0, 0, 40, 24);
  PaintBarBackground(classic.Canvas(), r, vsWinXP, gcsSystem, false, clRed, clBlue);
  PaintBarBackground(gradient.Canvas(), r, vsGradient, gcsSystem, false, clRed, clBlue);
  // Without themes vsWinXP paints the same gradient as vsGradient.
  for (Integer y = 0; y < 24; ++y)
    for (Integer x = 0; x < 40; ++x) ASSERT_EQ(classic.At(x, y), gradient.At(x, y));
  TThemesOn on;
  PaintBarBackground(themed.Canvas(), r, vsWinXP, gcsSystem, false, clRed, clBlue);
  bool differs = false;
  for (Integer y = 0; y < 24; ++y) differs |= themed.At(5, y) != classic.At(5, y);
  EXPECT_TRUE(differs);
  // Lighter at the top than at the bottom, and the same across a row.
  const COLORREF top = themed.At(20, 0), bottom = themed.At(20, 23);
  EXPECT_GT(GetRValue(top) + GetGValue(top) + GetBValue(top), GetRValue(bottom) + GetGValue(bottom) + GetBValue(bottom));
  for (Integer x = 0; x < 40; ++x) EXPECT_EQ(themed.At(x, 11), themed.At(0, 11));
  // vsClassic paints nothing, themes or not.
  TFcSurface none(40, 24, 0x123456);
  PaintBarBackground(none.Canvas(), r, vsClassic, gcsSystem, false, clRed, clBlue);
  const std::string untouched = none.Picture(0x123456);
  EXPECT_EQ(untouched.find('.'), std::string::npos);
}

}  // namespace
}  // namespace test_fcthemes_tests
