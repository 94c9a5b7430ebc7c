#include <gtest/gtest.h>

#include "xml_test_helpers.h"

namespace {

using namespace xml_test;

struct Names {
  std::u16string name, base, prefix, uri;
};

Names NamesOf(IXMLDOMNode* node) {
  return Names{Name(node), Get(node, &IXMLDOMNode::get_baseName), Get(node, &IXMLDOMNode::get_prefix),
               Get(node, &IXMLDOMNode::get_namespaceURI)};
}

void ExpectNames(IXMLDOMNode* node, const Names& expected) {
  ASSERT_TRUE(node);
  const Names actual = NamesOf(node);
  EXPECT_EQ(actual.name, expected.name);
  EXPECT_EQ(actual.base, expected.base);
  EXPECT_EQ(actual.prefix, expected.prefix);
  EXPECT_EQ(actual.uri, expected.uri);
}

CComPtr<IXMLDOMElement> NewElement(IXMLDOMDocument* document, const char16_t* name) {
  CComPtr<IXMLDOMElement> element;
  EXPECT_EQ(S_OK, document->createElement(CComBSTR(name), &element));
  return element;
}

CComPtr<IUnknown> Identity(IUnknown* object) {
  CComPtr<IUnknown> identity;
  EXPECT_EQ(S_OK, object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  return identity;
}

void Append(IXMLDOMNode* parent, IXMLDOMNode* child) { ASSERT_EQ(S_OK, parent->appendChild(child, nullptr)); }

class XmlTreeTest : public XmlTest {};

TEST_F(XmlTreeTest, QualifiedAndLocalNamesOfPrefixedNodes) {
  CComPtr<IXMLDOMDocument2> document =
      LoadedDocument(u"<s:E xmlns:s='urn:s' xmlns='urn:d' s:a='1' b='2'><C/></s:E>");
  CComPtr<IXMLDOMElement> root = Root(document);
  ExpectNames(root, {u"s:E", u"E", u"s", u"urn:s"});
  ExpectNames(SelectOne(root, u"*"), {u"C", u"C", u"", u"urn:d"});
  CComPtr<IXMLDOMNamedNodeMap> attributes;
  ASSERT_EQ(S_OK, root->get_attributes(&attributes));
  CComPtr<IXMLDOMNode> attribute;
  ASSERT_EQ(S_OK, attributes->getNamedItem(CComBSTR(u"s:a"), &attribute));
  ExpectNames(attribute, {u"s:a", u"a", u"s", u"urn:s"});
  attribute.Release();
  ASSERT_EQ(S_OK, attributes->getNamedItem(CComBSTR(u"b"), &attribute));
  ExpectNames(attribute, {u"b", u"b", u"", u""});
  attribute.Release();
  ASSERT_EQ(S_OK, attributes->getNamedItem(CComBSTR(u"xmlns:s"), &attribute));
  ExpectNames(attribute, {u"xmlns:s", u"s", u"xmlns", u"http://www.w3.org/2000/xmlns/"});
  EXPECT_EQ(Text(attribute), u"urn:s");
  attribute.Release();
  ASSERT_EQ(S_OK, attributes->getQualifiedItem(CComBSTR(u"a"), CComBSTR(u"urn:s"), &attribute));
  EXPECT_EQ(Text(attribute), u"1");

  // Created names are kept as given; createNode puts the element in its
  // namespace.
  ExpectNames(NewElement(document, u"s:Envelope"), {u"s:Envelope", u"Envelope", u"s", u""});
  CComPtr<IXMLDOMNode> error;
  ASSERT_EQ(S_OK, document->createNode(CComVariant(NODE_ELEMENT), CComBSTR(u"UPnPError"),
                                       CComBSTR(u"urn:schemas-upnp-org:control-1-0"), &error));
  ExpectNames(error, {u"UPnPError", u"UPnPError", u"", u"urn:schemas-upnp-org:control-1-0"});
  CComPtr<IXMLDOMNode> prefixed;
  ASSERT_EQ(S_OK, document->createNode(CComVariant(u"element"), CComBSTR(u"p:x"), CComBSTR(u"urn:p"), &prefixed));
  ExpectNames(prefixed, {u"p:x", u"x", u"p", u"urn:p"});
  EXPECT_EQ(Get(prefixed.p, &IXMLDOMNode::get_nodeTypeString), u"element");
}

TEST_F(XmlTreeTest, TextOfMixedContentAndValuesByNodeType) {
  CComPtr<IXMLDOMDocument2> document =
      LoadedDocument(u"<p>Hello <b>big</b>, <![CDATA[<w>]]><!--note--><?pi data?>!</p>");
  CComPtr<IXMLDOMElement> root = Root(document);
  EXPECT_EQ(Text(root), u"Hello big, <w>!");
  EXPECT_EQ(Text(document), u"Hello big, <w>!");

  CComVariant value;
  EXPECT_EQ(S_FALSE, root->get_nodeValue(&value));
  EXPECT_EQ(value.vt, VT_NULL);
  CComPtr<IXMLDOMNode> comment = SelectOne(root, u"comment()");
  ASSERT_TRUE(comment);
  value.Clear();
  EXPECT_EQ(S_OK, comment->get_nodeValue(&value));
  EXPECT_EQ(std::u16string(value.bstrVal), u"note");
  EXPECT_EQ(Name(comment), u"#comment");
  CComPtr<IXMLDOMNode> pi = SelectOne(root, u"processing-instruction()");
  EXPECT_EQ(Name(pi), u"pi");
  EXPECT_EQ(Text(pi), u"data");
  EXPECT_EQ(S_OK, pi->put_nodeValue(CComVariant(u"other")));
  EXPECT_EQ(Text(pi), u"other");
  EXPECT_EQ(E_FAIL, root->put_nodeValue(CComVariant(u"x")));

  // put_text replaces every child with one text node.
  ASSERT_EQ(S_OK, root->put_text(CComBSTR(u"a < b")));
  CComPtr<IXMLDOMNodeList> children;
  ASSERT_EQ(S_OK, root->get_childNodes(&children));
  EXPECT_EQ(Length(children), 1);
  EXPECT_EQ(Xml(root), u"<p>a &lt; b</p>");
  EXPECT_EQ(S_OK, comment->put_text(CComBSTR(u"still usable, outside the tree")));
  EXPECT_EQ(E_FAIL, comment->put_text(CComBSTR(u"a--b")));
}

TEST_F(XmlTreeTest, OneObjectPerNodeWhileHeld) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<r a='1'><c/><d/></r>");
  CComPtr<IXMLDOMElement> root = Root(document);
  CComPtr<IXMLDOMNode> first, selected, parent;
  ASSERT_EQ(S_OK, root->get_firstChild(&first));
  selected = SelectOne(document, u"/r/c");
  EXPECT_EQ(Identity(first), Identity(selected));
  EXPECT_TRUE(first.IsEqualObject(selected));
  ASSERT_EQ(S_OK, first->get_parentNode(&parent));
  EXPECT_TRUE(parent.IsEqualObject(root));
  CComPtr<IXMLDOMNode> next;
  ASSERT_EQ(S_OK, first->get_nextSibling(&next));
  EXPECT_FALSE(next.IsEqualObject(first));
  CComPtr<IXMLDOMAttribute> byName1, byName2;
  ASSERT_EQ(S_OK, root->getAttributeNode(CComBSTR(u"a"), &byName1));
  ASSERT_EQ(S_OK, root->getAttributeNode(CComBSTR(u"a"), &byName2));
  EXPECT_EQ(Identity(byName1), Identity(byName2));

  CComPtr<IXMLDOMNode> documentNode;
  ASSERT_EQ(S_OK, root->get_parentNode(&documentNode));
  EXPECT_TRUE(documentNode.IsEqualObject(document));
  CComPtr<IXMLDOMDocument> owner;
  ASSERT_EQ(S_OK, first->get_ownerDocument(&owner));
  EXPECT_TRUE(owner.IsEqualObject(document));
  CComPtr<IXMLDOMDocument> none;
  EXPECT_EQ(S_FALSE, document->get_ownerDocument(&none));
  EXPECT_FALSE(none);
}

TEST_F(XmlTreeTest, NodesKeepTheirDocumentAndUnusedNodesGo) {
  CComPtr<IXMLDOMNode> child;
  {
    CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<r><c>kept</c></r>");
    child = SelectOne(document, u"/r/c");
    // Made and never placed: freed with their last reference.
    CComPtr<IXMLDOMElement> loose = NewElement(document, u"loose");
    CComPtr<IXMLDOMText> text;
    ASSERT_EQ(S_OK, document->createTextNode(CComBSTR(u"t"), &text));
    Append(loose, text);
    ASSERT_EQ(S_OK, loose->setAttribute(CComBSTR(u"x"), CComVariant(u"y")));
  }
  // The document went away with the caller's reference, but not while a
  // node of it is held.
  CComPtr<IXMLDOMDocument> owner;
  ASSERT_EQ(S_OK, child->get_ownerDocument(&owner));
  EXPECT_EQ(Text(child), u"kept");
  EXPECT_EQ(Xml(owner), u"<r><c>kept</c></r>\n");
}

TEST_F(XmlTreeTest, InsertRemoveReplaceAndMove) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  CComPtr<IXMLDOMElement> root = NewElement(document, u"r");
  Append(document, root);
  CComPtr<IXMLDOMElement> a = NewElement(document, u"a"), b = NewElement(document, u"b"),
                          c = NewElement(document, u"c");
  Append(root, c);
  ASSERT_EQ(S_OK, root->insertBefore(a, CComVariant(static_cast<IUnknown*>(c)), nullptr));
  ASSERT_EQ(S_OK, root->insertBefore(b, CComVariant(static_cast<IUnknown*>(c)), nullptr));
  EXPECT_EQ(Xml(root), u"<r><a/><b/><c/></r>");

