// Setting up the reader/writer, and reading control messages.
#include "soap/soap_msg_reader_writer.h"

#include "com/dom_access.h"
#include "com/trace.h"
#include "comrt/atl_exception.h"
#include "comrt/com_variant.h"
#include "comrt/xml/parsed_document.h"
#include "datatypes/upnp_data_type_integer.h"
#include "messages/invoke_action_request.h"
#include "messages/invoke_action_response.h"
#include "messages/query_state_variable_request.h"
#include "messages/query_state_variable_response.h"
#include "messages/soap_error_msg.h"
#include "model/service_description_parser.h"
#include "soap/body_limit_stream.h"
#include "soap/dom_builder.h"
#include "soap/soap_names.h"

using comrt::xml::NodeView;

namespace {

// A new message object of class T, with the caller's first reference.
template <class T>
comrt::CComObject<T>* NewMessage(CComPtr<IUnknown>& holder) {
  comrt::CComObject<T>* object = nullptr;
  const HRESULT hr = comrt::CComObject<T>::CreateInstance(&object);
  if (FAILED(hr)) throw hr;
  holder = object->GetUnknown();
  return object;
}

std::u16string TextOfBstr(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : std::u16string(); }

bool IsEnvelopeElement(NodeView node, std::string_view localName) {
  return node.Type() == NODE_ELEMENT && node.LocalName() == localName &&
         node.NamespaceUri() == varnel::kSoapEnvelopeNamespaceUtf8;
}

// What /s:Envelope/s:Body selects with s bound to the envelope namespace,
// when it selects exactly one element: "Body" in that namespace under the
// document element "Envelope" in that namespace. Null for none or several.
NodeView SoapBodyOf(NodeView document) {
  NodeView body;
  for (NodeView top = document.FirstChild(); top; top = top.NextSibling()) {
    if (!IsEnvelopeElement(top, "Envelope")) continue;
    for (NodeView child = top.FirstChild(); child; child = child.NextSibling()) {
      if (!IsEnvelopeElement(child, "Body")) continue;
      if (body) return NodeView();
      body = child;
    }
  }
  return body;
}

// UTF-8 from the tree as UTF-16.
std::u16string Wide(std::string_view text) {
  std::u16string wide;
  comrt::xml::AppendUtf16(text, &wide);
  return wide;
}

}  // namespace

