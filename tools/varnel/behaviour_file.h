// What a device hosted by `varnel serve` answers: a behaviour file, JSON,
// keyed by service type (tests/interop/README.md describes the format).
// Every value is text as it goes on the wire, before XML escaping.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "varnel/host/named_values.h"
#include "varnel/host/service_description.h"
#include "varnel/host/status.h"

namespace varnel_tool {

// One way of answering an action: a UPnP error, or output values given as
// text, echoed from inputs, or (for outputs named in neither) taken from the
// related state variables.
struct AnswerRule {
  std::vector<varnel::host::TextValue> when;     // input name and the text it must have (cases only)
  std::optional<varnel::host::UPnPError> error;  // description filled in from the code when not given
  std::vector<varnel::host::TextValue> outputs;  // output name and its value text
  std::vector<varnel::host::TextValue> echo;     // output name and the input it repeats
};

struct ActionBehaviour {
  AnswerRule rule;                // the action's own entry
  std::vector<AnswerRule> cases;  // tried first, in order
};

struct ServiceBehaviour {
  std::map<std::string, ActionBehaviour, std::less<>> actions;
  std::map<std::string, std::string, std::less<>> variables;  // QueryStateVariable values
};

class BehaviourFile {
 public:
  // A file that says nothing: every answer comes from the descriptions.
  BehaviourFile() = default;

  // Reads the file at `path`. Fails with E_INVALIDARG naming the first
  // problem: JSON that does not parse, a member of the wrong kind, a key
  // the format does not have, an error code that is not a whole number.
  static varnel::host::Status Load(const std::string& path, BehaviourFile* out);

  // The entry of `serviceType`; null when the file has none.
  const ServiceBehaviour* Find(std::string_view serviceType) const;
  const std::map<std::string, ServiceBehaviour, std::less<>>& services() const noexcept { return services_; }

 private:
  std::map<std::string, ServiceBehaviour, std::less<>> services_;
};

// The names in `behaviour` that `description` lacks: actions, inputs named
// by `when` and `echo`, outputs named by `outputs` and `echo`, state
// variables. One text per problem; empty when all is known.
std::vector<std::string> UnknownNames(const ServiceBehaviour& behaviour,
                                      const varnel::host::ServiceDescription& description);

}  // namespace varnel_tool
