// The least a writer can do: append the body's text to one string, escaping
// the values. write/<body>/append.
#include <string>

#include "bench_cases.h"
#include "bench_services.h"
#include "counting_allocator.h"

namespace varnel_bench {
namespace {

void AppendEscaped(std::string& out, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
}

void AppendElement(std::string& out, const MessageElement& element) {
  const std::string name = element.prefix.empty() ? element.name : element.prefix + ":" + element.name;
  out += '<';
  out += name;
  if (!element.declaredNamespace.empty()) {
    out += element.prefix.empty() ? " xmlns=\"" : " xmlns:" + element.prefix + "=\"";
    out += element.declaredNamespace;
    out += '"';
  }
  out += '>';
  AppendEscaped(out, element.text);
  for (const MessageElement& child : element.children) AppendElement(out, child);
  out += "</";
  out += name;
  out += '>';
}

std::string Compose(const MessageElement& message) {
  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<s:Envelope s:encodingStyle=\"";
  out += kSoapEncodingStyle;
  out += "\" xmlns:s=\"";
  out += kSoapEnvelopeNamespace;
  out += "\"><s:Body>";
  AppendElement(out, message);
  out += "</s:Body></s:Envelope>\n";
  return out;
}

void WriteByAppending(benchmark::State& state, const BenchBody* body) {
  const WriteInput& input = WriteInputFor(*body);
  if (!input.error.empty()) return state.SkipWithError(input.error.c_str());
  AllocationMeter meter;
  size_t written = 0;
  for (auto _ : state) {
    std::string out = Compose(input.message);
    written = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  meter.Report(state);
  ReportBody(state, *body);
  state.counters["sent_bytes"] = static_cast<double>(written);
}

}  // namespace

void RegisterAppendFloor() {
  for (const BenchBody* body : AllBodies()) {
    benchmark::RegisterBenchmark(CaseName("write", *body, "append").c_str(), WriteByAppending, body);
  }
}

}  // namespace varnel_bench
