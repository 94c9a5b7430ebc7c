// What reading gives for bodies at the edges of what the reader accepts,
// compared with tests/soap/golden/reader_golden.txt: the code, the error
// information, the trace lines (their line numbers left out) and every
// value of the message object read, with its type.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "comrt/text_conversion.h"
#include "soap/golden_records.h"
#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

constexpr char16_t kGoldenService[] = u"urn:schemas-example-org:service:Golden:1";
const char kGoldenFile[] = VARNEL_TEST_DATA_DIR "/../soap/golden/reader_golden.txt";

std::string WithoutLineNumber(std::string line) {
  const size_t close = line.rfind('}');
  const size_t comma = close == std::string::npos ? std::string::npos : line.rfind(',', close);
  if (comma != std::string::npos && comma + 1 < close) line.replace(comma + 1, close - comma - 1, "#");
  return line;
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(hr));
  return text;
}

std::string Utf8(BSTR text) {
  return text ? comrt::ToUtf8(std::u16string_view(text, SysStringLen(text))) : std::string("<null>");
}

// Long text as its length, its digest and its start.
std::string Quoted(const std::string& text) {
  if (text.size() <= 512) return "\"" + text + "\"";
  uint64_t digest = 0xCBF29CE484222325ull;  // FNV-1a
  for (unsigned char c : text) digest = (digest ^ c) * 0x100000001B3ull;
  char hex[24];
  std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(digest));
  return std::to_string(text.size()) + " bytes, fnv1a " + hex + ", \"" + text.substr(0, 200) + "...\"";
}

std::string Value(const VARIANT& value) {
  std::string out = "vt " + std::to_string(value.vt) + " ";
  if (value.vt == VT_BSTR) return out + Quoted(Utf8(value.bstrVal));
  if (value.vt == (VT_ARRAY | VT_UI1)) return out + "bytes " + std::to_string(value.parray->rgsabound[0].cElements);
  CComVariant text;
  if (text.ChangeType(VT_BSTR, &value) == S_OK) return out + Utf8(text.bstrVal);
  return out + "?";
}

std::string ErrorInfoText() {
  CComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) != S_OK || !info) return "none";
  CComBSTR source, description;
  info->GetSource(&source);
  info->GetDescription(&description);
  return Utf8(source) + " | " + Utf8(description);
}

template <class Message>
std::string DescribeInvokeAction(Message* message, const char* kind) {
  CComBSTR name;
  message->GetActionName(&name);
  CComVariant arguments;
  const HRESULT hr = message->GetArguments(&arguments);
  std::string out = std::string(kind) + " " + Utf8(name) + "\narguments 0x" + Hex(hr) + " " + ErrorInfoText() + "\n";
  for (const CComVariant& value : ValuesOf(arguments)) out += "value " + Value(value) + "\n";
  return out;
}

std::string Describe(IUnknown* object) {
  if (!object) return "no object\n";
  if (CComQIPtr<IUPnPInvokeActionRequest> request{object}) return DescribeInvokeAction(request.p, "request");
  if (CComQIPtr<IUPnPInvokeActionResponse> response{object}) return DescribeInvokeAction(response.p, "response");
  if (CComQIPtr<IUPnPQueryStateVariableRequest> query{object}) {
    CComBSTR name;
    query->GetVariableName(&name);
    return "query " + Utf8(name) + "\n";
  }
  if (CComQIPtr<IUPnPQueryStateVariableResponse> answer{object}) {
    CComVariant value;
    const HRESULT hr = answer->GetReturnValue(&value);
    return "answer 0x" + Hex(hr) + " " + Value(value) + "\n";
  }
  if (CComQIPtr<IUPnPSoapErrorMsg> fault{object}) {
    LONG code = 0;
    CComBSTR description;
    fault->GetErrorCode(&code);
    fault->GetErrorDescription(&description);
    return "fault " + std::to_string(code) + " " + Utf8(description) + "\n";
  }
  return "an unknown object\n";
}

const std::map<std::string, std::string>& Golden() {
  static const std::map<std::string, std::string> records = ReadGoldenRecords(kGoldenFile);
  return records;
}

const std::string kSoap = "http://schemas.xmlsoap.org/soap/envelope/";

