// The outcome of a kit operation: a result code and, on failure, one line of
// text that names what failed ("unknown action \"Foo\"").
#pragma once

#include <string>

#include "comrt/result_codes.h"
#include "varnel/host/export.h"

namespace varnel {
namespace host {

class VARNEL_HOST_API Status {
 public:
  // Success.
  Status() = default;
  // A failure. REQUIRES: FAILED(code); a success code is stored as E_FAIL.
  Status(HRESULT code, std::string problem);

  bool ok() const noexcept { return SUCCEEDED(code_); }
  HRESULT code() const noexcept { return code_; }
  const std::string& problem() const noexcept { return problem_; }
  // "<problem>: 0x80070057 The parameter is incorrect." ("OK" on success).
  std::string ToString() const;

 private:
  HRESULT code_ = S_OK;
  std::string problem_;
};

// "0x80070057 The parameter is incorrect.": the code in hex and its text, the
// system's or, for the library's own codes, the library's meaning.
VARNEL_HOST_API std::string ResultText(HRESULT code);

}  // namespace host
}  // namespace varnel
