#include "comrt/system.h"

#include <dlfcn.h>
#include <limits.h>
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "comrt/runtime.h"
#include "comrt/text_conversion.h"

namespace {

// The path of the file mapped at `base` as the kernel names it: absolute and
// resolved, whatever name the module was loaded by. Empty when not found.
std::string MappedFilePath(uintptr_t base) {
  std::unique_ptr<FILE, int (*)(FILE*)> maps(std::fopen("/proc/self/maps", "re"), &std::fclose);
  if (!maps) return {};
  char* line = nullptr;
  size_t capacity = 0;
  std::string path;
  while (getline(&line, &capacity, maps.get()) > 0) {
    uintptr_t start = 0, end = 0;
    unsigned long long offset = 0;
    int pathStart = 0;
    if (std::sscanf(line, "%" SCNxPTR "-%" SCNxPTR " %*s %llx %*s %*s %n", &start, &end, &offset, &pathStart) < 3) {
      continue;
    }
    if (start != base || offset != 0 || pathStart <= 0 || line[pathStart] != '/') continue;
    path.assign(line + pathStart);
    while (!path.empty() && (path.back() == '\n')) path.pop_back();
    static const char kDeleted[] = " (deleted)";
    if (path.size() > sizeof kDeleted - 1 &&
        path.compare(path.size() - (sizeof kDeleted - 1), std::string::npos, kDeleted) == 0) {
      path.resize(path.size() - (sizeof kDeleted - 1));
    }
    break;
  }
  free(line);
  return path;
}

std::string ModulePath(HMODULE module) {
  if (!module) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    return length > 0 && static_cast<size_t>(length) < sizeof buffer ? std::string(buffer, length) : std::string();
  }
  std::string path = MappedFilePath(reinterpret_cast<uintptr_t>(module));
  if (!path.empty()) return path;
  // Without /proc: the name the loader was given, resolved now.
  Dl_info info{};
  if (dladdr(module, &info) == 0 || info.dli_fbase != static_cast<void*>(module) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  return realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string();
}

locale_t ClassicLocale() {
  static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return classic;
}

}  // namespace

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) {
  if (!module) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *module = nullptr;
  const DWORD known = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
  if ((flags & ~known) != 0 || (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Dl_info info{};
  if (dladdr(moduleName, &info) == 0 || !info.dli_fbase) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  *module = static_cast<HMODULE>(info.dli_fbase);
  return TRUE;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  if (!fileName && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string path = ModulePath(module);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  const std::u16string wide = comrt::FromUtf8(path);
  if (wide.size() < size) {
    std::memcpy(fileName, wide.data(), wide.size() * sizeof(char16_t));
    fileName[wide.size()] = u'\0';
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(wide.size());
  }
  if (size > 0) {
    std::memcpy(fileName, wide.data(), (size - 1) * sizeof(char16_t));
    fileName[size - 1] = u'\0';
  }
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

namespace comrt {

ThreadLocaleScope::ThreadLocaleScope(LCID locale) : saved_(uselocale(static_cast<locale_t>(0))) {
  const locale_t wanted = locale == LOCALE_USER_DEFAULT ? LC_GLOBAL_LOCALE : ClassicLocale();
  if (wanted) uselocale(wanted);
}

ThreadLocaleScope::~ThreadLocaleScope() { uselocale(static_cast<locale_t>(saved_)); }

}  // namespace comrt
