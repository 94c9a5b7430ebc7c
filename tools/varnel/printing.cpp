#include "printing.h"

#include <cstdio>

namespace varnel_tool {

using varnel::host::DecodedMessage;
using varnel::host::MessageKind;
using varnel::host::NamedValue;

namespace {

void PrintLines(std::ostream& out, const std::string& text, const std::string& indent) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out << indent << line << '\n';
    start = end + 1;
  }
}

bool IsNumericVariant(VARTYPE type) {
  switch (type) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8:
      return true;
    default:
      return false;
  }
}

// True when `text` is a number as JSON writes one.
bool IsJsonNumber(const std::string& text) {
  size_t i = 0;
  const auto digits = [&] {
    const size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > start;
  };
  if (i < text.size() && text[i] == '-') ++i;
  if (i < text.size() && text[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < text.size() && text[i] == '.' && (++i, !digits())) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == text.size();
}

std::string JsonValue(const NamedValue& value) {
  if (value.value.vt == VT_BOOL) return value.value.boolVal ? "true" : "false";
  if (IsNumericVariant(value.value.vt) && IsJsonNumber(value.text)) return value.text;
  return JsonString(value.text);
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          quoted += escaped;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

void PrintWritten(std::ostream& out, const varnel::host::MemoryMessage& message, bool withHeaders,
                  const std::string& indent) {
  if (withHeaders) {
    PrintLines(out, message.HeaderText(), indent);
    out << indent << '\n';
  }
  PrintLines(out, message.Body(), indent);
}

void PrintDecoded(std::ostream& out, const DecodedMessage& message, const std::string& indent) {
  out << indent << MessageKindName(message.kind);
  if (!message.name.empty()) out << ' ' << message.name;
  out << '\n';
  for (const NamedValue& value : message.values) {
    out << indent << "  " << value.name << " = " << value.text << "  ("
        << (value.dataType.empty() ? "no data type" : value.dataType) << ", "
        << varnel::host::VariantTypeName(value.value.vt) << ")\n";
  }
  if (message.error) {
    out << indent << "  UPnP error " << message.error->code << ' ' << message.error->description;
    if (message.kind == MessageKind::kInvokeActionRequest) out << "  (recorded while reading: answer with this fault)";
    out << '\n';
  }
}

void PrintDecodedJson(std::ostream& out, const DecodedMessage& message) {
  out << "{\"kind\":" << JsonString(MessageKindName(message.kind)) << ",\"name\":" << JsonString(message.name)
      << ",\"values\":[";
  for (size_t i = 0; i < message.values.size(); ++i) {
    const NamedValue& value = message.values[i];
    out << (i ? "," : "") << "{\"name\":" << JsonString(value.name) << ",\"variable\":" << JsonString(value.variable)
        << ",\"type\":" << JsonString(value.dataType)
        << ",\"variant\":" << JsonString(varnel::host::VariantTypeName(value.value.vt))
        << ",\"value\":" << JsonValue(value) << ",\"text\":" << JsonString(value.text) << "}";
  }
  out << "],\"error\":";
  if (message.error) {
    out << "{\"code\":" << message.error->code << ",\"description\":" << JsonString(message.error->description)
        << "}";
  } else {
    out << "null";
  }
  out << "}\n";
}

}  // namespace varnel_tool
