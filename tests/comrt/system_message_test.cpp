#include <gtest/gtest.h>

#include <set>
#include <string>

#include "comrt/diagnostics.h"
#include "comrt/system_message.h"

namespace {

constexpr DWORD kLookup = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// The text for `code`, or "<none>" with the last error checked.
std::u16string TextFor(DWORD code) {
  char16_t buffer[512];
  SetLastError(0);
  const DWORD length = FormatMessageW(kLookup, nullptr, code, 0, buffer, 512, nullptr);
  if (length == 0) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND)) << std::hex << code;
    return u"<none>";
  }
  EXPECT_EQ(std::char_traits<char16_t>::length(buffer), length);
  return std::u16string(buffer, length);
}

const HRESULT kCodesWithText[] = {
    S_OK, S_FALSE, E_NOTIMPL, E_NOINTERFACE, E_POINTER, E_ABORT, E_FAIL, E_UNEXPECTED, E_ACCESSDENIED, E_HANDLE,
    E_OUTOFMEMORY, E_INVALIDARG, DISP_E_UNKNOWNINTERFACE, DISP_E_MEMBERNOTFOUND, DISP_E_PARAMNOTFOUND,
    DISP_E_TYPEMISMATCH, DISP_E_UNKNOWNNAME, DISP_E_NONAMEDARGS, DISP_E_BADVARTYPE, DISP_E_EXCEPTION,
    DISP_E_OVERFLOW, DISP_E_BADINDEX, DISP_E_UNKNOWNLCID, DISP_E_ARRAYISLOCKED, DISP_E_BADPARAMCOUNT,
    DISP_E_PARAMNOTOPTIONAL, DISP_E_BADCALLEE, DISP_E_NOTACOLLECTION, DISP_E_DIVBYZERO, TYPE_E_TYPEMISMATCH,
    STG_E_INVALIDFUNCTION, STG_E_INVALIDPOINTER, STG_E_READFAULT, STG_E_WRITEFAULT, STG_E_MEDIUMFULL,
    CLASS_E_NOAGGREGATION, CLASS_E_CLASSNOTAVAILABLE, REGDB_E_CLASSNOTREG, REGDB_E_READREGDB, REGDB_E_WRITEREGDB,
    REGDB_E_IIDNOTREG, CO_E_NOTINITIALIZED, CO_E_CLASSSTRING, CO_E_IIDSTRING, CO_E_DLLNOTFOUND, CO_E_ERRORINDLL,
    CO_E_CLASS_CREATE_FAILED, RPC_E_CHANGED_MODE, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
    ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER, ERROR_MORE_DATA,
    ERROR_NO_MORE_ITEMS, ERROR_MR_MID_NOT_FOUND, ERROR_ALREADY_EXISTS,
};

TEST(SystemMessageTest, EveryKnownCodeHasOneLineEndingInCrLf) {
  std::set<std::u16string> seen;
  for (HRESULT code : kCodesWithText) {
    SCOPED_TRACE(::testing::Message() << std::hex << code);
    const std::u16string text = TextFor(static_cast<DWORD>(code));
    ASSERT_GT(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n");
    EXPECT_EQ(text.find_first_of(u"\r\n%"), text.size() - 2);  // no inner breaks, no inserts
    seen.insert(text);
  }
  // Texts are not shared, except where two names stand for one code.
  EXPECT_EQ(seen.size(), std::size(kCodesWithText) - 2);  // E_ACCESSDENIED and E_INVALIDARG wrap system codes
}

TEST(SystemMessageTest, SystemCodesShareTheirTextWithTheirResultCode) {
  for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_PARAMETER, ERROR_MORE_DATA}) {
    EXPECT_EQ(TextFor(static_cast<DWORD>(HRESULT_FROM_WIN32(code))), TextFor(code));
  }
  EXPECT_EQ(TextFor(static_cast<DWORD>(E_INVALIDARG)), TextFor(ERROR_INVALID_PARAMETER));
}

TEST(SystemMessageTest, InterfaceSpecificAndUnknownCodesHaveNoText) {
  for (DWORD code : {0x80040200u, 0x80040301u, 0x80040400u, 0x8004FFFFu, 0x80070000u | 0x1234u, 0x12345678u,
                     0xFFFFFFFFu}) {
    EXPECT_EQ(TextFor(code), u"<none>") << std::hex << code;
  }
}

TEST(SystemMessageTest, CallerBufferMustHoldTheTerminator) {
  const std::u16string text = TextFor(static_cast<DWORD>(E_FAIL));
  std::u16string buffer(text.size() + 1, u'x');
  const DWORD size = static_cast<DWORD>(text.size());
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(kLookup, nullptr, static_cast<DWORD>(E_FAIL), 0, buffer.data(), size, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(FormatMessageW(kLookup, nullptr, static_cast<DWORD>(E_FAIL), 0, buffer.data(), size + 1, nullptr), size);
  EXPECT_EQ(buffer.c_str(), text);
}

TEST(SystemMessageTest, AllocatedBufferIsTaskMemoryFreedWithLocalFree) {
  const int64_t before = comrt::diagnostics::GetLiveCounts().taskMemory;
  LPWSTR text = nullptr;
  const DWORD length = FormatMessageW(kLookup | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                                      static_cast<DWORD>(E_NOINTERFACE), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text), TextFor(static_cast<DWORD>(E_NOINTERFACE)));
  EXPECT_EQ(length, std::char_traits<char16_t>::length(text));
  EXPECT_EQ(comrt::diagnostics::GetLiveCounts().taskMemory, before + 1);
  EXPECT_EQ(LocalFree(text), nullptr);
  EXPECT_EQ(comrt::diagnostics::GetLiveCounts().taskMemory, before);

  text = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(FormatMessageW(kLookup | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x80040200u, 0,
                           reinterpret_cast<LPWSTR>(&text), 0, nullptr),
            0u);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(comrt::diagnostics::GetLiveCounts().taskMemory, before);
}

TEST(SystemMessageTest, RefusesWhatItDoesNotOffer) {
  char16_t buffer[256];
  for (DWORD flags : {DWORD{FORMAT_MESSAGE_FROM_STRING}, DWORD{FORMAT_MESSAGE_IGNORE_INSERTS},
                      DWORD{kLookup | FORMAT_MESSAGE_FROM_HMODULE}, DWORD{kLookup | 80}}) {
    SetLastError(0);
    EXPECT_EQ(FormatMessageW(flags, nullptr, static_cast<DWORD>(E_FAIL), 0, buffer, 256, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_EQ(FormatMessageW(kLookup, nullptr, static_cast<DWORD>(E_FAIL), 0, nullptr, 256, nullptr), 0u);
}

}  // namespace
