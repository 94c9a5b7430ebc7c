// An in-memory output for the log system's tests.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "log/log_interfaces.h"

namespace varnel_test {

// Keeps every Write as one piece, and counts locks, unlocks and flushes.
class MemoryIO final : public opLogSys::Common::CReference<opLogSys::ILogIO> {
 public:
  long Lock() override { return Count(locks_), 1; }
  long Unlock() override { return Count(unlocks_), 0; }
  long WriteLine(const char16_t* text) override { return Write((std::u16string(text) + u"\r\n").c_str()); }
  long Write(const char16_t* text) override {
    std::lock_guard<std::mutex> hold(lock_);
    pieces_.emplace_back(text);
    return 0;
  }
  long Flush() override { return Count(flushes_), 0; }

  std::vector<std::u16string> Pieces() { return Read(pieces_); }
  int locks() { return Read(locks_); }
  int unlocks() { return Read(unlocks_); }
  int flushes() { return Read(flushes_); }

 private:
  void Count(int& counter) {
    std::lock_guard<std::mutex> hold(lock_);
    ++counter;
  }
  template <class T>
  T Read(const T& value) {
    std::lock_guard<std::mutex> hold(lock_);
    return value;
  }

  std::mutex lock_;
  std::vector<std::u16string> pieces_;
  int locks_ = 0;
  int unlocks_ = 0;
  int flushes_ = 0;
};

}  // namespace varnel_test
