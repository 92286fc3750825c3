// Shortcut values, their texts, and the key names of the keyboard.
#include "platform/ui/menus.h"

#include <algorithm>
#include <cstring>

namespace {

// Names of the keys that are not letters, digits or function keys, as the
// class library writes them on English systems; the numeric pad and the
// punctuation keys get the names of a US keyboard.
struct TKeyName {
  Word Key;
  const char* Name;
};
constexpr TKeyName KeyNames[] = {
    {VK_BACK, "BkSp"},       {VK_TAB, "Tab"},         {VK_RETURN, "Enter"},    {VK_ESCAPE, "Esc"},
    {VK_SPACE, "Space"},     {VK_PRIOR, "PgUp"},      {VK_NEXT, "PgDn"},       {VK_END, "End"},
    {VK_HOME, "Home"},       {VK_LEFT, "Left"},       {VK_UP, "Up"},           {VK_RIGHT, "Right"},
    {VK_DOWN, "Down"},       {VK_INSERT, "Ins"},      {VK_DELETE, "Del"},      {VK_PAUSE, "Pause"},
    {VK_NUMPAD0, "Num 0"},   {VK_NUMPAD1, "Num 1"},   {VK_NUMPAD2, "Num 2"},   {VK_NUMPAD3, "Num 3"},
    {VK_NUMPAD4, "Num 4"},   {VK_NUMPAD5, "Num 5"},   {VK_NUMPAD6, "Num 6"},   {VK_NUMPAD7, "Num 7"},
    {VK_NUMPAD8, "Num 8"},   {VK_NUMPAD9, "Num 9"},   {VK_MULTIPLY, "Num *"},  {VK_ADD, "Num +"},
    {VK_SUBTRACT, "Num -"},  {VK_DECIMAL, "Num Del"}, {VK_DIVIDE, "Num /"},    {VK_OEM_1, ";"},
    {VK_OEM_PLUS, "="},      {VK_OEM_COMMA, ","},     {VK_OEM_MINUS, "-"},     {VK_OEM_PERIOD, "."},
    {VK_OEM_2, "/"},         {VK_OEM_3, "`"},         {VK_OEM_4, "["},         {VK_OEM_5, "\\"},
    {VK_OEM_6, "]"},         {VK_OEM_7, "'"},         {VK_APPS, "Application"},
};

WideString Ascii(const char* S) { return WideString(S, S + std::strlen(S)); }

WideChar Lower(WideChar C) { return C >= 'A' && C <= 'Z' ? static_cast<WideChar>(C + 32) : C; }

bool StartsWithNoCase(const WideString& S, size_t At, const char* Prefix) {
  size_t N = std::strlen(Prefix);
  if (S.size() - At < N) return false;
  for (size_t i = 0; i < N; ++i)
    if (Lower(S[At + i]) != Lower(static_cast<WideChar>(Prefix[i]))) return false;
  return true;
}

bool EqualNoCase(const WideString& A, const WideString& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](WideChar X, WideChar Y) {
           return Lower(X) == Lower(Y);
         });
}

// Scan codes of set 1 for the keys GetKeyNameText is asked about; the
// extended ones (bit 8) sit on the second block of keys.
struct TScan {
  Word Key;
  Word Scan;
  const char* Name;
};
constexpr TScan Scans[] = {
    {VK_ESCAPE, 0x01, "Esc"},      {VK_BACK, 0x0E, "Backspace"}, {VK_TAB, 0x0F, "Tab"},
    {VK_RETURN, 0x1C, "Enter"},    {VK_CONTROL, 0x1D, "Ctrl"},   {VK_SHIFT, 0x2A, "Shift"},
    {VK_MENU, 0x38, "Alt"},        {VK_SPACE, 0x39, "Space"},    {VK_CAPITAL, 0x3A, "Caps Lock"},
    {VK_F1, 0x3B, "F1"},           {VK_F2, 0x3C, "F2"},          {VK_F3, 0x3D, "F3"},
    {VK_F4, 0x3E, "F4"},           {VK_F5, 0x3F, "F5"},          {VK_F6, 0x40, "F6"},
    {VK_F7, 0x41, "F7"},           {VK_F8, 0x42, "F8"},          {VK_F9, 0x43, "F9"},
    {VK_F10, 0x44, "F10"},         {VK_F11, 0x57, "F11"},        {VK_F12, 0x58, "F12"},
    {VK_HOME, 0x147, "Home"},      {VK_UP, 0x148, "Up"},         {VK_PRIOR, 0x149, "Page Up"},
    {VK_LEFT, 0x14B, "Left"},      {VK_RIGHT, 0x14D, "Right"},   {VK_END, 0x14F, "End"},
    {VK_DOWN, 0x150, "Down"},      {VK_NEXT, 0x151, "Page Down"}, {VK_INSERT, 0x152, "Insert"},
    {VK_DELETE, 0x153, "Delete"},  {VK_APPS, 0x15D, "Application"},
};
// Letters and digits of the main block, in scan-code order per row.
constexpr const char* ScanRows[] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
constexpr Word ScanRowStart[] = {0x02, 0x10, 0x1E, 0x2C};

}  // namespace

