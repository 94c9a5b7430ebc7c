// GUIDs (interface and class identifiers), their comparison and text forms,
// and the compile-time link between an interface type and its IID.
#pragma once

#include <cstring>

#include "comrt/types.h"

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;

typedef GUID IID;
typedef GUID CLSID;
typedef GUID* LPGUID;
typedef CLSID* LPCLSID;
typedef IID* LPIID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

static_assert(sizeof(GUID) == 16, "GUID is 16 bytes on the platform");

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool InlineIsEqualGUID(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }
// Byte-wise order, so that GUIDs can key ordered maps.
inline bool operator<(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL

// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hex) into `buffer`.
// Returns the characters written including the terminating zero (39), or 0
// when `buffer` is null or `cchMax` is below 39.
COMRT_CAPI int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax);

// Parses the braced text form (either case, nothing before or after it). S_OK,
// or CO_E_CLASSSTRING for any other text (null included) with *clsid set to
// GUID_NULL; E_INVALIDARG for a null `clsid`. ProgIDs are resolved through the
// registry once one exists.
COMRT_CAPI HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid);

// As CLSIDFromString for interface ids; every failure gives E_INVALIDARG.
COMRT_CAPI HRESULT IIDFromString(LPCOLESTR text, LPIID iid);

// Hands out the braced text form in memory from CoTaskMemAlloc; E_POINTER for
// a null out pointer, E_OUTOFMEMORY when allocation fails.
COMRT_CAPI HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);
#define StringFromIID StringFromCLSID

namespace comrt {

// Maps an interface type to its IID and to the interface it extends, so that
// QueryInterface implementations answer for base interfaces too.
// Specialised for every interface by COMRT_DECLARE_INTERFACE.
template <class Interface>
struct InterfaceTraits;

template <class Interface>
constexpr const IID& uuidof() {
  return InterfaceTraits<Interface>::iid;
}

}  // namespace comrt

// Declares `Interface` to have `iid` and to extend `Base` (void for IUnknown).
// Must be used at global scope.
#define COMRT_DECLARE_INTERFACE(Interface, Base, iidConstant) \
  template <>                                                 \
  struct comrt::InterfaceTraits<Interface> {                  \
    static constexpr const IID& iid = iidConstant;            \
    using base = Base;                                        \
  }
