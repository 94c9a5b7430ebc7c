#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "comrt/diagnostics.h"
#include "comrt/runtime.h"

namespace {

int64_t LiveTaskMemory() { return comrt::diagnostics::GetLiveCounts().taskMemory; }

TEST(TaskMemoryTest, CountsLiveBlocks) {
  const int64_t before = LiveTaskMemory();
  void* block = CoTaskMemAlloc(16);
  void* empty = CoTaskMemAlloc(0);
  ASSERT_NE(block, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(block, empty);
  EXPECT_EQ(LiveTaskMemory(), before + 2);
  CoTaskMemFree(block);
  CoTaskMemFree(empty);
  CoTaskMemFree(nullptr);
  EXPECT_EQ(LiveTaskMemory(), before);
}

TEST(TaskMemoryTest, ReallocKeepsContentsAndCount) {
  const int64_t before = LiveTaskMemory();
  auto* block = static_cast<char*>(CoTaskMemAlloc(4));
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(CoTaskMemRealloc(block, 1 << 20));
  ASSERT_NE(block, nullptr);
  EXPECT_STREQ(block, "abc");
  EXPECT_EQ(LiveTaskMemory(), before + 1);
  EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);  // frees
  EXPECT_EQ(LiveTaskMemory(), before);

  void* fresh = CoTaskMemRealloc(nullptr, 8);  // allocates
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(LiveTaskMemory(), before + 1);
  CoTaskMemFree(fresh);
}

TEST(RuntimeTest, LastErrorBelongsToItsThread) {
  SetLastError(ERROR_MORE_DATA);
  DWORD seenElsewhere = 1;
  std::thread other([&] {
    seenElsewhere = GetLastError();
    SetLastError(ERROR_ACCESS_DENIED);
  });
  other.join();
  EXPECT_EQ(seenElsewhere, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
}

}  // namespace
