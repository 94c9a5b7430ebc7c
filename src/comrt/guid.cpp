#include "comrt/guid.h"

#include "comrt/result_codes.h"
#include "comrt/runtime.h"

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and its terminating zero.
constexpr int kBracedLength = 38;
constexpr int kBracedSize = kBracedLength + 1;

// Positions of the hyphens inside the braced form.
constexpr bool IsHyphenPosition(int index) { return index == 9 || index == 14 || index == 19 || index == 24; }

int HexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

void WriteBraced(const GUID& guid, OLECHAR* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  uint8_t bytes[16];
  // The text gives Data1..Data3 as numbers (most significant digit first) and
  // Data4 byte by byte.
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(guid.Data1 >> (24 - 8 * i));
  bytes[4] = static_cast<uint8_t>(guid.Data2 >> 8);
  bytes[5] = static_cast<uint8_t>(guid.Data2);
  bytes[6] = static_cast<uint8_t>(guid.Data3 >> 8);
  bytes[7] = static_cast<uint8_t>(guid.Data3);
  for (int i = 0; i < 8; ++i) bytes[8 + i] = guid.Data4[i];

  int position = 0;
  out[position++] = u'{';
  for (int i = 0; i < 16; ++i) {
    if (IsHyphenPosition(position)) out[position++] = u'-';
    out[position++] = static_cast<OLECHAR>(kDigits[bytes[i] >> 4]);
    out[position++] = static_cast<OLECHAR>(kDigits[bytes[i] & 0xF]);
  }
  out[position++] = u'}';
  out[position] = u'\0';
}

// Strict: exactly the braced form and nothing after it. Reads no further than
// the first character that does not fit, so a short text is never overrun.
bool ParseBraced(LPCOLESTR text, GUID* guid) {
  if (!text || text[0] != u'{') return false;
  uint8_t bytes[16] = {};
  int byteIndex = 0;
  for (int position = 1; position < kBracedLength - 1; ++position) {
    if (IsHyphenPosition(position)) {
      if (text[position] != u'-') return false;
      continue;
    }
    const int high = HexValue(text[position]);
    if (high < 0) return false;
    const int low = HexValue(text[++position]);
    if (low < 0) return false;
    bytes[byteIndex++] = static_cast<uint8_t>(high << 4 | low);
  }
  if (text[kBracedLength - 1] != u'}' || text[kBracedLength] != u'\0') return false;

  guid->Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  guid->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  guid->Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) guid->Data4[i] = bytes[8 + i];
  return true;
}

}  // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax) {
  if (!buffer || cchMax < kBracedSize) return 0;
  WriteBraced(guid, buffer);
  return kBracedSize;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
  if (!clsid) return E_INVALIDARG;
  GUID parsed;
  if (!ParseBraced(text, &parsed)) {
    *clsid = GUID_NULL;
    return CO_E_CLASSSTRING;
  }
  *clsid = parsed;
  return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, LPIID iid) {
  if (!iid) return E_INVALIDARG;
  GUID parsed;
  if (!ParseBraced(text, &parsed)) {
    *iid = GUID_NULL;
    return E_INVALIDARG;
  }
  *iid = parsed;
  return S_OK;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
  if (!text) return E_POINTER;
  *text = static_cast<LPOLESTR>(CoTaskMemAlloc(kBracedSize * sizeof(OLECHAR)));
  if (!*text) return E_OUTOFMEMORY;
  WriteBraced(clsid, *text);
  return S_OK;
}
