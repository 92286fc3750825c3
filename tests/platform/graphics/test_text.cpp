// Fonts and text: logical font records, face substitution, measuring,
// text output placement and DrawText layout.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_text_tests {

namespace {

constexpr COLORREF kBlack = 0x000000, kWhite = 0xFFFFFF, kRed = 0x0000FF;

HFONT MakeFont(const char16_t* Face, LONG Height, BYTE Quality = NONANTIALIASED_QUALITY, LONG Escapement = 0) {
  LOGFONTW lf;
  lf.lfHeight = Height;
  lf.lfWeight = FW_NORMAL;
  lf.lfQuality = Quality;
  lf.lfEscapement = lf.lfOrientation = Escapement;
  for (int i = 0; Face[i]; ++i) lf.lfFaceName[i] = Face[i];
  return CreateFontIndirectW(&lf);
}

// Bounding box of the pixels of colour C.
TRect Ink(const TTestDib& D, COLORREF C) {
  TRect r(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN);
  for (Integer y = 0; y < D.H; ++y)
    for (Integer x = 0; x < D.W; ++x)
      if (D.Raw(x, y) == C) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

TEST(Fonts, WindowsFacesMapToMetricCompatibleFaces) {
  EXPECT_EQ(GtResolvedFontFamily(u"Arial"), u"Liberation Sans");
  EXPECT_EQ(GtResolvedFontFamily(u"MS Sans Serif"), u"Liberation Sans");
  EXPECT_EQ(GtResolvedFontFamily(u"Times New Roman"), u"Liberation Serif");
  EXPECT_EQ(GtResolvedFontFamily(u"Verdana"), u"DejaVu Sans");
  EXPECT_EQ(GtResolvedFontFamily(u"Tahoma"), u"Liberation Sans");
}

TEST(Fonts, LogFontARoundTripsThroughTFontToTheSame60Bytes) {
  LOGFONTA lf;  // every field starts at zero
  lf.lfHeight = -13;
  lf.lfWeight = FW_BOLD;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::strcpy(lf.lfFaceName, "Arial");
  HFONT h = CreateFontIndirectA(&lf);
  ASSERT_NE(h, nullptr);
  TFont a;
  a.SetHandle(h);  // adopted: freed by the font
  EXPECT_EQ(a.Name(), u"Arial");
  EXPECT_EQ(a.Height(), -13);
  EXPECT_EQ(a.Size(), 10);
  EXPECT_TRUE(a.Style().Contains(fsBold));
  EXPECT_FALSE(a.Style().Contains(fsItalic));
  // Through the properties into a new font object and back to a record.
  TFont b;
  b.Assign(&a);
  unsigned char out[sizeof(LOGFONTA)];
  std::memset(out, 0x55, sizeof(out));
  ASSERT_EQ(GetObjectA(b.Handle(), sizeof(out), out), 60);
  EXPECT_EQ(std::memcmp(out, &lf, sizeof(LOGFONTA)), 0);
  LOGFONTW w;
  EXPECT_EQ(GetObjectW(b.Handle(), sizeof(w), &w), 92);
  EXPECT_EQ(w.lfFaceName[0], u'A');
}

TEST(Fonts, StylesSizeAndPitchMapToTheLogicalFont) {
  TFont f;
  EXPECT_EQ(f.Name(), u"MS Sans Serif");
  EXPECT_EQ(f.Size(), 8);
  f.SetSize(12);
  EXPECT_EQ(f.Height(), -16);
  f.SetStyle({fsItalic, fsUnderline});
  EXPECT_EQ(f.Data().lfWeight, FW_NORMAL);
  EXPECT_EQ(f.Data().lfItalic, 1);
  EXPECT_EQ(f.Data().lfUnderline, 1);
  f.SetPitch(fpFixed);
  EXPECT_EQ(f.Data().lfPitchAndFamily & 3, FIXED_PITCH);
  f.SetOrientation(900);
  EXPECT_EQ(f.Data().lfEscapement, 900);
  EXPECT_EQ(f.Data().lfOrientation, 900);
}

TEST(Fonts, NegativeHeightIsTheEmAndPositiveTheCell) {
  HDC dc = GtCreateScreenDC();
  TEXTMETRICW em, cell;
  {
    TSelect f(dc, MakeFont(u"Arial", -20));
    ASSERT_TRUE(GetTextMetricsW(dc, &em));
  }
  {
    TSelect f(dc, MakeFont(u"Arial", 20));
    ASSERT_TRUE(GetTextMetricsW(dc, &cell));
  }
  EXPECT_EQ(em.tmHeight - em.tmInternalLeading, 20);
  EXPECT_EQ(em.tmAscent + em.tmDescent, em.tmHeight);
  EXPECT_NEAR(cell.tmHeight, 20, 1);
  EXPECT_LT(cell.tmHeight, em.tmHeight);
  DeleteDC(dc);
}

TEST(Fonts, TextWidthInLiberationSansIsStableAndFollowsTheDesignAdvances) {
  // Two independent DCs and fonts measure the same width, and it is the sum
  // of the font's design advances.
  Integer widths[2];
  for (int run = 0; run < 2; ++run) {
    TBitmap b;
    b.SetSize(4, 4);
    b.Canvas()->Font()->SetName(u"Arial");
    b.Canvas()->Font()->SetHeight(-12);
    widths[run] = b.Canvas()->TextWidth(u"Hello World");
    EXPECT_EQ(b.Canvas()->TextHeight(u"Hello World"), b.Canvas()->TextHeight(u"x"));
  }
  EXPECT_EQ(widths[0], widths[1]);
  // Design advances (units of 2048): H 1479, e 1139, l 455 (x3), o 1139 (x2),
  // space 569, W 1933, r 682, d 1139: 10584 units, 62.0 pixels at 12 to the em.
  EXPECT_NEAR(widths[0], 62, 1);
}

TEST(TextOut, OpaqueCellAndExactColoursWithoutSmoothing) {
  TTestDib d(80, 30);
  TSelect f(d.DC, MakeFont(u"Arial", -16, NONANTIALIASED_QUALITY));
  SetTextColor(d.DC, kBlack);
  SetBkColor(d.DC, kRed);
  TSize ext;
  GetTextExtentPoint32W(d.DC, u"Mix", 3, &ext);
  ASSERT_TRUE(TextOutW(d.DC, 5, 4, u"Mix", 3));
  // Every pixel is text, background or untouched: no blended edges, so that
  // colour keys survive (the text layers rely on it).
  for (Integer y = 0; y < d.H; ++y)
    for (Integer x = 0; x < d.W; ++x) {
      const COLORREF c = d.Raw(x, y);
      ASSERT_TRUE(c == kBlack || c == kRed || c == kWhite) << x << "," << y << " " << std::hex << c;
      const bool inCell = x >= 5 && x < 5 + ext.cx && y >= 4 && y < 4 + ext.cy;
      if (!inCell) {
        ASSERT_EQ(c, kWhite) << x << "," << y;
      }
    }
  const TRect ink = Ink(d, kBlack);
  EXPECT_GE(ink.Left, 5);
  EXPECT_LE(ink.Right, 5 + ext.cx);
  EXPECT_EQ(d.Raw(5, 4 + ext.cy - 1), kRed);
  // Smoothed text blends its edges.
  TTestDib s(80, 30);
  TSelect g(s.DC, MakeFont(u"Arial", -16, ANTIALIASED_QUALITY));
  SetBkMode(s.DC, TRANSPARENT);
  TextOutW(s.DC, 5, 4, u"Mix", 3);
  bool grey = false;
  for (Integer y = 0; y < s.H; ++y)
    for (Integer x = 0; x < s.W; ++x) {
      const COLORREF c = s.Raw(x, y);
      grey |= c != kBlack && c != kWhite;
    }
  EXPECT_TRUE(grey);
}

TEST(TextOut, AlignmentPicksTheReferencePoint) {
  HFONT font = MakeFont(u"Arial", -20);
  struct Case {
    UINT align;
    bool leftOfX, aboveY;
  };
  const Case cases[] = {{TA_LEFT | TA_TOP, false, false},
                        {TA_RIGHT | TA_TOP, true, false},
                        {TA_LEFT | TA_BOTTOM, false, true},
                        {TA_LEFT | TA_BASELINE, false, true}};
  for (const Case& c : cases) {
    TTestDib d(120, 80);
    SelectObject(d.DC, font);
    SetBkMode(d.DC, TRANSPARENT);
    SetTextAlign(d.DC, c.align);
    TextOutW(d.DC, 60, 40, u"Hag", 3);
    const TRect ink = Ink(d, kBlack);
    ASSERT_LT(ink.Left, ink.Right) << c.align;
    EXPECT_EQ(ink.Right <= 61, c.leftOfX) << c.align;
    EXPECT_EQ(ink.Left >= 60, !c.leftOfX) << c.align;
    if (c.aboveY) {
      EXPECT_LE(ink.Top, 40);
    } else {
      EXPECT_GE(ink.Top, 40);
    }
    if ((c.align & TA_BASELINE) == TA_BASELINE) {
      EXPECT_GT(ink.Bottom, 42) << "the descender of g goes below the baseline";
    } else if (c.align & TA_BOTTOM) {
      EXPECT_LE(ink.Bottom, 40) << "the whole cell sits above the reference point";
    }
    SelectObject(d.DC, GetStockObject(SYSTEM_FONT));
  }
  DeleteObject(font);
}

TEST(TextOut, EscapementTurnsTheLineCounterClockwise) {
  TTestDib d(100, 120);
  TSelect f(d.DC, MakeFont(u"Arial", -20, NONANTIALIASED_QUALITY, 900));
  SetBkMode(d.DC, TRANSPARENT);
  TextOutW(d.DC, 40, 100, u"HHHHH", 5);
  const TRect ink = Ink(d, kBlack);
  // Text read upwards from the reference point, its top towards the left.
  EXPECT_GT(ink.Height(), 2 * ink.Width());
  EXPECT_LE(ink.Bottom, 101);
  EXPECT_GE(ink.Left, 40);
  EXPECT_LE(ink.Right, 40 + 24);
}

TEST(TextOut, TextRectClipsAndUpdatesNothingOutside) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(60, 20);
  TCanvas* c = b.Canvas();
  c->Font()->SetName(u"Arial");
  c->Font()->SetHeight(-14);
  c->Brush()->SetColor(clRed);
  c->TextRect(TRect(10, 2, 30, 18), 0, 2, u"WWWWWWWW");
  EXPECT_EQ(c->Pixels(9, 10), clWhite);
  EXPECT_EQ(c->Pixels(30, 10), clWhite);
  EXPECT_EQ(c->Pixels(10, 2), clRed) << "the opaque rectangle";
  c->Brush()->SetStyle(bsClear);
  c->TextOut(40, 2, u"i");
  EXPECT_EQ(c->PenPos(), TPoint(40 + c->TextWidth(u"i"), 2));
}

// Drawing code takes the canvas's DC and measures on it directly: the DC
// carries the canvas's font, follows each change of it at once, and is never
// left holding the handle of a font the canvas has freed.
TEST(TextOut, TheCanvasHandleCarriesTheCanvasFontThroughItsChanges) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(10, 10);
  TCanvas* c = b.Canvas();
  c->Font()->SetName(u"Arial");
  c->Font()->SetHeight(-10);
  const HDC dc = c->Handle();
  auto Current = [&] {
    LOGFONTW lf{};
    const HGDIOBJ f = GetCurrentObject(dc, OBJ_FONT);
    EXPECT_EQ(GetObjectType(f), static_cast<DWORD>(OBJ_FONT)) << "the DC's font is a live one";
    GetObjectW(f, sizeof lf, &lf);
    return lf;
  };
  auto Width = [&] {
    TSize s;
    GetTextExtentPoint32W(dc, u"Caption", 7, &s);
    return s.cx;
  };
  EXPECT_EQ(Current().lfHeight, -10);
  const Integer Small = Width();
  c->Font()->SetHeight(-30);
  EXPECT_EQ(Current().lfHeight, -30);
  EXPECT_GT(Width(), 2 * Small);
  c->Font()->SetStyle(TFontStyles{fsBold});
  EXPECT_EQ(Current().lfWeight, FW_BOLD);
  c->Font()->SetStyle(TFontStyles{});
  EXPECT_EQ(Current().lfWeight, FW_NORMAL);
  EXPECT_EQ(Current().lfHeight, -30);
}

