// "string", "uri", "uuid", "char" and "boolean".
#include <gtest/gtest.h>

#include "datatypes/converter_test_support.h"

namespace {

using datatypes_test::Declared;
using datatypes_test::FailureOf;
using datatypes_test::Make;

Declared Listed(std::vector<std::u16string> allowed) {
  Declared declared;
  declared.allowed = std::move(allowed);
  return declared;
}

TEST(StringTypesTest, ListIsMatchedExactlyAndCaseSensitively) {
  for (const char16_t* dataType : {u"string", u"uri", u"uuid"}) {
    auto converter = Make(dataType, Listed({u"A", u"B"}));
    EXPECT_EQ(std::u16string(u"A"), converter->StringToVariant(u"A", true).bstrVal);
    EXPECT_EQ(E_INVALIDARG, FailureOf([&] { converter->StringToVariant(u"a", true); }));
    EXPECT_EQ(E_INVALIDARG, FailureOf([&] { converter->StringToVariant(u"A ", true); }));
    EXPECT_EQ(E_INVALIDARG, FailureOf([&] { converter->StringToVariant(u"", true); }));
    EXPECT_EQ(u"B", converter->VariantToString(CComVariant(u"B")));
    EXPECT_EQ(E_INVALIDARG, FailureOf([&] { converter->VariantToString(CComVariant(u"C")); }));
  }
}

TEST(StringTypesTest, WithoutListEveryTextPassesAndNoSyntaxIsChecked) {
  auto uuid = Make(u"uuid");
  const CComVariant empty = uuid->StringToVariant(u"", false);
  ASSERT_EQ(VT_BSTR, empty.vt);
  ASSERT_NE(nullptr, empty.bstrVal);
  EXPECT_EQ(0u, SysStringLen(empty.bstrVal));
  EXPECT_EQ(u"not a uuid at all", uuid->VariantToString(CComVariant(u"not a uuid at all")));
  // A range on a string variable restricts nothing.
  const Declared range{u"", u"1", u"2"};
  EXPECT_EQ(u"zzz", Make(u"string", range)->VariantToString(CComVariant(u"zzz")));
}

TEST(StringTypesTest, WritingStopsAtAnEmbeddedZeroAndNeedsAString) {
  auto string = Make(u"string");
  CComVariant withZero;
  withZero.vt = VT_BSTR;
  withZero.bstrVal = SysAllocStringLen(u"ab\0cd", 5);
  EXPECT_EQ(u"ab", string->VariantToString(withZero));
  CComVariant nullText;
  nullText.vt = VT_BSTR;
  nullText.bstrVal = nullptr;
  EXPECT_EQ(u"", string->VariantToString(nullText));
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { string->VariantToString(CComVariant(5)); }));
}

TEST(CharTest, OneCodeUnitHeldAsUi2) {
  auto character = Make(u"char");
  const CComVariant read = character->StringToVariant(u"x", false);
  ASSERT_EQ(VT_UI2, read.vt);
  EXPECT_EQ(u'x', read.uiVal);
  EXPECT_EQ(u"\u00e9", character->VariantToString(character->StringToVariant(u"\u00e9", false)));
  for (std::u16string_view bad : {std::u16string_view(u""), std::u16string_view(u"xy"),
                                  std::u16string_view(u"\U0001F600")}) {
    EXPECT_EQ(E_INVALIDARG, FailureOf([&] { character->StringToVariant(bad, true); }));
  }
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { character->VariantToString(CComVariant(u"x")); }));
}

TEST(CharTest, ListAndDefaultMustBeSingleCharacters) {
  auto listed = Make(u"char", Listed({u"a", u"b"}));
  EXPECT_EQ(u'b', listed->StringToVariant(u"b", true).uiVal);
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { listed->StringToVariant(u"c", true); }));
  CComVariant c;
  c.vt = VT_UI2;
  c.uiVal = u'c';
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { listed->VariantToString(c); }));
  EXPECT_EQ(E_INVALIDARG, FailureOf([] { Make(u"char", Listed({u"a", u"bc"})); }));
  EXPECT_EQ(E_INVALIDARG, FailureOf([] { Make(u"char", Declared{u"ab"}); }));
  EXPECT_TRUE(Make(u"char", Declared{u"a"}));
}

TEST(BooleanTest, SixSpellingsExactly) {
  auto boolean = Make(u"boolean");
  for (const char16_t* yes : {u"1", u"true", u"yes"}) {
    const CComVariant value = boolean->StringToVariant(yes, true);
    ASSERT_EQ(VT_BOOL, value.vt);
    EXPECT_EQ(VARIANT_TRUE, value.boolVal);
  }
  for (const char16_t* no : {u"0", u"false", u"no"}) EXPECT_EQ(VARIANT_FALSE, boolean->StringToVariant(no, true).boolVal);
  for (const char16_t* bad : {u"True", u"TRUE", u"on", u" true", u"true ", u"", u"2", u"-1"}) {
    EXPECT_EQ(E_INVALIDARG, FailureOf([&] { boolean->StringToVariant(bad, false); }));
  }
}

TEST(BooleanTest, OnlyAllBitsSetIsWrittenAsTrue) {
  auto boolean = Make(u"boolean");
  EXPECT_EQ(u"1", boolean->VariantToString(CComVariant(true)));
  EXPECT_EQ(u"0", boolean->VariantToString(CComVariant(false)));
  CComVariant one;
  one.vt = VT_BOOL;
  one.boolVal = 1;
  EXPECT_EQ(u"0", boolean->VariantToString(one));
  EXPECT_EQ(E_INVALIDARG, FailureOf([&] { boolean->VariantToString(CComVariant(1)); }));
}

TEST(BooleanTest, UnreadableDefaultFailsTheConverter) {
  EXPECT_EQ(E_INVALIDARG, FailureOf([] { Make(u"boolean", Declared{u"True"}); }));
  EXPECT_TRUE(Make(u"boolean", Declared{u"yes"}));
}

}  // namespace
