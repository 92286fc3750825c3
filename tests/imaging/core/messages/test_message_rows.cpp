// Translated rows of the imaging message table: completeness, isolation of the
// fill routines, reviewed loanwords, placeholders, scripts, and the rows the
// process locale selects.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "imaging/core/messages/iemessages.h"
#include "imaging/core/messages/iemessages_rows.h"
#include "platform/base/sysutils.h"

namespace test_message_rows_tests {

namespace {

enum class Script { Latin, Cyrillic, Greek, Arabic, Japanese, Han, Hangul };

struct Row {
  TMsgLanguage lang;
  const char* name;
  void (*fill)();
  Script script;
  const char16_t* zoom;  // the language's own word for message 0
  // Messages whose text is spelled exactly as in English: product and colour-model
  // names, codes and units, and words the language writes the same way. Reviewed
  // one by one; an entry here that no longer equals English fails too.
  std::set<int> sameAsEnglish;
};

// The codes every row keeps: 126 names a product, 134..137 name colour models
// and a transform.
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {msItalian, "Italian", IEFillItalianMessages, Script::Latin, u"Zoom",
       {0 /*Zoom*/, 4 /*OK*/, 126, 127 /*File*/, 134, 135, 136, 137, 142 /*pixel*/, 144 /*bit*/,
        145 /*byte*/, 146 /*dpi*/, 147 /*KB*/}},
      {msGerman, "German", IEFillGermanMessages, Script::Latin, u"Zoom",
       {0 /*Zoom*/, 2 /*Original*/, 4 /*OK*/, 52 /*Name*/, 60 /*Transparent*/, 67 /*Filter*/,
        69 /*Amplitude*/, 71 /*Phase*/, 76 /*Maximum*/, 77 /*Minimum*/, 82 /*Horizontal*/,
        97 /*Position*/, 99 /*Normal*/, 124 /*Rate*/, 126, 134, 135, 136, 137, 146 /*dpi*/,
        147 /*KB*/}},
      {msSpanish, "Spanish", IEFillSpanishMessages, Script::Latin, u"Zoom",
       {0 /*Zoom*/, 2 /*Original*/, 21 /*Divisor*/, 34 /*Color*/, 82 /*Horizontal*/,
        83 /*Vertical*/, 99 /*Normal*/, 126, 134, 135, 136, 137, 144 /*bit*/, 145 /*byte*/,
        147 /*KB*/}},
      // French writes the colour models TSV, TSL and RVB.
      {msFrench, "French", IEFillFrenchMessages, Script::Latin, u"Zoom",
       {0 /*Zoom*/, 2 /*Original*/, 4 /*OK*/, 11 /*Saturation*/, 15 /*Luminance*/,
        48 /*Compression*/, 53 /*Description*/, 60 /*Transparent*/, 69 /*Amplitude*/,
        71 /*Phase*/, 76 /*Maximum*/, 77 /*Minimum*/, 82 /*Horizontal*/, 83 /*Vertical*/,
        97 /*Position*/, 99 /*Normal*/, 126, 137, 142 /*pixel*/, 144 /*bit*/}},
      {msPortuguese, "Portuguese", IEFillPortugueseMessages, Script::Latin, u"Zoom",
       {0 /*Zoom*/, 2 /*Original*/, 4 /*OK*/, 21 /*Divisor*/, 69 /*Amplitude*/,
        82 /*Horizontal*/, 83 /*Vertical*/, 99 /*Normal*/, 126, 134, 135, 136, 137,
        142 /*pixel*/, 144 /*bit*/, 145 /*byte*/, 146 /*dpi*/, 147 /*KB*/}},
      {msGreek, "Greek", IEFillGreekMessages, Script::Greek, u"Ζουμ",
       {4 /*OK*/, 126, 134, 135, 136, 137, 144 /*bit*/, 145 /*byte*/, 146 /*dpi*/, 147 /*KB*/}},
      {msRussian, "Russian", IEFillRussianMessages, Script::Cyrillic, u"Масштаб",
       {126, 134, 135, 136, 137, 146 /*dpi*/}},
      {msDutch, "Dutch", IEFillDutchMessages, Script::Latin, u"Zoom",
       {0 /*Zoom*/, 4 /*OK*/, 8 /*Contrast*/, 27 /*Histogram*/, 36 /*Lens*/, 67 /*Filter*/,
        69 /*Amplitude*/, 76 /*Maximum*/, 77 /*Minimum*/, 78 /*Opening*/, 126, 134, 135, 136,
        137, 142 /*pixel*/, 144 /*bit*/, 145 /*byte*/, 146 /*dpi*/, 147 /*KB*/}},
      {msSwedish, "Swedish", IEFillSwedishMessages, Script::Latin, u"Zooma",
       {2 /*Original*/, 4 /*OK*/, 27 /*Histogram*/, 67 /*Filter*/, 76 /*Maximum*/,
        77 /*Minimum*/, 97 /*Position*/, 99 /*Normal*/, 126, 134, 135, 136, 137, 144 /*bit*/,
        145 /*byte*/, 146 /*dpi*/}},
      // 124 is empty in the Polish row and reads as English; checked separately.
      {msPolish, "Polish", IEFillPolishMessages, Script::Latin, u"Powiększenie",
       {4 /*OK*/, 27 /*Histogram*/, 77 /*Minimum*/, 126, 134, 135, 136, 137, 144 /*bit*/,
        146 /*dpi*/, 147 /*KB*/}},
      {msJapanese, "Japanese", IEFillJapaneseMessages, Script::Japanese, u"ズーム",
       {4 /*OK*/, 126, 134, 135, 136, 137, 146 /*dpi*/, 147 /*KB*/}},
      {msCzech, "Czech", IEFillCzechMessages, Script::Latin, u"Zvětšení",
       {4 /*OK*/, 27 /*Histogram*/, 76 /*Maximum*/, 77 /*Minimum*/, 126, 134, 135, 136, 137,
        142 /*pixel*/, 144 /*bit*/, 146 /*dpi*/}},
      {msFinnish, "Finnish", IEFillFinnishMessages, Script::Latin, u"Zoomaus",
       {4 /*OK*/, 126, 134, 135, 136, 137, 146 /*dpi*/}},
      {msFarsi, "Farsi", IEFillFarsiMessages, Script::Arabic, u"بزرگ\u200cنمایی",
       {126, 134, 135, 136, 137, 146 /*dpi*/}},
      {msChinese, "Chinese", IEFillChineseMessages, Script::Han, u"缩放",
       {126, 134, 135, 136, 137, 146 /*dpi*/, 147 /*KB*/}},
      {msChineseTraditional, "ChineseTraditional", IEFillChineseTraditionalMessages, Script::Han,
       u"縮放", {126, 134, 135, 136, 137, 146 /*dpi*/, 147 /*KB*/}},
      {msDanish, "Danish", IEFillDanishMessages, Script::Latin, u"Zoom",
       {0 /*Zoom*/, 2 /*Original*/, 4 /*OK*/, 27 /*Histogram*/, 67 /*Filter*/,
        69 /*Amplitude*/, 77 /*Minimum*/, 97 /*Position*/, 99 /*Normal*/, 126, 134, 135, 136,
        137, 142 /*pixel*/, 144 /*bit*/, 145 /*byte*/, 146 /*dpi*/, 147 /*KB*/}},
      {msTurkish, "Turkish", IEFillTurkishMessages, Script::Latin, u"Yakınlaştır",
       {27 /*Histogram*/, 99 /*Normal*/, 126, 134, 135, 136, 137, 144 /*bit*/, 146 /*dpi*/,
        147 /*KB*/}},
      {msKorean, "Korean", IEFillKoreanMessages, Script::Hangul, u"확대/축소",
       {126, 134, 135, 136, 137, 146 /*dpi*/, 147 /*KB*/}},
  };
  return rows;
}

