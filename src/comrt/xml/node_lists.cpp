#include "xml/node_lists.h"

#include <new>

#include "xml/attributes.h"
#include "xml/dom_document.h"
#include "xml/node_names.h"
#include "xml/tree_walk.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

// Makes a T, lets `init` fill it, and hands it out as `Interface`.
template <class T, class Interface, class Init>
HRESULT MakeObject(Init init, Interface** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  CComObject<T>* object = nullptr;
  HRESULT hr = CComObject<T>::CreateInstance(&object);
  if (FAILED(hr)) return hr;
  CComPtr<IUnknown> hold(object->GetUnknown());
  try {
    init(*object);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return hold->QueryInterface(comrt::uuidof<Interface>(), reinterpret_cast<void**>(out));
}

// What every list shares: item lookup through At and Length, and the
// iterator behind nextNode/reset.
template <class Derived, class Interface>
class ListBase : public ObjectRoot<Derived, Interface> {
 public:
  COMRT_XML_NO_DISPATCH

  HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode** item) override {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    if (index < 0) return S_FALSE;
    return Self().At(static_cast<size_t>(index), item);
  }
  HRESULT STDMETHODCALLTYPE get_length(LONG* length) override {
    if (!length) return E_INVALIDARG;
    const size_t count = Self().Length();
    *length = count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<LONG>(count);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** item) override {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    const HRESULT hr = Self().At(cursor_, item);
    if (hr == S_OK) ++cursor_;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE reset() override {
    cursor_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown** enumerator) override {
    if (enumerator) *enumerator = nullptr;
    return E_NOTIMPL;
  }

 protected:
  Derived& Self() { return *static_cast<Derived*>(this); }

 private:
  size_t cursor_ = 0;
};

class ChildNodeList : public ListBase<ChildNodeList, IXMLDOMNodeList> {
 public:
  void Init(NodeHandle& parent) {
    parentObject_ = parent.NodeInterface();
    parent_ = &parent;
  }

  size_t Length() {
    size_t count = 0;
    for (xmlNodePtr child = FirstChild(); child; child = child->next) ++count;
    return count;
  }

  HRESULT At(size_t index, IXMLDOMNode** item) {
    xmlNodePtr child = Find(index);
    return HandOutNode(*parent_->owner, NodeRef(child), item);
  }

 private:
  xmlNodePtr FirstChild() const {
    const NodeRef& ref = parent_->ref;
    return (!ref.decl && HasTreeChildren(ref.node)) ? ref.node->children : nullptr;
  }

  // Walking from the last position found makes a front-to-back loop over the
  // items linear, as long as nothing in the document changed meanwhile.
  xmlNodePtr Find(size_t index) {
    const uint64_t generation = parent_->owner->Core().Generation();
    size_t at = 0;
    xmlNodePtr child = FirstChild();
    if (cachedNode_ && cachedGeneration_ == generation && cachedIndex_ <= index) {
      at = cachedIndex_;
      child = cachedNode_;
    }
    while (child && at < index) {
      child = child->next;
      ++at;
    }
    cachedNode_ = child;
    cachedIndex_ = at;
    cachedGeneration_ = generation;
    return child;
  }

  CComPtr<IXMLDOMNode> parentObject_;  // keeps `parent_` and its document alive
  NodeHandle* parent_ = nullptr;
  xmlNodePtr cachedNode_ = nullptr;
  size_t cachedIndex_ = 0;
  uint64_t cachedGeneration_ = 0;
};

class SnapshotNodeList : public ListBase<SnapshotNodeList, IXMLDOMNodeList> {
 public:
  void Init(DomDocument& document, const std::vector<NodeRef>& nodes) {
    items_.reserve(nodes.size());
    for (const NodeRef& ref : nodes) {
      CComPtr<IXMLDOMNode> node = NodeObjectFor(document, ref);
      if (!node) throw std::bad_alloc();
      items_.push_back(node);
    }
  }

  size_t Length() { return items_.size(); }

  HRESULT At(size_t index, IXMLDOMNode** item) {
    if (index >= items_.size()) return S_FALSE;
    return items_[index].CopyTo(item);
  }

 private:
  std::vector<CComPtr<IXMLDOMNode>> items_;
};

class AttributeMap : public ListBase<AttributeMap, IXMLDOMNamedNodeMap> {
 public:
  void Init(NodeHandle& element) {
    elementObject_ = element.NodeInterface();
    element_ = &element;
  }

  size_t Length() { return AttributeCount(Element()); }

  HRESULT At(size_t index, IXMLDOMNode** item) { return HandOut(AttributeAt(Element(), index), item); }

  HRESULT STDMETHODCALLTYPE getNamedItem(BSTR name, IXMLDOMNode** item) override {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    try {
      return HandOut(FindAttribute(Element(), ToUtf8(name)), item);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT STDMETHODCALLTYPE setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** item) override {
    if (item) *item = nullptr;
    xmlNodePtr replaced = nullptr;
    NodeHandle* added = HandleOf(newItem);
    const HRESULT hr = AddAttributeNode(Document(), Element(), added, &replaced);
    if (FAILED(hr)) return hr;
    if (replaced) Document().Core().FreeUnreferenced(replaced);
    if (item) {
      // A declaration the element already makes stays what it was.
      if (added->ref.node->parent != Element()) {
        try {
          return HandOut(FindAttribute(Element(), QualifiedName(added->ref)), item);
        } catch (const std::bad_alloc&) {
          return E_OUTOFMEMORY;
        }
      }
      *item = newItem;
      newItem->AddRef();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE removeNamedItem(BSTR name, IXMLDOMNode** item) override {
    try {
      return Remove(FindAttribute(Element(), ToUtf8(name)), item);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT STDMETHODCALLTYPE getQualifiedItem(BSTR baseName, BSTR namespaceUri, IXMLDOMNode** item) override {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    try {
      return HandOut(FindAttributeNs(Element(), ToUtf8(baseName), ToUtf8(namespaceUri)), item);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT STDMETHODCALLTYPE removeQualifiedItem(BSTR baseName, BSTR namespaceUri, IXMLDOMNode** item) override {
    try {
      return Remove(FindAttributeNs(Element(), ToUtf8(baseName), ToUtf8(namespaceUri)), item);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  xmlNodePtr Element() const { return element_->ref.node; }
  DomDocument& Document() const { return *element_->owner; }
  HRESULT HandOut(const NodeRef& ref, IXMLDOMNode** item) { return HandOutNode(Document(), ref, item); }

  HRESULT Remove(const NodeRef& found, IXMLDOMNode** item) {
    if (item) *item = nullptr;
    if (found.IsNull()) return S_FALSE;
    CComPtr<IXMLDOMNode> removed;
    if (item) {
      const HRESULT hr = HandOut(found, &removed);
      if (FAILED(hr)) return hr;
    }
    const HRESULT hr = DetachAttribute(Document(), found);
    if (FAILED(hr)) return hr;
    if (item) *item = removed.Detach();
    Document().Core().FreeUnreferenced(found.node);
    return S_OK;
  }

  CComPtr<IXMLDOMNode> elementObject_;  // keeps `element_` and its document alive
  NodeHandle* element_ = nullptr;
};

}  // namespace

HRESULT MakeChildList(NodeHandle& parent, IXMLDOMNodeList** list) {
  return MakeObject<ChildNodeList>([&](ChildNodeList& made) { made.Init(parent); }, list);
}

HRESULT MakeSnapshotList(DomDocument& document, const std::vector<NodeRef>& nodes, IXMLDOMNodeList** list) {
  return MakeObject<SnapshotNodeList>([&](SnapshotNodeList& made) { made.Init(document, nodes); }, list);
}

HRESULT MakeAttributeMap(NodeHandle& element, IXMLDOMNamedNodeMap** map) {
  return MakeObject<AttributeMap>([&](AttributeMap& made) { made.Init(element); }, map);
}

}  // namespace xml
}  // namespace comrt
