#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "comrt/conversions.h"

namespace {

// VarCyFromStr's result, or its failure with the output left as it was.
void ExpectRead(HRESULT hr, LONGLONG units, const std::u16string& text) {
  CY value;
  value.int64 = 77;
  EXPECT_EQ(hr, VarCyFromStr(text.c_str(), LOCALE_USER_DEFAULT, 0, &value)) << std::string(text.begin(), text.end());
  EXPECT_EQ(SUCCEEDED(hr) ? units : 77, value.int64) << std::string(text.begin(), text.end());
}

void ExpectUnits(LONGLONG units, const std::u16string& text) { ExpectRead(S_OK, units, text); }

TEST(VarCyFromStrTest, TheWholeRangeIsExact) {
  ExpectUnits(INT64_MAX, u"922337203685477.5807");
  ExpectUnits(INT64_MIN, u"-922337203685477.5808");
  ExpectUnits(INT64_MAX, u" +0922337203685477.58074999 ");
  ExpectUnits(INT64_MIN, u"-922337203685477.58084999");
  ExpectRead(DISP_E_OVERFLOW, 0, u"922337203685477.5808");
  ExpectRead(DISP_E_OVERFLOW, 0, u"-922337203685477.5809");
  ExpectRead(DISP_E_OVERFLOW, 0, u"922337203685477.58075");  // rounds to the even ...5808
  ExpectRead(DISP_E_OVERFLOW, 0, u"99999999999999999999999");
}

TEST(VarCyFromStrTest, TheFifthDecimalRoundsHalfToEven) {
  ExpectUnits(0, u"0.00005");
  ExpectUnits(2, u"0.00015");
  ExpectUnits(2, u"0.00025");
  ExpectUnits(3, u"0.000250001");
  ExpectUnits(0, u"0.0000499999999");
  ExpectUnits(-2, u"-0.00015");
  ExpectUnits(-3, u"-0.00025000000000000000000000001");
  ExpectUnits(123456, u"12.34565");
}

TEST(VarCyFromStrTest, ExponentsAndLongTextsMoveThePointExactly) {
  ExpectUnits(15000000, u"1.5e3");
  ExpectUnits(1, u"1E-4");
  ExpectUnits(2, u"15e-5");
  ExpectUnits(INT64_MAX, u"9223372036854775807e-4");
  ExpectRead(DISP_E_OVERFLOW, 0, u"1e15");
  ExpectRead(DISP_E_OVERFLOW, 0, u"1e99999999999999999999999999");
  ExpectUnits(0, u"1e-99999999999999999999999999");
  ExpectUnits(0, u"0e99999999999999999999");
  const std::u16string zeros(10000, u'0');
  ExpectUnits(15000, zeros + u"1.5" + zeros);
  ExpectUnits(2, u"0.00015" + zeros);         // still exactly a half
  ExpectUnits(3, u"0.00025" + zeros + u"1");  // the last digit tips it up
  ExpectUnits(10000, u"1" + zeros + u"e-10000");
  ExpectRead(DISP_E_OVERFLOW, 0, u"1" + zeros);
}

TEST(VarCyFromStrTest, RefusesOtherTextAndNullPointers) {
  for (const char16_t* text : {u"", u" ", u".", u"1e", u"1,5", u"$1", u"\u20AC1", u"1 000", u"0x10", u"1.2.3"}) {
    ExpectRead(DISP_E_TYPEMISMATCH, 0, text);
  }
  CY value;
  EXPECT_EQ(E_INVALIDARG, VarCyFromStr(nullptr, LOCALE_USER_DEFAULT, 0, &value));
  EXPECT_EQ(E_INVALIDARG, VarCyFromStr(u"1", LOCALE_USER_DEFAULT, 0, nullptr));
}

}  // namespace
