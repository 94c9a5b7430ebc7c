// An InvokeAction request: the action a control point asks a device to run,
// with its input argument values, or the UPnP error that reading it recorded.
#pragma once

#include "com/component_object.h"
#include "messages/invoke_action_message.h"
#include "varnel/varnel.h"

class CInvokeActionRequest
    : public varnel::CComponentObject<CInvokeActionRequest, IInvokeActionRequest, IUPnPInvokeActionRequest>,
      public CInvokeActionMessage {
 public:
  void SetNameFromElement(CComBSTR elementName) override;
  const CUPnPArgumentList& SelectArguments(const CUPnPAction& action) const override;

  // IUPnPInvokeActionRequest
  HRESULT STDMETHODCALLTYPE GetActionName(BSTR* name) noexcept override;
  HRESULT STDMETHODCALLTYPE SetActionName(BSTR name) noexcept override;
  HRESULT STDMETHODCALLTYPE GetArguments(VARIANT* arguments) noexcept override;
  HRESULT STDMETHODCALLTYPE SetArguments(VARIANT arguments) noexcept override;
};
