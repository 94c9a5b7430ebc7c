// The byte sink into which a written message document is saved: an IStream
// over a growable memory buffer, declared in the scope of one write. It is
// not reference counted; its lifetime is that scope, whatever references the
// DOM took and gave back.
#pragma once

#include <cstdint>
#include <sstream>

#include "comrt/guid.h"
#include "comrt/stream.h"

namespace HaldenUtils {

// IUnknown for an object whose lifetime is a scope: QueryInterface answers
// IUnknown and exactly `Interface` (not the interfaces it extends) with the
// object itself; AddRef and Release count nothing.
template <class Interface>
class FakeIUnknownImpl : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, comrt::uuidof<Interface>())) {
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

 protected:
  FakeIUnknownImpl() = default;
  ~FakeIUnknownImpl() = default;
};

}  // namespace HaldenUtils

class IStreamImplOnMemory final : public HaldenUtils::FakeIUnknownImpl<IStream> {
 public:
  IStreamImplOnMemory();
  IStreamImplOnMemory(const IStreamImplOnMemory&) = delete;
  IStreamImplOnMemory& operator=(const IStreamImplOnMemory&) = delete;

  // Copies up to `count` unread bytes; S_OK only when all `count` came, else
  // E_FAIL (the stream then stays failed). *read gets the number copied.
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
  // Appends `count` bytes; E_FAIL with *written 0 once the stream has failed.
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override;
  // The rest of IStream is not offered: E_NOTIMPL, nothing touched.
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

  // The first written byte; valid until the next Write or the end of the object.
  const char* GetWrittenBytes() const { return buffer_.PutStart(); }
  // How many bytes were written.
  int64_t GetWrittenCount() const { return buffer_.PutCount(); }

 private:
  // A string buffer whose put area can be read where it lies.
  class Buffer : public std::stringbuf {
   public:
    Buffer() : std::stringbuf(std::ios_base::in | std::ios_base::out) {}
    const char* PutStart() const { return pbase(); }
    int64_t PutCount() const { return pptr() - pbase(); }
  };

  Buffer buffer_;
  std::iostream stream_;
};
