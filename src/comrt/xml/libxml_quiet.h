// libxml2 writes its errors to standard error unless told otherwise, and it
// keeps the handlers per thread. Errors that matter reach the parser's own
// handler or the XPath context's; everything else is dropped here, so that
// nothing a document contains ends up on the host's standard error.
#pragma once

namespace comrt {
namespace xml {

// Installs the silent handlers on the calling thread. Cheap; called by every
// entry point that parses or evaluates. Never fails.
void QuietLibxmlOnThisThread();

}  // namespace xml
}  // namespace comrt
