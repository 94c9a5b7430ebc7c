#include "varnel/host/library.h"

#include "comrt/activation.h"
#include "text.h"

namespace varnel {
namespace host {

Status Library::CreateInstance(REFCLSID clsid, REFIID iid, void** object) const {
  if (!object) return Status(E_POINTER, "no place for the object");
  *object = nullptr;
  HRESULT hr;
  if (path_.empty()) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
  } else {
    const std::u16string path = comrt::FromUtf8(path_);
    hr = comrt::CreateInstanceFromFile(path.c_str(), clsid, nullptr, iid, object);
  }
  if (SUCCEEDED(hr)) return Status();
  OLECHAR clsidText[40] = {};
  StringFromGUID2(clsid, clsidText, 40);
  const std::string where = path_.empty() ? "through the registry" : "from " + path_;
  return Status(hr, "cannot make an object of class " + comrt::ToUtf8(clsidText) + " " + where);
}

}  // namespace host
}  // namespace varnel
