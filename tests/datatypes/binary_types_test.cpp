// "bin.base64" and "bin.hex": the two text forms, and the byte arrays that
// carry their values.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "comrt/safearray.h"
#include "datatypes/binary_text.h"
#include "datatypes/converter_test_support.h"

namespace {

using datatypes_test::Declared;
using datatypes_test::FailureOf;
using datatypes_test::Make;
using varnel::ReadBase64;
using varnel::ReadHex;

using Bytes = std::vector<uint8_t>;
using Texts = std::initializer_list<std::u16string_view>;

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

Bytes AllByteValues() {
  Bytes bytes(256);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

CComVariant ByteArray(const Bytes& bytes, LONG lowerBound = 0) {
  CComVariant value;
  value.parray = SafeArrayCreateVector(VT_UI1, lowerBound, static_cast<ULONG>(bytes.size()));
  value.vt = VT_ARRAY | VT_UI1;
  if (!bytes.empty()) std::memcpy(value.parray->pvData, bytes.data(), bytes.size());
  return value;
}

// The bytes of a value that a converter read: a zero-based byte array.
Bytes BytesOf(const CComVariant& value) {
  VARTYPE element = VT_EMPTY;
  LONG lower = -1;
  if (value.vt != (VT_ARRAY | VT_UI1) || FAILED(SafeArrayGetVartype(value.parray, &element)) ||
      element != VT_UI1 || FAILED(SafeArrayGetLBound(value.parray, 1, &lower)) || lower != 0) {
    ADD_FAILURE() << "not a zero-based byte array";
    return {};
  }
  const uint8_t* data = static_cast<const uint8_t*>(value.parray->pvData);
  return Bytes(data, data + value.parray->rgsabound[0].cElements);
}

TEST(Base64TextTest, KnownValuesBothWaysWithWhiteSpaceSkipped) {
  const struct {
    const char* bytes;
    const char16_t* text;
  } rfcVectors[] = {{"", u""},          {"f", u"Zg=="},         {"fo", u"Zm8="},        {"foo", u"Zm9v"},
                    {"foob", u"Zm9vYg=="}, {"fooba", u"Zm9vYmE="}, {"foobar", u"Zm9vYmFy"}};
  for (const auto& v : rfcVectors) {
    const Bytes bytes(v.bytes, v.bytes + std::strlen(v.bytes));
    EXPECT_EQ(v.text, varnel::WriteBase64(bytes.data(), bytes.size()));
    EXPECT_EQ(bytes, ReadBase64(v.text)) << Narrow(v.text);
  }
  EXPECT_EQ((Bytes{0xFB, 0xFF}), ReadBase64(u"+/8="));
  EXPECT_EQ(ReadBase64(u"Zm9vYmFy"), ReadBase64(u" Zm9v\r\nYmFy\t"));
  EXPECT_EQ(ReadBase64(u"Zg=="), ReadBase64(u"Z g = =\n"));
  // Unused low bits of the last character are not checked.
  EXPECT_EQ(ReadBase64(u"Zg=="), ReadBase64(u"Zh=="));
}

TEST(Base64TextTest, RefusesOtherCharactersLengthsAndPadding) {
  for (std::u16string_view bad : Texts{u"Zm9", u"Z", u"Zm9vY", u"Zg=", u"Zg", u"Z===", u"====", u"=Zg=", u"Zg=a",
                                       u"Zg==Zg==", u"Zm9v=", u"Zg===", u"Zm-v", u"Zm_v", u"Zm9v\u00e9AAA",
                                       std::u16string_view(u"Zm9\0vAAA", 8)}) {
    EXPECT_EQ(E_INVALIDARG, FailureOf([&] { ReadBase64(bad); })) << Narrow(bad);
  }
}

TEST(HexTextTest, BothCasesInLowerCaseOutAndOnlyWholePairs) {
  EXPECT_EQ(u"00ff10", varnel::WriteHex(Bytes{0, 0xFF, 0x10}.data(), 3));
  EXPECT_EQ((Bytes{0xDE, 0xAD, 0xBE, 0xEF}), ReadHex(u"DeAd bE\nEF"));
  EXPECT_EQ((Bytes{0xDE}), ReadHex(u" d e "));  // blanks even inside a pair
  for (std::u16string_view bad :
       Texts{u"0", u"abc", u"0g", u"0x10", u"-1", u"\uff10\uff10", std::u16string_view(u"1\0" u"02", 4)}) {
    EXPECT_EQ(E_INVALIDARG, FailureOf([&] { ReadHex(bad); })) << Narrow(bad);
  }
}

class BinaryConverterTest : public testing::TestWithParam<const char16_t*> {};

TEST_P(BinaryConverterTest, EveryByteValueAndTheEmptyArrayRoundTrip) {
  auto converter = Make(GetParam());
  ASSERT_TRUE(converter);
  for (const Bytes& bytes : {AllByteValues(), Bytes{}, Bytes{0}, Bytes{0xFF, 0, 0x80}}) {
    const std::u16string text = converter->VariantToString(ByteArray(bytes));
    EXPECT_EQ(std::u16string::npos, text.find_first_of(u" \r\n"));
    EXPECT_EQ(bytes, BytesOf(converter->StringToVariant(text, true)));
    EXPECT_EQ(bytes, BytesOf(converter->StringToVariant(text, false)));
  }
  EXPECT_EQ(u"", converter->VariantToString(ByteArray({})));
  // Written from the first element whatever its index.
  EXPECT_EQ(converter->VariantToString(ByteArray({7, 8, 9})), converter->VariantToString(ByteArray({7, 8, 9}, -4)));
}

TEST_P(BinaryConverterTest, WritingRefusesAnythingButAByteArray) {
  auto converter = Make(GetParam());
  auto failure = [&](CComVariant value) { return FailureOf([&] { converter->VariantToString(std::move(value)); }); };
  EXPECT_EQ(E_INVALIDARG, failure(CComVariant(u"AAAA")));
  EXPECT_EQ(E_INVALIDARG, failure(CComVariant(5)));
  CComVariant array;
  array.vt = VT_ARRAY | VT_UI1;
  array.parray = nullptr;
  EXPECT_EQ(E_INVALIDARG, failure(array));
  array.parray = SafeArrayCreateVector(VT_I1, 0, 2);
  array.vt = VT_ARRAY | VT_I1;
  EXPECT_EQ(E_INVALIDARG, failure(array));
  array.vt = VT_ARRAY | VT_UI1;  // the tag says bytes, the array holds another type
  EXPECT_EQ(E_INVALIDARG, failure(array));
  CComVariant bytes = ByteArray({1});
  CComVariant reference;
  reference.vt = VT_BYREF | VT_ARRAY | VT_UI1;
  reference.pparray = &bytes.parray;
  EXPECT_EQ(E_INVALIDARG, failure(reference));
}

TEST_P(BinaryConverterTest, IgnoresRangesListsAndUnreadableDefaults) {
  auto converter = Make(GetParam(), Declared{u"not encoded!", u"1", u"2", u"1", {u"AA=="}});
  ASSERT_TRUE(converter);
  EXPECT_EQ(Bytes{}, BytesOf(converter->StringToVariant(u"", true)));
  EXPECT_FALSE(converter->IsOutOfRange(u"!", true));
}

INSTANTIATE_TEST_SUITE_P(BothEncodings, BinaryConverterTest, testing::Values(u"bin.base64", u"bin.hex"),
                         [](const testing::TestParamInfo<const char16_t*>& info) {
                           return std::u16string_view(info.param) == u"bin.hex" ? "Hex" : "Base64";
                         });

TEST(BinaryTypesTest, EachTypeWritesAndReadsOnlyItsOwnForm) {
  const Bytes bytes{0x00, 0xFF, 0x10, 0x55, 0x50, 0x6E, 0x50};
  EXPECT_EQ(u"AP8QVVBuUA==", Make(u"bin.base64")->VariantToString(ByteArray(bytes)));
  EXPECT_EQ(u"00ff1055506e50", Make(u"bin.hex")->VariantToString(ByteArray(bytes)));
  EXPECT_EQ(E_INVALIDARG, FailureOf([] { Make(u"bin.hex")->StringToVariant(u"AP8QVVBuUA==", true); }));
  EXPECT_EQ(E_INVALIDARG, FailureOf([] { Make(u"bin.base64")->StringToVariant(u"00ff1055506e50", true); }));
}

}  // namespace
