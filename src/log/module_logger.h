// The module logger: one per loaded library, the only way trace lines leave
// the library. It exists from static initialisation to unload; code that
// traces asks Instance() first, and IsEnabled, and builds no line when either
// says no.
//
// On the first line it builds the output log system from the configuration
// file beside the host program's executable (log_system_setup.h); from then
// on each line that the filter lets through for the subject "Default" at its
// level goes to the error log file "halden.log" beside the executable.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "log/lock_objects.h"

namespace opLogSys {
class COutputLogSystem;
}

namespace log4halden {

// Levels and their tags: 0 [FTL], 1 [ERR], 2 [WRN], 3 [INF], 4 [DBG].
enum Level : int { kFatal = 0, kError = 1, kWarning = 2, kInformation = 3, kDebug = 4 };

class Logger {
 public:
  // Receives every finished line with its level.
  using Sink = std::function<void(int level, const std::u16string& text)>;

  Logger();
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // The module's logger, or null before static initialisation reached it and
  // after unload began.
  static Logger* Instance();

  // Hands one finished line to the sink (when one is installed) and to the
  // log system, which writes it when the filter lets it through. Never fails:
  // a line that cannot be written is lost, and a log system that could not
  // be made for want of memory is tried again with the next line.
  void Log(int level, const std::u16string& text);

  // False when a line at `level` would reach nothing: the log system exists
  // and writes nothing at that level, and no sink is installed. True before
  // the first line, which makes the system. Costs two atomic loads.
  bool IsEnabled(int level) const;

  // Installs the receiver of every line, before filtering, in addition to
  // the log system (null removes it). Tests read lines here.
  void SetSink(Sink sink);

  // The subject under which every line is filtered.
  const std::u16string& Subject() const { return subject_; }

 private:
  // The output log system, made on the first call; null when it cannot be.
  opLogSys::COutputLogSystem* OutputLogSystem();

  const std::u16string subject_ = u"Default";
  const std::u16string configurationStem_ = u"halden.lowlayer.varnel";
  std::unique_ptr<opLogSys::COutputLogSystem> outputLogSystem_;
  opLogSys::Common::CCriticalSection lock_;  // guards making the system

  // One bit for each level 0..4 that reaches the error log file, set once
  // the system exists; -1 before.
  std::atomic<int> writtenLevels_{-1};
  std::mutex sinkLock_;
  Sink sink_;
  std::atomic<bool> hasSink_{false};
};

}  // namespace log4halden
