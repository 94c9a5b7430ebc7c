// varnel invoke and varnel query: a control point over HTTP.
#include <iostream>

#include "command_line.h"
#include "commands.h"
#include "help_text.h"
#include "http_client.h"
#include "printing.h"
#include "tool_context.h"
#include "tool_failure.h"

namespace varnel_tool {

using varnel::host::DecodedMessage;
using varnel::host::Direction;
using varnel::host::MemoryMessage;
using varnel::host::MessageKind;
using varnel::host::Status;

namespace {

bool IsUrl(const std::string& text) {
  return text.compare(0, 7, "http://") == 0 || text.compare(0, 8, "https://") == 0;
}

varnel::host::ServiceDescription FetchDescription(const std::string& scpd, const HttpLimits& limits) {
  if (!IsUrl(scpd)) return LoadDescriptionFile(scpd);
  HttpAnswer answer;
  Require(HttpGet(scpd, limits, &answer), kExitTransport);
  if (answer.status != 200) {
    Require(Status(E_FAIL, "HTTP " + std::to_string(answer.status) + " for the service description " + scpd),
            kExitTransport);
  }
  return LoadDescriptionText(answer.body, scpd);
}

int RunControl(const std::vector<std::string>& arguments, bool query) {
  const char* command = query ? "query" : "invoke";
  const CommandLine line(arguments, {{"scpd", true},
                                     {"control-url", true},
                                     {"service-type", true},
                                     {"timeout", true},
                                     {"max-body", true},
                                     {"json", false}});
  if (line.Has("help")) {
    std::cout << CommandHelp(command);
    return kExitSuccess;
  }
  const std::vector<std::string>& operands = line.operands();
  if (operands.empty()) UsageFailure(query ? "give the VARIABLE to query" : "give the ACTION to invoke");
  if (query && operands.size() > 1) UsageFailure("a query takes one VARIABLE and no values");
  const std::string& name = operands[0];
  const std::vector<varnel::host::TextValue> values = NamedValueOperands(operands, 1);
  const std::string& scpd = line.Required("scpd");
  const std::string& controlUrl = line.Required("control-url");
  const std::string& serviceType = line.Required("service-type");
  if (!IsUrl(controlUrl)) UsageFailure("the control URL \"" + controlUrl + "\" is not an http or https URL");
  HttpLimits limits;
  limits.timeoutSeconds = line.Seconds("timeout", 30);
  limits.maxBody = line.Count("max-body", kDefaultMaxBody);

  std::unique_ptr<varnel::host::Service> service = OpenService(FetchDescription(scpd, limits), serviceType);
  MemoryMessage request(Direction::kRequest);
  Require(query ? service->WriteQuery(name, &request) : service->WriteRequest(name, values, &request), kExitBadInput);

  HttpAnswer answer;
  Require(HttpPost(controlUrl, request.Headers(), request.Body(), limits, &answer), kExitTransport);
  // A device answers 200 with a response and 500 with a fault.
  if (answer.status != 200 && answer.status != 500) {
    Require(Status(E_FAIL, "HTTP " + std::to_string(answer.status) + " from " + controlUrl +
                               (answer.status / 100 == 3 ? " (redirects are not followed)" : "")),
            kExitTransport);
  }
  MemoryMessage response(Direction::kResponse, std::move(answer.body));
  DecodedMessage decoded;
  const Status read = service->Read(response, query ? name : std::string(), &decoded);
  if (!read.ok()) {
    Require(Status(read.code(), "the HTTP " + std::to_string(answer.status) + " answer from " + controlUrl +
                                    ": " + read.problem()),
            kExitTransport);
  }
  const MessageKind expected = query ? MessageKind::kQueryStateVariableResponse : MessageKind::kInvokeActionResponse;
  if (decoded.kind != MessageKind::kFault && (decoded.kind != expected || (!query && decoded.name != name))) {
    Require(Status(ZeltCommonLib::InvalidMessage, "the answer from " + controlUrl + " is a " +
                                                      MessageKindName(decoded.kind) + " " + decoded.name +
                                                      ", not the answer to " + name),
            kExitTransport);
  }
  if (line.Has("json")) {
    PrintDecodedJson(std::cout, decoded);
  } else {
    PrintDecoded(std::cout, decoded);
  }
  return decoded.kind == MessageKind::kFault ? kExitUPnPFault : kExitSuccess;
}

}  // namespace

int RunInvoke(const std::vector<std::string>& arguments) { return RunControl(arguments, false); }
int RunQuery(const std::vector<std::string>& arguments) { return RunControl(arguments, true); }

}  // namespace varnel_tool
