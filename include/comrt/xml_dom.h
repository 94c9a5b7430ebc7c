// The XML DOM document, over libxml2: IXMLDOMDocument and IXMLDOMDocument2,
// and the classes that make one (see comrt/activation.h).
//
// Loading is always synchronous and always safe: a document with a DOCTYPE
// does not load, nor one nested deeper than 256 elements; external entities
// and the network are never used. A load that fails leaves the document empty
// and fills the parse error; it answers S_FALSE with VARIANT_FALSE.
// Whitespace-only text is dropped at load unless preserveWhiteSpace is set or
// an xml:space="preserve" is in scope.
//
// Saving writes UTF-8. The XML declaration is the document's "xml"
// processing instruction: written first and once, and only when the document
// has one (a declaration naming another encoding is saved naming UTF-8).
// Every top-level node is followed by a line feed; nothing is indented.
// get_xml gives the same text, the declaration as it stands.
//
// Threads: documents on different threads never interfere. One document may
// be read (selection, navigation, get_xml) from several threads at once, and
// its node objects may be taken and released anywhere; any change to it must
// not run alongside anything else on it. A list object serves one thread at a
// time.
#pragma once

#include "comrt/xml_dom_node.h"
#include "comrt/xml_dom_nodes.h"

inline constexpr IID IID_IXMLDOMDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// Both classes make the same free-threaded document; neither can be
// aggregated.
inline constexpr CLSID CLSID_FreeThreadedDOMDocument60 = {0x88D96A06, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
inline constexpr CLSID CLSID_DOMDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

struct IXMLDOMDocument : public IXMLDOMNode {
  // E_NOTIMPL: documents never have a DOCTYPE here.
  virtual HRESULT STDMETHODCALLTYPE get_doctype(IXMLDOMDocumentType** documentType) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE get_implementation(IXMLDOMImplementation** impl) = 0;
  // S_FALSE with null for an empty document.
  virtual HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** element) = 0;
  // Replaces the document element (or adds one); fails as replaceChild.
  virtual HRESULT STDMETHODCALLTYPE putref_documentElement(IXMLDOMElement* element) = 0;
  // An element not yet in the tree, named exactly as given ("s:Envelope"
  // included) and in no namespace. E_FAIL for a name that is not an XML name.
  virtual HRESULT STDMETHODCALLTYPE createElement(BSTR tagName, IXMLDOMElement** element) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE createDocumentFragment(IXMLDOMDocumentFragment** fragment) = 0;
  // A null text counts as empty. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE createTextNode(BSTR data, IXMLDOMText** text) = 0;
  // E_FAIL for data containing "--".
  virtual HRESULT STDMETHODCALLTYPE createComment(BSTR data, IXMLDOMComment** comment) = 0;
  // E_FAIL for data containing "]]>".
  virtual HRESULT STDMETHODCALLTYPE createCDATASection(BSTR data, IXMLDOMCDATASection** cdata) = 0;
  // Target "xml" makes the XML declaration. E_FAIL for a target that is not
  // an XML name or data containing "?>".
  virtual HRESULT STDMETHODCALLTYPE createProcessingInstruction(BSTR target, BSTR data,
                                                                IXMLDOMProcessingInstruction** pi) = 0;
  // An attribute named exactly as given ("xmlns:s" included: once set on an
  // element it is written as that declaration). E_FAIL for an invalid name.
  virtual HRESULT STDMETHODCALLTYPE createAttribute(BSTR name, IXMLDOMAttribute** attribute) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE createEntityReference(BSTR name, IXMLDOMEntityReference** entityRef) = 0;
  // As IXMLDOMElement::getElementsByTagName over the whole document.
  virtual HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) = 0;
  // `type` is a DOMNodeType (VT_I4 or VT_I2) or its type string (VT_BSTR).
  // An element with a namespace is in that namespace and carries its
  // declaration (a default one for an unprefixed name); so is a prefixed
  // attribute, declared where it is set. Other names are kept as given, as by
  // createElement and createAttribute. E_INVALIDARG for an unknown type;
  // E_NOTIMPL for entity, DOCTYPE, fragment and notation nodes.
  virtual HRESULT STDMETHODCALLTYPE createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) = 0;
  // E_NOTIMPL: no DTD, so no IDs.
  virtual HRESULT STDMETHODCALLTYPE nodeFromID(BSTR idString, IXMLDOMNode** node) = 0;
  // Loads from a file path (VT_BSTR), a stream (VT_UNKNOWN or VT_DISPATCH
  // offering IStream or ISequentialStream, read in chunks to its end), or
  // bytes (VT_ARRAY|VT_UI1). S_FALSE with VARIANT_FALSE when the content does
  // not load; E_INVALIDARG for any other source.
  virtual HRESULT STDMETHODCALLTYPE load(VARIANT xmlSource, VARIANT_BOOL* isSuccessful) = 0;
  // Always 4 (complete).
  virtual HRESULT STDMETHODCALLTYPE get_readyState(LONG* value) = 0;
  // A snapshot of the last load's outcome. E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError** errorObj) = 0;
  // The path last loaded from; S_FALSE with null when not loaded from a file.
  virtual HRESULT STDMETHODCALLTYPE get_url(BSTR* urlString) = 0;
  // Kept and reported (VARIANT_TRUE at first); loading is synchronous
  // whatever it says. Never fails but for a null out pointer.
  virtual HRESULT STDMETHODCALLTYPE get_async(VARIANT_BOOL* isAsync) = 0;
  // Never fails.
  virtual HRESULT STDMETHODCALLTYPE put_async(VARIANT_BOOL isAsync) = 0;
  // Nothing is ever under way: S_OK.
  virtual HRESULT STDMETHODCALLTYPE abort() = 0;
  // Loads from text; an encoding named in its declaration is ignored.
  // Answers as load.
  virtual HRESULT STDMETHODCALLTYPE loadXML(BSTR bstrXML, VARIANT_BOOL* isSuccessful) = 0;
  // Writes to a file path (VT_BSTR, replaced) or a stream (VT_UNKNOWN or
  // VT_DISPATCH offering IStream or ISequentialStream). E_INVALIDARG for any
  // other destination; the stream's failure code, or the file's as
  // HRESULT_FROM_WIN32, when writing fails.
  virtual HRESULT STDMETHODCALLTYPE save(VARIANT destination) = 0;
  // Kept and reported; nothing is validated (there is never a DTD).
  virtual HRESULT STDMETHODCALLTYPE get_validateOnParse(VARIANT_BOOL* isValidating) = 0;
  // Never fails.
  virtual HRESULT STDMETHODCALLTYPE put_validateOnParse(VARIANT_BOOL isValidating) = 0;
  // Always VARIANT_FALSE.
  virtual HRESULT STDMETHODCALLTYPE get_resolveExternals(VARIANT_BOOL* isResolving) = 0;
  // E_NOTIMPL for VARIANT_TRUE: external resources are never loaded.
  virtual HRESULT STDMETHODCALLTYPE put_resolveExternals(VARIANT_BOOL isResolving) = 0;
  // VARIANT_FALSE by default.
  virtual HRESULT STDMETHODCALLTYPE get_preserveWhiteSpace(VARIANT_BOOL* isPreserving) = 0;
  // Applies to later loads; never fails.
  virtual HRESULT STDMETHODCALLTYPE put_preserveWhiteSpace(VARIANT_BOOL isPreserving) = 0;
  // E_NOTIMPL: no events.
  virtual HRESULT STDMETHODCALLTYPE put_onreadystatechange(VARIANT sink) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE put_ondataavailable(VARIANT sink) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE put_ontransformnode(VARIANT sink) = 0;

 protected:
  ~IXMLDOMDocument() = default;
};

