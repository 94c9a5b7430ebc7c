#include "soap/message_sender.h"

#include <string_view>

#include "com/dom_access.h"
#include "com/memory_stream.h"
#include "com/trace.h"
#include "comrt/com_variant.h"
#include "comrt/text_conversion.h"
#include "soap/soap_names.h"

namespace varnel {
namespace {

// The document's bytes, saved synchronously into a scope-lived memory stream.
struct SavedBody {
  IStreamImplOnMemory stream;
  std::string_view bytes() const {
    return std::string_view(stream.GetWrittenBytes(), static_cast<size_t>(stream.GetWrittenCount()));
  }
};

void Save(IXMLDOMDocument* document, SavedBody& body) {
  ThrowIfFailed(document->put_async(VARIANT_FALSE));
  VARIANT target;
  target.vt = VT_UNKNOWN;
  target.punkVal = static_cast<IUnknown*>(&body.stream);
  ThrowIfFailed(document->save(target));
}

void AttachHeaderSource(IMessageHeaderWriter* writer, IUnknown* headerSource) {
  if (!headerSource) return;
  CComQIPtr<IMessageHeaderSource> source(headerSource);
  if (source) ThrowIfFailed(writer->AttachHeaderSource(source));
}

// Writes the whole body in one call; the written count must be the body's.
void WriteBody(ITransportMessage* message, const SavedBody& body) {
  CComPtr<IMessageBodyWriter> spMsgBodyWriter;
  ThrowIfFailed(message->GetBodyWriter(1, &spMsgBodyWriter));
  VARNEL_THROW_IF(NULL == spMsgBodyWriter, E_UNEXPECTED);
  const std::string_view output = body.bytes();
  ULONG ret = 0;
  ThrowIfFailed(spMsgBodyWriter->Write(reinterpret_cast<const BYTE*>(output.data()), static_cast<ULONG>(output.length()),
                                       0, &ret));
  VARNEL_THROW_IF(ret != output.length(), E_UNEXPECTED);
}

}  // namespace

void SendRequestMessage(ITransportRequestMessage* message, IXMLDOMDocument* document,
                        const std::u16string& serviceType, const std::u16string& actionName,
                        IUnknown* headerSource) {
  CComPtr<IMessageHeaderWriter> spHeaderWriter;
  ThrowIfFailed(message->GetHeaderWriter(&spHeaderWriter));
  VARNEL_THROW_IF(NULL == spHeaderWriter, E_UNEXPECTED);
  if (actionName == kQueryStateVariable) {
    ThrowIfFailed(spHeaderWriter->SetHeader(kSoapActionHeader, kQueryStateVariableSoapAction));
  } else {
    const std::string soapAction = "\"" + comrt::ToUtf8(serviceType) + "#" + comrt::ToUtf8(actionName) + "\"";
    ThrowIfFailed(spHeaderWriter->SetHeader(kSoapActionHeader, soapAction.c_str()));
  }
  ThrowIfFailed(spHeaderWriter->SetHeader(kContentTypeHeader, kContentTypeValue));
  SavedBody body;
  Save(document, body);
  ThrowIfFailed(spHeaderWriter->SetContentLength(static_cast<ULONGLONG>(body.bytes().size())));
  AttachHeaderSource(spHeaderWriter, headerSource);
  message->SetSending(TRUE);
  try {
    WriteBody(message, body);
    message->SetSending(FALSE);
  } catch (...) {
    TraceLine(log4halden::kError, "exception caught.", VARNEL_HERE);
    message->SetSending(FALSE);
    throw;
  }
}

void SendResponseMessage(ITransportResponseMessage* message, IXMLDOMDocument* document, IUnknown* headerSource1,
                         IUnknown* headerSource2) {
  CComPtr<IMessageHeaderWriter> spHeaderWriter;
  ThrowIfFailed(message->GetHeaderWriter(&spHeaderWriter));
  VARNEL_THROW_IF(NULL == spHeaderWriter, E_UNEXPECTED);
  ThrowIfFailed(spHeaderWriter->SetHeader(kContentTypeHeader, kContentTypeValue));
  SavedBody body;
  Save(document, body);
  ThrowIfFailed(spHeaderWriter->SetContentLength(static_cast<ULONGLONG>(body.bytes().size())));
  AttachHeaderSource(spHeaderWriter, headerSource1);
  AttachHeaderSource(spHeaderWriter, headerSource2);
  message->SetSending(TRUE);
  try {
    WriteBody(message, body);
    message->SetSending(FALSE);
  } catch (...) {
    message->SetSending(FALSE);
    throw;
  }
}

}  // namespace varnel
