// An InvokeAction response: the action a device ran, with its output
// argument values.
#pragma once

#include "com/component_object.h"
#include "messages/invoke_action_message.h"
#include "varnel/varnel.h"

class CInvokeActionResponse
    : public varnel::CComponentObject<CInvokeActionResponse, IInvokeActionResponse, IUPnPInvokeActionResponse>,
      public CInvokeActionMessage {
 public:
  void SetNameFromElement(CComBSTR elementName) override;
  const CUPnPArgumentList& SelectArguments(const CUPnPAction& action) const override;

  // IUPnPInvokeActionResponse
  HRESULT STDMETHODCALLTYPE GetActionName(BSTR* name) noexcept override;
  HRESULT STDMETHODCALLTYPE SetActionName(BSTR name) noexcept override;
  HRESULT STDMETHODCALLTYPE GetArguments(VARIANT* arguments) noexcept override;
  HRESULT STDMETHODCALLTYPE SetArguments(VARIANT arguments) noexcept override;
};
