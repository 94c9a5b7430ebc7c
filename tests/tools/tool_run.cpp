#include "tool_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace varnel_test {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

TemporaryFile::TemporaryFile(const std::string& text) {
  char pattern[] = "/tmp/varnel-tool-test-XXXXXX";
  if (mkdtemp(pattern)) folder_ = pattern;
  path_ = folder_ + "/file";
  std::ofstream(path_, std::ios::binary) << text;
}

TemporaryFile::~TemporaryFile() {
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

ToolResult RunVarnel(const std::vector<std::string>& arguments, const std::string& input,
                     const Environment& environment) {
  ToolResult result;
  TemporaryFile in(input), out(""), err("");

  // Everything the child needs is made before fork: it may only exec.
  std::vector<std::string> argumentText = {VARNEL_TOOL_PATH};
  argumentText.insert(argumentText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argumentText) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> environmentText;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    bool replaced = false;
    for (const auto& [name, value] : environment) replaced = replaced || text.compare(0, name.size() + 1, name + "=") == 0;
    if (!replaced) environmentText.push_back(text);
  }
  for (const auto& [name, value] : environment) environmentText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : environmentText) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const int inFd = open(in.path().c_str(), O_RDONLY | O_CLOEXEC);
  const int outFd = open(out.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  const int errFd = open(err.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (inFd < 0 || outFd < 0 || errFd < 0) return result;
  const pid_t child = fork();
  if (child == 0) {
    dup2(inFd, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(inFd);
  close(outFd);
  close(errFd);
  if (child < 0) return result;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(out.path());
  result.err = ReadFile(err.path());
  return result;
}

size_t LineCount(const std::string& text) {
  size_t lines = 0;
  for (const char c : text) lines += c == '\n';
  return lines + (!text.empty() && text.back() != '\n');
}

}  // namespace varnel_test
