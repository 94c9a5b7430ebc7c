// Writing requests, responses and faults: the exact bodies and headers, and
// every failure a caller can provoke, each before anything is sent.
#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

const std::string kDeclaration = "<?xml version='1.0' encoding='utf-8'?>\n";
const std::string kEnvelopeStart =
    "<s:Envelope s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\" "
    "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>";
const std::string kEnvelopeEnd = "</s:Body></s:Envelope>\n";

std::string Sent(const std::string& body) { return kDeclaration + kEnvelopeStart + body + kEnvelopeEnd; }

CComPtr<IUPnPSoapErrorMsg> ErrorMessage(LONG code, const char16_t* description) {
  CComPtr<IClassFactory> factory;
  DllGetClassObject(CLSID_SoapErrorMsg, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  CComPtr<IUPnPSoapErrorMsg> error;
  factory->CreateInstance(nullptr, IID_IUPnPSoapErrorMsg, reinterpret_cast<void**>(&error));
  error->SetErrorCode(code);
  if (description) error->SetErrorDescription(CComBSTR(description));
  return error;
}

// The single-value form: a variant tagged VT_VARIANT (which owns nothing).
VARIANT Single() {
  VARIANT value;
  value.vt = VT_VARIANT;
  value.llVal = 0;
  return value;
}

class WritingTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("scpd/rendering_control.xml", kRenderingControl); }

  static void ExpectNothingSent(const FakeMessageRef& message) {
    EXPECT_TRUE(message->headerWriter()->headers().empty());
    EXPECT_FALSE(message->headerWriter()->contentLength());
    EXPECT_EQ(0, message->bodyWriter()->writeCount());
    EXPECT_TRUE(message->sendingValues().empty());
  }
};

TEST_F(WritingTest, InvokeActionRequestBodyAndHeaders) {
  FakeMessageRef request = MakeRequestMessage();
  auto source = MakeFake<FakeHeaderSource>();
  ASSERT_EQ(S_OK, readerWriter_->WriteInvokeActionRequest(
                      request.message, CComBSTR(u"SetVolume"),
                      Arguments({CComVariant(0u), CComVariant(u"Master"), CComVariant(uint16_t{42})}),
                      static_cast<IMessageHeaderSource*>(source.p)));
  const std::string body = request->bodyWriter()->body();
  EXPECT_EQ(Sent("<u:SetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\"><InstanceID>0</InstanceID>"
                 "<Channel>Master</Channel><DesiredVolume>42</DesiredVolume></u:SetVolume>"),
            body);
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{
                {"SOAPACTION", "\"urn:schemas-upnp-org:service:RenderingControl:1#SetVolume\""},
                {"CONTENT-TYPE", "text/xml; charset=\"utf-8\""}}),
            request->headerWriter()->headers());
  EXPECT_EQ(body.size(), request->headerWriter()->contentLength().value_or(0));
  ASSERT_EQ(1u, request->headerWriter()->attachedSources().size());
  EXPECT_EQ(1, request->bodyWriter()->writeCount());
  EXPECT_EQ((std::vector<std::string>{"GetHeaderWriter", "SetHeader(SOAPACTION)", "SetHeader(CONTENT-TYPE)",
                                      "SetContentLength", "AttachHeaderSource", "SetSending(1)", "GetBodyWriter",
                                      "Write", "SetSending(0)"}),
            request->log());
}

TEST_F(WritingTest, AServiceTypeWithALineBreakNeverReachesAHeader) {
  ASSERT_EQ(S_OK, readerWriter_->SetServiceType(CComBSTR(u"urn:schemas-upnp-org:service:RenderingControl:1\r\nX-Other: 1")));
  for (const char16_t* action : {u"GetVolume", u"SetVolume"}) {
    FakeMessageRef request = MakeRequestMessage();
    const CComVariant arguments = action[0] == u'G' ? Arguments({CComVariant(0u), CComVariant(u"Master")})
                                                    : Arguments({CComVariant(0u), CComVariant(u"Master"),
                                                                 CComVariant(uint16_t{42})});
    EXPECT_EQ(E_INVALIDARG, readerWriter_->WriteInvokeActionRequest(request.message, CComBSTR(action), arguments,
                                                                    nullptr));
    ExpectNothingSent(request);
    TakeErrorInfo();
  }
}

