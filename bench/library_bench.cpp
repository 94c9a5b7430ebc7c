// The library's reads and writes of every body, each through a transport
// message made once and reused, and a QueryStateVariable round trip.
#include "bench_cases.h"
#include "bench_services.h"
#include "bench_transport.h"
#include "comrt/com_bstr.h"
#include "counting_allocator.h"

namespace varnel_bench {
namespace {

// ReadMessage and what a host then takes: as a device for requests, as a
// control point for responses and faults.
template <class Kind>
void ReadBody(benchmark::State& state, const BenchBody* body) {
  IUPnPSoapMsgReaderWriter* readerWriter = ReaderWriterFor(*body);
  if (!readerWriter) return state.SkipWithError("the description does not load");
  auto message = MakeObject<BenchMessage<Kind>>();
  message->Receive(&body->xml);
  if (ReadAndTake(readerWriter, message->GetUnknown(), body->kind) != S_OK) {
    return state.SkipWithError("the library does not read the body");
  }
  AllocationMeter meter;
  for (auto _ : state) {
    message->Receive(&body->xml);
    if (ReadAndTake(readerWriter, message->GetUnknown(), body->kind) != S_OK) {
      state.SkipWithError("a read failed");
      break;
    }
  }
  meter.Report(state);
  ReportBody(state, *body);
}

// The writer that makes this kind of body, given the values the library read
// from it.
template <class Kind>
void WriteBody(benchmark::State& state, const BenchBody* body) {
  IUPnPSoapMsgReaderWriter* readerWriter = ReaderWriterFor(*body);
  const WriteInput& input = WriteInputFor(*body);
  if (!readerWriter || !input.error.empty()) return state.SkipWithError(input.error.c_str());
  auto message = MakeObject<BenchMessage<Kind>>();
  if (Write(readerWriter, message->GetUnknown(), body->kind, input) != S_OK || message->Sent().empty()) {
    return state.SkipWithError("the library does not write the body");
  }
  AllocationMeter meter;
  for (auto _ : state) {
    message->ClearSent();
    if (Write(readerWriter, message->GetUnknown(), body->kind, input) != S_OK) {
      state.SkipWithError("a write failed");
      break;
    }
  }
  meter.Report(state);
  ReportBody(state, *body);
  state.counters["sent_bytes"] = static_cast<double>(message->Sent().size());
}

// A control point asks a device for a state variable and reads the answer:
// request written, read by the device, response written, read back.
void QueryStateVariableRoundTrip(benchmark::State& state) {
  const BenchBody& switchPower = RealisticBodies().front();
  IUPnPSoapMsgReaderWriter* readerWriter = ReaderWriterFor(switchPower);
  if (!readerWriter) return state.SkipWithError("the description does not load");
  auto request = MakeObject<BenchMessage<ITransportRequestMessage>>();
  auto response = MakeObject<BenchMessage<ITransportResponseMessage>>();
  const CComBSTR variable(u"Status");
  const CComVariant value(u"1");
  auto roundTrip = [&]() -> HRESULT {
    request->ClearSent();
    HRESULT hr = readerWriter->WriteQueryStateVariableRequest(request->GetUnknown(), variable, nullptr);
    if (FAILED(hr)) return hr;
    request->Receive(&request->Sent());
    CComPtr<IUnknown> asked;
    if (FAILED(hr = readerWriter->ReadMessage(request->GetUnknown(), &asked))) return hr;
    CComQIPtr<IUPnPQueryStateVariableRequest> query(asked);
    CComBSTR name;
    if (!query || FAILED(hr = query->GetVariableName(&name))) return E_FAIL;
    response->ClearSent();
    hr = readerWriter->WriteQueryStateVariableResponse(response->GetUnknown(), value, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    response->Receive(&response->Sent());
    CComPtr<IUnknown> answered;
    if (FAILED(hr = readerWriter->ReadMessage(response->GetUnknown(), &answered))) return hr;
    CComQIPtr<IUPnPQueryStateVariableResponse> answer(answered);
    CComVariant returned;
    return answer ? answer->GetReturnValue(&returned) : E_NOINTERFACE;
  };
  if (roundTrip() != S_OK) return state.SkipWithError("the round trip fails");
  AllocationMeter meter;
  for (auto _ : state) {
    if (roundTrip() != S_OK) {
      state.SkipWithError("a round trip failed");
      break;
    }
  }
  meter.Report(state);
}

}  // namespace

void RegisterLibraryCases() {
  for (const BenchBody* body : AllBodies()) {
    if (body->kind == BodyKind::kRequest) {
      benchmark::RegisterBenchmark(CaseName("read", *body, "varnel").c_str(), ReadBody<ITransportRequestMessage>, body);
      benchmark::RegisterBenchmark(CaseName("write", *body, "varnel").c_str(), WriteBody<ITransportRequestMessage>,
                                   body);
    } else {
      benchmark::RegisterBenchmark(CaseName("read", *body, "varnel").c_str(), ReadBody<ITransportResponseMessage>,
                                   body);
      benchmark::RegisterBenchmark(CaseName("write", *body, "varnel").c_str(), WriteBody<ITransportResponseMessage>,
                                   body);
    }
  }
  benchmark::RegisterBenchmark("qsv_round_trip/a/varnel", QueryStateVariableRoundTrip);
}

}  // namespace varnel_bench
