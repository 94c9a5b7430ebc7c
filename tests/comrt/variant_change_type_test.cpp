#include <gtest/gtest.h>
#include <langinfo.h>
#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_safe_array.h"
#include "comrt/com_variant.h"
#include "comrt/conversions.h"
#include "comrt/diagnostics.h"
#include "support/probe.h"

namespace {

using comrt_test::Text;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct Converted {
  HRESULT hr;
  CComVariant value;
};

Converted Change(const VARIANT& source, VARTYPE vt, USHORT flags = 0) {
  Converted out{E_FAIL, {}};
  out.hr = VariantChangeType(&out.value, &source, flags, vt);
  return out;
}

CComVariant TextValue(const std::u16string& text) {
  return CComVariant(CComBSTR(static_cast<int>(text.size()), text.data()));
}

CComVariant Currency(LONGLONG units) {
  CY value;
  value.int64 = units;
  return CComVariant(value);
}

CComVariant Date(double value) { return CComVariant(value, VT_DATE); }

std::u16string Decimal(__int128 value) {
  unsigned __int128 magnitude = value < 0 ? -static_cast<unsigned __int128>(value) : value;
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  return value < 0 ? u"-" + text : text;
}

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }
std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

struct IntegerTarget {
  VARTYPE vt;
  int bytes;
  bool isSigned;
  __int128 least() const { return isSigned ? -(__int128{1} << (8 * bytes - 1)) : 0; }
  __int128 most() const { return (__int128{1} << (8 * bytes - (isSigned ? 1 : 0))) - 1; }
  // The number a converted value of this type holds.
  __int128 In(const VARIANT& value) const {
    EXPECT_EQ(vt, value.vt);
    unsigned long long bits = 0;
    std::memcpy(&bits, &value.llVal, bytes);
    const int shift = 64 - 8 * bytes;
    return isSigned ? __int128{static_cast<long long>(bits << shift) >> shift} : __int128{bits};
  }
};

const IntegerTarget kIntegerTargets[] = {{VT_I1, 1, true}, {VT_UI1, 1, false}, {VT_I2, 2, true},   {VT_UI2, 2, false},
                                         {VT_I4, 4, true}, {VT_INT, 4, true},  {VT_UI4, 4, false}, {VT_UINT, 4, false},
                                         {VT_I8, 8, true}, {VT_UI8, 8, false}};

// Every way `value` can be given exactly: 64-bit integer, text, double and
// currency, where each can hold it.
std::vector<CComVariant> SourcesOf(__int128 value) {
  std::vector<CComVariant> sources{TextValue(Decimal(value))};
  if (value >= INT64_MIN && value <= INT64_MAX) sources.emplace_back(static_cast<long long>(value));
  if (value >= 0 && value <= UINT64_MAX) sources.emplace_back(static_cast<unsigned long long>(value));
  if (value >= -(__int128{1} << 53) && value <= (__int128{1} << 53)) sources.emplace_back(static_cast<double>(value));
  if (value >= -922337203685477 && value <= 922337203685477)
    sources.push_back(Currency(static_cast<LONGLONG>(value) * 10000));
  return sources;
}

