#include "log/posix_file.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "comrt/text_conversion.h"

namespace opLogSys {

std::string NativePath(const std::u16string& path) { return comrt::ToUtf8(path); }

long WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<size_t>(written);
  }
  return static_cast<long>(done);
}

PathKind KindOf(const std::u16string& path) {
  struct stat status;
  if (path.empty() || ::stat(NativePath(path).c_str(), &status) != 0) return PathKind::kMissing;
  return S_ISDIR(status.st_mode) ? PathKind::kDirectory : PathKind::kOther;
}

}  // namespace opLogSys
