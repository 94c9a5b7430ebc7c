#include "serve_routes.h"

#include "control_exchange.h"

namespace varnel_tool {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

HttpReply Plain(int status, std::string summary) {
  HttpReply reply;
  reply.status = status;
  reply.headers.push_back({"SERVER", kServerHeader});
  reply.summary = std::move(summary);
  return reply;
}

// A Host naming this server: its address or localhost, with its port (or
// none when that is 80). An HTTP/1.0 request without Host is let through.
bool HostIsOurs(const HttpRequest& request, uint16_t port) {
  const std::string* host = request.FindHeader("Host");
  if (!host) return request.version == "HTTP/1.0";
  const std::string given = Lower(*host);
  const std::string suffix = ":" + std::to_string(port);
  for (const char* name : {"127.0.0.1", "localhost"}) {
    if (given == name + suffix || (port == 80 && given == name)) return true;
  }
  return false;
}

}  // namespace

HttpReply Route(const DeviceFolder& device, uint16_t port, uint64_t maxRequestBody, const HttpRequest& request) {
  if (request.tooLarge) {
    return Plain(413, "the request body is longer than " + std::to_string(maxRequestBody) + " bytes");
  }
  if (!HostIsOurs(request, port)) {
    const std::string* host = request.FindHeader("Host");
    if (!host) return Plain(400, "an " + request.version + " request without Host");
    return Plain(412, "Host \"" + *host + "\" is not 127.0.0.1:" + std::to_string(port));
  }
  const bool read = request.method == "GET" || request.method == "HEAD";
  const auto file = device.files().find(request.path);
  if (file != device.files().end()) {
    if (!read) {
      HttpReply reply = Plain(405, request.method + " of a description");
      reply.headers.push_back({"Allow", "GET, HEAD"});
      return reply;
    }
    HttpReply reply = Plain(200, "description");
    reply.headers.push_back({"Content-Type", "text/xml; charset=\"utf-8\""});
    reply.body = file->second;
    return reply;
  }
  const HostedService* hosted = device.FindControl(request.path);
  if (!hosted) return Plain(404, "no such file or control URL");
  if (request.method != "POST") {
    HttpReply reply = Plain(405, request.method + " of a control URL");
    reply.headers.push_back({"Allow", "POST"});
    return reply;
  }
  const std::string* encoding = request.FindHeader("Content-Encoding");
  if (encoding && !encoding->empty() && Lower(*encoding) != "identity") {
    return Plain(415, "a body in Content-Encoding " + *encoding);
  }
  return AnswerControl(*hosted, request);
}

}  // namespace varnel_tool
