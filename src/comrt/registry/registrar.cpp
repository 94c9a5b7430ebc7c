#include "comrt/registrar.h"

#include <exception>
#include <string>
#include <vector>

#include "registry/key_tree.h"
#include "registry/registrar_script.h"
#include "registry/store_file.h"
#include "registry/store_text.h"

namespace comrt {
namespace {

using registry::KeyMark;
using registry::RegKey;
using registry::ScriptKey;

void RegisterKey(RegKey& parent, const ScriptKey& script, bool* changed) {
  if (script.mark == KeyMark::kForceRemove || script.mark == KeyMark::kDelete) {
    *changed |= registry::RemoveChild(parent, script.name);
  }
  if (script.mark == KeyMark::kDelete) return;
  bool created = false;
  RegKey& key = registry::OpenOrAddChild(parent, script.name, &created);
  *changed |= created;
  if (script.hasDefault) *changed |= registry::SetValue(key, u"", script.defaultText);
  for (const registry::ScriptValue& value : script.values) {
    *changed |= registry::SetValue(key, value.name, value.text);
  }
  for (const ScriptKey& child : script.children) RegisterKey(key, child, changed);
}

// A NoRemove key is shared with others (CLSID, a type library's key), so
// only what this script put inside it goes; every other key is the
// script's own and goes with its whole tree.
void UnregisterKey(RegKey& parent, const ScriptKey& script, bool* changed) {
  if (script.mark != KeyMark::kNoRemove) {
    *changed |= registry::RemoveChild(parent, script.name);
    return;
  }
  RegKey* key = registry::FindChild(parent, script.name);
  if (!key) return;
  for (const registry::ScriptValue& value : script.values) *changed |= registry::RemoveValue(*key, value.name);
  for (const ScriptKey& child : script.children) UnregisterKey(*key, child, changed);
}

// Parses `script` whole, then applies it as one change to the store, so
// that a failing store leaves no half-registered component behind.
HRESULT Run(LPCOLESTR script, const registry::Replacements& replacements, bool registering) {
  if (!script) return E_INVALIDARG;
  try {
    std::vector<ScriptKey> keys;
    if (!registry::ParseScript(script, replacements, &keys)) return DISP_E_EXCEPTION;
    const LONG code = registry::ChangeStore([&](RegKey& root, bool* changed) -> LONG {
      // ForceRemove takes a key away and makes it again, so whether anything
      // changed is told by the result, letting a repeated registration pass
      // without a rewrite.
      const std::string before = registry::FormatStore(root);
      bool touched = false;
      for (const ScriptKey& key : keys) {
        if (registering) {
          RegisterKey(root, key, &touched);
        } else {
          UnregisterKey(root, key, &touched);
        }
      }
      *changed = touched && registry::FormatStore(root) != before;
      return ERROR_SUCCESS;
    });
    return code == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(code);
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

HRESULT CRegObject::AddReplacement(LPCOLESTR key, LPCOLESTR item) {
  if (!key || !*key || !item) return E_INVALIDARG;
  try {
    replacements_[key] = item;
    return S_OK;
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CRegObject::ClearReplacements() {
  replacements_.clear();
  return S_OK;
}

HRESULT CRegObject::StringRegister(LPCOLESTR script) { return Run(script, replacements_, true); }

HRESULT CRegObject::StringUnregister(LPCOLESTR script) { return Run(script, replacements_, false); }

}  // namespace comrt
