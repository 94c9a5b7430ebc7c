#include "device_answers.h"

#include "varnel/varnel.h"

namespace varnel_tool {

using varnel::host::DecodedMessage;
using varnel::host::NamedValue;
using varnel::host::Service;
using varnel::host::TextValue;
using varnel::host::UPnPError;

namespace {

const std::string* FindText(const std::vector<TextValue>& values, const std::string& name) {
  for (const TextValue& value : values) {
    if (value.name == name) return &value.text;
  }
  return nullptr;
}

const NamedValue* FindValue(const DecodedMessage& request, const std::string& name) {
  for (const NamedValue& value : request.values) {
    if (value.name == name) return &value;
  }
  return nullptr;
}

// True when the input holds the value `text` stands for: the same text, or
// the same value once `text` is read and written as a value of the input's
// variable ("07" matches a ui2 read from "7").
bool Holds(const Service& service, const NamedValue& input, const std::string& text) {
  if (input.text == text) return true;
  CComVariant typed;
  std::string written;
  return service.values().ParseValue(input.variable, text, &typed).ok() &&
         service.values().FormatValue(input.variable, typed, &written).ok() && written == input.text;
}

bool Matches(const Service& service, const AnswerRule& rule, const DecodedMessage& request) {
  for (const TextValue& wanted : rule.when) {
    const NamedValue* input = FindValue(request, wanted.name);
    if (!input || !Holds(service, *input, wanted.text)) return false;
  }
  return true;
}

DeviceAnswer Failed(const std::string& problem) {
  DeviceAnswer answer;
  answer.error = StandardError(501);
  answer.problem = problem;
  return answer;
}

}  // namespace

UPnPError StandardError(LONG code) { return UPnPError{code, varnel::host::StandardErrorDescription(code)}; }

std::optional<std::string> VariableValue(const Service& service, const ServiceBehaviour* behaviour,
                                         const std::string& variable) {
  if (behaviour) {
    const auto given = behaviour->variables.find(variable);
    if (given != behaviour->variables.end()) return given->second;
  }
  if (const varnel::host::StateVariable* declared = service.description().FindStateVariable(variable)) {
    return declared->defaultValue;
  }
  return std::nullopt;
}

DeviceAnswer AnswerAction(const Service& service, const ServiceBehaviour* behaviour, const DecodedMessage& request) {
  const varnel::host::Action* action = service.description().FindAction(request.name);
  if (!action) {
    DeviceAnswer answer;
    answer.error = StandardError(401);
    return answer;
  }
  const AnswerRule* rule = nullptr;
  if (behaviour) {
    const auto entry = behaviour->actions.find(request.name);
    if (entry != behaviour->actions.end()) {
      rule = &entry->second.rule;
      for (const AnswerRule& candidate : entry->second.cases) {
        if (Matches(service, candidate, request)) {
          rule = &candidate;
          break;
        }
      }
    }
  }
  DeviceAnswer answer;
  if (rule && rule->error) {
    answer.error = rule->error;
    return answer;
  }
  for (const varnel::host::Argument& output : action->outputs) {
    std::optional<std::string> text;
    const std::string* given = rule ? FindText(rule->outputs, output.name) : nullptr;
    const std::string* echoed = rule ? FindText(rule->echo, output.name) : nullptr;
    if (given) {
      text = *given;
    } else if (echoed) {
      const NamedValue* input = FindValue(request, *echoed);
      if (!input) return Failed("output " + output.name + " echoes " + *echoed + ", which the request lacks");
      text = input->text;
    } else {
      text = VariableValue(service, behaviour, output.relatedStateVariable);
    }
    if (!text) {
      return Failed("no value for output " + output.name + " (state variable " + output.relatedStateVariable +
                    " has none)");
    }
    answer.outputs.push_back({output.name, std::move(*text)});
  }
  return answer;
}

DeviceAnswer AnswerQuery(const Service& service, const ServiceBehaviour* behaviour, const std::string& variable) {
  std::optional<std::string> text = VariableValue(service, behaviour, variable);
  if (!text) return Failed("state variable " + variable + " has no value");
  DeviceAnswer answer;
  answer.outputs.push_back({variable, std::move(*text)});
  return answer;
}

UPnPError ErrorOfFailedRead(HRESULT code, const std::optional<UPnPError>& named, bool query) {
  if (named && (named->code == 402 || named->code == 600 || named->code == 601)) {
    UPnPError error = *named;
    if (error.description.empty()) error.description = varnel::host::StandardErrorDescription(error.code);
    return error;
  }
  if (code == ZeltCommonLib::InvalidMessage) return StandardError(402);
  if (query && (code == E_UNEXPECTED || code == E_POINTER)) return StandardError(404);
  return StandardError(501);
}

}  // namespace varnel_tool
