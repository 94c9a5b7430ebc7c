// varnel: reads and writes the SOAP messages of UPnP device control from the
// command line, over the host kit and the component library.
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "comrt/atl_exception.h"
#include "comrt/com_error.h"
#include "commands.h"
#include "help_text.h"
#include "http_client.h"
#include "tool_failure.h"

namespace {

using varnel_tool::ExitStatus;

int Dispatch(const std::string& command, const std::vector<std::string>& arguments) {
  if (command == "demo") return varnel_tool::RunDemo(arguments);
  if (command == "decode") return varnel_tool::RunDecode(arguments);
  if (command == "encode") return varnel_tool::RunEncode(arguments);
  if (command == "invoke") return varnel_tool::RunInvoke(arguments);
  if (command == "query") return varnel_tool::RunQuery(arguments);
  if (command == "serve") return varnel_tool::RunServe(arguments);
  if (command == "help") {
    if (arguments.empty()) {
      std::cout << varnel_tool::FullHelp();
      return varnel_tool::kExitSuccess;
    }
    const std::string help = varnel_tool::CommandHelp(arguments[0]);
    if (help.empty()) varnel_tool::UsageFailure("unknown command \"" + arguments[0] + "\"");
    std::cout << help;
    return varnel_tool::kExitSuccess;
  }
  varnel_tool::UsageFailure("unknown command \"" + command + "\" (see varnel --help)");
}

// One line on standard error, and the status to end with.
int Fail(const std::string& command, ExitStatus status, const std::string& line) {
  std::cerr << "varnel" << (command.empty() ? "" : " " + command) << ": " << line << std::endl;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty()) {
    return Fail("", varnel_tool::kExitUsage,
                varnel::host::Status(E_INVALIDARG, "give a command (see varnel --help)").ToString());
  }
  if (all[0] == "--help" || all[0] == "-h") {
    std::cout << varnel_tool::FullHelp();
    return varnel_tool::kExitSuccess;
  }
  if (all[0] == "--version" || all[0] == "-V") {
    std::cout << varnel_tool::VersionText() << "\n";
    return varnel_tool::kExitSuccess;
  }
  const std::string command = all[0];
  const std::vector<std::string> arguments(all.begin() + 1, all.end());
  varnel_tool::HttpGlobal http;
  try {
    const int status = Dispatch(command, arguments);
    std::cout.flush();
    return status;
  } catch (const varnel_tool::ToolFailure& failure) {
    return Fail(command, failure.status(), failure.what());
  } catch (const std::bad_alloc&) {
    return Fail(command, varnel_tool::kExitFailure, varnel::host::Status(E_OUTOFMEMORY, "out of memory").ToString());
  } catch (const CAtlException& failure) {
    return Fail(command, varnel_tool::kExitFailure, varnel::host::Status(failure.m_hr, "internal failure").ToString());
  } catch (const _com_error& failure) {
    return Fail(command, varnel_tool::kExitFailure,
                varnel::host::Status(failure.Error(), "internal failure").ToString());
  } catch (const std::exception& failure) {
    return Fail(command, varnel_tool::kExitFailure,
                varnel::host::Status(E_UNEXPECTED, std::string("internal failure: ") + failure.what()).ToString());
  }
}
