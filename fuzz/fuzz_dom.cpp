// The DOM loading any text, saving what it loaded, and loading that again.
#include <cstdint>
#include <string>

#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/error_info.h"
#include "comrt/xml_dom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CComPtr<IXMLDOMDocument2> document;
  if (FAILED(CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                              reinterpret_cast<void**>(&document)))) {
    return 0;
  }
  document->put_async(VARIANT_FALSE);
  // UTF-16 text from pairs of bytes: surrogates, NULs and every code unit.
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  CComBSTR source;
  source.Attach(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  document->loadXML(source, &loaded);
  if (loaded == VARIANT_TRUE) {
    CComBSTR saved;
    if (SUCCEEDED(document->get_xml(&saved))) {
      CComPtr<IXMLDOMDocument2> again;
      CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                       reinterpret_cast<void**>(&again));
      VARIANT_BOOL reloaded = VARIANT_FALSE;
      if (again) again->loadXML(saved, &reloaded);
      // What the DOM saves, it must load again.
      if (again && reloaded != VARIANT_TRUE) __builtin_trap();
    }
    CComPtr<IXMLDOMNodeList> nodes;
    document->selectNodes(CComBSTR(u"//*"), &nodes);
  }
  SetErrorInfo(0, nullptr);
  return 0;
}
