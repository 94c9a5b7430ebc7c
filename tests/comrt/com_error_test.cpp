#include <gtest/gtest.h>

#include <string>

#include "comrt/com_error.h"
#include "comrt/diagnostics.h"
#include "comrt/system_message.h"

namespace {

int64_t LiveObjects() { return comrt::diagnostics::GetLiveCounts().objects; }

// A new error object with one reference, which the caller owns.
IErrorInfo* NewErrorInfo(const char16_t* source, const char16_t* description) {
  CComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetSource(const_cast<LPOLESTR>(source));
  create->SetDescription(const_cast<LPOLESTR>(description));
  IErrorInfo* info = nullptr;
  create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
  return info;
}

std::u16string SystemText(HRESULT hr) {
  char16_t buffer[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(hr), 0, buffer, 512, nullptr);
  return std::u16string(buffer, length);
}

class ComErrorTest : public ::testing::Test {
 protected:
  void TearDown() override { SetErrorInfo(0, nullptr); }
};

TEST_F(ComErrorTest, MessageIsTheSystemTextWithoutItsLineBreak) {
  const std::u16string system = SystemText(E_FAIL);
  ASSERT_GT(system.size(), 2u);
  EXPECT_EQ(std::u16string(_com_error(E_FAIL).ErrorMessage()), system.substr(0, system.size() - 2));
}

TEST_F(ComErrorTest, MessageFallsBackForCodesWithoutText) {
  EXPECT_EQ(std::u16string(_com_error(static_cast<HRESULT>(0x80040301)).ErrorMessage()), u"IDispatch error #257");
  EXPECT_EQ(std::u16string(_com_error(static_cast<HRESULT>(0x8004FFFF)).ErrorMessage()), u"IDispatch error #65023");
  EXPECT_EQ(std::u16string(_com_error(static_cast<HRESULT>(0x80040200)).ErrorMessage()),
            u"Unknown error 0x80040200");
  EXPECT_EQ(std::u16string(_com_error(static_cast<HRESULT>(0x8007ABCD)).ErrorMessage()),
            u"Unknown error 0x8007ABCD");
  EXPECT_EQ(std::u16string(_com_error(static_cast<HRESULT>(0x2A)).ErrorMessage()), u"Unknown error 0x2A");
}

TEST_F(ComErrorTest, MessageIsBuiltOnceAndOwnedByEachObject) {
  const int64_t before = comrt::diagnostics::GetLiveCounts().taskMemory;
  _com_error error(E_NOINTERFACE);
  const OLECHAR* first = error.ErrorMessage();
  EXPECT_EQ(error.ErrorMessage(), first);
  {
    _com_error copy(error);
    EXPECT_NE(copy.ErrorMessage(), first);
    EXPECT_EQ(std::u16string(copy.ErrorMessage()), first);
    copy = _com_error(static_cast<HRESULT>(0x80040301));  // assignment drops the old text
    EXPECT_EQ(std::u16string(copy.ErrorMessage()), u"IDispatch error #257");
  }
  EXPECT_EQ(comrt::diagnostics::GetLiveCounts().taskMemory, before + 1);
}

TEST_F(ComErrorTest, WCodeCoversTheDispatchRangeOnly) {
  EXPECT_EQ(_com_error(static_cast<HRESULT>(0x800401FF)).WCode(), 0);
  EXPECT_EQ(_com_error(static_cast<HRESULT>(0x80040200)).WCode(), 0);
  EXPECT_EQ(_com_error(static_cast<HRESULT>(0x80040201)).WCode(), 1);
  EXPECT_EQ(_com_error(static_cast<HRESULT>(0x8004FFFF)).WCode(), 0xFDFF);
  EXPECT_EQ(_com_error(static_cast<HRESULT>(0x80050000)).WCode(), 0);
  EXPECT_EQ(_com_error(static_cast<HRESULT>(0x00040201)).WCode(), 0);  // success codes are not dispatch codes
  EXPECT_EQ(_com_error::WCodeToHRESULT(1), static_cast<HRESULT>(0x80040201));
  EXPECT_EQ(_com_error::WCodeToHRESULT(0xFDFF), static_cast<HRESULT>(0x8004FFFF));
  EXPECT_EQ(_com_error::WCodeToHRESULT(0xFE00), static_cast<HRESULT>(0x8004FFFF));
  EXPECT_EQ(_com_error::HRESULTToWCode(_com_error::WCodeToHRESULT(0x1234)), 0x1234);
}

TEST_F(ComErrorTest, TakesOverTheReferenceUnlessAskedToAddOne) {
  const int64_t before = LiveObjects();
  { _com_error adopted(E_FAIL, NewErrorInfo(u"src", u"desc")); }
  EXPECT_EQ(LiveObjects(), before);

  IErrorInfo* shared = NewErrorInfo(u"src", u"desc");
  { _com_error added(E_FAIL, shared, true); }
  EXPECT_EQ(LiveObjects(), before + 1);  // the caller's reference is intact
  shared->Release();
  EXPECT_EQ(LiveObjects(), before);
}

TEST_F(ComErrorTest, ReadsTextsFromItsErrorInformation) {
  _com_error error(DISP_E_EXCEPTION, NewErrorInfo(u"Widget", u"It broke"));
  EXPECT_TRUE(error.Source() == u"Widget");
  EXPECT_TRUE(error.Description() == u"It broke");
  EXPECT_TRUE(error.HelpFile() == nullptr);
  CComPtr<IErrorInfo> info;
  info.Attach(error.ErrorInfo());  // a new reference
  ASSERT_TRUE(info);

  _com_error bare(E_FAIL);
  EXPECT_TRUE(bare.Source() == nullptr);
  EXPECT_TRUE(bare.Description() == nullptr);
  EXPECT_EQ(bare.ErrorInfo(), nullptr);
  EXPECT_EQ(bare.HelpContext(), 0u);
}

TEST_F(ComErrorTest, CopiesShareErrorInformation) {
  const int64_t before = LiveObjects();
  {
    _com_error original(E_FAIL, NewErrorInfo(u"a", u"first"));
    _com_error copy(original);
    _com_error assigned(E_NOTIMPL, NewErrorInfo(u"b", u"second"));
    EXPECT_EQ(LiveObjects(), before + 2);
    assigned = original;
    EXPECT_EQ(LiveObjects(), before + 1);  // "second" was released
    assigned = assigned;
    EXPECT_EQ(assigned.Error(), E_FAIL);
    EXPECT_TRUE(assigned.Description() == u"first");
    EXPECT_TRUE(copy.Description() == u"first");
  }
  EXPECT_EQ(LiveObjects(), before);
}

TEST_F(ComErrorTest, IssueErrorThrowsAcrossTheLibraryBoundary) {
  try {
    _com_issue_error(E_ACCESSDENIED);
    FAIL() << "no throw";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), E_ACCESSDENIED);
    EXPECT_EQ(error.ErrorInfo(), nullptr);
  }
}

TEST_F(ComErrorTest, IssueErrorExTakesTheThreadsErrorInformation) {
  IErrorInfo* info = NewErrorInfo(u"Widget", u"from the call");
  SetErrorInfo(0, info);
  info->Release();
  try {
    _com_issue_errorex(DISP_E_EXCEPTION, nullptr, IID_IUnknown);
    FAIL() << "no throw";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), DISP_E_EXCEPTION);
    EXPECT_TRUE(error.Description() == u"from the call");
  }
  IErrorInfo* left = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);  // taken, not copied

  try {
    _com_issue_errorex(E_FAIL, nullptr, IID_IUnknown);
  } catch (const _com_error& error) {
    EXPECT_EQ(error.ErrorInfo(), nullptr);
  }
}

}  // namespace
