// What a device hosted by `varnel serve` answers to each HTTP request: its
// description and SCPDs to GET (and HEAD), its control URLs to POST, and
// the HTTP refusals around them.
//
//   a body over the request limit                    413, connection closed
//   a Host other than 127.0.0.1:PORT or localhost:PORT  412 (no page of
//                                                    another site reaches it)
//   no Host, but for HTTP/1.0                        400
//   a path that is neither a file nor a control URL  404
//   another method than GET/HEAD (files) or POST (control URLs)  405
//   a Content-Encoding other than identity           415
//   a POST to a control URL                          AnswerControl
#pragma once

#include <cstdint>

#include "device_folder.h"
#include "http_server.h"

namespace varnel_tool {

HttpReply Route(const DeviceFolder& device, uint16_t port, uint64_t maxRequestBody, const HttpRequest& request);

}  // namespace varnel_tool
