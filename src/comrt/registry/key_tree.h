// The registry held in memory: a tree of keys, each with its string values.
// Children and values are kept sorted by their case-folded names, which is
// both the enumeration order and the order the store file is written in.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "comrt/types.h"

namespace comrt {
namespace registry {

// The names leading from the root to a key; the root itself is empty.
using KeyPath = std::vector<std::u16string>;

// The limits the platform documents for names and nesting.
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;
constexpr size_t kMaxKeyDepth = 512;

struct RegValue {
  std::u16string name;  // empty: the key's default value
  std::u16string data;
};

struct RegKey {
  std::u16string name;
  std::vector<RegValue> values;
  std::vector<std::unique_ptr<RegKey>> children;
};

// <0, 0 or >0 as `a` sorts before, with or after `b`, ASCII letters folded.
int CompareNames(std::u16string_view a, std::u16string_view b);

// A key name as stored: lone surrogates become U+FFFD, because the store
// writes key names as plain UTF-8 and must find the same name again.
std::u16string NormalizeKeyName(std::u16string_view name);

// True when `name` holds no character below U+0020.
bool HasNoControlCharacter(std::u16string_view name);

// Splits `text` ("A\B\C"; empty: no names) into normalized names.
// False for an empty component (leading, trailing or doubled "\"), a control
// character, a name longer than kMaxKeyNameChars, or more than kMaxKeyDepth
// names.
bool SplitKeyPath(std::u16string_view text, KeyPath* names);

// The child named `name`, or null.
RegKey* FindChild(const RegKey& key, std::u16string_view name);
// The key at `path` below `key`, or null.
RegKey* FindPath(RegKey& key, const KeyPath& path);
const RegKey* FindPath(const RegKey& key, const KeyPath& path);
// The existing child named `name`, or a new empty one (`*created` says which).
RegKey& OpenOrAddChild(RegKey& key, std::u16string_view name, bool* created);
// Removes the child named `name` with its tree; false when there is none.
bool RemoveChild(RegKey& key, std::u16string_view name);

// The value named `name`, or null.
const RegValue* FindValue(const RegKey& key, std::u16string_view name);
// Sets value `name` to `data`; false when it already held exactly that.
bool SetValue(RegKey& key, std::u16string_view name, std::u16string_view data);
// Removes value `name`; false when there is none.
bool RemoveValue(RegKey& key, std::u16string_view name);

}  // namespace registry
}  // namespace comrt
