#include "log/file_io.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "comrt/process.h"
#include "log/ansi_text.h"
#include "log/log_location.h"
#include "log/module_paths.h"
#include "log/posix_file.h"
#include "log/wide_format.h"

namespace opLogSys {
namespace File {
namespace {

constexpr int kMostNumberedNames = 99;

// "<folder><stem>[NN]<extension>" for the file name `path`.
std::u16string NumberedPath(const std::u16string& path, int number) {
  const size_t slash = path.rfind(u'/');
  const size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
  size_t dot = path.rfind(u'.');
  if (dot == std::u16string::npos || dot < nameStart) dot = path.size();
  const std::u16string folderAndStem = path.substr(0, dot);
  const std::u16string extension = path.substr(dot);
  char16_t text[kFormatBufferSize];
  const size_t length =
      Format(text, kFormatBufferSize, u"%s%s%s[%02d]%s", u"", folderAndStem.c_str(), u"", number, extension.c_str());
  return std::u16string(text, length);
}

int OpenForAppending(const std::u16string& path, bool onlyNew) {
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (onlyNew ? O_EXCL : 0);
  return ::open(NativePath(path).c_str(), flags, 0666);
}

}  // namespace

CFileIO::CFileIO(const char16_t* name, bool autoflush, std::u16string location)
    : CFileIO(name, autoflush, std::move(location), ExecutableFolder()) {}

CFileIO::CFileIO(const char16_t* name, bool autoflush, std::u16string location,
                 const std::u16string& executableFolder)
    : autoflush_(autoflush), location_(std::move(location)) {
  const std::u16string folder = ResolveLogFolder(location_, executableFolder);
  SYSTEMTIME now;
  GetLocalTime(&now);
  char16_t time[kFormatBufferSize];
  Format(time, kFormatBufferSize, u"%04d-%02d-%02d [%02d-%02d-%02d]", now.wYear, now.wMonth, now.wDay, now.wHour,
         now.wMinute, now.wSecond);
  char16_t path[kFormatBufferSize];
  // There is no drive on this system: its part of the name stays empty.
  const size_t length =
      Format(path, kFormatBufferSize, u"%s%s%s-%s%s", u"", folder.c_str(), name ? name : u"", time, u".log");
  path_.assign(path, length);
}

CFileIO::~CFileIO() {
  if (fd_ < 0) return;
  ::fsync(fd_);
  ::close(fd_);
}

std::u16string CFileIO::Path() {
  Common::CScopedLock hold(lock_);
  return path_;
}

bool CFileIO::EnsureOpen() {
  if (fd_ >= 0) return true;
  // Taking the name only when it is new (O_EXCL) lets two logs started in
  // the same second, in this process or another, never share a file; only
  // the last number is appended to when all are taken.
  int fd = OpenForAppending(path_, true);
  for (int number = 1; fd < 0 && errno == EEXIST && number <= kMostNumberedNames; ++number) {
    const std::u16string candidate = NumberedPath(path_, number);
    fd = OpenForAppending(candidate, number < kMostNumberedNames);
    if (fd >= 0) path_ = candidate;
  }
  fd_ = fd;
  return fd_ >= 0;
}

long CFileIO::WriteLine(const char16_t* text) {
  Common::CScopedLock hold(lock_);
  try {
    if (!EnsureOpen()) return -1;
    std::string bytes;
    const std::u16string line = std::u16string(text ? text : u"") + u"\r\n";
    for (char16_t unit : line) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
    WriteAll(fd_, bytes);
    return static_cast<long>(2 * (line.size() - 2));
  } catch (...) {
    return -1;
  }
}

long CFileIO::Write(const char16_t* text) {
  Common::CScopedLock hold(lock_);
  try {
    if (!EnsureOpen()) return -1;
    return WriteAll(fd_, ToAnsi(text));
  } catch (...) {
    return -1;
  }
}

long CFileIO::Flush() {
  Common::CScopedLock hold(lock_);
  if (fd_ >= 0 && autoflush_) ::fsync(fd_);
  return 0;
}

}  // namespace File
}  // namespace opLogSys
