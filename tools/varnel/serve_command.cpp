// varnel serve: hosts a device from a folder over HTTP on 127.0.0.1, its
// control URLs answered through the library, until a signal or a timeout.
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>

#include "command_line.h"
#include "commands.h"
#include "device_folder.h"
#include "help_text.h"
#include "http_server.h"
#include "serve_routes.h"
#include "tool_failure.h"

namespace varnel_tool {

using varnel::host::Status;

namespace {

constexpr uint64_t kDefaultMaxRequest = 1024 * 1024;

// `text` with control characters shown as '?', so that what a peer sends
// never breaks a log line.
std::string Printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return shown;
}

void LogLine(const std::string& text) {
  const std::string line = "varnel serve: " + Printable(text) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

// SIGINT and SIGTERM, blocked on this thread (and so on every thread it
// starts) for as long as the object lives, and taken by Wait.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
  }
  ~StopSignals() {
    // A signal that came after the wait ended is taken here, not delivered.
    timespec none{0, 0};
    while (sigtimedwait(&set_, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Waits for a signal, or `seconds` when above 0; the signal taken, or 0
  // when the time ran out.
  int Wait(double seconds) {
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double whole = std::floor(seconds);
    end.tv_sec += static_cast<time_t>(whole);
    end.tv_nsec += static_cast<long>((seconds - whole) * 1e9);
    if (end.tv_nsec >= 1000000000L) {
      end.tv_sec += 1;
      end.tv_nsec -= 1000000000L;
    }
    for (;;) {
      if (seconds <= 0) {
        int taken = 0;
        if (sigwait(&set_, &taken) == 0) return taken;
        continue;
      }
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      timespec left{end.tv_sec - now.tv_sec, end.tv_nsec - now.tv_nsec};
      if (left.tv_nsec < 0) {
        left.tv_sec -= 1;
        left.tv_nsec += 1000000000L;
      }
      if (left.tv_sec < 0) return 0;
      const int taken = sigtimedwait(&set_, nullptr, &left);
      if (taken > 0) return taken;
      if (errno == EAGAIN) return 0;
    }
  }

 private:
  sigset_t set_;
  sigset_t previous_;
};

uint16_t PortOption(const CommandLine& line) {
  if (!line.Has("port")) return 0;
  const uint64_t port = line.Count("port", 0);
  if (port > 65535) UsageFailure("option --port needs a port number up to 65535, not " + std::to_string(port));
  return static_cast<uint16_t>(port);
}

}  // namespace

int RunServe(const std::vector<std::string>& arguments) {
  const CommandLine line(arguments, {{"description", true},
                                     {"behaviour", true},
                                     {"port", true},
                                     {"max-request", true},
                                     {"timeout", true},
                                     {"log", false}});
  if (line.Has("help")) {
    std::cout << CommandHelp("serve");
    return kExitSuccess;
  }
  if (line.operands().size() != 1) UsageFailure("give the FOLDER of the device to serve");
  const std::string& folder = line.operands()[0];
  HttpServerOptions options;
  options.port = PortOption(line);
  options.maxRequestBody = line.Count("max-request", kDefaultMaxRequest);
  const double timeout = line.Seconds("timeout", 0);
  const bool log = line.Has("log");

  BehaviourFile behaviour;
  if (line.Has("behaviour")) Require(BehaviourFile::Load(line.Required("behaviour"), &behaviour), kExitBadInput);
  DeviceFolder device;
  const Status loaded = DeviceFolder::Load(folder, line.Optional("description", ""), std::move(behaviour), &device);
  if (!loaded.ok()) {
    const bool libraryMissing = loaded.code() == CO_E_DLLNOTFOUND || loaded.code() == CO_E_ERRORINDLL ||
                                loaded.code() == CLASS_E_CLASSNOTAVAILABLE;
    Require(loaded, libraryMissing ? kExitFailure : kExitBadInput);
  }

  StopSignals stops;
  signal(SIGPIPE, SIG_IGN);
  std::atomic<uint16_t> port{options.port};
  const uint64_t maxRequest = options.maxRequestBody;
  HttpExchangeLog exchanges;
  HttpProblemLog problems;
  if (log) {
    exchanges = [](const HttpRequest& request, const HttpReply& reply) {
      LogLine(request.peer + " " + request.method + " " + request.path + " " + std::to_string(reply.status) + " " +
              reply.summary);
    };
    problems = &LogLine;
  }
  std::unique_ptr<HttpServer> server;
  Require(HttpServer::Start(
              options,
              [&device, &port, maxRequest](const HttpRequest& request) {
                return Route(device, port.load(), maxRequest, request);
              },
              exchanges, problems, &server),
          kExitTransport);
  port = server->port();

  const std::string url = "http://127.0.0.1:" + std::to_string(server->port()) + device.descriptionPath();
  std::cout << url << std::endl;
  if (!std::cout) Require(Status(STG_E_WRITEFAULT, "cannot print the description URL"), kExitFailure);
  if (log) {
    LogLine("serving " + url + " with " + std::to_string(device.services().size()) + " service(s)" +
            (timeout > 0 ? " for at most " + std::to_string(static_cast<long long>(std::ceil(timeout))) + " s"
                         : std::string()));
  }
  const int taken = stops.Wait(timeout);
  server.reset();
  if (log) LogLine(taken == 0 ? "stopped: the time ran out" : taken == SIGINT ? "stopped by SIGINT" : "stopped by SIGTERM");
  return kExitSuccess;
}

}  // namespace varnel_tool
