#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/memory_stream.h"
#include "xml_test_helpers.h"
#include "support/temporary_registry.h"

namespace {

using namespace xml_test;
using comrt_test::MakeStream;
using comrt_test::MemoryStream;
using comrt_test::SequentialStream;

constexpr char16_t kSoapNamespace[] = u"http://schemas.xmlsoap.org/soap/envelope/";
constexpr char16_t kEncoding[] = u"http://schemas.xmlsoap.org/soap/encoding/";
constexpr char16_t kService[] = u"urn:schemas-upnp-org:service:SwitchPower:1";
constexpr char16_t kControl[] = u"urn:schemas-upnp-org:control-1-0";

// The tree below `node` as text: type, name, value and attributes of every
// node, in order. Two trees are the same when their descriptions are.
std::u16string Describe(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  node->get_nodeType(&type);
  std::u16string text = u"[" + std::u16string(1, char16_t(u'0' + type)) + u" " + Name(node);
  if (type != NODE_ELEMENT && type != NODE_DOCUMENT) text += u"=" + Text(node);
  CComPtr<IXMLDOMNamedNodeMap> attributes;
  if (node->get_attributes(&attributes) == S_OK) {
    for (CComPtr<IXMLDOMNode> attribute; attributes->nextNode(&attribute) == S_OK; attribute.Release()) {
      text += u" @" + Name(attribute) + u"=" + Text(attribute);
    }
  }
  CComPtr<IXMLDOMNodeList> children;
  node->get_childNodes(&children);
  for (CComPtr<IXMLDOMNode> child; children->nextNode(&child) == S_OK; child.Release()) text += Describe(child);
  return text + u"]";
}

CComPtr<IXMLDOMElement> Add(IXMLDOMDocument* document, IXMLDOMNode* parent, const char16_t* name,
                            const char16_t* text = nullptr) {
  CComPtr<IXMLDOMElement> element;
  EXPECT_EQ(S_OK, document->createElement(CComBSTR(name), &element));
  if (text) {
    EXPECT_EQ(S_OK, element->put_text(CComBSTR(text)));
  }
  EXPECT_EQ(S_OK, parent->appendChild(element, nullptr));
  return element;
}

// A response envelope as a control point receives it, with a fault detail.
CComPtr<IXMLDOMDocument2> BuildEnvelope() {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  CComPtr<IXMLDOMProcessingInstruction> declaration;
  EXPECT_EQ(S_OK, document->createProcessingInstruction(CComBSTR(u"xml"), CComBSTR(u"version=\"1.0\""), &declaration));
  EXPECT_EQ(S_OK, document->appendChild(declaration, nullptr));

  CComPtr<IXMLDOMElement> envelope = Add(document, document, u"s:Envelope");
  CComPtr<IXMLDOMAttribute> xmlns;
  EXPECT_EQ(S_OK, document->createAttribute(CComBSTR(u"xmlns:s"), &xmlns));
  EXPECT_EQ(S_OK, xmlns->put_value(CComVariant(kSoapNamespace)));
  EXPECT_EQ(S_OK, envelope->setAttributeNode(xmlns, nullptr));
  EXPECT_EQ(S_OK, envelope->setAttribute(CComBSTR(u"s:encodingStyle"), CComVariant(kEncoding)));

  CComPtr<IXMLDOMElement> body = Add(document, envelope, u"s:Body");
  CComPtr<IXMLDOMElement> action = Add(document, body, u"u:GetStatusResponse");
  EXPECT_EQ(S_OK, action->setAttribute(CComBSTR(u"xmlns:u"), CComVariant(kService)));
  Add(document, action, u"ResultStatus", u"1 < 2 & \"3\" > 0");

  CComPtr<IXMLDOMNode> error;
  EXPECT_EQ(S_OK, document->createNode(CComVariant(NODE_ELEMENT), CComBSTR(u"UPnPError"), CComBSTR(kControl), &error));
  EXPECT_EQ(S_OK, body->appendChild(error, nullptr));
  Add(document, error, u"errorCode", u"401");
  Add(document, error, u"errorDescription", u"Invalid Action");
  return document;
}

constexpr char kEnvelopeBytes[] =
    "<?xml version=\"1.0\"?>\n"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
    "<s:Body>"
    "<u:GetStatusResponse xmlns:u=\"urn:schemas-upnp-org:service:SwitchPower:1\">"
    "<ResultStatus>1 &lt; 2 &amp; \"3\" &gt; 0</ResultStatus>"
    "</u:GetStatusResponse>"
    "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">"
    "<errorCode>401</errorCode><errorDescription>Invalid Action</errorDescription>"
    "</UPnPError>"
    "</s:Body>"
    "</s:Envelope>\n";

std::string SaveToMemory(IXMLDOMDocument* document) {
  MemoryStream* object = nullptr;
  CComPtr<IStream> stream = MakeStream<MemoryStream, IStream>(&object);
  EXPECT_EQ(S_OK, document->save(CComVariant(static_cast<IUnknown*>(stream))));
  return object->bytes;
}

class XmlSaveTest : public XmlTest {};

TEST_F(XmlSaveTest, SoapEnvelopeIsWrittenExactlyAndReadsBackTheSame) {
  CComPtr<IXMLDOMDocument2> built = BuildEnvelope();
  const std::string bytes = SaveToMemory(built);
  EXPECT_EQ(bytes, kEnvelopeBytes);
  EXPECT_EQ(Xml(built), comrt::FromUtf8(kEnvelopeBytes));

  MemoryStream* object = nullptr;
  CComPtr<IStream> stream = MakeStream<MemoryStream, IStream>(&object);
  object->bytes = bytes;
  CComPtr<IXMLDOMDocument2> loaded = NewDocument();
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(S_OK, loaded->load(CComVariant(static_cast<IUnknown*>(stream)), &ok));
  EXPECT_EQ(Describe(loaded), Describe(built));
  EXPECT_EQ(SaveToMemory(loaded), bytes);

  // Read back, the prefixed names are namespaced: selection finds them.
  ASSERT_EQ(S_OK, SetSelectionNamespaces(loaded, u"xmlns:e='http://schemas.xmlsoap.org/soap/envelope/' "
                                                 u"xmlns:c='urn:schemas-upnp-org:control-1-0'"));
  EXPECT_EQ(Text(SelectOne(loaded, u"/e:Envelope/e:Body/c:UPnPError/c:errorCode")), u"401");
}

TEST_F(XmlSaveTest, SavesToSequentialStreamsAndFiles) {
  CComPtr<IXMLDOMDocument2> document = BuildEnvelope();
  SequentialStream* object = nullptr;
  CComPtr<ISequentialStream> stream = MakeStream<SequentialStream, ISequentialStream>(&object);
  ASSERT_EQ(S_OK, document->save(CComVariant(static_cast<IUnknown*>(stream))));
  EXPECT_EQ(object->bytes, kEnvelopeBytes);

  const std::string path = testing::TempDir() + "xml_save_test.xml";
  ASSERT_EQ(S_OK, document->save(CComVariant(comrt::FromUtf8(path).c_str())));
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_EQ(content.str(), kEnvelopeBytes);
  std::remove(path.c_str());

  MemoryStream* failing = nullptr;
  CComPtr<IStream> broken = MakeStream<MemoryStream, IStream>(&failing);
  failing->failWith = STG_E_MEDIUMFULL;
  EXPECT_EQ(STG_E_MEDIUMFULL, document->save(CComVariant(static_cast<IUnknown*>(broken))));
  EXPECT_EQ(E_INVALIDARG, document->save(CComVariant(1)));
}

TEST_F(XmlSaveTest, DeclarationIsWrittenOnceAndFirst) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  Add(document, document, u"r", u"caf\u00E9");
  EXPECT_EQ(SaveToMemory(document), "<r>caf\xC3\xA9</r>\n");  // none unless the document has one

