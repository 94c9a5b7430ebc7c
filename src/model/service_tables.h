// The two tables that a service description fills: actions by name and
// state-variable converters by name. Ordered by name (code-unit order); the
// first entry of a name stays.
#pragma once

#include <functional>
#include <map>
#include <string>

#include <boost/shared_ptr.hpp>

#include "model/upnp_action.h"

class CUPnPDataType;

// An empty converter pointer marks a variable whose data type has no converter.
// Both are searched by any string type (std::less<>), a view included.
using ActionTable = std::map<std::u16string, boost::shared_ptr<CUPnPAction>, std::less<>>;
using DataTypeTable = std::map<std::u16string, boost::shared_ptr<CUPnPDataType>, std::less<>>;

// Points every argument of `actions` at its related state variable's entry
// in `dataTypes` (or at none), so that reading a message looks no name up.
// Called after every change of either table. Never fails.
void ResolveStateVariables(const ActionTable& actions, const DataTypeTable& dataTypes) noexcept;
