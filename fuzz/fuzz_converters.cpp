// Every converter reading any text, strictly and leniently, and writing what
// it read back; the first byte chooses the data type.
#include <cstdint>
#include <string>

#include "datatypes/data_type_factory.h"
#include "datatypes/upnp_data_type.h"

namespace {

const char16_t* const kTypes[] = {u"ui1", u"ui2", u"ui4", u"ui8", u"i1", u"i2", u"i4", u"i8", u"int", u"r4", u"r8",
                                  u"number", u"float", u"fixed.14.4", u"char", u"string", u"uri", u"uuid",
                                  u"boolean", u"date", u"dateTime", u"dateTime.tz", u"time", u"time.tz",
                                  u"bin.base64", u"bin.hex"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const char16_t* type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
  const bool strict = data[1] & 1;
  // Pairs of bytes as UTF-16 code units, so surrogates and NULs come too.
  std::u16string text;
  for (size_t i = 2; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  try {
    boost::shared_ptr<CUPnPDataType> converter =
        CreateUPnPDataType(type, u"V", u"", (data[1] & 2) ? u"-5" : u"", (data[1] & 4) ? u"100" : u"", u"", {});
    if (!converter) return 0;
    CComVariant value = converter->StringToVariant(text, strict);
    converter->VariantToString(value);
  } catch (...) {
    // Refusals are thrown; only crashes, leaks and undefined behaviour count.
  }
  return 0;
}
