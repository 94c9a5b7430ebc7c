#include "com/module.h"

#include <string>

#include "com/class_table.h"
#include "comrt/registrar.h"
#include "comrt/system.h"
#include "varnel/varnel.h"

namespace varnel {
namespace {

// Made by the library's static initialisation (constant-initialised, so it
// exists before any other code of the library runs).
CVarnelModule g_module;

// The full path of the file this code was loaded from; empty when unknown.
std::u16string ModuleFilePath() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ModuleFilePath), &self)) {
    return {};
  }
  std::u16string path(256, u'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(self, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

CVarnelModule& CVarnelModule::Instance() { return g_module; }

HRESULT CVarnelModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  size_t count = 0;
  const ClassEntry* classes = ClassTable(&count);
  for (size_t i = 0; i < count; ++i) {
    if (IsEqualGUID(clsid, *classes[i].clsid)) return classes[i].classObject()->QueryInterface(iid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CVarnelModule::RegisterServer() noexcept {
  // Key names and texts must not depend on the caller's locale.
  const comrt::ThreadLocaleScope locale(LOCALE_SYSTEM_DEFAULT);
  try {
    // Without its file a class key would name nothing to load; nothing is
    // written then.
    const std::u16string module = ModuleFilePath();
    if (module.empty()) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    comrt::CRegObject registrar;
    HRESULT hr = registrar.AddReplacement(u"APPID", kAppId);
    if (SUCCEEDED(hr)) hr = registrar.AddReplacement(u"MODULE", module.c_str());
    if (SUCCEEDED(hr)) hr = registrar.StringRegister(kAppIdScript);
    size_t count = 0;
    const ClassEntry* classes = ClassTable(&count);
    for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) hr = registrar.StringRegister(classes[i].script);
    // No performance counters are registered by this library.
    return hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CVarnelModule::UnregisterServer() noexcept {
  const comrt::ThreadLocaleScope locale(LOCALE_SYSTEM_DEFAULT);
  try {
    comrt::CRegObject registrar;
    HRESULT hr = registrar.AddReplacement(u"APPID", kAppId);
    // Unregistering names no file; the replacement only has to exist.
    if (SUCCEEDED(hr)) hr = registrar.AddReplacement(u"MODULE", u"");
    size_t count = 0;
    const ClassEntry* classes = ClassTable(&count);
    for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) hr = registrar.StringUnregister(classes[i].script);
    if (SUCCEEDED(hr)) hr = registrar.StringUnregister(kAppIdScript);
    return hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace varnel

extern "C" VARNEL_ENTRY_POINT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return varnel::CVarnelModule::Instance().GetClassObject(clsid, iid, object);
}

extern "C" VARNEL_ENTRY_POINT HRESULT DllCanUnloadNow() { return varnel::CVarnelModule::Instance().CanUnloadNow(); }

extern "C" VARNEL_ENTRY_POINT HRESULT DllRegisterServer() { return varnel::CVarnelModule::Instance().RegisterServer(); }

extern "C" VARNEL_ENTRY_POINT HRESULT DllUnregisterServer() {
  return varnel::CVarnelModule::Instance().UnregisterServer();
}
