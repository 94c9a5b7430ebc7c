#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "xml_test_helpers.h"

namespace {

using namespace xml_test;

constexpr char16_t kEnvelope[] =
    u"<soap:Envelope xmlns:soap='http://schemas.xmlsoap.org/soap/envelope/'>"
    u"<soap:Body><m:Go xmlns:m='urn:x-test:service:1'><Speed>3</Speed></m:Go></soap:Body>"
    u"</soap:Envelope>";

class XmlSelectionTest : public XmlTest {};

TEST_F(XmlSelectionTest, DeclaredPrefixMatchesWhateverPrefixTheDocumentUses) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(kEnvelope);
  ASSERT_EQ(S_OK, SetSelectionNamespaces(document, u"xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                                                   u"xmlns:u='urn:x-test:service:1'"));
  CComPtr<IXMLDOMNode> action = SelectOne(document, u"/s:Envelope/s:Body/u:Go");
  ASSERT_TRUE(action);
  EXPECT_EQ(Name(action), u"m:Go");
  EXPECT_EQ(Text(SelectOne(action, u"Speed")), u"3");
}

TEST_F(XmlSelectionTest, SamePrefixBoundToAnotherUriDoesNotMatch) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(kEnvelope);
  ASSERT_EQ(S_OK, SetSelectionNamespaces(document, u"xmlns:soap='urn:x-test:other'"));
  CComPtr<IXMLDOMNode> node;
  EXPECT_EQ(S_FALSE, document->selectSingleNode(CComBSTR(u"/soap:Envelope"), &node));
  EXPECT_FALSE(node);
  // The unprefixed name is the no-namespace element, which is not there.
  EXPECT_EQ(S_FALSE, document->selectSingleNode(CComBSTR(u"/Envelope"), &node));
}

TEST_F(XmlSelectionTest, UndeclaredPrefixFailsWithAReason) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(kEnvelope);
  CComPtr<IXMLDOMNodeList> list;
  // The document itself declares "soap"; selections do not borrow it.
  EXPECT_EQ(E_FAIL, document->selectNodes(CComBSTR(u"/soap:Envelope"), &list));
  EXPECT_FALSE(list);
  EXPECT_NE(TakeErrorDescription().find(u"soap"), std::u16string::npos);
  // Also when evaluation would never reach the step that uses it.
  CComPtr<IXMLDOMNode> node;
  EXPECT_EQ(E_FAIL, document->selectSingleNode(CComBSTR(u"/none/x:y[@z='a:b']"), &node));
  EXPECT_NE(TakeErrorDescription(), u"<none>");
}

TEST_F(XmlSelectionTest, InvalidQueriesFail) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<a><b/></a>");
  CComPtr<IXMLDOMNodeList> list;
  EXPECT_EQ(E_FAIL, document->selectNodes(CComBSTR(u"//b[["), &list));
  EXPECT_NE(TakeErrorDescription(), u"<none>");
  EXPECT_EQ(E_FAIL, document->selectNodes(CComBSTR(u"count(//b)"), &list));
  EXPECT_EQ(E_FAIL, document->selectNodes(CComBSTR(u""), &list));
  EXPECT_FALSE(list);
}

TEST_F(XmlSelectionTest, SelectionNamespacesValuesAreCheckedAndKept) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  for (const char16_t* bad : {u"xmlns:a", u"xmlns:a='x", u"xmlns:a='x'xmlns:b='y'", u"foo:a='x'", u"xmlns:1a='x'",
                              u"xmlns:a=''"}) {
    EXPECT_EQ(E_INVALIDARG, SetSelectionNamespaces(document, bad)) << CComBSTR(bad).Length();
  }
  const char16_t* good = u"  xmlns:a=\"urn:a\"\txmlns:b = 'urn:b'  xmlns='urn:default' ";
  EXPECT_EQ(S_OK, SetSelectionNamespaces(document, good));
  CComVariant value;
  EXPECT_EQ(S_OK, document->getProperty(CComBSTR(u"SelectionNamespaces"), &value));
  EXPECT_EQ(value.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(value.bstrVal), good);

  EXPECT_EQ(S_OK, document->setProperty(CComBSTR(u"SelectionLanguage"), CComVariant(u"XPath")));
  EXPECT_EQ(E_INVALIDARG, document->setProperty(CComBSTR(u"SelectionLanguage"), CComVariant(u"XSLPattern")));
  EXPECT_EQ(E_INVALIDARG, document->setProperty(CComBSTR(u"NoSuchProperty"), CComVariant(1)));
}

