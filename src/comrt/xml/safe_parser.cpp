#include "xml/safe_parser.h"

#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "comrt/text_conversion.h"
#include "xml/kept_parser.h"
#include "xml/libxml_quiet.h"
#include "xml/node_checks.h"
#include "xml/tree_walk.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

// Enough for any declaration a real document carries, in UTF-16 too.
constexpr size_t kHeadBytes = 512;
// What the parser is given at a time.
constexpr size_t kChunkBytes = 64 * 1024;
// libxml2 wants four bytes before it guesses the encoding.
constexpr size_t kDetectionBytes = 4;
// The largest last piece whose '=' are counted before it is scanned.
constexpr size_t kCountedBytes = 8 * 1024;

std::u16string TrimmedMessage(const char* message) {
  std::string text = message ? message : "The document is not well formed.";
  while (!text.empty() && IsXmlSpace(text.back())) text.pop_back();
  return comrt::FromUtf8(text);
}

LONG ToLong(long value) {
  return value > 0x7FFFFFFFL ? 0x7FFFFFFF : (value < 0 ? 0 : static_cast<LONG>(value));
}

}  // namespace

SafeParser::~SafeParser() {
  if (!context_) return;
  if (context_->myDoc) xmlFreeDoc(context_->myDoc);
  context_->myDoc = nullptr;
  if (options_.fromText) {
    xmlFreeParserCtxt(context_);
  } else {
    KeepParser(context_);
  }
}