bool InRange(char16_t c, char16_t lo, char16_t hi) { return c >= lo && c <= hi; }

bool IsScriptChar(Script s, char16_t c) {
  switch (s) {
    case Script::Latin: return InRange(c, u'A', u'Z') || InRange(c, u'a', u'z') || InRange(c, 0xC0, 0x24F);
    case Script::Cyrillic: return InRange(c, 0x400, 0x4FF);
    case Script::Greek: return InRange(c, 0x370, 0x3FF) || InRange(c, 0x1F00, 0x1FFF);
    case Script::Arabic: return InRange(c, 0x600, 0x6FF) || InRange(c, 0xFB50, 0xFDFF) || InRange(c, 0xFE70, 0xFEFF);
    case Script::Japanese:
      return InRange(c, 0x3040, 0x30FF) || InRange(c, 0x4E00, 0x9FFF) || InRange(c, 0xFF00, 0xFFEF);
    case Script::Han: return InRange(c, 0x4E00, 0x9FFF) || InRange(c, 0xFF00, 0xFFEF);
    case Script::Hangul:
      return InRange(c, 0xAC00, 0xD7AF) || InRange(c, 0x1100, 0x11FF) || InRange(c, 0x3130, 0x318F) ||
             InRange(c, 0xFF00, 0xFFEF);
  }
  return false;
}

