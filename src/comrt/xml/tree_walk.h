// Document-order walks without recursion: documents built through the DOM
// may nest deeper than any stack should.
#pragma once

#include <libxml/tree.h>

namespace comrt {
namespace xml {

// True for the nodes whose `children` are tree children (attributes keep
// their value there, which is not part of the walk).
inline bool HasTreeChildren(xmlNodePtr node) {
  return node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE;
}

// The node after `node` in document order within the subtree of `root`
// (`root` itself excluded), or null at its end. With `skipChildren`, the
// children of `node` are passed over.
inline xmlNodePtr NextInSubtree(xmlNodePtr node, xmlNodePtr root, bool skipChildren = false) {
  if (!skipChildren && HasTreeChildren(node) && node->children) return node->children;
  while (node && node != root) {
    if (node->next) return node->next;
    node = node->parent;
  }
  return nullptr;
}

// The first node below `root` in document order, or null.
inline xmlNodePtr FirstInSubtree(xmlNodePtr root) {
  return HasTreeChildren(root) ? root->children : nullptr;
}

}  // namespace xml
}  // namespace comrt
