// The converter of one state variable: between the text of a value as it
// stands in a message and the typed variant that callers see, checking the
// restrictions that the service description declares for the variable.
//
// Converters are made by CreateUPnPDataType, never change afterwards, and may
// be used by any number of threads at once. Failures are thrown: a plain
// HRESULT (E_INVALIDARG for malformed text, a value outside the restrictions
// or a variant of the wrong type; DISP_E_BADVARTYPE from a strict integer
// read), a _com_error (a platform conversion failed, no memory for a string)
// or a CAtlException (the platform refused a fixed-point text).
#pragma once

#include <string>
#include <string_view>

#include "comrt/com_bstr.h"
#include "comrt/com_variant.h"

class CUPnPDataType {
 public:
  virtual ~CUPnPDataType() = default;

  // Reads the text of a value into a new variant of the type's variant type.
  // `strict` matters to the integer types only (requests are read strictly).
  virtual CComVariant StringToVariant(std::u16string_view text, bool strict) const = 0;
  // Writes `value` as text; the converter owns `value` and clears it.
  virtual std::u16string VariantToString(CComVariant value) const = 0;

  // When the text VariantToString would give for `value` lies in `value`
  // itself (a string type's VT_BSTR), sets *text to it and answers true; false
  // when the text must be made, or VariantToString would throw. Never throws.
  virtual bool ViewText(const VARIANT& value, std::u16string_view* text) const noexcept;

  // True for the types whose values are their text (VT_BSTR), which
  // TakeStringToVariant takes over instead of copying.
  virtual bool KeepsText() const { return false; }
  // As StringToVariant for the text `text` holds; a converter that keeps
  // text takes the string itself as the value, leaving `text` null, and
  // leaves it alone when it throws.
  virtual CComVariant TakeStringToVariant(CComBSTR& text, bool strict) const;

  // For a text that StringToVariant refused: true when it is a value of the
  // type that the variable's allowedValueRange (minimum, maximum or step)
  // refuses, false when it is no value of the type or outside the
  // allowedValueList. Tells a device which UPnP error to answer (601 or
  // 600); never throws. Types without a range answer false.
  virtual bool IsOutOfRange(std::u16string_view text, bool strict) const noexcept;

  const std::u16string& GetName() const { return name_; }
  // Throws E_INVALIDARG for an empty name.
  void SetName(const std::u16string& name);

 protected:
  CUPnPDataType() = default;
  CUPnPDataType(const CUPnPDataType&) = delete;
  CUPnPDataType& operator=(const CUPnPDataType&) = delete;

 private:
  std::u16string name_;
};
