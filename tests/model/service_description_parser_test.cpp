// Loading service descriptions into the action and converter tables.
#include "model/service_description_parser.h"

#include <gtest/gtest.h>

#include "comrt/com_error.h"
#include "datatypes/upnp_data_type.h"
#include "support/dom_documents.h"

namespace {

using varnel_test::AsVariant;
using varnel_test::LoadDataFile;
using varnel_test::ParseDocument;

struct Tables {
  ActionTable actions;
  DataTypeTable dataTypes;
};

// The code the load failed with, S_OK when it did not; the tables keep what
// was added before a failure.
HRESULT Load(const VARIANT& document, Tables& tables) {
  try {
    CServiceDescriptionParser().Parse(document, tables.actions, tables.dataTypes);
  } catch (HRESULT hr) {
    return hr;
  } catch (const _com_error& e) {
    return e.Error();
  }
  return S_OK;
}

HRESULT Load(IXMLDOMDocument2* document, Tables& tables) { return Load(AsVariant(document), tables); }

std::u16string Scpd(const std::u16string& actions, const std::u16string& variables) {
  return u"<?xml version=\"1.0\"?><scpd xmlns=\"urn:schemas-upnp-org:service-1-0\"><actionList>" + actions +
         u"</actionList><serviceStateTable>" + variables + u"</serviceStateTable></scpd>";
}

const std::u16string kOneVariable = u"<stateVariable><name>V</name><dataType>string</dataType></stateVariable>";

std::u16string Argument(const std::u16string& name, const std::u16string& direction, const std::u16string& variable) {
  return u"<argument><name>" + name + u"</name><direction>" + direction + u"</direction><relatedStateVariable>" +
         variable + u"</relatedStateVariable></argument>";
}

std::vector<std::u16string> NamesOf(const CUPnPArgumentList& list) {
  std::vector<std::u16string> names;
  for (const auto& entry : list) names.push_back(entry.first);
  return names;
}

TEST(ServiceDescriptionTest, SwitchPowerFillsBothTables) {
  Tables tables;
  ASSERT_EQ(S_OK, Load(LoadDataFile("scpd/switch_power.xml"), tables));
  ASSERT_EQ(3u, tables.actions.size());
  const CUPnPAction& setTarget = *tables.actions.at(u"SetTarget");
  ASSERT_EQ(1u, setTarget.GetInArguments().GetSize());
  EXPECT_EQ(0u, setTarget.GetOutArguments().GetSize());
  const CUPnPArgument& argument = *setTarget.GetInArguments()[0].second;
  EXPECT_EQ(u"newTargetValue", argument.GetName());
  EXPECT_EQ(u"Target", argument.GetRelatedStateVariable());
  EXPECT_EQ(CUPnPArgument::Direction::kIn, argument.GetDirection());
  ASSERT_EQ(2u, tables.dataTypes.size());
  ASSERT_TRUE(tables.dataTypes.at(u"Status"));
  EXPECT_EQ(u"Status", tables.dataTypes.at(u"Status")->GetName());
  EXPECT_EQ(VT_BOOL, tables.dataTypes.at(u"Target")->StringToVariant(u"1", true).vt);
}

TEST(ServiceDescriptionTest, MediaRendererServicesLoadWithTheirRestrictions) {
  Tables rendering;
  ASSERT_EQ(S_OK, Load(LoadDataFile("scpd/rendering_control.xml"), rendering));
  EXPECT_EQ(6u, rendering.actions.size());
  EXPECT_EQ(7u, rendering.dataTypes.size());
  const CUPnPAction& getVolume = *rendering.actions.at(u"GetVolume");
  EXPECT_EQ((std::vector<std::u16string>{u"InstanceID", u"Channel"}), NamesOf(getVolume.GetInArguments()));
  EXPECT_EQ((std::vector<std::u16string>{u"CurrentVolume"}), NamesOf(getVolume.GetOutArguments()));
  const auto& volume = rendering.dataTypes.at(u"Volume");
  EXPECT_EQ(VT_UI2, volume->StringToVariant(u"100", true).vt);
  EXPECT_THROW(volume->StringToVariant(u"101", true), HRESULT);
  EXPECT_THROW(rendering.dataTypes.at(u"A_ARG_TYPE_Channel")->StringToVariant(u"master", true), HRESULT);

  Tables transport;
  ASSERT_EQ(S_OK, Load(LoadDataFile("scpd/av_transport.xml"), transport));
  EXPECT_EQ(6u, transport.actions.size());
  EXPECT_EQ((std::vector<std::u16string>{u"CurrentTransportState", u"CurrentTransportStatus", u"CurrentSpeed"}),
            NamesOf(transport.actions.at(u"GetTransportInfo")->GetOutArguments()));
}

TEST(ServiceDescriptionTest, EveryDataTypeAndTheShapesLoadingTakesInItsStride) {
  Tables tables;
  ASSERT_EQ(S_OK, Load(LoadDataFile("scpd/all_types.xml"), tables));
  // The nameless action is skipped; of two "Echo" actions the first stays.
  EXPECT_EQ(4u, tables.actions.size());
  EXPECT_EQ((std::vector<std::u16string>{u"Text"}), NamesOf(tables.actions.at(u"Echo")->GetInArguments()));
  const CUPnPAction& noArguments = *tables.actions.at(u"NoArguments");
  EXPECT_EQ(0u, noArguments.GetInArguments().GetSize());
  EXPECT_EQ(0u, noArguments.GetOutArguments().GetSize());
  // Alternating in and out arguments keep their order within each list.
  const CUPnPAction& everything = *tables.actions.at(u"Everything");
  ASSERT_EQ(22u, everything.GetInArguments().GetSize());
  ASSERT_EQ(22u, everything.GetOutArguments().GetSize());
  EXPECT_EQ(u"In_V_i1", everything.GetInArguments()[0].first);
  EXPECT_EQ(u"In_V_time_tz", everything.GetInArguments()[21].first);
  EXPECT_EQ(u"Out_V_fixed_14_4", everything.GetOutArguments()[10].first);

  // Unknown data types ("i16", "Int") are entered with no converter.
  ASSERT_EQ(1u, tables.dataTypes.count(u"V_unknown"));
  EXPECT_FALSE(tables.dataTypes.at(u"V_unknown"));
  EXPECT_FALSE(tables.dataTypes.at(u"V_Int"));
  // A range on a string and a list on a ui2 restrict nothing.
  EXPECT_EQ(VT_BSTR, tables.dataTypes.at(u"V_string")->StringToVariant(u"Alpha", true).vt);
  EXPECT_THROW(tables.dataTypes.at(u"V_string")->StringToVariant(u"5", true), HRESULT);
  EXPECT_EQ(7, tables.dataTypes.at(u"V_ui2_listed")->StringToVariant(u"7", true).uiVal);
  // Of two variables with one name the first stays.
  EXPECT_EQ(VT_BSTR, tables.dataTypes.at(u"V_dup")->StringToVariant(u"x", true).vt);
}

TEST(ServiceDescriptionTest, LoadingTheSameDescriptionTwiceChangesNothing) {
  CComPtr<IXMLDOMDocument2> document = LoadDataFile("scpd/rendering_control.xml");
  Tables tables;
  ASSERT_EQ(S_OK, Load(document, tables));
  const auto volume = tables.dataTypes.at(u"Volume");
  const auto getVolume = tables.actions.at(u"GetVolume");
  ASSERT_EQ(S_OK, Load(document, tables));
  EXPECT_EQ(7u, tables.dataTypes.size());
  EXPECT_EQ(volume, tables.dataTypes.at(u"Volume"));
  EXPECT_EQ(getVolume, tables.actions.at(u"GetVolume"));
}

TEST(ServiceDescriptionFailureTest, EachFaultOfADescriptionHasItsCode) {
  struct Case {
    const char* what;
    std::u16string actions;
    std::u16string variables;
    HRESULT expected;
  };
  const Case cases[] = {
      {"empty action name", u"<action><name></name></action>", kOneVariable, E_INVALIDARG},
      {"empty argument name", u"<action><name>A</name><argumentList>" + Argument(u"", u"in", u"V") +
                                  u"</argumentList></action>",
       kOneVariable, E_INVALIDARG},
      {"empty related variable", u"<action><name>A</name><argumentList>" + Argument(u"X", u"in", u"") +
                                     u"</argumentList></action>",
       kOneVariable, E_INVALIDARG},
      {"direction IN", u"<action><name>A</name><argumentList>" + Argument(u"X", u"IN", u"V") +
                           u"</argumentList></action>",
       kOneVariable, E_UNEXPECTED},
      {"no direction", u"<action><name>A</name><argumentList><argument><name>X</name>"
                       u"<relatedStateVariable>V</relatedStateVariable></argument></argumentList></action>",
       kOneVariable, E_UNEXPECTED},
      {"variable without name", u"", u"<stateVariable><dataType>string</dataType></stateVariable>", E_INVALIDARG},
      {"variable with empty type", u"", u"<stateVariable><name>V</name><dataType></dataType></stateVariable>",
       E_INVALIDARG},
      {"boolean default True", u"",
       u"<stateVariable><name>V</name><dataType>boolean</dataType><defaultValue>True</defaultValue></stateVariable>",
       E_INVALIDARG},
      {"char value of two characters", u"",
       u"<stateVariable><name>V</name><dataType>char</dataType><allowedValueList><allowedValue>ab</allowedValue>"
       u"</allowedValueList></stateVariable>",
       E_INVALIDARG},
  };
  for (const Case& c : cases) {
    Tables tables;
    EXPECT_EQ(c.expected, Load(ParseDocument(Scpd(c.actions, c.variables)), tables)) << c.what;
  }
}

TEST(ServiceDescriptionFailureTest, TablesKeepWhatLoadedBeforeTheFailure) {
  const std::u16string actions = u"<action><name>First</name></action><action><name>Second</name><argumentList>" +
                                 Argument(u"X", u"sideways", u"V") + u"</argumentList></action>" +
                                 u"<action><name>Third</name></action>";
  Tables tables;
  EXPECT_EQ(E_UNEXPECTED, Load(ParseDocument(Scpd(actions, kOneVariable)), tables));
  EXPECT_EQ(1u, tables.actions.count(u"First"));
  EXPECT_EQ(0u, tables.actions.count(u"Third"));
  EXPECT_TRUE(tables.dataTypes.empty());  // the state variables were never reached

  const std::u16string variables =
      kOneVariable + u"<stateVariable><name>B</name><dataType>boolean</dataType><defaultValue>on</defaultValue>"
                     u"</stateVariable><stateVariable><name>C</name><dataType>i4</dataType></stateVariable>";
  Tables partial;
  EXPECT_EQ(E_INVALIDARG, Load(ParseDocument(Scpd(u"", variables)), partial));
  EXPECT_EQ(1u, partial.dataTypes.count(u"V"));
  EXPECT_EQ(0u, partial.dataTypes.count(u"C"));
}

TEST(ServiceDescriptionFailureTest, WhatTheVariantHoldsIsChecked) {
  Tables tables;
  CComVariant text(u"<scpd/>");
  EXPECT_EQ(E_INVALIDARG, Load(text, tables));
  CComPtr<IXMLDOMDocument2> document = LoadDataFile("scpd/switch_power.xml");
  CComVariant byReference;
  IUnknown* unknown = document;
  byReference.vt = VT_UNKNOWN | VT_BYREF;
  byReference.ppunkVal = &unknown;
  EXPECT_EQ(E_INVALIDARG, Load(byReference, tables));
  byReference.vt = VT_EMPTY;  // nothing owned
  CComVariant empty;
  empty.vt = VT_UNKNOWN;
  empty.punkVal = nullptr;
  EXPECT_EQ(E_POINTER, Load(empty, tables));
  EXPECT_TRUE(tables.actions.empty());
}

TEST(ServiceDescriptionFailureTest, UnboundPrefixFailsWithTheDomsCode) {
  CComPtr<IXMLDOMDocument2> document = LoadDataFile("scpd/switch_power.xml", u"xmlns:other='urn:x'");
  Tables tables;
  const HRESULT hr = Load(document, tables);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_TRUE(tables.actions.empty());
  CComPtr<IErrorInfo> reason;
  GetErrorInfo(0, &reason);  // the DOM may leave one; the test main counts objects
}

}  // namespace
