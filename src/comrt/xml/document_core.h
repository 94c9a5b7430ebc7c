// The libxml2 tree of one document and the node objects alive over it.
//
// Node objects are cached: the registry maps each node to its live object,
// without holding it, so asking twice gives the same object. Nodes outside
// the document's tree (created, removed, or left over from an earlier load)
// live exactly as long as some node object reaches into their subtree.
#pragma once

#include <libxml/tree.h>

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "xml/node_handle.h"

namespace comrt {
namespace xml {

class DocumentCore {
 public:
  // Throws std::bad_alloc when libxml2 cannot make the document.
  DocumentCore();
  ~DocumentCore();
  DocumentCore(const DocumentCore&) = delete;
  DocumentCore& operator=(const DocumentCore&) = delete;

  xmlDocPtr Doc() const { return doc_; }
  xmlNodePtr DocNode() const { return reinterpret_cast<xmlNodePtr>(doc_); }

  // Guards the registry and the freeing of detached subtrees; node objects are
  // found, made and forgotten under it. Recursive: releasing an object while
  // holding it re-enters through Forget.
  std::recursive_mutex& Mutex() { return mutex_; }

  // The live object for `ref` with a reference added, or null. A caller
  // holds Mutex(). An object whose last reference is being dropped on another
  // thread is not handed out: it is forgotten here and the caller makes a new
  // one.
  IXMLDOMNode* FindLive(const NodeRef& ref);
  // True while an object stands for `key` (a node or a declaration).
  bool IsHeld(const void* key);
  // Records a new object (holding Mutex()).
  void Register(NodeHandle* handle);
  // Drops `handle` from the registry, then frees its subtree when it was the
  // last way into a detached one. Never fails.
  void Forget(NodeHandle* handle);

  // Frees `root` when it is a detached subtree no node object reaches; a root
  // inside the document's tree is left alone. Never fails.
  void FreeUnreferenced(xmlNodePtr root);
  // Empties `parent` (an element or the document node), freeing the children
  // no node object reaches. Never fails.
  void RemoveAllChildren(xmlNodePtr parent);

  // The top of the tree holding `node`: the document node when attached.
  static xmlNodePtr RootOf(xmlNodePtr node);

  // Bumped by every change of the tree, so that live lists can trust a
  // cached position only while nothing changed.
  uint64_t Generation() const { return generation_.load(std::memory_order_acquire); }
  void Changed() { generation_.fetch_add(1, std::memory_order_acq_rel); }

 private:
  bool Reaches(xmlNodePtr root) const;
  void FreeUnreferencedLocked(xmlNodePtr root);

  xmlDocPtr doc_;
  std::recursive_mutex mutex_;
  std::unordered_map<const void*, NodeHandle*> objects_;
  std::atomic<uint64_t> generation_{0};
};

// Frees a detached subtree, attribute or node. Never fails.
void FreeSubtree(xmlNodePtr root);

}  // namespace xml
}  // namespace comrt
