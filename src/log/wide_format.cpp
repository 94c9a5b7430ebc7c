#include "log/wide_format.h"

#include <cstdint>

namespace opLogSys {
namespace {

// Appends to the buffer and silently drops what does not fit, so that a long
// text is cut rather than overrunning.
class Output {
 public:
  Output(char16_t* buffer, size_t size) : buffer_(buffer), limit_(size - 1) {}
  void Put(char16_t c) {
    if (length_ < limit_) buffer_[length_++] = c;
  }
  void Repeat(char16_t c, size_t count) {
    for (size_t i = 0; i < count; ++i) Put(c);
  }
  size_t Finish() {
    buffer_[length_] = u'\0';
    return length_;
  }

 private:
  char16_t* buffer_;
  size_t limit_;
  size_t length_ = 0;
};

struct Spec {
  bool leftJustify = false;
  bool zeroPad = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
  int longs = 0;  // number of 'l' modifiers
};

// Reads a decimal count, capped so that a huge one cannot overflow.
size_t ReadCount(const char16_t*& p) {
  size_t value = 0;
  while (*p >= u'0' && *p <= u'9') {
    if (value < 100000) value = value * 10 + static_cast<size_t>(*p - u'0');
    ++p;
  }
  return value;
}

void PutPadded(Output& out, const Spec& spec, const char16_t* text, size_t length) {
  const size_t padding = spec.width > length ? spec.width - length : 0;
  if (!spec.leftJustify) out.Repeat(u' ', padding);
  for (size_t i = 0; i < length; ++i) out.Put(text[i]);
  if (spec.leftJustify) out.Repeat(u' ', padding);
}

void PutNumber(Output& out, const Spec& spec, bool negative, uint64_t magnitude, unsigned base, bool upper) {
  const char16_t* digits = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  char16_t reversed[24];
  size_t count = 0;
  while (magnitude != 0) {
    reversed[count++] = digits[magnitude % base];
    magnitude /= base;
  }
  // C's rule: precision 0 writes nothing for zero; by default one digit.
  const size_t minimumDigits = spec.hasPrecision ? spec.precision : 1;
  const size_t zeros = minimumDigits > count ? minimumDigits - count : 0;
  const size_t length = (negative ? 1 : 0) + zeros + count;
  const size_t padding = spec.width > length ? spec.width - length : 0;
  const bool padWithZeros = spec.zeroPad && !spec.leftJustify && !spec.hasPrecision;
  if (!spec.leftJustify && !padWithZeros) out.Repeat(u' ', padding);
  if (negative) out.Put(u'-');
  if (padWithZeros) out.Repeat(u'0', padding);
  out.Repeat(u'0', zeros);
  while (count > 0) out.Put(reversed[--count]);
  if (spec.leftJustify) out.Repeat(u' ', padding);
}

int64_t SignedArgument(const Spec& spec, va_list& args) {
  if (spec.longs >= 2) return va_arg(args, long long);
  if (spec.longs == 1) return va_arg(args, long);
  return va_arg(args, int);
}

uint64_t UnsignedArgument(const Spec& spec, va_list& args) {
  if (spec.longs >= 2) return va_arg(args, unsigned long long);
  if (spec.longs == 1) return va_arg(args, unsigned long);
  return va_arg(args, unsigned int);
}

// Formats one conversion that starts after its '%'; returns false (taking
// no argument) when it is not one of ours, so the caller writes it literally.
bool Convert(Output& out, const char16_t*& p, va_list& args) {
  Spec spec;
  for (;; ++p) {
    if (*p == u'-') {
      spec.leftJustify = true;
    } else if (*p == u'0') {
      spec.zeroPad = true;
    } else {
      break;
    }
  }
  spec.width = ReadCount(p);
  if (*p == u'.') {
    ++p;
    spec.hasPrecision = true;
    spec.precision = ReadCount(p);
  }
  while (*p == u'l' && spec.longs < 2) {
    ++spec.longs;
    ++p;
  }
  switch (*p) {
    case u'd':
    case u'i': {
      const int64_t value = SignedArgument(spec, args);
      const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
      PutNumber(out, spec, value < 0, magnitude, 10, false);
      break;
    }
    case u'u':
      PutNumber(out, spec, false, UnsignedArgument(spec, args), 10, false);
      break;
    case u'x':
    case u'X':
      PutNumber(out, spec, false, UnsignedArgument(spec, args), 16, *p == u'X');
      break;
    case u'c': {
      if (spec.longs != 0) return false;
      const char16_t c = static_cast<char16_t>(va_arg(args, int));
      PutPadded(out, spec, &c, 1);
      break;
    }
    case u's': {
      if (spec.longs != 0) return false;
      const char16_t* text = va_arg(args, const char16_t*);
      if (!text) text = u"(null)";
      size_t length = 0;
      while (text[length] && (!spec.hasPrecision || length < spec.precision)) ++length;
      PutPadded(out, spec, text, length);
      break;
    }
    default:
      return false;
  }
  ++p;
  return true;
}

}  // namespace

size_t FormatV(char16_t* buffer, size_t size, const char16_t* format, va_list args) {
  if (!buffer || size == 0) return 0;
  Output out(buffer, size);
  if (!format) return out.Finish();
  va_list own;
  va_copy(own, args);
  for (const char16_t* p = format; *p;) {
    if (*p != u'%') {
      out.Put(*p++);
      continue;
    }
    if (p[1] == u'%') {
      out.Put(u'%');
      p += 2;
      continue;
    }
    const char16_t* start = p++;
    if (!Convert(out, p, own)) {
      // Not ours: the text from the '%' up to and including the character
      // that ended the conversion stands as it is.
      if (*p) ++p;
      while (start < p) out.Put(*start++);
    }
  }
  va_end(own);
  return out.Finish();
}

size_t Format(char16_t* buffer, size_t size, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  const size_t length = FormatV(buffer, size, format, args);
  va_end(args);
  return length;
}

}  // namespace opLogSys
