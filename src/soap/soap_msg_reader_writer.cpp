// Setting up the reader/writer, and reading control messages.
#include "soap/soap_msg_reader_writer.h"

#include "com/dom_access.h"
#include "com/trace.h"
#include "comrt/atl_exception.h"
#include "comrt/com_variant.h"
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

      CComPtr<IXMLDOMDocument2> document = varnel::CreateMessageDocument();
      varnel::ThrowIfFailed(document->setProperty(CComBSTR(u"SelectionNamespaces"),
                                                  CComVariant(varnel::kEnvelopeSelectionNamespaces)));
      varnel::ThrowIfFailed(document->put_async(VARIANT_FALSE));
      // A body past the limit fails the load like one that does not parse.
      varnel::BodyLimitStream limited(spStream, varnel::MaxBodyBytes());
      CComVariant source(static_cast<IUnknown*>(&limited));
      VARIANT_BOOL loaded = VARIANT_FALSE;
      // A body that does not parse leaves an empty document, found out below.
      varnel::ThrowIfFailed(document->load(source, &loaded));
      // The reason the DOM left on the thread would outlive this call and be
      // taken for the reason of some later failure; the read answers for it.
      if (loaded != VARIANT_TRUE) SetErrorInfo(0, nullptr);

      CComPtr<IXMLDOMNodeList> bodies = varnel::SelectNodes(document, u"/s:Envelope/s:Body");
      LONG bodyCount = 0;
      varnel::ThrowIfFailed(bodies->get_length(&bodyCount));
      VARNEL_THROW_IF_TEXT("spNodeList->length != 1", bodyCount != 1, ZeltCommonLib::InvalidMessage);
      CComPtr<IXMLDOMNode> body;
      varnel::ThrowIfFailed(bodies->get_item(0, &body));
      VARIANT_BOOL hasChildren = VARIANT_FALSE;
      varnel::ThrowIfFailed(body->hasChildNodes(&hasChildren));
      VARNEL_THROW_IF_TEXT("!spNode->hasChildNodes()", hasChildren != VARIANT_TRUE, ZeltCommonLib::InvalidMessage);
      CComPtr<IXMLDOMNode> element;
      varnel::ThrowIfFailed(body->get_firstChild(&element));

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

CComPtr<IUnknown> CSoapMsgReaderWriter::ReadRequestElement(IXMLDOMNode* element) const {
  CComPtr<IUnknown> message = ReadQueryStateVariableRequest(element);
  if (!message) message = ReadInvokeAction<CInvokeActionRequest>(element);
  return message;
}

CComPtr<IUnknown> CSoapMsgReaderWriter::ReadResponseElement(IXMLDOMNode* element) const {
  CComPtr<IUnknown> message = ReadFault(element);
  if (!message) message = ReadQueryStateVariableResponse(element);
  if (!message) message = ReadInvokeAction<CInvokeActionResponse>(element);
  return message;
}

CComPtr<IUnknown> CSoapMsgReaderWriter::ReadQueryStateVariableRequest(IXMLDOMNode* element) const {
  if (varnel::BaseNameOf(element) != varnel::kQueryStateVariable) return nullptr;
  CComPtr<IUnknown> holder;
  comrt::CComObject<CQueryStateVariableRequest>* request = NewMessage<CQueryStateVariableRequest>(holder);
  CComPtr<IXMLDOMNode> varName;
  varnel::ThrowIfFailed(element->get_firstChild(&varName));
  if (!varName || varnel::BaseNameOf(varName) != u"varName") throw E_UNEXPECTED;
  CComPtr<IXMLDOMNode> text;
  varnel::ThrowIfFailed(varName->get_firstChild(&text));
  if (!text) _com_issue_error(E_POINTER);
  CComVariant name;
  varnel::ThrowIfFailed(text->get_nodeValue(&name));
  if (name.vt != VT_BSTR) throw E_UNEXPECTED;
  if (m_dataTypes.find(TextOfBstr(name.bstrVal)) == m_dataTypes.end()) throw E_UNEXPECTED;
  varnel::ThrowIfFailed(request->SetVariableName(name.bstrVal));
  CComPtr<IUPnPQueryStateVariableRequest> result;
  varnel::ThrowIfFailed(request->QueryInterface(&result));
  return CComPtr<IUnknown>(result);
}

