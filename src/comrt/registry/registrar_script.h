// Registration scripts parsed into the keys they describe (syntax in
// comrt/registrar.h). Replacements are made while reading each name or text,
// so that what they insert is never read as script.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace comrt {
namespace registry {

enum class KeyMark { kNone, kForceRemove, kNoRemove, kDelete };

struct ScriptValue {
  std::u16string name;
  std::u16string text;
};

struct ScriptKey {
  KeyMark mark = KeyMark::kNone;
  std::u16string name;
  bool hasDefault = false;
  std::u16string defaultText;
  std::vector<ScriptValue> values;
  std::vector<ScriptKey> children;
};

using Replacements = std::map<std::u16string, std::u16string>;

// The keys that `script` names below its roots, in script order; false for
// a syntax error, a root other than the classes root, a value type other
// than `s`, an unknown replacement, or a name the registry would refuse.
// Throws std::bad_alloc only.
bool ParseScript(std::u16string_view script, const Replacements& replacements, std::vector<ScriptKey>* keys);

}  // namespace registry
}  // namespace comrt
