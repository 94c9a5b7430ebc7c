// What an InvokeAction request and an InvokeAction response share: the action
// name, the argument values, and what reading their arguments recorded.
#pragma once

#include <cstdint>
#include <optional>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "com/component_object.h"
#include "comrt/error_info.h"
#include "comrt/xml/node_view.h"
#include "messages/message_values.h"
#include "model/service_tables.h"

namespace varnel {

// Error information that names a UPnP error: `source` is its code ("401"),
// `description` its text. Throws the platform's code when it cannot be made.
CComPtr<IErrorInfo> MakeUPnPError(const OLECHAR* description, const OLECHAR* source);

}  // namespace varnel

class CInvokeActionMessage {
 public:
  enum class Kind : uint8_t { kResponse = 0, kRequest = 1 };

  // The action name taken from the message element's local name: a request
  // keeps it, a response drops a trailing "Response".
  virtual void SetNameFromElement(CComBSTR elementName) = 0;
  // The argument list that this kind of message carries.
  virtual const CUPnPArgumentList& SelectArguments(const CUPnPAction& action) const = 0;

  // Reads the argument elements below `messageElement` into the argument
  // values, converting each with its state variable's converter (as
  // ResolveStateVariables found it in the converter table). An unknown
  // action and a strict integer failure are kept as the request's UPnP
  // error; any other failure is thrown, and when a request fails because of
  // its argument elements or values, the UPnP error a device should answer
  // (402, 600 or 601) is left as the thread's error information first.
  void ReadArguments(comrt::xml::NodeView messageElement, const ActionTable& actions, Kind kind);

  // Keeps a UPnP error (description, source "401" or "600") as error
  // information. Throws the platform's code when it cannot be made.
  void RecordArgumentError(const OLECHAR* description, const OLECHAR* source);

  std::optional<Kind> GetKind() const { return kind_; }
  std::optional<HRESULT> GetReadResult() const { return readResult_; }
  bool HasArgumentError() const { return errorInfo_ != nullptr; }

 protected:
  CInvokeActionMessage() = default;
  ~CInvokeActionMessage() = default;
  CInvokeActionMessage(const CInvokeActionMessage&) = delete;
  CInvokeActionMessage& operator=(const CInvokeActionMessage&) = delete;

  // Installs the kept error information as the calling thread's.
  void InstallArgumentError() const noexcept;

  std::optional<Kind> kind_;
  CComBSTR actionName_;
  CComVariant arguments_;
  std::optional<HRESULT> readResult_;
  CComPtr<IErrorInfo> errorInfo_;
};

// The working interface operations that requests and responses share; the
// class adds GetArguments and the two reading operations.
template <class Derived, class EmptyInterface, class WorkingInterface>
class CInvokeActionObject : public varnel::CComponentObject<Derived, EmptyInterface, WorkingInterface>,
                            public CInvokeActionMessage {
 public:
  HRESULT STDMETHODCALLTYPE GetActionName(BSTR* name) noexcept override {
    return varnel::HandOutStringCopy(actionName_, name);
  }
  // Stores the name as given; only reading derives names from elements.
  HRESULT STDMETHODCALLTYPE SetActionName(BSTR name) noexcept override {
    return varnel::StoreStringCopy(name, actionName_);
  }
  HRESULT STDMETHODCALLTYPE SetArguments(VARIANT arguments) noexcept override {
    return varnel::StoreVariantCopy(arguments, arguments_);
  }
};
