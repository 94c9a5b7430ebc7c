// varnel serve over HTTP: the descriptions it serves, the SOAPACTION, Host,
// size and encoding checks before a body reaches the library, the log, and
// how it starts and stops.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "serve_process.h"
#include "serve_requests.h"

namespace {

using namespace varnel_test;

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

const std::string kGetStatus = ActionBody("GetStatus");

TEST(ServeHttpTest, ServesTheDescriptionsAndNothingElse) {
  ServeProcess server({"--behaviour", kGatewayFolder + "/behaviour.json", "--timeout", "60", kGatewayFolder});
  ASSERT_NE(0, server.port()) << server.Errors();
  EXPECT_EQ("http://127.0.0.1:" + std::to_string(server.port()) + "/rootDesc.xml", server.url());
  for (const char* file : {"rootDesc.xml", "Layer3Forwarding1.xml", "WANCommonInterfaceConfig1.xml",
                           "WANIPConnection1.xml"}) {
    const RawReply reply = Get(server.port(), std::string("/") + file);
    EXPECT_EQ(200, reply.status) << file;
    EXPECT_EQ(FileText(kGatewayFolder + "/" + file), reply.body) << file;
    EXPECT_EQ("text/xml; charset=\"utf-8\"", reply.Header("Content-Type")) << file;
  }
  const RawReply head = Get(server.port(), "/rootDesc.xml", "HEAD");
  EXPECT_EQ(200, head.status);
  EXPECT_EQ("", head.body);
  // Files of the folder that the description does not name stay unserved.
  EXPECT_EQ(404, Get(server.port(), "/behaviour.json").status);
  EXPECT_EQ(404, Get(server.port(), "/../gateway/rootDesc.xml").status);
  EXPECT_EQ(404, Get(server.port(), "/").status);
  const RawReply postToFile = Post(server.port(), "/rootDesc.xml", kGetStatus, {});
  EXPECT_EQ(405, postToFile.status);
  EXPECT_EQ("GET, HEAD", postToFile.Header("Allow"));
  const RawReply getControl = Get(server.port(), "/control/WANIPConn1");
  EXPECT_EQ(405, getControl.status);
  EXPECT_EQ("POST", getControl.Header("Allow"));
  // Each service of the embedded devices answers at its own control URL.
  const std::string common = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1";
  const RawReply reply = Post(server.port(), "/control/WANCommonIFC1", ActionBody("GetTotalBytesSent", "", common),
                              {SoapActionHeader("GetTotalBytesSent", common)});
  EXPECT_EQ(200, reply.status) << reply.body;
  EXPECT_EQ("123456789", ElementText(reply.body, "NewTotalBytesSent")) << reply.body;
}

class ServeSoapActionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<ServeProcess>(
        std::vector<std::string>{"--behaviour", kDataTypesBehaviour, "--timeout", "120", kDataTypesFolder});
  }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override { ASSERT_NE(0, server_->port()) << server_->Errors(); }

  static RawReply Send(const std::string& body, const std::vector<std::string>& headers) {
    return Post(server_->port(), kDataTypesControl, body, headers);
  }

  static std::unique_ptr<ServeProcess> server_;
};

std::unique_ptr<ServeProcess> ServeSoapActionTest::server_;

TEST_F(ServeSoapActionTest, MissingOrUnreadableIsRefused412WithoutBody) {
  for (const std::vector<std::string>& headers :
       {std::vector<std::string>{}, {"SOAPACTION: GetStatus"}, {"SOAPACTION: \"\""},
        {"SOAPACTION: \"" + kDataTypesType + "#\""}, {"SOAPACTION: \"#GetStatus\""},
        {"SOAPACTION: \"" + kDataTypesType + "#Get\"Status\""}}) {
    const RawReply reply = Send(kGetStatus, headers);
    EXPECT_EQ(412, reply.status) << (headers.empty() ? "none" : headers[0]);
    EXPECT_EQ("", reply.body);
  }
}

TEST_F(ServeSoapActionTest, NamingAnotherActionOrServiceIsAnswered401) {
  RawReply reply = Send(kGetStatus, {SoapActionHeader("Ping")});
  EXPECT_EQ(500, reply.status);
  EXPECT_EQ(401, FaultCode(reply.body)) << reply.body;
  reply = Send(kGetStatus, {SoapActionHeader("GetStatus", "urn:schemas-upnp-org:service:Other:1")});
  EXPECT_EQ(401, FaultCode(reply.body)) << reply.body;
  reply = Send(kGetStatus, {SoapActionHeader("QueryStateVariable", kControlNamespace)});
  EXPECT_EQ(401, FaultCode(reply.body)) << reply.body;
  reply = Send(QueryBody("Status"), {SoapActionHeader("GetStatus")});
  EXPECT_EQ(401, FaultCode(reply.body)) << reply.body;
}

