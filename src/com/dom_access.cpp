#include "com/dom_access.h"

namespace varnel {
namespace {

std::u16string Adopt(BSTR text) {
  CComBSTR owned;
  owned.Attach(text);
  return owned.m_str ? std::u16string(owned.m_str, owned.Length()) : std::u16string();
}

}  // namespace

std::u16string TextOf(IXMLDOMNode* node) {
  BSTR text = nullptr;
  ThrowIfFailed(node->get_text(&text));
  return Adopt(text);
}

std::u16string NodeNameOf(IXMLDOMNode* node) {
  BSTR name = nullptr;
  ThrowIfFailed(node->get_nodeName(&name));
  return Adopt(name);
}

std::u16string BaseNameOf(IXMLDOMNode* node) {
  BSTR name = nullptr;
  ThrowIfFailed(node->get_baseName(&name));
  return Adopt(name);
}

CComPtr<IXMLDOMNodeList> SelectNodes(IXMLDOMNode* context, const char16_t* query) {
  if (!context) _com_issue_error(E_POINTER);
  CComBSTR text(query);
  CComPtr<IXMLDOMNodeList> nodes;
  ThrowIfFailed(context->selectNodes(text, &nodes));
  if (!nodes) _com_issue_error(E_POINTER);
  return nodes;
}

CComPtr<IXMLDOMNode> SelectSingleNode(IXMLDOMNode* context, const char16_t* query) {
  if (!context) _com_issue_error(E_POINTER);
  CComBSTR text(query);
  CComPtr<IXMLDOMNode> node;
  ThrowIfFailed(context->selectSingleNode(text, &node));
  return node;
}

}  // namespace varnel
