// Attributes of elements: lookup, change, and the element methods over them.
#include "xml/attributes.h"

#include <new>

#include "xml/dom_document.h"
#include "xml/node_names.h"
#include "xml/tree_edit.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

// The declaration `element` itself makes for the prefix that an attribute
// named `name` ("xmlns" or "xmlns:p") would declare; null for other names or
// when it makes none.
xmlNsPtr DeclarationFor(xmlNodePtr element, const std::string& name) {
  std::string_view prefix;
  if (name == "xmlns") {
    prefix = std::string_view();
  } else if (name.compare(0, 6, "xmlns:") == 0) {
    prefix = std::string_view(name).substr(6);
  } else {
    return nullptr;
  }
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
    if (View(ns->prefix) == prefix) return ns;
  }
  return nullptr;
}

// S_OK when an attribute `name`="value" agrees with the declarations the
// element makes; E_FAIL when it would redeclare one of them.
HRESULT CheckDeclaration(xmlNodePtr element, const std::string& name, const std::string& value, bool* same) {
  *same = false;
  xmlNsPtr declared = DeclarationFor(element, name);
  if (!declared) return S_OK;
  if (View(declared->href) != value) {
    return Fail(E_FAIL, u"The element already declares this namespace prefix with another namespace.");
  }
  *same = true;
  return S_OK;
}

}  // namespace

// The first attribute (in the DOM's order) for which `match` holds, or a
// null ref.
template <class Match>
static NodeRef FirstAttribute(xmlNodePtr element, Match match) {
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
    const NodeRef ref(element, ns);
    if (match(ref)) return ref;
  }
  for (xmlAttrPtr attribute = element->properties; attribute; attribute = attribute->next) {
    const NodeRef ref(reinterpret_cast<xmlNodePtr>(attribute));
    if (match(ref)) return ref;
  }
  return NodeRef();
}

size_t AttributeCount(xmlNodePtr element) {
  size_t count = 0;
  FirstAttribute(element, [&count](const NodeRef&) {
    ++count;
    return false;
  });
  return count;
}

NodeRef AttributeAt(xmlNodePtr element, size_t index) {
  return FirstAttribute(element, [&index](const NodeRef&) { return index-- == 0; });
}

NodeRef FindAttribute(xmlNodePtr element, const std::string& qualifiedName) {
  return FirstAttribute(element, [&](const NodeRef& ref) { return QualifiedName(ref) == qualifiedName; });
}

NodeRef FindAttributeNs(xmlNodePtr element, const std::string& localName, const std::string& namespaceUri) {
  return FirstAttribute(element, [&](const NodeRef& ref) {
    return LocalName(ref) == localName && NamespaceOf(ref) == namespaceUri;
  });
}