SafeParser* SafeParser::From(void* context) {
  return static_cast<SafeParser*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

bool SafeParser::Start(const char* data, size_t size) {
  QuietLibxmlOnThisThread();
  // Errors raised without a parser (the encoding layer's) land in the
  // thread's last error; Finish looks there for an allocation failure.
  xmlResetLastError();
  pushed_ += size;
  // Text loads set an option that stays with a context (the encoding their
  // declaration names is ignored), so only byte sources share the thread's
  // kept context; it is kept with the same options and handlers as set below.
  if (!options_.fromText) {
    context_ = TakeKeptParser();
    // The kept context still carries this layer's handlers, and resetting it
    // may already report an error (an encoding the first bytes rule out):
    // the handlers must find this parser, not the one that used it last.
    if (context_) context_->_private = this;
    if (context_ && xmlCtxtResetPush(context_, data, static_cast<int>(size), nullptr, nullptr) != 0) {
      RecordFailure(static_cast<LONG>(E_OUTOFMEMORY), u"Out of memory.", 0, 0);
      return false;
    }
  }
  if (!context_) context_ = xmlCreatePushParserCtxt(nullptr, nullptr, data, static_cast<int>(size), nullptr);
  if (!context_) {
    RecordFailure(static_cast<LONG>(E_OUTOFMEMORY), u"Out of memory.", 0, 0);
    return false;
  }
  // No XML_PARSE_NOENT (entities stay unexpanded), no DTD loading or
  // defaulting, no network. Unless the tree is only read in place, names are
  // not shared through a dictionary, so the nodes can move into another
  // document freely. libxml2's push parser keeps all input it has seen and
  // refuses to go past 10 MB of it unless told the input may be huge; its
  // other limits are there against entity expansion, which never happens
  // here, so what a document costs stays bounded by its size and by the
  // limits of this layer.
  int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;
  if (options_.fromText) options |= XML_PARSE_IGNORE_ENC;
  // Names shared through the dictionary cost no copy, and text shorter than
  // two pointers (most values) is kept inside its node; libxml2 knows both
  // forms when it frees the tree.
  options |= options_.sharedNames ? XML_PARSE_COMPACT : XML_PARSE_NODICT;
  // A kept context remembers an option once set; short text stays in its own
  // block in trees that move.
  if (!options_.sharedNames) context_->options &= ~XML_PARSE_COMPACT;
  xmlCtxtUseOptions(context_, options);
  context_->_private = this;
  xmlSAXHandlerPtr sax = context_->sax;
  sax->internalSubset = &SafeParser::OnInternalSubset;
  sax->externalSubset = &SafeParser::OnInternalSubset;
  sax->startElementNs = &SafeParser::OnStartElement;
  sax->endElementNs = &SafeParser::OnEndElement;
  sax->serror = &SafeParser::OnError;
  if (sax->ignorableWhitespace == sax->characters) sax->ignorableWhitespace = &SafeParser::OnCharacters;
  sax->characters = &SafeParser::OnCharacters;
  sax->cdataBlock = &SafeParser::OnCData;
  sax->comment = &SafeParser::OnComment;
  sax->processingInstruction = &SafeParser::OnProcessingInstruction;
  return true;
}

bool SafeParser::Feed(const char* data, size_t size, bool last) {
  if (failed_ || size == 0) return !failed_;
  // libxml2 reports some malformed input containing zero bytes (UTF-16,
  // UCS-4, or broken text) differently when told of the end at once; such
  // input is parsed as if more might follow, and ended by Finish.
  if (last && std::memchr(data, 0, size)) last = false;
  if (head_.size() < kHeadBytes) head_.append(data, std::min(size, kHeadBytes - head_.size()));
  fed_ += size;
  try {
    if (!context_) {
      pending_.append(data, size);
      if (pending_.size() < kDetectionBytes) return true;
      std::string first;
      first.swap(pending_);
      if (last && std::memchr(first.data(), 0, first.size())) last = false;  // zeros held back earlier
      scanner_.Begin(first.data(), first.size(), options_.fromText);
      if (!Scanned(first.data(), first.size(), last)) return false;
      if (!Start(first.data(), first.size())) return false;
      Push(nullptr, 0, last);
      return !failed_;
    }
  } catch (const std::bad_alloc&) {
    RecordFailure(static_cast<LONG>(E_OUTOFMEMORY), u"Out of memory.", 0, 0);
    return false;
  }
  if (!Scanned(data, size, last)) return false;
  // libxml2 refuses to look further ahead than 10 MB at once, so a large
  // input handed over whole would fail for its size alone.
  while (size > 0 && !failed_) {
    const size_t part = std::min<size_t>(size, kChunkBytes);
    Push(data, part, last && part == size);
    data += part;
    size -= part;
  }
  return !failed_;
}

void SafeParser::FailSource(LONG code, const std::u16string& reason) { RecordFailure(code, reason, 0, 0); }

ParseOutcome SafeParser::Finish() {
  ParseOutcome outcome;
  if (!failed_ && !context_) {
    if (pending_.empty()) {
      RecordFailure(kEmptyDocument, u"The document is empty.", 0, 0);
    } else {
      std::string first;
      first.swap(pending_);
      Start(first.data(), first.size());
    }
  }
  if (!failed_ && context_ && !ended_) Push(nullptr, 0, true);
  if (context_ && RanOutOfMemory()) ForceOutOfMemory();
  if (!failed_ && context_ && (!context_->wellFormed || !context_->nsWellFormed || !context_->myDoc)) {
    // A failure libxml2 noted without reporting it through the handler.
    xmlErrorPtr last = xmlCtxtGetLastError(context_);
    if (last && last->code != XML_ERR_OK) {
      RecordFailure(kParserErrorBase + (last->code & 0xFFF), TrimmedMessage(last->message), last->line,
                    last->int2);
    } else {
      RecordFailure(kNotWellFormed, u"The document is not well formed.", 0, 0);
    }
  }
  outcome.error = error_;
  if (failed_ || !context_) return outcome;
  outcome.doc.reset(context_->myDoc);
  context_->myDoc = nullptr;
  // Elements were checked as they were made; text, comments and processing
  // instructions are checked here, and whitespace-only text that the parse
  // left is dropped, in one pass (a document that fails the check goes
  // whole).
  xmlNodePtr top = reinterpret_cast<xmlNodePtr>(outcome.doc.get());
  for (xmlNodePtr at = FirstInSubtree(top); at;) {
    if (at->type != XML_ELEMENT_NODE && !IsWhole(at)) {
      outcome.doc.reset();
      ForceOutOfMemory();
      outcome.error = error_;
      return outcome;
    }
    xmlNodePtr next = NextInSubtree(at, top);
    if (!options_.preserveWhiteSpace && IsDroppableWhitespace(at)) {
      xmlUnlinkNode(at);
      xmlFreeNode(at);
    }
    at = next;
  }
  // libxml2 marks a document without a declaration with standalone == -1.
  outcome.hasDeclaration = outcome.doc->standalone != -1;
  if (outcome.hasDeclaration) {
    outcome.declaration = DeclarationContent(head_);
    if (outcome.declaration.empty()) {
      const std::string version = outcome.doc->version ? C(outcome.doc->version) : "1.0";
      outcome.declaration = "version=\"" + version + "\"";
    }
  }
  return outcome;
}

void SafeParser::RecordFailure(LONG code, const std::u16string& reason, LONG line, LONG column) {
  if (failed_) return;  // the first reason is the one that matters
  failed_ = true;
  error_.code = code;
  try {
    error_.reason = reason;
  } catch (const std::bad_alloc&) {
  }
  error_.line = line;
  error_.linepos = column;
  error_.filepos = context_ ? ToLong(xmlByteConsumed(context_)) : 0;
}

void SafeParser::Push(const char* data, size_t size, bool last) {
  pushed_ += size;
  ended_ = last;
  const int result = xmlParseChunk(context_, data, static_cast<int>(size), last ? 1 : 0);
  if (failed_) return;
  // An input conversion that fails part way stops the parser without a
  // report to any handler and without marking the document bad: only the
  // result says so, and the tree built so far would pass for the document.
  if (result < 0 || result == XML_ERR_INVALID_ENCODING || result == XML_ERR_NO_MEMORY) {
    if (result == XML_ERR_NO_MEMORY) {
      RecordFailure(static_cast<LONG>(E_OUTOFMEMORY), u"Out of memory.", 0, 0);
    } else {
      RecordFailure(kParserErrorBase + (XML_ERR_INVALID_ENCODING & 0xFFF),
                    u"The input is not in the encoding it declares.", xmlSAX2GetLineNumber(context_),
                    xmlSAX2GetColumnNumber(context_));
    }
  }
}

bool SafeParser::Scanned(const char* data, size_t size, bool last) {
  // Only an '=' takes a start tag nearer a limit. The last piece of an input
  // with too few of them for any tag to pass a limit is not looked at: its
  // verdict is known, and no later piece needs the scanner's state. Every
  // '=' of any encoding the scanner follows holds the byte counted here.
  // Counting pays off for small, tag-dense bodies; text-heavy ones the
  // scanner passes over at memchr's pace anyway.
  if (last && size <= kCountedBytes) {
    size_t equals = 0;
    const char* at = data;
    while (scanner_.CannotPassLimits(equals) &&
           (at = static_cast<const char*>(std::memchr(at, '=', size - static_cast<size_t>(at - data))))) {
      ++equals;
      ++at;
    }
    if (scanner_.CannotPassLimits(equals)) return true;
  }
  switch (scanner_.Scan(data, size)) {
    case TagScanner::Verdict::kTooManyAttributes:
      RecordFailure(kTooManyAttributes, u"An element has more than 256 attributes.", 0, 0);
      return false;
    case TagScanner::Verdict::kTooManyNamespaces:
      RecordFailure(kTooManyNamespaces, u"An element declares more than 256 namespaces.", 0, 0);
      return false;
    case TagScanner::Verdict::kFine:
      break;
  }
  return true;
}

bool SafeParser::RanOutOfMemory() const {
  if (context_->errNo == XML_ERR_NO_MEMORY) return true;
  xmlErrorPtr last = xmlGetLastError();
  return last && last->code == XML_ERR_NO_MEMORY;
}

void SafeParser::ForceOutOfMemory() {
  // Whatever was reported first, a load that lost an allocation fails for
  // that: the other reasons may be its side effects.
  failed_ = false;
  RecordFailure(static_cast<LONG>(E_OUTOFMEMORY), u"Out of memory.", error_.line, error_.linepos);
}

void SafeParser::Refuse(LONG code, const char16_t* reason) {
  RecordFailure(code, reason, xmlSAX2GetLineNumber(context_), xmlSAX2GetColumnNumber(context_));
  xmlStopParser(context_);
}

void SafeParser::OnInternalSubset(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  From(context)->Refuse(kDtdProhibited, u"A DOCTYPE is not allowed: documents with a DTD are not loaded.");
}

void SafeParser::OnStartElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                                const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                                int attributeCount, int defaultedCount, const xmlChar** attributes) {
  SafeParser* self = From(context);
  if (++self->depth_ > kMaxElementDepth) {
    self->Refuse(kNestingTooDeep, u"Elements are nested more than 256 levels deep.");
    return;
  }
  self->textRun_ = 0;
  if (namespaceCount > kMaxNamespaceDeclarations) {
    self->Refuse(kTooManyNamespaces, u"An element declares more than 256 namespaces.");
    return;
  }
  self->DropTrailingWhitespace();
  // An attribute is a node and so is its value's text.
  const size_t made = 1 + 2 * static_cast<size_t>(attributeCount) + static_cast<size_t>(namespaceCount);
  if (!self->CountNodes(made)) return;
  try {
    self->spaceStates_.push_back(self->SpaceStateOf(attributeCount, attributes));
  } catch (const std::bad_alloc&) {
    self->RecordFailure(static_cast<LONG>(E_OUTOFMEMORY), u"Out of memory.", 0, 0);
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    return;
  }
  xmlParserCtxtPtr parser = static_cast<xmlParserCtxtPtr>(context);
  xmlNodePtr parent = parser->node;
  xmlSAX2StartElementNs(context, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                        defaultedCount, attributes);
  xmlNodePtr element = parser->node;
  if (element == parent || !element) return;  // libxml2 reported why it made nothing
  if (!IsWhole(element) || (uri && !element->ns) || !HasDeclarations(element, namespaceCount, namespaces)) {
    self->RecordFailure(static_cast<LONG>(E_OUTOFMEMORY), u"Out of memory.", xmlSAX2GetLineNumber(parser),
                        xmlSAX2GetColumnNumber(parser));
    xmlStopParser(parser);
  }
}

