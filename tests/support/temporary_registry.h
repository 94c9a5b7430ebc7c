// A registry of its own for a test: COMRT_REGISTRY points at a store file in
// a fresh temporary folder for the object's life, and the folder goes with it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "comrt/registry.h"
#include "comrt/text_conversion.h"

namespace varnel_test {

class TemporaryRegistry {
 public:
  TemporaryRegistry() {
    char pattern[] = "/tmp/varnel-registry-XXXXXX";
    const char* made = mkdtemp(pattern);
    EXPECT_NE(nullptr, made);
    folder_ = made ? made : "";
    storePath_ = folder_ + "/registry";
    if (const char* previous = getenv("COMRT_REGISTRY")) previous_ = previous, hadPrevious_ = true;
    setenv("COMRT_REGISTRY", storePath_.c_str(), 1);
  }
  ~TemporaryRegistry() {
    if (hadPrevious_) {
      setenv("COMRT_REGISTRY", previous_.c_str(), 1);
    } else {
      unsetenv("COMRT_REGISTRY");
    }
    std::error_code ignored;
    std::filesystem::permissions(storePath_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(folder_, ignored);
  }
  TemporaryRegistry(const TemporaryRegistry&) = delete;
  TemporaryRegistry& operator=(const TemporaryRegistry&) = delete;

  const std::string& Folder() const { return folder_; }
  const std::string& StorePath() const { return storePath_; }

  // The store file's bytes; empty when there is none.
  std::string Contents() const {
    std::ifstream file(storePath_, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
  }

 private:
  std::string folder_;
  std::string storePath_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// Sets a string value the way callers do: the terminating zero included.
inline LONG SetText(HKEY key, const char16_t* name, const std::u16string& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

// A value's text, or "<code N>" when it cannot be read.
inline std::u16string QueryText(HKEY key, const char16_t* name) {
  DWORD bytes = 0;
  LONG code = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &bytes);
  if (code == ERROR_SUCCESS) {
    std::u16string text(bytes / sizeof(char16_t), u'\0');
    code = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&text[0]), &bytes);
    if (code == ERROR_SUCCESS) return text.substr(0, text.size() - 1);
  }
  std::string number = std::to_string(code);
  return u"<code " + std::u16string(number.begin(), number.end()) + u">";
}

// The value's text at `path` below the root, as QueryText gives it.
inline std::u16string QueryAt(const char16_t* path, const char16_t* name) {
  HKEY key = nullptr;
  const LONG code = RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key);
  if (code != ERROR_SUCCESS) {
    std::string number = std::to_string(code);
    return u"<code " + std::u16string(number.begin(), number.end()) + u">";
  }
  std::u16string text = QueryText(key, name);
  RegCloseKey(key);
  return text;
}

inline bool KeyExists(const char16_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

namespace detail {

inline void DumpKey(HKEY key, const std::string& path, std::vector<std::string>& lines) {
  if (!path.empty()) lines.push_back(path);
  for (DWORD index = 0;; ++index) {
    char16_t name[512];
    DWORD nameChars = 512;
    char16_t data[2048];
    DWORD dataBytes = sizeof data;
    DWORD type = REG_NONE;
    if (RegEnumValueW(key, index, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::string valueName = nameChars == 0 ? "@" : comrt::ToUtf8(name);
    lines.push_back(path + " " + valueName + "=" + comrt::ToUtf8(data));
  }
  for (DWORD index = 0;; ++index) {
    char16_t name[512];
    DWORD nameChars = 512;
    if (RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    DumpKey(child, path.empty() ? comrt::ToUtf8(name) : path + "\\" + comrt::ToUtf8(name), lines);
    RegCloseKey(child);
  }
}

}  // namespace detail

// Every key and value under the classes root, one line each, in enumeration
// order: "Key\Path" for a key, "Key\Path @=text" for its default value and
// "Key\Path Name=text" for a named one.
inline std::vector<std::string> DumpRegistry() {
  std::vector<std::string> lines;
  detail::DumpKey(HKEY_CLASSES_ROOT, "", lines);
  return lines;
}

}  // namespace varnel_test
