#include "log/module_logger.h"

#include <atomic>

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
  Sink sink;
  {
    std::lock_guard<std::mutex> hold(lock_);
    sink = sink_;
  }
  if (!sink) return;
  try {
    sink(level, text);
  } catch (...) {
    // Writing a line never fails the traced operation.
  }
}

void Logger::SetSink(Sink sink) {
  std::lock_guard<std::mutex> hold(lock_);
  sink_ = std::move(sink);
}

// The one module logger, made by the library's static initialisation.
Logger g_moduleLogger;

}  // namespace log4halden
