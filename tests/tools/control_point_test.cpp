// varnel invoke and query against a local HTTP server: the answers a device
// may give, and the ways an exchange fails, each with its exit status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http_test_server.h"
#include "tool_run.h"

namespace {

using varnel_test::HttpReply;
using varnel_test::HttpTestServer;
using varnel_test::RunVarnel;
using varnel_test::ToolResult;

const std::string kSwitchPower = std::string(VARNEL_TEST_DATA_DIR) + "/scpd/switch_power.xml";
constexpr char kServiceType[] = "urn:schemas-upnp-org:service:SwitchPower:1";

std::string Envelope(const std::string& inside) {
  return "<?xml version=\"1.0\"?>\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
         inside + "</s:Body></s:Envelope>\n";
}

const std::string kStatusResponse = Envelope(
    "<u:GetStatusResponse xmlns:u=\"urn:schemas-upnp-org:service:SwitchPower:1\">"
    "<ResultStatus>1</ResultStatus></u:GetStatusResponse>");
const std::string kFault = Envelope(
    "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
    "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>401</errorCode>"
    "<errorDescription>Invalid Action</errorDescription></UPnPError></detail></s:Fault>");

class ControlPointTest : public ::testing::Test {
 protected:
  ToolResult Invoke(const std::vector<std::string>& extra) {
    std::vector<std::string> arguments = {"invoke", "--scpd", kSwitchPower, "--control-url", server_.Url("/control"),
                                          "--service-type", kServiceType, "--timeout", "5"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return RunVarnel(arguments);
  }

  // The run ended with `status` and one line on standard error holding
  // `problem`.
  static void ExpectFailure(const ToolResult& run, int status, const std::string& problem) {
    EXPECT_EQ(status, run.status) << run.err;
    EXPECT_EQ(1u, varnel_test::LineCount(run.err)) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(problem)) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(": 0x8")) << run.err;
  }

  HttpTestServer server_;
};

