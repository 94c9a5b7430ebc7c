#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "comrt/conversions.h"

namespace {

SYSTEMTIME Fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millis = 0) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  time.wMinute = static_cast<WORD>(minute);
  time.wSecond = static_cast<WORD>(second);
  time.wMilliseconds = static_cast<WORD>(millis);
  return time;
}

std::string Show(const SYSTEMTIME& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond, t.wMilliseconds);
  return text;
}

void ExpectFields(const SYSTEMTIME& expected, DATE value) {
  SYSTEMTIME actual{};
  ASSERT_TRUE(VariantTimeToSystemTime(value, &actual)) << value;
  actual.wDayOfWeek = 0;
  EXPECT_EQ(Show(expected), Show(actual)) << value;
}

DATE ToDate(const SYSTEMTIME& time) {
  DATE value = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(SystemTimeToVariantTime(&time, &value)) << Show(time);
  return value;
}

// The documented encoding: before day 0 the whole part counts back and the
// fraction still adds time of day.
DATE Encoded(long day, long secondOfDay) {
  const double fraction = secondOfDay / 86400.0;
  return day >= 0 ? day + fraction : day - fraction;
}

TEST(DateTimeTest, KnownDaysAndWeekdays) {
  const struct {
    SYSTEMTIME fields;
    DATE value;
    int weekday;  // 0 for Sunday
  } kCases[] = {{Fields(1899, 12, 30), 0, 6},          {Fields(1900, 1, 1), 2, 1},
                {Fields(1970, 1, 1), 25569, 4},        {Fields(2024, 2, 29, 12), 45351.5, 4},
                {Fields(1582, 10, 15), -115858, 5},    {Fields(100, 1, 1), -657434, 5},
                {Fields(1899, 12, 29, 6), -1.25, 5},   {Fields(1899, 12, 30, 6), 0.25, 6},
                {Fields(1800, 1, 1, 12), -36522.5, 3}, {Fields(9999, 12, 31, 23, 59, 59), Encoded(2958465, 86399), 5}};
  for (const auto& c : kCases) {
    EXPECT_EQ(c.value, ToDate(c.fields));
    ExpectFields(c.fields, c.value);
    SYSTEMTIME back{};
    VariantTimeToSystemTime(c.value, &back);
    EXPECT_EQ(c.weekday, back.wDayOfWeek) << c.value;
  }
}

