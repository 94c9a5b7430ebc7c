// Moving around the tree: parents, children, siblings, the owner, and the
// lookups that return lists.
#include <new>

#include "xml/dom_document.h"
#include "xml/node_lists.h"
#include "xml/node_names.h"
#include "xml/selection.h"
#include "xml/tree_walk.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

bool ShowsChildren(const NodeRef& ref) { return !ref.decl && HasTreeChildren(ref.node); }

// Attributes stand outside the tree: no parent, no siblings.
bool InTreeOrder(const NodeRef& ref) { return !ref.decl && ref.node->type != XML_ATTRIBUTE_NODE; }

HRESULT HandOutRelative(NodeHandle& self, xmlNodePtr node, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  return HandOutNode(*self.owner, NodeRef(node), out);
}

}  // namespace

namespace ops {

HRESULT GetParentNode(NodeHandle& self, IXMLDOMNode** parent) {
  return HandOutRelative(self, InTreeOrder(self.ref) ? self.ref.node->parent : nullptr, parent);
}

HRESULT GetChildNodes(NodeHandle& self, IXMLDOMNodeList** list) { return MakeChildList(self, list); }

HRESULT GetFirstChild(NodeHandle& self, IXMLDOMNode** child) {
  return HandOutRelative(self, ShowsChildren(self.ref) ? self.ref.node->children : nullptr, child);
}

HRESULT GetLastChild(NodeHandle& self, IXMLDOMNode** child) {
  return HandOutRelative(self, ShowsChildren(self.ref) ? self.ref.node->last : nullptr, child);
}

HRESULT GetPreviousSibling(NodeHandle& self, IXMLDOMNode** sibling) {
  return HandOutRelative(self, InTreeOrder(self.ref) ? self.ref.node->prev : nullptr, sibling);
}

HRESULT GetNextSibling(NodeHandle& self, IXMLDOMNode** sibling) {
  return HandOutRelative(self, InTreeOrder(self.ref) ? self.ref.node->next : nullptr, sibling);
}

HRESULT HasChildNodes(NodeHandle& self, VARIANT_BOOL* has) {
  if (!has) return E_INVALIDARG;
  const bool any = ShowsChildren(self.ref) && self.ref.node->children;
  *has = any ? VARIANT_TRUE : VARIANT_FALSE;
  return any ? S_OK : S_FALSE;
}

HRESULT GetOwnerDocument(NodeHandle& self, IXMLDOMDocument** document) {
  if (!document) return E_INVALIDARG;
  *document = nullptr;
  if (&self == static_cast<NodeHandle*>(self.owner)) return S_FALSE;
  return self.owner->Identity()->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(document));
}

HRESULT GetAttributes(NodeHandle& self, IXMLDOMNamedNodeMap** map) {
  if (!map) return E_INVALIDARG;
  *map = nullptr;
  if (self.ref.decl || self.ref.node->type != XML_ELEMENT_NODE) return S_FALSE;
  return MakeAttributeMap(self, map);
}

HRESULT SelectNodes(NodeHandle& self, BSTR query, IXMLDOMNodeList** list) {
  if (!list) return E_INVALIDARG;
  *list = nullptr;
  std::vector<NodeRef> found;
  const HRESULT hr = Select(*self.owner, self.ref, query, &found);
  if (FAILED(hr)) return hr;
  return MakeSnapshotList(*self.owner, found, list);
}

HRESULT SelectSingleNode(NodeHandle& self, BSTR query, IXMLDOMNode** node) {
  if (!node) return E_INVALIDARG;
  *node = nullptr;
  std::vector<NodeRef> found;
  const HRESULT hr = Select(*self.owner, self.ref, query, &found);
  if (FAILED(hr)) return hr;
  if (found.empty()) return S_FALSE;
  return HandOutNode(*self.owner, found.front(), node);
}

HRESULT GetElementsByTagName(NodeHandle& self, BSTR name, IXMLDOMNodeList** list) {
  if (!list) return E_INVALIDARG;
  *list = nullptr;
  std::vector<NodeRef> found;
  try {
    const std::string wanted = ToUtf8(name);
    if (ShowsChildren(self.ref)) {
      xmlNodePtr root = self.ref.node;
      for (xmlNodePtr at = FirstInSubtree(root); at; at = NextInSubtree(at, root)) {
        if (at->type == XML_ELEMENT_NODE && (wanted == "*" || QualifiedName(NodeRef(at)) == wanted)) {
          found.emplace_back(at);
        }
      }
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return MakeSnapshotList(*self.owner, found, list);
}

}  // namespace ops
}  // namespace xml
}  // namespace comrt
