// Reading a DOM through its interfaces, with every failing call thrown as a
// _com_error that carries the DOM's code (and the thread's error information,
// where the DOM left a reason there).
#pragma once

#include <string>

#include "comrt/com_bstr.h"
#include "comrt/com_error.h"
#include "comrt/com_ptr.h"
#include "comrt/xml_dom.h"

namespace varnel {

// Throws a failed `hr` as a _com_error, taking the thread's error information.
inline void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) _com_issue_errorex(hr, nullptr, IID_NULL);
}

// The DOM text of a node (an element's text content).
std::u16string TextOf(IXMLDOMNode* node);
// The qualified name of a node ("s:Body", "#text").
std::u16string NodeNameOf(IXMLDOMNode* node);
// The local name of a node, without its prefix.
std::u16string BaseNameOf(IXMLDOMNode* node);

// The nodes selected by `query` below `context`; E_POINTER for a null context.
CComPtr<IXMLDOMNodeList> SelectNodes(IXMLDOMNode* context, const char16_t* query);
// The first node selected by `query`, or null when there is none.
CComPtr<IXMLDOMNode> SelectSingleNode(IXMLDOMNode* context, const char16_t* query);

// Calls `visit(child)` for each child node of `node`, in document order.
template <class Visit>
void ForEachChild(IXMLDOMNode* node, Visit&& visit) {
  CComPtr<IXMLDOMNodeList> children;
  ThrowIfFailed(node->get_childNodes(&children));
  LONG count = 0;
  ThrowIfFailed(children->get_length(&count));
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IXMLDOMNode> child;
    ThrowIfFailed(children->get_item(i, &child));
    if (child) visit(static_cast<IXMLDOMNode*>(child));
  }
}

// Calls `visit(item)` for each node of a list, in order.
template <class Visit>
void ForEachNode(IXMLDOMNodeList* list, Visit&& visit) {
  LONG count = 0;
  ThrowIfFailed(list->get_length(&count));
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IXMLDOMNode> item;
    ThrowIfFailed(list->get_item(i, &item));
    if (item) visit(static_cast<IXMLDOMNode*>(item));
  }
}

}  // namespace varnel
