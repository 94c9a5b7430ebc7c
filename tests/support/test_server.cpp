// The test server's library file: DllGetClassObject and DllCanUnloadNow over
// one class, with the lock count that decides unloading.
#include "support/test_server.h"

#include <atomic>

#include "comrt/class_factory.h"
#include "comrt/object.h"

namespace {

std::atomic<long> g_locks{0};

struct ServerLock {
  static void Lock() { g_locks.fetch_add(1); }
  static void Unlock() { g_locks.fetch_sub(1); }
};

class TestThing : public comrt::ObjectRoot<TestThing, ITestThing> {
 public:
  TestThing() { ServerLock::Lock(); }
  ~TestThing() { ServerLock::Unlock(); }
  HRESULT STDMETHODCALLTYPE Answer(LONG* answer) override {
    if (!answer) return E_POINTER;
    *answer = 42;
    return S_OK;
  }
};

comrt::ClassFactory<TestThing, ServerLock> g_factory;

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualGUID(clsid, CLSID_TestThing)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, object);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
  return g_locks.load() == 0 ? S_OK : S_FALSE;
}
