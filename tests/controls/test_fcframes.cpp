// Frame painters pixel by pixel on a 10 x 8 rectangle, written from the line
// rules (end pixels left out, lower-right lines last), the parent background
// behind a control, accelerator stripping, text and rotated fonts.
#include <gtest/gtest.h>

#include <functional>

#include "controls/fccommon.h"
#include "platform/ui/messages.h"
#include "tests/controls/fc_test_util.h"

namespace test_fcframes_tests {

namespace {

constexpr COLORREF kBack = 0x00FF00;

// Distinct values for the system colours the frames use, so that a swapped
// colour shows (3D light and face, highlight and window share a value by default).
class FcFrames : public testing::Test {
 protected:
  void SetUp() override {
    FSaved[0] = GtSetSysColor(COLOR_3DLIGHT, 0xE0E0E0);
    FSaved[1] = GtSetSysColor(COLOR_BTNHIGHLIGHT, 0xF8F8F8);
  }
  void TearDown() override {
    GtSetSysColor(COLOR_3DLIGHT, FSaved[0]);
    GtSetSysColor(COLOR_BTNHIGHLIGHT, FSaved[1]);
  }
  static std::string Legend(TFcSurface& S) {
    return S.Map({{'.', kBack},
                  {'l', 0xE0E0E0},
                  {'h', 0xF8F8F8},
                  {'w', 0xFFFFFF},
                  {'f', static_cast<COLORREF>(ColorToRGB(clBtnFace))},
                  {'s', static_cast<COLORREF>(ColorToRGB(clBtnShadow))},
                  {'D', static_cast<COLORREF>(ColorToRGB(cl3DDkShadow))},
                  {'k', 0x000000}});
  }
  COLORREF FSaved[2] = {};
};

struct TStyleCase {
  TFrameStyleEx Style;
  TSides Sides;
  TRect Result;
  std::initializer_list<const char*> Rows;
};

constexpr TSides kTopBottom = SideBit(sdTop) | SideBit(sdBottom);
constexpr TSides kLeft = SideBit(sdLeft);

TEST_F(FcFrames, SystemColourStylesMatchTheirGoldens) {
  const TStyleCase cases[] = {
      {fsNone, sdAll, {0, 0, 10, 8}, {"..........", "..........", "..........", "..........", "..........",
                                      "..........", "..........", ".........."}},
      {fsFlat, sdAll, {1, 1, 9, 7}, {"DDDDDDDDDD", "D........D", "D........D", "D........D", "D........D",
                                     "D........D", "D........D", "DDDDDDDDDD"}},
      {fsFlat, kTopBottom, {0, 1, 10, 7}, {"DDDDDDDDDD", "..........", "..........", "..........", "..........",
                                           "..........", "..........", "DDDDDDDDDD"}},
      {fsGroove, sdAll, {2, 2, 8, 6}, {"sssssssssh", "shhhhhhhsh", "sh......sh", "sh......sh", "sh......sh",
                                       "sh......sh", "sssssssssh", "hhhhhhhhhh"}},
      // Top and bottom only: the left ends take the lower-right colour, the right ends the upper-left.
      {fsGroove, kTopBottom, {0, 2, 10, 6}, {"ssssssssss", "hhhhhhhhhh", "..........", "..........", "..........",
                                             "..........", "ssssssssss", "hhhhhhhhhh"}},
      {fsGroove, kLeft, {2, 0, 10, 8}, {"sh........", "sh........", "sh........", "sh........", "sh........",
                                        "sh........", "sh........", "sh........"}},
      {fsBump, sdAll, {2, 2, 8, 6}, {"hhhhhhhhhs", "hssssssshs", "hs......hs", "hs......hs", "hs......hs",
                                     "hs......hs", "hhhhhhhhhs", "ssssssssss"}},
      {fsLowered, sdAll, {2, 2, 8, 6}, {"sssssssssh", "sDDDDDDDlh", "sD......lh", "sD......lh", "sD......lh",
                                        "sD......lh", "sllllllllh", "hhhhhhhhhh"}},
      {fsButtonDown, sdAll, {2, 2, 8, 6}, {"kkkkkkkkkk", "kssssssssk", "ks......sk", "ks......sk", "ks......sk",
                                           "ks......sk", "kssssssssk", "kkkkkkkkkk"}},
      {fsRaised, sdAll, {2, 2, 8, 6}, {"lllllllllD", "lhhhhhhhsD", "lh......sD", "lh......sD", "lh......sD",
                                       "lh......sD", "lssssssssD", "DDDDDDDDDD"}},
      {fsRaised, kTopBottom, {0, 2, 10, 6}, {"llllllllll", "hhhhhhhhhh", "..........", "..........", "..........",
                                             "..........", "ssssssssss", "DDDDDDDDDD"}},
      {fsRaised, kLeft, {2, 0, 10, 8}, {"lh........", "lh........", "lh........", "lh........", "lh........",
                                        "lh........", "lh........", "lh........"}},
      {fsButtonUp, sdAll, {2, 2, 8, 6}, {"hhhhhhhhhD", "hlllllllsD", "hl......sD", "hl......sD", "hl......sD",
                                         "hl......sD", "hssssssssD", "DDDDDDDDDD"}},
      {fsStatus, sdAll, {1, 1, 9, 7}, {"sssssssssh", "s........h", "s........h", "s........h", "s........h",
                                       "s........h", "s........h", "hhhhhhhhhh"}},
      {fsPopup, sdAll, {1, 1, 9, 7}, {"hhhhhhhhhs", "h........s", "h........s", "h........s", "h........s",
                                      "h........s", "h........s", "ssssssssss"}},
      {fsFlatBold, sdAll, {2, 2, 8, 6}, {"ssssssssss", "ssssssssss", "ss......ss", "ss......ss", "ss......ss",
                                         "ss......ss", "ssssssssss", "ssssssssss"}},
      {fsFlatBold, kLeft, {2, 0, 10, 8}, {"ss........", "ss........", "ss........", "ss........", "ss........",
                                          "ss........", "ss........", "ss........"}},
      // The rounded style has no system-colour look.
      {fsFlatRounded, sdAll, {0, 0, 10, 8}, {"..........", "..........", "..........", "..........", "..........",
                                             "..........", "..........", ".........."}},
  };
  for (const TStyleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << int(c.Style) << " sides " << int(c.Sides));
    TFcSurface s(10, 8, kBack);
    TRect r;
    PaintStyleSides(s.Canvas(), TRect(0, 0, 10, 8), c.Style, c.Sides, r);
    EXPECT_EQ(Legend(s), Rows(c.Rows));
    EXPECT_EQ(r, c.Result);
  }
}

TEST_F(FcFrames, NoSidesPaintNothingForAnyStyleTintedOrNot) {
  for (int st = fsNone; st <= fsFlatRounded; ++st) {
    TFcSurface s(10, 8, kBack);
    TRect r1, r2;
    PaintStyleSides(s.Canvas(), TRect(0, 0, 10, 8), static_cast<TFrameStyleEx>(st), sdNone, r1);
    PaintTintedStyleSides(s.Canvas(), TRect(0, 0, 10, 8), 0x3070C0, static_cast<TFrameStyleEx>(st), sdNone, r2);
    EXPECT_EQ(s.Picture(kBack), Rows({"##########", "##########", "##########", "##########", "##########",
                                      "##########", "##########", "##########"}))
        << st;
    EXPECT_EQ(r1, TRect(0, 0, 10, 8)) << st;
    EXPECT_EQ(r2, TRect(0, 0, 10, 8)) << st;
  }
  TFcSurface s(10, 8, kBack);
  TRect r;
  PaintSidesRepeated(s.Canvas(), TRect(1, 1, 9, 7), clBlack, clBlack, 0, sdAll, r);
  EXPECT_EQ(r, TRect(1, 1, 9, 7));
  EXPECT_EQ(s.At(1, 1), kBack);
  // clNone as a colour leaves its sides undrawn but still shrinks the result.
  PaintSides(s.Canvas(), TRect(0, 0, 10, 8), clNone, clBlack, sdAll, r);
  EXPECT_EQ(r, TRect(1, 1, 9, 7));
  EXPECT_EQ(s.At(0, 3), kBack);
  EXPECT_EQ(s.At(9, 3), 0x000000u);
}

TEST_F(FcFrames, TintedStylesUseShadesOfTheFaceColour) {
  const TColor F = 0x3070C0;
  auto map = [&](TFcSurface& s) {
    return s.Map({{'.', kBack},
                  {'a', COLORREF(LightenColor(F, 50))},
                  {'A', COLORREF(LightenColor(F, 100))},
                  {'e', COLORREF(LightenColor(F, 40))},
                  {'d', COLORREF(DarkenColor(F, 50))},
                  {'D', COLORREF(DarkenColor(F, 100))}});
  };
  struct TCase {
    std::function<void(TCanvas*, TRect&)> Paint;
    std::initializer_list<const char*> Rows;
  };
  const TCase cases[] = {
      {[&](TCanvas* c, TRect& r) { PaintTintedStyleSides(c, TRect(0, 0, 10, 8), F, fsRaised, sdAll, r); },
       {"aaaaaaaaaD", "aAAAAAAAdD", "aA......dD", "aA......dD", "aA......dD", "aA......dD", "addddddddD",
        "DDDDDDDDDD"}},
      {[&](TCanvas* c, TRect& r) { PaintTintedStyleSides(c, TRect(0, 0, 10, 8), F, fsGroove, sdAll, r); },
       {"dddddddddA", "dAAAAAAAdA", "dA......dA", "dA......dA", "dA......dA", "dA......dA", "dddddddddA",
        "AAAAAAAAAA"}},
      {[&](TCanvas* c, TRect& r) { PaintTintedStyleSides(c, TRect(0, 0, 10, 8), F, fsLowered, kLeft, r); },
       {"dD........", "dD........", "dD........", "dD........", "dD........", "dD........", "dD........",
        "dD........"}},
      {[&](TCanvas* c, TRect& r) { PaintTintedPushButtonFrame(c, TRect(0, 0, 10, 8), F, false, r); },
       {"AAAAAAAAAD", "AeeeeeeedD", "Ae......dD", "Ae......dD", "Ae......dD", "Ae......dD", "AddddddddD",
        "DDDDDDDDDD"}},
      {[&](TCanvas* c, TRect& r) { PaintTintedStyleFrame(c, TRect(0, 0, 10, 8), F, fsButtonDown, r); },
       {"DDDDDDDDDD", "DddddddddD", "Dd......dD", "Dd......dD", "Dd......dD", "Dd......dD", "DddddddddD",
        "DDDDDDDDDD"}},
      {[&](TCanvas* c, TRect& r) { PaintTintedStyleFrame(c, TRect(0, 0, 10, 8), F, fsPopup, r); },
       {"AAAAAAAAAd", "A........d", "A........d", "A........d", "A........d", "A........d", "A........d",
        "dddddddddd"}},
  };
  int i = 0;
  for (const TCase& c : cases) {
    TFcSurface s(10, 8, kBack);
    TRect r;
    c.Paint(s.Canvas(), r);
    EXPECT_EQ(map(s), Rows(c.Rows)) << "case " << i++;
  }
}

TEST_F(FcFrames, ControlFrameRoundedCutAndBorderRings) {
  const COLORREF parent = 0x102030, face = 0x405060, border = 0x708090, flatBase = 0x2080C0;
  const COLORREF flat = COLORREF(AdjustLightness(flatBase, 30));
  struct TCase {
    TFrameStyleEx Outer, Inner;
    Integer BorderWidth;
    bool Transparent, Cut;
    TRect Result;
    std::initializer_list<const char*> Rows;
  };
  const TCase cases[] = {
      // Opaque rounded: the parent's colour in the cut corners, then the face colour.
      {fsFlatRounded, fsNone, 0, false, false, {2, 2, 8, 6},
       {"pprrrrrrpp", "prFFFFFFrp", "rF......Fr", "rF......Fr", "rF......Fr", "rF......Fr", "prFFFFFFrp",
        "pprrrrrrpp"}},
      {fsFlatRounded, fsNone, 0, true, false, {2, 2, 8, 6},
       {"..rrrrrr..", ".r......r.", "r........r", "r........r", "r........r", "r........r", ".r......r.",
        "..rrrrrr.."}},
      // A border makes the second ring the border colour.
      {fsFlatRounded, fsNone, 1, false, false, {3, 3, 7, 5},
       {"pprrrrrrpp", "prbbbbbbrp", "rbbbbbbbbr", "rbb....bbr", "rbb....bbr", "rbbbbbbbbr", "prbbbbbbrp",
        "pprrrrrrpp"}},
      {fsFlat, fsFlat, 1, false, true, {3, 3, 7, 5},
       {"rrrrrrrrrr", "rbbbbbbbbr", "rb.rrrr.br", "rbr....rbr", "rbr....rbr", "rb.rrrr.br", "rbbbbbbbbr",
        "rrrrrrrrrr"}},
      {fsNone, fsFlatBold, 0, false, false, {2, 2, 8, 6},
       {"rrrrrrrrrr", "rrrrrrrrrr", "rr......rr", "rr......rr", "rr......rr", "rr......rr", "rrrrrrrrrr",
        "rrrrrrrrrr"}},
  };
  int i = 0;
  for (const TCase& c : cases) {
    TFcSurface s(10, 8, kBack);
    TRect r;
    PaintControlFrame(s.Canvas(), TRect(0, 0, 10, 8), c.Outer, c.Inner, c.BorderWidth, sdAll, 1,
                      static_cast<TColor>(border), clBtnHighlight, clBtnShadow, static_cast<TColor>(flatBase), 30,
                      static_cast<TColor>(face), static_cast<TColor>(parent), c.Transparent, c.Cut, r);
    EXPECT_EQ(s.Map({{'.', kBack}, {'p', parent}, {'F', face}, {'b', border}, {'r', flat}}), Rows(c.Rows))
        << "case " << i;
    EXPECT_EQ(r, c.Result) << "case " << i++;
  }
  // Bevel rings of the popup and status styles take the given colours, BevelWidth deep.
  TFcSurface s(10, 8, kBack);
  TRect r;
  PaintControlFrame(s.Canvas(), TRect(0, 0, 10, 8), fsPopup, fsNone, 0, sdAll, 2, clNone, 0x0000FF, 0xFF0000,
                    clBtnShadow, 0, clBtnFace, clBtnFace, false, false, r);
  EXPECT_EQ(s.Map({{'.', kBack}, {'h', 0x0000FF}, {'s', 0xFF0000}}),
            Rows({"hhhhhhhhhs", "hhhhhhhhss", "hh......ss", "hh......ss", "hh......ss", "hh......ss", "hsssssssss",
                  "ssssssssss"}));
  EXPECT_EQ(r, TRect(2, 2, 8, 6));
}

TEST_F(FcFrames, RoundedOutlineFocusFrameAndBoxOutline) {
  TFcSurface s(10, 8, kBack);
  TRect r;
  PaintRoundedOutline(s.Canvas(), TRect(0, 0, 10, 8), clBlack, SideBit(sdLeft) | SideBit(sdTop), r);
  EXPECT_EQ(s.Picture(0), Rows({"..########", ".#........", "#.........", "#.........", "#.........", "#.........",
                                "#.........", "#........."}));
  EXPECT_EQ(r, TRect(2, 2, 10, 8));

  TFcSurface f(10, 8, kBack);
  PaintDottedFocusFrame(f.Canvas(), TRect(0, 0, 10, 8), r);
  EXPECT_EQ(f.Picture(0), Rows({".#.#.#.#.#", "#........#", "..........", "#........#", "..........", "#........#",
                                "..........", "##.#.#.#.#"}));
  EXPECT_EQ(r, TRect(1, 1, 9, 7));

  TFcSurface b(6, 5, kBack);
  PaintBoxOutline(b.Canvas(), TRect(1, 1, 6, 5), 0xFF, r);
  EXPECT_EQ(b.Picture(0xFF), Rows({"......", ".#####", ".#...#", ".#...#", ".#####"}));
  EXPECT_EQ(r, TRect(2, 2, 5, 4));
}

TEST(FcText, StripAcceleratorsDropsMarkersAndKeepsDoubledOnes) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"&&", u"&"},       {u"&File", u"File"}, {u"a&", u"a&"}, {u"&&&F", u"&F"},
      {u"", u""},          {u"Sa&ve &As", u"Save As"},          {u"&", u"&"},
      {u"R&&D && &Co", u"R&D & Co"},
  };
  for (auto& [in, out] : cases) EXPECT_EQ(StripAccelerators(in), WideString(out));
}

