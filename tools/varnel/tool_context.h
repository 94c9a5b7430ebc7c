// What the commands share: where the library's objects come from, and
// loading descriptions, services and bodies with the tool's exit statuses.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "varnel/host/library.h"
#include "varnel/host/service.h"
#include "varnel/host/service_description.h"

namespace varnel_tool {

// The limit on a body read or received, the library's own default.
constexpr uint64_t kDefaultMaxBody = 16u * 1024 * 1024;

// Objects come from the server file named by VARNEL_LIBRARY, else from the
// libvarnel.so this tool was built with; no registration is involved.
varnel::host::Library ToolLibrary();

// Loads a description file; exit status 3 when it does not load.
varnel::host::ServiceDescription LoadDescriptionFile(const std::string& path);
// Loads a description from text; exit status 3 when it does not load.
varnel::host::ServiceDescription LoadDescriptionText(const std::string& text, const std::string& origin);

// Opens the service; exit status 1 when the library cannot be loaded, 3 when
// it refuses the description.
std::unique_ptr<varnel::host::Service> OpenService(varnel::host::ServiceDescription description,
                                                   const std::string& serviceType);

// The body in the file `path`, or standard input for "-"; exit status 3 when
// it cannot be read or is longer than `maxBytes`.
std::string ReadBody(const std::string& path, uint64_t maxBytes);

}  // namespace varnel_tool
