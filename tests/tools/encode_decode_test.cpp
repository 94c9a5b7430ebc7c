// varnel encode and decode on a description with every data type: each kind
// of body written, then read back with its typed values, as text and JSON.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_run.h"

namespace {

using varnel_test::RunVarnel;
using varnel_test::TemporaryFile;
using varnel_test::ToolResult;

const std::string kAllTypes = std::string(VARNEL_TEST_DATA_DIR) + "/scpd/all_types.xml";
constexpr char kServiceType[] = "urn:schemas-example-org:service:AllTypes:1";

struct TypedValue {
  const char* variable;  // V_<variable> is the state variable; In_/Out_ the arguments
  const char* given;
  const char* read;      // the text the value is read back as
  const char* types;     // "(<data type>, <variant type>)"
};

// One value of each type of the Everything action, within its variable's
// restrictions.
const std::vector<TypedValue> kValues = {
    {"i1", "-4", "-4", "(i1, VT_I1)"},
    {"i2", "-300", "-300", "(i2, VT_I2)"},
    {"i4", "-1000", "-1000", "(i4, VT_I4)"},
    {"ui1", "200", "200", "(ui1, VT_UI1)"},
    {"ui2", "65535", "65535", "(ui2, VT_UI2)"},
    {"ui4", "4000000000", "4000000000", "(ui4, VT_UI4)"},
    {"int", "7", "7", "(int, VT_I4)"},
    {"r4", "1.25", "1.250000", "(r4, VT_R4)"},
    {"r8", "-2.5e3", "-2500.000000", "(r8, VT_R8)"},
    {"float", "0.5", "0.500000", "(float, VT_R4)"},
    {"fixed_14_4", "12.3456", "12.3456", "(fixed.14.4, VT_CY)"},
    {"number", "99.5", "99.500000", "(number, VT_BSTR)"},
    {"char", "b", "b", "(char, VT_UI2)"},
    {"string", "Beta", "Beta", "(string, VT_BSTR)"},
    {"uri", "http://host/x?a=1&b=2", "http://host/x?a=1&b=2", "(uri, VT_BSTR)"},
    {"uuid", "2fac1234-31f8-11b4-a222-08002b34c003", "2fac1234-31f8-11b4-a222-08002b34c003", "(uuid, VT_BSTR)"},
    {"boolean", "true", "1", "(boolean, VT_BOOL)"},
    {"date", "2011-02-15", "2011-02-15", "(date, VT_DATE)"},
    {"dateTime", "2011-02-15T08:05:09", "2011-02-15T08:05:09", "(dateTime, VT_DATE)"},
    {"dateTime_tz", "2011-02-15T08:05:09Z", "2011-02-15T08:05:09Z", "(dateTime.tz, VT_DATE)"},
    {"time", "08:05:09", "08:05:09", "(time, VT_DATE)"},
    {"time_tz", "23:59:59Z", "23:59:59Z", "(time.tz, VT_DATE)"},
};

std::vector<std::string> Encode(const std::string& kind, const std::string& name,
                                const std::vector<std::string>& values, bool headers = false) {
  std::vector<std::string> arguments = {"encode", kind, "--scpd", kAllTypes, "--service-type", kServiceType};
  if (headers) arguments.push_back("--headers");
  arguments.push_back(name);
  arguments.insert(arguments.end(), values.begin(), values.end());
  return arguments;
}

std::vector<std::string> EverythingValues(const char* prefix) {
  std::vector<std::string> values;
  for (const TypedValue& value : kValues) values.push_back(std::string(prefix) + "V_" + value.variable + "=" + value.given);
  return values;
}

ToolResult Decode(const std::string& body, const std::vector<std::string>& options) {
  std::vector<std::string> arguments = {"decode", "--scpd", kAllTypes};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return RunVarnel(arguments, body);
}

TEST(EncodeDecodeTest, RequestOfEveryTypeReadsBackTyped) {
  const ToolResult written = RunVarnel(Encode("request", "Everything", EverythingValues("In_")));
  ASSERT_EQ(0, written.status) << written.err;
  EXPECT_EQ("", written.err);
  EXPECT_NE(std::string::npos, written.out.find("<u:Everything xmlns:u=\"urn:schemas-example-org:service:AllTypes:1\">"));

  const ToolResult read = Decode(written.out, {"--request"});
  ASSERT_EQ(0, read.status) << read.err;
  EXPECT_EQ(0u, read.out.find("InvokeAction request Everything\n"));
  for (const TypedValue& value : kValues) {
    const std::string line = std::string("  In_V_") + value.variable + " = " + value.read + "  " + value.types + "\n";
    EXPECT_NE(std::string::npos, read.out.find(line)) << line << read.out;
  }
  EXPECT_EQ(1 + kValues.size(), varnel_test::LineCount(read.out));
}

TEST(EncodeDecodeTest, ResponseOfEveryTypeReadsBackTyped) {
  const ToolResult written = RunVarnel(Encode("response", "Everything", EverythingValues("Out_")));
  ASSERT_EQ(0, written.status) << written.err;
  const TemporaryFile body(written.out);
  const ToolResult read = Decode("", {"--response", body.path()});
  ASSERT_EQ(0, read.status) << read.err;
  EXPECT_EQ(0u, read.out.find("InvokeAction response Everything\n"));
  for (const TypedValue& value : kValues) {
    const std::string line = std::string("  Out_V_") + value.variable + " = " + value.read + "  " + value.types + "\n";
    EXPECT_NE(std::string::npos, read.out.find(line)) << line << read.out;
  }
}

TEST(EncodeDecodeTest, QueryAndItsAnswerOfTheWideTypes) {
  const ToolResult query = RunVarnel(Encode("query", "V_i8", {}));
  ASSERT_EQ(0, query.status) << query.err;
  const ToolResult asked = Decode(query.out, {"--request"});
  EXPECT_EQ("QueryStateVariable request V_i8\n", asked.out);

  const struct {
    const char* variable;
    const char* value;
    const char* line;
  } answers[] = {
      {"V_ui8", "18446744073709551615", "  V_ui8 = 18446744073709551615  (ui8, VT_UI8)\n"},
      {"V_i8", "-9223372036854775808", "  V_i8 = -9223372036854775808  (i8, VT_I8)\n"},
      {"V_bin_hex", "00ff10", "  V_bin_hex = 00ff10  (bin.hex, VT_ARRAY|VT_UI1)\n"},
      {"V_bin_base64", "AP8Q", "  V_bin_base64 = AP8Q  (bin.base64, VT_ARRAY|VT_UI1)\n"},
  };
  for (const auto& answer : answers) {
    const ToolResult written =
        RunVarnel(Encode("query-response", answer.variable, {std::string("return=") + answer.value}));
    ASSERT_EQ(0, written.status) << written.err;
    EXPECT_NE(std::string::npos, written.out.find(std::string("<return>") + answer.value + "</return>"));
    const ToolResult read = Decode(written.out, {"--response", "--variable", answer.variable});
    ASSERT_EQ(0, read.status) << read.err;
    EXPECT_EQ(std::string("QueryStateVariable response ") + answer.variable + "\n" + answer.line, read.out);
  }
  // Without --variable the answer is the text as it came.
  const ToolResult untyped = Decode(RunVarnel(Encode("query-response", "V_boolean", {"return=yes"})).out, {"--response"});
  EXPECT_EQ("QueryStateVariable response\n  return = 1  (no data type, VT_BSTR)\n", untyped.out);
}

TEST(EncodeDecodeTest, FaultWithTheStandardOrAGivenDescription) {
  const ToolResult standard = RunVarnel(Encode("fault", "Echo", {"errorCode=402"}));
  ASSERT_EQ(0, standard.status) << standard.err;
  EXPECT_NE(std::string::npos, standard.out.find("<errorCode>402</errorCode><errorDescription>Invalid Args<"));
  EXPECT_EQ("fault\n  UPnP error 402 Invalid Args\n", Decode(standard.out, {"--response"}).out);

  const ToolResult own = RunVarnel(Encode("fault", "Echo", {"errorCode=-7", "errorDescription=Lamp <burnt> & out"}));
  ASSERT_EQ(0, own.status) << own.err;
  const ToolResult read = Decode(own.out, {"--response", "--json"});
  EXPECT_EQ(
      "{\"kind\":\"fault\",\"name\":\"\",\"values\":[],\"error\":{\"code\":-7,\"description\":\"Lamp <burnt> & "
      "out\"}}\n",
      read.out);
}

TEST(EncodeDecodeTest, HeadersComeBeforeTheBody) {
  const ToolResult written = RunVarnel(Encode("request", "Echo", {"Text=Alpha"}, true));
  ASSERT_EQ(0, written.status) << written.err;
  EXPECT_EQ(0u, written.out.find("SOAPACTION: \"urn:schemas-example-org:service:AllTypes:1#Echo\"\n"));
  const size_t gap = written.out.find("\n\n");
  ASSERT_NE(std::string::npos, gap);
  const std::string body = written.out.substr(gap + 2);
  EXPECT_NE(std::string::npos,
            written.out.find("CONTENT-LENGTH: " + std::to_string(body.size()) + "\n"));  // the body ends in one line feed
  EXPECT_EQ("InvokeAction request Echo\n  Text = Alpha  (string, VT_BSTR)\n", Decode(body, {"--request"}).out);
}

TEST(EncodeDecodeTest, JsonCarriesTypedValues) {
  const ToolResult written = RunVarnel(Encode("request", "Everything", EverythingValues("In_")));
  const ToolResult read = Decode(written.out, {"--request", "--json"});
  ASSERT_EQ(0, read.status) << read.err;
  EXPECT_EQ(1u, varnel_test::LineCount(read.out));
  EXPECT_EQ(0u, read.out.find("{\"kind\":\"InvokeAction request\",\"name\":\"Everything\",\"values\":[{\"name\":\"In_V_i1\","
                              "\"variable\":\"V_i1\",\"type\":\"i1\",\"variant\":\"VT_I1\",\"value\":-4,\"text\":\"-4\"}"));
  EXPECT_NE(std::string::npos, read.out.find("\"variant\":\"VT_BOOL\",\"value\":true,\"text\":\"1\""));
  EXPECT_NE(std::string::npos, read.out.find("\"variant\":\"VT_R8\",\"value\":-2500.000000,"));
  EXPECT_NE(std::string::npos, read.out.find("\"variant\":\"VT_DATE\",\"value\":\"2011-02-15\","));
  EXPECT_NE(std::string::npos, read.out.find("],\"error\":null}\n"));
}

TEST(EncodeDecodeTest, RecordedErrorIsShownWithTheRequest) {
  const std::string body =
      "<s:Envelope xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'><s:Body>"
      "<u:Everything2 xmlns:u='urn:x'/></s:Body></s:Envelope>";
  const ToolResult read = Decode(body, {"--request"});
  EXPECT_EQ(0, read.status) << read.err;
  EXPECT_EQ("InvokeAction request Everything2\n"
            "  UPnP error 401 Invalid Action  (recorded while reading: answer with this fault)\n",
            read.out);
}

}  // namespace
