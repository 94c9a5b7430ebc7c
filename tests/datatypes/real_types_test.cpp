// "r4", "float", "r8", "number" and "fixed.14.4".
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <locale.h>
#include <thread>

#include "datatypes/converter_test_support.h"

namespace {

using datatypes_test::Currency;
using datatypes_test::Declared;
using datatypes_test::FailureOf;
using datatypes_test::Make;
using datatypes_test::Real4;
using datatypes_test::Real8;
using datatypes_test::RoundTrip;

TEST(RealReadTest, ReadsByTheRealRuleInTheTypesPrecision) {
  const CComVariant r8 = Make(u"r8")->StringToVariant(u"2.5abc", true);
  ASSERT_EQ(VT_R8, r8.vt);
  EXPECT_EQ(2.5, r8.dblVal);
  EXPECT_EQ(0.0, Make(u"r8")->StringToVariant(u"letters", false).dblVal);
  for (const char16_t* single : {u"r4", u"float"}) {
    const CComVariant value = Make(single)->StringToVariant(u"0.1", false);
    ASSERT_EQ(VT_R4, value.vt);
    EXPECT_EQ(0.1f, value.fltVal);
  }
}

TEST(RealRangeTest, BoundsAreInclusiveAndTheStepIsNeverChecked) {
  const Declared range{u"", u"-1.5", u"2.5", u"1"};
  auto r8 = Make(u"r8", range);
  EXPECT_EQ(-1.5, r8->StringToVariant(u"-1.5", false).dblVal);
  EXPECT_EQ(0.25, r8->StringToVariant(u"0.25", false).dblVal);  // off the step, allowed
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { r8->StringToVariant(u"2.51", false); }));
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { r8->VariantToString(Real8(-1.6)); }));
  // Bounds of a single-precision type are held in single precision.
  const Declared tenth{u"", u"", u"0.1"};
  EXPECT_EQ(u"0.100000", Make(u"float", tenth)->VariantToString(Real4(0.1f)));
}

TEST(RealWriteTest, FixedSixDecimalsWhenTheyKeepTheValue) {
  auto r8 = Make(u"r8");
  EXPECT_EQ(u"1.500000", r8->VariantToString(Real8(1.5)));
  EXPECT_EQ(u"-0.250000", r8->VariantToString(Real8(-0.25)));
  EXPECT_EQ(u"100000000000000000000.000000", r8->VariantToString(Real8(1e20)));
  EXPECT_EQ(u"0.000000", r8->VariantToString(Real8(0.0)));
  EXPECT_EQ(u"1.500000", Make(u"r4")->VariantToString(Real4(1.5f)));
  EXPECT_EQ(u"0.100000", Make(u"r4")->VariantToString(Real4(0.1f)));
}

TEST(RealWriteTest, ShortestExactTextWhenSixDecimalsWouldLoseTheValue) {
  auto r8 = Make(u"r8");
  EXPECT_EQ(u"1e-07", r8->VariantToString(Real8(1e-7)));
  EXPECT_EQ(u"1.23456789", r8->VariantToString(Real8(1.23456789)));
  EXPECT_EQ(u"0.100000", r8->VariantToString(Real8(0.1)));  // reads back as the same double
  const std::u16string floatMax = Make(u"float")->VariantToString(Real4(3.4e38f));
  EXPECT_EQ(3.4e38f, Make(u"float")->StringToVariant(floatMax, false).fltVal);
  // Whatever is written reads back to the same value.
  for (double value : {1e-300, 123456.789012345678, -9.87654321e-5, 5e-324, 1.7976931348623157e308}) {
    EXPECT_EQ(value, r8->StringToVariant(r8->VariantToString(Real8(value)), false).dblVal) << value;
  }
  for (float value : {1e-7f, 1.23456789f, 3.4e38f, 1e-45f, 16777217.0f}) {
    EXPECT_EQ(value, Make(u"r4")->StringToVariant(Make(u"r4")->VariantToString(Real4(value)), false).fltVal)
        << value;
  }
}

