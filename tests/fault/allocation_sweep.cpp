#include "fault/allocation_sweep.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "comrt/diagnostics.h"
#include "comrt/error_info.h"
#include "fault/failing_allocator.h"

namespace varnel_test {
namespace {

constexpr size_t kDetailsKept = 8;
constexpr size_t kResultRoom = 4096;

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

// The thread's error information, and libxml2's copy of its last error
// message, outlive a run by design; neither is a leak.
void ForgetErrorInfo() {
  SetErrorInfo(0, nullptr);
  using Reset = void (*)();
  static const Reset resetLibxml2Error = reinterpret_cast<Reset>(dlsym(RTLD_DEFAULT, "xmlResetLastError"));
  if (resetLibxml2Error) resetLibxml2Error();
}

std::string Counts(const comrt::diagnostics::LiveCounts& before, const comrt::diagnostics::LiveCounts& after,
                   long long blocks) {
  char text[200];
  std::snprintf(text, sizeof text, "strings %+lld, arrays %+lld, objects %+lld, task memory %+lld, blocks %+lld",
                static_cast<long long>(after.strings - before.strings),
                static_cast<long long>(after.arrays - before.arrays),
                static_cast<long long>(after.objects - before.objects),
                static_cast<long long>(after.taskMemory - before.taskMemory), blocks);
  return text;
}

}  // namespace

HRESULT Armed::operator()(const std::function<HRESULT()>& call) {
  FailingAllocator::Arm(failAt_);
  const HRESULT hr = call();
  reached_ = FailingAllocator::Disarm();
  return hr;
}

SweepSummary SweepAllocations(const std::string& operation, const std::function<Outcome(Armed&)>& run) {
  SweepSummary summary;
  summary.operation = operation;
  // Twice unfailed: lazily made singletons and the thread's caches settle.
  Armed unfailed(0);
  const Outcome expected = run(unfailed);
  run(unfailed);
  // And once failing: the first trace line of a failure makes the log system.
  Armed failing(1);
  run(failing);
  ForgetErrorInfo();
  if (expected.hr != S_OK) {
    summary.details.push_back("the operation fails even when no allocation does");
    ++summary.wrongSuccesses;
    return summary;
  }

  const char* traceOperation = std::getenv("VARNEL_SWEEP_TRACE");
  const char* traceAt = std::getenv("VARNEL_SWEEP_TRACE_RUN");
  const long long traceRun = traceAt ? std::atoll(traceAt) : 0;
  for (long long n = 1;; ++n) {
    // Room for a wrong result made before counting, so that keeping it
    // allocates nothing inside the counted span.
    std::string wrongResult;
    wrongResult.reserve(kResultRoom);
    HRESULT hr = S_OK;
    bool wrong = false;
    ForgetErrorInfo();
    const comrt::diagnostics::LiveCounts before = comrt::diagnostics::GetLiveCounts();
    const long long blocksBefore = FailingAllocator::LiveBlocks();
    Armed armed(n);
    const bool trace = traceOperation && operation == traceOperation && n == traceRun;
    if (trace) FailingAllocator::StartTracing();
    {
      const Outcome outcome = run(armed);
      hr = outcome.hr;
      wrong = hr == S_OK && outcome.result != expected.result;
      if (wrong) wrongResult.assign(outcome.result, 0, kResultRoom);
    }
    ForgetErrorInfo();
    if (trace) FailingAllocator::ReportTraced();
    const comrt::diagnostics::LiveCounts after = comrt::diagnostics::GetLiveCounts();
    const long long blocks = FailingAllocator::LiveBlocks() - blocksBefore;
    ++summary.runs;
    if (hr != S_OK) ++summary.failures;
    if (wrong) {
      ++summary.wrongSuccesses;
      if (summary.details.size() < kDetailsKept) {
        summary.details.push_back("allocation " + std::to_string(n) + " failed, S_OK with: " + wrongResult);
      }
    }
    if (after != before || blocks != 0) {
      ++summary.leaks;
      if (summary.details.size() < kDetailsKept) {
        summary.details.push_back("allocation " + std::to_string(n) + " failed (code " + Hex(hr) + ") leaves " +
                                  Counts(before, after, blocks));
      }
    }
    if (!armed.reached()) {  // the operation made fewer than n allocations
      if (hr != S_OK) {
        ++summary.wrongSuccesses;
        summary.details.push_back("fails with no allocation failing: " + Hex(hr));
      }
      break;
    }
  }
  std::printf("[ SWEEP    ] %-44s runs %5d  failures %5d  wrong successes %3d  leaks %3d\n", operation.c_str(),
              summary.runs, summary.failures, summary.wrongSuccesses, summary.leaks);
  for (const std::string& detail : summary.details) std::printf("[ SWEEP    ]   %s\n", detail.c_str());
  std::fflush(stdout);
  return summary;
}

}  // namespace varnel_test
