// The document object: node creation, the document element, options and
// properties. Loading and saving are in document_load.cpp.
#include "xml/dom_document.h"

#include <new>

#include "comrt/text_conversion.h"
#include "xml/node_checks.h"
#include "xml/node_names.h"
#include "xml/selection.h"
#include "xml/tree_edit.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

HRESULT GetFlag(bool flag, VARIANT_BOOL* out) {
  if (!out) return E_INVALIDARG;
  *out = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// createNode's type: a DOMNodeType as a number or as its type string.
HRESULT NodeTypeOf(const VARIANT& type, DOMNodeType* nodeType) {
  if (type.vt == VT_BSTR) {
    static const char16_t* const kNames[] = {
        u"",       u"element",      u"attribute",        u"text",    u"cdatasection", u"entityreference",
        u"entity", u"processinginstruction", u"comment", u"document", u"documenttype", u"documentfragment",
        u"notation"};
    const std::u16string_view name(type.bstrVal ? type.bstrVal : u"");
    for (int i = NODE_ELEMENT; i <= NODE_NOTATION; ++i) {
      if (name == kNames[i]) {
        *nodeType = static_cast<DOMNodeType>(i);
        return S_OK;
      }
    }
    return E_INVALIDARG;
  }
  LONG value = 0;
  if (type.vt == VT_I4 || type.vt == VT_INT) {
    value = type.lVal;
  } else if (type.vt == VT_I2) {
    value = type.iVal;
  } else if (type.vt == VT_UI1) {
    value = type.bVal;
  } else {
    return E_INVALIDARG;
  }
  if (value < NODE_ELEMENT || value > NODE_NOTATION) return E_INVALIDARG;
  *nodeType = static_cast<DOMNodeType>(value);
  return S_OK;
}

}  // namespace

