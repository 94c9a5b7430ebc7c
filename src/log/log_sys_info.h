// A configuration of the log system: its filter (which subjects and levels
// are written) and its factory (where they go).
#pragma once

#include <string>
#include <vector>

#include "log/lock_objects.h"
#include "log/log_interfaces.h"

namespace opLogSys {

class CLogSysInfo final : public Common::CReference<ILogSysInfo> {
 public:
  // The filter: entries {subject, minLevel, maxLevel} in the order added.
  class COutputLogState final : public Common::CReference<ILogFilter> {
   public:
    // 0 when the first entry of `subject` (exact, case-sensitive) whose
    // range holds `level` exists; E_FAIL otherwise, and always when empty.
    HRESULT IsFiltered(const char16_t* subject, int level) override;
    HRESULT IsEmpty() override;
    // Overwrites the range of the first entry of `subject` whose range holds
    // `maxLevel`, else appends the entry. Throws std::bad_alloc only.
    void Add(const std::u16string& subject, LONG minLevel, LONG maxLevel);

   private:
    struct Entry {
      std::u16string subject;
      LONG minLevel;
      LONG maxLevel;
    };
    std::vector<Entry> entries_;
    Common::CCriticalSection lock_;
  };

  // An empty filter and a Null factory (either null when memory ran out).
  CLogSysInfo();

  IOutputLogSystemFactory* GetFactory() override;
  ILogFilter* GetFilter() override;

  // Replaces the factory (the last one set wins).
  void SetFactory(Common::CRefPtr<IOutputLogSystemFactory> factory) { factory_ = std::move(factory); }
  // The filter, to add entries to; null when memory ran out.
  COutputLogState* Filter() { return filter_.Get(); }

 private:
  Common::CRefPtr<COutputLogState> filter_;
  Common::CRefPtr<IOutputLogSystemFactory> factory_;
};

}  // namespace opLogSys
