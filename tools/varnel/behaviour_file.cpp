#include "behaviour_file.h"

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <cerrno>
#include <cstdlib>
#include <set>
#include <utility>

namespace varnel_tool {

using boost::property_tree::ptree;
using varnel::host::Status;
using varnel::host::TextValue;
using varnel::host::UPnPError;

namespace {

// A problem in the file: the path of the member ("services/TYPE/actions/X")
// and what is wrong with it.
struct Refusal {
  std::string text;
};

[[noreturn]] void Refuse(const std::string& where, const std::string& what) { throw Refusal{where + ": " + what}; }

// In the tree JSON reads into, an object and an array are nodes with
// children (named for an object, unnamed for an array), a string or number
// a node with data and no children; {} and [] are empty nodes.
bool IsEmpty(const ptree& node) { return node.empty() && node.data().empty(); }

void RequireObject(const ptree& node, const std::string& where) {
  if (IsEmpty(node)) return;
  if (node.empty()) Refuse(where, "is not a JSON object");
  for (const auto& member : node) {
    if (member.first.empty()) Refuse(where, "is not a JSON object");
  }
}

void RequireArray(const ptree& node, const std::string& where) {
  if (IsEmpty(node)) return;
  if (node.empty()) Refuse(where, "is not a JSON array");
  for (const auto& member : node) {
    if (!member.first.empty()) Refuse(where, "is not a JSON array");
  }
}

const std::string& RequireText(const ptree& node, const std::string& where) {
  if (!node.empty()) Refuse(where, "is not a JSON string");
  return node.data();
}

void RequireKeys(const ptree& node, const std::string& where, std::initializer_list<const char*> keys) {
  std::set<std::string> seen;
  for (const auto& member : node) {
    bool known = false;
    for (const char* key : keys) known = known || member.first == key;
    if (!known) Refuse(where, "has no member \"" + member.first + "\" in a behaviour file");
    if (!seen.insert(member.first).second) Refuse(where, "gives \"" + member.first + "\" twice");
  }
}

// {"NAME": "text", ...} in file order.
std::vector<TextValue> TextMembers(const ptree& node, const std::string& where) {
  RequireObject(node, where);
  std::vector<TextValue> values;
  for (const auto& member : node) {
    for (const TextValue& earlier : values) {
      if (earlier.name == member.first) Refuse(where, "gives \"" + member.first + "\" twice");
    }
    values.push_back({member.first, RequireText(member.second, where + "/" + member.first)});
  }
  return values;
}

UPnPError ReadError(const ptree& node, const std::string& where) {
  RequireObject(node, where);
  RequireKeys(node, where, {"code", "description"});
  const auto code = node.find("code");
  if (code == node.not_found()) Refuse(where, "has no \"code\"");
  const std::string& text = RequireText(code->second, where + "/code");
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || value <= 0 || value > 0x7fffffffL) {
    Refuse(where + "/code", "\"" + text + "\" is not a positive whole number");
  }
  UPnPError error;
  error.code = static_cast<LONG>(value);
  const auto description = node.find("description");
  error.description = description != node.not_found()
                          ? RequireText(description->second, where + "/description")
                          : varnel::host::StandardErrorDescription(error.code);
  return error;
}

AnswerRule ReadRule(const ptree& node, const std::string& where, bool isCase) {
  RequireObject(node, where);
  if (isCase) {
    RequireKeys(node, where, {"when", "outputs", "echo", "error"});
  } else {
    RequireKeys(node, where, {"cases", "outputs", "echo", "error"});
  }
  AnswerRule rule;
  for (const auto& member : node) {
    const std::string at = where + "/" + member.first;
    if (member.first == "when") rule.when = TextMembers(member.second, at);
    if (member.first == "outputs") rule.outputs = TextMembers(member.second, at);
    if (member.first == "echo") rule.echo = TextMembers(member.second, at);
    if (member.first == "error") rule.error = ReadError(member.second, at);
  }
  return rule;
}

ActionBehaviour ReadAction(const ptree& node, const std::string& where) {
  ActionBehaviour action;
  action.rule = ReadRule(node, where, false);
  const auto cases = node.find("cases");
  if (cases != node.not_found()) {
    RequireArray(cases->second, where + "/cases");
    size_t index = 0;
    for (const auto& entry : cases->second) {
      action.cases.push_back(ReadRule(entry.second, where + "/cases/" + std::to_string(index++), true));
    }
  }
  return action;
}

ServiceBehaviour ReadService(const ptree& node, const std::string& where) {
  RequireObject(node, where);
  RequireKeys(node, where, {"actions", "variables"});
  ServiceBehaviour service;
  const auto actions = node.find("actions");
  if (actions != node.not_found()) {
    RequireObject(actions->second, where + "/actions");
    for (const auto& action : actions->second) {
      const std::string at = where + "/actions/" + action.first;
      if (!service.actions.emplace(action.first, ReadAction(action.second, at)).second) {
        Refuse(where + "/actions", "gives \"" + action.first + "\" twice");
      }
    }
  }
  const auto variables = node.find("variables");
  if (variables != node.not_found()) {
    for (TextValue& variable : TextMembers(variables->second, where + "/variables")) {
      service.variables.emplace(std::move(variable.name), std::move(variable.text));
    }
  }
  return service;
}

bool HasArgument(const std::vector<varnel::host::Argument>& arguments, const std::string& name) {
  for (const varnel::host::Argument& argument : arguments) {
    if (argument.name == name) return true;
  }
  return false;
}

}  // namespace

