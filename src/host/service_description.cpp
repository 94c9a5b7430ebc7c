#include "varnel/host/service_description.h"

#include <functional>
#include <utility>

#include "comrt/activation.h"
#include "comrt/error_info.h"
#include "text.h"

namespace varnel {
namespace host {

namespace {

constexpr char16_t kScpdBinding[] = u"xmlns:scpd='urn:schemas-upnp-org:service-1-0'";

std::string LocalName(IXMLDOMNode* node) {
  CComBSTR name;
  node->get_baseName(&name);
  return Utf8(name);
}

std::string TextOf(IXMLDOMNode* node) {
  CComBSTR text;
  node->get_text(&text);
  return Utf8(text);
}

// Calls `visit` for each child element of `node`, in document order.
void ForEachChildElement(IXMLDOMNode* node, const std::function<void(IXMLDOMNode*)>& visit) {
  CComPtr<IXMLDOMNode> child;
  node->get_firstChild(&child);
  while (child) {
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT) visit(child);
    CComPtr<IXMLDOMNode> next;
    child->get_nextSibling(&next);
    child = std::move(next);
  }
}

// Calls `visit` for each node that `query` selects from the document.
HRESULT ForEachSelected(IXMLDOMDocument2* document, const char16_t* query,
                        const std::function<void(IXMLDOMNode*)>& visit) {
  CComPtr<IXMLDOMNodeList> nodes;
  const HRESULT hr = document->selectNodes(CComBSTR(query), &nodes);
  if (FAILED(hr)) return hr;
  LONG length = 0;
  nodes->get_length(&length);
  for (LONG i = 0; i < length; ++i) {
    CComPtr<IXMLDOMNode> node;
    if (nodes->get_item(i, &node) == S_OK) visit(node);
  }
  return S_OK;
}

Argument ReadArgument(IXMLDOMNode* element, std::string* direction) {
  Argument argument;
  ForEachChildElement(element, [&](IXMLDOMNode* child) {
    const std::string name = LocalName(child);
    if (name == "name") {
      argument.name = TextOf(child);
    } else if (name == "relatedStateVariable") {
      argument.relatedStateVariable = TextOf(child);
    } else if (name == "direction") {
      *direction = TextOf(child);
    }
  });
  return argument;
}

std::optional<Action> ReadAction(IXMLDOMNode* element) {
  std::optional<Action> action;
  bool named = false;
  Action read;
  ForEachChildElement(element, [&](IXMLDOMNode* child) {
    const std::string name = LocalName(child);
    if (name == "name" && !named) {
      read.name = TextOf(child);
      named = true;
    } else if (name == "argumentList") {
      ForEachChildElement(child, [&](IXMLDOMNode* argumentElement) {
        if (LocalName(argumentElement) != "argument") return;
        std::string direction;
        Argument argument = ReadArgument(argumentElement, &direction);
        if (direction == "in") {
          read.inputs.push_back(std::move(argument));
        } else if (direction == "out") {
          read.outputs.push_back(std::move(argument));
        }
      });
    }
  });
  if (named && !read.name.empty()) action = std::move(read);
  return action;
}

StateVariable ReadStateVariable(IXMLDOMNode* element) {
  StateVariable variable;
  CComQIPtr<IXMLDOMElement> asElement(element);
  CComVariant sendEvents;
  if (asElement && asElement->getAttribute(CComBSTR(u"sendEvents"), &sendEvents) == S_OK &&
      sendEvents.vt == VT_BSTR) {
    variable.sendEvents = Utf8(sendEvents.bstrVal) != "no";
  }
  ForEachChildElement(element, [&](IXMLDOMNode* child) {
    const std::string name = LocalName(child);
    if (name == "name") {
      variable.name = TextOf(child);
    } else if (name == "dataType") {
      variable.dataType = TextOf(child);
    } else if (name == "defaultValue") {
      variable.defaultValue = TextOf(child);
    } else if (name == "allowedValueList") {
      ForEachChildElement(child, [&](IXMLDOMNode* allowed) {
        if (LocalName(allowed) == "allowedValue") variable.allowedValues.push_back(TextOf(allowed));
      });
    } else if (name == "allowedValueRange") {
      ValueRange range;
      ForEachChildElement(child, [&](IXMLDOMNode* bound) {
        const std::string boundName = LocalName(bound);
        std::optional<std::string>* slot = boundName == "minimum"   ? &range.minimum
                                           : boundName == "maximum" ? &range.maximum
                                           : boundName == "step"    ? &range.step
                                                                    : nullptr;
        // An empty bound is no bound, as for the library.
        const std::string text = slot ? TextOf(bound) : std::string();
        if (slot && !text.empty()) *slot = text;
      });
      variable.range = std::move(range);
    }
  });
  return variable;
}

CComPtr<IXMLDOMDocument2> NewDocument(HRESULT* hr) {
  CComPtr<IXMLDOMDocument2> document;
  *hr = CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                         reinterpret_cast<void**>(&document));
  if (SUCCEEDED(*hr)) *hr = document->put_async(VARIANT_FALSE);
  return document;
}

// The failure of a load that answered VARIANT_FALSE, from its parse error.
// The error information the DOM may have left says no more, and goes.
Status LoadFailure(IXMLDOMDocument2* document, const std::string& what) {
  SetErrorInfo(0, nullptr);
  CComPtr<IXMLDOMParseError> error;
  LONG code = 0, line = 0, column = 0;
  CComBSTR reason;
  if (SUCCEEDED(document->get_parseError(&error)) && error) {
    error->get_errorCode(&code);
    error->get_reason(&reason);
    error->get_line(&line);
    error->get_linepos(&column);
  }
  std::string problem = "cannot load " + what;
  std::string because = Utf8(reason);
  while (!because.empty() && (because.back() == '\n' || because.back() == '\r' || because.back() == ' ' ||
                              because.back() == '.')) {
    because.pop_back();
  }
  if (!because.empty()) problem += ": " + because;
  if (line > 0) problem += " (line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
  return Status(FAILED(code) ? code : E_FAIL, problem);
}

}  // namespace

