// The formatter's conversions and its cut at 1,023 characters, and the cut
// of converted text at 1,023 bytes on a character boundary.
#include <gtest/gtest.h>

#include <string>

#include "log/ansi_text.h"
#include "log/wide_format.h"

namespace {

using opLogSys::kFormatBufferSize;

template <class... Args>
std::u16string Formatted(const char16_t* format, Args... args) {
  char16_t buffer[kFormatBufferSize];
  const size_t length = opLogSys::Format(buffer, kFormatBufferSize, format, args...);
  EXPECT_EQ(std::char_traits<char16_t>::length(buffer), length);
  return std::u16string(buffer, length);
}

TEST(WideFormatTest, ConversionsWithFlagsWidthAndPrecision) {
  EXPECT_EQ(u"[2011/02/05 07:08:09.012]", Formatted(u"[%04d/%02d/%02d %02d:%02d:%02d.%03d]", 2011, 2, 5, 7, 8, 9, 12));
  EXPECT_EQ(u"00042:[label] text", Formatted(u"%05d:[%s] %s", 42, u"label", u"text"));
  EXPECT_EQ(u"-0042|-42  |  -42", Formatted(u"%05d|%-5d|%5d", -42, -42, -42));
  EXPECT_EQ(u"-2147483648 4294967295", Formatted(u"%d %u", INT32_MIN, 0xFFFFFFFFu));
  EXPECT_EQ(u"00000F00 1a2c 1A2C", Formatted(u"%08X %x %X", 0xF00u, 0x1A2Cu, 0x1A2Cu));
  EXPECT_EQ(u"FFFFFFFFFFFFFFFF -1", Formatted(u"%llX %ld", ~0ULL, -1L));
  EXPECT_EQ(u"\u5294|100%|(null)", Formatted(u"%c|100%%|%s", u'\u5294', static_cast<const char16_t*>(nullptr)));
  EXPECT_EQ(u"ab|  abc|abc  |007", Formatted(u"%.2s|%5s|%-5s|%.3d", u"abc", u"abc", u"abc", 7));
  EXPECT_EQ(u"[]", Formatted(u"[%.0d]", 0));
}

TEST(WideFormatTest, ConversionsNotOfferedAreWrittenLiterally) {
  EXPECT_EQ(u"%f %5q %*d 7 %", Formatted(u"%f %5q %*d %d %", 7));
  EXPECT_EQ(u"%ls", Formatted(u"%ls", u"x"));
}

TEST(WideFormatTest, LongTextsAreCutAt1023Characters) {
  const std::u16string longText(2000, u'x');
  const std::u16string cut = Formatted(u"<%s>", longText.c_str());
  EXPECT_EQ(1023u, cut.size());
  EXPECT_EQ(u'<', cut.front());
  EXPECT_EQ(u'x', cut.back());
  EXPECT_EQ(1023u, Formatted(longText.c_str()).size());
  EXPECT_EQ(1023u, Formatted(u"%02000d", 5).size());

  char16_t tiny[4];
  EXPECT_EQ(3u, opLogSys::Format(tiny, 4, u"%d", 123456));
  EXPECT_EQ(u"123", std::u16string(tiny));
  EXPECT_EQ(0u, opLogSys::Format(tiny, 1, u"abc"));
  EXPECT_EQ(u'\0', tiny[0]);
}

TEST(AnsiTextTest, ConversionIsCutAt1023BytesOnACharacterBoundary) {
  EXPECT_EQ(std::string(1023, 'a'), opLogSys::ToAnsi((std::u16string(1023, u'a') + u"\u00e9").c_str()));
  EXPECT_EQ(std::string(1022, 'a'), opLogSys::ToAnsi((std::u16string(1022, u'a') + u"\u00e9").c_str()));
  EXPECT_EQ(std::string(1021, 'a') + "\xC3\xA9", opLogSys::ToAnsi((std::u16string(1021, u'a') + u"\u00e9").c_str()));
  // A surrogate pair is one four-byte character: never split.
  EXPECT_EQ(std::string(1020, 'a'), opLogSys::ToAnsi((std::u16string(1020, u'a') + u"\U0001F600").c_str()));
  EXPECT_EQ("\xEF\xBF\xBD", opLogSys::ToAnsi(u"\xD800"));
  EXPECT_EQ("", opLogSys::ToAnsi(nullptr));
}

}  // namespace
