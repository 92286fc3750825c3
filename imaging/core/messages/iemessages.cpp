// Message table storage, lookup and the English row.
#include "imaging/core/messages/iemessages.h"
#include "imaging/core/messages/iemessages_rows.h"

#include <array>
#include <cctype>
#include <cstdlib>
#include <iterator>

namespace {

std::array<WideString, IELanguageCount * IEMessageCount>& Table() {
  static std::array<WideString, IELanguageCount * IEMessageCount> table;
  return table;
}

constexpr Word kUSEnglish = 0x0409;
Word gLocale = kUSEnglish;

}  // namespace

const TIELANGUAGECHARINFO IELANGUAGECHARINFO[IELanguageCount] = {
    {1, u""},   {1, u""}, {1, u""}, {1, u""}, {1, u""}, {1, u""}, {1, u""},
    {161, u""},  // Greek
    {204, u""},  // Russian
    {1, u""},   {1, u""}, {1, u""}, {1, u""}, {1, u""}, {1, u""},
    {178, u"Tahoma"},  // Farsi
    {1, u""},   {1, u""}, {1, u""}, {1, u""}, {1, u""}, {1, u""},
};

void IESetMessage(TMsgLanguage Language, Byte MsgIndex, const WideString& Text) {
  if (Language == msSystem || Language >= IELanguageCount || MsgIndex >= IEMessageCount) return;
  Table()[Language * IEMessageCount + MsgIndex] = Text;
}

WideString IEGetMessage(Byte MsgIndex, TMsgLanguage Language) {
  if (MsgIndex >= IEMessageCount || Language >= IELanguageCount) return WideString();
  TMsgLanguage row = Language == msSystem ? IEMsgLanguageFromLangId(gLocale) : Language;
  const WideString& text = Table()[row * IEMessageCount + MsgIndex];
  if (!text.empty()) return text;
  return Table()[msEnglish * IEMessageCount + MsgIndex];
}

void IEFillMessageTables() {
  IERecordMessageLocale();
  // One routine per language, in TMsgLanguage order; each fills only its own row.
  IEFillEnglishMessages();
  IEFillItalianMessages();
  IEFillGermanMessages();
  IEFillSpanishMessages();
  IEFillFrenchMessages();
  IEFillPortugueseMessages();
  IEFillGreekMessages();
  IEFillRussianMessages();
  IEFillDutchMessages();
  IEFillSwedishMessages();
  IEFillPolishMessages();
  IEFillJapaneseMessages();
  IEFillCzechMessages();
  IEFillFinnishMessages();
  IEFillFarsiMessages();
  IEFillChineseMessages();
  IEFillChineseTraditionalMessages();
  IEFillDanishMessages();
  IEFillTurkishMessages();
  IEFillKoreanMessages();
}

void IEFreeMessageTables() {
  for (WideString& s : Table()) WideString().swap(s);
}

Word IEMessageLocale() { return gLocale; }
void IESetMessageLocale(Word LangId) { gLocale = LangId; }

void IERecordMessageLocale() {
  // POSIX precedence for message catalogues.
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && *v != '\0') {
      gLocale = IELangIdFromLocaleName(v);
      return;
    }
  }
  gLocale = kUSEnglish;
}

