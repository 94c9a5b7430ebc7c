// The typed XML DOM nodes: elements, attributes, character data (text,
// CDATA, comments) and processing instructions. Conventions as in
// comrt/xml_dom_node.h.
#pragma once

#include "comrt/xml_dom_node.h"

inline constexpr IID IID_IXMLDOMCharacterData = {0x2933BF84, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMAttribute = {0x2933BF85, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMElement = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMText = {0x2933BF87, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMComment = {0x2933BF88, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMProcessingInstruction = {0x2933BF89, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMCDATASection = {0x2933BF8A, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// A namespace declaration of a loaded document shows as an attribute named
// "xmlns" or "xmlns:p"; its value cannot be changed.
struct IXMLDOMAttribute : public IXMLDOMNode {
  // The qualified name. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_name(BSTR* attributeName) = 0;
  // Always VT_BSTR. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_value(VARIANT* attributeValue) = 0;
  // As put_nodeValue; E_FAIL for a namespace declaration of a loaded document.
  virtual HRESULT STDMETHODCALLTYPE put_value(VARIANT attributeValue) = 0;

 protected:
  ~IXMLDOMAttribute() = default;
};

struct IXMLDOMElement : public IXMLDOMNode {
  // The qualified name, as get_nodeName. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_tagName(BSTR* tagName) = 0;
  // VT_BSTR, or S_FALSE with VT_NULL when there is no such attribute.
  virtual HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, VARIANT* value) = 0;
  // Sets or adds the attribute (value taken as text). A prefixed name whose
  // prefix is declared in scope gets that namespace; any other name is kept
  // as given. E_FAIL for an invalid name or a change to a declared prefix;
  // DISP_E_TYPEMISMATCH for a value with no text form.
  virtual HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value) = 0;
  // S_OK also when absent; E_FAIL for a namespace declaration of a loaded
  // document.
  virtual HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name) = 0;
  // S_FALSE with null when absent.
  virtual HRESULT STDMETHODCALLTYPE getAttributeNode(BSTR name, IXMLDOMAttribute** attributeNode) = 0;
  // As IXMLDOMNamedNodeMap::setNamedItem; hands out the replaced attribute
  // (null when none).
  virtual HRESULT STDMETHODCALLTYPE setAttributeNode(IXMLDOMAttribute* attribute,
                                                     IXMLDOMAttribute** attributeNode) = 0;
  // E_INVALIDARG when the attribute is not one of this element's.
  virtual HRESULT STDMETHODCALLTYPE removeAttributeNode(IXMLDOMAttribute* attribute,
                                                        IXMLDOMAttribute** attributeNode) = 0;
  // A snapshot of the descendant elements with that qualified name ("*" for
  // all), in document order. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE normalize() = 0;

 protected:
  ~IXMLDOMElement() = default;
};

// Text, CDATA sections and comments. Offsets and counts are in UTF-16 code
// units; E_INVALIDARG for a negative one or an offset past the end.
struct IXMLDOMCharacterData : public IXMLDOMNode {
  // E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_data(BSTR* data) = 0;
  // E_FAIL for "--" in a comment (or a final "-"), "]]>" in CDATA.
  virtual HRESULT STDMETHODCALLTYPE put_data(BSTR data) = 0;
  // In UTF-16 code units. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_length(LONG* dataLength) = 0;
  // The count is cut at the end of the data.
  virtual HRESULT STDMETHODCALLTYPE substringData(LONG offset, LONG count, BSTR* data) = 0;
  // The edits below fail as put_data for the text they would leave.
  virtual HRESULT STDMETHODCALLTYPE appendData(BSTR data) = 0;
  // Inserts at `offset`.
  virtual HRESULT STDMETHODCALLTYPE insertData(LONG offset, BSTR data) = 0;
  // The count is cut at the end of the data.
  virtual HRESULT STDMETHODCALLTYPE deleteData(LONG offset, LONG count) = 0;
  // As deleteData, then insertData.
  virtual HRESULT STDMETHODCALLTYPE replaceData(LONG offset, LONG count, BSTR data) = 0;

 protected:
  ~IXMLDOMCharacterData() = default;
};

struct IXMLDOMText : public IXMLDOMCharacterData {
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE splitText(LONG offset, IXMLDOMText** rightHandTextNode) = 0;

 protected:
  ~IXMLDOMText() = default;
};

struct IXMLDOMComment : public IXMLDOMCharacterData {
 protected:
  ~IXMLDOMComment() = default;
};

struct IXMLDOMCDATASection : public IXMLDOMText {
 protected:
  ~IXMLDOMCDATASection() = default;
};

// A processing instruction whose target is "xml" stands for the document's
// XML declaration: it may only be a child of the document, once.
struct IXMLDOMProcessingInstruction : public IXMLDOMNode {
  // E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_target(BSTR* name) = 0;
  // E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_data(BSTR* value) = 0;
  // E_FAIL for data containing "?>".
  virtual HRESULT STDMETHODCALLTYPE put_data(BSTR value) = 0;

 protected:
  ~IXMLDOMProcessingInstruction() = default;
};

COMRT_DECLARE_INTERFACE(IXMLDOMAttribute, IXMLDOMNode, IID_IXMLDOMAttribute);
COMRT_DECLARE_INTERFACE(IXMLDOMElement, IXMLDOMNode, IID_IXMLDOMElement);
COMRT_DECLARE_INTERFACE(IXMLDOMCharacterData, IXMLDOMNode, IID_IXMLDOMCharacterData);
COMRT_DECLARE_INTERFACE(IXMLDOMText, IXMLDOMCharacterData, IID_IXMLDOMText);
COMRT_DECLARE_INTERFACE(IXMLDOMComment, IXMLDOMCharacterData, IID_IXMLDOMComment);
COMRT_DECLARE_INTERFACE(IXMLDOMCDATASection, IXMLDOMText, IID_IXMLDOMCDATASection);
COMRT_DECLARE_INTERFACE(IXMLDOMProcessingInstruction, IXMLDOMNode, IID_IXMLDOMProcessingInstruction);
