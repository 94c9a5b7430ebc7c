// The registry: the classes root only, kept in one store file.
//
// The store is `$COMRT_REGISTRY` when that is set and not empty, else
// `$XDG_DATA_HOME/comrt/registry` (`~/.local/share/comrt/registry` when
// XDG_DATA_HOME is unset or not an absolute path). It is a readable text file; every change rewrites it whole
// through a temporary file and a rename, under an exclusive lock, so
// processes changing it at once lose nothing and a crash leaves the old file.
// A missing store is an empty registry, made by the first change. A store
// that does not read or parse, or whose file is read-only, answers with an
// error code and is never replaced.
//
// Key and value names compare without regard to the case of ASCII letters
// and keep the case they were created with. Keys are separated by "\"; a name
// holds no control character, and a path has no empty name (no leading,
// trailing or doubled "\"). A lone surrogate in a key name is stored as
// U+FFFD. Values are strings (REG_SZ). The default value of a key has the
// empty (or null) name. A change that alters nothing (setting a value it
// already has, creating a key that exists) succeeds without writing.
//
// Every function returns a system error code (ERROR_SUCCESS on success):
//   ERROR_FILE_NOT_FOUND   no such key or value
//   ERROR_INVALID_HANDLE   a handle that is not open
//   ERROR_INVALID_PARAMETER a bad argument (null pointer, bad name, type)
//   ERROR_MORE_DATA        a buffer too small (its size is then reported)
//   ERROR_NO_MORE_ITEMS    enumeration past the last item
//   ERROR_KEY_DELETED      the handle's key was deleted since it was opened
//   ERROR_BADDB            the store does not parse
//   ERROR_ACCESS_DENIED    the store (or its folder) may not be read or written
//   ERROR_CANTREAD, ERROR_CANTWRITE  other failures to read or write the store
//   ERROR_NOT_ENOUGH_MEMORY
#pragma once

#include <string>

#include "comrt/types.h"

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef LONG LSTATUS;
typedef DWORD REGSAM;

// The one root: a predefined handle, never closed.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000)

// Access rights are accepted and not enforced: every handle may read and write.
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0x0000

#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define REG_NONE 0
#define REG_SZ 1

#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6L
#endif
#define ERROR_BADDB 1009L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L

// Opens `subKey` of `key`, creating it and every missing key on its path.
// `*disposition` (optional) tells REG_CREATED_NEW_KEY or
// REG_OPENED_EXISTING_KEY. `reserved` must be 0; `keyClass`, `options`,
// `sam` and `securityAttributes` are ignored. Null or empty `subKey` opens
// `key` itself again.
COMRT_CAPI LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                                   REGSAM sam, const void* securityAttributes, PHKEY result,
                                   LPDWORD disposition);
// Opens an existing `subKey` of `key`; ERROR_FILE_NOT_FOUND when it is missing.
COMRT_CAPI LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, PHKEY result);
// Closes a handle from RegCreateKeyExW/RegOpenKeyExW (the root is accepted
// and stays open).
COMRT_CAPI LSTATUS RegCloseKey(HKEY key);

// Sets value `valueName` (null or empty: the default value) of `key`. Only
// REG_SZ: `data` is UTF-16 text of `dataBytes` bytes; it is stored up to its
// first zero code unit.
COMRT_CAPI LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                                  DWORD dataBytes);
// Reads value `valueName` of `key`. `*type` (optional) receives REG_SZ. With
// `data` null, `*dataBytes` receives the size needed (terminating zero
// included); with a buffer too small, ERROR_MORE_DATA and the size needed.
COMRT_CAPI LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                    LPDWORD dataBytes);
// Deletes value `valueName` of `key`; ERROR_FILE_NOT_FOUND when missing.
COMRT_CAPI LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);

// The name of subkey number `index` of `key` (in name order) into `name`,
// whose size `*nameChars` counts characters with the terminating zero; on
// success `*nameChars` receives the length without it. ERROR_MORE_DATA when
// `name` is too small (`*nameChars` then receives the size needed, the zero
// included), ERROR_NO_MORE_ITEMS past the last subkey. `keyClass`,
// `classChars` and `lastWriteTime` may be null and are left as they are.
COMRT_CAPI LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                                 LPWSTR keyClass, LPDWORD classChars, FILETIME* lastWriteTime);
// Value number `index` of `key` (the default value, when set, first; then by
// name): its name as RegEnumKeyExW gives names, its type and data as
// RegQueryValueExW gives them.
COMRT_CAPI LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars,
                                 LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataBytes);

// Deletes `subKey` of `key` with all its subkeys and values; with a null or
// empty `subKey`, deletes the subkeys and values of `key` and keeps `key`.
// ERROR_FILE_NOT_FOUND when `subKey` is missing.
COMRT_CAPI LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey);
// Deletes `subKey` of `key` when it has no subkeys (ERROR_ACCESS_DENIED
// otherwise, as on the platform). An empty `subKey` deletes `key` itself
// (never the root: ERROR_ACCESS_DENIED); a null one is ERROR_INVALID_PARAMETER.
COMRT_CAPI LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey);

namespace comrt {

// The store file's path as the environment names it now (UTF-8); empty when
// neither COMRT_REGISTRY, XDG_DATA_HOME nor HOME is set.
COMRT_API std::string RegistryStorePath();

}  // namespace comrt
