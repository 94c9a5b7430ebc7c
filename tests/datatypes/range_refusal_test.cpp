// Telling a range refusal from a text that is no value of the type, for each
// family with an allowedValueRange: what a device needs to choose between
// the UPnP errors 601 and 600.
#include <gtest/gtest.h>

#include "datatypes/converter_test_support.h"

namespace {

using datatypes_test::Declared;
using datatypes_test::FailureOf;
using datatypes_test::Make;

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

// The contract: asked only about texts that reading refused.
bool RefusedForRange(const CUPnPDataType& converter, std::u16string_view text, bool strict) {
  EXPECT_NE(S_OK, FailureOf([&] { converter.StringToVariant(text, strict); })) << Narrow(text);
  return converter.IsOutOfRange(text, strict);
}

TEST(RangeRefusalTest, IntegersOfEveryWidth) {
  const Declared range{u"", u"-10", u"10", u"2"};
  for (const char16_t* dataType : {u"i1", u"i2", u"i4", u"int", u"i8"}) {
    SCOPED_TRACE(Narrow(dataType));
    auto converter = Make(dataType, range);
    for (bool strict : {true, false}) {
      EXPECT_TRUE(RefusedForRange(*converter, u"12", strict));
      EXPECT_TRUE(RefusedForRange(*converter, u"-12", strict));
      EXPECT_TRUE(RefusedForRange(*converter, u"3", strict));  // off the step
      EXPECT_FALSE(converter->IsOutOfRange(u"-10", strict));   // accepted
    }
    // Strictly, text with letters or beyond the type is no value at all;
    // leniently it reads as a number, which the range then judges.
    EXPECT_FALSE(RefusedForRange(*converter, u"3abc", true));
    EXPECT_TRUE(RefusedForRange(*converter, u"3abc", false));
    EXPECT_FALSE(RefusedForRange(*converter, u"99999999999999999999", true));
    EXPECT_TRUE(RefusedForRange(*converter, u"99999999999999999999", false));
  }
  // Leniently a value read past the type narrows first: 300 is 44 for "i1".
  EXPECT_TRUE(RefusedForRange(*Make(u"i1", range), u"300", false));
  EXPECT_FALSE(RefusedForRange(*Make(u"i1", range), u"300", true));
}

TEST(RangeRefusalTest, UnsignedIntegers) {
  const Declared range{u"", u"5", u"10"};
  for (const char16_t* dataType : {u"ui1", u"ui2", u"ui4", u"ui8"}) {
    SCOPED_TRACE(Narrow(dataType));
    auto converter = Make(dataType, range);
    EXPECT_TRUE(RefusedForRange(*converter, u"11", true));
    EXPECT_TRUE(RefusedForRange(*converter, u"4", true));
    EXPECT_FALSE(converter->IsOutOfRange(u"5", true));
    EXPECT_FALSE(RefusedForRange(*converter, u"-1", true));  // no value of an unsigned type
    EXPECT_TRUE(RefusedForRange(*converter, u"", true));  // the empty text reads as 0
  }
  // "ui8" reads "-1" leniently as 0, which lies below the minimum.
  EXPECT_TRUE(RefusedForRange(*Make(u"ui8", range), u"-1", false));
  EXPECT_TRUE(RefusedForRange(*Make(u"ui8", range), u"18446744073709551615", true));
  EXPECT_FALSE(RefusedForRange(*Make(u"ui8", range), u"18446744073709551616", true));
}

TEST(RangeRefusalTest, RealsAndNumber) {
  const Declared range{u"", u"-1.5", u"2.5"};
  for (const char16_t* dataType : {u"r4", u"float", u"r8", u"number"}) {
    SCOPED_TRACE(Narrow(dataType));
    auto converter = Make(dataType, range);
    EXPECT_TRUE(RefusedForRange(*converter, u"2.51", true));
    EXPECT_TRUE(RefusedForRange(*converter, u"-1.6", false));
    EXPECT_TRUE(RefusedForRange(*converter, u"1e999", true));     // an infinity, above any maximum
    EXPECT_TRUE(RefusedForRange(*converter, u"3 apples", true));  // the real rule reads 3
    EXPECT_FALSE(converter->IsOutOfRange(u"2.5", true));
    EXPECT_FALSE(converter->IsOutOfRange(u"-1.5", false));
  }
  // Without a range nothing is refused for range.
  EXPECT_FALSE(Make(u"r8")->IsOutOfRange(u"1e999", true));
}

TEST(RangeRefusalTest, FixedPointCountsOnlyTextTheCurrencyConversionTakes) {
  auto fixed = Make(u"fixed.14.4", Declared{u"", u"0", u"10"});
  EXPECT_TRUE(RefusedForRange(*fixed, u"10.0001", true));
  EXPECT_TRUE(RefusedForRange(*fixed, u"-0.5", false));
  EXPECT_FALSE(fixed->IsOutOfRange(u"10", true));
  // Refused for its range first, but no currency value either.
  EXPECT_FALSE(RefusedForRange(*fixed, u"12abc", true));
  EXPECT_FALSE(RefusedForRange(*fixed, u"1e20", true));
  // Refused as no currency value; the range would take what the real rule reads.
  EXPECT_FALSE(RefusedForRange(*fixed, u"5abc", true));
}

TEST(RangeRefusalTest, TypesWithoutARangeNeverAnswerTrue) {
  const Declared declared{u"", u"1", u"2", u"1", {u"a"}};
  for (const char16_t* dataType : {u"string", u"char", u"boolean", u"date", u"time.tz", u"bin.hex"}) {
    auto converter = Make(dataType, declared);
    ASSERT_TRUE(converter) << Narrow(dataType);
    EXPECT_FALSE(RefusedForRange(*converter, u"zz", true)) << Narrow(dataType);
  }
}

}  // namespace
