// Named values over the library's converters: argument arrays built from
// text, values that the kit or the library refuses, and message objects
// described by name.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "comrt/com_safe_array.h"
#include "varnel/host/service.h"

namespace {

using varnel::host::DecodedMessage;
using varnel::host::Library;
using varnel::host::NamedValue;
using varnel::host::NamedValues;
using varnel::host::Service;
using varnel::host::ServiceDescription;
using varnel::host::Status;
using varnel::host::TextValue;

class NamedValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ServiceDescription description;
    Status status =
        ServiceDescription::LoadFile(std::string(VARNEL_TEST_DATA_DIR) + "/scpd/all_types.xml", &description);
    ASSERT_TRUE(status.ok()) << status.ToString();
    status = Service::Open(Library(VARNEL_LIBRARY_PATH), std::move(description),
                           "urn:schemas-example-org:service:AllTypes:1", &service_);
    ASSERT_TRUE(status.ok()) << status.ToString();
  }

  const NamedValues& values() const { return service_->values(); }

  // The code ParseValue answers for `text` as a value of `variable`.
  HRESULT ParseCode(const char* variable, const char* text) const {
    CComVariant value;
    return values().ParseValue(variable, text, &value).code();
  }

  std::unique_ptr<Service> service_;
};

TEST_F(NamedValuesTest, ValuesGoInDescriptionOrderWithTheirTypes) {
  const varnel::host::Action& echo = *service_->description().FindAction("Everything");
  std::vector<TextValue> given = {
      {"In_V_time_tz", "10:20:30Z"}, {"In_V_i1", "-4"},        {"In_V_i2", "-300"},
      {"In_V_i4", "-1000"},          {"In_V_ui1", "200"},      {"In_V_ui2", "65535"},
      {"In_V_ui4", "4000000000"},    {"In_V_int", "7"},        {"In_V_r4", "1.25"},
      {"In_V_r8", "-2.5e3"},         {"In_V_float", "0.5"},    {"In_V_fixed_14_4", "12.3456"},
      {"In_V_number", "99.5"},       {"In_V_char", "b"},       {"In_V_string", "Beta"},
      {"In_V_uri", "http://x/y"},    {"In_V_uuid", "u-1"},     {"In_V_boolean", "true"},
      {"In_V_date", "2011-02-15"},   {"In_V_dateTime", "2011-02-15T08:05:09"},
      {"In_V_dateTime_tz", "2011-02-15T08:05:09Z"}, {"In_V_time", "08:05:09"},
  };
  CComVariant arguments;
  const Status built = values().BuildArguments(echo, false, given, &arguments);
  ASSERT_TRUE(built.ok()) << built.ToString();
  ASSERT_EQ(VT_ARRAY | VT_VARIANT, arguments.vt);
  CComSafeArray<VARIANT> array(arguments.parray);
  ASSERT_EQ(22u, array.GetCount());
  const VARTYPE expected[] = {VT_I1, VT_I2, VT_I4, VT_UI1, VT_UI2, VT_UI4, VT_I4, VT_R4, VT_R8, VT_R4, VT_CY,
                              VT_BSTR, VT_UI2, VT_BSTR, VT_BSTR, VT_BSTR, VT_BOOL, VT_DATE, VT_DATE, VT_DATE,
                              VT_DATE, VT_DATE};
  for (LONG i = 0; i < 22; ++i) EXPECT_EQ(expected[i], array.GetAt(i).vt) << "argument " << i;
  EXPECT_EQ(-4, array.GetAt(0).cVal);
  EXPECT_EQ(4000000000u, array.GetAt(5).ulVal);
  EXPECT_EQ(VARIANT_TRUE, array.GetAt(16).boolVal);

  // Read back by name, with the text each type writes.
  std::vector<NamedValue> named;
  const Status read = values().ReadArguments(echo, false, arguments, &named);
  ASSERT_TRUE(read.ok()) << read.ToString();
  ASSERT_EQ(22u, named.size());
  EXPECT_EQ("In_V_i1", named[0].name);
  EXPECT_EQ("V_i1", named[0].variable);
  EXPECT_EQ("i1", named[0].dataType);
  EXPECT_EQ("-4", named[0].text);
  EXPECT_EQ("-2500.000000", named[8].text);
  EXPECT_EQ("12.3456", named[10].text);
  EXPECT_EQ("1", named[16].text);
  EXPECT_EQ("10:20:30Z", named[21].text);
}

TEST_F(NamedValuesTest, NamesThatDoNotFitTheActionAreRefused) {
  const varnel::host::Action& echo = *service_->description().FindAction("Echo");
  CComVariant arguments;
  Status status = values().BuildArguments(echo, false, {}, &arguments);
  EXPECT_EQ(E_INVALIDARG, status.code());
  EXPECT_NE(std::string::npos, status.problem().find("no value for input argument \"Text\""));
  status = values().BuildArguments(echo, false, {{"Text", "Alpha"}, {"Same", "Alpha"}}, &arguments);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, status.code());  // an output named as an input
  EXPECT_NE(std::string::npos, status.problem().find("its input arguments: Text"));
  status = values().BuildArguments(echo, false, {{"Text", "Alpha"}, {"Text", "Beta"}}, &arguments);
  EXPECT_EQ(E_INVALIDARG, status.code());
  EXPECT_EQ(VT_EMPTY, arguments.vt);
  EXPECT_TRUE(values().BuildArguments(echo, true, {{"Same", "Beta"}}, &arguments).ok());
}

