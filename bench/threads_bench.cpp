// One reader/writer shared by threads: each thread reads body (b) as a device
// and writes it again as a control point, through transport messages of its
// own. threads/b/varnel/threads:1 against threads:2; items_per_second is the
// throughput of all threads together.
#include "bench_cases.h"
#include "bench_services.h"
#include "bench_transport.h"
#include "counting_allocator.h"

namespace varnel_bench {
namespace {

const BenchBody& SharedBody() { return RealisticBodies()[1]; }

void ReadAndWriteShared(benchmark::State& state) {
  const BenchBody& body = SharedBody();
  // The cached reader/writer is the shared one; every thread gets the same.
  IUPnPSoapMsgReaderWriter* readerWriter = ReaderWriterFor(body);
  const WriteInput& input = WriteInputFor(body);
  if (!readerWriter || !input.error.empty()) return state.SkipWithError("the body's service does not load");
  auto received = MakeObject<BenchMessage<ITransportRequestMessage>>();
  auto sent = MakeObject<BenchMessage<ITransportRequestMessage>>();
  AllocationMeter meter;
  for (auto _ : state) {
    received->Receive(&body.xml);
    sent->ClearSent();
    if (ReadAndTake(readerWriter, received->GetUnknown(), body.kind) != S_OK ||
        Write(readerWriter, sent->GetUnknown(), body.kind, input) != S_OK) {
      state.SkipWithError("a read or write failed");
      break;
    }
  }
  meter.Report(state);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

void RegisterThreadCases() {
  // Loaded before the threads start: descriptions are loaded before sharing.
  ReaderWriterFor(SharedBody());
  WriteInputFor(SharedBody());
  benchmark::RegisterBenchmark("threads/b/varnel", ReadAndWriteShared)->Threads(1)->Threads(2)->UseRealTime();
}

}  // namespace varnel_bench
