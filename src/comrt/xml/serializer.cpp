#include "xml/serializer.h"

#include <libxml/xmlsave.h>

#include <new>

#include "xml/node_names.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

struct Sink {
  std::string* text;
  bool failed = false;
};

int Write(void* context, const char* buffer, int length) {
  Sink* sink = static_cast<Sink*>(context);
  try {
    sink->text->append(buffer, static_cast<size_t>(length));
    return length;
  } catch (const std::bad_alloc&) {
    sink->failed = true;
    return -1;
  }
}

int Close(void*) { return 0; }

// Appends one node and its subtree as libxml2 writes it, unindented.
HRESULT AppendNode(xmlNodePtr node, std::string* text) {
  Sink sink{text};
  // "UTF-8" keeps non-ASCII text as it is (with no encoding libxml2 would
  // write character references instead).
  xmlSaveCtxtPtr save = xmlSaveToIO(&Write, &Close, &sink, "UTF-8", XML_SAVE_AS_XML);
  if (!save) return E_OUTOFMEMORY;
  const long written = xmlSaveTree(save, node);
  xmlSaveClose(save);
  if (sink.failed) return E_OUTOFMEMORY;
  return written < 0 ? E_FAIL : S_OK;
}

void AppendEscapedAttribute(const std::string& value, std::string* text) {
  for (char c : value) {
    switch (c) {
      case '&':
        *text += "&amp;";
        break;
      case '<':
        *text += "&lt;";
        break;
      case '"':
        *text += "&quot;";
        break;
      case '\n':
        *text += "&#10;";
        break;
      case '\r':
        *text += "&#13;";
        break;
      case '\t':
        *text += "&#9;";
        break;
      default:
        text->push_back(c);
    }
  }
}

HRESULT AppendDocument(xmlNodePtr document, SerializeFor purpose, std::string* text) {
  xmlNodePtr declaration = nullptr;
  for (xmlNodePtr child = document->children; child; child = child->next) {
    if (IsDeclarationPi(child)) declaration = child;
  }
  if (declaration) {
    std::string content(View(declaration->content));
    if (content.empty()) content = "version=\"1.0\"";
    if (purpose == SerializeFor::kSave) content = WithUtf8Encoding(content);
    *text += "<?xml " + content + "?>\n";
  }
  for (xmlNodePtr child = document->children; child; child = child->next) {
    if (child == declaration) continue;
    const HRESULT hr = AppendNode(child, text);
    if (FAILED(hr)) return hr;
    text->push_back('\n');
  }
  return S_OK;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string WithUtf8Encoding(const std::string& content) {
  const size_t name = content.find("encoding");
  if (name == std::string::npos) return content;
  size_t at = name + 8;
  while (at < content.size() && IsXmlSpace(content[at])) ++at;
  if (at >= content.size() || content[at] != '=') return content;
  ++at;
  while (at < content.size() && IsXmlSpace(content[at])) ++at;
  if (at >= content.size() || (content[at] != '"' && content[at] != '\'')) return content;
  const char quote = content[at];
  const size_t valueStart = at + 1;
  const size_t valueEnd = content.find(quote, valueStart);
  if (valueEnd == std::string::npos) return content;
  const std::string_view value(content.data() + valueStart, valueEnd - valueStart);
  if (EqualsNoCase(value, "UTF-8") || EqualsNoCase(value, "UTF8")) return content;
  return content.substr(0, valueStart) + "UTF-8" + content.substr(valueEnd);
}

HRESULT Serialize(const NodeRef& ref, SerializeFor purpose, std::string* text) {
  try {
    text->clear();
    if (ref.decl) {
      *text = QualifiedName(ref) + "=\"";
      AppendEscapedAttribute(ValueOf(ref), text);
      text->push_back('"');
      return S_OK;
    }
    if (ref.node->type == XML_DOCUMENT_NODE) return AppendDocument(ref.node, purpose, text);
    const HRESULT hr = AppendNode(ref.node, text);
    // libxml2 writes an attribute as it appears inside a tag, after a space.
    if (SUCCEEDED(hr) && ref.node->type == XML_ATTRIBUTE_NODE && !text->empty() && (*text)[0] == ' ') {
      text->erase(0, 1);
    }
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace xml
}  // namespace comrt
