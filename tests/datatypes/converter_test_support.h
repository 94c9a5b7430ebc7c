// Helpers for the converter tests: catching what a conversion throws, and
// building converters from restriction texts.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "comrt/atl_exception.h"
#include "comrt/com_error.h"
#include "datatypes/data_type_factory.h"

namespace datatypes_test {

// The code a conversion failed with (S_OK when it did not fail), whatever
// kind of exception carried it.
template <class Conversion>
HRESULT FailureOf(Conversion&& conversion) {
  try {
    conversion();
  } catch (HRESULT hr) {
    return hr;
  } catch (const _com_error& e) {
    return e.Error();
  } catch (const CAtlException& e) {
    return e.m_hr;
  }
  return S_OK;
}

struct Declared {
  std::u16string defaultValue{};
  std::u16string minimum{};
  std::u16string maximum{};
  std::u16string step{};
  std::vector<std::u16string> allowed{};
};

inline boost::shared_ptr<CUPnPDataType> Make(const std::u16string& dataType, const Declared& declared = {}) {
  return CreateUPnPDataType(dataType, u"Variable", declared.defaultValue, declared.minimum, declared.maximum,
                            declared.step, declared.allowed);
}

// Reads then writes through one converter.
inline std::u16string RoundTrip(const CUPnPDataType& converter, std::u16string_view text, bool strict = false) {
  return converter.VariantToString(converter.StringToVariant(text, strict));
}

inline CComVariant Real8(double value) {
  CComVariant v;
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}

inline CComVariant Real4(float value) {
  CComVariant v;
  v.vt = VT_R4;
  v.fltVal = value;
  return v;
}

inline CComVariant Currency(int64_t units) {
  CComVariant v;
  v.vt = VT_CY;
  v.cyVal.int64 = units;
  return v;
}

}  // namespace datatypes_test
