// Reading control messages: requests on a device, responses on a control
// point, and every way a body can fail to be one.
#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

const std::string kGetVolume =
    "<u:GetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\">"
    "<InstanceID>0</InstanceID><Channel>Master</Channel></u:GetVolume>";

class ReadingTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("scpd/rendering_control.xml", kRenderingControl); }

  // Reads an InvokeAction request and returns its arguments (S_OK expected).
  std::vector<CComVariant> RequestArguments(const std::string& body, HRESULT expected = S_OK) {
    CComPtr<IUnknown> object;
    EXPECT_EQ(S_OK, ReadRequest(body, object));
    CComQIPtr<IUPnPInvokeActionRequest> request(object);
    EXPECT_TRUE(request);
    if (!request) return {};
    CComVariant arguments;
    EXPECT_EQ(expected, request->GetArguments(&arguments));
    return ValuesOf(arguments);
  }
};

TEST_F(ReaderWriterTest, NothingWorksBeforeADescriptionWithStateVariablesIsLoaded) {
  readerWriter_ = NewReaderWriter();
  EXPECT_EQ(E_FAIL, readerWriter_->ReadMessage(nullptr, nullptr));
  CComVariant parsed;
  EXPECT_EQ(E_FAIL, readerWriter_->ParseStateVariableValue(CComBSTR(u"V"), CComBSTR(u"1"), &parsed));
  // Actions alone do not make it usable.
  const std::u16string actionsOnly =
      u"<scpd xmlns=\"urn:schemas-upnp-org:service-1-0\"><actionList><action><name>A</name></action></actionList>"
      u"<serviceStateTable/></scpd>";
  EXPECT_EQ(S_OK, readerWriter_->LoadServiceDescription(AsVariant(ParseDocument(actionsOnly))));
  auto message = MakeRequestMessage(Envelope("<u:A xmlns:u=\"urn:x\"/>"));
  CComPtr<IUnknown> object;
  EXPECT_EQ(E_FAIL, Read(message, object));
  EXPECT_EQ(S_OK, readerWriter_->LoadServiceDescription(AsVariant(LoadDataFile("scpd/switch_power.xml"))));
  EXPECT_EQ(S_OK, Read(MakeRequestMessage(Envelope("<u:GetStatus xmlns:u=\"urn:x\"/>")), object));
  EXPECT_EQ(E_INVALIDARG, readerWriter_->LoadServiceDescription(CComVariant(42)));
}

TEST_F(ReadingTest, ArgumentChecksAtTheTopReturnWithoutTracing) {
  CapturedLines lines;
  CComPtr<IUnknown> object;
  EXPECT_EQ(E_INVALIDARG, readerWriter_->ReadMessage(nullptr, &object));
  EXPECT_EQ(E_POINTER, readerWriter_->ReadMessage(MakeRequestMessage().message, nullptr));
  EXPECT_TRUE(lines.Lines().empty());
}

TEST_F(ReadingTest, QueryStateVariableRequestNamesAKnownVariable) {
  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, ReadRequest(Envelope("<u:QueryStateVariable xmlns:u=\"urn:schemas-upnp-org:control-1-0\">"
                                       "<u:varName>Volume</u:varName></u:QueryStateVariable>"),
                              object));
  CComQIPtr<IUPnPQueryStateVariableRequest> query(object);
  ASSERT_TRUE(query);
  CComBSTR name;
  query->GetVariableName(&name);
  EXPECT_EQ(u"Volume", TextOf(name));
  CComPtr<IUnknown> unknown;
  EXPECT_EQ(E_UNEXPECTED, ReadRequest(Envelope("<u:QueryStateVariable xmlns:u=\"urn:x\"><u:varName>Nope</u:varName>"
                                               "</u:QueryStateVariable>"),
                                      unknown));
  EXPECT_EQ(E_UNEXPECTED, ReadRequest(Envelope("<u:QueryStateVariable xmlns:u=\"urn:x\"><u:name>Volume</u:name>"
                                               "</u:QueryStateVariable>"),
                                      unknown));
  EXPECT_EQ(E_POINTER, ReadRequest(Envelope("<u:QueryStateVariable xmlns:u=\"urn:x\"><u:varName/>"
                                            "</u:QueryStateVariable>"),
                                   unknown));
  EXPECT_EQ(nullptr, unknown.p);
}

