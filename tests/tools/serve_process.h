// `varnel serve` run as a separate process for the tests, a folder of
// files to serve, and an HTTP client that sends requests byte for byte
// (so that headers can be left out or set to anything).
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "tool_run.h"

namespace varnel_test {

// A temporary folder, removed with the object.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& path() const { return path_; }
  // Writes `text` to the file `name` in the folder; its full path.
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

class ServeProcess {
 public:
  // Runs `varnel serve` with `arguments` and waits up to 20 s for the first
  // line of its standard output.
  explicit ServeProcess(const std::vector<std::string>& arguments);
  // Kills the process if it still runs.
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  // The first line printed (the description URL); empty when none came.
  const std::string& url() const { return url_; }
  // The port of url(); 0 when there is none.
  uint16_t port() const;
  // Sends `signal` and waits up to 10 s; the exit status, -1 when the
  // process did not exit normally in time.
  int Stop(int signal = SIGTERM);
  // Waits up to `seconds` for the process to end by itself; its exit
  // status, or -1.
  int Wait(double seconds);
  // What it wrote to standard error so far.
  std::string Errors() const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  bool ended_ = false;
  int output_ = -1;  // read end of its standard output
  std::string url_;
  TemporaryFile errors_{""};
};

struct RawReply {
  int status = 0;    // 0: no status line came
  std::string head;  // the status line and headers
  std::string body;
  // The value of header `name` (ASCII case ignored); empty when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

// Sends `request` as it is to 127.0.0.1:`port` and reads the answer to the
// end of the connection (or 10 s).
RawReply SendRaw(uint16_t port, const std::string& request);

// A POST of `body` to `path` with the header lines `headers` ("Name:
// value"), a Host of 127.0.0.1:port, Content-Length and Connection: close.
RawReply Post(uint16_t port, const std::string& path, const std::string& body,
              const std::vector<std::string>& headers);

// A GET (or HEAD) of `path`.
RawReply Get(uint16_t port, const std::string& path, const std::string& method = "GET");

}  // namespace varnel_test
