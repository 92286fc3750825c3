#include "platform/base/dateutils.h"

#include <langinfo.h>
#include <sys/stat.h>

#include <clocale>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/fileutils.h"

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
constexpr int64_t kDateDelta = 693594;  // days from 0001-01-01 (day 1) to 1899-12-30
constexpr int64_t kMaxDateStamp = 3652059;  // 9999-12-31

const Word kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

const char* const kShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};

// Day number from 0001-01-01 (= 1) and milliseconds of the day. The time is
// rounded to the millisecond first, so 23:59:59.9996 becomes the next day.
struct TTimeStamp {
  int64_t Date;
  int64_t Time;
};

TTimeStamp ToTimeStamp(TDateTime DT) {
  int64_t ms = Round(static_cast<long double>(DT) * kMSecsPerDay);
  int64_t days = ms / kMSecsPerDay;
  int64_t t = ms % kMSecsPerDay;
  return {days > INT64_MAX - kDateDelta ? INT64_MAX : kDateDelta + days, t < 0 ? -t : t};
}

WideString Ascii(const std::string& s) { return WideString(s.begin(), s.end()); }

WideString Number(int64_t v, int MinDigits) {
  std::string s = std::to_string(v);
  if (static_cast<int>(s.size()) < MinDigits) s.insert(0, static_cast<size_t>(MinDigits) - s.size(), '0');
  return Ascii(s);
}

TDateTime FromLocalTime(time_t Seconds, long NanoSeconds) {
  struct tm tm {};
  if (!localtime_r(&Seconds, &tm)) return 0;
  TDateTime d = 0, t = 0;
  if (!TryEncodeDate(static_cast<Word>(tm.tm_year + 1900), static_cast<Word>(tm.tm_mon + 1),
                     static_cast<Word>(tm.tm_mday), d))
    return 0;
  // A leap second (tm_sec 60) is shown as the last second of the minute.
  TryEncodeTime(static_cast<Word>(tm.tm_hour), static_cast<Word>(tm.tm_min),
                static_cast<Word>(tm.tm_sec > 59 ? 59 : tm.tm_sec), static_cast<Word>(NanoSeconds / 1000000), t);
  return d + t;
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool StartsWithText(const WideString& S, size_t At, const char* Word) {
  size_t n = std::strlen(Word);
  if (At + n > S.size()) return false;
  for (size_t i = 0; i < n; ++i)
    if (Upper(S[At + i]) != static_cast<char16_t>(Word[i])) return false;
  return true;
}

// True when the format holds an am/pm specifier outside quotes.
bool UsesTwelveHours(const WideString& F) {
  char16_t quote = 0;
  for (size_t i = 0; i < F.size(); ++i) {
    if (quote) {
      if (F[i] == quote) quote = 0;
    } else if (F[i] == u'"' || F[i] == u'\'') {
      quote = F[i];
    } else if (StartsWithText(F, i, "AM/PM") || StartsWithText(F, i, "A/P")) {
      return true;
    }
  }
  return false;
}

// The locale's time category names the C locale: formats are then ISO.
bool CLocaleTime() {
  const char* name = std::setlocale(LC_TIME, nullptr);
  return !name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 || std::strncmp(name, "C.", 2) == 0;
}

std::mutex& LangInfoLock() {
  static std::mutex m;
  return m;
}

// Converts a strftime format into our letters; empty when it holds
// something we do not know.
std::string FromStrftime(const std::string& F, bool& AmPm, int Depth = 0) {
  std::string r;
  for (size_t i = 0; i < F.size(); ++i) {
    char c = F[i];
    if (c != '%') {
      if (c == '"' || c == '\'') return "";
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        r += '"';
        r += c;
        r += '"';
      } else {
        r += c;
      }
      continue;
    }
    if (++i >= F.size()) return "";
    char k = F[i];
    if (k == 'E' || k == 'O' || k == '-' || k == '_' || k == '0') {  // modifiers and padding flags
      if (++i >= F.size()) return "";
      k = F[i];
    }
    switch (k) {
      case 'd': r += "dd"; break;
      case 'e': r += "d"; break;
      case 'm': r += "mm"; break;
      case 'y': r += "yy"; break;
      case 'Y': r += "yyyy"; break;
      case 'D': r += "mm/dd/yy"; break;
      case 'F': r += "yyyy-mm-dd"; break;
      case 'H': r += "hh"; break;
      case 'k': r += "h"; break;
      case 'I': r += "hh"; AmPm = true; break;
      case 'l': r += "h"; AmPm = true; break;
      case 'M': r += "nn"; break;
      case 'S': r += "ss"; break;
      case 'T': r += "hh:nn:ss"; break;
      case 'R': r += "hh:nn"; break;
      case 'p': r += "AM/PM"; AmPm = true; break;
      case 'r': {
        if (Depth > 0) return "";
        std::string sub = FromStrftime(nl_langinfo(T_FMT_AMPM), AmPm, Depth + 1);
        if (sub.empty()) return "";
        r += sub;
        break;
      }
      case '%': r += '%'; break;
      default: return "";
    }
  }
  return r;
}

}  // namespace

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return FromLocalTime(ts.tv_sec, ts.tv_nsec);
}

