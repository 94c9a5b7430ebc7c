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

// Deeper element nesting than this does not load.
constexpr int kMaxElementDepth = 256;

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
