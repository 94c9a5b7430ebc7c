// The factory table, and what every converter shares: a round trip of a
// representative value, and answers that do not depend on other threads.
#include "datatypes/data_type_factory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "datatypes/converter_test_support.h"

namespace {

using datatypes_test::FailureOf;
using datatypes_test::Make;
using datatypes_test::RoundTrip;

struct Representative {
  const char16_t* dataType;
  const char16_t* text;
  VARTYPE vt;
};

// Every name of the table, with a value whose text survives a round trip.
const Representative kEveryType[] = {
    {u"i1", u"-128", VT_I1},
    {u"i2", u"-32768", VT_I2},
    {u"i4", u"-2147483648", VT_I4},
    {u"ui1", u"255", VT_UI1},
    {u"ui2", u"65535", VT_UI2},
    {u"ui4", u"4294967295", VT_UI4},
    {u"int", u"2147483647", VT_I4},
    {u"r4", u"0.500000", VT_R4},
    {u"r8", u"-1234.567890", VT_R8},
    {u"float", u"3.250000", VT_R4},
    {u"fixed.14.4", u"-12345678901234.5678", VT_CY},
    {u"number", u"42.125000", VT_BSTR},
    {u"char", u"\u00df", VT_UI2},
    {u"string", u"R\u00e9sum\u00e9 & <tags>", VT_BSTR},
    {u"uri", u"http://192.0.2.1:80/desc.xml", VT_BSTR},
    {u"uuid", u"uuid:2fac1234-31f8-11b4-a222-08002b34c003", VT_BSTR},
    {u"boolean", u"1", VT_BOOL},
    {u"date", u"2011-02-15", VT_DATE},
    {u"dateTime", u"2011-02-15T08:05:09", VT_DATE},
    {u"dateTime.tz", u"2011-02-15T08:05:09Z", VT_DATE},
    {u"time", u"23:59:59", VT_DATE},
    {u"time.tz", u"00:00:01Z", VT_DATE},
    {u"i8", u"-9223372036854775808", VT_I8},
    {u"ui8", u"18446744073709551615", VT_UI8},
    {u"bin.base64", u"AP8QVVBuUA==", VT_ARRAY | VT_UI1},
    {u"bin.hex", u"00ff1055506e50", VT_ARRAY | VT_UI1},
};

TEST(DataTypeFactoryTest, EveryTableEntryRoundTripsItsValue) {
  for (const Representative& type : kEveryType) {
    SCOPED_TRACE(std::string(type.dataType, type.dataType + std::char_traits<char16_t>::length(type.dataType)));
    auto converter = Make(type.dataType);
    ASSERT_TRUE(converter);
    EXPECT_EQ(u"Variable", converter->GetName());
    EXPECT_EQ(type.vt, converter->StringToVariant(type.text, true).vt);
    EXPECT_EQ(type.text, RoundTrip(*converter, type.text, true));
    EXPECT_EQ(type.text, RoundTrip(*converter, type.text, false));
  }
}

TEST(DataTypeFactoryTest, NamesMatchWholeAndCaseSensitively) {
  for (const char16_t* unknown : {u"Int", u"I4", u" i4", u"i4 ", u"I8", u"UI8", u"bin.Hex", u"bin.base64 ",
                                  u"bin", u"i16", u"String", u"", u"datetime", u"fixed.14.4.", u"double"}) {
    EXPECT_FALSE(Make(unknown)) << std::string(unknown, unknown + std::char_traits<char16_t>::length(unknown));
  }
}

TEST(DataTypeFactoryTest, EmptyNameIsRefused) {
  EXPECT_EQ(E_INVALIDARG,
            FailureOf([] { CreateUPnPDataType(u"string", u"", u"", u"", u"", u"", {}); }));
  // Unknown types are not built at all, so their name is not examined.
  EXPECT_EQ(S_OK, FailureOf([] { CreateUPnPDataType(u"i16", u"", u"", u"", u"", u"", {}); }));
}

TEST(DataTypeConcurrencyTest, TwoThreadsShareConvertersAndGetTheSameAnswers) {
  std::vector<boost::shared_ptr<CUPnPDataType>> converters;
  for (const Representative& type : kEveryType) converters.push_back(Make(type.dataType));
  const datatypes_test::Declared range{u"", u"0", u"100", u"5"};
  auto restricted = Make(u"ui1", range);
  std::atomic<int> wrong{0};
  auto hammer = [&] {
    for (int round = 0; round < 300; ++round) {
      for (size_t i = 0; i < converters.size(); ++i) {
        if (RoundTrip(*converters[i], kEveryType[i].text, round % 2 == 0) != kEveryType[i].text) ++wrong;
      }
      if (RoundTrip(*restricted, u"95", true) != u"95") ++wrong;
      if (FailureOf([&] { restricted->StringToVariant(u"96", true); }) != E_INVALIDARG) ++wrong;
      if (FailureOf([&] { restricted->StringToVariant(u"256", true); }) != DISP_E_BADVARTYPE) ++wrong;
    }
  };
  std::thread first(hammer);
  std::thread second(hammer);
  first.join();
  second.join();
  EXPECT_EQ(0, wrong.load());
}

}  // namespace
