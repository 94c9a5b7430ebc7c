// Collects the trace lines that the module logger hands on, for as long as
// the object lives.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "log/module_logger.h"

namespace varnel_test {

struct TraceLine {
  int level;
  std::u16string text;
};

class CapturedLines {
 public:
  CapturedLines() {
    log4halden::Logger::Instance()->SetSink([this](int level, const std::u16string& text) {
      std::lock_guard<std::mutex> hold(lock_);
      lines_.push_back({level, text});
    });
  }
  ~CapturedLines() { log4halden::Logger::Instance()->SetSink(nullptr); }
  CapturedLines(const CapturedLines&) = delete;
  CapturedLines& operator=(const CapturedLines&) = delete;

  std::vector<TraceLine> Lines() const {
    std::lock_guard<std::mutex> hold(lock_);
    return lines_;
  }
  std::vector<std::u16string> Texts() const {
    std::vector<std::u16string> texts;
    for (const TraceLine& line : Lines()) texts.push_back(line.text);
    return texts;
  }

 private:
  mutable std::mutex lock_;
  std::vector<TraceLine> lines_;
};

// UTF-16 test text as UTF-8, for readable assertion messages.
inline std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace varnel_test
