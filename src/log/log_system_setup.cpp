#include "log/log_system_setup.h"

#include <new>

#include "log/log_sys_info_xml.h"
#include "log/posix_file.h"

namespace opLogSys {

std::unique_ptr<COutputLogSystem> MakeOutputLogSystem(const std::u16string& executableFolder,
                                                      const std::u16string& configurationStem) {
  try {
    std::u16string configuration;
    std::u16string errorLogPath;
    // Only beside the executable: a file beside the library is never looked
    // for.
    if (!executableFolder.empty()) {
      for (const std::u16string& candidate :
           {executableFolder + configurationStem + u".applog.xml", executableFolder + u"l4h.applog.xml"}) {
        if (KindOf(candidate) == PathKind::kMissing) continue;
        configuration = candidate;
        errorLogPath = executableFolder + u"halden.log";
        break;
      }
    }
    Common::CRefPtr<CLogSysInfoFromXML> info =
        Common::CRefPtr<CLogSysInfoFromXML>::Adopt(new CLogSysInfoFromXML(configuration));
    // A configuration that could not be read for want of memory makes no
    // system: the logger tries again with its next line.
    if (info->Load() == E_OUTOFMEMORY) return nullptr;
    // The system takes the configuration's factory and filter; the
    // configuration itself goes when this returns.
    auto factory = Common::CRefPtr<IOutputLogSystemFactory>::Adopt(info->GetFactory());
    auto filter = Common::CRefPtr<ILogFilter>::Adopt(info->GetFilter());
    return std::make_unique<COutputLogSystem>(u"halden.debug", std::move(factory), std::move(filter), errorLogPath,
                                              kErrorLogSizeLimit, false);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace opLogSys
