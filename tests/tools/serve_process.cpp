#include "serve_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace varnel_test {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// Waits up to `milliseconds` for `fd` to be readable.
bool Readable(int fd, int milliseconds) {
  pollfd watched{fd, POLLIN, 0};
  return poll(&watched, 1, milliseconds) > 0;
}

}  // namespace

TemporaryFolder::TemporaryFolder() {
  char pattern[] = "/tmp/varnel-serve-test-XXXXXX";
  if (mkdtemp(pattern)) path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TemporaryFolder::Write(const std::string& name, const std::string& text) const {
  const std::string file = path_ + "/" + name;
  std::ofstream(file, std::ios::binary) << text;
  return file;
}

ServeProcess::ServeProcess(const std::vector<std::string>& arguments) {
  // Everything the child needs is made before fork: it may only exec.
  std::vector<std::string> argumentText = {VARNEL_TOOL_PATH, "serve"};
  argumentText.insert(argumentText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argumentText) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;
  const int errFd = open(errors_.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  const int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(nullFd, 0);
    dup2(pipeEnds[1], 1);
    dup2(errFd, 2);
    execve(argv[0], argv.data(), environ);
    _exit(127);
  }
  close(pipeEnds[1]);
  close(errFd);
  close(nullFd);
  output_ = pipeEnds[0];
  if (pid_ < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::string line;
  while (std::chrono::steady_clock::now() < deadline && line.find('\n') == std::string::npos) {
    if (!Readable(output_, 100)) continue;
    char buffer[256];
    const ssize_t got = read(output_, buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, static_cast<size_t>(got));
  }
  if (line.find('\n') != std::string::npos) url_ = line.substr(0, line.find('\n'));
}

ServeProcess::~ServeProcess() {
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (output_ >= 0) close(output_);
}

uint16_t ServeProcess::port() const {
  const size_t colon = url_.find(':', url_.find("//") == std::string::npos ? 0 : url_.find("//"));
  return colon == std::string::npos ? 0 : static_cast<uint16_t>(std::atoi(url_.c_str() + colon + 1));
}

int ServeProcess::Wait(double seconds) {
  if (pid_ <= 0) return -1;
  if (ended_) return status_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      ended_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

int ServeProcess::Stop(int signal) {
  if (pid_ <= 0) return -1;
  if (!ended_) kill(pid_, signal);
  return Wait(10);
}

std::string ServeProcess::Errors() const {
  std::ifstream file(errors_.path(), std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string RawReply::Header(const std::string& name) const {
  std::istringstream lines(head);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t colon = line.find(':');
    if (colon == std::string::npos || Lower(line.substr(0, colon)) != Lower(name)) continue;
    const size_t start = line.find_first_not_of(' ', colon + 1);
    return start == std::string::npos ? std::string() : line.substr(start);
  }
  return std::string();
}

bool RawReply::HasHeader(const std::string& name) const {
  return Lower(head).find("\r\n" + Lower(name) + ":") != std::string::npos;
}

RawReply SendRaw(uint16_t port, const std::string& request) {
  RawReply reply;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return reply;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string received;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    for (size_t sent = 0; sent < request.size();) {
      const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;  // the server may answer and close before the body is in
      sent += static_cast<size_t>(n);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (!Readable(fd, 100)) continue;
      char buffer[65536];
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      received.append(buffer, static_cast<size_t>(got));
    }
  }
  close(fd);
  const size_t end = received.find("\r\n\r\n");
  reply.head = received.substr(0, end == std::string::npos ? received.size() : end + 2);
  reply.body = end == std::string::npos ? std::string() : received.substr(end + 4);
  if (reply.head.compare(0, 9, "HTTP/1.1 ") == 0) reply.status = std::atoi(reply.head.c_str() + 9);
  return reply;
}

RawReply Post(uint16_t port, const std::string& path, const std::string& body,
              const std::vector<std::string>& headers) {
  std::string request = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
  for (const std::string& header : headers) request += header + "\r\n";
  request += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  return SendRaw(port, request);
}

RawReply Get(uint16_t port, const std::string& path, const std::string& method) {
  return SendRaw(port, method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                           "\r\nConnection: close\r\n\r\n");
}

}  // namespace varnel_test
