// libxml2 is made ready once, as comrt loads, before any thread can start a
// parse: its own lazy initialisation is not safe against two threads
// starting their first parses at once.
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include "xml/libxml_quiet.h"

namespace comrt {
namespace xml {
namespace {

void DropGeneric(void*, const char*, ...) {}
void DropStructured(void*, xmlErrorPtr) {}

struct LibxmlSetup {
  LibxmlSetup() {
    LIBXML_TEST_VERSION
    xmlInitParser();
    // Threads that touch libxml2 for the first time start from these; the
    // loading thread has its state already and is set directly.
    xmlThrDefSetGenericErrorFunc(nullptr, &DropGeneric);
    xmlThrDefSetStructuredErrorFunc(nullptr, &DropStructured);
    QuietLibxmlOnThisThread();
  }
};

const LibxmlSetup g_libxmlSetup;

}  // namespace

void QuietLibxmlOnThisThread() {
  // A thread whose libxml2 state was made before comrt loaded (or by a host
  // that installed its own handlers) would otherwise keep writing.
  xmlSetGenericErrorFunc(nullptr, &DropGeneric);
  xmlSetStructuredErrorFunc(nullptr, &DropStructured);
}

}  // namespace xml
}  // namespace comrt
