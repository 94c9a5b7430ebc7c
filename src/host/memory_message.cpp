#include "varnel/host/memory_message.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "comrt/object.h"
#include "comrt/stream.h"

namespace varnel {
namespace host {

struct MemoryMessage::State {
  Direction direction = Direction::kRequest;
  // Shared with the body readers handed out, so a reader keeps the bytes it
  // reads even when the body is replaced meanwhile.
  std::shared_ptr<const std::string> received = std::make_shared<const std::string>();
  std::vector<Header> headers;
  std::optional<ULONGLONG> contentLength;
  size_t headerSources = 0;
  std::string body;
  bool sending = false;
  std::vector<bool> sendingChanges;
  size_t bytesOutsideSending = 0;
};

namespace {

using State = MemoryMessage::State;

// A new object of class T holding `state`, with one reference.
template <class T>
CComPtr<comrt::CComObject<T>> Make(std::shared_ptr<State> state) {
  comrt::CComObject<T>* made = nullptr;
  if (FAILED(comrt::CComObject<T>::CreateInstance(&made))) throw std::bad_alloc();
  CComPtr<comrt::CComObject<T>> held(made);
  held->Bind(std::move(state));
  return held;
}

class StateHolder {
 public:
  void Bind(std::shared_ptr<State> state) { state_ = std::move(state); }

 protected:
  std::shared_ptr<State> state_;
};

class HeaderWriter : public comrt::ObjectRoot<HeaderWriter, IMessageHeaderWriter>, public StateHolder {
 public:
  HRESULT STDMETHODCALLTYPE SetHeader(const char* name, const char* value) override {
    if (!name || !value) return E_POINTER;
    try {
      state_->headers.push_back({name, value});
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetContentLength(ULONGLONG length) override {
    state_->contentLength = length;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AttachHeaderSource(IMessageHeaderSource* source) override {
    if (!source) return E_POINTER;
    ++state_->headerSources;
    return S_OK;
  }
};

class BodyWriter : public comrt::ObjectRoot<BodyWriter, IMessageBodyWriter>, public StateHolder {
 public:
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(const BYTE* bytes, ULONG count, USHORT, ULONG* written) override {
    if (written) *written = 0;
    if (!bytes && count != 0) return E_POINTER;
    try {
      state_->body.append(reinterpret_cast<const char*>(bytes), count);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    if (!state_->sending) state_->bytesOutsideSending += count;
    if (written) *written = count;
    return S_OK;
  }
};

// The library reads a received body through ISequentialStream.
class BodyReader : public comrt::ObjectRoot<BodyReader, IMessageBodyReader, ISequentialStream>, public StateHolder {
 public:
  void Open() { bytes_ = state_->received; }

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    if (read) *read = 0;
    if (!buffer && count != 0) return E_POINTER;
    const size_t taken = std::min<size_t>(count, bytes_->size() - position_);
    if (taken) std::memcpy(buffer, bytes_->data() + position_, taken);
    position_ += taken;
    if (read) *read = static_cast<ULONG>(taken);
    return taken < count ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }

 private:
  std::shared_ptr<const std::string> bytes_;
  size_t position_ = 0;
};

// One message; `Kind` (ITransportRequestMessage or ITransportResponseMessage)
// tells the library which way it travels.
template <class Kind>
class Message : public comrt::ObjectRoot<Message<Kind>, Kind>, public StateHolder {
 public:
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetHeaderWriter(IMessageHeaderWriter** writer) override {
    return Give<HeaderWriter>(writer);
  }
  HRESULT STDMETHODCALLTYPE GetBodyReader(IMessageBodyReader** reader) override {
    if (!reader) return E_POINTER;
    *reader = nullptr;
    try {
      CComPtr<comrt::CComObject<BodyReader>> made = Make<BodyReader>(state_);
      made->Open();
      *reader = made.Detach();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBodyWriter(BYTE, IMessageBodyWriter** writer) override {
    return Give<BodyWriter>(writer);
  }
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
  HRESULT STDMETHODCALLTYPE SetSending(BOOL sending) override {
    state_->sending = sending != FALSE;
    try {
      state_->sendingChanges.push_back(state_->sending);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }

 private:
  template <class Part, class Interface>
  HRESULT Give(Interface** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      *out = Make<Part>(state_).Detach();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }
};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

MemoryMessage::MemoryMessage(Direction direction, std::string body) : state_(std::make_shared<State>()) {
  state_->direction = direction;
  SetReceivedBody(std::move(body));
  if (direction == Direction::kRequest) {
    object_ = Make<Message<ITransportRequestMessage>>(state_)->GetUnknown();
  } else {
    object_ = Make<Message<ITransportResponseMessage>>(state_)->GetUnknown();
  }
}

MemoryMessage::~MemoryMessage() = default;
MemoryMessage::MemoryMessage(MemoryMessage&& other) noexcept = default;
MemoryMessage& MemoryMessage::operator=(MemoryMessage&& other) noexcept = default;

IUnknown* MemoryMessage::Transport() const noexcept { return object_; }
Direction MemoryMessage::direction() const noexcept { return state_->direction; }

void MemoryMessage::SetReceivedBody(std::string body) {
  state_->received = std::make_shared<const std::string>(std::move(body));
}
const std::string& MemoryMessage::ReceivedBody() const noexcept { return *state_->received; }

const std::vector<Header>& MemoryMessage::Headers() const noexcept { return state_->headers; }

const std::string* MemoryMessage::FindHeader(std::string_view name) const noexcept {
  const std::string* found = nullptr;
  for (const Header& header : state_->headers) {
    if (SameIgnoringCase(header.name, name)) found = &header.value;
  }
  return found;
}

std::optional<ULONGLONG> MemoryMessage::ContentLength() const noexcept { return state_->contentLength; }
size_t MemoryMessage::AttachedHeaderSources() const noexcept { return state_->headerSources; }
const std::string& MemoryMessage::Body() const noexcept { return state_->body; }

std::string MemoryMessage::HeaderText() const {
  std::string text;
  for (const Header& header : state_->headers) text += header.name + ": " + header.value + "\r\n";
  if (state_->contentLength) text += "CONTENT-LENGTH: " + std::to_string(*state_->contentLength) + "\r\n";
  return text;
}

bool MemoryMessage::Sending() const noexcept { return state_->sending; }
const std::vector<bool>& MemoryMessage::SendingChanges() const noexcept { return state_->sendingChanges; }
size_t MemoryMessage::BytesWrittenOutsideSending() const noexcept { return state_->bytesOutsideSending; }

void MemoryMessage::ClearWritten() noexcept {
  state_->headers.clear();
  state_->contentLength.reset();
  state_->headerSources = 0;
  state_->body.clear();
  state_->sending = false;
  state_->sendingChanges.clear();
  state_->bytesOutsideSending = 0;
}

}  // namespace host
}  // namespace varnel
