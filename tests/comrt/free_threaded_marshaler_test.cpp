#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "comrt/com_ptr.h"
#include "comrt/diagnostics.h"
#include "comrt/marshal.h"
#include "comrt/object.h"
#include "support/memory_stream.h"

namespace {

constexpr IID IID_ICounter = {0x5E1D6F20, 0x1B7C, 0x4C1E, {0x9A, 0x41, 0x6D, 0x0E, 0x3B, 0x55, 0x12, 0x01}};
constexpr IID IID_IMissing = {0x5E1D6F20, 0x1B7C, 0x4C1E, {0x9A, 0x41, 0x6D, 0x0E, 0x3B, 0x55, 0x12, 0x02}};

struct ICounter : public IUnknown {
  virtual int STDMETHODCALLTYPE Next() = 0;

 protected:
  ~ICounter() = default;
};

}  // namespace

COMRT_DECLARE_INTERFACE(ICounter, IUnknown, IID_ICounter);

namespace {

int64_t LiveObjects() { return comrt::diagnostics::GetLiveCounts().objects; }

// The usual shape of a free-threaded object: the marshaler is aggregated in
// FinalConstruct and answers IMarshal on the object's behalf.
class Counter : public comrt::ObjectRoot<Counter, ICounter> {
 public:
  HRESULT FinalConstruct() { return CoCreateFreeThreadedMarshaler(GetControllingUnknown(), &marshaler_); }
  void FinalRelease() { marshaler_.Release(); }
  HRESULT QueryOtherInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IMarshal)) return marshaler_->QueryInterface(iid, object);
    *object = nullptr;
    return E_NOINTERFACE;
  }
  int STDMETHODCALLTYPE Next() override { return ++value_; }

 private:
  CComPtr<IUnknown> marshaler_;
  int value_ = 0;
};

using comrt_test::MemoryStream;
using Stream = comrt::CComObject<MemoryStream>;

class FreeThreadedMarshalerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(comrt::CreateComObject<Counter>(nullptr, IID_ICounter, reinterpret_cast<void**>(&counter_)), S_OK);
    ASSERT_EQ(counter_.QueryInterface(&marshal_), S_OK);
    Stream* stream = nullptr;
    ASSERT_EQ(Stream::CreateInstance(&stream), S_OK);
    stream_ = stream;
    streamObject_ = stream;
  }

  HRESULT Marshal(DWORD flags = MSHLFLAGS_NORMAL) {
    return marshal_->MarshalInterface(stream_, IID_ICounter, counter_.p, MSHCTX_INPROC, nullptr, flags);
  }
  void Rewind() { streamObject_->position = 0; }

  CComPtr<ICounter> counter_;
  CComPtr<IMarshal> marshal_;
  CComPtr<IStream> stream_;
  Stream* streamObject_ = nullptr;  // kept alive by stream_
};

TEST_F(FreeThreadedMarshalerTest, IMarshalSharesTheOuterObjectsIdentityAndLifetime) {
  EXPECT_TRUE(counter_.IsEqualObject(marshal_));
  CComPtr<ICounter> back;
  EXPECT_EQ(marshal_.QueryInterface(&back), S_OK);
  EXPECT_EQ(back.p, counter_.p);

  const int64_t before = LiveObjects();
  back.Release();
  counter_.Release();  // the IMarshal reference alone must keep everything alive
  EXPECT_EQ(LiveObjects(), before);
  marshal_.Release();
  EXPECT_EQ(LiveObjects(), before - 2);  // the object and its marshaler
}

TEST(FreeThreadedMarshalerCreateTest, InnerUnknownIsNotDelegatingAndNeedsAnOuter) {
  IUnknown* marshaler = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(CoCreateFreeThreadedMarshaler(nullptr, &marshaler), E_INVALIDARG);
  EXPECT_EQ(marshaler, nullptr);
  CComPtr<ICounter> counter;
  ASSERT_EQ(comrt::CreateComObject<Counter>(nullptr, IID_ICounter, reinterpret_cast<void**>(&counter)), S_OK);
  EXPECT_EQ(CoCreateFreeThreadedMarshaler(counter, nullptr), E_POINTER);

  CComPtr<IUnknown> inner;
  ASSERT_EQ(CoCreateFreeThreadedMarshaler(counter, &inner), S_OK);
  CComPtr<IUnknown> identity;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity.p, inner.p);
  EXPECT_FALSE(counter.IsEqualObject(inner));
}