TEST_F(ReadingTest, ArgumentsComeInDescriptionOrderWhateverTheBodyOrder) {
  const auto values = RequestArguments(Envelope(
      "<u:SetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\">"
      "<DesiredVolume>42</DesiredVolume><Channel>LF</Channel><InstanceID>7</InstanceID></u:SetVolume>"));
  ASSERT_EQ(3u, values.size());
  EXPECT_EQ(VT_UI4, values[0].vt);
  EXPECT_EQ(7u, values[0].ulVal);
  EXPECT_EQ(std::u16string(u"LF"), values[1].bstrVal);
  EXPECT_EQ(VT_UI2, values[2].vt);
  EXPECT_EQ(42, values[2].uiVal);
}

TEST_F(ReadingTest, BodiesOfOtherWritersReadAlike) {
  // Another envelope prefix, a default namespace on the action element, and
  // white space between elements.
  const std::string spaced =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">\n  <SOAP-ENV:Body>\n    "
      "<GetVolume xmlns=\"urn:schemas-upnp-org:service:RenderingControl:1\">\n      <InstanceID>0</InstanceID>\n"
      "      <Channel>RF</Channel>\n    </GetVolume>\n  </SOAP-ENV:Body>\n</SOAP-ENV:Envelope>\n";
  const auto values = RequestArguments(spaced);
  ASSERT_EQ(2u, values.size());
  EXPECT_EQ(std::u16string(u"RF"), values[1].bstrVal);
  EXPECT_EQ(2u, RequestArguments(Envelope(kGetVolume, "soapenv")).size());
}

TEST_F(ReadingTest, UnknownActionIsRecordedInARequestAsError401) {
  const std::string body = Envelope("<u:Fly xmlns:u=\"urn:x\"><Height>3</Height></u:Fly>");
  CapturedLines lines;
  EXPECT_TRUE(RequestArguments(body, E_UPNP_ARGUMENT_ERROR).empty());
  EXPECT_EQ((std::pair<std::u16string, std::u16string>{u"401", u"Invalid Action"}), TakeErrorInfo());
  EXPECT_TRUE(lines.Lines().empty());
  // The same body read as a response fails the read.
  CComPtr<IUnknown> object;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, ReadResponse(body, object));
  EXPECT_EQ(nullptr, object.p);
}

TEST_F(ReadingTest, IntegerTextThatIsNotStrictlyANumberIsRecordedAsError600) {
  CapturedLines lines;
  const auto values = RequestArguments(
      Envelope("<u:SetVolume xmlns:u=\"urn:x\"><InstanceID>0</InstanceID><Channel>LF</Channel>"
               "<DesiredVolume>12abc</DesiredVolume></u:SetVolume>"),
      E_UPNP_ARGUMENT_ERROR);
  EXPECT_TRUE(values.empty());
  EXPECT_EQ((std::pair<std::u16string, std::u16string>{u"600", u"Argument Value Invalid"}), TakeErrorInfo());
  EXPECT_TRUE(lines.Lines().empty());
  // Leniently, in a response, the same text reads as 12.
  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, ReadResponse(Envelope("<u:GetVolumeResponse xmlns:u=\"urn:x\"><CurrentVolume>12abc</CurrentVolume>"
                                        "</u:GetVolumeResponse>"),
                               object));
  CComQIPtr<IUPnPInvokeActionResponse> response(object);
  ASSERT_TRUE(response);
  CComVariant arguments;
  EXPECT_EQ(S_OK, response->GetArguments(&arguments));
  EXPECT_EQ(12, ValuesOf(arguments).at(0).uiVal);
  CComBSTR name;
  response->GetActionName(&name);
  EXPECT_EQ(u"GetVolume", TextOf(name));
}

