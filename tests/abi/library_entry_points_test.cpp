// The library file as a host sees it: loaded by path, reached only through
// its exported entry points and the public interfaces.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "varnel/varnel.h"

namespace {

class LibraryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(VARNEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, handle_) << dlerror();
    getClassObject_ = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle_, "DllGetClassObject"));
    canUnloadNow_ = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle_, "DllCanUnloadNow"));
    ASSERT_NE(nullptr, getClassObject_);
    ASSERT_NE(nullptr, canUnloadNow_);
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }

  void* handle_ = nullptr;
  LPFNGETCLASSOBJECT getClassObject_ = nullptr;
  LPFNCANUNLOADNOW canUnloadNow_ = nullptr;
};

TEST_F(LibraryFile, ExportsEntryPointsAndHidesItsInternals) {
  EXPECT_NE(nullptr, dlsym(handle_, "DllRegisterServer"));
  EXPECT_NE(nullptr, dlsym(handle_, "DllUnregisterServer"));
  EXPECT_EQ(nullptr, dlsym(handle_, "_ZN6varnel13CVarnelModule8InstanceEv"));
  EXPECT_EQ(nullptr, dlsym(handle_, "_ZN10log4halden6Logger8InstanceEv"));
  EXPECT_EQ(nullptr, dlsym(handle_, "_ZN6varnel14DescribeResultEi"));
}

TEST_F(LibraryFile, MakesMessageObjectsThroughClassObjects) {
  ASSERT_EQ(S_OK, canUnloadNow_());
  {
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject_(CLSID_SoapErrorMsg, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    CComPtr<IUPnPSoapErrorMsg> error;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUPnPSoapErrorMsg, reinterpret_cast<void**>(&error)));
    factory.Release();
    EXPECT_EQ(S_FALSE, canUnloadNow_());
    EXPECT_EQ(S_OK, error->SetErrorDescription(CComBSTR(u"Invalid Args")));
    CComBSTR description;
    EXPECT_EQ(S_OK, error->GetErrorDescription(&description));
    EXPECT_EQ(std::u16string(u"Invalid Args"), description.m_str);
  }
  EXPECT_EQ(S_OK, canUnloadNow_());
}

}  // namespace
