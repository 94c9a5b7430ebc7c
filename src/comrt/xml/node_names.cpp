#include "xml/node_names.h"

#include "xml/tree_walk.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

// Splits "p:local" at its colon; `prefix` is empty when there is none.
void SplitName(std::string_view name, std::string_view* prefix, std::string_view* local) {
  const size_t colon = name.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == name.size()) {
    *prefix = std::string_view();
    *local = name;
  } else {
    *prefix = name.substr(0, colon);
    *local = name.substr(colon + 1);
  }
}

bool IsNamed(const NodeRef& ref) {
  return ref.node->type == XML_ELEMENT_NODE || ref.node->type == XML_ATTRIBUTE_NODE;
}

}  // namespace

DOMNodeType TypeOf(const NodeRef& ref) {
  if (ref.decl) return NODE_ATTRIBUTE;
  switch (ref.node->type) {
    case XML_ELEMENT_NODE:
      return NODE_ELEMENT;
    case XML_ATTRIBUTE_NODE:
      return NODE_ATTRIBUTE;
    case XML_TEXT_NODE:
      return NODE_TEXT;
    case XML_CDATA_SECTION_NODE:
      return NODE_CDATA_SECTION;
    case XML_ENTITY_REF_NODE:
      return NODE_ENTITY_REFERENCE;
    case XML_ENTITY_NODE:
      return NODE_ENTITY;
    case XML_PI_NODE:
      return NODE_PROCESSING_INSTRUCTION;
    case XML_COMMENT_NODE:
      return NODE_COMMENT;
    case XML_DOCUMENT_NODE:
      return NODE_DOCUMENT;
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DTD_NODE:
      return NODE_DOCUMENT_TYPE;
    case XML_DOCUMENT_FRAG_NODE:
      return NODE_DOCUMENT_FRAGMENT;
    case XML_NOTATION_NODE:
      return NODE_NOTATION;
    default:
      return NODE_INVALID;
  }
}

std::string QualifiedName(const NodeRef& ref) {
  if (ref.decl) return ref.decl->prefix ? "xmlns:" + std::string(View(ref.decl->prefix)) : "xmlns";
  switch (ref.node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
      if (ref.node->ns && ref.node->ns->prefix) {
        return std::string(View(ref.node->ns->prefix)) + ":" + std::string(View(ref.node->name));
      }
      return std::string(View(ref.node->name));
    case XML_PI_NODE:
      return std::string(View(ref.node->name));
    case XML_TEXT_NODE:
      return "#text";
    case XML_CDATA_SECTION_NODE:
      return "#cdata-section";
    case XML_COMMENT_NODE:
      return "#comment";
    case XML_DOCUMENT_NODE:
      return "#document";
    default:
      return std::string(View(ref.node->name));
  }
}

std::string LocalName(const NodeRef& ref) {
  if (ref.decl) return ref.decl->prefix ? std::string(View(ref.decl->prefix)) : "xmlns";
  if (ref.node->type == XML_PI_NODE) return std::string(View(ref.node->name));
  if (!IsNamed(ref)) return std::string();
  if (ref.node->ns) return std::string(View(ref.node->name));
  std::string_view prefix, local;
  SplitName(View(ref.node->name), &prefix, &local);
  return std::string(local);
}

std::string PrefixOf(const NodeRef& ref) {
  if (ref.decl) return ref.decl->prefix ? "xmlns" : "";
  if (!IsNamed(ref)) return std::string();
  if (ref.node->ns) return std::string(View(ref.node->ns->prefix));
  std::string_view prefix, local;
  SplitName(View(ref.node->name), &prefix, &local);
  return std::string(prefix);
}

std::string NamespaceOf(const NodeRef& ref) {
  if (ref.decl) return kXmlnsNamespace;
  if (!IsNamed(ref)) return std::string();
  if (ref.node->ns) return std::string(View(ref.node->ns->href));
  if (ref.node->type == XML_ATTRIBUTE_NODE) {
    // Attributes written as declarations, and xml:*, have fixed namespaces
    // whatever the tree around them says.
    const std::string prefix = PrefixOf(ref);
    if (prefix == "xmlns" || (prefix.empty() && View(ref.node->name) == "xmlns")) return kXmlnsNamespace;
    if (prefix == "xml") return C(XML_XML_NAMESPACE);
  }
  return std::string();
}

std::string ValueOf(const NodeRef& ref) {
  if (ref.decl) return std::string(View(ref.decl->href));
  switch (ref.node->type) {
    case XML_ATTRIBUTE_NODE: {
      std::string value;
      for (xmlNodePtr part = ref.node->children; part; part = part->next) value += View(part->content);
      return value;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return std::string(View(ref.node->content));
    default:
      return std::string();
  }
}

std::string TextOf(xmlNodePtr node) {
  std::string text;
  for (xmlNodePtr at = FirstInSubtree(node); at; at = NextInSubtree(at, node)) {
    if (at->type == XML_TEXT_NODE || at->type == XML_CDATA_SECTION_NODE) text += View(at->content);
  }
  return text;
}

bool IsDeclarationPi(xmlNodePtr node) { return node->type == XML_PI_NODE && View(node->name) == "xml"; }

void SetAttributeValue(xmlAttrPtr attribute, const std::string& value) {
  xmlNodePtr text = value.empty() ? nullptr : xmlNewDocText(attribute->doc, X(value));
  if (!value.empty() && (!text || !text->content)) {
    if (text) xmlFreeNode(text);
    throw std::bad_alloc();
  }
  xmlFreeNodeList(attribute->children);
  attribute->children = attribute->last = text;
  if (text) text->parent = reinterpret_cast<xmlNodePtr>(attribute);
}

bool IsValidData(xmlElementType type, const std::string& data) {
  switch (type) {
    case XML_COMMENT_NODE:
      return data.find("--") == std::string::npos && (data.empty() || data.back() != '-');
    case XML_CDATA_SECTION_NODE:
      return data.find("]]>") == std::string::npos;
    case XML_PI_NODE:
      return data.find("?>") == std::string::npos;
    default:
      return true;
  }
}

}  // namespace xml
}  // namespace comrt
