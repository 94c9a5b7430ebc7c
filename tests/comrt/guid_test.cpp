#include <gtest/gtest.h>

#include <string>

#include "comrt/guid.h"
#include "comrt/diagnostics.h"
#include "comrt/result_codes.h"
#include "comrt/runtime.h"
#include "comrt/text_conversion.h"

namespace {

// Every field holds a distinct byte, so a swapped or misordered field shows.
constexpr GUID kSample = {0x01234567, 0x89AB, 0xCDEF, {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}};
const char16_t kSampleText[] = u"{01234567-89AB-CDEF-1032-547698BADCFE}";

constexpr GUID kGarbage = {0xDEADBEEF, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

TEST(GuidTextTest, WritesUpperCaseBracedFormWithFieldsInOrder) {
  OLECHAR buffer[39];
  ASSERT_EQ(StringFromGUID2(kSample, buffer, 39), 39);
  EXPECT_EQ(std::u16string(buffer), kSampleText);
}

TEST(GuidTextTest, RefusesBufferWithoutRoomForTerminator) {
  OLECHAR buffer[39] = {u'x'};
  EXPECT_EQ(StringFromGUID2(kSample, buffer, 38), 0);
  EXPECT_EQ(buffer[0], u'x');
  EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);
}

TEST(GuidTextTest, ParsesEitherCaseBackToTheSameGuid) {
  CLSID parsed = kGarbage;
  ASSERT_EQ(CLSIDFromString(kSampleText, &parsed), S_OK);
  EXPECT_EQ(parsed, kSample);
  IID lower = kGarbage;
  ASSERT_EQ(IIDFromString(u"{01234567-89ab-cdef-1032-547698badcfe}", &lower), S_OK);
  EXPECT_EQ(lower, kSample);
}

TEST(GuidTextTest, RejectsEverythingButTheExactBracedForm) {
  const char16_t* const malformed[] = {
      u"",
      u"01234567-89AB-CDEF-1032-547698BADCFE",     // no braces
      u"{01234567-89AB-CDEF-1032-547698BADCFE",    // no closing brace
      u"{01234567-89AB-CDEF-1032-547698BADCFE}x",  // trailing text
      u"{01234567-89AB-CDEF-1032-547698BADCF}",    // one digit short
      u"{0123456-789AB-CDEF-1032-547698BADCFE}",   // hyphen misplaced
      u"{01234567-89AB-CDEF-1032+547698BADCFE}",   // wrong separator
      u"{01234567-89AB-CDEF-1032-547698BADCFG}",   // not a hex digit
      u"{01234567-89AB-CDEF-1032-547698BADCF\uFF10}",  // a digit, but not ASCII
      u" {01234567-89AB-CDEF-1032-547698BADCFE}",
      u"{01234567-89AB-CDEF-10325-47698BADCFE}",
  };
  for (const char16_t* text : malformed) {
    SCOPED_TRACE(comrt::ToUtf8(text));
    CLSID clsid = kGarbage;
    EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
    IID iid = kGarbage;
    EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
    EXPECT_EQ(iid, GUID_NULL);
  }
}

TEST(GuidTextTest, NullArguments) {
  CLSID clsid = kGarbage;
  EXPECT_EQ(CLSIDFromString(nullptr, &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, GUID_NULL);
  EXPECT_EQ(CLSIDFromString(kSampleText, nullptr), E_INVALIDARG);
  EXPECT_EQ(IIDFromString(nullptr, &clsid), E_INVALIDARG);
  EXPECT_EQ(IIDFromString(kSampleText, nullptr), E_INVALIDARG);
  EXPECT_EQ(StringFromCLSID(kSample, nullptr), E_POINTER);
}

TEST(GuidTextTest, StringFromClsidHandsOutTaskMemory) {
  const int64_t before = comrt::diagnostics::GetLiveCounts().taskMemory;
  LPOLESTR text = nullptr;
  ASSERT_EQ(StringFromCLSID(kSample, &text), S_OK);
  EXPECT_EQ(std::u16string(text), kSampleText);
  EXPECT_EQ(comrt::diagnostics::GetLiveCounts().taskMemory, before + 1);
  CoTaskMemFree(text);
}

}  // namespace
