// Text written straight into a body: against a plain character-by-character
// escaper, on text of every kind and length, across the blocks the writer
// grows its output by.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "soap/markup_text.h"

namespace varnel_test {
namespace {

// What the DOM writes for `text`, one character at a time; false for text
// XML cannot carry.
bool Reference(std::u16string_view text, bool attribute, std::string& out) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if ((c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
      return false;
    }
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '\r') out += "&#13;";
    else if (attribute && c == '"') out += "&quot;";
    else if (attribute && c == '\t') out += "&#9;";
    else if (attribute && c == '\n') out += "&#10;";
    else if (c < 0x80) out += static_cast<char>(c);
    else if (c < 0x800) out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    else if (c < 0x10000)
      out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    else
      out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
              static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
  }
  return true;
}

void ExpectAsReference(std::u16string_view text, const char* what) {
  for (bool attribute : {false, true}) {
    std::string expected = "head";
    const bool fine = Reference(text, attribute, expected);
    varnel::TextBuffer out;
    out += "head";
    const bool written = attribute ? varnel::AppendAttributeValue(text, out) : varnel::AppendElementText(text, out);
    ASSERT_EQ(fine, written) << what << (attribute ? " (attribute)" : " (element)");
    if (fine) {
      EXPECT_EQ(expected, std::string(out.View())) << what << (attribute ? " (attribute)" : " (element)");
    }
  }
}

TEST(MarkupTextTest, EscapesAsTheDomWritesAcrossEveryBlock) {
  std::mt19937 random(2024);
  const char16_t kUnits[] = {u'a', u'Z', u'0', u' ', u'&', u'<', u'>', u'"', u'\'', u'\t', u'\n', u'\r', u'\x7F',
                             u'\x80', u'\xE9', u'\x07FF', u'\x0800', u'\x4E2D', u'\xFFFD', u'\xD83D', u'\xDE00'};
  for (size_t length : {0u, 1u, 7u, 1023u, 1024u, 1025u, 2047u, 2048u, 2049u, 5000u}) {
    for (int round = 0; round < 20; ++round) {
      std::u16string text;
      for (size_t i = 0; i < length; ++i) {
        // Mostly well-formed pairs, now and then a lone half.
        const char16_t unit = kUnits[random() % (sizeof kUnits / sizeof kUnits[0])];
        if (unit == u'\xD83D' && random() % 8 != 0) {
          text += u"\xD83D\xDE00";
          ++i;
        } else {
          text += unit;
        }
      }
      ExpectAsReference(text, "random text");
    }
  }
  // Every way a block can end: on a reference, inside a pair, on the last unit.
  for (size_t before : {1021u, 1022u, 1023u, 1024u}) {
    for (const char16_t* tail : {u"&&&&", u"\xD83D\xDE00\xD83D\xDE00", u"\"\"\"\"", u"\x4E2D\x4E2D"}) {
      ExpectAsReference(std::u16string(before, u'x') + tail, "block end");
    }
  }
}

TEST(MarkupTextTest, RefusesWhatXmlCannotCarryAnywhereInTheText) {
  for (const std::u16string& bad : {std::u16string(u"\x01"), std::u16string(1, u'\0'), std::u16string(u"\x1F"),
                                    std::u16string(u"\xD800"), std::u16string(u"\xDC00\xD800"),
                                    std::u16string(u"\xFFFE"), std::u16string(u"\xFFFF")}) {
    for (size_t at : {0u, 5u, 1023u, 1024u, 3000u}) {
      std::u16string text(3001, u'a');
      text.replace(at, bad.size(), bad);
      ExpectAsReference(text, "refused");
    }
  }
}

TEST(MarkupTextTest, PlainNamesAreTheAsciiNamesWrittenAsTheyAre) {
  for (const char16_t* name : {u"A", u"_x", u"a.b-c_9", u"InstanceID"}) EXPECT_TRUE(varnel::IsPlainName(name)) << name;
  for (const char16_t* name : {u"", u"9a", u"-a", u".a", u"a b", u"a:b", u"a<b", u"\xE9t\xE9", u"a\x01"}) {
    EXPECT_FALSE(varnel::IsPlainName(name));
  }
}

TEST(MarkupTextTest, Utf8OfHeadersReplacesLoneSurrogates) {
  std::string out;
  varnel::AppendUtf8(u"a\xE9\x4E2D\xD83D\xDE00\xD800z", out);
  EXPECT_EQ("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBDz", out);
}

}  // namespace
}  // namespace varnel_test
