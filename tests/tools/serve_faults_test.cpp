// varnel serve answering control requests: the fault for each way a
// request fails to read, and the answers its behaviour file chooses.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "serve_process.h"
#include "serve_requests.h"

namespace {

using namespace varnel_test;

// The data types device of the interop tests, shared by the tests of a suite.
class ServeFaultTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<ServeProcess>(
        std::vector<std::string>{"--behaviour", kDataTypesBehaviour, "--timeout", "120", kDataTypesFolder});
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override { ASSERT_NE(0, server_->port()) << server_->Errors(); }

  static RawReply Call(const std::string& action, const std::string& arguments) {
    return Post(server_->port(), kDataTypesControl, ActionBody(action, arguments), {SoapActionHeader(action)});
  }

  // A fault with `code` and its standard description, written as UPnP
  // devices write one.
  static void ExpectFault(const RawReply& reply, int code, const std::string& description) {
    EXPECT_EQ(500, reply.status) << reply.head << reply.body;
    EXPECT_EQ(code, FaultCode(reply.body)) << reply.body;
    EXPECT_EQ(description, ElementText(reply.body, "errorDescription")) << reply.body;
    EXPECT_NE(std::string::npos, reply.body.find("<faultcode>s:Client</faultcode>")) << reply.body;
    EXPECT_EQ("text/xml; charset=\"utf-8\"", reply.Header("Content-Type")) << reply.head;
  }

  static std::unique_ptr<ServeProcess> server_;
};

std::unique_ptr<ServeProcess> ServeFaultTest::server_;

TEST_F(ServeFaultTest, RequestsTheLibraryRecordsAreAnsweredWithTheirError) {
  ExpectFault(Call("NoSuchAction", "<TextIn>x</TextIn>"), 401, "Invalid Action");
  ExpectFault(Call("SetTarget", "<NewTargetValue>12abc</NewTargetValue>"), 600, "Argument Value Invalid");
  ExpectFault(Call("SetTarget", "<NewTargetValue>-1</NewTargetValue>"), 600, "Argument Value Invalid");
}

TEST_F(ServeFaultTest, RequestsTheLibraryRefusesAreAnsweredWithTheErrorItNames) {
  ExpectFault(Call("SetTarget", ""), 402, "Invalid Args");
  ExpectFault(Call("GetStatus", "<Extra>1</Extra>"), 402, "Invalid Args");
  ExpectFault(Call("SetTarget", "<NewTargetValue>1</NewTargetValue><NewTargetValue>2</NewTargetValue>"), 402,
              "Invalid Args");
  ExpectFault(Call("SetLevel", "<DesiredLevel>50</DesiredLevel><Mode>Sideways</Mode>"), 600,
              "Argument Value Invalid");
  ExpectFault(Call("SetLevel", "<DesiredLevel>105</DesiredLevel><Mode>On</Mode>"), 601,
              "Argument Value Out of Range");
  ExpectFault(Call("SetLevel", "<DesiredLevel>52</DesiredLevel><Mode>On</Mode>"), 601, "Argument Value Out of Range");
}

TEST_F(ServeFaultTest, BodiesThatAreNoControlMessageAreAnswered402) {
  const std::string soapAction = SoapActionHeader("EchoText");
  const uint16_t port = server_->port();
  // As miniupnpc writes a value holding '<' and '&': malformed XML.
  ExpectFault(Post(port, kDataTypesControl, ActionBody("EchoText", "<TextIn>a<b & c</TextIn>"), {soapAction}), 402,
              "Invalid Args");
  std::string withDoctype = ActionBody("EchoText", "<TextIn>&e;</TextIn>");
  withDoctype.replace(withDoctype.find("?>") + 2, 0, "<!DOCTYPE s:Envelope [<!ENTITY e \"expanded\">]>");
  ExpectFault(Post(port, kDataTypesControl, withDoctype, {soapAction}), 402, "Invalid Args");
  ExpectFault(Post(port, kDataTypesControl, "not XML at all", {soapAction}), 402, "Invalid Args");
  ExpectFault(Post(port, kDataTypesControl, "", {soapAction}), 402, "Invalid Args");
  ExpectFault(Post(port, kDataTypesControl, "<?xml version=\"1.0\"?><Envelope/>", {soapAction}), 402, "Invalid Args");
}

