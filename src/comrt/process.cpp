// The process and its surroundings: ids, clocks, the desktop folder and the
// debug-string channel.
#include "comrt/process.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "comrt/result_codes.h"
#include "comrt/runtime.h"
#include "comrt/synchronization.h"
#include "comrt/text_conversion.h"

namespace {

// 100-ns intervals from 1601-01-01 to 1970-01-01, and in a second and a day.
constexpr uint64_t kUnixEpoch = 116444736000000000ull;
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicksPerDay = kTicksPerSecond * 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysTo1970 = 134774;
// A FILETIME above this has no calendar form on the platform.
constexpr uint64_t kLatestFileTime = 0x7FFFFFFFFFFFFFFFull;

uint64_t TicksOf(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

FILETIME FileTimeOf(uint64_t ticks) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

int64_t Nanoseconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

uint64_t TicksFromUnixNanoseconds(int64_t nanoseconds) {
  return kUnixEpoch + static_cast<uint64_t>(nanoseconds / 100);
}

// When the kernel started this process, in clock ticks since boot: field 22
// of /proc/self/stat. The program's name (field 2) may hold spaces and
// parentheses, so the fields are counted from its last ')'.
bool StartSinceBoot(unsigned long long* clockTicks) {
  const int fd = open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[1024];
  ssize_t length;
  do {
    length = read(fd, text, sizeof text - 1);
  } while (length < 0 && errno == EINTR);
  close(fd);
  if (length <= 0) return false;
  text[length] = '\0';
  const char* field = std::strrchr(text, ')');
  if (!field) return false;
  for (int skipped = 0; skipped < 20; ++skipped) {
    field = std::strchr(field + 1, ' ');
    if (!field) return false;
  }
  char* end = nullptr;
  errno = 0;
  *clockTicks = std::strtoull(field + 1, &end, 10);
  return errno == 0 && end != field + 1;
}

// The process's creation time. The boot time it is counted from moves with
// every clock adjustment and cannot be read in one step, so it is worked out
// once per process and kept: the answer stays the same across calls.
bool CreationTicks(uint64_t* ticks) {
  static std::mutex mutex;
  static pid_t cachedFor = 0;
  static uint64_t cached = 0;
  const pid_t self = getpid();  // a forked child has its own
  {
    std::lock_guard<std::mutex> hold(mutex);
    if (cachedFor == self) {
      *ticks = cached;
      return true;
    }
  }
  unsigned long long start = 0;
  const long hertz = sysconf(_SC_CLK_TCK);
  if (!StartSinceBoot(&start) || hertz <= 0) return false;
  const int64_t now = Nanoseconds(CLOCK_REALTIME);
  const int64_t sinceBoot = Nanoseconds(CLOCK_BOOTTIME);
  const int64_t startSinceBoot = static_cast<int64_t>(start / hertz) * 1000000000 +
                                 static_cast<int64_t>(start % hertz) * 1000000000 / hertz;
  // The kernel rounds the start down to a clock tick, so this is never
  // later than now.
  const int64_t age = sinceBoot > startSinceBoot ? sinceBoot - startSinceBoot : 0;
  const uint64_t value = TicksFromUnixNanoseconds(now - age);
  std::lock_guard<std::mutex> hold(mutex);
  if (cachedFor != self) {
    cachedFor = self;
    cached = value;
  }
  *ticks = cached;
  return true;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian), by the usual
// era arithmetic that counts years from March.
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  *month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

// The local-time fields of `seconds` since 1970, TZ read again first:
// localtime_r alone may keep the zone it saw the first time.
// The C library guards its zone with a lock of its own that race detectors
// cannot see; one lock of ours around both calls says the same to them.
bool LocalFields(time_t seconds, tm* fields) {
  static std::mutex zoneLock;
  std::lock_guard<std::mutex> hold(zoneLock);
  tzset();
  return localtime_r(&seconds, fields) != nullptr;
}

// The desktop folder as configured, not yet checked on disk; empty when no
// home folder can be found.
std::string DesktopFolder() {
  std::string folder;
  const char* configured = getenv("XDG_DESKTOP_DIR");
  if (configured && configured[0] == '/') {
    folder = configured;
  } else {
    const char* home = getenv("HOME");
    std::string homeFolder = home && home[0] == '/' ? home : "";
    if (homeFolder.empty()) {
      passwd entry{};
      passwd* found = nullptr;
      std::vector<char> buffer(16384);
      if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
          found->pw_dir[0] == '/') {
        homeFolder = found->pw_dir;
      }
    }
    if (homeFolder.empty()) return {};
    folder = homeFolder + "/Desktop";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

bool IsFolder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Makes `path` and any folder missing above it.
bool MakeFolders(const std::string& path) {
  if (IsFolder(path)) return true;
  const size_t parent = path.rfind('/');
  if (parent != std::string::npos && parent > 0 && !MakeFolders(path.substr(0, parent))) return false;
  return (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) && IsFolder(path);
}

}  // namespace

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

// Not cached per thread: a forked child's thread has a new id.
DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

// The same value as INVALID_HANDLE_VALUE, as on the platform.
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

void GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm fields{};
  LocalFields(now.tv_sec, &fields);
  time->wYear = static_cast<WORD>(fields.tm_year + 1900);
  time->wMonth = static_cast<WORD>(fields.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(fields.tm_wday);
  time->wDay = static_cast<WORD>(fields.tm_mday);
  time->wHour = static_cast<WORD>(fields.tm_hour);
  time->wMinute = static_cast<WORD>(fields.tm_min);
  time->wSecond = static_cast<WORD>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
  time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

void GetSystemTimeAsFileTime(FILETIME* time) {
  if (time) *time = FileTimeOf(TicksFromUnixNanoseconds(Nanoseconds(CLOCK_REALTIME)));
}

BOOL GetProcessTimes(HANDLE process, FILETIME* creation, FILETIME* exit, FILETIME* kernel, FILETIME* user) {
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!creation || !exit || !kernel || !user) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *creation = *exit = *kernel = *user = FileTimeOf(0);
  uint64_t ticks = 0;
  if (!CreationTicks(&ticks)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *creation = FileTimeOf(ticks);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  if (!utc || !local || TicksOf(*utc) > kLatestFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uint64_t ticks = TicksOf(*utc);
  const int64_t unixSeconds =
      static_cast<int64_t>(ticks / kTicksPerSecond) - static_cast<int64_t>(kUnixEpoch / kTicksPerSecond);
  tm fields{};
  if (!LocalFields(static_cast<time_t>(unixSeconds), &fields)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uint64_t offset =
      static_cast<uint64_t>(fields.tm_gmtoff < 0 ? -fields.tm_gmtoff : fields.tm_gmtoff) * kTicksPerSecond;
  const bool fits = fields.tm_gmtoff < 0 ? ticks >= offset : ticks <= kLatestFileTime - offset;
  if (!fits) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *local = FileTimeOf(fields.tm_gmtoff < 0 ? ticks - offset : ticks + offset);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* fields) {
  if (!time || !fields || TicksOf(*time) > kLatestFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uint64_t ticks = TicksOf(*time);
  const int64_t days = static_cast<int64_t>(ticks / kTicksPerDay);
  const uint64_t ofDay = ticks % kTicksPerDay;
  int year = 0, month = 0, day = 0;
  CivilFromDays(days - kDaysTo1970, &year, &month, &day);
  fields->wYear = static_cast<WORD>(year);
  fields->wMonth = static_cast<WORD>(month);
  fields->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  fields->wDay = static_cast<WORD>(day);
  fields->wHour = static_cast<WORD>(ofDay / (kTicksPerSecond * 3600));
  fields->wMinute = static_cast<WORD>(ofDay / (kTicksPerSecond * 60) % 60);
  fields->wSecond = static_cast<WORD>(ofDay / kTicksPerSecond % 60);
  fields->wMilliseconds = static_cast<WORD>(ofDay / 10000 % 1000);
  return TRUE;
}

void OutputDebugStringW(LPCWSTR text) {
  if (!text || !text[0]) return;
  const int savedErrno = errno;
  try {
    const std::string bytes = comrt::ToUtf8(text);
    // One write, so that lines from several threads or processes sharing
    // standard error do not interleave.
    while (write(STDERR_FILENO, bytes.data(), bytes.size()) < 0 && errno == EINTR) {
    }
  } catch (const std::bad_alloc&) {
    // Nothing is sent: there is nowhere to report the failure.
  }
  errno = savedErrno;
}

HRESULT SHGetFolderPathW(void* /*window*/, int folder, HANDLE /*token*/, DWORD /*flags*/, LPWSTR path) {
  if (!path) return E_INVALIDARG;
  path[0] = u'\0';
  if ((folder & ~CSIDL_FLAG_CREATE) != CSIDL_DESKTOPDIRECTORY) return E_INVALIDARG;
  try {
    const std::string desktop = DesktopFolder();
    if (desktop.empty()) return E_FAIL;
    const std::u16string wide = comrt::FromUtf8(desktop);
    // Checked before anything is made, so that no folder is created whose
    // name cannot be handed back.
    if (wide.size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    const bool exists = (folder & CSIDL_FLAG_CREATE) ? MakeFolders(desktop) : IsFolder(desktop);
    if (!exists) return E_FAIL;
    std::memcpy(path, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

namespace comrt {

std::string ToUtf8Bounded(std::u16string_view text, size_t maxBytes) {
  // Every unit gives at least one byte, so units past maxBytes + 1 cannot
  // survive the cut; a pair split at that point lands past it as well.
  if (text.size() > maxBytes) text = text.substr(0, maxBytes + 1);
  std::string bytes = ToUtf8(text);
  if (bytes.size() <= maxBytes) return bytes;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
  bytes.resize(cut);
  return bytes;
}

}  // namespace comrt
