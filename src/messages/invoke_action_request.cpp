#include "messages/invoke_action_request.h"

#include <utility>

#include "messages/message_values.h"

void CInvokeActionRequest::SetNameFromElement(CComBSTR elementName) { actionName_ = std::move(elementName); }

const CUPnPArgumentList& CInvokeActionRequest::SelectArguments(const CUPnPAction& action) const {
  return action.GetInArguments();
}

HRESULT CInvokeActionRequest::GetArguments(VARIANT* arguments) noexcept {
  if (!arguments) return E_FAIL;
  const HRESULT cleared = VariantClear(arguments);
  if (FAILED(cleared)) return cleared;
  // A recorded UPnP error outlives any later SetArguments: the caller must
  // answer this request with the error.
  if (HasArgumentError()) {
    InstallArgumentError();
    return E_UPNP_ARGUMENT_ERROR;
  }
  return varnel::HandOutVariantCopy(arguments_, arguments);
}