TEST(VariantChangeTypeTest, EveryIntegerTargetChecksBothEndsOfItsRange) {
  for (const IntegerTarget& target : kIntegerTargets) {
    SCOPED_TRACE(testing::Message() << "to type " << target.vt);
    for (const __int128 inside : {target.least(), target.most(), target.least() + 1, target.most() - 1}) {
      for (const CComVariant& source : SourcesOf(inside)) {
        Converted out = Change(source, target.vt);
        ASSERT_EQ(S_OK, out.hr) << Narrow(Decimal(inside)) << " from type " << source.vt;
        EXPECT_TRUE(target.In(out.value) == inside) << Narrow(Decimal(inside)) << " from type " << source.vt;
      }
    }
    for (const __int128 outside : {target.least() - 1, target.most() + 1}) {
      for (const CComVariant& source : SourcesOf(outside)) {
        EXPECT_EQ(DISP_E_OVERFLOW, Change(source, target.vt).hr) << Narrow(Decimal(outside)) << " from " << source.vt;
      }
    }
    // Every maximum is odd, so half a unit above it rounds up and out; every
    // minimum is even, so half a unit below it rounds back onto it.
    const std::u16string belowLeast = target.isSigned ? Decimal(target.least()) + u".5" : u"-0.5";
    Converted bottom = Change(TextValue(belowLeast), target.vt);
    ASSERT_EQ(S_OK, bottom.hr);
    EXPECT_TRUE(target.In(bottom.value) == target.least());
    EXPECT_EQ(DISP_E_OVERFLOW, Change(TextValue(Decimal(target.most()) + u".5"), target.vt).hr);
    EXPECT_EQ(DISP_E_OVERFLOW, Change(TextValue(Decimal(target.least() - 1) + u".5"), target.vt).hr);
    if (target.bytes < 8) {
      EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(static_cast<double>(target.most()) + 0.5), target.vt).hr);
      EXPECT_TRUE(target.In(Change(CComVariant(static_cast<double>(target.least()) - 0.5), target.vt).value) ==
                  target.least());
    }
  }
}

TEST(VariantChangeTypeTest, NegativesOfEveryTypeOverflowUnsignedSixtyFourBits) {
  EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(-1), VT_UI8).hr);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(SHORT{-1}), VT_UI8).hr);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(true), VT_UI8).hr);
  EXPECT_EQ(0u, Change(TextValue(u"-0"), VT_UI8).value.ullVal);
  EXPECT_EQ(u"18446744073709551615", Text(Change(CComVariant(UINT64_MAX), VT_BSTR).value.bstrVal));
}

TEST(VariantChangeTypeTest, EverySourceRoundsHalfToEvenAtEveryIntegerTarget) {
  const struct {
    double value;
    int expected;
  } kCases[] = {{0.5, 0},     {1.5, 2},  {2.5, 2},   {3.5, 4},   {2.4999, 2}, {2.5001, 3},
                {126.5, 126}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {-3.5, -4},  {-2.5001, -3}};
  for (const IntegerTarget& target : kIntegerTargets) {
    for (const auto& c : kCases) {
      char text[32];
      std::snprintf(text, sizeof text, "%.4f", c.value);  // this thread's locale is "C"
      const CComVariant sources[] = {CComVariant(c.value), CComVariant(static_cast<float>(c.value)), Date(c.value),
                                     Currency(std::llround(c.value * 10000)), TextValue(Widen(text))};
      for (const CComVariant& source : sources) {
        Converted out = Change(source, target.vt);
        if (c.expected < target.least()) {
          EXPECT_EQ(DISP_E_OVERFLOW, out.hr);
        } else {
          ASSERT_EQ(S_OK, out.hr) << c.value << " from type " << source.vt << " to " << target.vt;
          EXPECT_TRUE(target.In(out.value) == c.expected) << c.value << " from " << source.vt << " to " << target.vt;
        }
      }
    }
  }
  EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(255.5), VT_UI1).hr);
  EXPECT_EQ(254, Change(CComVariant(254.5), VT_UI1).value.bVal);
  // Text rounds as written, not as its nearest double (2.5).
  EXPECT_EQ(3, Change(TextValue(u"2.50000000000000000000001"), VT_I4).value.lVal);
  EXPECT_EQ(-3, Change(TextValue(u"-2.50000000000000000000001"), VT_I4).value.lVal);
}

