// Writing control requests, responses and faults. Requests, responses and
// QueryStateVariable messages are written as text when they can be
// (text_writers.cpp); the rest, and every one the text path turns down, are
// built through the DOM here, which gives each failure its code and trace
// lines.
#include "com/dom_access.h"
#include "com/trace.h"
#include "comrt/atl_exception.h"
#include "comrt/com_safe_array.h"
#include "comrt/com_variant.h"
#include "datatypes/upnp_data_type_integer.h"
#include "soap/dom_builder.h"
#include "soap/envelope.h"
#include "soap/message_sender.h"
#include "soap/soap_msg_reader_writer.h"
#include "soap/soap_names.h"

namespace {

std::u16string TextOfBstr(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : std::u16string(); }

// Copies the caller's value: in-parameters stay the caller's.
CComVariant CopyOf(const VARIANT& value) {
  CComVariant copy;
  const HRESULT hr = VariantCopy(&copy, &value);
  if (FAILED(hr)) throw hr;
  return copy;
}

// The values of an array-of-variants argument list, zero-based.
CComSafeArray<VARIANT> ValuesOf(CComVariant& arguments) {
  if (!arguments.parray) AtlThrow(E_INVALIDARG);
  CComSafeArray<VARIANT> values;
  const HRESULT hr = values.Attach(arguments.parray);
  if (FAILED(hr)) AtlThrow(hr);
  arguments.vt = VT_EMPTY;  // the array now belongs to `values`
  return values;
}

}  // namespace

const CUPnPDataType& CSoapMsgReaderWriter::ConverterForWriting(const std::u16string& name) const {
  const auto it = m_dataTypes.find(name);
  VARNEL_THROW_IF(it == m_dataTypes.end(), E_UNEXPECTED);
  if (!it->second) throw E_NOTIMPL;  // a data type without converter
  return *it->second;
}

void CSoapMsgReaderWriter::AppendArguments(IXMLDOMDocument* document, IXMLDOMElement* actionElement,
                                           const CUPnPArgumentList& arguments, const VARIANT& given) const {
  if (given.vt == (VT_ARRAY | VT_VARIANT)) {
    CComVariant copy = CopyOf(given);
    CComSafeArray<VARIANT> values = ValuesOf(copy);
    const size_t nArgument = values.GetCount();
    VARNEL_THROW_IF(nArgument > arguments.GetSize(), E_INVALIDARG);
    for (size_t i = 0; i < nArgument; ++i) {
      const CUPnPArgument& argument = *arguments[i].second;
      const CUPnPDataType& converter = ConverterForWriting(argument.GetRelatedStateVariable());
      CComPtr<IXMLDOMElement> element = varnel::CreateElement(document, argument.GetName());
      // By absolute index: an array that is not zero-based fails here.
      const std::u16string text = converter.VariantToString(CComVariant(values.GetAt(static_cast<LONG>(i))));
      if (!text.empty()) varnel::AppendText(document, element, text);
      varnel::AppendChild(actionElement, element);
    }
  } else if (given.vt == VT_VARIANT) {
    // The single-value form, for an action of one input argument. A bare
    // VT_VARIANT owns nothing, so its bits are the copy (the platform's copy
    // refuses the tag); the converter then judges the value.
    VARNEL_THROW_IF(1 < arguments.GetSize(), E_INVALIDARG);
    VARNEL_THROW_IF(0 == arguments.GetSize(), E_INVALIDARG);
    const CUPnPArgument& argument = *arguments[0].second;
    const CUPnPDataType& converter = ConverterForWriting(argument.GetRelatedStateVariable());
    CComPtr<IXMLDOMElement> element = varnel::CreateElement(document, argument.GetName());
    CComVariant copy;
    static_cast<VARIANT&>(copy) = given;
    varnel::AppendText(document, element, converter.VariantToString(std::move(copy)));
    varnel::AppendChild(actionElement, element);
  }
}

HRESULT CSoapMsgReaderWriter::WriteInvokeActionRequest(IUnknown* message, BSTR actionName, VARIANT inArguments,
                                                       IUnknown* headerSource) {
  if (!initialized_) return E_FAIL;
  if (!message) return E_INVALIDARG;
  VARNEL_GUARDED_BEGIN
    const std::u16string name = TextOfBstr(actionName);
    varnel::TextBuffer body;
    if (!InvokeActionText(name, inArguments, false, body)) {
      CComPtr<IXMLDOMDocument2> document = varnel::CreateMessageDocument();
      CComPtr<IXMLDOMElement> bodyElement = varnel::BuildEnvelope(document);
      CComPtr<IXMLDOMElement> actionElement = varnel::CreateElement(document, u"u:" + name);
      varnel::AppendChild(bodyElement, actionElement);
      varnel::AddAttribute(document, actionElement, u"xmlns:u", serviceType_);
      const auto it = m_actions.find(name);
      VARNEL_THROW_IF(it == m_actions.end(), E_UNEXPECTED);
      AppendArguments(document, actionElement, it->second->GetInArguments(), inArguments);
      body.Clear();
      body += varnel::SavedDocument(document);
    }
    CComQIPtr<ITransportRequestMessage> request(message);
    if (!request) _com_issue_error(E_POINTER);
    varnel::SendRequestMessage(request, body.View(), serviceType_, name, headerSource);
    return S_OK;
  VARNEL_FULL_GUARD_END
}