TEST(DateTimeTest, EveryDayFromYear100To9999RoundTrips) {
  // Walks the calendar a day at a time, so the day arithmetic is checked
  // against plain counting rather than against itself.
  auto daysIn = [](int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
  };
  int year = 100, month = 1, day = 1, weekday = 5;
  long number = -657434;
  for (; year <= 9999; ++number) {
    const long second = (number % 86400 + 86400) * 7919 % 86400;  // a time of day that varies
    const SYSTEMTIME fields = Fields(year, month, day, second / 3600, second / 60 % 60, second % 60);
    DATE value = 0;
    SYSTEMTIME back{};
    if (!SystemTimeToVariantTime(&fields, &value) || value != Encoded(number, second) ||
        !VariantTimeToSystemTime(value, &back) || back.wDayOfWeek != weekday || back.wYear != year ||
        back.wMonth != month || back.wDay != day || back.wHour != fields.wHour || back.wMinute != fields.wMinute ||
        back.wSecond != fields.wSecond) {
      FAIL() << "day " << number << ", " << Show(fields) << ": " << value << ", " << Show(back);
    }
    weekday = (weekday + 1) % 7;
    if (++day > daysIn(year, month)) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
  EXPECT_EQ(2958466, number);
}

TEST(DateTimeTest, RoundsToTheNearestSecondAndCarriesIntoTheNextDay) {
  ExpectFields(Fields(1899, 12, 31), 0.999999999);
  ExpectFields(Fields(1899, 12, 31), -0.999999999);  // day 0 still, read backwards
  ExpectFields(Fields(1899, 12, 30), -1.999999999);  // 29 December's last instant
  ExpectFields(Fields(100, 1, 2), -657434.999999999);
  ExpectFields(Fields(2024, 2, 29, 12, 0, 29), 45351.5 + 29.4 / 86400);
  ExpectFields(Fields(2024, 2, 29, 12, 0, 30), 45351.5 + 29.6 / 86400);
  ExpectFields(Fields(2024, 2, 29, 23, 59, 59), 45351 + 86399.4 / 86400);
  ExpectFields(Fields(2024, 3, 1), 45351 + 86399.6 / 86400);
  ExpectFields(Fields(1899, 12, 29, 23, 59, 59), -1 - 86399.4 / 86400);
  SYSTEMTIME time;
  EXPECT_FALSE(VariantTimeToSystemTime(2958465.999999999, &time));         // rounds into the year 10000
  EXPECT_EQ(Encoded(0, 59), ToDate(Fields(1899, 12, 30, 0, 0, 59, 999)));  // milliseconds ignored, not rounded
}

TEST(DateTimeTest, FieldsBeyondTheirRangesCarry) {
  const struct {
    SYSTEMTIME given;
    SYSTEMTIME meant;
  } kCases[] = {{Fields(2023, 13, 1), Fields(2024, 1, 1)},
                {Fields(2023, 25, 5), Fields(2025, 1, 5)},
                {Fields(2023, 0, 15), Fields(2022, 12, 15)},
                {Fields(2023, 2, 31), Fields(2023, 3, 3)},
                {Fields(2024, 2, 31), Fields(2024, 3, 2)},
                {Fields(2024, 3, 0), Fields(2024, 2, 29)},
                {Fields(2024, 1, 0), Fields(2023, 12, 31)},
                {Fields(2024, 1, 1, 25), Fields(2024, 1, 2, 1)},
                {Fields(2024, 1, 1, 23, 59, 60), Fields(2024, 1, 2)},
                {Fields(2024, 1, 1, 0, 0, 65535), Fields(2024, 1, 1, 18, 12, 15)},
                {Fields(1899, 12, 29, 30), Fields(1899, 12, 30, 6)},
                {Fields(99, 13, 1), Fields(100, 1, 1)}};
  for (const auto& c : kCases) EXPECT_EQ(ToDate(c.meant), ToDate(c.given)) << Show(c.given);
}

TEST(DateTimeTest, OnlyTheYears100To9999AreDates) {
  DATE value = 1234;
  for (const SYSTEMTIME& outside : {Fields(99, 12, 31), Fields(0, 1, 1), Fields(10000, 1, 1), Fields(9999, 12, 31, 24),
                                    Fields(100, 1, 0), Fields(65535, 65535, 65535, 65535, 65535, 65535)}) {
    EXPECT_FALSE(SystemTimeToVariantTime(&outside, &value)) << Show(outside);
  }
  EXPECT_EQ(1234, value);
  const SYSTEMTIME fields = Fields(2000, 1, 1);
  EXPECT_FALSE(SystemTimeToVariantTime(nullptr, &value));
  EXPECT_FALSE(SystemTimeToVariantTime(&fields, nullptr));
  SYSTEMTIME time;
  for (const double outside : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), -657435.0, 2958466.0, 1e300, -1e300}) {
    EXPECT_FALSE(VariantTimeToSystemTime(outside, &time)) << outside;
  }
  EXPECT_FALSE(VariantTimeToSystemTime(0, nullptr));
  ExpectFields(Fields(100, 1, 1, 23, 45, 36), -657434.99);
}

TEST(VarDateFromStrTest, ReadsTheDocumentedFormsAndFlags) {
  const struct {
    const char16_t* text;
    DATE value;
  } kCases[] = {{u"2024-02-29", 45351},
                {u"2024-02-29T12:00", 45351.5},
                {u"2024-02-29T06:00:00Z", 45351.25},
                {u"2024-02-29   18:00:00", 45351.75},
                {u"2024-02-29Z", 45351},
                {u"2/29/2024", 45351},
                {u"02/29/2024 6:00", 45351.25},
                {u"1899-12-29 06:00", -1.25},
                {u"0100-01-01", -657434},
                {u"9999-12-31 23:59:59", Encoded(2958465, 86399)},
                {u"12:00", 0.5},
                {u"6:00:00", 0.25},
                {u" \t18:00Z \r\n", 0.75}};
  for (const auto& c : kCases) {
    DATE value = 0;
    EXPECT_EQ(S_OK, VarDateFromStr(c.text, LOCALE_USER_DEFAULT, 0, &value)) << c.value;
    EXPECT_EQ(c.value, value);
  }
  const struct {
    const char16_t* text;
    ULONG flags;
    DATE value;
  } kFlagged[] = {{u"2024-02-29 18:00", VAR_TIMEVALUEONLY, 0.75},
                  {u"1899-12-29 06:00", VAR_TIMEVALUEONLY, 0.25},
                  {u"2024-02-29 18:00", VAR_DATEVALUEONLY, 45351},
                  {u"1899-12-29 06:00", VAR_DATEVALUEONLY, -1},
                  {u"18:00", VAR_DATEVALUEONLY, 0}};
  for (const auto& c : kFlagged) {
    DATE value = 0;
    EXPECT_EQ(S_OK, VarDateFromStr(c.text, LOCALE_USER_DEFAULT, c.flags, &value)) << c.value;
    EXPECT_EQ(c.value, value);
  }
  DATE value;
  EXPECT_EQ(E_INVALIDARG, VarDateFromStr(u"18:00", LOCALE_USER_DEFAULT, VAR_DATEVALUEONLY | VAR_TIMEVALUEONLY, &value));
}

