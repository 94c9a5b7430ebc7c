// One UPnP service as a host uses it: its description, a reader/writer and an
// event value converter made from the library and loaded with it, and the
// named values between them. The control point writes requests and reads the
// answers; the device reads requests and writes responses and faults; every
// message passes through an in-memory transport message.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "comrt/com_ptr.h"
#include "varnel/host/export.h"
#include "varnel/host/library.h"
#include "varnel/host/memory_message.h"
#include "varnel/host/named_values.h"
#include "varnel/host/service_description.h"
#include "varnel/host/status.h"
#include "varnel/varnel.h"

namespace varnel {
namespace host {

class VARNEL_HOST_API Service {
 public:
  // Makes a reader/writer and an event value converter from `library` and
  // loads `description` into both; the reader/writer gets `serviceType`.
  // Fails as Library::CreateInstance, or with the library's code for a
  // description it refuses.
  static Status Open(const Library& library, ServiceDescription description, std::string serviceType,
                     std::unique_ptr<Service>* out);

  const ServiceDescription& description() const noexcept { return *description_; }
  const std::string& serviceType() const noexcept { return serviceType_; }
  IUPnPSoapMsgReaderWriter* readerWriter() const noexcept { return readerWriter_; }
  IUPnPGenaMsgWriterHelper* eventConverter() const noexcept { return eventConverter_; }
  const NamedValues& values() const noexcept { return values_; }

  // Each writer first forgets what `message` held written, then has the
  // library write into it. DISP_E_UNKNOWNNAME for an action or variable that
  // the description lacks; NamedValues::BuildArguments' codes; the library's
  // code for a write it refuses. E_INVALIDARG for a message travelling the
  // wrong way.

  // Control point: an InvokeAction request of `action` with its `inputs`.
  Status WriteRequest(std::string_view action, const std::vector<TextValue>& inputs, MemoryMessage* message) const;
  // Control point: a QueryStateVariable request for `variable`.
  Status WriteQuery(std::string_view variable, MemoryMessage* message) const;
  // Device: the response of `action` with its `outputs`.
  Status WriteResponse(std::string_view action, const std::vector<TextValue>& outputs, MemoryMessage* message) const;
  // Device: the answer to a query, `text` read as a value of `variable` and
  // written in that variable's text form.
  Status WriteQueryResponse(std::string_view variable, std::string_view text, MemoryMessage* message) const;
  // Device: a SOAP fault carrying `error` in place of the response of
  // `action`, or of a query when `action` is empty.
  Status WriteFault(const UPnPError& error, std::string_view action, MemoryMessage* message) const;

  // Reads the received body of `message` (a device reads requests, a control
  // point responses) and describes what it holds; a query answer is typed
  // as a value of `queriedVariable`. When the body does not read, fails with
  // the library's code, and out->error holds the UPnP error that the library
  // names for a device to answer with (402, 600 or 601), if any.
  Status Read(const MemoryMessage& message, std::string_view queriedVariable, DecodedMessage* out) const;

 private:
  Service(const Library& library, std::shared_ptr<const ServiceDescription> description, std::string serviceType,
          IUPnPSoapMsgReaderWriter* readerWriter, IUPnPGenaMsgWriterHelper* eventConverter);

  Status Send(const char* what, MemoryMessage* message, Direction direction,
              const std::function<HRESULT(IUnknown*)>& write) const;

  Library library_;
  std::shared_ptr<const ServiceDescription> description_;
  std::string serviceType_;
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter_;
  CComPtr<IUPnPGenaMsgWriterHelper> eventConverter_;
  NamedValues values_;
};

}  // namespace host
}  // namespace varnel
