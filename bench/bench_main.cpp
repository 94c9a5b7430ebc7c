// varnel_bench: the library's reads, writes and conversions beside their
// floors on the same bytes. `make bench` runs it and prints the table
// (bench/run, bench/report.py).
#include <benchmark/benchmark.h>

#include "bench_cases.h"
#include "bench_services.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  varnel_bench::RegisterLibraryCases();
  varnel_bench::RegisterLibxml2Floors();
  varnel_bench::RegisterAppendFloor();
#ifdef VARNEL_BENCH_PUGIXML
  varnel_bench::RegisterPugixmlFloor();
#endif
#ifdef VARNEL_BENCH_IXML
  varnel_bench::RegisterIxmlFloor();
#endif
  varnel_bench::RegisterEventValueCases();
  varnel_bench::RegisterThreadCases();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  varnel_bench::ReleaseServices();
  return 0;
}
