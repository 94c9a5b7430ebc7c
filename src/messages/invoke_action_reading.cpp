// The argument reader shared by InvokeAction requests and responses.
#include <vector>

#include "com/dom_access.h"
#include "comrt/com_safe_array.h"
#include "datatypes/upnp_data_type.h"
#include "messages/invoke_action_message.h"

namespace {

// The text of an argument element: the node value of its first child, or a
// null string when it has none. A first child without a node value (an
// element) is no value text.
bool ReadValueText(IXMLDOMNode* argumentElement, CComBSTR& text) {
  CComPtr<IXMLDOMNode> first;
  varnel::ThrowIfFailed(argumentElement->get_firstChild(&first));
  if (!first) return false;
  CComVariant value;
  varnel::ThrowIfFailed(first->get_nodeValue(&value));
  if (value.vt != VT_BSTR) throw E_INVALIDARG;
  text.Attach(value.bstrVal);
  value.vt = VT_EMPTY;
  return true;
}

}  // namespace

void CInvokeActionMessage::ReadArguments(IXMLDOMNode* messageElement, const ActionTable& actions,
                                         const DataTypeTable& dataTypes, Kind kind) {
  kind_ = kind;
  readResult_ = S_OK;
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
    if (static_cast<size_t>(count) != arguments.GetSize()) throw E_INVALIDARG;

    CComSafeArray<VARIANT> values(static_cast<ULONG>(count));
    // An element named twice would leave another argument unread while the
    // count still matches.
    std::vector<bool> filled(arguments.GetSize(), false);
    const bool strict = kind == Kind::kRequest;
    varnel::ForEachNode(children, [&](IXMLDOMNode* child) {
      const size_t position = arguments.Find(varnel::NodeNameOf(child));
      if (position == CUPnPArgumentList::npos) throw E_UNEXPECTED;
      if (filled[position]) throw E_INVALIDARG;
      filled[position] = true;
      const auto variable = dataTypes.find(arguments[position].second->GetRelatedStateVariable());
      if (variable == dataTypes.end()) throw E_INVALIDARG;
      CComBSTR text;
      if (!ReadValueText(child, text)) {
        CComVariant nullString;
        nullString.vt = VT_BSTR;
        nullString.bstrVal = nullptr;
        values.SetAt(static_cast<LONG>(position), nullString);
        return;
      }
      if (!variable->second) throw E_NOTIMPL;  // a data type without converter
      const std::u16string_view value(text.m_str ? text.m_str : u"", text.Length());
      values.SetAt(static_cast<LONG>(position), variable->second->StringToVariant(value, strict));
    });

    arguments_.Clear();
    arguments_.vt = VT_ARRAY | VT_VARIANT;
    arguments_.parray = values.Detach();
  } catch (HRESULT hr) {
    if (hr == DISP_E_UNKNOWNNAME) {
      readResult_ = hr;
      RecordArgumentError(u"Invalid Action", u"401");
    } else if (hr == DISP_E_BADVARTYPE) {
      readResult_ = hr;
      RecordArgumentError(u"Argument Value Invalid", u"600");
    } else {
      throw;
    }
  }
}
