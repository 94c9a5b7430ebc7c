// A read-only view of a service description (SCPD): its actions in document
// order with their input and output arguments, and its state variables with
// their data types and restrictions, so that a host never parses the
// description itself. The view also keeps the DOM document, with the "scpd"
// prefix bound for selection, ready for the library's LoadServiceDescription.
//
// Names and texts are UTF-8. As the library does, a nameless action is
// skipped, and of two actions or state variables with one name the first is
// kept.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/xml_dom.h"
#include "varnel/host/export.h"
#include "varnel/host/status.h"

namespace varnel {
namespace host {

// The UPnP service namespace that the "scpd" prefix is bound to.
inline constexpr char kServiceNamespace[] = "urn:schemas-upnp-org:service-1-0";

struct Argument {
  std::string name;
  std::string relatedStateVariable;
  // The related state variable's data type; empty when the description
  // declares no such variable.
  std::string dataType;
};

struct Action {
  std::string name;
  std::vector<Argument> inputs;   // direction "in", in document order
  std::vector<Argument> outputs;  // direction "out", in document order
};

// Each bound as written in "allowedValueRange"; absent when not given.
struct ValueRange {
  std::optional<std::string> minimum;
  std::optional<std::string> maximum;
  std::optional<std::string> step;
};

struct StateVariable {
  std::string name;
  std::string dataType;
  bool sendEvents = true;  // "sendEvents" attribute, "yes" when absent
  std::optional<std::string> defaultValue;
  std::vector<std::string> allowedValues;  // "allowedValueList", in order
  std::optional<ValueRange> range;         // "allowedValueRange"
};

class VARNEL_HOST_API ServiceDescription {
 public:
  // An empty view: no actions, no variables, no document.
  ServiceDescription() = default;

  // Loads the description in the file at `path`. The DOM's parse-error code
  // (the file's own for a missing or unreadable file), or E_INVALIDARG for a
  // document that is not an "scpd" element in kServiceNamespace.
  static Status LoadFile(const std::string& path, ServiceDescription* out);
  // As LoadFile, from UTF-8 text.
  static Status LoadText(std::string_view text, ServiceDescription* out);
  // As LoadFile, from a loaded DOM document (referenced, not copied). Binds
  // the "scpd" prefix in its "SelectionNamespaces" unless already bound.
  static Status FromDocument(IXMLDOMDocument2* document, ServiceDescription* out);

  const std::vector<Action>& Actions() const noexcept { return actions_; }
  const std::vector<StateVariable>& StateVariables() const noexcept { return variables_; }
  // Exact, case-sensitive lookups; null when absent.
  const Action* FindAction(std::string_view name) const noexcept;
  const StateVariable* FindStateVariable(std::string_view name) const noexcept;

  // The document (null for an empty view), and the same as the variant that
  // LoadServiceDescription takes.
  IXMLDOMDocument2* Document() const noexcept { return document_; }
  CComVariant DocumentVariant() const;

 private:
  CComPtr<IXMLDOMDocument2> document_;
  std::vector<Action> actions_;
  std::vector<StateVariable> variables_;
};

}  // namespace host
}  // namespace varnel
