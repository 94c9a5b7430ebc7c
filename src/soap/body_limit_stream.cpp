#include "soap/body_limit_stream.h"

#include <algorithm>
#include <cstdlib>

namespace varnel {

uint64_t BodyLimitFrom(const char* text) {
  if (!text || !*text) return kDefaultBodyBytes;
  uint64_t value = 0;
  for (const char* at = text; *at; ++at) {
    if (*at < '0' || *at > '9') return kDefaultBodyBytes;
    const uint64_t digit = static_cast<uint64_t>(*at - '0');
    if (value > (UINT64_MAX - digit) / 10) return kDefaultBodyBytes;
    value = value * 10 + digit;
  }
  return std::max(value, kMinBodyBytes);
}

uint64_t MaxBodyBytes() {
  static const uint64_t limit = BodyLimitFrom(std::getenv("VARNEL_MAX_BODY_BYTES"));
  return limit;
}

HRESULT BodyLimitStream::Read(void* buffer, ULONG count, ULONG* read) {
  if (read) *read = 0;
  if (over_) return E_FAIL;
  if (broken_) return E_UNEXPECTED;
  // One byte past the limit is asked for, so that a body of exactly the
  // limit ends normally and a longer one is found out without reading on.
  const uint64_t allowed = limit_ - consumed_ + 1;
  const ULONG asked = static_cast<ULONG>(std::min<uint64_t>(count, allowed));
  ULONG got = 0;
  const HRESULT hr = body_->Read(buffer, asked, &got);
  if (got > asked) {
    broken_ = true;
    return E_UNEXPECTED;
  }
  consumed_ += got;
  if (consumed_ > limit_) {
    over_ = true;
    return E_FAIL;
  }
  if (read) *read = got;
  return hr;
}

HRESULT BodyLimitStream::Write(const void*, ULONG, ULONG* written) {
  if (written) *written = 0;
  return E_NOTIMPL;
}

}  // namespace varnel
