#include "http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace varnel_test {

namespace {

constexpr int kPollMs = 20;

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Waits until `fd` is readable; false once the server stops.
bool WaitReadable(int fd, const std::atomic<bool>& stopping) {
  while (!stopping) {
    pollfd watched{fd, POLLIN, 0};
    if (poll(&watched, 1, kPollMs) > 0) return true;
  }
  return false;
}

void SendAll(int fd, const std::string& bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client went away
    sent += static_cast<size_t>(n);
  }
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

}  // namespace

std::string Gzip(const std::string& body) {
  std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
  size_t offset = 0;
  do {
    const size_t length = std::min<size_t>(body.size() - offset, 65535);
    const bool last = offset + length == body.size();
    out.push_back(last ? 1 : 0);
    PutLittleEndian(out, static_cast<uint32_t>(length), 2);
    PutLittleEndian(out, static_cast<uint32_t>(~length & 0xFFFF), 2);
    out.append(body, offset, length);
    offset += length;
  } while (offset < body.size());
  PutLittleEndian(out, Crc32(body), 4);
  PutLittleEndian(out, static_cast<uint32_t>(body.size()), 4);
  return out;
}

HttpTestServer::HttpTestServer() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::abort();
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer() {
  stopping_ = true;
  thread_.join();
  close(listener_);
}

void HttpTestServer::Route(const std::string& path, HttpReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[path] = std::move(reply);
}

std::string HttpTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<HttpRequest> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void HttpTestServer::Serve() {
  while (WaitReadable(listener_, stopping_)) {
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Handle(connection);
    close(connection);
  }
}

void HttpTestServer::Handle(int connection) {
  std::string received;
  char buffer[4096];
  size_t headerEnd;
  while ((headerEnd = received.find("\r\n\r\n")) == std::string::npos) {
    if (!WaitReadable(connection, stopping_)) return;
    const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    received.append(buffer, static_cast<size_t>(n));
  }
  HttpRequest request;
  const std::string head = received.substr(0, headerEnd);
  const size_t firstSpace = head.find(' ');
  const size_t secondSpace = head.find(' ', firstSpace + 1);
  request.method = head.substr(0, firstSpace);
  request.path = head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  request.headers = head.substr(head.find("\r\n") + 2);
  size_t length = 0;
  for (const char* name : {"Content-Length: ", "content-length: "}) {
    const size_t at = head.find(name);
    if (at != std::string::npos) length = std::strtoul(head.c_str() + at + 16, nullptr, 10);
  }
  request.body = received.substr(headerEnd + 4);
  while (request.body.size() < length) {
    if (!WaitReadable(connection, stopping_)) return;
    const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.body.append(buffer, static_cast<size_t>(n));
  }

  HttpReply reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    const auto found = replies_.find(request.path);
    if (found != replies_.end()) {
      reply = found->second;
    } else {
      reply.status = 404;
      reply.body = "no such path";
    }
  }
  if (reply.hang) {
    // Held until the client gives up (it closes: recv answers 0) or the
    // server stops.
    while (WaitReadable(connection, stopping_) && recv(connection, buffer, sizeof buffer, 0) > 0) {
    }
    return;
  }
  const std::string body = reply.gzip ? Gzip(reply.body) : reply.body;
  std::string answer = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) +
                       "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nConnection: close\r\n";
  if (reply.withLength) answer += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (reply.gzip) answer += "Content-Encoding: gzip\r\n";
  if (!reply.location.empty()) answer += "Location: " + reply.location + "\r\n";
  SendAll(connection, answer + "\r\n" + body);
  shutdown(connection, SHUT_WR);
}

}  // namespace varnel_test
