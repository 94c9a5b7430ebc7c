// The in-process server files that the runtime has loaded, each once, with
// their entry points.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "comrt/unknown.h"

namespace comrt {

class ServerTable {
 public:
  // The process's one table (never destroyed, so that static destructors of
  // the host may still create objects).
  static ServerTable& Instance();

  // The class object of `clsid` from the server file at `path` (UTF-8),
  // loading the file on first use. CO_E_DLLNOTFOUND for a missing file,
  // CO_E_ERRORINDLL for one that does not load or lacks DllGetClassObject,
  // else what the server's DllGetClassObject answers.
  HRESULT GetClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** object);

  // Unloads every server whose DllCanUnloadNow has answered S_OK to every
  // call for at least `delay`.
  void FreeUnused(std::chrono::milliseconds delay);

 private:
  struct Server {
    std::string path;  // resolved, so one file is loaded once whatever it is called
    void* handle;
    LPFNGETCLASSOBJECT getClassObject;
    LPFNCANUNLOADNOW canUnloadNow;  // null: never unloaded
    bool idle = false;               // answered S_OK when last asked
    std::chrono::steady_clock::time_point idleSince{};
  };

  HRESULT Load(const std::string& resolvedPath, Server** server);

  // Recursive: a server may create objects of other servers while it makes
  // a class object. Held while a server is called, so no other thread can
  // unload it in the meantime.
  std::recursive_mutex lock_;
  std::vector<Server> servers_;
};

}  // namespace comrt
