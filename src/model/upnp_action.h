// One action of a service: its name and its input and output arguments.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "model/upnp_argument_list.h"

class CUPnPAction {
 public:
  // E_INVALIDARG for an empty name.
  HRESULT SetName(const std::u16string& name);
  const std::u16string& GetName() const { return name_; }

  // Files the argument under its name in the list of its direction;
  // E_UNEXPECTED for an argument without a direction; E_POINTER for null.
  HRESULT AddArgument(const boost::shared_ptr<CUPnPArgument>& argument);

  const CUPnPArgumentList& GetInArguments() const { return inArguments_; }
  const CUPnPArgumentList& GetOutArguments() const { return outArguments_; }

 private:
  std::u16string name_;
  CUPnPArgumentList inArguments_;
  CUPnPArgumentList outArguments_;
};
