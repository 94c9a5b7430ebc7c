// printf-style formatting of UTF-16 text into a fixed buffer.
//
// The conversions the log system and its callers use, and only those:
//   %s  a const char16_t* (null writes "(null)")
//   %c  one UTF-16 code unit (passed as an int)
//   %d %i  int, %u unsigned, %x %X unsigned in lower / upper-case hex; the
//       length modifiers l and ll read long and long long instead
//   %%  a percent sign
// with the flags '-' (left-justify) and '0' (pad numbers with zeros), a
// decimal width and a decimal precision (minimum digits of a number, most
// characters of a text). Anything else, '*' widths included, is written
// literally as it stands in the format.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace opLogSys {

// Size of the buffers that formatted texts fill: at most 1,023 characters
// and the terminating zero.
inline constexpr size_t kFormatBufferSize = 1024;

// Formats into `buffer` of `size` characters, cutting the text at size - 1
// characters and always terminating it (nothing for a null buffer or size 0).
// Returns the length written.
size_t FormatV(char16_t* buffer, size_t size, const char16_t* format, va_list args);
size_t Format(char16_t* buffer, size_t size, const char16_t* format, ...);

}  // namespace opLogSys
