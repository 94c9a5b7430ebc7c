// The two record writers over an in-memory output: headers, indentation,
// blocks, and how each takes the output's lock.
#include <gtest/gtest.h>

#include "comrt/process.h"
#include "log/log_test_support.h"
#include "log/memory_io.h"
#include "log/record_logs.h"

namespace {

using opLogSys::CErrorLog;
using opLogSys::CLog;
using opLogSys::Common::CRefPtr;
using varnel_test::MemoryIO;

SYSTEMTIME SampleTime() {
  SYSTEMTIME time{};
  time.wYear = 2011;
  time.wMonth = 2;
  time.wDay = 15;
  time.wHour = 10;
  time.wMinute = 20;
  time.wSecond = 30;
  time.wMilliseconds = 123;
  return time;
}

TEST(ErrorLogRecordTest, HeaderCarriesTimeProcessAndThreadThenTextAndLineEnd) {
  EXPECT_EQ(u"[2011/02/15 10:20:30.123][1A2C][00000F00] ", opLogSys::ErrorLogRecordHeader(SampleTime(), 0x1A2C, 0xF00));
  EXPECT_EQ(u"[2011/02/15 10:20:30.123][0][FFFFFFFF] ", opLogSys::ErrorLogRecordHeader(SampleTime(), 0, 0xFFFFFFFF));

  auto output = CRefPtr<MemoryIO>::Adopt(new MemoryIO);
  auto log = CRefPtr<CErrorLog>::Adopt(new CErrorLog(output.Get()));
  log->WriteAt(SampleTime(), u"[ERR] x {./src/a.cpp,1}");
  const auto pieces = output->Pieces();
  ASSERT_EQ(3u, pieces.size());
  EXPECT_EQ(opLogSys::ErrorLogRecordHeader(SampleTime(), GetCurrentProcessId(), GetCurrentThreadId()), pieces[0]);
  EXPECT_EQ(u"[ERR] x {./src/a.cpp,1}", pieces[1]);
  EXPECT_EQ(u"\r\n", pieces[2]);
  // The error log file opens at Lock and closes at Unlock: once per record.
  EXPECT_EQ(1, output->locks());
  EXPECT_EQ(1, output->unlocks());
}

TEST(LogRecordTest, HeaderAndIndentationStandRightBeforeTheText) {
  auto output = CRefPtr<MemoryIO>::Adopt(new MemoryIO);
  auto log = CRefPtr<CLog>::Adopt(new CLog(0xABC, output.Get()));
  log->WriteAt(SampleTime(), u"text");
  log->Indent();
  log->Indent();
  log->WriteAt(SampleTime(), u"deeper");
  const auto pieces = output->Pieces();
  ASSERT_EQ(6u, pieces.size());
  EXPECT_EQ(u"[00000ABC][2011/02/15(10:20:30.123)]", pieces[0]);
  EXPECT_EQ(u"text", pieces[1]);
  EXPECT_EQ(u"\r\n", pieces[2]);
  EXPECT_EQ(u"[00000ABC][2011/02/15(10:20:30.123)]\u5286", pieces[3]);
  EXPECT_EQ(0xABCu, log->GetThreadId());
}

TEST(LogRecordTest, IndentationShowsStepsAboveOneUpToSixtyThree) {
  const std::u16string header = u"[00000001][2011/02/15(10:20:30.123)]";
  EXPECT_EQ(header, opLogSys::LogRecordHeader(1, SampleTime(), 0));
  EXPECT_EQ(header, opLogSys::LogRecordHeader(1, SampleTime(), 1));
  EXPECT_EQ(header + std::u16string(62, u'\u5286'), opLogSys::LogRecordHeader(1, SampleTime(), 63));
  EXPECT_EQ(header + std::u16string(63, u'\u5286'), opLogSys::LogRecordHeader(1, SampleTime(), 64));
  EXPECT_EQ(header + std::u16string(63, u'\u5286'), opLogSys::LogRecordHeader(1, SampleTime(), 70));

  auto output = CRefPtr<MemoryIO>::Adopt(new MemoryIO);
  auto log = CRefPtr<CLog>::Adopt(new CLog(1, output.Get()));
  for (int i = 0; i < 70; ++i) log->Indent();
  log->WriteAt(SampleTime(), u"x");
  EXPECT_EQ(header + std::u16string(63, u'\u5286'), output->Pieces().at(0));
}

TEST(LogRecordTest, BlocksHoldTheOutputAndFlushOnlyAtTheOutermostEnd) {
  auto output = CRefPtr<MemoryIO>::Adopt(new MemoryIO);
  auto log = CRefPtr<CLog>::Adopt(new CLog(1, output.Get()));
  log->BeginBlock();
  log->BeginBlock();
  log->Write(u"inside");
  log->EndBlock();
  EXPECT_EQ(0, output->flushes());
  log->EndBlock();
  EXPECT_EQ(1, output->flushes());
  EXPECT_EQ(3, output->locks());  // two blocks and one record
  EXPECT_EQ(3, output->unlocks());
  // An unmatched end still gives the lock back, and flushes.
  log->EndBlock();
  EXPECT_EQ(4, output->unlocks());
  EXPECT_EQ(2, output->flushes());
}

}  // namespace
