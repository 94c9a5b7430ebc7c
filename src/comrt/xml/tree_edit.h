// Moving nodes in and out of trees without libxml2's conveniences that merge
// adjacent text nodes (and free one of them, which a node object may hold).
#pragma once

#include <string>

#include "xml/node_handle.h"

namespace comrt {
namespace xml {

// Takes `node` (an element, attribute or other child) out of its parent; the
// namespaces it uses stay declared for it. Returns the root of the tree it
// left, for DocumentCore::FreeUnreferenced, or null when it had no parent.
// Never fails.
xmlNodePtr DetachNode(xmlDocPtr doc, xmlNodePtr node);

// Links a detached `child` under `parent` before `before` (a child of
// `parent`), or last when `before` is null. Never fails.
void LinkChild(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before);

// Links a detached attribute into `element`'s attributes before `before`
// (one of them), or last when `before` is null. Never fails.
void LinkAttribute(xmlNodePtr element, xmlAttrPtr attribute, xmlAttrPtr before);

// Replaces every child of `element` with one text node (none for empty
// text), freeing the old children no object holds. E_OUTOFMEMORY.
HRESULT ReplaceChildrenWithText(DomDocument& document, xmlNodePtr element, const std::string& text);

// A detached attribute in namespace `uri` under `prefix` (not empty), its
// namespace kept with the document so that it goes wherever the attribute
// goes. Null when memory runs out.
xmlAttrPtr NewNamespacedAttribute(xmlDocPtr doc, const std::string& prefix, const std::string& localName,
                                  const std::string& uri, const std::string& value);

// Hands out a node made detached by a create or clone call, freeing it when
// no object can be made. E_OUTOFMEMORY (also for a null `made`).
HRESULT HandOutDetached(DomDocument& document, xmlNodePtr made, REFIID iid, void** object);

}  // namespace xml
}  // namespace comrt
