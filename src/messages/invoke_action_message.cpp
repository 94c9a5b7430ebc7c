#include "messages/invoke_action_message.h"

namespace varnel {

CComPtr<IErrorInfo> MakeUPnPError(const OLECHAR* description, const OLECHAR* source) {
  CComPtr<ICreateErrorInfo> created;
  HRESULT hr = CreateErrorInfo(&created);
  if (FAILED(hr)) throw hr;
  hr = created->SetDescription(const_cast<LPOLESTR>(description));
  if (FAILED(hr)) throw hr;
  hr = created->SetSource(const_cast<LPOLESTR>(source));
  if (FAILED(hr)) throw hr;
  CComPtr<IErrorInfo> info;
  hr = created.QueryInterface(&info);
  if (FAILED(hr)) throw hr;
  return info;
}

}  // namespace varnel

void CInvokeActionMessage::RecordArgumentError(const OLECHAR* description, const OLECHAR* source) {
  errorInfo_ = varnel::MakeUPnPError(description, source);
}

void CInvokeActionMessage::InstallArgumentError() const noexcept { SetErrorInfo(0, errorInfo_); }
