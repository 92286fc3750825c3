// Dates and times as TDateTime: days since 1899-12-30, the fraction being the
// time of day (for negative values the fraction still counts forward from
// midnight). Texts use English day and month names and "/" and ":" as
// separators, except the locale's short date and long time used in logs.
#pragma once

#include "platform/base/sysutils.h"
#include "platform/base/types.h"

using TDateTime = double;

constexpr double MSecsPerDay = 86400000.0;

TDateTime Now();   // local date and time, to the millisecond
TDateTime Date();  // local date, no time
TDateTime Time();  // local time of day

bool IsLeapYear(Word Year);
// Year 1..9999; EConvertError "Invalid argument to date encode" otherwise.
bool TryEncodeDate(Word Year, Word Month, Word Day, TDateTime& Date);
TDateTime EncodeDate(Word Year, Word Month, Word Day);
// EConvertError "Invalid argument to time encode" outside 23:59:59.999.
bool TryEncodeTime(Word Hour, Word Min, Word Sec, Word MSec, TDateTime& Time);
TDateTime EncodeTime(Word Hour, Word Min, Word Sec, Word MSec);
// Values outside the years 1..9999 (NaN, huge values) decode as all zero.
void DecodeDate(TDateTime DateTime, Word& Year, Word& Month, Word& Day);
void DecodeTime(TDateTime DateTime, Word& Hour, Word& Min, Word& Sec, Word& MSec);
Word DayOfWeek(TDateTime DateTime);  // 1 = Sunday .. 7 = Saturday

// Format letters (case-insensitive): c, d, dd, ddd, dddd, ddddd, m, mm, mmm,
// mmmm (m and mm after an hour mean minutes), yy, yyyy, h, hh, n, nn, s, ss,
// z, zzz, t, tt, am/pm, a/p (12-hour clock, shown in the case written),
// "/" and ":" as separators; text in '...' or "..." is copied as it stands.
WideString FormatDateTime(const WideString& Format, TDateTime DateTime);

// The locale's short date and long time formats (LC_TIME) in the letters
// above; "yyyy-mm-dd" and "hh:nn:ss" under the C locale.
WideString ShortDateFormat();
WideString LongTimeFormat();
WideString DateToStr(TDateTime DateTime);
WideString TimeToStr(TDateTime DateTime);
// Short date, then a blank and the long time unless the time is midnight.
WideString DateTimeToStr(TDateTime DateTime);
// Reads a date written in the order of ShortDateFormat (any of "/.-" or
// blanks between the numbers; two-digit years fall within 50 years of now;
// without a year the current one).
bool TryStrToDate(const WideString& S, TDateTime& Date);

// Last modification time of a file as local date and time.
bool FileAge(const WideString& FileName, TDateTime& FileDateTime);
