// How the benchmark cases are named, what every case reports, and the
// registration functions of each group.
//
// Names are "<operation>/<body>/<implementation>", e.g. "read/a/varnel",
// "read/a/libxml2", "write/c/libxml2_dump"; bench/report.py builds its table
// from them, comparing each implementation with the floor of the same
// operation and body.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "bench_bodies.h"

namespace varnel_bench {

inline std::string CaseName(const char* operation, const BenchBody& body, const char* implementation) {
  return std::string(operation) + "/" + body.id + "/" + implementation;
}

// Adds the body's size and argument count to `state`: "body_bytes",
// "arguments", and bytes per second.
inline void ReportBody(benchmark::State& state, const BenchBody& body) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body.xml.size()));
  state.counters["body_bytes"] = static_cast<double>(body.xml.size());
  state.counters["arguments"] = static_cast<double>(body.arguments);
}

// The library: reads and writes of every body, and a QueryStateVariable
// round trip.
void RegisterLibraryCases();
// libxml2: parse + XPath + walk with a new parser per message; with a reused
// parser context and no XPath; tree build + dump.
void RegisterLibxml2Floors();
// Plain string append with escaping.
void RegisterAppendFloor();
// pugixml parse + walk.
void RegisterPugixmlFloor();
// ixml parse + walk.
void RegisterIxmlFloor();
// Event value conversion, per data type.
void RegisterEventValueCases();
// One reader/writer shared by two threads, against one thread.
void RegisterThreadCases();

}  // namespace varnel_bench
