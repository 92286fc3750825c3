// Text, number and memory helpers of the imaging library. Numbers exchanged as
// text (parameter keys, EXIF rationals, PostScript and PDF numbers) use "." as
// the decimal separator whatever the locale; 8-bit text is Windows-1252.
#pragma once

#include <cstdint>

#include "imaging/core/base/ieutils.h"
#include "platform/base/lists.h"
#include "platform/base/types.h"

// ---------------------------------------------------------------------------
// 8-bit text

// Windows-1252 <-> UTF-16. Characters the code page lacks become '?'; the five
// bytes it leaves undefined map to the control characters of the same value.
AnsiString IEWideToAnsi(const WideString& S);
WideString IEAnsiToWide(const AnsiString& S);

// ---------------------------------------------------------------------------
// Numbers and text

// Reads S as a decimal number with either "." or "," as the decimal separator
// (one separator; no thousands separators), optional sign, exponent and
// surrounding blanks; Default when it does not read. The current locale plays
// no part.
Extended IEStrToFloatDefAnsi(const AnsiString& S, Extended Default);
Extended IEStrToFloatDef(const WideString& S, Extended Default);
Extended IEWideStrToFloatDef(const WideString& S, Extended Default);

// Shortest general form with 15 significant digits and "." as the separator
// ("595", "0.5", "0.0001", "1.5E20", "1E-5"); "INF", "-INF" and "NAN" for the others.
void IEFloatToStr(WideString& Text, Extended Value);
void IEFloatToAnsiStr(AnsiString& Text, Extended Value);
void IEFloatToWideStr(WideString& Text, Extended Value);

// Float formats of IEFloatToStrF.
constexpr Integer ieffGeneral = 0;
constexpr Integer ieffExponent = 1;
constexpr Integer ieffFixed = 2;
constexpr Integer ieffNumber = 3;
constexpr Integer ieffCurrency = 4;

// Formatted float text for display, with the current locale's decimal (and,
// for ieffNumber, thousands) separator. Precision is the number of
// significant digits (1..18); Digits the decimals of the fixed formats (0..18)
// or the least number of exponent digits (0..4). ieffFixed rounds the exact
// binary value to Digits decimals; it falls back to the general form when the
// integer part has more than Precision digits. ieffCurrency is formatted as
// ieffNumber (no currency symbol).
void IEFloatToStrF(Integer Format, Integer Precision, Integer Digits, WideString& Text, Extended Value);

// Continued-fraction approximation of Value within Tolerance. Numerator and
// Denominator always fit in 32 bits: the expansion stops before either would
// overflow (or after 64 steps) with the best fraction so far; a whole value
// beyond the 32-bit range gives +-2147483647/1; magnitudes below 1e-19 give
// +-1/999999999 and above 1e19 +-999999999/1.
void IEFloatToFraction(Integer& Numerator, Integer& Denominator, double Value, double Tolerance);

// "R,G,B" of the triple value (bytes 2, 1 and 0).
void IERGBToText(WideString& Text, Integer Value);
// Inverse of IERGBToText: up to three trimmed decimal numbers split at ",",
// first red, then green, then blue; one that does not read counts 0 and a
// value outside 0..255 is clamped to it.
void IEStrToIntList(const WideString& Text, TRGB& Colour);
void IEBoolToText(bool Value, WideString& Text);
// True for "1", "TRUE" and "T" in any case.
bool IEStrToBool(const WideString& Text);
// Text without the characters below 32 and the character 127.
void IERemoveControlChars(const WideString& Text, WideString& Result);

struct TGUID {
  Cardinal D1;
  Word D2;
  Word D3;
  Byte D4[8];
};
static_assert(sizeof(TGUID) == 16, "TGUID must be 16 bytes");

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in lower case.
void IEGUIDToStr(const TGUID& GUID, WideString& Text);
// Reads the 38-character form at its fixed places (case-insensitive); the
// braces and dashes are not checked. False, and the nil GUID, when Text is
// shorter than 38 characters or a digit place holds no hexadecimal digit.
bool IEStrToGUID(const WideString& Text, TGUID& GUID);
bool IEEqualGUID(const TGUID& A, const TGUID& B);

inline Word IEByteSwap16If(Word Value, bool Swap) { return Swap ? IEByteSwap16(Value) : Value; }
inline Cardinal IEByteSwap32If(Cardinal Value, bool Swap) { return Swap ? IEByteSwap32(Value) : Value; }
inline Integer IEIfThenInt(bool Condition, Integer TrueValue, Integer FalseValue) {
  return Condition ? TrueValue : FalseValue;
}
inline WideChar IEIfThenChar(bool Condition, WideChar TrueValue, WideChar FalseValue) {
  return Condition ? TrueValue : FalseValue;
}
inline double IEIfThenFloat(bool Condition, double TrueValue, double FalseValue) {
  return Condition ? TrueValue : FalseValue;
}

// Copies the 0-terminated Source and its terminator to Dest; returns Dest.
WideChar* IEStrCopyW(WideChar* Dest, const WideChar* Source);
// A malloc'ed copy of the 0-terminated Text (free it with std::free); nullptr for nullptr.
char* IEStrNewA(const char* Text);

// 8-bit wrappers of the usual string routines (ASCII case mapping; Trim
// removes characters up to the blank at both ends; positions are 1-based).
AnsiString IETrimA(const AnsiString& Text);
AnsiString IEUpperCaseA(const AnsiString& Text);
AnsiString IELowerCaseA(const AnsiString& Text);
AnsiString IEIntToStrA(int64_t Value);
// Upper-case hexadecimal of the 32-bit pattern of Value, at least Digits digits.
AnsiString IEIntToHexA(Integer Value, Integer Digits);
// Decimal, or hexadecimal with "$" or "0x"; leading blanks allowed; Default
// when Text is not wholly a number in the Integer range.
Integer IEStrToIntDefA(const AnsiString& Text, Integer Default);
AnsiString IECopyA(const AnsiString& Text, Integer Index, Integer Count);
Integer IEPosA(const AnsiString& Sub, const AnsiString& Text);

// Dest gets Source's count and items, in order.
void IECopyList(const TList* Source, TList* Dest);

// ---------------------------------------------------------------------------
// Memory

// A zero-filled block (free with IEGlobalFree); nullptr when there is no memory.
void* IEGlobalAlloc(int64_t Size);
// Frees the block and sets Block to nullptr.
void IEGlobalFree(void*& Block);

// A zero-filled block of at least Size bytes, preceded by a header byte that
// tells how it was taken: 0 small block from the heap, 1 large block (1 MiB or
// more, or a heap failure). The address is 16-byte aligned. nullptr when Size
// is negative or no memory is left; never throws.
void* IELargeAlloc(int64_t Size);
// Frees a block of IELargeAlloc and always sets Block to nullptr; a nullptr
// Block is ignored, so a second call is harmless.
void IELargeFree(void*& Block);

// A zero-filled block of Size bytes (free it with std::free), or nullptr
// instead of an exception when there is no memory.
void IETryGetMem(void*& Block, int64_t Size);
