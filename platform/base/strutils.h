// Text helpers on WideString: case, comparison, 1-based positions, number
// text that does not depend on the locale, and 8-bit code pages.
#pragma once

#include "platform/base/sysutils.h"
#include "platform/base/types.h"

// Case. UpperCase/LowerCase change only the ASCII letters; WideUpperCase and
// WideLowerCase map every letter Unicode knows.
WideString UpperCase(const WideString& S);
WideString LowerCase(const WideString& S);
WideString WideUpperCase(const WideString& S);
WideString WideLowerCase(const WideString& S);

// Comparisons answer <0, 0 or >0. CompareStr orders by code unit; CompareText
// ignores the case of ASCII letters; WideCompareStr orders by code point and
// WideCompareText ignores case for every letter (Unicode case folding). There
// is no language-specific collation.
int CompareStr(const WideString& A, const WideString& B);
int CompareText(const WideString& A, const WideString& B);
bool SameText(const WideString& A, const WideString& B);
int WideCompareStr(const WideString& A, const WideString& B);
int WideCompareText(const WideString& A, const WideString& B);
bool WideSameText(const WideString& A, const WideString& B);

// 1-based position of Sub in S, searching from Offset; 0 when absent (also
// for an empty Sub or an Offset outside S).
int Pos(const WideString& Sub, const WideString& S, int Offset = 1);
// Count characters from the 1-based Index; indexes and counts outside S are clamped.
WideString Copy(const WideString& S, int Index, int Count);
// Without leading and/or trailing characters up to the space (controls included).
WideString Trim(const WideString& S);
WideString TrimLeft(const WideString& S);
WideString TrimRight(const WideString& S);

// Integer text. Reading accepts leading blanks, a sign, decimal digits or a
// hexadecimal number with "$" or "0x"; nothing may follow.
WideString IntToStr(int64_t Value);
// Upper-case hex digits, at least Digits of them; negative values show their
// two's complement in 8 (Integer) or 16 (Int64) digits.
WideString IntToHex(int32_t Value, int Digits);
WideString IntToHex(int64_t Value, int Digits);
bool TryStrToInt(const WideString& S, int32_t& Value);
bool TryStrToInt64(const WideString& S, int64_t& Value);
int32_t StrToInt(const WideString& S);  // EConvertError "'S' is not a valid integer value"
int32_t StrToIntDef(const WideString& S, int32_t Default);
int64_t StrToInt64(const WideString& S);
int64_t StrToInt64Def(const WideString& S, int64_t Default);

// Float text with DecimalSep as separator ("." unless a caller asks for the
// locale's), the same under every C locale. Digits come from 17 significant
// digits of the double, rounded half up to the precision asked for.
enum TFloatFormat { ffGeneral = 0, ffExponent = 1, ffFixed = 2 };
// ffGeneral, Precision 15: "0.5", "1E20", "1.5E-7", "NAN", "INF", "-INF".
WideString FloatToStr(double Value, WideChar DecimalSep = u'.');
// ffGeneral: Precision significant digits, trailing zeros dropped, exponent
// form when the number has more than Precision integer digits or is below
// 0.0001 (Digits is the minimum count of exponent digits). ffExponent:
// "d.dddE+xx" with Precision digits and at least Digits exponent digits.
// ffFixed: Digits decimals, exponent form when the integer part has more
// than Precision digits.
WideString FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits, WideChar DecimalSep = u'.');
// Blanks may surround the number; no thousands separators, no INF or NAN.
bool TryStrToFloat(const WideString& S, double& Value, WideChar DecimalSep = u'.');
double StrToFloat(const WideString& S, WideChar DecimalSep = u'.');  // EConvertError
double StrToFloatDef(const WideString& S, double Default, WideChar DecimalSep = u'.');
// The decimal separator of the C library's current numeric locale.
WideChar LocaleDecimalSeparator();

// 8-bit texts in Windows code pages 1250..1258 (1252 unless the caller names
// another, as for a font's character set). Bytes a code page leaves undefined map to the same code point, so
// that every byte survives a round trip; characters a code page lacks become
// "?". Other code pages raise EConvertError.
constexpr int DefaultAnsiCodePage = 1252;
WideString AnsiToWide(const AnsiString& S, int CodePage = DefaultAnsiCodePage);
AnsiString WideToAnsi(const WideString& S, int CodePage = DefaultAnsiCodePage);
bool IsCodePageSupported(int CodePage);
// Code page of a font character set: 161 Greek 1253, 204 Cyrillic 1251,
// 238 1250, 162 1254, 177 1255, 178 1256, 186 1257, 163 1258, others 1252.
int CharsetToCodePage(int Charset);
// The 8-bit code page that fits the language of the user's locale
// (LC_ALL, LC_CTYPE, LANG): 1251 for Cyrillic languages, 1253 for Greek, ...;
// 1252 otherwise.
int GetSystemAnsiCodePage();
