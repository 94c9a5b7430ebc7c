// The library's creatable classes: their class ids, class objects and
// registration scripts.
#pragma once

#include <cstddef>

#include "comrt/guid.h"
#include "comrt/unknown.h"

namespace varnel {

struct ClassEntry {
  const CLSID* clsid;
  // The class object: made on first request, kept until unload.
  IClassFactory* (*classObject)();
  // The class's registration script, with "%MODULE%" and "%APPID%" to replace.
  const char16_t* script;
};

// The seven classes, in a fixed order.
const ClassEntry* ClassTable(size_t* count);

// The AppID keys shared by all classes, with "%APPID%" to replace.
extern const char16_t kAppIdScript[];

}  // namespace varnel
