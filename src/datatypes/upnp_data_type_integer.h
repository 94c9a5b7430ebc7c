// The integer types "i1", "i2", "i4" (and "int"), "i8", "ui1", "ui2", "ui4"
// and "ui8".
//
// Values are computed in 64 bits (unsigned for "ui8", signed for the others)
// and narrowed to T by their low-order bits, so every value of every type
// reads and writes unchanged; the strict rule (requests) refuses what lies
// outside the type instead of narrowing it.
#pragma once

#include <cstdint>
#include <limits>
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
struct IntegerVariant<int64_t> {
  static constexpr VARTYPE kType = VT_I8;
  static void Store(VARIANT& v, int64_t value) { v.llVal = value; }
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
template <>
struct IntegerVariant<uint64_t> {
  static constexpr VARTYPE kType = VT_UI8;
  static void Store(VARIANT& v, uint64_t value) { v.ullVal = value; }
};

// The arithmetic in which an integer type reads, checks and writes: signed 64
// bits for every type but "ui8", whose upper half only unsigned 64 bits hold.
// Restriction values of T widen into it unchanged, and so do the values that
// writing is given, whatever T they would narrow to.
template <class T>
struct IntegerArithmetic {
  using Wide = int64_t;
  static constexpr VARTYPE kWritten = VT_I8;
  static Wide ReadLenient(std::u16string_view text) { return ReadLenientInteger(text); }
  static Wide ReadStrict(std::u16string_view text, T smallest, T largest) {
    return ReadStrictInteger(text, smallest, largest);
  }
  static Wide WrittenValue(const VARIANT& v) { return v.llVal; }
  static std::u16string Write(Wide value) { return WriteDecimal(value); }
  // Every integer is a multiple of -1; the machine's remainder of the
  // smallest 64-bit value by -1 overflows, so it is never asked.
  static bool IsMultiple(Wide value, Wide step) { return step == -1 || value % step == 0; }
};
template <>
struct IntegerArithmetic<uint64_t> {
  using Wide = uint64_t;
  static constexpr VARTYPE kWritten = VT_UI8;
  static Wide ReadLenient(std::u16string_view text) { return ReadLenientUnsigned(text); }
  static Wide ReadStrict(std::u16string_view text, uint64_t, uint64_t) { return ReadStrictUnsigned(text); }
  static Wide WrittenValue(const VARIANT& v) { return v.ullVal; }
  static std::u16string Write(Wide value) { return WriteUnsignedDecimal(value); }
  static bool IsMultiple(Wide value, Wide step) { return value % step == 0; }
};

}  // namespace varnel

template <class T, T Largest, T Smallest>
class CUPnPDataTypeInteger : public CUPnPDataType {
  static_assert(std::is_integral<T>::value && sizeof(T) <= 8, "the UPnP integer types are up to 64 bits");
  static_assert(!std::is_same<T, uint64_t>::value ||
                    (Smallest == 0 && Largest == std::numeric_limits<uint64_t>::max()),
                "the unsigned 64-bit rules know the whole range only");
  using Arithmetic = varnel::IntegerArithmetic<T>;
  using Wide = typename Arithmetic::Wide;

 public:
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override {
    const T value = Read(text, strict);
    if (!IsAllowed(value)) throw E_INVALIDARG;
    CComVariant result;
    result.vt = varnel::IntegerVariant<T>::kType;
    varnel::IntegerVariant<T>::Store(result, value);
    return result;
  }

  // Any variant that converts to a 64-bit integer (unsigned for "ui8", so a
  // negative value fails there with the conversion's DISP_E_OVERFLOW) is
  // written. The type's own bounds are not checked; the variable's
  // restrictions are, on the value as written, not narrowed to T.
  std::u16string VariantToString(CComVariant value) const override {
    if (value.vt != Arithmetic::kWritten) {
      const HRESULT hr = VariantChangeType(&value, &value, 0, Arithmetic::kWritten);
      if (FAILED(hr)) _com_issue_error(hr);
    }
    const Wide number = Arithmetic::WrittenValue(value);
    if (!IsWithinRestrictions(number)) throw E_INVALIDARG;
    return Arithmetic::Write(number);
  }

  bool IsOutOfRange(std::u16string_view text, bool strict) const noexcept override {
    try {
      return !IsAllowed(Read(text, strict));
    } catch (...) {
      return false;  // no value of the type
    }
  }

  // Restriction texts read by the lenient rule. A zero step would make every
  // remainder undefined; it is taken as no step at all.
  void SetDefaultValue(std::u16string_view text) { Set(text, restriction_.defaultValue, restriction_.hasDefault); }
  void SetMinimum(std::u16string_view text) { Set(text, restriction_.minimum, restriction_.hasMinimum); }
  void SetMaximum(std::u16string_view text) { Set(text, restriction_.maximum, restriction_.hasMaximum); }
  void SetStep(std::u16string_view text) {
    const T step = varnel::NarrowToLowBits<T>(Arithmetic::ReadLenient(text));
    if (step == 0) return;
    restriction_.step = step;
    restriction_.hasStep = true;
  }

  bool IsAllowed(T value) const { return IsWithinRestrictions(static_cast<Wide>(value)); }

  // Step first (counted from zero), then minimum and maximum, inclusive, all
  // in the wide arithmetic: a written value need not fit T, and narrowing it
  // first would let 65541 pass a range of -10 to 10 on "i2" as 5.
  bool IsWithinRestrictions(Wide value) const {
    if (restriction_.hasStep && !Arithmetic::IsMultiple(value, static_cast<Wide>(restriction_.step))) return false;
    if (restriction_.hasMinimum && value < static_cast<Wide>(restriction_.minimum)) return false;
    if (restriction_.hasMaximum && value > static_cast<Wide>(restriction_.maximum)) return false;
    return true;
  }

  const varnel::RangeRestriction<T>& Restriction() const { return restriction_; }

 private:
  static T Read(std::u16string_view text, bool strict) {
    const Wide read = strict ? Arithmetic::ReadStrict(text, Smallest, Largest) : Arithmetic::ReadLenient(text);
    return varnel::NarrowToLowBits<T>(read);
  }

  static void Set(std::u16string_view text, T& target, bool& present) {
    target = varnel::NarrowToLowBits<T>(Arithmetic::ReadLenient(text));
    present = true;
  }

  varnel::RangeRestriction<T> restriction_;
};

using CUPnPDataTypeI1 = CUPnPDataTypeInteger<int8_t, 127, -128>;
using CUPnPDataTypeI2 = CUPnPDataTypeInteger<int16_t, 32767, -32768>;
using CUPnPDataTypeI4 = CUPnPDataTypeInteger<int32_t, 2147483647, (-2147483647 - 1)>;
using CUPnPDataTypeI8 = CUPnPDataTypeInteger<int64_t, std::numeric_limits<int64_t>::max(),
                                             std::numeric_limits<int64_t>::min()>;
using CUPnPDataTypeUI1 = CUPnPDataTypeInteger<uint8_t, 255, 0>;
using CUPnPDataTypeUI2 = CUPnPDataTypeInteger<uint16_t, 65535, 0>;
using CUPnPDataTypeUI4 = CUPnPDataTypeInteger<uint32_t, 4294967295u, 0>;
using CUPnPDataTypeUI8 = CUPnPDataTypeInteger<uint64_t, std::numeric_limits<uint64_t>::max(), 0>;
