// The error log file: opened and closed around every record, under a named
// mutex that every process writing a file of the same name shares, and moved
// to a single backup once it outgrows its size limit.
#pragma once

#include <memory>
#include <string>

#include "log/lock_objects.h"
#include "log/log_interfaces.h"

namespace opLogSys {

class COutputErrorLogIO final : public Common::CReference<ILogIO> {
 public:
  // `path` empty writes nothing. `trimMode` is carried for configurations
  // that set it; the file is rotated to its backup either way.
  COutputErrorLogIO(std::u16string path, DWORD sizeLimit, bool trimMode);
  ~COutputErrorLogIO() override;

  // Takes the mutex and, for the outermost Lock, opens the file at its end;
  // returns the open count (1 with no mutex, unchanged when the mutex could
  // not be had).
  long Lock() override;
  // At the outermost Unlock writes what the writes under the lock gave, in
  // one piece, and closes the file (with the size check); gives the mutex
  // back; returns the open count (0 with no mutex).
  long Unlock() override;
  // Under the mutex: `text` and "\r\n"; the bytes written, 0 when the file
  // cannot be opened.
  long WriteLine(const char16_t* text) override;
  // Under the mutex: `text` in the ANSI code page, held until the outermost
  // Unlock so that a record is written whole or, when memory runs out for
  // one of its pieces, not at all; the bytes taken, 0 when the file cannot
  // be opened.
  long Write(const char16_t* text) override;
  // Nothing: the file is closed after every record anyway.
  long Flush() override { return 0; }

  // "COutputErrorLogIO::" and the file's name without folder and extension.
  static std::u16string MutexNameFor(const std::u16string& path);

 private:
  void Open();
  void CloseWithSizeCheck();
  // Writes the held bytes, unless a piece was lost, and forgets them.
  void WriteHeld();

  std::u16string path_;
  std::unique_ptr<Common::CMutex> mutex_;
  int fd_ = -1;
  LONG openCount_ = 0;
  std::string held_;
  bool pieceLost_ = false;
  DWORD sizeLimit_;
  bool trimMode_;
};

}  // namespace opLogSys
