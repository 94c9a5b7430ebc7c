#include "log/module_paths.h"

#include <vector>

#include "comrt/result_codes.h"
#include "comrt/runtime.h"
#include "comrt/system.h"

namespace opLogSys {

std::u16string ExecutablePath() {
  // Grow the buffer until the whole path fits: a cut path would name some
  // other folder.
  std::vector<char16_t> buffer(512);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::u16string();
    if (length < buffer.size()) return std::u16string(buffer.data(), length);
    if (buffer.size() >= 65536) return std::u16string();
    buffer.resize(buffer.size() * 2);
  }
}

std::u16string FolderOf(const std::u16string& path) {
  const size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

}  // namespace opLogSys
