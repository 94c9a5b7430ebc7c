#include "comrt/error_info.h"

#include <mutex>
#include <new>
#include <string>

#include "comrt/bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/object.h"

namespace {

// A text that remembers whether it was ever given, so that "never set" (a null
// string) stays distinct from "set to empty" (an empty string).
struct OptionalText {
  std::u16string text;
  bool set = false;
};

class ErrorInfo : public comrt::ObjectRoot<ErrorInfo, IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    *guid = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) override { return Get(source_, source); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) override { return Get(description_, description); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* helpFile) override { return Get(helpFile_, helpFile); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* helpContext) override {
    if (!helpContext) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    *helpContext = helpContext_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
    std::lock_guard<std::mutex> lock(mutex_);
    guid_ = guid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR source) override { return Set(source_, source); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR description) override {
    return Set(description_, description);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR helpFile) override { return Set(helpFile_, helpFile); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD helpContext) override {
    std::lock_guard<std::mutex> lock(mutex_);
    helpContext_ = helpContext;
    return S_OK;
  }

 private:
  HRESULT Get(const OptionalText& from, BSTR* out) {
    if (!out) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    *out = nullptr;
    if (!from.set) return S_OK;
    *out = SysAllocStringLen(from.text.data(), static_cast<UINT>(from.text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT Set(OptionalText& to, LPCOLESTR text) {
    try {
      // Copied before taking the lock so that a failed copy leaves the old text.
      std::u16string copy = text ? std::u16string(text) : std::u16string();
      std::lock_guard<std::mutex> lock(mutex_);
      to.text.swap(copy);
      to.set = text != nullptr;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  // An error object may be filled on one thread and read on another.
  std::mutex mutex_;
  GUID guid_ = GUID_NULL;
  OptionalText source_;
  OptionalText description_;
  OptionalText helpFile_;
  DWORD helpContext_ = 0;
};

// Released when its thread ends, so error information left behind by a worker
// thread does not outlive it.
thread_local CComPtr<IErrorInfo> t_currentErrorInfo;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** created) {
  if (!created) return E_POINTER;
  return comrt::CreateComObject<ErrorInfo>(nullptr, IID_ICreateErrorInfo, reinterpret_cast<void**>(created));
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) {
  if (reserved != 0) return E_INVALIDARG;
  // The old object is released only once the new one is in place: its
  // destruction may run code that looks at the thread's error information.
  CComPtr<IErrorInfo> previous(std::move(t_currentErrorInfo));
  t_currentErrorInfo = info;
  return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (reserved != 0) return E_INVALIDARG;
  *info = t_currentErrorInfo.Detach();
  return *info ? S_OK : S_FALSE;
}
