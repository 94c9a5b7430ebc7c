#include "varnel/host/named_values.h"

#include <cstdint>
#include <utility>

#include "comrt/com_safe_array.h"
#include "comrt/error_info.h"
#include "numeric_text.h"
#include "text.h"
#include "thread_error.h"

namespace varnel {
namespace host {

std::string StandardErrorDescription(LONG code) {
  switch (code) {
    case 401: return "Invalid Action";
    case 402: return "Invalid Args";
    case 404: return "Invalid Var";
    case 501: return "Action Failed";
    case 600: return "Argument Value Invalid";
    case 601: return "Argument Value Out of Range";
    case 602: return "Optional Action Not Implemented";
    case 603: return "Out of Memory";
    case 604: return "Human Intervention Required";
    case 605: return "String Argument Too Long";
    case 606: return "Action Not Authorized";
    default: return std::string();
  }
}

const char* MessageKindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::kInvokeActionRequest: return "InvokeAction request";
    case MessageKind::kInvokeActionResponse: return "InvokeAction response";
    case MessageKind::kQueryStateVariableRequest: return "QueryStateVariable request";
    case MessageKind::kQueryStateVariableResponse: return "QueryStateVariable response";
    case MessageKind::kFault: return "fault";
    case MessageKind::kNone: break;
  }
  return "nothing";
}

std::string VariantTypeName(VARTYPE type) {
  static const struct {
    VARTYPE type;
    const char* name;
  } kNames[] = {{VT_EMPTY, "VT_EMPTY"}, {VT_NULL, "VT_NULL"},   {VT_I2, "VT_I2"},     {VT_I4, "VT_I4"},
                {VT_R4, "VT_R4"},       {VT_R8, "VT_R8"},       {VT_CY, "VT_CY"},     {VT_DATE, "VT_DATE"},
                {VT_BSTR, "VT_BSTR"},   {VT_BOOL, "VT_BOOL"},   {VT_VARIANT, "VT_VARIANT"},
                {VT_I1, "VT_I1"},       {VT_UI1, "VT_UI1"},     {VT_UI2, "VT_UI2"},   {VT_UI4, "VT_UI4"},
                {VT_I8, "VT_I8"},       {VT_UI8, "VT_UI8"},     {VT_INT, "VT_INT"},   {VT_UINT, "VT_UINT"},
                {VT_UNKNOWN, "VT_UNKNOWN"}, {VT_DISPATCH, "VT_DISPATCH"}, {VT_ERROR, "VT_ERROR"}};
  std::string name = (type & VT_ARRAY) ? "VT_ARRAY|" : "";
  const VARTYPE base = type & VT_TYPEMASK;
  for (const auto& entry : kNames) {
    if (entry.type == base) return name + entry.name;
  }
  return name + "VT_" + std::to_string(base);
}

NamedValues::NamedValues(const ServiceDescription& description, IUPnPGenaMsgWriterHelper* converter)
    : description_(&description), converter_(converter) {}

Status NamedValues::ParseValue(std::string_view variable, std::string_view text, CComVariant* value) const {
  const StateVariable* declared = description_->FindStateVariable(variable);
  if (!declared) return Status(E_FAIL, "the description has no state variable " + Quoted(variable));
  const NumericCheck check = CheckNumericText(declared->dataType, text);
  if (check != NumericCheck::kFine) {
    const HRESULT code = check == NumericCheck::kBadInteger ? DISP_E_BADVARTYPE : E_INVALIDARG;
    return Status(code, "value " + Quoted(text) + " is not a whole " + declared->dataType + " number");
  }
  if (!converter_) return Status(E_POINTER, "no event value converter to parse values with");
  CComVariant parsed;
  const HRESULT hr = converter_->ParseStateVariableValue(Wide(variable), Wide(text), &parsed);
  if (hr == E_NOTIMPL) {
    return Status(hr, "state variable " + Quoted(variable) + " has data type " + Quoted(declared->dataType) +
                          ", which has no converter");
  }
  if (FAILED(hr)) {
    return Status(hr, "value " + Quoted(text) + " is refused as a " + declared->dataType + " value of " +
                          Quoted(variable));
  }
  *value = std::move(parsed);
  return Status();
}

