#include "http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <utility>

namespace varnel_tool {

using varnel::host::Header;
using varnel::host::Status;

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// One request on its way in; MHD keeps it as the connection's context
// between calls of the access handler.
struct Pending {
  HttpRequest request;
  bool answered = false;
  uint64_t dropped = 0;  // bytes of a body over the limit, read and not kept
};

// How much of a body over the limit, sent without Content-Length, is read
// and dropped before its 413 can go.
constexpr uint64_t kMaxDropped = 64u * 1024 * 1024;

struct ResponseDeleter {
  void operator()(MHD_Response* response) const { MHD_destroy_response(response); }
};
using ResponsePtr = std::unique_ptr<MHD_Response, ResponseDeleter>;

MHD_Result CollectHeader(void* context, MHD_ValueKind, const char* key, const char* value) {
  static_cast<std::vector<Header>*>(context)->push_back({key ? key : "", value ? value : ""});
  return MHD_YES;
}

std::string PeerOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr || info->client_addr->sa_family != AF_INET) return "?";
  const auto* address = reinterpret_cast<const sockaddr_in*>(info->client_addr);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address->sin_port));
}

}  // namespace

const std::string* HttpRequest::FindHeader(std::string_view name) const {
  for (const Header& header : headers) {
    if (SameIgnoringCase(header.name, name)) return &header.value;
  }
  return nullptr;
}

struct HttpServer::Callbacks {
  HttpServerOptions options;
  HttpHandler handler;
  HttpExchangeLog log;
  HttpProblemLog problems;
  std::string lastProblem;  // what the HTTP layer last reported, logged or not

  // Makes the reply and queues it; false when MHD refuses it (the
  // connection is then closed).
  bool Answer(MHD_Connection* connection, Pending* pending) {
    pending->answered = true;
    HttpReply reply;
    try {
      reply = handler(pending->request);
    } catch (const std::exception& failure) {
      reply = HttpReply();
      reply.status = MHD_HTTP_INTERNAL_SERVER_ERROR;
      reply.summary = std::string("the answer failed: ") + failure.what();
    } catch (...) {  // the library's own exception types
      reply = HttpReply();
      reply.status = MHD_HTTP_INTERNAL_SERVER_ERROR;
      reply.summary = "the answer failed";
    }
    ResponsePtr response(
        MHD_create_response_from_buffer(reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY));
    if (!response) {
      if (problems) problems("cannot make the answer to " + pending->request.method + " " + pending->request.path);
      return false;
    }
    for (const Header& header : reply.headers) {
      if (MHD_add_response_header(response.get(), header.name.c_str(), header.value.c_str()) != MHD_YES &&
          problems) {
        problems("cannot set the header " + header.name + " of the answer to " + pending->request.path);
      }
    }
    // After a refused body the rest of it is never read: the connection ends.
    if (pending->request.tooLarge) MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONNECTION, "close");
    const bool queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response.get()) == MHD_YES;
    if (log) log(pending->request, reply);
    if (!queued && problems) problems("cannot send the answer to " + pending->request.path);
    return queued;
  }

  static MHD_Result Access(void* context, MHD_Connection* connection, const char* url, const char* method,
                           const char* version, const char* uploadData, size_t* uploadSize, void** connectionContext) {
    Callbacks* self = static_cast<Callbacks*>(context);
    Pending* pending = static_cast<Pending*>(*connectionContext);
    if (!pending) {
      // The first call: the header is complete, no body byte has been read.
      std::unique_ptr<Pending> made;
      try {
        made = std::make_unique<Pending>();
        made->request.method = method ? method : "";
        made->request.path = url ? url : "";
        made->request.version = version ? version : "";
        made->request.peer = PeerOf(connection);
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &CollectHeader, &made->request.headers);
      } catch (const std::bad_alloc&) {
        return MHD_NO;
      }
      pending = made.release();  // owned by the connection until Completed
      *connectionContext = pending;
      const std::string* length = pending->request.FindHeader(MHD_HTTP_HEADER_CONTENT_LENGTH);
      if (length) {
        char* end = nullptr;
        errno = 0;
        const unsigned long long declared = std::strtoull(length->c_str(), &end, 10);
        if (errno == ERANGE || declared > self->options.maxRequestBody) {
          pending->request.tooLarge = true;
          return self->Answer(connection, pending) ? MHD_YES : MHD_NO;
        }
      }
      return MHD_YES;
    }
    if (pending->answered) {
      // The body of a request answered early: dropped unread.
      *uploadSize = 0;
      return MHD_YES;
    }
    if (*uploadSize != 0) {
      if (pending->request.tooLarge || pending->request.body.size() + *uploadSize > self->options.maxRequestBody) {
        // A body without announced length that runs over: no answer can go
        // before its end, so the rest is read and dropped, up to a bound
        // past which the connection is closed unanswered.
        pending->request.tooLarge = true;
        pending->request.body.clear();
        pending->dropped += *uploadSize;
        *uploadSize = 0;
        if (pending->dropped > kMaxDropped) {
          if (self->problems) self->problems(pending->request.peer + ": a body without end; connection closed");
          return MHD_NO;
        }
        return MHD_YES;
      }
      try {
        pending->request.body.append(uploadData, *uploadSize);
      } catch (const std::bad_alloc&) {
        return MHD_NO;
      }
      *uploadSize = 0;
      return MHD_YES;
    }
    return self->Answer(connection, pending) ? MHD_YES : MHD_NO;
  }

  static void Completed(void*, MHD_Connection*, void** connectionContext, MHD_RequestTerminationCode) {
    std::unique_ptr<Pending> done(static_cast<Pending*>(*connectionContext));
    *connectionContext = nullptr;
  }

  static void Log(void* context, const char* format, va_list arguments) {
    Callbacks* self = static_cast<Callbacks*>(context);
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == '.')) line.pop_back();
    self->lastProblem = line;
    if (self->problems) self->problems("http: " + line);
  }
};