HRESULT CSoapMsgReaderWriter::WriteQueryStateVariableRequest(IUnknown* message, BSTR variableName,
                                                             IUnknown* headerSource) {
  if (!initialized_) return E_FAIL;
  if (!message) return E_INVALIDARG;
  VARNEL_GUARDED_BEGIN
    const std::u16string name = TextOfBstr(variableName);
    varnel::TextBuffer body;
    if (!QueryText(name, body)) {
      CComPtr<IXMLDOMDocument2> document = varnel::CreateMessageDocument();
      CComPtr<IXMLDOMElement> bodyElement = varnel::BuildEnvelope(document);
      CComPtr<IXMLDOMElement> query = varnel::CreateElement(document, u"u:QueryStateVariable");
      varnel::AppendChild(bodyElement, query);
      varnel::AddAttribute(document, query, u"xmlns:u", varnel::kControlNamespace);
      if (m_dataTypes.find(name) == m_dataTypes.end()) throw E_UNEXPECTED;
      CComPtr<IXMLDOMElement> varName = varnel::CreateElement(document, u"u:varName");
      varnel::AppendText(document, varName, name);
      varnel::AppendChild(query, varName);
      body.Clear();
      body += varnel::SavedDocument(document);
    }
    CComQIPtr<ITransportRequestMessage> request(message);
    if (!request) _com_issue_error(E_POINTER);
    varnel::SendRequestMessage(request, body.View(), serviceType_, varnel::kQueryStateVariable, headerSource);
    return S_OK;
  VARNEL_PLAIN_GUARD_END
}

HRESULT CSoapMsgReaderWriter::WriteInvokeActionResponse(IUnknown* message, BSTR actionName, VARIANT outArguments,
                                                        IUPnPSoapErrorMsg* errorMessage, IUnknown* headerSource1,
                                                        IUnknown* headerSource2) {
  if (!initialized_) return E_FAIL;
  if (!message) return E_INVALIDARG;
  VARNEL_GUARDED_BEGIN
    VARNEL_INNER_GUARD_BEGIN(result)
      varnel::TextBuffer body;
      if (errorMessage || !InvokeActionText(TextOfBstr(actionName), outArguments, true, body)) {
        CComPtr<IXMLDOMDocument2> document = varnel::CreateMessageDocument();
        CComPtr<IXMLDOMElement> bodyElement = varnel::BuildEnvelope(document);
        if (errorMessage) {
          varnel::AppendFaultBody(errorMessage, bodyElement);
        } else {
          const std::u16string name = TextOfBstr(actionName);
          CComPtr<IXMLDOMElement> responseElement = varnel::CreateElement(document, u"u:" + name + u"Response");
          varnel::AppendChild(bodyElement, responseElement);
          varnel::AddAttribute(document, responseElement, u"xmlns:u", serviceType_);
          const auto it = m_actions.find(name);
          VARNEL_THROW_IF(it == m_actions.end(), E_UNEXPECTED);
          CComVariant copy = CopyOf(outArguments);
          if (copy.vt == (VT_ARRAY | VT_VARIANT)) {
            // Responses have no single-value form, and every output is written.
            const CUPnPArgumentList& arguments = it->second->GetOutArguments();
            CComSafeArray<VARIANT> values = ValuesOf(copy);
            if (values.GetCount() != arguments.GetSize()) throw E_INVALIDARG;
            CComVariant all;
            all.vt = VT_ARRAY | VT_VARIANT;
            all.parray = values.Detach();
            AppendArguments(document, responseElement, arguments, all);
          }
        }
        body.Clear();
        body += varnel::SavedDocument(document);
      }
      CComQIPtr<ITransportResponseMessage> response(message);
      if (!response) _com_issue_error(E_POINTER);
      varnel::SendResponseMessage(response, body.View(), headerSource1, headerSource2);
    VARNEL_INNER_GUARD_END(result, kResultCodes)
  VARNEL_FULL_GUARD_END
}

HRESULT CSoapMsgReaderWriter::WriteQueryStateVariableResponse(IUnknown* message, VARIANT returnValue,
                                                              IUPnPSoapErrorMsg* errorMessage,
                                                              IUnknown* headerSource) {
  if (!initialized_) return E_FAIL;
  if (!message) return E_INVALIDARG;
  VARNEL_GUARDED_BEGIN
    varnel::TextBuffer body;
    if (errorMessage || !AnswerText(returnValue, body)) {
      CComPtr<IXMLDOMDocument2> document = varnel::CreateMessageDocument();
      CComPtr<IXMLDOMElement> bodyElement = varnel::BuildEnvelope(document);
      if (errorMessage) {
        varnel::AppendFaultBody(errorMessage, bodyElement);
      } else {
        CComPtr<IXMLDOMElement> response = varnel::CreateElement(document, u"u:QueryStateVariableResponse");
        varnel::AppendChild(bodyElement, response);
        varnel::AddAttribute(document, response, u"xmlns:u", varnel::kControlNamespace);
        CComPtr<IXMLDOMElement> returned = varnel::CreateElement(document, u"return");
        CComVariant value = CopyOf(returnValue);
        // Strings go as they are; everything else as a 32-bit integer.
        const std::u16string text = value.vt == VT_BSTR ? TextOfBstr(value.bstrVal)
                                                        : CUPnPDataTypeI4().VariantToString(std::move(value));
        varnel::AppendText(document, returned, text);
        varnel::AppendChild(response, returned);
      }
      body.Clear();
      body += varnel::SavedDocument(document);
    }
    CComQIPtr<ITransportResponseMessage> response(message);
    if (!response) _com_issue_error(E_POINTER);
    varnel::SendResponseMessage(response, body.View(), nullptr, headerSource);
    return S_OK;
  VARNEL_PLAIN_GUARD_END
}
