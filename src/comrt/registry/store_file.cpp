#include "registry/store_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

#include "comrt/registry.h"
#include "comrt/result_codes.h"
#include "registry/store_text.h"

namespace comrt {
namespace registry {
namespace {

// What the store file was when it was read, so a rewrite can keep its mode
// and owner and honour a read-only one.
struct StoreState {
  bool exists = false;
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
  // Which file was read, to know it again.
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};
};

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool SameFile(const StoreState& read, const struct stat& now) {
  return read.exists && read.device == now.st_dev && read.inode == now.st_ino && read.size == now.st_size &&
         read.mode == (now.st_mode & 07777) && SameTime(read.modified, now.st_mtim) &&
         SameTime(read.changed, now.st_ctim);
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, because a failing close may be the first sign of a lost write.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

LONG ErrorFromErrno(int error, LONG otherwise) {
  if (error == EACCES || error == EPERM || error == EROFS) return ERROR_ACCESS_DENIED;
  if (error == ENOMEM) return ERROR_NOT_ENOUGH_MEMORY;
  return otherwise;
}

LONG Load(const std::string& path, RegKey* root, StoreState* state) {
  *state = StoreState();
  *root = RegKey();
  if (path.empty()) return ERROR_CANTREAD;
  // O_NONBLOCK keeps a FIFO in the store's place from hanging the open.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) {
    if (errno == ENOENT) return ERROR_SUCCESS;
    return ErrorFromErrno(errno, ERROR_CANTREAD);
  }
  struct stat info;
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ERROR_CANTREAD;
  // Root passes every permission check, so the mode is tested by hand: a
  // store without any read bit is closed to everyone alike.
  if ((info.st_mode & 0444) == 0) return ERROR_ACCESS_DENIED;
  state->exists = true;
  state->mode = info.st_mode & 07777;
  state->owner = info.st_uid;
  state->group = info.st_gid;
  state->device = info.st_dev;
  state->inode = info.st_ino;
  state->size = info.st_size;
  state->modified = info.st_mtim;
  state->changed = info.st_ctim;

  std::string text;
  text.reserve(static_cast<size_t>(info.st_size));
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno, ERROR_CANTREAD);
    }
    text.append(buffer, static_cast<size_t>(got));
  }
  return ParseStore(text, root) ? ERROR_SUCCESS : ERROR_BADDB;
}

// Creates every missing folder above the store.
LONG MakeParentFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0) continue;
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return ErrorFromErrno(errno, ERROR_CANTWRITE);
  }
  return ERROR_SUCCESS;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(wrote);
  }
  return true;
}

// Makes the rename itself durable; a failure here loses nothing already
// visible, so it is not reported.
void SyncFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

// Writes `text` to a new file beside the store and renames it over the store.
LONG Replace(const std::string& path, const std::string& text, const StoreState& state) {
  static std::atomic<unsigned> counter{0};
  std::string temporary;
  int fd = -1;
  // A name left by a crashed process with the same id is skipped, not reused.
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return ErrorFromErrno(errno, ERROR_CANTWRITE);
  }
  if (fd < 0) return ERROR_CANTWRITE;
  FileDescriptor file(fd);
  if (state.exists) {
    ::fchmod(file.get(), state.mode);
    // Root rewriting a user's store must not leave it owned by root; a
    // refusal only means the caller could not have changed owners anyway.
    [[maybe_unused]] const int ignored = ::fchown(file.get(), state.owner, state.group);
  }
  if (!WriteAll(file.get(), text) || ::fsync(file.get()) != 0 || !file.Close() ||
      ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return ErrorFromErrno(error, ERROR_CANTWRITE);
  }
  SyncFolder(path);
  return ERROR_SUCCESS;
}

LONG ChangeLocked(const std::string& path, const StoreChange& change) {
  LONG code = MakeParentFolders(path);
  if (code != ERROR_SUCCESS) return code;
  FileDescriptor lock(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
  if (lock.get() < 0) return ErrorFromErrno(errno, ERROR_CANTWRITE);
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return ErrorFromErrno(errno, ERROR_CANTWRITE);
  }
  RegKey root;
  StoreState state;
  code = Load(path, &root, &state);
  if (code != ERROR_SUCCESS) return code;
  bool changed = false;
  code = change(root, &changed);
  if (code != ERROR_SUCCESS || !changed) return code;
  // As with reading, the mode decides for root too.
  if (state.exists && (state.mode & 0222) == 0) return ERROR_ACCESS_DENIED;
  // `lock` is released on the way out, after the rename.
  return Replace(path, FormatStore(root), state);
}

}  // namespace

namespace {

// The last store read, so that lookups (every object made through the
// registry) do not parse the same file again.
class LastRead {
 public:
  std::shared_ptr<const RegKey> Find(const std::string& path, const struct stat& now) {
    std::lock_guard<std::mutex> hold(lock_);
    return path == path_ && SameFile(state_, now) ? tree_ : nullptr;
  }
  void Keep(const std::string& path, const StoreState& state, std::shared_ptr<const RegKey> tree) {
    std::lock_guard<std::mutex> hold(lock_);
    path_ = path;
    state_ = state;
    tree_ = std::move(tree);
  }

 private:
  std::mutex lock_;
  std::string path_;
  StoreState state_;
  std::shared_ptr<const RegKey> tree_;
};

// File times are only as fine as the file system's clock tick, so a file
// written again in place within one tick could look unchanged. A file is
// known again only once its times are older than any such tick.
bool SettledLongAgo(const StoreState& state) {
  timespec now{};
  if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  const time_t latest = std::max(state.modified.tv_sec, state.changed.tv_sec);
  return now.tv_sec - latest >= 2;
}

LastRead& LastReadOfStore() {
  static LastRead* const last = new LastRead();  // never destroyed: read while the process exits
  return *last;
}

}  // namespace

LONG ReadStore(std::shared_ptr<const RegKey>* root) {
  const std::string path = RegistryStorePath();
  struct stat now;
  if (!path.empty() && ::stat(path.c_str(), &now) == 0) {
    if (std::shared_ptr<const RegKey> known = LastReadOfStore().Find(path, now)) {
      *root = std::move(known);
      return ERROR_SUCCESS;
    }
  }
  auto tree = std::make_shared<RegKey>();
  StoreState state;
  const LONG code = Load(path, tree.get(), &state);
  if (code != ERROR_SUCCESS) return code;
  if (state.exists && SettledLongAgo(state)) LastReadOfStore().Keep(path, state, tree);
  *root = std::move(tree);
  return ERROR_SUCCESS;
}

LONG ChangeStore(const StoreChange& change) {
  const std::string path = RegistryStorePath();
  // A first pass against a snapshot answers without the lock whenever the
  // change turns out to alter nothing (opening an existing key, setting a
  // value it already has) or to fail; that answer was true of the store as
  // it was read, which is as good as under the lock.
  RegKey snapshot;
  StoreState state;
  LONG code = Load(path, &snapshot, &state);
  if (code != ERROR_SUCCESS) return code;
  bool changed = false;
  code = change(snapshot, &changed);
  if (code != ERROR_SUCCESS || !changed) return code;
  return ChangeLocked(path, change);
}

}  // namespace registry

std::string RegistryStorePath() {
  const char* explicitPath = std::getenv("COMRT_REGISTRY");
  if (explicitPath && *explicitPath) return explicitPath;
  // Relative XDG folders are to be ignored, as the base-directory rules say.
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && dataHome[0] == '/') return std::string(dataHome) + "/comrt/registry";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.local/share/comrt/registry";
  return std::string();
}

}  // namespace comrt
