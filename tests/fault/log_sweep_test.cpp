// Logging while allocations fail: a failed read that traces its reason
// still answers its failure code, a log system that cannot be made is simply
// not there, and a record is written whole or not at all. Nothing leaks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "fault/allocation_sweep.h"
#include "log/error_log_banner.h"
#include "log/log_system_setup.h"
#include "log/output_factories.h"
#include "log/log_test_support.h"
#include "log/module_logger.h"
#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

constexpr char kConfiguration[] =
    "<log><FACTORY name=\"IOutputLogSystemFactory\" class=\"opLogSys::Null::COutputLogSystemFactory\"/>"
    "<FILTERLIST><FILTER subject=\"Default\" minLevel=\"0\" maxLevel=\"4\"/></FILTERLIST></log>";

class LogSweepTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("scpd/rendering_control.xml", kRenderingControl); }
  void TearDown() override { log4halden::Logger::Instance()->SetSink(nullptr); }
};

TEST_F(LogSweepTest, AReadThatFailsAndTracesItsReasonAlwaysFails) {
  // A sink makes every line get built; it keeps nothing, so a run that
  // leaves a block alive leaked it.
  int lines = 0;
  log4halden::Logger::Instance()->SetSink([&lines](int, const std::u16string&) { ++lines; });
  const std::string unknownArgument = Envelope(
      "<u:GetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\">"
      "<InstanceID>0</InstanceID><Nope>Master</Nope></u:GetVolume>");
  auto read = [&](Armed& armed) {
    FakeMessageRef request = MakeRequestMessage(unknownArgument);
    CComPtr<IUnknown> object;
    const HRESULT hr = armed([&] { return readerWriter_->ReadMessage(request.message, &object); });
    TakeErrorInfo();
    return hr;
  };
  Armed unarmed(0);
  const HRESULT refused = read(unarmed);
  ASSERT_TRUE(FAILED(refused));
  ASSERT_GT(lines, 0);
  // The refusal is this operation's result; another failure code is a
  // failure, and S_OK would be a wrong success.
  const SweepSummary summary = SweepAllocations("ReadMessage(refused, traced)", [&](Armed& armed) {
    const HRESULT hr = read(armed);
    Outcome outcome(hr == refused ? S_OK : hr);
    outcome.result = hr == S_OK ? "read" : "refused";
    return outcome;
  });
  EXPECT_GT(summary.runs, 1);
  EXPECT_EQ(0, summary.wrongSuccesses);
  EXPECT_EQ(0, summary.leaks);
}

TEST(LogSystemSweepTest, MakingTheSystemAndWritingARecordLoseTheRecordOrWriteItWhole) {
  // With TZ unset, glibc frees and copies its time-zone name at every local
  // time, so one failed copy would show as a block gone and the next as one
  // made. The same zone, named, keeps it still.
  setenv("TZ", ":/etc/localtime", 0);
  tzset();
  TemporaryFolder folder;
  WriteFile(folder.File("halden.lowlayer.varnel.applog.xml"), kConfiguration);
  const std::u16string executableFolder = folder.Folder();
  const std::u16string stem = u"halden.lowlayer.varnel";
  const SweepSummary made = SweepAllocations("MakeOutputLogSystem", [&](Armed& armed) {
    std::unique_ptr<opLogSys::COutputLogSystem> system;
    Outcome outcome{armed([&] {
      system = opLogSys::MakeOutputLogSystem(executableFolder, stem);
      return system ? S_OK : E_OUTOFMEMORY;
    })};
    // What a host asked for: its error log, and every level let through.
    if (system) {
      opLogSys::ILogFilter* filter = system->Filter();
      outcome.result = comrt::ToUtf8(system->ErrorLogPath()) +
                       (filter && filter->IsFiltered(u"Default", 4) == 0 ? " debug" : " quiet");
    }
    return outcome;
  });
  EXPECT_GT(made.runs, 1);
  EXPECT_EQ(0, made.wrongSuccesses);
  EXPECT_EQ(0, made.leaks);

  // A marker of its own, as a second module's: the library's own marks the
  // process for as long as the library is loaded.
  opLogSys::CBannerMarker banner;
  const std::string path = folder.File("halden.log");
  auto system = std::make_unique<opLogSys::COutputLogSystem>(
      u"halden.debug",
      opLogSys::Common::CRefPtr<opLogSys::IOutputLogSystemFactory>::Adopt(
          new opLogSys::Null::COutputLogSystemFactory()),
      opLogSys::Common::CRefPtr<opLogSys::ILogFilter>(), comrt::FromUtf8(path), opLogSys::kErrorLogSizeLimit, false,
      &banner);
  system->ErrorWrite(u"[ERR] first");  // writes the banner
  const size_t before = ReadFile(path).size();
  system->ErrorWrite(u"[ERR] failed to read");
  const size_t recordSize = ReadFile(path).size() - before;
  int partial = 0;
  const SweepSummary written = SweepAllocations("ErrorWrite", [&](Armed& armed) {
    const size_t start = ReadFile(path).size();
    Outcome outcome{armed([&] { return static_cast<HRESULT>(system->ErrorWrite(u"[ERR] failed to read")); })};
    const std::string content = ReadFile(path);
    const size_t added = content.size() - start;
    if (added != 0 && (added != recordSize || content.compare(content.size() - 22, 22, "[ERR] failed to read\r\n"))) {
      ++partial;
    }
    outcome.result = "written";  // a lost record is not told apart from a written one
    return outcome;
  });
  EXPECT_GT(written.runs, 1);
  EXPECT_EQ(0, partial);
  EXPECT_EQ(0, written.leaks);
}

}  // namespace
}  // namespace varnel_test