HRESULT DomDocument::FinalConstruct() {
  if (GetControllingUnknown() != GetUnknown()) return CLASS_E_NOAGGREGATION;
  try {
    core_ = std::make_unique<DocumentCore>();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  owner = this;
  ref = NodeRef(core_->DocNode());
  return S_OK;
}

void DomDocument::FinalRelease() {
  // Every node object holds the document, so none is left; the tree goes
  // with the core.
  owner = nullptr;
}

HRESULT DomDocument::HandOutNew(xmlNodePtr made, REFIID iid, void** object) {
  return HandOutDetached(*this, made, iid, object);
}

HRESULT DomDocument::get_doctype(IXMLDOMDocumentType** type) {
  if (type) *type = nullptr;
  return E_NOTIMPL;
}

HRESULT DomDocument::get_implementation(IXMLDOMImplementation** impl) {
  if (impl) *impl = nullptr;
  return E_NOTIMPL;
}

HRESULT DomDocument::get_documentElement(IXMLDOMElement** element) {
  if (!element) return E_INVALIDARG;
  *element = nullptr;
  xmlNodePtr root = xmlDocGetRootElement(core_->Doc());
  return GetNodeObject(*this, NodeRef(root), IID_IXMLDOMElement, reinterpret_cast<void**>(element));
}

HRESULT DomDocument::putref_documentElement(IXMLDOMElement* element) {
  if (!element) return E_INVALIDARG;
  CComPtr<IXMLDOMElement> current;
  HRESULT hr = get_documentElement(&current);
  if (FAILED(hr)) return hr;
  CComPtr<IXMLDOMNode> out;
  if (current) return replaceChild(element, current, &out);
  return appendChild(element, &out);
}

HRESULT DomDocument::createElement(BSTR tagName, IXMLDOMElement** element) {
  if (!element) return E_INVALIDARG;
  *element = nullptr;
  try {
    const std::string name = ToUtf8(tagName);
    if (!IsXmlName(name)) return Fail(E_FAIL, u"The element name is not a valid XML name.");
    return HandOutNew(KeepIfWhole(xmlNewDocNode(core_->Doc(), nullptr, X(name), nullptr)), IID_IXMLDOMElement,
                      reinterpret_cast<void**>(element));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::createDocumentFragment(IXMLDOMDocumentFragment** fragment) {
  if (fragment) *fragment = nullptr;
  return E_NOTIMPL;
}

HRESULT DomDocument::createTextNode(BSTR data, IXMLDOMText** text) {
  if (!text) return E_INVALIDARG;
  *text = nullptr;
  try {
    return HandOutNew(KeepIfWhole(xmlNewDocText(core_->Doc(), X(ToUtf8(data)))), IID_IXMLDOMText,
                      reinterpret_cast<void**>(text));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::createComment(BSTR data, IXMLDOMComment** comment) {
  if (!comment) return E_INVALIDARG;
  *comment = nullptr;
  try {
    const std::string content = ToUtf8(data);
    if (!IsValidData(XML_COMMENT_NODE, content)) return Fail(E_FAIL, u"A comment cannot contain \"--\".");
    return HandOutNew(KeepIfWhole(xmlNewDocComment(core_->Doc(), X(content))), IID_IXMLDOMComment,
                      reinterpret_cast<void**>(comment));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::createCDATASection(BSTR data, IXMLDOMCDATASection** cdata) {
  if (!cdata) return E_INVALIDARG;
  *cdata = nullptr;
  try {
    const std::string content = ToUtf8(data);
    if (!IsValidData(XML_CDATA_SECTION_NODE, content)) {
      return Fail(E_FAIL, u"A CDATA section cannot contain \"]]>\".");
    }
    return HandOutNew(KeepIfWhole(xmlNewCDataBlock(core_->Doc(), X(content), static_cast<int>(content.size()))),
                      IID_IXMLDOMCDATASection, reinterpret_cast<void**>(cdata));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** pi) {
  if (!pi) return E_INVALIDARG;
  *pi = nullptr;
  try {
    const std::string name = ToUtf8(target);
    const std::string content = ToUtf8(data);
    if (!IsXmlName(name)) return Fail(E_FAIL, u"The processing instruction target is not a valid XML name.");
    if (!IsValidData(XML_PI_NODE, content)) {
      return Fail(E_FAIL, u"A processing instruction cannot contain \"?>\".");
    }
    return HandOutNew(KeepIfWhole(xmlNewDocPI(core_->Doc(), X(name), X(content)), true),
                      IID_IXMLDOMProcessingInstruction,
                      reinterpret_cast<void**>(pi));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::createAttribute(BSTR name, IXMLDOMAttribute** attribute) {
  if (!attribute) return E_INVALIDARG;
  *attribute = nullptr;
  try {
    const std::string stored = ToUtf8(name);
    if (!IsXmlName(stored)) return Fail(E_FAIL, u"The attribute name is not a valid XML name.");
    xmlAttrPtr made = xmlNewDocProp(core_->Doc(), X(stored), nullptr);
    return HandOutNew(KeepIfWhole(reinterpret_cast<xmlNodePtr>(made)), IID_IXMLDOMAttribute, reinterpret_cast<void**>(attribute));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::createEntityReference(BSTR, IXMLDOMEntityReference** entityRef) {
  if (entityRef) *entityRef = nullptr;
  return E_NOTIMPL;
}

HRESULT DomDocument::getElementsByTagName(BSTR tagName, IXMLDOMNodeList** list) {
  return ops::GetElementsByTagName(*this, tagName, list);
}

HRESULT DomDocument::createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) {
  if (!node) return E_INVALIDARG;
  *node = nullptr;
  DOMNodeType nodeType = NODE_INVALID;
  if (FAILED(NodeTypeOf(type, &nodeType))) return Fail(E_INVALIDARG, u"Unknown node type.");
  try {
    const std::string uri = ToUtf8(namespaceURI);
    switch (nodeType) {
      case NODE_ELEMENT: {
        if (uri.empty()) {
          CComPtr<IXMLDOMElement> element;
          const HRESULT hr = createElement(name, &element);
          return FAILED(hr) ? hr : element.QueryInterface(node);
        }
        const std::string qualified = ToUtf8(name);
        if (!IsXmlName(qualified)) return Fail(E_FAIL, u"The element name is not a valid XML name.");
        const size_t colon = qualified.find(':');
        const std::string prefix = colon == std::string::npos ? std::string() : qualified.substr(0, colon);
        const std::string local = colon == std::string::npos ? qualified : qualified.substr(colon + 1);
        if ((!prefix.empty() && !IsNcName(prefix)) || !IsNcName(local)) {
          return Fail(E_FAIL, u"The element name is not a valid qualified name.");
        }
        xmlNodePtr made = KeepIfWhole(xmlNewDocNode(core_->Doc(), nullptr, X(local), nullptr));
        if (!made) return E_OUTOFMEMORY;
        // The element declares its own namespace, so it is written with it
        // wherever it goes.
        made->ns = xmlNewNs(made, X(uri), prefix.empty() ? nullptr : X(prefix));
        if (!made->ns || !made->ns->href || (!prefix.empty() && !made->ns->prefix)) {
          xmlFreeNode(made);
          return E_OUTOFMEMORY;
        }
        return HandOutNew(made, IID_IXMLDOMNode, reinterpret_cast<void**>(node));
      }
      case NODE_ATTRIBUTE: {
        const std::string qualified = ToUtf8(name);
        const size_t colon = qualified.find(':');
        // A prefixed name in a namespace (other than a declaration's) is
        // namespaced; anything else is kept by name, as createAttribute does.
        if (!uri.empty() && uri != kXmlnsNamespace && colon != std::string::npos) {
          const std::string prefix = qualified.substr(0, colon);
          const std::string local = qualified.substr(colon + 1);
          if (!IsNcName(prefix) || !IsNcName(local) || prefix == "xmlns") {
            return Fail(E_FAIL, u"The attribute name is not a valid qualified name.");
          }
          xmlAttrPtr made = NewNamespacedAttribute(core_->Doc(), prefix, local, uri, std::string());
          return HandOutNew(reinterpret_cast<xmlNodePtr>(made), IID_IXMLDOMNode, reinterpret_cast<void**>(node));
        }
        CComPtr<IXMLDOMAttribute> attribute;
        const HRESULT hr = createAttribute(name, &attribute);
        return FAILED(hr) ? hr : attribute.QueryInterface(node);
      }
      case NODE_TEXT:
        return HandOutNew(KeepIfWhole(xmlNewDocText(core_->Doc(), X(std::string()))), IID_IXMLDOMNode,
                          reinterpret_cast<void**>(node));
      case NODE_CDATA_SECTION:
        return HandOutNew(KeepIfWhole(xmlNewCDataBlock(core_->Doc(), X(std::string()), 0)), IID_IXMLDOMNode,
                          reinterpret_cast<void**>(node));
      case NODE_COMMENT:
        return HandOutNew(KeepIfWhole(xmlNewDocComment(core_->Doc(), X(std::string()))), IID_IXMLDOMNode,
                          reinterpret_cast<void**>(node));
      case NODE_PROCESSING_INSTRUCTION: {
        CComPtr<IXMLDOMProcessingInstruction> pi;
        const HRESULT hr = createProcessingInstruction(name, nullptr, &pi);
        return FAILED(hr) ? hr : pi.QueryInterface(node);
      }
      default:
        return E_NOTIMPL;
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::nodeFromID(BSTR, IXMLDOMNode** node) {
  if (node) *node = nullptr;
  return E_NOTIMPL;
}

HRESULT DomDocument::get_readyState(LONG* value) {
  if (!value) return E_INVALIDARG;
  *value = 4;  // complete: loading never runs in the background
  return S_OK;
}

HRESULT DomDocument::get_async(VARIANT_BOOL* isAsync) { return GetFlag(async_, isAsync); }

HRESULT DomDocument::put_async(VARIANT_BOOL isAsync) {
  async_ = isAsync != VARIANT_FALSE;
  return S_OK;
}

HRESULT DomDocument::abort() { return S_OK; }

HRESULT DomDocument::get_validateOnParse(VARIANT_BOOL* isValidating) { return GetFlag(validateOnParse_, isValidating); }

HRESULT DomDocument::put_validateOnParse(VARIANT_BOOL isValidating) {
  validateOnParse_ = isValidating != VARIANT_FALSE;
  return S_OK;
}

HRESULT DomDocument::get_resolveExternals(VARIANT_BOOL* isResolving) { return GetFlag(false, isResolving); }

HRESULT DomDocument::put_resolveExternals(VARIANT_BOOL isResolving) {
  return isResolving == VARIANT_FALSE ? S_OK : Fail(E_NOTIMPL, u"External resources are never loaded.");
}

HRESULT DomDocument::get_preserveWhiteSpace(VARIANT_BOOL* isPreserving) {
  return GetFlag(preserveWhiteSpace_, isPreserving);
}

HRESULT DomDocument::put_preserveWhiteSpace(VARIANT_BOOL isPreserving) {
  preserveWhiteSpace_ = isPreserving != VARIANT_FALSE;
  return S_OK;
}

HRESULT DomDocument::put_onreadystatechange(VARIANT) { return E_NOTIMPL; }
HRESULT DomDocument::put_ondataavailable(VARIANT) { return E_NOTIMPL; }
HRESULT DomDocument::put_ontransformnode(VARIANT) { return E_NOTIMPL; }

HRESULT DomDocument::get_namespaces(IXMLDOMSchemaCollection** collection) {
  if (collection) *collection = nullptr;
  return E_NOTIMPL;
}

HRESULT DomDocument::get_schemas(VARIANT* collection) {
  if (collection) VariantInit(collection);
  return E_NOTIMPL;
}

HRESULT DomDocument::putref_schemas(VARIANT) { return E_NOTIMPL; }

HRESULT DomDocument::validate(IXMLDOMParseError** error) {
  if (error) *error = nullptr;
  return E_NOTIMPL;
}

HRESULT DomDocument::setProperty(BSTR name, VARIANT value) {
  const std::u16string_view property(name ? name : u"");
  if (property == u"SelectionNamespaces") {
    if (value.vt != VT_BSTR) return Fail(E_INVALIDARG, u"SelectionNamespaces takes a string.");
    try {
      NamespaceBindings bindings;
      const HRESULT hr = ParseSelectionNamespaces(ToUtf8(value.bstrVal), &bindings);
      if (FAILED(hr)) return hr;
      std::u16string text(value.bstrVal ? value.bstrVal : u"", SysStringLen(value.bstrVal));
      selectionNamespaces_.swap(bindings);
      selectionNamespacesText_.swap(text);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  if (property == u"SelectionLanguage") {
    if (value.vt == VT_BSTR && std::u16string_view(value.bstrVal ? value.bstrVal : u"") == u"XPath") return S_OK;
    return Fail(E_INVALIDARG, u"Only XPath is offered as SelectionLanguage.");
  }
  if (property == u"ProhibitDTD") {
    if (value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE) return S_OK;
    return Fail(E_INVALIDARG, u"Documents with a DTD are never loaded; ProhibitDTD stays true.");
  }
  return Fail(E_INVALIDARG, u"Unknown property name.");
}

HRESULT DomDocument::getProperty(BSTR name, VARIANT* value) {
  if (!value) return E_INVALIDARG;
  VariantInit(value);
  const std::u16string_view property(name ? name : u"");
  if (property == u"SelectionNamespaces") return HandOutVariant(comrt::ToUtf8(selectionNamespacesText_), value);
  if (property == u"SelectionLanguage") return HandOutVariant("XPath", value);
  if (property == u"ProhibitDTD") {
    value->vt = VT_BOOL;
    value->boolVal = VARIANT_TRUE;
    return S_OK;
  }
  return Fail(E_INVALIDARG, u"Unknown property name.");
}

HRESULT DomDocument::CloneDocument(bool deep, IXMLDOMNode** clone) {
  CComObject<DomDocument>* copy = nullptr;
  HRESULT hr = CComObject<DomDocument>::CreateInstance(&copy);
  if (FAILED(hr)) return hr;
  CComPtr<IXMLDOMNode> hold(copy);
  copy->async_ = async_;
  copy->validateOnParse_ = validateOnParse_;
  copy->preserveWhiteSpace_ = preserveWhiteSpace_;
  try {
    copy->selectionNamespaces_ = selectionNamespaces_;
    copy->selectionNamespacesText_ = selectionNamespacesText_;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (deep) {
    xmlNodePtr target = copy->core_->DocNode();
    for (xmlNodePtr child = core_->DocNode()->children; child; child = child->next) {
      xmlNodePtr made = xmlDocCopyNode(child, copy->core_->Doc(), 1);
      if (!made) return E_OUTOFMEMORY;
      if (!CopyIsWhole(child, made, true)) {
        xmlFreeNode(made);
        return E_OUTOFMEMORY;
      }
      LinkChild(target, made, nullptr);
    }
  }
  *clone = hold.Detach();
  return S_OK;
}

}  // namespace xml
}  // namespace comrt
