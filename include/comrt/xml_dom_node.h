// The XML DOM node interfaces: IXMLDOMNode and the collections that hand
// nodes out, with the platform's identifiers and slot orders.
//
// Conventions every method follows: a null out pointer is E_INVALIDARG; "not
// found" and "no such node" are S_FALSE with a null or VT_NULL result; a
// failure the caller would want a reason for (bad names, wrong node types,
// selection errors) also sets the thread's error information; members this
// layer does not offer answer E_NOTIMPL, as do the four IDispatch methods.
#pragma once

#include "comrt/variant.h"

typedef enum tagDOMNodeType {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_CDATA_SECTION = 4,
  NODE_ENTITY_REFERENCE = 5,
  NODE_ENTITY = 6,
  NODE_PROCESSING_INSTRUCTION = 7,
  NODE_COMMENT = 8,
  NODE_DOCUMENT = 9,
  NODE_DOCUMENT_TYPE = 10,
  NODE_DOCUMENT_FRAGMENT = 11,
  NODE_NOTATION = 12
} DOMNodeType;

struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;
struct IXMLDOMDocument;
struct IXMLDOMElement;
struct IXMLDOMAttribute;
struct IXMLDOMText;
struct IXMLDOMComment;
struct IXMLDOMCDATASection;
struct IXMLDOMProcessingInstruction;
struct IXMLDOMParseError;
// Never defined: the members that hand these out answer E_NOTIMPL.
struct IXMLDOMDocumentType;
struct IXMLDOMImplementation;
struct IXMLDOMDocumentFragment;
struct IXMLDOMEntityReference;
struct IXMLDOMSchemaCollection;

