// Sending a built message document on the caller's transport message.
#pragma once

#include <string>

#include "comrt/xml_dom.h"
#include "varnel/varnel.h"

namespace varnel {

// Sets SOAPACTION (the fixed QueryStateVariable value for that action name,
// else "<service type>#<action>" in quotes) and CONTENT-TYPE, saves the
// document as UTF-8, sets the content length, attaches the header source,
// and writes the body in one call while the message is sending. E_UNEXPECTED
// for a missing header or body writer or a short write; the writers' codes.
void SendRequestMessage(ITransportRequestMessage* message, IXMLDOMDocument* document,
                        const std::u16string& serviceType, const std::u16string& actionName,
                        IUnknown* headerSource);

// As SendRequestMessage without SOAPACTION, attaching two header sources in
// their order.
void SendResponseMessage(ITransportResponseMessage* message, IXMLDOMDocument* document, IUnknown* headerSource1,
                         IUnknown* headerSource2);

}  // namespace varnel
