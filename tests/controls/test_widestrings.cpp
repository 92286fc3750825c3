// Whole-word replacement, positions from an offset, deletion and the
// character classes that decide word boundaries.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include "controls/widestrings.h"

namespace test_widestrings_tests {

namespace {

struct TReplaceCase {
  const char16_t* Text;
  const char16_t* Old;
  const char16_t* New;
  bool WholeWords;
  Integer Flags;
  const char16_t* Expected;
};

TEST(WideStringReplace, Table) {
  const Integer All = wrfReplaceAll, Case = wrfIgnoreCase;
  const TReplaceCase Cases[] = {
      // inside words untouched, bounded ones replaced, both ends of the text
      {u"cat concat cats cat", u"cat", u"dog", true, All, u"dog concat cats dog"},
      {u"cat", u"cat", u"dog", true, All, u"dog"},
      // punctuation and symbols are boundaries, digits and letters are not
      {u"(cat),cat.", u"cat", u"dog", true, All, u"(dog),dog."},
      {u"$cat+cat<cat^cat", u"cat", u"dog", true, All, u"$dog+dog<dog^dog"},
      {u"cat1 1cat cat", u"cat", u"dog", true, All, u"cat1 1cat dog"},
      {u"a\u00A0cat\u3000b", u"cat", u"dog", true, All, u"a\u00A0dog\u3000b"},
      // ignoring case finds every case; the text around keeps its own
      {u"Cat CAT cAt SCATTER", u"cat", u"dog", true, All | Case, u"dog dog dog SCATTER"},
      {u"Hello World", u"WORLD", u"x", false, Case, u"Hello x"},
      {u"Hello World", u"WORLD", u"x", false, 0, u"Hello World"},
      // only the first qualifying match without replace-all; skipped ones do not count
      {u"concat cat cat", u"cat", u"dog", true, 0, u"concat dog cat"},
      {u"abcabc", u"bc", u"X", false, 0, u"aXabc"},
      {u"abcabc", u"bc", u"X", false, All, u"aXaX"},
      // an empty pattern leaves the text alone (and must not loop)
      {u"abc", u"", u"X", false, All, u"abc"},
      {u"abc", u"", u"X", true, All | Case, u"abc"},
      // "ß" has a two-letter upper case: offsets must still match the text
      {u"straße x", u"X", u"y", true, All | Case, u"straße y"},
      {u"ßßa", u"A", u"b", false, Case, u"ßßb"},
      // overlapping occurrences are consumed left to right
      {u"aaaa", u"aa", u"b", false, All, u"bb"},
      {u"aaa", u"aa", u"b", false, All, u"ba"},
      {u"aaa", u"aa", u"b", true, All, u"aaa"},
      // a replacement's last character is what precedes the next match
      {u"cat cat", u"cat", u"dog", true, All, u"dog dog"},
      {u"catcat", u"cat", u"x", true, All, u"catcat"},
      {u"", u"cat", u"dog", true, All, u""},
  };
  for (const auto& C : Cases) {
    WideString Result = u"stale";
    WideStringReplace(C.Text, C.Old, C.New, Result, C.WholeWords, C.Flags);
    EXPECT_EQ(Result, WideString(C.Expected)) << "case " << (&C - Cases);
  }
}

TEST(WideStrings, PositionsDeletionAndLastChar) {
  struct {
    const char16_t* Pattern;
    const char16_t* Text;
    Integer Offset, Expected;
  } PosCases[] = {
      {u"b", u"abcb", 0, 2}, {u"b", u"abcb", 1, 2}, {u"b", u"abcb", 2, 4},
      {u"b", u"abcb", 4, 0}, {u"b", u"abcb", 10, 0}, {u"", u"abc", 0, 0},
  };
  for (const auto& C : PosCases) EXPECT_EQ(WidePosFrom(C.Pattern, C.Text, C.Offset), C.Expected) << C.Offset;

  struct {
    const char16_t* Text;
    Integer Index, Count;
    const char16_t* Expected;
  } DeleteCases[] = {
      {u"abcdef", 2, 10, u"a"}, {u"abcdef", 2, 2, u"adef"}, {u"abc", 3, 1, u"ab"}, {u"abc", 0, 1, u"abc"},
      {u"abc", 4, 1, u"abc"},   {u"abc", 2, 0, u"abc"},     {u"", 1, 1, u""},
  };
  for (const auto& C : DeleteCases) {
    WideString S = C.Text;
    WideDelete(S, C.Index, C.Count);
    EXPECT_EQ(S, WideString(C.Expected)) << C.Index << "," << C.Count;
  }
  EXPECT_EQ(WideLastChar(u""), 0);
  EXPECT_EQ(WideLastChar(u"ab"), u'b');

  WideString Up;
  WideUpperCaseCopy(u"straße äb", Up);
  EXPECT_EQ(Up, WideString(u"STRAßE ÄB"));
}

TEST(WideStrings, CharacterClasses) {
  struct {
    WideChar Ch;
    bool Space, Punct;
  } Cases[] = {
      {u' ', true, false},     {u'\t', true, false},    {0x3000, true, false},  {0x00A0, true, false},
      {u'$', false, true},     {u'+', false, true},     {u'<', false, true},    {u'^', false, true},
      {u'.', false, true},     {u'~', false, true},     {0x00BF, false, true},  {0x2014, false, true},
      {0x20AC, false, true},   {u'a', false, false},    {u'Z', false, false},   {u'5', false, false},
      {0x00E9, false, false},  {0x00B5, false, false},  {0x4E2D, false, false}, {0xD800, false, false},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(IsSpaceChar(C.Ch), C.Space) << std::hex << int(C.Ch);
    EXPECT_EQ(IsPunctChar(C.Ch), C.Punct) << std::hex << int(C.Ch);
    EXPECT_EQ(IsWordBoundaryChar(C.Ch), C.Space || C.Punct) << std::hex << int(C.Ch);
  }
  EXPECT_TRUE(IsWordBoundaryChar(0));
  EXPECT_EQ(CharTypeBits(u'$', 2), 0);
}

}  // namespace

}  // namespace test_widestrings_tests
