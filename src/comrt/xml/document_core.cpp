#include "xml/document_core.h"

#include <new>
#include <unordered_set>
#include <vector>

#include "comrt/object.h"
#include "xml/tree_edit.h"

namespace comrt {
namespace xml {

DocumentCore::DocumentCore() : doc_(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"))) {
  if (!doc_) throw std::bad_alloc();
  // The declaration lives in the tree as an "xml" processing instruction;
  // this field would otherwise claim one.
  doc_->standalone = -1;
  // Text is always written as UTF-8; without an encoding libxml2 would write
  // non-ASCII characters in attribute values as character references.
  doc_->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("UTF-8"));
  if (!doc_->encoding) {
    xmlFreeDoc(doc_);
    throw std::bad_alloc();
  }
}

DocumentCore::~DocumentCore() { xmlFreeDoc(doc_); }

xmlNodePtr DocumentCore::RootOf(xmlNodePtr node) {
  while (node->parent) node = node->parent;
  return node;
}

IXMLDOMNode* DocumentCore::FindLive(const NodeRef& ref) {
  auto found = objects_.find(ref.Key());
  if (found == objects_.end()) return nullptr;
  IXMLDOMNode* object = found->second->NodeInterface();
  // The registry holds no reference, so a live object has at least one and
  // AddRef answers 2 or more. An answer of 1, or one past the count set for
  // destruction, means another thread dropped the last reference and is on
  // its way to Forget: that object is left to die, untouched from here on.
  const ULONG count = object->AddRef();
  if (count > 1 && count < detail::kDestroyingCount) return object;
  objects_.erase(found);
  return nullptr;
}

bool DocumentCore::IsHeld(const void* key) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return objects_.count(key) != 0;
}

void DocumentCore::Register(NodeHandle* handle) { objects_[handle->ref.Key()] = handle; }

void DocumentCore::Forget(NodeHandle* handle) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto found = objects_.find(handle->ref.Key());
  if (found != objects_.end() && found->second == handle) objects_.erase(found);
  FreeUnreferencedLocked(RootOf(handle->ref.node));
}

void DocumentCore::FreeUnreferenced(xmlNodePtr root) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  FreeUnreferencedLocked(root);
}

bool DocumentCore::Reaches(xmlNodePtr root) const {
  for (const auto& entry : objects_) {
    if (RootOf(entry.second->ref.node) == root) return true;
  }
  return false;
}

void DocumentCore::FreeUnreferencedLocked(xmlNodePtr root) {
  if (root && root != DocNode() && !root->parent && !Reaches(root)) FreeSubtree(root);
}

void DocumentCore::RemoveAllChildren(xmlNodePtr parent) {
  // Detached children are freed only after all are out, so that the check
  // for objects reaching into them walks a consistent tree.
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<xmlNodePtr> removed;
  try {
    size_t count = 0;
    for (xmlNodePtr child = parent->children; child; child = child->next) ++count;
    removed.reserve(count);
  } catch (const std::bad_alloc&) {
    // Short of memory: each child is checked as it comes out instead.
  }
  while (xmlNodePtr child = parent->children) {
    DetachNode(doc_, child);
    if (removed.capacity() > removed.size()) {
      removed.push_back(child);
    } else {
      FreeUnreferencedLocked(child);
    }
  }
  Changed();
  if (removed.empty()) return;
  try {
    std::unordered_set<xmlNodePtr> reached;
    for (const auto& entry : objects_) reached.insert(RootOf(entry.second->ref.node));
    for (xmlNodePtr child : removed) {
      if (reached.count(child) == 0) FreeSubtree(child);
    }
  } catch (const std::bad_alloc&) {
    for (xmlNodePtr child : removed) FreeUnreferencedLocked(child);
  }
}

void FreeSubtree(xmlNodePtr root) {
  if (root->type == XML_ATTRIBUTE_NODE) {
    xmlFreeProp(reinterpret_cast<xmlAttrPtr>(root));
  } else {
    xmlFreeNode(root);
  }
}

}  // namespace xml
}  // namespace comrt
