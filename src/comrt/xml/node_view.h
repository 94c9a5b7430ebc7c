// Reading a document's tree in place: the names, types, values and text that
// the DOM's node objects hand out, without a node object, a string copy or a
// UTF-16 conversion per node. The component built beside this layer reads
// every message body through it; it does not belong to the platform's API and
// is deliberately not among the public headers.
#pragma once

#include <string>
#include <string_view>

#include "comrt/bstr.h"
#include "comrt/export.h"
#include "comrt/xml_dom.h"

namespace comrt {
namespace xml {

// One node of a document's tree (never a namespace declaration or an
// attribute), as a ParsedDocument hands it out. Never owns: valid while its
// document lives and nothing changes the tree. A default-made view stands
// for no node; every accessor of a null view answers as for a node without
// children, name or value. Text is UTF-8, viewed where libxml2 keeps it.
class COMRT_API NodeView {
 public:
  NodeView() = default;

  explicit operator bool() const { return node_ != nullptr; }
  bool operator==(const NodeView& other) const { return node_ == other.node_; }
  bool operator!=(const NodeView& other) const { return node_ != other.node_; }

  // As get_firstChild and get_nextSibling.
  NodeView FirstChild() const;
  NodeView NextSibling() const;

  // As get_nodeType.
  DOMNodeType Type() const;
  // As get_baseName.
  std::string_view LocalName() const;
  // As get_namespaceURI.
  std::string_view NamespaceUri() const;
  // As get_nodeName: a view into the tree, or into `scratch` when the name
  // must be put together from prefix and local name. Throws std::bad_alloc.
  std::string_view QualifiedName(std::string* scratch) const;
  // True for the nodes get_nodeValue answers with text (text, CDATA,
  // comments, processing instructions); the others give VT_NULL.
  bool HasValue() const;
  // As get_nodeValue for a node with a value; empty for the others.
  std::string_view Value() const;
  // As get_text: every text and CDATA node below an element or the document,
  // in document order; the value of any other node. Throws std::bad_alloc.
  std::string Text() const;

 private:
  friend class ParsedDocument;
  explicit NodeView(void* node) : node_(node) {}

  void* node_ = nullptr;  // the libxml2 node
};

// UTF-8 from the tree as a new BSTR (empty text as an empty BSTR, never
// null); null when memory runs out. Ill-formed parts become U+FFFD, as in
// comrt::FromUtf8.
COMRT_API BSTR AllocBstrFromUtf8(std::string_view text);

// Appends UTF-8 from the tree to `out` as UTF-16, as comrt::FromUtf8 would
// convert it. Throws std::bad_alloc.
COMRT_API void AppendUtf16(std::string_view text, std::u16string* out);

}  // namespace xml
}  // namespace comrt
