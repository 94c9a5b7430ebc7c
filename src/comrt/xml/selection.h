// XPath 1.0 selection through libxml2. Prefixes in a query resolve only
// through the document's "SelectionNamespaces" (and "xml"), never through the
// declarations of the document itself: a query names namespaces by URI, so a
// prefix matches elements whatever prefix the document gave the same URI.
// Each selection has its own libxml2 context, so selections on one document
// from several threads do not interfere.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "xml/node_handle.h"

namespace comrt {
namespace xml {

using NamespaceBindings = std::vector<std::pair<std::string, std::string>>;

// Parses a "SelectionNamespaces" value: declarations xmlns:p='uri' or
// xmlns="uri" separated by white space (a default namespace is accepted and,
// as XPath 1.0 has no default namespace, unused). E_INVALIDARG with error
// information when malformed; E_OUTOFMEMORY.
HRESULT ParseSelectionNamespaces(const std::string& text, NamespaceBindings* bindings);

// Evaluates `query` from `context`, giving the nodes found in document order.
// E_FAIL with error information for an empty or invalid query, an undeclared
// prefix, a result that is not a node set, or a namespace declaration as the
// context; E_OUTOFMEMORY.
HRESULT Select(DomDocument& document, const NodeRef& context, BSTR query, std::vector<NodeRef>* found);

}  // namespace xml
}  // namespace comrt
