// Every message kind written and read back to the same values, for a service
// that uses every data type; and one reader/writer shared by two threads.
#include <atomic>
#include <cmath>
#include <thread>

#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

CComVariant Typed(VARTYPE vt, double number) {
  CComVariant value;
  value.vt = vt;
  switch (vt) {
    case VT_R4: value.fltVal = static_cast<float>(number); break;
    case VT_R8: value.dblVal = number; break;
    case VT_DATE: value.date = number; break;
    default: ADD_FAILURE() << "not a real type";
  }
  return value;
}

CComVariant Currency(int64_t units) {
  CComVariant value;
  value.vt = VT_CY;
  value.cyVal.int64 = units;
  return value;
}

CComVariant Character(char16_t c) {
  CComVariant value;
  value.vt = VT_UI2;
  value.uiVal = c;
  return value;
}

// One value per data type of all_types.xml, in the order of its arguments,
// each inside its variable's restrictions.
std::vector<CComVariant> EveryTypeValues() {
  return {CComVariant(int8_t{4}),
          CComVariant(int16_t{-32768}),
          CComVariant(-1000),
          CComVariant(uint8_t{200}),
          CComVariant(uint16_t{65535}),
          CComVariant(4294967295u),
          CComVariant(2147483647),
          Typed(VT_R4, 0.25),
          Typed(VT_R8, 1e-7),
          Typed(VT_R4, 3.4e38),
          Currency(12345678),
          CComVariant(u"12.5"),
          Character(u'b'),
          CComVariant(u"Beta"),
          CComVariant(u"http://192.0.2.1/desc?a=1&b=<2>"),
          CComVariant(u"uuid:2fac1234-31f8-11b4-a222-08002b34c003 \u00e9\U0001F600"),
          CComVariant(true),
          Typed(VT_DATE, 40589.0),
          Typed(VT_DATE, 40589.0 + (8 * 3600 + 5 * 60 + 9) / 86400.0),
          Typed(VT_DATE, 40589.5),
          Typed(VT_DATE, 0.75),
          Typed(VT_DATE, 1.0 / 86400.0)};
}

// Whether `read` carries the value that `written` gave. "number" keeps its
// text, which comes back normalised.
::testing::AssertionResult SameValue(const VARIANT& written, const VARIANT& read, size_t index) {
  if (index == 11) {  // number
    if (read.vt == VT_BSTR && std::u16string(read.bstrVal) == u"12.500000") return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "number read back wrongly";
  }
  if (written.vt != read.vt) return ::testing::AssertionFailure() << "type " << read.vt << " for " << written.vt;
  if (read.vt == VT_DATE) {
    if (std::fabs(read.date - written.date) < 0.5 / 86400.0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << read.date << " for " << written.date;
  }
  if (read.vt == VT_BSTR) {
    if (std::u16string(read.bstrVal) == std::u16string(written.bstrVal)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "text differs";
  }
  // Only the bytes of the value's own width: the rest of the union is unset.
  size_t width = 4;
  if (read.vt == VT_I1 || read.vt == VT_UI1) width = 1;
  if (read.vt == VT_I2 || read.vt == VT_UI2 || read.vt == VT_BOOL) width = 2;
  if (read.vt == VT_CY || read.vt == VT_R8 || read.vt == VT_I8 || read.vt == VT_UI8) width = 8;
  if (std::memcmp(&read.llVal, &written.llVal, width) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "value differs at " << index;
}

class RoundTripTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("scpd/all_types.xml", kTestService); }

  // Writes an InvokeAction request of every type and reads it back.
  bool RequestRoundTrip(std::string* failure) {
    const std::vector<CComVariant> values = EveryTypeValues();
    FakeMessageRef request = MakeRequestMessage();
    const HRESULT written = readerWriter_->WriteInvokeActionRequest(request.message, CComBSTR(u"Everything"),
                                                                    Arguments(values), nullptr);
    if (written != S_OK) return *failure = "write failed", false;
    CComPtr<IUnknown> object;
    if (ReadRequest(request->bodyWriter()->body(), object) != S_OK) return *failure = "read failed", false;
    CComQIPtr<IUPnPInvokeActionRequest> read(object);
    CComVariant arguments;
    if (!read || read->GetArguments(&arguments) != S_OK) return *failure = "no arguments", false;
    const std::vector<CComVariant> back = ValuesOf(arguments);
    if (back.size() != values.size()) return *failure = "wrong count", false;
    for (size_t i = 0; i < values.size(); ++i) {
      if (!SameValue(values[i], back[i], i)) return *failure = "value " + std::to_string(i), false;
    }
    return true;
  }
};

TEST_F(RoundTripTest, InvokeActionRequestOfEveryType) {
  std::string failure;
  EXPECT_TRUE(RequestRoundTrip(&failure)) << failure;
}

TEST_F(RoundTripTest, InvokeActionResponseOfEveryType) {
  const std::vector<CComVariant> values = EveryTypeValues();
  FakeMessageRef response = MakeResponseMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteInvokeActionResponse(response.message, CComBSTR(u"Everything"),
                                                            Arguments(values), nullptr, nullptr, nullptr));
  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, ReadResponse(response->bodyWriter()->body(), object));
  CComQIPtr<IUPnPInvokeActionResponse> read(object);
  ASSERT_TRUE(read);
  CComBSTR name;
  read->GetActionName(&name);
  EXPECT_EQ(u"Everything", TextOf(name));
  CComVariant arguments;
  ASSERT_EQ(S_OK, read->GetArguments(&arguments));
  const std::vector<CComVariant> back = ValuesOf(arguments);
  ASSERT_EQ(values.size(), back.size());
  for (size_t i = 0; i < values.size(); ++i) EXPECT_TRUE(SameValue(values[i], back[i], i));
}