TEST_F(NamedValuesTest, NumbersMustBeWholeAndWithinTheirType) {
  EXPECT_EQ(DISP_E_BADVARTYPE, ParseCode("V_ui1", "12abc"));  // the library alone would read 12
  EXPECT_EQ(DISP_E_BADVARTYPE, ParseCode("V_ui1", "256"));    // ... and 0
  EXPECT_EQ(DISP_E_BADVARTYPE, ParseCode("V_ui4", "-1"));
  EXPECT_EQ(DISP_E_BADVARTYPE, ParseCode("V_i2", "32768"));
  EXPECT_EQ(DISP_E_BADVARTYPE, ParseCode("V_i8", "9223372036854775808"));
  EXPECT_EQ(DISP_E_BADVARTYPE, ParseCode("V_ui8", "18446744073709551616"));
  EXPECT_EQ(DISP_E_BADVARTYPE, ParseCode("V_int", ""));
  EXPECT_EQ(DISP_E_BADVARTYPE, ParseCode("V_int", "+"));
  EXPECT_EQ(DISP_E_BADVARTYPE, ParseCode("V_int", "5 "));
  EXPECT_EQ(S_OK, ParseCode("V_i8", "-9223372036854775808"));
  EXPECT_EQ(S_OK, ParseCode("V_ui8", "18446744073709551615"));
  EXPECT_EQ(S_OK, ParseCode("V_int", " +5"));
  EXPECT_EQ(S_OK, ParseCode("V_ui1", "-0"));

  EXPECT_EQ(E_INVALIDARG, ParseCode("V_r8", "2.5x"));
  EXPECT_EQ(E_INVALIDARG, ParseCode("V_r8", "."));
  EXPECT_EQ(E_INVALIDARG, ParseCode("V_r8", "1e"));
  EXPECT_EQ(E_INVALIDARG, ParseCode("V_number", "1,5"));
  EXPECT_EQ(S_OK, ParseCode("V_r8", "-.5E+3"));
  EXPECT_EQ(S_OK, ParseCode("V_fixed_14_4", "5."));
}

TEST_F(NamedValuesTest, TheLibraryChecksTheVariablesRestrictions) {
  EXPECT_EQ(E_INVALIDARG, ParseCode("V_i1", "3"));   // step 2
  EXPECT_EQ(E_INVALIDARG, ParseCode("V_i1", "12"));  // maximum 10
  EXPECT_EQ(S_OK, ParseCode("V_i1", "-10"));
  EXPECT_EQ(E_INVALIDARG, ParseCode("V_string", "alpha"));
  EXPECT_EQ(E_INVALIDARG, ParseCode("V_boolean", "maybe"));
  EXPECT_EQ(E_INVALIDARG, ParseCode("V_time_tz", "10:20:30"));  // no Z
  EXPECT_EQ(E_NOTIMPL, ParseCode("V_unknown", "1"));            // a data type without converter
  EXPECT_EQ(E_FAIL, ParseCode("NoSuchVariable", "1"));

  CComVariant value;
  const Status refused = values().ParseValue("V_i1", "12", &value);
  EXPECT_NE(std::string::npos, refused.problem().find("\"12\" is refused as a i1 value of \"V_i1\""));
  EXPECT_EQ(VT_EMPTY, value.vt);
}

TEST_F(NamedValuesTest, ArraysThatDoNotMatchTheActionAreRefused) {
  const varnel::host::Action& echo = *service_->description().FindAction("Echo");
  std::vector<NamedValue> named;
  CComSafeArray<VARIANT> two(2);
  CComVariant arguments;
  arguments.vt = VT_ARRAY | VT_VARIANT;
  arguments.parray = two.Detach();
  EXPECT_EQ(E_INVALIDARG, values().ReadArguments(echo, false, arguments, &named).code());
  EXPECT_EQ(E_INVALIDARG, values().ReadArguments(echo, false, CComVariant(1), &named).code());
  EXPECT_TRUE(values().ReadArguments(*service_->description().FindAction("NoArguments"), false, CComVariant(),
                                     &named).ok());
  EXPECT_TRUE(named.empty());
}

TEST_F(NamedValuesTest, ObjectsOfNoMessageKindAreNotDescribed) {
  DecodedMessage decoded;
  EXPECT_EQ(E_NOINTERFACE, values().Describe(service_->readerWriter(), {}, &decoded).code());
  EXPECT_EQ(E_POINTER, values().Describe(nullptr, {}, &decoded).code());
}

TEST(ResultTextTest, LibraryCodesHaveTheirOwnText) {
  EXPECT_EQ("VT_ARRAY|VT_UI1", varnel::host::VariantTypeName(VT_ARRAY | VT_UI1));
  EXPECT_EQ("0x80040301 The body is not one SOAP Body with a child element.",
            varnel::host::ResultText(ZeltCommonLib::InvalidMessage));
  EXPECT_EQ("0x80070057 One or more arguments are not valid.", varnel::host::ResultText(E_INVALIDARG));
}

}  // namespace
