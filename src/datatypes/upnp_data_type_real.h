// The real types "r4", "float" and "r8", the decimal text type "number", and
// the fixed-point type "fixed.14.4".
#pragma once

#include <string>

#include "datatypes/range_restriction.h"
#include "datatypes/upnp_data_type.h"

namespace varnel {

// Which UPnP type a real converter stands for; "r4" and "float" behave alike
// but are distinct classes.
enum class RealKind { kR4, kFloat, kR8 };

template <RealKind Kind>
struct RealTraits {
  using Value = float;
  static constexpr VARTYPE kType = VT_R4;
};
template <>
struct RealTraits<RealKind::kR8> {
  using Value = double;
  static constexpr VARTYPE kType = VT_R8;
};

// The restriction setters and checks of the reals, "number" and
// "fixed.14.4": texts read by the real rule (in the value's precision), the
// step kept but never checked.
template <class Real>
class RealRange {
 public:
  void SetDefaultValue(std::u16string_view text);
  void SetMinimum(std::u16string_view text);
  void SetMaximum(std::u16string_view text);
  void SetStep(std::u16string_view text);
  bool IsAllowed(Real value) const { return restriction_.WithinBounds(value); }
  const RangeRestriction<Real>& Restriction() const { return restriction_; }

 private:
  RangeRestriction<Real> restriction_;
};

extern template class RealRange<float>;
extern template class RealRange<double>;

}  // namespace varnel

template <varnel::RealKind Kind>
class CUPnPDataTypeReal : public CUPnPDataType, public varnel::RealRange<typename varnel::RealTraits<Kind>::Value> {
  using Real = typename varnel::RealTraits<Kind>::Value;

 public:
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override;
  std::u16string VariantToString(CComVariant value) const override;
  // Every text reads as a real, so only the range decides.
  bool IsOutOfRange(std::u16string_view text, bool strict) const noexcept override;
};

using CUPnPDataTypeR4 = CUPnPDataTypeReal<varnel::RealKind::kR4>;
using CUPnPDataTypeFloat = CUPnPDataTypeReal<varnel::RealKind::kFloat>;
using CUPnPDataTypeR8 = CUPnPDataTypeReal<varnel::RealKind::kR8>;

extern template class CUPnPDataTypeReal<varnel::RealKind::kR4>;
extern template class CUPnPDataTypeReal<varnel::RealKind::kFloat>;
extern template class CUPnPDataTypeReal<varnel::RealKind::kR8>;

// "number": the value stays the text it was given (VT_BSTR); its number is read
// only to check the range, and is what gets written.
class CUPnPDataTypeNumber : public CUPnPDataType, public varnel::RealRange<double> {
 public:
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override;
  std::u16string VariantToString(CComVariant value) const override;
  bool IsOutOfRange(std::u16string_view text, bool strict) const noexcept override;
};

// "fixed.14.4": currency values (VT_CY), units of 1/10000. Written without a
// range check.
class CUPnPDataTypeFixed144 : public CUPnPDataType, public varnel::RealRange<double> {
 public:
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override;
  std::u16string VariantToString(CComVariant value) const override;
  // The range judges the real rule's reading, as when reading; but only a
  // text that the currency conversion also takes is a value of the type.
  bool IsOutOfRange(std::u16string_view text, bool strict) const noexcept override;
};
