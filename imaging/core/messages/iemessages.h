// The imaging library's message table: short captions for its dialogs, one row
// per language, looked up by message index and language.
#pragma once

#include <string>

#include "platform/base/types.h"

// Ordinals are stored in settings and passed between modules: keep them fixed.
enum TMsgLanguage : Byte {
  msSystem = 0,
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msRussian,
  msDutch,
  msSwedish,
  msPolish,
  msJapanese,
  msCzech,
  msFinnish,
  msFarsi,
  msChinese,
  msChineseTraditional,
  msDanish,
  msTurkish,
  msKorean,
  msUser
};

constexpr int IELanguageCount = 22;
constexpr int IEMessageCount = 149;

// Font hints per language for dialogs that show its texts.
struct TIELANGUAGECHARINFO {
  Integer CharSet;      // font character set (1 = default)
  WideString FontName;  // empty: the dialog's own font
};
extern const TIELANGUAGECHARINFO IELANGUAGECHARINFO[IELanguageCount];

// Stores Text for (Language, MsgIndex). msSystem and indexes beyond the table are
// ignored (msSystem is resolved at lookup time and has no row of its own).
void IESetMessage(TMsgLanguage Language, Byte MsgIndex, const WideString& Text);

// The text of MsgIndex in Language. msSystem resolves to the row of the locale
// recorded by IERecordMessageLocale. An empty entry falls back to the English
// text, for explicit languages and for msSystem alike, so a dialog never shows
// an empty caption where a translation is missing. Never raises; an index
// beyond the table gives an empty text.
WideString IEGetMessage(Byte MsgIndex, TMsgLanguage Language);
inline void IEGetMessage(Byte MsgIndex, TMsgLanguage Language, WideString& Text) {
  Text = IEGetMessage(MsgIndex, Language);
}

// Fills the rows of the built-in languages and records the process locale.
void IEFillMessageTables();
// Releases every stored text (library shut-down).
void IEFreeMessageTables();
void IEFillEnglishMessages();

// The locale the msSystem row follows, as a language identifier: primary
// language in the low 10 bits, sub-language in bits 10 to 15.
void IERecordMessageLocale();          // from LC_ALL, LC_MESSAGES, LANG (first set)
Word IEMessageLocale();
void IESetMessageLocale(Word LangId);  // explicit override (tests, settings)
// "pl_PL.UTF-8" -> 0x0415, "zh_TW" -> 0x0404; "C", "POSIX", empty or unknown -> 0x0409.
// Only Chinese gets a sub-language from the country, since only Chinese needs it
// to choose a row; other languages take sub-language 1.
Word IELangIdFromLocaleName(const std::string& Name);
// The row a language identifier selects for msSystem.
TMsgLanguage IEMsgLanguageFromLangId(Word LangId);
