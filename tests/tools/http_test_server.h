// A small HTTP server on 127.0.0.1 for the control-point tests: it answers
// each request with the reply set for its path, one connection at a time,
// on a thread of its own, and records what it was sent.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace varnel_test {

struct HttpReply {
  HttpReply() = default;
  HttpReply(int status, std::string body) : status(status), body(std::move(body)) {}

  int status = 200;
  std::string body;
  bool gzip = false;        // sent with Content-Encoding: gzip
  bool withLength = true;   // without Content-Length the body ends with the connection
  bool hang = false;        // never answer; hold the connection until the client goes
  std::string location;     // a Location header when not empty
};

struct HttpRequest {
  std::string method;
  std::string path;
  std::string headers;  // the header lines as received
  std::string body;
};

class HttpTestServer {
 public:
  // Listens on an ephemeral port of 127.0.0.1. A request for a path without
  // a reply is answered 404.
  HttpTestServer();
  // Stops serving and waits for the thread.
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  void Route(const std::string& path, HttpReply reply);
  std::string Url(const std::string& path) const;
  // The requests received so far, in order.
  std::vector<HttpRequest> Requests() const;

 private:
  void Serve();
  void Handle(int connection);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::map<std::string, HttpReply> replies_;
  std::vector<HttpRequest> requests_;
  std::thread thread_;
};

// `body` as a gzip stream (stored, not compressed: any reader must unpack it).
std::string Gzip(const std::string& body);

}  // namespace varnel_test