TEST_F(XmlSelectionTest, SelectsRelativeToAnyNode) {
  CComPtr<IXMLDOMDocument2> document =
      LoadedDocument(u"<r><g id='1'><i>a</i><i>b</i></g><g id='2'><i>c</i></g></r>");
  CComPtr<IXMLDOMNode> second = SelectOne(document, u"/r/g[@id='2']");
  ASSERT_TRUE(second);
  CComPtr<IXMLDOMNodeList> items;
  ASSERT_EQ(S_OK, second->selectNodes(CComBSTR(u"i"), &items));
  ASSERT_EQ(Length(items), 1);
  CComPtr<IXMLDOMNode> item;
  ASSERT_EQ(S_OK, items->get_item(0, &item));
  EXPECT_EQ(Text(item), u"c");
  EXPECT_EQ(Text(SelectOne(item, u"../../g[1]/i[2]")), u"b");
  CComPtr<IXMLDOMNode> attribute = SelectOne(second, u"@id");
  ASSERT_TRUE(attribute);
  DOMNodeType type = NODE_INVALID;
  EXPECT_EQ(S_OK, attribute->get_nodeType(&type));
  EXPECT_EQ(type, NODE_ATTRIBUTE);
  EXPECT_EQ(Text(attribute), u"2");
}

TEST_F(XmlSelectionTest, SelectedListIsASnapshotThatOutlivesChanges) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<r><i>1</i><i>2</i><i>3</i></r>");
  CComPtr<IXMLDOMNodeList> items;
  ASSERT_EQ(S_OK, document->selectNodes(CComBSTR(u"/r/i"), &items));
  ASSERT_EQ(Length(items), 3);

  CComPtr<IXMLDOMElement> root = Root(document);
  CComPtr<IXMLDOMNode> first;
  ASSERT_EQ(S_OK, items->get_item(0, &first));
  ASSERT_EQ(S_OK, root->removeChild(first, nullptr));
  first.Release();
  // Reloading throws away the whole old tree; the list keeps its nodes.
  ASSERT_TRUE(LoadXml(document, u"<other/>"));

  ASSERT_EQ(Length(items), 3);
  std::u16string texts;
  for (LONG i = 0; i < 3; ++i) {
    CComPtr<IXMLDOMNode> item;
    ASSERT_EQ(S_OK, items->get_item(i, &item));
    texts += Text(item);
  }
  EXPECT_EQ(texts, u"123");
  CComPtr<IXMLDOMNode> past;
  EXPECT_EQ(S_FALSE, items->get_item(3, &past));
  EXPECT_EQ(S_FALSE, items->get_item(-1, &past));
  EXPECT_FALSE(past);
}

TEST_F(XmlSelectionTest, NextNodeWalksTheListOnceUntilReset) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<r><i/><i/></r>");
  CComPtr<IXMLDOMNodeList> items;
  ASSERT_EQ(S_OK, document->selectNodes(CComBSTR(u"//i"), &items));
  int seen = 0;
  for (CComPtr<IXMLDOMNode> item; items->nextNode(&item) == S_OK; item.Release()) ++seen;
  EXPECT_EQ(seen, 2);
  CComPtr<IXMLDOMNode> again;
  EXPECT_EQ(S_FALSE, items->nextNode(&again));
  EXPECT_EQ(S_OK, items->reset());
  EXPECT_EQ(S_OK, items->nextNode(&again));
}

TEST_F(XmlSelectionTest, ReadOnlySelectionFromSeveralThreadsAtOnce) {
  std::u16string xml = u"<r xmlns='urn:r'>";
  for (int i = 0; i < 200; ++i) xml += u"<i n='" + std::u16string(1, char16_t(u'a' + i % 26)) + u"'>x</i>";
  xml += u"</r>";
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(xml);
  ASSERT_EQ(S_OK, SetSelectionNamespaces(document, u"xmlns:r='urn:r'"));
  CComPtr<IXMLDOMElement> root = Root(document);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      // Nobody else holds the first child, so its object is made and
      // destroyed over and over while the other threads ask for it.
      for (int round = 0; round < 2000; ++round) {
        CComPtr<IXMLDOMNode> first;
        if (root->get_firstChild(&first) != S_OK || Text(first) != u"x") ++failures;
      }
      for (int round = 0; round < 50; ++round) {
        CComPtr<IXMLDOMNodeList> list;
        LONG length = 0;
        if (document->selectNodes(CComBSTR(u"/r:r/r:i[@n='c']"), &list) != S_OK || list->get_length(&length) != S_OK ||
            length != 8) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
