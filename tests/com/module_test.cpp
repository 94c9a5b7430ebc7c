// The component frame: class objects, the lock count that decides unloading,
// aggregation and the free-threaded marshaler of every class.
#include <gtest/gtest.h>

#include "com/module.h"
#include "comrt/com_ptr.h"
#include "comrt/marshal.h"
#include "comrt/object.h"
#include "varnel/varnel.h"

namespace {

const CLSID* const kClasses[] = {&CLSID_SoapMsgReaderWriter,        &CLSID_InvokeActionRequest,
                                 &CLSID_InvokeActionResponse,       &CLSID_QueryStateVariableRequest,
                                 &CLSID_QueryStateVariableResponse, &CLSID_SoapErrorMsg,
                                 &CLSID_GenaMsgWriterHelper};
constexpr size_t kClassCount = sizeof kClasses / sizeof kClasses[0];

CComPtr<IClassFactory> ClassObject(REFCLSID clsid) {
  CComPtr<IClassFactory> factory;
  EXPECT_EQ(S_OK, DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  return factory;
}

TEST(ClassObjectTest, OnlyTheLibrarysClassesAreAvailable) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(IID_IUnknown, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_SoapErrorMsg, IID_IClassFactory, nullptr));
  EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_SoapErrorMsg, IID_IMarshal, &object));
  // One class object per class, whoever asks.
  EXPECT_EQ(ClassObject(CLSID_SoapErrorMsg).p, ClassObject(CLSID_SoapErrorMsg).p);
}

TEST(ClassObjectTest, EveryClassAnswersItsInterfacesAndTheMarshaler) {
  const IID* const kEmpty[] = {&IID_ISoapMsgReaderWriter,        &IID_IInvokeActionRequest,
                               &IID_IInvokeActionResponse,       &IID_IQueryStateVariableRequest,
                               &IID_IQueryStateVariableResponse, &IID_ISoapErrorMsg,
                               &IID_IGenaMsgWriterHelper};
  const IID* const kWorking[] = {&IID_IUPnPSoapMsgReaderWriter,        &IID_IUPnPInvokeActionRequest,
                                 &IID_IUPnPInvokeActionResponse,       &IID_IUPnPQueryStateVariableRequest,
                                 &IID_IUPnPQueryStateVariableResponse, &IID_IUPnPSoapErrorMsg,
                                 &IID_IUPnPGenaMsgWriterHelper};
  for (size_t i = 0; i < kClassCount; ++i) {
    SCOPED_TRACE(i);
    CComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, ClassObject(*kClasses[i])->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    CComPtr<IUnknown> empty, working, other;
    EXPECT_EQ(S_OK, object->QueryInterface(*kEmpty[i], reinterpret_cast<void**>(&empty)));
    EXPECT_EQ(S_OK, object->QueryInterface(*kWorking[i], reinterpret_cast<void**>(&working)));
    EXPECT_TRUE(working.IsEqualObject(object));
    EXPECT_EQ(E_NOINTERFACE,
              object->QueryInterface(*kWorking[(i + 1) % kClassCount], reinterpret_cast<void**>(&other)));

    CComPtr<IMarshal> marshal;
    ASSERT_EQ(S_OK, object.QueryInterface(&marshal));
    CLSID unmarshaler = GUID_NULL;
    EXPECT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IUnknown, object, MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL,
                                               &unmarshaler));
    EXPECT_EQ(CLSID_InProcFreeMarshaler, unmarshaler);
    EXPECT_TRUE(marshal.IsEqualObject(object));  // the marshaler speaks for the object
  }
}

TEST(ModuleLockTest, LiveObjectsFactoriesAndServerLocksKeepTheLibraryLoaded) {
  ASSERT_EQ(S_OK, DllCanUnloadNow());
  {
    CComPtr<IClassFactory> factory = ClassObject(CLSID_InvokeActionRequest);
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    CComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    factory.Release();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    object.Release();
    EXPECT_EQ(S_OK, DllCanUnloadNow());
  }
  {
    CComPtr<IClassFactory> factory = ClassObject(CLSID_SoapErrorMsg);
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Release();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    EXPECT_EQ(S_OK, ClassObject(CLSID_SoapErrorMsg)->LockServer(FALSE));
    EXPECT_EQ(S_OK, DllCanUnloadNow());
  }
}

// A caller's object that aggregates one of the library's classes and exposes
// its interfaces as its own.
inline constexpr IID IID_ITestOuter = {0x7d1e0c52, 0x3c2f, 0x4f1a, {0x9e, 0x11, 0x52, 0x8a, 0x0b, 0x4c, 0x6d, 0x01}};
struct ITestOuter : public IUnknown {};
}  // namespace
COMRT_DECLARE_INTERFACE(ITestOuter, IUnknown, IID_ITestOuter);
namespace {

class TestOuter : public comrt::ObjectRoot<TestOuter, ITestOuter> {
 public:
  HRESULT FinalConstruct() {
    CComPtr<IClassFactory> factory = ClassObject(CLSID_SoapErrorMsg);
    return factory->CreateInstance(GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(&inner_));
  }
  HRESULT QueryOtherInterface(REFIID iid, void** object) { return inner_->QueryInterface(iid, object); }

 private:
  CComPtr<IUnknown> inner_;
};

TEST(AggregationTest, OnlyIUnknownMayBeAskedForWhenAggregating) {
  CComPtr<IUnknown> outer;
  ASSERT_EQ(S_OK, comrt::CreateComObject<TestOuter>(nullptr, IID_IUnknown, reinterpret_cast<void**>(&outer)));
  for (const CLSID* clsid : kClasses) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, ClassObject(*clsid)->CreateInstance(outer, IID_IUPnPSoapErrorMsg, &object));
    EXPECT_EQ(nullptr, object);
    // The inner IUnknown is handed out for every class.
    CComPtr<IUnknown> inner;
    EXPECT_EQ(S_OK, ClassObject(*clsid)->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
  }
}

TEST(AggregationTest, AggregatedObjectSpeaksForItsOuterObject) {
  CComPtr<ITestOuter> outer;
  ASSERT_EQ(S_OK, comrt::CreateComObject<TestOuter>(nullptr, IID_ITestOuter, reinterpret_cast<void**>(&outer)));
  CComPtr<IUPnPSoapErrorMsg> error;
  ASSERT_EQ(S_OK, outer.QueryInterface(&error));
  EXPECT_EQ(S_OK, error->SetErrorCode(501));
  // Identity and every query go to the outer object.
  EXPECT_TRUE(error.IsEqualObject(outer));
  CComPtr<ITestOuter> back;
  EXPECT_EQ(S_OK, error.QueryInterface(&back));
  EXPECT_EQ(outer.p, back.p);
  CComPtr<IMarshal> marshal;
  EXPECT_EQ(S_OK, error.QueryInterface(&marshal));
  EXPECT_TRUE(marshal.IsEqualObject(outer));
  // The outer object's count carries all references: releasing it last
  // destroys both (the test main checks nothing is left).
  outer.Release();
  back.Release();
  marshal.Release();
  LONG code = 0;
  EXPECT_EQ(S_OK, error->GetErrorCode(&code));
  EXPECT_EQ(501, code);
}

}  // namespace
