#include "soap/dom_builder.h"

#include "com/dom_access.h"
#include "comrt/com_bstr.h"
#include "comrt/com_variant.h"
#include "comrt/activation.h"
#include "comrt/runtime.h"

namespace varnel {
namespace {

CComBSTR ToBstr(std::u16string_view text) {
  CComBSTR result(static_cast<int>(text.size()), text.data());
  return result;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

CComPtr<IXMLDOMDocument2> CreateMessageDocument() {
  CComPtr<IXMLDOMDocument2> document;
  ThrowIfFailed(CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr,
                                 CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                     CLSCTX_REMOTE_SERVER,
                                 IID_IXMLDOMDocument2, reinterpret_cast<void**>(&document)));
  return document;
}

void CheckXmlText(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x20) {
      if (c != u'\t' && c != u'\n' && c != u'\r') throw E_INVALIDARG;
    } else if (IsHighSurrogate(c)) {
      if (i + 1 >= text.size() || !IsLowSurrogate(text[i + 1])) throw E_INVALIDARG;
      ++i;
    } else if (IsLowSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
      throw E_INVALIDARG;
    }
  }
}

CComPtr<IXMLDOMElement> CreateElement(IXMLDOMDocument* document, std::u16string_view name) {
  CheckXmlText(name);
  CComPtr<IXMLDOMElement> element;
  ThrowIfFailed(document->createElement(ToBstr(name), &element));
  return element;
}

CComPtr<IXMLDOMNode> CreateNamespacedElement(IXMLDOMDocument* document, std::u16string_view name,
                                             std::u16string_view namespaceUri) {
  CComPtr<IXMLDOMNode> node;
  ThrowIfFailed(document->createNode(CComVariant(static_cast<int>(NODE_ELEMENT)), ToBstr(name), ToBstr(namespaceUri),
                                     &node));
  return node;
}

void AppendChild(IXMLDOMNode* parent, IXMLDOMNode* child) {
  CComPtr<IXMLDOMNode> appended;
  ThrowIfFailed(parent->appendChild(child, &appended));
}

void AppendText(IXMLDOMDocument* document, IXMLDOMNode* parent, std::u16string_view text) {
  CheckXmlText(text);
  CComPtr<IXMLDOMText> node;
  ThrowIfFailed(document->createTextNode(ToBstr(text), &node));
  AppendChild(parent, node);
}

void AddAttribute(IXMLDOMDocument* document, IXMLDOMElement* element, std::u16string_view name,
                  std::u16string_view value) {
  CheckXmlText(value);
  CComPtr<IXMLDOMNamedNodeMap> attributes;
  ThrowIfFailed(element->get_attributes(&attributes));
  CComPtr<IXMLDOMAttribute> attribute;
  ThrowIfFailed(document->createAttribute(ToBstr(name), &attribute));
  ThrowIfFailed(attribute->put_text(ToBstr(value)));
  CComPtr<IXMLDOMNode> replaced;
  ThrowIfFailed(attributes->setNamedItem(attribute, &replaced));
}

}  // namespace varnel