TEST(VariantChangeTypeTest, CurrencyIsExactBothWays) {
  // Reals round by the digits that stand for them: 0.00015 lies just below a
  // half in binary, yet reads as one.
  const struct {
    CComVariant source;
    LONGLONG units;
  } kCases[] = {{CComVariant(0.00005), 0},
                {CComVariant(0.00015), 2},
                {CComVariant(0.00025), 2},
                {CComVariant(1.00005), 10000},
                {CComVariant(-0.00025), -2},
                {CComVariant(0.1f), 1000},
                {Date(1.25), 12500},
                {CComVariant(922337203685477.0), 922337203685477LL * 10000},
                {CComVariant(-922337203685477LL), -922337203685477LL * 10000},
                {TextValue(u"1.23456"), 12346},
                {CComVariant(true), -10000}};
  for (const auto& c : kCases) {
    Converted out = Change(c.source, VT_CY);
    ASSERT_EQ(S_OK, out.hr) << c.units;
    EXPECT_EQ(c.units, out.value.cyVal.int64);
  }
  for (const CComVariant& outside :
       {CComVariant(922337203685478.0), CComVariant(-922337203685478.0), CComVariant(922337203685478LL),
        CComVariant(ULONGLONG{UINT64_MAX}), CComVariant(1e300), CComVariant(kNaN), CComVariant(kInfinity)}) {
    EXPECT_EQ(DISP_E_OVERFLOW, Change(outside, VT_CY).hr) << outside.vt;
  }
  EXPECT_EQ(0.0001, Change(Currency(1), VT_R8).value.dblVal);
  EXPECT_EQ(922337203685477.5807, Change(Currency(INT64_MAX), VT_R8).value.dblVal);
  EXPECT_EQ(-0.1f, Change(Currency(-1000), VT_R4).value.fltVal);
}

TEST(VariantChangeTypeTest, RealsFloatsAndDatesKeepTheirRanges) {
  for (const double value : {kNaN, kInfinity, -kInfinity}) {
    for (const CComVariant& source : {CComVariant(value), CComVariant(static_cast<float>(value)), Date(value)}) {
      for (const IntegerTarget& target : kIntegerTargets) {
        EXPECT_EQ(DISP_E_OVERFLOW, Change(source, target.vt).hr) << value << " to " << target.vt;
      }
      EXPECT_EQ(VARIANT_TRUE, Change(source, VT_BOOL).value.boolVal);
    }
    EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(value), VT_DATE).hr);
  }
  // Floats hold infinities and NaN, and round to their largest value up to
  // the midpoint with the next power of two.
  EXPECT_TRUE(std::isinf(Change(CComVariant(kInfinity), VT_R4).value.fltVal));
  EXPECT_TRUE(std::isnan(Change(CComVariant(kNaN), VT_R4).value.fltVal));
  const double midpoint = 0x1.ffffffp127;
  EXPECT_EQ(std::numeric_limits<float>::max(), Change(CComVariant(std::nextafter(midpoint, 0.0)), VT_R4).value.fltVal);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(midpoint), VT_R4).hr);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(-1e39), VT_R4).hr);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(TextValue(u"3.5e38"), VT_R4).hr);
  EXPECT_EQ(0.0f, Change(CComVariant(1e-50), VT_R4).value.fltVal);
  EXPECT_EQ(16777216.0f, Change(CComVariant(16777217LL), VT_R4).value.fltVal);
  EXPECT_EQ(0x1p64, Change(CComVariant(ULONGLONG{UINT64_MAX}), VT_R8).value.dblVal);
  // Dates are their number, within the years 100 to 9999.
  EXPECT_EQ(-1.25, Change(Date(-1.25), VT_R8).value.dblVal);
  EXPECT_EQ(36526.75, Change(CComVariant(36526.75), VT_DATE).value.date);
  EXPECT_EQ(-1.0, Change(CComVariant(true), VT_DATE).value.date);
  EXPECT_EQ(-657434.99, Change(CComVariant(-657434.99), VT_DATE).value.date);
  EXPECT_EQ(2958465.5, Change(Currency(29584655000), VT_DATE).value.date);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(-657435.0), VT_DATE).hr);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(2958466LL), VT_DATE).hr);
  EXPECT_EQ(-1.25, Change(TextValue(u"1899-12-29 06:00"), VT_DATE).value.date);
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(TextValue(u"36526"), VT_DATE).hr);
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(TextValue(std::u16string(u"2000-01-01\0x", 12)), VT_DATE).hr);
}

