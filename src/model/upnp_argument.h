// One argument of an action, as the service description declares it.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "comrt/result_codes.h"

class CUPnPDataType;

class CUPnPArgument {
 public:
  enum class Direction { kUnset, kIn, kOut };

  // E_INVALIDARG for an empty name.
  HRESULT SetName(const std::u16string& name);
  // E_INVALIDARG for an empty variable name.
  HRESULT SetRelatedStateVariable(const std::u16string& variable);
  void SetDirection(Direction direction) { direction_ = direction; }

  const std::u16string& GetName() const { return name_; }
  const std::u16string& GetRelatedStateVariable() const { return relatedStateVariable_; }
  Direction GetDirection() const { return direction_; }

  // The related state variable's converter as the service's converter table
  // holds it (an empty pointer when its type has none), or null when the
  // table lacks the variable. Set by ResolveStateVariables whenever the
  // tables change; the table must outlive the argument.
  const boost::shared_ptr<CUPnPDataType>* GetVariable() const { return variable_; }
  void SetVariable(const boost::shared_ptr<CUPnPDataType>* variable) { variable_ = variable; }

 private:
  std::u16string name_;
  std::u16string relatedStateVariable_;
  Direction direction_ = Direction::kUnset;
  const boost::shared_ptr<CUPnPDataType>* variable_ = nullptr;
};
