#include "tool_context.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <unistd.h>

#include "tool_failure.h"

namespace varnel_tool {

using varnel::host::Status;

namespace {

// Installed, the library lies in the library folder beside the tool's own
// bin folder; in the build tree it is the file this tool was built with.
std::string DefaultLibraryPath() {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string folder(self, static_cast<size_t>(length));
    folder.erase(folder.rfind('/') + 1);
    const std::string installed = folder + VARNEL_INSTALLED_LIBRARY;
    if (::access(installed.c_str(), R_OK) == 0) return installed;
  }
  return VARNEL_LIBRARY_PATH;
}

}  // namespace

varnel::host::Library ToolLibrary() {
  const char* chosen = std::getenv("VARNEL_LIBRARY");
  return varnel::host::Library(chosen && *chosen ? std::string(chosen) : DefaultLibraryPath());
}

varnel::host::ServiceDescription LoadDescriptionFile(const std::string& path) {
  varnel::host::ServiceDescription description;
  Require(varnel::host::ServiceDescription::LoadFile(path, &description), kExitBadInput);
  return description;
}

varnel::host::ServiceDescription LoadDescriptionText(const std::string& text, const std::string& origin) {
  varnel::host::ServiceDescription description;
  const Status status = varnel::host::ServiceDescription::LoadText(text, &description);
  if (!status.ok()) Require(Status(status.code(), status.problem() + " from " + origin), kExitBadInput);
  return description;
}

std::unique_ptr<varnel::host::Service> OpenService(varnel::host::ServiceDescription description,
                                                   const std::string& serviceType) {
  const varnel::host::Library library = ToolLibrary();
  std::unique_ptr<varnel::host::Service> service;
  const Status status = varnel::host::Service::Open(library, std::move(description), serviceType, &service);
  if (!status.ok()) {
    const bool libraryMissing = status.code() == CO_E_DLLNOTFOUND || status.code() == CO_E_ERRORINDLL ||
                                status.code() == CLASS_E_CLASSNOTAVAILABLE;
    Require(status, libraryMissing ? kExitFailure : kExitBadInput);
  }
  return service;
}

std::string ReadBody(const std::string& path, uint64_t maxBytes) {
  const bool standardInput = path == "-";
  std::unique_ptr<FILE, int (*)(FILE*)> file(standardInput ? nullptr : std::fopen(path.c_str(), "rb"), &std::fclose);
  FILE* from = standardInput ? stdin : file.get();
  if (!from) {
    const HRESULT code = errno == ENOENT ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
                         : errno == EACCES ? E_ACCESSDENIED
                                           : E_FAIL;
    Require(Status(code, "cannot open the body " + path + ": " + std::strerror(errno)), kExitBadInput);
  }
  std::string body;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, from)) > 0) {
    if (body.size() + got > maxBytes) {
      Require(Status(ZeltCommonLib::InvalidMessage,
                     "the body " + (standardInput ? std::string("on standard input") : path) + " is longer than " +
                         std::to_string(maxBytes) + " bytes"),
              kExitBadInput);
    }
    body.append(buffer, got);
  }
  if (std::ferror(from)) Require(Status(STG_E_READFAULT, "cannot read the body " + path), kExitBadInput);
  return body;
}

}  // namespace varnel_tool
