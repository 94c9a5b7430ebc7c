#include "soap/message_sender.h"

#include <string_view>

#include "com/dom_access.h"
#include "com/memory_stream.h"
#include "com/trace.h"
#include "comrt/com_variant.h"
#include "soap/markup_text.h"
#include "soap/soap_names.h"

namespace varnel {
namespace {

void AttachHeaderSource(IMessageHeaderWriter* writer, IUnknown* headerSource) {
  if (!headerSource) return;
  CComQIPtr<IMessageHeaderSource> source(headerSource);
  if (source) ThrowIfFailed(writer->AttachHeaderSource(source));
}

// Writes the whole body in one call; the written count must be the body's.
void WriteBody(ITransportMessage* message, std::string_view body) {
  CComPtr<IMessageBodyWriter> spMsgBodyWriter;
  ThrowIfFailed(message->GetBodyWriter(1, &spMsgBodyWriter));
  VARNEL_THROW_IF(NULL == spMsgBodyWriter, E_UNEXPECTED);
  ULONG ret = 0;
  ThrowIfFailed(spMsgBodyWriter->Write(reinterpret_cast<const BYTE*>(body.data()), static_cast<ULONG>(body.length()),
                                       0, &ret));
  VARNEL_THROW_IF(ret != body.length(), E_UNEXPECTED);
}

// Any control character but the tab, which a header value may hold.
bool HasControlCharacter(const std::u16string& text) {
  for (char16_t c : text) {
    if ((c < 0x20 && c != u'\t') || c == 0x7F) return true;
  }
  return false;
}

}  // namespace

std::string SavedDocument(IXMLDOMDocument* document) {
  // Saved synchronously into a scope-lived memory stream.
  IStreamImplOnMemory stream;
  ThrowIfFailed(document->put_async(VARIANT_FALSE));
  VARIANT target;
  target.vt = VT_UNKNOWN;
  target.punkVal = static_cast<IUnknown*>(&stream);
  ThrowIfFailed(document->save(target));
  return std::string(stream.GetWrittenBytes(), static_cast<size_t>(stream.GetWrittenCount()));
}

void SendRequestMessage(ITransportRequestMessage* message, std::string_view body,
                        const std::u16string& serviceType, std::u16string_view actionName,
                        IUnknown* headerSource) {
  CComPtr<IMessageHeaderWriter> spHeaderWriter;
  ThrowIfFailed(message->GetHeaderWriter(&spHeaderWriter));
  VARNEL_THROW_IF(NULL == spHeaderWriter, E_UNEXPECTED);
  if (actionName == kQueryStateVariable) {
    ThrowIfFailed(spHeaderWriter->SetHeader(kSoapActionHeader, kQueryStateVariableSoapAction));
  } else {
    // The service type goes into a header line as it stands: a control
    // character (a line break above all) would let it add headers of its own.
    VARNEL_THROW_IF(HasControlCharacter(serviceType), E_INVALIDARG);
    std::string soapAction;
    soapAction.reserve(serviceType.size() + actionName.size() + 3);
    soapAction.push_back('"');
    AppendUtf8(serviceType, soapAction);
    soapAction.push_back('#');
    AppendUtf8(actionName, soapAction);
    soapAction.push_back('"');
    ThrowIfFailed(spHeaderWriter->SetHeader(kSoapActionHeader, soapAction.c_str()));
  }
  ThrowIfFailed(spHeaderWriter->SetHeader(kContentTypeHeader, kContentTypeValue));
  ThrowIfFailed(spHeaderWriter->SetContentLength(static_cast<ULONGLONG>(body.size())));
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

void SendResponseMessage(ITransportResponseMessage* message, std::string_view body, IUnknown* headerSource1,
                         IUnknown* headerSource2) {
  CComPtr<IMessageHeaderWriter> spHeaderWriter;
  ThrowIfFailed(message->GetHeaderWriter(&spHeaderWriter));
  VARNEL_THROW_IF(NULL == spHeaderWriter, E_UNEXPECTED);
  ThrowIfFailed(spHeaderWriter->SetHeader(kContentTypeHeader, kContentTypeValue));
  ThrowIfFailed(spHeaderWriter->SetContentLength(static_cast<ULONGLONG>(body.size())));
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
