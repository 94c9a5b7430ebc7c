// How the DOM names and values nodes, over libxml2's representation:
// elements and attributes created with a prefixed name and no namespace keep
// the whole name ("s:Envelope") in libxml2's name field, as libxml2 itself
// does for unbound prefixes; namespace declarations show as attributes.
// Everything here throws std::bad_alloc only.
#pragma once

#include <string>

#include "xml/node_handle.h"

namespace comrt {
namespace xml {

inline constexpr char kXmlnsNamespace[] = "http://www.w3.org/2000/xmlns/";

DOMNodeType TypeOf(const NodeRef& ref);
std::string QualifiedName(const NodeRef& ref);
std::string LocalName(const NodeRef& ref);
std::string PrefixOf(const NodeRef& ref);
std::string NamespaceOf(const NodeRef& ref);

// The value of an attribute, declaration, text, CDATA, comment or processing
// instruction; empty for other nodes.
std::string ValueOf(const NodeRef& ref);
// The text of every text and CDATA node below `node`, in document order.
std::string TextOf(xmlNodePtr node);

// True for the "xml" processing instruction that stands for the declaration.
bool IsDeclarationPi(xmlNodePtr node);

// Replaces an attribute's value (libxml2 keeps it as child text nodes, which
// the DOM never hands out, so they are freed at once).
void SetAttributeValue(xmlAttrPtr attribute, const std::string& value);

// The text is acceptable as the data of a node of this type: no "--" in a
// comment (nor a final "-"), no "]]>" in CDATA, no "?>" in a processing
// instruction.
bool IsValidData(xmlElementType type, const std::string& data);

}  // namespace xml
}  // namespace comrt
