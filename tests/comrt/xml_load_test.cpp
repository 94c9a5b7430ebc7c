#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "comrt/safearray.h"
#include "support/memory_stream.h"
#include "xml_test_helpers.h"

namespace {

using namespace xml_test;
using comrt_test::GeneratedStream;
using comrt_test::MakeStream;
using comrt_test::MemoryStream;
using comrt_test::SequentialStream;

struct ParseReport {
  LONG code = 0;
  std::u16string reason;
  LONG line = 0;
  LONG linepos = 0;
};

ParseReport Report(IXMLDOMDocument* document) {
  CComPtr<IXMLDOMParseError> error;
  EXPECT_EQ(S_OK, document->get_parseError(&error));
  ParseReport report;
  error->get_errorCode(&report.code);
  report.reason = Get(error.p, &IXMLDOMParseError::get_reason);
  error->get_line(&report.line);
  error->get_linepos(&report.linepos);
  return report;
}

// Asserts that `document` is empty: no document element, no children.
void ExpectEmpty(IXMLDOMDocument* document) {
  CComPtr<IXMLDOMElement> root;
  EXPECT_EQ(S_FALSE, document->get_documentElement(&root));
  EXPECT_FALSE(root);
  VARIANT_BOOL any = VARIANT_TRUE;
  EXPECT_EQ(S_FALSE, document->hasChildNodes(&any));
  EXPECT_EQ(Xml(document), u"");
}

VARIANT_BOOL LoadFrom(IXMLDOMDocument* document, IUnknown* stream) {
  VARIANT_BOOL loaded = VARIANT_TRUE;
  document->load(CComVariant(stream), &loaded);
  return loaded;
}

std::u16string Nested(int depth) {
  std::u16string xml;
  for (int i = 0; i < depth; ++i) xml += u"<e>";
  for (int i = 0; i < depth; ++i) xml += u"</e>";
  return xml;
}

// A named pipe standing where an entity's file would be. Nothing ever opens
// it for reading unless the parser tries to fetch the entity; a watcher
// notices that (a writer can open the pipe only while a reader has it open)
// and lets the reader go, so the test fails rather than hangs.
class WatchedPipe {
 public:
  WatchedPipe() : path_(testing::TempDir() + "xml_entity_pipe_" + std::to_string(getpid())) {
    unlink(path_.c_str());
    EXPECT_EQ(0, mkfifo(path_.c_str(), 0600));
    watcher_ = std::thread([this] {
      while (!stop_) {
        const int fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
          opened_ = true;
          (void)!write(fd, "SECRET", 6);
          close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  ~WatchedPipe() {
    stop_ = true;
    watcher_.join();
    unlink(path_.c_str());
  }
  const std::string& Path() const { return path_; }
  bool Opened() const { return opened_; }

 private:
  std::string path_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> opened_{false};
  std::thread watcher_;
};

class XmlLoadTest : public XmlTest {};

TEST_F(XmlLoadTest, AnyDoctypeIsRefused) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  for (const char16_t* xml : {u"<!DOCTYPE r><r/>", u"<!DOCTYPE r [<!ELEMENT r ANY>]><r/>",
                              u"<?xml version='1.0'?>\n<!DOCTYPE r PUBLIC 'p' 'http://example.invalid/r.dtd'><r/>"}) {
    EXPECT_FALSE(LoadXml(document, xml));
    ExpectEmpty(document);
    const ParseReport report = Report(document);
    EXPECT_NE(report.code, 0);
    EXPECT_NE(report.reason.find(u"DOCTYPE"), std::u16string::npos);
    EXPECT_NE(TakeErrorDescription().find(u"DOCTYPE"), std::u16string::npos);
  }
}

TEST_F(XmlLoadTest, ExternalEntitiesAreNeverFetched) {
  WatchedPipe pipe;
  const std::u16string path = comrt::FromUtf8(pipe.Path());
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  for (const std::u16string& xml :
       {u"<!DOCTYPE r [<!ENTITY x SYSTEM '" + path + u"'>]><r>&x;</r>",
        u"<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + path + u"'>]><r>&x;</r>",
        u"<!DOCTYPE r [<!ENTITY % p SYSTEM '" + path + u"'> %p;]><r/>", u"<!DOCTYPE r SYSTEM '" + path + u"'><r/>"}) {
    EXPECT_FALSE(LoadXml(document, xml));
    ExpectEmpty(document);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(pipe.Opened());
}

TEST_F(XmlLoadTest, EntityExpansionBombDoesNotLoad) {
  std::u16string xml = u"<!DOCTYPE bomb [<!ENTITY a0 'boom'>";
  for (int i = 1; i < 10; ++i) {
    const std::u16string previous = u"&a" + std::u16string(1, char16_t(u'0' + i - 1)) + u";";
    std::u16string body;
    for (int j = 0; j < 10; ++j) body += previous;
    xml += u"<!ENTITY a" + std::u16string(1, char16_t(u'0' + i)) + u" '" + body + u"'>";
  }
  xml += u"]><bomb>&a9;</bomb>";
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  EXPECT_FALSE(LoadXml(document, xml));
  ExpectEmpty(document);
  // Without a DTD an entity reference is simply undefined.
  EXPECT_FALSE(LoadXml(document, u"<r>&a9;</r>"));
}

TEST_F(XmlLoadTest, NestingDeeperThan256DoesNotLoad) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  EXPECT_TRUE(LoadXml(document, Nested(256)));
  EXPECT_FALSE(LoadXml(document, Nested(257)));
  ExpectEmpty(document);
  EXPECT_NE(Report(document).reason.find(u"256"), std::u16string::npos);
}

TEST_F(XmlLoadTest, MalformedBytesFailCleanly) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"invalid UTF-8", std::string("<r>caf\xC3\x28</r>")},
      {"overlong UTF-8", std::string("<r>\xC0\xAF</r>")},
      {"truncated body", "<r><a>text</a><b>mo"},
      {"truncated tag", "<r><a att='1"},
      {"two roots", "<a/><b/>"},
      {"undeclared prefix", "<p:r/>"},
      {"empty", ""},
      {"only a declaration", "<?xml version='1.0'?>"},
  };
  for (const Case& test : cases) {
    MemoryStream* object = nullptr;
    CComPtr<IStream> stream = MakeStream<MemoryStream, IStream>(&object);
    object->bytes = test.bytes;
    EXPECT_EQ(VARIANT_FALSE, LoadFrom(document, stream)) << test.name;
    ExpectEmpty(document);
    EXPECT_NE(Report(document).code, 0) << test.name;
  }
}

TEST_F(XmlLoadTest, HugeTextFailsWithoutReadingItAll) {
  constexpr size_t kSize = 100u * 1024 * 1024;
  GeneratedStream* object = nullptr;
  CComPtr<ISequentialStream> stream = MakeStream<GeneratedStream, ISequentialStream>(&object);
  object->size = kSize;
  object->byteAt = [](size_t i) { return i < 3 ? "<a>"[i] : 'x'; };
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  EXPECT_EQ(VARIANT_FALSE, LoadFrom(document, stream));
  EXPECT_LT(object->position, kSize / 4);
  ExpectEmpty(document);
}

TEST_F(XmlLoadTest, AStreamThatClaimsMoreThanItWasAskedForFailsTheLoad) {
  for (size_t size : {size_t{40}, size_t{200000}}) {  // the last piece, and a piece before it
    GeneratedStream* object = nullptr;
    CComPtr<ISequentialStream> stream = MakeStream<GeneratedStream, ISequentialStream>(&object);
    object->size = size;
    object->overReport = 1u << 20;  // more than any read asks for
    object->byteAt = [size](size_t i) { return i < 3 ? "<a>"[i] : (i + 4 < size ? 'x' : "</a>"[i + 4 - size]); };
    CComPtr<IXMLDOMDocument2> document = NewDocument();
    EXPECT_EQ(VARIANT_FALSE, LoadFrom(document, stream)) << size;
    EXPECT_EQ(E_UNEXPECTED, Report(document).code) << size;
    ExpectEmpty(document);
  }
}

TEST_F(XmlLoadTest, MillionNestedElementsFailFast) {
  constexpr size_t kElements = 1000000;
  GeneratedStream* object = nullptr;
  CComPtr<ISequentialStream> stream = MakeStream<GeneratedStream, ISequentialStream>(&object);
  object->size = kElements * 3;
  object->byteAt = [](size_t i) { return "<a>"[i % 3]; };
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  EXPECT_EQ(VARIANT_FALSE, LoadFrom(document, stream));
  EXPECT_LT(object->position, object->size);
}

TEST_F(XmlLoadTest, FailedLoadEmptiesTheDocumentAndReportsWhere) {
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(u"<old><kept/></old>");
  EXPECT_EQ(Report(document).code, 0);
  CComPtr<IXMLDOMNode> kept = SelectOne(document, u"/old/kept");
  ASSERT_TRUE(kept);

  EXPECT_FALSE(LoadXml(document, u"<r>\n  <a></b>\n</r>"));
  ExpectEmpty(document);
  const ParseReport report = Report(document);
  EXPECT_NE(report.code, 0);
  EXPECT_EQ(report.line, 2);
  EXPECT_GT(report.linepos, 0);
  EXPECT_FALSE(report.reason.empty());
  // A node of the old content stays usable, outside any tree.
  EXPECT_EQ(Name(kept), u"kept");
  CComPtr<IXMLDOMNode> parent;
  EXPECT_EQ(S_OK, kept->get_parentNode(&parent));
  EXPECT_EQ(Name(parent), u"old");

  EXPECT_TRUE(LoadXml(document, u"<new/>"));
  EXPECT_EQ(Report(document).code, 0);
}

TEST_F(XmlLoadTest, WhitespaceOnlyTextIsDroppedUnlessPreserved) {
  const std::u16string xml =
      u"<r>\n  <a> x </a>\n  <b>  </b>\n  <c xml:space='preserve'>\n <d>\t</d></c>\n</r>";
  CComPtr<IXMLDOMDocument2> document = LoadedDocument(xml);
  CComPtr<IXMLDOMNodeList> children;
  ASSERT_EQ(S_OK, Root(document)->get_childNodes(&children));
  EXPECT_EQ(Length(children), 3);
  EXPECT_EQ(Text(SelectOne(document, u"/r/a")), u" x ");
  VARIANT_BOOL has = VARIANT_TRUE;
  EXPECT_EQ(S_FALSE, SelectOne(document, u"/r/b")->hasChildNodes(&has));
  CComPtr<IXMLDOMNodeList> preserved;
  ASSERT_EQ(S_OK, SelectOne(document, u"/r/c")->get_childNodes(&preserved));
  EXPECT_EQ(Length(preserved), 2);
  EXPECT_EQ(Text(SelectOne(document, u"/r/c/d")), u"\t");

  ASSERT_EQ(S_OK, document->put_preserveWhiteSpace(VARIANT_TRUE));
  ASSERT_TRUE(LoadXml(document, xml));
  children.Release();
  ASSERT_EQ(S_OK, Root(document)->get_childNodes(&children));
  EXPECT_EQ(Length(children), 7);
}

TEST_F(XmlLoadTest, LoadsFromEverySourceKind) {
  const std::string bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>caf\xC3\xA9</r>";
  CComPtr<IXMLDOMDocument2> document = NewDocument();

  SequentialStream* sequential = nullptr;
  CComPtr<ISequentialStream> plain = MakeStream<SequentialStream, ISequentialStream>(&sequential);
  sequential->bytes = bytes;
  EXPECT_EQ(VARIANT_TRUE, LoadFrom(document, plain));
  EXPECT_EQ(Text(Root(document)), u"caf\u00E9");

  const std::string path = testing::TempDir() + "xml_load_test.xml";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(file);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  EXPECT_EQ(S_OK, document->load(CComVariant(comrt::FromUtf8(path).c_str()), &loaded));
  EXPECT_EQ(loaded, VARIANT_TRUE);
  EXPECT_EQ(Get(document.p, &IXMLDOMDocument::get_url), comrt::FromUtf8(path));
  std::remove(path.c_str());
  EXPECT_EQ(S_FALSE, document->load(CComVariant(comrt::FromUtf8(path).c_str()), &loaded));
  EXPECT_EQ(Report(document).code, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  void* data = nullptr;
  ASSERT_EQ(S_OK, SafeArrayAccessData(array, &data));
  std::memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(array);
  VARIANT source;
  source.vt = VT_ARRAY | VT_UI1;
  source.parray = array;
  EXPECT_EQ(S_OK, document->load(source, &loaded));
  SafeArrayDestroy(array);

  EXPECT_EQ(E_INVALIDARG, document->load(CComVariant(42), &loaded));
}

TEST_F(XmlLoadTest, DocumentsOnSeveralThreadsAtOnce) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&failures, t] {
      const std::u16string mark(1, char16_t(u'a' + t));
      for (int round = 0; round < 30; ++round) {
        CComPtr<IXMLDOMDocument2> document = NewDocument();
        std::u16string xml = u"<r xmlns=\"urn:" + mark + u"\">";
        for (int i = 0; i < 50; ++i) xml += u"<i>" + mark + u"</i>";
        xml += u"</r>";
        VARIANT_BOOL loaded = VARIANT_FALSE;
        CComPtr<IXMLDOMNodeList> items;
        if (document->loadXML(CComBSTR(xml.c_str()), &loaded) != S_OK || Xml(document) != xml + u"\n" ||
            document->selectNodes(CComBSTR(u"//*"), &items) != S_OK || Length(items) != 51 ||
            LoadXml(document, u"<!DOCTYPE r><r/>")) {
          ++failures;
        }
      }
      SetErrorInfo(0, nullptr);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST_F(XmlLoadTest, EncodingsAndDeclarations) {
  CComPtr<IXMLDOMDocument2> document = NewDocument();
  // UTF-16 with a byte-order mark, from bytes.
  const std::u16string text = u"\uFEFF<?xml version='1.0' encoding='UTF-16'?><r>\u00E9\u4E2D</r>";
  MemoryStream* object = nullptr;
  CComPtr<IStream> stream = MakeStream<MemoryStream, IStream>(&object);
  object->bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  EXPECT_EQ(VARIANT_TRUE, LoadFrom(document, stream));
  EXPECT_EQ(Text(Root(document)), u"\u00E9\u4E2D");
  CComPtr<IXMLDOMNode> declaration;
  ASSERT_EQ(S_OK, document->get_firstChild(&declaration));
  EXPECT_EQ(Name(declaration), u"xml");
  EXPECT_EQ(Text(declaration), u"version='1.0' encoding='UTF-16'");

  // Text handed to loadXML is already decoded: its declaration's encoding
  // does not apply.
  EXPECT_TRUE(LoadXml(document, u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\u4E2D</r>"));
  EXPECT_EQ(Text(Root(document)), u"\u4E2D");

  object->position = 0;
  object->failWith = STG_E_READFAULT;
  EXPECT_EQ(VARIANT_FALSE, LoadFrom(document, stream));
  EXPECT_EQ(Report(document).code, STG_E_READFAULT);
}

}  // namespace
