// A host that reaches the library only as a user would: it registers the
// library file into a registry of its own, creates every class by class id
// and by ProgID through the runtime, works through the interfaces, lets the
// runtime unload the file and unregisters it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_safe_array.h"
#include "comrt/com_variant.h"
#include "comrt/marshal.h"
#include "comrt/object.h"
#include "comrt/registry.h"
#include "comrt/text_conversion.h"
#include "support/dom_documents.h"
#include "support/temporary_registry.h"
#include "support/transport_fakes.h"
#include "varnel/varnel.h"

namespace {

using varnel_test::TemporaryRegistry;

struct Class {
  const CLSID* clsid;
  const char16_t* progId;
  const IID* working;
};

const Class kClasses[] = {
    {&CLSID_SoapMsgReaderWriter, u"Varnel.SoapMsgReaderWriter", &IID_IUPnPSoapMsgReaderWriter},
    {&CLSID_InvokeActionRequest, u"Varnel.InvokeActionRequest", &IID_IUPnPInvokeActionRequest},
    {&CLSID_InvokeActionResponse, u"Varnel.InvokeActionResponse", &IID_IUPnPInvokeActionResponse},
    {&CLSID_QueryStateVariableRequest, u"Varnel.QueryStateVariableRequest", &IID_IUPnPQueryStateVariableRequest},
    {&CLSID_QueryStateVariableResponse, u"Varnel.QueryStateVariableResponse", &IID_IUPnPQueryStateVariableResponse},
    {&CLSID_SoapErrorMsg, u"Varnel.SoapErrorMsg", &IID_IUPnPSoapErrorMsg},
    {&CLSID_GenaMsgWriterHelper, u"Varnel.GenaMsgWriterHelper", &IID_IUPnPGenaMsgWriterHelper},
};

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) ? std::string(resolved) : std::string();
}

bool LibraryIsLoaded() {
  void* handle = dlopen(VARNEL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return false;
  dlclose(handle);
  return true;
}

// Calls one entry point of the library file, loaded by a name relative to
// its folder as a registration tool might, and lets it go again.
HRESULT CallEntryPoint(const char* name) {
  const std::string full = RealPath(VARNEL_LIBRARY_PATH);
  const std::string folder = full.substr(0, full.rfind('/'));
  const std::string file = full.substr(full.rfind('/') + 1);
  char previous[PATH_MAX];
  if (!getcwd(previous, sizeof previous) || chdir(folder.c_str()) != 0) return E_FAIL;
  void* handle = dlopen(("./" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
  const int back = chdir(previous);
  if (!handle || back != 0) return E_FAIL;
  using EntryPoint = HRESULT (*)();
  auto entryPoint = reinterpret_cast<EntryPoint>(dlsym(handle, name));
  const HRESULT hr = entryPoint ? entryPoint() : E_FAIL;
  dlclose(handle);
  return hr;
}

template <class T>
CComPtr<T> Create(REFCLSID clsid) {
  CComPtr<T> object;
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, comrt::uuidof<T>(),
                                   reinterpret_cast<void**>(&object)));
  return object;
}

// A control point writes a SetVolume request, a device reads it.
void InvokeActionRoundTrip() {
  const CComVariant description = varnel_test::AsVariant(varnel_test::LoadDataFile("scpd/rendering_control.xml"));
  const CComBSTR serviceType(u"urn:schemas-upnp-org:service:RenderingControl:1");
  CComPtr<IUPnPSoapMsgReaderWriter> controlPoint = Create<IUPnPSoapMsgReaderWriter>(CLSID_SoapMsgReaderWriter);
  CComPtr<IUPnPSoapMsgReaderWriter> device = Create<IUPnPSoapMsgReaderWriter>(CLSID_SoapMsgReaderWriter);
  ASSERT_TRUE(controlPoint && device);
  for (IUPnPSoapMsgReaderWriter* side : {controlPoint.p, device.p}) {
    ASSERT_EQ(S_OK, side->SetServiceType(serviceType));
    ASSERT_EQ(S_OK, side->LoadServiceDescription(description));
  }
  CComSafeArray<VARIANT> values(3);
  values.SetAt(0, CComVariant(0u));
  values.SetAt(1, CComVariant(u"Master"));
  values.SetAt(2, CComVariant(static_cast<unsigned short>(42)));
  CComVariant arguments(values);
  varnel_test::FakeMessageRef sent = varnel_test::MakeRequestMessage();
  ASSERT_EQ(S_OK, controlPoint->WriteInvokeActionRequest(sent.message, CComBSTR(u"SetVolume"), arguments, nullptr));

  varnel_test::FakeMessageRef received = varnel_test::MakeRequestMessage(sent->bodyWriter()->body());
  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, device->ReadMessage(received.message, &object));
  CComQIPtr<IUPnPInvokeActionRequest> request(object);
  ASSERT_TRUE(request);
  CComBSTR name;
  ASSERT_EQ(S_OK, request->GetActionName(&name));
  EXPECT_EQ(std::u16string(u"SetVolume"), name.m_str);
  CComVariant read;
  ASSERT_EQ(S_OK, request->GetArguments(&read));
  CComSafeArray<VARIANT> readValues;
  ASSERT_EQ(S_OK, readValues.CopyFrom(read.parray));
  ASSERT_EQ(3u, readValues.GetCount());
  EXPECT_EQ(VT_UI2, readValues.GetAt(2).vt);
  EXPECT_EQ(42, readValues.GetAt(2).uiVal);
}

