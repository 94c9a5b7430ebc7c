// Streams for tests: an IStream over bytes in memory, a plain
// ISequentialStream over the same, and a stream whose content is generated
// as it is read (so that very large inputs need no memory and a test can see
// how far a reader went).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "comrt/com_ptr.h"
#include "comrt/object.h"
#include "comrt/stream.h"

namespace comrt_test {

class MemoryStream : public comrt::ObjectRoot<MemoryStream, IStream> {
 public:
  std::string bytes;
  size_t position = 0;
  // Every Read and Write fails with this code when set.
  HRESULT failWith = S_OK;

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    if (read) *read = 0;
    if (FAILED(failWith)) return failWith;
    const size_t available = position < bytes.size() ? bytes.size() - position : 0;
    const size_t copied = std::min<size_t>(count, available);
    if (copied) std::memcpy(buffer, bytes.data() + position, copied);
    position += copied;
    if (read) *read = static_cast<ULONG>(copied);
    return copied == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override {
    if (written) *written = 0;
    if (FAILED(failWith)) return failWith;
    if (position > bytes.size()) bytes.resize(position);
    bytes.replace(position, std::min<size_t>(count, bytes.size() - position), static_cast<const char*>(buffer),
                  count);
    position += count;
    if (written) *written = count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    LONGLONG base = 0;
    if (origin == STREAM_SEEK_CUR) base = static_cast<LONGLONG>(position);
    if (origin == STREAM_SEEK_END) base = static_cast<LONGLONG>(bytes.size());
    if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
    if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
    position = static_cast<size_t>(base + move.QuadPart);
    if (newPosition) newPosition->QuadPart = position;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override {
    if (clone) *clone = nullptr;
    return E_NOTIMPL;
  }
};

// Only ISequentialStream: a reader must not need more.
class SequentialStream : public comrt::ObjectRoot<SequentialStream, ISequentialStream> {
 public:
  std::string bytes;
  size_t position = 0;

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    const size_t copied = std::min<size_t>(count, bytes.size() - position);
    if (copied) std::memcpy(buffer, bytes.data() + position, copied);
    position += copied;
    if (read) *read = static_cast<ULONG>(copied);
    return copied == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override {
    bytes.append(static_cast<const char*>(buffer), count);
    if (written) *written = count;
    return S_OK;
  }
};

// Content made on demand: `size` bytes, byte i being `byteAt(i)`.
class GeneratedStream : public comrt::ObjectRoot<GeneratedStream, ISequentialStream> {
 public:
  size_t size = 0;
  std::function<char(size_t)> byteAt;
  size_t position = 0;  // how far a reader went
  ULONG overReport = 0;  // added to every count reported, as a broken stream would

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    const size_t copied = std::min<size_t>(count, size - position);
    char* out = static_cast<char*>(buffer);
    for (size_t i = 0; i < copied; ++i) out[i] = byteAt(position + i);
    position += copied;
    if (read) *read = static_cast<ULONG>(copied) + overReport;
    return copied == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
    if (written) *written = 0;
    return STG_E_WRITEFAULT;
  }
};

// Makes a stream object of type T and hands out both the interface (which
// owns it) and the object (for the test to inspect).
template <class T, class Interface>
CComPtr<Interface> MakeStream(T** object) {
  comrt::CComObject<T>* made = nullptr;
  EXPECT_EQ(S_OK, comrt::CComObject<T>::CreateInstance(&made));
  CComPtr<Interface> stream(made);
  *object = made;
  return stream;
}

}  // namespace comrt_test