std::string Say(const std::string& inside, const std::string& element = "u:Say") {
  return "<" + element + " xmlns:u=\"urn:schemas-example-org:service:Golden:1\">" + inside + "</" + element + ">";
}

class ReaderGoldenTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("../soap/golden/golden_service.xml", kGoldenService); }

  void Expect(const std::string& name, FakeMessage::Kind kind, const std::string& body) {
    std::string actual = "### " + name + "\n";
    {
      CapturedLines lines;
      SetErrorInfo(0, nullptr);
      FakeMessageRef message = MakeMessage(kind, body);
      CComPtr<IUnknown> object;
      const HRESULT hr = readerWriter_->ReadMessage(message.message, &object);
      actual += "result 0x" + Hex(hr) + "\nerror-info " + ErrorInfoText() + "\n";
      for (const TraceLine& line : lines.Lines()) {
        actual += "trace " + std::to_string(line.level) + " " + WithoutLineNumber(comrt::ToUtf8(line.text)) + "\n";
      }
      actual += Describe(object);
    }
    const auto found = Golden().find(name);
    ASSERT_NE(Golden().end(), found) << "no golden record " << name << "; this run gave:\n" << actual;
    EXPECT_EQ(found->second, actual) << name;
  }
  void ExpectRequest(const std::string& name, const std::string& body) {
    Expect(name, FakeMessage::Kind::kRequest, body);
  }
  void ExpectResponse(const std::string& name, const std::string& body) {
    Expect(name, FakeMessage::Kind::kResponse, body);
  }
};

TEST_F(ReaderGoldenTest, TheBodyIsTheOneSoapBodyUnderTheEnvelope) {
  const std::string say = Say("<Text>x</Text>");
  ExpectRequest("body/plain", Envelope(say));
  ExpectRequest("body/other-prefix", Envelope(say, "SOAP-ENV"));
  ExpectRequest("body/default-namespace",
                "<Envelope xmlns=\"" + kSoap + "\"><Body>" + say + "</Body></Envelope>");
  ExpectRequest("body/two-bodies", "<s:Envelope xmlns:s=\"" + kSoap + "\"><s:Body>" + say + "</s:Body><s:Body>" +
                                       say + "</s:Body></s:Envelope>");
  ExpectRequest("body/second-body-elsewhere", "<s:Envelope xmlns:s=\"" + kSoap + "\"><s:Body>" + say +
                                                  "</s:Body><s:Header><s:Body/></s:Header></s:Envelope>");
  ExpectRequest("body/header-first", "<s:Envelope xmlns:s=\"" + kSoap + "\"><s:Header><h>1</h></s:Header><s:Body>" +
                                         say + "</s:Body></s:Envelope>");
  ExpectRequest("body/wrong-namespace", "<s:Envelope xmlns:s=\"urn:other\"><s:Body>" + say + "</s:Body></s:Envelope>");
  ExpectRequest("body/body-in-other-namespace", "<s:Envelope xmlns:s=\"" + kSoap + "\"><t:Body xmlns:t=\"urn:t\">" +
                                                    say + "</t:Body></s:Envelope>");
  ExpectRequest("body/no-namespace", "<Envelope><Body>" + say + "</Body></Envelope>");
  ExpectRequest("body/envelope-not-root", "<x xmlns:s=\"" + kSoap + "\"><s:Envelope><s:Body>" + say +
                                              "</s:Body></s:Envelope></x>");
  ExpectRequest("body/empty", Envelope(""));
  ExpectRequest("body/only-whitespace", Envelope("  \n\t "));
  ExpectRequest("body/comment-first", Envelope("<!--c-->" + say));
  ExpectRequest("body/text-first", Envelope("text" + say));
  ExpectRequest("body/pi-first", Envelope("<?Say data?>" + say));
  ExpectResponse("body/comment-first-response", Envelope("<!--c-->" + say));
  ExpectRequest("body/comments-around", "<!--a--><s:Envelope xmlns:s=\"" + kSoap + "\"><s:Body>" + say +
                                            "</s:Body></s:Envelope><!--b-->");
  ExpectRequest("body/not-xml", "not xml");
  ExpectRequest("body/truncated", Envelope(say).substr(0, 90));
  ExpectRequest("body/doctype", "<!DOCTYPE s:Envelope []>" + Envelope(say));
}

