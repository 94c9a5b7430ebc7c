// Making the converter of a state variable from its service description.
#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "datatypes/upnp_data_type.h"

// Makes the converter for `dataType` (matched whole and case-sensitively:
// "i1", "i2", "i4", "ui1", "ui2", "ui4", "int", "r4", "r8", "float",
// "fixed.14.4", "number", "char", "string", "uri", "uuid", "boolean", "date",
// "dateTime", "dateTime.tz", "time", "time.tz", "i8", "ui8", "bin.base64",
// "bin.hex") and gives it the variable's name and restrictions; an empty text
// means "not given". Numeric types take the default and the range, "char"
// and the string types the default and the allowed values, the others (the
// date and binary types and "boolean") the default only. Returns an empty pointer for
// any other data type. Throws E_INVALIDARG for an empty name, a boolean
// default that is no boolean spelling, or a char default or allowed value that
// is not one character.
boost::shared_ptr<CUPnPDataType> CreateUPnPDataType(const std::u16string& dataType, const std::u16string& name,
                                                    const std::u16string& defaultValue,
                                                    const std::u16string& minimum, const std::u16string& maximum,
                                                    const std::u16string& step,
                                                    const std::vector<std::u16string>& allowedValues);
