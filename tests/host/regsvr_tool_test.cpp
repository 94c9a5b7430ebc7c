// comrt-regsvr as a person runs it: registering and unregistering a server
// file, and one clear line for what cannot be done.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/temporary_registry.h"

namespace {

struct ToolRun {
  int status;
  std::string output;  // standard output and standard error together
};

ToolRun RunTool(const std::string& arguments) {
  const std::string command = std::string(COMRT_REGSVR_PATH) + " " + arguments + " 2>&1";
  ToolRun run{-1, {}};
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, count);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

size_t CountLines(const std::string& text, const std::string& prefix) {
  size_t count = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (text.compare(start, prefix.size(), prefix) == 0) ++count;
    start = end + 1;
  }
  return count;
}

TEST(RegsvrToolTest, RegistersAndUnregistersPrintingTheKeys) {
  varnel_test::TemporaryRegistry registry;
  const ToolRun registered = RunTool(VARNEL_LIBRARY_PATH);
  EXPECT_EQ(0, registered.status) << registered.output;
  EXPECT_NE(std::string::npos,
            registered.output.find("+ CLSID\\{1F63881D-C87B-4f47-B415-A597C248B1DB}\\InprocServer32\n"));
  EXPECT_NE(std::string::npos,
            registered.output.find("+ Varnel.GenaMsgWriterHelper\\CurVer @=\"Varnel.GenaMsgWriterHelper.1\"\n"));
  EXPECT_EQ(0u, CountLines(registered.output, "- "));

  const ToolRun again = RunTool(VARNEL_LIBRARY_PATH);
  EXPECT_EQ(0, again.status);
  EXPECT_NE(std::string::npos, again.output.find("no key or value changed"));

  const ToolRun unregistered = RunTool(std::string("-u ") + VARNEL_LIBRARY_PATH);
  EXPECT_EQ(0, unregistered.status) << unregistered.output;
  EXPECT_EQ(0u, CountLines(unregistered.output, "+ "));
  // Seven class keys, fourteen ProgID keys and their subkeys, two AppID keys.
  EXPECT_NE(std::string::npos, unregistered.output.find("- CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}\n"));
  EXPECT_NE(std::string::npos, unregistered.output.find("- AppID\\Varnel.DLL\n"));
  EXPECT_EQ(varnel_test::DumpRegistry(), (std::vector<std::string>{"AppID", "CLSID"}));
}

TEST(RegsvrToolTest, FailuresAreOneLineAndANonZeroStatus) {
  varnel_test::TemporaryRegistry registry;
  const ToolRun missing = RunTool(registry.Folder() + "/no-such-library.so");
  EXPECT_EQ(1, missing.status);
  EXPECT_EQ(1u, CountLines(missing.output, "comrt-regsvr: cannot load "));

  const ToolRun noEntryPoint = RunTool(COMRT_LIBRARY_PATH);
  EXPECT_EQ(1, noEntryPoint.status);
  EXPECT_NE(std::string::npos, noEntryPoint.output.find("has no entry point DllRegisterServer"));

  // A store nobody may write: the server's code, and nothing written.
  {
    FILE* store = fopen(registry.StorePath().c_str(), "w");
    ASSERT_NE(nullptr, store);
    fputs("comrt registry 1\n", store);
    fclose(store);
  }
  const std::string before = registry.Contents();
  ASSERT_EQ(0, chmod(registry.StorePath().c_str(), 0444));
  const ToolRun readOnly = RunTool(VARNEL_LIBRARY_PATH);
  EXPECT_EQ(1, readOnly.status);
  EXPECT_NE(std::string::npos, readOnly.output.find("DllRegisterServer of")) << readOnly.output;
  EXPECT_NE(std::string::npos, readOnly.output.find("0x80070005")) << readOnly.output;
  EXPECT_EQ(before, registry.Contents());

  EXPECT_EQ(2, RunTool("").status);
  EXPECT_EQ(2, RunTool("-x lib.so").status);
  EXPECT_EQ(2, RunTool("a.so b.so").status);
}

}  // namespace
