#include "model/upnp_action.h"

HRESULT CUPnPArgument::SetName(const std::u16string& name) {
  if (name.empty()) return E_INVALIDARG;
  name_ = name;
  return S_OK;
}

HRESULT CUPnPArgument::SetRelatedStateVariable(const std::u16string& variable) {
  if (variable.empty()) return E_INVALIDARG;
  relatedStateVariable_ = variable;
  return S_OK;
}

HRESULT CUPnPAction::SetName(const std::u16string& name) {
  if (name.empty()) return E_INVALIDARG;
  name_ = name;
  return S_OK;
}

HRESULT CUPnPAction::AddArgument(const boost::shared_ptr<CUPnPArgument>& argument) {
  if (!argument) return E_POINTER;
  switch (argument->GetDirection()) {
    case CUPnPArgument::Direction::kIn:
      inArguments_.Add(argument->GetName(), argument);
      return S_OK;
    case CUPnPArgument::Direction::kOut:
      outArguments_.Add(argument->GetName(), argument);
      return S_OK;
    case CUPnPArgument::Direction::kUnset:
      break;
  }
  return E_UNEXPECTED;
}