TEST(VariantChangeTypeTest, BooleansAreMinusOneOrZeroAndAnyNonzeroNumberIsTrue) {
  EXPECT_EQ(-1, Change(CComVariant(true), VT_I2).value.iVal);
  EXPECT_EQ(-1.0, Change(CComVariant(true), VT_R8).value.dblVal);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(CComVariant(true), VT_UI1).hr);  // -1 is no unsigned number
  EXPECT_EQ(0, Change(CComVariant(false), VT_UI8).value.ullVal);
  for (const CComVariant& source :
       {CComVariant(5), CComVariant(ULONGLONG{1} << 63), CComVariant(-1e-300), CComVariant(1e-45f), Currency(1),
        Date(-0.5), TextValue(u"True"), TextValue(u" tRUE\t"), TextValue(u"-3"), TextValue(u"1e-9999")}) {
    Converted out = Change(source, VT_BOOL);
    ASSERT_EQ(S_OK, out.hr) << source.vt;
    EXPECT_EQ(VARIANT_TRUE, out.value.boolVal) << source.vt;
  }
  for (const CComVariant& source : {CComVariant(0), CComVariant(-0.0), Currency(0), TextValue(u"FALSE"),
                                    TextValue(u"false "), TextValue(u"-0.000"), CComVariant()}) {
    Converted out = Change(source, VT_BOOL);
    ASSERT_EQ(S_OK, out.hr) << source.vt;
    EXPECT_EQ(VARIANT_FALSE, out.value.boolVal) << source.vt;
  }
  for (const char16_t* text : {u"", u"yes", u"T", u"truex", u"#TRUE#", u"tr ue"}) {
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(TextValue(text), VT_BOOL).hr) << Narrow(text);
  }
}

TEST(VariantChangeTypeTest, TextIsReadByOneNarrowLocaleFreeGrammar) {
  const struct {
    const char16_t* text;
    double value;
  } kAccepted[] = {{u"-0", 0},
                   {u"+12", 12},
                   {u"12.", 12},
                   {u".5", 0.5},
                   {u"-.5e1", -5},
                   {u"1E+3", 1000},
                   {u"2.5e-3", 0.0025},
                   {u"007", 7},
                   {u" \t\n\v\f\r42 \r\n", 42},
                   {u"1e-400", 0},
                   {u"123456789012345678901234567890", 1.2345678901234568e29}};
  for (const auto& c : kAccepted) {
    Converted out = Change(TextValue(c.text), VT_R8);
    ASSERT_EQ(S_OK, out.hr) << Narrow(c.text);
    EXPECT_EQ(c.value, out.value.dblVal) << Narrow(c.text);
  }
  const std::u16string kRejected[] = {
      u"",      u"   ",   u"+",   u"-",      u".",       u"e5",  u"1e",
      u"1e+",   u"1,000", u"1,5", u"1 000",  u"0x1A",    u"$5",  u"5$",
      u"(5)",   u"1.2.3", u"--1", u"+-1",    u"inf",     u"NaN", u"1.5f",
      u"12abc", u"1e5.5", u"1d5", u"\uFF11", u"\u00A05", u"5-",  std::u16string(u"1\0", 2)};
  for (const std::u16string& text : kRejected) {
    for (const VARTYPE vt : {VT_R8, VT_R4, VT_I4, VT_UI8, VT_CY, VT_BOOL}) {
      EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(TextValue(text), vt).hr) << "\"" << Narrow(text) << "\" to " << vt;
    }
  }
  VARIANT nullText;  // reads as the empty text
  nullText.vt = VT_BSTR;
  nullText.bstrVal = nullptr;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(nullText, VT_I4).hr);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(TextValue(u"1e309"), VT_R8).hr);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(TextValue(u"-1e99999999999999999999"), VT_R8).hr);
  EXPECT_EQ(0, Change(TextValue(u"-0.4"), VT_UI1).value.bVal);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(TextValue(u"-0.6"), VT_UI1).hr);
}

