// The argument reader shared by InvokeAction requests and responses.
#include <optional>
#include <string>
#include <vector>

#include "com/dom_access.h"
#include "comrt/atl_exception.h"
#include "comrt/com_safe_array.h"
#include "datatypes/upnp_data_type.h"
#include "messages/invoke_action_message.h"

namespace {

// The text of an argument element: its text and CDATA children joined in
// order (a peer may split one value into several pieces), comments and
// processing instructions skipped. False when it has no such piece, which is
// read as a null string. An element among the children is no value text.
bool ReadValueText(IXMLDOMNode* argumentElement, CComBSTR& text) {
  int pieces = 0;
  std::u16string joined;  // used from the second piece on; one piece is taken as it is
  varnel::ForEachChild(argumentElement, [&](IXMLDOMNode* child) {
    DOMNodeType type = NODE_INVALID;
    varnel::ThrowIfFailed(child->get_nodeType(&type));
    if (type == NODE_COMMENT || type == NODE_PROCESSING_INSTRUCTION) return;
    if (type != NODE_TEXT && type != NODE_CDATA_SECTION) throw E_INVALIDARG;
    CComVariant value;
    varnel::ThrowIfFailed(child->get_nodeValue(&value));
    if (value.vt != VT_BSTR) throw E_INVALIDARG;
    if (++pieces == 1) {
      text.Attach(value.bstrVal);
      value.vt = VT_EMPTY;
      return;
    }
    if (pieces == 2) joined.assign(text.m_str ? text.m_str : u"", text.Length());
    if (value.bstrVal) joined.append(value.bstrVal, SysStringLen(value.bstrVal));
  });
  if (pieces > 1) {
    text.Empty();
    text.Attach(SysAllocStringLen(joined.data(), static_cast<UINT>(joined.size())));
    if (!text) _com_issue_error(E_OUTOFMEMORY);
  }
  return pieces > 0;
}

}  // namespace

namespace {

// Why a request's arguments were refused, as the UPnP error to answer.
struct Refusal {
  const char16_t* source;
  const char16_t* description;
};
constexpr Refusal kInvalidArgs{u"402", u"Invalid Args"};
constexpr Refusal kValueInvalid{u"600", u"Argument Value Invalid"};
constexpr Refusal kOutOfRange{u"601", u"Argument Value Out of Range"};

// Converts one value; on failure notes whether the value was of the wrong
// kind or outside the variable's range, and lets the failure go on.
CComVariant ConvertValue(const CUPnPDataType& converter, std::u16string_view text, bool strict,
                         std::optional<Refusal>& refusal) {
  try {
    return converter.StringToVariant(text, strict);
  } catch (HRESULT hr) {
    if (hr == E_INVALIDARG) refusal = converter.IsOutOfRange(text, strict) ? kOutOfRange : kValueInvalid;
    throw;
  } catch (const CAtlException& e) {
    // A fixed-point text the platform cannot hold.
    if (e.m_hr == DISP_E_OVERFLOW || e.m_hr == DISP_E_TYPEMISMATCH) refusal = kValueInvalid;
    throw;
  }
}

// Makes the refusal, if any, the thread's error information. The read fails
// whatever happens here, so a refusal that cannot be made is left out.
void LeaveOnThread(const std::optional<Refusal>& refusal) noexcept {
  if (!refusal) return;
  try {
    SetErrorInfo(0, varnel::MakeUPnPError(refusal->description, refusal->source));
  } catch (...) {
  }
}

}  // namespace

void CInvokeActionMessage::ReadArguments(IXMLDOMNode* messageElement, const ActionTable& actions,
                                         const DataTypeTable& dataTypes, Kind kind) {
  kind_ = kind;
  readResult_ = S_OK;
  // Set just before a failure that the request's sender caused, for the
  // device to answer with.
  std::optional<Refusal> refusal;
  try {
    SetNameFromElement(CComBSTR(varnel::BaseNameOf(messageElement).c_str()));
    const std::u16string name = actionName_.m_str ? std::u16string(actionName_.m_str) : std::u16string();
    const auto action = actions.find(name);
    if (action == actions.end()) throw DISP_E_UNKNOWNNAME;
    const CUPnPArgumentList& arguments = SelectArguments(*action->second);

    CComPtr<IXMLDOMNodeList> children;
    varnel::ThrowIfFailed(messageElement->get_childNodes(&children));
    LONG count = 0;
    varnel::ThrowIfFailed(children->get_length(&count));
    if (static_cast<size_t>(count) != arguments.GetSize()) {
      refusal = kInvalidArgs;
      throw E_INVALIDARG;
    }

    CComSafeArray<VARIANT> values(static_cast<ULONG>(count));
    // An element named twice would leave another argument unread while the
    // count still matches.
    std::vector<bool> filled(arguments.GetSize(), false);
    const bool strict = kind == Kind::kRequest;
    varnel::ForEachNode(children, [&](IXMLDOMNode* child) {
      const size_t position = arguments.Find(varnel::NodeNameOf(child));
      if (position == CUPnPArgumentList::npos || filled[position]) {
        refusal = kInvalidArgs;
        throw position == CUPnPArgumentList::npos ? E_UNEXPECTED : E_INVALIDARG;
      }
      filled[position] = true;
      const auto variable = dataTypes.find(arguments[position].second->GetRelatedStateVariable());
      if (variable == dataTypes.end()) throw E_INVALIDARG;
      CComBSTR text;
      bool hasText = false;
      try {
        hasText = ReadValueText(child, text);
      } catch (HRESULT) {
        refusal = kValueInvalid;  // markup where a value belongs
        throw;
      }
      if (!hasText) {
        CComVariant nullString;
        nullString.vt = VT_BSTR;
        nullString.bstrVal = nullptr;
        varnel::ThrowIfFailed(values.SetAt(static_cast<LONG>(position), nullString));
        return;
      }
      if (!variable->second) throw E_NOTIMPL;  // a data type without converter
      const std::u16string_view value(text.m_str ? text.m_str : u"", text.Length());
      // A value whose copy fails must fail the read, not leave an empty slot.
      varnel::ThrowIfFailed(
          values.SetAt(static_cast<LONG>(position), ConvertValue(*variable->second, value, strict, refusal)));
    });

    arguments_.Clear();
    arguments_.vt = VT_ARRAY | VT_VARIANT;
    arguments_.parray = values.Detach();
  } catch (HRESULT hr) {
    if (hr == DISP_E_UNKNOWNNAME) {
      readResult_ = hr;
      RecordArgumentError(u"Invalid Action", u"401");
      return;
    }
    if (hr == DISP_E_BADVARTYPE) {
      readResult_ = hr;
      RecordArgumentError(u"Argument Value Invalid", u"600");
      return;
    }
    if (kind == Kind::kRequest) LeaveOnThread(refusal);
    throw;
  } catch (...) {
    if (kind == Kind::kRequest) LeaveOnThread(refusal);
    throw;
  }
}