TEST(DrawText, CalcRectWithWordBreakWrapsAtTheWidth) {
  HDC dc = GtCreateScreenDC();
  TSelect f(dc, MakeFont(u"Arial", -12));
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  const WCHAR* text = u"the quick brown fox jumps over the lazy dog";
  TRect one(0, 0, 1000, 0);
  EXPECT_EQ(DrawTextW(dc, text, -1, &one, DT_CALCRECT | DT_WORDBREAK), tm.tmHeight);
  EXPECT_EQ(one.Bottom, tm.tmHeight);
  TRect r(10, 20, 110, 20);
  const Integer h = DrawTextW(dc, text, -1, &r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_GE(h, 3 * tm.tmHeight);
  EXPECT_EQ(h % tm.tmHeight, 0);
  EXPECT_EQ(r.Bottom, 20 + h);
  EXPECT_LE(r.Right, 110);
  EXPECT_GT(r.Right, 60);
  // A word wider than the box stands alone and widens the measured box.
  TRect narrow(0, 0, 5, 0);
  DrawTextW(dc, u"abcdefgh ij", -1, &narrow, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(narrow.Bottom, 2 * tm.tmHeight);
  EXPECT_GT(narrow.Right, 5);
  // Line breaks count even without word breaking; single-line ignores them.
  TRect lines(0, 0, 100, 0);
  EXPECT_EQ(DrawTextW(dc, u"a\r\nb\nc", -1, &lines, DT_CALCRECT), 3 * tm.tmHeight);
  TRect single(0, 0, 100, 0);
  EXPECT_EQ(DrawTextW(dc, u"a\r\nb\nc", -1, &single, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
  DeleteDC(dc);
}

TEST(DrawText, DrawnLinesStayInsideTheBox) {
  TTestDib d(140, 80);
  TSelect f(d.DC, MakeFont(u"Arial", -12));
  SetBkMode(d.DC, TRANSPARENT);
  TRect r(10, 5, 90, 75);
  DrawTextW(d.DC, u"the quick brown fox jumps over the lazy dog", -1, &r, DT_WORDBREAK | DT_NOCLIP);
  const TRect ink = Ink(d, kBlack);
  EXPECT_GE(ink.Left, 10);
  EXPECT_LE(ink.Right, 90);
  EXPECT_GT(ink.Bottom - ink.Top, 24);
}

TEST(DrawText, CentringPrefixesAndEllipsis) {
  TTestDib d(120, 40);
  TSelect f(d.DC, MakeFont(u"Arial", -12));
  SetBkMode(d.DC, TRANSPARENT);
  TEXTMETRICW tm;
  GetTextMetricsW(d.DC, &tm);
  TRect box(0, 0, 120, 40);
  const Integer ret = DrawTextW(d.DC, u"&File", -1, &box, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  // The offset from the top to the bottom of the text.
  EXPECT_EQ(ret, (40 - tm.tmHeight) / 2 + tm.tmHeight);
  const TRect ink = Ink(d, kBlack);
  TSize ext;
  GetTextExtentPoint32W(d.DC, u"File", 4, &ext);
  EXPECT_NEAR((ink.Left + ink.Right) / 2.0, 60, 3);
  EXPECT_NEAR((ink.Top + ink.Bottom) / 2.0, 20, 4);
  // "&F" underlines F: a row of ink under the baseline; "&&" is one ampersand.
  bool under = false;
  for (Integer x = ink.Left; x < ink.Left + 4; ++x) under |= d.Raw(x, (40 - tm.tmHeight) / 2 + tm.tmAscent + 1) == kBlack;
  EXPECT_TRUE(under);
  TRect m(0, 0, 100, 0);
  DrawTextW(d.DC, u"a&&b", -1, &m, DT_CALCRECT | DT_SINGLELINE);
  TSize amp;
  GetTextExtentPoint32W(d.DC, u"a&b", 3, &amp);
  EXPECT_EQ(m.Right, amp.cx);
  // The ellipsis shortens a line that does not fit.
  TRect e(0, 0, 40, 0);
  DrawTextW(d.DC, u"a rather long caption", -1, &e, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
  EXPECT_LE(e.Right, 40);
}

TEST(Text, GlyphMetricsAndFontEnumeration) {
  HDC dc = GtCreateScreenDC();
  TSelect f(dc, MakeFont(u"Arial", -40));
  GLYPHMETRICS gm;
  ASSERT_EQ(GetGlyphOutlineW(dc, u'I', GGO_METRICS, &gm, 0, nullptr, nullptr), 0u);
  EXPECT_GT(gm.gmBlackBoxY, 20u);
  EXPECT_LT(gm.gmBlackBoxX, gm.gmBlackBoxY);
  EXPECT_GT(gm.gmCellIncX, static_cast<int16_t>(gm.gmBlackBoxX));
  EXPECT_EQ(GetGlyphOutlineW(dc, u'I', GGO_BITMAP, &gm, 0, nullptr, nullptr), GDI_ERROR);
  int calls = 0;
  auto count = [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM p) -> Integer {
    ++*reinterpret_cast<int*>(p);
    return 0;  // stop at the first
  };
  EnumFontsW(dc, u"Arial", count, reinterpret_cast<LPARAM>(&calls));
  EXPECT_EQ(calls, 1);
  calls = 0;
  EnumFontsW(dc, u"@Arial", count, reinterpret_cast<LPARAM>(&calls));
  EXPECT_EQ(calls, 0) << "no vertical faces";
  DeleteDC(dc);
}

}  // namespace

}  // namespace test_text_tests
