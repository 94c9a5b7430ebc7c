// Shared by the XML DOM tests: making documents, loading text, and reading
// names and texts back as std::u16string.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "comrt/activation.h"
#include "comrt/bstr.h"
#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/error_info.h"
#include "comrt/text_conversion.h"
#include "comrt/xml_dom.h"

namespace xml_test {

inline CComPtr<IXMLDOMDocument2> NewDocument() {
  CComPtr<IXMLDOMDocument2> document;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IXMLDOMDocument2, reinterpret_cast<void**>(&document)));
  return document;
}

// Loads `xml`; true when it loaded.
inline bool LoadXml(IXMLDOMDocument* document, const std::u16string& xml) {
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT hr = document->loadXML(CComBSTR(xml.c_str()), &loaded);
  EXPECT_EQ(hr, loaded == VARIANT_TRUE ? S_OK : S_FALSE);
  return loaded == VARIANT_TRUE;
}

inline CComPtr<IXMLDOMDocument2> LoadedDocument(const std::u16string& xml) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  EXPECT_TRUE(LoadXml(document, xml));
  return document;
}

// The string a getter hands out, freed; "<null>" for a null string.
template <class Object, class Owner>
std::u16string Get(Object* object, HRESULT (STDMETHODCALLTYPE Owner::*getter)(BSTR*)) {
  BSTR text = nullptr;
  const HRESULT hr = (object->*getter)(&text);
  EXPECT_TRUE(SUCCEEDED(hr));
  if (!text) return u"<null>";
  std::u16string copy(text, SysStringLen(text));
  SysFreeString(text);
  return copy;
}

inline std::u16string Name(IXMLDOMNode* node) { return Get(node, &IXMLDOMNode::get_nodeName); }
inline std::u16string Text(IXMLDOMNode* node) { return Get(node, &IXMLDOMNode::get_text); }
inline std::u16string Xml(IXMLDOMNode* node) { return Get(node, &IXMLDOMNode::get_xml); }

inline CComPtr<IXMLDOMElement> Root(IXMLDOMDocument* document) {
  CComPtr<IXMLDOMElement> root;
  EXPECT_EQ(S_OK, document->get_documentElement(&root));
  return root;
}

inline CComPtr<IXMLDOMNode> SelectOne(IXMLDOMNode* from, const char16_t* query) {
  CComPtr<IXMLDOMNode> node;
  EXPECT_TRUE(SUCCEEDED(from->selectSingleNode(CComBSTR(query), &node)));
  return node;
}

inline LONG Length(IXMLDOMNodeList* list) {
  LONG length = -1;
  EXPECT_EQ(S_OK, list->get_length(&length));
  return length;
}

inline HRESULT SetSelectionNamespaces(IXMLDOMDocument2* document, const char16_t* declarations) {
  return document->setProperty(CComBSTR(u"SelectionNamespaces"), CComVariant(declarations));
}

// The description of the calling thread's error information (taken, so
// cleared); "<none>" when there is none.
inline std::u16string TakeErrorDescription() {
  CComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) != S_OK) return u"<none>";
  return Get(info.p, &IErrorInfo::GetDescription);
}

// Leaves the thread without error information after each test, so that the
// leak check sees only what a test failed to release.
class XmlTest : public ::testing::Test {
 protected:
  void TearDown() override { SetErrorInfo(0, nullptr); }
};

}  // namespace xml_test
