// Building message documents through the DOM. Every failing DOM call is
// thrown as a _com_error with the DOM's code.
#pragma once

#include <string>
#include <string_view>

#include "comrt/com_ptr.h"
#include "comrt/xml_dom.h"

namespace varnel {

// A new free-threaded DOM document. Throws the runtime's code.
CComPtr<IXMLDOMDocument2> CreateMessageDocument();

// Throws E_INVALIDARG for text that XML 1.0 cannot carry: control characters
// other than tab, line feed and carriage return, lone surrogates, U+FFFE and
// U+FFFF. A peer could not parse a body holding them.
void CheckXmlText(std::u16string_view text);

// Creates an element by its qualified name (no namespace of the DOM's own).
CComPtr<IXMLDOMElement> CreateElement(IXMLDOMDocument* document, std::u16string_view name);
// Creates an element in `namespaceUri` with no prefix.
CComPtr<IXMLDOMNode> CreateNamespacedElement(IXMLDOMDocument* document, std::u16string_view name,
                                             std::u16string_view namespaceUri);
// Appends `child` to `parent`.
void AppendChild(IXMLDOMNode* parent, IXMLDOMNode* child);
// Appends a text node holding `text` (after CheckXmlText).
void AppendText(IXMLDOMDocument* document, IXMLDOMNode* parent, std::u16string_view text);
// Adds attribute `name` with `value` (after CheckXmlText) to the element's
// attribute map.
void AddAttribute(IXMLDOMDocument* document, IXMLDOMElement* element, std::u16string_view name,
                  std::u16string_view value);

}  // namespace varnel