TEST_F(WritingTest, QueryStateVariableRequestUsesTheFixedAction) {
  FakeMessageRef request = MakeRequestMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteQueryStateVariableRequest(request.message, CComBSTR(u"Volume"), nullptr));
  EXPECT_EQ(Sent("<u:QueryStateVariable xmlns:u=\"urn:schemas-upnp-org:control-1-0\"><u:varName>Volume</u:varName>"
                 "</u:QueryStateVariable>"),
            request->bodyWriter()->body());
  EXPECT_EQ("\"urn:schemas-upnp-org:control-1-0#QueryStateVariable\"",
            request->headerWriter()->header("SOAPACTION").value_or(""));

  FakeMessageRef unknown = MakeRequestMessage();
  CapturedLines lines;
  EXPECT_EQ(E_UNEXPECTED, readerWriter_->WriteQueryStateVariableRequest(unknown.message, CComBSTR(u"Nope"), nullptr));
  ExpectNothingSent(unknown);
  EXPECT_TRUE(lines.Lines().empty());
}

TEST_F(WritingTest, ResponsesCarryNoSoapActionAndTwoHeaderSourcesInOrder) {
  FakeMessageRef response = MakeResponseMessage();
  auto first = MakeFake<FakeHeaderSource>();
  auto second = MakeFake<FakeHeaderSource>();
  ASSERT_EQ(S_OK, readerWriter_->WriteInvokeActionResponse(
                      response.message, CComBSTR(u"GetVolume"), Arguments({CComVariant(uint16_t{7})}), nullptr,
                      static_cast<IMessageHeaderSource*>(first.p), static_cast<IMessageHeaderSource*>(second.p)));
  EXPECT_EQ(Sent("<u:GetVolumeResponse xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\">"
                 "<CurrentVolume>7</CurrentVolume></u:GetVolumeResponse>"),
            response->bodyWriter()->body());
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"CONTENT-TYPE", "text/xml; charset=\"utf-8\""}}),
            response->headerWriter()->headers());
  const auto& sources = response->headerWriter()->attachedSources();
  ASSERT_EQ(2u, sources.size());
  EXPECT_TRUE(sources[0].IsEqualObject(static_cast<IMessageHeaderSource*>(first.p)));
  EXPECT_TRUE(sources[1].IsEqualObject(static_cast<IMessageHeaderSource*>(second.p)));
}

TEST_F(WritingTest, QueryStateVariableResponseWritesStringsAsTheyAreAndOthersAsIntegers) {
  struct Case {
    CComVariant value;
    const char* text;
  };
  const Case cases[] = {{CComVariant(u"PLAYING"), "PLAYING"},
                        {CComVariant(true), "-1"},
                        {CComVariant(), "0"},
                        {CComVariant(u""), ""}};
  for (const Case& c : cases) {
    FakeMessageRef response = MakeResponseMessage();
    ASSERT_EQ(S_OK, readerWriter_->WriteQueryStateVariableResponse(response.message, c.value, nullptr, nullptr));
    EXPECT_EQ(Sent("<u:QueryStateVariableResponse xmlns:u=\"urn:schemas-upnp-org:control-1-0\"><return>" +
                   std::string(c.text) + "</return></u:QueryStateVariableResponse>"),
              response->bodyWriter()->body());
  }
}

