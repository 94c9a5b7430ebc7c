// The log as a host program meets it: a real executable, copied into a folder
// of its own, loads the library file and makes calls fail; what reaches
// "halden.log" beside it depends on the configuration file there.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "log/log_test_support.h"

extern char** environ;

namespace {

using varnel_test::LinesOf;
using varnel_test::ReadFile;
using varnel_test::TemporaryFolder;
using varnel_test::WriteFile;

constexpr size_t kLimit = 0xA00000;
const std::string kRule(79, '-');

struct Record {
  std::string processId;
  std::string threadId;
  std::string body;
};

class LogHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(LOG_HOST_PATH, host_);
    std::filesystem::permissions(host_, std::filesystem::perms::owner_all);
  }

  // Starts the host; its process id.
  pid_t Start(const std::string& kind, int count, const std::string& library = VARNEL_LIBRARY_PATH) {
    const std::string countText = std::to_string(count);
    std::vector<char*> argv = {const_cast<char*>(host_.c_str()), const_cast<char*>(library.c_str()),
                               const_cast<char*>(kind.c_str()), const_cast<char*>(countText.c_str()), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(0, posix_spawn(&pid, host_.c_str(), nullptr, nullptr, argv.data(), environ));
    return pid;
  }
  // The host's exit status (-1 when it did not exit normally).
  static int Wait(pid_t pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  int Run(const std::string& kind, int count = 1, const std::string& library = VARNEL_LIBRARY_PATH) {
    return Wait(Start(kind, count, library));
  }
  static std::string HexPid(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(pid));
    return text;
  }

  void Configure(const std::string& name, const std::string& filters,
                 const std::string& factory = "opLogSys::Null::COutputLogSystemFactory") {
    WriteFile(folder_.File(name), "<?xml version=\"1.0\"?>\n<LOGCONFIG>\n  <FACTORY name=\"IOutputLogSystemFactory\" "
                                  "class=\"" + factory + "\"/>\n  <FILTERLIST>" + filters + "</FILTERLIST>\n</LOGCONFIG>\n");
  }
  static std::string Filter(const std::string& subject, int min, int max) {
    return "<FILTER subject=\"" + subject + "\" minLevel=\"" + std::to_string(min) + "\" maxLevel=\"" +
           std::to_string(max) + "\"/>";
  }

  // The records of a file; any line that is not a whole record is counted in
  // `others`.
  static std::vector<Record> Records(const std::string& path, size_t* others = nullptr) {
    static const std::regex record(
        R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\]\[([0-9A-F]+)\]\[([0-9A-F]{8})\] (.*))");
    std::vector<Record> records;
    size_t unmatched = 0;
    for (const std::string& line : LinesOf(ReadFile(path))) {
      std::smatch match;
      if (std::regex_match(line, match, record)) {
        records.push_back({match[1], match[2], match[3]});
      } else {
        ++unmatched;
      }
    }
    if (others) *others = unmatched;
    return records;
  }
  std::vector<Record> Records() const { return Records(log_); }
  // The bodies of the records that are not banner lines.
  std::vector<std::string> Lines() const {
    std::vector<std::string> bodies;
    for (const Record& record : Records()) {
      if (record.body != kRule && record.body != executable_) bodies.push_back(record.body);
    }
    return bodies;
  }
  static bool IsTraceLine(const std::string& body, const std::string& tag) {
    static const std::regex line(R"(\[(ERR|DBG)\] .+ \{\./src/[a-z_/]+\.cpp,\d+\})");
    return body.compare(0, tag.size() + 1, tag + " ") == 0 && std::regex_match(body, line);
  }

  TemporaryFolder folder_;
  const std::string host_ = folder_.File("log_host");
  const std::string log_ = folder_.File("halden.log");
  const std::string executable_ = std::filesystem::canonical(folder_.path()).string() + "/log_host";
};

TEST_F(LogHostTest, RecordsFollowTheBannerWithTheirProcessAndThread) {
  Configure("halden.lowlayer.varnel.applog.xml", Filter("Default", 0, 4));
  const pid_t pid = Start("read", 1);
  ASSERT_EQ(0, Wait(pid));
  size_t others = 0;
  const auto records = Records(log_, &others);
  EXPECT_EQ(0u, others);
  ASSERT_EQ(5u, records.size());
  EXPECT_EQ(kRule, records[0].body);
  EXPECT_EQ(executable_, records[1].body);
  EXPECT_EQ(kRule, records[2].body);
  EXPECT_EQ(0u, records[3].body.find("[ERR] spNodeList->length != 1 {./src/soap/soap_msg_reader_writer.cpp,"));
  EXPECT_EQ(0u, records[4].body.find("[ERR] <exception> HRESULT(0x80040301:IDispatch error #257) {./src/soap/"));
  for (const Record& record : records) {
    EXPECT_EQ(HexPid(pid), record.processId);
    EXPECT_EQ(records[0].threadId, record.threadId);
  }
}

TEST_F(LogHostTest, EachProcessWritesItsBannerOnce) {
  Configure("l4h.applog.xml", Filter("Default", 0, 4));
  const pid_t first = Start("both", 3);
  ASSERT_EQ(0, Wait(first));
  const pid_t second = Start("fault", 2);
  ASSERT_EQ(0, Wait(second));
  const auto records = Records();
  ASSERT_EQ(3u + 3 * 4 + 3 + 2 * 2, records.size());
  std::vector<size_t> banners;
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i].body == executable_) banners.push_back(i);
  }
  EXPECT_EQ((std::vector<size_t>{1, 16}), banners);
  EXPECT_EQ(HexPid(first), records[14].processId);
  EXPECT_EQ(HexPid(second), records[15].processId);
  for (const std::string& body : Lines()) EXPECT_TRUE(IsTraceLine(body, "[ERR]") || IsTraceLine(body, "[DBG]")) << body;
}

