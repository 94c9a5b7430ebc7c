// The output log system: per-thread logs through its factory, the filtered
// operations, the error log with its banner, formatting, and the hex dump.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <thread>

#include "comrt/process.h"
#include "log/error_log_banner.h"
#include "log/log_sys_info.h"
#include "log/log_test_support.h"
#include "log/memory_io.h"
#include "log/module_paths.h"
#include "log/output_factories.h"
#include "log/output_log_system.h"
#include "log/record_logs.h"

namespace {

using opLogSys::CBannerMarker;
using opLogSys::COutputLogSystem;
using opLogSys::ILog;
using opLogSys::ILogIO;
using opLogSys::Common::CRefPtr;
using varnel_test::LinesOf;
using varnel_test::ReadFile;
using varnel_test::TemporaryFolder;
using varnel_test::Wide;

// A log that keeps the texts of its records and counts its blocks.
class RecordingLog final : public opLogSys::Common::CReference<ILog> {
 public:
  explicit RecordingLog(DWORD threadId) : threadId_(threadId) {}
  long Indent() override { return 0; }
  long Unindent() override { return 0; }
  long WriteAt(const SYSTEMTIME&, const char16_t* text) override {
    texts.emplace_back(text);
    return 0;
  }
  long Write(const char16_t* text) override {
    texts.emplace_back(text);
    return 0;
  }
  long BeginBlock() override { return ++blocks; }
  long EndBlock() override { return --blocks; }
  DWORD GetThreadId() override { return threadId_; }

  std::vector<std::u16string> texts;
  int blocks = 0;

 private:
  DWORD threadId_;
};

// Hands out recording logs and remembers them by thread.
class RecordingFactory final : public opLogSys::Common::COutputLogSystemFactoryBase {
 public:
  ILogIO* CreateIO(const char16_t* name) override {
    names.emplace_back(name);
    return new varnel_test::MemoryIO;
  }
  ILog* CreateLog(DWORD threadId, ILogIO*) override {
    auto* log = new RecordingLog(threadId);
    std::lock_guard<std::mutex> hold(lock_);
    logs[threadId] = log;
    return log;
  }
  RecordingLog* LogOf(DWORD threadId) {
    std::lock_guard<std::mutex> hold(lock_);
    return logs.count(threadId) ? logs[threadId] : nullptr;
  }

  std::vector<std::u16string> names;
  std::map<DWORD, RecordingLog*> logs;  // each held by the system

 private:
  std::mutex lock_;
};

using Filter = opLogSys::CLogSysInfo::COutputLogState;

class OutputLogSystemTest : public ::testing::Test {
 protected:
  OutputLogSystemTest() {
    factory_ = new RecordingFactory;
    filter_ = new Filter;
    filter_->Add(u"Default", 1, 1);
  }
  COutputLogSystem& System(const std::u16string& errorLogPath = u"") {
    system_ = std::make_unique<COutputLogSystem>(
        u"halden.debug", CRefPtr<opLogSys::IOutputLogSystemFactory>::Share(factory_),
        CRefPtr<opLogSys::ILogFilter>::Share(filter_), errorLogPath, 0xA00000, false, &banner_);
    return *system_;
  }
  std::vector<std::u16string> Texts() {
    RecordingLog* log = factory_->LogOf(GetCurrentThreadId());
    return log ? log->texts : std::vector<std::u16string>();
  }
  ~OutputLogSystemTest() override {
    system_.reset();
    factory_->Release();
    filter_->Release();
  }

