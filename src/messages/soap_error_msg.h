// A SOAP fault's UPnP error: its code and description.
#pragma once

#include "com/component_object.h"
#include "comrt/com_bstr.h"
#include "varnel/varnel.h"

class CSoapErrorMsg : public varnel::CComponentObject<CSoapErrorMsg, ISoapErrorMsg, IUPnPSoapErrorMsg> {
 public:
  HRESULT STDMETHODCALLTYPE GetErrorCode(LONG* code) noexcept override;
  HRESULT STDMETHODCALLTYPE SetErrorCode(LONG code) noexcept override;
  HRESULT STDMETHODCALLTYPE GetErrorDescription(BSTR* description) noexcept override;
  HRESULT STDMETHODCALLTYPE SetErrorDescription(BSTR description) noexcept override;

 private:
  LONG errorCode_ = -1;  // no error code set
  CComBSTR errorDescription_;
};
