#include "support/transport_fakes.h"

#include <algorithm>
#include <cstring>

namespace varnel_test {

HRESULT PlaceholderCalled(const char* interfaceName, int slot) {
  ADD_FAILURE() << interfaceName << " slot " << slot << " is a placeholder that the library must never call";
  return E_NOTIMPL;
}

// ---------------------------------------------------------------------------

HRESULT FakeHeaderWriter::SetHeader(const char* name, const char* value) {
  if (!name || !value) {
    ADD_FAILURE() << "SetHeader given a null name or value";
    return E_POINTER;
  }
  Log(std::string("SetHeader(") + name + ")");
  if (setHeaderResult_ != S_OK) return setHeaderResult_;
  headers_.emplace_back(name, value);
  return S_OK;
}

HRESULT FakeHeaderWriter::SetContentLength(ULONGLONG length) {
  Log("SetContentLength");
  if (setContentLengthResult_ != S_OK) return setContentLengthResult_;
  contentLength_ = length;
  return S_OK;
}

HRESULT FakeHeaderWriter::AttachHeaderSource(IMessageHeaderSource* source) {
  Log("AttachHeaderSource");
  if (attachResult_ != S_OK) return attachResult_;
  sources_.emplace_back(source);
  return S_OK;
}

std::optional<std::string> FakeHeaderWriter::header(const std::string& name) const {
  for (const auto& [headerName, value] : headers_) {
    if (headerName == name) return value;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------

HRESULT FakeBodyWriter::Write(const BYTE* bytes, ULONG count, USHORT flag, ULONG* written) {
  Log("Write");
  ++writeCount_;
  flags_.push_back(flag);
  if (written) *written = 0;
  if (writeResult_ != S_OK) return writeResult_;
  if (!bytes && count != 0) return E_POINTER;
  ULONG taken = count;
  ULONG reported = count;
  if (report_ == Report::kOneShort && count != 0) taken = reported = count - 1;
  if (report_ == Report::kOneOver) reported = count + 1;
  body_.append(reinterpret_cast<const char*>(bytes), taken);
  if (written) *written = reported;
  return S_OK;
}

// ---------------------------------------------------------------------------

HRESULT FakeBodyReader::QueryOtherInterface(REFIID iid, void** object) {
  *object = nullptr;
  if (!streams_ || !IsEqualGUID(iid, IID_ISequentialStream)) return E_NOINTERFACE;
  ISequentialStream* stream = this;
  stream->AddRef();
  *object = stream;
  return S_OK;
}

HRESULT FakeBodyReader::Read(void* buffer, ULONG count, ULONG* read) {
  ++readCount_;
  if (read) *read = 0;
  if (failOffset_ && position_ >= *failOffset_) return failCode_;
  if (!buffer && count != 0) return STG_E_INVALIDPOINTER;
  size_t available = body_.size() - position_;
  if (failOffset_) available = std::min(available, *failOffset_ - position_);
  size_t taken = std::min<size_t>(count, available);
  if (chunkSize_ != 0) taken = std::min<size_t>(taken, chunkSize_);
  std::memcpy(buffer, body_.data() + position_, taken);
  position_ += taken;
  if (read) *read = static_cast<ULONG>(taken);
  return taken < count && position_ == body_.size() ? S_FALSE : S_OK;
}

// ---------------------------------------------------------------------------

HRESULT FakeMessage::QueryOtherInterface(REFIID iid, void** object) {
  *object = nullptr;
  IUnknown* found = nullptr;
  if (kind_ == Kind::kRequest && IsEqualGUID(iid, IID_ITransportRequestMessage)) {
    found = static_cast<ITransportRequestMessage*>(this);
  } else if (kind_ == Kind::kResponse && IsEqualGUID(iid, IID_ITransportResponseMessage)) {
    found = static_cast<ITransportResponseMessage*>(this);
  }
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  *object = found;
  return S_OK;
}

namespace {

// Hands out `part` (null allowed) with a reference, or `result` with null.
template <class Interface, class Part>
HRESULT HandOut(HRESULT result, Part* part, Interface** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (result != S_OK) return result;
  if (part) {
    *out = part;
    part->AddRef();
  }
  return S_OK;
}

}  // namespace

HRESULT FakeMessage::GetHeaderWriter(IMessageHeaderWriter** writer) {
  log_->push_back("GetHeaderWriter");
  return HandOut(getHeaderWriterResult_, headerWriter_.p, writer);
}

HRESULT FakeMessage::GetBodyReader(IMessageBodyReader** reader) {
  log_->push_back("GetBodyReader");
  return HandOut(getBodyReaderResult_, bodyReader_.p, reader);
}

HRESULT FakeMessage::GetBodyWriter(BYTE flag, IMessageBodyWriter** writer) {
  log_->push_back("GetBodyWriter");
  bodyWriterFlags_.push_back(flag);
  return HandOut(getBodyWriterResult_, bodyWriter_.p, writer);
}

HRESULT FakeMessage::SetSending(BOOL sending) {
  log_->push_back(sending ? "SetSending(1)" : "SetSending(0)");
  sending_.push_back(sending);
  return setSendingResult_;
}

void FakeMessage::SetHeaderWriter(FakePtr<FakeHeaderWriter> writer) {
  headerWriter_.Swap(writer);
  if (headerWriter_) headerWriter_->ShareLog(log_);
}

void FakeMessage::SetBodyWriter(FakePtr<FakeBodyWriter> writer) {
  bodyWriter_.Swap(writer);
  if (bodyWriter_) bodyWriter_->ShareLog(log_);
}

FakeMessageRef MakeMessage(FakeMessage::Kind kind, std::string body) {
  FakePtr<FakeMessage> message = MakeFake<FakeMessage>();
  FakeMessageRef made;
  if (!message) return made;
  message->SetKind(kind);
  message->SetHeaderWriter(MakeFake<FakeHeaderWriter>());
  FakePtr<FakeBodyReader> reader = MakeFake<FakeBodyReader>();
  if (reader) reader->SetBody(std::move(body));
  message->SetBodyReader(reader);
  message->SetBodyWriter(MakeFake<FakeBodyWriter>());
  made.message = message->GetUnknown();
  made.fake = message;
  return made;
}

}  // namespace varnel_test
