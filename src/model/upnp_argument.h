// One argument of an action, as the service description declares it.
#pragma once

#include <string>

#include "comrt/result_codes.h"

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

 private:
  std::u16string name_;
  std::u16string relatedStateVariable_;
  Direction direction_ = Direction::kUnset;
};
