// The value half of the registry API: setting, reading, enumerating and
// deleting the string values of a key.
#include <algorithm>
#include <memory>
#include <cstring>
#include <functional>
#include <string_view>

#include "comrt/registry.h"
#include "registry/key_handles.h"
#include "registry/store_file.h"

using comrt::registry::Guarded;
using comrt::registry::KeyAt;
using comrt::registry::KeyPath;
using comrt::registry::RegKey;
using comrt::registry::RegValue;

namespace {

std::u16string_view View(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

// Applies `change` to the key behind `key`, as one change of the store.
LONG ChangeKey(HKEY key, const std::function<LONG(RegKey& at, bool* changed)>& change) {
  KeyPath path;
  const LONG code = comrt::registry::HandlePath(key, &path);
  if (code != ERROR_SUCCESS) return code;
  return comrt::registry::ChangeStore([&](RegKey& root, bool* changed) -> LONG {
    RegKey* at = nullptr;
    const LONG found = KeyAt(root, path, &at);
    if (found != ERROR_SUCCESS) return found;
    return change(*at, changed);
  });
}

// Reads the store and finds the key behind `key` in it.
LONG ReadKey(HKEY key, std::shared_ptr<const RegKey>* root, const RegKey** at) {
  KeyPath path;
  LONG code = comrt::registry::HandlePath(key, &path);
  if (code != ERROR_SUCCESS) return code;
  if ((code = comrt::registry::ReadStore(root)) != ERROR_SUCCESS) return code;
  return KeyAt(**root, path, at);
}

// Hands out `text` with its terminating zero, or the size it needs.
LONG CopyData(const std::u16string& text, LPBYTE data, LPDWORD dataBytes) {
  const size_t needed = (text.size() + 1) * sizeof(char16_t);
  if (needed > 0xFFFFFFFFu) return ERROR_NOT_ENOUGH_MEMORY;
  if (!data) {
    if (dataBytes) *dataBytes = static_cast<DWORD>(needed);
    return ERROR_SUCCESS;
  }
  const bool fits = *dataBytes >= needed;
  *dataBytes = static_cast<DWORD>(needed);
  if (!fits) return ERROR_MORE_DATA;
  // `data` is a byte buffer with no promise of alignment.
  std::memcpy(data, text.c_str(), needed);
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                       DWORD dataBytes) {
  return Guarded([&]() -> LONG {
    if (type != REG_SZ || (!data && dataBytes != 0)) return ERROR_INVALID_PARAMETER;
    const std::u16string_view name = View(valueName);
    if (name.size() > comrt::registry::kMaxValueNameChars || !comrt::registry::HasNoControlCharacter(name)) {
      return ERROR_INVALID_PARAMETER;
    }
    std::u16string text(dataBytes / sizeof(char16_t), u'\0');
    if (!text.empty()) std::memcpy(&text[0], data, text.size() * sizeof(char16_t));
    text.resize(std::min(text.size(), text.find(u'\0')));

    return ChangeKey(key, [&](RegKey& at, bool* changed) -> LONG {
      *changed = comrt::registry::SetValue(at, name, text);
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataBytes) {
  return Guarded([&]() -> LONG {
    if (reserved || (data && !dataBytes)) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<const RegKey> root;
    const RegKey* at = nullptr;
    const LONG code = ReadKey(key, &root, &at);
    if (code != ERROR_SUCCESS) return code;
    const RegValue* value = comrt::registry::FindValue(*at, View(valueName));
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = REG_SZ;
    return CopyData(value->data, data, dataBytes);
  });
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  return Guarded([&]() -> LONG {
    return ChangeKey(key, [&](RegKey& at, bool* changed) -> LONG {
      if (!comrt::registry::RemoveValue(at, View(valueName))) return ERROR_FILE_NOT_FOUND;
      *changed = true;
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars, LPDWORD reserved,
                      LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
  return Guarded([&]() -> LONG {
    if (!valueName || !valueNameChars || reserved || (data && !dataBytes)) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<const RegKey> root;
    const RegKey* at = nullptr;
    const LONG code = ReadKey(key, &root, &at);
    if (code != ERROR_SUCCESS) return code;
    if (index >= at->values.size()) return ERROR_NO_MORE_ITEMS;
    // The empty name sorts first, which puts the default value first.
    const RegValue& value = at->values[index];
    bool nameFits = value.name.size() + 1 <= *valueNameChars;
    if (nameFits) {
      std::copy(value.name.begin(), value.name.end(), valueName);
      valueName[value.name.size()] = u'\0';
      *valueNameChars = static_cast<DWORD>(value.name.size());
    } else {
      *valueNameChars = static_cast<DWORD>(value.name.size() + 1);
    }
    if (type) *type = REG_SZ;
    const LONG dataCode = CopyData(value.data, data, dataBytes);
    return nameFits ? dataCode : ERROR_MORE_DATA;
  });
}