Status ServiceDescription::LoadFile(const std::string& path, ServiceDescription* out) {
  HRESULT hr = S_OK;
  CComPtr<IXMLDOMDocument2> document = NewDocument(&hr);
  if (FAILED(hr)) return Status(hr, "cannot make a DOM document");
  VARIANT_BOOL loaded = VARIANT_FALSE;
  hr = document->load(CComVariant(Wide(path)), &loaded);
  if (FAILED(hr)) return Status(hr, "cannot load the service description " + path);
  if (loaded != VARIANT_TRUE) return LoadFailure(document, "the service description " + path);
  return FromDocument(document, out);
}

Status ServiceDescription::LoadText(std::string_view text, ServiceDescription* out) {
  HRESULT hr = S_OK;
  CComPtr<IXMLDOMDocument2> document = NewDocument(&hr);
  if (FAILED(hr)) return Status(hr, "cannot make a DOM document");
  VARIANT_BOOL loaded = VARIANT_FALSE;
  hr = document->loadXML(Wide(text), &loaded);
  if (FAILED(hr)) return Status(hr, "cannot load the service description");
  if (loaded != VARIANT_TRUE) return LoadFailure(document, "the service description");
  return FromDocument(document, out);
}

Status ServiceDescription::FromDocument(IXMLDOMDocument2* document, ServiceDescription* out) {
  if (!document || !out) return Status(E_POINTER, "no document to read a service description from");
  CComVariant namespaces;
  HRESULT hr = document->getProperty(CComBSTR(u"SelectionNamespaces"), &namespaces);
  if (FAILED(hr)) return Status(hr, "cannot read the document's selection namespaces");
  std::u16string bound = namespaces.vt == VT_BSTR && namespaces.bstrVal ? namespaces.bstrVal : u"";
  if (bound.find(u"xmlns:scpd=") == std::u16string::npos) {
    bound = bound.empty() ? kScpdBinding : bound + u" " + kScpdBinding;
    hr = document->setProperty(CComBSTR(u"SelectionNamespaces"), CComVariant(bound.c_str()));
    if (FAILED(hr)) return Status(hr, "cannot bind the \"scpd\" prefix for selection");
  }
  CComPtr<IXMLDOMNode> root;
  hr = document->selectSingleNode(CComBSTR(u"/scpd:scpd"), &root);
  if (FAILED(hr)) return Status(hr, "cannot select the description's scpd element");
  if (!root) {
    return Status(E_INVALIDARG, std::string("not a service description: the document element is not scpd in ") +
                                    kServiceNamespace);
  }

  ServiceDescription view;
  view.document_ = document;
  hr = ForEachSelected(document, u"/scpd:scpd/scpd:actionList/scpd:action", [&](IXMLDOMNode* node) {
    std::optional<Action> action = ReadAction(node);
    if (action && !view.FindAction(action->name)) view.actions_.push_back(std::move(*action));
  });
  if (FAILED(hr)) return Status(hr, "cannot select the description's actions");
  hr = ForEachSelected(document, u"/scpd:scpd/scpd:serviceStateTable/scpd:stateVariable", [&](IXMLDOMNode* node) {
    StateVariable variable = ReadStateVariable(node);
    if (!view.FindStateVariable(variable.name)) view.variables_.push_back(std::move(variable));
  });
  if (FAILED(hr)) return Status(hr, "cannot select the description's state variables");
  for (Action& action : view.actions_) {
    for (auto* arguments : {&action.inputs, &action.outputs}) {
      for (Argument& argument : *arguments) {
        if (const StateVariable* variable = view.FindStateVariable(argument.relatedStateVariable)) {
          argument.dataType = variable->dataType;
        }
      }
    }
  }
  *out = std::move(view);
  return Status();
}

const Action* ServiceDescription::FindAction(std::string_view name) const noexcept {
  for (const Action& action : actions_) {
    if (action.name == name) return &action;
  }
  return nullptr;
}

const StateVariable* ServiceDescription::FindStateVariable(std::string_view name) const noexcept {
  for (const StateVariable& variable : variables_) {
    if (variable.name == name) return &variable;
  }
  return nullptr;
}

CComVariant ServiceDescription::DocumentVariant() const {
  return document_ ? CComVariant(static_cast<IDispatch*>(document_.p)) : CComVariant();
}

}  // namespace host
}  // namespace varnel