HRESULT CSoapMsgReaderWriter::SetServiceType(BSTR serviceType) {
  try {
    serviceType_ = serviceType ? std::u16string(serviceType) : std::u16string();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CSoapMsgReaderWriter::LoadServiceDescription(VARIANT description) {
  VARNEL_GUARDED_BEGIN
    CServiceDescriptionParser().Parse(description, m_actions, m_dataTypes);
    if (!m_dataTypes.empty()) initialized_ = true;
    return S_OK;
  VARNEL_PLAIN_GUARD_END
}

HRESULT CSoapMsgReaderWriter::ParseStateVariableValue(BSTR variableName, BSTR value, VARIANT* parsed) {
  if (!initialized_) return E_FAIL;
  if (!parsed) return E_POINTER;
  try {
    const auto it = m_dataTypes.find(TextOfBstr(variableName));
    if (it == m_dataTypes.end()) return E_FAIL;
    if (!it->second) return E_NOTIMPL;  // a data type without converter
    CComVariant result = it->second->StringToVariant(TextOfBstr(value), false);
    return VariantCopy(parsed, &result);
  } catch (HRESULT hr) {
    return hr;
  } catch (const _com_error& e) {
    return e.Error();
  } catch (const CAtlException& e) {
    return e.m_hr;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CSoapMsgReaderWriter::ReadMessage(IUnknown* message, IUnknown** messageObject) {
  // Error information left by an earlier call must not pass for this one's.
  SetErrorInfo(0, nullptr);
  if (!initialized_) return E_FAIL;
  if (!message) return E_INVALIDARG;
  if (!messageObject) return E_POINTER;
  *messageObject = nullptr;
  VARNEL_GUARDED_BEGIN
    VARNEL_INNER_GUARD_BEGIN(result)
      CComQIPtr<ITransportMessage> transport(message);
      if (!transport) _com_issue_error(E_POINTER);
      CComPtr<IMessageBodyReader> spMsgBodyReader;
      varnel::ThrowIfFailed(transport->GetBodyReader(&spMsgBodyReader));
      VARNEL_THROW_IF(NULL == spMsgBodyReader, E_FAIL);
      CComPtr<ISequentialStream> spStream;
      VARNEL_THROW_IF(FAILED(spMsgBodyReader->QueryInterface(&spStream)), E_UNEXPECTED);

      // Parsed as a DOM document loads, and read in place: the message
      // objects take copies, so no node object is needed. A body past the
      // limit fails the load like one that does not parse; either leaves no
      // tree, found out below, and no reason on the thread.
      comrt::xml::ParsedDocument document;
      varnel::BodyLimitStream limited(spStream, varnel::MaxBodyBytes());
      varnel::ThrowIfFailed(document.Load(&limited));

      const NodeView body = SoapBodyOf(document.Root());
      VARNEL_THROW_IF_TEXT("spNodeList->length != 1", !body, ZeltCommonLib::InvalidMessage);
      const NodeView element = body.FirstChild();
      VARNEL_THROW_IF_TEXT("!spNode->hasChildNodes()", !element, ZeltCommonLib::InvalidMessage);

      CComPtr<IUnknown> pMsg;
      if (CComQIPtr<ITransportRequestMessage>(message)) {
        pMsg = ReadRequestElement(element);
      } else if (CComQIPtr<ITransportResponseMessage>(message)) {
        pMsg = ReadResponseElement(element);
      } else {
        throw E_UNEXPECTED;
      }
      VARNEL_RETURN_IF(!pMsg, ZeltCommonLib::InvalidMessage);
      *messageObject = pMsg.Detach();
    VARNEL_INNER_GUARD_END(result, kResultCodesAndZeltCodes)
  VARNEL_FULL_GUARD_END
}

CComPtr<IUnknown> CSoapMsgReaderWriter::ReadRequestElement(NodeView element) const {
  CComPtr<IUnknown> message = ReadQueryStateVariableRequest(element);
  if (!message) message = ReadInvokeAction<CInvokeActionRequest>(element);
  return message;
}

CComPtr<IUnknown> CSoapMsgReaderWriter::ReadResponseElement(NodeView element) const {
  CComPtr<IUnknown> message = ReadFault(element);
  if (!message) message = ReadQueryStateVariableResponse(element);
  if (!message) message = ReadInvokeAction<CInvokeActionResponse>(element);
  return message;
}

CComPtr<IUnknown> CSoapMsgReaderWriter::ReadQueryStateVariableRequest(NodeView element) const {
  if (element.LocalName() != varnel::kQueryStateVariableUtf8) return nullptr;
  CComPtr<IUnknown> holder;
  comrt::CComObject<CQueryStateVariableRequest>* request = NewMessage<CQueryStateVariableRequest>(holder);
  const NodeView varName = element.FirstChild();
  if (!varName || varName.LocalName() != "varName") throw E_UNEXPECTED;
  const NodeView text = varName.FirstChild();
  if (!text) _com_issue_error(E_POINTER);
  if (!text.HasValue()) throw E_UNEXPECTED;  // an element: no value
  CComBSTR name;
  name.Attach(comrt::xml::AllocBstrFromUtf8(text.Value()));
  if (!name) _com_issue_error(E_OUTOFMEMORY);
  if (m_dataTypes.find(TextOfBstr(name)) == m_dataTypes.end()) throw E_UNEXPECTED;
  varnel::ThrowIfFailed(request->SetVariableName(name));
  CComPtr<IUPnPQueryStateVariableRequest> result;
  varnel::ThrowIfFailed(request->QueryInterface(&result));
  return CComPtr<IUnknown>(result);
}

// A fault's UPnP error sits in the children of the first child of "detail";
// the other children of the fault are not interpreted.
CComPtr<IUnknown> CSoapMsgReaderWriter::ReadFault(NodeView element) const {
  if (element.LocalName() != "Fault" || element.NamespaceUri() != varnel::kSoapEnvelopeNamespaceUtf8) return nullptr;
  CComPtr<IUnknown> holder;
  comrt::CComObject<CSoapErrorMsg>* error = NewMessage<CSoapErrorMsg>(holder);
  const CUPnPDataTypeUI4 codeReader;
  for (NodeView child = element.FirstChild(); child; child = child.NextSibling()) {
    if (child.LocalName() != "detail") continue;
    const NodeView upnpError = child.FirstChild();
    if (!upnpError) _com_issue_error(E_POINTER);
    for (NodeView item = upnpError.FirstChild(); item; item = item.NextSibling()) {
      const std::string_view name = item.LocalName();
      if (name == "errorCode") {
        CComVariant code = codeReader.StringToVariant(Wide(item.Text()), false);
        varnel::ThrowIfFailed(VariantChangeType(&code, &code, 0, VT_UI4));
        varnel::ThrowIfFailed(error->SetErrorCode(static_cast<LONG>(code.ulVal)));
      } else if (name == "errorDescription") {
        const std::u16string description = Wide(item.Text());
        varnel::ThrowIfFailed(error->SetErrorDescription(CComBSTR(description.c_str())));
      }
    }
  }
  CComPtr<IUPnPSoapErrorMsg> result;
  varnel::ThrowIfFailed(error->QueryInterface(&result));
  return CComPtr<IUnknown>(result);
}

CComPtr<IUnknown> CSoapMsgReaderWriter::ReadQueryStateVariableResponse(NodeView element) const {
  if (element.LocalName() != varnel::kQueryStateVariableResponseUtf8) return nullptr;
  CComPtr<IUnknown> holder;
  comrt::CComObject<CQueryStateVariableResponse>* response = NewMessage<CQueryStateVariableResponse>(holder);
  // UPnP names the value element "return"; some device stacks name it after
  // the variable, so the first child is the value whatever its name.
  const NodeView returned = element.FirstChild();
  if (returned.Type() != NODE_ELEMENT) throw ZeltCommonLib::InvalidMessage;
  const std::u16string text = Wide(returned.Text());
  varnel::ThrowIfFailed(response->SetReturnValue(CComVariant(text.c_str())));
  CComPtr<IUPnPQueryStateVariableResponse> result;
  varnel::ThrowIfFailed(response->QueryInterface(&result));
  return CComPtr<IUnknown>(result);
}

// Accepts any element. A request keeps a rejected action or value as its UPnP
// error; a response fails with it.
template <class Message>
CComPtr<IUnknown> CSoapMsgReaderWriter::ReadInvokeAction(NodeView element) const {
  constexpr bool kRequest = std::is_same<Message, CInvokeActionRequest>::value;
  CComPtr<IUnknown> holder;
  comrt::CComObject<Message>* message = NewMessage<Message>(holder);
  message->ReadArguments(element, m_actions,
                         kRequest ? CInvokeActionMessage::Kind::kRequest : CInvokeActionMessage::Kind::kResponse);
  if (!kRequest && message->GetReadResult() && FAILED(*message->GetReadResult())) throw *message->GetReadResult();
  using Working = std::conditional_t<kRequest, IUPnPInvokeActionRequest, IUPnPInvokeActionResponse>;
  CComPtr<Working> result;
  varnel::ThrowIfFailed(message->QueryInterface(&result));
  return CComPtr<IUnknown>(result);
}