HRESULT AddAttributeNode(DomDocument& document, xmlNodePtr element, NodeHandle* attribute, xmlNodePtr* replaced) {
  *replaced = nullptr;
  if (!attribute || attribute->owner != &document || !attribute->ref.Attribute()) {
    return Fail(E_INVALIDARG, u"The node is not an attribute of this document.");
  }
  xmlAttrPtr added = attribute->ref.Attribute();
  if (added->parent == element) return S_OK;
  if (added->parent) return Fail(E_FAIL, u"The attribute belongs to another element.");
  try {
    const std::string name = QualifiedName(attribute->ref);
    bool alreadyDeclared = false;
    HRESULT hr = CheckDeclaration(element, name, ValueOf(attribute->ref), &alreadyDeclared);
    if (FAILED(hr) || alreadyDeclared) return hr;
    DocumentCore& core = document.Core();
    const NodeRef existing = FindAttribute(element, name);
    xmlAttrPtr before = nullptr;
    if (xmlAttrPtr old = existing.Attribute()) {
      before = old->next;
      DetachNode(core.Doc(), reinterpret_cast<xmlNodePtr>(old));
      *replaced = reinterpret_cast<xmlNodePtr>(old);
    }
    LinkAttribute(element, added, before);
    if (added->ns) xmlDOMWrapReconcileNamespaces(nullptr, element, 0);
    core.Changed();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DetachAttribute(DomDocument& document, const NodeRef& attribute) {
  if (attribute.decl) {
    return Fail(E_FAIL, u"A namespace declaration of a loaded document cannot be removed.");
  }
  DetachNode(document.Core().Doc(), attribute.node);
  document.Core().Changed();
  return S_OK;
}

HRESULT SetAttributeText(DomDocument& document, xmlNodePtr element, const std::string& name,
                         const std::string& value) {
  if (!IsXmlName(name)) return Fail(E_FAIL, u"The attribute name is not a valid XML name.");
  try {
    bool alreadyDeclared = false;
    HRESULT hr = CheckDeclaration(element, name, value, &alreadyDeclared);
    if (FAILED(hr) || alreadyDeclared) return hr;
    DocumentCore& core = document.Core();
    if (xmlAttrPtr existing = FindAttribute(element, name).Attribute()) {
      SetAttributeValue(existing, value);
      core.Changed();
      return S_OK;
    }
    // A prefix declared in scope gives the attribute its namespace; any other
    // name is kept whole, as created names are.
    xmlNsPtr ns = nullptr;
    std::string stored = name;
    const size_t colon = name.find(':');
    if (colon != std::string::npos && name.compare(0, colon, "xmlns") != 0) {
      ns = xmlSearchNs(core.Doc(), element, X(name.substr(0, colon)));
      if (ns) stored = name.substr(colon + 1);
    }
    xmlAttrPtr made = xmlNewDocProp(core.Doc(), X(stored), nullptr);
    if (!made) return E_OUTOFMEMORY;
    if (!made->name) {
      xmlFreeProp(made);
      return E_OUTOFMEMORY;
    }
    made->ns = ns;
    try {
      SetAttributeValue(made, value);
    } catch (const std::bad_alloc&) {
      xmlFreeProp(made);
      return E_OUTOFMEMORY;
    }
    LinkAttribute(element, made, nullptr);
    core.Changed();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

namespace ops {

HRESULT GetAttribute(NodeHandle& self, BSTR name, VARIANT* value) {
  if (!value) return E_INVALIDARG;
  VariantInit(value);
  try {
    const NodeRef found = FindAttribute(self.ref.node, ToUtf8(name));
    if (found.IsNull()) {
      value->vt = VT_NULL;
      return S_FALSE;
    }
    return HandOutVariant(ValueOf(found), value);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SetAttribute(NodeHandle& self, BSTR name, const VARIANT& value) {
  std::string text;
  HRESULT hr = VariantText(value, &text);
  if (FAILED(hr)) return hr;
  try {
    return SetAttributeText(*self.owner, self.ref.node, ToUtf8(name), text);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT RemoveAttribute(NodeHandle& self, BSTR name) {
  NodeRef found;
  try {
    found = FindAttribute(self.ref.node, ToUtf8(name));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (found.IsNull()) return S_OK;
  const HRESULT hr = DetachAttribute(*self.owner, found);
  if (SUCCEEDED(hr)) self.owner->Core().FreeUnreferenced(found.node);
  return hr;
}

HRESULT GetAttributeNode(NodeHandle& self, BSTR name, IXMLDOMAttribute** attribute) {
  if (!attribute) return E_INVALIDARG;
  *attribute = nullptr;
  try {
    const NodeRef found = FindAttribute(self.ref.node, ToUtf8(name));
    return GetNodeObject(*self.owner, found, IID_IXMLDOMAttribute, reinterpret_cast<void**>(attribute));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SetAttributeNode(NodeHandle& self, IXMLDOMAttribute* attribute, IXMLDOMAttribute** replaced) {
  if (replaced) *replaced = nullptr;
  xmlNodePtr old = nullptr;
  const HRESULT hr = AddAttributeNode(*self.owner, self.ref.node, HandleOf(attribute), &old);
  if (FAILED(hr) || !old) return hr;
  if (replaced) GetNodeObject(*self.owner, NodeRef(old), IID_IXMLDOMAttribute, reinterpret_cast<void**>(replaced));
  self.owner->Core().FreeUnreferenced(old);
  return S_OK;
}

HRESULT RemoveAttributeNode(NodeHandle& self, IXMLDOMAttribute* attribute, IXMLDOMAttribute** removed) {
  if (removed) *removed = nullptr;
  NodeHandle* handle = HandleOf(attribute);
  const bool ours = handle && handle->owner == self.owner &&
                    ((handle->ref.decl && handle->ref.node == self.ref.node) ||
                     (handle->ref.Attribute() && handle->ref.node->parent == self.ref.node));
  if (!ours) return Fail(E_INVALIDARG, u"The attribute is not one of this element's.");
  const HRESULT hr = DetachAttribute(*self.owner, handle->ref);
  if (FAILED(hr)) return hr;
  if (removed) {
    *removed = attribute;
    attribute->AddRef();
  }
  return S_OK;
}

}  // namespace ops
}  // namespace xml
}  // namespace comrt
