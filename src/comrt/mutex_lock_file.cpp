#include "mutex_lock_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

namespace comrt {
namespace sync {
namespace {

// Longest encoded name written whole; with the ".lock" ending it stays well
// inside the 255 bytes a file name may have.
constexpr size_t kLongestWholeName = 200;
// How much of a longer name is kept ahead of its hash, so the file still
// says roughly whose it is.
constexpr size_t kKeptPrefix = 160;

// UTF-8 bytes of `name`, except that a lone surrogate is written as the
// three bytes its own code point would take. Replacing it by U+FFFD, as text
// conversion does, would give two different names one file.
std::string NameBytes(std::u16string_view name) {
  std::string bytes;
  bytes.reserve(name.size() * 3);
  for (size_t i = 0; i < name.size(); ++i) {
    char32_t c = name[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00);
    }
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | c >> 6);
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | c >> 12);
      bytes += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | c >> 18);
      bytes += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      bytes += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return bytes;
}

bool KeptAsIs(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
         byte == '.' || byte == '_' || byte == '-';
}

uint64_t Fnv1a64(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char byte : bytes) {
    hash ^= byte;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

const char kHex[] = "0123456789ABCDEF";

// Makes `path` (a directory for this user alone) or checks that what is
// there is one. Someone else's folder, or a link to one, could let another
// user hold or watch our locks.
bool UsableFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return false;
  if (!S_ISDIR(status.st_mode) || status.st_uid != geteuid()) {
    errno = EACCES;
    return false;
  }
  if ((status.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

}  // namespace

std::string LockFileName(std::u16string_view name) {
  const std::string bytes = NameBytes(name);
  std::string encoded;
  encoded.reserve(bytes.size() * 3 + 32);
  for (unsigned char byte : bytes) {
    if (KeptAsIs(byte)) {
      encoded += static_cast<char>(byte);
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    }
  }
  if (encoded.size() > kLongestWholeName) {
    // '~' never survives encoding, so a shortened name cannot equal a whole
    // one; two long names meet only if their hashes do.
    size_t keep = kKeptPrefix;
    if (encoded[keep - 1] == '%') keep -= 1;
    else if (encoded[keep - 2] == '%') keep -= 2;
    encoded.resize(keep);
    encoded += '~';
    const uint64_t hash = Fnv1a64(bytes);
    for (int shift = 60; shift >= 0; shift -= 4) encoded += kHex[hash >> shift & 0xF];
  }
  // A fixed ending also keeps the names "." and ".." from naming a folder.
  encoded += ".lock";
  return encoded;
}

std::string LockFolder() {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    std::string folder = std::string(runtime) + "/comrt-mutex";
    if (UsableFolder(folder)) return folder;
  }
  std::string folder = "/tmp/comrt-mutex-" + std::to_string(geteuid());
  if (UsableFolder(folder)) return folder;
  return {};
}

int OpenLockFile(const std::string& folder, const std::string& path) {
  const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  int fd = open(path.c_str(), flags, 0600);
  if (fd < 0 && errno == ENOENT && UsableFolder(folder)) fd = open(path.c_str(), flags, 0600);
  return fd;
}

}  // namespace sync
}  // namespace comrt