  CComPtr<IXMLDOMProcessingInstruction> declaration, second;
  ASSERT_EQ(S_OK, document->createProcessingInstruction(CComBSTR(u"xml"), CComBSTR(u"version=\"1.0\""), &declaration));
  ASSERT_EQ(S_OK, document->appendChild(declaration, nullptr));  // after the element, still written first
  ASSERT_EQ(S_OK, document->createProcessingInstruction(CComBSTR(u"xml"), CComBSTR(u"version=\"1.0\""), &second));
  EXPECT_EQ(E_FAIL, document->appendChild(second, nullptr));
  EXPECT_EQ(E_FAIL, Root(document)->appendChild(second, nullptr));
  EXPECT_EQ(SaveToMemory(document), "<?xml version=\"1.0\"?>\n<r>caf\xC3\xA9</r>\n");

  // A loaded declaration is written as it was, once.
  ASSERT_TRUE(LoadXml(document, u"<?xml version='1.0' standalone='yes'?><!--c--><r/>"));
  EXPECT_EQ(SaveToMemory(document), "<?xml version='1.0' standalone='yes'?>\n<!--c-->\n<r/>\n");
  const std::u16string text = Xml(document);
  ASSERT_TRUE(LoadXml(document, text));
  EXPECT_EQ(Xml(document), text);
}

