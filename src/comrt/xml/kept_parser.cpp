#include "xml/kept_parser.h"

#include <libxml/dict.h>

#include <memory>

namespace comrt {
namespace xml {
namespace {

// Real message bodies use a few dozen names.
constexpr int kMaxKeptNames = 4096;

struct ParserFree {
  void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};
using KeptContext = std::unique_ptr<xmlParserCtxt, ParserFree>;

KeptContext& ThreadSlot() {
  static thread_local KeptContext kept;
  return kept;
}

}  // namespace

xmlParserCtxtPtr TakeKeptParser() { return ThreadSlot().release(); }

void KeepParser(xmlParserCtxtPtr context) {
  if (!context) return;
  KeptContext owned(context);
  // Its parser is gone: a kept context points at none until it is taken.
  context->_private = nullptr;
  xmlCtxtReset(context);
  KeptContext& slot = ThreadSlot();
  if (slot || !context->dict || xmlDictSize(context->dict) > kMaxKeptNames) return;
  slot = std::move(owned);
}

}  // namespace xml
}  // namespace comrt
