#include <cmath>
#include <cstdint>
#include <string>

#include "comrt/conversions.h"

namespace {

// Day numbers count from 30 December 1899 (day 0).
constexpr int64_t kDayOfUnixEpoch = 25569;  // 1 January 1970
constexpr int64_t kFirstDay = -657434;      // 1 January 100
constexpr int64_t kLastDay = 2958465;       // 31 December 9999
constexpr int64_t kSecondsPerDay = 86400;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Proleptic Gregorian calendar through 400-year eras (146097 days each),
// with years starting on 1 March so that the leap day comes last.
int64_t DayFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468 + kDayOfUnixEpoch;
}

void CivilFromDay(int64_t dayNumber, int64_t* year, int64_t* month, int64_t* day) {
  const int64_t z = dayNumber - kDayOfUnixEpoch + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  *month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  *year = yearOfEra + era * 400 + (*month <= 2);
}

bool IsLeapYear(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int64_t DaysInMonth(int64_t year, int64_t month) {
  static const int8_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Before day 0 the whole part counts back while the fraction still adds time
// of day, so -1.25 is day -1 at 06:00.
DATE Encode(int64_t day, int64_t secondOfDay) {
  const double fraction = static_cast<double>(secondOfDay) / kSecondsPerDay;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

// A strict reader over a zero-terminated text.
class FieldReader {
 public:
  explicit FieldReader(const char16_t* text) : p_(text) {}

  bool AtEnd() const { return *p_ == 0; }
  bool Peek(char16_t c) const { return *p_ == c; }
  bool Take(char16_t c) {
    if (*p_ != c) return false;
    ++p_;
    return true;
  }
  // Up to `most` digits as a number; how many were read.
  int Digits(int most, int64_t* value) {
    int count = 0;
    int64_t result = 0;
    while (count < most && DigitNext()) {
      result = result * 10 + (*p_++ - u'0');
      ++count;
    }
    *value = result;
    return count;
  }
  // Between `least` and `most` digits, with no further digit after them.
  bool Number(int least, int most, int64_t* value) {
    const int count = Digits(most, value);
    return count >= least && !DigitNext();
  }
  bool DigitNext() const { return *p_ >= u'0' && *p_ <= u'9'; }
  size_t SkipSpaces() {
    size_t count = 0;
    while (*p_ == u' ') {
      ++p_;
      ++count;
    }
    return count;
  }
  void SkipBlanks() {
    while (*p_ == u' ' || (*p_ >= u'\t' && *p_ <= u'\r')) ++p_;
  }

 private:
  const char16_t* p_;
};

struct DateFields {
  int64_t year = 1899, month = 12, day = 30;
  int64_t hour = 0, minute = 0, second = 0;
};

bool ReadTime(FieldReader& in, DateFields* fields) {
  if (!in.Number(1, 2, &fields->hour) || !in.Take(u':') || !in.Number(2, 2, &fields->minute)) return false;
  return !in.Take(u':') || in.Number(2, 2, &fields->second);
}

// The forms VarDateFromStr documents; fields are range-checked afterwards.
bool ReadDateText(const char16_t* text, DateFields* fields) {
  FieldReader in(text);
  in.SkipBlanks();
  const FieldReader start = in;
  int64_t first = 0;
  const int firstDigits = in.Digits(5, &first);
  if (in.Peek(u':')) {
    in = start;
    if (!ReadTime(in, fields)) return false;
  } else {
    const bool iso = firstDigits == 4 && in.Take(u'-');
    if (iso) {
      fields->year = first;
      if (!in.Number(2, 2, &fields->month) || !in.Take(u'-') || !in.Number(2, 2, &fields->day)) return false;
    } else if (firstDigits >= 1 && firstDigits <= 2 && in.Take(u'/')) {
      fields->month = first;
      if (!in.Number(1, 2, &fields->day) || !in.Take(u'/') || !in.Number(4, 4, &fields->year)) return false;
    } else {
      return false;
    }
    // "T" (after the ISO form) always introduces a time; spaces may also just
    // end the text.
    if (iso && in.Take(u'T')) {
      if (!ReadTime(in, fields)) return false;
    } else if (in.SkipSpaces() > 0 && in.DigitNext()) {
      if (!ReadTime(in, fields)) return false;
    }
  }
  in.Take(u'Z');
  in.SkipBlanks();
  return in.AtEnd();
}

bool FieldsInRange(const DateFields& f) {
  return f.year >= 100 && f.year <= 9999 && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
         f.day <= DaysInMonth(f.year, f.month) && f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

}  // namespace

INT SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* value) {
  if (!time || !value) return FALSE;
  // Months past 12 (or 0) carry into the year; days and times carry as plain
  // counts added to the first of the month.
  const int64_t monthIndex = static_cast<int64_t>(time->wMonth) - 1;
  const int64_t year = time->wYear + FloorDiv(monthIndex, 12);
  const int64_t month = monthIndex - FloorDiv(monthIndex, 12) * 12 + 1;
  int64_t day = DayFromCivil(year, month, 1) + (static_cast<int64_t>(time->wDay) - 1);
  int64_t seconds = static_cast<int64_t>(time->wHour) * 3600 + time->wMinute * 60 + time->wSecond;
  day += seconds / kSecondsPerDay;
  seconds %= kSecondsPerDay;
  if (day < kFirstDay || day > kLastDay) return FALSE;
  *value = Encode(day, seconds);
  return TRUE;
}

INT VariantTimeToSystemTime(DATE value, SYSTEMTIME* time) {
  if (!time) return FALSE;
  // Also false for NaN; keeps the integer conversion below in range.
  if (!(value > kFirstDay - 1 && value < kLastDay + 1)) return FALSE;
  const double whole = std::trunc(value);
  int64_t day = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(value - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    // Rounded up to midnight: the calendar day after, which for a negative
    // date is the whole part plus one as well.
    seconds -= kSecondsPerDay;
    ++day;
  }
  if (day < kFirstDay || day > kLastDay) return FALSE;
  int64_t year = 0, month = 0, dayOfMonth = 0;
  CivilFromDay(day, &year, &month, &dayOfMonth);
  time->wYear = static_cast<WORD>(year);
  time->wMonth = static_cast<WORD>(month);
  time->wDay = static_cast<WORD>(dayOfMonth);
  // Day 0 was a Saturday.
  time->wDayOfWeek = static_cast<WORD>(day - FloorDiv(day + 6, 7) * 7 + 6);
  time->wHour = static_cast<WORD>(seconds / 3600);
  time->wMinute = static_cast<WORD>(seconds / 60 % 60);
  time->wSecond = static_cast<WORD>(seconds % 60);
  time->wMilliseconds = 0;
  return TRUE;
}

HRESULT VarDateFromStr(LPCOLESTR text, LCID, ULONG flags, DATE* value) {
  if (!text || !value) return E_INVALIDARG;
  if ((flags & VAR_TIMEVALUEONLY) && (flags & VAR_DATEVALUEONLY)) return E_INVALIDARG;
  DateFields fields;
  if (!ReadDateText(text, &fields) || !FieldsInRange(fields)) return DISP_E_TYPEMISMATCH;
  int64_t day = DayFromCivil(fields.year, fields.month, fields.day);
  int64_t seconds = fields.hour * 3600 + fields.minute * 60 + fields.second;
  if (flags & VAR_TIMEVALUEONLY) day = 0;
  if (flags & VAR_DATEVALUEONLY) seconds = 0;
  *value = Encode(day, seconds);
  return S_OK;
}

namespace comrt {

size_t FormatTimeFields(char16_t* buffer, size_t size, const char16_t* format, const SYSTEMTIME& time) {
  if (!buffer || size == 0) return 0;
  buffer[0] = 0;
  if (!format) return 0;
  size_t used = 0;
  // Leaves room for the terminating zero.
  auto put = [&](char16_t c) {
    if (used + 1 >= size) return false;
    buffer[used++] = c;
    return true;
  };
  auto putNumber = [&](unsigned value, int width) {
    char16_t digits[8];
    int count = 0;
    do {
      digits[count++] = static_cast<char16_t>(u'0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count < width) digits[count++] = u'0';
    while (count > 0) {
      if (!put(digits[--count])) return false;
    }
    return true;
  };
  for (const char16_t* p = format; *p; ++p) {
    bool fits = true;
    if (*p != u'%') {
      fits = put(*p);
    } else {
      switch (*++p) {
        case u'Y':
          fits = putNumber(time.wYear, 4);
          break;
        case u'm':
          fits = putNumber(time.wMonth, 2);
          break;
        case u'd':
          fits = putNumber(time.wDay, 2);
          break;
        case u'H':
          fits = putNumber(time.wHour, 2);
          break;
        case u'M':
          fits = putNumber(time.wMinute, 2);
          break;
        case u'S':
          fits = putNumber(time.wSecond, 2);
          break;
        case u'%':
          fits = put(u'%');
          break;
        default:  // an unknown conversion, or "%" ending the format
          fits = false;
          break;
      }
    }
    if (!fits) {
      buffer[0] = 0;
      return 0;
    }
  }
  buffer[used] = 0;
  return used;
}

}  // namespace comrt
