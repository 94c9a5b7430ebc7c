// Request and response bodies written as text in one pass from the caller's
// values, byte for byte as the DOM path (soap_writers.cpp) writes them.
//
// The text path takes only what it can prove the DOM path writes without a
// failure: names that every XML name check takes, text that CheckXmlText
// takes, arrays of the plain value types, converters that take the value.
// Anything else, a lack of memory included, makes it answer false, having
// traced nothing and sent nothing; the DOM path then writes the message or
// fails with its code, trace lines and error information.
#include "com/dom_access.h"
#include "comrt/com_variant.h"
#include "comrt/safearray.h"
#include "datatypes/upnp_data_type.h"
#include "datatypes/upnp_data_type_integer.h"
#include "soap/markup_text.h"
#include "soap/soap_msg_reader_writer.h"
#include "soap/soap_names.h"

namespace {

constexpr char kEnvelopeHead[] =
    "<?xml version='1.0' encoding='utf-8'?>\n"
    "<s:Envelope s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\" "
    "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>";
constexpr char kEnvelopeTail[] = "</s:Body></s:Envelope>\n";
constexpr char kControlNamespaceUtf8[] = "urn:schemas-upnp-org:control-1-0";
// Room for the envelope and an action element's own markup.
constexpr size_t kMarkupBytes = 320;
// What a value made by its converter (a number, a date) usually takes.
constexpr size_t kMadeValueBytes = 24;

// The value types whose copy (the DOM path copies the caller's values
// first) cannot fail but for memory.
bool IsPlainValue(VARTYPE type) {
  switch (type) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_BSTR:
    case VT_ARRAY | VT_UI1:
      return true;
    default:
      return false;
  }
}

// The elements of a zero-based one-dimensional array of plain values, or
// false.
bool PlainValues(const VARIANT& given, const VARIANT** values, size_t* count) {
  SAFEARRAY* array = given.parray;
  VARTYPE type = VT_EMPTY;
  LONG lower = 0;
  LONG upper = -1;
  if (!array || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &type)) || type != VT_VARIANT ||
      FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)) || lower != 0) {
    return false;
  }
  *count = static_cast<size_t>(upper + 1);
  *values = static_cast<const VARIANT*>(array->pvData);
  if (*count > 0 && !*values) return false;
  for (size_t i = 0; i < *count; ++i) {
    if (!IsPlainValue((*values)[i].vt)) return false;
  }
  return true;
}

// Appends an ASCII name as it is.
void AppendName(std::u16string_view name, varnel::TextBuffer& out) {
  char* at = out.Extend(name.size());
  for (char16_t c : name) *at++ = static_cast<char>(c);
}

// Appends the start tag of the action element ("u:" and `name`, then
// `suffix`) with its namespace declaration, without its closing '>'.
bool AppendActionStart(std::u16string_view name, std::u16string_view suffix, std::u16string_view namespaceUri,
                       varnel::TextBuffer& out) {
  out += "<u:";
  AppendName(name, out);
  AppendName(suffix, out);
  out += " xmlns:u=\"";
  if (!varnel::AppendAttributeValue(namespaceUri, out)) return false;
  out += '"';
  return true;
}

void AppendActionEnd(std::u16string_view name, std::u16string_view suffix, varnel::TextBuffer& out) {
  out += "</u:";
  AppendName(name, out);
  AppendName(suffix, out);
  out += '>';
}

// "<name>text</name>", or "<name/>" for no text.
bool AppendArgument(std::u16string_view name, std::u16string_view text, varnel::TextBuffer& out) {
  out += '<';
  AppendName(name, out);
  if (text.empty()) {
    out += "/>";
    return true;
  }
  out += '>';
  if (!varnel::AppendElementText(text, out)) return false;
  out += "</";
  AppendName(name, out);
  out += '>';
  return true;
}

// About the body's size, before its values are converted: markup, names, and
// a byte per unit of the strings (escaping may add more).
size_t EstimatedSize(const CUPnPArgumentList& arguments, const VARIANT* values, size_t count) {
  size_t size = kMarkupBytes;
  for (size_t i = 0; i < count; ++i) {
    size += 2 * arguments[i].second->GetName().size() + 5;
    size += values[i].vt == VT_BSTR ? SysStringLen(values[i].bstrVal) : kMadeValueBytes;
  }
  return size;
}

}  // namespace