  Append(a, c);  // moves
  EXPECT_EQ(Xml(root), u"<r><a><c/></a><b/></r>");
  CComPtr<IXMLDOMNode> removed;
  ASSERT_EQ(S_OK, root->removeChild(b, &removed));
  EXPECT_TRUE(removed.IsEqualObject(b));
  CComPtr<IXMLDOMNode> parent;
  EXPECT_EQ(S_FALSE, b->get_parentNode(&parent));
  ASSERT_EQ(S_OK, root->replaceChild(b, a, nullptr));
  EXPECT_EQ(Xml(root), u"<r><b/></r>");
  EXPECT_EQ(Xml(a), u"<a><c/></a>");

  EXPECT_EQ(E_INVALIDARG, root->removeChild(c, nullptr));
  EXPECT_EQ(E_FAIL, c->appendChild(a, nullptr));  // a is c's parent
  EXPECT_NE(TakeErrorDescription(), u"<none>");
  EXPECT_EQ(E_FAIL, document->appendChild(a, nullptr));  // a second document element
  CComPtr<IXMLDOMText> text;
  ASSERT_EQ(S_OK, document->createTextNode(CComBSTR(u"t"), &text));
  EXPECT_EQ(E_FAIL, document->appendChild(text, nullptr));
  CComPtr<IXMLDOMAttribute> attribute;
  ASSERT_EQ(S_OK, document->createAttribute(CComBSTR(u"x"), &attribute));
  EXPECT_EQ(E_FAIL, root->appendChild(attribute, nullptr));
  CComPtr<IXMLDOMDocument2> other = NewDocument();
  EXPECT_EQ(E_INVALIDARG, other->appendChild(a, nullptr));
  EXPECT_EQ(E_INVALIDARG, root->appendChild(nullptr, nullptr));

