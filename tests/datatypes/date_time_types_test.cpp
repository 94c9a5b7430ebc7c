// "date", "dateTime", "dateTime.tz", "time" and "time.tz".
#include <gtest/gtest.h>

#include <limits>

#include "datatypes/converter_test_support.h"

namespace {

using datatypes_test::FailureOf;
using datatypes_test::Make;
using datatypes_test::Real8;

CComVariant Date(double value) {
  CComVariant v;
  v.vt = VT_DATE;
  v.date = value;
  return v;
}

// What a text reads as, written back as a full date and time.
std::u16string ReadAs(const char16_t* dataType, std::u16string_view text) {
  const CComVariant value = Make(dataType)->StringToVariant(text, false);
  EXPECT_EQ(VT_DATE, value.vt);
  return Make(u"dateTime")->VariantToString(value);
}

HRESULT ReadFailure(const char16_t* dataType, std::u16string_view text) {
  return FailureOf([&] { Make(dataType)->StringToVariant(text, false); });
}

TEST(DateReadTest, FieldsBetweenRunsOfDashes) {
  EXPECT_EQ(u"2011-02-05T00:00:00", ReadAs(u"date", u"2011-2-5"));
  EXPECT_EQ(u"2011-02-15T00:00:00", ReadAs(u"date", u"2011--02--15"));
  EXPECT_EQ(u"2011-02-15T00:00:00", ReadAs(u"date", u"-2011-02-15"));  // a leading minus is a delimiter
  EXPECT_EQ(u"2011-02-15T00:00:00", ReadAs(u"date", u"2011-02-15T10:20:30"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"date", u"2011-02"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"date", u"20110215"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"date", u""));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"date", u"---"));
}

TEST(DateReadTest, FieldsBeyondTheCalendarCarryAndImpossibleYearsFail) {
  EXPECT_EQ(u"2012-01-15T00:00:00", ReadAs(u"date", u"2011-13-15"));
  EXPECT_EQ(u"2011-03-03T00:00:00", ReadAs(u"date", u"2011-02-31"));
  EXPECT_EQ(u"1899-12-31T01:00:00", ReadAs(u"time", u"25:00:00"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"date", u"99-01-01"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"date", u"10000-01-01"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"date", u"2011-99999999999-01"));
}

TEST(TimeReadTest, ThreeFieldsOnDayZero) {
  const CComVariant value = Make(u"time")->StringToVariant(u"12:00:00", false);
  EXPECT_EQ(0.5, value.date);
  EXPECT_EQ(u"1899-12-30T10:20:30", ReadAs(u"time", u"10:20:30.5"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"time", u"10:20"));
  EXPECT_EQ(u"1899-12-30T10:20:30", ReadAs(u"time.tz", u"10:20:30Z"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"time.tz", u"10:20:30"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"time.tz", u"10:20:30+09:00"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"time.tz", u"Z10:20:30"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"time.tz", u"10:20:30ZZ"));
}

TEST(DateTimeReadTest, DatePartThenTimePart) {
  EXPECT_EQ(u"2011-02-15T10:20:30", ReadAs(u"dateTime", u"2011-02-15T10:20:30"));
  EXPECT_EQ(u"2011-02-15T10:20:30", ReadAs(u"dateTime", u"2011-02-15T10:20:30+09:00"));  // offset not read
  EXPECT_EQ(u"2011-02-15T10:20:30", ReadAs(u"dateTime", u"2011-02-15T10:20:30T99"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"dateTime", u"2011-02-15"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"dateTime", u""));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"dateTime", u"T10:20:30"));
  EXPECT_EQ(u"2011-02-15T10:20:30", ReadAs(u"dateTime.tz", u"2011-02-15T10:20:30Z"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"dateTime.tz", u"2011-02-15T10:20:30"));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"dateTime.tz", u"2011-02-15"));
}