TEST(VariantChangeTypeTest, LongTextIsReadExactly) {
  const std::u16string zeros(10000, u'0');
  EXPECT_EQ(42, Change(TextValue(zeros + u"42"), VT_I4).value.lVal);
  EXPECT_EQ(1234, Change(TextValue(u"1234" + zeros + u"e-10000"), VT_I4).value.lVal);
  EXPECT_EQ(42.5, Change(TextValue(zeros + u"42.5" + zeros), VT_R8).value.dblVal);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(TextValue(u"1" + zeros), VT_I8).hr);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(TextValue(u"1" + zeros), VT_R8).hr);
  EXPECT_EQ(0, Change(TextValue(u"0." + zeros + u"1"), VT_R8).value.dblVal);
  // Exactly halfway between 1 and the next double rounds to even; any later
  // digit, however far, tips it up.
  const std::u16string half = u"1.00000000000000011102230246251565404236316680908203125";
  const double next = std::nextafter(1.0, 2.0);
  EXPECT_EQ(1.0, Change(TextValue(half + zeros), VT_R8).value.dblVal);
  EXPECT_EQ(next, Change(TextValue(half + u"1"), VT_R8).value.dblVal);
  EXPECT_EQ(next, Change(TextValue(half + zeros + u"1"), VT_R8).value.dblVal);
  // Floats are read directly; through a double this would round twice to 1.
  EXPECT_EQ(std::nextafter(1.0f, 2.0f), Change(TextValue(u"1.0000000596046447753906250000000001"), VT_R4).value.fltVal);
  EXPECT_EQ(std::numeric_limits<double>::denorm_min(),
            Change(TextValue(u"4.9406564584124654e-324"), VT_R8).value.dblVal);
  // Integers never pass through a double.
  EXPECT_EQ(INT64_MAX, Change(TextValue(u"9223372036854775807"), VT_I8).value.llVal);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(TextValue(u"9223372036854775808"), VT_I8).hr);
  EXPECT_EQ(INT64_MAX, Change(TextValue(u"92233720368547758.07e2"), VT_I8).value.llVal);
}

TEST(VariantChangeTypeTest, NumbersAndDatesBecomeLocaleFreeText) {
  const struct {
    CComVariant value;
    const char16_t* text;
  } kCases[] = {{CComVariant(int8_t{-128}), u"-128"},
                {CComVariant(ULONGLONG{UINT64_MAX}), u"18446744073709551615"},
                {CComVariant(LONGLONG{INT64_MIN}), u"-9223372036854775808"},
                {CComVariant(0.1 + 0.2), u"0.3"},
                {CComVariant(2.0 / 3), u"0.666666666666667"},
                {CComVariant(999999999999999.0), u"999999999999999"},
                {CComVariant(9999999999999999.0), u"1E+16"},  // rounding reaches the next power
                {CComVariant(1e20), u"1E+20"},
                {CComVariant(123456789012345678.0), u"1.23456789012346E+17"},
                {CComVariant(0.00012345), u"0.00012345"},
                {CComVariant(0.00001), u"1E-05"},
                {CComVariant(-2.5e-10), u"-2.5E-10"},
                {CComVariant(1e300), u"1E+300"},
                {CComVariant(-0.0), u"0"},
                {CComVariant(kNaN), u"NAN"},
                {CComVariant(-kInfinity), u"-INF"},
                {CComVariant(0.1f), u"0.1"},
                {CComVariant(1.0f / 3), u"0.3333333"},
                {CComVariant(16777216.0f), u"1.677722E+07"},
                {Currency(15000), u"1.5"},
                {Currency(-1), u"-0.0001"},
                {Currency(120000), u"12"},
                {Currency(INT64_MIN), u"-922337203685477.5808"},
                {CComVariant(true), u"-1"},
                {CComVariant(), u""},
                {Date(45351.5), u"2024-02-29 12:00:00"},
                {Date(45351), u"2024-02-29"},
                {Date(0.75), u"18:00:00"},
                {Date(0), u"00:00:00"},
                {Date(-1.25), u"1899-12-29 06:00:00"},
                {Date(0.999999999), u"1899-12-31"},
                {Date(-657434), u"0100-01-01"}};
  for (const auto& c : kCases) {
    Converted out = Change(c.value, VT_BSTR);
    ASSERT_EQ(S_OK, out.hr) << Narrow(c.text);
    ASSERT_EQ(VT_BSTR, out.value.vt);
    ASSERT_NE(nullptr, out.value.bstrVal);
    EXPECT_EQ(c.text, Text(out.value.bstrVal));
  }
  EXPECT_EQ(u"True", Text(Change(CComVariant(true), VT_BSTR, VARIANT_ALPHABOOL).value.bstrVal));
  EXPECT_EQ(u"False", Text(Change(CComVariant(false), VT_BSTR, VARIANT_ALPHABOOL).value.bstrVal));
  EXPECT_EQ(DISP_E_OVERFLOW, Change(Date(2958466.5), VT_BSTR).hr);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(Date(kNaN), VT_BSTR).hr);
}

