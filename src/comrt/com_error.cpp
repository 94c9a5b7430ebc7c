#include "comrt/com_error.h"

#include <cstdio>
#include <utility>

#include "comrt/system_message.h"

namespace {

// What a caller sees if even the fallback text cannot be allocated: never null.
const OLECHAR kNoMessage[] = u"";

LPWSTR CopyToLocal(const char* ascii) {
  size_t length = 0;
  while (ascii[length] != '\0') ++length;
  auto* copy = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (length + 1) * sizeof(WCHAR)));
  if (!copy) return nullptr;
  for (size_t i = 0; i <= length; ++i) copy[i] = static_cast<WCHAR>(ascii[i]);
  return copy;
}

CComBSTR TextOf(IErrorInfo* info, HRESULT (STDMETHODCALLTYPE IErrorInfo::*getter)(BSTR*)) {
  CComBSTR text;
  if (info) {
    BSTR raw = nullptr;
    if (SUCCEEDED((info->*getter)(&raw))) text.Attach(raw);
  }
  return text;
}

}  // namespace

_com_error::_com_error(HRESULT hr, IErrorInfo* errorInfo, bool addRef) noexcept : hr_(hr) {
  if (addRef) {
    errorInfo_ = errorInfo;
  } else {
    errorInfo_.Attach(errorInfo);
  }
}

_com_error::_com_error(const _com_error& other) noexcept : hr_(other.hr_), errorInfo_(other.errorInfo_) {}

_com_error& _com_error::operator=(const _com_error& other) noexcept {
  if (this != &other) {
    hr_ = other.hr_;
    errorInfo_ = other.errorInfo_;
    ResetMessage();
  }
  return *this;
}

_com_error::~_com_error() { ResetMessage(); }

void _com_error::ResetMessage() const noexcept {
  LocalFree(message_);
  message_ = nullptr;
}

HRESULT _com_error::Error() const noexcept { return hr_; }

WORD _com_error::WCode() const noexcept { return HRESULTToWCode(hr_); }

IErrorInfo* _com_error::ErrorInfo() const noexcept {
  IErrorInfo* info = nullptr;
  errorInfo_.CopyTo(&info);
  return info;
}

CComBSTR _com_error::Source() const { return TextOf(errorInfo_, &IErrorInfo::GetSource); }

CComBSTR _com_error::Description() const { return TextOf(errorInfo_, &IErrorInfo::GetDescription); }

CComBSTR _com_error::HelpFile() const { return TextOf(errorInfo_, &IErrorInfo::GetHelpFile); }

DWORD _com_error::HelpContext() const noexcept {
  DWORD context = 0;
  if (errorInfo_ && FAILED(errorInfo_->GetHelpContext(&context))) context = 0;
  return context;
}

const OLECHAR* _com_error::ErrorMessage() const noexcept {
  if (message_) return message_;
  LPWSTR text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(hr_), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length > 0) {
    // System texts end in a line break, which callers embedding the text in a
    // sentence of their own do not want.
    DWORD end = length;
    if (text[end - 1] == u'\n') {
      --end;
      if (end > 0 && text[end - 1] == u'\r') --end;
    }
    text[end] = u'\0';
  } else {
    LocalFree(text);
    char fallback[32];
    if (WCode() != 0) {
      std::snprintf(fallback, sizeof fallback, "IDispatch error #%u", static_cast<unsigned>(WCode()));
    } else {
      std::snprintf(fallback, sizeof fallback, "Unknown error 0x%0X", static_cast<unsigned>(hr_));
    }
    text = CopyToLocal(fallback);
  }
  message_ = text;
  return message_ ? message_ : kNoMessage;
}

HRESULT _com_error::WCodeToHRESULT(WORD wCode) noexcept {
  return wCode >= 0xFE00 ? WCODE_HRESULT_LAST : WCODE_HRESULT_FIRST + wCode;
}

WORD _com_error::HRESULTToWCode(HRESULT hr) noexcept {
  const uint32_t code = static_cast<uint32_t>(hr);
  if (code < static_cast<uint32_t>(WCODE_HRESULT_FIRST) || code > static_cast<uint32_t>(WCODE_HRESULT_LAST)) {
    return 0;
  }
  return static_cast<WORD>(code - static_cast<uint32_t>(WCODE_HRESULT_FIRST));
}

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }

void _com_issue_errorex(HRESULT hr, IUnknown* /*object*/, REFIID /*iid*/) {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK) info = nullptr;
  throw _com_error(hr, info);  // takes over the reference GetErrorInfo handed out
}
