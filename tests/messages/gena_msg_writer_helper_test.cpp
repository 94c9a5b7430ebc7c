// The event value converter: single state-variable values in both directions.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "support/captured_lines.h"
#include "support/dom_documents.h"
#include "varnel/varnel.h"

namespace {

using varnel_test::AsVariant;
using varnel_test::LoadDataFile;
using varnel_test::ParseDocument;

std::u16string Scpd(const std::u16string& stateVariables) {
  return u"<scpd xmlns='urn:schemas-upnp-org:service-1-0'><specVersion><major>1</major><minor>0</minor>"
         u"</specVersion><serviceStateTable>" +
         stateVariables + u"</serviceStateTable></scpd>";
}

class GenaMsgWriterHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK,
              DllGetClassObject(CLSID_GenaMsgWriterHelper, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUPnPGenaMsgWriterHelper, reinterpret_cast<void**>(&helper_)));
  }

  HRESULT LoadText(const std::u16string& xml) { return helper_->LoadServiceDescription(AsVariant(ParseDocument(xml))); }
  void LoadAllTypes() {
    ASSERT_EQ(S_OK, helper_->LoadServiceDescription(AsVariant(LoadDataFile("scpd/all_types.xml"))));
  }

  HRESULT Parse(const char16_t* name, const char16_t* text, CComVariant& value) {
    return helper_->ParseStateVariableValue(CComBSTR(name), CComBSTR(text), &value);
  }
  HRESULT Format(const char16_t* name, const CComVariant& value, CComBSTR& text) {
    return helper_->FormatStateVariableValue(CComBSTR(name), value, &text);
  }

  CComPtr<IUPnPGenaMsgWriterHelper> helper_;
};

TEST_F(GenaMsgWriterHelperTest, ConvertsNothingUntilADescriptionWithVariablesIsLoaded) {
  CComVariant value;
  CComBSTR text;
  EXPECT_EQ(E_FAIL, Parse(u"Volume", u"1", value));
  EXPECT_EQ(E_FAIL, Format(u"Volume", CComVariant(1), text));

  // A description without state variables loads, but leaves nothing to convert.
  EXPECT_EQ(S_OK, LoadText(Scpd(u"")));
  EXPECT_EQ(E_FAIL, Parse(u"Volume", u"1", value));
  EXPECT_EQ(E_FAIL, Format(u"Volume", CComVariant(1), text));
  EXPECT_EQ(VT_EMPTY, value.vt);
  EXPECT_EQ(nullptr, text.m_str);

  EXPECT_EQ(E_INVALIDARG, helper_->LoadServiceDescription(CComVariant(u"not a document")));
}

TEST_F(GenaMsgWriterHelperTest, LooksNamesUpExactlyAndChecksOutPointers) {
  LoadAllTypes();
  CComVariant value;
  CComBSTR text;
  EXPECT_EQ(S_OK, Parse(u"V_i2", u"7", value));
  EXPECT_EQ(E_FAIL, Parse(u"v_i2", u"7", value));
  EXPECT_EQ(E_FAIL, Format(u"V_I2", CComVariant(7), text));
  EXPECT_EQ(E_FAIL, Parse(nullptr, u"7", value));
  EXPECT_EQ(E_POINTER, helper_->ParseStateVariableValue(CComBSTR(u"V_i2"), CComBSTR(u"7"), nullptr));
  EXPECT_EQ(E_POINTER, helper_->FormatStateVariableValue(CComBSTR(u"V_i2"), CComVariant(7), nullptr));
}

