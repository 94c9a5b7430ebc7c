// A body parsed for reading in place: libxml2's tree alone, without the DOM
// document's objects. It loads from a stream exactly as a DOM document's
// load does (the same safe parser, limits and refusals, white space dropped
// alike) and is read through NodeView. Like NodeView, it is for the
// component built beside this layer, not part of the platform's API.
#pragma once

#include "comrt/export.h"
#include "comrt/stream.h"
#include "node_view.h"  // found beside this header by comrt and the component alike

namespace comrt {
namespace xml {

class COMRT_API ParsedDocument {
 public:
  ParsedDocument() = default;
  ~ParsedDocument();
  ParsedDocument(const ParsedDocument&) = delete;
  ParsedDocument& operator=(const ParsedDocument&) = delete;

  // Reads `stream` to its end and parses it, replacing what was loaded
  // before. S_OK when it loaded, S_FALSE when it did not (nothing is then
  // loaded); E_OUTOFMEMORY.
  HRESULT Load(ISequentialStream* stream);

  // The document node; null when nothing is loaded. The declaration is not
  // among its children (the DOM shows it as a processing instruction).
  NodeView Root() const;

 private:
  void Free();

  void* doc_ = nullptr;  // the libxml2 document
};

}  // namespace xml
}  // namespace comrt