inline constexpr IID IID_IXMLDOMNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMNodeList = {0x2933BF82, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMNamedNodeMap = {0x2933BF83, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMParseError = {0x3EFAA426, 0x272F, 0x11D2, {0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82}};

// A node of a document. Asking twice for the same node gives the same object
// (the same IUnknown) while either answer is held; every node object holds its
// document alive. A node created or removed and no longer held is freed.
struct IXMLDOMNode : public IDispatch {
  // Qualified name for elements and attributes ("s:Envelope" as created),
  // the target for processing instructions, else "#text", "#comment",
  // "#cdata-section", "#document". E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) = 0;
  // VT_BSTR for text, CDATA, comments, processing instructions and
  // attributes; VT_NULL (S_FALSE) for elements and documents.
  virtual HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) = 0;
  // Takes the value as text; E_FAIL for elements and documents,
  // DISP_E_TYPEMISMATCH when the value has no text form.
  virtual HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT value) = 0;
  // Never fails but for a null out pointer.
  virtual HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) = 0;
  // S_FALSE with null for documents, attributes and nodes not in a tree.
  virtual HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode** parent) = 0;
  // A live list: it follows later changes of the children. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_childNodes(IXMLDOMNodeList** childList) = 0;
  // S_FALSE with null when there is none (attributes never show children).
  virtual HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** firstChild) = 0;
  // As get_firstChild.
  virtual HRESULT STDMETHODCALLTYPE get_lastChild(IXMLDOMNode** lastChild) = 0;
  // S_FALSE with null when there is none; attributes have no siblings.
  virtual HRESULT STDMETHODCALLTYPE get_previousSibling(IXMLDOMNode** previousSibling) = 0;
  // As get_previousSibling.
  virtual HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** nextSibling) = 0;
  // Elements only: a live map of the attributes, namespace declarations
  // first; S_FALSE with null for every other node type.
  virtual HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** attributeMap) = 0;
  // Inserts before `refChild` (a node as VT_UNKNOWN/VT_DISPATCH; VT_EMPTY or
  // VT_NULL appends), moving the node when it is already in a tree.
  // E_INVALIDARG for a node of another document or a reference that is not
  // a child; E_FAIL for a child type the parent cannot hold, a second
  // document element, or a node that is an ancestor of the parent.
  virtual HRESULT STDMETHODCALLTYPE insertBefore(IXMLDOMNode* newChild, VARIANT refChild,
                                                 IXMLDOMNode** outNewChild) = 0;
  // As insertBefore at `oldChild`'s place, then removes `oldChild`.
  virtual HRESULT STDMETHODCALLTYPE replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild,
                                                 IXMLDOMNode** outOldChild) = 0;
  // E_INVALIDARG when `childNode` is not a child of this node.
  virtual HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) = 0;
  // As insertBefore with no reference.
  virtual HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) = 0;
  // S_FALSE with VARIANT_FALSE when there are none.
  virtual HRESULT STDMETHODCALLTYPE hasChildNodes(VARIANT_BOOL* hasChild) = 0;
  // S_FALSE with null for the document itself.
  virtual HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument** document) = 0;
  // A copy belonging to the same document, not in any tree; attributes are
  // always copied, children only when `deep`. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE cloneNode(VARIANT_BOOL deep, IXMLDOMNode** cloneRoot) = 0;
  // "element", "attribute", "text", "cdatasection", "processinginstruction",
  // "comment", "document". E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_nodeTypeString(BSTR* nodeType) = 0;
  // Elements and documents: the text of all descendant text and CDATA nodes
  // joined, untrimmed; other nodes: their value. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_text(BSTR* text) = 0;
  // Elements: replaces all children with one text node (none for an empty
  // text); other nodes: sets the value. E_FAIL for documents.
  virtual HRESULT STDMETHODCALLTYPE put_text(BSTR text) = 0;
  // Always VARIANT_TRUE: no values come from a DTD.
  virtual HRESULT STDMETHODCALLTYPE get_specified(VARIANT_BOOL* isSpecified) = 0;
  // E_NOTIMPL: no schemas.
  virtual HRESULT STDMETHODCALLTYPE get_definition(IXMLDOMNode** definitionNode) = 0;
  // As get_nodeValue, except that elements give their text: no data types.
  virtual HRESULT STDMETHODCALLTYPE get_nodeTypedValue(VARIANT* typedValue) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE put_nodeTypedValue(VARIANT typedValue) = 0;
  // S_FALSE with VT_NULL: no data types.
  virtual HRESULT STDMETHODCALLTYPE get_dataType(VARIANT* dataTypeName) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE put_dataType(BSTR dataTypeName) = 0;
  // The node as XML text (for documents, exactly what save writes).
  // E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_xml(BSTR* xmlString) = 0;
  // E_NOTIMPL: no style sheets.
  virtual HRESULT STDMETHODCALLTYPE transformNode(IXMLDOMNode* stylesheet, BSTR* xmlString) = 0;
  // Evaluates an XPath 1.0 expression from this node; the list is a snapshot
  // that keeps its nodes. Prefixes resolve only through the document's
  // "SelectionNamespaces". E_FAIL (with error information) for a syntax
  // error, an undeclared prefix, or a result that is not a node set.
  virtual HRESULT STDMETHODCALLTYPE selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) = 0;
  // The first node of selectNodes; S_FALSE with null when none matches.
  virtual HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) = 0;
  // Always VARIANT_TRUE: loading is synchronous.
  virtual HRESULT STDMETHODCALLTYPE get_parsed(VARIANT_BOOL* isParsed) = 0;
  // The namespace of elements and attributes, an empty string for none
  // (elements created with a prefixed name and no namespace have none).
  virtual HRESULT STDMETHODCALLTYPE get_namespaceURI(BSTR* namespaceURI) = 0;
  // The prefix of the qualified name, an empty string for none.
  virtual HRESULT STDMETHODCALLTYPE get_prefix(BSTR* prefixString) = 0;
  // The local part of the name (the target for processing instructions,
  // empty for other unnamed nodes).
  virtual HRESULT STDMETHODCALLTYPE get_baseName(BSTR* nameString) = 0;
  // E_NOTIMPL: no style sheets.
  virtual HRESULT STDMETHODCALLTYPE transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) = 0;

 protected:
  ~IXMLDOMNode() = default;
};

// An ordered list of nodes: live for childNodes, a snapshot for selections.
// A list (its iterator above all) is for one thread at a time.
struct IXMLDOMNodeList : public IDispatch {
  // S_FALSE with null for an index outside [0, length).
  virtual HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode** listItem) = 0;
  // Never fails but for a null out pointer.
  virtual HRESULT STDMETHODCALLTYPE get_length(LONG* listLength) = 0;
  // The node after the iterator, advancing it; S_FALSE with null at the end.
  virtual HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** nextItem) = 0;
  // Moves the iterator back before the first node; never fails.
  virtual HRESULT STDMETHODCALLTYPE reset() = 0;
  // E_NOTIMPL: no enumerator objects.
  virtual HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown** enumerator) = 0;

 protected:
  ~IXMLDOMNodeList() = default;
};

