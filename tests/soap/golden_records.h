// Golden files of the reader and writer tests: named records, each running
// from its "### <name>" line to the next.
#pragma once

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace varnel_test {

inline std::map<std::string, std::string> ReadGoldenRecords(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::string all = text.str();
  std::map<std::string, std::string> records;
  size_t at = all.compare(0, 4, "### ") == 0 ? 0 : all.find("\n### ");
  while (at != std::string::npos) {
    if (all[at] == '\n') ++at;
    const size_t next = all.find("\n### ", at);
    const std::string record = all.substr(at, next == std::string::npos ? std::string::npos : next + 1 - at);
    records[record.substr(4, record.find('\n') - 4)] = record;
    at = next;
  }
  return records;
}

}  // namespace varnel_test