TEST(VariantChangeTypeTest, EmptyNullErrorAndTheSameType) {
  for (const IntegerTarget& target : kIntegerTargets) {
    EXPECT_TRUE(target.In(Change(CComVariant(), target.vt).value) == 0);
  }
  EXPECT_EQ(0.0, Change(CComVariant(), VT_DATE).value.date);
  EXPECT_EQ(VARIANT_FALSE, Change(CComVariant(), VT_BOOL).value.boolVal);
  CComVariant null;
  null.vt = VT_NULL;
  EXPECT_EQ(VT_NULL, Change(null, VT_NULL).value.vt);
  EXPECT_EQ(S_OK, Change(null, VT_EMPTY).hr);
  const CComVariant error(DISP_E_PARAMNOTFOUND, VT_ERROR);
  EXPECT_EQ(DISP_E_PARAMNOTFOUND, Change(error, VT_ERROR).value.scode);
  EXPECT_EQ(S_OK, Change(error, VT_EMPTY).hr);
  for (const VARTYPE vt : {VT_I4, VT_BSTR, VT_BOOL, VT_R8, VT_DATE, VT_CY}) {
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(null, vt).hr) << vt;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(error, vt).hr) << vt;
  }
  for (const CComVariant& source : {CComVariant(), CComVariant(1), TextValue(u"x")}) {
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(source, VT_NULL).hr) << source.vt;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(source, VT_ERROR).hr) << source.vt;
  }
  // The same type is a deep copy.
  const CComVariant text = TextValue(u"copy me");
  Converted copy = Change(text, VT_BSTR);
  EXPECT_NE(text.bstrVal, copy.value.bstrVal);
  EXPECT_EQ(u"copy me", Text(copy.value.bstrVal));
}

TEST(VariantChangeTypeTest, ObjectsArraysDecimalsAndBadTagsDoNotConvert) {
  CComPtr<IUnknown> probe = comrt_test::MakeProbe();
  const CComVariant object(probe.p);
  for (const VARTYPE vt : {VT_I4, VT_BSTR, VT_BOOL, VT_DISPATCH}) {
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(object, vt).hr) << vt;
  }
  EXPECT_EQ(probe.p, Change(object, VT_UNKNOWN).value.punkVal);
  CComSafeArray<VARIANT> array(1);
  const CComVariant arrayValue(static_cast<const SAFEARRAY*>(array));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(arrayValue, VT_BSTR).hr);
  EXPECT_NE(arrayValue.parray, Change(arrayValue, VT_ARRAY | VT_VARIANT).value.parray);
  CComVariant decimal;
  decimal.decVal = DECIMAL{};
  decimal.vt = VT_DECIMAL;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(decimal, VT_I4).hr);
  const VARTYPE kNoConversion[] = {VT_DECIMAL, VT_ARRAY | VT_I4, VT_BYREF | VT_I4, VT_UNKNOWN};
  for (const VARTYPE vt : kNoConversion) {
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(CComVariant(1), vt).hr) << vt;
  }
  const VARTYPE kBad[] = {15, VT_VARIANT, VT_RECORD, VT_VECTOR | VT_I4, VT_RESERVED | VT_I4, VT_ILLEGAL};
  for (const VARTYPE bad : kBad) {
    EXPECT_EQ(DISP_E_BADVARTYPE, Change(CComVariant(1), bad).hr) << bad;
    VARIANT badSource;
    badSource.vt = bad;
    badSource.llVal = 0;
    EXPECT_EQ(DISP_E_BADVARTYPE, Change(badSource, VT_I4).hr) << bad;
  }
  VARIANT value;
  value.vt = VT_EMPTY;
  EXPECT_EQ(E_INVALIDARG, VariantChangeType(nullptr, &value, 0, VT_I4));
  EXPECT_EQ(E_INVALIDARG, VariantChangeType(&value, nullptr, 0, VT_I4));
}