  ASSERT_EQ(S_OK, document->putref_documentElement(a));
  EXPECT_EQ(Xml(document), u"<a><c/></a>\n");
}

TEST_F(XmlTreeTest, ChildNodesFollowChanges) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<r><a/></r>");
  CComPtr<IXMLDOMElement> root = Root(document);
  CComPtr<IXMLDOMNodeList> children;
  ASSERT_EQ(S_OK, root->get_childNodes(&children));
  CComPtr<IXMLDOMNode> item;
  ASSERT_EQ(S_OK, children->get_item(0, &item));
  EXPECT_EQ(Length(children), 1);
  Append(root, NewElement(document, u"b"));
  ASSERT_EQ(S_OK, root->insertBefore(NewElement(document, u"z"), CComVariant(static_cast<IUnknown*>(item)), nullptr));
  ASSERT_EQ(Length(children), 3);
  std::u16string names;
  for (LONG i = 0; i < 3; ++i) {
    item.Release();
    ASSERT_EQ(S_OK, children->get_item(i, &item));
    names += Name(item);
  }
  EXPECT_EQ(names, u"zab");
}

TEST_F(XmlTreeTest, AttributesThroughElementAndMap) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<r xmlns:p='urn:p' a='1'/>");
  CComPtr<IXMLDOMElement> root = Root(document);
  CComVariant value;
  EXPECT_EQ(S_FALSE, root->getAttribute(CComBSTR(u"missing"), &value));
  EXPECT_EQ(value.vt, VT_NULL);
  ASSERT_EQ(S_OK, root->setAttribute(CComBSTR(u"a"), CComVariant(2)));
  ASSERT_EQ(S_OK, root->setAttribute(CComBSTR(u"p:b"), CComVariant(u"x&y")));
  value.Clear();
  ASSERT_EQ(S_OK, root->getAttribute(CComBSTR(u"a"), &value));
  EXPECT_EQ(std::u16string(value.bstrVal), u"2");
  EXPECT_EQ(Xml(root), u"<r xmlns:p=\"urn:p\" a=\"2\" p:b=\"x&amp;y\"/>");

  CComPtr<IXMLDOMNamedNodeMap> map;
  ASSERT_EQ(S_OK, root->get_attributes(&map));
  LONG length = 0;
  ASSERT_EQ(S_OK, map->get_length(&length));
  EXPECT_EQ(length, 3);
  CComPtr<IXMLDOMNode> first;
  ASSERT_EQ(S_OK, map->get_item(0, &first));
  EXPECT_EQ(Name(first), u"xmlns:p");
  CComPtr<IXMLDOMNode> namespaced;
  ASSERT_EQ(S_OK, map->getQualifiedItem(CComBSTR(u"b"), CComBSTR(u"urn:p"), &namespaced));
  EXPECT_EQ(Text(namespaced), u"x&y");

  // Replacing by name detaches the old attribute, which stays usable.
  CComPtr<IXMLDOMAttribute> fresh;
  ASSERT_EQ(S_OK, document->createAttribute(CComBSTR(u"a"), &fresh));
  ASSERT_EQ(S_OK, fresh->put_value(CComVariant(u"3")));
  CComPtr<IXMLDOMAttribute> old;
  ASSERT_EQ(S_OK, root->getAttributeNode(CComBSTR(u"a"), &old));
  CComPtr<IXMLDOMNode> set;
  ASSERT_EQ(S_OK, map->setNamedItem(fresh, &set));
  EXPECT_TRUE(set.IsEqualObject(fresh));
  EXPECT_EQ(Text(old), u"2");
  EXPECT_EQ(E_FAIL, NewElement(document, u"e")->setAttributeNode(fresh, nullptr));

  CComPtr<IXMLDOMNode> gone;
  EXPECT_EQ(E_FAIL, map->removeNamedItem(CComBSTR(u"xmlns:p"), &gone));
  ASSERT_EQ(S_OK, map->removeNamedItem(CComBSTR(u"p:b"), &gone));
  EXPECT_EQ(Name(gone), u"p:b");
  EXPECT_EQ(S_FALSE, map->removeNamedItem(CComBSTR(u"p:b"), nullptr));
  EXPECT_EQ(S_OK, root->removeAttribute(CComBSTR(u"a")));
  EXPECT_EQ(S_OK, root->removeAttribute(CComBSTR(u"a")));
  EXPECT_EQ(Xml(root), u"<r xmlns:p=\"urn:p\"/>");
  // Redeclaring a prefix the element declares is refused; the same
  // declaration is accepted as it stands.
  EXPECT_EQ(E_FAIL, root->setAttribute(CComBSTR(u"xmlns:p"), CComVariant(u"urn:other")));
  EXPECT_EQ(S_OK, root->setAttribute(CComBSTR(u"xmlns:p"), CComVariant(u"urn:p")));
  EXPECT_EQ(E_FAIL, root->setAttribute(CComBSTR(u"1bad"), CComVariant(u"v")));
}

