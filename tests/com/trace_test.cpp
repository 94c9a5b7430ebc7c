// The guards that end every interface method: what each one writes, at which
// level and position, and what it returns.
#include "com/trace.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <atomic>
#include <string>
#include <thread>

#include "comrt/com_error.h"
#include "comrt/com_ptr.h"
#include "comrt/error_info.h"
#include "support/captured_lines.h"

namespace {

using varnel_test::CapturedLines;
using varnel_test::Narrow;

std::u16string Widen(const std::string& narrow) { return std::u16string(narrow.begin(), narrow.end()); }

std::u16string Position(int line) { return u" {./tests/com/trace_test.cpp," + Widen(std::to_string(line)) + u"}"; }

std::u16string SystemText(HRESULT code) { return _com_error(code).ErrorMessage(); }

CComPtr<IErrorInfo> MakeErrorInfo(const char16_t* source, const char16_t* description) {
  CComPtr<ICreateErrorInfo> created;
  EXPECT_EQ(S_OK, CreateErrorInfo(&created));
  created->SetSource(const_cast<LPOLESTR>(source));
  created->SetDescription(const_cast<LPOLESTR>(description));
  CComPtr<IErrorInfo> info;
  EXPECT_EQ(S_OK, created.QueryInterface(&info));
  return info;
}

// Takes the thread's error information; null when there is none.
CComPtr<IErrorInfo> TakeThreadErrorInfo() {
  CComPtr<IErrorInfo> info;
  GetErrorInfo(0, &info);
  return info;
}

std::u16string SourceOf(IErrorInfo* info) {
  BSTR text = nullptr;
  info->GetSource(&text);
  std::u16string result = text ? text : u"";
  SysFreeString(text);
  return result;
}

// Boundary methods in miniature: each throws what it is given inside a full
// guard, and remembers the guard's line.
template <class Throw>
HRESULT BoundaryMethod(Throw&& doThrow) {
  VARNEL_GUARDED_BEGIN
    doThrow();
    return S_OK;
  VARNEL_FULL_GUARD_END
}
constexpr int g_fullGuardLine = __LINE__ - 2;

std::atomic<int> g_checkLine{0};  // written by the check itself, from any thread

void SharedOperation(bool fail) {
  VARNEL_GUARDED_BEGIN
    g_checkLine = __LINE__; VARNEL_THROW_IF(fail, E_UNEXPECTED);
  VARNEL_RELAY_GUARD_END
}
constexpr int g_relayGuardLine = __LINE__ - 2;

TEST(FullGuardTest, ThrownResultCodeIsTracedAndReturned) {
  CapturedLines captured;
  EXPECT_EQ(E_UNEXPECTED, BoundaryMethod([] { throw E_UNEXPECTED; }));
  const auto lines = captured.Lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(1, lines[0].level);
  EXPECT_EQ(u"[ERR] <exception> HRESULT(0x8000ffff:" + SystemText(E_UNEXPECTED) + u")" + Position(g_fullGuardLine),
            lines[0].text)
      << Narrow(lines[0].text);
}

TEST(FullGuardTest, FailedCheckWritesConditionThenGuardLine) {
  CapturedLines captured;
  int checkLine = 0;
  const HRESULT hr = BoundaryMethod([&] {
    void* spMsgBodyReader = nullptr;
    checkLine = __LINE__; VARNEL_THROW_IF(NULL == spMsgBodyReader, E_FAIL);
  });
  EXPECT_EQ(E_FAIL, hr);
  const auto texts = captured.Texts();
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ(u"[ERR] NULL == spMsgBodyReader" + Position(checkLine), texts[0]) << Narrow(texts[0]);
  EXPECT_EQ(u"[ERR] <exception> HRESULT(0x80004005:" + SystemText(E_FAIL) + u")" + Position(g_fullGuardLine),
            texts[1]);
}

TEST(FullGuardTest, StandardExceptionShowsCodeZeroButReturnsFail) {
  CapturedLines captured;
  EXPECT_EQ(E_FAIL, BoundaryMethod([] { throw std::out_of_range("index 7"); }));
  const auto texts = captured.Texts();
  ASSERT_EQ(1u, texts.size());
  EXPECT_EQ(u"[ERR] <exception> std::exception(0x0:index 7)" + Position(g_fullGuardLine), texts[0]);
}

TEST(FullGuardTest, ComErrorWithErrorInfoWritesSourceAndDescriptionAndInstallsIt) {
  CComPtr<IErrorInfo> info = MakeErrorInfo(u"msxml", u"bad prefix");
  CapturedLines captured;
  EXPECT_EQ(E_INVALIDARG, BoundaryMethod([&] {
              IErrorInfo* handedOver = info;
              handedOver->AddRef();  // _com_error takes over one reference
              throw _com_error(E_INVALIDARG, handedOver);
            }));
  const auto texts = captured.Texts();
  ASSERT_EQ(1u, texts.size());
  // The description closes with ")" alone.
  EXPECT_EQ(u"[ERR] <exception> _com_error(0x80070057:" + SystemText(E_INVALIDARG) +
                u"<Src=\"msxml\", Desc=\"bad prefix)" + Position(g_fullGuardLine),
            texts[0])
      << Narrow(texts[0]);
  CComPtr<IErrorInfo> installed = TakeThreadErrorInfo();
  EXPECT_EQ(info.p, installed.p);
}

TEST(FullGuardTest, ComErrorWithoutErrorInfoLeavesThreadErrorInfoAlone) {
  CComPtr<IErrorInfo> earlier = MakeErrorInfo(u"earlier", u"kept");
  SetErrorInfo(0, earlier);
  CapturedLines captured;
  EXPECT_EQ(E_POINTER, BoundaryMethod([] { throw _com_error(E_POINTER); }));
  const auto texts = captured.Texts();
  ASSERT_EQ(1u, texts.size());
  EXPECT_EQ(u"[ERR] <exception> _com_error(0x80004003:" + SystemText(E_POINTER) + u")" + Position(g_fullGuardLine),
            texts[0]);
  CComPtr<IErrorInfo> after = TakeThreadErrorInfo();
  ASSERT_TRUE(after);
  EXPECT_EQ(u"earlier", SourceOf(after));
}

TEST(FullGuardTest, FrameworkAndUnknownExceptions) {
  CapturedLines captured;
  EXPECT_EQ(E_OUTOFMEMORY, BoundaryMethod([] { AtlThrow(E_OUTOFMEMORY); }));
  EXPECT_EQ(E_FAIL, BoundaryMethod([] { throw 2.5; }));
  // A body-format code reaches a full guard without an inner guard as an
  // exception of unknown kind.
  EXPECT_EQ(E_FAIL, BoundaryMethod([] { throw ZeltCommonLib::InvalidMessage; }));
  const auto texts = captured.Texts();
  ASSERT_EQ(3u, texts.size());
  EXPECT_EQ(u"[ERR] <exception> CAtlException(0x8007000e:" + SystemText(E_OUTOFMEMORY) + u")" +
                Position(g_fullGuardLine),
            texts[0]);
  EXPECT_EQ(u"[ERR] <exception> unknown" + Position(g_fullGuardLine), texts[1]);
  EXPECT_EQ(texts[1], texts[2]);
}

TEST(RelayGuardTest, FailureBelowRelayLeavesThreeLines) {
  CapturedLines captured;
  EXPECT_EQ(E_UNEXPECTED, BoundaryMethod([] { SharedOperation(true); }));
  const auto lines = captured.Lines();
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(1, lines[0].level);
  EXPECT_EQ(u"[ERR] fail" + Position(g_checkLine), lines[0].text);
  EXPECT_EQ(1, lines[1].level);
  EXPECT_EQ(u"[ERR] <exception> HRESULT(0x8000ffff:" + SystemText(E_UNEXPECTED) + u")" + Position(g_relayGuardLine),
            lines[1].text);
  EXPECT_EQ(4, lines[2].level);
  EXPECT_EQ(u"[DBG] <exception> <exception trace>(0x8000ffff:" + SystemText(E_UNEXPECTED) + u")" +
                Position(g_fullGuardLine),
            lines[2].text);
}

TEST(RelayGuardTest, SuccessPassesThroughSilently) {
  CapturedLines captured;
  EXPECT_EQ(S_OK, BoundaryMethod([] { SharedOperation(false); }));
  EXPECT_TRUE(captured.Lines().empty());
}

TEST(RelayGuardTest, StandardExceptionBecomesFailOnItsWayUpAndRunningOutOfMemorySaysSo) {
  CapturedLines captured;
  const HRESULT hr = BoundaryMethod([&] {
    VARNEL_GUARDED_BEGIN
      throw std::runtime_error("x");
    VARNEL_RELAY_GUARD_END
  });
  EXPECT_EQ(E_FAIL, hr);
  const auto texts = captured.Texts();
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ(0u, texts[0].find(u"[ERR] <exception> std::exception(0x0:"));
  EXPECT_EQ(u"[DBG] <exception> <exception trace>(0x80004005:" + SystemText(E_FAIL) + u")" + Position(g_fullGuardLine),
            texts[1]);
  const HRESULT outOfMemory = BoundaryMethod([&] {
    VARNEL_GUARDED_BEGIN
      throw std::bad_alloc();
    VARNEL_RELAY_GUARD_END
  });
  EXPECT_EQ(E_OUTOFMEMORY, outOfMemory);
  ASSERT_EQ(4u, captured.Texts().size());
  EXPECT_EQ(0u, captured.Texts()[2].find(u"[ERR] <exception> std::exception(0x0:"));
}

// ReadMessage in miniature: an inner guard for result and body-format codes
// inside the full guard.
template <class Body>
HRESULT ReadLikeMethod(Body&& body) {
  VARNEL_GUARDED_BEGIN
    VARNEL_INNER_GUARD_BEGIN(result)
      body();
    VARNEL_INNER_GUARD_END(result, kResultCodesAndZeltCodes)
  VARNEL_FULL_GUARD_END
}
constexpr int g_innerFullGuardLine = __LINE__ - 2;

HRESULT ReadLikeMethodReturningEarly(bool noMessage) {
  VARNEL_GUARDED_BEGIN
    VARNEL_INNER_GUARD_BEGIN(result)
      void* pMsg = noMessage ? nullptr : &result;
      g_checkLine = __LINE__; VARNEL_RETURN_IF(!pMsg, ZeltCommonLib::InvalidMessage);
    VARNEL_INNER_GUARD_END(result, kResultCodesAndZeltCodes)
  VARNEL_FULL_GUARD_END
}

TEST(InnerGuardTest, ZeltCodeReachesCallerAsItsNumber) {
  CapturedLines captured;
  int checkLine = 0;
  const HRESULT hr = ReadLikeMethod([&] {
    checkLine = __LINE__; VARNEL_THROW_IF(1 != 2, ZeltCommonLib::InvalidMessage);
  });
  EXPECT_EQ(static_cast<HRESULT>(0x80040301), hr);
  const auto texts = captured.Texts();
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ(u"[ERR] 1 != 2" + Position(checkLine), texts[0]);
  EXPECT_EQ(u"[ERR] <exception> HRESULT(0x80040301:IDispatch error #257)" + Position(g_innerFullGuardLine),
            texts[1]);
}

TEST(InnerGuardTest, ThrownSuccessCodeIsReturnedWithoutLine) {
  CapturedLines captured;
  EXPECT_EQ(S_FALSE, ReadLikeMethod([] { throw S_FALSE; }));
  EXPECT_EQ(S_OK, ReadLikeMethod([] {}));
  EXPECT_TRUE(captured.Lines().empty());
}

TEST(InnerGuardTest, OtherExceptionsGoToTheFullGuard) {
  CapturedLines captured;
  EXPECT_EQ(E_FAIL, ReadLikeMethod([] { throw std::runtime_error("x"); }));
  EXPECT_EQ(E_NOTIMPL, ReadLikeMethod([] { throw _com_error(E_NOTIMPL); }));
  EXPECT_EQ(2u, captured.Lines().size());
}

TEST(InnerGuardTest, EarlyReturnWritesOnlyTheConditionLine) {
  CapturedLines captured;
  EXPECT_EQ(static_cast<HRESULT>(0x80040301), ReadLikeMethodReturningEarly(true));
  const auto texts = captured.Texts();
  ASSERT_EQ(1u, texts.size());
  EXPECT_EQ(u"[ERR] !pMsg" + Position(g_checkLine), texts[0]);
  EXPECT_EQ(S_OK, ReadLikeMethodReturningEarly(false));
  EXPECT_EQ(1u, captured.Lines().size());
}

template <class Throw>
HRESULT PlainBoundaryMethod(Throw&& doThrow) {
  VARNEL_GUARDED_BEGIN
    doThrow();
    return S_OK;
  VARNEL_PLAIN_GUARD_END
}

TEST(PlainGuardTest, CarriedCodesPassOtherExceptionsFailAndNothingIsWritten) {
  CapturedLines captured;
  EXPECT_EQ(E_INVALIDARG, PlainBoundaryMethod([] { throw E_INVALIDARG; }));
  EXPECT_EQ(E_POINTER, PlainBoundaryMethod([] { throw _com_error(E_POINTER); }));
  EXPECT_EQ(DISP_E_BADVARTYPE, PlainBoundaryMethod([] { throw log4halden::Exception(DISP_E_BADVARTYPE); }));
  EXPECT_EQ(E_FAIL, PlainBoundaryMethod([] { throw std::logic_error("x"); }));
  EXPECT_EQ(E_OUTOFMEMORY, PlainBoundaryMethod([] { throw std::bad_alloc(); }));
  EXPECT_EQ(E_FAIL, PlainBoundaryMethod([] { AtlThrow(E_OUTOFMEMORY); }));
  EXPECT_EQ(S_OK, PlainBoundaryMethod([] {}));
  EXPECT_TRUE(captured.Lines().empty());
}

TEST(ResultDescriptionTest, FallbacksForCodesWithoutSystemText) {
  EXPECT_EQ(u"(0x80040301:IDispatch error #257)", varnel::DescribeResult(static_cast<HRESULT>(0x80040301)));
  EXPECT_EQ(u"(0x80040400:IDispatch error #512)", varnel::DescribeResult(E_UPNP_ARGUMENT_ERROR));
  // Its number would be zero, so it takes the other form.
  EXPECT_EQ(u"(0x80040200:Unknown error 0x80040200)", varnel::DescribeResult(static_cast<HRESULT>(0x80040200)));
  EXPECT_EQ(u"(0x80050001:Unknown error 0x80050001)", varnel::DescribeResult(static_cast<HRESULT>(0x80050001)));
}

TEST(ResultDescriptionTest, SystemTextLosesItsLineEnd) {
  const std::u16string description = varnel::DescribeResult(E_FAIL);
  EXPECT_EQ(0u, description.find(u"(0x80004005:"));
  EXPECT_GT(description.size(), std::u16string(u"(0x80004005:)").size());
  EXPECT_EQ(std::u16string::npos, description.find_first_of(u"\r\n"));
  EXPECT_EQ(u"(0x0:" + SystemText(S_OK) + u")", varnel::DescribeResult(S_OK));
}

TEST(TraceLineTest, NothingIsHandedOnWithoutReceiver) {
  // No sink: the logger drops the line, and the guard still answers.
  EXPECT_EQ(E_UNEXPECTED, BoundaryMethod([] { throw E_UNEXPECTED; }));
}

}  // namespace

namespace {

TEST(TraceLineTest, ThreadsFailingAtOnceWriteWholeLines) {
  CapturedLines captured;
  constexpr int kFailuresPerThread = 200;
  auto fail = [] {
    for (int i = 0; i < kFailuresPerThread; ++i) BoundaryMethod([] { SharedOperation(true); });
  };
  std::thread first(fail);
  std::thread second(fail);
  first.join();
  second.join();
  const auto texts = captured.Texts();
  ASSERT_EQ(2u * kFailuresPerThread * 3, texts.size());
  for (const std::u16string& text : texts) {
    const bool whole = text == u"[ERR] fail" + Position(g_checkLine) ||
                       text.find(u"[ERR] <exception> HRESULT(0x8000ffff:") == 0 ||
                       text.find(u"[DBG] <exception> <exception trace>(0x8000ffff:") == 0;
    EXPECT_TRUE(whole) << Narrow(text);
  }
}

}  // namespace
