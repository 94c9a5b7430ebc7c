#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "comrt/text_conversion.h"

namespace {

// "aé€😀": one, two, three and four UTF-8 bytes; the last is a surrogate pair.
const char kUtf8[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
const char16_t kUtf16[] = u"a\u00E9\u20AC\U0001F600";

std::u16string Widen(const std::string& bytes, DWORD flags = 0) {
  const int needed = MultiByteToWideChar(CP_UTF8, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(needed), u'?');
  if (needed > 0) {
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), needed),
              needed);
  }
  return out;
}

std::string Narrow(const std::u16string& text, DWORD flags = 0) {
  const int needed =
      WideCharToMultiByte(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed), '?');
  if (needed > 0) {
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), out.data(), needed,
                                  nullptr, nullptr),
              needed);
  }
  return out;
}

TEST(TextConversionTest, ConvertsEveryEncodedLengthBothWays) {
  EXPECT_EQ(Widen(kUtf8), kUtf16);
  EXPECT_EQ(Narrow(kUtf16), kUtf8);
  EXPECT_EQ(comrt::FromUtf8(kUtf8), kUtf16);
  EXPECT_EQ(comrt::ToUtf8(kUtf16), kUtf8);
}

TEST(TextConversionTest, TerminatedInputCountsItsTerminator) {
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, nullptr, 0), 6);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, nullptr, 0, nullptr, nullptr), 11);

  char16_t wide[6];
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, wide, 6), 6);
  EXPECT_EQ(std::u16string(wide), kUtf16);
  char narrow[11];
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, narrow, 11, nullptr, nullptr), 11);
  EXPECT_STREQ(narrow, kUtf8);
}

TEST(TextConversionTest, ExplicitLengthKeepsEmbeddedZeros) {
  EXPECT_EQ(Widen(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(comrt::ToUtf8(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextConversionTest, BufferOneShortFailsWithInsufficientBuffer) {
  char16_t wide[5];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, wide, 5), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  char narrow[10];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, narrow, 10, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(TextConversionTest, LoneSurrogatesBecomeReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(Narrow(std::u16string(1, char16_t(0xD83D)) + u"x"), replacement + "x");  // high, then no low
  EXPECT_EQ(Narrow(u"x" + std::u16string(1, char16_t(0xDE00))), "x" + replacement);  // low alone
  EXPECT_EQ(Narrow(std::u16string(1, char16_t(0xD83D))), replacement);               // high at the end
  // A low before a high is two lone surrogates, not a pair.
  EXPECT_EQ(Narrow(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), replacement + replacement);

  SetLastError(0);
  const char16_t lone[] = {0xD83D, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(TextConversionTest, IllFormedUtf8IsReplacedPerMaximalSubpart) {
  struct Case {
    const char* bytes;
    std::u16string expected;
  };
  const Case cases[] = {
      // The worked example of the Unicode standard's substitution practice.
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64", u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
      {"\xE2\x82" "A", u"\uFFFDA"},                      // truncated three-byte sequence
      {"\xF0\x9F\x98", u"\uFFFD"},                       // truncated at the end of input
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                     // overlong two-byte form
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},           // overlong three-byte form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},           // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xFF" "b", u"\uFFFDb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(Widen(c.bytes), c.expected);
    EXPECT_EQ(comrt::FromUtf8(c.bytes), c.expected);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes, -1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
}

TEST(TextConversionTest, ProcessAndThreadCodePagesAreUtf8) {
  for (UINT codePage : {CP_ACP, CP_THREAD_ACP}) {
    char16_t wide[6];
    ASSERT_EQ(MultiByteToWideChar(codePage, 0, kUtf8, -1, wide, 6), 6);
    EXPECT_EQ(std::u16string(wide), kUtf16);
    char narrow[11];
    ASSERT_EQ(WideCharToMultiByte(codePage, 0, kUtf16, -1, narrow, 11, nullptr, nullptr), 11);
    EXPECT_STREQ(narrow, kUtf8);
  }
}

TEST(TextConversionTest, RefusesBadArgumentsThroughTheLastError) {
  char16_t wide[8];
  char narrow[8];
  BOOL usedDefault = FALSE;
  struct Call {
    const char* what;
    std::function<int()> call;
    DWORD error;
  };
  const Call calls[] = {
      {"null input", [&] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, wide, 8); }, ERROR_INVALID_PARAMETER},
      {"empty input", [&] { return WideCharToMultiByte(CP_UTF8, 0, u"abc", 0, narrow, 8, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"null output", [&] { return MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 8); }, ERROR_INVALID_PARAMETER},
      {"other code page", [&] { return MultiByteToWideChar(1252, 0, "abc", 3, wide, 8); }, ERROR_INVALID_PARAMETER},
      {"unknown flag", [&] { return MultiByteToWideChar(CP_UTF8, 0x4, "abc", 3, wide, 8); }, ERROR_INVALID_FLAGS},
      {"used default", [&] { return WideCharToMultiByte(CP_ACP, 0, u"abc", 3, narrow, 8, nullptr, &usedDefault); },
       ERROR_INVALID_PARAMETER},
  };
  for (const Call& c : calls) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_EQ(c.call(), 0);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

}  // namespace
