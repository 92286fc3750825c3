// Text, number and memory helpers: locale-free number text, fractions, colour
// and GUID text, 8-bit wrappers and the large-block allocator.
#include "imaging/core/base/iehelpers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "platform/base/sysutils.h"

namespace test_iehelpers_tests {

// The memory tests ask for impossible blocks and expect nullptr back.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

// Runs the body under a numeric locale and restores the C locale afterwards.
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) { FOk = std::setlocale(LC_ALL, name) != nullptr; }
  ~LocaleScope() { std::setlocale(LC_ALL, "C"); }
  bool Ok() const { return FOk; }

 private:
  bool FOk;
};

std::string U8(const WideString& w) { return WideToUtf8(w); }

}  // namespace

// ---------------------------------------------------------------------------
// Float text

TEST(IEFloatText, ShortestFormWithAPoint) {
  const struct {
    long double v;
    const char* text;
  } cases[] = {
      {0.5L, "0.5"},   {595, "595"},       {-2.5L, "-2.5"},      {0, "0"},
      {0.1, "0.1"},    {1.0L / 3, "0.333333333333333"},           {123456789012345.0L, "123456789012345"},
      {1e15L, "1E15"}, {1.5e20L, "1.5E20"}, {0.0001L, "0.0001"}, {0.00001L, "1E-5"},
      {-1e-6L, "-1E-6"}, {2.0L / 3 * 1e-10L, "6.66666666666667E-11"},
      {INFINITY, "INF"}, {-INFINITY, "-INF"}, {NAN, "NAN"},
  };
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    LocaleScope scope(locale);
    ASSERT_TRUE(scope.Ok()) << "locale " << locale << " is not installed";
    ASSERT_TRUE(std::string(locale) == "C" || *std::localeconv()->decimal_point == ',');
    for (const auto& c : cases) {
      WideString w, ww;
      AnsiString a;
      IEFloatToStr(w, c.v);
      IEFloatToWideStr(ww, c.v);
      IEFloatToAnsiStr(a, c.v);
      EXPECT_EQ(U8(w), c.text) << locale;
      EXPECT_EQ(U8(ww), c.text) << locale;
      EXPECT_EQ(a, c.text) << locale;
    }
  }
}

TEST(IEFloatText, ReadsEitherSeparatorWhateverTheLocale) {
  const struct {
    const char* text;
    long double expected;  // -99 stands for the default
  } cases[] = {
      {"2.5", 2.5L},    {"2,5", 2.5L},   {" 2.5 ", 2.5L},   {"-1e3", -1000},   {"+3", 3},  {".5", 0.5L},
      {"7.", 7},        {"1,5E2", 150},  {"abc", -99},      {"1,000.5", -99},  {"1.5.5", -99},
      {"", -99},        {".", -99},      {"1e", -99},       {"2.5x", -99},     {"inf", -99},
      {"1.000,5", -99}, {"--1", -99},  {"1e-5000", 0},    {"1e5000", -99},
  };
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    LocaleScope scope(locale);
    ASSERT_TRUE(scope.Ok()) << "locale " << locale << " is not installed";
    for (const auto& c : cases) {
      EXPECT_EQ(IEStrToFloatDefAnsi(c.text, -99), c.expected) << c.text << " under " << locale;
      EXPECT_EQ(IEStrToFloatDef(Utf8ToWide(c.text), -99), c.expected) << c.text << " under " << locale;
      EXPECT_EQ(IEWideStrToFloatDef(Utf8ToWide(c.text), -99), c.expected) << c.text << " under " << locale;
    }
  }
}

TEST(IEFloatText, FormattedWithTheUserSeparator) {
  struct Case {
    Integer format, precision, digits;
    long double v;
    const char* c;   // under the C locale
    const char* de;  // under de_DE
  } cases[] = {
      {ieffFixed, 15, 2, 1234.5678L, "1234.57", "1234,57"},
      {ieffFixed, 15, 3, 2.5L, "2.500", "2,500"},
      {ieffFixed, 15, 0, 2.7L, "3", "3"},
      {ieffFixed, 15, 2, 2.675, "2.67", "2,67"},  // rounded from the binary value just below 2.675
      {ieffFixed, 15, 2, -0.001L, "0.00", "0,00"},
      {ieffFixed, 4, 2, 1.23456L, "1.23", "1,23"},  // precision caps the digits
      {ieffFixed, 3, 2, 12345, "1.23E4", "1,23E4"},  // too many integer digits: general form
      {ieffNumber, 15, 2, 1234567.891L, "1234567.89", "1.234.567,89"},
      {ieffExponent, 5, 2, 1234.5L, "1.2345E+03", "1,2345E+03"},
      {ieffExponent, 3, 0, -0.00012L, "-1.20E-4", "-1,20E-4"},
      {ieffGeneral, 6, 0, 0.5L, "0.5", "0,5"},
      {ieffGeneral, 3, 2, 123456, "1.23E05", "1,23E05"},
      {ieffFixed, 15, 2, INFINITY, "INF", "INF"},
  };
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    LocaleScope scope(locale);
    ASSERT_TRUE(scope.Ok());
    const bool de = std::string(locale) != "C";
    for (const auto& c : cases) {
      WideString t;
      IEFloatToStrF(c.format, c.precision, c.digits, t, c.v);
      EXPECT_EQ(U8(t), de ? c.de : c.c) << "format " << c.format << " value " << static_cast<double>(c.v);
    }
  }
}

