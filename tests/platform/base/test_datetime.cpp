#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <ctime>
#include <fstream>

#include "platform/base/dateutils.h"
#include "scratch_dir.h"

namespace test_datetime_tests {

namespace {
// Sets TZ for the life of the guard.
class TimeZoneGuard {
 public:
  explicit TimeZoneGuard(const char* Zone) {
    const char* old = std::getenv("TZ");
    FHad = old != nullptr;
    if (old) FOld = old;
    setenv("TZ", Zone, 1);
    tzset();
  }
  ~TimeZoneGuard() {
    if (FHad) setenv("TZ", FOld.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  bool FHad;
  std::string FOld;
};
}  // namespace

TEST(DateTime, EncodeAndDecodeDates) {
  struct Case { Word y, m, d; double value; Word dow; };
  const Case cases[] = {
      {1899, 12, 30, 0, 7}, {1900, 1, 1, 2, 2}, {2000, 2, 29, 36585, 3}, {2024, 1, 1, 45292, 2},
      {1, 1, 1, -693593, 2}, {9999, 12, 31, 2958465, 6}, {1900, 3, 1, 61, 5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.value) << c.y << "-" << c.m << "-" << c.d;
    Word y, m, d;
    // The time of day does not move the date (before 1899-12-30 it counts away from zero).
    DecodeDate(c.value + (c.value < 0 ? -0.75 : 0.75), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
    EXPECT_EQ(DayOfWeek(c.value), c.dow) << c.value;
  }
  for (auto [y, m, d] : {std::tuple{2001, 2, 29}, {1900, 2, 29}, {0, 1, 1}, {2000, 13, 1}, {2000, 4, 31}, {10000, 1, 1}})
    EXPECT_THROW(EncodeDate(Word(y), Word(m), Word(d)), EConvertError) << y << "-" << m << "-" << d;
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  // Values no calendar holds decode as zeros instead of misbehaving.
  for (double bad : {1e300, -1e300, 3e6, -700000.0}) {
    Word y = 1, m = 1, d = 1;
    DecodeDate(bad, y, m, d);
    EXPECT_EQ(y + m + d, 0) << bad;
  }
}

TEST(DateTime, EncodeAndDecodeTimes) {
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(1, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(1, 1, 1, 1000), EConvertError);
  struct Case { double value; Word y, mo, d, h, mi, s, ms; };
  const Case cases[] = {
      {EncodeDate(2024, 3, 5) + EncodeTime(23, 59, 59, 999), 2024, 3, 5, 23, 59, 59, 999},
      {EncodeDate(2024, 3, 5) + 0.99999999999, 2024, 3, 6, 0, 0, 0, 0},  // rounds to the next day
      {-1.25, 1899, 12, 29, 6, 0, 0, 0},  // negative: the fraction still counts from midnight
  };
  for (const auto& c : cases) {
    Word y, mo, d, h, mi, s, ms;
    DecodeDate(c.value, y, mo, d);
    DecodeTime(c.value, h, mi, s, ms);
    EXPECT_EQ(std::tuple(y, mo, d, h, mi, s, ms), std::tuple(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms)) << c.value;
  }
}

TEST(DateTime, FormatLetters) {
  LocaleGuard guard;
  std::setlocale(LC_ALL, "C");
  const TDateTime t = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 45);
  struct Case { WideString format, text; };
  const Case cases[] = {
      {u"yyyymmddhhnnss", u"20240305140709"},
      {u"ddd mmm dd hh:nn:ss yyyy", u"Tue Mar 05 14:07:09 2024"},
      {u"d/m/yy", u"5/3/24"},
      {u"hh:mm:ss", u"14:07:09"},  // m after h is the minute
      {u"h:mm am/pm", u"2:07 pm"},
      {u"hh:nn AM/PM", u"02:07 PM"},
      {u"h a/p", u"2 p"},
      {u"'day' dddd, mmmm", u"day Tuesday, March"},
      {u"\"at h\" h", u"at h 14"},
      {u"z zzz", u"45 045"},
      {u"c", u"2024-03-05 14:07:09"},
      {u"ddddd", u"2024-03-05"},
      {u"tt", u"14:07:09"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.format, t), c.text) << WideToUtf8(c.format);
  EXPECT_EQ(FormatDateTime(u"c", EncodeDate(2024, 3, 5)), u"2024-03-05");  // midnight: date only
  EXPECT_EQ(FormatDateTime(u"hh am/pm", EncodeTime(0, 30, 0, 0)), u"12 am");
}

TEST(DateTime, LocaleShortDateAndLongTime) {
  LocaleGuard guard;
  const TDateTime t = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 0);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(ShortDateFormat(), u"yyyy-mm-dd");  // no locale formats: unambiguous ISO
  EXPECT_EQ(DateTimeToStr(t), u"2024-03-05 14:07:09");
  TDateTime back = 0;
  EXPECT_TRUE(TryStrToDate(u"2024-03-05", back));
  EXPECT_EQ(back, EncodeDate(2024, 3, 5));
  EXPECT_FALSE(TryStrToDate(u"yesterday", back));
  EXPECT_FALSE(TryStrToDate(u"2024-02-30", back));

  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  EXPECT_EQ(ShortDateFormat(), u"dd.mm.yyyy");
  EXPECT_EQ(LongTimeFormat(), u"hh:nn:ss");
  EXPECT_EQ(DateToStr(t), u"05.03.2024");
  EXPECT_EQ(TimeToStr(t), u"14:07:09");
  EXPECT_TRUE(TryStrToDate(DateToStr(t), back));
  EXPECT_EQ(back, EncodeDate(2024, 3, 5));
  EXPECT_TRUE(TryStrToDate(u"5.3.24", back));  // two-digit years fall near today
  EXPECT_EQ(back, EncodeDate(2024, 3, 5));
}

TEST(DateTime, NowAndFileTimesAreLocal) {
  TimeZoneGuard zone("UTC");
  time_t s = time(nullptr);
  struct tm tm {};
  gmtime_r(&s, &tm);
  TDateTime expected = EncodeDate(Word(tm.tm_year + 1900), Word(tm.tm_mon + 1), Word(tm.tm_mday)) +
                       EncodeTime(Word(tm.tm_hour), Word(tm.tm_min), Word(tm.tm_sec), 0);
  EXPECT_NEAR(Now(), expected, 3.0 / 86400);
  EXPECT_EQ(Date(), std::floor(Now()));

  ScratchDir dir;
  std::ofstream(dir.Path + "/f") << "x";
  const timespec times[2] = {{31536000, 500000000}, {31536000, 500000000}};  // 1971-01-01 00:00:00.5 UTC
  ASSERT_EQ(utimensat(AT_FDCWD, (dir.Path + "/f").c_str(), times, 0), 0);
  TDateTime age = 0;
  ASSERT_TRUE(FileAge(dir.Wide() + u"f", age));
  EXPECT_NEAR(age, EncodeDate(1971, 1, 1) + EncodeTime(0, 0, 0, 500), 1e-9);
  {
    TimeZoneGuard east("UTC-02");  // two hours ahead of UTC
    ASSERT_TRUE(FileAge(dir.Wide() + u"f", age));
    EXPECT_NEAR(age, EncodeDate(1971, 1, 1) + EncodeTime(2, 0, 0, 500), 1e-9);
  }
  EXPECT_FALSE(FileAge(dir.Wide() + u"missing", age));
}

}  // namespace test_datetime_tests
