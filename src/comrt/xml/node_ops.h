// The DOM operations behind the node objects' methods, one function per
// method, each taking the node it is called on. Contracts as in the public
// headers (comrt/xml_dom*.h).
#pragma once

#include <string>

#include "xml/node_handle.h"

namespace comrt {
namespace xml {
namespace ops {

// node_values.cpp
HRESULT GetNodeName(NodeHandle& self, BSTR* name);
HRESULT GetNodeValue(NodeHandle& self, VARIANT* value);
HRESULT PutNodeValue(NodeHandle& self, const VARIANT& value);
HRESULT GetNodeType(NodeHandle& self, DOMNodeType* type);
HRESULT GetNodeTypeString(NodeHandle& self, BSTR* type);
HRESULT GetText(NodeHandle& self, BSTR* text);
HRESULT PutText(NodeHandle& self, BSTR text);
HRESULT GetNodeTypedValue(NodeHandle& self, VARIANT* value);
HRESULT GetNamespaceUri(NodeHandle& self, BSTR* uri);
HRESULT GetPrefix(NodeHandle& self, BSTR* prefix);
HRESULT GetBaseName(NodeHandle& self, BSTR* name);
HRESULT GetXml(NodeHandle& self, BSTR* xml);
// Sets the value of an attribute, text, CDATA, comment or processing
// instruction. E_FAIL for a declaration of a loaded document or data the
// node type cannot hold; E_OUTOFMEMORY.
HRESULT SetValueText(NodeHandle& self, const std::string& value);

// Character data and processing instructions (character_data.cpp).
HRESULT GetData(NodeHandle& self, BSTR* data);
HRESULT PutData(NodeHandle& self, BSTR data);
HRESULT GetDataLength(NodeHandle& self, LONG* length);
HRESULT SubstringData(NodeHandle& self, LONG offset, LONG count, BSTR* data);
HRESULT AppendData(NodeHandle& self, BSTR data);
HRESULT InsertData(NodeHandle& self, LONG offset, BSTR data);
HRESULT DeleteData(NodeHandle& self, LONG offset, LONG count);
HRESULT ReplaceData(NodeHandle& self, LONG offset, LONG count, BSTR data);
HRESULT GetTarget(NodeHandle& self, BSTR* target);

// node_navigation.cpp
HRESULT GetParentNode(NodeHandle& self, IXMLDOMNode** parent);
HRESULT GetChildNodes(NodeHandle& self, IXMLDOMNodeList** list);
HRESULT GetFirstChild(NodeHandle& self, IXMLDOMNode** child);
HRESULT GetLastChild(NodeHandle& self, IXMLDOMNode** child);
HRESULT GetPreviousSibling(NodeHandle& self, IXMLDOMNode** sibling);
HRESULT GetNextSibling(NodeHandle& self, IXMLDOMNode** sibling);
HRESULT HasChildNodes(NodeHandle& self, VARIANT_BOOL* has);
HRESULT GetOwnerDocument(NodeHandle& self, IXMLDOMDocument** document);
HRESULT GetAttributes(NodeHandle& self, IXMLDOMNamedNodeMap** map);
HRESULT SelectNodes(NodeHandle& self, BSTR query, IXMLDOMNodeList** list);
HRESULT SelectSingleNode(NodeHandle& self, BSTR query, IXMLDOMNode** node);
HRESULT GetElementsByTagName(NodeHandle& self, BSTR name, IXMLDOMNodeList** list);

// tree_edit.cpp
HRESULT InsertBefore(NodeHandle& self, IXMLDOMNode* newChild, const VARIANT& refChild, IXMLDOMNode** out);
HRESULT ReplaceChild(NodeHandle& self, IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** out);
HRESULT RemoveChild(NodeHandle& self, IXMLDOMNode* child, IXMLDOMNode** out);
HRESULT AppendChild(NodeHandle& self, IXMLDOMNode* newChild, IXMLDOMNode** out);
HRESULT CloneNode(NodeHandle& self, VARIANT_BOOL deep, IXMLDOMNode** clone);

// Elements (element_attributes.cpp).
HRESULT GetAttribute(NodeHandle& self, BSTR name, VARIANT* value);
HRESULT SetAttribute(NodeHandle& self, BSTR name, const VARIANT& value);
HRESULT RemoveAttribute(NodeHandle& self, BSTR name);
HRESULT GetAttributeNode(NodeHandle& self, BSTR name, IXMLDOMAttribute** attribute);
HRESULT SetAttributeNode(NodeHandle& self, IXMLDOMAttribute* attribute, IXMLDOMAttribute** replaced);
HRESULT RemoveAttributeNode(NodeHandle& self, IXMLDOMAttribute* attribute, IXMLDOMAttribute** removed);

// Called as a node object dies (not for the document object itself).
void ForgetNode(NodeHandle& self);

}  // namespace ops
}  // namespace xml
}  // namespace comrt