void EventValueConversion() {
  CComPtr<IUPnPGenaMsgWriterHelper> helper = Create<IUPnPGenaMsgWriterHelper>(CLSID_GenaMsgWriterHelper);
  ASSERT_TRUE(helper);
  ASSERT_EQ(S_OK, helper->LoadServiceDescription(
                      varnel_test::AsVariant(varnel_test::LoadDataFile("scpd/rendering_control.xml"))));
  CComVariant value;
  ASSERT_EQ(S_OK, helper->ParseStateVariableValue(CComBSTR(u"Mute"), CComBSTR(u"true"), &value));
  CComBSTR text;
  ASSERT_EQ(S_OK, helper->FormatStateVariableValue(CComBSTR(u"Mute"), value, &text));
  EXPECT_EQ(std::u16string(u"1"), text.m_str);
}

TEST(RegisteredServerTest, RegisteredCreatedUsedUnloadedAndUnregistered) {
  TemporaryRegistry registry;
  ASSERT_FALSE(LibraryIsLoaded());
  ASSERT_EQ(S_OK, CallEntryPoint("DllRegisterServer"));
  ASSERT_FALSE(LibraryIsLoaded());
  // The class key names the file by its full path, though it was loaded by a
  // relative one.
  EXPECT_EQ(comrt::FromUtf8(RealPath(VARNEL_LIBRARY_PATH)),
            varnel_test::QueryAt(u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}\\InprocServer32", nullptr));

  for (const Class& entry : kClasses) {
    SCOPED_TRACE(comrt::ToUtf8(entry.progId));
    CLSID byName = GUID_NULL, byVersion = GUID_NULL;
    EXPECT_EQ(S_OK, CLSIDFromProgID(entry.progId, &byName));
    EXPECT_EQ(S_OK, CLSIDFromProgID((std::u16string(entry.progId) + u".1").c_str(), &byVersion));
    EXPECT_EQ(*entry.clsid, byName);
    EXPECT_EQ(*entry.clsid, byVersion);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(S_OK, ProgIDFromCLSID(*entry.clsid, &progId));
    EXPECT_EQ(std::u16string(entry.progId) + u".1", progId);
    CoTaskMemFree(progId);
    for (const CLSID* clsid :
         {entry.clsid, static_cast<const CLSID*>(&byName), static_cast<const CLSID*>(&byVersion)}) {
      CComPtr<IUnknown> object;
      ASSERT_EQ(S_OK, CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, *entry.working,
                                       reinterpret_cast<void**>(&object)));
      CComPtr<IMarshal> marshal;
      EXPECT_EQ(S_OK, object.QueryInterface(&marshal));
    }
  }
  InvokeActionRoundTrip();
  EventValueConversion();

  // Nothing is held any more: the runtime may unload the file.
  ASSERT_TRUE(LibraryIsLoaded());
  void* handle = dlopen(VARNEL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(nullptr, handle);
  auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"));
  ASSERT_NE(nullptr, canUnloadNow);
  EXPECT_EQ(S_OK, canUnloadNow());
  dlclose(handle);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(LibraryIsLoaded());

  ASSERT_EQ(S_OK, CallEntryPoint("DllUnregisterServer"));
  const std::vector<std::string> left = varnel_test::DumpRegistry();
  EXPECT_EQ((std::vector<std::string>{"AppID", "CLSID"}), left);
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(u"Varnel.SoapErrorMsg", &clsid));
  CComPtr<IUnknown> object;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_SoapErrorMsg, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                  reinterpret_cast<void**>(&object)));
}

class LoadedServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, CallEntryPoint("DllRegisterServer")); }
  void TearDown() override {
    CoFreeUnusedLibraries();
    EXPECT_FALSE(LibraryIsLoaded());
  }
  TemporaryRegistry registry_;
};

TEST_F(LoadedServerTest, LiveObjectsAndServerLocksKeepTheFileLoaded) {
  CComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(CLSID_SoapErrorMsg, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)));
  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory.Release();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(LibraryIsLoaded());
  object.Release();  // the server lock still holds it
  CoFreeUnusedLibraries();
  EXPECT_TRUE(LibraryIsLoaded());
  ASSERT_EQ(S_OK, CoGetClassObject(CLSID_SoapErrorMsg, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
}

// Any thread may create and use the library's objects at once.
TEST_F(LoadedServerTest, ThreadsCreateObjectsThroughTheRuntimeAtOnce) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&failures, t] {
      for (int i = 0; i < 100; ++i) {
        CComPtr<IUPnPSoapErrorMsg> error;
        CLSID clsid = GUID_NULL;
        if (FAILED(CLSIDFromProgID(u"Varnel.SoapErrorMsg", &clsid)) ||
            FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUPnPSoapErrorMsg,
                                    reinterpret_cast<void**>(&error))) ||
            FAILED(error->SetErrorCode(t * 1000 + i))) {
          ++failures;
          continue;
        }
        LONG code = 0;
        if (FAILED(error->GetErrorCode(&code)) || code != t * 1000 + i) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, failures.load());
}

// The registry names the library for a class id the library does not have.
TEST_F(LoadedServerTest, AClassTheFileDoesNotHaveIsNotAvailable) {
  const std::u16string key = u"CLSID\\{0BADC0DE-0000-4000-8000-000000000001}\\InprocServer32";
  HKEY handle = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr));
  const std::u16string path = comrt::FromUtf8(RealPath(VARNEL_LIBRARY_PATH));
  ASSERT_EQ(ERROR_SUCCESS, varnel_test::SetText(handle, nullptr, path));
  RegCloseKey(handle);
  const CLSID unknown = {0x0BADC0DE, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
  EXPECT_EQ(nullptr, object);
}

// A caller's object that aggregates the library's error message object
// created through the runtime.
inline constexpr IID IID_IHostOuter = {0x5a0c6a10, 0x2b7e, 0x4c55, {0x8d, 0x31, 0x0e, 0x6f, 0x42, 0x19, 0x77, 0x02}};
struct IHostOuter : public IUnknown {};
}  // namespace
COMRT_DECLARE_INTERFACE(IHostOuter, IUnknown, IID_IHostOuter);
namespace {

class HostOuter : public comrt::ObjectRoot<HostOuter, IHostOuter> {
 public:
  HRESULT FinalConstruct() {
    return CoCreateInstance(CLSID_SoapErrorMsg, GetControllingUnknown(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                            reinterpret_cast<void**>(&inner_));
  }
  HRESULT QueryOtherInterface(REFIID iid, void** object) { return inner_->QueryInterface(iid, object); }

 private:
  CComPtr<IUnknown> inner_;
};

TEST_F(LoadedServerTest, AnAggregatedObjectDelegatesToItsOuterObject) {
  CComPtr<IHostOuter> outer;
  ASSERT_EQ(S_OK, comrt::CreateComObject<HostOuter>(nullptr, IID_IHostOuter, reinterpret_cast<void**>(&outer)));
  CComPtr<IUPnPSoapErrorMsg> error;
  ASSERT_EQ(S_OK, outer.QueryInterface(&error));
  EXPECT_TRUE(error.IsEqualObject(outer));
  CComPtr<IHostOuter> back;
  EXPECT_EQ(S_OK, error.QueryInterface(&back));
  EXPECT_EQ(outer.p, back.p);
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            CoCreateInstance(CLSID_SoapErrorMsg, outer, CLSCTX_INPROC_SERVER, IID_IUPnPSoapErrorMsg, &refused));
  EXPECT_EQ(nullptr, refused);
}

}  // namespace
