// Nodes as XML text, UTF-8, with libxml2 doing the escaping. Names are
// written as they are stored, so qualified names given at creation come out
// exactly as given.
#pragma once

#include <string>

#include "xml/node_handle.h"

namespace comrt {
namespace xml {

enum class SerializeFor {
  kText,  // get_xml: the declaration as it stands
  kSave,  // bytes to store: the declaration names UTF-8, which they are
};

// The text of `ref`'s node and subtree. For the document node: the "xml"
// processing instruction first (when there is one), then every other
// top-level node, each followed by a line feed. E_OUTOFMEMORY, E_FAIL.
HRESULT Serialize(const NodeRef& ref, SerializeFor purpose, std::string* text);

// `content` of a declaration with an encoding other than UTF-8 renamed to
// UTF-8 (the pseudo-attribute is left alone when there is none).
std::string WithUtf8Encoding(const std::string& content);

}  // namespace xml
}  // namespace comrt