TEST(VarDateFromStrTest, RefusesOtherTextAndImpossibleFields) {
  for (const char16_t* text : {u"",
                               u"abc",
                               u"2023-02-29",
                               u"2100-02-29",
                               u"2024-13-01",
                               u"2024-00-10",
                               u"2024-04-31",
                               u"24:00",
                               u"12:60",
                               u"12:30:60",
                               u"123:00",
                               u"12:5",
                               u"2024-1-05",
                               u"0099-01-01",
                               u"10000-01-01",
                               u"2024-01-01T",
                               u"2024-01-01 12",
                               u"12:30 PM",
                               u"12/31/99",
                               u"13/1/2024",
                               u"2/30/2024",
                               u"123/1/2024",
                               u"1/1/2024T12:00",
                               u"2024/01/01",
                               u"Z",
                               u"12:00:00:00",
                               u"2024-01-01ZZ",
                               u"2024-01-01T12:30:00.5",
                               u"2024-01-01T12:30+02:00"}) {
    DATE value = 1234;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VarDateFromStr(text, LOCALE_USER_DEFAULT, 0, &value))
        << std::string(text, text + std::char_traits<char16_t>::length(text));
    EXPECT_EQ(1234, value);
  }
  DATE value;
  EXPECT_EQ(E_INVALIDARG, VarDateFromStr(nullptr, LOCALE_USER_DEFAULT, 0, &value));
  EXPECT_EQ(E_INVALIDARG, VarDateFromStr(u"12:00", LOCALE_USER_DEFAULT, 0, nullptr));
}

TEST(FormatTimeFieldsTest, WritesPaddedFieldsOrNothingWhenTheTextDoesNotFit) {
  char16_t buffer[32];
  EXPECT_EQ(19u, comrt::FormatTimeFields(buffer, 32, u"%Y-%m-%d %H:%M:%S", Fields(100, 1, 2, 3, 4, 5)));
  EXPECT_EQ(std::u16string(u"0100-01-02 03:04:05"), buffer);
  EXPECT_EQ(13u, comrt::FormatTimeFields(buffer, 32, u"100%% at %H.%M", Fields(100, 1, 2, 3, 4, 5)));
  EXPECT_EQ(std::u16string(u"100% at 03.04"), buffer);
  EXPECT_EQ(9u, comrt::FormatTimeFields(buffer, 32, u"%Y/%m", Fields(12345, 100, 1)));  // widths are minimums
  EXPECT_EQ(std::u16string(u"12345/100"), buffer);
  // "2024-02-29" needs eleven units with its zero.
  const SYSTEMTIME time = Fields(2024, 2, 29);
  EXPECT_EQ(10u, comrt::FormatTimeFields(buffer, 11, u"%Y-%m-%d", time));
  EXPECT_EQ(0u, comrt::FormatTimeFields(buffer, 10, u"%Y-%m-%d", time));
  EXPECT_EQ(u'\0', buffer[0]);
  for (const char16_t* format : {u"", u"%q", u"%Y%"}) EXPECT_EQ(0u, comrt::FormatTimeFields(buffer, 32, format, time));
  EXPECT_EQ(0u, comrt::FormatTimeFields(buffer, 0, u"%Y", time));
  EXPECT_EQ(0u, comrt::FormatTimeFields(nullptr, 32, u"%Y", time));
  EXPECT_EQ(0u, comrt::FormatTimeFields(buffer, 32, nullptr, time));
}

}  // namespace
