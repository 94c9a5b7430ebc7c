// A minimal in-process server that the runtime's tests register and load:
// one class whose objects answer ITestThing.
#pragma once

#include "comrt/unknown.h"

inline constexpr CLSID CLSID_TestThing = {0x2f0c7e11, 0x6a3b, 0x4d2e, {0x9b, 0x41, 0x0c, 0x77, 0x15, 0x5e, 0x2a, 0x01}};
inline constexpr IID IID_ITestThing = {0x2f0c7e11, 0x6a3b, 0x4d2e, {0x9b, 0x41, 0x0c, 0x77, 0x15, 0x5e, 0x2a, 0x02}};

struct ITestThing : public IUnknown {
  // Always 42.
  virtual HRESULT STDMETHODCALLTYPE Answer(LONG* answer) = 0;

 protected:
  ~ITestThing() = default;
};

COMRT_DECLARE_INTERFACE(ITestThing, IUnknown, IID_ITestThing);