TEST_F(XmlSaveTest, SavedBytesAreUtf8WhateverTheDeclarationSays) {
  CComPtr<IXMLDOMDocument2> document =
      LoadedDocument(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a='\u00E9'>\u00E9</r>");
  // get_xml is text, so the declaration stays as it is...
  EXPECT_EQ(Xml(document), u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\u00E9\">\u00E9</r>\n");
  // ...while the saved bytes are UTF-8 and say so.
  const std::string bytes = SaveToMemory(document);
  EXPECT_EQ(bytes, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r a=\"\xC3\xA9\">\xC3\xA9</r>\n");
  CComPtr<IXMLDOMDocument2> reloaded = NewDocument();
  MemoryStream* object = nullptr;
  CComPtr<IStream> stream = MakeStream<MemoryStream, IStream>(&object);
  object->bytes = bytes;
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(S_OK, reloaded->load(CComVariant(static_cast<IUnknown*>(stream)), &ok));
  EXPECT_EQ(Text(Root(reloaded)), u"\u00E9");
}

TEST_F(XmlSaveTest, NamespacedNodesAreDeclaredWhereNeededOnly) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  CComPtr<IXMLDOMNode> outer, inner, attribute;
  ASSERT_EQ(S_OK, document->createNode(CComVariant(u"element"), CComBSTR(u"q:outer"), CComBSTR(u"urn:q"), &outer));
  ASSERT_EQ(S_OK, document->createNode(CComVariant(NODE_ELEMENT), CComBSTR(u"q:inner"), CComBSTR(u"urn:q"), &inner));
  ASSERT_EQ(S_OK, document->createNode(CComVariant(NODE_ATTRIBUTE), CComBSTR(u"p:a"), CComBSTR(u"urn:p"), &attribute));
  ASSERT_EQ(S_OK, attribute->put_text(CComBSTR(u"v")));
  ASSERT_EQ(S_OK, document->appendChild(outer, nullptr));
  ASSERT_EQ(S_OK, outer->appendChild(inner, nullptr));
  ASSERT_EQ(S_OK, CComQIPtr<IXMLDOMElement>(inner)->setAttributeNode(CComQIPtr<IXMLDOMAttribute>(attribute), nullptr));
  EXPECT_EQ(SaveToMemory(document), "<q:outer xmlns:q=\"urn:q\"><q:inner xmlns:p=\"urn:p\" p:a=\"v\"/></q:outer>\n");
  EXPECT_EQ(Get(attribute.p, &IXMLDOMNode::get_namespaceURI), u"urn:p");
}

TEST_F(XmlSaveTest, NodesAsText) {
  CComPtr<IXMLDOMDocument2> document =
      LoadedDocument(u"<r xmlns:p='urn:p' a='&lt;&quot;&#10;'><![CDATA[x<y]]><!--c-->t&amp;u</r>");
  CComPtr<IXMLDOMElement> root = Root(document);
  CComPtr<IXMLDOMNamedNodeMap> attributes;
  ASSERT_EQ(S_OK, root->get_attributes(&attributes));
  CComPtr<IXMLDOMNode> declaration, attribute;
  ASSERT_EQ(S_OK, attributes->get_item(0, &declaration));
  ASSERT_EQ(S_OK, attributes->get_item(1, &attribute));
  EXPECT_EQ(Xml(declaration), u"xmlns:p=\"urn:p\"");
  EXPECT_EQ(Xml(attribute), u"a=\"&lt;&quot;&#10;\"");
  CComPtr<IXMLDOMNode> last;
  ASSERT_EQ(S_OK, root->get_lastChild(&last));
  EXPECT_EQ(Xml(last), u"t&amp;u");
  EXPECT_EQ(Xml(root), u"<r xmlns:p=\"urn:p\" a=\"&lt;&quot;&#10;\"><![CDATA[x<y]]><!--c-->t&amp;u</r>");
}

TEST_F(XmlSaveTest, DocumentClassesAreCreatedWithoutRegistration) {
  for (const CLSID* clsid : {&CLSID_FreeThreadedDOMDocument60, &CLSID_DOMDocument}) {
    CComPtr<IXMLDOMDocument> document;
    ASSERT_EQ(S_OK, CoCreateInstance(*clsid, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument,
                                     reinterpret_cast<void**>(&document)));
    CComQIPtr<IXMLDOMNode> node(document);
    CComQIPtr<IDispatch> dispatch(document);
    CComQIPtr<IXMLDOMDocument2> second(document);
    EXPECT_TRUE(node && dispatch && second);
    CComQIPtr<IXMLDOMElement> element(document);
    EXPECT_FALSE(element);
  }
  CComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(CLSID_DOMDocument, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)));
  CComPtr<IUnknown> outer = NewDocument().p;
  CComPtr<IUnknown> inner;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
  EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_DOMDocument, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                    reinterpret_cast<void**>(&inner)));
  EXPECT_FALSE(inner);

  constexpr CLSID kUnknownClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  const varnel_test::TemporaryRegistry emptyRegistry;  // not the registry of whoever runs the tests
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(kUnknownClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                                  reinterpret_cast<void**>(&inner)));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                                  reinterpret_cast<void**>(&inner)));
  EXPECT_EQ(E_POINTER, CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr));
  int serverInfo = 0;
  EXPECT_EQ(E_INVALIDARG, CoGetClassObject(CLSID_DOMDocument, CLSCTX_ALL, &serverInfo, IID_IClassFactory,
                                           reinterpret_cast<void**>(&inner)));
}

}  // namespace
