// Message table: English row, fallbacks, the user row and the locale mapping.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "imaging/core/messages/iemessages.h"
#include "imaging/core/base/iestartup.h"
#include "platform/base/sysutils.h"

namespace test_messages_tests {

namespace {

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : kVars) {
      const char* old = std::getenv(v);
      saved_.push_back(old ? std::optional<std::string>(old) : std::nullopt);
    }
    IEStartup();
  }
  void TearDown() override {
    IEShutdown();
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) setenv(kVars[i], saved_[i]->c_str(), 1);
      else unsetenv(kVars[i]);
    }
    IERecordMessageLocale();
  }
  static void UseLocale(const char* lang) {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", lang, 1);
    IERecordMessageLocale();
  }
  static constexpr const char* kVars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(MessageTest, EnglishRowIsCompleteAndIndexed) {
  for (int m = 0; m < IEMessageCount; ++m) EXPECT_FALSE(IEGetMessage(m, msEnglish).empty()) << m;
  const struct { Byte index; const char16_t* text; } cases[] = {
      {0, u"Zoom"}, {1, u"Preview"}, {12, u"Value"}, {104, u"Value"}, {46, u"Advanced"},
      {140, u"Advanced"}, {124, u"Rate"}, {126, u"Video for Windows"},
      {129, u"Automatically updates your preview with the changes you have selected"}, {148, u"Fit"},
  };
  for (const auto& c : cases) EXPECT_EQ(IEGetMessage(c.index, msEnglish), c.text) << int(c.index);
  EXPECT_EQ(IEGetMessage(149, msEnglish), u"");  // beyond the table
  WideString out = u"previous";
  IEGetMessage(148, msEnglish, out);
  EXPECT_EQ(out, u"Fit");
}

TEST_F(MessageTest, MissingTranslationsFallBackToEnglish) {
  // A translated entry wins; an empty one gives the English text.
  IESetMessage(msPolish, 1, u"Podgl\u0105d");
  IESetMessage(msUser, 5, u"Abort");
  const struct { Byte index; TMsgLanguage lang; const char16_t* text; } cases[] = {
      {1, msPolish, u"Podgl\u0105d"}, {124, msPolish, u"Rate"},  // Polish has no 124
      {5, msUser, u"Abort"},         {6, msUser, u"Lock preview"},
      {148, msUser, u"Fit"},         {0, msUser, u"Zoom"},
  };
  for (const auto& c : cases) EXPECT_EQ(IEGetMessage(c.index, c.lang), c.text) << int(c.index) << "/" << int(c.lang);
  for (int m = 0; m < IEMessageCount; ++m)
    if (m != 5) {
      EXPECT_EQ(IEGetMessage(m, msUser), IEGetMessage(m, msEnglish)) << m;
    }
  // msSystem has no row of its own to store into.
  IESetMessage(msSystem, 2, u"ignored");
  UseLocale("C");
  EXPECT_EQ(IEGetMessage(2, msSystem), u"Original");
}

TEST_F(MessageTest, SystemLanguageFollowsTheProcessLocale) {
  IESetMessage(msGerman, 1, u"Vorschau");
  IESetMessage(msPolish, 1, u"Podgl\u0105d");
  IESetMessage(msChinese, 1, u"\u9884\u89c8");
  IESetMessage(msChineseTraditional, 1, u"\u9810\u89bd");
  const struct { const char* locale; Byte index; const char16_t* text; } cases[] = {
      {"de_CH.UTF-8", 1, u"Vorschau"},         // only the primary language counts
      {"zh_TW.UTF-8", 1, u"\u9810\u89bd"},     // Taiwan: traditional
      {"zh_HK.UTF-8", 1, u"\u9810\u89bd"},     // Hong Kong: traditional
      {"zh_CN.UTF-8", 1, u"\u9884\u89c8"},     // mainland: simplified
      {"zh_SG", 1, u"\u9884\u89c8"},
      {"pl_PL.UTF-8", 1, u"Podgl\u0105d"},
      {"pl_PL.UTF-8", 124, u"Rate"},           // empty Polish entry falls back too
      {"C", 1, u"Preview"},
      {"POSIX", 1, u"Preview"},
      {"hu_HU.UTF-8", 1, u"Preview"},          // no Hungarian row
      {"fr_FR@euro", 1, u"Aper\u00e7u"},    // the @euro modifier is ignored
  };
  for (const auto& c : cases) {
    UseLocale(c.locale);
    EXPECT_EQ(IEGetMessage(c.index, msSystem), c.text) << c.locale;
  }
  // LC_ALL outranks LC_MESSAGES, which outranks LANG.
  setenv("LANG", "pl_PL", 1);
  setenv("LC_MESSAGES", "zh_TW", 1);
  setenv("LC_ALL", "de_DE", 1);
  IERecordMessageLocale();
  EXPECT_EQ(IEGetMessage(1, msSystem), u"Vorschau");
  unsetenv("LC_ALL");
  IERecordMessageLocale();
  EXPECT_EQ(IEGetMessage(1, msSystem), u"\u9810\u89bd");
  unsetenv("LC_MESSAGES");
  unsetenv("LANG");
  IERecordMessageLocale();
  EXPECT_EQ(IEMessageLocale(), 0x0409);
}

TEST(MessageLocale, LanguageIdentifiersChooseRows) {
  const struct { Word id; TMsgLanguage row; } cases[] = {
      {0x0409, msEnglish}, {0x0807, msGerman}, {0x0407, msGerman}, {0x000E, msEnglish},
      {0x0404, msChineseTraditional}, {0x0804, msChinese}, {0x0C04, msChineseTraditional},
      {0x1004, msChinese}, {0x1404, msChineseTraditional}, {0x0415, msPolish}, {0x0429, msFarsi},
      {0x0419, msRussian}, {0x0408, msGreek}, {0x041F, msTurkish}, {0x0412, msKorean},
      {0x0411, msJapanese}, {0x0816, msPortuguese}, {0x0C0A, msSpanish}, {0x0000, msEnglish},
      {0x0004, msEnglish},  {0x1804, msEnglish},  // Chinese without a known variant
  };
  for (const auto& c : cases) EXPECT_EQ(IEMsgLanguageFromLangId(c.id), c.row) << std::hex << c.id;
  const struct { const char* name; Word id; } names[] = {
      {"de_CH.UTF-8", 0x0407}, {"zh_TW", 0x0404}, {"zh_HK.Big5", 0x0C04}, {"zh", 0x0804},
      {"pl_PL", 0x0415}, {"C", 0x0409}, {"", 0x0409}, {"C.UTF-8", 0x0409}, {"fa_IR", 0x0429},
  };
  for (const auto& n : names) EXPECT_EQ(IELangIdFromLocaleName(n.name), n.id) << n.name;
}

TEST(MessageTable, CharacterSetsOfScripts) {
  for (int l = 0; l < IELanguageCount; ++l) {
    const auto& info = IELANGUAGECHARINFO[l];
    const Integer expected = l == msGreek ? 161 : l == msRussian ? 204 : l == msFarsi ? 178 : 1;
    EXPECT_EQ(info.CharSet, expected) << l;
    EXPECT_EQ(info.FontName, l == msFarsi ? u"Tahoma" : u"") << l;
  }
}

}  // namespace

}  // namespace test_messages_tests