TEST_F(WritingTest, FaultInPlaceOfAResponse) {
  const std::string fault =
      "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
      "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>401</errorCode>"
      "<errorDescription>Invalid Action</errorDescription></UPnPError></detail></s:Fault>";
  // Whatever the action name and values: the fault is written.
  FakeMessageRef response = MakeResponseMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteInvokeActionResponse(response.message, CComBSTR(u"NoSuchAction"),
                                                            Arguments({CComVariant(1), CComVariant(2)}),
                                                            ErrorMessage(401, u"Invalid Action"), nullptr, nullptr));
  EXPECT_EQ(Sent(fault), response->bodyWriter()->body());
  FakeMessageRef query = MakeResponseMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteQueryStateVariableResponse(query.message, CComVariant(),
                                                                  ErrorMessage(401, u"Invalid Action"), nullptr));
  EXPECT_EQ(Sent(fault), query->bodyWriter()->body());
  // A new error message: code -1 and an empty description.
  FakeMessageRef unset = MakeResponseMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteInvokeActionResponse(unset.message, nullptr, CComVariant(),
                                                            ErrorMessage(-1, nullptr), nullptr, nullptr));
  EXPECT_NE(std::string::npos,
            unset->bodyWriter()->body().find("<errorCode>-1</errorCode><errorDescription></errorDescription>"));
}

TEST_F(WritingTest, ArgumentCountsAndForms) {
  // Fewer values than arguments: only those are written.
  FakeMessageRef fewer = MakeRequestMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteInvokeActionRequest(fewer.message, CComBSTR(u"SetVolume"),
                                                           Arguments({CComVariant(0u), CComVariant(u"LF")}), nullptr));
  EXPECT_NE(std::string::npos, fewer->bodyWriter()->body().find("<Channel>LF</Channel></u:SetVolume>"));
  // An empty array or a plain value: an empty action element, still sent.
  for (const CComVariant& nothing : {Arguments({}), CComVariant(5), CComVariant()}) {
    FakeMessageRef empty = MakeRequestMessage();
    ASSERT_EQ(S_OK, readerWriter_->WriteInvokeActionRequest(empty.message, CComBSTR(u"SetVolume"), nothing, nullptr));
    EXPECT_NE(std::string::npos,
              empty->bodyWriter()->body().find("<u:SetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\"/>"));
  }
  // More values than arguments: refused before any header is set.
  CapturedLines lines;
  FakeMessageRef more = MakeRequestMessage();
  EXPECT_EQ(E_INVALIDARG, readerWriter_->WriteInvokeActionRequest(
                              more.message, CComBSTR(u"GetVolume"),
                              Arguments({CComVariant(0u), CComVariant(u"LF"), CComVariant(1)}), nullptr));
  ExpectNothingSent(more);
  EXPECT_EQ(0u, lines.Texts().at(0).find(u"[ERR] nArgument > arguments.GetSize() {"));
  // A response array must match the output arguments exactly.
  FakeMessageRef wrongLength = MakeResponseMessage();
  EXPECT_EQ(E_INVALIDARG, readerWriter_->WriteInvokeActionResponse(wrongLength.message, CComBSTR(u"GetVolume"),
                                                                    Arguments({}), nullptr, nullptr, nullptr));
  ExpectNothingSent(wrongLength);
}

TEST_F(WritingTest, SingleValueFormIsCheckedAndNeverSendsWhatNoConverterTakes) {
  Load("scpd/switch_power.xml", u"urn:schemas-upnp-org:service:SwitchPower:1");
  // One input argument: its converter judges the VT_VARIANT value, which no
  // converter takes.
  FakeMessageRef request = MakeRequestMessage();
  EXPECT_EQ(E_INVALIDARG, readerWriter_->WriteInvokeActionRequest(request.message, CComBSTR(u"SetTarget"), Single(),
                                                                   nullptr));
  ExpectNothingSent(request);
  // An action without input arguments has nothing to take the value.
  CapturedLines lines;
  FakeMessageRef none = MakeRequestMessage();
  EXPECT_EQ(E_INVALIDARG, readerWriter_->WriteInvokeActionRequest(none.message, CComBSTR(u"GetStatus"), Single(),
                                                                   nullptr));
  ExpectNothingSent(none);
  Load("scpd/rendering_control.xml", kRenderingControl);
  FakeMessageRef several = MakeRequestMessage();
  EXPECT_EQ(E_INVALIDARG, readerWriter_->WriteInvokeActionRequest(several.message, CComBSTR(u"GetVolume"), Single(),
                                                                   nullptr));
  ExpectNothingSent(several);
  EXPECT_EQ(0u, lines.Texts().at(2).find(u"[ERR] 1 < arguments.GetSize() {"));
}