TEST(IEFloatToFraction, ApproximatesWithin32Bits) {
  struct Case {
    double v, tol;
    Integer n, d;
  } cases[] = {
      {0.75, 1e-6, 3, 4},        {-0.5, 1e-6, -1, 2},        {2.0, 1e-6, 2, 1},
      {-7, 1e-6, -7, 1},         {0, 1e-6, 0, 1},            {1e-20, 1e-6, 1, 999999999},
      {-1e-20, 1e-6, -1, 999999999}, {1e20, 1e-6, 999999999, 1}, {-1e20, 1e-6, -999999999, 1},
      {M_PI, 1e-6, 355, 113},    {0.333333333, 5e-9, 1, 3},  {2147483647.0, 1e-6, 2147483647, 1},
      // beyond the 32-bit range: the largest numerator, never a wrapped one
      {3e9, 1e-6, 2147483647, 1}, {-3e9, 1e-6, -2147483647, 1}, {5e18, 1e-6, 2147483647, 1},
      {1e-12, 1e-20, 0, 1},
  };
  for (const auto& c : cases) {
    Integer n = 12345, d = 12345;
    IEFloatToFraction(n, d, c.v, c.tol);
    EXPECT_EQ(n, c.n) << c.v;
    EXPECT_EQ(d, c.d) << c.v;
  }
  // Irrational values with a tolerance nothing can meet end with the best
  // 32-bit fraction instead of looping or overflowing.
  Integer n, d;
  IEFloatToFraction(n, d, std::sqrt(2.0), 0);
  EXPECT_GT(d, 0);
  EXPECT_NEAR(static_cast<double>(n) / d, std::sqrt(2.0), 1e-15);

  std::mt19937 gen(11);
  std::uniform_real_distribution<double> dist(-1000, 1000);
  for (int i = 0; i < 2000; ++i) {
    const double v = dist(gen);
    IEFloatToFraction(n, d, v, 5e-9);
    ASSERT_GT(d, 0) << v;
    EXPECT_LT(std::fabs(static_cast<double>(n) / d - v), 5e-9) << v;
  }
}

// ---------------------------------------------------------------------------
// Colour, boolean, control-character and GUID text

TEST(IETextValues, RGBText) {
  WideString t;
  IERGBToText(t, 0x00FF8000);
  EXPECT_EQ(U8(t), "255,128,0");
  IERGBToText(t, static_cast<Integer>(0xFF010203));  // byte 3 is not part of the colour
  EXPECT_EQ(U8(t), "1,2,3");

  struct Case {
    const char* text;
    int r, g, b;
  } cases[] = {
      {"255, 128,0", 255, 128, 0}, {" 1 ,2 , 3 ", 1, 2, 3}, {"abc", 0, 0, 0}, {"10,20", 10, 20, 0},
      {"", 0, 0, 0},               {"7,x,9", 7, 0, 9},      {"1,2,3,4", 1, 2, 3},
      {"300,-5,7", 255, 0, 7},  // out of range: limited, not wrapped
  };
  for (const auto& c : cases) {
    TRGB col = IEMakeRGB(9, 9, 9);
    IEStrToIntList(Utf8ToWide(c.text), col);
    EXPECT_EQ(col.r, c.r) << c.text;
    EXPECT_EQ(col.g, c.g) << c.text;
    EXPECT_EQ(col.b, c.b) << c.text;
  }
  TRGB back{};
  IERGBToText(t, 0x00123456);
  IEStrToIntList(t, back);
  EXPECT_EQ(back.r, 0x12);
  EXPECT_EQ(back.g, 0x34);
  EXPECT_EQ(back.b, 0x56);
}

