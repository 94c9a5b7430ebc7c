// A per-log file: one file per log name and run, named with the time it was
// made, opened on the first write and kept open until the output goes.
#pragma once

#include <string>

#include "log/lock_objects.h"
#include "log/log_interfaces.h"

namespace opLogSys {
namespace File {

class CFileIO final : public Common::CReference<ILogIO> {
 public:
  // The file "<folder><name>-YYYY-MM-DD [hh-mm-ss].log", its folder resolved
  // from `location` (log_location.h) beside the host program's executable.
  CFileIO(const char16_t* name, bool autoflush, std::u16string location);
  // As above, with the executable's folder given (with its trailing "/").
  CFileIO(const char16_t* name, bool autoflush, std::u16string location, const std::u16string& executableFolder);
  ~CFileIO() override;

  // Enters the output's critical section; 1.
  long Lock() override { return lock_.Lock(); }
  // Leaves it; 0.
  long Unlock() override { return lock_.Unlock(); }
  // `text` as UTF-16LE and a UTF-16 "\r\n"; the text's byte count, -1 when
  // the file cannot be opened (tried again on the next write).
  long WriteLine(const char16_t* text) override;
  // `text` in the ANSI code page; the bytes written, -1 when the file cannot
  // be opened.
  long Write(const char16_t* text) override;
  // With autoflush on and the file open, makes what was written durable; 0.
  long Flush() override;

  // The file's path: the timestamped name, or the numbered one taken when
  // that existed.
  std::u16string Path();

 private:
  bool EnsureOpen();

  std::u16string path_;
  int fd_ = -1;
  Common::CCriticalSection lock_;
  bool autoflush_;
  std::u16string location_;
};

}  // namespace File
}  // namespace opLogSys
