#include "comrt/system_message.h"

#include <algorithm>
#include <cstring>

#include "comrt/registry.h"
#include "comrt/result_codes.h"

namespace {

// System error codes behind E_HANDLE and E_OUTOFMEMORY, which the result-code
// header does not name.
constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorOutOfMemory = 14;

struct MessageText {
  DWORD code;
  const char16_t* text;
};

// One text per code the library may meet. System error codes are keyed by
// their plain value; result codes that wrap one (facility WIN32) are mapped to
// it before the lookup. Codes in the interface-specific range beyond the
// registration and class errors deliberately have no text: their meaning
// belongs to the interface that returned them, and callers then fall back to
// a text of their own.
constexpr MessageText kMessages[] = {
    {static_cast<DWORD>(S_OK), u"The operation succeeded.\r\n"},
    {static_cast<DWORD>(S_FALSE), u"The operation succeeded with a negative or partial answer.\r\n"},
    {ERROR_FILE_NOT_FOUND, u"The named file does not exist.\r\n"},
    {ERROR_ACCESS_DENIED, u"Permission to perform the operation was refused.\r\n"},
    {kErrorInvalidHandle, u"A handle passed to the operation is not valid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, u"Too little memory is free to carry out the command.\r\n"},
    {kErrorOutOfMemory, u"There is not enough memory to complete the operation.\r\n"},
    {ERROR_INVALID_PARAMETER, u"One or more arguments are not valid.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, u"The buffer supplied is too small for the result.\r\n"},
    {ERROR_ALREADY_EXISTS, u"The item cannot be created because it already exists.\r\n"},
    {ERROR_MORE_DATA, u"Further data remains to be read.\r\n"},
    {ERROR_NO_MORE_ITEMS, u"There are no further items.\r\n"},
    {ERROR_MR_MID_NOT_FOUND, u"No message text exists for the given message number.\r\n"},
    {ERROR_BADDB, u"The registry store is damaged and cannot be used.\r\n"},
    {ERROR_CANTREAD, u"The registry store could not be read.\r\n"},
    {ERROR_CANTWRITE, u"The registry store could not be written.\r\n"},
    {ERROR_KEY_DELETED, u"The registry key was deleted after it was opened.\r\n"},

    {static_cast<DWORD>(E_NOTIMPL), u"The requested operation has no implementation.\r\n"},
    {static_cast<DWORD>(E_NOINTERFACE), u"The object does not offer the requested interface.\r\n"},
    {static_cast<DWORD>(E_POINTER), u"A required pointer was null or not valid.\r\n"},
    {static_cast<DWORD>(E_ABORT), u"The operation was cancelled before it finished.\r\n"},
    {static_cast<DWORD>(E_FAIL), u"The operation failed for an unspecified reason.\r\n"},
    {static_cast<DWORD>(E_UNEXPECTED), u"An unexpected failure occurred.\r\n"},

    {static_cast<DWORD>(RPC_E_CHANGED_MODE),
     u"The thread was already initialised with a different concurrency model.\r\n"},

    {static_cast<DWORD>(DISP_E_UNKNOWNINTERFACE), u"The dispatch interface identifier is not recognised.\r\n"},
    {static_cast<DWORD>(DISP_E_MEMBERNOTFOUND), u"The object has no member with the requested dispatch identifier.\r\n"},
    {static_cast<DWORD>(DISP_E_PARAMNOTFOUND), u"A named argument does not match any parameter of the member.\r\n"},
    {static_cast<DWORD>(DISP_E_TYPEMISMATCH),
     u"An argument has a type that cannot be converted to the type required.\r\n"},
    {static_cast<DWORD>(DISP_E_UNKNOWNNAME), u"A member or parameter name is not recognised.\r\n"},
    {static_cast<DWORD>(DISP_E_NONAMEDARGS), u"The member does not accept named arguments.\r\n"},
    {static_cast<DWORD>(DISP_E_BADVARTYPE), u"A value carries a variant type that is not valid.\r\n"},
    {static_cast<DWORD>(DISP_E_EXCEPTION), u"The member raised an exception; its details travel with the call.\r\n"},
    {static_cast<DWORD>(DISP_E_OVERFLOW), u"A value does not fit in the type it is converted to.\r\n"},
    {static_cast<DWORD>(DISP_E_BADINDEX), u"An index is outside the bounds of the array.\r\n"},
    {static_cast<DWORD>(DISP_E_UNKNOWNLCID), u"The locale identifier is not recognised.\r\n"},
    {static_cast<DWORD>(DISP_E_ARRAYISLOCKED), u"The array is locked and cannot be changed or freed.\r\n"},
    {static_cast<DWORD>(DISP_E_BADPARAMCOUNT), u"The member was called with the wrong number of arguments.\r\n"},
    {static_cast<DWORD>(DISP_E_PARAMNOTOPTIONAL), u"A required argument was omitted.\r\n"},
    {static_cast<DWORD>(DISP_E_BADCALLEE), u"The called member is not a method that can be invoked.\r\n"},
    {static_cast<DWORD>(DISP_E_NOTACOLLECTION), u"The object cannot be enumerated as a collection.\r\n"},
    {static_cast<DWORD>(DISP_E_DIVBYZERO), u"An arithmetic operation divided by zero.\r\n"},
    {static_cast<DWORD>(TYPE_E_TYPEMISMATCH), u"The type information does not match what was expected.\r\n"},

    {static_cast<DWORD>(STG_E_INVALIDFUNCTION), u"The storage object does not support the requested function.\r\n"},
    {static_cast<DWORD>(STG_E_INVALIDPOINTER), u"A pointer passed to the storage object is not valid.\r\n"},
    {static_cast<DWORD>(STG_E_WRITEFAULT), u"Writing to the storage medium failed.\r\n"},
    {static_cast<DWORD>(STG_E_READFAULT), u"Reading from the storage medium failed.\r\n"},
    {static_cast<DWORD>(STG_E_MEDIUMFULL), u"The storage medium has no room left for the data.\r\n"},

    {static_cast<DWORD>(CLASS_E_NOAGGREGATION), u"This class cannot be created as part of an aggregate.\r\n"},
    {static_cast<DWORD>(CLASS_E_CLASSNOTAVAILABLE), u"The class object cannot make objects of the requested class.\r\n"},
    {static_cast<DWORD>(REGDB_E_READREGDB), u"The class registration data could not be read.\r\n"},
    {static_cast<DWORD>(REGDB_E_WRITEREGDB), u"The class registration data could not be written.\r\n"},
    {static_cast<DWORD>(REGDB_E_CLASSNOTREG), u"No class is registered under the requested class identifier.\r\n"},
    {static_cast<DWORD>(REGDB_E_IIDNOTREG), u"No interface is registered under the requested interface identifier.\r\n"},
    {static_cast<DWORD>(CO_E_NOTINITIALIZED), u"The component runtime has not been initialised on this thread.\r\n"},
    {static_cast<DWORD>(CO_E_CLASSSTRING), u"The text is not a valid class identifier.\r\n"},
    {static_cast<DWORD>(CO_E_IIDSTRING), u"The text is not a valid interface identifier.\r\n"},
    {static_cast<DWORD>(CO_E_DLLNOTFOUND), u"The library that implements the class could not be found.\r\n"},
    {static_cast<DWORD>(CO_E_ERRORINDLL), u"The library that implements the class could not be loaded or is faulty.\r\n"},
    {static_cast<DWORD>(CO_E_CLASS_CREATE_FAILED), u"The server failed to create the class object.\r\n"},
};

const char16_t* FindText(DWORD messageId) {
  // A result code of facility WIN32 carries a system error code in its low
  // word, and shares that code's text.
  if ((messageId & 0xFFFF0000u) == (0x80000000u | static_cast<DWORD>(FACILITY_WIN32) << 16)) {
    messageId &= 0xFFFFu;
  }
  for (const MessageText& entry : kMessages) {
    if (entry.code == messageId) return entry.text;
  }
  return nullptr;
}

DWORD Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  if (flags & ~static_cast<UINT>(LMEM_ZEROINIT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* block = CoTaskMemAlloc(bytes);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (flags & LMEM_ZEROINIT) std::memset(block, 0, bytes);
  return block;
}

HLOCAL LocalFree(HLOCAL block) {
  CoTaskMemFree(block);
  return nullptr;
}

DWORD FormatMessageW(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD /*languageId*/, LPWSTR buffer,
                     DWORD size, va_list* /*arguments*/) {
  constexpr DWORD kUnsupported = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE |
                                 FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & kUnsupported) || !buffer) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  // A caller that frees the block whatever the outcome must find null.
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) *reinterpret_cast<LPWSTR*>(buffer) = nullptr;
  const char16_t* text = FindText(messageId);
  if (!text) return Fail(ERROR_MR_MID_NOT_FOUND);
  size_t length = 0;
  while (text[length] != u'\0') ++length;

  LPWSTR target = buffer;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    // `size` is then the least the block must hold, not a limit.
    const size_t units = std::max<size_t>(size, length + 1);
    target = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, units * sizeof(WCHAR)));
    if (!target) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *reinterpret_cast<LPWSTR*>(buffer) = target;
  } else if (size < length + 1) {
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(target, text, length * sizeof(WCHAR));
  target[length] = u'\0';
  return static_cast<DWORD>(length);
}