TEST_F(ServeSoapActionTest, QuotesAreOptionalAndQueriesMayNameEitherNamespace) {
  RawReply reply = Send(kGetStatus, {"SOAPAction:  " + kDataTypesType + "#GetStatus "});
  EXPECT_EQ(200, reply.status) << reply.body;
  EXPECT_EQ("1", ElementText(reply.body, "ResultStatus")) << reply.body;
  for (const std::string& space : {kControlNamespace, kDataTypesType}) {
    reply = Send(QueryBody("Status"), {SoapActionHeader("QueryStateVariable", space)});
    EXPECT_EQ(200, reply.status) << space << reply.body;
    EXPECT_EQ("1", ElementText(reply.body, "return")) << space << reply.body;
  }
}

TEST_F(ServeSoapActionTest, HostMustBeThisServer) {
  const uint16_t port = server_->port();
  const std::string request = "POST " + kDataTypesControl + " HTTP/1.1\r\n" + SoapActionHeader("GetStatus") +
                              "\r\nContent-Length: " + std::to_string(kGetStatus.size()) +
                              "\r\nConnection: close\r\nHost: ";
  EXPECT_EQ(200, SendRaw(port, request + "127.0.0.1:" + std::to_string(port) + "\r\n\r\n" + kGetStatus).status);
  EXPECT_EQ(200, SendRaw(port, request + "LOCALHOST:" + std::to_string(port) + "\r\n\r\n" + kGetStatus).status);
  EXPECT_EQ(412, SendRaw(port, request + "attacker.example:" + std::to_string(port) + "\r\n\r\n" + kGetStatus).status);
  EXPECT_EQ(412, SendRaw(port, request + "127.0.0.1:1\r\n\r\n" + kGetStatus).status);
  // HTTP/1.1 requires a Host; HTTP/1.0 may leave it out.
  EXPECT_EQ(400, SendRaw(port, "GET /description.xml HTTP/1.1\r\nConnection: close\r\n\r\n").status);
  EXPECT_EQ(200, SendRaw(port, "GET /description.xml HTTP/1.0\r\n\r\n").status);
}

TEST_F(ServeSoapActionTest, CompressedBodiesAreRefused415) {
  EXPECT_EQ(415, Send(kGetStatus, {SoapActionHeader("GetStatus"), "Content-Encoding: gzip"}).status);
  EXPECT_EQ(200, Send(kGetStatus, {SoapActionHeader("GetStatus"), "Content-Encoding: identity"}).status);
}

TEST(ServeLimitTest, BodiesOverTheRequestLimitAreRefused413) {
  const std::string body = ActionBody("EchoText", "<TextIn>" + std::string(1500, 'x') + "</TextIn>");
  ServeProcess server({"--behaviour", kDataTypesBehaviour, "--max-request", std::to_string(body.size()), "--timeout",
                       "60", kDataTypesFolder});
  ASSERT_NE(0, server.port()) << server.Errors();
  const std::string soapAction = SoapActionHeader("EchoText");
  EXPECT_EQ(200, Post(server.port(), kDataTypesControl, body, {soapAction}).status);
  const RawReply over = Post(server.port(), kDataTypesControl, body + " ", {soapAction});
  EXPECT_EQ(413, over.status);
  EXPECT_EQ("close", over.Header("Connection"));
  // Announced over the limit: answered before a byte of the body is sent.
  const RawReply announced =
      SendRaw(server.port(), "POST " + kDataTypesControl + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                                 std::to_string(server.port()) + "\r\n" + soapAction +
                                 "\r\nContent-Length: 1000000000000\r\n\r\n");
  EXPECT_EQ(413, announced.status);
  // Sent in chunks without a length: refused once it runs over.
  std::string chunked = "POST " + kDataTypesControl + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                        std::to_string(server.port()) + "\r\n" + soapAction +
                        "\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  for (int i = 0; i < 4; ++i) chunked += "400\r\n" + std::string(1024, ' ') + "\r\n";
  EXPECT_EQ(413, SendRaw(server.port(), chunked + "0\r\n\r\n").status);
  // The server goes on answering.
  EXPECT_EQ(200, Post(server.port(), kDataTypesControl, body, {soapAction}).status);
}

TEST(ServeLifecycleTest, StopsAfterItsTimeout) {
  const auto start = std::chrono::steady_clock::now();
  ServeProcess server({"--timeout", "0.5", kDataTypesFolder});
  ASSERT_NE(0, server.port()) << server.Errors();
  EXPECT_EQ(0, server.Wait(10)) << server.Errors();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.5);
  EXPECT_EQ("", server.Errors());
  EXPECT_EQ(0, Get(server.port(), "/description.xml").status);  // nobody listens any more
}

