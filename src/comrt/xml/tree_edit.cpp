// The DOM's tree changes: insertion, removal, replacement and copies.
#include "xml/tree_edit.h"

#include <new>
#include <vector>

#include "comrt/com_ptr.h"
#include "xml/dom_document.h"
#include "xml/node_checks.h"
#include "xml/node_names.h"
#include "xml/tree_walk.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {

xmlNodePtr DetachNode(xmlDocPtr doc, xmlNodePtr node) {
  if (!node->parent) return nullptr;
  xmlNodePtr oldRoot = DocumentCore::RootOf(node->parent);
  // Elements and attributes may use declarations of the tree they leave:
  // libxml2 moves those out of the tree so that they outlive it.
  const bool usesNamespaces = node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE;
  if (!usesNamespaces || xmlDOMWrapRemoveNode(nullptr, doc, node, 0) != 0) xmlUnlinkNode(node);
  return oldRoot;
}

void LinkChild(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before) {
  child->parent = parent;
  if (!before) {
    child->prev = parent->last;
    child->next = nullptr;
    if (parent->last) {
      parent->last->next = child;
    } else {
      parent->children = child;
    }
    parent->last = child;
    return;
  }
  child->next = before;
  child->prev = before->prev;
  if (before->prev) {
    before->prev->next = child;
  } else {
    parent->children = child;
  }
  before->prev = child;
}

void LinkAttribute(xmlNodePtr element, xmlAttrPtr attribute, xmlAttrPtr before) {
  attribute->parent = element;
  attribute->next = before;
  if (before) {
    attribute->prev = before->prev;
    if (before->prev) {
      before->prev->next = attribute;
    } else {
      element->properties = attribute;
    }
    before->prev = attribute;
    return;
  }
  attribute->prev = nullptr;
  if (!element->properties) {
    element->properties = attribute;
    return;
  }
  xmlAttrPtr last = element->properties;
  while (last->next) last = last->next;
  last->next = attribute;
  attribute->prev = last;
}

HRESULT ReplaceChildrenWithText(DomDocument& document, xmlNodePtr element, const std::string& text) {
  DocumentCore& core = document.Core();
  xmlNodePtr made = nullptr;
  if (!text.empty()) {
    made = KeepIfWhole(xmlNewDocText(core.Doc(), X(text)));
    if (!made) return E_OUTOFMEMORY;
  }
  core.RemoveAllChildren(element);
  if (made) LinkChild(element, made, nullptr);
  core.Changed();
  return S_OK;
}

xmlAttrPtr NewNamespacedAttribute(xmlDocPtr doc, const std::string& prefix, const std::string& localName,
                                  const std::string& uri, const std::string& value) {
  // libxml2 keeps a namespace only on an element or with the document. The
  // attribute is made on a stand-in element and then removed from it, which
  // moves the namespace over to the document.
  xmlNodePtr holder = KeepIfWhole(xmlNewDocNode(doc, nullptr, X(std::string("holder")), nullptr));
  if (!holder) return nullptr;
  xmlNsPtr ns = xmlNewNs(holder, X(uri), X(prefix));
  if (ns && (!ns->href || !ns->prefix)) ns = nullptr;
  xmlAttrPtr made = ns ? xmlNewNsProp(holder, ns, X(localName), nullptr) : nullptr;
  if (made && !made->name) made = nullptr;  // freed with the holder
  if (made) {
    try {
      SetAttributeValue(made, value);
    } catch (const std::bad_alloc&) {
      made = nullptr;
    }
  }
  if (made && xmlDOMWrapRemoveNode(nullptr, doc, reinterpret_cast<xmlNodePtr>(made), 0) != 0) made = nullptr;
  xmlFreeNode(holder);
  return made;
}

HRESULT HandOutDetached(DomDocument& document, xmlNodePtr made, REFIID iid, void** object) {
  if (object) *object = nullptr;
  if (!made) return E_OUTOFMEMORY;
  CComPtr<IXMLDOMNode> node;
  const HRESULT hr = HandOutNode(document, NodeRef(made), &node);
  if (FAILED(hr) || !object) {
    // No object took the node over (GetNodeObject leaves it to the caller on
    // failure), or nobody wants it.
    if (FAILED(hr)) FreeSubtree(made);
    return FAILED(hr) ? hr : E_INVALIDARG;
  }
  // From here the node's object owns it: should the query fail, releasing
  // `node` frees the node.
  return node->QueryInterface(iid, object);
}