TEST(IETextValues, BooleansAndControlCharacters) {
  WideString t;
  IEBoolToText(true, t);
  EXPECT_EQ(t, u"1");
  IEBoolToText(false, t);
  EXPECT_EQ(t, u"0");
  for (const char16_t* yes : {u"1", u"TRUE", u"true", u"t", u"T", u"True"}) EXPECT_TRUE(IEStrToBool(yes)) << U8(yes);
  for (const char16_t* no : {u"yes", u"0", u"", u"tru", u" true", u"2"}) EXPECT_FALSE(IEStrToBool(no)) << U8(no);

  WideString r;
  IERemoveControlChars(u"a\tb\x7f\x1f" u"c\u00e9\u0080\r\n", r);
  EXPECT_EQ(r, u"abc\u00e9\u0080");
}

TEST(IEGUIDText, FormatAndParse) {
  WideString t;
  const TGUID nil{};
  IEGUIDToStr(nil, t);
  EXPECT_EQ(U8(t), "{00000000-0000-0000-0000-000000000000}");
  TGUID g;
  std::memset(&g, 0xAB, sizeof g);
  EXPECT_TRUE(IEStrToGUID(t, g));
  EXPECT_TRUE(IEEqualGUID(g, nil));

  const TGUID known{0x98B5E8A0, 0x29CC, 0x491A, {0xAA, 0xC0, 0xE6, 0xDB, 0x4F, 0xDC, 0xCE, 0xB6}};
  IEGUIDToStr(known, t);
  EXPECT_EQ(U8(t), "{98b5e8a0-29cc-491a-aac0-e6db4fdcceb6}");
  for (const char16_t* text : {u"{98b5e8a0-29cc-491a-aac0-e6db4fdcceb6}", u"{98B5E8A0-29CC-491A-AAC0-E6DB4FDCCEB6}",
                               u"{98b5e8a0-29cc-491a-aac0-e6db4fdcceb6} trailing"}) {
    EXPECT_TRUE(IEStrToGUID(text, g)) << U8(text);
    EXPECT_TRUE(IEEqualGUID(g, known)) << U8(text);
  }
  TGUID other = known;
  other.D4[7] ^= 1;
  EXPECT_FALSE(IEEqualGUID(other, known));
}

TEST(IEGUIDText, RejectsShortOrForeignText) {
  // Short texts must not be read past their end; each gives false and the nil GUID.
  const WideString full = u"{98b5e8a0-29cc-491a-aac0-e6db4fdcceb6}";
  for (size_t len : {0, 1, 10, 20, 37}) {
    const WideString text = full.substr(0, len);
    TGUID g;
    std::memset(&g, 0xAB, sizeof g);
    EXPECT_FALSE(IEStrToGUID(text, g)) << len;
    EXPECT_TRUE(IEEqualGUID(g, TGUID{})) << len;
  }
  TGUID g;
  EXPECT_FALSE(IEStrToGUID(u"{98b5e8a0-29cc-491a-aac0-e6db4fdccegg}", g));
  EXPECT_TRUE(IEEqualGUID(g, TGUID{}));
}

// ---------------------------------------------------------------------------
// 8-bit text

TEST(IEAnsiText, CodePageConversion) {
  const WideString w = u"A\u00e9\u20ac\u0178\u0081";
  const AnsiString a = IEWideToAnsi(w);
  EXPECT_EQ(a, std::string("A\xE9\x80\x9F\x81"));
  EXPECT_EQ(IEAnsiToWide(a), w);
  for (int b = 0; b < 256; ++b) {
    const AnsiString one(1, static_cast<char>(b));
    EXPECT_EQ(IEWideToAnsi(IEAnsiToWide(one)), one) << b;  // every byte survives
  }
  EXPECT_EQ(IEWideToAnsi(u"\u4e2d\U0001F600x"), "??x");
}

