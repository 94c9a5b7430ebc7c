// The 64-bit integer and binary types through the reader/writer and the
// event converter: exact text on the wire, and the same values read back.
#include <cstring>

#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

CComVariant Bytes(const std::vector<BYTE>& bytes) {
  CComVariant value;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  EXPECT_NE(nullptr, array);
  if (!array) return value;
  void* data = nullptr;
  EXPECT_EQ(S_OK, SafeArrayAccessData(array, &data));
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(array);
  value.vt = VT_ARRAY | VT_UI1;
  value.parray = array;
  return value;
}

std::vector<BYTE> BytesOf(const VARIANT& value) {
  EXPECT_EQ(VT_ARRAY | VT_UI1, value.vt);
  if (value.vt != (VT_ARRAY | VT_UI1) || !value.parray) return {};
  LONG upper = -1;
  SafeArrayGetUBound(value.parray, 1, &upper);
  void* data = nullptr;
  EXPECT_EQ(S_OK, SafeArrayAccessData(value.parray, &data));
  std::vector<BYTE> bytes(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + upper + 1);
  SafeArrayUnaccessData(value.parray);
  return bytes;
}

CComVariant Signed(LONGLONG number) {
  CComVariant value;
  value.vt = VT_I8;
  value.llVal = number;
  return value;
}

CComVariant Unsigned(ULONGLONG number) {
  CComVariant value;
  value.vt = VT_UI8;
  value.ullVal = number;
  return value;
}

class WideTypesTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("scpd/wide_types.xml", kTestService); }
};

TEST_F(WideTypesTest, RequestsCarryTheTextPeersExpectAndReadBackWhole) {
  const std::vector<BYTE> blob = {0x00, 0xFF, 0x10, 'U', 'P', 'n', 'P'};
  FakeMessageRef request = MakeRequestMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteInvokeActionRequest(
                      request.message, CComBSTR(u"Store"),
                      Arguments({Signed(INT64_MIN), Unsigned(UINT64_MAX), Bytes(blob), Bytes({0xDE, 0xAD, 0xBE, 0xEF})}),
                      nullptr));
  const std::string& body = request->bodyWriter()->body();
  EXPECT_NE(std::string::npos, body.find("<Signed>-9223372036854775808</Signed>"));
  EXPECT_NE(std::string::npos, body.find("<Counter>18446744073709551615</Counter>"));
  EXPECT_NE(std::string::npos, body.find("<Blob>AP8QVVBuUA==</Blob>"));
  EXPECT_NE(std::string::npos, body.find("<Digest>deadbeef</Digest>"));

  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, ReadRequest(body, object));
  CComQIPtr<IUPnPInvokeActionRequest> read(object);
  ASSERT_TRUE(read);
  CComVariant arguments;
  ASSERT_EQ(S_OK, read->GetArguments(&arguments));
  const std::vector<CComVariant> values = ValuesOf(arguments);
  ASSERT_EQ(4u, values.size());
  EXPECT_EQ(VT_I8, values[0].vt);
  EXPECT_EQ(INT64_MIN, values[0].llVal);
  EXPECT_EQ(VT_UI8, values[1].vt);
  EXPECT_EQ(UINT64_MAX, values[1].ullVal);
  EXPECT_EQ(blob, BytesOf(values[2]));
  EXPECT_EQ((std::vector<BYTE>{0xDE, 0xAD, 0xBE, 0xEF}), BytesOf(values[3]));
}

TEST_F(WideTypesTest, ResponsesAndEmptyBlobsRoundTrip) {
  FakeMessageRef response = MakeResponseMessage();
  ASSERT_EQ(S_OK, readerWriter_->WriteInvokeActionResponse(response.message, CComBSTR(u"Store"),
                                                            Arguments({Bytes({}), Unsigned(0)}), nullptr, nullptr,
                                                            nullptr));
  const std::string& body = response->bodyWriter()->body();
  EXPECT_NE(std::string::npos, body.find("<Stored/>")) << body;  // an empty array is the empty text
  CComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, ReadResponse(body, object));
  CComQIPtr<IUPnPInvokeActionResponse> read(object);
  ASSERT_TRUE(read);
  CComVariant arguments;
  ASSERT_EQ(S_OK, read->GetArguments(&arguments));
  const std::vector<CComVariant> values = ValuesOf(arguments);
  ASSERT_EQ(2u, values.size());
  // An empty element reads as a null string, as for every type.
  EXPECT_EQ(VT_BSTR, values[0].vt);
  EXPECT_EQ(VT_UI8, values[1].vt);
}

TEST_F(WideTypesTest, BadTextIsRefusedAsAValueOfTheWrongKind) {
  CComPtr<IUnknown> object;
  EXPECT_EQ(E_INVALIDARG, ReadRequest(Envelope("<u:Store xmlns:u=\"urn:x\"><Signed>1</Signed><Counter>2</Counter>"
                                               "<Blob>A===</Blob><Digest>00</Digest></u:Store>"),
                                      object));
  EXPECT_EQ(u"600", TakeErrorInfo().first);
  // A strict integer failure is kept in the request, as for every integer.
  ASSERT_EQ(S_OK, ReadRequest(Envelope("<u:Store xmlns:u=\"urn:x\"><Signed>1</Signed><Counter>-2</Counter>"
                                       "<Blob>AA==</Blob><Digest>00</Digest></u:Store>"),
                              object));
  CComQIPtr<IUPnPInvokeActionRequest> read(object);
  ASSERT_TRUE(read);
  CComVariant arguments;
  EXPECT_EQ(E_UPNP_ARGUMENT_ERROR, read->GetArguments(&arguments));
  EXPECT_EQ(u"600", TakeErrorInfo().first);
}

TEST_F(WideTypesTest, EventValuesOfTheNewTypesConvertBothWays) {
  CComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, DllGetClassObject(CLSID_GenaMsgWriterHelper, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  CComPtr<IUPnPGenaMsgWriterHelper> helper;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUPnPGenaMsgWriterHelper, reinterpret_cast<void**>(&helper)));
  ASSERT_EQ(S_OK, helper->LoadServiceDescription(AsVariant(LoadDataFile("scpd/wide_types.xml"))));
  CComBSTR text;
  ASSERT_EQ(S_OK, helper->FormatStateVariableValue(CComBSTR(u"Counter"), Unsigned(10000000000000000000ull), &text));
  EXPECT_EQ(u"10000000000000000000", TextOf(text));
  CComVariant value;
  ASSERT_EQ(S_OK, helper->ParseStateVariableValue(CComBSTR(u"Digest"), CComBSTR(u" 0A ff "), &value));
  EXPECT_EQ((std::vector<BYTE>{0x0A, 0xFF}), BytesOf(value));
}

}  // namespace
}  // namespace varnel_test
