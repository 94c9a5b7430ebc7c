// Creating objects through the registry: a server file named by a class's
// InprocServer32 key is loaded once, asked for its class objects and
// unloaded when it says it may be; ProgIDs lead to class ids and back.
#include "comrt/activation.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "comrt/com_ptr.h"
#include "comrt/registry.h"
#include "comrt/text_conversion.h"
#include "comrt/xml_dom.h"
#include "support/temporary_registry.h"
#include "support/test_server.h"

namespace {

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) ? std::string(resolved) : std::string();
}

bool ServerIsLoaded() {
  void* handle = dlopen(TEST_SERVER_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

void SetDefault(const std::u16string& keyPath, const std::u16string& value) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, varnel_test::SetText(key, nullptr, value));
  RegCloseKey(key);
}

const char16_t kThingKey[] = u"CLSID\\{2F0C7E11-6A3B-4D2E-9B41-0C77155E2A01}";

class ActivationTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerIsLoaded());
  }
  void RegisterThing(const std::string& path) {
    SetDefault(std::u16string(kThingKey) + u"\\InprocServer32", comrt::FromUtf8(path));
    SetDefault(std::u16string(kThingKey) + u"\\ProgID", u"Test.Thing.1");
    SetDefault(u"Test.Thing.1\\CLSID", u"{2f0c7e11-6a3b-4d2e-9b41-0c77155e2a01}");
    SetDefault(u"Test.Thing\\CurVer", u"Test.Thing.1");
  }
  HRESULT CreateThing(CComPtr<ITestThing>& thing, DWORD context = CLSCTX_INPROC_SERVER) {
    return CoCreateInstance(CLSID_TestThing, nullptr, context, IID_ITestThing, reinterpret_cast<void**>(&thing));
  }
  varnel_test::TemporaryRegistry registry_;
};

TEST_F(ActivationTest, ARegisteredServerIsLoadedOnceAndUnloadedWhenItMayBe) {
  RegisterThing(TEST_SERVER_PATH);
  ASSERT_FALSE(ServerIsLoaded());
  CComPtr<ITestThing> first, second;
  ASSERT_EQ(S_OK, CreateThing(first));
  ASSERT_EQ(S_OK, CreateThing(second));
  LONG answer = 0;
  EXPECT_EQ(S_OK, first->Answer(&answer));
  EXPECT_EQ(42, answer);
  ASSERT_TRUE(ServerIsLoaded());

  CoFreeUnusedLibraries();  // an object is alive
  EXPECT_TRUE(ServerIsLoaded());
  first.Release();
  second.Release();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ServerIsLoaded());

  // Loaded again on the next creation, and only for an in-process context.
  EXPECT_EQ(S_OK, CreateThing(first));
  first.Release();
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateThing(first, CLSCTX_LOCAL_SERVER));
}

TEST_F(ActivationTest, WithADelayAServerIsUnloadedOnlyOnceItHasStayedUnused) {
  RegisterThing(TEST_SERVER_PATH);
  CComPtr<ITestThing> thing;
  ASSERT_EQ(S_OK, CreateThing(thing));
  thing.Release();
  CoFreeUnusedLibrariesEx(5, 0);  // first seen unused now
  EXPECT_TRUE(ServerIsLoaded());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(S_OK, CreateThing(thing));
  CoFreeUnusedLibrariesEx(5, 0);  // in use again: the wait starts over
  thing.Release();
  CoFreeUnusedLibrariesEx(5, 0);
  EXPECT_TRUE(ServerIsLoaded());
  CoFreeUnusedLibrariesEx(5, 1);  // reserved must be 0
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  CoFreeUnusedLibrariesEx(5, 1);
  EXPECT_TRUE(ServerIsLoaded());
  CoFreeUnusedLibrariesEx(5, 0);
  EXPECT_FALSE(ServerIsLoaded());
}

TEST_F(ActivationTest, AClassObjectHeldByTheCallerKeepsTheServerLoaded) {
  RegisterThing(TEST_SERVER_PATH);
  CComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(CLSID_TestThing, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)));
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ServerIsLoaded());
  factory.Release();
}

