#include "datatypes/data_type_factory.h"

#include <boost/make_shared.hpp>

#include "datatypes/upnp_data_type_binary.h"
#include "datatypes/upnp_data_type_date_time.h"
#include "datatypes/upnp_data_type_integer.h"
#include "datatypes/upnp_data_type_real.h"
#include "datatypes/upnp_data_type_text.h"

namespace {

struct Restrictions {
  const std::u16string& defaultValue;
  const std::u16string& minimum;
  const std::u16string& maximum;
  const std::u16string& step;
  const std::vector<std::u16string>& allowedValues;
};

template <class Converter>
boost::shared_ptr<CUPnPDataType> MakeNumeric(const std::u16string& name, const Restrictions& given) {
  auto converter = boost::make_shared<Converter>();
  converter->SetName(name);
  if (!given.defaultValue.empty()) converter->SetDefaultValue(given.defaultValue);
  if (!given.minimum.empty()) converter->SetMinimum(given.minimum);
  if (!given.maximum.empty()) converter->SetMaximum(given.maximum);
  if (!given.step.empty()) converter->SetStep(given.step);
  return converter;
}

template <class Converter>
boost::shared_ptr<CUPnPDataType> MakeListed(const std::u16string& name, const Restrictions& given) {
  auto converter = boost::make_shared<Converter>();
  converter->SetName(name);
  if (!given.defaultValue.empty()) converter->SetDefaultValue(given.defaultValue);
  if (!given.allowedValues.empty()) converter->SetAllowedValues(given.allowedValues);
  return converter;
}

template <class Converter>
boost::shared_ptr<CUPnPDataType> MakeWithDefault(const std::u16string& name, const Restrictions& given) {
  auto converter = boost::make_shared<Converter>();
  converter->SetName(name);
  if (!given.defaultValue.empty()) converter->SetDefaultValue(given.defaultValue);
  return converter;
}

using Maker = boost::shared_ptr<CUPnPDataType> (*)(const std::u16string&, const Restrictions&);

struct TableEntry {
  std::u16string_view dataType;
  Maker make;
};

// In the order in which names are matched.
const TableEntry kDataTypes[] = {
    {u"i1", &MakeNumeric<CUPnPDataTypeI1>},
    {u"i2", &MakeNumeric<CUPnPDataTypeI2>},
    {u"i4", &MakeNumeric<CUPnPDataTypeI4>},
    {u"ui1", &MakeNumeric<CUPnPDataTypeUI1>},
    {u"ui2", &MakeNumeric<CUPnPDataTypeUI2>},
    {u"ui4", &MakeNumeric<CUPnPDataTypeUI4>},
    {u"int", &MakeNumeric<CUPnPDataTypeI4>},
    {u"r4", &MakeNumeric<CUPnPDataTypeR4>},
    {u"r8", &MakeNumeric<CUPnPDataTypeR8>},
    {u"float", &MakeNumeric<CUPnPDataTypeFloat>},
    {u"fixed.14.4", &MakeNumeric<CUPnPDataTypeFixed144>},
    {u"number", &MakeNumeric<CUPnPDataTypeNumber>},
    {u"char", &MakeListed<CUPnPDataTypeChar>},
    {u"string", &MakeListed<CUPnPDataTypeString>},
    {u"uri", &MakeListed<CUPnPDataTypeString>},
    {u"uuid", &MakeListed<CUPnPDataTypeString>},
    {u"boolean", &MakeWithDefault<CUPnPDataTypeBoolean>},
    {u"date", &MakeWithDefault<CUPnPDataTypeDate>},
    {u"dateTime", &MakeWithDefault<CUPnPDataTypeDateTime>},
    {u"dateTime.tz", &MakeWithDefault<CUPnPDataTypeDateTimeTz>},
    {u"time", &MakeWithDefault<CUPnPDataTypeTime>},
    {u"time.tz", &MakeWithDefault<CUPnPDataTypeTimeTz>},
    {u"i8", &MakeNumeric<CUPnPDataTypeI8>},
    {u"ui8", &MakeNumeric<CUPnPDataTypeUI8>},
    {u"bin.base64", &MakeWithDefault<CUPnPDataTypeBinBase64>},
    {u"bin.hex", &MakeWithDefault<CUPnPDataTypeBinHex>},
};

}  // namespace

boost::shared_ptr<CUPnPDataType> CreateUPnPDataType(const std::u16string& dataType, const std::u16string& name,
                                                    const std::u16string& defaultValue,
                                                    const std::u16string& minimum, const std::u16string& maximum,
                                                    const std::u16string& step,
                                                    const std::vector<std::u16string>& allowedValues) {
  const Restrictions given{defaultValue, minimum, maximum, step, allowedValues};
  for (const TableEntry& entry : kDataTypes) {
    if (entry.dataType == dataType) return entry.make(name, given);
  }
  return {};
}
