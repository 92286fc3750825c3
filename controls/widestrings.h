// Wide-string helpers of the control set (upper-case copies, whole-word
// replacement, search from an offset) and the platform facts decided once at
// start-up. The shell-browsing suite is their main caller.
#pragma once

#include "platform/base/types.h"

// Whether the wide-character system calls are used: always on this platform.
extern const bool WideApiAvailable;
// The release flags describe the newest release the callers know of, because
// every behaviour they switch on is the one this platform provides.
extern const bool IsWindowsXPOrLater;
extern const bool IsWindows2003OrLater;
extern const bool IsWindowsVistaOrLater;

// Flags of WideStringReplace.
enum : Integer { wrfReplaceAll = 1, wrfIgnoreCase = 2 };

// Character-class bits of CharTypeBits (the CT_CTYPE1 classes).
enum : Word { CT_CTYPE1 = 1 };
enum : Word { C1_SPACE = 0x08, C1_PUNCT = 0x10 };

// Upper case of every UTF-16 unit on its own: a unit whose upper case would
// take more units (as "ß") stays as it is, so offsets in the copy match the
// original's.
void WideUpperCaseCopy(const WideString& Text, WideString& Result);
// Replaces OldPattern by NewPattern (every occurrence with wrfReplaceAll, the
// first qualifying one otherwise; matching ignores case with wrfIgnoreCase);
// with WholeWords only occurrences bounded by spaces, punctuation or the ends
// of the text count. An empty OldPattern leaves Text as it is. Raises nothing.
void WideStringReplace(const WideString& Text, const WideString& OldPattern, const WideString& NewPattern,
                       WideString& Result, bool WholeWords, Integer Flags);
// 1-based position of Pattern in Text, looking only after the first Offset
// characters; 0 when it does not occur there.
Integer WidePosFrom(const WideString& Pattern, const WideString& Text, Integer Offset);
// Deletes Count characters from the 1-based Index; nothing unless Text is not
// empty, 1 <= Index <= length and Count >= 1; a Count past the end deletes to the end.
void WideDelete(WideString& Text, Integer Index, Integer Count);
// The last character, 0 for an empty string.
WideChar WideLastChar(const WideString& Text);
// A wide string from a zero-terminated buffer (empty for none).
void WideFromBuffer(const WideChar* Buffer, WideString& Text);
// Stepping to the next character: one UTF-16 unit, a surrogate pair as one.
const WideChar* CharNextW(const WideChar* P);

// The class bits of one UTF-16 unit, from fixed tables (the same answer in
// every locale); 0 for an InfoType other than CT_CTYPE1. Never raises.
Word CharTypeBits(WideChar Ch, Word InfoType);
bool IsSpaceChar(WideChar Ch);
bool IsPunctChar(WideChar Ch);
// Character 0, a space or a punctuation character.
bool IsWordBoundaryChar(WideChar Ch);
