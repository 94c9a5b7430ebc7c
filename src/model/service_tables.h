// The two tables that a service description fills: actions by name and
// state-variable converters by name. Ordered by name (code-unit order); the
// first entry of a name stays.
#pragma once

#include <map>
#include <string>

#include <boost/shared_ptr.hpp>

#include "model/upnp_action.h"

class CUPnPDataType;

// An empty converter pointer marks a variable whose data type has no converter.
using ActionTable = std::map<std::u16string, boost::shared_ptr<CUPnPAction>>;
using DataTypeTable = std::map<std::u16string, boost::shared_ptr<CUPnPDataType>>;