TEST(DateTimeWriteTest, EachTypeWritesItsFields) {
  const double value = 40589.336909722222;  // 2011-02-15 08:05:09
  EXPECT_EQ(u"2011-02-15", Make(u"date")->VariantToString(Date(value)));
  EXPECT_EQ(u"2011-02-15T08:05:09", Make(u"dateTime")->VariantToString(Date(value)));
  EXPECT_EQ(u"2011-02-15T08:05:09Z", Make(u"dateTime.tz")->VariantToString(Date(value)));
  EXPECT_EQ(u"08:05:09", Make(u"time")->VariantToString(Date(value)));
  EXPECT_EQ(u"08:05:09Z", Make(u"time.tz")->VariantToString(Date(value)));
  EXPECT_EQ(u"1899-12-30", Make(u"date")->VariantToString(Date(0.0)));
  EXPECT_EQ(u"00:00:00", Make(u"time")->VariantToString(Date(0.0)));
  EXPECT_EQ(u"1899-12-30T12:00:00Z", Make(u"dateTime.tz")->VariantToString(Date(0.5)));
  EXPECT_EQ(u"0100-01-01", Make(u"date")->VariantToString(Date(-657434.0)));
}

constexpr const char16_t* kDateTimeTypes[] = {u"date", u"dateTime", u"dateTime.tz", u"time", u"time.tz"};

TEST(DateTimeWriteTest, ValuesThatAreNoCalendarDateFailAndWriteNothing) {
  const double refused[] = {-657435.0,   -700000.0, 2958466.0, 3e6, 1e300, -1e300,
                            std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            2958465.9999999};  // rounds to the first second of the year 10000
  for (const char16_t* dataType : kDateTimeTypes) {
    auto converter = Make(dataType);
    for (double value : refused) {
      EXPECT_EQ(E_INVALIDARG, FailureOf([&] { converter->VariantToString(Date(value)); }))
          << std::string(dataType, dataType + std::char_traits<char16_t>::length(dataType)) << " " << value;
    }
    EXPECT_EQ(E_INVALIDARG, FailureOf([&] { converter->VariantToString(Real8(1.0)); }));
  }
}

TEST(DateTimeWriteTest, TheFirstAndLastSecondsOfTheRangeAreWritten) {
  constexpr double kSecond = 1.0 / 86400;
  struct Case {
    double value;
    const char16_t* written[5];  // in the order of kDateTimeTypes
  };
  const Case cases[] = {
      {-657434.0, {u"0100-01-01", u"0100-01-01T00:00:00", u"0100-01-01T00:00:00Z", u"00:00:00", u"00:00:00Z"}},
      // Before day zero the fraction still counts forward into the day.
      {-657434.0 - kSecond,
       {u"0100-01-01", u"0100-01-01T00:00:01", u"0100-01-01T00:00:01Z", u"00:00:01", u"00:00:01Z"}},
      {-657434.0 - 86399 * kSecond,
       {u"0100-01-01", u"0100-01-01T23:59:59", u"0100-01-01T23:59:59Z", u"23:59:59", u"23:59:59Z"}},
      {2958465.0, {u"9999-12-31", u"9999-12-31T00:00:00", u"9999-12-31T00:00:00Z", u"00:00:00", u"00:00:00Z"}},
      {2958465.0 + 86399 * kSecond,
       {u"9999-12-31", u"9999-12-31T23:59:59", u"9999-12-31T23:59:59Z", u"23:59:59", u"23:59:59Z"}},
  };
  for (const Case& c : cases) {
    for (size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(c.written[i], Make(kDateTimeTypes[i])->VariantToString(Date(c.value))) << c.value;
    }
  }
  // What is written reads back as the same second.
  EXPECT_EQ(u"9999-12-31T23:59:59", ReadAs(u"dateTime.tz", u"9999-12-31T23:59:59Z"));
  EXPECT_EQ(u"0100-01-01T00:00:00", ReadAs(u"dateTime", u"0100-01-01T00:00:00"));
}

TEST(DateTimeDefaultTest, UnreadableDefaultIsNoError) {
  Make(u"date", datatypes_test::Declared{u"not a date"});
  Make(u"time", datatypes_test::Declared{u"10:20:30"});
  Make(u"dateTime.tz", datatypes_test::Declared{u"2011-02-15T10:20:30Z"});
}

}  // namespace
