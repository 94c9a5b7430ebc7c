#include "messages/query_state_variable_response.h"

#include "messages/message_values.h"

HRESULT CQueryStateVariableResponse::GetReturnValue(VARIANT* value) noexcept {
  return varnel::HandOutVariantCopy(returnValue_, value);
}

HRESULT CQueryStateVariableResponse::SetReturnValue(VARIANT value) noexcept {
  return varnel::StoreVariantCopy(value, returnValue_);
}
