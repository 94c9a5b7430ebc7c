// Documents made to hurt the loader: each fails (or loads) with its own
// code, in time and memory bounded by its size, and nothing of it reaches
// the host's standard error.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "comrt/safearray.h"
#include "comrt/text_conversion.h"
#include "xml_test_helpers.h"

namespace {

using namespace xml_test;

constexpr LONG kDtdProhibited = static_cast<LONG>(0xC00CEF01u);
constexpr LONG kNestingTooDeep = static_cast<LONG>(0xC00CEF02u);
constexpr LONG kTooManyNamespaces = static_cast<LONG>(0xC00CEF06u);
constexpr LONG kTooDense = static_cast<LONG>(0xC00CEF09u);
constexpr LONG kTooManyAttributes = static_cast<LONG>(0xC00CEF07u);

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Outcome {
  bool loaded = false;
  LONG code = 0;
  std::u16string reason;
};

// Loads `bytes` as the byte array a caller would pass; prints the CPU time.
Outcome LoadBytes(const std::string& bytes, const char* label) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  void* data = nullptr;
  EXPECT_EQ(S_OK, SafeArrayAccessData(array, &data));
  if (!bytes.empty()) std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
  SafeArrayUnaccessData(array);
  CComVariant source;
  source.vt = VT_ARRAY | VT_UI1;
  source.parray = array;
  const double start = CpuSeconds();
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document->load(source, &loaded);
  const double spent = CpuSeconds() - start;
  Outcome outcome;
  outcome.loaded = loaded == VARIANT_TRUE;
  CComPtr<IXMLDOMParseError> error;
  EXPECT_EQ(S_OK, document->get_parseError(&error));
  error->get_errorCode(&outcome.code);
  outcome.reason = Get(error.p, &IXMLDOMParseError::get_reason);
  if (!outcome.loaded) {
    CComPtr<IErrorInfo> info;
    GetErrorInfo(0, &info);  // the reason left on the thread is not wanted here
  }
  std::printf("[ COST     ] %-44s %9zu bytes  code %08X  %.3f s CPU\n", label, bytes.size(),
              static_cast<unsigned>(outcome.code), spent);
  return outcome;
}

std::string Repeat(const std::string& unit, size_t count) {
  std::string text;
  text.reserve(unit.size() * count);
  for (size_t i = 0; i < count; ++i) text += unit;
  return text;
}

// `count` attributes (declarations when `prefix` is "xmlns:") on one element.
std::string ElementWith(const std::string& prefix, int count) {
  std::string xml = "<r";
  for (int i = 0; i < count; ++i) xml += " " + prefix + "a" + std::to_string(i) + "=\"urn:" + std::to_string(i) + "\"";
  return xml + "/>";
}

// Reads what the code under test writes to fd 2 while `run` runs.
class StandardErrorCapture {
 public:
  StandardErrorCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = dup(2);
    dup2(fileno(file_), 2);
  }
  ~StandardErrorCapture() { Restore(); }
  std::string Restore() {
    if (saved_ < 0) return text_;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
    std::rewind(file_);
    char buffer[512];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text_.append(buffer, read);
    std::fclose(file_);
    return text_;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
  std::string text_;
};

