// The interfaces of the log system. Each is an abstract class whose virtual
// methods stand in the slot order below; texts are zero-terminated UTF-16.
#pragma once

#include "comrt/types.h"
#include "log/reference.h"

namespace opLogSys {

// A lock that can be taken and given back (no reference counting).
class ILockObject {
 public:
  // Takes the lock, waiting for it; the implementations say what they return.
  virtual long Lock() = 0;
  // Gives back what Lock took.
  virtual long Unlock() = 0;

 protected:
  ~ILockObject() = default;
};

// Where records go: a file, the debug-string channel or nowhere.
class ILogIO : public IReference {
 public:
  // Takes the output's lock (the error log file opens here).
  virtual long Lock() = 0;
  // Gives it back (the error log file closes here).
  virtual long Unlock() = 0;
  // Writes `text` and a line end; the byte count, or 0 / -1 when the output
  // cannot be opened (each output says which).
  virtual long WriteLine(const char16_t* text) = 0;
  // Writes `text`; the byte count, or 0 / -1 when it cannot be opened.
  virtual long Write(const char16_t* text) = 0;
  // Makes what was written durable, where the output does that.
  virtual long Flush() = 0;
};

// A record writer over one output.
class ILog : public IReference {
 public:
  // Indentation of the following records, one step deeper or shallower.
  virtual long Indent() = 0;
  virtual long Unindent() = 0;
  // Writes one record stamped with `time`.
  virtual long WriteAt(const SYSTEMTIME& time, const char16_t* text) = 0;
  // Writes one record stamped with the current local time.
  virtual long Write(const char16_t* text) = 0;
  // Holds the output from BeginBlock to the matching EndBlock, so that the
  // records of a block stay together.
  virtual long BeginBlock() = 0;
  virtual long EndBlock() = 0;
  // The thread whose records this log writes (0 for the error log).
  virtual DWORD GetThreadId() = 0;
};

// Which (subject, level) pairs are written.
class ILogFilter : public IReference {
 public:
  // 0 when a line of `subject` at `level` may be written, E_FAIL when not.
  virtual HRESULT IsFiltered(const char16_t* subject, int level) = 0;
  // E_FAIL when the filter holds no entry (so drops everything), else 0.
  virtual HRESULT IsEmpty() = 0;
};

// Makes the outputs and record writers of one configured kind. Each returns
// a new object with one reference, or null when memory runs out.
class IOutputLogSystemFactory : public IReference {
 public:
  // The output for the log called `name`.
  virtual ILogIO* CreateIO(const char16_t* name) = 0;
  // The record log of thread `threadId` over `output`.
  virtual ILog* CreateLog(DWORD threadId, ILogIO* output) = 0;
  // The error log record writer over `output`.
  virtual ILog* CreateErrorLog(ILogIO* output) = 0;
};

// A configuration: one factory and one filter. Its reference-counting slots
// come after its own.
class ILogSysInfo {
 public:
  // The factory, with a reference for the caller (null when there is none).
  virtual IOutputLogSystemFactory* GetFactory() = 0;
  // The filter, with a reference for the caller (null when there is none).
  virtual ILogFilter* GetFilter() = 0;
  virtual ~ILogSysInfo() = default;
  virtual long AddRef() = 0;
  virtual long Release() = 0;
};

}  // namespace opLogSys
