// One control exchange of a device hosted by `varnel serve`: a POST to a
// service's control URL, read by the library and answered with a response
// or a fault the library writes.
//
//   SOAPACTION missing, or not "TYPE#NAME" (quotes optional)   412, no body
//   SOAPACTION naming another service type (QueryStateVariable may
//   name urn:schemas-upnp-org:control-1-0 or the service type)   401 fault
//   ReadMessage fails                       the fault ErrorOfFailedRead names
//   the body's action (or query) is not the one SOAPACTION names  401 fault
//   the request records 401 or 600          that fault
//   otherwise                               the behaviour's answer: the
//                                           response, or its fault
//   a response the library refuses to write  501 fault
//
// Faults go with HTTP 500, responses with 200; both carry the library's
// headers (CONTENT-TYPE) and EXT and SERVER.
#pragma once

#include "device_folder.h"
#include "http_server.h"

namespace varnel_tool {

// The SERVER header of every answer.
extern const char kServerHeader[];

// The answer to `request`, a POST to the control URL of `hosted`. The
// reply's summary names the action or query and any fault with its reason.
HttpReply AnswerControl(const HostedService& hosted, const HttpRequest& request);

}  // namespace varnel_tool