TEST_F(ServeFaultTest, QueryOfAVariableTheDescriptionLacksIsAnswered404) {
  const RawReply reply = Post(server_->port(), kDataTypesControl, QueryBody("NoSuchVariable"),
                              {SoapActionHeader("QueryStateVariable", kControlNamespace)});
  ExpectFault(reply, 404, "Invalid Var");
}

TEST_F(ServeFaultTest, BehaviourErrorsAndCasesChooseTheAnswer) {
  ExpectFault(Call("Divide", "<Dividend>7</Dividend><Divisor>0</Divisor>"), 711, "Division by zero");
  // A case matches by value: "07" is the 7 the case names.
  RawReply reply = Call("Divide", "<Dividend>07</Dividend><Divisor>2</Divisor>");
  EXPECT_EQ(200, reply.status) << reply.body;
  EXPECT_DOUBLE_EQ(3.5, std::stod("0" + ElementText(reply.body, "Quotient"))) << reply.body;
  EXPECT_EQ("1", ElementText(reply.body, "Remainder")) << reply.body;
  // No case matches: the action's own entry.
  ExpectFault(Call("Divide", "<Dividend>9</Dividend><Divisor>4</Divisor>"), 501, "Action Failed");
  // Markup in a description goes out escaped and reads back as it was.
  ExpectFault(Call("Fail", "<TextIn>x</TextIn>"), 801, "Refused as told: &lt;none&gt; &amp; \"nothing\"");
}

TEST_F(ServeFaultTest, OutputsAreEchoedGivenOrTakenFromTheStateVariables) {
  RawReply reply = Call("EchoText", "<TextIn>a &lt; b &amp; c \xC3\xA9</TextIn>");
  EXPECT_EQ(200, reply.status) << reply.body;
  EXPECT_EQ("a &lt; b &amp; c \xC3\xA9", ElementText(reply.body, "TextOut")) << reply.body;
  EXPECT_NE(std::string::npos, reply.body.find("<u:EchoTextResponse xmlns:u=\"" + kDataTypesType + "\">"));
  EXPECT_TRUE(reply.HasHeader("EXT")) << reply.head;
  // SetLevel echoes both inputs.
  reply = Call("SetLevel", "<DesiredLevel>55</DesiredLevel><Mode>On</Mode>");
  EXPECT_EQ("55", ElementText(reply.body, "ResultLevel")) << reply.body;
  EXPECT_EQ("On", ElementText(reply.body, "ResultMode")) << reply.body;
  // GetValues has an empty entry: every output is its variable's value.
  reply = Call("GetValues", "");
  EXPECT_EQ(200, reply.status) << reply.body;
  EXPECT_EQ("-128", ElementText(reply.body, "i1Out")) << reply.body;
  EXPECT_EQ("AAECAwT/", ElementText(reply.body, "bin_base64Out")) << reply.body;
}

TEST_F(ServeFaultTest, QueriesAnswerTheBehaviourValueElseTheDefault) {
  const std::vector<std::string> header = {SoapActionHeader("QueryStateVariable", kControlNamespace)};
  RawReply reply = Post(server_->port(), kDataTypesControl, QueryBody("Status"), header);
  EXPECT_EQ(200, reply.status) << reply.body;
  EXPECT_EQ("1", ElementText(reply.body, "return")) << reply.body;
  EXPECT_NE(std::string::npos, reply.body.find("<u:QueryStateVariableResponse xmlns:u=\"" + kControlNamespace + "\">"));
  reply = Post(server_->port(), kDataTypesControl, QueryBody("Level"), header);
  EXPECT_EQ("50", ElementText(reply.body, "return")) << reply.body;
  // A value the library cannot write as its type (a numeric time-zone
  // offset) is the device's failure.
  ExpectFault(Post(server_->port(), kDataTypesControl, QueryBody("ZonedDateTime"), header), 501, "Action Failed");
}

