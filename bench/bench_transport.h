// A transport message cheap enough to leave out of the measurements: made
// once per benchmark and reused for every iteration. Its body reader reads a
// body the benchmark owns, without copying it; its body writer keeps what was
// sent in a buffer whose capacity survives Clear(); its header writer takes
// headers and drops them.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "comrt/com_ptr.h"
#include "comrt/object.h"
#include "comrt/stream.h"
#include "varnel/transport.h"

namespace varnel_bench {

// A new object held by one reference.
template <class T>
CComPtr<comrt::CComObject<T>> MakeObject() {
  comrt::CComObject<T>* made = nullptr;
  comrt::CComObject<T>::CreateInstance(&made);
  return CComPtr<comrt::CComObject<T>>(made);
}

class DroppingHeaderWriter : public comrt::ObjectRoot<DroppingHeaderWriter, IMessageHeaderWriter> {
 public:
  HRESULT STDMETHODCALLTYPE SetHeader(const char* name, const char* value) override {
    return name && value ? S_OK : E_POINTER;
  }
  HRESULT STDMETHODCALLTYPE SetContentLength(ULONGLONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AttachHeaderSource(IMessageHeaderSource*) override { return S_OK; }
};

class BufferBodyWriter : public comrt::ObjectRoot<BufferBodyWriter, IMessageBodyWriter> {
 public:
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(const BYTE* bytes, ULONG count, USHORT, ULONG* written) override {
    if (written) *written = 0;
    if (!bytes && count != 0) return E_POINTER;
    bytes_.append(reinterpret_cast<const char*>(bytes), count);
    if (written) *written = count;
    return S_OK;
  }
  const std::string& Bytes() const { return bytes_; }
  void Clear() { bytes_.clear(); }

 private:
  std::string bytes_;
};

class BorrowedBodyReader : public comrt::ObjectRoot<BorrowedBodyReader, IMessageBodyReader, ISequentialStream> {
 public:
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    if (read) *read = 0;
    if (!buffer && count != 0) return E_POINTER;
    const size_t size = body_ ? body_->size() : 0;
    const size_t taken = std::min<size_t>(count, size - position_);
    if (taken) std::memcpy(buffer, body_->data() + position_, taken);
    position_ += taken;
    if (read) *read = static_cast<ULONG>(taken);
    return taken < count ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  // REQUIRES: `body` outlives the reads.
  void Rewind(const std::string* body) {
    body_ = body;
    position_ = 0;
  }

 private:
  const std::string* body_ = nullptr;
  size_t position_ = 0;
};

// One message; `Kind` (ITransportRequestMessage or ITransportResponseMessage)
// says which way it travels.
template <class Kind>
class BenchMessage : public comrt::ObjectRoot<BenchMessage<Kind>, Kind> {
 public:
  HRESULT FinalConstruct() {
    headers_ = MakeObject<DroppingHeaderWriter>();
    sent_ = MakeObject<BufferBodyWriter>();
    received_ = MakeObject<BorrowedBodyReader>();
    return headers_ && sent_ && received_ ? S_OK : E_OUTOFMEMORY;
  }

  // Makes `body` the next body to read, from its start.
  void Receive(const std::string* body) { received_->Rewind(body); }
  // Forgets what was sent, keeping the buffer.
  void ClearSent() { sent_->Clear(); }
  const std::string& Sent() const { return sent_->Bytes(); }

  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetHeaderWriter(IMessageHeaderWriter** writer) override { return HandOut(headers_, writer); }
  HRESULT STDMETHODCALLTYPE GetBodyReader(IMessageBodyReader** reader) override { return HandOut(received_, reader); }
  HRESULT STDMETHODCALLTYPE GetBodyWriter(BYTE, IMessageBodyWriter** writer) override { return HandOut(sent_, writer); }
  HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved13() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved14() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved15() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved16() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved17() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSending(BOOL) override { return S_OK; }

 private:
  template <class Part, class Interface>
  static HRESULT HandOut(const CComPtr<Part>& part, Interface** out) {
    if (!out) return E_POINTER;
    *out = part.p;
    (*out)->AddRef();
    return S_OK;
  }

  CComPtr<comrt::CComObject<DroppingHeaderWriter>> headers_;
  CComPtr<comrt::CComObject<BufferBodyWriter>> sent_;
  CComPtr<comrt::CComObject<BorrowedBodyReader>> received_;
};

using RequestMessage = comrt::CComObject<BenchMessage<ITransportRequestMessage>>;
using ResponseMessage = comrt::CComObject<BenchMessage<ITransportResponseMessage>>;

}  // namespace varnel_bench
