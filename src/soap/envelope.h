// The parts of a message document that every writer shares.
#pragma once

#include "comrt/com_ptr.h"
#include "comrt/xml_dom.h"
#include "varnel/varnel.h"

namespace varnel {

// Appends the declaration and "s:Envelope" (with "s:encodingStyle" and
// "xmlns:s") holding "s:Body" to an empty document; returns "s:Body".
// Failures are traced and passed on as trace exceptions.
CComPtr<IXMLDOMElement> BuildEnvelope(IXMLDOMDocument* document);

// Appends "s:Fault" with "faultcode" s:Client, "faultstring" UPnPError and
// "detail" holding "UPnPError" (in the control namespace) with the error
// message's code and description. Failures are traced and passed on as trace
// exceptions.
void AppendFaultBody(IUPnPSoapErrorMsg* errorMessage, IXMLDOMElement* body);

}  // namespace varnel