TEST(VariantChangeTypeTest, ConvertsInPlaceAndThroughReferences) {
  const int64_t strings = comrt::diagnostics::GetLiveCounts().strings;
  CComVariant value = TextValue(u" 42 ");
  EXPECT_EQ(S_OK, VariantChangeType(&value, &value, 0, VT_I4));
  EXPECT_EQ(42, value.lVal);
  EXPECT_EQ(strings, comrt::diagnostics::GetLiveCounts().strings);  // the text was freed
  EXPECT_EQ(S_OK, VariantChangeType(&value, &value, 0, VT_BSTR));
  EXPECT_EQ(u"42", Text(value.bstrVal));
  EXPECT_EQ(S_OK, VariantChangeType(&value, &value, 0, VT_EMPTY));
  EXPECT_EQ(VT_EMPTY, value.vt);

  LONG number = 300;
  VARIANT reference;
  reference.vt = VT_BYREF | VT_I4;
  reference.plVal = &number;
  EXPECT_EQ(300.0, Change(reference, VT_R8).value.dblVal);
  EXPECT_EQ(DISP_E_OVERFLOW, Change(reference, VT_UI1).hr);
  EXPECT_EQ(300, Change(reference, VT_I4).value.lVal);
  EXPECT_EQ(&number, Change(reference, VT_BYREF | VT_I4).value.plVal);  // the same type copies the reference
  CComBSTR text(u"7");
  VARIANT textReference;
  textReference.vt = VT_BYREF | VT_BSTR;
  textReference.pbstrVal = &text.m_str;
  EXPECT_EQ(7, Change(textReference, VT_UI1).value.bVal);
  EXPECT_EQ(u"7", Text(text));
  // In place, a reference to a variant becomes the value; the referent stays.
  CComVariant inner = TextValue(u"2.5");
  VARIANT variantReference;
  variantReference.vt = VT_BYREF | VT_VARIANT;
  variantReference.pvarVal = &inner;
  EXPECT_EQ(S_OK, VariantChangeType(&variantReference, &variantReference, 0, VT_R8));
  EXPECT_EQ(2.5, variantReference.dblVal);
  EXPECT_EQ(u"2.5", Text(inner.bstrVal));
  reference.plVal = nullptr;
  EXPECT_EQ(E_INVALIDARG, Change(reference, VT_R8).hr);
}

TEST(VariantChangeTypeTest, FailureLeavesBothVariantsAsTheyWere) {
  CComVariant dest = TextValue(u"keep");
  const BSTR kept = dest.bstrVal;
  CComVariant source = TextValue(u"not a number");
  const BSTR sourceText = source.bstrVal;
  const CComVariant tooLarge(1e10);
  EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&dest, &source, 0, VT_I4));
  EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&dest, &tooLarge, 0, VT_I4));
  EXPECT_EQ(DISP_E_BADVARTYPE, VariantChangeType(&dest, &source, 0, 15));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&source, &source, 0, VT_R8));
  EXPECT_EQ(kept, dest.bstrVal);
  EXPECT_EQ(u"keep", Text(dest.bstrVal));
  EXPECT_EQ(sourceText, source.bstrVal);
  EXPECT_EQ(u"not a number", Text(source.bstrVal));
  // A destination that cannot be cleared keeps its value, and the text made
  // for it is freed, not lost (the leak check would see it).
  CComSafeArray<VARIANT> array(1);
  CComVariant locked(static_cast<const SAFEARRAY*>(array));
  ASSERT_EQ(S_OK, SafeArrayLock(locked.parray));
  const CComVariant five(5);
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, VariantChangeType(&locked, &five, 0, VT_BSTR));
  EXPECT_EQ(VT_ARRAY | VT_VARIANT, locked.vt);
  ASSERT_EQ(S_OK, SafeArrayUnlock(locked.parray));
}

