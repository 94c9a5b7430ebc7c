// Parsing that nothing in the input can turn against the caller: libxml2's
// push parser with network access off, no entity substitution and no DTD
// loading; a DOCTYPE stops the parse as soon as it is seen (so no entity is
// ever declared, internal or external), and so does nesting deeper than
// kMaxElementDepth, and an element with more than kMaxAttributes attributes
// or kMaxNamespaceDeclarations declarations, and a document denser in nodes
// than kMinBytesPerNode allows. libxml2's size limits are
// lifted (they would refuse any document over 10 MB); text between two tags
// is held to kMaxTextBytes here instead, so a document costs time and
// memory in proportion to its size. Input arrives in chunks and a failure is known at once, so a source is
// read no further than the point where it went wrong.
#pragma once

#include <libxml/parser.h>

#include <string>

#include "xml/parse_outcome.h"
#include "xml/tag_scanner.h"

namespace comrt {
namespace xml {

struct ParseOptions {
  // Keep whitespace-only text nodes (else they go, except under
  // xml:space="preserve").
  bool preserveWhiteSpace = false;
  // The input is UTF-8 made from the caller's UTF-16 text: an encoding named
  // in its declaration is ignored.
  bool fromText = false;
  // Names may stay in the parser's dictionary, and short text inside its
  // node: for a tree that is read and freed whole (the document references
  // the dictionary), never for one whose nodes move into another document.
  bool sharedNames = false;
};

class SafeParser {
 public:
  explicit SafeParser(ParseOptions options) : options_(options) {}
  ~SafeParser();
  SafeParser(const SafeParser&) = delete;
  SafeParser& operator=(const SafeParser&) = delete;

  // Parses the next part of the input; `last` when the caller knows nothing
  // follows it (libxml2 then parses it to the end at once, without looking
  // ahead for more input). False once the input is known not to load: the
  // caller stops feeding and calls Finish. Never throws.
  bool Feed(const char* data, size_t size, bool last = false);
  // Records that the source itself failed (a read error); the load fails
  // with `code` and `reason`.
  void FailSource(LONG code, const std::u16string& reason);
  // Ends the input and hands out the document, or the reason there is none.
  // Throws std::bad_alloc only.
  ParseOutcome Finish();

 private:
  static void OnInternalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                               const xmlChar* systemId);
  static void OnStartElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                             int namespaceCount, const xmlChar** namespaces, int attributeCount,
                             int defaultedCount, const xmlChar** attributes);
  static void OnEndElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri);
  static void OnError(void* context, xmlErrorPtr error);
  static void OnCharacters(void* context, const xmlChar* text, int length);
  static void OnCData(void* context, const xmlChar* text, int length);
  static void OnComment(void* context, const xmlChar* text);
  static void OnProcessingInstruction(void* context, const xmlChar* target, const xmlChar* data);
  // Adds to the text between two tags; false (the parse refused) past
  // kMaxTextBytes.
  bool CountText(int length);
  // Adds `count` nodes to the tree's tally; false (the parse refused) once
  // the document is denser than allowed.
  bool CountNodes(size_t count);
  // Counts the node that a libxml2 handler added under the current element,
  // if it added one rather than growing the last.
  bool CountIfAdded(xmlNodePtr lastBefore);
  // Drops the current element's last child when it is whitespace-only text
  // that the load would drop anyway, so that it never adds to the peak.
  void DropTrailingWhitespace();
  // xml:space on the element just started ('p' preserve, 'd' default), or
  // the state it inherits.
  char SpaceStateOf(int attributeCount, const xmlChar** attributes) const;
  static SafeParser* From(void* context);

  // True when the element just made has all `count` declarations the
  // parser passed, prefixes included.
  static bool HasDeclarations(xmlNodePtr element, int count, const xmlChar** namespaces);

  bool Start(const char* data, size_t size);
  // Hands `size` bytes to libxml2 (`last`: the end of the input) and
  // records a failure it reports only through its result.
  void Push(const char* data, size_t size, bool last);
  // False, with the reason recorded, when a start tag in `data` exceeds a
  // limit; `last` when nothing follows `data`.
  bool Scanned(const char* data, size_t size, bool last);
  bool RanOutOfMemory() const;
  // Makes the outcome E_OUTOFMEMORY, replacing any earlier reason.
  void ForceOutOfMemory();
  // Stops the parse for a reason of this layer, at the parser's position.
  void Refuse(LONG code, const char16_t* reason);
  void RecordFailure(LONG code, const std::u16string& reason, LONG line, LONG column);

  ParseOptions options_;
  xmlParserCtxtPtr context_ = nullptr;
  std::string pending_;  // bytes held until encoding detection has enough
  std::string head_;     // the first bytes, where a declaration would be
  size_t fed_ = 0;
  size_t pushed_ = 0;  // bytes handed to libxml2 so far
  bool ended_ = false;  // libxml2 was told the input ended
  size_t nodes_ = 0;
  std::string spaceStates_;  // one xml:space state per open element
  int depth_ = 0;
  size_t textRun_ = 0;
  TagScanner scanner_{kMaxAttributes, kMaxNamespaceDeclarations};
  bool failed_ = false;
  ParseError error_;
};

// True for whitespace-only text outside xml:space="preserve", which loads
// drop unless told to preserve white space.
bool IsDroppableWhitespace(xmlNodePtr node);

// The content of the XML declaration at the start of `head` (the first bytes
// of the input, in UTF-8, UTF-16 with or without a byte-order mark, or any
// ASCII-compatible encoding), or an empty string when it cannot be read.
std::string DeclarationContent(const std::string& head);

}  // namespace xml
}  // namespace comrt
