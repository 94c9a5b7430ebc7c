#include "messages/query_state_variable_request.h"

#include "messages/message_values.h"

HRESULT CQueryStateVariableRequest::GetVariableName(BSTR* name) noexcept {
  return varnel::HandOutStringCopy(variableName_, name);
}

HRESULT CQueryStateVariableRequest::SetVariableName(BSTR name) noexcept {
  return varnel::StoreStringCopy(name, variableName_);
}
