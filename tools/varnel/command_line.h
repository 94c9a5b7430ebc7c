// The arguments of one command: its options ("--name VALUE", "--name=VALUE"
// or a flag) and its operands, in order. "--" ends the options; "-" is an
// operand.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "varnel/host/named_values.h"

namespace varnel_tool {

struct OptionSpec {
  const char* name;  // without the leading "--"
  bool takesValue;
};

class CommandLine {
 public:
  // Throws a usage ToolFailure for an unknown option, an option without its
  // value, a flag given a value, or an option given twice. "--help" and "-h"
  // are always known.
  CommandLine(const std::vector<std::string>& arguments, std::initializer_list<OptionSpec> specs);

  bool Has(const std::string& name) const { return options_.count(name) != 0; }
  // The option's value; throws a usage ToolFailure when it was not given.
  const std::string& Required(const std::string& name) const;
  std::string Optional(const std::string& name, const std::string& fallback) const;
  // The option as a positive whole number or number of seconds; throws a
  // usage ToolFailure for anything else.
  uint64_t Count(const std::string& name, uint64_t fallback) const;
  double Seconds(const std::string& name, double fallback) const;

  const std::vector<std::string>& operands() const { return operands_; }

 private:
  std::map<std::string, std::string> options_;
  std::vector<std::string> operands_;
};

// NAME=VALUE operands from `first` on, in order. Throws a usage ToolFailure
// for an operand without "=" or with an empty name.
std::vector<varnel::host::TextValue> NamedValueOperands(const std::vector<std::string>& operands, size_t first);

}  // namespace varnel_tool