TShortCut ShortCut(Word Key, TShiftState Shift) {
  if (Key & 0xFF00) return scNone;
  TShortCut Result = Key;
  if (Shift.Contains(ssShift)) Result |= scShift;
  if (Shift.Contains(ssCtrl)) Result |= scCtrl;
  if (Shift.Contains(ssAlt)) Result |= scAlt;
  return Result;
}

void ShortCutToKey(TShortCut Value, Word& Key, TShiftState& Shift) {
  Key = Value & 0xFF;
  Shift = TShiftState();
  if (Value & scShift) Shift.Include(ssShift);
  if (Value & scCtrl) Shift.Include(ssCtrl);
  if (Value & scAlt) Shift.Include(ssAlt);
}

WideString ShortCutKeyName(Word Key) {
  if ((Key >= '0' && Key <= '9') || (Key >= 'A' && Key <= 'Z')) return WideString(1, static_cast<WideChar>(Key));
  if (Key >= VK_F1 && Key <= VK_F1 + 23) return u"F" + Ascii(std::to_string(Key - VK_F1 + 1).c_str());
  for (const TKeyName& K : KeyNames)
    if (K.Key == Key) return Ascii(K.Name);
  return {};
}

WideString ShortCutToText(TShortCut Value) {
  WideString Name = ShortCutKeyName(Value & 0xFF);
  if (Name.empty()) return {};
  WideString Result;
  if (Value & scShift) Result += u"Shift+";
  if (Value & scCtrl) Result += u"Ctrl+";
  if (Value & scAlt) Result += u"Alt+";
  return Result + Name;
}

TShortCut TextToShortCut(const WideString& Text) {
  TShortCut Shift = 0;
  size_t At = 0;
  // Modifiers may come in any order; each counts once.
  for (;;) {
    if (StartsWithNoCase(Text, At, "Shift+")) {
      Shift |= scShift;
      At += 6;
    } else if (StartsWithNoCase(Text, At, "Ctrl+")) {
      Shift |= scCtrl;
      At += 5;
    } else if (StartsWithNoCase(Text, At, "Alt+")) {
      Shift |= scAlt;
      At += 4;
    } else {
      break;
    }
  }
  WideString Rest = Text.substr(At);
  if (Rest.empty()) return scNone;
  for (Word Key = 0x08; Key <= 0xFF; ++Key) {
    WideString Name = ShortCutKeyName(Key);
    if (!Name.empty() && EqualNoCase(Name, Rest)) return static_cast<TShortCut>(Key | Shift);
  }
  return scNone;
}

TShortCut ShortCutFromMessage(const TMessage& Message) {
  return ShortCut(static_cast<Word>(Message.WParam), KeyDataToShiftState(Message.LParam));
}

UINT MapVirtualKey(UINT Code, UINT MapType) {
  if (MapType == MAPVK_VK_TO_VSC) {
    for (const TScan& S : Scans)
      if (S.Key == Code) return S.Scan & 0xFF;
    for (size_t r = 0; r < std::size(ScanRows); ++r)
      for (size_t i = 0; ScanRows[r][i]; ++i)
        if (static_cast<UINT>(ScanRows[r][i]) == Code) return static_cast<UINT>(ScanRowStart[r] + i);
    return 0;
  }
  if (MapType == MAPVK_VSC_TO_VK) {
    for (const TScan& S : Scans)
      if (S.Scan == Code) return S.Key;
    for (size_t r = 0; r < std::size(ScanRows); ++r)
      for (size_t i = 0; ScanRows[r][i]; ++i)
        if (ScanRowStart[r] + i == Code) return static_cast<UINT>(ScanRows[r][i]);
  }
  return 0;
}

Integer GetKeyNameText(LPARAM Param, WideChar* Buffer, Integer Size) {
  if (!Buffer || Size <= 0) return 0;
  Word Scan = static_cast<Word>(((Param >> 16) & 0xFF) | (((Param >> 24) & 1) << 8));
  WideString Name;
  for (const TScan& S : Scans)
    if (S.Scan == Scan) Name = Ascii(S.Name);
  if (Name.empty() && Scan < 0x100) {
    UINT Key = MapVirtualKey(Scan, MAPVK_VSC_TO_VK);
    if (Key) Name = WideString(1, static_cast<WideChar>(Key));
  }
  Integer N = std::min<Integer>(static_cast<Integer>(Name.size()), Size - 1);
  std::copy_n(Name.begin(), N, Buffer);
  Buffer[N] = 0;
  return N;
}
