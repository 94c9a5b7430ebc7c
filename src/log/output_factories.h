// The three factories a configuration can name, and the two small outputs
// that belong to them. They differ only in the output CreateIO makes; each
// returns a new object with one reference, or null when memory runs out.
#pragma once

#include <string>

#include "log/log_interfaces.h"

namespace opLogSys {
namespace Common {

// CreateLog and CreateErrorLog, the same for every factory.
class COutputLogSystemFactoryBase : public CReference<IOutputLogSystemFactory> {
 public:
  // A CLog for `threadId` over `output`.
  ILog* CreateLog(DWORD threadId, ILogIO* output) override;
  // A CErrorLog over `output`.
  ILog* CreateErrorLog(ILogIO* output) override;
};

}  // namespace Common

namespace File {

// Per-log files (file_io.h) in the folder that `location` names.
class COutputLogSystemFactory final : public Common::COutputLogSystemFactoryBase {
 public:
  // `executableFolder` empty: the host program's folder is asked for.
  COutputLogSystemFactory(bool autoflush, std::u16string location, std::u16string executableFolder = u"");
  ILogIO* CreateIO(const char16_t* name) override;

  bool Autoflush() const { return autoflush_; }
  const std::u16string& Location() const { return location_; }

 private:
  bool autoflush_;
  std::u16string location_;
  std::u16string executableFolder_;
};

}  // namespace File

namespace Ods {

// Everything to the platform's debug-string channel.
class COutputLogSystemFactory final : public Common::COutputLogSystemFactoryBase {
 public:
  // Sends each text at once, unbuffered and unlocked.
  class COutputDebugStringIO final : public Common::CReference<ILogIO> {
   public:
    long Lock() override { return 0; }
    long Unlock() override { return 0; }
    // The text and "\n" in one send; 0.
    long WriteLine(const char16_t* text) override;
    // The text; 0.
    long Write(const char16_t* text) override;
    long Flush() override { return 0; }
  };

  ILogIO* CreateIO(const char16_t* name) override;
};

}  // namespace Ods

namespace Null {

// Nothing anywhere.
class COutputLogSystemFactory final : public Common::COutputLogSystemFactoryBase {
 public:
  class CNullIO final : public Common::CReference<ILogIO> {
   public:
    long Lock() override { return 0; }
    long Unlock() override { return 0; }
    long WriteLine(const char16_t*) override { return 0; }
    long Write(const char16_t*) override { return 0; }
    long Flush() override { return 0; }
  };

  ILogIO* CreateIO(const char16_t* name) override;
};

}  // namespace Null
}  // namespace opLogSys