TEST_F(WritingTest, ValuesThatCannotBeWrittenStopTheWriteBeforeAnyHeader) {
  struct Case {
    const char* what;
    const char16_t* action;
    CComVariant values;
    HRESULT expected;
  };
  CComVariant oneBased = Arguments({CComVariant(0u), CComVariant(u"LF")});
  SAFEARRAYBOUND shifted{2, 1};
  SafeArrayRedim(oneBased.parray, &shifted);
  const Case cases[] = {
      {"unknown action", u"Dance", Arguments({}), E_UNEXPECTED},
      {"value outside the list", u"GetVolume", Arguments({CComVariant(0u), CComVariant(u"Left")}), E_INVALIDARG},
      {"value outside the range", u"SetVolume",
       Arguments({CComVariant(0u), CComVariant(u"LF"), CComVariant(101)}), E_INVALIDARG},
      {"array not zero-based", u"GetVolume", oneBased, E_INVALIDARG},
      {"control character", u"GetVolume", Arguments({CComVariant(0u), CComVariant(u"L\x01")}), E_INVALIDARG},
      // narrowed to 16 bits 65586 would be 50, inside the range; the range sees it as written
      {"value outside the range once narrowed", u"SetVolume",
       Arguments({CComVariant(0u), CComVariant(u"LF"), CComVariant(65586)}), E_INVALIDARG},
  };
  for (const Case& c : cases) {
    FakeMessageRef request = MakeRequestMessage();
    EXPECT_EQ(c.expected, readerWriter_->WriteInvokeActionRequest(request.message, CComBSTR(c.action), c.values,
                                                                  nullptr))
        << c.what;
    ExpectNothingSent(request);
  }
}

TEST_F(WritingTest, TextThatXmlCannotCarryIsRefused) {
  Load("scpd/all_types.xml", kTestService);
  for (std::u16string bad : {std::u16string(u"a\x0b"), std::u16string(u"\xD800x"), std::u16string(u"x\xDC00"),
                             std::u16string(u"\xFFFE"), std::u16string(u"\xFFFF"), std::u16string(1, u'\0')}) {
    FakeMessageRef response = MakeResponseMessage();
    CComVariant value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(bad.data(), static_cast<UINT>(bad.size()));
    EXPECT_EQ(E_INVALIDARG, readerWriter_->WriteQueryStateVariableResponse(response.message, value, nullptr, nullptr));
    ExpectNothingSent(response);
  }
  // Tab, line feed, carriage return and a character outside the BMP are fine.
  FakeMessageRef fine = MakeResponseMessage();
  EXPECT_EQ(S_OK, readerWriter_->WriteQueryStateVariableResponse(fine.message, CComVariant(u"a\tb\nc\rd\U0001F600"),
                                                                 nullptr, nullptr));
}