Status BehaviourFile::Load(const std::string& path, BehaviourFile* out) {
  ptree root;
  try {
    boost::property_tree::read_json(path, root);
  } catch (const boost::property_tree::json_parser_error& failure) {
    const std::string where = failure.line() ? " (line " + std::to_string(failure.line()) + ")" : std::string();
    return Status(E_INVALIDARG, "cannot read the behaviour file " + path + ": " + failure.message() + where);
  }
  BehaviourFile file;
  try {
    RequireObject(root, "the behaviour file");
    RequireKeys(root, "the behaviour file", {"services"});
    const auto services = root.find("services");
    if (services != root.not_found()) {
      RequireObject(services->second, "services");
      for (const auto& service : services->second) {
        if (!file.services_.emplace(service.first, ReadService(service.second, "services/" + service.first)).second) {
          Refuse("services", "gives \"" + service.first + "\" twice");
        }
      }
    }
  } catch (const Refusal& refusal) {
    return Status(E_INVALIDARG, "the behaviour file " + path + ": " + refusal.text);
  }
  *out = std::move(file);
  return Status();
}

const ServiceBehaviour* BehaviourFile::Find(std::string_view serviceType) const {
  const auto found = services_.find(serviceType);
  return found == services_.end() ? nullptr : &found->second;
}

std::vector<std::string> UnknownNames(const ServiceBehaviour& behaviour,
                                      const varnel::host::ServiceDescription& description) {
  std::vector<std::string> problems;
  for (const auto& [name, action] : behaviour.actions) {
    const varnel::host::Action* declared = description.FindAction(name);
    if (!declared) {
      problems.push_back("unknown action " + name);
      continue;
    }
    std::vector<const AnswerRule*> rules = {&action.rule};
    for (const AnswerRule& entry : action.cases) rules.push_back(&entry);
    for (const AnswerRule* rule : rules) {
      for (const TextValue& input : rule->when) {
        if (!HasArgument(declared->inputs, input.name)) problems.push_back(name + ": \"when\" names " + input.name + ", not an input");
      }
      for (const TextValue& output : rule->outputs) {
        if (!HasArgument(declared->outputs, output.name)) problems.push_back(name + ": \"outputs\" names " + output.name + ", not an output");
      }
      for (const TextValue& echo : rule->echo) {
        if (!HasArgument(declared->outputs, echo.name) || !HasArgument(declared->inputs, echo.text)) {
          problems.push_back(name + ": \"echo\" " + echo.name + " from " + echo.text + " does not match its arguments");
        }
      }
    }
  }
  for (const auto& [name, value] : behaviour.variables) {
    if (!description.FindStateVariable(name)) problems.push_back("unknown state variable " + name);
  }
  return problems;
}

}  // namespace varnel_tool
