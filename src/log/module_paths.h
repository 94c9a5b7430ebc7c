// Paths the log system derives from the host program's executable.
#pragma once

#include <string>

namespace opLogSys {

// The full path of the host program's executable (never the library's);
// empty when it cannot be told.
std::u16string ExecutablePath();

// The folder of `path`, with its trailing "/"; empty for a path without one.
std::u16string FolderOf(const std::u16string& path);

// The folder of the host program's executable, with its trailing "/".
inline std::u16string ExecutableFolder() { return FolderOf(ExecutablePath()); }

}  // namespace opLogSys
