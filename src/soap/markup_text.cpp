#include "soap/markup_text.h"

#include <algorithm>
#include <cstring>

namespace varnel {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// What an ASCII character is written as: itself, or its reference, in the
// first `size` bytes of `text`; a `size` of 0 marks the characters refused
// (the control characters other than tab, line feed and carriage return).
// Eight bytes are always copied, so that writing takes no branch on the
// character: escaped text mixes plain characters and references too
// irregularly for branches to be guessed.
struct Escape {
  char text[8];
  unsigned char size;
};

struct Escapes {
  Escape of[0x80];
};

constexpr Escapes MakeEscapes(bool attribute) {
  Escapes escapes{};
  for (int c = 0; c < 0x80; ++c) {
    const char* entity = nullptr;
    if (c == '&') entity = "&amp;";
    if (c == '<') entity = "&lt;";
    if (c == '>') entity = "&gt;";
    if (c == '\r') entity = "&#13;";
    if (attribute && c == '"') entity = "&quot;";
    if (attribute && c == '\t') entity = "&#9;";
    if (attribute && c == '\n') entity = "&#10;";
    Escape& escape = escapes.of[c];
    if (entity) {
      while (entity[escape.size]) {
        escape.text[escape.size] = entity[escape.size];
        ++escape.size;
      }
    } else {
      escape.text[0] = static_cast<char>(c);
      escape.size = c < 0x20 && c != '\t' && c != '\n' && c != '\r' ? 0 : 1;
    }
  }
  return escapes;
}

constexpr Escapes kElementEscapes = MakeEscapes(false);
constexpr Escapes kAttributeEscapes = MakeEscapes(true);

// The UTF-8 length of the character at text[i] (a pair of surrogates
// counts at its first); 0 when CheckXmlText refuses it. REQUIRES: text[i]
// is not ASCII.
int WideBytes(std::u16string_view text, size_t i) {
  const char16_t c = text[i];
  if (c < 0x800) return 2;
  if (IsHighSurrogate(c)) return i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 4 : 0;
  if (IsLowSurrogate(c) || c == 0xFFFE || c == 0xFFFF) return 0;
  return 3;
}

char* PutUtf8(char32_t codePoint, int bytes, char* at) {
  switch (bytes) {
    case 2:
      *at++ = static_cast<char>(0xC0 | codePoint >> 6);
      break;
    case 3:
      *at++ = static_cast<char>(0xE0 | codePoint >> 12);
      *at++ = static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
      break;
    default:
      *at++ = static_cast<char>(0xF0 | codePoint >> 18);
      *at++ = static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
      *at++ = static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
      break;
  }
  *at++ = static_cast<char>(0x80 | (codePoint & 0x3F));
  return at;
}

// The most one unit is written as ("&quot;"; three bytes of UTF-8 at most),
// and the bytes past it that copying a whole Escape may touch.
constexpr size_t kMostBytesPerUnit = 6;
constexpr size_t kSlackBytes = sizeof(Escape::text) - 1;
// Units written per growth of the output.
constexpr size_t kBlockUnits = 1024;

// One pass: the output grows a block at a time by the most the block can
// take, is written without a check per character, and is cut back to what
// was written.
template <bool kAttribute>
bool AppendEscaped(std::u16string_view text, TextBuffer& out) {
  const Escapes& escapes = kAttribute ? kAttributeEscapes : kElementEscapes;
  size_t i = 0;
  bool refused = false;
  while (i < text.size()) {
    const size_t end = i + std::min(text.size() - i, kBlockUnits);
    const size_t start = out.Size();
    char* const begin = out.Extend((end - i) * kMostBytesPerUnit + kSlackBytes);
    char* at = begin;
    for (; i < end; ++i) {
      const char16_t c = text[i];
      if (c < 0x80) {
        const Escape& escape = escapes.of[c];
        std::memcpy(at, escape.text, sizeof escape.text);
        at += escape.size;
        refused |= escape.size == 0;
        continue;
      }
      const int bytes = WideBytes(text, i);
      if (bytes == 0) return false;
      char32_t codePoint = c;
      // The pair's second unit may lie past the block; its bytes fit in the
      // room of the first.
      if (bytes == 4) codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[++i] - 0xDC00);
      at = PutUtf8(codePoint, bytes, at);
    }
    out.Truncate(start + static_cast<size_t>(at - begin));
    if (refused) return false;
  }
  return true;
}

}  // namespace

char* TextBuffer::Extend(size_t count) {
  if (capacity_ - size_ < count) Reserve(std::max(size_ + count, 2 * capacity_));
  char* at = data_.get() + size_;
  size_ += count;
  return at;
}

void TextBuffer::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  std::unique_ptr<char[]> grown(new char[capacity]);
  if (size_) std::memcpy(grown.get(), data_.get(), size_);
  data_ = std::move(grown);
  capacity_ = capacity;
}

void TextBuffer::Append(std::string_view text) {
  if (!text.empty()) std::memcpy(Extend(text.size()), text.data(), text.size());
}

bool AppendElementText(std::u16string_view text, TextBuffer& out) { return AppendEscaped<false>(text, out); }

bool AppendAttributeValue(std::u16string_view text, TextBuffer& out) { return AppendEscaped<true>(text, out); }

void AppendUtf8(std::u16string_view text, std::string& out) {
  out.reserve(out.size() + text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t codePoint = text[i];
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
      codePoint = 0xFFFD;
    }
    if (codePoint < 0x80) {
      out.push_back(static_cast<char>(codePoint));
      continue;
    }
    char bytes[4];
    const int count = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    out.append(bytes, static_cast<size_t>(PutUtf8(codePoint, count, bytes) - bytes));
  }
}

bool IsPlainName(std::u16string_view name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
    const bool other = (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    if (!letter && !(i > 0 && other)) return false;
  }
  return true;
}

}  // namespace varnel
