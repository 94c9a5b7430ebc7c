// What a load produces: the parsed libxml2 document (or nothing) and the
// parse error the document object reports afterwards.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>

#include "comrt/types.h"

namespace comrt {
namespace xml {

// Parse error codes: libxml2's own error numbers are reported above
// kParserErrorBase; what this layer refuses has codes of its own.
constexpr LONG kParserErrorBase = static_cast<LONG>(0xC00CE000u);
constexpr LONG kDtdProhibited = static_cast<LONG>(0xC00CEF01u);
constexpr LONG kNestingTooDeep = static_cast<LONG>(0xC00CEF02u);
constexpr LONG kEmptyDocument = static_cast<LONG>(0xC00CEF03u);
constexpr LONG kNotWellFormed = static_cast<LONG>(0xC00CEF04u);
constexpr LONG kRemoteSource = static_cast<LONG>(0xC00CEF05u);
constexpr LONG kTooManyNamespaces = static_cast<LONG>(0xC00CEF06u);
constexpr LONG kTooManyAttributes = static_cast<LONG>(0xC00CEF07u);
constexpr LONG kTextTooLong = static_cast<LONG>(0xC00CEF08u);
constexpr LONG kTooDense = static_cast<LONG>(0xC00CEF09u);

// Deeper element nesting than this does not load.
constexpr int kMaxElementDepth = 256;
// An element declaring more namespaces than this does not load: every name
// is looked up through the declarations in scope, so their number bounds the
// cost of each lookup.
constexpr int kMaxNamespaceDeclarations = 256;
// Nor does an element with more attributes than this, declarations included:
// libxml2 checks each attribute of an element against all the others.
constexpr int kMaxAttributes = 256;
// Text between two tags longer than this does not load (libxml2's own limit
// for a text node, kept although its limits are lifted).
constexpr size_t kMaxTextBytes = 10000000;
// A node in the tree costs about 160 bytes whatever its size in the input, so
// markup made only of tiny nodes would cost 40 to 60 times its size. Beyond
// the first kFreeNodes, a document may hold no more than one node (an
// element, a text, an attribute and its value, a declaration, a comment, a
// processing instruction) per kMinBytesPerNode bytes of the input read so
// far: its tree then stays under about 20 times its size. Whitespace-only
// text that a load drops is not counted.
constexpr size_t kFreeNodes = 4096;
constexpr size_t kMinBytesPerNode = 9;

struct ParseError {
  LONG code = 0;  // 0: the last load succeeded (or none was made)
  std::u16string reason;
  std::u16string url;
  LONG line = 0;
  LONG linepos = 0;
  LONG filepos = 0;
};

struct XmlDocFree {
  void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
using XmlDocument = std::unique_ptr<xmlDoc, XmlDocFree>;

struct ParseOutcome {
  XmlDocument doc;           // null when the input did not load
  bool hasDeclaration = false;
  std::string declaration;   // the declaration's content: `version="1.0" ...`
  ParseError error;
};

}  // namespace xml
}  // namespace comrt