Status NamedValues::FormatValue(std::string_view variable, const VARIANT& value, std::string* text) const {
  if (!converter_) return Status(E_POINTER, "no event value converter to format values with");
  CComBSTR written;
  const HRESULT hr = converter_->FormatStateVariableValue(Wide(variable), value, &written);
  if (FAILED(hr)) return Status(hr, "cannot write a value of " + Quoted(variable));
  *text = Utf8(written);
  return Status();
}

Status NamedValues::BuildArguments(const Action& action, bool outputs, const std::vector<TextValue>& values,
                                   CComVariant* arguments) const {
  const std::vector<Argument>& declared = outputs ? action.outputs : action.inputs;
  const char* direction = outputs ? "output" : "input";
  for (size_t i = 0; i < values.size(); ++i) {
    bool known = false;
    for (const Argument& argument : declared) known = known || argument.name == values[i].name;
    if (!known) {
      return Status(DISP_E_UNKNOWNNAME, "action " + Quoted(action.name) + " has no " + direction + " argument " +
                                            Quoted(values[i].name) + " (its " + direction +
                                            " arguments: " + NamesOf(declared) + ")");
    }
    for (size_t j = 0; j < i; ++j) {
      if (values[j].name == values[i].name) return Status(E_INVALIDARG, "argument " + Quoted(values[i].name) + " is given twice");
    }
  }
  CComSafeArray<VARIANT> array(static_cast<ULONG>(declared.size()));
  for (size_t i = 0; i < declared.size(); ++i) {
    const TextValue* given = nullptr;
    for (const TextValue& value : values) {
      if (value.name == declared[i].name) given = &value;
    }
    if (!given) {
      return Status(E_INVALIDARG, "no value for " + std::string(direction) + " argument " + Quoted(declared[i].name) +
                                      " of action " + Quoted(action.name));
    }
    CComVariant value;
    Status parsed = ParseValue(declared[i].relatedStateVariable, given->text, &value);
    if (!parsed.ok()) return Status(parsed.code(), "argument " + Quoted(declared[i].name) + ": " + parsed.problem());
    const HRESULT hr = array.SetAt(static_cast<LONG>(i), value);
    if (FAILED(hr)) return Status(hr, "cannot store the value of argument " + Quoted(declared[i].name));
  }
  CComVariant made;
  made.vt = VT_ARRAY | VT_VARIANT;
  made.parray = array.Detach();
  *arguments = std::move(made);
  return Status();
}

NamedValue NamedValues::Named(const Argument& argument, const VARIANT& value) const {
  NamedValue named;
  named.name = argument.name;
  named.variable = argument.relatedStateVariable;
  named.dataType = argument.dataType;
  named.value = value;
  if (value.vt == VT_BSTR) {
    // Text types hold their text itself; an empty element reads as a null string.
    named.text = Utf8(value.bstrVal);
  } else if (!FormatValue(named.variable, value, &named.text).ok()) {
    CComVariant asText;
    named.text = SUCCEEDED(asText.ChangeType(VT_BSTR, &value)) ? Utf8(asText.bstrVal)
                                                               : "(" + VariantTypeName(value.vt) + ")";
  }
  return named;
}

Status NamedValues::ReadArguments(const Action& action, bool outputs, const VARIANT& arguments,
                                  std::vector<NamedValue>* out) const {
  const std::vector<Argument>& declared = outputs ? action.outputs : action.inputs;
  std::vector<NamedValue> named;
  if (arguments.vt == VT_EMPTY && declared.empty()) {
    *out = std::move(named);
    return Status();
  }
  if (arguments.vt != (VT_ARRAY | VT_VARIANT) || !arguments.parray) {
    return Status(E_INVALIDARG, "the arguments of " + Quoted(action.name) + " are not an array of variants");
  }
  CComSafeArray<VARIANT> array;
  HRESULT hr = array.CopyFrom(arguments.parray);
  if (FAILED(hr)) return Status(hr, "cannot copy the arguments of " + Quoted(action.name));
  if (array.GetCount() != declared.size()) {
    return Status(E_INVALIDARG, "action " + Quoted(action.name) + " has " + std::to_string(declared.size()) +
                                    " " + (outputs ? "output" : "input") + " arguments, the message " +
                                    std::to_string(array.GetCount()));
  }
  const LONG lower = array.GetLowerBound();
  for (size_t i = 0; i < declared.size(); ++i) {
    named.push_back(Named(declared[i], array.GetAt(lower + static_cast<LONG>(i))));
  }
  *out = std::move(named);
  return Status();
}

