// Failure checks and the guards that end every interface method.
//
// Inside a method, failures are thrown: a plain HRESULT, a
// ZeltCommonLib::ZeltErrorCode, a _com_error, a CAtlException, a
// std::exception, or a log4halden::Exception (a failure already traced).
// Each failure is traced where it is first noticed, with the failed
// condition's text and position, and once more by every guard it passes, so
// the log shows the path by which it reached the caller:
//
//   HRESULT CThing::Method(IFoo* foo) {
//     if (!foo) return E_INVALIDARG;          // argument checks: no line
//     VARNEL_GUARDED_BEGIN
//       VARNEL_THROW_IF(NULL == foo->Bar(), E_UNEXPECTED);
//       return S_OK;
//     VARNEL_FULL_GUARD_END
//   }
//
// Lines read "<tag> <body> {<source path>,<line>}" and are built only when the
// module logger exists.
#pragma once

#include <string>

#include "comrt/result_codes.h"
#include "log/module_logger.h"
#include "varnel/varnel.h"

namespace log4halden {

// The trace exception: a failure that a relay guard has already written to
// the log, on its way to the method's boundary.
class Exception {
 public:
  explicit Exception(HRESULT code) noexcept : code_(code) {}
  HRESULT Code() const noexcept { return code_; }

 private:
  HRESULT code_;
};

}  // namespace log4halden

namespace varnel {

struct SourcePosition {
  const char* file;  // "./src/..." as the build names it
  int line;
};

#define VARNEL_HERE (::varnel::SourcePosition{__FILE__, __LINE__})

// "(0x<code in lower-case hex>:<message text>)": the system text for the code
// without its line end, or the fallback text when the system has none.
std::u16string DescribeResult(HRESULT code);

// Writes "<tag> <body> {<file>,<line>}" at `level`; `body` is narrow text,
// widened character by character.
void TraceLine(int level, const char* body, SourcePosition where);

// A failed check: writes "[ERR] <condition> {...}" and throws `code` as a
// plain HRESULT, or as the ZeltErrorCode.
[[noreturn]] void FailCheck(const char* condition, HRESULT code, SourcePosition where);
[[noreturn]] void FailCheck(const char* condition, ZeltCommonLib::ZeltErrorCode code, SourcePosition where);

// Guard clauses; each must be called inside a catch (...) block, where it
// examines the exception being handled.
//
// Full boundary guard: writes the exception's line and returns its code (and
// hands a _com_error's error information to the calling thread); a standard
// exception is E_FAIL, except std::bad_alloc, E_OUTOFMEMORY.
HRESULT FullGuardCaught(SourcePosition where) noexcept;
// Relay guard: writes the same line, then throws a log4halden::Exception with
// the code (a trace exception passes on unchanged after its line).
[[noreturn]] void RelayGuardCaught(SourcePosition where);
// Plain boundary guard: no line; the code of a plain HRESULT, a _com_error or
// a trace exception, E_OUTOFMEMORY for std::bad_alloc, else E_FAIL.
HRESULT PlainGuardCaught() noexcept;

// Which exceptions an inner code guard takes as the method's result.
enum class InnerGuardCatches { kResultCodes, kResultCodesAndZeltCodes };
// Inner code guard: returns the caught code; anything else is rethrown.
HRESULT InnerGuardCaught(InnerGuardCatches catches);

}  // namespace varnel

// Throws `code` after tracing the condition's text when `condition` holds.
#define VARNEL_THROW_IF(condition, code)                                 \
  do {                                                                   \
    if (condition) ::varnel::FailCheck(#condition, (code), VARNEL_HERE); \
  } while (0)

// As VARNEL_THROW_IF, for a check whose traced text names the value as the
// platform's property wrappers read it ("spNodeList->length != 1") while the
// code reads it through the plain interface.
#define VARNEL_THROW_IF_TEXT(text, condition, code)               \
  do {                                                            \
    if (condition) ::varnel::FailCheck(text, (code), VARNEL_HERE); \
  } while (0)

// Returns `code` from the method at once, after tracing the condition's text,
// when `condition` holds (no guard line follows).
#define VARNEL_RETURN_IF(condition, code)                                        \
  do {                                                                           \
    if (condition) {                                                             \
      ::varnel::TraceLine(::log4halden::kError, #condition, VARNEL_HERE);        \
      return (code);                                                             \
    }                                                                            \
  } while (0)

#define VARNEL_GUARDED_BEGIN try {

// Ends a boundary method: every exception becomes its traced result code.
#define VARNEL_FULL_GUARD_END \
  }                           \
  catch (...) {               \
    return ::varnel::FullGuardCaught(VARNEL_HERE); \
  }

// Ends an operation shared by boundary methods: traces, then passes the
// failure on as a trace exception.
#define VARNEL_RELAY_GUARD_END \
  }                            \
  catch (...) {                \
    ::varnel::RelayGuardCaught(VARNEL_HERE); \
  }

// Ends a boundary method whose callees have traced already: no line.
#define VARNEL_PLAIN_GUARD_END \
  }                            \
  catch (...) {                \
    return ::varnel::PlainGuardCaught(); \
  }

// Inner code guard, inside a full guard: a thrown result code (and, with
// kResultCodesAndZeltCodes, a ZeltErrorCode) becomes `result`; a success is
// returned, a failure thrown on as a plain HRESULT for the full guard's line.
// A body that ends normally leaves `result` as it set it.
#define VARNEL_INNER_GUARD_BEGIN(result) \
  HRESULT result = S_OK;                 \
  try {
#define VARNEL_INNER_GUARD_END(result, catches)                        \
  }                                                                    \
  catch (...) {                                                        \
    result = ::varnel::InnerGuardCaught(::varnel::InnerGuardCatches::catches); \
  }                                                                    \
  if (FAILED(result)) throw static_cast<HRESULT>(result);              \
  return result;
