#include "xml/selection.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>
#include <new>

#include "xml/dom_document.h"
#include "xml/libxml_quiet.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

struct ContextFree {
  void operator()(xmlXPathContextPtr context) const { xmlXPathFreeContext(context); }
};
struct ObjectFree {
  void operator()(xmlXPathObjectPtr object) const { xmlXPathFreeObject(object); }
};

struct XPathErrors {
  bool seen = false;
  int code = 0;
  std::string message;
};

void OnXPathError(void* data, xmlErrorPtr error) {
  XPathErrors* errors = static_cast<XPathErrors*>(data);
  if (errors->seen || !error) return;
  errors->seen = true;
  errors->code = error->code;
  try {
    errors->message = error->message ? error->message : "";
    while (!errors->message.empty() && IsXmlSpace(errors->message.back())) errors->message.pop_back();
  } catch (const std::bad_alloc&) {
  }
}

bool IsNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// The first prefix used in `query` ("p" of p:name, p:*, $p:v or p:f()) that
// `bindings` do not declare; empty when there is none. libxml2 would only
// notice such a prefix when evaluation reaches its step.
std::string UndeclaredPrefix(const std::string& query, const NamespaceBindings& bindings) {
  size_t at = 0;
  while (at < query.size()) {
    const unsigned char c = static_cast<unsigned char>(query[at]);
    if (c == '"' || c == '\'') {
      const size_t close = query.find(static_cast<char>(c), at + 1);
      if (close == std::string::npos) return std::string();  // libxml2 reports the syntax error
      at = close + 1;
      continue;
    }
    if (!IsNameStart(c) || (at > 0 && IsNameChar(static_cast<unsigned char>(query[at - 1])))) {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < query.size() && IsNameChar(static_cast<unsigned char>(query[end]))) ++end;
    if (end + 1 < query.size() && query[end] == ':' && query[end + 1] != ':') {
      const std::string prefix = query.substr(at, end - at);
      bool declared = prefix == "xml";
      for (const auto& binding : bindings) declared = declared || (binding.first == prefix);
      if (!declared) return prefix;
    }
    at = end + 1;
  }
  return std::string();
}

}  // namespace

HRESULT ParseSelectionNamespaces(const std::string& text, NamespaceBindings* bindings) {
  auto malformed = [] {
    return Fail(E_INVALIDARG,
                u"SelectionNamespaces must be declarations such as xmlns:p='uri', separated by white space.");
  };
  try {
    NamespaceBindings parsed;
    size_t at = 0;
    auto skipSpace = [&] {
      while (at < text.size() && IsXmlSpace(text[at])) ++at;
    };
    skipSpace();
    while (at < text.size()) {
      if (text.compare(at, 5, "xmlns") != 0) return malformed();
      at += 5;
      std::string prefix;
      if (at < text.size() && text[at] == ':') {
        const size_t start = ++at;
        while (at < text.size() && !IsXmlSpace(text[at]) && text[at] != '=') ++at;
        prefix = text.substr(start, at - start);
        if (!IsNcName(prefix) || prefix == "xmlns") return malformed();
      }
      skipSpace();
      if (at >= text.size() || text[at] != '=') return malformed();
      ++at;
      skipSpace();
      if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return malformed();
      const size_t close = text.find(text[at], at + 1);
      if (close == std::string::npos) return malformed();
      std::string uri = text.substr(at + 1, close - at - 1);
      if (!prefix.empty() && uri.empty()) return malformed();
      at = close + 1;
      if (at < text.size() && !IsXmlSpace(text[at])) return malformed();
      skipSpace();
      parsed.emplace_back(std::move(prefix), std::move(uri));
    }
    bindings->swap(parsed);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT Select(DomDocument& document, const NodeRef& context, BSTR query, std::vector<NodeRef>* found) {
  found->clear();
  if (context.decl) return Fail(E_FAIL, u"A selection cannot start at a namespace declaration.");
  try {
    const std::string expression = ToUtf8(query);
    if (expression.find_first_not_of(" \t\r\n") == std::string::npos) {
      return Fail(E_FAIL, u"The query is empty.");
    }
    const NamespaceBindings& bindings = document.SelectionNamespaces();
    const std::string undeclared = UndeclaredPrefix(expression, bindings);
    if (!undeclared.empty()) {
      return Fail(E_FAIL, "Reference to undeclared namespace prefix: '" + undeclared +
                              "'. Declare it with the SelectionNamespaces property.");
    }
    std::unique_ptr<xmlXPathContext, ContextFree> xpath(xmlXPathNewContext(document.Core().Doc()));
    if (!xpath) return E_OUTOFMEMORY;
    xpath->node = context.node;
    for (const auto& binding : bindings) {
      if (!binding.first.empty() && xmlXPathRegisterNs(xpath.get(), X(binding.first), X(binding.second)) != 0) {
        return E_OUTOFMEMORY;
      }
    }
    XPathErrors errors;
    xpath->error = &OnXPathError;
    xpath->userData = &errors;
    // Some allocation failures during evaluation (a node set that cannot
    // grow) reach only the thread's last error, and the result is merely
    // short: that must not pass for the selection.
    QuietLibxmlOnThisThread();
    xmlResetLastError();
    std::unique_ptr<xmlXPathObject, ObjectFree> result(xmlXPathEvalExpression(X(expression), xpath.get()));
    xmlErrorPtr last = xmlGetLastError();
    if (errors.code == XML_ERR_NO_MEMORY || errors.code == XML_XPATH_MEMORY_ERROR ||
        (last && last->code == XML_ERR_NO_MEMORY)) {
      return E_OUTOFMEMORY;
    }
    if (!result || errors.seen) {
      if (errors.code == XML_XPATH_UNDEF_PREFIX_ERROR) {
        return Fail(E_FAIL, u"Reference to undeclared namespace prefix in the query.");
      }
      const std::string reason = errors.message.empty() ? "unknown error" : errors.message;
      return Fail(E_FAIL, "The query is not a valid XPath expression (" + reason + "): " + expression);
    }
    if (result->type != XPATH_NODESET) return Fail(E_FAIL, u"The query does not select nodes.");
    xmlNodeSetPtr nodes = result->nodesetval;
    const int count = nodes ? nodes->nodeNr : 0;
    found->reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      xmlNodePtr node = nodes->nodeTab[i];
      // Namespace nodes are copies made for the query; the DOM has no such
      // node to hand out.
      if (node->type == XML_NAMESPACE_DECL) continue;
      found->emplace_back(node);
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace xml
}  // namespace comrt
