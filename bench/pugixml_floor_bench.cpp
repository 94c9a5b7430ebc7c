// A fast DOM on the same bodies: pugixml parses each body into a new document
// and the message element's names and texts are walked. pugixml knows no
// namespaces, so the envelope is found by its prefixed names.
// read/<body>/pugixml.
#include <pugixml.hpp>

#include <cstring>

#include "bench_cases.h"
#include "counting_allocator.h"

namespace varnel_bench {
namespace {

size_t Walk(const pugi::xml_node& element) {
  size_t seen = 0;
  bool leaf = true;
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    leaf = false;
    seen += std::strlen(child.name()) + Walk(child);
  }
  if (leaf) seen += std::strlen(element.child_value());
  return seen;
}

size_t Read(const std::string& xml) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size())) return 0;
  const pugi::xml_node body = doc.child("s:Envelope").child("s:Body");
  return body ? 1 + Walk(body) : 0;
}

void ReadWithPugixml(benchmark::State& state, const BenchBody* body) {
  if (Read(body->xml) == 0) return state.SkipWithError("pugixml does not read the body");
  AllocationMeter meter;
  for (auto _ : state) benchmark::DoNotOptimize(Read(body->xml));
  meter.Report(state);
  ReportBody(state, *body);
}

}  // namespace

void RegisterPugixmlFloor() {
  for (const BenchBody* body : AllBodies()) {
    benchmark::RegisterBenchmark(CaseName("read", *body, "pugixml").c_str(), ReadWithPugixml, body);
  }
}

}  // namespace varnel_bench
