#include "control_exchange.h"

#include <optional>
#include <utility>

#include "device_answers.h"

namespace varnel_tool {

using varnel::host::DecodedMessage;
using varnel::host::Direction;
using varnel::host::Header;
using varnel::host::MemoryMessage;
using varnel::host::MessageKind;
using varnel::host::Status;
using varnel::host::UPnPError;

const char kServerHeader[] = "Linux UPnP/1.0 varnel/" VARNEL_VERSION;

namespace {

constexpr char kControlNamespace[] = "urn:schemas-upnp-org:control-1-0";

struct SoapAction {
  std::string serviceType;
  std::string name;
};

// "TYPE#NAME", in double quotes or not, blanks around ignored.
std::optional<SoapAction> ParseSoapAction(const std::string& header) {
  std::string text = header;
  const char* blanks = " \t";
  text.erase(0, text.find_first_not_of(blanks));
  text.erase(text.find_last_not_of(blanks) + 1);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  if (text.find('"') != std::string::npos) return std::nullopt;
  const size_t hash = text.rfind('#');
  if (hash == std::string::npos || hash == 0 || hash + 1 == text.size()) return std::nullopt;
  return SoapAction{text.substr(0, hash), text.substr(hash + 1)};
}

std::string ErrorText(const UPnPError& error) {
  return "UPnP error " + std::to_string(error.code) + " " + error.description;
}

// What the library wrote, with the device's own headers.
HttpReply Written(int status, const MemoryMessage& message, std::string summary) {
  HttpReply reply;
  reply.status = status;
  for (const Header& header : message.Headers()) {
    if (header.name.empty()) continue;
    reply.headers.push_back(header);
  }
  // UPnP 1.0 asks for an empty EXT header; the HTTP layer sends no empty
  // value, and a blank one reads as empty.
  reply.headers.push_back({"EXT", " "});
  reply.headers.push_back({"SERVER", kServerHeader});
  reply.body = message.Body();
  reply.summary = std::move(summary);
  return reply;
}

// A fault answering `label` ("GetStatus", "QueryStateVariable X"), and why.
HttpReply Fault(const HostedService& hosted, const UPnPError& error, const std::string& action,
                const std::string& label, const std::string& why) {
  std::string summary = label + ": " + ErrorText(error) + (why.empty() ? std::string() : " (" + why + ")");
  MemoryMessage message(Direction::kResponse);
  const Status written = hosted.service->WriteFault(error, action, &message);
  if (!written.ok()) {
    HttpReply reply;
    reply.status = 500;
    reply.headers.push_back({"SERVER", kServerHeader});
    reply.summary = summary + "; the fault cannot be written: " + written.ToString();
    return reply;
  }
  return Written(500, message, std::move(summary));
}

}  // namespace

HttpReply AnswerControl(const HostedService& hosted, const HttpRequest& request) {
  const varnel::host::Service& service = *hosted.service;
  const std::string* header = request.FindHeader("SOAPACTION");
  const std::optional<SoapAction> soapAction = header ? ParseSoapAction(*header) : std::nullopt;
  if (!soapAction) {
    HttpReply reply;
    reply.status = 412;
    reply.headers.push_back({"SERVER", kServerHeader});
    reply.summary = header ? "SOAPACTION \"" + *header + "\" is not TYPE#ACTION" : "no SOAPACTION header";
    return reply;
  }
  const std::string& name = soapAction->name;
  const bool query = name == "QueryStateVariable" &&
                     (soapAction->serviceType == kControlNamespace || soapAction->serviceType == hosted.serviceType);
  const std::string faultAction = query ? std::string() : name;
  const std::string label = query ? "QueryStateVariable" : name;
  if (!query && soapAction->serviceType != hosted.serviceType) {
    return Fault(hosted, StandardError(401), faultAction, label,
                 "SOAPACTION names the service type " + soapAction->serviceType + ", not " + hosted.serviceType);
  }

  MemoryMessage message(Direction::kRequest, request.body);
  DecodedMessage decoded;
  const Status read = service.Read(message, "", &decoded);
  if (!read.ok()) {
    return Fault(hosted, ErrorOfFailedRead(read.code(), decoded.error, query), faultAction, label,
                 read.ToString());
  }
  const bool bodyIsQuery = decoded.kind == MessageKind::kQueryStateVariableRequest;
  if (bodyIsQuery != query || (!query && decoded.name != name)) {
    return Fault(hosted, StandardError(401), faultAction, label,
                 std::string("the body is ") + (bodyIsQuery ? "a QueryStateVariable of " : "an InvokeAction of ") +
                     decoded.name + ", not what SOAPACTION names");
  }
  if (decoded.error) return Fault(hosted, *decoded.error, faultAction, label, "recorded while reading");

  const std::string what = query ? "QueryStateVariable " + decoded.name : decoded.name;
  const DeviceAnswer answer =
      query ? AnswerQuery(service, hosted.behaviour, decoded.name) : AnswerAction(service, hosted.behaviour, decoded);
  if (answer.error) {
    return Fault(hosted, *answer.error, faultAction, what,
                 answer.problem.empty() ? "as the behaviour says" : answer.problem);
  }
  MemoryMessage response(Direction::kResponse);
  const Status written = query ? service.WriteQueryResponse(decoded.name, answer.outputs.front().text, &response)
                               : service.WriteResponse(decoded.name, answer.outputs, &response);
  if (!written.ok()) {
    return Fault(hosted, StandardError(501), faultAction, what,
                 "the response cannot be written: " + written.ToString());
  }
  return Written(200, response, what);
}

}  // namespace varnel_tool
