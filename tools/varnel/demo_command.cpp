// varnel demo: the library's main job end to end, on built-in descriptions.
// A control point and a device share one process; their messages pass
// through in-memory transport messages.
#include <iostream>
#include <string>

#include "builtin_descriptions.h"
#include "commands.h"
#include "help_text.h"
#include "printing.h"
#include "tool_context.h"
#include "tool_failure.h"

namespace varnel_tool {

using varnel::host::DecodedMessage;
using varnel::host::Direction;
using varnel::host::MemoryMessage;
using varnel::host::MessageKind;
using varnel::host::Service;
using varnel::host::Status;
using varnel::host::TextValue;
using varnel::host::UPnPError;

namespace {

// A step that must succeed for the demo to go on.
void Step(const Status& status) { Require(status, kExitFailure); }

void Heading(const std::string& title) { std::cout << "\n== " << title << " ==\n"; }
void Say(const std::string& who, const std::string& what) { std::cout << "\n[" << who << "] " << what << "\n"; }

void ShowWritten(const MemoryMessage& message) { PrintWritten(std::cout, message, true, "    "); }

// The device (or control point) reads what the other side wrote.
DecodedMessage Receive(const Service& service, const MemoryMessage& sent, const std::string& queried = {}) {
  const Direction direction = sent.direction();
  MemoryMessage received(direction, sent.Body());
  DecodedMessage decoded;
  Step(service.Read(received, queried, &decoded));
  PrintDecoded(std::cout, decoded, "    ");
  return decoded;
}

std::unique_ptr<Service> Open(const char* description, const char* serviceType) {
  return OpenService(LoadDescriptionText(description, "the built-in description"), serviceType);
}

// A request body as a peer might send it, written by hand.
std::string RequestBody(const std::string& serviceType, const std::string& action, const std::string& arguments) {
  return "<?xml version=\"1.0\"?>\n"
         "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" +
         action + " xmlns:u=\"" + serviceType + "\">" + arguments + "</u:" + action + "></s:Body></s:Envelope>\n";
}

// The device reads a bad request and answers with the fault the library
// records in the request or names for it; the control point reads the fault.
void AnswerBadRequest(const Service& service, const std::string& action, const std::string& what,
                      const std::string& body) {
  Say("device", "reads " + what);
  MemoryMessage request(Direction::kRequest, body);
  DecodedMessage decoded;
  const Status read = service.Read(request, {}, &decoded);
  if (read.ok()) {
    std::cout << "    ReadMessage succeeds; the request holds the error:\n";
    PrintDecoded(std::cout, decoded, "    ");
  } else {
    std::cout << "    ReadMessage fails: " << varnel::host::ResultText(read.code()) << "\n";
    if (decoded.error) {
      std::cout << "    the thread's error information names UPnP error " << decoded.error->code << " "
                << decoded.error->description << "\n";
    }
  }
  if (!decoded.error) Step(Status(E_UNEXPECTED, "the library gave no UPnP error for " + what));
  Say("device", "answers with that fault");
  MemoryMessage fault(Direction::kResponse);
  Step(service.WriteFault(*decoded.error, action, &fault));
  ShowWritten(fault);
  Say("control point", "reads the fault");
  Receive(service, fault);
}

void SwitchPower(const Service& light) {
  Heading("A binary light's SwitchPower service");
  Say("control point", "writes SetTarget(newTargetValue=1)");
  MemoryMessage request(Direction::kRequest);
  Step(light.WriteRequest("SetTarget", {{"newTargetValue", "1"}}, &request));
  ShowWritten(request);
  Say("device", "reads the request");
  Receive(light, request);
  Say("device", "answers SetTarget (no output arguments)");
  MemoryMessage response(Direction::kResponse);
  Step(light.WriteResponse("SetTarget", {}, &response));
  ShowWritten(response);
  Say("control point", "reads the response");
  Receive(light, response);

  Say("control point", "writes GetStatus()");
  Step(light.WriteRequest("GetStatus", {}, &request));
  ShowWritten(request);
  Say("device", "reads it");
  Receive(light, request);
  Say("device", "answers ResultStatus=1");
  Step(light.WriteResponse("GetStatus", {{"ResultStatus", "1"}}, &response));
  ShowWritten(response);
  Say("control point", "reads the response");
  Receive(light, response);
}

void BadRequests(const Service& light, const Service& types) {
  Heading("Bad requests, answered with UPnP errors");
  AnswerBadRequest(light, "SetPower", "a request naming the unknown action SetPower (401 is recorded)",
                   RequestBody(kSwitchPowerType, "SetPower", "<newTargetValue>1</newTargetValue>"));
  AnswerBadRequest(types, "SetPercent", "SetPercent with Percent \"12abc\", not a ui1 (600 is recorded)",
                   RequestBody(kDataTypesType, "SetPercent", "<Percent>12abc</Percent>"));
  AnswerBadRequest(types, "SetPercent", "SetPercent with Percent 150, outside 0..100 (601 is named)",
                   RequestBody(kDataTypesType, "SetPercent", "<Percent>150</Percent>"));
  AnswerBadRequest(light, "SetTarget", "SetTarget without its argument (402 is named)",
                   RequestBody(kSwitchPowerType, "SetTarget", ""));
}

void QueryStateVariable(const Service& light) {
  Heading("QueryStateVariable");
  Say("control point", "asks for the value of Status");
  MemoryMessage query(Direction::kRequest);
  Step(light.WriteQuery("Status", &query));
  ShowWritten(query);
  Say("device", "reads the query");
  Receive(light, query);
  Say("device", "answers 1");
  MemoryMessage answer(Direction::kResponse);
  Step(light.WriteQueryResponse("Status", "1", &answer));
  ShowWritten(answer);
  Say("control point", "reads the answer as a value of Status");
  Receive(light, answer, "Status");
}

void EveryDataType(const Service& types) {
  Heading("Every data type");
  std::vector<TextValue> inputs, outputs;
  for (unsigned i = 0; i < kSampleValueCount; ++i) {
    std::string stem = kSampleValues[i].dataType;
    for (char& c : stem) c = c == '.' ? '_' : c;
    inputs.push_back({stem + "In", kSampleValues[i].text});
    outputs.push_back({stem + "Out", kSampleValues[i].text});
  }
  Say("control point", "writes SetValues with a value of every type");
  MemoryMessage request(Direction::kRequest);
  Step(types.WriteRequest("SetValues", inputs, &request));
  ShowWritten(request);
  Say("device", "reads the typed values");
  Receive(types, request);
  Say("device", "answers GetValues with the same values");
  MemoryMessage response(Direction::kResponse);
  Step(types.WriteResponse("GetValues", outputs, &response));
  ShowWritten(response);
  Say("control point", "reads them back");
  Receive(types, response);
}

void EventValues(const Service& light, const Service& types) {
  Heading("Event values (GENA), through the event value converter");
  const varnel::host::NamedValues& values = light.values();
  CComVariant status;
  Step(values.ParseValue("Status", "1", &status));
  std::string text;
  Step(values.FormatValue("Status", status, &text));
  std::cout << "    Status \"1\" reads as " << varnel::host::VariantTypeName(status.vt) << " "
            << (status.boolVal ? "true" : "false") << " and is written \"" << text << "\"\n";
  CComVariant when;
  Step(types.values().ParseValue("V_dateTime_tz", "2026-12-08T14:30:00Z", &when));
  Step(types.values().FormatValue("V_dateTime_tz", when, &text));
  std::cout << "    V_dateTime_tz \"2026-12-08T14:30:00Z\" reads as " << varnel::host::VariantTypeName(when.vt)
            << " and is written \"" << text << "\"\n";
  CComVariant percent;
  const Status refused = types.values().ParseValue("Percent", "150", &percent);
  if (refused.ok()) Step(Status(E_UNEXPECTED, "Percent 150 was not refused"));
  std::cout << "    Percent \"150\" is refused: " << varnel::host::ResultText(refused.code()) << "\n";
}

}  // namespace

int RunDemo(const std::vector<std::string>& arguments) {
  if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::cout << CommandHelp("demo");
    return kExitSuccess;
  }
  if (!arguments.empty()) UsageFailure("demo takes no arguments");
  std::cout << "Objects are made from " << ToolLibrary().path() << " through the component runtime.\n";
  const std::unique_ptr<Service> light = Open(kSwitchPowerDescription, kSwitchPowerType);
  const std::unique_ptr<Service> types = Open(kDataTypesDescription, kDataTypesType);
  SwitchPower(*light);
  BadRequests(*light, *types);
  QueryStateVariable(*light);
  EveryDataType(*types);
  EventValues(*light, *types);
  std::cout << "\nThe demo ran every step.\n";
  return kExitSuccess;
}

}  // namespace varnel_tool
