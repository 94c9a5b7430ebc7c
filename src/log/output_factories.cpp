#include "log/output_factories.h"

#include <new>

#include "comrt/process.h"
#include "log/file_io.h"
#include "log/module_paths.h"
#include "log/record_logs.h"

namespace opLogSys {
namespace Common {

ILog* COutputLogSystemFactoryBase::CreateLog(DWORD threadId, ILogIO* output) {
  return new (std::nothrow) CLog(threadId, output);
}

ILog* COutputLogSystemFactoryBase::CreateErrorLog(ILogIO* output) { return new (std::nothrow) CErrorLog(output); }

}  // namespace Common

namespace File {

COutputLogSystemFactory::COutputLogSystemFactory(bool autoflush, std::u16string location,
                                                 std::u16string executableFolder)
    : autoflush_(autoflush), location_(std::move(location)), executableFolder_(std::move(executableFolder)) {}

ILogIO* COutputLogSystemFactory::CreateIO(const char16_t* name) {
  try {
    return new CFileIO(name, autoflush_, location_,
                       executableFolder_.empty() ? ExecutableFolder() : executableFolder_);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace File

namespace Ods {

long COutputLogSystemFactory::COutputDebugStringIO::WriteLine(const char16_t* text) {
  try {
    // One send keeps the line whole when other threads write at once.
    OutputDebugStringW((std::u16string(text ? text : u"") + u"\n").c_str());
  } catch (...) {
    // Out of memory: the line is lost.
  }
  return 0;
}

long COutputLogSystemFactory::COutputDebugStringIO::Write(const char16_t* text) {
  OutputDebugStringW(text);
  return 0;
}

ILogIO* COutputLogSystemFactory::CreateIO(const char16_t*) { return new (std::nothrow) COutputDebugStringIO; }

}  // namespace Ods

namespace Null {

ILogIO* COutputLogSystemFactory::CreateIO(const char16_t*) { return new (std::nothrow) CNullIO; }

}  // namespace Null
}  // namespace opLogSys
