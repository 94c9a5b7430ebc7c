// What every node object carries: the libxml2 node it stands for and the
// document it belongs to; and the private interface through which one node
// object recognises another of this layer.
#pragma once

#include <libxml/tree.h>

#include "comrt/xml_dom.h"

namespace comrt {
namespace xml {

class DomDocument;

// A node as the DOM sees it. libxml2 keeps namespace declarations apart from
// attributes; the DOM shows them as attributes, so a declaration is named by
// the element holding it (`node`) and the declaration itself (`decl`).
struct NodeRef {
  xmlNodePtr node = nullptr;
  xmlNsPtr decl = nullptr;

  NodeRef() = default;
  explicit NodeRef(xmlNodePtr n) : node(n) {}
  NodeRef(xmlNodePtr element, xmlNsPtr declaration) : node(element), decl(declaration) {}

  // The identity of the node: one object per key while any is alive.
  const void* Key() const { return decl ? static_cast<const void*>(decl) : static_cast<const void*>(node); }
  bool IsNull() const { return node == nullptr; }
  bool IsDeclaration() const { return decl != nullptr; }
  // A plain libxml2 attribute (not a declaration).
  xmlAttrPtr Attribute() const {
    return (!decl && node && node->type == XML_ATTRIBUTE_NODE) ? reinterpret_cast<xmlAttrPtr>(node) : nullptr;
  }
  bool operator==(const NodeRef& other) const { return node == other.node && decl == other.decl; }
  bool operator!=(const NodeRef& other) const { return !(*this == other); }
};

class NodeHandle {
 public:
  // The object as IXMLDOMNode, without adding a reference.
  virtual IXMLDOMNode* NodeInterface() = 0;

  NodeRef ref;
  DomDocument* owner = nullptr;

 protected:
  NodeHandle() = default;
  ~NodeHandle() = default;
};

// Answered only by this layer's node objects (the document included).
inline constexpr IID IID_INodeHandle = {0x5E0C41D7, 0x93B2, 0x4C8A, {0x9F, 0x1E, 0x27, 0x6D, 0xB0, 0x3A, 0x58, 0xC4}};

struct INodeHandle : public IUnknown {
  virtual NodeHandle* STDMETHODCALLTYPE Handle() = 0;

 protected:
  ~INodeHandle() = default;
};

// The handle behind `node` when it is one of this layer's nodes, else null.
// The caller's reference to `node` keeps the handle valid.
NodeHandle* HandleOf(IUnknown* node);

}  // namespace xml
}  // namespace comrt

COMRT_DECLARE_INTERFACE(comrt::xml::INodeHandle, IUnknown, comrt::xml::IID_INodeHandle);
