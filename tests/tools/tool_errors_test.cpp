// Every documented failure of varnel: its exit status, and one line on
// standard error naming the problem and the result code with its text.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tool_run.h"

namespace {

using varnel_test::RunVarnel;
using varnel_test::TemporaryFile;
using varnel_test::ToolResult;

const std::string kSwitchPower = std::string(VARNEL_TEST_DATA_DIR) + "/scpd/switch_power.xml";

// The run ended with `status` and printed exactly one line on standard error
// that holds `problem` and ends in a result code with its text.
void ExpectFailure(const ToolResult& run, int status, const std::string& problem) {
  EXPECT_EQ(status, run.status) << run.err;
  EXPECT_EQ(1u, varnel_test::LineCount(run.err)) << run.err;
  EXPECT_NE(std::string::npos, run.err.find(problem)) << run.err;
  EXPECT_TRUE(std::regex_search(run.err, std::regex(": 0x[0-9A-F]{8} [A-Z][^\n]+\n$"))) << run.err;
}

std::string SwitchRequest(const std::string& inside) {
  return "<s:Envelope xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'><s:Body>"
         "<u:SetTarget xmlns:u='urn:schemas-upnp-org:service:SwitchPower:1'>" +
         inside + "</u:SetTarget></s:Body></s:Envelope>";
}

TEST(ToolUsageTest, BadUsageIsStatusTwo) {
  ExpectFailure(RunVarnel({}), 2, "varnel: give a command");
  ExpectFailure(RunVarnel({"frob"}), 2, "varnel frob: unknown command \"frob\"");
  ExpectFailure(RunVarnel({"decode", "--scpd", kSwitchPower, "--request", "--frob"}), 2, "unknown option --frob");
  ExpectFailure(RunVarnel({"decode", "--request"}), 2, "option --scpd is required");
  ExpectFailure(RunVarnel({"decode", "--scpd", kSwitchPower}), 2, "give one of --request and --response");
  ExpectFailure(RunVarnel({"decode", "--scpd"}), 2, "option --scpd needs a value");
  ExpectFailure(RunVarnel({"decode", "--json=yes", "--scpd", kSwitchPower, "--request"}), 2,
                "option --json takes no value");
  ExpectFailure(RunVarnel({"decode", "--scpd", kSwitchPower, "--request", "--max-body", "many"}), 2,
                "option --max-body needs a positive whole number, not \"many\"");
  ExpectFailure(RunVarnel({"encode", "telegram", "--scpd", kSwitchPower, "SetTarget"}), 2,
                "unknown kind of body \"telegram\"");
  ExpectFailure(RunVarnel({"encode", "request", "--scpd", kSwitchPower, "SetTarget", "newTargetValue"}), 2,
                "\"newTargetValue\" is not NAME=VALUE");
  ExpectFailure(RunVarnel({"encode", "fault", "--scpd", kSwitchPower, "SetTarget", "errorCode=4o1"}), 2,
                "errorCode \"4o1\" is not a whole number");
  ExpectFailure(RunVarnel({"invoke", "--scpd", kSwitchPower, "--control-url", "ftp://host/x", "--service-type",
                           "urn:x", "GetStatus"}),
                2, "is not an http or https URL");
  ExpectFailure(RunVarnel({"query", "--scpd", kSwitchPower, "--control-url", "http://127.0.0.1:1/", "--service-type",
                           "urn:x", "--timeout", "-1", "Status"}),
                2, "option --timeout needs a number of seconds above 0");
}

TEST(ToolUsageTest, EveryCommandHasHelp) {
  for (const char* command : {"demo", "decode", "encode", "invoke", "query"}) {
    const ToolResult help = RunVarnel({command, "--help"});
    EXPECT_EQ(0, help.status) << command;
    EXPECT_EQ(0u, help.out.find(std::string("Usage: varnel ") + command)) << help.out;
    EXPECT_NE(std::string::npos, help.out.find("Exit status:")) << command;
    EXPECT_EQ("", help.err);
  }
  const ToolResult overview = RunVarnel({"--help"});
  EXPECT_EQ(0, overview.status);
  EXPECT_NE(std::string::npos, overview.out.find("The invoke command:"));
  EXPECT_EQ(0, RunVarnel({"--version"}).status);
}

TEST(ToolInputTest, RefusedInputIsStatusThree) {
  ExpectFailure(RunVarnel({"encode", "request", "--scpd", "/no/such.xml", "SetTarget", "newTargetValue=1"}), 3,
                "cannot load the service description /no/such.xml");
  const TemporaryFile broken("<scpd xmlns='urn:schemas-upnp-org:service-1-0'><actionList>");
  ExpectFailure(RunVarnel({"encode", "request", "--scpd", broken.path(), "SetTarget"}), 3,
                "cannot load the service description " + broken.path());
  const TemporaryFile device("<root xmlns='urn:schemas-upnp-org:device-1-0'/>");
  ExpectFailure(RunVarnel({"encode", "query", "--scpd", device.path(), "Status"}), 3, "not a service description");
  const TemporaryFile refused(
      "<scpd xmlns='urn:schemas-upnp-org:service-1-0'><serviceStateTable><stateVariable><name>B</name>"
      "<dataType>boolean</dataType><defaultValue>True</defaultValue></stateVariable></serviceStateTable></scpd>");
  ExpectFailure(RunVarnel({"encode", "query", "--scpd", refused.path(), "B"}), 3,
                "the library refuses the service description");

  ExpectFailure(RunVarnel({"encode", "request", "--scpd", kSwitchPower, "SetTargets"}), 3,
                "the description has no action \"SetTargets\" (its actions: SetTarget, GetTarget, GetStatus)");
  ExpectFailure(RunVarnel({"encode", "request", "--scpd", kSwitchPower, "SetTarget", "target=1"}), 3,
                "action \"SetTarget\" has no input argument \"target\"");
  ExpectFailure(RunVarnel({"encode", "request", "--scpd", kSwitchPower, "SetTarget"}), 3,
                "no value for input argument \"newTargetValue\"");
  ExpectFailure(RunVarnel({"encode", "request", "--scpd", kSwitchPower, "SetTarget", "newTargetValue=dim"}), 3,
                "value \"dim\" is refused as a boolean value of \"Target\": 0x80070057");
  ExpectFailure(RunVarnel({"encode", "query", "--scpd", kSwitchPower, "Power"}), 3,
                "the description has no state variable \"Power\"");
  ExpectFailure(RunVarnel({"decode", "--scpd", kSwitchPower, "--response", "--variable", "Power"}, ""), 3,
                "the description has no state variable \"Power\"");
}

TEST(ToolInputTest, BodiesThatDoNotReadAreStatusThree) {
  ExpectFailure(RunVarnel({"decode", "--scpd", kSwitchPower, "--request"}, "<html>Not found</html>"), 3,
                "the body does not read as a request: 0x80040301 The body is not one SOAP Body");
  ExpectFailure(RunVarnel({"decode", "--scpd", kSwitchPower, "--request", "/no/body.xml"}), 3,
                "cannot open the body /no/body.xml");
  ExpectFailure(RunVarnel({"decode", "--scpd", kSwitchPower, "--request", "--max-body", "100"},
                          SwitchRequest("<newTargetValue>1</newTargetValue>")),
                3, "the body on standard input is longer than 100 bytes");
  // The UPnP error the library names for a device to answer with.
  ExpectFailure(RunVarnel({"decode", "--scpd", kSwitchPower, "--request"}, SwitchRequest("")), 3,
                "(UPnP error 402 Invalid Args)");
  ExpectFailure(RunVarnel({"decode", "--scpd", kSwitchPower, "--request"},
                          SwitchRequest("<newTargetValue>dim</newTargetValue>")),
                3, "(UPnP error 600 Argument Value Invalid)");
}

TEST(ToolFailureTest, LibraryThatDoesNotLoadIsStatusOne) {
  ExpectFailure(RunVarnel({"encode", "query", "--scpd", kSwitchPower, "Status"}, "",
                          {{"VARNEL_LIBRARY", "/no/libvarnel.so"}}),
                1, "from /no/libvarnel.so: 0x800401F8");
  ExpectFailure(RunVarnel({"demo", "now"}), 2, "demo takes no arguments");
}

TEST(ToolDemoTest, DemoRunsEveryStep) {
  const ToolResult demo = RunVarnel({"demo"});
  EXPECT_EQ(0, demo.status) << demo.err;
  EXPECT_EQ("", demo.err);
  for (const char* expected : {"UPnP error 401 Invalid Action", "UPnP error 600 Argument Value Invalid",
                               "UPnP error 601 Argument Value Out of Range", "UPnP error 402 Invalid Args",
                               "  Status = 1  (boolean, VT_BOOL)", "bin_hexOut = 48656c6c6f  (bin.hex, VT_ARRAY|VT_UI1)",
                               "The demo ran every step."}) {
    EXPECT_NE(std::string::npos, demo.out.find(expected)) << expected;
  }
}

}  // namespace
