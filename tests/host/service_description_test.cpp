// The kit's view of a service description: what it lists, in which order,
// and how a description that does not load is reported.
#include <gtest/gtest.h>

#include <string>

#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/com_variant.h"
#include "varnel/host/service_description.h"

namespace {

using varnel::host::Action;
using varnel::host::ServiceDescription;
using varnel::host::StateVariable;
using varnel::host::Status;

const std::string kAllTypes = std::string(VARNEL_TEST_DATA_DIR) + "/scpd/all_types.xml";

ServiceDescription Load(const std::string& path) {
  ServiceDescription description;
  const Status status = ServiceDescription::LoadFile(path, &description);
  EXPECT_TRUE(status.ok()) << status.ToString();
  return description;
}

TEST(ServiceDescriptionTest, ActionsInDocumentOrderWithTheirArguments) {
  const ServiceDescription description = Load(kAllTypes);
  // The nameless action is skipped; of the two named Echo the first stays.
  std::vector<std::string> names;
  for (const Action& action : description.Actions()) names.push_back(action.name);
  EXPECT_EQ((std::vector<std::string>{"Everything", "Echo", "NoArguments", "UnknownTypes"}), names);

  const Action* everything = description.FindAction("Everything");
  ASSERT_NE(nullptr, everything);
  ASSERT_EQ(22u, everything->inputs.size());
  ASSERT_EQ(22u, everything->outputs.size());
  EXPECT_EQ("In_V_i1", everything->inputs[0].name);
  EXPECT_EQ("V_i1", everything->inputs[0].relatedStateVariable);
  EXPECT_EQ("i1", everything->inputs[0].dataType);
  EXPECT_EQ("Out_V_time_tz", everything->outputs[21].name);
  EXPECT_EQ("time.tz", everything->outputs[21].dataType);

  const Action* echo = description.FindAction("Echo");
  ASSERT_NE(nullptr, echo);
  ASSERT_EQ(1u, echo->inputs.size());
  EXPECT_EQ("Text", echo->inputs[0].name);
  EXPECT_TRUE(description.FindAction("NoArguments")->inputs.empty());
  // An argument whose variable the description lacks has no data type.
  EXPECT_EQ("", description.FindAction("UnknownTypes")->inputs[1].dataType);
  EXPECT_EQ(nullptr, description.FindAction("everything"));  // names compare exactly
}

TEST(ServiceDescriptionTest, StateVariablesWithTheirRestrictions) {
  const ServiceDescription description = Load(kAllTypes);
  const StateVariable* i1 = description.FindStateVariable("V_i1");
  ASSERT_NE(nullptr, i1);
  EXPECT_EQ("i1", i1->dataType);
  EXPECT_FALSE(i1->sendEvents);
  ASSERT_TRUE(i1->range);
  EXPECT_EQ("-10", i1->range->minimum.value_or(""));
  EXPECT_EQ("10", i1->range->maximum.value_or(""));
  EXPECT_EQ("2", i1->range->step.value_or(""));

  const StateVariable* ui1 = description.FindStateVariable("V_ui1");
  ASSERT_TRUE(ui1 && ui1->range);
  EXPECT_FALSE(ui1->range->minimum);
  EXPECT_EQ("200", ui1->range->maximum.value_or(""));

  const StateVariable* text = description.FindStateVariable("V_string");
  ASSERT_NE(nullptr, text);
  EXPECT_EQ((std::vector<std::string>{"Alpha", "Beta"}), text->allowedValues);
  EXPECT_FALSE(description.FindStateVariable("V_r8")->range);
  EXPECT_EQ("2011-02-15", description.FindStateVariable("V_date")->defaultValue.value_or(""));
  EXPECT_FALSE(description.FindStateVariable("V_r8")->defaultValue);
  EXPECT_EQ("string", description.FindStateVariable("V_dup")->dataType);  // the first declaration
  EXPECT_EQ("bin.hex", description.FindStateVariable("V_bin_hex")->dataType);
}

TEST(ServiceDescriptionTest, SendEventsDefaultsToYes) {
  ServiceDescription description;
  const Status status = ServiceDescription::LoadText(
      "<scpd xmlns='urn:schemas-upnp-org:service-1-0'><serviceStateTable>"
      "<stateVariable><name>A</name><dataType>ui1</dataType></stateVariable>"
      "<stateVariable sendEvents='no'><name>B</name><dataType>ui1</dataType></stateVariable>"
      "</serviceStateTable></scpd>",
      &description);
  ASSERT_TRUE(status.ok()) << status.ToString();
  EXPECT_TRUE(description.FindStateVariable("A")->sendEvents);
  EXPECT_FALSE(description.FindStateVariable("B")->sendEvents);
  EXPECT_TRUE(description.Actions().empty());
}

TEST(ServiceDescriptionTest, LoadFailuresNameTheCauseAndKeepTheOldView) {
  ServiceDescription description = Load(kAllTypes);

  Status status = ServiceDescription::LoadFile(std::string(VARNEL_TEST_DATA_DIR) + "/scpd/no_such.xml", &description);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), status.code());
  EXPECT_NE(std::string::npos, status.problem().find("no_such.xml"));

  status = ServiceDescription::LoadText("<scpd xmlns='urn:schemas-upnp-org:service-1-0'>\n<actionList>", &description);
  EXPECT_EQ(0xC00CE000u, static_cast<uint32_t>(status.code()) & 0xFFFFF000u);
  EXPECT_NE(std::string::npos, status.problem().find("(line "));

  status = ServiceDescription::LoadText("<root xmlns='urn:schemas-upnp-org:device-1-0'/>", &description);
  EXPECT_EQ(E_INVALIDARG, status.code());
  EXPECT_NE(std::string::npos, status.problem().find("not a service description"));
  // A document that carries a DOCTYPE never loads.
  status = ServiceDescription::LoadText("<!DOCTYPE scpd><scpd xmlns='urn:schemas-upnp-org:service-1-0'/>",
                                        &description);
  EXPECT_FALSE(status.ok());

  EXPECT_NE(nullptr, description.FindAction("Everything"));
  EXPECT_EQ(std::string::npos, status.ToString().find("Unknown error"));
}

TEST(ServiceDescriptionTest, CallersDocumentKeepsItsOwnPrefixes) {
  CComPtr<IXMLDOMDocument2> document;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IXMLDOMDocument2, reinterpret_cast<void**>(&document)));
  ASSERT_EQ(S_OK, document->setProperty(CComBSTR(u"SelectionNamespaces"),
                                        CComVariant(u"xmlns:x='urn:schemas-upnp-org:service-1-0'")));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const std::u16string path(kAllTypes.begin(), kAllTypes.end());
  ASSERT_EQ(S_OK, document->load(CComVariant(path.c_str()), &loaded));
  ASSERT_EQ(VARIANT_TRUE, loaded);

  ServiceDescription description;
  const Status status = ServiceDescription::FromDocument(document, &description);
  ASSERT_TRUE(status.ok()) << status.ToString();
  EXPECT_EQ(document.p, description.Document());
  EXPECT_EQ(4u, description.Actions().size());
  CComPtr<IXMLDOMNode> found;
  EXPECT_EQ(S_OK, document->selectSingleNode(CComBSTR(u"/x:scpd/x:actionList"), &found));
  EXPECT_EQ(VT_DISPATCH, description.DocumentVariant().vt);
  EXPECT_EQ(VT_EMPTY, ServiceDescription().DocumentVariant().vt);
}

}  // namespace
