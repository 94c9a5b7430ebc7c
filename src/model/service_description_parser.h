// Reads a service description (SCPD), already parsed into a DOM document by
// the caller, into the action table and the state-variable converter table.
#pragma once

#include "comrt/variant.h"
#include "model/service_tables.h"

// Stateless; made on the stack for one load. The document's selection
// namespaces must bind the prefix "scpd" to the service description
// namespace. Every method throws: a plain HRESULT for what the description
// gets wrong, a _com_error for a failing DOM call. Entries added before a
// failure stay in the tables; a name already present keeps its first entry.
class CServiceDescriptionParser {
 public:
  // Actions, then (when they loaded) state variables; then, failed or not,
  // ResolveStateVariables over both tables.
  void Parse(const VARIANT& document, ActionTable& actions, DataTypeTable& dataTypes) const;
  // E_INVALIDARG for a variant that is not exactly an interface or dispatch
  // pointer, or for an empty action, argument or variable name; E_UNEXPECTED
  // for an argument without the direction "in" or "out"; E_POINTER when the
  // variant holds no DOM document.
  void ParseActions(const VARIANT& document, ActionTable& actions) const;
  // As ParseActions; a data type outside the known ones gives an empty
  // converter, and a converter that refuses its default or allowed values
  // ends the load with its code.
  void ParseStateVariables(const VARIANT& document, DataTypeTable& dataTypes) const;
};
