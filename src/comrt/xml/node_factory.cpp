// Finding or making the one object that stands for a node.
#include <mutex>
#include <new>

#include "xml/dom_document.h"
#include "xml/node_object.h"

namespace comrt {
namespace xml {
namespace {

template <class T>
HRESULT Make(DomDocument& document, const NodeRef& ref, CComPtr<IXMLDOMNode>& made) {
  CComObject<T>* object = nullptr;
  const HRESULT hr = CComObject<T>::CreateInstance(&object);
  if (FAILED(hr)) return hr;
  // Bound before the first reference is taken, so that releasing it on a
  // failure below finds a complete object.
  object->Bind(&document, document.Identity(), ref);
  made = object->NodeInterface();
  return S_OK;
}

HRESULT MakeFor(DomDocument& document, const NodeRef& ref, CComPtr<IXMLDOMNode>& made) {
  if (ref.decl) return Make<AttributeNode>(document, ref, made);
  switch (ref.node->type) {
    case XML_ELEMENT_NODE:
      return Make<ElementNode>(document, ref, made);
    case XML_ATTRIBUTE_NODE:
      return Make<AttributeNode>(document, ref, made);
    case XML_TEXT_NODE:
      return Make<TextNode>(document, ref, made);
    case XML_CDATA_SECTION_NODE:
      return Make<CDataNode>(document, ref, made);
    case XML_COMMENT_NODE:
      return Make<CommentNode>(document, ref, made);
    case XML_PI_NODE:
      return Make<ProcessingInstructionNode>(document, ref, made);
    default:
      // No other node type is ever built or loaded here.
      return E_UNEXPECTED;
  }
}

}  // namespace

NodeHandle* HandleOf(IUnknown* node) {
  if (!node) return nullptr;
  INodeHandle* access = nullptr;
  if (FAILED(node->QueryInterface(IID_INodeHandle, reinterpret_cast<void**>(&access))) || !access) return nullptr;
  NodeHandle* handle = access->Handle();
  access->Release();  // the caller's reference keeps the object
  return handle;
}

HRESULT GetNodeObject(DomDocument& document, const NodeRef& ref, REFIID iid, void** object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  if (ref.IsNull()) return S_FALSE;
  DocumentCore& core = document.Core();
  if (!ref.decl && ref.node == core.DocNode()) return document.Identity()->QueryInterface(iid, object);
  CComPtr<IXMLDOMNode> node;
  {
    std::lock_guard<std::recursive_mutex> lock(core.Mutex());
    IXMLDOMNode* live = core.FindLive(ref);
    if (live) {
      node.Attach(live);
    } else {
      const HRESULT hr = MakeFor(document, ref, node);
      if (FAILED(hr)) return hr;
      NodeHandle* handle = HandleOf(node);
      try {
        core.Register(handle);
      } catch (const std::bad_alloc&) {
        // Unregistered, the object must not decide the node's fate as it
        // goes: the caller still owns a node it just made.
        handle->owner = nullptr;
        return E_OUTOFMEMORY;
      }
    }
  }
  return node->QueryInterface(iid, object);
}

CComPtr<IXMLDOMNode> NodeObjectFor(DomDocument& document, const NodeRef& ref) {
  CComPtr<IXMLDOMNode> node;
  HandOutNode(document, ref, &node);
  return node;
}

namespace ops {

void ForgetNode(NodeHandle& self) { self.owner->Core().Forget(&self); }

}  // namespace ops
}  // namespace xml
}  // namespace comrt
