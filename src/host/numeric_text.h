// Whole-text checks of numeric values given as text. The library reads such
// values leniently (an integer stops at the first non-digit, a real at the
// first character that does not fit), which suits values from the wire; a
// value a person typed must be a number to its end.
#pragma once

#include <string_view>

namespace varnel {
namespace host {

enum class NumericCheck {
  kFine,        // a whole number, or not a numeric data type
  kBadInteger,  // not wholly a decimal integer within the type's own bounds
  kBadReal,     // not wholly a decimal number
};

// Checks `text` as a value of UPnP data type `dataType`.
NumericCheck CheckNumericText(std::string_view dataType, std::string_view text);

}  // namespace host
}  // namespace varnel
