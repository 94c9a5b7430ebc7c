#include "datatypes/upnp_data_type_date_time.h"

#include <limits>
#include <string>

#include "comrt/conversions.h"
#include "datatypes/text_rules.h"

namespace varnel {
namespace {

// Takes tokens separated by runs of one delimiter. A call that finds nothing
// but delimiters (or nothing) left returns an empty token and reaches the end
// marker: that is how a missing field shows.
class Tokenizer {
 public:
  Tokenizer(std::u16string_view text, char16_t delimiter) : text_(text), delimiter_(delimiter) {}

  std::u16string_view Next() {
    if (atEndMarker_) return {};
    while (position_ < text_.size() && text_[position_] == delimiter_) ++position_;
    if (position_ >= text_.size()) {
      atEndMarker_ = true;
      return {};
    }
    const size_t start = position_;
    while (position_ < text_.size() && text_[position_] != delimiter_) ++position_;
    const std::u16string_view token = text_.substr(start, position_ - start);
    if (position_ < text_.size()) ++position_;  // past the delimiter
    return token;
  }
  bool AtEndMarker() const { return atEndMarker_; }

 private:
  std::u16string_view text_;
  char16_t delimiter_;
  size_t position_ = 0;
  bool atEndMarker_ = false;
};

// The three fields of a date or a time. A missing one is E_INVALIDARG; a field
// that no calendar field can hold (negative, or beyond 65535) too.
struct Fields {
  WORD first, second, third;
};

WORD ReadField(std::u16string_view token) {
  const int64_t value = ReadLenientInteger(token);
  if (value < 0 || value > std::numeric_limits<WORD>::max()) throw E_INVALIDARG;
  return static_cast<WORD>(value);
}

Fields ReadFields(std::u16string_view text, char16_t delimiter) {
  Tokenizer tokens(text, delimiter);
  Fields fields{};
  WORD* const targets[] = {&fields.first, &fields.second, &fields.third};
  for (WORD* target : targets) {
    const std::u16string_view token = tokens.Next();
    if (tokens.AtEndMarker()) throw E_INVALIDARG;
    *target = ReadField(token);
  }
  return fields;
}

// The time part of a ".tz" type must end in its first "Z", which is dropped.
std::u16string_view WithoutFinalZ(std::u16string_view text) {
  const size_t z = text.find(u'Z');
  if (z == std::u16string_view::npos || z + 1 != text.size()) throw E_INVALIDARG;
  return text.substr(0, z);
}

SYSTEMTIME TimeOnDayZero(const Fields& time) {
  SYSTEMTIME fields{};
  fields.wYear = 1899;
  fields.wMonth = 12;
  fields.wDay = 30;
  fields.wHour = time.first;
  fields.wMinute = time.second;
  fields.wSecond = time.third;
  return fields;
}

SYSTEMTIME ReadSystemTime(DateTimeKind kind, std::u16string_view text) {
  switch (kind) {
    case DateTimeKind::kDate: {
      const Fields date = ReadFields(text, u'-');
      SYSTEMTIME fields{};
      fields.wYear = date.first;
      fields.wMonth = date.second;
      fields.wDay = date.third;
      return fields;
    }
    case DateTimeKind::kTime:
      return TimeOnDayZero(ReadFields(text, u':'));
    case DateTimeKind::kTimeTz:
      return TimeOnDayZero(ReadFields(WithoutFinalZ(text), u':'));
    case DateTimeKind::kDateTime:
    case DateTimeKind::kDateTimeTz: {
      Tokenizer parts(text, u'T');
      const std::u16string_view datePart = parts.Next();
      if (parts.AtEndMarker()) throw E_INVALIDARG;
      std::u16string_view timePart = parts.Next();
      const Fields date = ReadFields(datePart, u'-');
      if (kind == DateTimeKind::kDateTimeTz) timePart = WithoutFinalZ(timePart);
      const Fields time = ReadFields(timePart, u':');
      SYSTEMTIME fields{};
      fields.wYear = date.first;
      fields.wMonth = date.second;
      fields.wDay = date.third;
      fields.wHour = time.first;
      fields.wMinute = time.second;
      fields.wSecond = time.third;
      return fields;
    }
  }
  throw E_UNEXPECTED;
}

const char16_t* FormatOf(DateTimeKind kind) {
  switch (kind) {
    case DateTimeKind::kDate:
      return u"%Y-%m-%d";
    case DateTimeKind::kDateTime:
      return u"%Y-%m-%dT%H:%M:%S";
    case DateTimeKind::kDateTimeTz:
      return u"%Y-%m-%dT%H:%M:%SZ";
    case DateTimeKind::kTime:
      return u"%H:%M:%S";
    case DateTimeKind::kTimeTz:
      return u"%H:%M:%SZ";
  }
  return u"";
}

}  // namespace
}  // namespace varnel

template <varnel::DateTimeKind Kind>
CComVariant CUPnPDataTypeDateTimeOf<Kind>::StringToVariant(std::u16string_view text, bool) const {
  const SYSTEMTIME fields = varnel::ReadSystemTime(Kind, text);
  CComVariant result;
  if (!SystemTimeToVariantTime(&fields, &result.date)) throw E_INVALIDARG;
  result.vt = VT_DATE;
  return result;
}

template <varnel::DateTimeKind Kind>
std::u16string CUPnPDataTypeDateTimeOf<Kind>::VariantToString(CComVariant value) const {
  if (value.vt != VT_DATE) throw E_INVALIDARG;
  SYSTEMTIME fields{};
  // A NaN, an infinity or a day outside the four-digit years has no text in
  // these forms; writing a placeholder would put a value no reader takes on
  // the wire.
  if (!VariantTimeToSystemTime(value.date, &fields)) throw E_INVALIDARG;
  char16_t buffer[256];
  const size_t length = comrt::FormatTimeFields(buffer, 256, varnel::FormatOf(Kind), fields);
  return std::u16string(buffer, length);
}

template <varnel::DateTimeKind Kind>
void CUPnPDataTypeDateTimeOf<Kind>::SetDefaultValue(std::u16string_view text) {
  constexpr bool kTimeOnly = Kind == varnel::DateTimeKind::kTime || Kind == varnel::DateTimeKind::kTimeTz;
  const std::u16string terminated(text);
  DATE value = 0.0;
  const HRESULT hr = VarDateFromStr(terminated.c_str(), LOCALE_USER_DEFAULT,
                                    kTimeOnly ? VAR_TIMEVALUEONLY : LOCALE_NOUSEROVERRIDE, &value);
  if (FAILED(hr)) return;
  defaultValue_ = value;
  hasDefault_ = true;
}

template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kDate>;
template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kDateTime>;
template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kDateTimeTz>;
template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kTime>;
template class CUPnPDataTypeDateTimeOf<varnel::DateTimeKind::kTimeTz>;
