// varnel encode: a body written by the library from names and text values.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>

#include "command_line.h"
#include "commands.h"
#include "help_text.h"
#include "printing.h"
#include "tool_context.h"
#include "tool_failure.h"

namespace varnel_tool {

using varnel::host::Direction;
using varnel::host::MemoryMessage;
using varnel::host::TextValue;
using varnel::host::UPnPError;

namespace {

constexpr char kDefaultServiceType[] = "urn:schemas-upnp-org:service:Unspecified:1";

// errorCode=CODE [errorDescription=TEXT].
UPnPError FaultError(const std::vector<TextValue>& values) {
  UPnPError error;
  bool coded = false, described = false;
  for (const TextValue& value : values) {
    if (value.name == "errorCode") {
      char* end = nullptr;
      errno = 0;
      const long code = std::strtol(value.text.c_str(), &end, 10);
      if (value.text.empty() || *end != '\0' || errno == ERANGE || code < INT32_MIN || code > INT32_MAX) {
        UsageFailure("errorCode \"" + value.text + "\" is not a whole number");
      }
      error.code = static_cast<LONG>(code);
      coded = true;
    } else if (value.name == "errorDescription") {
      error.description = value.text;
      described = true;
    } else {
      UsageFailure("a fault takes errorCode= and errorDescription=, not " + value.name + "=");
    }
  }
  if (!coded) UsageFailure("a fault needs errorCode=CODE");
  if (!described) error.description = varnel::host::StandardErrorDescription(error.code);
  return error;
}

}  // namespace

int RunEncode(const std::vector<std::string>& arguments) {
  const CommandLine line(arguments, {{"scpd", true}, {"service-type", true}, {"headers", false}});
  if (line.Has("help")) {
    std::cout << CommandHelp("encode");
    return kExitSuccess;
  }
  const std::vector<std::string>& operands = line.operands();
  if (operands.empty()) UsageFailure("give the kind of body: request, response, query, query-response or fault");
  const std::string& kind = operands[0];
  const bool isRequest = kind == "request" || kind == "query";
  if (!isRequest && kind != "response" && kind != "query-response" && kind != "fault") {
    UsageFailure("unknown kind of body \"" + kind + "\" (request, response, query, query-response or fault)");
  }
  const bool namesVariable = kind == "query" || kind == "query-response";
  if (operands.size() < 2) UsageFailure(std::string("give the ") + (namesVariable ? "VARIABLE" : "ACTION"));
  const std::string& name = operands[1];
  const std::vector<TextValue> values = NamedValueOperands(operands, 2);
  if (kind == "query" && !values.empty()) UsageFailure("a query takes no values");
  if (kind == "query-response" && (values.size() != 1 || values[0].name != "return")) {
    UsageFailure("a query answer takes one return=VALUE");
  }
  const UPnPError error = kind == "fault" ? FaultError(values) : UPnPError();
  const std::string& scpd = line.Required("scpd");

  std::unique_ptr<varnel::host::Service> service =
      OpenService(LoadDescriptionFile(scpd), line.Optional("service-type", kDefaultServiceType));
  MemoryMessage message(isRequest ? Direction::kRequest : Direction::kResponse);
  varnel::host::Status written;
  if (kind == "request") {
    written = service->WriteRequest(name, values, &message);
  } else if (kind == "response") {
    written = service->WriteResponse(name, values, &message);
  } else if (kind == "query") {
    written = service->WriteQuery(name, &message);
  } else if (kind == "query-response") {
    written = service->WriteQueryResponse(name, values[0].text, &message);
  } else {
    written = service->WriteFault(error, name, &message);
  }
  Require(written, kExitBadInput);
  PrintWritten(std::cout, message, line.Has("headers"));
  return kExitSuccess;
}

}  // namespace varnel_tool
