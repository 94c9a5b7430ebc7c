// How the commands end: an exit status and, on failure, the one line that
// standard error gets.
#pragma once

#include <stdexcept>
#include <string>

#include "varnel/host/status.h"

namespace varnel_tool {

// The exit statuses of `varnel`, as its help lists them.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitFailure = 1,    // the tool itself failed: library not loadable, a demo step went wrong
  kExitUsage = 2,      // unknown subcommand or option, missing or malformed operand
  kExitBadInput = 3,   // a file, description, name, value or body that is refused
  kExitUPnPFault = 4,  // the device answered with a UPnP error
  kExitTransport = 5,  // no answer, an HTTP error, an answer that is not SOAP or too long
};

// Thrown by a command to end with `status`; `line` is printed after the
// command's name: "varnel decode: <line>".
class ToolFailure : public std::runtime_error {
 public:
  ToolFailure(ExitStatus status, const std::string& line) : std::runtime_error(line), status_(status) {}
  ExitStatus status() const noexcept { return status_; }

 private:
  ExitStatus status_;
};

// Throws ToolFailure(status, status.ToString()) for a failed kit status.
inline void Require(const varnel::host::Status& status, ExitStatus exitStatus) {
  if (!status.ok()) throw ToolFailure(exitStatus, status.ToString());
}

// A usage failure: the problem, and E_INVALIDARG with its text.
[[noreturn]] inline void UsageFailure(const std::string& problem) {
  throw ToolFailure(kExitUsage, varnel::host::Status(E_INVALIDARG, problem).ToString());
}

}  // namespace varnel_tool
