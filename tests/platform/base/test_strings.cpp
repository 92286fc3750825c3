#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/base/strutils.h"
#include "scratch_dir.h"

namespace test_strings_tests {

TEST(Utf, RoundTripsIncludingSupplementaryCharacters) {
  struct Case { const char* utf8; size_t units; };
  const Case cases[] = {
      {"", 0}, {"abc", 3}, {"\xC3\xA9", 1}, {"\xD0\x96", 1}, {"\xE2\x82\xAC", 1},
      {"\xF0\x9F\x98\x80", 2},                 // U+1F600, a surrogate pair
      {"a\xF0\x9D\x84\x9E" "b", 4},            // U+1D11E between two letters
      {"\xF4\x8F\xBF\xBF", 2},                 // U+10FFFF, the last code point
  };
  for (const auto& c : cases) {
    WideString w = Utf8ToWide(c.utf8);
    EXPECT_EQ(w.size(), c.units) << c.utf8;
    EXPECT_EQ(WideToUtf8(w), c.utf8);
  }
  EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), WideString(u"\U0001F600"));
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
  struct Case { const char* utf8; WideString wide; };
  const Case cases[] = {
      {"\xC0\x80", u"\uFFFD\uFFFD"},          // overlong NUL
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"a\xE2\x82", u"a\uFFFD\uFFFD"},        // cut short
      {"\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToWide(c.utf8), c.wide) << c.utf8;
  // A lone surrogate cannot be written as UTF-8.
  EXPECT_EQ(WideToUtf8(WideString(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

TEST(CodePages, ConvertBothWays) {
  struct Case { int cp; WideString wide; const char* ansi; };
  const Case cases[] = {
      {1252, u"\u00E9", "\xE9"}, {1251, u"\u0416", "\xC6"}, {1253, u"\u03A9", "\xD9"},
      {1252, u"\u20AC", "\x80"}, {1250, u"\u0141", "\xA3"}, {1252, u"plain", "plain"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AnsiToWide(c.ansi, c.cp), c.wide) << c.cp;
    EXPECT_EQ(WideToAnsi(c.wide, c.cp), c.ansi) << c.cp;
  }
  EXPECT_EQ(AnsiToWide("\xE9"), u"\u00E9");  // 1252 by default
}

TEST(CodePages, EveryByteSurvivesAndMissingCharactersBecomeQuestionMarks) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (int cp = 1250; cp <= 1258; ++cp) EXPECT_EQ(WideToAnsi(AnsiToWide(all, cp), cp), all) << cp;
  EXPECT_EQ(AnsiToWide("\x81", 1252), WideString(1, char16_t(0x81)));  // undefined in 1252, kept
  EXPECT_EQ(WideToAnsi(u"\u0416\U0001F600x", 1252), "??x");
  EXPECT_THROW(AnsiToWide("x", 932), EConvertError);
  EXPECT_FALSE(IsCodePageSupported(65001));
}

TEST(CodePages, CharsetsAndLocaleLanguages) {
  const std::pair<int, int> charsets[] = {{0, 1252}, {1, 1252}, {161, 1253}, {204, 1251}, {238, 1250}, {178, 1256}};
  for (auto [charset, cp] : charsets) EXPECT_EQ(CharsetToCodePage(charset), cp) << charset;

  const char* saved = std::getenv("LC_ALL");
  std::string keep = saved ? saved : "";
  const std::pair<const char*, int> locales[] = {
      {"ru_RU.UTF-8", 1251}, {"el_GR.UTF-8", 1253}, {"de_DE.UTF-8", 1252}, {"C", 1252}, {"pl_PL", 1250}};
  for (auto [name, cp] : locales) {
    setenv("LC_ALL", name, 1);
    EXPECT_EQ(GetSystemAnsiCodePage(), cp) << name;
  }
  if (saved) setenv("LC_ALL", keep.c_str(), 1);
  else unsetenv("LC_ALL");
}

TEST(Case, AsciiAndUnicodeMappingsAndComparisons) {
  EXPECT_EQ(UpperCase(u"\u00E4bc-z"), u"\u00E4BC-Z");  // only ASCII letters change
  EXPECT_EQ(WideUpperCase(u"\u00E4bc\u0436"), u"\u00C4BC\u0416");
  EXPECT_EQ(WideLowerCase(u"\u00C4BC\u0416"), u"\u00E4bc\u0436");
  EXPECT_EQ(LowerCase(u"AbC\u00C4"), u"abc\u00C4");

  struct Case { WideString a, b; int str, text, wideStr, wideText; };
  const Case cases[] = {
      {u"a", u"B", 1, -1, 1, -1},
      {u"abc", u"ABC", 1, 0, 1, 0},
      {u"\u00E4", u"\u00C4", 1, 1, 1, 0},   // CompareText ignores ASCII case only
      {u"ab", u"abc", -1, -1, -1, -1},
      // By code unit a surrogate sorts below U+FFFD; by code point above it.
      {u"\U0001F600", u"\uFFFD", -1, -1, 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareStr(c.a, c.b), c.str);
    EXPECT_EQ(CompareText(c.a, c.b), c.text);
    EXPECT_EQ(WideCompareStr(c.a, c.b), c.wideStr);
    EXPECT_EQ(WideCompareText(c.a, c.b), c.wideText);
  }
  EXPECT_TRUE(SameText(u"Mixed", u"mIXED"));
  EXPECT_TRUE(WideSameText(u"\u00C4x", u"\u00E4X"));
}

TEST(Positions, PosCopyAndTrim) {
  EXPECT_EQ(Pos(u"lo", u"hello lo"), 4);
  EXPECT_EQ(Pos(u"lo", u"hello lo", 5), 7);
  EXPECT_EQ(Pos(u"x", u"hello"), 0);
  EXPECT_EQ(Pos(u"", u"hello"), 0);
  EXPECT_EQ(Pos(u"h", u"hello", 9), 0);
  EXPECT_EQ(Copy(u"hello", 2, 3), u"ell");
  EXPECT_EQ(Copy(u"hello", 0, 2), u"he");   // index below 1 starts at 1
  EXPECT_EQ(Copy(u"hello", 4, 100), u"lo");
  EXPECT_EQ(Copy(u"hello", 6, 1), u"");
  EXPECT_EQ(Copy(u"hello", 2, -1), u"");
  EXPECT_EQ(Trim(u" \t a b \r\n"), u"a b");
  EXPECT_EQ(TrimLeft(u"  a "), u"a ");
  EXPECT_EQ(TrimRight(u"  a "), u"  a");
}

TEST(IntegerText, ReadingAndWriting) {
  struct Case { WideString text; bool ok; int32_t value; };
  const Case cases[] = {
      {u"12", true, 12}, {u"  -7", true, -7}, {u"+5", true, 5}, {u"$FF", true, 255}, {u"0x10", true, 16},
      {u"$FFFFFFFF", true, -1}, {u"-2147483648", true, INT32_MIN}, {u"2147483647", true, INT32_MAX},
      {u"2147483648", false, 0}, {u"$100000000", false, 0}, {u"12 ", false, 0}, {u"", false, 0},
      {u"abc", false, 0}, {u"-", false, 0}, {u"$", false, 0}, {u"1.5", false, 0},
  };
  for (const auto& c : cases) {
    int32_t v = 12345;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << WideToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(v, c.value) << WideToUtf8(c.text);
    }
    EXPECT_EQ(StrToIntDef(c.text, -99), c.ok ? c.value : -99);
  }
  EXPECT_THROW(StrToInt(u"x1"), EConvertError);
  int64_t big;
  EXPECT_TRUE(TryStrToInt64(u"-9223372036854775808", big));
  EXPECT_EQ(big, INT64_MIN);
  EXPECT_FALSE(TryStrToInt64(u"9223372036854775808", big));
  EXPECT_EQ(StrToInt64(u"$FFFFFFFFFFFFFFFF"), -1);

  EXPECT_EQ(IntToStr(-42), u"-42");
  EXPECT_EQ(IntToStr(INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), u"00FF");
  EXPECT_EQ(IntToHex(-1, 2), u"FFFFFFFF");
  EXPECT_EQ(IntToHex(int64_t(-1), 2), u"FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(0x1A2B, 0), u"1A2B");
}

TEST(FloatText, ShortestForm) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case { double v; WideString text; };
  const Case cases[] = {
      {0.5, u"0.5"}, {0, u"0"}, {-2.5, u"-2.5"}, {1e15, u"1E15"}, {123456789012345.0, u"123456789012345"},
      {0.0001, u"0.0001"}, {0.00001, u"1E-5"}, {0.1 + 0.2, u"0.3"}, {1.5e-7, u"1.5E-7"}, {1e100, u"1E100"},
      {1.0 / 3, u"0.333333333333333"}, {12.5, u"12.5"}, {std::nan(""), u"NAN"}, {inf, u"INF"}, {-inf, u"-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatToStr(c.v), c.text) << c.v;
}

TEST(FloatText, FormattedForms) {
  struct Case { double v; TFloatFormat f; int precision, digits; WideString text; };
  const Case cases[] = {
      {0.125, ffFixed, 15, 2, u"0.13"},    // halves of the decimal digits go up
      {2.675, ffFixed, 15, 2, u"2.67"},    // the double lies below 2.675
      {-0.001, ffFixed, 15, 2, u"0.00"},   // no minus sign on a rounded zero
      {999.96, ffFixed, 15, 1, u"1000.0"},
      {0.05, ffFixed, 15, 1, u"0.1"},
      {12.5, ffFixed, 15, 0, u"13"},
      {1234.5, ffFixed, 15, 2, u"1234.50"},
      {1234.5, ffExponent, 4, 2, u"1.235E+03"},
      {0.00012, ffExponent, 3, 1, u"1.20E-4"},
      {0, ffExponent, 3, 2, u"0.00E+00"},
      {1234.5678, ffGeneral, 6, 0, u"1234.57"},
      {1e7, ffGeneral, 4, 2, u"1E07"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FloatToStrF(c.v, c.f, c.precision, c.digits), c.text) << c.v << " format " << c.f;
  EXPECT_EQ(FloatToStrF(1234.5, ffFixed, 15, 2, u','), u"1234,50");
}

TEST(FloatText, Reading) {
  struct Case { WideString text; WideChar sep; bool ok; double value; };
  const Case cases[] = {
      {u"2.5", u'.', true, 2.5}, {u" -1.5e3 ", u'.', true, -1500}, {u".5", u'.', true, 0.5},
      {u"1.", u'.', true, 1}, {u"+7", u'.', true, 7}, {u"1,5", u',', true, 1.5},
      {u"1,5", u'.', false, 0}, {u"1.5", u',', false, 0}, {u"1,000.5", u'.', false, 0},
      {u"1.000.5", u'.', false, 0}, {u"abc", u'.', false, 0}, {u"INF", u'.', false, 0},
      {u"1e", u'.', false, 0}, {u"", u'.', false, 0}, {u".", u'.', false, 0}, {u"1e999", u'.', false, 0},
  };
  for (const auto& c : cases) {
    double v = -1;
    EXPECT_EQ(TryStrToFloat(c.text, v, c.sep), c.ok) << WideToUtf8(c.text);
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << WideToUtf8(c.text);
    }
  }
  EXPECT_THROW(StrToFloat(u"x"), EConvertError);
  EXPECT_EQ(StrToFloatDef(u"x", 4.5), 4.5);
  // What we write, we read back exactly enough.
  for (double v : {0.1, -123.456, 6.02214076e23, 1e-300})
    EXPECT_NEAR(StrToFloat(FloatToStr(v)), v, std::fabs(v) * 1e-14);
}

TEST(FloatText, SameUnderEveryCLocale) {
  LocaleGuard guard;
  for (const char* name : {"C", "de_DE.UTF-8"}) {
    if (!std::setlocale(LC_ALL, name)) GTEST_SKIP() << "locale " << name << " is not installed";
    SCOPED_TRACE(name);
    EXPECT_EQ(FloatToStr(0.5), u"0.5");
    EXPECT_EQ(FloatToStr(-1234.25), u"-1234.25");
    EXPECT_EQ(FloatToStrF(2.5, ffFixed, 15, 3), u"2.500");
    EXPECT_EQ(FloatToStrF(1234.5, ffExponent, 4, 2), u"1.235E+03");
    EXPECT_EQ(StrToFloat(u"2.5"), 2.5);
    double v;
    EXPECT_FALSE(TryStrToFloat(u"2,5", v));
  }
  // The locale really was German: the C library and the locale separator say so.
  ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8"));
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.1f", 2.5);
  EXPECT_STREQ(buf, "2,5");
  EXPECT_EQ(LocaleDecimalSeparator(), u',');
  EXPECT_EQ(FloatToStr(2.5, LocaleDecimalSeparator()), u"2,5");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(LocaleDecimalSeparator(), u'.');
}

}  // namespace test_strings_tests
