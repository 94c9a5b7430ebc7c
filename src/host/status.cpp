#include "varnel/host/status.h"

#include <cstdio>
#include <utility>

#include "comrt/com_error.h"
#include "comrt/text_conversion.h"
#include "varnel/varnel.h"

namespace varnel {
namespace host {

namespace {

// Codes whose meaning the system texts do not know.
const char* OwnText(HRESULT code) {
  switch (code) {
    case ZeltCommonLib::InvalidMessage: return "The body is not one SOAP Body with a child element.";
    case E_UPNP_ARGUMENT_ERROR: return "The request's arguments were refused while reading.";
    default: break;
  }
  // The DOM reports parse failures as 0xC00CExxxx.
  if ((static_cast<uint32_t>(code) & 0xFFFFF000u) == 0xC00CE000u) return "The XML text does not parse.";
  return nullptr;
}

}  // namespace

Status::Status(HRESULT code, std::string problem)
    : code_(SUCCEEDED(code) ? E_FAIL : code), problem_(std::move(problem)) {}

std::string Status::ToString() const {
  if (ok()) return "OK";
  return problem_ + ": " + ResultText(code_);
}

std::string ResultText(HRESULT code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
  std::string text = hex;
  if (const char* own = OwnText(code)) return text + " " + own;
  const _com_error error(code);
  const OLECHAR* message = error.ErrorMessage();
  if (message && *message) text += " " + comrt::ToUtf8(message);
  return text;
}

}  // namespace host
}  // namespace varnel
