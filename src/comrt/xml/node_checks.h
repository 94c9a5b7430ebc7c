// libxml2 2.9 makes a node even when copying its name or content fails, and
// leaves the string null; only the node pointer says "made". These checks
// tell a whole node from such a remnant, so that a short allocation is
// reported as E_OUTOFMEMORY instead of surfacing later as a nameless node.
#pragma once

#include <libxml/tree.h>

#include "xml/tree_walk.h"

namespace comrt {
namespace xml {

// True when every string `node` must own is there: the name of an element,
// attribute or processing instruction; the content of text, CDATA and
// comments; the URI of each namespace it declares; and the names and value
// text of its attributes.
inline bool IsWhole(xmlNodePtr node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
      if (!node->name) return false;
      for (xmlNsPtr ns = node->nsDef; ns; ns = ns->next) {
        if (!ns->href) return false;
      }
      for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
        if (!IsWhole(reinterpret_cast<xmlNodePtr>(attribute))) return false;
      }
      return true;
    case XML_ATTRIBUTE_NODE:
      if (!node->name) return false;
      for (xmlNodePtr text = node->children; text; text = text->next) {
        if (!text->content) return false;
      }
      return true;
    case XML_PI_NODE:
      return node->name != nullptr;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
      return node->content != nullptr;
    default:
      return true;
  }
}

// IsWhole for `root` and everything below it.
inline bool IsWholeSubtree(xmlNodePtr root) {
  if (!IsWhole(root)) return false;
  for (xmlNodePtr at = FirstInSubtree(root); at; at = NextInSubtree(at, root)) {
    if (!IsWhole(at)) return false;
  }
  return true;
}

// `made` when it is whole (and, with `contentGiven`, has its content, which a
// processing instruction may lack); else frees it and answers null, which
// callers report as E_OUTOFMEMORY. `made` is detached.
inline xmlNodePtr KeepIfWhole(xmlNodePtr made, bool contentGiven = false) {
  if (!made) return nullptr;
  if (IsWholeSubtree(made) && (!contentGiven || made->content)) return made;
  if (made->type == XML_ATTRIBUTE_NODE) {
    xmlFreeProp(reinterpret_cast<xmlAttrPtr>(made));
  } else {
    xmlFreeNode(made);
  }
  return nullptr;
}

namespace detail {

inline bool SameShape(const xmlChar* original, const xmlChar* copy) { return !original || copy; }

// The copy declares what the original declares, in order; the root of a copy
// also declares, after those, what it used from the original's ancestors.
inline bool SameNamespaces(xmlNsPtr original, xmlNsPtr copy) {
  for (; original; original = original->next, copy = copy->next) {
    if (!copy || !SameShape(original->href, copy->href) || !SameShape(original->prefix, copy->prefix)) return false;
  }
  for (; copy; copy = copy->next) {
    if (!copy->href) return false;
  }
  return true;
}

inline bool SameNode(xmlNodePtr original, xmlNodePtr copy) {
  if (!copy || original->type != copy->type || !SameShape(original->name, copy->name) ||
      !SameShape(original->content, copy->content) || (original->ns && !copy->ns)) {
    return false;
  }
  if (original->type == XML_ATTRIBUTE_NODE) {
    xmlNodePtr a = original->children;
    xmlNodePtr b = copy->children;
    for (; a; a = a->next, b = b->next) {
      if (!b || !SameShape(a->content, b->content)) return false;
    }
    return b == nullptr;
  }
  if (original->type != XML_ELEMENT_NODE) return true;
  if (!SameNamespaces(original->nsDef, copy->nsDef)) return false;
  xmlAttrPtr a = original->properties;
  xmlAttrPtr b = copy->properties;
  for (; a; a = a->next, b = b->next) {
    if (!b || !SameNode(reinterpret_cast<xmlNodePtr>(a), reinterpret_cast<xmlNodePtr>(b))) return false;
  }
  return b == nullptr;
}

}  // namespace detail

// True when `copy` (from xmlDocCopyNode) has every node and string that
// `original` has: libxml2 drops what it could not copy without saying so.
// `deep` compares the subtrees, else the nodes with their attributes.
inline bool CopyIsWhole(xmlNodePtr original, xmlNodePtr copy, bool deep) {
  if (!detail::SameNode(original, copy)) return false;
  if (!deep) return true;
  xmlNodePtr a = FirstInSubtree(original);
  xmlNodePtr b = FirstInSubtree(copy);
  for (; a; a = NextInSubtree(a, original), b = NextInSubtree(b, copy)) {
    if (!detail::SameNode(a, b)) return false;
  }
  return b == nullptr;
}

}  // namespace xml
}  // namespace comrt
