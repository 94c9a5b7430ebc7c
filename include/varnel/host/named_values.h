// Named values: between what a person or a host's own code holds (argument
// names with values as text) and what the library takes and gives (arrays of
// typed variants in description order). Values are converted by the library's
// own converters, through an event value converter loaded with the same
// description; the kit only refuses, beforehand, numeric text with anything
// after the number, which the library's lenient reading would ignore.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "varnel/host/export.h"
#include "varnel/host/service_description.h"
#include "varnel/host/status.h"
#include "varnel/varnel.h"

namespace varnel {
namespace host {

struct TextValue {
  std::string name;
  std::string text;
};

// One value read back from a message object.
struct NamedValue {
  std::string name;      // the argument's name; for a query answer, the variable's
  std::string variable;  // the related state variable
  std::string dataType;  // its UPnP data type; empty when not known
  CComVariant value;     // as the library handed it out
  std::string text;      // the value in its data type's text form
};

struct UPnPError {
  LONG code = 0;
  std::string description;
};

// The description UPnP gives a standard error code (401 "Invalid Action",
// 402 "Invalid Args", 501 "Action Failed", 600 to 606, ...); empty for others.
VARNEL_HOST_API std::string StandardErrorDescription(LONG code);

enum class MessageKind {
  kNone,  // nothing was read
  kInvokeActionRequest,
  kInvokeActionResponse,
  kQueryStateVariableRequest,
  kQueryStateVariableResponse,
  kFault,
};

// "InvokeAction request", ..., "fault".
VARNEL_HOST_API const char* MessageKindName(MessageKind kind);
// The variant type's name: "VT_UI2", "VT_ARRAY|VT_UI1", ...
VARNEL_HOST_API std::string VariantTypeName(VARTYPE type);

// What a message object holds, described by name.
struct DecodedMessage {
  MessageKind kind = MessageKind::kNone;
  std::string name;                // the action, or the queried variable
  std::vector<NamedValue> values;  // arguments in description order, or the one answer
  // A fault's UPnP error; for a request, the UPnP error it was read with
  // (401 or 600) for the device to answer with; for a body that did not
  // read, the one the library names (402, 600, 601).
  std::optional<UPnPError> error;
};

class VARNEL_HOST_API NamedValues {
 public:
  // Works on `description` (not copied: it must outlive this object) with
  // `converter`, an event value converter loaded with the same description
  // (referenced).
  NamedValues(const ServiceDescription& description, IUPnPGenaMsgWriterHelper* converter);

  // The typed value of `variable` that `text` stands for. DISP_E_BADVARTYPE
  // for integer text that is not wholly a number of the type's bounds,
  // E_INVALIDARG for other numeric text that is not wholly a number,
  // E_FAIL for an unknown variable, E_NOTIMPL for a data type without
  // converter, and the converter's code for a value it refuses.
  Status ParseValue(std::string_view variable, std::string_view text, CComVariant* value) const;
  // The text form of `value` as a value of `variable`. Fails as the
  // converter's FormatStateVariableValue.
  Status FormatValue(std::string_view variable, const VARIANT& value, std::string* text) const;

  // The argument array (VT_ARRAY|VT_VARIANT, lower bound 0) of `action`'s
  // inputs (or outputs), one value per argument from `values` by name.
  // E_INVALIDARG for an argument without value or named twice,
  // DISP_E_UNKNOWNNAME for a name the action lacks; ParseValue's codes.
  Status BuildArguments(const Action& action, bool outputs, const std::vector<TextValue>& values,
                        CComVariant* arguments) const;
  // Names the values of `arguments`, an array as the message objects hand it
  // out, after `action`'s inputs (or outputs). E_INVALIDARG when the array
  // does not have one value per argument.
  Status ReadArguments(const Action& action, bool outputs, const VARIANT& arguments,
                       std::vector<NamedValue>* out) const;

  // Describes a message object that ReadMessage handed out. A query answer
  // is typed as a value of `queriedVariable` when given (its value is text
  // otherwise). E_NOINTERFACE for an object of no known kind, the object's
  // codes, ReadArguments' and ParseValue's.
  Status Describe(IUnknown* messageObject, std::string_view queriedVariable, DecodedMessage* out) const;

 private:
  NamedValue Named(const Argument& argument, const VARIANT& value) const;

  const ServiceDescription* description_;
  CComPtr<IUPnPGenaMsgWriterHelper> converter_;
};

}  // namespace host
}  // namespace varnel
