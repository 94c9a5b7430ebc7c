// The text types "string", "uri" and "uuid", the one-character type "char",
// and "boolean".
#pragma once

#include <string>
#include <vector>

#include "datatypes/upnp_data_type.h"

// "string", "uri" and "uuid" alike: VT_BSTR values, checked against the
// allowed-value list (an empty list allows everything). URIs and UUIDs get no
// syntax check.
class CUPnPDataTypeString : public CUPnPDataType {
 public:
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override;
  // Writes the string up to its first zero.
  std::u16string VariantToString(CComVariant value) const override;
  // The string up to its first zero, when allowed.
  bool ViewText(const VARIANT& value, std::u16string_view* text) const noexcept override;
  bool KeepsText() const override { return true; }
  CComVariant TakeStringToVariant(CComBSTR& text, bool strict) const override;

  void SetDefaultValue(std::u16string_view text);
  void SetAllowedValues(const std::vector<std::u16string>& values);
  bool IsAllowed(std::u16string_view value) const;

 private:
  std::vector<std::u16string> allowedValues_;
  std::u16string defaultValue_;
  bool hasDefault_ = false;
};

// "char": one UTF-16 code unit, held as VT_UI2. A character outside the basic
// multilingual plane takes two units and is no "char".
class CUPnPDataTypeChar : public CUPnPDataType {
 public:
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override;
  std::u16string VariantToString(CComVariant value) const override;

  // Each throws E_INVALIDARG for a text that is not exactly one code unit.
  void SetDefaultValue(std::u16string_view text);
  void SetAllowedValues(const std::vector<std::u16string>& values);
  bool IsAllowed(char16_t value) const;

 private:
  std::vector<char16_t> allowedValues_;
  char16_t defaultValue_ = 0;
  bool hasDefault_ = false;
};

// "boolean": "1", "true", "yes" and "0", "false", "no", exactly; written as
// "1" for VARIANT_TRUE and "0" for anything else.
class CUPnPDataTypeBoolean : public CUPnPDataType {
 public:
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override;
  std::u16string VariantToString(CComVariant value) const override;

  // Throws E_INVALIDARG for any other spelling.
  void SetDefaultValue(std::u16string_view text);

 private:
  bool defaultValue_ = false;
  bool hasDefault_ = false;
};
