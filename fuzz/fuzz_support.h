// What every fuzz target shares: quiet standard output, a loaded
// reader/writer, and reading through the host kit's in-memory transport.
#pragma once

#include <cstdio>
#include <string>

#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/error_info.h"
#include "comrt/xml_dom.h"
#include "varnel/host/memory_message.h"
#include "varnel/varnel.h"

namespace fuzz {

inline void QuietStandardOutput() { std::freopen("/dev/null", "w", stdout); }

inline CComPtr<IXMLDOMDocument2> DescriptionDocument(const std::string& text) {
  CComPtr<IXMLDOMDocument2> document;
  CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                   reinterpret_cast<void**>(&document));
  if (!document) return document;
  document->put_async(VARIANT_FALSE);
  document->setProperty(CComBSTR(u"SelectionNamespaces"), CComVariant(u"xmlns:scpd='urn:schemas-upnp-org:service-1-0'"));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const std::u16string wide(text.begin(), text.end());  // bytes as Latin-1: any input is text
  document->loadXML(CComBSTR(wide.c_str()), &loaded);
  return document;
}

inline CComPtr<IXMLDOMDocument2> DescriptionFile(const char* relativePath) {
  CComPtr<IXMLDOMDocument2> document;
  CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                   reinterpret_cast<void**>(&document));
  document->put_async(VARIANT_FALSE);
  document->setProperty(CComBSTR(u"SelectionNamespaces"), CComVariant(u"xmlns:scpd='urn:schemas-upnp-org:service-1-0'"));
  const std::string path = std::string(VARNEL_TEST_DATA_DIR) + "/" + relativePath;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document->load(CComVariant(std::u16string(path.begin(), path.end()).c_str()), &loaded);
  return document;
}

inline CComPtr<IUPnPSoapMsgReaderWriter> ReaderWriter(IXMLDOMDocument2* description) {
  CComPtr<IClassFactory> factory;
  DllGetClassObject(CLSID_SoapMsgReaderWriter, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter;
  factory->CreateInstance(nullptr, IID_IUPnPSoapMsgReaderWriter, reinterpret_cast<void**>(&readerWriter));
  readerWriter->SetServiceType(CComBSTR(u"urn:schemas-example-org:service:AllTypes:1"));
  if (description) readerWriter->LoadServiceDescription(CComVariant(static_cast<IDispatch*>(description)));
  return readerWriter;
}

}  // namespace fuzz