TEST_F(WritingTest, ChannelFailuresAndShortWrites) {
  CapturedLines lines;
  FakeMessageRef noHeaders = MakeRequestMessage();
  noHeaders->SetHeaderWriter(FakePtr<FakeHeaderWriter>());
  EXPECT_EQ(E_UNEXPECTED,
            readerWriter_->WriteQueryStateVariableRequest(noHeaders.message, CComBSTR(u"Volume"), nullptr));
  EXPECT_EQ(0u, lines.Texts().at(0).find(u"[ERR] NULL == spHeaderWriter {"));

  FakeMessageRef noBody = MakeRequestMessage();
  noBody->SetBodyWriter(FakePtr<FakeBodyWriter>());
  EXPECT_EQ(E_UNEXPECTED, readerWriter_->WriteInvokeActionRequest(noBody.message, CComBSTR(u"SetVolume"),
                                                                   Arguments({}), nullptr));
  EXPECT_EQ((std::vector<BOOL>{TRUE, FALSE}), noBody->sendingValues());
  // The request's clean-up guard adds its own line before the boundary's.
  const auto texts = lines.Texts();
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(0u, texts[1].find(u"[ERR] NULL == spMsgBodyWriter {"));
  EXPECT_EQ(0u, texts[2].find(u"[ERR] exception caught. {./src/soap/message_sender.cpp,"));
  EXPECT_EQ(0u, texts[3].find(u"[ERR] <exception> HRESULT(0x8000ffff:"));

  for (auto report : {FakeBodyWriter::Report::kOneShort, FakeBodyWriter::Report::kOneOver}) {
    FakeMessageRef shortWrite = MakeResponseMessage();
    shortWrite->bodyWriter()->ReportWritten(report);
    EXPECT_EQ(E_UNEXPECTED, readerWriter_->WriteQueryStateVariableResponse(shortWrite.message, CComVariant(u"x"),
                                                                           nullptr, nullptr));
    EXPECT_TRUE(shortWrite->headerWriter()->contentLength());
    EXPECT_EQ((std::vector<BOOL>{TRUE, FALSE}), shortWrite->sendingValues());
  }

  FakeMessageRef failing = MakeResponseMessage();
  failing->bodyWriter()->FailWrite(STG_E_MEDIUMFULL);
  EXPECT_EQ(STG_E_MEDIUMFULL, readerWriter_->WriteInvokeActionResponse(failing.message, CComBSTR(u"GetVolume"),
                                                                        Arguments({CComVariant(uint16_t{1})}), nullptr,
                                                                        nullptr, nullptr));
  EXPECT_EQ((std::vector<BOOL>{TRUE, FALSE}), failing->sendingValues());

  FakeMessageRef headerFails = MakeRequestMessage();
  headerFails->headerWriter()->FailSetHeader(E_ACCESSDENIED);
  EXPECT_EQ(E_ACCESSDENIED, readerWriter_->WriteInvokeActionRequest(headerFails.message, CComBSTR(u"SetVolume"),
                                                                     Arguments({}), nullptr));
}

TEST_F(WritingTest, MessageOfTheWrongDirectionFailsWithPointer) {
  FakeMessageRef response = MakeResponseMessage();
  EXPECT_EQ(E_POINTER, readerWriter_->WriteInvokeActionRequest(response.message, CComBSTR(u"SetVolume"),
                                                                Arguments({}), nullptr));
  FakeMessageRef request = MakeRequestMessage();
  EXPECT_EQ(E_POINTER, readerWriter_->WriteInvokeActionResponse(request.message, CComBSTR(u"GetVolume"),
                                                                 CComVariant(), nullptr, nullptr, nullptr));
  EXPECT_EQ(E_INVALIDARG, readerWriter_->WriteInvokeActionResponse(nullptr, CComBSTR(u"GetVolume"), CComVariant(),
                                                                    nullptr, nullptr, nullptr));
}

TEST_F(WritingTest, FailureBelowTheEnvelopesRelayGuardLeavesThreeLines) {
  CapturedLines lines;
  FakeMessageRef response = MakeResponseMessage();
  auto error = ErrorMessage(1, u"x");
  // A description that XML cannot carry fails inside the fault body.
  error->SetErrorDescription(CComBSTR(u"bad\x01"));
  EXPECT_EQ(E_INVALIDARG, readerWriter_->WriteInvokeActionResponse(response.message, nullptr, CComVariant(), error,
                                                                    nullptr, nullptr));
  const auto found = lines.Lines();
  ASSERT_EQ(2u, found.size());  // no check line of its own: the relay and the boundary
  EXPECT_EQ(1, found[0].level);
  EXPECT_EQ(0u, found[0].text.find(u"[ERR] <exception> HRESULT(0x80070057:"));
  EXPECT_NE(std::u16string::npos, found[0].text.find(u"{./src/soap/envelope.cpp,"));
  EXPECT_EQ(4, found[1].level);
  EXPECT_EQ(0u, found[1].text.find(u"[DBG] <exception> <exception trace>(0x80070057:"));
}

}  // namespace
}  // namespace varnel_test
