// What "allowedValueRange" and "defaultValue" declare for a numeric variable,
// in the converter's own value type.
#pragma once

namespace varnel {

template <class T>
struct RangeRestriction {
  T step{};
  T minimum{};
  T maximum{};
  T defaultValue{};
  bool hasStep = false;
  bool hasMinimum = false;
  bool hasMaximum = false;
  bool hasDefault = false;

  // Minimum and maximum, both inclusive; the step is its family's business.
  bool WithinBounds(T value) const {
    if (hasMinimum && minimum > value) return false;
    if (hasMaximum && value > maximum) return false;
    return true;
  }
};

}  // namespace varnel