TEST_F(RoundTripTest, QueryStateVariableRequestAndResponse) {
  FakeMessageRef request = MakeRequestMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteQueryStateVariableRequest(request.message, CComBSTR(u"V_dateTime_tz"), nullptr));
  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, ReadRequest(request->bodyWriter()->body(), object));
  CComQIPtr<IUPnPQueryStateVariableRequest> query(object);
  ASSERT_TRUE(query);
  CComBSTR name;
  query->GetVariableName(&name);
  EXPECT_EQ(u"V_dateTime_tz", TextOf(name));

  FakeMessageRef response = MakeResponseMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteQueryStateVariableResponse(response.message, CComVariant(u"2011-02-15T12:00:00Z"),
                                                                  nullptr, nullptr));
  CComPtr<IUnknown> answer;
  ASSERT_EQ(S_OK, ReadResponse(response->bodyWriter()->body(), answer));
  CComQIPtr<IUPnPQueryStateVariableResponse> value(answer);
  ASSERT_TRUE(value);
  CComVariant text;
  value->GetReturnValue(&text);
  CComVariant parsed;
  ASSERT_EQ(S_OK, readerWriter_->ParseStateVariableValue(CComBSTR(u"V_dateTime_tz"), text.bstrVal, &parsed));
  EXPECT_EQ(40589.5, parsed.date);
}

TEST_F(RoundTripTest, FaultKeepsCodeAndDescription) {
  struct Case {
    LONG code;
    const char16_t* description;
  };
  for (const Case& c : {Case{401, u"Invalid Action"}, Case{-1, u""}, Case{0, u"caf\u00e9 <&> \U0001F600"},
                        Case{718, nullptr}}) {
    CComPtr<IClassFactory> factory;
    DllGetClassObject(CLSID_SoapErrorMsg, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    CComPtr<IUPnPSoapErrorMsg> error;
    factory->CreateInstance(nullptr, IID_IUPnPSoapErrorMsg, reinterpret_cast<void**>(&error));
    error->SetErrorCode(c.code);
    if (c.description) error->SetErrorDescription(CComBSTR(c.description));
    FakeMessageRef response = MakeResponseMessage();
    ASSERT_EQ(S_OK, readerWriter_->WriteQueryStateVariableResponse(response.message, CComVariant(), error, nullptr));
    CComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, ReadResponse(response->bodyWriter()->body(), object));
    CComQIPtr<IUPnPSoapErrorMsg> read(object);
    ASSERT_TRUE(read);
    LONG code = 0;
    read->GetErrorCode(&code);
    EXPECT_EQ(c.code, code);
    CComBSTR description;
    read->GetErrorDescription(&description);
    EXPECT_EQ(std::u16string(c.description ? c.description : u""), description.m_str ? description.m_str : u"");
  }
}

