#include "datatypes/binary_text.h"

#include "comrt/result_codes.h"
#include "datatypes/text_rules.h"

namespace varnel {
namespace {

constexpr char16_t kBase64Alphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char16_t kHexDigits[] = u"0123456789abcdef";

int Base64Value(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c - u'A';
  if (c >= u'a' && c <= u'z') return c - u'a' + 26;
  if (c >= u'0' && c <= u'9') return c - u'0' + 52;
  if (c == u'+') return 62;
  if (c == u'/') return 63;
  return -1;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

std::vector<uint8_t> ReadBase64(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  uint32_t bits = 0;
  int inGroup = 0;  // characters of the current group of four taken
  int padding = 0;  // "=" in the current group
  bool finished = false;  // a padded group ends the value
  for (const char16_t c : text) {
    if (IsBlank(c)) continue;
    if (finished) throw E_INVALIDARG;
    if (c == u'=') {
      // At least two characters carry the first byte.
      if (inGroup < 2) throw E_INVALIDARG;
      ++padding;
      bits <<= 6;
    } else {
      const int value = Base64Value(c);
      if (value < 0 || padding != 0) throw E_INVALIDARG;
      bits = bits << 6 | static_cast<uint32_t>(value);
    }
    if (++inGroup < 4) continue;
    bytes.push_back(static_cast<uint8_t>(bits >> 16));
    if (padding < 2) bytes.push_back(static_cast<uint8_t>(bits >> 8));
    if (padding < 1) bytes.push_back(static_cast<uint8_t>(bits));
    finished = padding != 0;
    bits = 0;
    inGroup = 0;
    padding = 0;
  }
  if (inGroup != 0) throw E_INVALIDARG;
  return bytes;
}

std::u16string WriteBase64(const uint8_t* bytes, size_t count) {
  std::u16string text;
  text.reserve((count + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= count; i += 3) {
    const uint32_t bits = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
    text.push_back(kBase64Alphabet[bits >> 18]);
    text.push_back(kBase64Alphabet[bits >> 12 & 63]);
    text.push_back(kBase64Alphabet[bits >> 6 & 63]);
    text.push_back(kBase64Alphabet[bits & 63]);
  }
  const size_t rest = count - i;
  if (rest != 0) {
    const uint32_t bits = uint32_t{bytes[i]} << 16 | (rest == 2 ? uint32_t{bytes[i + 1]} << 8 : 0);
    text.push_back(kBase64Alphabet[bits >> 18]);
    text.push_back(kBase64Alphabet[bits >> 12 & 63]);
    text.push_back(rest == 2 ? kBase64Alphabet[bits >> 6 & 63] : u'=');
    text.push_back(u'=');
  }
  return text;
}

std::vector<uint8_t> ReadHex(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  int high = -1;  // the first digit of a pair, until its second comes
  for (const char16_t c : text) {
    if (IsBlank(c)) continue;
    const int value = HexValue(c);
    if (value < 0) throw E_INVALIDARG;
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | value));
      high = -1;
    }
  }
  if (high >= 0) throw E_INVALIDARG;
  return bytes;
}

std::u16string WriteHex(const uint8_t* bytes, size_t count) {
  std::u16string text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text.push_back(kHexDigits[bytes[i] >> 4]);
    text.push_back(kHexDigits[bytes[i] & 15]);
  }
  return text;
}

}  // namespace varnel
