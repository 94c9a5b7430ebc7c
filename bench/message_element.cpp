#include "message_element.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

namespace varnel_bench {
namespace {

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct XmlFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};

bool IsElement(const xmlNode* node, const char* name, const char* ns) {
  return node && node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name) && node->ns &&
         xmlStrEqual(node->ns->href, BAD_CAST ns);
}

const xmlNode* FirstElement(const xmlNode* node) {
  for (; node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE) return node;
  }
  return nullptr;
}

MessageElement Describe(const xmlNode* node) {
  MessageElement element;
  if (node->ns && node->ns->prefix) element.prefix = reinterpret_cast<const char*>(node->ns->prefix);
  element.name = reinterpret_cast<const char*>(node->name);
  if (node->nsDef) element.declaredNamespace = reinterpret_cast<const char*>(node->nsDef->href);
  for (const xmlNode* child = FirstElement(node->children); child; child = FirstElement(child->next)) {
    element.children.push_back(Describe(child));
  }
  if (element.children.empty()) {
    std::unique_ptr<xmlChar, XmlFree> text(xmlNodeGetContent(node));
    if (text) element.text = reinterpret_cast<const char*>(text.get());
  }
  return element;
}

}  // namespace

bool ReadMessageElement(const std::string& xml, MessageElement* element) {
  std::unique_ptr<xmlDoc, DocFree> doc(
      xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS));
  if (!doc) return false;
  const xmlNode* envelope = xmlDocGetRootElement(doc.get());
  if (!IsElement(envelope, "Envelope", kSoapEnvelopeNamespace)) return false;
  const xmlNode* body = FirstElement(envelope->children);
  if (!IsElement(body, "Body", kSoapEnvelopeNamespace)) return false;
  const xmlNode* message = FirstElement(body->children);
  if (!message) return false;
  *element = Describe(message);
  return true;
}

}  // namespace varnel_bench
