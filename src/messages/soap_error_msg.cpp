#include "messages/soap_error_msg.h"

#include "messages/message_values.h"

HRESULT CSoapErrorMsg::GetErrorCode(LONG* code) noexcept {
  if (!code) return E_FAIL;
  *code = errorCode_;
  return S_OK;
}

HRESULT CSoapErrorMsg::SetErrorCode(LONG code) noexcept {
  errorCode_ = code;
  return S_OK;
}

HRESULT CSoapErrorMsg::GetErrorDescription(BSTR* description) noexcept {
  return varnel::HandOutStringCopy(errorDescription_, description);
}

HRESULT CSoapErrorMsg::SetErrorDescription(BSTR description) noexcept {
  return varnel::StoreStringCopy(description, errorDescription_);
}