struct IXMLDOMDocument2 : public IXMLDOMDocument {
  // E_NOTIMPL: no schemas.
  virtual HRESULT STDMETHODCALLTYPE get_namespaces(IXMLDOMSchemaCollection** namespaceCollection) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE get_schemas(VARIANT* otherCollection) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE putref_schemas(VARIANT otherCollection) = 0;
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE validate(IXMLDOMParseError** errorObj) = 0;
  // "SelectionNamespaces": a string of xmlns:prefix='uri' declarations
  // (either quote, separated by white space), the only prefixes selections
  // resolve; E_INVALIDARG when malformed. "SelectionLanguage": only "XPath".
  // "ProhibitDTD": only VARIANT_TRUE. Any other name is E_INVALIDARG.
  virtual HRESULT STDMETHODCALLTYPE setProperty(BSTR name, VARIANT value) = 0;
  // The value last set (or the default) of the properties above;
  // E_INVALIDARG for any other name.
  virtual HRESULT STDMETHODCALLTYPE getProperty(BSTR name, VARIANT* value) = 0;

 protected:
  ~IXMLDOMDocument2() = default;
};

COMRT_DECLARE_INTERFACE(IXMLDOMDocument, IXMLDOMNode, IID_IXMLDOMDocument);
COMRT_DECLARE_INTERFACE(IXMLDOMDocument2, IXMLDOMDocument, IID_IXMLDOMDocument2);