TEST_F(GenaMsgWriterHelperTest, ReadsIntegersLenientlyAndWritesEveryFamily) {
  LoadAllTypes();
  CComVariant value;
  ASSERT_EQ(S_OK, Parse(u"V_i2", u"  42abc", value));  // a request would record error 600 for this text
  EXPECT_EQ(VT_I2, value.vt);
  EXPECT_EQ(42, value.iVal);
  ASSERT_EQ(S_OK, Parse(u"V_boolean", u"yes", value));
  EXPECT_EQ(VT_BOOL, value.vt);
  EXPECT_EQ(VARIANT_TRUE, value.boolVal);
  ASSERT_EQ(S_OK, Parse(u"V_date", u"2024-02-29", value));
  EXPECT_EQ(VT_DATE, value.vt);

  CComBSTR text;
  EXPECT_EQ(S_OK, Format(u"V_boolean", CComVariant(true), text));
  EXPECT_EQ(std::u16string(u"1"), text.m_str);
  text.Empty();
  EXPECT_EQ(S_OK, Format(u"V_date", value, text));
  EXPECT_EQ(std::u16string(u"2024-02-29"), text.m_str);
  text.Empty();
  EXPECT_EQ(S_OK, Format(u"V_r8", CComVariant(2.5), text));
  EXPECT_EQ(std::u16string(u"2.500000"), text.m_str);
  text.Empty();
  // An empty text is handed out as an empty string, not as null.
  EXPECT_EQ(S_OK, Format(u"V_uri", CComVariant(u""), text));
  ASSERT_NE(nullptr, text.m_str);
  EXPECT_EQ(0u, text.Length());
}

TEST_F(GenaMsgWriterHelperTest, RefusedValuesLeaveTheOutArgumentAlone) {
  LoadAllTypes();
  // A string the caller still owns sits in the out argument.
  CComBSTR before(u"before");
  BSTR text = before.m_str;
  for (const auto& [name, value] :
       {std::pair<const char16_t*, CComVariant>{u"V_i1", CComVariant(11)},  // above the range
        {u"V_i1", CComVariant(3)},                                          // off the step
        {u"V_char", CComVariant(u"d")},                                     // outside the list
        {u"V_string", CComVariant(u"Gamma")},
        {u"V_i1", CComVariant(65540)},                   // narrowed to 8 bits it would be 4, inside the range
        {u"V_date", CComVariant(-700000.0, VT_DATE)}}) {  // no date of the years 100 to 9999
    EXPECT_EQ(E_INVALIDARG, helper_->FormatStateVariableValue(CComBSTR(name), value, &text));
    EXPECT_EQ(before.m_str, text);
  }
  EXPECT_EQ(std::u16string(u"before"), before.m_str);

  CComVariant value(u"kept");
  EXPECT_EQ(E_INVALIDARG, Parse(u"V_char", u"z", value));
  EXPECT_EQ(E_INVALIDARG, Parse(u"V_r4", u"2.0", value));
  EXPECT_EQ(VT_BSTR, value.vt);
  EXPECT_EQ(std::u16string(u"kept"), value.bstrVal);
}

TEST_F(GenaMsgWriterHelperTest, AVariableWithoutConverterFailsBothWaysWithNotImplemented) {
  LoadAllTypes();
  CComVariant value;
  CComBSTR text;
  EXPECT_EQ(E_NOTIMPL, Parse(u"V_unknown", u"1", value));
  EXPECT_EQ(E_NOTIMPL, Format(u"V_unknown", CComVariant(1), text));
  EXPECT_EQ(VT_EMPTY, value.vt);
  EXPECT_EQ(nullptr, text.m_str);
}

TEST_F(GenaMsgWriterHelperTest, ASecondLoadAddsVariablesAndKeepsTheFirstConverterOfAName) {
  ASSERT_EQ(S_OK, LoadText(Scpd(u"<stateVariable><name>Level</name><dataType>ui1</dataType></stateVariable>")));
  ASSERT_EQ(S_OK, LoadText(Scpd(u"<stateVariable><name>Level</name><dataType>string</dataType></stateVariable>"
                                u"<stateVariable><name>Label</name><dataType>string</dataType></stateVariable>")));
  CComVariant value;
  ASSERT_EQ(S_OK, Parse(u"Level", u"200", value));
  EXPECT_EQ(VT_UI1, value.vt);
  ASSERT_EQ(S_OK, Parse(u"Label", u"200", value));
  EXPECT_EQ(VT_BSTR, value.vt);
}

TEST_F(GenaMsgWriterHelperTest, WritesNoTraceLines) {
  varnel_test::CapturedLines lines;
  LoadAllTypes();
  CComVariant value;
  CComBSTR text;
  EXPECT_EQ(E_INVALIDARG, Parse(u"V_char", u"z", value));
  EXPECT_EQ(E_FAIL, Format(u"Nothing", CComVariant(1), text));
  EXPECT_EQ(E_INVALIDARG, helper_->LoadServiceDescription(CComVariant(1)));
  EXPECT_TRUE(lines.Lines().empty());
}

}  // namespace
