// ReadMessage of any body, as a request and as a response, against a
// description that uses every data type; what is read is asked for all it
// holds and written back.
#include <cstdint>

#include "fuzz_support.h"

namespace {

CComPtr<IUPnPSoapMsgReaderWriter>& Loaded() {
  static CComPtr<IUPnPSoapMsgReaderWriter> readerWriter = fuzz::ReaderWriter(fuzz::DescriptionFile("scpd/all_types.xml"));
  return readerWriter;
}

void WriteBack(IUPnPSoapMsgReaderWriter* readerWriter, IUnknown* object) {
  if (CComQIPtr<IUPnPInvokeActionRequest> request = object) {
    CComBSTR name;
    CComVariant arguments;
    request->GetActionName(&name);
    if (SUCCEEDED(request->GetArguments(&arguments))) {
      auto message = varnel::host::MemoryMessage(varnel::host::Direction::kRequest);
      readerWriter->WriteInvokeActionRequest(message.Transport(), name, arguments, nullptr);
    }
  } else if (CComQIPtr<IUPnPInvokeActionResponse> response = object) {
    CComBSTR name;
    CComVariant arguments;
    response->GetActionName(&name);
    if (SUCCEEDED(response->GetArguments(&arguments))) {
      auto message = varnel::host::MemoryMessage(varnel::host::Direction::kResponse);
      readerWriter->WriteInvokeActionResponse(message.Transport(), name, arguments, nullptr, nullptr, nullptr);
    }
  } else if (CComQIPtr<IUPnPSoapErrorMsg> fault = object) {
    LONG code = 0;
    CComBSTR description;
    fault->GetErrorCode(&code);
    fault->GetErrorDescription(&description);
    auto message = varnel::host::MemoryMessage(varnel::host::Direction::kResponse);
    readerWriter->WriteInvokeActionResponse(message.Transport(), CComBSTR(u"Echo"), CComVariant(), fault, nullptr,
                                            nullptr);
  } else if (CComQIPtr<IUPnPQueryStateVariableResponse> value = object) {
    CComVariant returned;
    value->GetReturnValue(&returned);
  } else if (CComQIPtr<IUPnPQueryStateVariableRequest> query = object) {
    CComBSTR name;
    query->GetVariableName(&name);
    auto message = varnel::host::MemoryMessage(varnel::host::Direction::kRequest);
    readerWriter->WriteQueryStateVariableRequest(message.Transport(), name, nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  IUPnPSoapMsgReaderWriter* readerWriter = Loaded();
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  CComPtr<IUnknown> object;
  if (data[0] & 1) {
    auto message = varnel::host::MemoryMessage(varnel::host::Direction::kResponse, body);
    readerWriter->ReadMessage(message.Transport(), &object);
  } else {
    auto message = varnel::host::MemoryMessage(varnel::host::Direction::kRequest, body);
    readerWriter->ReadMessage(message.Transport(), &object);
  }
  if (object) WriteBack(readerWriter, object);
  SetErrorInfo(0, nullptr);
  return 0;
}
