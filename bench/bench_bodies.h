// The bodies every benchmark reads and writes: four realistic messages and a
// fault (files under bench/data), and two growth series made here (one string
// argument of 1 KB to 10 MB; 1 to 10,000 arguments). Each comes with the
// service description and service type it belongs to.
#pragma once

#include <string>
#include <vector>

namespace varnel_bench {

enum class BodyKind {
  kRequest,   // an InvokeAction request, read as a device reads it
  kResponse,  // an InvokeAction response, read as a control point reads it
  kFault,     // a SOAP fault in place of a response
};

struct BenchBody {
  std::string id;           // the body's part of benchmark names: "a", "args_100"
  std::string label;        // what it is, for the table
  BodyKind kind;
  std::u16string serviceType;
  std::string description;  // the service description's text
  std::string xml;          // the body's bytes
  size_t arguments;         // argument elements in the message element
};

// (a) SwitchPower SetTarget, (b) Browse request, (c) Browse response with a
// 20 KB escaped DIDL-Lite Result, (d) 50 small arguments, and a 402 fault.
// Exits the process when a data file is missing.
const std::vector<BenchBody>& RealisticBodies();

// string_1KB .. string_10MB: one string argument, its text escaped in places;
// args_1 .. args_10000: that many ui4 arguments.
const std::vector<BenchBody>& GrowthBodies();

// The realistic bodies, then the growth series.
std::vector<const BenchBody*> AllBodies();

}  // namespace varnel_bench