TEST(IEAnsiText, Wrappers) {
  EXPECT_EQ(IETrimA(" \t ab c \r\n"), "ab c");
  EXPECT_EQ(IETrimA("   "), "");
  EXPECT_EQ(IEUpperCaseA("abZ\xe9"), "ABZ\xe9");
  EXPECT_EQ(IELowerCaseA("ABz\xc9"), "abz\xc9");
  EXPECT_EQ(IEIntToStrA(-5), "-5");
  EXPECT_EQ(IEIntToStrA(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(IEIntToHexA(255, 4), "00FF");
  EXPECT_EQ(IEIntToHexA(0xABC, 1), "ABC");
  EXPECT_EQ(IEIntToHexA(-1, 2), "FFFFFFFF");

  const struct {
    const char* text;
    Integer expected;
  } ints[] = {
      {"12", 12},          {"-12", -12},   {"+7", 7},       {"  7", 7},     {"7 ", -99},     {"$FF", 255},
      {"0x10", 16},        {"$FFFFFFFF", -1}, {"abc", -99}, {"", -99},      {"-", -99},      {"$", -99},
      {"2147483647", INT32_MAX}, {"2147483648", -99}, {"-2147483648", INT32_MIN}, {"99999999999999999999", -99},
  };
  for (const auto& c : ints) EXPECT_EQ(IEStrToIntDefA(c.text, -99), c.expected) << c.text;

  EXPECT_EQ(IECopyA("hello", 2, 3), "ell");
  EXPECT_EQ(IECopyA("hello", 0, 2), "he");
  EXPECT_EQ(IECopyA("hello", 4, 100), "lo");
  EXPECT_EQ(IECopyA("hello", 6, 1), "");
  EXPECT_EQ(IECopyA("hello", 2, -1), "");
  EXPECT_EQ(IEPosA("ll", "hello"), 3);
  EXPECT_EQ(IEPosA("h", "hello"), 1);
  EXPECT_EQ(IEPosA("x", "hello"), 0);
  EXPECT_EQ(IEPosA("", "hello"), 0);
}

TEST(IEAnsiText, CStringsAndChoices) {
  WideChar dest[8];
  std::fill(std::begin(dest), std::end(dest), u'#');
  EXPECT_EQ(IEStrCopyW(dest, u"abc"), dest);
  EXPECT_EQ(WideString(dest), u"abc");
  EXPECT_EQ(dest[4], u'#');

  EXPECT_EQ(IEStrNewA(nullptr), nullptr);
  char* copy = IEStrNewA("text");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "text");
  std::free(copy);

  EXPECT_EQ(IEIfThenInt(true, 1, 2), 1);
  EXPECT_EQ(IEIfThenChar(false, u'a', u'b'), u'b');
  EXPECT_EQ(IEIfThenFloat(false, 1.5, 2.5), 2.5);
  EXPECT_EQ(IEByteSwap16If(0x1234, true), 0x3412);
  EXPECT_EQ(IEByteSwap16If(0x1234, false), 0x1234);
  EXPECT_EQ(IEByteSwap32If(0x11223344u, true), 0x44332211u);
  EXPECT_EQ(IEByteSwap32If(0x11223344u, false), 0x11223344u);
}

TEST(IECopyList, DestTakesCountAndItems) {
  int a, b, c;
  TList src, dst, empty;
  src.Add(&a);
  src.Add(nullptr);
  src.Add(&c);
  for (int i = 0; i < 5; ++i) dst.Add(&b);
  IECopyList(&src, &dst);
  ASSERT_EQ(dst.Count(), 3);
  EXPECT_EQ(dst.Items(0), &a);
  EXPECT_EQ(dst.Items(1), nullptr);
  EXPECT_EQ(dst.Items(2), &c);
  IECopyList(&empty, &dst);
  EXPECT_EQ(dst.Count(), 0);
}

// ---------------------------------------------------------------------------
// Memory

TEST(IEMemory, LargeAllocHeaderZeroFillAndFree) {
  struct Case {
    int64_t size;
    Byte header;
  } cases[] = {{10, 0}, {0, 0}, {0xFFFFF, 0}, {0x100000, 1}, {2 << 20, 1}};
  for (const auto& c : cases) {
    void* p = IELargeAlloc(c.size);
    ASSERT_NE(p, nullptr) << c.size;
    const Byte* bytes = static_cast<const Byte*>(p);
    EXPECT_EQ(bytes[-1], c.header) << c.size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << c.size;
    // Zero-filled whatever the kind: no heap contents reach saved files.
    int64_t nonzero = 0;
    for (int64_t i = 0; i < c.size; ++i) nonzero += bytes[i] != 0;
    EXPECT_EQ(nonzero, 0) << c.size;
    std::memset(p, 0xCD, static_cast<size_t>(c.size + 4));  // the +4 slack is usable
    IELargeFree(p);
    EXPECT_EQ(p, nullptr) << c.size;
    IELargeFree(p);  // a second free is harmless
  }
  EXPECT_EQ(IELargeAlloc(-1), nullptr);
  EXPECT_EQ(IELargeAlloc(INT64_MAX), nullptr);
}

TEST(IEMemory, GlobalAndTryGetMem) {
  void* g = IEGlobalAlloc(64);
  ASSERT_NE(g, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(static_cast<Byte*>(g)[i], 0);
  IEGlobalFree(g);
  EXPECT_EQ(g, nullptr);

  void* p = reinterpret_cast<void*>(1);
  IETryGetMem(p, 100);
  ASSERT_NE(p, nullptr);
  std::free(p);
  p = reinterpret_cast<void*>(1);
  IETryGetMem(p, int64_t{1} << 62);  // no memory: nullptr, no exception
  EXPECT_EQ(p, nullptr);
  IETryGetMem(p, -5);
  EXPECT_EQ(p, nullptr);
}

}  // namespace test_iehelpers_tests
