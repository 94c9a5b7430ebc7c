// Conversions between value types: the variant change-type operations, text
// to currency, and automation dates (days since 30 December 1899, the time of
// day as the fraction; before that day the whole part counts back and the
// fraction still adds time of day: -1.25 is 29 December 1899, 06:00).
//
// Numbers are locale-free: text is read and written with "." as the decimal
// separator and no group separators, whatever the locale identifier or the
// thread's locale says.
#pragma once

#include "comrt/variant.h"

// VariantChangeType flags.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

// Date parsing flags.
#define VAR_TIMEVALUEONLY 0x00000001
#define VAR_DATEVALUEONLY 0x00000002
#define LOCALE_NOUSEROVERRIDE 0x80000000

// Converts `source` to type `vt` into `dest` (which may be `source` itself;
// otherwise it is cleared first). A by-reference source is converted as the
// value it refers to. Reals, dates and currency round half to even when they
// become integers, as reals do becoming currency. DISP_E_BADVARTYPE for an invalid type tag (either side),
// DISP_E_TYPEMISMATCH when no conversion exists (text that is not a number,
// interfaces, arrays, decimals), DISP_E_OVERFLOW when the value does not fit,
// E_OUTOFMEMORY, E_INVALIDARG for null pointers. On failure both variants are
// left as they were.
//
// The same type is a copy and VT_EMPTY clears. VT_EMPTY is 0, "" or FALSE;
// VT_NULL becomes only VT_NULL or VT_EMPTY, and nothing else becomes VT_NULL;
// VT_ERROR, interfaces, decimals and arrays become nothing but themselves.
// Among integers, reals, currency, dates and booleans:
//  - ranges are exact; NaN and infinities fit no integer and no currency;
//  - a real becomes currency by its shortest decimal digits (0.00015 is the
//    half it reads as, and rounds to 0.0002);
//  - a boolean is -1 or 0 (so TRUE fits no unsigned type), and any nonzero
//    number, NaN included, is TRUE;
//  - a date is its number, and a number becomes a date only within the years
//    100 to 9999; a real becomes a float only within the float range, though
//    infinities and NaN carry over.
// Text becomes a number by one grammar, the one VarCyFromStr reads (no
// hexadecimal, group separators, currency signs or "inf"); integer and
// currency targets round the exact decimal value, reals get the nearest
// value. Text becomes a boolean as "True" or "False" in any case, or as a
// number; a date as VarDateFromStr reads it.
// Numbers become text with "." whatever the locale: integers in decimal;
// VT_R8 with at most 15 significant digits and VT_R4 with 7, in exponent form
// ("1.5E+20", "1E-05") where the exponent is below -4 or reaches the digit
// count, "NAN", "INF", "-INF" when not finite and "0" for negative zero;
// currency with up to four decimals and no trailing zeros ("1.5",
// "-0.0001", "12"); booleans as "-1" and "0", or "True" and "False" with
// VARIANT_ALPHABOOL; dates as "YYYY-MM-DD hh:mm:ss", the date alone at
// midnight, the time alone on 30 December 1899 (day 0), DISP_E_OVERFLOW
// outside the years 100 to 9999.
COMRT_CAPI HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt);
// As VariantChangeType; `lcid` is accepted and does not change how numbers are
// read or written.
COMRT_CAPI HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* source, LCID lcid, USHORT flags,
                                       VARTYPE vt);

// Reads currency (units of 1/10000) from text: optional blanks (space, tab to
// carriage return), sign, digits, one ".", more digits, an optional exponent
// ("e" or "E", sign, digits), optional blanks; at least one digit before the
// exponent. The value is taken exactly, however many digits; digits past the
// fourth decimal round half to even. DISP_E_TYPEMISMATCH for any other text
// (the empty text included), DISP_E_OVERFLOW when the value does not fit,
// E_INVALIDARG for null pointers.
COMRT_CAPI HRESULT VarCyFromStr(LPCOLESTR text, LCID lcid, ULONG flags, CY* value);

// Reads a date and/or time from text: "YYYY-MM-DD", "YYYY-MM-DDThh:mm[:ss]",
// "YYYY-MM-DD hh:mm[:ss]", "M/D/YYYY" with an optional time after spaces, or a
// time alone "hh:mm[:ss]" (date part 30 December 1899), with an optional "Z"
// at the end and blanks around. The hour has one or two digits, minutes and
// seconds two; years run from 100 to 9999, hours to 23, minutes and seconds
// to 59, and the day must exist in its month. No fractions of seconds or
// offsets from UTC. VAR_TIMEVALUEONLY keeps only the time of day,
// VAR_DATEVALUEONLY only the date (E_INVALIDARG for both).
// DISP_E_TYPEMISMATCH for any other text or impossible fields, E_INVALIDARG
// for null pointers.
COMRT_CAPI HRESULT VarDateFromStr(LPCOLESTR text, LCID lcid, ULONG flags, DATE* value);

// Calendar fields to an automation date. Month, day, hour, minute and second
// beyond their ranges carry into the next larger field (month 13 is January of
// the next year, 31 February is 2 or 3 March, hour 25 is 01:00 of the next
// day; day 0 is the last day of the previous month, month 0 December of the
// previous year); milliseconds are ignored. wDayOfWeek is not read.
// FALSE when the resulting year lies outside 100 to 9999 or for null pointers.
COMRT_CAPI INT SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* value);
// An automation date to calendar fields, rounded to the nearest second (and
// wDayOfWeek, 0 for Sunday). FALSE outside the years 100 to 9999 (or NaN) and
// for null pointers.
COMRT_CAPI INT VariantTimeToSystemTime(DATE value, SYSTEMTIME* time);

namespace comrt {

// Formats calendar fields as the platform's wide time formatting does for
// %Y (four digits), %m %d %H %M %S (two digits, leading zero) and %%; any
// other character is copied. Writes at most `size` units including the zero
// and returns the units written without it, or 0 when the text does not fit
// (or for an unknown conversion).
COMRT_API size_t FormatTimeFields(char16_t* buffer, size_t size, const char16_t* format, const SYSTEMTIME& time);

}  // namespace comrt
