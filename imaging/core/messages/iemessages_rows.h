// Fill routines of the translated rows of the imaging message table, one per
// language; the English row and the lookup live in iemessages.
#pragma once

#include <iterator>

#include "imaging/core/messages/iemessages.h"

void IEFillItalianMessages();
void IEFillGermanMessages();
void IEFillSpanishMessages();
void IEFillFrenchMessages();
void IEFillPortugueseMessages();
void IEFillGreekMessages();
void IEFillRussianMessages();
void IEFillDutchMessages();
void IEFillSwedishMessages();
void IEFillPolishMessages();
void IEFillJapaneseMessages();
void IEFillCzechMessages();
void IEFillFinnishMessages();
void IEFillFarsiMessages();
void IEFillChineseMessages();
void IEFillChineseTraditionalMessages();
void IEFillDanishMessages();
void IEFillTurkishMessages();
void IEFillKoreanMessages();

// Stores one language's texts by message index. The array must hold exactly one
// entry per message (the reference type enforces it at compile time); an empty
// entry is not stored, so that message keeps falling back to English.
inline void IEFillMessageRow(TMsgLanguage Language, const char16_t* const (&Texts)[IEMessageCount]) {
  for (int i = 0; i < IEMessageCount; ++i)
    if (Texts[i] != nullptr && Texts[i][0] != u'\0') IESetMessage(Language, static_cast<Byte>(i), Texts[i]);
}