// A locale whose decimal separator is a comma: an installed one, or else one
// built from a numeric-only definition in a temporary folder.
locale_t CommaLocale() {
  auto usable = [](locale_t locale) {
    if (locale && std::strcmp(nl_langinfo_l(RADIXCHAR, locale), ",") == 0) return locale;
    if (locale) freelocale(locale);
    return locale_t{};
  };
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
    if (locale_t locale = usable(newlocale(LC_NUMERIC_MASK, name, nullptr))) return locale;
  }
  char folder[] = "/tmp/comrt_locale_XXXXXX";
  if (!mkdtemp(folder)) return nullptr;
  const std::string base(folder);
  if (FILE* definition = std::fopen((base + "/comma.def").c_str(), "w")) {
    std::fputs("LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"<U002E>\"\ngrouping 3;3\nEND LC_NUMERIC\n",
               definition);
    std::fclose(definition);
  }
  // localedef complains of the categories left out, and builds anyway.
  const std::string command = "localedef -c -i " + base + "/comma.def " + base + "/comma_TEST >/dev/null 2>&1";
  locale_t locale = nullptr;
  if (std::system(command.c_str()) != -1) {
    // Read when a locale is loaded; no other thread runs yet.
    setenv("LOCPATH", base.c_str(), 1);
    locale = usable(newlocale(LC_NUMERIC_MASK, "comma_TEST", nullptr));
    unsetenv("LOCPATH");
  }
  std::error_code ignored;
  std::filesystem::remove_all(base, ignored);
  return locale;
}

TEST(VariantChangeTypeTest, NeitherTheThreadLocaleNorTheLocaleIdentifierMatters) {
  locale_t comma = CommaLocale();
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma is installed and none could be built";
  std::thread worker([comma] {
    uselocale(comma);
    EXPECT_EQ(1.5, std::strtod("1,5", nullptr)) << "the comma locale is not in force";
    constexpr LCID kGerman = 0x0407;
    const CComVariant text = TextValue(u"1.5");
    CComVariant value;
    EXPECT_EQ(S_OK, VariantChangeTypeEx(&value, &text, kGerman, 0, VT_R8));
    EXPECT_EQ(1.5, value.dblVal);
    EXPECT_EQ(S_OK, VariantChangeTypeEx(&value, &value, kGerman, 0, VT_BSTR));
    EXPECT_EQ(u"1.5", Text(value.bstrVal));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Change(TextValue(u"1,5"), VT_R8).hr);
    EXPECT_EQ(0.25f, Change(TextValue(u"0.25"), VT_R4).value.fltVal);
    EXPECT_EQ(u"0.25", Text(Change(CComVariant(0.25f), VT_BSTR).value.bstrVal));
    EXPECT_EQ(u"1.5E+20", Text(Change(CComVariant(1.5e20), VT_BSTR).value.bstrVal));
    EXPECT_EQ(u"-12.3456", Text(Change(Currency(-123456), VT_BSTR).value.bstrVal));
    CY currency;
    EXPECT_EQ(S_OK, VarCyFromStr(u"1234.5678", kGerman, 0, &currency));
    EXPECT_EQ(12345678, currency.int64);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VarCyFromStr(u"1234,5678", kGerman, 0, &currency));
    uselocale(LC_GLOBAL_LOCALE);
  });
  worker.join();
  freelocale(comma);
}

}  // namespace
