// varnel decode: a body read as a device reads a request, or a control point
// a response.
#include <iostream>

#include "command_line.h"
#include "commands.h"
#include "help_text.h"
#include "printing.h"
#include "tool_context.h"
#include "tool_failure.h"

namespace varnel_tool {

using varnel::host::Direction;
using varnel::host::Status;

int RunDecode(const std::vector<std::string>& arguments) {
  const CommandLine line(arguments, {{"scpd", true},
                                     {"request", false},
                                     {"response", false},
                                     {"service-type", true},
                                     {"variable", true},
                                     {"max-body", true},
                                     {"json", false}});
  if (line.Has("help")) {
    std::cout << CommandHelp("decode");
    return kExitSuccess;
  }
  if (line.Has("request") == line.Has("response")) UsageFailure("give one of --request and --response");
  if (line.operands().size() > 1) UsageFailure("give at most one body");
  const std::string& scpd = line.Required("scpd");
  const uint64_t maxBody = line.Count("max-body", kDefaultMaxBody);
  const std::string variable = line.Optional("variable", "");

  std::unique_ptr<varnel::host::Service> service =
      OpenService(LoadDescriptionFile(scpd), line.Optional("service-type", ""));
  if (!variable.empty() && !service->description().FindStateVariable(variable)) {
    Require(Status(DISP_E_UNKNOWNNAME, "the description has no state variable \"" + variable + "\""), kExitBadInput);
  }
  const Direction direction = line.Has("request") ? Direction::kRequest : Direction::kResponse;
  varnel::host::MemoryMessage message(direction,
                                      ReadBody(line.operands().empty() ? "-" : line.operands()[0], maxBody));
  varnel::host::DecodedMessage decoded;
  Require(service->Read(message, variable, &decoded), kExitBadInput);
  if (line.Has("json")) {
    PrintDecodedJson(std::cout, decoded);
  } else {
    PrintDecoded(std::cout, decoded);
  }
  return kExitSuccess;
}

}  // namespace varnel_tool
