// The scope-lived byte sink into which written documents are saved.
#include "com/memory_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MemoryStreamTest, CollectsWritesInOrder) {
  IStreamImplOnMemory stream;
  EXPECT_EQ(0, stream.GetWrittenCount());
  ULONG written = 0;
  EXPECT_EQ(S_OK, stream.Write("<a>", 3, &written));
  EXPECT_EQ(3u, written);
  EXPECT_EQ(S_OK, stream.Write("</a>", 4, nullptr));
  ASSERT_EQ(7, stream.GetWrittenCount());
  EXPECT_EQ("<a></a>", std::string(stream.GetWrittenBytes(), 7));
  const std::string large(1 << 20, 'x');
  EXPECT_EQ(S_OK, stream.Write(large.data(), static_cast<ULONG>(large.size()), &written));
  EXPECT_EQ((1 << 20) + 7, stream.GetWrittenCount());
}

TEST(MemoryStreamTest, ShortReadFailsTheStreamForGood) {
  IStreamImplOnMemory stream;
  stream.Write("abcd", 4, nullptr);
  char buffer[10] = {};
  ULONG read = 0;
  EXPECT_EQ(E_FAIL, stream.Read(buffer, 10, &read));
  EXPECT_EQ(4u, read);
  EXPECT_EQ("abcd", std::string(buffer, 4));
  ULONG written = 99;
  EXPECT_EQ(E_FAIL, stream.Write("e", 1, &written));
  EXPECT_EQ(0u, written);
}

TEST(MemoryStreamTest, AnswersOnlyIUnknownAndIStreamAndCountsNothing) {
  IStreamImplOnMemory stream;
  void* object = nullptr;
  EXPECT_EQ(S_OK, stream.QueryInterface(IID_IStream, &object));
  EXPECT_EQ(static_cast<IStream*>(&stream), object);
  EXPECT_EQ(S_OK, stream.QueryInterface(IID_IUnknown, &object));
  EXPECT_EQ(E_NOINTERFACE, stream.QueryInterface(IID_ISequentialStream, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, stream.QueryInterface(IID_IStream, nullptr));
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(1u, stream.Release());
    EXPECT_EQ(2u, stream.AddRef());
  }
  STATSTG stat;
  EXPECT_EQ(E_NOTIMPL, stream.Stat(&stat, STATFLAG_NONAME));
  EXPECT_EQ(E_NOTIMPL, stream.Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
  EXPECT_EQ(E_NOTIMPL, stream.Clone(nullptr));
  EXPECT_EQ(0, stream.GetWrittenCount());
}

TEST(MemoryStreamTest, NullBufferWithACountFailsInsteadOfCrashing) {
  IStreamImplOnMemory stream;
  ULONG written = 5;
  EXPECT_EQ(E_FAIL, stream.Write(nullptr, 3, &written));
  EXPECT_EQ(0u, written);
}

}  // namespace
