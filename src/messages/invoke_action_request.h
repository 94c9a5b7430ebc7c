// An InvokeAction request: the action a control point asks a device to run,
// with its input argument values, or the UPnP error that reading it recorded.
#pragma once

#include "messages/invoke_action_message.h"
#include "varnel/varnel.h"

class CInvokeActionRequest
    : public CInvokeActionObject<CInvokeActionRequest, IInvokeActionRequest, IUPnPInvokeActionRequest> {
 public:
  void SetNameFromElement(CComBSTR elementName) override;
  const CUPnPArgumentList& SelectArguments(const CUPnPAction& action) const override;

  HRESULT STDMETHODCALLTYPE GetArguments(VARIANT* arguments) noexcept override;
};