// A request that fails for its arguments leaves the UPnP error to answer as
// the thread's error information.
TEST_F(ReadingTest, ArgumentElementsThatDoNotMatchFailTheRead) {
  struct Case {
    const char* what;
    std::string arguments;
    HRESULT expected;
    const char16_t* upnpError;
  };
  const Case cases[] = {
      {"one too few", "<InstanceID>0</InstanceID>", E_INVALIDARG, u"402"},
      {"one too many", "<InstanceID>0</InstanceID><Channel>LF</Channel><Extra/>", E_INVALIDARG, u"402"},
      {"unknown name", "<InstanceID>0</InstanceID><Channel2>LF</Channel2>", E_UNEXPECTED, u"402"},
      {"prefixed name", "<InstanceID>0</InstanceID><u:Channel>LF</u:Channel>", E_UNEXPECTED, u"402"},
      {"named twice", "<InstanceID>0</InstanceID><InstanceID>1</InstanceID>", E_INVALIDARG, u"402"},
      {"value outside the list", "<InstanceID>0</InstanceID><Channel>Left</Channel>", E_INVALIDARG, u"600"},
      {"element as a value", "<InstanceID><n>0</n></InstanceID><Channel>LF</Channel>", E_INVALIDARG, u"600"},
      {"element after text", "<InstanceID>0<n/></InstanceID><Channel>LF</Channel>", E_INVALIDARG, u"600"},
  };
  for (const Case& c : cases) {
    CComPtr<IUnknown> object;
    EXPECT_EQ(c.expected, ReadRequest(Envelope("<u:GetVolume xmlns:u=\"urn:x\">" + c.arguments + "</u:GetVolume>"),
                                      object))
        << c.what;
    EXPECT_EQ(nullptr, object.p) << c.what;
    EXPECT_EQ(c.upnpError, TakeErrorInfo().first) << c.what;
  }
}

// Peers may split a value into text and CDATA pieces, with comments between.
TEST_F(ReadingTest, AValueInSeveralPiecesIsReadWhole) {
  const std::pair<const char*, const char16_t*> cases[] = {
      {"M<![CDATA[as]]>ter", u"Master"},
      {"<![CDATA[Master]]>", u"Master"},
      {"<!-- left or right -->Mas<!-- c --><?pi x?>ter", u"Master"},
      {"<![CDATA[L]]><![CDATA[F]]>", u"LF"},
  };
  for (const auto& [channel, expected] : cases) {
    const auto values = RequestArguments(Envelope("<u:GetVolume xmlns:u=\"urn:x\"><InstanceID>4<![CDATA[2]]></InstanceID>"
                                                  "<Channel>" + std::string(channel) + "</Channel></u:GetVolume>"));
    ASSERT_EQ(2u, values.size()) << channel;
    EXPECT_EQ(42u, values[0].ulVal) << channel;
    ASSERT_EQ(VT_BSTR, values[1].vt) << channel;
    EXPECT_EQ(std::u16string(expected), values[1].bstrVal) << channel;
  }
  // Only a comment is no value at all.
  const auto values = RequestArguments(Envelope("<u:GetVolume xmlns:u=\"urn:x\"><InstanceID>0</InstanceID>"
                                                "<Channel><!-- none --></Channel></u:GetVolume>"));
  ASSERT_EQ(2u, values.size());
  EXPECT_EQ(VT_BSTR, values[1].vt);
  EXPECT_EQ(nullptr, values[1].bstrVal);

  // Responses and faults alike.
  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, ReadResponse(Envelope("<u:GetVolumeResponse xmlns:u=\"urn:x\"><CurrentVolume>4<!--x--><![CDATA[2]]>"
                                        "</CurrentVolume></u:GetVolumeResponse>"),
                               object));
  CComQIPtr<IUPnPInvokeActionResponse> response(object);
  ASSERT_TRUE(response);
  CComVariant arguments;
  ASSERT_EQ(S_OK, response->GetArguments(&arguments));
  ASSERT_EQ(1u, ValuesOf(arguments).size());
  EXPECT_EQ(42, ValuesOf(arguments)[0].uiVal);
  object.Release();
  ASSERT_EQ(S_OK, ReadResponse(Envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring>"
                                        "<detail><UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">"
                                        "<errorCode>4<![CDATA[0]]>2</errorCode><errorDescription>Invalid <!--x-->"
                                        "<![CDATA[<Args>]]> here</errorDescription></UPnPError></detail></s:Fault>"),
                               object));
  CComQIPtr<IUPnPSoapErrorMsg> fault(object);
  ASSERT_TRUE(fault);
  LONG code = 0;
  CComBSTR description;
  EXPECT_EQ(S_OK, fault->GetErrorCode(&code));
  EXPECT_EQ(402, code);
  EXPECT_EQ(S_OK, fault->GetErrorDescription(&description));
  EXPECT_EQ(u"Invalid <Args> here", TextOf(description));
}

