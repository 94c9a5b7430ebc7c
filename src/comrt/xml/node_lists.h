// The collections: a node's children (live), selections and lookups
// (snapshots holding their nodes), an element's attributes (live).
#pragma once

#include <vector>

#include "xml/node_handle.h"

namespace comrt {
namespace xml {

// The children of `parent` as they are at each call: the list holds the
// parent's object, not the children. E_INVALIDARG, E_OUTOFMEMORY.
HRESULT MakeChildList(NodeHandle& parent, IXMLDOMNodeList** list);

// A fixed list of `nodes`, each held by the list, so that it stays valid
// whatever later happens to the document. E_INVALIDARG, E_OUTOFMEMORY.
HRESULT MakeSnapshotList(DomDocument& document, const std::vector<NodeRef>& nodes, IXMLDOMNodeList** list);

// The attributes of `element` as they are at each call. E_INVALIDARG,
// E_OUTOFMEMORY.
HRESULT MakeAttributeMap(NodeHandle& element, IXMLDOMNamedNodeMap** map);

}  // namespace xml
}  // namespace comrt
