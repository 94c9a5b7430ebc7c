// The output log system: per-thread record logs through the configured
// factory, the error log file, the filter, and the hex dump. Any thread may
// call any operation.
#pragma once

#include <cstdarg>
#include <map>
#include <string>

#include "log/error_log_banner.h"
#include "log/lock_objects.h"
#include "log/log_interfaces.h"

namespace opLogSys {

class COutputLogSystem final {
 public:
  // Either of `factory` and `filter` may be null, which writes nothing of
  // its kind. Records of
  // the error log go to `errorLogPath` (empty: nowhere), moved to a backup
  // once larger than `errorLogSizeLimit`. `banner` marks the first error log
  // record of the process (null: the module's marker).
  COutputLogSystem(std::u16string name, Common::CRefPtr<IOutputLogSystemFactory> factory,
                   Common::CRefPtr<ILogFilter> filter,
                   std::u16string errorLogPath, DWORD errorLogSizeLimit, bool errorLogTrimMode,
                   CBannerMarker* banner = nullptr);
  ~COutputLogSystem();
  COutputLogSystem(const COutputLogSystem&) = delete;
  COutputLogSystem& operator=(const COutputLogSystem&) = delete;

  // Formats (wide_format.h, cut at 1,023 characters), then Write; 0.
  virtual long Printf(const char16_t* format, ...);
  // Formats, then WriteFiltered; 0.
  virtual long PrintfFiltered(const char16_t* subject, int level, const char16_t* format, ...);
  // One record in the calling thread's log of the system's name; 0.
  virtual long Write(const char16_t* text);
  // Write, when the filter lets (subject, level) through; 0.
  virtual long WriteFiltered(const char16_t* subject, int level, const char16_t* text);
  // The `size` bytes at `data` as hex and characters, `lineSize` (1..64) a
  // line, as one block of the calling thread's log. E_POINTER when the bytes
  // are not readable (checked first), E_INVALIDARG for a bad line size, else
  // 0.
  virtual HRESULT HexDump(const char16_t* title, const void* data, DWORD size, DWORD lineSize);
  // HexDump when the filter lets (subject, level) through; else 0.
  virtual HRESULT HexDumpFiltered(const char16_t* subject, int level, const char16_t* title, const void* data,
                                  DWORD size, DWORD lineSize);
  // Formats, then ErrorWriteTagged; 0. `ignored` is taken and not used.
  virtual long ErrorPrintfTagged(int number, int ignored, const char16_t* label, const char16_t* format, ...);
  // Formats, then ErrorWrite; 0.
  virtual long ErrorPrintf(const char16_t* format, ...);
  // ErrorPrintfTagged with an argument list; 0.
  virtual long ErrorVPrintfTagged(int number, int ignored, const char16_t* label, const char16_t* format,
                                  va_list args);
  // ErrorPrintf of "%05d:[%s] %s" with number, label and text; 0.
  virtual long ErrorWriteTagged(int number, int ignored, const char16_t* label, const char16_t* text);
  // One record in the error log file (after the process's banner, the first
  // time); nothing without an error log path; 0.
  virtual long ErrorWrite(const char16_t* text);
  // BeginBlock / EndBlock of the calling thread's log; 0.
  virtual long BeginBlock();
  virtual long EndBlock();

  // The filter (no reference added; it lives as long as the system), or null.
  ILogFilter* Filter() const { return filter_.Get(); }
  const std::u16string& ErrorLogPath() const { return errorLogPath_; }

 private:
  struct LogEntry {
    std::u16string name;
    Common::CRefPtr<ILogIO> output;
    std::map<DWORD, Common::CRefPtr<ILog>> logs;  // by thread id
  };

  // The calling thread's log of the system's name, made on first use; null
  // when it cannot be made.
  Common::CRefPtr<ILog> ThreadLog();
  bool Passes(const char16_t* subject, int level) const;

  Common::CCriticalSection lock_;
  std::map<std::u16string, LogEntry> logs_;
  std::u16string name_;
  std::u16string errorLogPath_;
  DWORD errorLogSizeLimit_;
  bool errorLogTrimMode_;
  Common::CRefPtr<IOutputLogSystemFactory> factory_;
  Common::CRefPtr<ILogFilter> filter_;
  Common::CRefPtr<ILog> errorLog_;
  CBannerMarker* banner_;
};

}  // namespace opLogSys
