// The service descriptions that `varnel demo` runs on.
#pragma once

namespace varnel_tool {

// A binary light's SwitchPower service: SetTarget, GetTarget, GetStatus over
// the boolean variables Target and Status.
extern const char kSwitchPowerType[];
extern const char kSwitchPowerDescription[];

// A service with one variable of every data type (V_ui1, V_fixed_14_4, ...):
// SetValues takes one input of each, GetValues gives one output of each, and
// SetPercent takes a ui1 restricted to 0..100.
extern const char kDataTypesType[];
extern const char kDataTypesDescription[];

// The data types of kDataTypesDescription in its order, each with a value
// of that type as text.
struct SampleValue {
  const char* dataType;
  const char* text;
};
extern const SampleValue kSampleValues[];
extern const unsigned kSampleValueCount;

}  // namespace varnel_tool