// A fault's UPnP error sits in the children of the first child of "detail";
// the other children of the fault are not interpreted.
CComPtr<IUnknown> CSoapMsgReaderWriter::ReadFault(IXMLDOMNode* element) const {
  BSTR namespaceUri = nullptr;
  varnel::ThrowIfFailed(element->get_namespaceURI(&namespaceUri));
  CComBSTR ownedNamespace;
  ownedNamespace.Attach(namespaceUri);
  if (varnel::BaseNameOf(element) != u"Fault" || TextOfBstr(ownedNamespace) != varnel::kSoapEnvelopeNamespace) {
    return nullptr;
  }
  CComPtr<IUnknown> holder;
  comrt::CComObject<CSoapErrorMsg>* error = NewMessage<CSoapErrorMsg>(holder);
  const CUPnPDataTypeUI4 codeReader;
  varnel::ForEachChild(element, [&](IXMLDOMNode* child) {
    if (varnel::BaseNameOf(child) != u"detail") return;
    CComPtr<IXMLDOMNode> upnpError;
    varnel::ThrowIfFailed(child->get_firstChild(&upnpError));
    if (!upnpError) _com_issue_error(E_POINTER);
    varnel::ForEachChild(upnpError, [&](IXMLDOMNode* item) {
      const std::u16string name = varnel::BaseNameOf(item);
      if (name == u"errorCode") {
        CComVariant code = codeReader.StringToVariant(varnel::TextOf(item), false);
        varnel::ThrowIfFailed(VariantChangeType(&code, &code, 0, VT_UI4));
        varnel::ThrowIfFailed(error->SetErrorCode(static_cast<LONG>(code.ulVal)));
      } else if (name == u"errorDescription") {
        const std::u16string description = varnel::TextOf(item);
        varnel::ThrowIfFailed(error->SetErrorDescription(CComBSTR(description.c_str())));
      }
    });
  });
  CComPtr<IUPnPSoapErrorMsg> result;
  varnel::ThrowIfFailed(error->QueryInterface(&result));
  return CComPtr<IUnknown>(result);
}

CComPtr<IUnknown> CSoapMsgReaderWriter::ReadQueryStateVariableResponse(IXMLDOMNode* element) const {
  if (varnel::BaseNameOf(element) != varnel::kQueryStateVariableResponse) return nullptr;
  CComPtr<IUnknown> holder;
  comrt::CComObject<CQueryStateVariableResponse>* response = NewMessage<CQueryStateVariableResponse>(holder);
  // UPnP names the value element "return"; some device stacks name it after
  // the variable, so the first child is the value whatever its name.
  CComPtr<IXMLDOMNode> returned;
  varnel::ThrowIfFailed(element->get_firstChild(&returned));
  DOMNodeType type = NODE_INVALID;
  if (returned) varnel::ThrowIfFailed(returned->get_nodeType(&type));
  if (type != NODE_ELEMENT) throw ZeltCommonLib::InvalidMessage;
  const std::u16string text = varnel::TextOf(returned);
  varnel::ThrowIfFailed(response->SetReturnValue(CComVariant(text.c_str())));
  CComPtr<IUPnPQueryStateVariableResponse> result;
  varnel::ThrowIfFailed(response->QueryInterface(&result));
  return CComPtr<IUnknown>(result);
}

// Accepts any element. A request keeps a rejected action or value as its UPnP
// error; a response fails with it.
template <class Message>
CComPtr<IUnknown> CSoapMsgReaderWriter::ReadInvokeAction(IXMLDOMNode* element) const {
  constexpr bool kRequest = std::is_same<Message, CInvokeActionRequest>::value;
  CComPtr<IUnknown> holder;
  comrt::CComObject<Message>* message = NewMessage<Message>(holder);
  message->ReadArguments(element, m_actions, m_dataTypes,
                         kRequest ? CInvokeActionMessage::Kind::kRequest : CInvokeActionMessage::Kind::kResponse);
  if (!kRequest && message->GetReadResult() && FAILED(*message->GetReadResult())) throw *message->GetReadResult();
  using Working = std::conditional_t<kRequest, IUPnPInvokeActionRequest, IUPnPInvokeActionResponse>;
  CComPtr<Working> result;
  varnel::ThrowIfFailed(message->QueryInterface(&result));
  return CComPtr<IUnknown>(result);
}
