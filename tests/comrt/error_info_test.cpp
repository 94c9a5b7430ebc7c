#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "comrt/bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/diagnostics.h"
#include "comrt/error_info.h"

namespace {

constexpr GUID kSomeInterface = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};

int64_t LiveObjects() { return comrt::diagnostics::GetLiveCounts().objects; }

// The text a getter hands out, freed; "<null>" for a null string.
std::u16string Take(IErrorInfo* info, HRESULT (STDMETHODCALLTYPE IErrorInfo::*getter)(BSTR*)) {
  BSTR text = reinterpret_cast<BSTR>(1);
  EXPECT_EQ((info->*getter)(&text), S_OK);
  if (!text) return u"<null>";
  std::u16string copy(text, SysStringLen(text));
  SysFreeString(text);
  return copy;
}

CComPtr<IErrorInfo> MakeErrorInfo(const char16_t* description) {
  CComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(description));
  CComPtr<IErrorInfo> info;
  EXPECT_EQ(create.QueryInterface(&info), S_OK);
  return info;
}

// Leaves the calling thread without error information, so the leak check
// sees what a test left behind rather than what it still holds.
class ErrorInfoTest : public ::testing::Test {
 protected:
  void TearDown() override { SetErrorInfo(0, nullptr); }
};

TEST_F(ErrorInfoTest, NewObjectHandsOutNullTextsAndZeroes) {
  CComPtr<IErrorInfo> info = MakeErrorInfo(nullptr);
  EXPECT_EQ(Take(info, &IErrorInfo::GetSource), u"<null>");
  EXPECT_EQ(Take(info, &IErrorInfo::GetDescription), u"<null>");
  EXPECT_EQ(Take(info, &IErrorInfo::GetHelpFile), u"<null>");
  GUID guid = kSomeInterface;
  EXPECT_EQ(info->GetGUID(&guid), S_OK);
  EXPECT_EQ(guid, GUID_NULL);
  DWORD context = 7;
  EXPECT_EQ(info->GetHelpContext(&context), S_OK);
  EXPECT_EQ(context, 0u);
}

TEST_F(ErrorInfoTest, StoresCopiesAndTellsEmptyFromNull) {
  CComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  CComQIPtr<IErrorInfo> info(create);
  ASSERT_TRUE(info);
  EXPECT_TRUE(create.IsEqualObject(info));  // one object behind both interfaces

  char16_t source[] = u"Widget";
  ASSERT_EQ(create->SetSource(source), S_OK);
  source[0] = u'M';  // the object kept its own copy
  ASSERT_EQ(create->SetDescription(const_cast<LPOLESTR>(u"")), S_OK);
  ASSERT_EQ(create->SetHelpFile(const_cast<LPOLESTR>(u"help")), S_OK);
  ASSERT_EQ(create->SetGUID(kSomeInterface), S_OK);
  ASSERT_EQ(create->SetHelpContext(42), S_OK);

  EXPECT_EQ(Take(info, &IErrorInfo::GetSource), u"Widget");
  EXPECT_EQ(Take(info, &IErrorInfo::GetDescription), u"");
  EXPECT_EQ(Take(info, &IErrorInfo::GetHelpFile), u"help");
  GUID guid{};
  info->GetGUID(&guid);
  EXPECT_EQ(guid, kSomeInterface);
  DWORD context = 0;
  info->GetHelpContext(&context);
  EXPECT_EQ(context, 42u);

  ASSERT_EQ(create->SetSource(nullptr), S_OK);
  EXPECT_EQ(Take(info, &IErrorInfo::GetSource), u"<null>");
}

TEST_F(ErrorInfoTest, RefusesNullOutPointers) {
  CComPtr<IErrorInfo> info = MakeErrorInfo(u"x");
  EXPECT_EQ(info->GetSource(nullptr), E_INVALIDARG);
  EXPECT_EQ(info->GetDescription(nullptr), E_INVALIDARG);
  EXPECT_EQ(info->GetHelpFile(nullptr), E_INVALIDARG);
  EXPECT_EQ(info->GetGUID(nullptr), E_INVALIDARG);
  EXPECT_EQ(info->GetHelpContext(nullptr), E_INVALIDARG);
  EXPECT_EQ(CreateErrorInfo(nullptr), E_POINTER);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_POINTER);
}

TEST_F(ErrorInfoTest, GetHandsOutTheCurrentObjectAndClearsIt) {
  CComPtr<IErrorInfo> set = MakeErrorInfo(u"first");
  ASSERT_EQ(SetErrorInfo(0, set), S_OK);

  CComPtr<IErrorInfo> got;
  ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
  EXPECT_EQ(got.p, set.p);

  IErrorInfo* again = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
  EXPECT_EQ(again, nullptr);
}

TEST_F(ErrorInfoTest, HoldsItsOwnReferenceAndReleasesWhatItReplaces) {
  const int64_t before = LiveObjects();
  SetErrorInfo(0, MakeErrorInfo(u"first"));  // the caller's reference is gone
  EXPECT_EQ(LiveObjects(), before + 1);
  SetErrorInfo(0, MakeErrorInfo(u"second"));
  EXPECT_EQ(LiveObjects(), before + 1);

  CComPtr<IErrorInfo> current;
  ASSERT_EQ(GetErrorInfo(0, &current), S_OK);
  EXPECT_EQ(Take(current, &IErrorInfo::GetDescription), u"second");

  SetErrorInfo(0, current);
  current.Release();
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
  EXPECT_EQ(LiveObjects(), before);
}

TEST_F(ErrorInfoTest, ReservedMustBeZero) {
  CComPtr<IErrorInfo> info = MakeErrorInfo(u"x");
  EXPECT_EQ(SetErrorInfo(1, info), E_INVALIDARG);
  IErrorInfo* out = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(1, &out), E_INVALIDARG);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(GetErrorInfo(0, &out), S_FALSE);  // the refused set changed nothing
}

TEST_F(ErrorInfoTest, ThreadsKeepTheirOwnAndReleaseItOnExit) {
  const int64_t before = LiveObjects();
  ASSERT_EQ(SetErrorInfo(0, MakeErrorInfo(u"main")), S_OK);

  HRESULT seenByWorker = E_FAIL;
  std::thread worker([&] {
    IErrorInfo* info = nullptr;
    seenByWorker = GetErrorInfo(0, &info);
    if (info) info->Release();
    // Left behind on purpose: the thread's end must release it.
    SetErrorInfo(0, MakeErrorInfo(u"worker"));
  });
  worker.join();
  EXPECT_EQ(seenByWorker, S_FALSE);
  EXPECT_EQ(LiveObjects(), before + 1);

  CComPtr<IErrorInfo> mine;
  ASSERT_EQ(GetErrorInfo(0, &mine), S_OK);
  EXPECT_EQ(Take(mine, &IErrorInfo::GetDescription), u"main");
}

}  // namespace
