#include "xml/stream_reader.h"

namespace comrt {
namespace xml {

struct ReadBuffer::Kept {
  std::unique_ptr<char[]> block;
  bool busy = false;
};

ReadBuffer::Kept& ReadBuffer::ThreadKept() {
  static thread_local Kept kept;
  return kept;
}

ReadBuffer::ReadBuffer() {
  Kept& kept = ThreadKept();
  if (kept.busy) {
    own_.reset(new char[2 * kReadBytes]);
    data_ = own_.get();
    return;
  }
  if (!kept.block) kept.block.reset(new char[2 * kReadBytes]);
  kept.busy = true;
  kept_ = &kept;
  data_ = kept.block.get();
}

ReadBuffer::~ReadBuffer() {
  if (kept_) kept_->busy = false;
}

// A read that answers S_FALSE says the stream has ended; the next read,
// which the loop makes anyway, is made before that piece is parsed, so that
// when it confirms the end the parser takes the piece as the last.
void ReadStream(ISequentialStream* stream, SafeParser& parser) {
  ReadBuffer buffer;
  int block = 0;
  ULONG read = 0;
  HRESULT hr = stream->Read(buffer.data(block), static_cast<ULONG>(buffer.size()), &read);
  for (;;) {
    if (FAILED(hr)) {
      parser.FailSource(hr, u"The stream could not be read.");
      return;
    }
    // A stream that claims more than the buffer holds cannot be believed.
    if (read > buffer.size()) {
      parser.FailSource(E_UNEXPECTED, u"The stream reported more bytes than it was asked for.");
      return;
    }
    if (read == 0) return;
    if (hr != S_FALSE) {
      if (!parser.Feed(buffer.data(block), read)) return;
      hr = stream->Read(buffer.data(block), static_cast<ULONG>(buffer.size()), &read);
      continue;
    }
    const int next = 1 - block;
    ULONG more = 0;
    const HRESULT after = stream->Read(buffer.data(next), static_cast<ULONG>(buffer.size()), &more);
    if (SUCCEEDED(after) && more > buffer.size()) {
      parser.FailSource(E_UNEXPECTED, u"The stream reported more bytes than it was asked for.");
      return;
    }
    if (!parser.Feed(buffer.data(block), read, SUCCEEDED(after) && more == 0)) return;
    block = next;
    read = more;
    hr = after;
  }
}

}  // namespace xml
}  // namespace comrt