const std::vector<std::pair<const char*, std::string>>& BadlyEncoded() {
  static const std::vector<std::pair<const char*, std::string>> bodies = {
      {"invalid UTF-8", "<r>\xC3\x28 \xFF\xFE</r>"},
      {"lone surrogate in UTF-8", "<r>\xED\xA0\x80</r>"},
      {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-no-such-encoding\"?><r/>"},
      {"UTF-16 declared over UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>text</r>"},
      {"high bytes in US-ASCII", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><r>\xE9\xFF</r>"},
      {"NUL bytes", std::string("<r>a\0b</r>", 10)},
      // Conversion failures past the first chunk, and in UCS-4, are the ones
      // libxml2 reports outside the parser.
      {"invalid EUC-JP after 70000 bytes",
       "<?xml version=\"1.0\" encoding=\"EUC-JP\"?><r>" + std::string(70000, 'a') + "\xA1\xFF\x8E</r>"},
      {"broken UCS-4", std::string("\0\0\0<\0\0\0r\0\0\0>\0\x11\0\0", 16)},
      {"lone surrogate in UTF-16", std::string("\xFF\xFE<\0r\0>\0\x00\xD8<\0/\0r\0>\0", 18)},
  };
  return bodies;
}

TEST(XmlHostileTest, BadEncodingsFailWithAReasonAndWriteNothingToStandardError) {
  StandardErrorCapture capture;
  std::vector<Outcome> outcomes;
  for (const auto& body : BadlyEncoded()) outcomes.push_back(LoadBytes(body.second, body.first));
  // libxml2 keeps its error handlers per thread: a thread new to it too.
  std::thread worker([] {
    for (const auto& body : BadlyEncoded()) LoadBytes(body.second, body.first);
  });
  worker.join();
  const std::string written = capture.Restore();
  EXPECT_EQ("", written);
  for (size_t i = 0; i < outcomes.size(); ++i) {
    EXPECT_FALSE(outcomes[i].loaded) << BadlyEncoded()[i].first;
    EXPECT_NE(0, outcomes[i].code) << BadlyEncoded()[i].first;
    EXPECT_FALSE(outcomes[i].reason.empty()) << BadlyEncoded()[i].first;
  }
}

TEST(XmlHostileTest, DtdsNeverLoadSoEntitiesAreNeitherFetchedNorExpanded) {
  const std::string external =
      "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>";
  std::string bomb = "<!DOCTYPE r [<!ENTITY e0 \"lol\">";
  for (int i = 1; i < 10; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " \"" + Repeat("&e" + std::to_string(i - 1) + ";", 10) + "\">";
  }
  bomb += "]><r>&e9;</r>";
  EXPECT_EQ(kDtdProhibited, LoadBytes(external, "external entity").code);
  EXPECT_EQ(kDtdProhibited, LoadBytes(bomb, "entity bomb").code);
}

TEST(XmlHostileTest, StructureLimitsAreExactAndRefusedWithTheirOwnCodes) {
  auto nested = [](int depth) { return Repeat("<e>", depth) + Repeat("</e>", depth); };
  EXPECT_TRUE(LoadBytes(nested(256), "256 levels").loaded);
  EXPECT_EQ(kNestingTooDeep, LoadBytes(nested(257), "257 levels").code);
  EXPECT_EQ(kNestingTooDeep, LoadBytes(nested(100000), "100000 levels").code);

  EXPECT_TRUE(LoadBytes(ElementWith("xmlns:", 256), "256 declarations").loaded);
  EXPECT_EQ(kTooManyNamespaces, LoadBytes(ElementWith("xmlns:", 257), "257 declarations").code);
  EXPECT_EQ(kTooManyNamespaces, LoadBytes(ElementWith("xmlns:", 100000), "100000 declarations, one element").code);
  EXPECT_TRUE(LoadBytes(ElementWith("", 256), "256 attributes").loaded);
  EXPECT_EQ(kTooManyAttributes, LoadBytes(ElementWith("", 257), "257 attributes").code);
  EXPECT_EQ(kTooManyAttributes, LoadBytes(ElementWith("", 100000), "100000 attributes, one element").code);

  // The same limits hold in UTF-16, where every other byte is zero.
  const std::string narrow = ElementWith("xmlns:", 257);
  std::string wide = "\xFF\xFE";
  for (char c : narrow) wide += std::string{c, '\0'};
  EXPECT_EQ(kTooManyNamespaces, LoadBytes(wide, "257 declarations in UTF-16").code);
}

TEST(XmlHostileTest, MarkupCharactersInTextValuesCommentsAndCDataAreNotAttributes) {
  const std::string many = Repeat("x=1 ", 400);
  const std::string body = "<?pi " + many + "?><r v=\"" + many + "\" w='" + many + "'><!-- " + many + " --><![CDATA[" +
                           many + "]]>" + many + "<e a=\"1\"/></r>";
  const Outcome outcome = LoadBytes(body, "400 '=' outside start tags");
  EXPECT_TRUE(outcome.loaded);
  EXPECT_EQ(0, outcome.code);
}

TEST(XmlHostileTest, ManyDeclarationsSpreadOverElementsLoadInOnePass) {
  std::string body = "<r>";
  for (int e = 0; e < 1000; ++e) {
    body += "<e";
    for (int i = 0; i < 100; ++i) body += " xmlns:p" + std::to_string(i) + "=\"urn:" + std::to_string(e * 100 + i) + "\"";
    body += " xml:lang=\"en\"><p7:x p3:a=\"1\"/></e>";
  }
  body += "</r>";
  EXPECT_TRUE(LoadBytes(body, "100000 declarations, 100 per element").loaded);

  // The moved tree works as if built here: namespaces, the xml: prefix.
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  ASSERT_TRUE(LoadXml(document, u"<r xmlns:p='urn:p' xml:lang='en'><p:x p:a='1'/></r>"));
  CComPtr<IXMLDOMNode> lang;
  ASSERT_EQ(S_OK, document->selectSingleNode(CComBSTR(u"/r/@xml:lang"), &lang));
  ASSERT_TRUE(lang);
  EXPECT_EQ(u"http://www.w3.org/XML/1998/namespace", Get(lang.p, &IXMLDOMNode::get_namespaceURI));
  CComPtr<IXMLDOMElement> root = Root(document);
  CComPtr<IXMLDOMNode> copy;
  ASSERT_EQ(S_OK, root->cloneNode(VARIANT_TRUE, &copy));
  EXPECT_EQ(Xml(root), Xml(copy));
}

TEST(XmlHostileTest, DocumentsDenserThanOneNodePerNineBytesDoNotLoadBeyondTheFirstNodes) {
  EXPECT_TRUE(LoadBytes("<r>" + Repeat("<a/>", 4000) + "</r>", "4000 tiny elements").loaded);
  const Outcome tiny = LoadBytes("<r>" + Repeat("<a/>", 100000) + "</r>", "100000 tiny elements");
  EXPECT_FALSE(tiny.loaded);
  EXPECT_EQ(kTooDense, tiny.code);
  EXPECT_NE(std::u16string::npos, tiny.reason.find(u"9 bytes"));
  // Attributes and their values count, and so do comments.
  EXPECT_EQ(kTooDense, LoadBytes("<r>" + Repeat("<a b='1'/>", 100000) + "</r>", "100000 attributes").code);
  EXPECT_EQ(kTooDense, LoadBytes("<r>" + Repeat("<!---->", 100000) + "</r>", "100000 comments").code);
  // Text that grows through many pieces (references) is one node.
  EXPECT_TRUE(LoadBytes("<r>" + Repeat("&lt;", 1000000) + "</r>", "one text of a million references").loaded);
  // Whitespace the load drops is not counted: indented markup loads...
  const std::string indented = "<r>" + Repeat("\n    <item>value</item>", 100000) + "\n</r>";
  EXPECT_TRUE(LoadBytes(indented, "100000 indented elements").loaded);
  // ...unless it is kept, when it is three nodes an item.
  CComPtr<IXMLDOMDocument2> kept = NewDocument();
  ASSERT_EQ(S_OK, kept->put_preserveWhiteSpace(VARIANT_TRUE));
  VARIANT_BOOL loaded = VARIANT_TRUE;
  kept->loadXML(CComBSTR(comrt::FromUtf8(indented).c_str()), &loaded);
  EXPECT_EQ(VARIANT_FALSE, loaded);
  CComPtr<IErrorInfo> reason;
  EXPECT_EQ(S_OK, GetErrorInfo(0, &reason));
}

TEST(XmlHostileTest, WhitespaceDroppedWhileLoadingMatchesTheRuleForXmlSpace) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  ASSERT_TRUE(LoadXml(document, u"<r> <a xml:space='preserve'> <b> </b><c xml:space='default'> </c></a> <d> x </d>"
                                u"<!-- --> </r>"));
  EXPECT_EQ(u"<r><a xml:space=\"preserve\"> <b> </b><c xml:space=\"default\"/></a><d> x </d><!-- --></r>",
            Xml(Root(document)));
}

TEST(XmlHostileTest, DocumentsOverTenMegabytesLoad) {
  // libxml2's push parser refuses such input unless told it may be huge.
  const std::string body = "<r>" + Repeat("<a>some more text</a>", 550000) + "</r>";
  EXPECT_TRUE(LoadBytes(body, "11 MB of small elements").loaded);
}

}  // namespace
