// Runs the varnel tool as a person does, as a separate process: its
// arguments, standard input, environment, and what it prints and ends with.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace varnel_test {

struct ToolResult {
  int status = -1;  // the exit status; -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs VARNEL_TOOL_PATH with `arguments`; `input` is its standard input and
// `environment` is added to (or replaces in) the test's own.
ToolResult RunVarnel(const std::vector<std::string>& arguments, const std::string& input = std::string(),
                     const Environment& environment = {});

// The number of lines of `text`.
size_t LineCount(const std::string& text);

// A file in a temporary folder of its own holding `text`; removed with the
// object.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& text);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

}  // namespace varnel_test
