// The lock files behind named mutexes: where they live, what each is called,
// and how one is opened. An exclusive flock on a mutex's file is what keeps
// other processes out, and the kernel drops it when its holder dies.
#pragma once

#include <string>
#include <string_view>

namespace comrt {
namespace sync {

// The file name standing for the mutex `name` (not empty). Letters, digits,
// '.', '_' and '-' stay as they are and every other byte of the name's UTF-8
// form is written %XX, so distinct names give distinct files; a result too
// long for a file name keeps its start and then '~' and a 64-bit hash of the
// whole name. Every file name ends in ".lock". Throws std::bad_alloc only.
std::string LockFileName(std::u16string_view name);

// The folder of lock files: $XDG_RUNTIME_DIR/comrt-mutex, else
// /tmp/comrt-mutex-<uid>, created 0700 when missing. A folder that is not a
// directory owned by the caller is not used. Empty, with errno set, when
// neither can be used. Throws std::bad_alloc only.
std::string LockFolder();

// Opens the lock file at `path` (within `folder`), creating it, and the
// folder too should something have removed it. The descriptor is
// close-on-exec; -1 with errno set on failure.
int OpenLockFile(const std::string& folder, const std::string& path);

}  // namespace sync
}  // namespace comrt