char SafeParser::SpaceStateOf(int attributeCount, const xmlChar** attributes) const {
  // libxml2 passes five pointers per attribute: local name, prefix, URI,
  // and the value's start and end.
  for (int i = 0; i < attributeCount; ++i) {
    const xmlChar** attribute = attributes + 5 * i;
    if (!attribute[1] || !xmlStrEqual(attribute[1], BAD_CAST "xml") || !xmlStrEqual(attribute[0], BAD_CAST "space")) {
      continue;
    }
    const std::string_view value(reinterpret_cast<const char*>(attribute[3]),
                                 static_cast<size_t>(attribute[4] - attribute[3]));
    if (value == "preserve") return 'p';
    if (value == "default") return 'd';
  }
  return spaceStates_.empty() ? 'd' : spaceStates_.back();
}

void SafeParser::DropTrailingWhitespace() {
  if (options_.preserveWhiteSpace || spaceStates_.empty() || spaceStates_.back() == 'p') return;
  xmlNodePtr parent = context_->node;
  xmlNodePtr last = parent ? parent->last : nullptr;
  if (!last || last->type != XML_TEXT_NODE || !IsAllXmlSpace(last->content)) return;
  xmlUnlinkNode(last);
  xmlFreeNode(last);
  if (nodes_ > 0) --nodes_;
}

