// The error log file: records through the named mutex, the size check at
// close that moves the file to its one backup, and what happens when the
// file cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <thread>
#include <vector>

#include "log/error_log_io.h"
#include "log/log_test_support.h"
#include "log/record_logs.h"

namespace {

using opLogSys::CErrorLog;
using opLogSys::COutputErrorLogIO;
using opLogSys::Common::CRefPtr;
using varnel_test::ReadFile;
using varnel_test::TemporaryFolder;
using varnel_test::Wide;
using varnel_test::WriteFile;

constexpr DWORD kLimit = 0xA00000;

class ErrorLogFileTest : public ::testing::Test {
 protected:
  // One record, as the log system writes each: a new output and writer.
  void Record(const char16_t* text, DWORD limit = kLimit) {
    auto output = CRefPtr<COutputErrorLogIO>::Adopt(new COutputErrorLogIO(Wide(path_), limit, false));
    auto log = CRefPtr<CErrorLog>::Adopt(new CErrorLog(output.Get()));
    log->Write(text);
  }
  static off_t SizeOf(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 ? status.st_size : -1;
  }

  TemporaryFolder folder_;
  const std::string path_ = folder_.File("halden.log");
  const std::string backup_ = path_ + ".bak";
};

TEST_F(ErrorLogFileTest, RecordTakingTheFilePastTheLimitMovesItOverAReadOnlyBackup) {
  WriteFile(path_, std::string(kLimit - 10, 'x'));
  WriteFile(backup_, "older backup");
  ASSERT_EQ(0, ::chmod(backup_.c_str(), 0444));

  Record(u"the record that crosses the limit");
  EXPECT_EQ(-1, SizeOf(path_));
  const std::string moved = ReadFile(backup_);
  EXPECT_GT(moved.size(), kLimit);
  EXPECT_EQ(std::string(kLimit - 10, 'x'), moved.substr(0, kLimit - 10));
  EXPECT_NE(std::string::npos, moved.find("the record that crosses the limit\r\n"));

  Record(u"a new file");
  const auto lines = varnel_test::LinesOf(ReadFile(path_));
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("a new file"));
  EXPECT_EQ(moved, ReadFile(backup_));
}

TEST_F(ErrorLogFileTest, FileExactlyAtTheLimitStays) {
  WriteFile(path_, std::string(100, 'x'));
  auto output = CRefPtr<COutputErrorLogIO>::Adopt(new COutputErrorLogIO(Wide(path_), 100, false));
  output->Lock();
  output->Unlock();
  EXPECT_EQ(100, SizeOf(path_));
  EXPECT_EQ(1, output->Write(u"y"));
  EXPECT_EQ(-1, SizeOf(path_));
  EXPECT_EQ(101, SizeOf(backup_));
}

TEST_F(ErrorLogFileTest, FailedMoveKeepsTheFileAndTriesAgainAtTheNextClose) {
  WriteFile(path_, std::string(200, 'x'));
  ASSERT_EQ(0, ::mkdir(backup_.c_str(), 0755));
  WriteFile(backup_ + "/keeps-it-from-going", "");
  Record(u"one", 100);
  EXPECT_GT(SizeOf(path_), 200);
  std::filesystem::remove_all(backup_);
  Record(u"two", 100);
  EXPECT_EQ(-1, SizeOf(path_));
  const std::string moved = ReadFile(backup_);
  EXPECT_NE(std::string::npos, moved.find("one\r\n"));
  EXPECT_NE(std::string::npos, moved.find("two\r\n"));
}

TEST_F(ErrorLogFileTest, FileThatCannotBeOpenedLosesTheRecordAndWritesNothing) {
  ASSERT_EQ(0, ::mkdir(path_.c_str(), 0755));
  auto output = CRefPtr<COutputErrorLogIO>::Adopt(new COutputErrorLogIO(Wide(path_), kLimit, false));
  EXPECT_EQ(0, output->Write(u"lost"));
  EXPECT_EQ(0, output->WriteLine(u"lost"));
  Record(u"lost");  // and the writer goes on

  auto nowhere = CRefPtr<COutputErrorLogIO>::Adopt(new COutputErrorLogIO(u"", kLimit, false));
  EXPECT_EQ(0, nowhere->Write(u"lost"));
}

TEST_F(ErrorLogFileTest, ALongTextIsCutButItsRecordKeepsItsLineEnd) {
  Record(std::u16string(3000, u'x').c_str());
  Record(u"next");
  const std::string content = ReadFile(path_);
  const size_t firstEnd = content.find("\r\n");
  ASSERT_NE(std::string::npos, firstEnd);
  EXPECT_EQ(std::string(1023, 'x'), content.substr(firstEnd - 1023, 1023));
  EXPECT_EQ("next\r\n", content.substr(content.size() - 6));
  EXPECT_EQ(2u, varnel_test::LinesOf(content).size());
}

TEST_F(ErrorLogFileTest, MutexIsNamedAfterTheFileWithoutFolderOrExtension) {
  EXPECT_EQ(u"COutputErrorLogIO::halden", COutputErrorLogIO::MutexNameFor(u"/var/log.d/halden.log"));
  EXPECT_EQ(u"COutputErrorLogIO::halden.old", COutputErrorLogIO::MutexNameFor(u"/var/halden.old.log"));
  EXPECT_EQ(u"COutputErrorLogIO::plain", COutputErrorLogIO::MutexNameFor(u"plain"));
}

// Writers that share nothing but the file's name keep their records whole:
// the named mutex holds from a record's open to its close.
TEST_F(ErrorLogFileTest, ThreadsWritingThroughTheirOwnOutputsTearNoLine) {
  constexpr int kThreads = 4;
  constexpr int kRecords = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      const std::u16string text = u"thread " + Wide(std::to_string(t)) + u" " + std::u16string(200, u'a' + t);
      for (int i = 0; i < kRecords; ++i) Record(text.c_str());
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::regex whole(R"(\[[^\]]+\]\[[0-9A-F]+\]\[[0-9A-F]{8}\] thread (\d) ([a-d])\2{199})");
  const auto lines = varnel_test::LinesOf(ReadFile(path_));
  EXPECT_EQ(static_cast<size_t>(kThreads * kRecords), lines.size());
  for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, whole)) << line.substr(0, 80);
}

}  // namespace