namespace {

bool CanHoldChildren(const NodeRef& ref) {
  return !ref.decl && (ref.node->type == XML_ELEMENT_NODE || ref.node->type == XML_DOCUMENT_NODE);
}

bool CanBeChild(const NodeRef& ref) {
  if (ref.decl) return false;
  switch (ref.node->type) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return true;
    default:
      return false;
  }
}

// The handle of `node` when it is a node of `self`'s document. E_INVALIDARG.
HRESULT SameDocumentHandle(NodeHandle& self, IUnknown* node, NodeHandle** handle) {
  if (!node) return E_INVALIDARG;
  *handle = HandleOf(node);
  if (!*handle || (*handle)->owner != self.owner) {
    return Fail(E_INVALIDARG, u"The node does not belong to this document.");
  }
  return S_OK;
}

// Rebinds `from` to `to` in every element and attribute of `root`'s subtree.
void Rebind(xmlNodePtr root, xmlNsPtr from, xmlNsPtr to) {
  for (xmlNodePtr at = root; at; at = NextInSubtree(at, root)) {
    if (at->type != XML_ELEMENT_NODE) continue;
    if (at->ns == from) at->ns = to;
    for (xmlAttrPtr attribute = at->properties; attribute; attribute = attribute->next) {
      if (attribute->ns == from) attribute->ns = to;
    }
  }
}

// Drops the declarations an inserted element makes that its new place
// already makes alike (as every element from createNode does in a tree of
// its own namespace), so that they are not written again and again. A
// declaration some object stands for is kept.
void DropRedundantDeclarations(DocumentCore& core, xmlNodePtr element) {
  xmlNsPtr* link = &element->nsDef;
  while (xmlNsPtr ns = *link) {
    xmlNsPtr inScope = xmlSearchNs(core.Doc(), element->parent, ns->prefix);
    if (inScope && inScope != ns && xmlStrEqual(inScope->href, ns->href) && !core.IsHeld(ns)) {
      Rebind(element, ns, inScope);
      *link = ns->next;
      xmlFreeNs(ns);
    } else {
      link = &ns->next;
    }
  }
}

// Inserts `newChild` before `before` (null: last). `replacing` is a child
// about to go, which the document's one-element and one-declaration rules
// do not count.
HRESULT Insert(NodeHandle& self, IXMLDOMNode* newChild, xmlNodePtr before, xmlNodePtr replacing) {
  NodeHandle* child = nullptr;
  HRESULT hr = SameDocumentHandle(self, newChild, &child);
  if (FAILED(hr)) return hr;
  if (!CanHoldChildren(self.ref)) return Fail(E_FAIL, u"This type of node cannot have children.");
  if (!CanBeChild(child->ref)) return Fail(E_FAIL, u"This type of node cannot be inserted as a child.");
  xmlNodePtr parent = self.ref.node;
  xmlNodePtr node = child->ref.node;
  for (xmlNodePtr at = parent; at; at = at->parent) {
    if (at == node) return Fail(E_FAIL, u"A node cannot be inserted below itself.");
  }
  if (node == before) return S_OK;
  if (parent->type == XML_DOCUMENT_NODE) {
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
      return Fail(E_FAIL, u"Text cannot be a child of the document.");
    }
    for (xmlNodePtr at = parent->children; at; at = at->next) {
      if (at == node || at == replacing) continue;
      if (node->type == XML_ELEMENT_NODE && at->type == XML_ELEMENT_NODE) {
        return Fail(E_FAIL, u"The document already has a document element.");
      }
      if (IsDeclarationPi(node) && IsDeclarationPi(at)) {
        return Fail(E_FAIL, u"The document already has an XML declaration.");
      }
    }
  } else if (IsDeclarationPi(node)) {
    return Fail(E_FAIL, u"The XML declaration can only be a child of the document.");
  }
  DocumentCore& core = self.owner->Core();
  xmlNodePtr oldRoot = DetachNode(core.Doc(), node);
  LinkChild(parent, node, before);
  // Namespaces used inside the moved subtree must be declared in its new
  // place: those in scope there are reused, the others declared on it.
  if (node->type == XML_ELEMENT_NODE) {
    DropRedundantDeclarations(core, node);
    xmlDOMWrapReconcileNamespaces(nullptr, node, 0);
  }
  core.Changed();
  if (oldRoot) core.FreeUnreferenced(oldRoot);
  return S_OK;
}

// The child of `self` that `node` stands for. E_INVALIDARG otherwise.
HRESULT ChildHandle(NodeHandle& self, IUnknown* node, NodeHandle** handle) {
  HRESULT hr = SameDocumentHandle(self, node, handle);
  if (FAILED(hr)) return hr;
  if ((*handle)->ref.decl || (*handle)->ref.node->type == XML_ATTRIBUTE_NODE ||
      (*handle)->ref.node->parent != self.ref.node || self.ref.decl) {
    return Fail(E_INVALIDARG, u"The node is not a child of this node.");
  }
  return S_OK;
}

