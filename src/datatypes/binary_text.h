// The two text forms of byte sequences: base64 (the standard alphabet with
// "=" padding) and hexadecimal. Readers skip white space anywhere, since
// senders wrap long values; writers never break lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// Throws E_INVALIDARG (as a plain HRESULT) for a character outside the
// alphabet, a count of characters that is no multiple of four, or padding
// anywhere but at the end of the last group. Unused bits of the last
// character are not checked.
std::vector<uint8_t> ReadBase64(std::u16string_view text);
std::u16string WriteBase64(const uint8_t* bytes, size_t count);

// Pairs of hex digits in either case. Throws E_INVALIDARG for another
// character or an odd number of digits.
std::vector<uint8_t> ReadHex(std::u16string_view text);
// Lower-case digits, two per byte.
std::u16string WriteHex(const uint8_t* bytes, size_t count);

}  // namespace varnel