// Letters of any script other than Latin (digits, punctuation and the joiners
// used by Farsi are neutral).
bool IsForeignToLatin(char16_t c) {
  for (Script s : {Script::Cyrillic, Script::Greek, Script::Arabic, Script::Japanese, Script::Han, Script::Hangul})
    if (IsScriptChar(s, c)) return true;
  return false;
}

// printf-style placeholders and the number of accelerator marks ("&&" is a
// literal ampersand, not an accelerator).
struct Markup {
  std::vector<std::u16string> placeholders;
  int accelerators = 0;
  bool operator==(const Markup&) const = default;
};

Markup MarkupOf(const std::u16string& s) {
  Markup m;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&') {
      if (i + 1 < s.size() && s[i + 1] == u'&') ++i;
      else ++m.accelerators;
    } else if (s[i] == u'%') {
      size_t j = i + 1;
      while (j < s.size() && (std::u16string_view(u"-+ #0123456789.*lh").find(s[j]) != std::u16string_view::npos)) ++j;
      if (j < s.size()) m.placeholders.push_back(s.substr(i, j - i + 1));
      i = j;
    }
  }
  std::sort(m.placeholders.begin(), m.placeholders.end());
  return m;
}

class MessageRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : kVars) {
      const char* old = std::getenv(v);
      saved_.push_back(old ? std::optional<std::string>(old) : std::nullopt);
    }
    IEFreeMessageTables();
    IEFillMessageTables();
  }
  void TearDown() override {
    IEFreeMessageTables();
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) setenv(kVars[i], saved_[i]->c_str(), 1);
      else unsetenv(kVars[i]);
    }
    IERecordMessageLocale();
  }
  static void UseLocale(const char* name) {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", name, 1);
    IERecordMessageLocale();
  }
  static WideString English(int m) { return IEGetMessage(static_cast<Byte>(m), msEnglish); }
  static WideString Text(int m, TMsgLanguage l) { return IEGetMessage(static_cast<Byte>(m), l); }

  static constexpr const char* kVars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(MessageRowsTest, EachRoutineFillsItsWholeRowAndNoOther) {
  for (const Row& row : Rows()) {
    IEFreeMessageTables();
    row.fill();
    // With the English row empty, a lookup shows exactly what was stored.
    for (int l = msEnglish; l < IELanguageCount; ++l) {
      int stored = 0;
      for (int m = 0; m < IEMessageCount; ++m)
        if (!Text(m, static_cast<TMsgLanguage>(l)).empty()) ++stored;
      const int expected = l != row.lang ? 0 : row.lang == msPolish ? IEMessageCount - 1 : IEMessageCount;
      EXPECT_EQ(stored, expected) << row.name << " routine, row " << l;
    }
    if (row.lang == msPolish) {
      EXPECT_EQ(Text(124, msPolish), u"") << "Polish has no message 124";
    }
  }
  // The user row stays empty after the full start-up fill.
  IEFreeMessageTables();
  IEFillMessageTables();
  IEFreeMessageTables();  // and the shut-down empties every row again
  for (const Row& row : Rows()) EXPECT_EQ(Text(1, row.lang), u"") << row.name;
}

TEST_F(MessageRowsTest, TheUserRowIsLeftToTheApplication) {
  for (int m = 0; m < IEMessageCount; ++m) EXPECT_EQ(Text(m, msUser), English(m)) << m;
}

TEST_F(MessageRowsTest, TranslationsDifferFromEnglishExceptReviewedTerms) {
  for (const Row& row : Rows()) {
    for (int m = 0; m < IEMessageCount; ++m) {
      if (row.lang == msPolish && m == 124) {
        EXPECT_EQ(Text(m, row.lang), u"Rate");  // empty entry: English shows through
        continue;
      }
      const bool same = Text(m, row.lang) == English(m);
      EXPECT_EQ(same, row.sameAsEnglish.count(m) == 1)
          << row.name << " message " << m << ": \"" << WideToUtf8(Text(m, row.lang))
          << (same ? "\" equals English but is not on the reviewed list" : "\" is on the reviewed list but differs");
    }
  }
}

