// Text as the log files hold it: the process's ANSI code page (UTF-8 here).
#pragma once

#include <string>
#include <string_view>

#include "comrt/process.h"
#include "comrt/text_conversion.h"

namespace opLogSys {

// Every text goes through a conversion buffer of this many bytes, its
// terminating zero included.
inline constexpr size_t kAnsiBufferSize = 1024;

// `text` in the ANSI code page, cut at the last whole character within
// 1,023 bytes. Null gives an empty text.
inline std::string ToAnsi(const char16_t* text) {
  if (!text) return std::string();
  return comrt::ToUtf8Bounded(std::u16string_view(text), kAnsiBufferSize - 1);
}

// Bytes in the ANSI code page as UTF-16; ill-formed parts become U+FFFD.
inline std::u16string FromAnsi(std::string_view bytes) { return comrt::FromUtf8(bytes); }

}  // namespace opLogSys