TEST(ServeLifecycleTest, StopsCleanlyOnSigtermAndSigint) {
  for (const int signal : {SIGTERM, SIGINT}) {
    ServeProcess server({"--log", kDataTypesFolder});
    ASSERT_NE(0, server.port()) << server.Errors();
    EXPECT_EQ(200, Get(server.port(), "/description.xml").status);
    EXPECT_EQ(0, server.Stop(signal)) << server.Errors();
    EXPECT_NE(std::string::npos, server.Errors().find(signal == SIGTERM ? "stopped by SIGTERM" : "stopped by SIGINT"))
        << server.Errors();
  }
}

TEST(ServeLifecycleTest, LogsOneLinePerExchange) {
  ServeProcess server({"--log", "--behaviour", kDataTypesBehaviour, kDataTypesFolder});
  ASSERT_NE(0, server.port()) << server.Errors();
  Get(server.port(), "/DataTypes1.xml");
  Post(server.port(), kDataTypesControl, kGetStatus, {SoapActionHeader("GetStatus")});
  Post(server.port(), kDataTypesControl, ActionBody("SetTarget"), {SoapActionHeader("SetTarget"), "X-Evil: a\x01z"});
  Post(server.port(), kDataTypesControl, kGetStatus, {});
  ASSERT_EQ(0, server.Stop()) << server.Errors();
  const std::string log = server.Errors();
  EXPECT_EQ(6u, LineCount(log)) << log;  // serving, four exchanges, stopped
  EXPECT_NE(std::string::npos, log.find("GET /DataTypes1.xml 200 description\n")) << log;
  EXPECT_NE(std::string::npos, log.find("POST /control/DataTypes1 200 GetStatus\n")) << log;
  EXPECT_NE(std::string::npos, log.find("POST /control/DataTypes1 500 SetTarget: UPnP error 402 Invalid Args")) << log;
  EXPECT_NE(std::string::npos, log.find("POST /control/DataTypes1 412 no SOAPACTION header\n")) << log;
}

TEST(ServeStartTest, RefusedFoldersAndBehavioursEndWithOneLine) {
  TemporaryFolder empty;
  TemporaryFolder folder;
  const std::string unknownAction = folder.Write("unknown.json", "{\"services\": {\"" + kDataTypesType +
                                                                     "\": {\"actions\": {\"Explode\": {}}}}}");
  const std::string notJson = folder.Write("broken.json", "{\"services\": ");
  const std::string badKey = folder.Write("key.json", "{\"services\": {\"" + kDataTypesType +
                                                          "\": {\"actions\": {\"Ping\": {\"output\": {}}}}}}");
  const std::string badCode = folder.Write("code.json", "{\"services\": {\"" + kDataTypesType +
                                                            "\": {\"actions\": {\"Ping\": {\"error\": {\"code\": \"x\"}}}}}}");
  const std::string otherService = folder.Write("other.json", "{\"services\": {\"urn:x:service:None:1\": {}}}");
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{empty.path()}, "description.xml"},
      {{"--description", "../gateway/rootDesc.xml", kDataTypesFolder}, "not a file name"},
      {{"--behaviour", unknownAction, kDataTypesFolder}, "unknown action Explode"},
      {{"--behaviour", notJson, kDataTypesFolder}, "cannot read the behaviour file"},
      {{"--behaviour", badKey, kDataTypesFolder}, "\"output\""},
      {{"--behaviour", badCode, kDataTypesFolder}, "not a positive whole number"},
      {{"--behaviour", otherService, kDataTypesFolder}, "urn:x:service:None:1"},
  };
  for (const auto& [arguments, problem] : refused) {
    ServeProcess server(arguments);
    EXPECT_EQ("", server.url()) << arguments.back();
    EXPECT_EQ(3, server.Wait(10)) << problem;
    const std::string errors = server.Errors();
    EXPECT_EQ(1u, LineCount(errors)) << errors;
    EXPECT_NE(std::string::npos, errors.find(problem)) << errors;
  }
}

TEST(ServeStartTest, BadUsageAndAPortInUse) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"a", "b"}, {"--port", "70000", kDataTypesFolder},
        {"--timeout", "-1", kDataTypesFolder}, {"--max-request", "0", kDataTypesFolder}}) {
    ServeProcess server(arguments);
    EXPECT_EQ(2, server.Wait(10)) << server.Errors();
    EXPECT_EQ(1u, LineCount(server.Errors())) << server.Errors();
  }
  ServeProcess first({"--timeout", "60", kDataTypesFolder});
  ASSERT_NE(0, first.port()) << first.Errors();
  ServeProcess second({"--port", std::to_string(first.port()), kDataTypesFolder});
  EXPECT_EQ(5, second.Wait(10)) << second.Errors();
  EXPECT_NE(std::string::npos, second.Errors().find("cannot listen on 127.0.0.1:" + std::to_string(first.port())))
      << second.Errors();
  EXPECT_EQ(1u, LineCount(second.Errors())) << second.Errors();
}

}  // namespace
