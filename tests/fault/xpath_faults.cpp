// libxml2 2.9 frees a block twice when an allocation inside an XPath
// evaluation fails, which would abort the sweep inside the parser rather
// than test us. XPath evaluation is therefore one failure point of its own:
// when chosen it answers null, as libxml2 documents for running out of
// memory, and the allocations within it are not failed.
#include <dlfcn.h>

#include "fault/failing_allocator.h"

struct _xmlXPathObject;
struct _xmlXPathContext;

extern "C" __attribute__((visibility("default"))) _xmlXPathObject* xmlXPathEvalExpression(const unsigned char* expression, _xmlXPathContext* context) {
  using Evaluate = _xmlXPathObject* (*)(const unsigned char*, _xmlXPathContext*);
  static const Evaluate real = reinterpret_cast<Evaluate>(dlsym(RTLD_NEXT, "xmlXPathEvalExpression"));
  if (varnel_test::FailingAllocator::FailHere()) return nullptr;
  varnel_test::AllocationFaultsPaused paused;
  return real(expression, context);
}