  RecordingFactory* factory_;
  Filter* filter_;
  CBannerMarker banner_;
  std::unique_ptr<COutputLogSystem> system_;
};

TEST_F(OutputLogSystemTest, EachThreadWritesThroughItsOwnLogOverOneOutput) {
  COutputLogSystem& system = System();
  system.Write(u"main");
  std::thread([&] { system.Printf(u"worker %d", 7); }).join();
  system.Write(u"main again");
  EXPECT_EQ(std::vector<std::u16string>{u"halden.debug"}, factory_->names);
  ASSERT_EQ(2u, factory_->logs.size());
  EXPECT_EQ((std::vector<std::u16string>{u"main", u"main again"}), Texts());
  for (const auto& [thread, log] : factory_->logs) {
    if (thread != GetCurrentThreadId()) {
      EXPECT_EQ(std::vector<std::u16string>{u"worker 7"}, log->texts);
    }
  }
}

TEST_F(OutputLogSystemTest, FilteredOperationsAskTheFilter) {
  COutputLogSystem& system = System();
  EXPECT_EQ(0, system.WriteFiltered(u"Default", 4, u"dropped"));
  EXPECT_EQ(0, system.WriteFiltered(u"default", 1, u"dropped"));
  system.WriteFiltered(u"Default", 1, u"kept");
  system.PrintfFiltered(u"Default", 1, u"%s %05d", u"kept", 3);
  const unsigned char bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(0, system.HexDumpFiltered(u"Default", 2, u"t", bytes, 4, 65));
  EXPECT_EQ(E_INVALIDARG, system.HexDumpFiltered(u"Default", 1, u"t", bytes, 4, 65));
  const auto texts = Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(u"kept", texts[0]);
  EXPECT_EQ(u"kept 00003", texts[1]);
}

class HexDumpTest : public OutputLogSystemTest {};

constexpr char16_t kPrefix[] = u"\u5294";

TEST_F(HexDumpTest, TwentyBytesAtSixteenALineMakeTwoDataLines) {
  unsigned char bytes[20];
  for (int i = 0; i < 20; ++i) bytes[i] = static_cast<unsigned char>('A' + i);
  const unsigned char controls[] = {0, 7, 8, 9, 10, 12, 13, 11};
  std::copy(std::begin(controls), std::end(controls), bytes + 4);
  COutputLogSystem& system = System();
  EXPECT_EQ(S_OK, system.HexDump(u"packet", bytes, 20, 16));
  const auto texts = Texts();
  ASSERT_EQ(8u, texts.size());
  EXPECT_EQ(u"\u52B5", texts[0]);
  EXPECT_EQ(std::u16string(kPrefix) + u"[packet]", texts[1]);
  EXPECT_EQ(kPrefix, texts[2]);
  EXPECT_EQ(std::u16string(kPrefix) + u" 00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F ", texts[3]);
  EXPECT_EQ(std::u16string(kPrefix) + u" " + std::u16string(24, u'-') + u" " + std::u16string(24, u'-'), texts[4]);
  EXPECT_EQ(std::u16string(kPrefix) + u" 41 42 43 44 00 07 08 09  0A 0C 0D 0B 4D 4E 4F 50     ABCD       \vMNOP",
            texts[5]);
  EXPECT_EQ(std::u16string(kPrefix) + u" 51 52 53 54 " + std::u16string(12, u' ') + u" " + std::u16string(24, u' ') +
                u"    QRST" + std::u16string(12, u' '),
            texts[6]);
  EXPECT_EQ(u"\u52B7", texts[7]);
  EXPECT_EQ(0, factory_->LogOf(GetCurrentThreadId())->blocks);
}

TEST_F(HexDumpTest, BadLineSizeIsRefusedInsideTheFrame) {
  const unsigned char bytes[4] = {};
  COutputLogSystem& system = System();
  EXPECT_EQ(E_INVALIDARG, system.HexDump(u"t", bytes, 4, 65));
  EXPECT_EQ(E_INVALIDARG, system.HexDump(u"t", bytes, 4, 0));
  const auto texts = Texts();
  ASSERT_EQ(8u, texts.size());
  EXPECT_EQ((std::vector<std::u16string>{u"\u52B5", std::u16string(kPrefix) + u"[t]",
                                         std::u16string(kPrefix) + u"Invalided Parameter : nLineSize == 0 || nLineSize > 64",
                                         u"\u52B7"}),
            std::vector<std::u16string>(texts.begin(), texts.begin() + 4));
  EXPECT_EQ(S_OK, system.HexDump(u"t", bytes, 4, 64));
}

TEST_F(HexDumpTest, UnreadableBytesAreRefusedBeforeTheLineSize) {
  const long page = sysconf(_SC_PAGESIZE);
  void* mapped = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(MAP_FAILED, mapped);
  ASSERT_EQ(0, mprotect(static_cast<char*>(mapped) + page, page, PROT_NONE));
  const char* readableEnd = static_cast<char*>(mapped) + page - 8;

  COutputLogSystem& system = System();
  EXPECT_EQ(E_POINTER, system.HexDump(u"t", static_cast<char*>(mapped) + page, 4, 16));
  EXPECT_EQ(E_POINTER, system.HexDump(u"t", readableEnd, 9, 65));  // its last byte is not readable
  EXPECT_EQ(E_POINTER, system.HexDump(u"t", nullptr, 1, 16));
  EXPECT_EQ(S_OK, system.HexDump(u"t", readableEnd, 8, 8));
  munmap(mapped, 2 * page);

  const auto texts = Texts();
  EXPECT_EQ(std::u16string(kPrefix) + u"Bad read Pointer.", texts.at(2));
  EXPECT_EQ(u"\u52B7", texts.at(3));
  EXPECT_EQ(0, factory_->LogOf(GetCurrentThreadId())->blocks);
}

class ErrorLogTest : public OutputLogSystemTest {
 protected:
  TemporaryFolder folder_;
  const std::string path_ = folder_.File("halden.log");
};

TEST_F(ErrorLogTest, FirstRecordOfTheProcessFollowsTheBanner) {
  COutputLogSystem& system = System(Wide(path_));
  EXPECT_EQ(0, system.ErrorWrite(u"[ERR] one"));
  system.ErrorWriteTagged(42, 0, u"label", u"two");
  system.ErrorPrintfTagged(7, 0, u"tag", u"%s=%d", u"three", 3);
  const auto lines = LinesOf(ReadFile(path_));
  ASSERT_EQ(6u, lines.size());
  const std::string header = R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\]\[[0-9A-F]+\]\[[0-9A-F]{8}\] )";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(header + std::string(79, '-'))));
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(header + ".*"))) << lines[1];
  EXPECT_EQ(comrt::ToUtf8(opLogSys::ExecutablePath()), lines[1].substr(lines[1].find("] ") + 2));
  EXPECT_EQ(lines[0], lines[2]);  // same time, process and thread
  EXPECT_TRUE(std::regex_match(lines[3], std::regex(header + R"(\[ERR\] one)")));
  EXPECT_TRUE(std::regex_match(lines[4], std::regex(header + "00042:\\[label\\] two")));
  EXPECT_TRUE(std::regex_match(lines[5], std::regex(header + "00007:\\[tag\\] three=3")));
  // The banner carries the process's start, no later than its records.
  EXPECT_LE(lines[0].substr(0, 25), lines[3].substr(0, 25));
}

