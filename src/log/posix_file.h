// The few file operations the log outputs need, on UTF-16 paths.
#pragma once

#include <string>
#include <string_view>

namespace opLogSys {

// `path` as the file system names it (UTF-8).
std::string NativePath(const std::u16string& path);

// Writes all of `bytes` to `fd`, going on after interruptions and short
// writes; the count written (less than the size only when writing failed).
long WriteAll(int fd, std::string_view bytes);

enum class PathKind { kMissing, kDirectory, kOther };
PathKind KindOf(const std::u16string& path);

}  // namespace opLogSys