TEST(FcText, DrawTextOnMeasuresAndRotatedFontsCarryTheAngle) {
  TFcSurface s(120, 40, kBack);
  s.Canvas()->Font()->SetName(u"DejaVu Sans");
  s.Canvas()->Font()->SetSize(8);
  TRect r(0, 0, 120, 40);
  const Integer h = DrawTextOn(s.Canvas(), u"Yy", r, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_GT(h, 5);
  EXPECT_EQ(r.Height(), h);
  EXPECT_EQ(s.At(2, 2), kBack);  // measuring draws nothing

  TFont font;
  font.SetName(u"DejaVu Sans");
  font.SetHeight(-11);
  font.SetStyle({fsBold, fsItalic});
  font.SetPitch(fpFixed);
  HFONT f = CreateRotatedFont(&font, 90);
  ASSERT_NE(f, nullptr);
  LOGFONTW lf{};
  ASSERT_GT(GetObjectW(f, sizeof lf, &lf), 0);
  EXPECT_EQ(lf.lfEscapement, 900);
  EXPECT_EQ(lf.lfOrientation, 0);
  EXPECT_EQ(lf.lfHeight, -11);
  EXPECT_EQ(lf.lfWeight, 700);
  EXPECT_EQ(lf.lfItalic, 1);
  EXPECT_EQ(lf.lfUnderline, 0);
  EXPECT_EQ(lf.lfPitchAndFamily & 3, FIXED_PITCH);
  EXPECT_EQ(WideString(lf.lfFaceName), u"DejaVu Sans");
  DeleteObject(f);
}

}  // namespace

}  // namespace test_fcframes_tests
