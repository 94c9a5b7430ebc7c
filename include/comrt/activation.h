// Object creation by class id or ProgID. The classes comrt itself provides
// (the XML DOM documents of comrt/xml_dom.h) need no registration; every other
// class is found in the registry (comrt/registry.h): the default value of
// "CLSID\{clsid}\InprocServer32" names the library file of its in-process
// server. A server file is loaded once, on first use, and stays loaded until
// CoFreeUnusedLibraries finds that it may be unloaded.
#pragma once

#include "comrt/runtime.h"
#include "comrt/unknown.h"

// Makes an object of class `clsid` and asks it for `iid`. CLASS_E_NOAGGREGATION
// when `outer` is set and the class cannot be aggregated; REGDB_E_CLASSNOTREG
// for a class that is neither built in nor registered, or a context without
// CLSCTX_INPROC_SERVER; REGDB_E_READREGDB when the registry cannot be read;
// CO_E_DLLNOTFOUND when the registered file is missing, CO_E_ERRORINDLL when
// it does not load or lacks DllGetClassObject; the server's own codes;
// E_POINTER for a null `object` (else *object is null on every failure);
// E_NOINTERFACE; E_OUTOFMEMORY.
COMRT_CAPI HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid,
                                    void** object);

// Hands out the class object of `clsid` (asked for `iid`, usually
// IID_IClassFactory). `serverInfo` must be null (no remote servers).
// Fails as CoCreateInstance; E_INVALIDARG for a non-null `serverInfo`.
COMRT_CAPI HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* serverInfo, REFIID iid,
                                    void** object);

// The class id registered for `progId`: the default value of its "CLSID"
// subkey, or, for a ProgID that has none, that of the ProgID its "CurVer"
// names. CO_E_CLASSSTRING for an unknown ProgID or a value that is no class
// id, REGDB_E_READREGDB when the registry cannot be read, E_INVALIDARG for
// null arguments.
COMRT_CAPI HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);

// The ProgID registered for `clsid` ("CLSID\{clsid}\ProgID"), in a block of
// task memory that the caller frees with CoTaskMemFree. REGDB_E_CLASSNOTREG
// when none is registered, REGDB_E_READREGDB, E_INVALIDARG for a null
// `progId`, E_OUTOFMEMORY.
COMRT_CAPI HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);

// Unloads every loaded server file whose DllCanUnloadNow answers S_OK, at
// once. Only for a host that knows no other thread may still be running
// code of such a server (finishing the Release of its last object).
COMRT_CAPI void CoFreeUnusedLibraries();
// As CoFreeUnusedLibraries, for hosts with threads: a server is unloaded only
// once it has answered S_OK to every such call for at least `unloadDelay`
// milliseconds, so that a thread finishing its last call into it is gone
// first. An S_FALSE starts the wait again. `reserved` must be 0 (else
// nothing is done).
COMRT_CAPI void CoFreeUnusedLibrariesEx(DWORD unloadDelay, DWORD reserved);

namespace comrt {

// Loading a server without registration, for tools and tests: the class
// object of `clsid` from the library file at `path` (UTF-16), asked for `iid`.
// The file is loaded once and kept like a registered server (a registered
// class naming the same file shares the load, and CoFreeUnusedLibraries may
// unload it). Fails as CoGetClassObject, E_INVALIDARG for a null or empty
// `path`.
COMRT_API HRESULT GetClassObjectFromFile(LPCOLESTR path, REFCLSID clsid, REFIID iid, void** object);
// Makes an object as CoCreateInstance does, from the server file at `path`.
COMRT_API HRESULT CreateInstanceFromFile(LPCOLESTR path, REFCLSID clsid, IUnknown* outer, REFIID iid,
                                         void** object);

}  // namespace comrt
