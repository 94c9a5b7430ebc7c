#include "log/output_log_system.h"

#include <new>

#include "comrt/process.h"
#include "log/error_log_io.h"
#include "log/wide_format.h"

namespace opLogSys {

COutputLogSystem::COutputLogSystem(std::u16string name, Common::CRefPtr<IOutputLogSystemFactory> factory,
                                   Common::CRefPtr<ILogFilter> filter,
                                   std::u16string errorLogPath, DWORD errorLogSizeLimit, bool errorLogTrimMode,
                                   CBannerMarker* banner)
    : name_(std::move(name)),
      errorLogPath_(std::move(errorLogPath)),
      errorLogSizeLimit_(errorLogSizeLimit),
      errorLogTrimMode_(errorLogTrimMode),
      factory_(std::move(factory)),
      filter_(std::move(filter)),
      banner_(banner ? banner : &ModuleBannerMarker()) {}

COutputLogSystem::~COutputLogSystem() = default;

long COutputLogSystem::Printf(const char16_t* format, ...) {
  char16_t text[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  FormatV(text, kFormatBufferSize, format, args);
  va_end(args);
  return Write(text);
}

long COutputLogSystem::PrintfFiltered(const char16_t* subject, int level, const char16_t* format, ...) {
  char16_t text[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  FormatV(text, kFormatBufferSize, format, args);
  va_end(args);
  return WriteFiltered(subject, level, text);
}

long COutputLogSystem::Write(const char16_t* text) {
  // The system's lock is given back before the record is written: a thread
  // inside a block holds its output's lock while it asks for its log, so
  // waiting for that output under the system's lock could deadlock.
  Common::CRefPtr<ILog> log = ThreadLog();
  if (log) log->Write(text);
  return 0;
}

long COutputLogSystem::WriteFiltered(const char16_t* subject, int level, const char16_t* text) {
  if (Passes(subject, level)) Write(text);
  return 0;
}

HRESULT COutputLogSystem::HexDumpFiltered(const char16_t* subject, int level, const char16_t* title,
                                          const void* data, DWORD size, DWORD lineSize) {
  return Passes(subject, level) ? HexDump(title, data, size, lineSize) : 0;
}

long COutputLogSystem::ErrorPrintfTagged(int number, int ignored, const char16_t* label, const char16_t* format,
                                         ...) {
  va_list args;
  va_start(args, format);
  ErrorVPrintfTagged(number, ignored, label, format, args);
  va_end(args);
  return 0;
}

long COutputLogSystem::ErrorPrintf(const char16_t* format, ...) {
  char16_t text[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  FormatV(text, kFormatBufferSize, format, args);
  va_end(args);
  return ErrorWrite(text);
}

long COutputLogSystem::ErrorVPrintfTagged(int number, int ignored, const char16_t* label, const char16_t* format,
                                          va_list args) {
  char16_t text[kFormatBufferSize];
  FormatV(text, kFormatBufferSize, format, args);
  return ErrorWriteTagged(number, ignored, label, text);
}

long COutputLogSystem::ErrorWriteTagged(int number, int, const char16_t* label, const char16_t* text) {
  return ErrorPrintf(u"%05d:[%s] %s", number, label, text);
}

long COutputLogSystem::ErrorWrite(const char16_t* text) {
  try {
    Common::CScopedLock hold(lock_);
    Common::CRefPtr<ILog> log = errorLog_;
    if (!log && !errorLogPath_.empty()) {
      // Made anew for every line: the file and its mutex are held only while
      // a record is written.
      Common::CRefPtr<ILogIO> output = Common::CRefPtr<ILogIO>::Adopt(
          new COutputErrorLogIO(errorLogPath_, errorLogSizeLimit_, errorLogTrimMode_));
      if (factory_) log = Common::CRefPtr<ILog>::Adopt(factory_->CreateErrorLog(output.Get()));
    }
    if (!log) return 0;
    if (banner_->MarkFirstRecord(errorLogPath_)) WriteBanner(*log.Get());
    log->Write(text);
  } catch (...) {
    // Out of memory: the line is lost.
  }
  return 0;
}

long COutputLogSystem::BeginBlock() {
  Common::CRefPtr<ILog> log = ThreadLog();
  if (log) log->BeginBlock();
  return 0;
}

long COutputLogSystem::EndBlock() {
  Common::CRefPtr<ILog> log = ThreadLog();
  if (log) log->EndBlock();
  return 0;
}

Common::CRefPtr<ILog> COutputLogSystem::ThreadLog() {
  try {
    Common::CScopedLock hold(lock_);
    if (!factory_) return {};
    auto entry = logs_.find(name_);
    if (entry == logs_.end()) {
      Common::CRefPtr<ILogIO> output = Common::CRefPtr<ILogIO>::Adopt(factory_->CreateIO(name_.c_str()));
      if (!output) return {};
      entry = logs_.emplace(name_, LogEntry{name_, std::move(output), {}}).first;
    }
    const DWORD threadId = GetCurrentThreadId();
    auto found = entry->second.logs.find(threadId);
    if (found != entry->second.logs.end()) return found->second;
    Common::CRefPtr<ILog> log =
        Common::CRefPtr<ILog>::Adopt(factory_->CreateLog(threadId, entry->second.output.Get()));
    if (log) entry->second.logs.emplace(log->GetThreadId(), log);
    return log;
  } catch (...) {
    return {};
  }
}

bool COutputLogSystem::Passes(const char16_t* subject, int level) const {
  return filter_ && filter_->IsFiltered(subject, level) == 0;
}

}  // namespace opLogSys