TEST_F(XmlTreeTest, ClonesAreDetachedCopies) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<s:r xmlns:s='urn:s' k='v'><s:c>t</s:c></s:r>");
  CComPtr<IXMLDOMElement> root = Root(document);
  CComPtr<IXMLDOMNode> deep, shallow;
  ASSERT_EQ(S_OK, root->cloneNode(VARIANT_TRUE, &deep));
  ASSERT_EQ(S_OK, root->cloneNode(VARIANT_FALSE, &shallow));
  EXPECT_FALSE(deep.IsEqualObject(root));
  CComPtr<IXMLDOMNode> parent;
  EXPECT_EQ(S_FALSE, deep->get_parentNode(&parent));
  EXPECT_EQ(Xml(deep), u"<s:r xmlns:s=\"urn:s\" k=\"v\"><s:c>t</s:c></s:r>");
  EXPECT_EQ(Xml(shallow), u"<s:r xmlns:s=\"urn:s\" k=\"v\"/>");

  CComPtr<IXMLDOMNode> child = SelectOne(root, u"*");
  CComPtr<IXMLDOMNode> childCopy;
  ASSERT_EQ(S_OK, child->cloneNode(VARIANT_TRUE, &childCopy));
  ExpectNames(childCopy, {u"s:c", u"c", u"s", u"urn:s"});

  CComPtr<IXMLDOMNode> documentCopy;
  ASSERT_EQ(S_OK, document->cloneNode(VARIANT_TRUE, &documentCopy));
  EXPECT_FALSE(documentCopy.IsEqualObject(document));
  EXPECT_EQ(Xml(documentCopy), Xml(document));
}