TEST_F(ControlPointTest, ResponsePrintsTypedOutputs) {
  server_.Route("/control", HttpReply{200, kStatusResponse});
  const ToolResult run = Invoke({"GetStatus"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("InvokeAction response GetStatus\n  ResultStatus = 1  (boolean, VT_BOOL)\n", run.out);
  EXPECT_EQ("", run.err);

  // The request went out as the library wrote it.
  const std::vector<varnel_test::HttpRequest> requests = server_.Requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ("/control", requests[0].path);
  EXPECT_NE(std::string::npos,
            requests[0].headers.find("SOAPACTION: \"urn:schemas-upnp-org:service:SwitchPower:1#GetStatus\"\r\n"));
  EXPECT_NE(std::string::npos, requests[0].headers.find("CONTENT-TYPE: text/xml; charset=\"utf-8\"\r\n"));
  EXPECT_NE(std::string::npos, requests[0].headers.find("Accept-Encoding: gzip"));
  EXPECT_NE(std::string::npos, requests[0].body.find("<u:GetStatus xmlns:u=\"urn:schemas-upnp-org:service:SwitchPower:1\"/>"));
}

TEST_F(ControlPointTest, GzippedResponseIsUnpacked) {
  HttpReply reply{200, kStatusResponse};
  reply.gzip = true;
  server_.Route("/control", reply);
  const ToolResult run = Invoke({"--json", "GetStatus"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("\"name\":\"ResultStatus\",\"variable\":\"Status\",\"type\":\"boolean\","
                                            "\"variant\":\"VT_BOOL\",\"value\":true"))
      << run.out;
}

TEST_F(ControlPointTest, FaultPrintsTheUPnPErrorWithStatusFour) {
  server_.Route("/control", HttpReply{500, kFault});
  const ToolResult run = Invoke({"SetTarget", "newTargetValue=0"});
  EXPECT_EQ(4, run.status) << run.err;
  EXPECT_EQ("fault\n  UPnP error 401 Invalid Action\n", run.out);
  ASSERT_EQ(1u, server_.Requests().size());
  EXPECT_NE(std::string::npos, server_.Requests()[0].body.find("<newTargetValue>0</newTargetValue>"));
}

TEST_F(ControlPointTest, QueryPrintsTheValueTyped) {
  server_.Route("/control", HttpReply{200, Envelope("<u:QueryStateVariableResponse xmlns:u=\"urn:schemas-upnp-org:"
                                                    "control-1-0\"><return>0</return></u:QueryStateVariableResponse>")});
  const ToolResult run = RunVarnel({"query", "--scpd", kSwitchPower, "--control-url", server_.Url("/control"),
                                    "--service-type", kServiceType, "Target"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("QueryStateVariable response Target\n  Target = 0  (boolean, VT_BOOL)\n", run.out);
  ASSERT_EQ(1u, server_.Requests().size());
  EXPECT_NE(std::string::npos, server_.Requests()[0].body.find("<u:varName>Target</u:varName>"));

  server_.Route("/control", HttpReply{500, kFault});
  EXPECT_EQ(4, RunVarnel({"query", "--scpd", kSwitchPower, "--control-url", server_.Url("/control"),
                          "--service-type", kServiceType, "Target"})
                   .status);
}

TEST_F(ControlPointTest, DescriptionMayComeOverHttp) {
  server_.Route("/scpd.xml", HttpReply{200, std::string("<?xml version=\"1.0\"?>") +
                                                "<scpd xmlns=\"urn:schemas-upnp-org:service-1-0\"><actionList><action>"
                                                "<name>GetStatus</name><argumentList><argument><name>ResultStatus</name>"
                                                "<direction>out</direction><relatedStateVariable>Status"
                                                "</relatedStateVariable></argument></argumentList></action>"
                                                "</actionList><serviceStateTable><stateVariable><name>Status</name>"
                                                "<dataType>boolean</dataType></stateVariable></serviceStateTable>"
                                                "</scpd>"});
  server_.Route("/control", HttpReply{200, kStatusResponse});
  const ToolResult run = RunVarnel({"invoke", "--scpd", server_.Url("/scpd.xml"), "--control-url",
                                    server_.Url("/control"), "--service-type", kServiceType, "GetStatus"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("ResultStatus = 1"));

  ExpectFailure(RunVarnel({"invoke", "--scpd", server_.Url("/missing.xml"), "--control-url", server_.Url("/control"),
                           "--service-type", kServiceType, "GetStatus"}),
                5, "HTTP 404 for the service description");
}

TEST_F(ControlPointTest, GarbageInA500IsATransportFailure) {
  server_.Route("/control", HttpReply{500, "<html><body>Internal error</body></html>"});
  ExpectFailure(Invoke({"GetStatus"}), 5, "the HTTP 500 answer from " + server_.Url("/control") +
                                              ": the body does not read as a response: 0x80040301");
}

TEST_F(ControlPointTest, AnswerToAnotherActionIsATransportFailure) {
  server_.Route("/control", HttpReply{200, kStatusResponse});
  ExpectFailure(Invoke({"GetTarget"}), 5, "is a InvokeAction response GetStatus, not the answer to GetTarget");
}

TEST_F(ControlPointTest, NoAnswerInTimeIsATransportFailure) {
  HttpReply reply;
  reply.hang = true;
  server_.Route("/control", reply);
  const ToolResult run = RunVarnel({"invoke", "--scpd", kSwitchPower, "--control-url", server_.Url("/control"),
                                    "--service-type", kServiceType, "--timeout", "0.3", "GetStatus"});
  ExpectFailure(run, 5, "no answer from " + server_.Url("/control") + " within 0.3 s: 0x80004004");
}

TEST_F(ControlPointTest, AnswerOverTheCapIsATransportFailure) {
  const std::string big = Envelope("<u:GetStatusResponse xmlns:u=\"urn:schemas-upnp-org:service:SwitchPower:1\">"
                                   "<ResultStatus>1</ResultStatus></u:GetStatusResponse>" +
                                   std::string(5000, ' '));
  server_.Route("/control", HttpReply{200, big});
  ExpectFailure(Invoke({"--max-body", "1000", "GetStatus"}), 5, "is longer than 1000 bytes: 0x80040301");

  // Without a length the answer is cut off as it arrives, counted unpacked.
  HttpReply unsized{200, big};
  unsized.withLength = false;
  unsized.gzip = true;
  server_.Route("/control", unsized);
  ExpectFailure(Invoke({"--max-body", "1000", "GetStatus"}), 5, "is longer than 1000 bytes");
  // Within the cap the same answer reads.
  EXPECT_EQ(0, Invoke({"--max-body", "100000", "GetStatus"}).status);
}

TEST_F(ControlPointTest, HttpErrorsAndRedirectsAreTransportFailures) {
  ExpectFailure(Invoke({"GetStatus"}), 5, "HTTP 404 from " + server_.Url("/control"));
  HttpReply moved;
  moved.status = 302;
  moved.location = server_.Url("/elsewhere");
  server_.Route("/control", moved);
  server_.Route("/elsewhere", HttpReply{200, kStatusResponse});
  ExpectFailure(Invoke({"GetStatus"}), 5, "HTTP 302 from " + server_.Url("/control") + " (redirects are not followed)");
  for (const varnel_test::HttpRequest& request : server_.Requests()) EXPECT_EQ("/control", request.path);
}

TEST(ControlPointConnectionTest, NoServerIsATransportFailure) {
  // Port 1 on the loopback: nothing listens there.
  const ToolResult run = RunVarnel({"invoke", "--scpd", kSwitchPower, "--control-url", "http://127.0.0.1:1/control",
                                    "--service-type", kServiceType, "GetStatus"});
  EXPECT_EQ(5, run.status) << run.err;
  EXPECT_EQ(1u, varnel_test::LineCount(run.err));
  EXPECT_NE(std::string::npos, run.err.find("HTTP exchange with http://127.0.0.1:1/control failed: "));
  EXPECT_NE(std::string::npos, run.err.find(": 0x80004005"));
}

}  // namespace
