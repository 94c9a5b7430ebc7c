#include "xml/parsed_document.h"

#include <libxml/tree.h>

#include <new>

#include "xml/safe_parser.h"
#include "xml/stream_reader.h"

namespace comrt {
namespace xml {

ParsedDocument::~ParsedDocument() { Free(); }

void ParsedDocument::Free() {
  if (doc_) xmlFreeDoc(static_cast<xmlDocPtr>(doc_));
  doc_ = nullptr;
}

HRESULT ParsedDocument::Load(ISequentialStream* stream) {
  Free();
  if (!stream) return E_INVALIDARG;
  try {
    SafeParser parser(ParseOptions{false, false, true});
    ReadStream(stream, parser);
    ParseOutcome outcome = parser.Finish();
    if (!outcome.doc) return S_FALSE;
    doc_ = outcome.doc.release();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

NodeView ParsedDocument::Root() const { return NodeView(doc_); }

}  // namespace xml
}  // namespace comrt
