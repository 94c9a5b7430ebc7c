#include "log/log_sys_info_xml.h"

#include <new>

#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/error_info.h"
#include "log/output_factories.h"
#include "log/posix_file.h"

namespace opLogSys {
namespace {

// A configuration read in part for want of memory would pass for one that
// asks for less: running out ends the read.
void ThrowIfOutOfMemory(HRESULT hr) {
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
}

std::u16string NodeName(IXMLDOMNode* node) {
  CComBSTR name;
  if (!node) return std::u16string();
  const HRESULT hr = node->get_nodeName(&name);
  ThrowIfOutOfMemory(hr);
  if (FAILED(hr) || !name.m_str) return std::u16string();
  return std::u16string(name.m_str, name.Length());
}

// An attribute's text; empty when it is missing or not text.
std::u16string Attribute(IXMLDOMNode* node, const char16_t* name) {
  CComQIPtr<IXMLDOMElement> element(node);
  if (!element) return std::u16string();
  CComVariant value;
  const CComBSTR attributeName(name);
  if (!attributeName.m_str) throw std::bad_alloc();
  const HRESULT hr = element->getAttribute(attributeName, &value);
  ThrowIfOutOfMemory(hr);
  if (FAILED(hr) || value.vt != VT_BSTR || !value.bstrVal) {
    return std::u16string();
  }
  return std::u16string(value.bstrVal, SysStringLen(value.bstrVal));
}

// The configuration is read while some caller's failure is being traced: the
// XML document's own error information from a file that does not load must
// not replace what that caller is about to read from its thread.
class KeepThreadErrorInfo {
 public:
  KeepThreadErrorInfo() { GetErrorInfo(0, &saved_); }
  ~KeepThreadErrorInfo() { SetErrorInfo(0, saved_); }
  KeepThreadErrorInfo(const KeepThreadErrorInfo&) = delete;
  KeepThreadErrorInfo& operator=(const KeepThreadErrorInfo&) = delete;

 private:
  CComPtr<IErrorInfo> saved_;
};

// Visits each child; stops at the first visit that ran out of memory.
template <class Visit>
HRESULT ForEachChild(IXMLDOMNode* node, Visit&& visit) {
  CComPtr<IXMLDOMNodeList> children;
  HRESULT hr = node->get_childNodes(&children);
  if (FAILED(hr) || !children) return FAILED(hr) ? hr : E_FAIL;
  LONG count = 0;
  hr = children->get_length(&count);
  if (FAILED(hr)) return hr;
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IXMLDOMNode> child;
    hr = children->get_item(i, &child);
    if (hr == E_OUTOFMEMORY) return hr;
    if (FAILED(hr) || !child) continue;
    if (visit(static_cast<IXMLDOMNode*>(child)) == E_OUTOFMEMORY) return E_OUTOFMEMORY;
  }
  return S_OK;
}

// Whether a load that failed failed for want of memory.
bool RanOutOfMemory(IXMLDOMDocument* document) {
  CComPtr<IXMLDOMParseError> error;
  LONG code = 0;
  return SUCCEEDED(document->get_parseError(&error)) && error && SUCCEEDED(error->get_errorCode(&code)) &&
         code == E_OUTOFMEMORY;
}

}  // namespace

LONG ParseLevel(const std::u16string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    // Huge numbers stop at the edge of the 32-bit range instead of wrapping.
    if (value <= 0x80000000LL) value = value * 10 + (text[i] - u'0');
  }
  if (negative) value = -value;
  if (value > 0x7FFFFFFFLL) return 0x7FFFFFFF;
  if (value < -0x80000000LL) return static_cast<LONG>(-0x80000000LL);
  return static_cast<LONG>(value);
}

CLogSysInfoFromXML::CLogSysInfoFromXML(std::u16string path)
    : path_(std::move(path)), info_(Common::CRefPtr<CLogSysInfo>::Adopt(new (std::nothrow) CLogSysInfo)) {}

IOutputLogSystemFactory* CLogSysInfoFromXML::GetFactory() { return info_ ? info_->GetFactory() : nullptr; }

ILogFilter* CLogSysInfoFromXML::GetFilter() { return info_ ? info_->GetFilter() : nullptr; }

HRESULT CLogSysInfoFromXML::ReadFactory(IXMLDOMNode* node) {
  if (!info_) return E_OUTOFMEMORY;
  try {
    const std::u16string name = Attribute(node, u"name");
    const std::u16string className = Attribute(node, u"class");
    IOutputLogSystemFactory* made = nullptr;
    if (name == u"IOutputLogSystemFactory" && className == u"opLogSys::File::COutputLogSystemFactory") {
      made = new File::COutputLogSystemFactory(Attribute(node, u"autoflush") == u"true", Attribute(node, u"location"));
    } else if (name == u"IOutputLogSystemFactory" && className == u"opLogSys::Ods::COutputLogSystemFactory") {
      made = new Ods::COutputLogSystemFactory;
    } else {
      made = new Null::COutputLogSystemFactory;
    }
    info_->SetFactory(Common::CRefPtr<IOutputLogSystemFactory>::Adopt(made));
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CLogSysInfoFromXML::ReadFilter(IXMLDOMNode* node) {
  if (NodeName(node) != u"FILTER") return S_FALSE;
  if (!info_ || !info_->Filter()) return E_OUTOFMEMORY;
  try {
    info_->Filter()->Add(Attribute(node, u"subject"), ParseLevel(Attribute(node, u"minLevel")),
                         ParseLevel(Attribute(node, u"maxLevel")));
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CLogSysInfoFromXML::ReadFilterList(IXMLDOMNode* node) {
  if (!node) return E_POINTER;
  return ForEachChild(node, [this](IXMLDOMNode* child) { return ReadFilter(child); });
}

HRESULT CLogSysInfoFromXML::ReadElement(IXMLDOMNode* node) {
  const std::u16string name = NodeName(node);
  if (name == u"FACTORY") return ReadFactory(node);
  if (name == u"FILTERLIST") return ReadFilterList(node);
  return S_FALSE;
}

HRESULT CLogSysInfoFromXML::Load() {
  if (!info_) return E_OUTOFMEMORY;
  try {
    if (path_.empty() || KindOf(path_) == PathKind::kMissing) return S_FALSE;
    KeepThreadErrorInfo keep;
    CComPtr<IXMLDOMDocument> document;
    const HRESULT hr = CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                        reinterpret_cast<void**>(&document));
    if (FAILED(hr) || !document) return FAILED(hr) ? hr : E_FAIL;
    document->put_async(VARIANT_FALSE);
    // The whole file is parsed before anything is read from it: a file that
    // does not parse leaves the defaults untouched.
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const CComVariant path(path_.c_str());
    if (path.vt != VT_BSTR || !path.bstrVal) return E_OUTOFMEMORY;
    const HRESULT load = document->load(path, &loaded);
    if (load == E_OUTOFMEMORY || (loaded != VARIANT_TRUE && RanOutOfMemory(document))) return E_OUTOFMEMORY;
    if (FAILED(load) || loaded != VARIANT_TRUE) return S_FALSE;
    CComPtr<IXMLDOMElement> root;
    const HRESULT rooted = document->get_documentElement(&root);
    if (rooted == E_OUTOFMEMORY) return rooted;
    if (rooted != S_OK || !root) return S_FALSE;
    const HRESULT read = ForEachChild(root, [this](IXMLDOMNode* child) { return ReadElement(child); });
    return read == E_OUTOFMEMORY ? read : S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace opLogSys
