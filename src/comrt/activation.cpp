#include "comrt/activation.h"

#include <atomic>
#include <cstring>
#include <string>

#include "comrt/class_factory.h"
#include "comrt/com_ptr.h"
#include "comrt/registry.h"
#include "comrt/text_conversion.h"
#include "server_table.h"
#include "xml/dom_document.h"

namespace {

// Counts holds on the classes built into comrt, which never unloads for
// their sake.
struct BuiltinClassLock {
  static void Lock() { count.fetch_add(1, std::memory_order_relaxed); }
  static void Unlock() { count.fetch_sub(1, std::memory_order_relaxed); }
  static inline std::atomic<long> count{0};
};

template <class T>
IClassFactory* ClassObject() {
  static comrt::ClassFactory<T, BuiltinClassLock> factory;
  return &factory;
}

struct BuiltinClass {
  const CLSID* clsid;
  IClassFactory* (*classObject)();
};

const BuiltinClass kBuiltinClasses[] = {
    {&CLSID_FreeThreadedDOMDocument60, &ClassObject<comrt::xml::DomDocument>},
    {&CLSID_DOMDocument, &ClassObject<comrt::xml::DomDocument>},
};

// The default value of `keyPath` under the classes root. ERROR_FILE_NOT_FOUND
// when the key or its default value is missing.
LSTATUS ReadDefaultValue(const std::u16string& keyPath, std::u16string& value) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return status;
  DWORD bytes = 0;
  status = RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &bytes);
  if (status == ERROR_SUCCESS) {
    std::u16string text(bytes / sizeof(char16_t) + 1, u'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(char16_t));
    status = RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(&text[0]), &bytes);
    if (status == ERROR_SUCCESS) value.assign(text.c_str());  // up to the terminating zero
  }
  RegCloseKey(key);
  return status;
}

std::u16string ClassKeyPath(REFCLSID clsid, const char16_t* subkey) {
  OLECHAR text[40];
  StringFromGUID2(clsid, text, 40);
  std::u16string path = u"CLSID\\";
  path += text;
  if (subkey) {
    path += u'\\';
    path += subkey;
  }
  return path;
}

// A missing key means "not registered"; any other failure means the registry
// could not be read, which a caller must be able to tell apart.
HRESULT LookupFailure(LSTATUS status, HRESULT notFound) {
  return status == ERROR_FILE_NOT_FOUND ? notFound : REGDB_E_READREGDB;
}

// The one place that finds a class object: the built-in classes, then the
// server file that the registry names.
HRESULT FindClassObject(REFCLSID clsid, DWORD clsContext, REFIID iid, void** object) {
  if ((clsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  for (const BuiltinClass& entry : kBuiltinClasses) {
    if (IsEqualGUID(clsid, *entry.clsid)) return entry.classObject()->QueryInterface(iid, object);
  }
  try {
    std::u16string path;
    const LSTATUS status = ReadDefaultValue(ClassKeyPath(clsid, u"InprocServer32"), path);
    if (status != ERROR_SUCCESS) return LookupFailure(status, REGDB_E_CLASSNOTREG);
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    return comrt::ServerTable::Instance().GetClassObject(comrt::ToUtf8(path), clsid, iid, object);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CreateThroughClassObject(IClassFactory* factory, IUnknown* outer, REFIID iid, void** object) {
  const HRESULT hr = factory->CreateInstance(outer, iid, object);
  if (FAILED(hr)) *object = nullptr;
  return hr;
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* serverInfo, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (serverInfo) return E_INVALIDARG;
  return FindClassObject(clsid, clsContext, iid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  CComPtr<IClassFactory> factory;
  const HRESULT hr = FindClassObject(clsid, clsContext, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  return CreateThroughClassObject(factory, outer, iid, object);
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  try {
    std::u16string name = progId;
    // A version-independent ProgID may name only its current version; the
    // bound keeps a CurVer loop from running forever.
    for (int hops = 0; hops < 8 && !name.empty(); ++hops) {
      std::u16string text;
      LSTATUS status = ReadDefaultValue(name + u"\\CLSID", text);
      if (status == ERROR_SUCCESS) return SUCCEEDED(CLSIDFromString(text.c_str(), clsid)) ? S_OK : CO_E_CLASSSTRING;
      if (status != ERROR_FILE_NOT_FOUND) return REGDB_E_READREGDB;
      status = ReadDefaultValue(name + u"\\CurVer", text);
      if (status != ERROR_SUCCESS) return LookupFailure(status, CO_E_CLASSSTRING);
      name = text;
    }
    return CO_E_CLASSSTRING;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
  if (!progId) return E_INVALIDARG;
  *progId = nullptr;
  try {
    std::u16string text;
    const LSTATUS status = ReadDefaultValue(ClassKeyPath(clsid, u"ProgID"), text);
    if (status != ERROR_SUCCESS) return LookupFailure(status, REGDB_E_CLASSNOTREG);
    if (text.empty()) return REGDB_E_CLASSNOTREG;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
    *progId = copy;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

void CoFreeUnusedLibraries() { comrt::ServerTable::Instance().FreeUnused(std::chrono::milliseconds(0)); }

void CoFreeUnusedLibrariesEx(DWORD unloadDelay, DWORD reserved) {
  if (reserved != 0) return;
  comrt::ServerTable::Instance().FreeUnused(std::chrono::milliseconds(unloadDelay));
}

namespace comrt {

HRESULT GetClassObjectFromFile(LPCOLESTR path, REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!path || !*path) return E_INVALIDARG;
  try {
    return ServerTable::Instance().GetClassObject(ToUtf8(path), clsid, iid, object);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CreateInstanceFromFile(LPCOLESTR path, REFCLSID clsid, IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  CComPtr<IClassFactory> factory;
  const HRESULT hr = GetClassObjectFromFile(path, clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  return CreateThroughClassObject(factory, outer, iid, object);
}

}  // namespace comrt