TEST_F(ReaderGoldenTest, ArgumentsAreFoundByTheirNames) {
  ExpectRequest("arguments/in-order", Envelope(Say("<First>a</First><Second>7</Second>", "u:Pair")));
  ExpectRequest("arguments/reversed", Envelope(Say("<Second>7</Second><First>a</First>", "u:Pair")));
  ExpectRequest("arguments/repeated", Envelope(Say("<First>a</First><First>b</First>", "u:Pair")));
  ExpectRequest("arguments/unknown", Envelope(Say("<First>a</First><Third>7</Third>", "u:Pair")));
  ExpectRequest("arguments/missing", Envelope(Say("<First>a</First>", "u:Pair")));
  ExpectRequest("arguments/extra", Envelope(Say("<First>a</First><Second>7</Second><X/>", "u:Pair")));
  ExpectRequest("arguments/prefixed", Envelope(Say("<u:First>a</u:First><u:Second>7</u:Second>", "u:Pair")));
  ExpectRequest("arguments/comment-between",
                Envelope(Say("<First>a</First><!--c--><Second>7</Second>", "u:Pair")));
  ExpectRequest("arguments/text-between", Envelope(Say("<First>a</First>t<Second>7</Second>", "u:Pair")));
  ExpectRequest("arguments/names", Envelope(Say("<dotted.name-1_x>1</dotted.name-1_x><Gr\xC3\xB6\xC3\x9F""e>2</Gr"
                                                "\xC3\xB6\xC3\x9F""e><pre:fixed xmlns:pre=\"urn:p\">3</pre:fixed>"
                                                "<_under>4</_under>", "u:Names")));
  ExpectResponse("arguments/names-response",
                 Envelope(Say("<\xE5\x90\x8D\xE5\x89\x8D>5</\xE5\x90\x8D\xE5\x89\x8D><a:b:c>6</a:b:c>",
                              "u:NamesResponse")));
  ExpectRequest("arguments/unicode-action",
                Envelope(Say("<Wert>w\xC3\xA9</Wert>", "u:\xC3\x9Cn\xC3\xAF""code")));
  ExpectRequest("arguments/missing-variable", Envelope(Say("<Lost>1</Lost>", "u:Missing")));
  ExpectRequest("arguments/no-converter", Envelope(Say("<Big>1</Big>", "u:Unconverted")));
  ExpectRequest("arguments/no-converter-empty", Envelope(Say("<Big/>", "u:Unconverted")));
  ExpectRequest("arguments/unknown-action", Envelope(Say("<Text>x</Text>", "u:Dance")));
  ExpectResponse("arguments/unknown-action-response", Envelope(Say("<Reply>x</Reply>", "u:DanceResponse")));
  ExpectResponse("arguments/response-without-suffix", Envelope(Say("<Reply>x</Reply>", "u:Say")));
}