TEST_F(FreeThreadedMarshalerTest, DescribesInProcessMarshalingOnly) {
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(marshal_->GetUnmarshalClass(IID_ICounter, counter_.p, MSHCTX_INPROC, nullptr, 0, &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_InProcFreeMarshaler);
  EXPECT_EQ(marshal_->GetUnmarshalClass(IID_ICounter, counter_.p, MSHCTX_CROSSCTX, nullptr, 0, &clsid), S_OK);
  DWORD size = 0;
  ASSERT_EQ(marshal_->GetMarshalSizeMax(IID_ICounter, counter_.p, MSHCTX_INPROC, nullptr, 0, &size), S_OK);

  for (DWORD context : {MSHCTX_LOCAL, MSHCTX_NOSHAREDMEM, MSHCTX_DIFFERENTMACHINE}) {
    EXPECT_EQ(marshal_->GetUnmarshalClass(IID_ICounter, counter_.p, context, nullptr, 0, &clsid), E_NOTIMPL);
    EXPECT_EQ(marshal_->MarshalInterface(stream_, IID_ICounter, counter_.p, context, nullptr, 0), E_NOTIMPL);
  }
  EXPECT_TRUE(streamObject_->bytes.empty());

  ASSERT_EQ(Marshal(), S_OK);
  EXPECT_LE(streamObject_->bytes.size(), size);
  Rewind();
  EXPECT_EQ(marshal_->ReleaseMarshalData(stream_), S_OK);
}

TEST_F(FreeThreadedMarshalerTest, RoundTripAcrossThreadsHandsOverTheSamePointer) {
  ASSERT_EQ(Marshal(), S_OK);
  Rewind();
  ICounter* received = nullptr;
  int value = 0;
  std::thread other([&] {
    CComPtr<ICounter> unmarshaled;
    if (SUCCEEDED(marshal_->UnmarshalInterface(stream_, IID_ICounter, reinterpret_cast<void**>(&unmarshaled)))) {
      received = unmarshaled;
      value = unmarshaled->Next();
    }
  });
  other.join();
  EXPECT_EQ(received, counter_.p);
  EXPECT_EQ(value, 1);

  // The record held one reference and the unmarshal handed it over: dropping
  // ours now destroys the object.
  const int64_t before = LiveObjects();
  marshal_.Release();
  counter_.Release();
  EXPECT_EQ(LiveObjects(), before - 2);
}

TEST_F(FreeThreadedMarshalerTest, NormalRecordIsConsumedByItsFirstUse) {
  ASSERT_EQ(Marshal(), S_OK);
  Rewind();
  CComPtr<ICounter> first;
  ASSERT_EQ(marshal_->UnmarshalInterface(stream_, IID_ICounter, reinterpret_cast<void**>(&first)), S_OK);

  Rewind();
  void* second = reinterpret_cast<void*>(1);
  EXPECT_TRUE(FAILED(marshal_->UnmarshalInterface(stream_, IID_ICounter, &second)));
  EXPECT_EQ(second, nullptr);
  Rewind();
  EXPECT_TRUE(FAILED(marshal_->ReleaseMarshalData(stream_)));
  EXPECT_EQ(first->Next(), 1);  // not over-released
}

TEST_F(FreeThreadedMarshalerTest, TableStrongRecordServesUntilReleased) {
  ASSERT_EQ(Marshal(MSHLFLAGS_TABLESTRONG), S_OK);
  for (int i = 0; i < 2; ++i) {
    Rewind();
    CComPtr<ICounter> unmarshaled;
    ASSERT_EQ(marshal_->UnmarshalInterface(stream_, IID_ICounter, reinterpret_cast<void**>(&unmarshaled)), S_OK);
    EXPECT_EQ(unmarshaled.p, counter_.p);
  }
  // Once the object is reachable only through the record, any marshaler can
  // release the record, as the unmarshaling side would.
  CComPtr<ICounter> other;
  ASSERT_EQ(comrt::CreateComObject<Counter>(nullptr, IID_ICounter, reinterpret_cast<void**>(&other)), S_OK);
  CComQIPtr<IMarshal> otherMarshal(other);
  ASSERT_TRUE(otherMarshal);
  const int64_t before = LiveObjects();
  marshal_.Release();
  counter_.Release();
  EXPECT_EQ(LiveObjects(), before);  // the record still holds it
  Rewind();
  EXPECT_EQ(otherMarshal->ReleaseMarshalData(stream_), S_OK);
  EXPECT_EQ(LiveObjects(), before - 2);
}

TEST_F(FreeThreadedMarshalerTest, UnmarshalForAMissingInterfaceStillConsumesTheRecord) {
  ASSERT_EQ(Marshal(), S_OK);
  Rewind();
  void* missing = reinterpret_cast<void*>(1);
  EXPECT_EQ(marshal_->UnmarshalInterface(stream_, IID_IMissing, &missing), E_NOINTERFACE);
  EXPECT_EQ(missing, nullptr);
  const int64_t before = LiveObjects();
  marshal_.Release();
  counter_.Release();
  EXPECT_EQ(LiveObjects(), before - 2);
}

TEST_F(FreeThreadedMarshalerTest, FailedWriteKeepsNoReference) {
  streamObject_->failWith = STG_E_WRITEFAULT;
  EXPECT_EQ(Marshal(), STG_E_WRITEFAULT);
  const int64_t before = LiveObjects();
  marshal_.Release();
  counter_.Release();
  EXPECT_EQ(LiveObjects(), before - 2);
}

TEST_F(FreeThreadedMarshalerTest, RefusesMalformedRecordsWithoutTouchingThem) {
  ASSERT_EQ(Marshal(), S_OK);
  const std::string valid = streamObject_->bytes;

  std::vector<std::string> malformed = {{}, {1, 2, 3}, std::string(valid.size(), '\xA5')};
  malformed.push_back(valid.substr(0, valid.size() - 1));  // cut short
  for (size_t i = 0; i < valid.size(); ++i) {
    std::string flipped = valid;  // any single byte changed
    flipped[i] ^= 0x40;
    malformed.push_back(flipped);
  }
  for (const std::string& bytes : malformed) {
    streamObject_->bytes = bytes;
    Rewind();
    void* object = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(marshal_->UnmarshalInterface(stream_, IID_ICounter, &object)));
    EXPECT_EQ(object, nullptr);
    Rewind();
    EXPECT_TRUE(FAILED(marshal_->ReleaseMarshalData(stream_)));
  }

  // The genuine record survived all that and still releases its reference.
  streamObject_->bytes = valid;
  Rewind();
  EXPECT_EQ(marshal_->ReleaseMarshalData(stream_), S_OK);
}

TEST_F(FreeThreadedMarshalerTest, RefusesNullArguments) {
  void* object = nullptr;
  EXPECT_EQ(marshal_->MarshalInterface(nullptr, IID_ICounter, counter_.p, MSHCTX_INPROC, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(marshal_->MarshalInterface(stream_, IID_ICounter, nullptr, MSHCTX_INPROC, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(marshal_->UnmarshalInterface(nullptr, IID_ICounter, &object), E_INVALIDARG);
  EXPECT_EQ(marshal_->UnmarshalInterface(stream_, IID_ICounter, nullptr), E_POINTER);
  EXPECT_EQ(marshal_->ReleaseMarshalData(nullptr), E_INVALIDARG);
  EXPECT_EQ(marshal_->MarshalInterface(stream_, IID_IMissing, counter_.p, MSHCTX_INPROC, nullptr, 0), E_NOINTERFACE);
  EXPECT_TRUE(streamObject_->bytes.empty());
}

}  // namespace
