#include "log/error_log_banner.h"

#include "comrt/process.h"
#include "comrt/runtime.h"
#include "comrt/result_codes.h"
#include "comrt/synchronization.h"
#include "log/module_paths.h"
#include "log/wide_format.h"

namespace opLogSys {
namespace {

constexpr size_t kRuleLength = 79;

SYSTEMTIME ProcessStartTime() {
  FILETIME creation, exit, kernel, user, local;
  SYSTEMTIME time;
  if (GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user) &&
      FileTimeToLocalFileTime(&creation, &local) && FileTimeToSystemTime(&local, &time)) {
    return time;
  }
  GetLocalTime(&time);
  return time;
}

}  // namespace

CBannerMarker::~CBannerMarker() {
  if (handle_) CloseHandle(handle_);
}

bool CBannerMarker::MarkFirstRecord(const std::u16string& errorLogPath) {
  std::lock_guard<std::mutex> hold(lock_);
  if (marked_) return false;
  marked_ = true;
  handle_ = CreateMutexW(nullptr, FALSE, BannerMutexName(GetCurrentProcessId(), errorLogPath).c_str());
  // Another module of this process holding the name has written the banner;
  // a marker that cannot be made at all errs towards writing it.
  return !(handle_ && GetLastError() == ERROR_ALREADY_EXISTS);
}

CBannerMarker& ModuleBannerMarker() {
  static CBannerMarker marker;
  return marker;
}

std::u16string BannerMutexName(DWORD processId, const std::u16string& errorLogPath) {
  char16_t name[kFormatBufferSize];
  const size_t length = Format(name, kFormatBufferSize, u"OPLOGSYS_ERRORLOG:%08X:%s", processId, errorLogPath.c_str());
  std::u16string text(name, length);
  for (char16_t& c : text) {
    if (c == u'\\' || c == u':' || c == u'.') c = u'_';
  }
  return text;
}

void WriteBanner(ILog& log) {
  const SYSTEMTIME started = ProcessStartTime();
  const std::u16string rule(kRuleLength, u'-');
  log.WriteAt(started, rule.c_str());
  log.WriteAt(started, ExecutablePath().c_str());
  log.WriteAt(started, rule.c_str());
}

}  // namespace opLogSys
