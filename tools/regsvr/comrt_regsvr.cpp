// comrt-regsvr: registers or unregisters an in-process server file through
// its own entry points, and prints what that changed in the registry.
//
//   comrt-regsvr [-u] LIBRARY
//
// Exit status 0 on success, 1 when the file does not load or its entry point
// fails, 2 for a usage error. Failures are one line on standard error.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "comrt/registry.h"
#include "comrt/system_message.h"
#include "comrt/text_conversion.h"

namespace {

// Every key of the classes root with its values: path -> (value name -> text).
using Snapshot = std::map<std::string, std::map<std::string, std::string>>;

void TakeKey(HKEY key, const std::string& path, Snapshot& snapshot) {
  std::map<std::string, std::string>& values = snapshot[path];
  for (DWORD index = 0;; ++index) {
    char16_t name[1024];
    DWORD nameChars = 1024;
    DWORD bytes = 0;
    if (RegEnumValueW(key, index, name, &nameChars, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) break;
    std::u16string data(bytes / sizeof(char16_t) + 1, u'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(char16_t));
    nameChars = 1024;
    if (RegEnumValueW(key, index, name, &nameChars, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &bytes) !=
        ERROR_SUCCESS) {
      break;
    }
    values[nameChars == 0 ? "@" : comrt::ToUtf8(name)] = comrt::ToUtf8(data.c_str());
  }
  for (DWORD index = 0;; ++index) {
    char16_t name[1024];
    DWORD nameChars = 1024;
    if (RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    TakeKey(child, path.empty() ? comrt::ToUtf8(name) : path + "\\" + comrt::ToUtf8(name), snapshot);
    RegCloseKey(child);
  }
}

Snapshot TakeSnapshot() {
  Snapshot snapshot;
  TakeKey(HKEY_CLASSES_ROOT, "", snapshot);
  snapshot.erase("");  // the root itself holds no values
  return snapshot;
}

std::string ValueLine(const std::string& path, const std::string& name, const std::string& text) {
  return path + " " + name + "=\"" + text + "\"";
}

// "+ " for what was written, "- " for what was removed, "~ " for a value that
// now reads differently. Returns the number of lines printed.
int PrintChanges(const Snapshot& before, const Snapshot& after) {
  int lines = 0;
  for (const auto& [path, values] : after) {
    const auto old = before.find(path);
    if (old == before.end()) std::printf("+ %s\n", path.c_str()), ++lines;
    for (const auto& [name, text] : values) {
      if (old == before.end() || !old->second.count(name)) {
        std::printf("+ %s\n", ValueLine(path, name, text).c_str()), ++lines;
      } else if (old->second.at(name) != text) {
        std::printf("~ %s\n", ValueLine(path, name, text).c_str()), ++lines;
      }
    }
  }
  for (const auto& [path, values] : before) {
    const auto now = after.find(path);
    if (now == after.end()) {
      std::printf("- %s\n", path.c_str()), ++lines;
      continue;
    }
    for (const auto& [name, text] : values) {
      if (!now->second.count(name)) std::printf("- %s\n", ValueLine(path, name, text).c_str()), ++lines;
    }
  }
  return lines;
}

std::string DescribeFailure(HRESULT hr) {
  char16_t text[512] = u"";
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(hr), 0, text, 512, nullptr);
  std::string description = comrt::ToUtf8(std::u16string(text, length));
  while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) description.pop_back();
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return description.empty() ? std::string(code) : std::string(code) + " (" + description + ")";
}

int Usage() {
  std::fprintf(stderr, "usage: comrt-regsvr [-u] LIBRARY\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  const char* library = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-u") == 0) {
      unregister = true;
    } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::printf(
          "usage: comrt-regsvr [-u] LIBRARY\n"
          "Registers (or with -u unregisters) the in-process server LIBRARY in the\n"
          "registry store (COMRT_REGISTRY, else $XDG_DATA_HOME/comrt/registry) and\n"
          "prints the keys and values written (+), changed (~) or removed (-).\n");
      return 0;
    } else if (argv[i][0] == '-' || library) {
      return Usage();
    } else {
      library = argv[i];
    }
  }
  if (!library) return Usage();

  // A bare file name means the file in this folder, not a search of the
  // library path.
  const std::string path = std::strchr(library, '/') ? library : std::string("./") + library;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "comrt-regsvr: cannot load %s: %s\n", library, dlerror());
    return 1;
  }
  const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  using EntryPoint = HRESULT (*)();
  auto entryPoint = reinterpret_cast<EntryPoint>(dlsym(handle, entryName));
  if (!entryPoint) {
    std::fprintf(stderr, "comrt-regsvr: %s has no entry point %s\n", library, entryName);
    dlclose(handle);
    return 1;
  }
  const Snapshot before = TakeSnapshot();
  const HRESULT hr = entryPoint();
  const Snapshot after = TakeSnapshot();
  dlclose(handle);
  if (hr < 0) {
    std::fprintf(stderr, "comrt-regsvr: %s of %s failed with %s (registry %s)\n", entryName, library,
                 DescribeFailure(hr).c_str(), comrt::RegistryStorePath().c_str());
    PrintChanges(before, after);
    return 1;
  }
  std::printf("%s %s in %s\n", unregister ? "unregistered" : "registered", library, comrt::RegistryStorePath().c_str());
  if (PrintChanges(before, after) == 0) std::printf("no key or value changed\n");
  return 0;
}