TEST_F(ReadingTest, EmptyArgumentElementGivesANullStringEvenForNumbers) {
  const auto values = RequestArguments(
      Envelope("<u:SetVolume xmlns:u=\"urn:x\"><InstanceID/><Channel></Channel><DesiredVolume/></u:SetVolume>"));
  ASSERT_EQ(3u, values.size());
  for (const CComVariant& value : values) {
    EXPECT_EQ(VT_BSTR, value.vt);
    EXPECT_EQ(nullptr, value.bstrVal);
  }
}

TEST_F(ReadingTest, BodiesThatAreNotOneSoapBodyWithAnElementAreInvalidMessages) {
  const std::string twoBodies =
      "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>" + kGetVolume +
      "</s:Body><s:Body/></s:Envelope>";
  for (const std::string& body : {twoBodies, std::string("not xml at all"), Envelope(""),
                                  std::string("<Envelope><Body>" + kGetVolume + "</Body></Envelope>"),
                                  Envelope(kGetVolume).substr(0, 60)}) {
    CComPtr<IUnknown> object;
    EXPECT_EQ(static_cast<HRESULT>(0x80040301), ReadRequest(body, object)) << body;
  }
}

TEST_F(ReadingTest, FailedCheckWritesItsLineAndTheGuardsLine) {
  CapturedLines lines;
  CComPtr<IUnknown> object;
  EXPECT_EQ(static_cast<HRESULT>(0x80040301), ReadRequest("garbage", object));
  const auto texts = lines.Texts();
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ(0u, texts[0].find(u"[ERR] spNodeList->length != 1 {./src/soap/soap_msg_reader_writer.cpp,"));
  EXPECT_EQ(0u, texts[1].find(u"[ERR] <exception> HRESULT(0x80040301:IDispatch error #257) {./src/soap/"));
}

TEST_F(ReadingTest, TheChannelMustSayRequestOrResponseAndGiveAReadableBody) {
  CComPtr<IUnknown> object;
  EXPECT_EQ(E_UNEXPECTED, Read(MakeMessage(FakeMessage::Kind::kNeither, Envelope(kGetVolume)), object));

  FakeMessageRef noReader = MakeRequestMessage(Envelope(kGetVolume));
  noReader->SetBodyReader(FakePtr<FakeBodyReader>());
  CapturedLines lines;
  EXPECT_EQ(E_FAIL, Read(noReader, object));
  EXPECT_EQ(0u, lines.Texts().at(0).find(u"[ERR] NULL == spMsgBodyReader {"));

  FakeMessageRef noStream = MakeRequestMessage(Envelope(kGetVolume));
  noStream->bodyReader()->WithoutSequentialStream();
  EXPECT_EQ(E_UNEXPECTED, Read(noStream, object));
  EXPECT_EQ(0u, lines.Texts().at(2).find(u"[ERR] FAILED(spMsgBodyReader->QueryInterface(&spStream)) {"));

  FakeMessageRef failing = MakeRequestMessage(Envelope(kGetVolume));
  failing->FailGetBodyReader(E_ACCESSDENIED);
  EXPECT_EQ(E_ACCESSDENIED, Read(failing, object));
  EXPECT_EQ(nullptr, object.p);
}