TEST_F(MessageRowsTest, MessageZeroIsTheWordForZoom) {
  for (const Row& row : Rows()) EXPECT_EQ(Text(0, row.lang), row.zoom) << row.name;
}

TEST_F(MessageRowsTest, PlaceholdersAndAcceleratorsMatchEnglish) {
  for (const Row& row : Rows())
    for (int m = 0; m < IEMessageCount; ++m)
      EXPECT_EQ(MarkupOf(Text(m, row.lang)), MarkupOf(English(m))) << row.name << " message " << m;
  // The check itself sees what it is meant to see.
  EXPECT_EQ(MarkupOf(u"&Open %s of %d%%").accelerators, 1);
  EXPECT_EQ(MarkupOf(u"&Open %s of %d%%").placeholders, (std::vector<std::u16string>{u"%%", u"%d", u"%s"}));
  EXPECT_EQ(MarkupOf(u"Fish && chips").accelerators, 0);
  EXPECT_NE(MarkupOf(u"%5.2f &x"), MarkupOf(u"%d &x"));
}

TEST_F(MessageRowsTest, RowsAreWrittenInTheirOwnScript) {
  for (const Row& row : Rows()) {
    for (int m = 0; m < IEMessageCount; ++m) {
      if (row.sameAsEnglish.count(m) || (row.lang == msPolish && m == 124)) continue;
      const WideString t = Text(m, row.lang);
      if (row.script == Script::Latin) {
        EXPECT_TRUE(std::none_of(t.begin(), t.end(), IsForeignToLatin)) << row.name << " message " << m;
        EXPECT_TRUE(std::any_of(t.begin(), t.end(), [](char16_t c) { return IsScriptChar(Script::Latin, c); }) ||
                    t == u"/")
            << row.name << " message " << m;
      } else {
        EXPECT_TRUE(std::any_of(t.begin(), t.end(), [&](char16_t c) { return IsScriptChar(row.script, c); }))
            << row.name << " message " << m << " has no letter of its script";
      }
      if (row.script == Script::Cyrillic || row.script == Script::Greek) {
        // A Latin look-alike inside a native word breaks search and sorting.
        size_t start = 0;
        while (start < t.size()) {
          size_t end = t.find(u' ', start);
          if (end == WideString::npos) end = t.size();
          const auto word = t.substr(start, end - start);
          const bool latin = std::any_of(word.begin(), word.end(), [](char16_t c) { return c < 0x80 && std::isalpha(c); });
          const bool native = std::any_of(word.begin(), word.end(), [&](char16_t c) { return IsScriptChar(row.script, c); });
          EXPECT_FALSE(latin && native) << row.name << " message " << m << " mixes scripts in one word";
          start = end + 1;
        }
      }
    }
  }
}

TEST_F(MessageRowsTest, TextsAreCleanCaptions) {
  for (const Row& row : Rows()) {
    for (int m = 0; m < IEMessageCount; ++m) {
      const WideString t = Text(m, row.lang);
      ASSERT_FALSE(t.empty()) << row.name << " " << m;
      EXPECT_NE(t.front(), u' ') << row.name << " " << m;
      EXPECT_NE(t.back(), u' ') << row.name << " " << m;
      EXPECT_EQ(t.find(u"  "), WideString::npos) << row.name << " " << m;
      for (size_t i = 0; i < t.size(); ++i) {
        const char16_t c = t[i];
        EXPECT_GE(c, 0x20) << row.name << " " << m << " control character";
        EXPECT_NE(c, 0xFFFD) << row.name << " " << m << " replacement character";
        EXPECT_FALSE(InRange(c, 0xD800, 0xDFFF)) << row.name << " " << m << " surrogate";
      }
      // Round trip through UTF-8 as the platform layer does for labels.
      EXPECT_EQ(Utf8ToWide(WideToUtf8(t)), t) << row.name << " " << m;
    }
  }
}

TEST_F(MessageRowsTest, DifferentMessagesGetDifferentTexts) {
  // Two captions that differ in English label different controls; a repeated
  // translation usually means a line slipped by one place.
  for (const Row& row : Rows())
    for (int a = 0; a < IEMessageCount; ++a)
      for (int b = a + 1; b < IEMessageCount; ++b)
        if (English(a) != English(b)) {
          EXPECT_NE(Text(a, row.lang), Text(b, row.lang))
              << row.name << " messages " << a << " and " << b << ": \"" << WideToUtf8(Text(a, row.lang)) << "\"";
        }
}

