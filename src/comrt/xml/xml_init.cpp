// libxml2 is made ready once, as comrt loads, before any thread can start a
// parse: its own lazy initialisation is not safe against two threads
// starting their first parses at once.
#include <libxml/parser.h>

namespace {

struct LibxmlSetup {
  LibxmlSetup() {
    LIBXML_TEST_VERSION
    xmlInitParser();
  }
};

const LibxmlSetup g_libxmlSetup;

}  // namespace
