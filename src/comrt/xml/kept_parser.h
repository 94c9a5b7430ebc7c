// One push parser context kept by each thread between its loads. Making and
// freeing a context costs more than parsing a small body: a dozen blocks,
// several large enough to make the allocator consolidate, and a dictionary
// whose creation and release take libxml2's global dictionary lock. A kept
// context is reset before it is kept, so it holds no document, input or
// error between loads.
#pragma once

#include <libxml/parser.h>

namespace comrt {
namespace xml {

// The calling thread's kept context, now the caller's; null when it has none
// (its first load, or a load inside a load).
xmlParserCtxtPtr TakeKeptParser();

// Resets `context` (whose document the caller has taken or freed) and keeps
// it for the thread's next load, or frees it when the thread keeps one
// already or its dictionary holds more names than are worth keeping (names
// of hostile bodies must not pile up). Never fails.
void KeepParser(xmlParserCtxtPtr context);

}  // namespace xml
}  // namespace comrt
