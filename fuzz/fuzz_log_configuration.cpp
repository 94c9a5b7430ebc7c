// The log configuration reader on any file, and the filter it builds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "comrt/error_info.h"
#include "log/log_sys_info_xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/varnel-fuzz-log-" + std::to_string(getpid()) + ".applog.xml";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  auto* info = new opLogSys::CLogSysInfoFromXML(std::u16string(path.begin(), path.end()));
  info->Load();
  if (opLogSys::ILogFilter* filter = info->GetFilter()) {
    for (int level = -1; level <= 5; ++level) filter->IsFiltered(u"Default", level);
    filter->IsEmpty();
    filter->Release();
  }
  if (opLogSys::IOutputLogSystemFactory* factory = info->GetFactory()) factory->Release();
  info->Release();
  return 0;
}
