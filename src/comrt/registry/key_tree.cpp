#include "registry/key_tree.h"

#include <algorithm>

namespace comrt {
namespace registry {
namespace {

// Folds to upper case, so that "_" sorts after letters as on the platform.
char16_t Fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c; }

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

const std::u16string& NameOf(const RegValue& value) { return value.name; }
const std::u16string& NameOf(const std::unique_ptr<RegKey>& key) { return key->name; }

// The first item whose name does not sort before `name`.
template <class Items>
auto LowerBound(Items& items, std::u16string_view name) {
  return std::lower_bound(items.begin(), items.end(), name, [](const auto& item, std::u16string_view wanted) {
    return CompareNames(NameOf(item), wanted) < 0;
  });
}

}  // namespace

int CompareNames(std::u16string_view a, std::u16string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const char16_t x = Fold(a[i]);
    const char16_t y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::u16string NormalizeKeyName(std::u16string_view name) {
  std::u16string result(name);
  for (size_t i = 0; i < result.size(); ++i) {
    if (IsHighSurrogate(result[i]) && i + 1 < result.size() && IsLowSurrogate(result[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(result[i]) || IsLowSurrogate(result[i])) {
      result[i] = 0xFFFD;
    }
  }
  return result;
}

bool HasNoControlCharacter(std::u16string_view name) {
  return std::none_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20; });
}

bool SplitKeyPath(std::u16string_view text, KeyPath* names) {
  names->clear();
  if (text.empty()) return true;
  size_t start = 0;
  while (true) {
    const size_t end = std::min(text.find(u'\\', start), text.size());
    const std::u16string_view name = text.substr(start, end - start);
    if (name.empty() || name.size() > kMaxKeyNameChars || !HasNoControlCharacter(name)) return false;
    if (names->size() == kMaxKeyDepth) return false;
    names->push_back(NormalizeKeyName(name));
    if (end == text.size()) return true;
    start = end + 1;
  }
}

RegKey* FindChild(const RegKey& key, std::u16string_view name) {
  auto it = LowerBound(key.children, name);
  return it != key.children.end() && CompareNames((*it)->name, name) == 0 ? it->get() : nullptr;
}

RegKey* FindPath(RegKey& key, const KeyPath& path) {
  RegKey* current = &key;
  for (const std::u16string& name : path) {
    current = FindChild(*current, name);
    if (!current) return nullptr;
  }
  return current;
}

const RegKey* FindPath(const RegKey& key, const KeyPath& path) {
  const RegKey* current = &key;
  for (const std::u16string& name : path) {
    current = FindChild(*current, name);
    if (!current) return nullptr;
  }
  return current;
}

RegKey& OpenOrAddChild(RegKey& key, std::u16string_view name, bool* created) {
  auto it = LowerBound(key.children, name);
  *created = it == key.children.end() || CompareNames((*it)->name, name) != 0;
  if (*created) {
    auto child = std::make_unique<RegKey>();
    child->name = std::u16string(name);
    it = key.children.insert(it, std::move(child));
  }
  return **it;
}

bool RemoveChild(RegKey& key, std::u16string_view name) {
  auto it = LowerBound(key.children, name);
  if (it == key.children.end() || CompareNames((*it)->name, name) != 0) return false;
  key.children.erase(it);
  return true;
}

const RegValue* FindValue(const RegKey& key, std::u16string_view name) {
  auto it = LowerBound(key.values, name);
  return it != key.values.end() && CompareNames(it->name, name) == 0 ? &*it : nullptr;
}

bool SetValue(RegKey& key, std::u16string_view name, std::u16string_view data) {
  auto it = LowerBound(key.values, name);
  if (it != key.values.end() && CompareNames(it->name, name) == 0) {
    if (it->data == data) return false;
    it->data = std::u16string(data);
    return true;
  }
  key.values.insert(it, RegValue{std::u16string(name), std::u16string(data)});
  return true;
}

bool RemoveValue(RegKey& key, std::u16string_view name) {
  auto it = LowerBound(key.values, name);
  if (it == key.values.end() || CompareNames(it->name, name) != 0) return false;
  key.values.erase(it);
  return true;
}

}  // namespace registry
}  // namespace comrt
