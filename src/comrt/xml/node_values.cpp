// Names, types, values and text of nodes.
#include <new>

#include "xml/dom_document.h"
#include "xml/node_names.h"
#include "xml/serializer.h"
#include "xml/tree_edit.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

// Runs `make` (which builds a UTF-8 string) and hands the result out.
template <class Make>
HRESULT HandOutMade(BSTR* out, Make make) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  try {
    return HandOut(make(), out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

bool HasValue(const NodeRef& ref) {
  if (ref.decl) return true;
  switch (ref.node->type) {
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return true;
    default:
      return false;
  }
}

HRESULT HandOutNull(VARIANT* value) {
  VariantInit(value);
  value->vt = VT_NULL;
  return S_FALSE;
}

}  // namespace

namespace ops {

HRESULT SetValueText(NodeHandle& self, const std::string& value) {
  if (self.ref.decl) {
    return Fail(E_FAIL, u"A namespace declaration of a loaded document cannot be changed.");
  }
  xmlNodePtr node = self.ref.node;
  if (!IsValidData(node->type, value)) {
    return Fail(E_FAIL, u"The text cannot be the content of this type of node.");
  }
  try {
    if (node->type == XML_ATTRIBUTE_NODE) {
      SetAttributeValue(reinterpret_cast<xmlAttrPtr>(node), value);
    } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
               node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE) {
      // libxml2 frees the old content before copying the new, and keeps the
      // node without either when the copy fails: copy first, then swap.
      xmlChar* copy = xmlStrdup(X(value));
      if (!copy) throw std::bad_alloc();
      xmlNodeSetContent(node, nullptr);
      node->content = copy;
    } else {
      xmlNodeSetContent(node, X(value));
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  self.owner->Core().Changed();
  return S_OK;
}


HRESULT GetNodeName(NodeHandle& self, BSTR* name) {
  return HandOutMade(name, [&] { return QualifiedName(self.ref); });
}

HRESULT GetNodeValue(NodeHandle& self, VARIANT* value) {
  if (!value) return E_INVALIDARG;
  if (!HasValue(self.ref)) return HandOutNull(value);
  try {
    return HandOutVariant(ValueOf(self.ref), value);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT PutNodeValue(NodeHandle& self, const VARIANT& value) {
  if (!HasValue(self.ref)) return Fail(E_FAIL, u"This type of node has no value to set.");
  std::string text;
  const HRESULT hr = VariantText(value, &text);
  if (FAILED(hr)) return hr;
  return SetValueText(self, text);
}

HRESULT GetNodeType(NodeHandle& self, DOMNodeType* type) {
  if (!type) return E_INVALIDARG;
  *type = TypeOf(self.ref);
  return S_OK;
}

HRESULT GetNodeTypeString(NodeHandle& self, BSTR* type) {
  static const char* const kNames[] = {"",        "element", "attribute",   "text",     "cdatasection",
                                       "entityreference", "entity", "processinginstruction", "comment",
                                       "document", "documenttype", "documentfragment", "notation"};
  const DOMNodeType nodeType = TypeOf(self.ref);
  return HandOutMade(type, [&] { return std::string(kNames[nodeType <= NODE_NOTATION ? nodeType : 0]); });
}

HRESULT GetText(NodeHandle& self, BSTR* text) {
  return HandOutMade(text, [&] {
    const xmlElementType type = self.ref.node->type;
    if (!self.ref.decl && (type == XML_ELEMENT_NODE || type == XML_DOCUMENT_NODE)) return TextOf(self.ref.node);
    return ValueOf(self.ref);
  });
}

HRESULT PutText(NodeHandle& self, BSTR text) {
  std::string value;
  try {
    value = ToUtf8(text);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (!self.ref.decl && self.ref.node->type == XML_ELEMENT_NODE) {
    return ReplaceChildrenWithText(*self.owner, self.ref.node, value);
  }
  if (!HasValue(self.ref)) return Fail(E_FAIL, u"The text of this type of node cannot be set.");
  return SetValueText(self, value);
}

HRESULT GetNodeTypedValue(NodeHandle& self, VARIANT* value) {
  if (!value) return E_INVALIDARG;
  if (!self.ref.decl && self.ref.node->type == XML_ELEMENT_NODE) {
    try {
      return HandOutVariant(TextOf(self.ref.node), value);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  return GetNodeValue(self, value);
}

HRESULT GetNamespaceUri(NodeHandle& self, BSTR* uri) {
  return HandOutMade(uri, [&] { return NamespaceOf(self.ref); });
}

HRESULT GetPrefix(NodeHandle& self, BSTR* prefix) {
  return HandOutMade(prefix, [&] { return PrefixOf(self.ref); });
}

HRESULT GetBaseName(NodeHandle& self, BSTR* name) {
  return HandOutMade(name, [&] { return LocalName(self.ref); });
}

HRESULT GetXml(NodeHandle& self, BSTR* xml) {
  if (!xml) return E_INVALIDARG;
  *xml = nullptr;
  std::string text;
  const HRESULT hr = Serialize(self.ref, SerializeFor::kText, &text);
  if (FAILED(hr)) return hr;
  return HandOut(text, xml);
}

}  // namespace ops
}  // namespace xml
}  // namespace comrt