bool SafeParser::CountNodes(size_t count) {
  nodes_ += count;
  if (nodes_ <= kFreeNodes || nodes_ <= pushed_ / kMinBytesPerNode) return true;
  Refuse(kTooDense, u"The document holds more nodes than its size allows (one per 9 bytes).");
  return false;
}

bool SafeParser::CountIfAdded(xmlNodePtr lastBefore) {
  xmlNodePtr parent = context_->node;
  if (!parent || parent->last == lastBefore) return true;
  return CountNodes(1);
}

bool SafeParser::HasDeclarations(xmlNodePtr element, int count, const xmlChar** namespaces) {
  // libxml2 lists them as (prefix, URI) pairs, in the order it declares them.
  xmlNsPtr ns = element->nsDef;
  for (int i = 0; i < count; ++i, ns = ns->next) {
    if (!ns || (namespaces[2 * i] && !ns->prefix)) return false;
  }
  return true;
}

bool SafeParser::CountText(int length) {
  textRun_ += static_cast<size_t>(length > 0 ? length : 0);
  if (textRun_ <= kMaxTextBytes) return true;
  Refuse(kTextTooLong, u"A text is longer than 10,000,000 bytes.");
  return false;
}

namespace {
xmlNodePtr LastChildOfCurrent(void* context) {
  xmlNodePtr parent = static_cast<xmlParserCtxtPtr>(context)->node;
  return parent ? parent->last : nullptr;
}
}  // namespace

