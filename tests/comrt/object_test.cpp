#include <gtest/gtest.h>

#include "comrt/com_ptr.h"
#include "comrt/diagnostics.h"
#include "comrt/object.h"

namespace {

constexpr IID IID_IAnimal = {0x7A0F0001, 0x2C3D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};
constexpr IID IID_IDog = {0x7A0F0002, 0x2C3D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};
constexpr IID IID_ICat = {0x7A0F0003, 0x2C3D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};
constexpr IID IID_IOwner = {0x7A0F0004, 0x2C3D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};
constexpr IID IID_IExtra = {0x7A0F0005, 0x2C3D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};
constexpr IID IID_INowhere = {0x7A0F0006, 0x2C3D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};

struct IAnimal : public IUnknown {
  virtual int STDMETHODCALLTYPE Legs() = 0;

 protected:
  ~IAnimal() = default;
};
struct IDog : public IAnimal {
  virtual int STDMETHODCALLTYPE Bark() = 0;

 protected:
  ~IDog() = default;
};
struct ICat : public IUnknown {
  virtual int STDMETHODCALLTYPE Purr() = 0;

 protected:
  ~ICat() = default;
};
struct IOwner : public IUnknown {
  virtual int STDMETHODCALLTYPE Name() = 0;

 protected:
  ~IOwner() = default;
};

}  // namespace

COMRT_DECLARE_INTERFACE(IAnimal, IUnknown, IID_IAnimal);
COMRT_DECLARE_INTERFACE(IDog, IAnimal, IID_IDog);
COMRT_DECLARE_INTERFACE(ICat, IUnknown, IID_ICat);
COMRT_DECLARE_INTERFACE(IOwner, IUnknown, IID_IOwner);

namespace {

int64_t LiveObjects() { return comrt::diagnostics::GetLiveCounts().objects; }

// What the objects below report about their own lives.
struct Trace {
  HRESULT finalConstructResult = S_OK;
  int finalReleases = 0;
  ULONG countSeenDuringCleanup = 0;
};
Trace g_trace;

// Two interfaces, one extending another, plus one more answered by hand.
class Pet : public comrt::ObjectRoot<Pet, IDog, ICat> {
 public:
  HRESULT FinalConstruct() { return g_trace.finalConstructResult; }
  void FinalRelease() {
    ++g_trace.finalReleases;
    // References taken while cleaning up must not bring the count back to
    // zero, or the object would be destroyed a second time.
    g_trace.countSeenDuringCleanup = GetUnknown()->AddRef();
    GetUnknown()->Release();
  }
  HRESULT QueryOtherInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IExtra)) return InternalQueryInterface(IID_ICat, object);
    *object = nullptr;
    return E_NOINTERFACE;
  }
  int STDMETHODCALLTYPE Legs() override { return 4; }
  int STDMETHODCALLTYPE Bark() override { return 1; }
  int STDMETHODCALLTYPE Purr() override { return 2; }
};

// Owns a Pet by aggregation and lets it answer IDog (and so IAnimal).
class Owner : public comrt::ObjectRoot<Owner, IOwner> {
 public:
  HRESULT FinalConstruct() {
    return comrt::CreateComObject<Pet>(GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(&pet_));
  }
  void FinalRelease() { pet_.Release(); }
  HRESULT QueryOtherInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IDog) || IsEqualGUID(iid, IID_IAnimal)) return pet_->QueryInterface(iid, object);
    *object = nullptr;
    return E_NOINTERFACE;
  }
  int STDMETHODCALLTYPE Name() override { return 3; }

  CComPtr<IUnknown> pet_;  // the Pet's inner, non-delegating IUnknown
};

class ObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_trace = Trace{};
    before_ = LiveObjects();
  }
  void TearDown() override { EXPECT_EQ(LiveObjects(), before_); }

  template <class T, class Q>
  CComPtr<Q> Make(const IID& iid) {
    CComPtr<Q> made;
    EXPECT_EQ(comrt::CreateComObject<T>(nullptr, iid, reinterpret_cast<void**>(&made)), S_OK);
    return made;
  }

  int64_t before_ = 0;
};

TEST_F(ObjectTest, AnswersListedInterfacesTheirBasesAndExtrasWithOneIdentity) {
  CComPtr<IDog> dog = Make<Pet, IDog>(IID_IDog);
  ASSERT_TRUE(dog);
  CComPtr<IAnimal> animal;
  ASSERT_EQ(dog.QueryInterface(&animal), S_OK);
  EXPECT_EQ(animal->Legs(), 4);
  CComPtr<ICat> cat;
  ASSERT_EQ(dog.QueryInterface(&cat), S_OK);
  EXPECT_EQ(cat->Purr(), 2);
  CComPtr<ICat> extra;
  ASSERT_EQ(dog->QueryInterface(IID_IExtra, reinterpret_cast<void**>(&extra)), S_OK);
  EXPECT_EQ(extra.p, cat.p);

  // Distinct interface pointers, one identity.
  CComPtr<IUnknown> fromCat, fromDog;
  ASSERT_EQ(cat->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromCat)), S_OK);
  ASSERT_EQ(dog->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromDog)), S_OK);
  EXPECT_EQ(fromCat.p, fromDog.p);
  EXPECT_NE(static_cast<void*>(cat.p), static_cast<void*>(dog.p));

  void* nowhere = reinterpret_cast<void*>(1);
  EXPECT_EQ(dog->QueryInterface(IID_INowhere, &nowhere), E_NOINTERFACE);
  EXPECT_EQ(nowhere, nullptr);
  EXPECT_EQ(dog->QueryInterface(IID_ICat, nullptr), E_POINTER);
}