TEST_F(ErrorLogTest, SecondModuleOfTheProcessWritesNoBanner) {
  System(Wide(path_)).ErrorWrite(u"first module");
  CBannerMarker otherModule;
  COutputLogSystem second(u"halden.debug", CRefPtr<opLogSys::IOutputLogSystemFactory>::Share(factory_),
                          CRefPtr<opLogSys::ILogFilter>::Share(filter_), Wide(path_), 0xA00000, false, &otherModule);
  second.ErrorWrite(u"second module");
  const auto lines = LinesOf(ReadFile(path_));
  ASSERT_EQ(5u, lines.size());
  EXPECT_NE(std::string::npos, lines[4].find("] second module"));
}

TEST(BannerMutexNameTest, BackslashColonAndFullStopBecomeUnderscores) {
  EXPECT_EQ(u"OPLOGSYS_ERRORLOG_00001A2C_/tmp/a_b/halden_log",
            opLogSys::BannerMutexName(0x1A2C, u"/tmp/a.b/halden.log"));
  EXPECT_EQ(u"OPLOGSYS_ERRORLOG_00000000__x_", opLogSys::BannerMutexName(0, u"\\x:"));
}

// Threads at once, through a real file: a hex dump's block stays together,
// records of the error log stay whole.
TEST(OutputLogSystemThreadsTest, BlocksAndRecordsOfManyThreadsStayWhole) {
  TemporaryFolder folder;
  auto factory = CRefPtr<opLogSys::IOutputLogSystemFactory>::Adopt(
      new opLogSys::File::COutputLogSystemFactory(true, Wide(folder.path().string())));
  auto filter = CRefPtr<Filter>::Adopt(new Filter);
  filter->Add(u"Default", 0, 4);
  CBannerMarker banner;
  COutputLogSystem system(u"halden.debug", std::move(factory), CRefPtr<opLogSys::ILogFilter>::Share(filter.Get()),
                          Wide(folder.File("halden.log")), 0xA00000, false, &banner);
  constexpr int kThreads = 4;
  constexpr int kRounds = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&system, t] {
      const unsigned char bytes[24] = {static_cast<unsigned char>('a' + t)};
      for (int i = 0; i < kRounds; ++i) {
        system.HexDumpFiltered(u"Default", 4, u"dump", bytes, sizeof bytes, 16);
        system.Printf(u"plain %d", t);
        system.ErrorPrintf(u"error %d %d", t, i);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::string perLog;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    if (entry.path().filename().string().rfind("halden.debug-", 0) == 0) perLog = ReadFile(entry.path().string());
  }
  const auto lines = LinesOf(perLog);
  ASSERT_EQ(static_cast<size_t>(kThreads * kRounds * 9), lines.size());
  // Between an opening and a closing line, every line is the same thread's.
  std::string blockThread;
  for (const std::string& line : lines) {
    const std::string thread = line.substr(0, 10);
    const std::string text = line.substr(36);
    if (text == "\xE5\x8A\xB5") {
      EXPECT_EQ("", blockThread);
      blockThread = thread;
    } else if (text == "\xE5\x8A\xB7") {
      EXPECT_EQ(blockThread, thread);
      blockThread.clear();
    } else if (!blockThread.empty()) {
      EXPECT_EQ(blockThread, thread) << line;
    } else {
      EXPECT_EQ(0u, text.find("plain ")) << line;
    }
  }
  const auto errors = LinesOf(ReadFile(folder.File("halden.log")));
  EXPECT_EQ(static_cast<size_t>(3 + kThreads * kRounds), errors.size());
  for (size_t i = 3; i < errors.size(); ++i) {
    EXPECT_TRUE(std::regex_match(errors[i], std::regex(R"(\[[^\]]+\]\[[0-9A-F]+\]\[[0-9A-F]{8}\] error \d \d+)")))
        << errors[i];
  }
}

}  // namespace