TEST(RealWriteTest, RefusesOtherVariantTypesAndValuesTextCannotCarry) {
  EXPECT_EQ(E_INVALIDARG, FailureOf([] { Make(u"float")->VariantToString(Real8(1.0)); }));
  EXPECT_EQ(E_INVALIDARG, FailureOf([] { Make(u"r8")->VariantToString(Real4(1.0f)); }));
  EXPECT_EQ(E_INVALIDARG, FailureOf([] { Make(u"r8")->VariantToString(CComVariant(1)); }));
  EXPECT_EQ(E_INVALIDARG,
            FailureOf([] { Make(u"r8")->VariantToString(Real8(std::numeric_limits<double>::infinity())); }));
  EXPECT_EQ(E_INVALIDARG,
            FailureOf([] { Make(u"r4")->VariantToString(Real4(std::numeric_limits<float>::quiet_NaN())); }));
}

TEST(NumberTest, KeepsTheTextButChecksAndWritesItsNumber) {
  const Declared range{u"", u"0", u"10"};
  auto number = Make(u"number", range);
  const CComVariant read = number->StringToVariant(u"1,5", false);  // checked as 1.0
  ASSERT_EQ(VT_BSTR, read.vt);
  EXPECT_EQ(std::u16string(u"1,5"), read.bstrVal);
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { number->StringToVariant(u"11", false); }));
  EXPECT_EQ(u"12.000000", Make(u"number")->VariantToString(CComVariant(u"12")));
  EXPECT_EQ(u"1e-07", Make(u"number")->VariantToString(CComVariant(u"0.0000001")));
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { number->VariantToString(CComVariant(u"11")); }));
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { number->VariantToString(Real8(1.0)); }));
  CComVariant nullText;
  nullText.vt = VT_BSTR;
  nullText.bstrVal = nullptr;
  EXPECT_EQ(u"0.000000", number->VariantToString(nullText));
}

TEST(FixedPointTest, ReadsCurrencyAndWritesFourDecimals) {
  auto fixed = Make(u"fixed.14.4");
  const CComVariant read = fixed->StringToVariant(u"1234.5678", false);
  ASSERT_EQ(VT_CY, read.vt);
  EXPECT_EQ(12345678, read.cyVal.int64);
  EXPECT_EQ(u"1234.5678", fixed->VariantToString(Currency(12345678)));
  EXPECT_EQ(u"1.0500", fixed->VariantToString(Currency(10500)));
  EXPECT_EQ(u"-0.5000", fixed->VariantToString(Currency(-5000)));
  EXPECT_EQ(u"0.0000", fixed->VariantToString(Currency(0)));
  EXPECT_EQ(u"-922337203685477.5808", fixed->VariantToString(Currency(INT64_MIN)));
  // Neither the 14 nor the 4 digits are enforced; further decimals round.
  EXPECT_EQ(u"0.1235", RoundTrip(*fixed, u"0.123456"));
  EXPECT_EQ(DISP_E_OVERFLOW, FailureOf([&] { fixed->StringToVariant(u"1e20", false); }));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, FailureOf([&] { fixed->StringToVariant(u"12abc", false); }));
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { fixed->VariantToString(Real8(1.0)); }));
}

TEST(FixedPointTest, RangeIsCheckedWhenReadingOnly) {
  const Declared range{u"", u"0", u"1"};
  auto fixed = Make(u"fixed.14.4", range);
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { fixed->StringToVariant(u"1.5", false); }));
  EXPECT_EQ(u"5.0000", fixed->VariantToString(Currency(50000)));
}

TEST(FixedPointTest, DecimalPointIsReadWhateverTheThreadLocale) {
  locale_t comma = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  if (!comma) comma = newlocale(LC_NUMERIC_MASK, "fr_FR.UTF-8", static_cast<locale_t>(0));
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma is installed";
  CComVariant read;
  std::u16string written;
  std::thread reader([&] {
    uselocale(comma);
    auto fixed = Make(u"fixed.14.4");
    read = fixed->StringToVariant(u"1.5", false);
    written = Make(u"r8")->VariantToString(Real8(1.5));
    uselocale(LC_GLOBAL_LOCALE);
  });
  reader.join();
  freelocale(comma);
  EXPECT_EQ(15000, read.cyVal.int64);
  EXPECT_EQ(u"1.500000", written);
}

}  // namespace
