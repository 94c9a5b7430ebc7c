// The module logger: one per loaded library, the only way trace lines leave
// the library. It exists from static initialisation to unload; code that
// traces asks Instance() first and builds no line while there is none.
#pragma once

#include <functional>
#include <mutex>
#include <string>

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

  // Hands one finished line on; never fails (a line that cannot be written is
  // lost).
  void Log(int level, const std::u16string& text);

  // Installs the receiver of lines (null drops them). Until the log system
  // reads its configuration, this is where lines go; tests read them here.
  void SetSink(Sink sink);

  // The subject under which every line is filtered.
  const std::u16string& Subject() const { return subject_; }

 private:
  const std::u16string subject_ = u"Default";
  const std::u16string configurationStem_ = u"halden.lowlayer.varnel";
  std::mutex lock_;
  Sink sink_;
};

}  // namespace log4halden
