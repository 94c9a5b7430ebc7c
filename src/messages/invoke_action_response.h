// An InvokeAction response: the action a device ran, with its output
// argument values.
#pragma once

#include "messages/invoke_action_message.h"
#include "varnel/varnel.h"

class CInvokeActionResponse
    : public CInvokeActionObject<CInvokeActionResponse, IInvokeActionResponse, IUPnPInvokeActionResponse> {
 public:
  void SetNameFromElement(CComBSTR elementName) override;
  const CUPnPArgumentList& SelectArguments(const CUPnPAction& action) const override;

  HRESULT STDMETHODCALLTYPE GetArguments(VARIANT* arguments) noexcept override;
};
