#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "comrt/bstr.h"
#include "comrt/diagnostics.h"

namespace {

int64_t LiveStrings() { return comrt::diagnostics::GetLiveCounts().strings; }

std::u16string Text(BSTR text) { return std::u16string(text, SysStringLen(text)); }

TEST(BstrTest, AllocationRecordsLengthAndTerminates) {
  BSTR text = SysAllocString(u"hello");
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(5u, SysStringLen(text));
  EXPECT_EQ(10u, SysStringByteLen(text));
  EXPECT_EQ(u'\0', text[5]);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(text) - 4, sizeof prefix);
  EXPECT_EQ(10u, prefix);  // the layout other components read directly
  SysFreeString(text);

  BSTR empty = SysAllocString(u"");
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(0u, SysStringLen(empty));
  SysFreeString(empty);
}

TEST(BstrTest, EmbeddedZerosSurviveLengthAllocation) {
  const OLECHAR source[] = {u'a', 0, u'b', 0};
  BSTR text = SysAllocStringLen(source, 4);
  EXPECT_EQ(std::u16string(source, 4), Text(text));
  EXPECT_EQ(u'\0', text[4]);
  SysFreeString(text);

  BSTR zeros = SysAllocStringLen(nullptr, 3);
  EXPECT_EQ(std::u16string(3, u'\0'), Text(zeros));
  SysFreeString(zeros);
}

TEST(BstrTest, OddByteCountKeepsBytesAndTerminatesBothWays) {
  BSTR text = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(3u, SysStringByteLen(text));
  EXPECT_EQ(1u, SysStringLen(text));
  const char* bytes = reinterpret_cast<const char*>(text);
  EXPECT_EQ(0, std::memcmp(bytes, "abc", 4));  // zero byte right after the data
  EXPECT_EQ(u'\0', text[2]);                    // and a whole zero unit after that
  SysFreeString(text);
}

TEST(BstrTest, NullAndOversizedRequestsAllocateNothing) {
  const int64_t before = LiveStrings();
  EXPECT_EQ(nullptr, SysAllocString(nullptr));
  EXPECT_EQ(nullptr, SysAllocStringLen(nullptr, 0x80000000u));  // byte count past 32 bits
  EXPECT_EQ(nullptr, SysAllocStringLen(u"x", 0xFFFFFFFFu));
  EXPECT_EQ(nullptr, SysAllocStringByteLen(nullptr, 0xFFFFFFFFu));
  EXPECT_EQ(before, LiveStrings());
  EXPECT_EQ(0u, SysStringLen(nullptr));
  EXPECT_EQ(0u, SysStringByteLen(nullptr));
  SysFreeString(nullptr);
}

TEST(BstrTest, EveryAllocationAndFreeIsCounted) {
  const int64_t before = LiveStrings();
  BSTR a = SysAllocString(u"a");
  BSTR b = SysAllocStringLen(nullptr, 0);
  BSTR c = SysAllocStringByteLen(nullptr, 1);
  EXPECT_EQ(before + 3, LiveStrings());
  SysFreeString(a);
  SysFreeString(b);
  SysFreeString(c);
  EXPECT_EQ(before, LiveStrings());
}

TEST(BstrTest, ReallocationMayCopyFromTheOldString) {
  BSTR text = SysAllocString(u"prefix-tail");
  const int64_t before = LiveStrings();
  ASSERT_TRUE(SysReAllocString(&text, text + 7));
  EXPECT_EQ(u"tail", Text(text));
  ASSERT_TRUE(SysReAllocStringLen(&text, text, 2));
  EXPECT_EQ(u"ta", Text(text));
  ASSERT_TRUE(SysReAllocStringLen(&text, nullptr, 2));
  EXPECT_EQ(std::u16string(2, u'\0'), Text(text));
  EXPECT_EQ(before, LiveStrings());

  EXPECT_TRUE(SysReAllocString(&text, nullptr));
  EXPECT_EQ(nullptr, text);
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
  EXPECT_FALSE(SysReAllocStringLen(nullptr, u"x", 1));
}

TEST(BstrTest, FailedReallocationKeepsTheTarget) {
  BSTR text = SysAllocString(u"kept");
  EXPECT_FALSE(SysReAllocStringLen(&text, nullptr, 0x80000000u));
  EXPECT_EQ(u"kept", Text(text));
  SysFreeString(text);
}

}  // namespace
