// The demo's stand-in for an HTTP transport: one message object with a header
// writer that prints what it is given, a body writer that keeps the bytes sent
// and a body reader over the bytes received. Nothing goes on the wire, so the
// demo can play control point and device in one process.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "comrt/com_ptr.h"
#include "comrt/object.h"
#include "comrt/stream.h"
#include "varnel/transport.h"

namespace demo {

// A new object held by one reference, typed so the demo can reach its data.
template <class T>
CComPtr<comrt::CComObject<T>> Make() {
  comrt::CComObject<T>* made = nullptr;
  comrt::CComObject<T>::CreateInstance(&made);
  return CComPtr<comrt::CComObject<T>>(made);
}

class HeaderWriter : public comrt::ObjectRoot<HeaderWriter, IMessageHeaderWriter> {
 public:
  HRESULT STDMETHODCALLTYPE SetHeader(const char* name, const char* value) override {
    if (!name || !value) return E_POINTER;
    std::printf("    %s: %s\n", name, value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetContentLength(ULONGLONG length) override {
    std::printf("    Content-Length: %llu\n", static_cast<unsigned long long>(length));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AttachHeaderSource(IMessageHeaderSource*) override {
    std::printf("    (the headers of a header source)\n");
    return S_OK;
  }
};

class BodyWriter : public comrt::ObjectRoot<BodyWriter, IMessageBodyWriter> {
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

 private:
  std::string bytes_;
};

// The library reads a received body through ISequentialStream.
class BodyReader : public comrt::ObjectRoot<BodyReader, IMessageBodyReader, ISequentialStream> {
 public:
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    if (read) *read = 0;
    if (!buffer && count != 0) return E_POINTER;
    const size_t taken = std::min<size_t>(count, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, taken);
    position_ += taken;
    if (read) *read = static_cast<ULONG>(taken);
    return taken < count ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  void SetBytes(std::string bytes) {
    bytes_ = std::move(bytes);
    position_ = 0;
  }

 private:
  std::string bytes_;
  size_t position_ = 0;
};

// One message; `Kind` (ITransportRequestMessage or ITransportResponseMessage)
// tells the library which direction it travels.
template <class Kind>
class Message : public comrt::ObjectRoot<Message<Kind>, Kind> {
 public:
  HRESULT FinalConstruct() {
    headers_ = Make<HeaderWriter>();
    sent_ = Make<BodyWriter>();
    received_ = Make<BodyReader>();
    return headers_ && sent_ && received_ ? S_OK : E_OUTOFMEMORY;
  }
  void Receive(std::string body) { received_->SetBytes(std::move(body)); }
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

  CComPtr<comrt::CComObject<HeaderWriter>> headers_;
  CComPtr<comrt::CComObject<BodyWriter>> sent_;
  CComPtr<comrt::CComObject<BodyReader>> received_;
};

// A new message whose body to read is `received`.
template <class Kind>
CComPtr<comrt::CComObject<Message<Kind>>> NewMessage(std::string received = {}) {
  CComPtr<comrt::CComObject<Message<Kind>>> message = Make<Message<Kind>>();
  if (message) message->Receive(std::move(received));
  return message;
}

}  // namespace demo
