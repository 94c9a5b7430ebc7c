// The argument reader shared by InvokeAction requests and responses. It reads
// the body's tree in place: names and text come as UTF-8 views, each value is
// converted to UTF-16 once and moved into the argument array.
#include <optional>
#include <string>
#include <vector>

#include "com/dom_access.h"
#include "comrt/atl_exception.h"
#include "comrt/com_safe_array.h"
#include "datatypes/upnp_data_type.h"
#include "messages/invoke_action_message.h"

using comrt::xml::NodeView;

namespace {

// The text of an argument element into `text`: its text and CDATA children
// joined in order (a peer may split one value into several pieces),
// comments and processing instructions skipped. False when it has no such
// piece, which is read as a null string. An element among the children is no
// value text (E_INVALIDARG).
bool ReadValueText(NodeView argumentElement, std::u16string& text) {
  text.clear();
  bool any = false;
  for (NodeView child = argumentElement.FirstChild(); child; child = child.NextSibling()) {
    const DOMNodeType type = child.Type();
    if (type == NODE_COMMENT || type == NODE_PROCESSING_INSTRUCTION) continue;
    if (type != NODE_TEXT && type != NODE_CDATA_SECTION) throw E_INVALIDARG;
    any = true;
    comrt::xml::AppendUtf16(child.Value(), &text);
  }
  return any;
}

// As ReadValueText, into a new string for a converter that keeps text: a
// value of one piece, the usual case, is converted straight from the tree.
bool ReadValueBstr(NodeView argumentElement, CComBSTR& text, std::u16string& scratch) {
  NodeView piece;
  int pieces = 0;
  for (NodeView child = argumentElement.FirstChild(); child; child = child.NextSibling()) {
    const DOMNodeType type = child.Type();
    if (type == NODE_COMMENT || type == NODE_PROCESSING_INSTRUCTION) continue;
    if (type != NODE_TEXT && type != NODE_CDATA_SECTION) throw E_INVALIDARG;
    ++pieces;
    piece = child;
  }
  if (pieces == 0) return false;
  if (pieces == 1) {
    text.Attach(comrt::xml::AllocBstrFromUtf8(piece.Value()));
  } else {
    ReadValueText(argumentElement, scratch);
    text.Attach(SysAllocStringLen(scratch.data(), static_cast<UINT>(scratch.size())));
  }
  if (!text) AtlThrow(E_OUTOFMEMORY);
  return true;
}

// Hands `value` to the element at `position` of a new array (each element
// is VT_EMPTY, owning nothing, and written once).
void MoveInto(VARIANT* elements, size_t position, CComVariant& value) {
  elements[position] = value;
  value.vt = VT_EMPTY;  // the array owns what it held
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

// Converts one value (`convert` does, from `text`); on failure notes whether
// the value was of the wrong kind or outside the variable's range, and lets
// the failure go on.
template <class Convert>
CComVariant ConvertValue(const CUPnPDataType& converter, std::u16string_view text, bool strict,
                         std::optional<Refusal>& refusal, Convert&& convert) {
  try {
    return convert();
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

void CInvokeActionMessage::ReadArguments(NodeView messageElement, const ActionTable& actions, Kind kind) {
  kind_ = kind;
  readResult_ = S_OK;
  // Set just before a failure that the request's sender caused, for the
  // device to answer with.
  std::optional<Refusal> refusal;
  try {
    CComBSTR elementName;
    elementName.Attach(comrt::xml::AllocBstrFromUtf8(messageElement.LocalName()));
    if (!elementName) AtlThrow(E_OUTOFMEMORY);
    SetNameFromElement(std::move(elementName));
    const auto action = actions.find(std::u16string_view(actionName_.m_str ? actionName_.m_str : u""));
    if (action == actions.end()) throw DISP_E_UNKNOWNNAME;
    const CUPnPArgumentList& arguments = SelectArguments(*action->second);

    size_t count = 0;
    for (NodeView child = messageElement.FirstChild(); child; child = child.NextSibling()) ++count;
    if (count != arguments.GetSize()) {
      refusal = kInvalidArgs;
      throw E_INVALIDARG;
    }

    CComSafeArray<VARIANT> values(static_cast<ULONG>(count));
    VARIANT* const elements = static_cast<VARIANT*>(values.m_psa->pvData);
    // An element named twice would leave another argument unread while the
    // count still matches.
    std::vector<bool> filled(arguments.GetSize(), false);
    const bool strict = kind == Kind::kRequest;
    std::string nameScratch;
    std::u16string text;
    size_t index = 0;
    for (NodeView child = messageElement.FirstChild(); child; child = child.NextSibling(), ++index) {
      // Peers write the arguments in description order, so the element's
      // own position is tried first.
      const size_t position = arguments.Find(child.QualifiedName(&nameScratch), index);
      if (position == CUPnPArgumentList::npos || filled[position]) {
        refusal = kInvalidArgs;
        throw position == CUPnPArgumentList::npos ? E_UNEXPECTED : E_INVALIDARG;
      }
      filled[position] = true;
      // Resolved when the description loaded.
      const boost::shared_ptr<CUPnPDataType>* converter = arguments[position].second->GetVariable();
      if (!converter) throw E_INVALIDARG;
      // Strings become the value as they are; other values are read from
      // the scratch text.
      const bool keepsText = *converter && (*converter)->KeepsText();
      CComBSTR kept;
      bool hasText = false;
      try {
        hasText = keepsText ? ReadValueBstr(child, kept, text) : ReadValueText(child, text);
      } catch (HRESULT) {
        refusal = kValueInvalid;  // markup where a value belongs
        throw;
      }
      if (!hasText) {
        elements[position].vt = VT_BSTR;  // a null string
        elements[position].bstrVal = nullptr;
        continue;
      }
      if (!*converter) throw E_NOTIMPL;  // a data type without converter
      const CUPnPDataType& type = **converter;
      CComVariant value =
          keepsText ? ConvertValue(type, std::u16string_view(kept.m_str, kept.Length()), strict, refusal,
                                   [&] { return type.TakeStringToVariant(kept, strict); })
                    : ConvertValue(type, text, strict, refusal, [&] { return type.StringToVariant(text, strict); });
      MoveInto(elements, position, value);
    }

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
