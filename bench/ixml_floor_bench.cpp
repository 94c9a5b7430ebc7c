// What the ixml parser of libupnp pays per message: parse the body into its
// DOM and walk the message element's names and texts. read/<body>/ixml.
#include <ixml.h>

#include <cstring>

#include "bench_cases.h"
#include "counting_allocator.h"

namespace varnel_bench {
namespace {

const char kSoapNamespace[] = "http://schemas.xmlsoap.org/soap/envelope/";

bool IsSoapElement(IXML_Node* node, const char* name) {
  if (!node || ixmlNode_getNodeType(node) != eELEMENT_NODE) return false;
  const char* localName = ixmlNode_getLocalName(node);
  const char* ns = ixmlNode_getNamespaceURI(node);
  return localName && ns && std::strcmp(localName, name) == 0 && std::strcmp(ns, kSoapNamespace) == 0;
}

IXML_Node* FirstElement(IXML_Node* node) {
  for (; node; node = ixmlNode_getNextSibling(node)) {
    if (ixmlNode_getNodeType(node) == eELEMENT_NODE) return node;
  }
  return nullptr;
}

size_t Walk(IXML_Node* element) {
  size_t seen = 0;
  bool leaf = true;
  for (IXML_Node* child = ixmlNode_getFirstChild(element); child; child = ixmlNode_getNextSibling(child)) {
    const unsigned short type = ixmlNode_getNodeType(child);
    if (type == eELEMENT_NODE) {
      leaf = false;
      seen += std::strlen(ixmlNode_getNodeName(child)) + Walk(child);
    } else if (leaf && type == eTEXT_NODE) {
      const char* text = ixmlNode_getNodeValue(child);
      seen += text ? std::strlen(text) : 0;
    }
  }
  return seen;
}

// 0 when the body does not parse or has no Body under its Envelope.
size_t Read(const std::string& xml) {
  IXML_Document* doc = nullptr;
  if (ixmlParseBufferEx(xml.c_str(), &doc) != IXML_SUCCESS || !doc) return 0;
  size_t seen = 0;
  IXML_Node* envelope = FirstElement(ixmlNode_getFirstChild(reinterpret_cast<IXML_Node*>(doc)));
  IXML_Node* body = IsSoapElement(envelope, "Envelope") ? FirstElement(ixmlNode_getFirstChild(envelope)) : nullptr;
  if (IsSoapElement(body, "Body")) seen = 1 + Walk(body);
  ixmlDocument_free(doc);
  return seen;
}

void ReadWithIxml(benchmark::State& state, const BenchBody* body) {
  if (Read(body->xml) == 0) return state.SkipWithError("ixml does not read the body");
  AllocationMeter meter;
  for (auto _ : state) benchmark::DoNotOptimize(Read(body->xml));
  meter.Report(state);
  ReportBody(state, *body);
}

}  // namespace

void RegisterIxmlFloor() {
  for (const BenchBody* body : AllBodies()) {
    benchmark::RegisterBenchmark(CaseName("read", *body, "ixml").c_str(), ReadWithIxml, body);
  }
}

}  // namespace varnel_bench
