// Reading a load's source into the parser: the blocks it is read into, and
// the loop that reads a stream to its end.
#pragma once

#include <cstddef>
#include <memory>

#include "comrt/stream.h"
#include "xml/safe_parser.h"

namespace comrt {
namespace xml {

// What a source is read in: the count asked of each Read and fread.
inline constexpr size_t kReadBytes = 64 * 1024;

// Two blocks of kReadBytes a source is read into. Each thread keeps a pair
// for its loads: a zero-filled 64 KiB block made for every load cost as much
// as parsing a small body, and freeing it made the allocator consolidate its
// free lists. A load that starts while its thread's pair is in use (a stream
// whose Read loads another document) gets a pair of its own. Throws
// std::bad_alloc.
class ReadBuffer {
 public:
  ReadBuffer();
  ~ReadBuffer();
  ReadBuffer(const ReadBuffer&) = delete;
  ReadBuffer& operator=(const ReadBuffer&) = delete;

  // Block 0 or 1.
  char* data(int block = 0) const { return data_ + block * kReadBytes; }
  static constexpr size_t size() { return kReadBytes; }

 private:
  struct Kept;
  static Kept& ThreadKept();

  Kept* kept_ = nullptr;
  std::unique_ptr<char[]> own_;
  char* data_ = nullptr;
};

// Reads `stream` to its end (a read of nothing) into `parser`, or until the
// parser refuses the input; a failed read fails the parse with its code.
// Throws std::bad_alloc.
void ReadStream(ISequentialStream* stream, SafeParser& parser);

}  // namespace xml
}  // namespace comrt
