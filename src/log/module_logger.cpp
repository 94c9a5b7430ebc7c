#include "log/module_logger.h"

#include "log/log_system_setup.h"
#include "log/module_paths.h"
#include "log/output_log_system.h"

namespace log4halden {
namespace {

// Constant-initialised, so it reads null before the logger is constructed
// even when another static initialiser traces first.
std::atomic<Logger*> g_instance{nullptr};

}  // namespace

Logger::Logger() { g_instance.store(this, std::memory_order_release); }

Logger::~Logger() { g_instance.store(nullptr, std::memory_order_release); }

Logger* Logger::Instance() { return g_instance.load(std::memory_order_acquire); }

void Logger::Log(int level, const std::u16string& text) {
  if (hasSink_.load(std::memory_order_acquire)) {
    Sink sink;
    {
      std::lock_guard<std::mutex> hold(sinkLock_);
      sink = sink_;
    }
    try {
      if (sink) sink(level, text);
    } catch (...) {
      // Writing a line never fails the traced operation.
    }
  }
  // The logger's lock is held only to find (or make) the system; the filter
  // and the system take their own.
  opLogSys::COutputLogSystem* system = OutputLogSystem();
  if (!system) return;
  opLogSys::ILogFilter* filter = system->Filter();
  if (filter && filter->IsFiltered(subject_.c_str(), level) == 0) system->ErrorWrite(text.c_str());
}

bool Logger::IsEnabled(int level) const {
  if (hasSink_.load(std::memory_order_acquire)) return true;
  const int written = writtenLevels_.load(std::memory_order_acquire);
  if (written < 0 || level < kFatal || level > kDebug) return true;
  return (written >> level) & 1;
}

void Logger::SetSink(Sink sink) {
  std::lock_guard<std::mutex> hold(sinkLock_);
  sink_ = std::move(sink);
  hasSink_.store(static_cast<bool>(sink_), std::memory_order_release);
}

opLogSys::COutputLogSystem* Logger::OutputLogSystem() {
  opLogSys::Common::CScopedLock hold(lock_);
  if (!outputLogSystem_) {
    outputLogSystem_ = opLogSys::MakeOutputLogSystem(opLogSys::ExecutableFolder(), configurationStem_);
    if (!outputLogSystem_) return nullptr;
    // The configuration is never read again, so what it lets through can be
    // told once for all: lines nobody would write need not even be built.
    int written = 0;
    opLogSys::ILogFilter* filter = outputLogSystem_->Filter();
    if (filter && !outputLogSystem_->ErrorLogPath().empty()) {
      for (int level = kFatal; level <= kDebug; ++level) {
        if (filter->IsFiltered(subject_.c_str(), level) == 0) written |= 1 << level;
      }
    }
    writtenLevels_.store(written, std::memory_order_release);
  }
  return outputLogSystem_.get();
}

// The one module logger, made by the library's static initialisation.
Logger g_moduleLogger;

}  // namespace log4halden
