// The node object classes: one template carrying IXMLDOMNode for every node
// type, and the typed nodes built on it. Methods forward to xml/node_ops.h.
#pragma once

#include "comrt/com_ptr.h"
#include "comrt/object.h"
#include "xml/node_ops.h"

// IDispatch is only a base here: late binding is not offered.
#define COMRT_XML_NO_DISPATCH                                                                               \
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }                         \
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }            \
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {                \
    return E_NOTIMPL;                                                                                      \
  }                                                                                                        \
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) \
      override {                                                                                           \
    return E_NOTIMPL;                                                                                      \
  }

namespace comrt {
namespace xml {

template <class Derived, class Interface>
class NodeObject : public ObjectRoot<Derived, Interface, INodeHandle>, public NodeHandle {
 public:
  // Ties a new object to its node and holds the document (which must not be
  // the object itself) alive.
  void Bind(DomDocument* document, IUnknown* documentUnknown, const NodeRef& node) {
    owner = document;
    ref = node;
    documentHold_ = documentUnknown;
  }
  void FinalRelease() {
    if (owner) ops::ForgetNode(*this);
  }

  NodeHandle* STDMETHODCALLTYPE Handle() override { return this; }
  IXMLDOMNode* NodeInterface() override { return static_cast<Interface*>(this); }

  COMRT_XML_NO_DISPATCH

  HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) override { return ops::GetNodeName(*this, name); }
  HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) override { return ops::GetNodeValue(*this, value); }
  HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT value) override { return ops::PutNodeValue(*this, value); }
  HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override { return ops::GetNodeType(*this, type); }
  HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode** parent) override {
    return ops::GetParentNode(*this, parent);
  }
  HRESULT STDMETHODCALLTYPE get_childNodes(IXMLDOMNodeList** list) override {
    return ops::GetChildNodes(*this, list);
  }
  HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** child) override { return ops::GetFirstChild(*this, child); }
  HRESULT STDMETHODCALLTYPE get_lastChild(IXMLDOMNode** child) override { return ops::GetLastChild(*this, child); }
  HRESULT STDMETHODCALLTYPE get_previousSibling(IXMLDOMNode** sibling) override {
    return ops::GetPreviousSibling(*this, sibling);
  }
  HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** sibling) override {
    return ops::GetNextSibling(*this, sibling);
  }
  HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** map) override {
    return ops::GetAttributes(*this, map);
  }
  HRESULT STDMETHODCALLTYPE insertBefore(IXMLDOMNode* newChild, VARIANT refChild, IXMLDOMNode** out) override {
    return ops::InsertBefore(*this, newChild, refChild, out);
  }
  HRESULT STDMETHODCALLTYPE replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** out) override {
    return ops::ReplaceChild(*this, newChild, oldChild, out);
  }
  HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* child, IXMLDOMNode** out) override {
    return ops::RemoveChild(*this, child, out);
  }
  HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* newChild, IXMLDOMNode** out) override {
    return ops::AppendChild(*this, newChild, out);
  }
  HRESULT STDMETHODCALLTYPE hasChildNodes(VARIANT_BOOL* has) override { return ops::HasChildNodes(*this, has); }
  HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument** document) override {
    return ops::GetOwnerDocument(*this, document);
  }
  HRESULT STDMETHODCALLTYPE cloneNode(VARIANT_BOOL deep, IXMLDOMNode** clone) override {
    return ops::CloneNode(*this, deep, clone);
  }
  HRESULT STDMETHODCALLTYPE get_nodeTypeString(BSTR* type) override { return ops::GetNodeTypeString(*this, type); }
  HRESULT STDMETHODCALLTYPE get_text(BSTR* text) override { return ops::GetText(*this, text); }
  HRESULT STDMETHODCALLTYPE put_text(BSTR text) override { return ops::PutText(*this, text); }
  HRESULT STDMETHODCALLTYPE get_specified(VARIANT_BOOL* specified) override {
    if (!specified) return E_INVALIDARG;
    *specified = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_definition(IXMLDOMNode** definition) override {
    if (definition) *definition = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_nodeTypedValue(VARIANT* value) override {
    return ops::GetNodeTypedValue(*this, value);
  }
  HRESULT STDMETHODCALLTYPE put_nodeTypedValue(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_dataType(VARIANT* type) override {
    if (!type) return E_INVALIDARG;
    VariantInit(type);
    type->vt = VT_NULL;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE put_dataType(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_xml(BSTR* xml) override { return ops::GetXml(*this, xml); }
  HRESULT STDMETHODCALLTYPE transformNode(IXMLDOMNode*, BSTR* xml) override {
    if (xml) *xml = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE selectNodes(BSTR query, IXMLDOMNodeList** list) override {
    return ops::SelectNodes(*this, query, list);
  }
  HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR query, IXMLDOMNode** node) override {
    return ops::SelectSingleNode(*this, query, node);
  }
  HRESULT STDMETHODCALLTYPE get_parsed(VARIANT_BOOL* parsed) override {
    if (!parsed) return E_INVALIDARG;
    *parsed = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_namespaceURI(BSTR* uri) override { return ops::GetNamespaceUri(*this, uri); }
  HRESULT STDMETHODCALLTYPE get_prefix(BSTR* prefix) override { return ops::GetPrefix(*this, prefix); }
  HRESULT STDMETHODCALLTYPE get_baseName(BSTR* name) override { return ops::GetBaseName(*this, name); }
  HRESULT STDMETHODCALLTYPE transformNodeToObject(IXMLDOMNode*, VARIANT) override { return E_NOTIMPL; }

 protected:
  NodeObject() = default;
  ~NodeObject() = default;

 private:
  CComPtr<IUnknown> documentHold_;  // null for the document object itself
};

class ElementNode : public NodeObject<ElementNode, IXMLDOMElement> {
 public:
  HRESULT STDMETHODCALLTYPE get_tagName(BSTR* name) override { return ops::GetNodeName(*this, name); }
  HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, VARIANT* value) override {
    return ops::GetAttribute(*this, name, value);
  }
  HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value) override {
    return ops::SetAttribute(*this, name, value);
  }
  HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name) override { return ops::RemoveAttribute(*this, name); }
  HRESULT STDMETHODCALLTYPE getAttributeNode(BSTR name, IXMLDOMAttribute** attribute) override {
    return ops::GetAttributeNode(*this, name, attribute);
  }
  HRESULT STDMETHODCALLTYPE setAttributeNode(IXMLDOMAttribute* attribute, IXMLDOMAttribute** replaced) override {
    return ops::SetAttributeNode(*this, attribute, replaced);
  }
  HRESULT STDMETHODCALLTYPE removeAttributeNode(IXMLDOMAttribute* attribute, IXMLDOMAttribute** removed) override {
    return ops::RemoveAttributeNode(*this, attribute, removed);
  }
  HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR name, IXMLDOMNodeList** list) override {
    return ops::GetElementsByTagName(*this, name, list);
  }
  HRESULT STDMETHODCALLTYPE normalize() override { return E_NOTIMPL; }
};

class AttributeNode : public NodeObject<AttributeNode, IXMLDOMAttribute> {
 public:
  HRESULT STDMETHODCALLTYPE get_name(BSTR* name) override { return ops::GetNodeName(*this, name); }
  HRESULT STDMETHODCALLTYPE get_value(VARIANT* value) override { return ops::GetNodeValue(*this, value); }
  HRESULT STDMETHODCALLTYPE put_value(VARIANT value) override { return ops::PutNodeValue(*this, value); }
};

template <class Derived, class Interface>
class CharacterDataObject : public NodeObject<Derived, Interface> {
 public:
  HRESULT STDMETHODCALLTYPE get_data(BSTR* data) override { return ops::GetData(*this, data); }
  HRESULT STDMETHODCALLTYPE put_data(BSTR data) override { return ops::PutData(*this, data); }
  HRESULT STDMETHODCALLTYPE get_length(LONG* length) override { return ops::GetDataLength(*this, length); }
  HRESULT STDMETHODCALLTYPE substringData(LONG offset, LONG count, BSTR* data) override {
    return ops::SubstringData(*this, offset, count, data);
  }
  HRESULT STDMETHODCALLTYPE appendData(BSTR data) override { return ops::AppendData(*this, data); }
  HRESULT STDMETHODCALLTYPE insertData(LONG offset, BSTR data) override {
    return ops::InsertData(*this, offset, data);
  }
  HRESULT STDMETHODCALLTYPE deleteData(LONG offset, LONG count) override {
    return ops::DeleteData(*this, offset, count);
  }
  HRESULT STDMETHODCALLTYPE replaceData(LONG offset, LONG count, BSTR data) override {
    return ops::ReplaceData(*this, offset, count, data);
  }

 protected:
  CharacterDataObject() = default;
  ~CharacterDataObject() = default;
};

class TextNode : public CharacterDataObject<TextNode, IXMLDOMText> {
 public:
  HRESULT STDMETHODCALLTYPE splitText(LONG, IXMLDOMText** right) override {
    if (right) *right = nullptr;
    return E_NOTIMPL;
  }
};

class CDataNode : public CharacterDataObject<CDataNode, IXMLDOMCDATASection> {
 public:
  HRESULT STDMETHODCALLTYPE splitText(LONG, IXMLDOMText** right) override {
    if (right) *right = nullptr;
    return E_NOTIMPL;
  }
};

class CommentNode : public CharacterDataObject<CommentNode, IXMLDOMComment> {};

class ProcessingInstructionNode
    : public NodeObject<ProcessingInstructionNode, IXMLDOMProcessingInstruction> {
 public:
  HRESULT STDMETHODCALLTYPE get_target(BSTR* target) override { return ops::GetTarget(*this, target); }
  HRESULT STDMETHODCALLTYPE get_data(BSTR* data) override { return ops::GetData(*this, data); }
  HRESULT STDMETHODCALLTYPE put_data(BSTR data) override { return ops::PutData(*this, data); }
};

// Hands out the object for `ref` (the one alive, or a new one) asked for
// `iid`. A null `ref` gives S_FALSE with *object null. E_INVALIDARG for a null
// `object`, E_OUTOFMEMORY, E_NOINTERFACE.
HRESULT GetNodeObject(DomDocument& document, const NodeRef& ref, REFIID iid, void** object);

// As GetNodeObject, as IXMLDOMNode.
inline HRESULT HandOutNode(DomDocument& document, const NodeRef& ref, IXMLDOMNode** node) {
  return GetNodeObject(document, ref, IID_IXMLDOMNode, reinterpret_cast<void**>(node));
}

// A new reference to the node object for `ref`, null when memory runs out.
CComPtr<IXMLDOMNode> NodeObjectFor(DomDocument& document, const NodeRef& ref);

}  // namespace xml
}  // namespace comrt
