#include "com/trace.h"

#include <exception>
#include <new>

#include "comrt/atl_exception.h"
#include "comrt/com_error.h"
#include "comrt/com_ptr.h"
#include "comrt/error_info.h"

namespace varnel {
namespace {

const char16_t* const kLevelTags[] = {u"[FTL]", u"[ERR]", u"[WRN]", u"[INF]", u"[DBG]"};

void AppendWidened(std::u16string& out, const char* narrow) {
  if (!narrow) return;
  for (const char* c = narrow; *c; ++c) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*c)));
}

void AppendDecimal(std::u16string& out, long long value) {
  const std::string digits = std::to_string(value);
  AppendWidened(out, digits.c_str());
}

void AppendLowerHex(std::u16string& out, uint32_t value) {
  static const char16_t kDigits[] = u"0123456789abcdef";
  char16_t reversed[8];
  int count = 0;
  do {
    reversed[count++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (count > 0) out.push_back(reversed[--count]);
}

void AppendText(std::u16string& out, const BSTR text) {
  if (text) out.append(text, SysStringLen(text));
}

// Builds and hands on one line, but only when the module logger exists: the
// body is produced by `buildBody` only then. Never throws.
template <class BuildBody>
void WriteLine(int level, SourcePosition where, BuildBody&& buildBody) noexcept {
  log4halden::Logger* logger = log4halden::Logger::Instance();
  if (!logger || level < log4halden::kFatal || level > log4halden::kDebug) return;
  // A line that nothing would write costs nothing to build.
  if (!logger->IsEnabled(level)) return;
  try {
    std::u16string line = kLevelTags[level];
    line += u' ';
    buildBody(line);
    line += u" {";
    AppendWidened(line, where.file);
    line += u',';
    AppendDecimal(line, where.line);
    line += u'}';
    logger->Log(level, line);
  } catch (...) {
    // A line that cannot be built is lost; the failure itself goes on.
  }
}

void AppendDescription(std::u16string& out, HRESULT code) { out += DescribeResult(code); }

// Writes the guard line for the exception being handled and returns the code
// that a full guard answers with. `isTraceException` tells a trace exception,
// which a relay guard passes on unchanged.
HRESULT TraceCaughtException(SourcePosition where, bool& isTraceException) noexcept {
  isTraceException = false;
  try {
    throw;
  } catch (const log4halden::Exception& e) {
    isTraceException = true;
    WriteLine(log4halden::kDebug, where, [&](std::u16string& line) {
      line += u"<exception> <exception trace>";
      AppendDescription(line, e.Code());
    });
    return e.Code();
  } catch (const _com_error& e) {
    CComPtr<IErrorInfo> info;
    info.Attach(e.ErrorInfo());
    WriteLine(log4halden::kError, where, [&](std::u16string& line) {
      line += u"<exception> _com_error";
      if (!info) {
        AppendDescription(line, e.Error());
        return;
      }
      // With error information the message text runs straight into the
      // source and description, and the description closes with ")" alone.
      line += u"(0x";
      AppendLowerHex(line, static_cast<uint32_t>(e.Error()));
      line += u':';
      line += e.ErrorMessage();
      BSTR source = nullptr;
      BSTR description = nullptr;
      info->GetSource(&source);
      info->GetDescription(&description);
      line += u"<Src=\"";
      AppendText(line, source);
      line += u"\", Desc=\"";
      AppendText(line, description);
      line += u')';
      SysFreeString(source);
      SysFreeString(description);
    });
    if (info) SetErrorInfo(0, info);
    return e.Error();
  } catch (const std::exception& e) {
    WriteLine(log4halden::kError, where, [&](std::u16string& line) {
      line += u"<exception> std::exception(0x0:";
      AppendWidened(line, e.what());
      line += u')';
    });
    // Memory that ran out is said as such; any other standard exception is
    // a plain failure.
    return dynamic_cast<const std::bad_alloc*>(&e) ? E_OUTOFMEMORY : E_FAIL;
  } catch (const CAtlException& e) {
    WriteLine(log4halden::kError, where, [&](std::u16string& line) {
      line += u"<exception> CAtlException";
      AppendDescription(line, e.m_hr);
    });
    return e.m_hr;
  } catch (HRESULT code) {
    WriteLine(log4halden::kError, where, [&](std::u16string& line) {
      line += u"<exception> HRESULT";
      AppendDescription(line, code);
    });
    return code;
  } catch (...) {
    WriteLine(log4halden::kError, where, [](std::u16string& line) { line += u"<exception> unknown"; });
    return E_FAIL;
  }
}

}  // namespace

std::u16string DescribeResult(HRESULT code) {
  std::u16string text = u"(0x";
  AppendLowerHex(text, static_cast<uint32_t>(code));
  text += u':';
  text += _com_error(code).ErrorMessage();
  text += u')';
  return text;
}

void TraceLine(int level, const char* body, SourcePosition where) {
  WriteLine(level, where, [&](std::u16string& line) { AppendWidened(line, body); });
}

void FailCheck(const char* condition, HRESULT code, SourcePosition where) {
  TraceLine(log4halden::kError, condition, where);
  throw code;
}

void FailCheck(const char* condition, ZeltCommonLib::ZeltErrorCode code, SourcePosition where) {
  TraceLine(log4halden::kError, condition, where);
  throw code;
}

HRESULT FullGuardCaught(SourcePosition where) noexcept {
  bool isTraceException;
  return TraceCaughtException(where, isTraceException);
}

void RelayGuardCaught(SourcePosition where) {
  bool isTraceException;
  const HRESULT code = TraceCaughtException(where, isTraceException);
  if (isTraceException) throw;
  throw log4halden::Exception(code);
}

HRESULT PlainGuardCaught() noexcept {
  try {
    throw;
  } catch (const log4halden::Exception& e) {
    return e.Code();
  } catch (const _com_error& e) {
    return e.Error();
  } catch (HRESULT code) {
    return code;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT InnerGuardCaught(InnerGuardCatches catches) {
  try {
    throw;
  } catch (HRESULT code) {
    return code;
  } catch (ZeltCommonLib::ZeltErrorCode code) {
    if (catches != InnerGuardCatches::kResultCodesAndZeltCodes) throw;
    return code;
  }
}

}  // namespace varnel
