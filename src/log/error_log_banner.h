// The banner that opens a process's records in an error log file: a rule,
// the executable's path and a rule, stamped with the process's start time.
// It is written once per process and file, even when several modules of the
// process log to the same file: a named mutex, held open until the module
// unloads, marks that the banner is out.
#pragma once

#include <mutex>
#include <string>

#include "comrt/types.h"
#include "log/log_interfaces.h"

namespace opLogSys {

class CBannerMarker {
 public:
  CBannerMarker() = default;
  // Closes the marker mutex: the name is free again once every module of
  // the process that holds it has gone.
  ~CBannerMarker();
  CBannerMarker(const CBannerMarker&) = delete;
  CBannerMarker& operator=(const CBannerMarker&) = delete;

  // True for this marker's first call only, and then only when no other
  // module of the process has marked `errorLogPath` already.
  bool MarkFirstRecord(const std::u16string& errorLogPath);

 private:
  std::mutex lock_;
  bool marked_ = false;
  HANDLE handle_ = nullptr;
};

// The marker of this loaded library.
CBannerMarker& ModuleBannerMarker();

// "OPLOGSYS_ERRORLOG:<process id, 8 hex digits>:<path>" with every
// backslash, colon and full stop made "_".
std::u16string BannerMutexName(DWORD processId, const std::u16string& errorLogPath);

// Writes the banner's three records to `log`, stamped with the local time at
// which the process was created.
void WriteBanner(ILog& log);

}  // namespace opLogSys
