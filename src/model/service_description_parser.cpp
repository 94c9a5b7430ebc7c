#include "model/service_description_parser.h"

#include <vector>

#include <boost/make_shared.hpp>

#include "com/dom_access.h"
#include "datatypes/data_type_factory.h"

namespace {

using varnel::ForEachChild;
using varnel::ForEachNode;
using varnel::NodeNameOf;
using varnel::TextOf;

// The DOM document in `document`, or null when it holds none (the first
// selection then fails with E_POINTER).
CComPtr<IXMLDOMDocument2> DocumentIn(const VARIANT& document) {
  if (document.vt != VT_UNKNOWN && document.vt != VT_DISPATCH) throw E_INVALIDARG;
  CComPtr<IXMLDOMDocument2> dom;
  if (document.punkVal) document.punkVal->QueryInterface(&dom);
  return dom;
}

void ThrowIfFailedCode(HRESULT hr) {
  if (FAILED(hr)) throw hr;
}

boost::shared_ptr<CUPnPArgument> ReadArgument(IXMLDOMNode* element) {
  auto argument = boost::make_shared<CUPnPArgument>();
  ForEachChild(element, [&](IXMLDOMNode* child) {
    const std::u16string name = NodeNameOf(child);
    if (name == u"name") {
      ThrowIfFailedCode(argument->SetName(TextOf(child)));
    } else if (name == u"relatedStateVariable") {
      ThrowIfFailedCode(argument->SetRelatedStateVariable(TextOf(child)));
    } else if (name == u"direction") {
      const std::u16string direction = TextOf(child);
      if (direction == u"in") {
        argument->SetDirection(CUPnPArgument::Direction::kIn);
      } else if (direction == u"out") {
        argument->SetDirection(CUPnPArgument::Direction::kOut);
      }
    }
  });
  return argument;
}

// What the description declares for one state variable; empty when not given.
struct StateVariable {
  std::u16string name;
  std::u16string dataType;
  std::u16string defaultValue;
  std::u16string minimum;
  std::u16string maximum;
  std::u16string step;
  std::vector<std::u16string> allowedValues;
};

StateVariable ReadStateVariable(IXMLDOMNode* element) {
  StateVariable variable;
  ForEachChild(element, [&](IXMLDOMNode* child) {
    const std::u16string name = NodeNameOf(child);
    if (name == u"name") {
      variable.name = TextOf(child);
    } else if (name == u"dataType") {
      variable.dataType = TextOf(child);
    } else if (name == u"defaultValue") {
      variable.defaultValue = TextOf(child);
    } else if (name == u"allowedValueList") {
      ForEachChild(child, [&](IXMLDOMNode* allowed) {
        if (NodeNameOf(allowed) == u"allowedValue") variable.allowedValues.push_back(TextOf(allowed));
      });
    } else if (name == u"allowedValueRange") {
      ForEachChild(child, [&](IXMLDOMNode* bound) {
        const std::u16string boundName = NodeNameOf(bound);
        if (boundName == u"minimum") {
          variable.minimum = TextOf(bound);
        } else if (boundName == u"maximum") {
          variable.maximum = TextOf(bound);
        } else if (boundName == u"step") {
          variable.step = TextOf(bound);
        }
      });
    }
  });
  return variable;
}

}  // namespace

void CServiceDescriptionParser::Parse(const VARIANT& document, ActionTable& actions, DataTypeTable& dataTypes) const {
  try {
    ParseActions(document, actions);
    ParseStateVariables(document, dataTypes);
  } catch (...) {
    ResolveStateVariables(actions, dataTypes);  // what was added stays, and is read
    throw;
  }
  ResolveStateVariables(actions, dataTypes);
}

void CServiceDescriptionParser::ParseActions(const VARIANT& document, ActionTable& actions) const {
  CComPtr<IXMLDOMDocument2> dom = DocumentIn(document);
  CComPtr<IXMLDOMNodeList> nodes = varnel::SelectNodes(dom, u"/scpd:scpd/scpd:actionList/scpd:action");
  ForEachNode(nodes, [&](IXMLDOMNode* actionNode) {
    CComPtr<IXMLDOMNode> nameNode = varnel::SelectSingleNode(actionNode, u"scpd:name");
    if (!nameNode) return;  // a nameless action is skipped, not refused
    auto action = boost::make_shared<CUPnPAction>();
    ThrowIfFailedCode(action->SetName(TextOf(nameNode)));
    CComPtr<IXMLDOMNode> argumentList = varnel::SelectSingleNode(actionNode, u"scpd:argumentList");
    if (argumentList) {
      ForEachChild(argumentList, [&](IXMLDOMNode* child) {
        if (NodeNameOf(child) != u"argument") return;
        ThrowIfFailedCode(action->AddArgument(ReadArgument(child)));
      });
    }
    actions.emplace(action->GetName(), action);
  });
}

void CServiceDescriptionParser::ParseStateVariables(const VARIANT& document, DataTypeTable& dataTypes) const {
  CComPtr<IXMLDOMDocument2> dom = DocumentIn(document);
  CComPtr<IXMLDOMNodeList> nodes = varnel::SelectNodes(dom, u"/scpd:scpd/scpd:serviceStateTable/scpd:stateVariable");
  ForEachNode(nodes, [&](IXMLDOMNode* variableNode) {
    const StateVariable variable = ReadStateVariable(variableNode);
    if (variable.name.empty() || variable.dataType.empty()) throw E_INVALIDARG;
    dataTypes.emplace(variable.name,
                      CreateUPnPDataType(variable.dataType, variable.name, variable.defaultValue, variable.minimum,
                                         variable.maximum, variable.step, variable.allowedValues));
  });
}