Word IELangIdFromLocaleName(const std::string& Name) {
  std::string lang, country;
  size_t i = 0;
  while (i < Name.size() && std::isalpha(static_cast<unsigned char>(Name[i])))
    lang += static_cast<char>(std::tolower(static_cast<unsigned char>(Name[i++])));
  if (i < Name.size() && (Name[i] == '_' || Name[i] == '-')) {
    ++i;
    while (i < Name.size() && std::isalpha(static_cast<unsigned char>(Name[i])))
      country += static_cast<char>(std::toupper(static_cast<unsigned char>(Name[i++])));
  }
  struct Entry { const char* code; Word primary; };
  static const Entry kLanguages[] = {
      {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07}, {"el", 0x08}, {"en", 0x09},
      {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
      {"nl", 0x13}, {"pl", 0x15}, {"pt", 0x16}, {"ru", 0x19}, {"sv", 0x1D}, {"tr", 0x1F},
      {"fa", 0x29},
  };
  Word primary = 0;
  for (const Entry& e : kLanguages)
    if (lang == e.code) primary = e.primary;
  if (primary == 0) return kUSEnglish;  // "C", "POSIX" and languages without a row
  Word sub = 1;
  if (primary == 0x04) {
    sub = 2;  // simplified unless the country writes traditional characters
    if (country == "TW") sub = 1;
    else if (country == "HK") sub = 3;
    else if (country == "SG") sub = 4;
    else if (country == "MO") sub = 5;
  }
  return static_cast<Word>((sub << 10) | primary);
}

TMsgLanguage IEMsgLanguageFromLangId(Word LangId) {
  const Word primary = LangId & 0x3FF;
  const Word sub = LangId >> 10;
  switch (primary) {
    case 0x04:
      // Taiwan, Hong Kong and Macau write traditional characters, the mainland
      // and Singapore simplified ones; an unknown variant gets English rather
      // than a guess at the script.
      if (sub == 1 || sub == 3 || sub == 5) return msChineseTraditional;
      if (sub == 2 || sub == 4) return msChinese;
      return msEnglish;
    case 0x05: return msCzech;
    case 0x06: return msDanish;
    case 0x07: return msGerman;
    case 0x08: return msGreek;
    case 0x09: return msEnglish;
    case 0x0A: return msSpanish;
    case 0x0B: return msFinnish;
    case 0x0C: return msFrench;
    case 0x10: return msItalian;
    case 0x11: return msJapanese;
    case 0x12: return msKorean;
    case 0x13: return msDutch;
    case 0x15: return msPolish;
    case 0x16: return msPortuguese;
    case 0x19: return msRussian;
    case 0x1D: return msSwedish;
    case 0x1F: return msTurkish;
    case 0x29: return msFarsi;
    default: return msEnglish;
  }
}

void IEFillEnglishMessages() {
  static const char16_t* const kTexts[] = {
      u"Zoom", u"Preview", u"Original", u"Result", u"OK", u"Cancel", u"Lock preview",
      u"Copy Result to Original", u"Contrast", u"Brightness",
      // 10
      u"Hue", u"Saturation", u"Value", u"Base color", u"New color", u"Luminance", u"Red",
      u"Green", u"Blue", u"Filter values",
      // 20
      u"Presets", u"Divisor", u"Load", u"Save", u"Equalization", u"Threshold", u"Equalize",
      u"Histogram", u"Gray", u"Light",
      // 30
      u"Left", u"Top", u"Width", u"Height", u"Color", u"Original image quantity", u"Lens",
      u"Refraction", u"Parameters Preview", u"Quality",
      // 40
      u"DCT method", u"Smoothing factor", u"Gray scale", u"Optimal Huffman", u"Original size",
      u"Compressed size", u"Advanced", u"Progressive", u"Compression", u"Image index",
      // 50
      u"Photometric", u"Scanned document info", u"Name", u"Description", u"Page name",
      u"Page number", u"of", u"Horiz. Position (inch)", u"Vert. Position (inch)", u"Colors",
      // 60
      u"Transparent", u"Transparent color", u"Interlaced", u"Background", u"Horiz. Position",
      u"Vert. Position", u"Delay time", u"Filter", u"Wave", u"Amplitude",
      // 70
      u"Wave length", u"Phase", u"Reflective", u"User filter", u"Morphing filters",
      u"Window size", u"Maximum", u"Minimum", u"Opening", u"Closing",
      // 80
      u"Rotate", u"Flip", u"Horizontal", u"Vertical", u"Frequency domain image",
      u"Select the region to clean", u"Clear", u"Reset", u"Animate", u"Load filter",
      // 90
      u"Save filter", u"Bump map", u"Print", u"Margins", u"inches", u"Right", u"Bottom",
      u"Position", u"Size", u"Normal",
      // 100
      u"Fit to page", u"Stretch to page", u"Specified size", u"Gamma correction", u"Value",
      u"Print Setup", u"Left Margin", u"Top Margin", u"Right Margin", u"Bottom Margin",
      // 110
      u"Location/size", u"Top Left", u"Top Center", u"Top Right", u"Center Left", u"Center",
      u"Center Right", u"Bottom Left", u"Bottom Center", u"Bottom Right",
      // 120
      u"Close", u"Apply", u"Measure Units", u"Units", u"Rate", u"All graphics",
      u"Video for Windows", u"File", u"Mem",
      u"Automatically updates your preview with the changes you have selected",
      // 130
      u"Print All", u"Print Selected", u"Common Graphic Files", u"All Files", u"HSV", u"HSL",
      u"RGB", u"FFT", u"Sharpen", u"Channels",
      // 140
      u"Advanced", u"Lower case extension", u"pixel", u"frames", u"bit", u"byte", u"dpi", u"KB",
      u"Fit",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  for (int i = 0; i < IEMessageCount; ++i) IESetMessage(msEnglish, static_cast<Byte>(i), kTexts[i]);
}