TEST_F(ReadingTest, BodiesArriveInSmallReads) {
  FakeMessageRef message = MakeRequestMessage(Envelope(kGetVolume));
  message->bodyReader()->SetChunkSize(3);
  CComPtr<IUnknown> object;
  EXPECT_EQ(S_OK, Read(message, object));
  EXPECT_TRUE(CComQIPtr<IUPnPInvokeActionRequest>(object));
}

// The value element is "return" in UPnP, but device stacks also name it
// after the variable: the first child element is the value, whatever its name.
TEST_F(ReadingTest, QueryStateVariableResponseCarriesItsTextUnconverted) {
  const std::pair<const char*, const char16_t*> accepted[] = {
      {"<a:QueryStateVariableResponse xmlns:a=\"urn:anything\"><return>0042</return></a:QueryStateVariableResponse>",
       u"0042"},
      {"<u:QueryStateVariableResponse xmlns:u=\"urn:x\"><Status>1</Status></u:QueryStateVariableResponse>", u"1"},
      {"<u:QueryStateVariableResponse xmlns:u=\"urn:x\"><u:return>1</u:return></u:QueryStateVariableResponse>", u"1"},
      {"<u:QueryStateVariableResponse xmlns:u=\"urn:x\"><Volume>4<b>2</b><![CDATA[0]]></Volume><Other>9</Other>"
       "</u:QueryStateVariableResponse>",
       u"420"},
      {"<u:QueryStateVariableResponse xmlns:u=\"urn:x\"><Empty/></u:QueryStateVariableResponse>", u""},
  };
  for (const auto& [body, expected] : accepted) {
    CComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, ReadResponse(Envelope(body), object)) << body;
    CComQIPtr<IUPnPQueryStateVariableResponse> response(object);
    ASSERT_TRUE(response) << body;
    CComVariant value;
    response->GetReturnValue(&value);
    ASSERT_EQ(VT_BSTR, value.vt);
    EXPECT_EQ(std::u16string(expected), value.bstrVal ? value.bstrVal : u"") << body;
  }
  // Without an element as its first child it is no QueryStateVariable response.
  for (const char* body : {"<u:QueryStateVariableResponse xmlns:u=\"urn:x\"><!-- c --><return>1</return>"
                           "</u:QueryStateVariableResponse>",
                           "<u:QueryStateVariableResponse xmlns:u=\"urn:x\">1</u:QueryStateVariableResponse>",
                           "<u:QueryStateVariableResponse xmlns:u=\"urn:x\"/>"}) {
    CComPtr<IUnknown> rejected;
    EXPECT_EQ(static_cast<HRESULT>(0x80040301), ReadResponse(Envelope(body), rejected)) << body;
  }
}

TEST_F(ReadingTest, ParseStateVariableValueReadsLenientlyAndQuietly) {
  CapturedLines lines;
  CComVariant value;
  EXPECT_EQ(S_OK, readerWriter_->ParseStateVariableValue(CComBSTR(u"Volume"), CComBSTR(u"12"), &value));
  EXPECT_EQ(VT_UI2, value.vt);
  EXPECT_EQ(12, value.uiVal);
  EXPECT_EQ(S_OK, readerWriter_->ParseStateVariableValue(CComBSTR(u"Volume"), CComBSTR(u"12abc"), &value));
  EXPECT_EQ(E_FAIL, readerWriter_->ParseStateVariableValue(CComBSTR(u"Nope"), CComBSTR(u"1"), &value));
  EXPECT_EQ(E_INVALIDARG, readerWriter_->ParseStateVariableValue(CComBSTR(u"Volume"), CComBSTR(u"101"), &value));
  EXPECT_EQ(E_POINTER, readerWriter_->ParseStateVariableValue(CComBSTR(u"Volume"), CComBSTR(u"1"), nullptr));
  EXPECT_TRUE(lines.Lines().empty());
}

}  // namespace
}  // namespace varnel_test
