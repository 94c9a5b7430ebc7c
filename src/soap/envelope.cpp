#include "soap/envelope.h"

#include "com/dom_access.h"
#include "com/trace.h"
#include "comrt/com_bstr.h"
#include "datatypes/upnp_data_type_integer.h"
#include "soap/dom_builder.h"
#include "soap/soap_names.h"

namespace varnel {

CComPtr<IXMLDOMElement> BuildEnvelope(IXMLDOMDocument* document) {
  VARNEL_GUARDED_BEGIN
    CComPtr<IXMLDOMProcessingInstruction> declaration;
    ThrowIfFailed(document->createProcessingInstruction(CComBSTR(u"xml"), CComBSTR(u"version='1.0' encoding='utf-8'"),
                                                        &declaration));
    AppendChild(document, declaration);
    CComPtr<IXMLDOMElement> envelope = CreateElement(document, u"s:Envelope");
    AppendChild(document, envelope);
    AddAttribute(document, envelope, u"s:encodingStyle", kSoapEncodingStyle);
    AddAttribute(document, envelope, u"xmlns:s", kSoapEnvelopeNamespace);
    CComPtr<IXMLDOMElement> body = CreateElement(document, u"s:Body");
    AppendChild(envelope, body);
    return body;
  VARNEL_RELAY_GUARD_END
}

void AppendFaultBody(IUPnPSoapErrorMsg* errorMessage, IXMLDOMElement* body) {
  VARNEL_GUARDED_BEGIN
    CComPtr<IXMLDOMDocument> document;
    ThrowIfFailed(body->get_ownerDocument(&document));
    if (!document) _com_issue_error(E_POINTER);
    CComPtr<IXMLDOMElement> fault = CreateElement(document, u"s:Fault");
    AppendChild(body, fault);
    CComPtr<IXMLDOMElement> faultCode = CreateElement(document, u"faultcode");
    AppendText(document, faultCode, u"s:Client");
    AppendChild(fault, faultCode);
    CComPtr<IXMLDOMElement> faultString = CreateElement(document, u"faultstring");
    AppendText(document, faultString, u"UPnPError");
    AppendChild(fault, faultString);
    CComPtr<IXMLDOMElement> detail = CreateElement(document, u"detail");
    AppendChild(fault, detail);

    CComPtr<IXMLDOMNode> upnpError = CreateNamespacedElement(document, u"UPnPError", kControlNamespace);
    AppendChild(detail, upnpError);
    CComPtr<IXMLDOMNode> errorCode = CreateNamespacedElement(document, u"errorCode", kControlNamespace);
    LONG code = 0;
    ThrowIfFailed(errorMessage->GetErrorCode(&code));
    CComVariant codeValue(static_cast<int>(code), VT_INT);
    AppendText(document, errorCode, CUPnPDataTypeI4().VariantToString(codeValue));
    AppendChild(upnpError, errorCode);
    CComPtr<IXMLDOMNode> errorDescription = CreateNamespacedElement(document, u"errorDescription", kControlNamespace);
    CComBSTR description;
    ThrowIfFailed(errorMessage->GetErrorDescription(&description));
    AppendText(document, errorDescription,
               std::u16string_view(description.m_str ? description.m_str : u"", description.Length()));
    AppendChild(upnpError, errorDescription);
  VARNEL_RELAY_GUARD_END
}

}  // namespace varnel
