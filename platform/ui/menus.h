// Keyboard shortcuts of menus and actions: a virtual key in the low byte
// plus Shift, Ctrl and Alt bits, and their texts. The key-name table here is
// the only one; the toolbar library shows its shortcuts through it too.
#pragma once

#include "platform/ui/controls.h"

using TShortCut = Word;
constexpr TShortCut scNone = 0, scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;

// Key plus the Shift, Ctrl and Alt members of Shift; 0 when Key has bits
// above the low byte (it cannot be told from the modifier bits then).
TShortCut ShortCut(Word Key, TShiftState Shift);
void ShortCutToKey(TShortCut ShortCut, Word& Key, TShiftState& Shift);
// "Shift+", "Ctrl+", "Alt+" in that order, then the key's name; empty for a
// key without a name.
WideString ShortCutToText(TShortCut ShortCut);
// The inverse of ShortCutToText, case ignored; 0 for a text it cannot read.
TShortCut TextToShortCut(const WideString& Text);
// The name of a virtual key as ShortCutToText writes it ("PgUp", "F5", "Num 3"), or empty.
WideString ShortCutKeyName(Word Key);
// The shortcut of a WM_KEYDOWN or WM_SYSKEYDOWN (key code and key data).
TShortCut ShortCutFromMessage(const TMessage& Message);

// Scan codes of a PC keyboard (set 1), enough for the key names asked of
// GetKeyNameText. MAPVK_VK_TO_VSC and MAPVK_VSC_TO_VK; 0 when unknown.
enum : UINT { MAPVK_VK_TO_VSC = 0, MAPVK_VSC_TO_VK = 1 };
UINT MapVirtualKey(UINT Code, UINT MapType);
// The key's name for a key message's lParam (scan code in bits 16..23,
// extended flag in bit 24), at most Size - 1 characters plus a terminating
// zero; answers the characters written.
Integer GetKeyNameText(LPARAM Param, WideChar* Buffer, Integer Size);
