// Sending a written message body on the caller's transport message.
#pragma once

#include <string>
#include <string_view>

#include "comrt/xml_dom.h"
#include "varnel/varnel.h"

namespace varnel {

// The bytes of a built message document, saved as UTF-8. Throws the DOM's
// code as a _com_error.
std::string SavedDocument(IXMLDOMDocument* document);

// Sets SOAPACTION (the fixed QueryStateVariable value for that action name,
// else "<service type>#<action>" in quotes) and CONTENT-TYPE, sets the
// content length, attaches the header source, and hands `body` to the body
// writer in one call while the message is sending. E_UNEXPECTED for a
// missing header or body writer or a short write; the writers' codes.
void SendRequestMessage(ITransportRequestMessage* message, std::string_view body,
                        const std::u16string& serviceType, std::u16string_view actionName,
                        IUnknown* headerSource);

// As SendRequestMessage without SOAPACTION, attaching two header sources in
// their order.
void SendResponseMessage(ITransportResponseMessage* message, std::string_view body, IUnknown* headerSource1,
                         IUnknown* headerSource2);

}  // namespace varnel