TEST_F(LogHostTest, StemsConfigurationWinsOverTheGeneralOne) {
  Configure("l4h.applog.xml", Filter("Default", 1, 1));
  ASSERT_EQ(0, Run("fault"));
  auto lines = Lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_TRUE(IsTraceLine(lines[0], "[ERR]")) << lines[0];

  std::filesystem::remove(log_);
  Configure("halden.lowlayer.varnel.applog.xml", Filter("Default", 4, 4));
  ASSERT_EQ(0, Run("fault"));
  lines = Lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(0u, lines[0].find("[DBG] <exception> <exception trace>(0x80070057:")) << lines[0];
}

TEST_F(LogHostTest, FiltersDecideThroughTheRealFile) {
  struct Case {
    std::string filters;
    size_t errors;
    size_t debugs;
  };
  const Case cases[] = {
      {Filter("Default", 1, 1), 3, 0},
      {Filter("Default", 0, 4) + Filter("Default", 2, 4), 0, 1},  // the second overwrites the first
      {Filter("Default", 0, 1) + Filter("Default", 4, 4), 3, 1},
      {Filter("default", 0, 4), 0, 0},
      {Filter("Default", 4, 1), 0, 0},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(log_);
    Configure("l4h.applog.xml", c.filters);
    ASSERT_EQ(0, Run("both"));
    size_t errors = 0, debugs = 0;
    for (const std::string& body : Lines()) {
      errors += IsTraceLine(body, "[ERR]");
      debugs += IsTraceLine(body, "[DBG]");
    }
    EXPECT_EQ(c.errors, errors) << c.filters;
    EXPECT_EQ(c.debugs, debugs) << c.filters;
    // Nothing let through: the file is never even made.
    EXPECT_EQ(c.errors + c.debugs == 0, !std::filesystem::exists(log_)) << c.filters;
  }
}

TEST_F(LogHostTest, WithoutConfigurationOrWithOneThatDoesNotParseNothingIsWritten) {
  ASSERT_EQ(0, Run("both", 2));
  Configure("unrelated.applog.xml", Filter("Default", 0, 4));
  ASSERT_EQ(0, Run("both", 2));
  EXPECT_FALSE(std::filesystem::exists(log_));

  WriteFile(folder_.File("l4h.applog.xml"), "<LOGCONFIG><FILTERLIST>" + Filter("Default", 0, 4) + "</FILTERLIST>");
  ASSERT_EQ(0, Run("both", 2));
  EXPECT_FALSE(std::filesystem::exists(log_));
}

TEST_F(LogHostTest, ConfigurationBesideTheLibraryIsNotFound) {
  TemporaryFolder libraryFolder;
  const std::string library = libraryFolder.File("libvarnel.so");
  std::filesystem::copy_file(VARNEL_LIBRARY_PATH, library);
  for (const char* name : {"halden.lowlayer.varnel.applog.xml", "l4h.applog.xml"}) {
    WriteFile(libraryFolder.File(name), "<L><FILTERLIST>" + Filter("Default", 0, 4) + "</FILTERLIST></L>");
  }
  ASSERT_EQ(0, Run("both", 1, library));
  EXPECT_FALSE(std::filesystem::exists(log_));
  EXPECT_FALSE(std::filesystem::exists(libraryFolder.File("halden.log")));
}

// Two processes at once, across the move to the backup: every record is in
// one of the two files, and every line is whole.
TEST_F(LogHostTest, TwoProcessesLoseNoRecordAcrossARotation) {
  Configure("l4h.applog.xml", Filter("Default", 0, 4));
  const std::string fillerLine = "filler line that is not a record" + std::string(60, '.') + "\r\n";
  std::string filler;
  while (filler.size() + fillerLine.size() < kLimit - 200000) filler += fillerLine;
  WriteFile(log_, filler);

  const pid_t first = Start("read", 1000);
  const pid_t second = Start("read", 1000);
  ASSERT_EQ(0, Wait(first));
  ASSERT_EQ(0, Wait(second));

  ASSERT_TRUE(std::filesystem::exists(log_ + ".bak"));
  size_t fillers = 0, records = 0, banners = 0;
  for (const std::string& file : {log_ + ".bak", log_}) {
    size_t others = 0;
    for (const Record& record : Records(file, &others)) {
      if (record.body == executable_) {
        ++banners;
      } else if (record.body != kRule) {
        EXPECT_TRUE(IsTraceLine(record.body, "[ERR]")) << record.body;
        ++records;
      }
    }
    fillers += others;
  }
  EXPECT_EQ(filler.size() / fillerLine.size(), fillers);  // only the filler is not a record
  EXPECT_EQ(2u, banners);
  EXPECT_EQ(2u * 2000, records);
  EXPECT_LE(std::filesystem::file_size(log_ + ".bak"), kLimit + 1000);
}

TEST_F(LogHostTest, LogThatCannotBeWrittenLosesRecordsButNotResults) {
  Configure("l4h.applog.xml", Filter("Default", 0, 4));
  ASSERT_EQ(0, ::mkdir(log_.c_str(), 0755));  // not writable, even for root
  EXPECT_EQ(0, Run("both", 3));
  EXPECT_TRUE(std::filesystem::is_empty(log_));
}

}  // namespace