HRESULT HandOutSame(IXMLDOMNode* node, IXMLDOMNode** out) {
  if (!out) return S_OK;
  *out = node;
  node->AddRef();
  return S_OK;
}

}  // namespace

namespace ops {

HRESULT AppendChild(NodeHandle& self, IXMLDOMNode* newChild, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  const HRESULT hr = Insert(self, newChild, nullptr, nullptr);
  return FAILED(hr) ? hr : HandOutSame(newChild, out);
}

HRESULT InsertBefore(NodeHandle& self, IXMLDOMNode* newChild, const VARIANT& refChild, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  xmlNodePtr before = nullptr;
  if (refChild.vt == VT_UNKNOWN || refChild.vt == VT_DISPATCH) {
    IUnknown* reference = refChild.vt == VT_UNKNOWN ? refChild.punkVal : refChild.pdispVal;
    if (reference) {
      NodeHandle* handle = nullptr;
      const HRESULT hr = ChildHandle(self, reference, &handle);
      if (FAILED(hr)) return hr;
      before = handle->ref.node;
    }
  } else if (refChild.vt != VT_EMPTY && refChild.vt != VT_NULL) {
    return E_INVALIDARG;
  }
  const HRESULT hr = Insert(self, newChild, before, nullptr);
  return FAILED(hr) ? hr : HandOutSame(newChild, out);
}

HRESULT ReplaceChild(NodeHandle& self, IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  NodeHandle* old = nullptr;
  HRESULT hr = ChildHandle(self, oldChild, &old);
  if (FAILED(hr)) return hr;
  CComPtr<IXMLDOMNode> keep(oldChild);  // holds the old node through its removal
  if (!newChild) return E_INVALIDARG;
  if (HandleOf(newChild) != old) {
    hr = Insert(self, newChild, old->ref.node, old->ref.node);
    if (FAILED(hr)) return hr;
    DocumentCore& core = self.owner->Core();
    DetachNode(core.Doc(), old->ref.node);
    core.Changed();
  }
  return HandOutSame(oldChild, out);
}

HRESULT RemoveChild(NodeHandle& self, IXMLDOMNode* child, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  NodeHandle* handle = nullptr;
  const HRESULT hr = ChildHandle(self, child, &handle);
  if (FAILED(hr)) return hr;
  DocumentCore& core = self.owner->Core();
  DetachNode(core.Doc(), handle->ref.node);
  core.Changed();
  // The caller's reference keeps the node until it lets go of it.
  return HandOutSame(child, out);
}

HRESULT CloneNode(NodeHandle& self, VARIANT_BOOL deep, IXMLDOMNode** clone) {
  if (!clone) return E_INVALIDARG;
  *clone = nullptr;
  DomDocument& document = *self.owner;
  if (&self == static_cast<NodeHandle*>(&document)) return document.CloneDocument(deep != VARIANT_FALSE, clone);
  xmlDocPtr doc = document.Core().Doc();
  const NodeRef& ref = self.ref;
  xmlNodePtr made = nullptr;
  try {
    if (ref.decl || ref.node->type == XML_ATTRIBUTE_NODE) {
      xmlAttrPtr attribute = nullptr;
      if (!ref.decl && ref.node->ns && ref.node->ns->prefix) {
        attribute = NewNamespacedAttribute(doc, C(ref.node->ns->prefix), LocalName(ref), NamespaceOf(ref),
                                           ValueOf(ref));
      } else {
        attribute = reinterpret_cast<xmlAttrPtr>(
            KeepIfWhole(reinterpret_cast<xmlNodePtr>(xmlNewDocProp(doc, X(QualifiedName(ref)), nullptr))));
        if (attribute) SetAttributeValue(attribute, ValueOf(ref));
      }
      made = reinterpret_cast<xmlNodePtr>(attribute);
    } else {
      // 1 copies the subtree; 2 the element with its attributes only.
      made = xmlDocCopyNode(ref.node, doc, deep != VARIANT_FALSE ? 1 : 2);
      if (made && !CopyIsWhole(ref.node, made, deep != VARIANT_FALSE)) {
        FreeSubtree(made);
        made = nullptr;
      }
    }
  } catch (const std::bad_alloc&) {
    if (made) FreeSubtree(made);
    return E_OUTOFMEMORY;
  }
  return HandOutDetached(document, made, IID_IXMLDOMNode, reinterpret_cast<void**>(clone));
}

}  // namespace ops
}  // namespace xml
}  // namespace comrt
