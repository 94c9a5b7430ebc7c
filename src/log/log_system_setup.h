// How the module logger finds its configuration and builds its system.
#pragma once

#include <memory>
#include <string>

#include "log/output_log_system.h"

namespace opLogSys {

// The error log's size limit, beyond which it moves to its backup.
inline constexpr DWORD kErrorLogSizeLimit = 0xA00000;

// The output log system for a host program in `executableFolder` (with its
// trailing "/"): configured from "<stem>.applog.xml" there, else from
// "l4h.applog.xml" there, with the error log "halden.log" beside it; with
// neither file, the defaults and no error log (nothing is written). Null
// when memory runs out.
std::unique_ptr<COutputLogSystem> MakeOutputLogSystem(const std::u16string& executableFolder,
                                                      const std::u16string& configurationStem);

}  // namespace opLogSys
