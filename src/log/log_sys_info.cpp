#include "log/log_sys_info.h"

#include <new>

#include "comrt/result_codes.h"
#include "log/output_factories.h"

namespace opLogSys {

HRESULT CLogSysInfo::COutputLogState::IsFiltered(const char16_t* subject, int level) {
  const std::u16string_view wanted(subject ? subject : u"");
  Common::CScopedLock hold(lock_);
  for (const Entry& entry : entries_) {
    if (entry.subject == wanted && entry.minLevel <= level && level <= entry.maxLevel) return 0;
  }
  return E_FAIL;
}

HRESULT CLogSysInfo::COutputLogState::IsEmpty() {
  Common::CScopedLock hold(lock_);
  return entries_.empty() ? E_FAIL : 0;
}

void CLogSysInfo::COutputLogState::Add(const std::u16string& subject, LONG minLevel, LONG maxLevel) {
  Common::CScopedLock hold(lock_);
  for (Entry& entry : entries_) {
    if (entry.subject == subject && entry.minLevel <= maxLevel && maxLevel <= entry.maxLevel) {
      entry.minLevel = minLevel;
      entry.maxLevel = maxLevel;
      return;
    }
  }
  entries_.push_back({subject, minLevel, maxLevel});
}

CLogSysInfo::CLogSysInfo()
    : filter_(Common::CRefPtr<COutputLogState>::Adopt(new (std::nothrow) COutputLogState)),
      factory_(Common::CRefPtr<IOutputLogSystemFactory>::Adopt(new (std::nothrow) Null::COutputLogSystemFactory)) {}

IOutputLogSystemFactory* CLogSysInfo::GetFactory() { return Common::CRefPtr<IOutputLogSystemFactory>(factory_).Detach(); }

ILogFilter* CLogSysInfo::GetFilter() { return Common::CRefPtr<COutputLogState>(filter_).Detach(); }

}  // namespace opLogSys
