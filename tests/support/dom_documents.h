// Service descriptions as a caller hands them over: parsed into a
// free-threaded DOM document whose selection namespaces bind "scpd".
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/activation.h"
#include "comrt/runtime.h"
#include "comrt/xml_dom.h"

namespace varnel_test {

inline constexpr char16_t kScpdNamespaces[] = u"xmlns:scpd='urn:schemas-upnp-org:service-1-0'";

// A new free-threaded document with synchronous loading and the given
// selection namespaces.
inline CComPtr<IXMLDOMDocument2> NewDocument(const char16_t* selectionNamespaces = kScpdNamespaces) {
  CComPtr<IXMLDOMDocument2> document;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IXMLDOMDocument2, reinterpret_cast<void**>(&document)));
  if (!document) return document;
  document->put_async(VARIANT_FALSE);
  if (selectionNamespaces) {
    EXPECT_EQ(S_OK, document->setProperty(CComBSTR(u"SelectionNamespaces"), CComVariant(selectionNamespaces)));
  }
  return document;
}

// Parses `xml`; the document is empty when it does not parse.
inline CComPtr<IXMLDOMDocument2> ParseDocument(const std::u16string& xml,
                                              const char16_t* selectionNamespaces = kScpdNamespaces) {
  CComPtr<IXMLDOMDocument2> document = NewDocument(selectionNamespaces);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (document) document->loadXML(CComBSTR(xml.c_str()), &loaded);
  EXPECT_EQ(VARIANT_TRUE, loaded);
  return document;
}

// Loads a file of tests/data.
inline CComPtr<IXMLDOMDocument2> LoadDataFile(const std::string& relativePath,
                                             const char16_t* selectionNamespaces = kScpdNamespaces) {
  CComPtr<IXMLDOMDocument2> document = NewDocument(selectionNamespaces);
  const std::string path = std::string(VARNEL_TEST_DATA_DIR) + "/" + relativePath;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (document) document->load(CComVariant(std::u16string(path.begin(), path.end()).c_str()), &loaded);
  EXPECT_EQ(VARIANT_TRUE, loaded) << path;
  return document;
}

// The document as the variant that LoadServiceDescription takes.
inline CComVariant AsVariant(IXMLDOMDocument2* document) {
  CComVariant value;
  value.vt = VT_DISPATCH;
  value.pdispVal = document;
  if (document) document->AddRef();
  return value;
}

}  // namespace varnel_test
