// libxml2 on the same bodies: what reading and writing them costs with the
// parser the library sits on, used directly.
//   read/<body>/libxml2         new parser per message, XPath select of
//                               /s:Envelope/s:Body, walk taking each text as a copy
//   read/<body>/libxml2_reused  one parser context for all messages, no XPath,
//                               walk reading the text in place
//   write/<body>/libxml2_dump   tree build + xmlDocDumpMemoryEnc
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>

#include "bench_cases.h"
#include "bench_services.h"
#include "counting_allocator.h"

namespace varnel_bench {
namespace {

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOBLANKS;

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct XPathContextFree {
  void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct XPathObjectFree {
  void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};
struct ParserContextFree {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

bool IsSoapElement(const xmlNode* node, const char* name) {
  return node && node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->name, BAD_CAST name) &&
         xmlStrEqual(node->ns->href, BAD_CAST kSoapEnvelopeNamespace);
}

// Visits every element under `element`, taking names and leaf texts as a
// reader of the message must; returns a sum of what it saw.
size_t WalkCopying(const xmlNode* element) {
  size_t seen = 0;
  bool leaf = true;
  for (const xmlNode* child = element->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    leaf = false;
    seen += xmlStrlen(child->name) + WalkCopying(child);
  }
  if (leaf) {
    xmlChar* text = xmlNodeGetContent(element);
    seen += xmlStrlen(text);
    xmlFree(text);
  }
  return seen;
}

size_t WalkInPlace(const xmlNode* element) {
  size_t seen = 0;
  bool leaf = true;
  for (const xmlNode* child = element->children; child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) {
      leaf = false;
      seen += xmlStrlen(child->name) + WalkInPlace(child);
    } else if (leaf && child->type == XML_TEXT_NODE) {
      seen += xmlStrlen(child->content);
    }
  }
  return seen;
}

// 0 when the body is not one Body under the Envelope.
size_t ReadWithXPath(const std::string& xml) {
  Doc doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, kParseOptions));
  if (!doc) return 0;
  std::unique_ptr<xmlXPathContext, XPathContextFree> context(xmlXPathNewContext(doc.get()));
  xmlXPathRegisterNs(context.get(), BAD_CAST "s", BAD_CAST kSoapEnvelopeNamespace);
  std::unique_ptr<xmlXPathObject, XPathObjectFree> found(
      xmlXPathEvalExpression(BAD_CAST "/s:Envelope/s:Body", context.get()));
  if (!found || !found->nodesetval || found->nodesetval->nodeNr != 1) return 0;
  return 1 + WalkCopying(found->nodesetval->nodeTab[0]);
}

size_t ReadWithContext(xmlParserCtxt* parser, const std::string& xml) {
  Doc doc(xmlCtxtReadMemory(parser, xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, kParseOptions));
  if (!doc) return 0;
  const xmlNode* envelope = xmlDocGetRootElement(doc.get());
  if (!IsSoapElement(envelope, "Envelope")) return 0;
  const xmlNode* body = nullptr;
  for (const xmlNode* child = envelope->children; child; child = child->next) {
    if (IsSoapElement(child, "Body")) {
      if (body) return 0;
      body = child;
    }
  }
  return body ? 1 + WalkInPlace(body) : 0;
}

void ReadNewParser(benchmark::State& state, const BenchBody* body) {
  if (ReadWithXPath(body->xml) == 0) return state.SkipWithError("libxml2 does not read the body");
  AllocationMeter meter;
  for (auto _ : state) benchmark::DoNotOptimize(ReadWithXPath(body->xml));
  meter.Report(state);
  ReportBody(state, *body);
}

void ReadReusedParser(benchmark::State& state, const BenchBody* body) {
  std::unique_ptr<xmlParserCtxt, ParserContextFree> parser(xmlNewParserCtxt());
  if (!parser || ReadWithContext(parser.get(), body->xml) == 0) {
    return state.SkipWithError("libxml2 does not read the body");
  }
  AllocationMeter meter;
  for (auto _ : state) benchmark::DoNotOptimize(ReadWithContext(parser.get(), body->xml));
  meter.Report(state);
  ReportBody(state, *body);
}

void AppendElement(xmlNode* parent, xmlNs* soap, const MessageElement& element) {
  // Not xmlNewChild: its element would take the parent's namespace.
  xmlNode* node = xmlAddChild(parent, xmlNewDocNode(parent->doc, nullptr, BAD_CAST element.name.c_str(), nullptr));
  if (!element.declaredNamespace.empty()) {
    xmlNs* ns = xmlNewNs(node, BAD_CAST element.declaredNamespace.c_str(),
                         element.prefix.empty() ? nullptr : BAD_CAST element.prefix.c_str());
    xmlSetNs(node, ns);
  } else if (element.prefix == "s") {
    xmlSetNs(node, soap);
  }
  // A text node is written escaped; xmlNewChild's content would be read as markup.
  if (!element.text.empty()) xmlAddChild(node, xmlNewText(BAD_CAST element.text.c_str()));
  for (const MessageElement& child : element.children) AppendElement(node, soap, child);
}

// The whole body as bytes; empty when libxml2 fails.
size_t BuildAndDump(const MessageElement& message) {
  Doc doc(xmlNewDoc(BAD_CAST "1.0"));
  xmlNode* envelope = xmlNewDocNode(doc.get(), nullptr, BAD_CAST "Envelope", nullptr);
  xmlDocSetRootElement(doc.get(), envelope);
  xmlNs* soap = xmlNewNs(envelope, BAD_CAST kSoapEnvelopeNamespace, BAD_CAST "s");
  xmlSetNs(envelope, soap);
  xmlNewNsProp(envelope, soap, BAD_CAST "encodingStyle", BAD_CAST kSoapEncodingStyle);
  xmlNode* body = xmlNewChild(envelope, soap, BAD_CAST "Body", nullptr);
  AppendElement(body, soap, message);
  xmlChar* bytes = nullptr;
  int size = 0;
  xmlDocDumpMemoryEnc(doc.get(), &bytes, &size, "UTF-8");
  const size_t written = bytes ? static_cast<size_t>(size) : 0;
  xmlFree(bytes);
  return written;
}

void WriteBuildAndDump(benchmark::State& state, const BenchBody* body) {
  const WriteInput& input = WriteInputFor(*body);
  if (!input.error.empty()) return state.SkipWithError(input.error.c_str());
  const size_t written = BuildAndDump(input.message);
  if (written == 0) return state.SkipWithError("libxml2 does not write the body");
  AllocationMeter meter;
  for (auto _ : state) benchmark::DoNotOptimize(BuildAndDump(input.message));
  meter.Report(state);
  ReportBody(state, *body);
  state.counters["sent_bytes"] = static_cast<double>(written);
}

}  // namespace

void RegisterLibxml2Floors() {
  for (const BenchBody* body : AllBodies()) {
    benchmark::RegisterBenchmark(CaseName("read", *body, "libxml2").c_str(), ReadNewParser, body);
    benchmark::RegisterBenchmark(CaseName("read", *body, "libxml2_reused").c_str(), ReadReusedParser, body);
    benchmark::RegisterBenchmark(CaseName("write", *body, "libxml2_dump").c_str(), WriteBuildAndDump, body);
  }
}

}  // namespace varnel_bench
