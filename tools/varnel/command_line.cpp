#include "command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tool_failure.h"

namespace varnel_tool {

CommandLine::CommandLine(const std::vector<std::string>& arguments, std::initializer_list<OptionSpec> specs) {
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
      operands_.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "-h" || argument == "--help") {
      options_["help"];
      continue;
    }
    if (argument.compare(0, 2, "--") != 0) UsageFailure("unknown option " + argument);
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& known : specs) {
      if (name == known.name) spec = &known;
    }
    if (!spec) UsageFailure("unknown option --" + name);
    if (options_.count(name)) UsageFailure("option --" + name + " is given twice");
    std::string value;
    if (equals != std::string::npos) {
      if (!spec->takesValue) UsageFailure("option --" + name + " takes no value");
      value = argument.substr(equals + 1);
    } else if (spec->takesValue) {
      if (i + 1 == arguments.size()) UsageFailure("option --" + name + " needs a value");
      value = arguments[++i];
    }
    options_[name] = value;
  }
}

const std::string& CommandLine::Required(const std::string& name) const {
  const auto found = options_.find(name);
  if (found == options_.end()) UsageFailure("option --" + name + " is required");
  return found->second;
}

std::string CommandLine::Optional(const std::string& name, const std::string& fallback) const {
  const auto found = options_.find(name);
  return found == options_.end() ? fallback : found->second;
}

uint64_t CommandLine::Count(const std::string& name, uint64_t fallback) const {
  const auto found = options_.find(name);
  if (found == options_.end()) return fallback;
  const std::string& text = found->second;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno == ERANGE || value == 0) {
    UsageFailure("option --" + name + " needs a positive whole number, not \"" + text + "\"");
  }
  return value;
}

double CommandLine::Seconds(const std::string& name, double fallback) const {
  const auto found = options_.find(name);
  if (found == options_.end()) return fallback;
  const std::string& text = found->second;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0 || value > 86400) {
    UsageFailure("option --" + name + " needs a number of seconds above 0, not \"" + text + "\"");
  }
  return value;
}

std::vector<varnel::host::TextValue> NamedValueOperands(const std::vector<std::string>& operands, size_t first) {
  std::vector<varnel::host::TextValue> values;
  for (size_t i = first; i < operands.size(); ++i) {
    const size_t equals = operands[i].find('=');
    if (equals == std::string::npos || equals == 0) {
      UsageFailure("\"" + operands[i] + "\" is not NAME=VALUE");
    }
    values.push_back({operands[i].substr(0, equals), operands[i].substr(equals + 1)});
  }
  return values;
}

}  // namespace varnel_tool