// A device of its own: an argument whose state variable is missing, one of
// a type without converter, an output without value, a value of the wrong
// type in the behaviour, and an error given by code only.
class ServeOwnDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Write("description.xml",
                  "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device><serviceList>"
                  "<service><serviceType>urn:x:service:Odd:1</serviceType><serviceId>urn:x:serviceId:Odd</serviceId>"
                  "<SCPDURL>odd.xml</SCPDURL><controlURL>http://192.0.2.1:9/ctl/odd?x=1</controlURL>"
                  "<eventSubURL>/evt</eventSubURL></service></serviceList></device></root>");
    folder_.Write("odd.xml", R"(<?xml version="1.0"?>
<scpd xmlns="urn:schemas-upnp-org:service-1-0"><actionList>
<action><name>Orphan</name><argumentList><argument><name>In</name><direction>in</direction><relatedStateVariable>Missing</relatedStateVariable></argument></argumentList></action>
<action><name>Strange</name><argumentList><argument><name>In</name><direction>in</direction><relatedStateVariable>Unknown</relatedStateVariable></argument></argumentList></action>
<action><name>Get</name><argumentList><argument><name>Out</name><direction>out</direction><relatedStateVariable>Count</relatedStateVariable></argument></argumentList></action>
<action><name>Wrong</name><argumentList><argument><name>Out</name><direction>out</direction><relatedStateVariable>Count</relatedStateVariable></argument></argumentList></action>
<action><name>Refuse</name></action>
</actionList><serviceStateTable>
<stateVariable sendEvents="no"><name>Unknown</name><dataType>nosuchtype</dataType></stateVariable>
<stateVariable sendEvents="no"><name>Count</name><dataType>ui4</dataType></stateVariable>
</serviceStateTable></scpd>)");
    folder_.Write("behaviour.json", R"({"services": {"urn:x:service:Odd:1": {"actions": {
        "Wrong": {"outputs": {"Out": "minus one"}}, "Refuse": {"error": {"code": 606}}}}}})");
    server_ = std::make_unique<ServeProcess>(
        std::vector<std::string>{"--behaviour", folder_.path() + "/behaviour.json", "--timeout", "60", folder_.path()});
    ASSERT_NE(0, server_->port()) << server_->Errors();
  }

  RawReply Call(const std::string& action, const std::string& arguments) {
    return Post(server_->port(), "/ctl/odd", ActionBody(action, arguments, "urn:x:service:Odd:1"),
                {SoapActionHeader(action, "urn:x:service:Odd:1")});
  }

  TemporaryFolder folder_;
  std::unique_ptr<ServeProcess> server_;
};

TEST_F(ServeOwnDeviceTest, OtherReadFailuresAndUnanswerableActionsAre501) {
  for (const char* action : {"Orphan", "Strange"}) {
    const RawReply reply = Call(action, "<In>1</In>");
    EXPECT_EQ(500, reply.status) << action << reply.body;
    EXPECT_EQ(501, FaultCode(reply.body)) << action << reply.body;
  }
  EXPECT_EQ(501, FaultCode(Call("Get", "").body));
  EXPECT_EQ(501, FaultCode(Call("Wrong", "").body));
}

TEST_F(ServeOwnDeviceTest, AnErrorGivenByCodeTakesItsStandardDescription) {
  const RawReply reply = Call("Refuse", "");
  EXPECT_EQ(606, FaultCode(reply.body)) << reply.body;
  EXPECT_EQ("Action Not Authorized", ElementText(reply.body, "errorDescription")) << reply.body;
}

}  // namespace
