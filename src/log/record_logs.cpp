#include "log/record_logs.h"

#include <algorithm>
#include <string>

#include "comrt/process.h"
#include "log/wide_format.h"

namespace opLogSys {
namespace {

// Headers never come near this; it bounds what a formatter may write.
constexpr size_t kHeaderBufferSize = 256;
constexpr char16_t kIndentUnit = u'\u5286';
constexpr LONG kMostIndentUnits = 63;

// One record: header, text and line end within one hold of the output, so
// that no other thread's (or process's) record comes between them.
void WriteRecord(ILogIO& output, const std::u16string& header, const char16_t* text) {
  output.Lock();
  output.Write(header.c_str());
  output.Write(text);
  output.Write(u"\r\n");
  output.Unlock();
}

SYSTEMTIME LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now;
}

}  // namespace

std::u16string LogRecordHeader(DWORD threadId, const SYSTEMTIME& time, LONG indentDepth) {
  char16_t header[kHeaderBufferSize];
  const size_t length = Format(header, kHeaderBufferSize, u"[%08X][%04d/%02d/%02d(%02d:%02d:%02d.%03d)]", threadId,
                               time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                               time.wMilliseconds);
  std::u16string text(header, length);
  // Depth 1 is the base level: only the steps above it are shown.
  const LONG units = indentDepth <= 1 ? 0 : std::min<LONG>(indentDepth - 1, kMostIndentUnits);
  text.append(static_cast<size_t>(units), kIndentUnit);
  return text;
}

std::u16string ErrorLogRecordHeader(const SYSTEMTIME& time, DWORD processId, DWORD threadId) {
  char16_t header[kHeaderBufferSize];
  const size_t length = Format(header, kHeaderBufferSize, u"[%04d/%02d/%02d %02d:%02d:%02d.%03d][%X][%08X] ",
                               time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                               time.wMilliseconds, processId, threadId);
  return std::u16string(header, length);
}

CLog::CLog(DWORD threadId, ILogIO* output) : output_(Common::CRefPtr<ILogIO>::Share(output)), threadId_(threadId) {}

long CLog::Indent() { return ++indentDepth_; }

long CLog::Unindent() {
  if (indentDepth_ > 0) --indentDepth_;
  return indentDepth_;
}

long CLog::WriteAt(const SYSTEMTIME& time, const char16_t* text) {
  if (!output_) return 0;
  try {
    WriteRecord(*output_, LogRecordHeader(threadId_, time, indentDepth_), text);
  } catch (...) {
    // Out of memory before the lock was taken: the record is lost.
  }
  return 0;
}

long CLog::Write(const char16_t* text) { return WriteAt(LocalNow(), text); }

long CLog::BeginBlock() {
  ++blockDepth_;
  if (output_) output_->Lock();
  return blockDepth_;
}

long CLog::EndBlock() {
  --blockDepth_;
  if (output_) {
    if (blockDepth_ <= 0) output_->Flush();
    output_->Unlock();
  }
  return blockDepth_;
}

CErrorLog::CErrorLog(ILogIO* output) : output_(Common::CRefPtr<ILogIO>::Share(output)) {}

long CErrorLog::WriteAt(const SYSTEMTIME& time, const char16_t* text) {
  if (!output_) return 0;
  try {
    WriteRecord(*output_, ErrorLogRecordHeader(time, GetCurrentProcessId(), GetCurrentThreadId()), text);
  } catch (...) {
    // Out of memory before the file was opened: the record is lost.
  }
  return 0;
}

long CErrorLog::Write(const char16_t* text) { return WriteAt(LocalNow(), text); }

}  // namespace opLogSys