TEST_F(MessageRowsTest, ChineseRowsKeepTheirCharacterForms) {
  // Pairs of simplified / traditional forms of characters these rows use.
  const std::u16string simplified = u"缩预览图结锁将复对饱滤设载质压级渐扫档转边页码宽颜关应选项调数";
  const std::u16string traditional = u"縮預覽圖結鎖將複對飽濾設載質壓級漸掃檔轉邊頁碼寬顏關應選項調數";
  ASSERT_EQ(simplified.size(), traditional.size());
  int simplifiedSeen = 0, traditionalSeen = 0;
  for (int m = 0; m < IEMessageCount; ++m) {
    const WideString s = Text(m, msChinese), t = Text(m, msChineseTraditional);
    for (char16_t c : s) {
      EXPECT_EQ(traditional.find(c), std::u16string::npos) << "traditional form in simplified message " << m;
      simplifiedSeen += simplified.find(c) != std::u16string::npos;
    }
    for (char16_t c : t) {
      EXPECT_EQ(simplified.find(c), std::u16string::npos) << "simplified form in traditional message " << m;
      traditionalSeen += traditional.find(c) != std::u16string::npos;
    }
  }
  EXPECT_GT(simplifiedSeen, 20);
  EXPECT_GT(traditionalSeen, 20);
}

TEST_F(MessageRowsTest, SystemLanguageSelectsTheRowOfTheLocale) {
  const struct { const char* locale; TMsgLanguage row; } cases[] = {
      {"it_IT.UTF-8", msItalian},  {"de_DE.UTF-8", msGerman},     {"de_AT", msGerman},
      {"es_MX.UTF-8", msSpanish},  {"fr_CA.UTF-8", msFrench},     {"pt_BR.UTF-8", msPortuguese},
      {"el_GR.UTF-8", msGreek},    {"ru_RU.UTF-8", msRussian},    {"ru_UA", msRussian},
      {"nl_BE", msDutch},          {"sv_SE.UTF-8", msSwedish},    {"pl_PL.UTF-8", msPolish},
      {"ja_JP.UTF-8", msJapanese}, {"cs_CZ", msCzech},            {"fi_FI", msFinnish},
      {"fa_IR.UTF-8", msFarsi},    {"da_DK", msDanish},           {"tr_TR.UTF-8", msTurkish},
      {"ko_KR.UTF-8", msKorean},   {"zh_CN.UTF-8", msChinese},    {"zh_SG.UTF-8", msChinese},
      {"zh_TW.UTF-8", msChineseTraditional}, {"zh_HK.UTF-8", msChineseTraditional},
      {"zh_MO", msChineseTraditional},       {"en_GB.UTF-8", msEnglish},
      {"hu_HU.UTF-8", msEnglish},  {"C", msEnglish},
  };
  for (const auto& c : cases) {
    UseLocale(c.locale);
    for (int m = 0; m < IEMessageCount; ++m) {
      const WideString t = IEGetMessage(static_cast<Byte>(m), msSystem);
      EXPECT_FALSE(t.empty()) << c.locale << " message " << m;
      EXPECT_EQ(t, Text(m, c.row)) << c.locale << " message " << m;
    }
  }
  // Hong Kong and Macau read traditional characters, Singapore simplified ones.
  UseLocale("zh_HK");
  EXPECT_EQ(IEGetMessage(1, msSystem), u"預覽");
  UseLocale("zh_MO.UTF-8");
  EXPECT_EQ(IEGetMessage(1, msSystem), u"預覽");
  UseLocale("zh_SG");
  EXPECT_EQ(IEGetMessage(1, msSystem), u"预览");
  // The entry Polish lacks falls back to English under the locale as well.
  UseLocale("pl_PL.UTF-8");
  EXPECT_EQ(IEGetMessage(124, msSystem), u"Rate");
  EXPECT_EQ(IEGetMessage(1, msSystem), u"Podgląd");
  // The out-parameter form assigns in every branch, never leaving stale text.
  for (const char* locale : {"zh_HK", "zh_MO", "zh_SG", "zh_TW", "pl_PL"}) {
    UseLocale(locale);
    WideString out = u"stale";
    IEGetMessage(124, msSystem, out);
    EXPECT_NE(out, u"stale") << locale;
    EXPECT_FALSE(out.empty()) << locale;
  }
}

}  // namespace

}  // namespace test_message_rows_tests
