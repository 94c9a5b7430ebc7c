#include "log/error_log_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "log/ansi_text.h"
#include "log/posix_file.h"

namespace opLogSys {

COutputErrorLogIO::COutputErrorLogIO(std::u16string path, DWORD sizeLimit, bool trimMode)
    : path_(std::move(path)),
      mutex_(new (std::nothrow) Common::CMutex(MutexNameFor(path_))),
      sizeLimit_(sizeLimit),
      trimMode_(trimMode) {
  static_cast<void>(trimMode_);
}

COutputErrorLogIO::~COutputErrorLogIO() {
  // Still under the mutex if a record was left open: the member mutex goes
  // only after this.
  if (fd_ >= 0) {
    WriteHeld();
    CloseWithSizeCheck();
  }
}

std::u16string COutputErrorLogIO::MutexNameFor(const std::u16string& path) {
  const size_t slash = path.rfind(u'/');
  std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos) name.erase(dot);
  return u"COutputErrorLogIO::" + name;
}

long COutputErrorLogIO::Lock() {
  if (!mutex_) return 1;
  if (mutex_->Lock() == 0) return openCount_;
  if (openCount_ == 0) Open();
  return ++openCount_;
}

long COutputErrorLogIO::Unlock() {
  if (!mutex_) return 0;
  if (openCount_ > 0 && --openCount_ == 0) {
    WriteHeld();
    CloseWithSizeCheck();
  }
  mutex_->Unlock();
  return openCount_;
}

long COutputErrorLogIO::WriteLine(const char16_t* text) {
  Lock();
  long written = Write(text);
  written += Write(u"\r\n");
  Unlock();
  return written;
}

long COutputErrorLogIO::Write(const char16_t* text) {
  Lock();
  long written = 0;
  if (fd_ >= 0) {
    try {
      const std::string bytes = ToAnsi(text);
      held_ += bytes;
      written = static_cast<long>(bytes.size());
    } catch (...) {
      // Out of memory: the record this piece belongs to is lost whole.
      pieceLost_ = true;
    }
  }
  Unlock();
  return written;
}

void COutputErrorLogIO::WriteHeld() {
  std::string held;
  held.swap(held_);  // goes with this call, keeping no block between records
  if (!pieceLost_ && !held.empty() && fd_ >= 0) WriteAll(fd_, held);
  pieceLost_ = false;
}

void COutputErrorLogIO::Open() {
  if (path_.empty()) return;
  try {
    // Appending puts every write at the end even if some other writer does
    // not take the mutex.
    fd_ = ::open(NativePath(path_).c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  } catch (...) {
    fd_ = -1;
  }
}

void COutputErrorLogIO::CloseWithSizeCheck() {
  struct stat status;
  const bool sized = ::fstat(fd_, &status) == 0;
  ::close(fd_);
  fd_ = -1;
  if (!sized || status.st_size <= static_cast<off_t>(sizeLimit_)) return;
  try {
    // A record that took the file past the limit moves it to the one backup;
    // the next record starts a new file. A failed move leaves the file, and
    // the next record's close tries again.
    const std::string file = NativePath(path_);
    if (::access(file.c_str(), F_OK) != 0) return;
    const std::string backup = file + ".bak";
    struct stat old;
    if (::stat(backup.c_str(), &old) == 0) ::chmod(backup.c_str(), old.st_mode | S_IWUSR);
    ::unlink(backup.c_str());
    ::rename(file.c_str(), backup.c_str());
  } catch (...) {
    // Out of memory: the file stays and is tried again at the next close.
  }
}

}  // namespace opLogSys
