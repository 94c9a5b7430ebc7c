// A QueryStateVariable response: the value of the state variable.
#pragma once

#include "com/component_object.h"
#include "comrt/com_variant.h"
#include "varnel/varnel.h"

class CQueryStateVariableResponse
    : public varnel::CComponentObject<CQueryStateVariableResponse, IQueryStateVariableResponse,
                                      IUPnPQueryStateVariableResponse> {
 public:
  HRESULT STDMETHODCALLTYPE GetReturnValue(VARIANT* value) noexcept override;
  HRESULT STDMETHODCALLTYPE SetReturnValue(VARIANT value) noexcept override;

 private:
  CComVariant returnValue_;
};
