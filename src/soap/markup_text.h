// Message text written straight into a body, byte for byte as the DOM's
// serializer writes the same nodes: UTF-8, with the same characters escaped
// and the same characters refused (see CheckXmlText in dom_builder.h).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace varnel {

// The bytes of a body as they are written. Room is made without filling it,
// so that text can be written straight into it. Throws std::bad_alloc.
class TextBuffer {
 public:
  // Adds `count` bytes of room at the end and answers where they start;
  // they hold nothing defined until written.
  char* Extend(size_t count);
  // Cuts the buffer back to its first `size` bytes. REQUIRES: size <= Size().
  void Truncate(size_t size) { size_ = size; }
  void Clear() { size_ = 0; }
  // Makes room for `capacity` bytes in all.
  void Reserve(size_t capacity);

  void Append(std::string_view text);
  void Append(char c) { *Extend(1) = c; }
  TextBuffer& operator+=(std::string_view text) {
    Append(text);
    return *this;
  }
  TextBuffer& operator+=(char c) {
    Append(c);
    return *this;
  }

  size_t Size() const { return size_; }
  char* Data() const { return data_.get(); }
  std::string_view View() const { return std::string_view(data_.get(), size_); }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Appends `text` as element content: '&', '<' and '>' as entity references,
// carriage return as "&#13;". False, with `out` in an unspecified state, for
// text that CheckXmlText refuses.
bool AppendElementText(std::u16string_view text, TextBuffer& out);

// Appends `text` as an attribute value between double quotes: '&', '<',
// '>' and '"' as entity references, tab, line feed and carriage return as
// character references. False as AppendElementText.
bool AppendAttributeValue(std::u16string_view text, TextBuffer& out);

// Appends `text` as UTF-8, a lone surrogate as U+FFFD, as comrt::ToUtf8.
void AppendUtf8(std::u16string_view text, std::string& out);

// True for names made only of ASCII letters, digits, '_', '-' and '.',
// starting with a letter or '_': names every XML name check takes and that
// are written as they are.
bool IsPlainName(std::u16string_view name);

}  // namespace varnel
