// The body stream as ReadMessage hands it to the DOM: the caller's body
// reader, cut off past a byte limit. A message body is parsed whole into
// memory, several times its size, so the limit bounds what one read costs.
#pragma once

#include <cstdint>

#include "com/memory_stream.h"
#include "comrt/com_ptr.h"
#include "comrt/stream.h"

namespace varnel {

// Fewer than this is never the limit: real control messages with long
// string or binary arguments stay well below it.
inline constexpr uint64_t kMinBodyBytes = 8ull * 1024 * 1024;
// The limit when the host sets none.
inline constexpr uint64_t kDefaultBodyBytes = 16ull * 1024 * 1024;

// The limit a body is read to: VARNEL_MAX_BODY_BYTES (decimal bytes) when it
// is set to a number, raised to kMinBodyBytes when lower; kDefaultBodyBytes
// when unset or not a plain decimal number. Read once per process.
uint64_t MaxBodyBytes();
// As MaxBodyBytes, for the text of the variable (null: unset).
uint64_t BodyLimitFrom(const char* text);

// Lives for the scope of one read; not reference counted.
class BodyLimitStream final : public HaldenUtils::FakeIUnknownImpl<ISequentialStream> {
 public:
  BodyLimitStream(ISequentialStream* body, uint64_t limit) : body_(body), limit_(limit) {}
  BodyLimitStream(const BodyLimitStream&) = delete;
  BodyLimitStream& operator=(const BodyLimitStream&) = delete;

  // Reads on from the body; once the body proves longer than the limit,
  // E_FAIL with *read 0, then and on every later call. A body reader that
  // reports more bytes than it was asked for cannot be trusted with the
  // buffer: E_UNEXPECTED with *read 0, then and on every later call.
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
  // Bodies are only read: E_NOTIMPL.
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override;

  bool OverLimit() const { return over_; }

 private:
  CComPtr<ISequentialStream> body_;
  uint64_t limit_;
  uint64_t consumed_ = 0;
  bool over_ = false;
  bool broken_ = false;
};

}  // namespace varnel
