// What a device hosted by `varnel serve` answers to a request the library
// has read: output values or a UPnP error from its behaviour, and the UPnP
// error for a request the library refused.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "behaviour_file.h"
#include "comrt/result_codes.h"
#include "varnel/host/named_values.h"
#include "varnel/host/service.h"

namespace varnel_tool {

struct DeviceAnswer {
  std::optional<varnel::host::UPnPError> error;   // answer with this fault
  std::vector<varnel::host::TextValue> outputs;  // else with these values
  // Why the answer is 501 Action Failed, when the device itself could not
  // answer (an output without value); empty otherwise.
  std::string problem;
};

// The answer to `request`, an InvokeAction request of an action the
// description has, read without error: the first case whose `when` inputs
// all match, else the action's own entry; its error, or its outputs (given,
// echoed, or the related state variables' values). `behaviour` may be null.
DeviceAnswer AnswerAction(const varnel::host::Service& service, const ServiceBehaviour* behaviour,
                          const varnel::host::DecodedMessage& request);

// The answer to a QueryStateVariable of `variable`, a variable of the
// description: its value in the behaviour, else its defaultValue; 501
// Action Failed when it has neither.
DeviceAnswer AnswerQuery(const varnel::host::Service& service, const ServiceBehaviour* behaviour,
                         const std::string& variable);

// The value text of `variable`: the behaviour's, else the description's
// defaultValue; nothing when there is neither.
std::optional<std::string> VariableValue(const varnel::host::Service& service, const ServiceBehaviour* behaviour,
                                         const std::string& variable);

// The UPnP error to answer a request with whose ReadMessage failed with
// `code`, having left `named` as its error information:
//   402, 600 or 601 named by the library   that error
//   0x80040301 (not a control message)     402 Invalid Args
//   a QueryStateVariable failing with E_UNEXPECTED or E_POINTER (a
//   variable the description lacks, or none named)   404 Invalid Var
//   anything else                          501 Action Failed
varnel::host::UPnPError ErrorOfFailedRead(HRESULT code, const std::optional<varnel::host::UPnPError>& named,
                                          bool query);

// `code` with its standard description.
varnel::host::UPnPError StandardError(LONG code);

}  // namespace varnel_tool