Status NamedValues::Describe(IUnknown* messageObject, std::string_view queriedVariable, DecodedMessage* out) const {
  if (!messageObject) return Status(E_POINTER, "no message object to describe");
  DecodedMessage decoded;
  HRESULT hr = S_OK;
  if (CComQIPtr<IUPnPInvokeActionRequest> request = messageObject) {
    decoded.kind = MessageKind::kInvokeActionRequest;
    CComBSTR name;
    if (FAILED(hr = request->GetActionName(&name))) return Status(hr, "cannot get the request's action name");
    decoded.name = Utf8(name);
    SetErrorInfo(0, nullptr);
    CComVariant arguments;
    hr = request->GetArguments(&arguments);
    if (hr == E_UPNP_ARGUMENT_ERROR) {
      decoded.error = TakeUPnPError();
    } else if (FAILED(hr)) {
      return Status(hr, "cannot get the arguments of " + Quoted(decoded.name));
    } else if (const Action* action = description_->FindAction(decoded.name)) {
      Status read = ReadArguments(*action, false, arguments, &decoded.values);
      if (!read.ok()) return read;
    }
  } else if (CComQIPtr<IUPnPInvokeActionResponse> response = messageObject) {
    decoded.kind = MessageKind::kInvokeActionResponse;
    CComBSTR name;
    if (FAILED(hr = response->GetActionName(&name))) return Status(hr, "cannot get the response's action name");
    decoded.name = Utf8(name);
    CComVariant arguments;
    if (FAILED(hr = response->GetArguments(&arguments))) {
      return Status(hr, "cannot get the output arguments of " + Quoted(decoded.name));
    }
    if (const Action* action = description_->FindAction(decoded.name)) {
      Status read = ReadArguments(*action, true, arguments, &decoded.values);
      if (!read.ok()) return read;
    }
  } else if (CComQIPtr<IUPnPQueryStateVariableRequest> query = messageObject) {
    decoded.kind = MessageKind::kQueryStateVariableRequest;
    CComBSTR name;
    if (FAILED(hr = query->GetVariableName(&name))) return Status(hr, "cannot get the queried variable's name");
    decoded.name = Utf8(name);
  } else if (CComQIPtr<IUPnPQueryStateVariableResponse> answer = messageObject) {
    decoded.kind = MessageKind::kQueryStateVariableResponse;
    decoded.name = std::string(queriedVariable);
    CComVariant value;
    if (FAILED(hr = answer->GetReturnValue(&value))) return Status(hr, "cannot get the query's return value");
    Argument returned{queriedVariable.empty() ? "return" : std::string(queriedVariable), std::string(queriedVariable),
                      std::string()};
    if (const StateVariable* variable = description_->FindStateVariable(queriedVariable)) {
      returned.dataType = variable->dataType;
      if (value.vt == VT_BSTR) {
        CComVariant typed;
        Status parsed = ParseValue(variable->name, Utf8(value.bstrVal), &typed);
        if (!parsed.ok()) return Status(parsed.code(), "the return value: " + parsed.problem());
        value = std::move(typed);
      }
    }
    decoded.values.push_back(Named(returned, value));
  } else if (CComQIPtr<IUPnPSoapErrorMsg> fault = messageObject) {
    decoded.kind = MessageKind::kFault;
    UPnPError error;
    CComBSTR description;
    if (FAILED(hr = fault->GetErrorCode(&error.code)) || FAILED(hr = fault->GetErrorDescription(&description))) {
      return Status(hr, "cannot get the fault's UPnP error");
    }
    error.description = Utf8(description);
    decoded.error = std::move(error);
  } else {
    return Status(E_NOINTERFACE, "the object is no message object of the library");
  }
  *out = std::move(decoded);
  return Status();
}

}  // namespace host
}  // namespace varnel
