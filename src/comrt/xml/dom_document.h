// The document object: a node object for the libxml2 document node that also
// owns the tree (DocumentCore), the loading options, the selection
// properties and the outcome of the last load.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "xml/document_core.h"
#include "xml/node_object.h"
#include "xml/parse_outcome.h"

namespace comrt {
namespace xml {

class DomDocument : public NodeObject<DomDocument, IXMLDOMDocument2> {
 public:
  // Makes the tree. CLASS_E_NOAGGREGATION when aggregated (the document hands
  // itself out as its nodes' owner, which an inner object cannot do),
  // E_OUTOFMEMORY.
  HRESULT FinalConstruct();
  void FinalRelease();

  DocumentCore& Core() { return *core_; }
  // A new document holding a copy of this one's nodes (all of them when
  // `deep`, else none) and its options. E_OUTOFMEMORY.
  HRESULT CloneDocument(bool deep, IXMLDOMNode** clone);
  IUnknown* Identity() { return GetUnknown(); }

  // The prefixes selections may use, in declaration order (later wins).
  const std::vector<std::pair<std::string, std::string>>& SelectionNamespaces() const {
    return selectionNamespaces_;
  }

  // IXMLDOMDocument
  HRESULT STDMETHODCALLTYPE get_doctype(IXMLDOMDocumentType** type) override;
  HRESULT STDMETHODCALLTYPE get_implementation(IXMLDOMImplementation** impl) override;
  HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** element) override;
  HRESULT STDMETHODCALLTYPE putref_documentElement(IXMLDOMElement* element) override;
  HRESULT STDMETHODCALLTYPE createElement(BSTR tagName, IXMLDOMElement** element) override;
  HRESULT STDMETHODCALLTYPE createDocumentFragment(IXMLDOMDocumentFragment** fragment) override;
  HRESULT STDMETHODCALLTYPE createTextNode(BSTR data, IXMLDOMText** text) override;
  HRESULT STDMETHODCALLTYPE createComment(BSTR data, IXMLDOMComment** comment) override;
  HRESULT STDMETHODCALLTYPE createCDATASection(BSTR data, IXMLDOMCDATASection** cdata) override;
  HRESULT STDMETHODCALLTYPE createProcessingInstruction(BSTR target, BSTR data,
                                                        IXMLDOMProcessingInstruction** pi) override;
  HRESULT STDMETHODCALLTYPE createAttribute(BSTR name, IXMLDOMAttribute** attribute) override;
  HRESULT STDMETHODCALLTYPE createEntityReference(BSTR name, IXMLDOMEntityReference** entityRef) override;
  HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR tagName, IXMLDOMNodeList** list) override;
  HRESULT STDMETHODCALLTYPE createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) override;
  HRESULT STDMETHODCALLTYPE nodeFromID(BSTR id, IXMLDOMNode** node) override;
  HRESULT STDMETHODCALLTYPE load(VARIANT source, VARIANT_BOOL* isSuccessful) override;
  HRESULT STDMETHODCALLTYPE get_readyState(LONG* value) override;
  HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError** error) override;
  HRESULT STDMETHODCALLTYPE get_url(BSTR* url) override;
  HRESULT STDMETHODCALLTYPE get_async(VARIANT_BOOL* isAsync) override;
  HRESULT STDMETHODCALLTYPE put_async(VARIANT_BOOL isAsync) override;
  HRESULT STDMETHODCALLTYPE abort() override;
  HRESULT STDMETHODCALLTYPE loadXML(BSTR xml, VARIANT_BOOL* isSuccessful) override;
  HRESULT STDMETHODCALLTYPE save(VARIANT destination) override;
  HRESULT STDMETHODCALLTYPE get_validateOnParse(VARIANT_BOOL* isValidating) override;
  HRESULT STDMETHODCALLTYPE put_validateOnParse(VARIANT_BOOL isValidating) override;
  HRESULT STDMETHODCALLTYPE get_resolveExternals(VARIANT_BOOL* isResolving) override;
  HRESULT STDMETHODCALLTYPE put_resolveExternals(VARIANT_BOOL isResolving) override;
  HRESULT STDMETHODCALLTYPE get_preserveWhiteSpace(VARIANT_BOOL* isPreserving) override;
  HRESULT STDMETHODCALLTYPE put_preserveWhiteSpace(VARIANT_BOOL isPreserving) override;
  HRESULT STDMETHODCALLTYPE put_onreadystatechange(VARIANT sink) override;
  HRESULT STDMETHODCALLTYPE put_ondataavailable(VARIANT sink) override;
  HRESULT STDMETHODCALLTYPE put_ontransformnode(VARIANT sink) override;

  // IXMLDOMDocument2
  HRESULT STDMETHODCALLTYPE get_namespaces(IXMLDOMSchemaCollection** collection) override;
  HRESULT STDMETHODCALLTYPE get_schemas(VARIANT* collection) override;
  HRESULT STDMETHODCALLTYPE putref_schemas(VARIANT collection) override;
  HRESULT STDMETHODCALLTYPE validate(IXMLDOMParseError** error) override;
  HRESULT STDMETHODCALLTYPE setProperty(BSTR name, VARIANT value) override;
  HRESULT STDMETHODCALLTYPE getProperty(BSTR name, VARIANT* value) override;

 private:
  // Loading (document_load.cpp): empties the tree, then fills it from a
  // successful parse; records the outcome either way.
  HRESULT FinishLoad(ParseOutcome outcome, VARIANT_BOOL* isSuccessful);
  HRESULT LoadFromFile(BSTR path, ParseOutcome* outcome);
  // Detaches every child of the document, freeing those no object holds.
  void ClearContent();
  // Moves the parsed tree's top-level nodes into this document.
  HRESULT AdoptContent(ParseOutcome& outcome);

  HRESULT HandOutNew(xmlNodePtr made, REFIID iid, void** object);

  std::unique_ptr<DocumentCore> core_;  // made in FinalConstruct
  bool async_ = true;
  bool validateOnParse_ = true;
  bool preserveWhiteSpace_ = false;
  std::u16string selectionNamespacesText_;
  std::vector<std::pair<std::string, std::string>> selectionNamespaces_;
  ParseError lastError_;
  std::u16string url_;
};

}  // namespace xml
}  // namespace comrt
