// In-memory stand-ins for the caller's HTTP transport: a message with its
// header writer, body reader and body writer, each recording what the library
// asked of it and each able to fail on demand.
//
//   FakeMessageRef request = MakeRequestMessage("<s:Envelope .../>");
//   reader->Read(request.message, ...);        // the library gets the IUnknown
//   request->bodyWriter()->body();             // what was sent
//   request->log();                            // in which order
//
// Placeholder slots fail the running test when called: the library reached a
// slot it should never use.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "comrt/com_ptr.h"
#include "comrt/object.h"
#include "comrt/stream.h"
#include "varnel/transport.h"

namespace varnel_test {

// Calls seen by a message and the fakes it hands out, in order.
using CallLog = std::vector<std::string>;

// A fake held by one reference; converts to the interfaces the fake has.
template <class T>
using FakePtr = CComPtr<comrt::CComObject<T>>;

template <class T>
FakePtr<T> MakeFake() {
  comrt::CComObject<T>* created = nullptr;
  EXPECT_EQ(S_OK, comrt::CComObject<T>::CreateInstance(&created));
  return FakePtr<T>(created);
}

// Fails the running test: the library called a slot it never uses.
HRESULT PlaceholderCalled(const char* interfaceName, int slot);

// Base of the fakes that add their calls to a message's shared log.
class LogsCalls {
 public:
  void ShareLog(std::shared_ptr<CallLog> log) { log_ = std::move(log); }

 protected:
  void Log(std::string entry) {
    if (log_) log_->push_back(std::move(entry));
  }

 private:
  std::shared_ptr<CallLog> log_;
};

class FakeHeaderSource : public comrt::ObjectRoot<FakeHeaderSource, IMessageHeaderSource> {};

class FakeHeaderWriter : public comrt::ObjectRoot<FakeHeaderWriter, IMessageHeaderWriter>, public LogsCalls {
 public:
  HRESULT STDMETHODCALLTYPE SetHeader(const char* name, const char* value) override;
  HRESULT STDMETHODCALLTYPE SetContentLength(ULONGLONG length) override;
  HRESULT STDMETHODCALLTYPE Reserved5() override { return PlaceholderCalled("IMessageHeaderWriter", 5); }
  HRESULT STDMETHODCALLTYPE AttachHeaderSource(IMessageHeaderSource* source) override;

  // A code other than S_OK is answered instead, recording nothing.
  void FailSetHeader(HRESULT code) { setHeaderResult_ = code; }
  void FailSetContentLength(HRESULT code) { setContentLengthResult_ = code; }
  void FailAttachHeaderSource(HRESULT code) { attachResult_ = code; }

  // Name and value pairs in call order.
  const std::vector<std::pair<std::string, std::string>>& headers() const { return headers_; }
  // The value of the first header called `name`, when there is one.
  std::optional<std::string> header(const std::string& name) const;
  // The last length set, when one was.
  std::optional<ULONGLONG> contentLength() const { return contentLength_; }
  const std::vector<CComPtr<IMessageHeaderSource>>& attachedSources() const { return sources_; }

 private:
  HRESULT setHeaderResult_ = S_OK;
  HRESULT setContentLengthResult_ = S_OK;
  HRESULT attachResult_ = S_OK;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::optional<ULONGLONG> contentLength_;
  std::vector<CComPtr<IMessageHeaderSource>> sources_;
};

class FakeBodyWriter : public comrt::ObjectRoot<FakeBodyWriter, IMessageBodyWriter>, public LogsCalls {
 public:
  // How Write reports the bytes taken.
  enum class Report {
    kAll,       // every byte given
    kOneShort,  // takes and reports one byte fewer than given
    kOneOver,   // takes all, reports one more than given
  };

  HRESULT STDMETHODCALLTYPE Reserved3() override { return PlaceholderCalled("IMessageBodyWriter", 3); }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return PlaceholderCalled("IMessageBodyWriter", 4); }
  HRESULT STDMETHODCALLTYPE Write(const BYTE* bytes, ULONG count, USHORT flag, ULONG* written) override;

  // A code other than S_OK is answered by every Write, taking nothing.
  void FailWrite(HRESULT code) { writeResult_ = code; }
  void ReportWritten(Report report) { report_ = report; }

  // The bytes taken, all writes together.
  const std::string& body() const { return body_; }
  int writeCount() const { return writeCount_; }
  // The flag of every Write, in call order.
  const std::vector<USHORT>& flags() const { return flags_; }

 private:
  HRESULT writeResult_ = S_OK;
  Report report_ = Report::kAll;
  std::string body_;
  int writeCount_ = 0;
  std::vector<USHORT> flags_;
};

// Answers ISequentialStream (unless told not to) over the body it holds.
class FakeBodyReader : public comrt::ObjectRoot<FakeBodyReader, IMessageBodyReader>, public ISequentialStream {
 public:
  HRESULT QueryOtherInterface(REFIID iid, void** object);

  // Hands out at most `chunkSize` bytes per Read, with S_OK, as a network
  // stream does while more is on its way; only a read cut short by the end of
  // the body answers S_FALSE.
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }

  void SetBody(std::string body) { body_ = std::move(body); }
  // 0 lifts the limit.
  void SetChunkSize(ULONG size) { chunkSize_ = size; }
  void WithoutSequentialStream() { streams_ = false; }
  // Reads that start at or after `offset` fail with `code`.
  void FailReadsFrom(size_t offset, HRESULT code) {
    failOffset_ = offset;
    failCode_ = code;
  }

  int readCount() const { return readCount_; }
  size_t position() const { return position_; }

 private:
  std::string body_;
  size_t position_ = 0;
  ULONG chunkSize_ = 4096;
  bool streams_ = true;
  std::optional<size_t> failOffset_;
  HRESULT failCode_ = S_OK;
  int readCount_ = 0;
};

