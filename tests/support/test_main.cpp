// Test main: runs every test and fails the program when a test ends with more
// (or fewer) strings, arrays, objects or task-memory blocks alive than it
// started with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "comrt/diagnostics.h"

namespace {

class LeakCheckListener : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override { before_ = comrt::diagnostics::GetLiveCounts(); }

  void OnTestEnd(const ::testing::TestInfo& info) override {
    const comrt::diagnostics::LiveCounts after = comrt::diagnostics::GetLiveCounts();
    if (after == before_) return;
    char text[256];
    std::snprintf(text, sizeof text, "%s.%s: strings %+lld, arrays %+lld, objects %+lld, task memory %+lld, registry keys %+lld, "
                  "kernel handles %+lld",
                  info.test_suite_name(), info.name(), static_cast<long long>(after.strings - before_.strings),
                  static_cast<long long>(after.arrays - before_.arrays),
                  static_cast<long long>(after.objects - before_.objects),
                  static_cast<long long>(after.taskMemory - before_.taskMemory),
                  static_cast<long long>(after.registryKeys - before_.registryKeys),
                  static_cast<long long>(after.kernelHandles - before_.kernelHandles));
    std::fprintf(stderr, "LEAK %s\n", text);
    leaks_.emplace_back(text);
  }

  const std::vector<std::string>& leaks() const { return leaks_; }

 private:
  comrt::diagnostics::LiveCounts before_{};
  std::vector<std::string> leaks_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  auto* leakCheck = new LeakCheckListener;  // owned by gtest's listener list
  ::testing::UnitTest::GetInstance()->listeners().Append(leakCheck);
  const int result = RUN_ALL_TESTS();
  if (!leakCheck->leaks().empty()) {
    std::fprintf(stderr, "%zu test(s) leaked:\n", leakCheck->leaks().size());
    for (const std::string& leak : leakCheck->leaks()) std::fprintf(stderr, "  %s\n", leak.c_str());
    return 1;
  }
  return result;
}
