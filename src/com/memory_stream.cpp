#include "com/memory_stream.h"

IStreamImplOnMemory::IStreamImplOnMemory() : stream_(&buffer_) {}

HRESULT IStreamImplOnMemory::Read(void* buffer, ULONG count, ULONG* read) {
  ULONG taken = 0;
  if (buffer || count == 0) {
    stream_.read(static_cast<char*>(buffer), count);
    taken = static_cast<ULONG>(stream_.gcount());
  } else {
    stream_.setstate(std::ios_base::failbit);
  }
  if (read) *read = taken;
  return taken == count && !stream_.fail() ? S_OK : E_FAIL;
}

HRESULT IStreamImplOnMemory::Write(const void* buffer, ULONG count, ULONG* written) {
  if (buffer || count == 0) {
    stream_.write(static_cast<const char*>(buffer), count);
  } else {
    stream_.setstate(std::ios_base::failbit);
  }
  const bool failed = stream_.fail();
  if (written) *written = failed ? 0 : count;
  return failed ? E_FAIL : S_OK;
}