struct HttpServer::Daemon {
  MHD_Daemon* daemon = nullptr;
  ~Daemon() {
    if (daemon) MHD_stop_daemon(daemon);
  }
};

Status HttpServer::Start(const HttpServerOptions& options, HttpHandler handler, HttpExchangeLog log,
                         HttpProblemLog problems, std::unique_ptr<HttpServer>* out) {
  std::unique_ptr<HttpServer> server(new HttpServer());
  server->callbacks_ = std::make_unique<Callbacks>();
  Callbacks* callbacks = server->callbacks_.get();
  callbacks->options = options;
  callbacks->handler = std::move(handler);
  callbacks->log = std::move(log);
  callbacks->problems = std::move(problems);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options.port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_USE_ERROR_LOG;
  server->daemon_ = std::make_unique<Daemon>();
  server->daemon_->daemon = MHD_start_daemon(
      flags, options.port, nullptr, nullptr, &Callbacks::Access, callbacks,
      MHD_OPTION_EXTERNAL_LOGGER, &Callbacks::Log, callbacks,  // first, so that it takes every message
      MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&address),
      MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(options.idleSeconds),
      MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(options.maxConnections),
      MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::Completed, callbacks,
      MHD_OPTION_END);
  if (!server->daemon_->daemon) {
    const std::string why = callbacks->lastProblem.empty() ? std::strerror(errno) : callbacks->lastProblem;
    return Status(E_FAIL, "cannot listen on 127.0.0.1:" + std::to_string(options.port) + ": " + why);
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(server->daemon_->daemon, MHD_DAEMON_INFO_BIND_PORT);
  server->port_ = info ? info->port : options.port;
  if (server->port_ == 0) return Status(E_FAIL, "cannot learn the port the server listens on");
  *out = std::move(server);
  return Status();
}

HttpServer::~HttpServer() {
  daemon_.reset();  // the thread ends before the callbacks it uses go
}

}  // namespace varnel_tool