void SafeParser::OnCharacters(void* context, const xmlChar* text, int length) {
  SafeParser* self = From(context);
  if (!self->CountText(length)) return;
  xmlNodePtr before = LastChildOfCurrent(context);
  xmlSAX2Characters(context, text, length);
  self->CountIfAdded(before);
}

void SafeParser::OnCData(void* context, const xmlChar* text, int length) {
  SafeParser* self = From(context);
  if (!self->CountText(length)) return;
  xmlNodePtr before = LastChildOfCurrent(context);
  xmlSAX2CDataBlock(context, text, length);
  self->CountIfAdded(before);
}

void SafeParser::OnComment(void* context, const xmlChar* text) {
  if (From(context)->CountNodes(1)) xmlSAX2Comment(context, text);
}

void SafeParser::OnProcessingInstruction(void* context, const xmlChar* target, const xmlChar* data) {
  if (From(context)->CountNodes(1)) xmlSAX2ProcessingInstruction(context, target, data);
}

void SafeParser::OnEndElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                              const xmlChar* uri) {
  SafeParser* self = From(context);
  self->textRun_ = 0;
  --self->depth_;
  self->DropTrailingWhitespace();
  if (!self->spaceStates_.empty()) self->spaceStates_.pop_back();
  xmlSAX2EndElementNs(context, localName, prefix, uri);
}

void SafeParser::OnError(void* context, xmlErrorPtr error) {
  // Warnings (a relative namespace URI, say) do not stop a load; errors do,
  // namespace errors such as an undeclared prefix included.
  if (!error || error->level < XML_ERR_ERROR) return;
  SafeParser* self = From(context);
  if (error->code == XML_ERR_NO_MEMORY) {
    self->RecordFailure(static_cast<LONG>(E_OUTOFMEMORY), u"Out of memory.", error->line, error->int2);
    return;
  }
  try {
    self->RecordFailure(kParserErrorBase + (error->code & 0xFFF), TrimmedMessage(error->message), error->line,
                        error->int2);
  } catch (const std::bad_alloc&) {
    self->RecordFailure(kParserErrorBase + (error->code & 0xFFF), std::u16string(), error->line, error->int2);
  }
}

bool IsDroppableWhitespace(xmlNodePtr node) {
  return node->type == XML_TEXT_NODE && IsAllXmlSpace(node->content) && xmlNodeGetSpacePreserve(node->parent) != 1;
}


std::string DeclarationContent(const std::string& head) {
  // The declaration is ASCII, so only the byte order of each character
  // matters: keep the low byte of UTF-16, everything of the rest.
  size_t start = 0;
  int step = 1;
  int offset = 0;
  auto at = [&head](size_t i) { return i < head.size() ? static_cast<unsigned char>(head[i]) : 0u; };
  if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    start = 3;
  } else if (at(0) == 0xFE && at(1) == 0xFF) {
    start = 2, step = 2, offset = 1;
  } else if (at(0) == 0xFF && at(1) == 0xFE) {
    start = 2, step = 2, offset = 0;
  } else if (at(0) == 0x00 && at(1) == '<') {
    step = 2, offset = 1;
  } else if (at(0) == '<' && at(1) == 0x00) {
    step = 2, offset = 0;
  }
  // One byte a character, the usual case, is read where it lies.
  std::string narrowed;
  std::string_view text = std::string_view(head).substr(std::min(start, head.size()));
  if (step == 2) {
    for (size_t i = start + offset; i < head.size(); i += step) narrowed.push_back(head[i]);
    text = narrowed;
  }
  if (text.compare(0, 5, "<?xml") != 0 || text.size() < 6 || !IsXmlSpace(text[5])) return std::string();
  const size_t end = text.find("?>");
  if (end == std::string_view::npos) return std::string();
  const std::string_view content = text.substr(5, end - 5);
  const size_t first = content.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::string();
  const size_t last = content.find_last_not_of(" \t\r\n");
  return std::string(content.substr(first, last - first + 1));
}

}  // namespace xml
}  // namespace comrt