TEST_F(RoundTripTest, FaultsOfOtherWritersAndFaultsThatAreNot) {
  const std::string upnpError =
      "<detail><Error xmlns=\"urn:other\"><errorCode>4294967295</errorCode><errorDescription>x</errorDescription>"
      "</Error></detail>";
  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, ReadResponse(Envelope("<s:Fault><faultcode>s:Client</faultcode>" + upnpError + "</s:Fault>"), object));
  CComQIPtr<IUPnPSoapErrorMsg> error(object);
  ASSERT_TRUE(error);
  LONG code = 0;
  error->GetErrorCode(&code);
  EXPECT_EQ(-1, code);  // 4294967295 reads whole and is kept bit for bit
  // A "Fault" in another namespace is taken as an InvokeAction response.
  CComPtr<IUnknown> notFault;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, ReadResponse(Envelope("<f:Fault xmlns:f=\"urn:x\">" + upnpError + "</f:Fault>"), notFault));
  // A fault without detail leaves the object's start values; empty children are accepted.
  CComPtr<IUnknown> bare;
  ASSERT_EQ(S_OK, ReadResponse(Envelope("<s:Fault><faultcode/><faultstring/></s:Fault>"), bare));
  CComQIPtr<IUPnPSoapErrorMsg>(bare)->GetErrorCode(&code);
  EXPECT_EQ(-1, code);
  CComPtr<IUnknown> emptyDetail;
  EXPECT_EQ(E_POINTER, ReadResponse(Envelope("<s:Fault><detail/></s:Fault>"), emptyDetail));
}

TEST_F(RoundTripTest, TwoThreadsShareOneReaderWriter) {
  std::atomic<int> failures{0};
  auto work = [&] {
    std::string failure;
    for (int i = 0; i < 50; ++i) {
      if (!RequestRoundTrip(&failure)) ++failures;
    }
  };
  std::thread first(work);
  std::thread second(work);
  first.join();
  second.join();
  EXPECT_EQ(0, failures.load());
}

}  // namespace
}  // namespace varnel_test

namespace varnel_test {
namespace {

// A variable whose data type has no converter ("i16") fails every conversion
// with E_NOTIMPL, and before anything is sent.
TEST_F(RoundTripTest, DataTypeWithoutConverterFailsCleanly) {
  CComPtr<IUnknown> object;
  EXPECT_EQ(E_NOTIMPL, ReadRequest(Envelope("<u:UnknownTypes xmlns:u=\"urn:x\"><Big>5</Big><Missing>1</Missing>"
                                            "</u:UnknownTypes>"),
                                   object));
  // The argument whose variable the description lacks fails first when it comes first.
  EXPECT_EQ(E_INVALIDARG, ReadRequest(Envelope("<u:UnknownTypes xmlns:u=\"urn:x\"><Missing>1</Missing><Big>5</Big>"
                                               "</u:UnknownTypes>"),
                                      object));
  FakeMessageRef request = MakeRequestMessage();
  EXPECT_EQ(E_NOTIMPL, readerWriter_->WriteInvokeActionRequest(request.message, CComBSTR(u"UnknownTypes"),
                                                                Arguments({CComVariant(5)}), nullptr));
  EXPECT_TRUE(request->headerWriter()->headers().empty());
  CComVariant parsed;
  EXPECT_EQ(E_NOTIMPL, readerWriter_->ParseStateVariableValue(CComBSTR(u"V_unknown"), CComBSTR(u"5"), &parsed));
}

}  // namespace
}  // namespace varnel_test