TEST_F(ActivationTest, ServerFilesThatCannotServeGiveTheirCodes) {
  CComPtr<ITestThing> thing;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateThing(thing));  // nothing registered

  RegisterThing(registry_.Folder() + "/missing.so");
  EXPECT_EQ(CO_E_DLLNOTFOUND, CreateThing(thing));

  const std::string notALibrary = registry_.Folder() + "/text.so";
  std::ofstream(notALibrary) << "not a library\n";
  RegisterThing(notALibrary);
  EXPECT_EQ(CO_E_ERRORINDLL, CreateThing(thing));

  RegisterThing(COMRT_LIBRARY_PATH);  // loads, but serves no class
  EXPECT_EQ(CO_E_ERRORINDLL, CreateThing(thing));

  RegisterThing("");
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateThing(thing));
  EXPECT_EQ(nullptr, thing.p);
}

TEST_F(ActivationTest, AServerFileMayBeUsedWithoutRegistration) {
  CComPtr<ITestThing> thing;
  const std::u16string path = comrt::FromUtf8(TEST_SERVER_PATH);
  ASSERT_EQ(S_OK, comrt::CreateInstanceFromFile(path.c_str(), CLSID_TestThing, nullptr, IID_ITestThing,
                                                reinterpret_cast<void**>(&thing)));
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            comrt::GetClassObjectFromFile(path.c_str(), IID_ITestThing, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_INVALIDARG, comrt::GetClassObjectFromFile(u"", CLSID_TestThing, IID_IClassFactory, &object));
  EXPECT_EQ(E_INVALIDARG, comrt::GetClassObjectFromFile(nullptr, CLSID_TestThing, IID_IClassFactory, &object));
  EXPECT_EQ(E_POINTER, comrt::GetClassObjectFromFile(path.c_str(), CLSID_TestThing, IID_IClassFactory, nullptr));

  // A registered class naming the same file by another name shares the load.
  const std::string link = registry_.Folder() + "/linked.so";
  ASSERT_EQ(0, symlink(RealPath(TEST_SERVER_PATH).c_str(), link.c_str()));
  RegisterThing(link);
  CComPtr<ITestThing> registered;
  ASSERT_EQ(S_OK, CreateThing(registered));
  thing.Release();
  registered.Release();
}

TEST_F(ActivationTest, ProgIdsLeadToClassIdsAndBack) {
  RegisterThing(TEST_SERVER_PATH);
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(S_OK, CLSIDFromProgID(u"Test.Thing.1", &clsid));
  EXPECT_EQ(CLSID_TestThing, clsid);
  clsid = GUID_NULL;
  EXPECT_EQ(S_OK, CLSIDFromProgID(u"TEST.THING", &clsid));  // through CurVer, names in any case
  EXPECT_EQ(CLSID_TestThing, clsid);

  LPOLESTR progId = nullptr;
  ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_TestThing, &progId));
  EXPECT_EQ(std::u16string(u"Test.Thing.1"), progId);
  CoTaskMemFree(progId);
  EXPECT_EQ(REGDB_E_CLASSNOTREG, ProgIDFromCLSID(IID_ITestThing, &progId));
  EXPECT_EQ(nullptr, progId);
  EXPECT_EQ(E_INVALIDARG, ProgIDFromCLSID(CLSID_TestThing, nullptr));

  EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(u"Test.Nothing", &clsid));
  EXPECT_EQ(E_INVALIDARG, CLSIDFromProgID(nullptr, &clsid));
  EXPECT_EQ(E_INVALIDARG, CLSIDFromProgID(u"Test.Thing", nullptr));
  SetDefault(u"Test.Broken\\CLSID", u"not a class id");
  EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(u"Test.Broken", &clsid));
  // ProgIDs whose current versions name each other end.
  SetDefault(u"Test.Ping\\CurVer", u"Test.Pong");
  SetDefault(u"Test.Pong\\CurVer", u"Test.Ping");
  EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(u"Test.Ping", &clsid));
}

TEST_F(ActivationTest, AnUnreadableRegistryIsToldApartFromAnUnregisteredClass) {
  RegisterThing(TEST_SERVER_PATH);
  std::ofstream(registry_.StorePath(), std::ios::app) << "[unterminated\n";
  CComPtr<ITestThing> thing;
  EXPECT_EQ(REGDB_E_READREGDB, CreateThing(thing));
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(REGDB_E_READREGDB, CLSIDFromProgID(u"Test.Thing.1", &clsid));
  LPOLESTR progId = nullptr;
  EXPECT_EQ(REGDB_E_READREGDB, ProgIDFromCLSID(CLSID_TestThing, &progId));
  // The built-in classes need no registry.
  CComPtr<IUnknown> document;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&document)));
}

}  // namespace
