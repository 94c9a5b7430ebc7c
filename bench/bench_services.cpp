#include "bench_services.h"

#include <map>
#include <memory>
#include <mutex>

#include "bench_transport.h"
#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/runtime.h"
#include "comrt/text_conversion.h"

namespace varnel_bench {
namespace {

struct Cache {
  std::mutex lock;
  std::map<const BenchBody*, CComPtr<IUPnPSoapMsgReaderWriter>> readerWriters;
  std::map<const BenchBody*, std::unique_ptr<WriteInput>> writeInputs;
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

CComVariant AsVariant(IXMLDOMDocument2* document) {
  CComVariant value;
  value.vt = VT_DISPATCH;
  value.pdispVal = document;
  if (document) document->AddRef();
  return value;
}

// Reads `body` once through the library and keeps what its writers need.
void TakeLibraryInput(const BenchBody& body, IUPnPSoapMsgReaderWriter* readerWriter, WriteInput* input) {
  CComPtr<IUnknown> object;
  HRESULT hr = E_FAIL;
  if (body.kind == BodyKind::kRequest) {
    auto message = MakeObject<BenchMessage<ITransportRequestMessage>>();
    message->Receive(&body.xml);
    hr = readerWriter->ReadMessage(message->GetUnknown(), &object);
  } else {
    auto message = MakeObject<BenchMessage<ITransportResponseMessage>>();
    message->Receive(&body.xml);
    hr = readerWriter->ReadMessage(message->GetUnknown(), &object);
  }
  if (FAILED(hr)) {
    input->error = "the library does not read the body";
    return;
  }
  CComBSTR name;
  if (body.kind == BodyKind::kRequest) {
    CComQIPtr<IUPnPInvokeActionRequest> request(object);
    if (request) request->GetActionName(&name);
    hr = request ? request->GetArguments(&input->values) : E_NOINTERFACE;
  } else if (body.kind == BodyKind::kResponse) {
    CComQIPtr<IUPnPInvokeActionResponse> response(object);
    if (response) response->GetActionName(&name);
    hr = response ? response->GetArguments(&input->values) : E_NOINTERFACE;
  } else {
    input->fault = CComQIPtr<IUPnPSoapErrorMsg>(object);
    hr = input->fault ? S_OK : E_NOINTERFACE;
  }
  if (FAILED(hr)) {
    input->error = "the library reads the body as another kind of message";
    return;
  }
  std::u16string action = name.m_str ? name.m_str : u"";
  const std::u16string suffix = u"Response";
  if (action.size() > suffix.size() && action.compare(action.size() - suffix.size(), suffix.size(), suffix) == 0) {
    action.resize(action.size() - suffix.size());
  }
  input->action = action.c_str();
}

}  // namespace

CComPtr<IXMLDOMDocument2> ParseDescription(const std::string& text) {
  CComPtr<IXMLDOMDocument2> document;
  CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                   reinterpret_cast<void**>(&document));
  if (!document) return document;
  document->put_async(VARIANT_FALSE);
  document->setProperty(CComBSTR(u"SelectionNamespaces"), CComVariant(u"xmlns:scpd='urn:schemas-upnp-org:service-1-0'"));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document->loadXML(CComBSTR(comrt::FromUtf8(text).c_str()), &loaded);
  if (loaded != VARIANT_TRUE) document.Release();
  return document;
}

CComPtr<IUPnPSoapMsgReaderWriter> NewReaderWriter(const std::u16string& serviceType, const std::string& description) {
  CComPtr<IClassFactory> factory;
  DllGetClassObject(CLSID_SoapMsgReaderWriter, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter;
  if (factory) factory->CreateInstance(nullptr, IID_IUPnPSoapMsgReaderWriter, reinterpret_cast<void**>(&readerWriter));
  CComPtr<IXMLDOMDocument2> document = ParseDescription(description);
  if (!readerWriter || !document) return nullptr;
  readerWriter->SetServiceType(CComBSTR(serviceType.c_str()));
  if (readerWriter->LoadServiceDescription(AsVariant(document)) != S_OK) return nullptr;
  return readerWriter;
}

IUPnPSoapMsgReaderWriter* ReaderWriterFor(const BenchBody& body) {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> hold(cache.lock);
  CComPtr<IUPnPSoapMsgReaderWriter>& readerWriter = cache.readerWriters[&body];
  if (!readerWriter) readerWriter = NewReaderWriter(body.serviceType, body.description);
  return readerWriter;
}

const WriteInput& WriteInputFor(const BenchBody& body) {
  IUPnPSoapMsgReaderWriter* readerWriter = ReaderWriterFor(body);
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> hold(cache.lock);
  std::unique_ptr<WriteInput>& input = cache.writeInputs[&body];
  if (input) return *input;
  input = std::make_unique<WriteInput>();
  if (!readerWriter) {
    input->error = "the description does not load";
  } else {
    TakeLibraryInput(body, readerWriter, input.get());
  }
  if (input->error.empty() && !ReadMessageElement(body.xml, &input->message)) {
    input->error = "libxml2 finds no message element";
  }
  return *input;
}

void ReleaseServices() {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> hold(cache.lock);
  cache.writeInputs.clear();
  cache.readerWriters.clear();
}

HRESULT ReadAndTake(IUPnPSoapMsgReaderWriter* readerWriter, IUnknown* message, BodyKind kind) {
  CComPtr<IUnknown> object;
  HRESULT hr = readerWriter->ReadMessage(message, &object);
  if (FAILED(hr)) return hr;
  CComVariant arguments;
  switch (kind) {
    case BodyKind::kRequest: {
      CComQIPtr<IUPnPInvokeActionRequest> request(object);
      return request ? request->GetArguments(&arguments) : E_NOINTERFACE;
    }
    case BodyKind::kResponse: {
      CComQIPtr<IUPnPInvokeActionResponse> response(object);
      return response ? response->GetArguments(&arguments) : E_NOINTERFACE;
    }
    case BodyKind::kFault: {
      CComQIPtr<IUPnPSoapErrorMsg> fault(object);
      if (!fault) return E_NOINTERFACE;
      LONG code = 0;
      CComBSTR description;
      hr = fault->GetErrorCode(&code);
      return SUCCEEDED(hr) ? fault->GetErrorDescription(&description) : hr;
    }
  }
  return E_UNEXPECTED;
}

HRESULT Write(IUPnPSoapMsgReaderWriter* readerWriter, IUnknown* message, BodyKind kind, const WriteInput& input) {
  BSTR action = input.action.m_str;
  switch (kind) {
    case BodyKind::kRequest:
      return readerWriter->WriteInvokeActionRequest(message, action, input.values, nullptr);
    case BodyKind::kResponse:
      return readerWriter->WriteInvokeActionResponse(message, action, input.values, nullptr, nullptr, nullptr);
    case BodyKind::kFault:
      return readerWriter->WriteInvokeActionResponse(message, action, CComVariant(), input.fault, nullptr, nullptr);
  }
  return E_UNEXPECTED;
}

}  // namespace varnel_bench