TEST_F(XmlTreeTest, MovedNodesKeepTheirNamespaces) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<s:E xmlns:s='urn:s'><s:B s:a='1'/></s:E>");
  CComPtr<IXMLDOMNode> body = SelectOne(document, u"/*/*");
  ASSERT_TRUE(body);
  ASSERT_TRUE(LoadXml(document, u"<plain/>"));  // the old tree, declaration included, is gone
  Append(Root(document), body);
  EXPECT_EQ(Xml(document), u"<plain><s:B xmlns:s=\"urn:s\" s:a=\"1\"/></plain>\n");
  ExpectNames(body, {u"s:B", u"B", u"s", u"urn:s"});
}

TEST_F(XmlTreeTest, CharacterDataCountsUtf16Units) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  CComPtr<IXMLDOMText> text;
  ASSERT_EQ(S_OK, document->createTextNode(CComBSTR(u"a\U0001F600b"), &text));
  LONG length = 0;
  ASSERT_EQ(S_OK, text->get_length(&length));
  EXPECT_EQ(length, 4);
  ASSERT_EQ(S_OK, text->appendData(CComBSTR(u"cd")));
  ASSERT_EQ(S_OK, text->insertData(1, CComBSTR(u"-")));
  ASSERT_EQ(S_OK, text->deleteData(4, 1));
  EXPECT_EQ(Get(text.p, &IXMLDOMCharacterData::get_data), u"a-\U0001F600cd");
  ASSERT_EQ(S_OK, text->replaceData(2, 2, CComBSTR(u"X")));
  BSTR part = nullptr;
  ASSERT_EQ(S_OK, text->substringData(1, 100, &part));
  EXPECT_EQ(std::u16string(part), u"-Xcd");
  SysFreeString(part);
  EXPECT_EQ(E_INVALIDARG, text->substringData(9, 1, &part));
  EXPECT_EQ(E_INVALIDARG, text->deleteData(-1, 1));

  CComPtr<IXMLDOMComment> comment;
  ASSERT_EQ(S_OK, document->createComment(CComBSTR(u"fine"), &comment));
  EXPECT_EQ(E_FAIL, comment->appendData(CComBSTR(u"--")));
  CComPtr<IXMLDOMComment> badComment;
  EXPECT_EQ(E_FAIL, document->createComment(CComBSTR(u"a--b"), &badComment));
  CComPtr<IXMLDOMElement> badElement;
  EXPECT_EQ(E_FAIL, document->createElement(CComBSTR(u"1bad"), &badElement));
  EXPECT_FALSE(badElement);
  EXPECT_NE(TakeErrorDescription(), u"<none>");
}

}  // namespace
