#include "comrt/bstr.h"

#include <cstdlib>
#include <cstring>

#include "diagnostics_counters.h"

namespace {

using comrt::diagnostics::CountDown;
using comrt::diagnostics::CountUp;
using comrt::diagnostics::g_liveStrings;

// The byte count that precedes the text.
constexpr size_t kPrefixBytes = sizeof(uint32_t);
// Three zero bytes follow the text: one right after an odd byte count, and a
// whole aligned zero code unit after that, so the text reads as terminated both
// as bytes and as UTF-16 whatever the count.
constexpr size_t kTerminatorBytes = 3;
// The byte count must fit the 32-bit prefix together with its terminator.
constexpr uint64_t kMaxByteCount = UINT32_MAX - kTerminatorBytes - kPrefixBytes;

uint32_t* PrefixOf(BSTR text) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - kPrefixBytes); }

// A string of `byteCount` bytes copied from `bytes`, or zero bytes when
// `bytes` is null; null when the count is too large or memory runs out.
BSTR Allocate(const void* bytes, uint64_t byteCount) {
  if (byteCount > kMaxByteCount) return nullptr;
  const size_t total = kPrefixBytes + static_cast<size_t>(byteCount) + kTerminatorBytes;
  // calloc: text from a null source must read as zeros, and big zero strings
  // stay cheap.
  char* block = static_cast<char*>(bytes ? std::malloc(total) : std::calloc(1, total));
  if (!block) return nullptr;
  const uint32_t count = static_cast<uint32_t>(byteCount);
  std::memcpy(block, &count, sizeof count);
  char* data = block + kPrefixBytes;
  if (bytes) {
    std::memcpy(data, bytes, static_cast<size_t>(byteCount));
    std::memset(data + byteCount, 0, kTerminatorBytes);
  }
  CountUp(g_liveStrings);
  return reinterpret_cast<BSTR>(data);
}

size_t TextLength(const OLECHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return Allocate(text, static_cast<uint64_t>(TextLength(text)) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  return Allocate(text, static_cast<uint64_t>(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) { return Allocate(bytes, length); }

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (!target) return FALSE;
  if (!text) {
    // A null BSTR is the empty string; nothing to allocate.
    SysFreeString(*target);
    *target = nullptr;
    return TRUE;
  }
  // Allocating before freeing lets `text` point into the old string.
  BSTR replacement = SysAllocString(text);
  if (!replacement) return FALSE;
  SysFreeString(*target);
  *target = replacement;
  return TRUE;
}

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
  if (!target) return FALSE;
  BSTR replacement = SysAllocStringLen(text, length);
  if (!replacement) return FALSE;
  SysFreeString(*target);
  *target = replacement;
  return TRUE;
}

void SysFreeString(BSTR text) {
  if (!text) return;
  std::free(PrefixOf(text));
  CountDown(g_liveStrings);
}

UINT SysStringLen(BSTR text) { return text ? *PrefixOf(text) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR text) { return text ? *PrefixOf(text) : 0; }