// The attributes of one element, looked up by qualified name or by local
// name and namespace; live.
struct IXMLDOMNamedNodeMap : public IDispatch {
  // S_FALSE with null when no attribute has that qualified name.
  virtual HRESULT STDMETHODCALLTYPE getNamedItem(BSTR name, IXMLDOMNode** namedItem) = 0;
  // Adds an attribute node, replacing (and detaching) one of the same name.
  // E_INVALIDARG for a node that is not an attribute of this document;
  // E_FAIL for one that belongs to another element, or for a namespace
  // declaration that would change a declared prefix.
  virtual HRESULT STDMETHODCALLTYPE setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** nameItem) = 0;
  // S_FALSE with null when absent; E_FAIL for a namespace declaration that
  // came with the document (nodes may depend on it).
  virtual HRESULT STDMETHODCALLTYPE removeNamedItem(BSTR name, IXMLDOMNode** namedItem) = 0;
  // S_FALSE with null for an index outside [0, length).
  virtual HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode** listItem) = 0;
  // Never fails but for a null out pointer.
  virtual HRESULT STDMETHODCALLTYPE get_length(LONG* listLength) = 0;
  // By local name and namespace (empty or null: attributes in no
  // namespace). S_FALSE with null when absent.
  virtual HRESULT STDMETHODCALLTYPE getQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                                     IXMLDOMNode** qualifiedItem) = 0;
  // As removeNamedItem, by local name and namespace.
  virtual HRESULT STDMETHODCALLTYPE removeQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                                        IXMLDOMNode** qualifiedItem) = 0;
  // As for node lists: S_FALSE with null at the end.
  virtual HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** nextItem) = 0;
  // Never fails.
  virtual HRESULT STDMETHODCALLTYPE reset() = 0;
  // E_NOTIMPL: no enumerator objects.
  virtual HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown** enumerator) = 0;

 protected:
  ~IXMLDOMNamedNodeMap() = default;
};

// What the last load of a document reported: errorCode 0 after a success;
// else a failure code (0xC00CE000 plus the parser's own error number, or
// 0xC00CEFxx for what this layer refuses, or the stream's or file's failure
// code), a reason, and the line and column (from 1) where it was found.
struct IXMLDOMParseError : public IDispatch {
  // Every getter fails only for a null out pointer (E_INVALIDARG) or
  // E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_errorCode(LONG* errorCode) = 0;
  // The file path given to load; empty otherwise.
  virtual HRESULT STDMETHODCALLTYPE get_url(BSTR* urlString) = 0;
  // Empty after a success.
  virtual HRESULT STDMETHODCALLTYPE get_reason(BSTR* reasonString) = 0;
  // Always empty: the offending text is not kept.
  virtual HRESULT STDMETHODCALLTYPE get_srcText(BSTR* sourceString) = 0;
  // 0 when the failure has no place in the text (a stream that failed).
  virtual HRESULT STDMETHODCALLTYPE get_line(LONG* lineNumber) = 0;
  // As get_line.
  virtual HRESULT STDMETHODCALLTYPE get_linepos(LONG* linePosition) = 0;
  // The byte offset into the input where the parser stopped; 0 when unknown.
  virtual HRESULT STDMETHODCALLTYPE get_filepos(LONG* filePosition) = 0;

 protected:
  ~IXMLDOMParseError() = default;
};

COMRT_DECLARE_INTERFACE(IXMLDOMNode, IDispatch, IID_IXMLDOMNode);
COMRT_DECLARE_INTERFACE(IXMLDOMNodeList, IDispatch, IID_IXMLDOMNodeList);
COMRT_DECLARE_INTERFACE(IXMLDOMNamedNodeMap, IDispatch, IID_IXMLDOMNamedNodeMap);
COMRT_DECLARE_INTERFACE(IXMLDOMParseError, IDispatch, IID_IXMLDOMParseError);
