// The key half of the registry API: opening, creating, enumerating and
// deleting keys.
#include <algorithm>
#include <memory>
#include <string_view>

#include "comrt/registry.h"
#include "registry/key_handles.h"
#include "registry/store_file.h"

using comrt::registry::Guarded;
using comrt::registry::KeyAt;
using comrt::registry::KeyPath;
using comrt::registry::RegKey;

namespace {

std::u16string_view View(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

// The handle's path and the names `subKey` adds to it, checked.
LONG ResolvePaths(HKEY key, LPCWSTR subKey, KeyPath* base, KeyPath* names) {
  const LONG code = comrt::registry::HandlePath(key, base);
  if (code != ERROR_SUCCESS) return code;
  if (!comrt::registry::SplitKeyPath(View(subKey), names) ||
      base->size() + names->size() > comrt::registry::kMaxKeyDepth) {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

KeyPath Join(KeyPath base, const KeyPath& names) {
  base.insert(base.end(), names.begin(), names.end());
  return base;
}

}  // namespace

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR /*keyClass*/, DWORD /*options*/,
                        REGSAM /*sam*/, const void* /*securityAttributes*/, PHKEY result, LPDWORD disposition) {
  return Guarded([&]() -> LONG {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (reserved != 0) return ERROR_INVALID_PARAMETER;
    KeyPath base;
    KeyPath names;
    LONG code = ResolvePaths(key, subKey, &base, &names);
    if (code != ERROR_SUCCESS) return code;
    bool created = false;
    code = comrt::registry::ChangeStore([&](RegKey& root, bool* changed) -> LONG {
      RegKey* at = nullptr;
      const LONG found = KeyAt(root, base, &at);
      if (found != ERROR_SUCCESS) return found;
      created = false;
      for (const std::u16string& name : names) {
        at = &comrt::registry::OpenOrAddChild(*at, name, &created);
      }
      *changed = created;
      return ERROR_SUCCESS;
    });
    if (code != ERROR_SUCCESS) return code;
    *result = comrt::registry::OpenHandle(Join(std::move(base), names));
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM /*sam*/, PHKEY result) {
  return Guarded([&]() -> LONG {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyPath base;
    KeyPath names;
    LONG code = ResolvePaths(key, subKey, &base, &names);
    if (code != ERROR_SUCCESS) return code;
    std::shared_ptr<const RegKey> root;
    const RegKey* at = nullptr;
    if ((code = comrt::registry::ReadStore(&root)) != ERROR_SUCCESS) return code;
    if ((code = KeyAt(*root, base, &at)) != ERROR_SUCCESS) return code;
    if (!comrt::registry::FindPath(*at, names)) return ERROR_FILE_NOT_FOUND;
    *result = comrt::registry::OpenHandle(Join(std::move(base), names));
    return ERROR_SUCCESS;
  });
}

LSTATUS RegCloseKey(HKEY key) { return comrt::registry::CloseHandle(key); }

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                      LPWSTR /*keyClass*/, LPDWORD /*classChars*/, FILETIME* /*lastWriteTime*/) {
  return Guarded([&]() -> LONG {
    if (!name || !nameChars || reserved) return ERROR_INVALID_PARAMETER;
    KeyPath base;
    LONG code = comrt::registry::HandlePath(key, &base);
    if (code != ERROR_SUCCESS) return code;
    std::shared_ptr<const RegKey> root;
    const RegKey* at = nullptr;
    if ((code = comrt::registry::ReadStore(&root)) != ERROR_SUCCESS) return code;
    if ((code = KeyAt(*root, base, &at)) != ERROR_SUCCESS) return code;
    if (index >= at->children.size()) return ERROR_NO_MORE_ITEMS;
    const std::u16string& found = at->children[index]->name;
    if (found.size() + 1 > *nameChars) {
      *nameChars = static_cast<DWORD>(found.size() + 1);
      return ERROR_MORE_DATA;
    }
    std::copy(found.begin(), found.end(), name);
    name[found.size()] = u'\0';
    *nameChars = static_cast<DWORD>(found.size());
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
  return Guarded([&]() -> LONG {
    KeyPath base;
    KeyPath names;
    const LONG code = ResolvePaths(key, subKey, &base, &names);
    if (code != ERROR_SUCCESS) return code;
    return comrt::registry::ChangeStore([&](RegKey& root, bool* changed) -> LONG {
      RegKey* at = nullptr;
      const LONG found = KeyAt(root, base, &at);
      if (found != ERROR_SUCCESS) return found;
      if (names.empty()) {
        *changed = !at->values.empty() || !at->children.empty();
        at->values.clear();
        at->children.clear();
        return ERROR_SUCCESS;
      }
      RegKey* parent = comrt::registry::FindPath(*at, KeyPath(names.begin(), names.end() - 1));
      if (!parent || !comrt::registry::RemoveChild(*parent, names.back())) return ERROR_FILE_NOT_FOUND;
      *changed = true;
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  return Guarded([&]() -> LONG {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    KeyPath base;
    KeyPath names;
    const LONG code = ResolvePaths(key, subKey, &base, &names);
    if (code != ERROR_SUCCESS) return code;
    // An empty name deletes the handle's own key; the root is never deleted.
    const KeyPath target = Join(base, names);
    if (target.empty()) return ERROR_ACCESS_DENIED;
    return comrt::registry::ChangeStore([&](RegKey& root, bool* changed) -> LONG {
      RegKey* at = nullptr;
      const LONG found = KeyAt(root, base, &at);
      if (found != ERROR_SUCCESS) return found;
      RegKey* parent = comrt::registry::FindPath(root, KeyPath(target.begin(), target.end() - 1));
      RegKey* victim = parent ? comrt::registry::FindChild(*parent, target.back()) : nullptr;
      if (!victim) return ERROR_FILE_NOT_FOUND;
      if (!victim->children.empty()) return ERROR_ACCESS_DENIED;
      comrt::registry::RemoveChild(*parent, target.back());
      *changed = true;
      return ERROR_SUCCESS;
    });
  });
}