TDateTime Date() {
  TDateTime n = Now();
  return static_cast<double>(Trunc(n));
}

TDateTime Time() {
  TDateTime n = Now();
  return n - static_cast<double>(Trunc(n));
}

bool IsLeapYear(Word Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

bool TryEncodeDate(Word Year, Word Month, Word Day, TDateTime& Date) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1) return false;
  const Word* table = kMonthDays[IsLeapYear(Year)];
  if (Day > table[Month - 1]) return false;
  int64_t day = Day;
  for (int i = 0; i < Month - 1; ++i) day += table[i];
  int64_t y = Year - 1;
  Date = static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + day - kDateDelta);
  return true;
}

TDateTime EncodeDate(Word Year, Word Month, Word Day) {
  TDateTime d;
  if (!TryEncodeDate(Year, Month, Day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

bool TryEncodeTime(Word Hour, Word Min, Word Sec, Word MSec, TDateTime& Time) {
  if (Hour > 23 || Min > 59 || Sec > 59 || MSec > 999) return false;
  Time = (Hour * 3600000.0 + Min * 60000.0 + Sec * 1000.0 + MSec) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(Word Hour, Word Min, Word Sec, Word MSec) {
  TDateTime t;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

void DecodeDate(TDateTime DateTime, Word& Year, Word& Month, Word& Day) {
  int64_t t = ToTimeStamp(DateTime).Date;
  if (t <= 0 || t > kMaxDateStamp) {
    Year = Month = Day = 0;
    return;
  }
  const int64_t D1 = 365, D4 = D1 * 4 + 1, D100 = D4 * 25 - 1, D400 = D100 * 4 + 1;
  --t;
  int64_t y = 1 + (t / D400) * 400;
  t %= D400;
  int64_t i = t / D100, d = t % D100;
  if (i == 4) {
    --i;
    d += D100;
  }
  y += i * 100;
  y += (d / D4) * 4;
  d %= D4;
  i = d / D1;
  d %= D1;
  if (i == 4) {
    --i;
    d += D1;
  }
  y += i;
  const Word* table = kMonthDays[IsLeapYear(static_cast<Word>(y))];
  int m = 0;
  while (d >= table[m]) d -= table[m++];
  Year = static_cast<Word>(y);
  Month = static_cast<Word>(m + 1);
  Day = static_cast<Word>(d + 1);
}

void DecodeTime(TDateTime DateTime, Word& Hour, Word& Min, Word& Sec, Word& MSec) {
  int64_t t = ToTimeStamp(DateTime).Time;
  Hour = static_cast<Word>(t / 3600000);
  Min = static_cast<Word>(t / 60000 % 60);
  Sec = static_cast<Word>(t / 1000 % 60);
  MSec = static_cast<Word>(t % 1000);
}

Word DayOfWeek(TDateTime DateTime) {
  int64_t d = ToTimeStamp(DateTime).Date % 7;
  if (d < 0) d += 7;
  return static_cast<Word>(d + 1);
}

WideString FormatDateTime(const WideString& Format, TDateTime DateTime) {
  Word year, month, day, hour, minute, sec, msec;
  DecodeDate(DateTime, year, month, day);
  DecodeTime(DateTime, hour, minute, sec, msec);
  const bool twelve = UsesTwelveHours(Format);
  const Word dow = DayOfWeek(DateTime);
  WideString out;
  char16_t lastToken = 0;
  size_t i = 0;
  const size_t n = Format.size();
  auto count = [&](char16_t letter) {
    size_t k = 1;
    while (i + k < n && Upper(Format[i + k]) == letter) ++k;
    return k;
  };
  while (i < n) {
    char16_t c = Format[i];
    char16_t token = Upper(c);
    if (token >= u'A' && token <= u'Z') {
      if (token == u'M' && lastToken == u'H') token = u'N';
      lastToken = token;
    }
    switch (token) {
      case u'"':
      case u'\'': {
        size_t j = Format.find(c, i + 1);
        if (j == WideString::npos) j = n;
        out += Format.substr(i + 1, j - i - 1);
        i = j + 1;
        continue;
      }
      case u'C': {
        out += FormatDateTime(ShortDateFormat(), DateTime);
        if (hour || minute || sec || msec) out += u' ' + FormatDateTime(LongTimeFormat(), DateTime);
        ++i;
        continue;
      }
      case u'D': {
        size_t k = count(u'D');
        if (k == 1) out += Number(day, 1);
        else if (k == 2) out += Number(day, 2);
        else if (k == 3) out += Ascii(kShortDayNames[dow - 1]);
        else if (k == 4) out += Ascii(kLongDayNames[dow - 1]);
        else out += FormatDateTime(ShortDateFormat(), DateTime);
        i += k;
        continue;
      }
      case u'M': {
        size_t k = count(u'M');
        if (month == 0) out += Number(0, k >= 2 ? 2 : 1);
        else if (k == 1) out += Number(month, 1);
        else if (k == 2) out += Number(month, 2);
        else if (k == 3) out += Ascii(kShortMonthNames[month - 1]);
        else out += Ascii(kLongMonthNames[month - 1]);
        i += k;
        continue;
      }
      case u'N': {
        size_t k = count(Upper(c));  // minutes written as m or n
        out += Number(minute, k >= 2 ? 2 : 1);
        i += k;
        continue;
      }
      case u'Y': {
        size_t k = count(u'Y');
        out += k <= 2 ? Number(year % 100, 2) : Number(year, 4);
        i += k;
        continue;
      }
      case u'H': {
        size_t k = count(u'H');
        int h = hour;
        if (twelve) {
          h %= 12;
          if (h == 0) h = 12;
        }
        out += Number(h, k >= 2 ? 2 : 1);
        i += k;
        continue;
      }
      case u'S': {
        size_t k = count(u'S');
        out += Number(sec, k >= 2 ? 2 : 1);
        i += k;
        continue;
      }
      case u'Z': {
        size_t k = count(u'Z');
        out += Number(msec, k <= 2 ? 1 : 3);
        i += k;
        continue;
      }
      case u'T': {
        size_t k = count(u'T');
        out += FormatDateTime(k == 1 ? WideString(u"hh:nn") : LongTimeFormat(), DateTime);
        i += k;
        continue;
      }
      case u'A': {
        if (StartsWithText(Format, i, "AM/PM")) {
          out += hour < 12 ? Format.substr(i, 2) : Format.substr(i + 3, 2);
          i += 5;
          continue;
        }
        if (StartsWithText(Format, i, "A/P")) {
          out += hour < 12 ? Format.substr(i, 1) : Format.substr(i + 2, 1);
          i += 3;
          continue;
        }
        out += c;
        ++i;
        continue;
      }
      default:
        out += c;  // "/", ":" and everything else as it stands
        ++i;
        continue;
    }
  }
  return out;
}

WideString ShortDateFormat() {
  if (CLocaleTime()) return u"yyyy-mm-dd";
  std::lock_guard<std::mutex> guard(LangInfoLock());
  bool ampm = false;
  std::string f = FromStrftime(nl_langinfo(D_FMT), ampm);
  return f.empty() ? WideString(u"yyyy-mm-dd") : Ascii(f);
}

WideString LongTimeFormat() {
  if (CLocaleTime()) return u"hh:nn:ss";
  std::lock_guard<std::mutex> guard(LangInfoLock());
  bool ampm = false;
  std::string f = FromStrftime(nl_langinfo(T_FMT), ampm);
  return f.empty() ? WideString(u"hh:nn:ss") : Ascii(f);
}

WideString DateToStr(TDateTime DateTime) { return FormatDateTime(ShortDateFormat(), DateTime); }
WideString TimeToStr(TDateTime DateTime) { return FormatDateTime(LongTimeFormat(), DateTime); }
WideString DateTimeToStr(TDateTime DateTime) { return FormatDateTime(u"c", DateTime); }

bool TryStrToDate(const WideString& S, TDateTime& Date) {
  // The order of year, month and day as the short date format writes them.
  WideString fmt = ShortDateFormat();
  std::string order;
  char16_t quote = 0;
  for (char16_t c : fmt) {
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == u'"' || c == u'\'') {
      quote = c;
      continue;
    }
    char u = static_cast<char>(Upper(c));
    if ((u == 'Y' || u == 'M' || u == 'D') && order.find(u) == std::string::npos) order += u;
  }
  if (order.size() != 3) order = "YMD";
  std::vector<int64_t> nums;
  std::vector<size_t> digits;
  size_t i = 0;
  while (i < S.size()) {
    char16_t c = S[i];
    if (c >= u'0' && c <= u'9') {
      int64_t v = 0;
      size_t k = 0;
      while (i < S.size() && S[i] >= u'0' && S[i] <= u'9') {
        if (v < 100000) v = v * 10 + (S[i] - u'0');
        ++i;
        ++k;
      }
      nums.push_back(v);
      digits.push_back(k);
    } else if (c == u'/' || c == u'.' || c == u'-' || c <= u' ') {
      ++i;
    } else {
      return false;
    }
  }
  Word cy, cm, cd;
  DecodeDate(Now(), cy, cm, cd);
  int64_t y = -1, m = -1, d = -1;
  size_t yDigits = 4;
  if (nums.size() == 3) {
    for (size_t k = 0; k < 3; ++k) {
      if (order[k] == 'Y') y = nums[k], yDigits = digits[k];
      else if (order[k] == 'M') m = nums[k];
      else d = nums[k];
    }
  } else if (nums.size() == 2) {
    std::string md = order;
    md.erase(md.find('Y'), 1);
    m = md[0] == 'M' ? nums[0] : nums[1];
    d = md[0] == 'M' ? nums[1] : nums[0];
    y = cy;
  } else {
    return false;
  }
  if (yDigits <= 2 && y <= 99) {
    int64_t century = cy - 50;
    y += century / 100 * 100;
    if (y < century) y += 100;
  }
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  return TryEncodeDate(static_cast<Word>(y), static_cast<Word>(m), static_cast<Word>(d), Date);
}

bool FileAge(const WideString& FileName, TDateTime& FileDateTime) {
  struct stat st {};
  std::string p = NativeFileName(FileName);
  if (p.empty() || ::stat(p.c_str(), &st) != 0) return false;
  FileDateTime = FromLocalTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return true;
}
