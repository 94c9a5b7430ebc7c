// VARNEL_SWEEP_TRACE=<operation> VARNEL_SWEEP_TRACE_RUN=<n> prints where
// the blocks still alive after that run were made.
//
// Runs one operation once for every allocation it makes, failing that one,
// and judges each run against the run where nothing failed.
//
//   SweepSummary s = SweepAllocations("ReadMessage(request)", [&](Armed& armed) {
//     FakeMessageRef request = MakeRequestMessage(body);   // made before arming
//     CComPtr<IUnknown> object;
//     Outcome outcome{armed([&] { return readerWriter->ReadMessage(request.message, &object); })};
//     if (outcome.hr == S_OK) outcome.result = Describe(object);   // unarmed again
//     return outcome;
//   });
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "comrt/result_codes.h"
#include "comrt/types.h"

namespace varnel_test {

// What one run gave: its code and, on success, everything it produced as text.
struct Outcome {
  explicit Outcome(HRESULT code = S_OK) : hr(code) {}
  HRESULT hr;
  std::string result;
};

// Runs a call with the chosen allocation failing.
class Armed {
 public:
  explicit Armed(long long failAt) : failAt_(failAt) {}
  HRESULT operator()(const std::function<HRESULT()>& call);
  bool reached() const { return reached_; }

 private:
  long long failAt_;
  bool reached_ = false;
};

struct SweepSummary {
  std::string operation;
  int runs = 0;            // one per allocation, and the last that failed none
  int failures = 0;        // runs answering a failure code
  int wrongSuccesses = 0;  // S_OK with a result other than the unfailed run's
  int leaks = 0;           // runs leaving objects, strings, arrays or blocks alive
  std::vector<std::string> details;  // the first few wrong successes and leaks
};

// Sweeps `operation`, which must succeed when nothing fails; prints the
// summary. The operation makes its inputs, arms around the one call, and
// describes the result, and must leave nothing alive when it returns.
SweepSummary SweepAllocations(const std::string& operation, const std::function<Outcome(Armed&)>& run);

}  // namespace varnel_test