TEST_F(ReaderGoldenTest, ValueTextIsJoinedDecodedAndConvertedOnce) {
  ExpectRequest("values/pieces", Envelope(Say("<Text>a<![CDATA[<b>]]>c<!--skip--><?pi x?>&amp;d</Text>")));
  ExpectRequest("values/empty-cdata", Envelope(Say("<Text><![CDATA[]]></Text>")));
  ExpectRequest("values/empty", Envelope(Say("<Text></Text>")));
  ExpectRequest("values/comment-only", Envelope(Say("<Text><!--c--></Text>")));
  ExpectRequest("values/element-inside", Envelope(Say("<Text>a<b/>c</Text>")));
  ExpectRequest("values/whitespace", Envelope(Say("<Text>  </Text>")));
  ExpectRequest("values/preserved-whitespace", Envelope(Say("<Text xml:space=\"preserve\">  </Text>")));
  ExpectRequest("values/references", Envelope(Say("<Text>&lt;&gt;&amp;&quot;&apos;&#x1F600;&#233;&#13;</Text>")));
  ExpectRequest("values/beyond-ascii", Envelope(Say("<Text>\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80</Text>")));
  std::string longText;
  while (longText.size() < 70000) longText += "Harbour lights &amp; evening tide, &lt;live&gt; take 2; \xC3\xA9 ";
  ExpectRequest("values/long", Envelope(Say("<Text>" + longText + "</Text>")));
  ExpectRequest("values/number", Envelope(Say("<First>a</First><Second> 42</Second>", "u:Pair")));
  ExpectRequest("values/number-strict", Envelope(Say("<First>a</First><Second>4x</Second>", "u:Pair")));
  ExpectResponse("values/number-lenient", Envelope(Say("<Left> 42</Left><Right>b</Right>", "u:PairResponse")));
  ExpectRequest("values/declared-latin-1",
                "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + Envelope(Say("<Text>\xE9</Text>")).substr(21));
}

TEST_F(ReaderGoldenTest, QueryStateVariableMessagesAndFaults) {
  const std::string control = "xmlns:u=\"urn:schemas-upnp-org:control-1-0\"";
  ExpectRequest("query/plain", Envelope("<u:QueryStateVariable " + control + "><u:varName>Free</u:varName>"
                                        "</u:QueryStateVariable>"));
  ExpectRequest("query/escaped-name", Envelope("<u:QueryStateVariable " + control + "><u:varName>a&amp;b&lt;c&gt;"
                                               "\"q'</u:varName></u:QueryStateVariable>"));
  ExpectRequest("query/unknown", Envelope("<u:QueryStateVariable " + control + "><u:varName>Nope</u:varName>"
                                          "</u:QueryStateVariable>"));
  ExpectRequest("query/comment-name", Envelope("<u:QueryStateVariable " + control + "><u:varName><!--Free-->"
                                               "</u:varName></u:QueryStateVariable>"));
  ExpectRequest("query/element-name", Envelope("<u:QueryStateVariable " + control + "><u:varName><x/></u:varName>"
                                               "</u:QueryStateVariable>"));
  ExpectRequest("query/empty-name", Envelope("<u:QueryStateVariable " + control + "><u:varName/>"
                                             "</u:QueryStateVariable>"));
  ExpectRequest("query/no-varname", Envelope("<u:QueryStateVariable " + control + "><u:other>Free</u:other>"
                                             "</u:QueryStateVariable>"));
  ExpectResponse("answer/plain", Envelope("<u:QueryStateVariableResponse " + control + "><return>x&lt;y</return>"
                                          "</u:QueryStateVariableResponse>"));
  ExpectResponse("answer/nested-text", Envelope("<u:QueryStateVariableResponse " + control +
                                                "><return>a<b>c</b><![CDATA[d]]></return>"
                                                "</u:QueryStateVariableResponse>"));
  ExpectResponse("answer/text-first", Envelope("<u:QueryStateVariableResponse " + control + ">t<return>1</return>"
                                               "</u:QueryStateVariableResponse>"));
  ExpectResponse("answer/empty", Envelope("<u:QueryStateVariableResponse " + control + "/>"));
  const std::string detail = "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>402</errorCode>"
                             "<errorDescription>Invalid &amp; Args</errorDescription></UPnPError>";
  ExpectResponse("fault/plain", Envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError"
                                         "</faultstring><detail>" + detail + "</detail></s:Fault>"));
  ExpectResponse("fault/other-namespace", Envelope("<f:Fault xmlns:f=\"urn:f\"><detail>" + detail +
                                                   "</detail></f:Fault>"));
  ExpectResponse("fault/empty-detail", Envelope("<s:Fault><detail/></s:Fault>"));
  ExpectResponse("fault/text-in-detail", Envelope("<s:Fault><detail>t</detail></s:Fault>"));
  ExpectResponse("fault/code-not-a-number", Envelope("<s:Fault><detail><e><errorCode>x</errorCode></e>"
                                                     "</detail></s:Fault>"));
  ExpectResponse("fault/pieces", Envelope("<s:Fault><detail><e><errorCode>4<!--c-->01</errorCode>"
                                          "<errorDescription>a<![CDATA[<b>]]></errorDescription></e>"
                                          "</detail></s:Fault>"));
  ExpectRequest("fault/as-request", Envelope("<s:Fault><detail>" + detail + "</detail></s:Fault>"));
}

}  // namespace
}  // namespace varnel_test
