// The integer types "i1", "i2", "i4" (and "int"), "ui1", "ui2" and "ui4".
//
// Values are computed in 64 bits and narrowed to T by their low-order bits,
// so every value of every type reads and writes unchanged; the strict rule
// (requests) refuses what lies outside the type instead of narrowing it.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "comrt/com_error.h"
#include "comrt/conversions.h"
#include "datatypes/number_text.h"
#include "datatypes/range_restriction.h"
#include "datatypes/text_rules.h"
#include "datatypes/upnp_data_type.h"

namespace varnel {

// The variant type and field of each integer type.
template <class T>
struct IntegerVariant;
template <>
struct IntegerVariant<int8_t> {
  static constexpr VARTYPE kType = VT_I1;
  static void Store(VARIANT& v, int8_t value) { v.cVal = value; }
};
template <>
struct IntegerVariant<int16_t> {
  static constexpr VARTYPE kType = VT_I2;
  static void Store(VARIANT& v, int16_t value) { v.iVal = value; }
};
template <>
struct IntegerVariant<int32_t> {
  static constexpr VARTYPE kType = VT_I4;
  static void Store(VARIANT& v, int32_t value) { v.lVal = value; }
};
template <>
struct IntegerVariant<uint8_t> {
  static constexpr VARTYPE kType = VT_UI1;
  static void Store(VARIANT& v, uint8_t value) { v.bVal = value; }
};
template <>
struct IntegerVariant<uint16_t> {
  static constexpr VARTYPE kType = VT_UI2;
  static void Store(VARIANT& v, uint16_t value) { v.uiVal = value; }
};
template <>
struct IntegerVariant<uint32_t> {
  static constexpr VARTYPE kType = VT_UI4;
  static void Store(VARIANT& v, uint32_t value) { v.ulVal = value; }
};

}  // namespace varnel

template <class T, T Largest, T Smallest>
class CUPnPDataTypeInteger : public CUPnPDataType {
  static_assert(std::is_integral<T>::value && sizeof(T) <= 4, "the UPnP integer types are up to 32 bits");

 public:
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override {
    const int64_t read = strict ? varnel::ReadStrictInteger(text, Smallest, Largest) : varnel::ReadLenientInteger(text);
    const T value = varnel::NarrowToLowBits<T>(read);
    if (!IsAllowed(value)) throw E_INVALIDARG;
    CComVariant result;
    result.vt = varnel::IntegerVariant<T>::kType;
    varnel::IntegerVariant<T>::Store(result, value);
    return result;
  }

  // Any variant that converts to a 64-bit integer is written; the type's own
  // bounds are not checked, the variable's restrictions are (on the value
  // narrowed to T).
  std::u16string VariantToString(CComVariant value) const override {
    if (value.vt != VT_I8) {
      const HRESULT hr = VariantChangeType(&value, &value, 0, VT_I8);
      if (FAILED(hr)) _com_issue_error(hr);
    }
    const int64_t number = value.llVal;
    if (!IsAllowed(varnel::NarrowToLowBits<T>(number))) throw E_INVALIDARG;
    return varnel::WriteDecimal(number);
  }

  // Restriction texts read by the lenient rule. A zero step would make every
  // remainder undefined; it is taken as no step at all.
  void SetDefaultValue(std::u16string_view text) { Set(text, restriction_.defaultValue, restriction_.hasDefault); }
  void SetMinimum(std::u16string_view text) { Set(text, restriction_.minimum, restriction_.hasMinimum); }
  void SetMaximum(std::u16string_view text) { Set(text, restriction_.maximum, restriction_.hasMaximum); }
  void SetStep(std::u16string_view text) {
    const T step = varnel::NarrowToLowBits<T>(varnel::ReadLenientInteger(text));
    if (step == 0) return;
    restriction_.step = step;
    restriction_.hasStep = true;
  }

  // Step first (counted from zero), then minimum and maximum, inclusive. The
  // remainder is taken in 64 bits, where no value of T divided by any step
  // overflows (-2147483648 / -1 included).
  bool IsAllowed(T value) const {
    if (restriction_.hasStep && static_cast<int64_t>(value) % static_cast<int64_t>(restriction_.step) != 0) {
      return false;
    }
    return restriction_.WithinBounds(value);
  }

  const varnel::RangeRestriction<T>& Restriction() const { return restriction_; }

 private:
  static void Set(std::u16string_view text, T& target, bool& present) {
    target = varnel::NarrowToLowBits<T>(varnel::ReadLenientInteger(text));
    present = true;
  }

  varnel::RangeRestriction<T> restriction_;
};

using CUPnPDataTypeI1 = CUPnPDataTypeInteger<int8_t, 127, -128>;
using CUPnPDataTypeI2 = CUPnPDataTypeInteger<int16_t, 32767, -32768>;
using CUPnPDataTypeI4 = CUPnPDataTypeInteger<int32_t, 2147483647, (-2147483647 - 1)>;
using CUPnPDataTypeUI1 = CUPnPDataTypeInteger<uint8_t, 255, 0>;
using CUPnPDataTypeUI2 = CUPnPDataTypeInteger<uint16_t, 65535, 0>;
using CUPnPDataTypeUI4 = CUPnPDataTypeInteger<uint32_t, 4294967295u, 0>;
