// The device side's HTTP: a server on 127.0.0.1 over libmicrohttpd that
// hands each whole request to one handler and sends back the reply it
// makes. Requests are answered one at a time, on the server's own thread.
// A request body is held in memory up to a byte limit; a longer one never
// reaches the handler: it is called with `tooLarge` set and no body, at
// once when Content-Length announces the length (the body is then never
// read), else once the body has been read to its end and dropped (a body
// running on past 64 MiB more closes the connection unanswered).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "varnel/host/memory_message.h"
#include "varnel/host/status.h"

namespace varnel_tool {

struct HttpRequest {
  std::string method;
  std::string path;     // without the query, percent-escapes undone
  std::string version;  // "HTTP/1.1"
  std::vector<varnel::host::Header> headers;
  std::string body;
  std::string peer;  // "127.0.0.1:40404"
  bool tooLarge = false;

  // The value of the first header named `name` (ASCII case ignored); null
  // when there is none.
  const std::string* FindHeader(std::string_view name) const;
};

struct HttpReply {
  int status = 200;
  std::vector<varnel::host::Header> headers;  // Content-Length is set by the server
  std::string body;
  // What the exchange was, for the log ("GetStatus", "UPnP error 402 ...").
  std::string summary;
};

using HttpHandler = std::function<HttpReply(const HttpRequest&)>;
// Called after each reply is queued (including those to requests that were
// too large), and with each problem the HTTP layer reports.
using HttpExchangeLog = std::function<void(const HttpRequest&, const HttpReply&)>;
using HttpProblemLog = std::function<void(const std::string&)>;

struct HttpServerOptions {
  uint16_t port = 0;  // 0: the system chooses
  uint64_t maxRequestBody = 0;
  unsigned idleSeconds = 30;  // a connection idle this long is closed
  unsigned maxConnections = 32;
};

class HttpServer {
 public:
  // Listens on 127.0.0.1 and serves on a thread of its own until destroyed.
  // Fails with E_FAIL naming the reason when it cannot listen. `log` and
  // `problems` may be empty.
  static varnel::host::Status Start(const HttpServerOptions& options, HttpHandler handler, HttpExchangeLog log,
                                    HttpProblemLog problems, std::unique_ptr<HttpServer>* out);
  // Stops listening, closes every connection and waits for the thread.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  uint16_t port() const noexcept { return port_; }

  struct Daemon;
  struct Callbacks;

 private:
  HttpServer() = default;

  std::unique_ptr<Callbacks> callbacks_;
  std::unique_ptr<Daemon> daemon_;
  uint16_t port_ = 0;
};

}  // namespace varnel_tool