// A message that is a request, a response or (to test rejection) neither.
// Always answers ITransportMessage, and by its kind one of
// ITransportRequestMessage and ITransportResponseMessage.
class FakeMessage : public comrt::ObjectRoot<FakeMessage, ITransportMessage>,
                    public ITransportRequestMessage,
                    public ITransportResponseMessage {
 public:
  enum class Kind { kRequest, kResponse, kNeither };

  HRESULT QueryOtherInterface(REFIID iid, void** object);

  HRESULT STDMETHODCALLTYPE Reserved3() override { return PlaceholderCalled("ITransportMessage", 3); }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return PlaceholderCalled("ITransportMessage", 4); }
  HRESULT STDMETHODCALLTYPE GetHeaderWriter(IMessageHeaderWriter** writer) override;
  HRESULT STDMETHODCALLTYPE GetBodyReader(IMessageBodyReader** reader) override;
  HRESULT STDMETHODCALLTYPE GetBodyWriter(BYTE flag, IMessageBodyWriter** writer) override;
  HRESULT STDMETHODCALLTYPE Reserved8() override { return PlaceholderCalled("ITransport*Message", 8); }
  HRESULT STDMETHODCALLTYPE Reserved9() override { return PlaceholderCalled("ITransport*Message", 9); }
  HRESULT STDMETHODCALLTYPE Reserved10() override { return PlaceholderCalled("ITransport*Message", 10); }
  HRESULT STDMETHODCALLTYPE Reserved11() override { return PlaceholderCalled("ITransport*Message", 11); }
  HRESULT STDMETHODCALLTYPE Reserved12() override { return PlaceholderCalled("ITransport*Message", 12); }
  HRESULT STDMETHODCALLTYPE Reserved13() override { return PlaceholderCalled("ITransport*Message", 13); }
  HRESULT STDMETHODCALLTYPE Reserved14() override { return PlaceholderCalled("ITransport*Message", 14); }
  HRESULT STDMETHODCALLTYPE Reserved15() override { return PlaceholderCalled("ITransport*Message", 15); }
  HRESULT STDMETHODCALLTYPE Reserved16() override { return PlaceholderCalled("ITransport*Message", 16); }
  HRESULT STDMETHODCALLTYPE Reserved17() override { return PlaceholderCalled("ITransport*Message", 17); }
  HRESULT STDMETHODCALLTYPE SetSending(BOOL sending) override;

  void SetKind(Kind kind) { kind_ = kind; }
  // Any part may be null; a null writer or reader is handed out as such.
  void SetHeaderWriter(FakePtr<FakeHeaderWriter> writer);
  void SetBodyReader(FakePtr<FakeBodyReader> reader) { bodyReader_.Swap(reader); }
  void SetBodyWriter(FakePtr<FakeBodyWriter> writer);
  // A code other than S_OK is answered by the getter, handing out null.
  void FailGetHeaderWriter(HRESULT code) { getHeaderWriterResult_ = code; }
  void FailGetBodyReader(HRESULT code) { getBodyReaderResult_ = code; }
  void FailGetBodyWriter(HRESULT code) { getBodyWriterResult_ = code; }
  // What SetSending answers; the library must not care.
  void AnswerSetSending(HRESULT code) { setSendingResult_ = code; }

  comrt::CComObject<FakeHeaderWriter>* headerWriter() const { return headerWriter_; }
  comrt::CComObject<FakeBodyReader>* bodyReader() const { return bodyReader_; }
  comrt::CComObject<FakeBodyWriter>* bodyWriter() const { return bodyWriter_; }

  // The calls on the message and on the writers it handed out, e.g.
  // "GetHeaderWriter", "SetHeader(SOAPACTION)", "SetContentLength",
  // "AttachHeaderSource", "SetSending(1)", "GetBodyWriter", "Write",
  // "SetSending(0)".
  const CallLog& log() const { return *log_; }
  const std::vector<BOOL>& sendingValues() const { return sending_; }
  const std::vector<BYTE>& bodyWriterFlags() const { return bodyWriterFlags_; }

 private:
  Kind kind_ = Kind::kRequest;
  FakePtr<FakeHeaderWriter> headerWriter_;
  FakePtr<FakeBodyReader> bodyReader_;
  FakePtr<FakeBodyWriter> bodyWriter_;
  HRESULT getHeaderWriterResult_ = S_OK;
  HRESULT getBodyReaderResult_ = S_OK;
  HRESULT getBodyWriterResult_ = S_OK;
  HRESULT setSendingResult_ = S_OK;
  std::shared_ptr<CallLog> log_ = std::make_shared<CallLog>();
  std::vector<BOOL> sending_;
  std::vector<BYTE> bodyWriterFlags_;
};

// A message as the library is handed it, with typed access to the fake.
struct FakeMessageRef {
  CComPtr<IUnknown> message;  // holds the fake and its parts
  comrt::CComObject<FakeMessage>* fake = nullptr;

  comrt::CComObject<FakeMessage>* operator->() const { return fake; }
};

// A message of `kind` with a header writer, a body writer and a reader of
// `body`, all empty of records.
FakeMessageRef MakeMessage(FakeMessage::Kind kind, std::string body = {});
inline FakeMessageRef MakeRequestMessage(std::string body = {}) {
  return MakeMessage(FakeMessage::Kind::kRequest, std::move(body));
}
inline FakeMessageRef MakeResponseMessage(std::string body = {}) {
  return MakeMessage(FakeMessage::Kind::kResponse, std::move(body));
}

}  // namespace varnel_test
