// The text editor's format records, editing keys, format operations, layout
// (wrap, alignment, justification, zoom) and caret.
#include <cstring>

#include "textcontrol_util.h"

using namespace textcontrol_test;

namespace textcontrol_core_tests {
namespace {

// ---------------------------------------------------------------- format records

TEST(TextFormat, RecordLayoutAndEqualityIgnoreTheUseCount) {
  TIETextFormat A;
  A.SetFontName("Arial");
  A.Height = -12;
  A.Style = ietfBold;
  A.Color = 0x123456;
  TIETextFormat B = A;
  B.RefCount = 7;
  EXPECT_TRUE(A.SameFormat(B));
  const Byte* Raw = reinterpret_cast<const Byte*>(&A);
  EXPECT_EQ(Raw[4], 5);
  EXPECT_EQ(std::memcmp(Raw + 5, "Arial", 5), 0);
  Integer H;
  std::memcpy(&H, Raw + 260, 4);
  EXPECT_EQ(H, -12);
  EXPECT_EQ(Raw[264], ietfBold);
  B.Alignment = 3;
  EXPECT_FALSE(A.SameFormat(B));
}

TEST(TextFormat, ANameSetShorterLeavesNoTailSoEqualFormatsMatch) {
  TIETextFormat Early, Late;
  Early.SetFontName("DejaVu Sans Mono");
  Early.SetFontName("Arial");  // the old tail must not survive
  Late.SetFontName("Arial");
  EXPECT_TRUE(Early.SameFormat(Late));
  EXPECT_EQ(Early.FontName(), "Arial");
  TIETextFormat Long;
  Long.SetFontName(AnsiString(300, 'x'));
  EXPECT_EQ(Long.FontName().size(), 255u);
}

class TextEditing : public FormTest {};

TEST_F(TextEditing, EqualFormatsBuiltAtDifferentTimesShareOneEntryAndCompactionRenumbers) {
  AnsiString T;
  TIETextControl* C = Make(&T);
  Press(C, Typed("ab"));
  ASSERT_EQ(C->Formats->size(), 1u);
  EXPECT_EQ((*C->Formats)[0].RefCount, 2);
  // Bold from here on: a second entry; back to plain: the first entry again.
  Press(C, {{'B', gmkCtrl}});
  Press(C, Typed("c"));
  Press(C, {{'B', gmkCtrl}});
  Press(C, Typed("d"));
  ASSERT_EQ(T, "abcd");
  ASSERT_EQ(C->Formats->size(), 2u);
  EXPECT_EQ(*C->CharFormats, (std::vector<Integer>{0, 0, 1, 0}));
  EXPECT_EQ((*C->Formats)[0].RefCount, 3);
  EXPECT_EQ((*C->Formats)[1].RefCount, 1);
  // Deleting the plain characters empties entry 0: compaction drops it and
  // the bold character's index moves down.
  Press(C, {{VK_HOME}});
  Press(C, {{VK_DELETE}, {VK_DELETE}, {VK_END}, {VK_BACK}});
  ASSERT_EQ(T, "c");
  EXPECT_EQ((*C->Formats)[0].RefCount, 0);
  C->CompactFormats();
  ASSERT_EQ(C->Formats->size(), 1u);
  EXPECT_EQ(*C->CharFormats, (std::vector<Integer>{0}));
  EXPECT_EQ((*C->Formats)[0].Style, ietfBold);
}

TEST_F(TextEditing, InitGivesAnUnformattedTextOneEntryFromTheFont) {
  AnsiString T = "hello";
  TIETextControl* C = Make(&T);
  ASSERT_EQ(C->Formats->size(), 1u);
  EXPECT_EQ((*C->Formats)[0].RefCount, 5);
  EXPECT_EQ((*C->Formats)[0].FontName(), "DejaVu Sans Mono");
  EXPECT_EQ((*C->Formats)[0].Height, -16);
  EXPECT_EQ(*C->CharFormats, std::vector<Integer>(5, 0));
  EXPECT_EQ(C->TextLength, 5);
  EXPECT_EQ(C->CaretPos, 0);
  EXPECT_TRUE(C->CurrentFormat()->SameFormat((*C->Formats)[0]));
}

// ---------------------------------------------------------------- keys

struct KeyCase {
  const char* Name;
  const char* Start;
  std::vector<TKey> Keys;
  const char* Text;
  Integer Caret, SelStart, SelEnd;
};

TEST_F(TextEditing, KeySequences) {
  const std::vector<KeyCase> Cases = {
      {"overwrite replaces the character at the caret", "abc", {{VK_HOME}, {VK_RIGHT}, {VK_INSERT}, {'X', 0, u'x'}},
       "axc", 2, 0, 0},
      {"insert mode inserts", "abc", {{VK_HOME}, {VK_RIGHT}, {'X', 0, u'x'}}, "axbc", 2, 0, 0},
      {"Ctrl+Right stops on the last character", "ab cd", {{VK_HOME}, {VK_RIGHT, gmkCtrl}, {VK_RIGHT, gmkCtrl}},
       "ab cd", 4, 0, 0},
      {"Ctrl+Right skips the word and the blanks after it", "ab  cd", {{VK_HOME}, {VK_RIGHT, gmkCtrl}}, "ab  cd", 4,
       0, 0},
      {"Ctrl+Left goes to the word's first character", "ab  cd", {{VK_END}, {VK_LEFT, gmkCtrl}}, "ab  cd", 4, 0, 0},
      {"Ctrl+Left twice reaches the start", "ab  cd", {{VK_END}, {VK_LEFT, gmkCtrl}, {VK_LEFT, gmkCtrl}}, "ab  cd",
       0, 0, 0},
      {"Shift+End selects to the line end", "ab", {{VK_HOME}, {VK_END, gmkShift}}, "ab", 2, 0, 2},
      {"Shift+Left twice, Shift+Right moves the selection's caret end", "abcd",
       {{VK_END}, {VK_LEFT, gmkShift}, {VK_LEFT, gmkShift}, {VK_RIGHT, gmkShift}}, "abcd", 3, 3, 4},
      {"shrinking past the anchor swaps the ends", "abcd",
       {{VK_HOME}, {VK_RIGHT}, {VK_RIGHT, gmkShift}, {VK_LEFT, gmkShift}, {VK_LEFT, gmkShift}}, "abcd", 0, 0, 1},
      {"a plain caret key empties the selection", "abcd", {{VK_END}, {VK_LEFT, gmkShift}, {VK_LEFT}}, "abcd", 2, 0,
       0},
      {"typing replaces the selection", "abcd", {{VK_END}, {VK_LEFT, gmkShift}, {VK_LEFT, gmkShift}, {'Z', 0, u'z'}},
       "abz", 3, 0, 0},
      {"Backspace deletes before the caret", "abc", {{VK_END}, {VK_LEFT}, {VK_BACK}}, "ac", 1, 0, 0},
      {"Backspace at the start does nothing", "abc", {{VK_HOME}, {VK_BACK}}, "abc", 0, 0, 0},
      {"Delete deletes at the caret", "abc", {{VK_HOME}, {VK_DELETE}}, "bc", 0, 0, 0},
      {"Delete at the end does nothing", "abc", {{VK_END}, {VK_DELETE}}, "abc", 3, 0, 0},
      {"Delete removes the selection", "abcd", {{VK_HOME}, {VK_RIGHT, gmkShift}, {VK_RIGHT, gmkShift}, {VK_DELETE}},
       "cd", 0, 0, 0},
      {"Enter inserts a line feed", "ab", {{VK_HOME}, {VK_RIGHT}, {VK_RETURN}}, "a\nb", 2, 0, 0},
      {"Home and End keep to the line", "ab\ncde\nf", {{VK_HOME, gmkCtrl}, {VK_DOWN}, {VK_END}}, "ab\ncde\nf", 6, 0, 0},
      {"Ctrl+End goes to the end of the text", "ab\ncd", {{VK_HOME, gmkCtrl}, {VK_END, gmkCtrl}}, "ab\ncd", 5, 0, 0},
      {"Down keeps the column", "abcd\nefgh", {{VK_HOME, gmkCtrl}, {VK_RIGHT}, {VK_RIGHT}, {VK_DOWN}}, "abcd\nefgh", 7,
       0, 0},
      {"Down onto a shorter line stops at its end", "abcd\nef\nx", {{VK_HOME, gmkCtrl}, {VK_END}, {VK_DOWN}},
       "abcd\nef\nx", 7, 0, 0},
      {"Up from the first line stays", "abcd\nef", {{VK_HOME, gmkCtrl}, {VK_RIGHT}, {VK_UP}}, "abcd\nef", 1, 0, 0},
      {"control characters are not typed", "ab", {{VK_END}, {'A', 0, u'\x01'}}, "ab", 2, 0, 0},
      {"a character outside the code page becomes ?", "", {{'A', 0, u'\u4e2d'}}, "?", 1, 0, 0},
      {"a Windows-1252 character is stored as its byte", "", {{'A', 0, u'\u20ac'}}, "\x80", 1, 0, 0},
  };
  for (const KeyCase& K : Cases) {
    SCOPED_TRACE(K.Name);
    AnsiString T = K.Start;
    TIETextControl* C = Make(&T);
    Press(C, K.Keys);
    EXPECT_EQ(T, K.Text);
    EXPECT_EQ(C->TextLength, static_cast<Integer>(T.size()));
    EXPECT_EQ(C->CaretPos, K.Caret);
    EXPECT_EQ(C->SelStart, K.SelStart);
    EXPECT_EQ(C->SelEnd, K.SelEnd);
    EXPECT_EQ(C->CharFormats->size(), T.size());
    delete C;
  }
}

TEST_F(TextEditing, BoldOverASelectionCarriesToTheNextTypedCharacter) {
  // Typing over the selection replaces it in the selection's new format.
  AnsiString T;
  TIETextControl* C = Make(&T);
  Press(C, Typed("ab"));
  Press(C, {{VK_HOME}, {VK_END, gmkShift}, {'B', gmkCtrl}});
  ASSERT_EQ(C->SelEnd, 2);
  EXPECT_EQ(FormatAt(C, 0).Style, ietfBold);
  EXPECT_EQ(FormatAt(C, 1).Style, ietfBold);
  Press(C, Typed("c"));
  EXPECT_EQ(T, "c");
  EXPECT_EQ(FormatAt(C, 0).Style, ietfBold);
  delete C;
  // After the selection is given up, the text grows and the caret's format is
  // that of the character before it.
  AnsiString U;
  C = Make(&U);
  Press(C, Typed("ab"));
  Press(C, {{VK_HOME}, {VK_END, gmkShift}, {'B', gmkCtrl}, {VK_LEFT}, {VK_END}});
  Press(C, Typed("c"));
  ASSERT_EQ(U, "abc");
  for (Integer i = 0; i < 3; ++i) EXPECT_EQ(FormatAt(C, i).Style, ietfBold) << i;
}

TEST_F(TextEditing, StyleAndAlignmentShortcuts) {
  AnsiString T;
  TIETextControl* C = Make(&T);
  Press(C, Typed("ab"));
  Press(C, {{VK_RETURN}});
  Press(C, Typed("cd"));
  // Ctrl+I without a selection affects the next typed character only.
  Press(C, {{'I', gmkCtrl}});
  Press(C, Typed("e"));
  EXPECT_EQ(FormatAt(C, 5).Style, ietfItalic);
  EXPECT_EQ(FormatAt(C, 4).Style, 0);
  // Ctrl+U over "ab": the first selected character's style with the bit flipped.
  Press(C, {{VK_HOME, gmkCtrl}, {VK_END, gmkShift}, {'U', gmkCtrl}});
  EXPECT_EQ(FormatAt(C, 0).Style, ietfUnderline);
  EXPECT_EQ(FormatAt(C, 1).Style, ietfUnderline);
  EXPECT_EQ(FormatAt(C, 3).Style, 0);
  // Ctrl+R, Ctrl+E, Ctrl+J, Ctrl+L align the caret's paragraph only.
  const std::vector<std::pair<WORD, Byte>> Align = {{'R', 1}, {'E', 2}, {'J', 3}, {'L', 0}};
  for (auto [Key, Want] : Align) {
    Press(C, {{VK_END, gmkCtrl}, {Key, gmkCtrl}});
    for (Integer i = 3; i < 6; ++i) EXPECT_EQ(FormatAt(C, i).Alignment, Want) << char(Key) << i;
    EXPECT_EQ(FormatAt(C, 0).Alignment, 0);
    EXPECT_EQ(C->CurrentFormat()->Alignment, Want);
  }
}

struct FontStep {
  Integer Height;
  bool Grow;
  Integer Want;
};

TEST_F(TextEditing, GrowAndShrinkFontKeepTheSignAndNeverReachZero) {
  const std::vector<FontStep> Steps = {{-12, true, -13}, {12, true, 13}, {-12, false, -11}, {12, false, 11},
                                       {1, false, 1},    {-1, false, 1}, {-1, true, -2},    {0, true, 1}};
  for (const FontStep& S : Steps) {
    SCOPED_TRACE(std::to_string(S.Height) + (S.Grow ? " grow" : " shrink"));
    AnsiString T = "xy";
    TIETextControl* C = Make(&T);
    // Both characters, through a selection, and the current format.
    for (Integer i = 0; i < 2; ++i) {
      TIETextFormat F = FormatAt(C, i);
      F.Height = S.Height;
      (*C->Formats)[0] = F;
    }
    C->CurrentFormat()->Height = S.Height;
    C->SelStart = 0;
    C->SelEnd = 2;
    Press(C, {{static_cast<WORD>(S.Grow ? VK_F2 : VK_F1), gmkShift}});
    EXPECT_EQ(FormatAt(C, 0).Height, S.Want);
    EXPECT_EQ(FormatAt(C, 1).Height, S.Want);
    EXPECT_EQ(C->CurrentFormat()->Height, S.Want);
    delete C;
  }
}

// ---------------------------------------------------------------- layout

// Lays Text out in a box of Width x Height on a bitmap and answers the control.
struct Layout {
  AnsiString Text;
  std::unique_ptr<TIETextControl> C = std::make_unique<TIETextControl>(nullptr);
  TBitmap Out;
  Layout(const AnsiString& S, Integer Width, Integer Height = 300, double Zoom = 1.0) : Text(S) {
    Style(C.get());
    C->Text = &Text;
    C->Init();
    C->Zoom = Zoom;
    C->RecordWrappedText = true;
    Out.SetPixelFormat(pf24bit);
    Out.SetSize(static_cast<Integer>(Width * Zoom) + 4, static_cast<Integer>(Height * Zoom) + 4);
    TIECanvas Ie(Out.Canvas(), false, false);
    C->DrawTo(&Ie, 0, 0, Width, Height);
  }
  Integer X(Integer I) const { return C->Caches()[static_cast<size_t>(I)].X; }
  Integer Y(Integer I) const { return C->Caches()[static_cast<size_t>(I)].Y; }
};

struct WrapCase {
  const char* Name;
  const char* Text;
  Integer Fit;  // characters that fit on a line
  const char* Lines;
};

TEST(TextLayout, WrapBreaksWhereAHandCountPutsThem) {
  const Integer A = Advance();
  ASSERT_GT(A, 0);
  {
    TBitmap B;
    B.Canvas()->Font()->SetName(kMono);
    B.Canvas()->Font()->SetHeight(-16);
    ASSERT_EQ(B.Canvas()->TextWidth(u"i"), A) << "the wrap table needs a monospace font (fonts-dejavu-core)";
    ASSERT_EQ(B.Canvas()->TextWidth(u" "), A);
  }
  // A character is placed while x + a + 2 < usable width; the usable width
  // is the box width - 2, so k characters fit in a box of k a + 5.
  const std::vector<WrapCase> Cases = {
      {"the space at the wrap point is skipped", "aaa bbb ccc", 7, "aaa bbb\nccc\n"},
      {"cut after the last space", "aaaa bbbb", 7, "aaaa \nbbbb\n"},
      {"a long word is cut where it overflows", "abcdefghij", 7, "abcdefg\nhij\n"},
      {"a word that fits exactly", "abcdefg", 7, "abcdefg\n"},
      {"line feeds end lines, an empty one too", "ab\n\ncd", 7, "ab\n\ncd\n"},
      {"several wraps", "aa bb cc dd ee", 5, "aa bb\ncc dd\nee\n"},
      {"a word after a cut word", "abcdefghij kl", 4, "abcd\nefgh\nij \nkl\n"},
  };
  for (const WrapCase& W : Cases) {
    SCOPED_TRACE(W.Name);
    Layout L(W.Text, W.Fit * A + 5);
    EXPECT_EQ(L.C->WrappedText, W.Lines);
    // One fewer and the first line breaks earlier: the bound is tight.
    Layout Tight(W.Text, W.Fit * A + 4);
    if (std::string(W.Lines).find('\n') == static_cast<size_t>(W.Fit)) {
      EXPECT_NE(Tight.C->WrappedText, W.Lines);
    }
  }
}

TEST(TextLayout, BoxesNarrowerThanOneCharacterStillEndWithOneCharacterPerLine) {
  for (Integer Width : {2, 3, 4}) {
    SCOPED_TRACE(Width);
    Layout L("abc de", Width, 400);
    // Nothing fits, so nothing is drawn, but every character has its own line.
    EXPECT_EQ(L.C->WrappedText, "\n\n\n\n\n");
    for (Integer i = 1; i < 6; ++i) {
      // The space at a wrap point is skipped: it stays at the end of "c"'s line.
      if (i == 3)
        EXPECT_EQ(L.Y(i), L.Y(i - 1));
      else
        EXPECT_GT(L.Y(i), L.Y(i - 1)) << i;
    }
  }
  // Margins that leave no room behave the same.
  AnsiString T = "abc";
  TIETextControl C(nullptr);
  Style(&C);
  C.Text = &T;
  C.Init();
  C.MarginLeft = 60;
  C.MarginRight = 60;
  C.RecordWrappedText = true;
  TBitmap B;
  B.SetSize(200, 200);
  TIECanvas Ie(B.Canvas(), false, false);
  C.DrawTo(&Ie, 0, 0, 100, 100);
  EXPECT_EQ(C.WrappedText, "\n\n\n");
}

TEST(TextLayout, AlignmentOffsetsAndJustification) {
  const Integer A = Advance();
  const Integer Width = 7 * A + 5, U = Width - 2;
  // Right: U - line width - 1; centre: half of that.
  for (auto [Align, Offset] : {std::pair<Byte, Integer>{0, 0}, {1, U - 3 * A - 1}, {2, (U - 3 * A - 1) / 2}}) {
    Layout L("abc", Width);
    for (TIETextFormat& F : *L.C->Formats) F.Alignment = Align;
    L.C->Update();
    TIECanvas Ie(L.Out.Canvas(), false, false);
    L.C->DrawTo(&Ie, 0, 0, Width, 300);
    EXPECT_EQ(L.X(0), 1 + Offset) << int(Align);
    EXPECT_EQ(L.X(2), 1 + Offset + 2 * A) << int(Align);
  }
  // Justified: the wrapped line is stretched to U / (width + 1); the
  // paragraph's last line and a line ended by a line feed stay left.
  Layout J("aaa bbb ccc\nd e", Width);
  for (TIETextFormat& F : *J.C->Formats) F.Alignment = 3;
  J.C->Update();
  TIECanvas Ie(J.Out.Canvas(), false, false);
  J.C->DrawTo(&Ie, 0, 0, Width, 300);
  const double Stretch = static_cast<double>(U) / (7 * A + 1);
  for (Integer i = 0; i < 7; ++i) EXPECT_EQ(J.X(i), 1 + static_cast<Integer>(i * A * Stretch)) << i;
  EXPECT_EQ(J.X(8), 1);  // "ccc": the paragraph's last line
  EXPECT_EQ(J.X(10), 1 + 2 * A);
  EXPECT_EQ(J.X(12), 1);  // "d e" is the text's last line
  EXPECT_EQ(J.X(14), 1 + 2 * A);
  EXPECT_EQ(J.Y(8), J.Y(10));
  EXPECT_LT(J.Y(0), J.Y(8));
}

TEST(TextLayout, MarginsZoomAndTheCaretPlaces) {
  const Integer A = Advance();
  // Margins in percent of the box: left = Trunc(200 x 10 / 100) + 1.
  {
    Layout L("ab", 200, 100);
    L.C->MarginLeft = 10;
    L.C->MarginTop = 20;
    L.C->Update();
    TIECanvas Ie(L.Out.Canvas(), false, false);
    L.C->DrawTo(&Ie, 5, 7, 200, 100);
    EXPECT_EQ(L.X(0), 5 + 21);
    EXPECT_EQ(L.Y(0), 7 + 21);
    EXPECT_EQ(L.X(1), 5 + 21 + A);
  }
  // Zoom scales positions (and the caret) about the box origin.
  Layout Z("ab\ncd", 200, 100, 2.0);
  Layout One("ab\ncd", 200, 100);
  for (Integer i = 0; i <= 5; ++i) {
    EXPECT_EQ(Z.X(i), static_cast<Integer>(Round((One.X(i)) * 2.0))) << i;
    EXPECT_EQ(Z.Y(i), static_cast<Integer>(Round((One.Y(i)) * 2.0))) << i;
  }
  EXPECT_EQ(Z.C->Caches()[0].LineHeight, 2 * One.C->Caches()[0].LineHeight);
  // After the last character the caret sits at the end of the last line;
  // after a final line feed, at the start of the next line.
  EXPECT_EQ(One.X(5), 1 + 2 * A);
  EXPECT_EQ(One.Y(5), One.Y(3));
  Layout Nl("ab\n", 200, 100);
  EXPECT_EQ(Nl.X(3), 1);
  EXPECT_GT(Nl.Y(3), Nl.Y(0));
  // An empty text: the inner top-left, as high as the font.
  Layout Empty("", 200, 100);
  EXPECT_EQ(Empty.X(0), 1);
  EXPECT_EQ(Empty.Y(0), 1);
  EXPECT_EQ(Empty.C->Caches()[0].LineHeight, One.C->Caches()[0].LineHeight);
  EXPECT_EQ(Empty.C->CaretHeight, One.C->Caches()[0].LineHeight);
}

TEST(TextLayout, LineSpacingFixedCellsAndSingleFormat) {
  const Integer A = Advance();
  Layout Plain("a\nb", 200, 100);
  const Integer H = Plain.C->Caches()[0].LineHeight;
  ASSERT_GT(H, 0);
  EXPECT_EQ(Plain.Y(2) - Plain.Y(0), H);
  struct Case {
    const char* Name;
    Integer Spacing, Fixed;
    Integer Step;
  };
  for (const Case& K : {Case{"spacing", 5, 0, H + 5}, Case{"fixed cells", 0, 40, 40}, Case{"both", 3, 30, 33}}) {
    SCOPED_TRACE(K.Name);
    Layout L("a\nb", 200, 100);
    L.C->LineSpacing = K.Spacing;
    L.C->FixedCharHeight = K.Fixed;
    L.C->Update();
    TIECanvas Ie(L.Out.Canvas(), false, false);
    L.C->DrawTo(&Ie, 0, 0, 200, 100);
    EXPECT_EQ(L.Y(2) - L.Y(0), K.Step);
  }
  // Single-format mode takes the control's Alignment, whatever the formats say.
  Layout S("ab", 200, 100);
  S.C->Alignment = 1;
  S.C->SetSingleFormat(true);
  TIECanvas Ie(S.Out.Canvas(), false, false);
  S.C->DrawTo(&Ie, 0, 0, 200, 100);
  EXPECT_EQ(S.X(0), 1 + (198 - 2 * A - 1));
}

TEST(TextLayout, LinesBelowTheBoxAreNotDrawnButLaidOut) {
  Layout Short("a\nb\nc\nd", 100, 30);
  EXPECT_EQ(Short.C->WrappedText.substr(0, 2), "a\n");
  EXPECT_EQ(std::count(Short.C->WrappedText.begin(), Short.C->WrappedText.end(), '\n'), 4);
  EXPECT_EQ(Short.C->WrappedText.find('d'), std::string::npos);
  EXPECT_GT(Short.Y(6), Short.Y(4));
}

// Counts the pixels of one colour in a rectangle of the bitmap.
Integer CountColour(TBitmap& B, const TRect& R, TColor Colour) {
  Integer N = 0;
  for (Integer y = R.Top; y < R.Bottom; ++y)
    for (Integer x = R.Left; x < R.Right; ++x) N += B.Canvas()->Pixels(x, y) == Colour;
  return N;
}

TEST(TextLayout, SelectedCharactersDrawInTheInverseColours) {
  const Integer A = Advance();
  AnsiString T = "ab";
  TIETextControl C(nullptr);
  Style(&C);
  C.TextBrush()->SetStyle(bsSolid);
  C.TextBrush()->SetColor(static_cast<TColor>(0x00FFFF));  // yellow background
  C.Font()->SetColor(static_cast<TColor>(0x0000FF));        // red text
  C.Text = &T;
  C.Init();
  C.SelStart = 1;
  C.SelEnd = 2;
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(100, 40);
  TIECanvas Ie(B.Canvas(), false, false);
  C.DrawTo(&Ie, 0, 0, 100, 40);
  const auto& K = C.Caches();
  const TRect First(K[0].X, K[0].Y, K[0].X + A, K[0].Y + K[0].LineHeight);
  const TRect Second(K[1].X, K[1].Y, K[1].X + A, K[1].Y + K[1].LineHeight);
  // The unselected cell: yellow and red; the selected one: blue (~yellow) and cyan (~red).
  EXPECT_GT(CountColour(B, First, 0x00FFFF), 0);
  EXPECT_EQ(CountColour(B, First, 0xFF0000), 0);
  EXPECT_GT(CountColour(B, Second, 0xFF0000), (A * K[1].LineHeight) / 3);
  EXPECT_GT(CountColour(B, Second, 0xFFFF00), 0);
  EXPECT_EQ(CountColour(B, Second, 0x00FFFF), 0);
}

TEST_F(TextEditing, AutoHeightGrowsTheControlToTheText) {
  AnsiString T = "a";
  TIETextControl* C = Make(&T, 200, 30);
  C->AutoHeight = true;
  for (int i = 0; i < 4; ++i) Press(C, {{VK_RETURN}});
  Press(C, Typed("b"));
  GtTestPump(20);
  C->Repaint();
  GtTestPump(20);
  const auto& K = C->Caches();
  ASSERT_EQ(C->TextLength, 6);
  EXPECT_GE(C->Height(), K[5].Y + K[5].LineHeight);
  EXPECT_GT(C->Height(), 30);
}

}  // namespace
}  // namespace textcontrol_core_tests
