#include "varnel/host/service.h"

#include <utility>

#include "comrt/error_info.h"
#include "text.h"
#include "thread_error.h"

namespace varnel {
namespace host {
namespace {

// The argument array of `action`'s inputs or outputs, from their texts.
Status ArgumentsOf(const ServiceDescription& description, const NamedValues& values, std::string_view action,
                   bool outputs, const std::vector<TextValue>& texts, CComVariant* arguments) {
  const Action* declared = description.FindAction(action);
  if (!declared) {
    return Status(DISP_E_UNKNOWNNAME, "the description has no action " + Quoted(action) + " (its actions: " +
                                          NamesOf(description.Actions()) + ")");
  }
  return values.BuildArguments(*declared, outputs, texts, arguments);
}

}  // namespace

Service::Service(const Library& library, std::shared_ptr<const ServiceDescription> description,
                 std::string serviceType, IUPnPSoapMsgReaderWriter* readerWriter,
                 IUPnPGenaMsgWriterHelper* eventConverter)
    : library_(library),
      description_(std::move(description)),
      serviceType_(std::move(serviceType)),
      readerWriter_(readerWriter),
      eventConverter_(eventConverter),
      values_(*description_, eventConverter) {}

Status Service::Open(const Library& library, ServiceDescription description, std::string serviceType,
                     std::unique_ptr<Service>* out) {
  if (!description.Document()) return Status(E_INVALIDARG, "no service description loaded");
  auto held = std::make_shared<const ServiceDescription>(std::move(description));
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter;
  Status status = library.Create(CLSID_SoapMsgReaderWriter, &readerWriter);
  if (!status.ok()) return status;
  CComPtr<IUPnPGenaMsgWriterHelper> eventConverter;
  status = library.Create(CLSID_GenaMsgWriterHelper, &eventConverter);
  if (!status.ok()) return status;
  HRESULT hr = readerWriter->SetServiceType(Wide(serviceType));
  if (FAILED(hr)) return Status(hr, "the reader/writer refuses the service type");
  hr = readerWriter->LoadServiceDescription(held->DocumentVariant());
  if (FAILED(hr)) return Status(hr, "the library refuses the service description");
  hr = eventConverter->LoadServiceDescription(held->DocumentVariant());
  if (FAILED(hr)) return Status(hr, "the event value converter refuses the service description");
  if (held->StateVariables().empty()) return Status(E_FAIL, "the service description declares no state variable");
  out->reset(new Service(library, std::move(held), std::move(serviceType), readerWriter, eventConverter));
  return Status();
}

Status Service::Send(const char* what, MemoryMessage* message, Direction direction,
                     const std::function<HRESULT(IUnknown*)>& write) const {
  if (!message) return Status(E_POINTER, std::string("no message to write the ") + what + " on");
  if (message->direction() != direction) {
    return Status(E_INVALIDARG, std::string("the ") + what + " needs a " +
                                    (direction == Direction::kRequest ? "request" : "response") + " message");
  }
  message->ClearWritten();
  const HRESULT hr = write(message->Transport());
  if (FAILED(hr)) return Status(hr, std::string("the library cannot write the ") + what);
  return Status();
}

Status Service::WriteRequest(std::string_view action, const std::vector<TextValue>& inputs,
                             MemoryMessage* message) const {
  CComVariant arguments;
  Status built = ArgumentsOf(*description_, values_, action, false, inputs, &arguments);
  if (!built.ok()) return built;
  return Send("request", message, Direction::kRequest, [&](IUnknown* transport) {
    return readerWriter_->WriteInvokeActionRequest(transport, Wide(action), arguments, nullptr);
  });
}

Status Service::WriteQuery(std::string_view variable, MemoryMessage* message) const {
  if (!description_->FindStateVariable(variable)) {
    return Status(DISP_E_UNKNOWNNAME, "the description has no state variable " + Quoted(variable));
  }
  return Send("query", message, Direction::kRequest, [&](IUnknown* transport) {
    return readerWriter_->WriteQueryStateVariableRequest(transport, Wide(variable), nullptr);
  });
}

Status Service::WriteResponse(std::string_view action, const std::vector<TextValue>& outputs,
                              MemoryMessage* message) const {
  CComVariant arguments;
  Status built = ArgumentsOf(*description_, values_, action, true, outputs, &arguments);
  if (!built.ok()) return built;
  return Send("response", message, Direction::kResponse, [&](IUnknown* transport) {
    return readerWriter_->WriteInvokeActionResponse(transport, Wide(action), arguments, nullptr, nullptr, nullptr);
  });
}

Status Service::WriteQueryResponse(std::string_view variable, std::string_view text, MemoryMessage* message) const {
  if (!description_->FindStateVariable(variable)) {
    return Status(DISP_E_UNKNOWNNAME, "the description has no state variable " + Quoted(variable));
  }
  // The library writes a string answer as it stands and any other as an
  // integer, so the value goes over in its variable's own text form.
  CComVariant typed;
  Status status = values_.ParseValue(variable, text, &typed);
  if (!status.ok()) return status;
  std::string written;
  status = values_.FormatValue(variable, typed, &written);
  if (!status.ok()) return status;
  const CComVariant answer(Wide(written));
  return Send("query response", message, Direction::kResponse, [&](IUnknown* transport) {
    return readerWriter_->WriteQueryStateVariableResponse(transport, answer, nullptr, nullptr);
  });
}

Status Service::WriteFault(const UPnPError& error, std::string_view action, MemoryMessage* message) const {
  CComPtr<IUPnPSoapErrorMsg> fault;
  Status status = library_.Create(CLSID_SoapErrorMsg, &fault);
  if (!status.ok()) return status;
  HRESULT hr = fault->SetErrorCode(error.code);
  if (SUCCEEDED(hr)) hr = fault->SetErrorDescription(Wide(error.description));
  if (FAILED(hr)) return Status(hr, "cannot fill the fault's UPnP error");
  return Send("fault", message, Direction::kResponse, [&](IUnknown* transport) {
    if (action.empty()) return readerWriter_->WriteQueryStateVariableResponse(transport, CComVariant(), fault, nullptr);
    return readerWriter_->WriteInvokeActionResponse(transport, Wide(action), CComVariant(), fault, nullptr, nullptr);
  });
}

Status Service::Read(const MemoryMessage& message, std::string_view queriedVariable, DecodedMessage* out) const {
  *out = DecodedMessage();
  SetErrorInfo(0, nullptr);
  CComPtr<IUnknown> object;
  const HRESULT hr = readerWriter_->ReadMessage(message.Transport(), &object);
  if (FAILED(hr)) {
    out->error = TakeUPnPError();
    const char* kind = message.direction() == Direction::kRequest ? "request" : "response";
    std::string problem = std::string("the body does not read as a ") + kind;
    if (out->error) {
      problem += " (UPnP error " + std::to_string(out->error->code) + " " + out->error->description + ")";
    }
    return Status(hr, problem);
  }
  return values_.Describe(object, queriedVariable, out);
}

}  // namespace host
}  // namespace varnel
