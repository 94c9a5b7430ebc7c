// A QueryStateVariable request: the name of the state variable asked for.
#pragma once

#include "com/component_object.h"
#include "comrt/com_bstr.h"
#include "varnel/varnel.h"

class CQueryStateVariableRequest
    : public varnel::CComponentObject<CQueryStateVariableRequest, IQueryStateVariableRequest,
                                      IUPnPQueryStateVariableRequest> {
 public:
  HRESULT STDMETHODCALLTYPE GetVariableName(BSTR* name) noexcept override;
  HRESULT STDMETHODCALLTYPE SetVariableName(BSTR name) noexcept override;

 private:
  CComBSTR variableName_;
};
