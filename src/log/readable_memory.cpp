#include "log/readable_memory.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

namespace opLogSys {
namespace {

// Closes the pipe whatever path the check leaves by.
class Pipe {
 public:
  Pipe() { ok_ = ::pipe2(ends_, O_CLOEXEC | O_NONBLOCK) == 0; }
  ~Pipe() {
    if (!ok_) return;
    ::close(ends_[0]);
    ::close(ends_[1]);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  bool ok() const { return ok_; }
  int reader() const { return ends_[0]; }
  int writer() const { return ends_[1]; }

 private:
  int ends_[2] = {-1, -1};
  bool ok_ = false;
};

// The kernel copies what is written to a pipe from our memory and answers
// EFAULT for an address it cannot read, where touching it ourselves would
// fault. Readability goes by pages, so one byte of each page tells.
bool ByteIsReadable(const Pipe& pipe, const unsigned char* byte) {
  for (;;) {
    const ssize_t written = ::write(pipe.writer(), byte, 1);
    if (written == 1) break;
    if (written < 0 && errno == EINTR) continue;
    return false;
  }
  unsigned char drained;
  while (::read(pipe.reader(), &drained, 1) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace

bool IsReadable(const void* data, size_t size) {
  if (size == 0) return true;
  if (!data) return false;
  const uintptr_t first = reinterpret_cast<uintptr_t>(data);
  if (size - 1 > UINTPTR_MAX - first) return false;  // the range wraps around
  const uintptr_t last = first + (size - 1);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  const uintptr_t page = pageSize > 0 ? static_cast<uintptr_t>(pageSize) : 4096;
  Pipe pipe;
  if (!pipe.ok()) return false;
  for (uintptr_t at = first;;) {
    if (!ByteIsReadable(pipe, reinterpret_cast<const unsigned char*>(at))) return false;
    const uintptr_t nextPage = (at / page + 1) * page;
    if (nextPage == 0 || nextPage > last) break;
    at = nextPage;
  }
  return true;
}

}  // namespace opLogSys
