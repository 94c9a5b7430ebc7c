// Object creation by class id. The classes comrt itself provides (the XML DOM
// documents of comrt/xml_dom.h) need no registration; any other class id is
// not registered until a registry exists.
#pragma once

#include "comrt/runtime.h"
#include "comrt/unknown.h"

// Makes an object of class `clsid` and asks it for `iid`. CLASS_E_NOAGGREGATION
// when `outer` is set and the class cannot be aggregated; REGDB_E_CLASSNOTREG
// for an unknown class or a context without CLSCTX_INPROC_SERVER;
// E_POINTER for a null `object` (else *object is null on every failure);
// E_NOINTERFACE; E_OUTOFMEMORY.
COMRT_CAPI HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid,
                                    void** object);

// Hands out the class object of `clsid` (asked for `iid`, usually
// IID_IClassFactory). `serverInfo` must be null (no remote servers).
// Fails as CoCreateInstance; E_INVALIDARG for a non-null `serverInfo`.
COMRT_CAPI HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* serverInfo, REFIID iid,
                                    void** object);
