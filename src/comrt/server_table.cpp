#include "server_table.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include "comrt/result_codes.h"

namespace comrt {

ServerTable& ServerTable::Instance() {
  static ServerTable* const table = new ServerTable();
  return *table;
}

HRESULT ServerTable::GetClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** object) {
  char resolved[PATH_MAX];
  if (path.empty() || !realpath(path.c_str(), resolved)) return CO_E_DLLNOTFOUND;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  Server* server = nullptr;
  for (Server& loaded : servers_) {
    if (loaded.path == resolved) server = &loaded;
  }
  if (!server) {
    const HRESULT hr = Load(resolved, &server);
    if (FAILED(hr)) return hr;
  }
  return server->getClassObject(clsid, iid, object);
}

HRESULT ServerTable::Load(const std::string& resolvedPath, Server** server) {
  void* handle = dlopen(resolvedPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return CO_E_ERRORINDLL;
  auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject"));
  if (!getClassObject) {
    dlclose(handle);
    return CO_E_ERRORINDLL;
  }
  auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"));
  try {
    servers_.push_back(Server{resolvedPath, handle, getClassObject, canUnloadNow});
  } catch (...) {
    dlclose(handle);
    return E_OUTOFMEMORY;
  }
  *server = &servers_.back();
  return S_OK;
}

void ServerTable::FreeUnused(std::chrono::milliseconds delay) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  const auto now = std::chrono::steady_clock::now();
  for (auto it = servers_.begin(); it != servers_.end();) {
    const bool unused = it->canUnloadNow && it->canUnloadNow() == S_OK;
    if (unused && !it->idle) it->idleSince = now;
    it->idle = unused;
    if (unused && now - it->idleSince >= delay) {
      dlclose(it->handle);
      it = servers_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace comrt
