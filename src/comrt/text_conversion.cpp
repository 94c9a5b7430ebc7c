#include "comrt/text_conversion.h"

#include <climits>
#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsUtf8CodePage(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

// Decodes UTF-8 into code points. An ill-formed part is replaced per maximal
// subpart: a lead byte together with the continuation bytes that could still
// have completed it, so "\xE2\x82" then "A" gives U+FFFD "A", not two U+FFFD.
// With `strict` returns false at the first ill-formed part instead.
template <class Emit>
bool DecodeUtf8(const unsigned char* in, size_t length, bool strict, Emit&& emit) {
  size_t i = 0;
  while (i < length) {
    const unsigned char lead = in[i];
    if (lead < 0x80) {
      emit(lead);
      ++i;
      continue;
    }
    // Second-byte bounds exclude overlong forms, surrogates and values past
    // U+10FFFF; later bytes are plain continuation bytes.
    size_t continuations;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t codePoint;
    if (lead >= 0xC2 && lead <= 0xDF) {
      continuations = 1;
      codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      continuations = 2;
      codePoint = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      continuations = 3;
      codePoint = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      if (strict) return false;
      emit(kReplacement);
      ++i;
      continue;
    }
    size_t taken = 1;
    bool complete = true;
    for (; taken <= continuations; ++taken) {
      if (i + taken >= length) {
        complete = false;
        break;
      }
      const unsigned char next = in[i + taken];
      if (next < (taken == 1 ? low : 0x80) || next > (taken == 1 ? high : 0xBF)) {
        complete = false;
        break;
      }
      codePoint = codePoint << 6 | (next & 0x3F);
    }
    if (!complete) {
      if (strict) return false;
      codePoint = kReplacement;
    }
    emit(codePoint);
    i += taken;
  }
  return true;
}

// Decodes UTF-16 into code points; a surrogate without its partner becomes
// U+FFFD, or with `strict` stops the decoding with false.
template <class Emit>
bool DecodeUtf16(const char16_t* in, size_t length, bool strict, Emit&& emit) {
  for (size_t i = 0; i < length; ++i) {
    char32_t codePoint = in[i];
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < length && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
      if (strict) return false;
      codePoint = kReplacement;
    }
    emit(codePoint);
  }
  return true;
}

template <class Put>
void EncodeUtf8(char32_t codePoint, Put&& put) {
  if (codePoint < 0x80) {
    put(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    put(static_cast<char>(0xC0 | codePoint >> 6));
    put(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    put(static_cast<char>(0xE0 | codePoint >> 12));
    put(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
    put(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    put(static_cast<char>(0xF0 | codePoint >> 18));
    put(static_cast<char>(0x80 | (codePoint >> 12 & 0x3F)));
    put(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
    put(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

template <class Put>
void EncodeUtf16(char32_t codePoint, Put&& put) {
  if (codePoint < 0x10000) {
    put(static_cast<char16_t>(codePoint));
  } else {
    codePoint -= 0x10000;
    put(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    put(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
  }
}

// Counts every unit and stores those that fit, so that one pass both measures
// and writes.
template <class Unit>
class BoundedWriter {
 public:
  BoundedWriter(Unit* out, size_t capacity) : out_(out), capacity_(capacity) {}
  void operator()(Unit unit) {
    if (out_ && count_ < capacity_) out_[count_] = unit;
    ++count_;
  }
  size_t count() const { return count_; }

 private:
  Unit* out_;
  size_t capacity_;
  size_t count_ = 0;
};

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

// The outcome shared by both directions: measuring mode (capacity 0) or a
// buffer that must hold everything.
int Finish(size_t produced, int capacity) {
  if (capacity == 0) {
    return produced > static_cast<size_t>(INT_MAX) ? Fail(ERROR_ARITHMETIC_OVERFLOW) : static_cast<int>(produced);
  }
  if (produced > static_cast<size_t>(capacity)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  return static_cast<int>(produced);
}

size_t WideLength(const char16_t* text) {
  size_t length = 0;
  while (text[length] != u'\0') ++length;
  return length;
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (!IsUtf8CodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
  if (dwFlags & ~static_cast<DWORD>(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
  if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && !lpWideCharStr) ||
      static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const size_t length =
      cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  BoundedWriter<char16_t> writer(lpWideCharStr, static_cast<size_t>(cchWideChar));
  const bool wellFormed = DecodeUtf8(reinterpret_cast<const unsigned char*>(lpMultiByteStr), length,
                                     (dwFlags & MB_ERR_INVALID_CHARS) != 0,
                                     [&writer](char32_t codePoint) { EncodeUtf16(codePoint, writer); });
  if (!wellFormed) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  return Finish(writer.count(), cchWideChar);
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (!IsUtf8CodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
  if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS | WC_NO_BEST_FIT_CHARS)) return Fail(ERROR_INVALID_FLAGS);
  // UTF-8 can spell every character, so a default character never applies.
  if (lpDefaultChar || lpUsedDefaultChar) return Fail(ERROR_INVALID_PARAMETER);
  if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr) ||
      static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const size_t length = cchWideChar == -1 ? WideLength(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  BoundedWriter<char> writer(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
  const bool wellFormed = DecodeUtf16(lpWideCharStr, length, (dwFlags & WC_ERR_INVALID_CHARS) != 0,
                                      [&writer](char32_t codePoint) { EncodeUtf8(codePoint, writer); });
  if (!wellFormed) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  return Finish(writer.count(), cbMultiByte);
}

namespace comrt {

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  DecodeUtf16(text.data(), text.size(), false, [&out](char32_t codePoint) {
    EncodeUtf8(codePoint, [&out](char unit) { out.push_back(unit); });
  });
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  DecodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), false, [&out](char32_t codePoint) {
    EncodeUtf16(codePoint, [&out](char16_t unit) { out.push_back(unit); });
  });
  return out;
}

}  // namespace comrt
