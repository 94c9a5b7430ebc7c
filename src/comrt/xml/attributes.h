// An element's attributes as the DOM shows them: its namespace declarations
// first (in libxml2 they are not attributes), then its attributes, each in
// document order. That is also the order in which they are written.
#pragma once

#include <string>

#include "xml/node_handle.h"

namespace comrt {
namespace xml {

size_t AttributeCount(xmlNodePtr element);
// A null ref past the end.
NodeRef AttributeAt(xmlNodePtr element, size_t index);
// By qualified name; a null ref when absent. Throws std::bad_alloc only.
NodeRef FindAttribute(xmlNodePtr element, const std::string& qualifiedName);
// By local name and namespace; a null ref when absent. Throws std::bad_alloc.
NodeRef FindAttributeNs(xmlNodePtr element, const std::string& localName, const std::string& namespaceUri);

// Sets `attribute` (one of this document's attribute nodes) on `element`,
// replacing an attribute of the same qualified name, which *replaced gets
// (detached; the caller frees it once handed out), else null. S_OK also when
// the attribute is already the element's, or is a declaration the element
// already makes with the same value (it then stays detached). E_INVALIDARG
// for a node that is not such an attribute; E_FAIL when it belongs to
// another element or would change a declared prefix.
HRESULT AddAttributeNode(DomDocument& document, xmlNodePtr element, NodeHandle* attribute, xmlNodePtr* replaced);

// Takes an attribute off its element (detached; the caller frees it once
// handed out). E_FAIL for a namespace declaration of a loaded document.
HRESULT DetachAttribute(DomDocument& document, const NodeRef& attribute);

// setAttribute: sets the value of the attribute named `name`, adding one when
// absent. E_FAIL for an invalid name or a change to a declared prefix;
// E_OUTOFMEMORY.
HRESULT SetAttributeText(DomDocument& document, xmlNodePtr element, const std::string& name,
                         const std::string& value);

}  // namespace xml
}  // namespace comrt