TEST_F(ObjectTest, LastReleaseDestroysOnce) {
  comrt::CComObject<Pet>* pet = nullptr;
  ASSERT_EQ(comrt::CComObject<Pet>::CreateInstance(&pet), S_OK);
  EXPECT_EQ(LiveObjects(), before_ + 1);
  EXPECT_EQ(pet->AddRef(), 1u);  // the caller takes the first reference
  EXPECT_EQ(pet->AddRef(), 2u);
  EXPECT_EQ(pet->Release(), 1u);
  EXPECT_EQ(g_trace.finalReleases, 0);
  EXPECT_EQ(pet->Release(), 0u);
  EXPECT_EQ(g_trace.finalReleases, 1);
  EXPECT_EQ(LiveObjects(), before_);
}

TEST_F(ObjectTest, ReferencesTakenDuringCleanUpStayFarFromZero) {
  Make<Pet, IDog>(IID_IDog);  // created and released at once
  ASSERT_EQ(g_trace.finalReleases, 1);
  EXPECT_GT(g_trace.countSeenDuringCleanup, 0x10000u);
  EXPECT_LT(g_trace.countSeenDuringCleanup, 0xFFFF0000u);
}

TEST_F(ObjectTest, FailingFinalConstructDestroysTheObjectAndReturnsItsCode) {
  g_trace.finalConstructResult = E_ACCESSDENIED;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(comrt::CreateComObject<Pet>(nullptr, IID_IDog, &object), E_ACCESSDENIED);
  EXPECT_EQ(object, nullptr);

  comrt::CComObject<Pet>* pet = reinterpret_cast<comrt::CComObject<Pet>*>(1);
  EXPECT_EQ(comrt::CComObject<Pet>::CreateInstance(&pet), E_ACCESSDENIED);
  EXPECT_EQ(pet, nullptr);
  EXPECT_EQ(LiveObjects(), before_);
}

TEST_F(ObjectTest, FailedQueryDestroysTheNewObject) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(comrt::CreateComObject<Pet>(nullptr, IID_INowhere, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(g_trace.finalReleases, 1);
  EXPECT_EQ(comrt::CreateComObject<Pet>(nullptr, IID_IDog, nullptr), E_POINTER);
}

TEST_F(ObjectTest, AggregationAsksForIUnknownOnly) {
  CComPtr<IOwner> owner = Make<Owner, IOwner>(IID_IOwner);
  const int64_t withOwner = LiveObjects();
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(comrt::CreateComObject<Pet>(owner, IID_IDog, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(LiveObjects(), withOwner);  // nothing was made
}

TEST_F(ObjectTest, AggregatedInterfacesDelegateToTheOuterObject) {
  CComPtr<IOwner> owner = Make<Owner, IOwner>(IID_IOwner);
  EXPECT_EQ(LiveObjects(), before_ + 2);
  CComPtr<IDog> dog;
  ASSERT_EQ(owner.QueryInterface(&dog), S_OK);
  EXPECT_EQ(dog->Bark(), 1);

  // Identity and every query go through the outer object, which does not
  // expose ICat although the inner object implements it.
  EXPECT_TRUE(dog.IsEqualObject(owner));
  CComPtr<IOwner> back;
  EXPECT_EQ(dog.QueryInterface(&back), S_OK);
  EXPECT_EQ(back.p, owner.p);
  CComPtr<ICat> cat;
  EXPECT_EQ(dog.QueryInterface(&cat), E_NOINTERFACE);

  // References on the inner interface count on the outer object.
  back.Release();
  owner.Release();
  EXPECT_EQ(LiveObjects(), before_ + 2);
  EXPECT_EQ(g_trace.finalReleases, 0);
  dog.Release();
  EXPECT_EQ(g_trace.finalReleases, 1);  // the aggregated Pet went with its owner
}

TEST_F(ObjectTest, InnerUnknownIsNotDelegating) {
  CComPtr<IOwner> owner = Make<Owner, IOwner>(IID_IOwner);
  IUnknown* inner = static_cast<comrt::CComObject<Owner>*>(owner.p)->pet_;

  CComPtr<IUnknown> self;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&self)), S_OK);
  EXPECT_EQ(self.p, inner);
  EXPECT_FALSE(owner.IsEqualObject(inner));
  CComPtr<ICat> cat;  // the inner object answers its own list
  EXPECT_EQ(inner->QueryInterface(IID_ICat, reinterpret_cast<void**>(&cat)), S_OK);
  void* nowhere = reinterpret_cast<void*>(1);
  EXPECT_EQ(inner->QueryInterface(IID_INowhere, &nowhere), E_NOINTERFACE);
  EXPECT_EQ(nowhere, nullptr);
}

class FailingOwner : public comrt::ObjectRoot<FailingOwner, IOwner> {
 public:
  HRESULT FinalConstruct() {
    g_trace.finalConstructResult = E_ABORT;
    return comrt::CreateComObject<Pet>(GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(&pet_));
  }
  int STDMETHODCALLTYPE Name() override { return 0; }

 private:
  CComPtr<IUnknown> pet_;
};

TEST_F(ObjectTest, FailingAggregatedConstructionLeavesNothingBehind) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(comrt::CreateComObject<FailingOwner>(nullptr, IID_IOwner, &object), E_ABORT);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(LiveObjects(), before_);
}

}  // namespace
