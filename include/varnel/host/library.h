// Where a host's objects of the library come from: the server file at a
// given path, loaded by comrt::CreateInstanceFromFile without any
// registration, or, with no path, the classes registered with the runtime
// (CoCreateInstance).
#pragma once

#include <string>
#include <utility>

#include "comrt/com_ptr.h"
#include "comrt/guid.h"
#include "varnel/host/export.h"
#include "varnel/host/status.h"

namespace varnel {
namespace host {

class VARNEL_HOST_API Library {
 public:
  // The registered classes.
  Library() = default;
  // The server file at `path` (UTF-8).
  explicit Library(std::string path) : path_(std::move(path)) {}

  // Empty for the registered classes.
  const std::string& path() const noexcept { return path_; }

  // Makes an object of `clsid` and asks it for `iid`. Fails as
  // CreateInstanceFromFile or CoCreateInstance (CO_E_DLLNOTFOUND for a
  // missing file, REGDB_E_CLASSNOTREG for a class not registered).
  Status CreateInstance(REFCLSID clsid, REFIID iid, void** object) const;

  // As CreateInstance, typed: `Create(CLSID_SoapErrorMsg, &error)` with a
  // CComPtr<IUPnPSoapErrorMsg> error.
  template <class Interface>
  Status Create(REFCLSID clsid, Interface** out) const {
    return CreateInstance(clsid, comrt::uuidof<Interface>(), reinterpret_cast<void**>(out));
  }

 private:
  std::string path_;
};

}  // namespace host
}  // namespace varnel