bool CSoapMsgReaderWriter::AppendArgumentsText(const CUPnPArgumentList& arguments, const VARIANT* values,
                                               size_t count, varnel::TextBuffer& body) const {
  std::u16string made;
  for (size_t i = 0; i < count; ++i) {
    const CUPnPArgument& argument = *arguments[i].second;
    if (!varnel::IsPlainName(argument.GetName())) return false;
    const boost::shared_ptr<CUPnPDataType>* converter = argument.GetVariable();
    if (!converter || !*converter) return false;
    std::u16string_view text;
    if (!(*converter)->ViewText(values[i], &text)) {
      made = (*converter)->VariantToString(CComVariant(values[i]));
      text = made;
    }
    if (!AppendArgument(argument.GetName(), text, body)) return false;
  }
  return true;
}

bool CSoapMsgReaderWriter::InvokeActionText(std::u16string_view actionName, const VARIANT& values, bool response,
                                            varnel::TextBuffer& body) const noexcept {
  try {
    if (!varnel::IsPlainName(actionName)) return false;
    const auto action = m_actions.find(actionName);
    if (action == m_actions.end() || !action->second) return false;
    const CUPnPArgumentList& arguments =
        response ? action->second->GetOutArguments() : action->second->GetInArguments();
    // Requests take an array (as many values as the action's inputs at
    // most) or any other value for none; responses an array of exactly the
    // action's outputs, or any plain value for none. The single-value form
    // and everything else go the DOM's way.
    const VARIANT* elements = nullptr;
    size_t count = 0;
    if (values.vt == (VT_ARRAY | VT_VARIANT)) {
      if (!PlainValues(values, &elements, &count)) return false;
      if (response ? count != arguments.GetSize() : count > arguments.GetSize()) return false;
    } else if (values.vt == VT_VARIANT || (response && !IsPlainValue(values.vt))) {
      return false;
    }
    const std::u16string_view suffix = response ? u"Response" : u"";
    body.Clear();
    body.Reserve(EstimatedSize(arguments, elements, count) + serviceType_.size() + 2 * actionName.size());
    body += kEnvelopeHead;
    if (!AppendActionStart(actionName, suffix, serviceType_, body)) return false;
    if (count == 0) {
      body += "/>";
    } else {
      body += '>';
      if (!AppendArgumentsText(arguments, elements, count, body)) return false;
      AppendActionEnd(actionName, suffix, body);
    }
    body += kEnvelopeTail;
    return true;
  } catch (...) {
    return false;
  }
}

bool CSoapMsgReaderWriter::QueryText(std::u16string_view variableName, varnel::TextBuffer& body) const noexcept {
  try {
    if (m_dataTypes.find(variableName) == m_dataTypes.end()) return false;
    body.Clear();
    body.Reserve(kMarkupBytes + 3 * variableName.size());
    body += kEnvelopeHead;
    body += "<u:QueryStateVariable xmlns:u=\"";
    body += kControlNamespaceUtf8;
    body += "\"><u:varName>";
    if (!varnel::AppendElementText(variableName, body)) return false;
    body += "</u:varName></u:QueryStateVariable>";
    body += kEnvelopeTail;
    return true;
  } catch (...) {
    return false;
  }
}

bool CSoapMsgReaderWriter::AnswerText(const VARIANT& value, varnel::TextBuffer& body) const noexcept {
  try {
    if (!IsPlainValue(value.vt)) return false;
    // Strings go as they are (their whole length); everything else as a
    // 32-bit integer.
    std::u16string made;
    std::u16string_view text;
    if (value.vt == VT_BSTR) {
      text = std::u16string_view(value.bstrVal ? value.bstrVal : u"", SysStringLen(value.bstrVal));
    } else {
      made = CUPnPDataTypeI4().VariantToString(CComVariant(value));
      text = made;
    }
    body.Clear();
    body.Reserve(kMarkupBytes + text.size());
    body += kEnvelopeHead;
    body += "<u:QueryStateVariableResponse xmlns:u=\"";
    body += kControlNamespaceUtf8;
    body += "\"><return>";
    if (!varnel::AppendElementText(text, body)) return false;
    body += "</return></u:QueryStateVariableResponse>";
    body += kEnvelopeTail;
    return true;
  } catch (...) {
    return false;
  }
}
