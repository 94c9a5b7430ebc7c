// The two record writers: CLog writes one thread's records with their
// indentation and blocks, CErrorLog the error log's stamped lines.
#pragma once

#include <string>

#include "log/log_interfaces.h"

namespace opLogSys {

// One thread's records: "[thread][date(time)]", the indentation, the text.
// Used by its own thread only; the output's lock keeps threads apart.
class CLog final : public Common::CReference<ILog> {
 public:
  // Takes a reference on `output`.
  CLog(DWORD threadId, ILogIO* output);

  // Depth + 1; returns the new depth.
  long Indent() override;
  // Depth - 1, never below 0; returns the new depth.
  long Unindent() override;
  // One record under the output's lock; 0.
  long WriteAt(const SYSTEMTIME& time, const char16_t* text) override;
  long Write(const char16_t* text) override;
  // Block depth + 1, then takes the output's lock; returns the block depth.
  long BeginBlock() override;
  // Block depth - 1, flushing the output when the outermost block ends, and
  // gives the output's lock back; returns the block depth.
  long EndBlock() override;
  DWORD GetThreadId() override { return threadId_; }

 private:
  Common::CRefPtr<ILogIO> output_;
  LONG indentDepth_ = 0;
  LONG blockDepth_ = 0;
  DWORD threadId_;
};

// The error log's records: "[date time.ms][process][thread] " and the text.
class CErrorLog final : public Common::CReference<ILog> {
 public:
  // Takes a reference on `output`.
  explicit CErrorLog(ILogIO* output);

  long Indent() override { return 1; }
  long Unindent() override { return 1; }
  // One record between the output's Lock and Unlock (which open and close
  // the error log file); 0.
  long WriteAt(const SYSTEMTIME& time, const char16_t* text) override;
  long Write(const char16_t* text) override;
  long BeginBlock() override { return 1; }
  long EndBlock() override { return 1; }
  DWORD GetThreadId() override { return 0; }

 private:
  Common::CRefPtr<ILogIO> output_;
};

// The record header of each writer, as it stands before the text.
std::u16string LogRecordHeader(DWORD threadId, const SYSTEMTIME& time, LONG indentDepth);
std::u16string ErrorLogRecordHeader(const SYSTEMTIME& time, DWORD processId, DWORD threadId);

}  // namespace opLogSys
