// The date and time types "date", "dateTime", "dateTime.tz", "time" and
// "time.tz", all held as automation dates (VT_DATE). No time-zone offset is
// understood: the ".tz" types require a final "Z" and drop it, and write one,
// without shifting the value.
#pragma once

#include "datatypes/upnp_data_type.h"

namespace varnel {
enum class DateTimeKind { kDate, kDateTime, kDateTimeTz, kTime, kTimeTz };
}  // namespace varnel

template <varnel::DateTimeKind Kind>
class CUPnPDataTypeDateTimeOf : public CUPnPDataType {
 public:
  // E_INVALIDARG for a missing field or a misplaced "Z", and for fields that
  // do not make a date in the years 100 to 9999 once carried (month 13 is
  // January of the next year, hour 25 one o'clock the next day).
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override;
  // E_INVALIDARG for anything but VT_DATE, and for a date that is not one of
  // the years 100 to 9999 (NaN and the infinities included).
  std::u16string VariantToString(CComVariant value) const override;

  // A text that no date form reads leaves no default; it is not an error.
  void SetDefaultValue(std::u16string_view text);

 private:
  DATE defaultValue_ = 0.0;
  bool hasDefault_ = false;
};

using CUPnPDataTypeDate = CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kDate>;
using CUPnPDataTypeDateTime = CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kDateTime>;
using CUPnPDataTypeDateTimeTz = CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kDateTimeTz>;
using CUPnPDataTypeTime = CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kTime>;
using CUPnPDataTypeTimeTz = CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kTimeTz>;

extern template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kDate>;
extern template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kDateTime>;
extern template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kDateTimeTz>;
extern template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kTime>;
extern template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kTimeTz>;
