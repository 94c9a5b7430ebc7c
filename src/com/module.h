// The module object: the library's lock count, its class objects and its
// registration.
#pragma once

#include <atomic>

#include "comrt/guid.h"
#include "comrt/result_codes.h"

namespace varnel {

class CVarnelModule {
 public:
  constexpr CVarnelModule() = default;
  CVarnelModule(const CVarnelModule&) = delete;
  CVarnelModule& operator=(const CVarnelModule&) = delete;

  // The module made by the library's static initialisation.
  static CVarnelModule& Instance();

  // Every live object and every server lock holds one count.
  void Lock() noexcept { lockCount_.fetch_add(1, std::memory_order_relaxed); }
  void Unlock() noexcept { lockCount_.fetch_sub(1, std::memory_order_acq_rel); }
  LONG GetLockCount() const noexcept { return lockCount_.load(std::memory_order_acquire); }

  // The AppID under which every class registers.
  static constexpr const char16_t* kAppId = u"{645A3A6E-6D8A-4536-B888-4332E0832966}";

  // The class object of `clsid`, asked for `iid`; CLASS_E_CLASSNOTAVAILABLE
  // for a class that is not the library's, E_POINTER.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept;
  // S_OK when the lock count is 0, else S_FALSE.
  HRESULT CanUnloadNow() const noexcept { return GetLockCount() == 0 ? S_OK : S_FALSE; }

  // Writes the AppID keys, then every class's keys naming the file this
  // module was loaded from; the first failure ends it (with what the
  // registrar reports). The calling thread runs in the system default locale
  // meanwhile and gets its own back.
  HRESULT RegisterServer() noexcept;
  // Removes every class's keys, then the AppID keys; the first failure ends
  // it. Keys that do not exist are no failure.
  HRESULT UnregisterServer() noexcept;

 private:
  std::atomic<LONG> lockCount_{0};
};

// The lock policy of the library's objects and class objects.
struct ModuleLock {
  static void Lock() noexcept { CVarnelModule::Instance().Lock(); }
  static void Unlock() noexcept { CVarnelModule::Instance().Unlock(); }
};

}  // namespace varnel
