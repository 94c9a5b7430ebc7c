// Everything the writer does for each kind of message, every data type and
// the awkward names and values, compared with tests/soap/golden/
// writer_golden.txt: on success the headers, the content length, the calls
// on the transport and the body byte for byte; on failure the code, the
// error information and the trace lines (their line numbers left out).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
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
constexpr char16_t kWideService[] = u"urn:schemas-example-org:service:Wide:1";
const char kGoldenFile[] = VARNEL_TEST_DATA_DIR "/../soap/golden/writer_golden.txt";
// Longer bodies are kept as their length and a digest.
constexpr size_t kBodyKeptWhole = 8192;

// "{./src/soap/x.cpp,123}" as "{./src/soap/x.cpp,#}".
std::string WithoutLineNumber(std::string line) {
  const size_t close = line.rfind('}');
  const size_t comma = close == std::string::npos ? std::string::npos : line.rfind(',', close);
  if (comma != std::string::npos && comma + 1 < close) line.replace(comma + 1, close - comma - 1, "#");
  return line;
}

std::string Hex(uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string DescribeBody(const std::string& body) {
  if (body.size() <= kBodyKeptWhole) return "body " + std::to_string(body.size()) + "\n" + body + "\n";
  uint64_t digest = 0xCBF29CE484222325ull;  // FNV-1a
  for (unsigned char c : body) digest = (digest ^ c) * 0x100000001B3ull;
  return "body " + std::to_string(body.size()) + " fnv1a " + Hex(digest, 16) + "\n" + body.substr(0, 512) + "\n";
}

const std::map<std::string, std::string>& Golden() {
  static const std::map<std::string, std::string> records = ReadGoldenRecords(kGoldenFile);
  return records;
}

CComPtr<IUPnPSoapErrorMsg> ErrorMessage(LONG code, const char16_t* description, bool setDescription = true) {
  CComPtr<IClassFactory> factory;
  DllGetClassObject(CLSID_SoapErrorMsg, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  CComPtr<IUPnPSoapErrorMsg> error;
  factory->CreateInstance(nullptr, IID_IUPnPSoapErrorMsg, reinterpret_cast<void**>(&error));
  error->SetErrorCode(code);
  if (setDescription) error->SetErrorDescription(CComBSTR(description));
  return error;
}

CComVariant Typed(VARTYPE vt, double number) {
  CComVariant value;
  value.vt = vt;
  if (vt == VT_R4) value.fltVal = static_cast<float>(number);
  if (vt == VT_R8) value.dblVal = number;
  if (vt == VT_DATE) value.date = number;
  return value;
}

CComVariant Currency(int64_t units) {
  CComVariant value;
  value.vt = VT_CY;
  value.cyVal.int64 = units;
  return value;
}

CComVariant Unit(char16_t c) {
  CComVariant value;
  value.vt = VT_UI2;
  value.uiVal = c;
  return value;
}

CComVariant Text(const std::u16string& text) {
  CComVariant value;
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return value;
}

CComVariant NullText() {
  CComVariant value;
  value.vt = VT_BSTR;
  value.bstrVal = nullptr;
  return value;
}

CComVariant Bytes(const std::vector<uint8_t>& bytes) {
  CComSafeArray<BYTE> array(static_cast<ULONG>(bytes.size()));
  for (size_t i = 0; i < bytes.size(); ++i) array.SetAt(static_cast<LONG>(i), bytes[i]);
  CComVariant value;
  value.vt = VT_ARRAY | VT_UI1;
  value.parray = array.Detach();
  return value;
}

CComVariant Signed64(int64_t number) {
  CComVariant value;
  value.vt = VT_I8;
  value.llVal = number;
  return value;
}

CComVariant Unsigned64(uint64_t number) {
  CComVariant value;
  value.vt = VT_UI8;
  value.ullVal = number;
  return value;
}

// A variant that refers to another (which must outlive it).
CComVariant ByReference(VARIANT& target) {
  CComVariant value;
  value.vt = VT_BYREF | VT_VARIANT;
  value.pvarVal = &target;
  return value;
}

// The single-value form: a variant tagged VT_VARIANT (which owns nothing).
VARIANT Single() {
  VARIANT value;
  value.vt = VT_VARIANT;
  value.llVal = 0;
  return value;
}

// Every printable ASCII character and the three control characters XML keeps.
std::u16string AsciiText() {
  std::u16string text;
  for (char16_t c = 0x20; c < 0x7F; ++c) text.push_back(c);
  return text + u"\t\n\r end";
}

class WriterGoldenTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("../soap/golden/golden_service.xml", kGoldenService); }

  using Write = std::function<HRESULT(IUnknown*)>;

  // Runs `write` on a new message of `kind`; compares what it did with the
  // golden record `name`.
  void Expect(const std::string& name, FakeMessage::Kind kind, const Write& write) {
    FakeMessageRef message = MakeMessage(kind);
    std::string actual = "### " + name + "\n";
    {
      CapturedLines lines;
      SetErrorInfo(0, nullptr);
      const HRESULT hr = write(message.message);
      actual += "result 0x" + Hex(static_cast<uint32_t>(hr), 8) + "\n";
      const auto info = TakeErrorInfo();
      actual += info.first.empty() && info.second.empty()
                    ? std::string("error-info none\n")
                    : "error-info " + comrt::ToUtf8(info.first) + " | " + comrt::ToUtf8(info.second) + "\n";
      for (const TraceLine& line : lines.Lines()) {
        actual += "trace " + std::to_string(line.level) + " " + WithoutLineNumber(comrt::ToUtf8(line.text)) + "\n";
      }
    }
    actual += "calls";
    for (const std::string& call : message->log()) actual += " " + call;
    actual += "\n";
    for (const auto& header : message->headerWriter()->headers()) {
      actual += "header " + header.first + ": " + header.second + "\n";
    }
    const auto length = message->headerWriter()->contentLength();
    actual += length ? "length " + std::to_string(*length) + "\n" : std::string("length none\n");
    actual += "sources " + std::to_string(message->headerWriter()->attachedSources().size()) + "\n";
    actual += "flags";
    for (BYTE flag : message->bodyWriterFlags()) actual += " get " + std::to_string(flag);
    for (USHORT flag : message->bodyWriter()->flags()) actual += " write " + std::to_string(flag);
    actual += "\n" + DescribeBody(message->bodyWriter()->body());

    const auto found = Golden().find(name);
    ASSERT_NE(Golden().end(), found) << "no golden record " << name << "; this run gave:\n" << actual;
    EXPECT_EQ(found->second, actual) << name;
  }

  void ExpectRequest(const std::string& name, const char16_t* action, const VARIANT& values,
                     IUnknown* headerSource = nullptr) {
    Expect(name, FakeMessage::Kind::kRequest, [&](IUnknown* message) {
      return readerWriter_->WriteInvokeActionRequest(message, CComBSTR(action), values, headerSource);
    });
  }
  void ExpectResponse(const std::string& name, const char16_t* action, const VARIANT& values,
                      IUPnPSoapErrorMsg* error = nullptr, IUnknown* source1 = nullptr, IUnknown* source2 = nullptr) {
    Expect(name, FakeMessage::Kind::kResponse, [&](IUnknown* message) {
      return readerWriter_->WriteInvokeActionResponse(message, CComBSTR(action), values, error, source1, source2);
    });
  }
  void ExpectQuery(const std::string& name, const std::u16string& variable) {
    Expect(name, FakeMessage::Kind::kRequest, [&](IUnknown* message) {
      return readerWriter_->WriteQueryStateVariableRequest(message, CComBSTR(variable.c_str()), nullptr);
    });
  }
  void ExpectAnswer(const std::string& name, const VARIANT& value, IUPnPSoapErrorMsg* error = nullptr) {
    Expect(name, FakeMessage::Kind::kResponse, [&](IUnknown* message) {
      return readerWriter_->WriteQueryStateVariableResponse(message, value, error, nullptr);
    });
  }
};

// One value per input argument of all_types.xml's "Everything", in order.
std::vector<CComVariant> EveryType() {
  return {CComVariant(int8_t{4}),        CComVariant(int16_t{-32768}), CComVariant(-1000),
          CComVariant(uint8_t{200}),     CComVariant(uint16_t{65535}), CComVariant(4294967295u),
          CComVariant(2147483647),       Typed(VT_R4, 0.25),           Typed(VT_R8, 1e-7),
          Typed(VT_R4, 3.4e38),          Currency(12345678),           CComVariant(u"12.5"),
          Unit(u'b'),                    CComVariant(u"Beta"),         CComVariant(u"http://192.0.2.1/d?a=1&b=<2>"),
          CComVariant(u"uuid:2fac1234-31f8-11b4-a222-08002b34c003 \u00e9\U0001F600"),
          CComVariant(true),             Typed(VT_DATE, 40589.0),
          Typed(VT_DATE, 40589.0 + (8 * 3600 + 5 * 60 + 9) / 86400.0),
          Typed(VT_DATE, 40589.5),       Typed(VT_DATE, 0.75),         Typed(VT_DATE, 1.0 / 86400.0)};
}

// The same arguments at the edges of their types, and given as other
// variant types that convert.
std::vector<CComVariant> EveryTypeOtherwise() {
  return {CComVariant(u"-10"),           CComVariant(int16_t{32767}),  Typed(VT_R8, 2.5),
          CComVariant(u"0"),             CComVariant(false),           CComVariant(0u),
          CComVariant(-2147483647 - 1),  Typed(VT_R4, -1.5),           Typed(VT_R8, -1.7976931348623157e308),
          Typed(VT_R4, 1.17549435e-38),  Currency(100000000),          CComVariant(u"-0.000001"),
          Unit(u'a'),                    CComVariant(u"Alpha"),        CComVariant(u""),
          NullText(),                    CComVariant(false),           Typed(VT_DATE, -657434.0),
          Typed(VT_DATE, 2958465.999988426),
          Typed(VT_DATE, 36526.25),      Typed(VT_DATE, 0.0),          Typed(VT_DATE, 0.999988426)};
}

TEST_F(WriterGoldenTest, EveryDataTypeInRequestsAndResponses) {
  Load("scpd/all_types.xml", kTestService);
  ExpectRequest("types/request", u"Everything", Arguments(EveryType()));
  ExpectResponse("types/response", u"Everything", Arguments(EveryType()));
  ExpectRequest("types/request-other-forms", u"Everything", Arguments(EveryTypeOtherwise()));
  ExpectResponse("types/response-other-forms", u"Everything", Arguments(EveryTypeOtherwise()));
  ExpectRequest("types/request-fewer", u"Everything", Arguments({CComVariant(int8_t{-2}), CComVariant(int16_t{9})}));

  Load("scpd/wide_types.xml", kWideService);
  ExpectRequest("wide/request", u"Store",
                Arguments({Signed64(INT64_MIN), Unsigned64(UINT64_MAX), Bytes({0, 1, 2, 0xFE, 0xFF, '<', '&'}),
                           Bytes({0xDE, 0xAD, 0xBE, 0xEF})}));
  ExpectRequest("wide/request-empty-bytes", u"Store",
                Arguments({Signed64(INT64_MAX), CComVariant(u"18446744073709551615"), Bytes({}), Bytes({0})}));
  ExpectResponse("wide/response", u"Store", Arguments({Bytes({'a', 'b', 'c', 'd', 'e'}), Unsigned64(0)}));
}

TEST_F(WriterGoldenTest, TextIsEscapedAsTheDomWroteIt) {
  ExpectRequest("text/ascii", u"Say", Arguments({Text(AsciiText())}));
  ExpectResponse("text/ascii-response", u"Say", Arguments({Text(AsciiText())}));
  ExpectRequest("text/beyond-ascii", u"Say",
                Arguments({Text(u"\u00e9\u00a0\u4e2d\U0001F600\u2028\ufeff\ufffd\U0010FFFF\u0085")}));
  ExpectResponse("text/markup-lookalikes", u"Say",
                 Arguments({Text(u"]]>&amp;<![CDATA[x]]><!--c--><?pi?>&#13;\"'")}));
  ExpectRequest("text/empty", u"Say", Arguments({CComVariant(u"")}));
  ExpectRequest("text/null", u"Say", Arguments({NullText()}));
  ExpectResponse("text/null-response", u"Say", Arguments({NullText()}));
  ExpectRequest("text/embedded-zero", u"Say", Arguments({Text(std::u16string(u"a\0b", 3))}));
  ExpectRequest("text/spaces-only", u"Say", Arguments({Text(u"  \t\n ")}));
  ExpectRequest("text/crlf", u"Say", Arguments({Text(u"one\r\ntwo\rthree\n")}));
  // Long enough that saving writes it in more than one piece.
  std::u16string longText;
  while (longText.size() < 100000) longText += u"Harbour lights & evening tide, <live> take 2; \u00e9 ";
  ExpectRequest("text/long", u"Say", Arguments({Text(longText)}));
  ExpectRequest("text/two-arguments", u"Pair", Arguments({Text(u"a&b"), CComVariant(7u)}));
  ExpectResponse("text/two-arguments-response", u"Pair", Arguments({CComVariant(0u), Text(u"<x/>")}));
}

TEST_F(WriterGoldenTest, NamesAndServiceTypes) {
  ExpectRequest("names/request", u"Names",
                Arguments({CComVariant(1u), CComVariant(2u), CComVariant(3u), CComVariant(4u)}));
  ExpectResponse("names/response", u"Names", Arguments({CComVariant(5u), CComVariant(6u)}));
  ExpectRequest("names/unicode-action", u"\u00dcn\u00efcode", Arguments({Text(u"\u00e9")}));
  ExpectResponse("names/unicode-action-response", u"\u00dcn\u00efcode", Arguments({Text(u"\u00e9")}));
  ExpectRequest("names/spaced", u"Spaced", Arguments({CComVariant(1u)}));
  ExpectRequest("names/digit-first", u"Digit", Arguments({CComVariant(1u)}));
  ExpectResponse("names/digit-first-response", u"Digit", Arguments({CComVariant(1u)}));
  ExpectResponse("names/markup-response", u"Markup", Arguments({CComVariant(1u)}));
  ExpectRequest("names/unknown-action", u"Dance", Arguments({}));
  ExpectResponse("names/unknown-action-response", u"Dance", Arguments({}));
  ExpectRequest("names/action-with-markup", u"Say<x", Arguments({}));
  ExpectRequest("names/action-with-space", u"Say x", Arguments({}));
  ExpectRequest("names/action-with-control", u"Say\x01", Arguments({}));
  ExpectRequest("names/empty-action", u"", Arguments({}));
  ExpectResponse("names/empty-action-response", u"", Arguments({}));
  Expect("names/null-action", FakeMessage::Kind::kRequest, [&](IUnknown* message) {
    return readerWriter_->WriteInvokeActionRequest(message, nullptr, Arguments({}), nullptr);
  });

  const std::pair<const char*, std::u16string> serviceTypes[] = {
      {"markup", u"urn:a&b<c>d:1"},
      {"double-quote", u"urn:say \"hi\":1"},
      {"single-quote", u"urn:it's:1"},
      {"both-quotes", u"urn:\"it's\":1"},
      {"white-space", u"urn:a\tb\nc\rd:1"},
      {"beyond-ascii", u"urn:\u00e9\u4e2d\U0001F600:1"},
      {"empty", u""},
      {"control", u"urn:\x01:1"},
  };
  for (const auto& serviceType : serviceTypes) {
    const std::string name = std::string("service-type/") + serviceType.first;
    ASSERT_EQ(S_OK, readerWriter_->SetServiceType(CComBSTR(serviceType.second.c_str())));
    ExpectRequest(name + "/request", u"Say", Arguments({Text(u"x")}));
    ExpectResponse(name + "/response", u"Say", Arguments({Text(u"y")}));
    ExpectQuery(name + "/query", u"Free");
  }
  ASSERT_EQ(S_OK, readerWriter_->SetServiceType(nullptr));
  ExpectRequest("service-type/null/request", u"Say", Arguments({Text(u"x")}));
}

TEST_F(WriterGoldenTest, QueryStateVariableRequestsAndResponses) {
  ExpectQuery("query/plain", u"Free");
  ExpectQuery("query/markup-name", u"a&b<c>\"q'");
  ExpectQuery("query/beyond-ascii-name", u"\u00dcn\u00ef \U0001F600");
  ExpectQuery("query/unknown", u"Nope");
  ExpectQuery("query/empty", u"");
  Expect("query/null", FakeMessage::Kind::kRequest, [&](IUnknown* message) {
    return readerWriter_->WriteQueryStateVariableRequest(message, nullptr, nullptr);
  });

  ExpectAnswer("answer/text", Text(AsciiText()));
  ExpectAnswer("answer/beyond-ascii", Text(u"\u00e9\U0001F600"));
  ExpectAnswer("answer/empty-text", CComVariant(u""));
  ExpectAnswer("answer/null-text", NullText());
  ExpectAnswer("answer/embedded-zero", Text(std::u16string(u"a\0b", 3)));
  ExpectAnswer("answer/i4", CComVariant(-5));
  ExpectAnswer("answer/ui2", CComVariant(uint16_t{65535}));
  ExpectAnswer("answer/r8", Typed(VT_R8, 2.5));
  ExpectAnswer("answer/r8-large", Typed(VT_R8, 1e12));
  ExpectAnswer("answer/bool", CComVariant(true));
  ExpectAnswer("answer/empty", CComVariant());
  CComVariant null;
  null.vt = VT_NULL;
  ExpectAnswer("answer/null", null);
  ExpectAnswer("answer/ui8", Unsigned64(UINT64_MAX));
  ExpectAnswer("answer/date", Typed(VT_DATE, 40589.5));
  ExpectAnswer("answer/bytes", Bytes({1, 2}));
  ExpectAnswer("answer/control", Text(u"\x01"));
}

TEST_F(WriterGoldenTest, Faults) {
  ExpectResponse("fault/response", u"Say", Arguments({Text(u"ignored")}), ErrorMessage(402, u"Invalid Args"));
  ExpectResponse("fault/escaped", u"Say", CComVariant(), ErrorMessage(501, u"<Action> & \"failed\"\t'\r\n"));
  ExpectResponse("fault/beyond-ascii", nullptr, CComVariant(), ErrorMessage(718, u"\u00e9chec \U0001F600"));
  ExpectResponse("fault/unset", nullptr, CComVariant(), ErrorMessage(-1, nullptr, false));
  ExpectResponse("fault/null-description", nullptr, CComVariant(), ErrorMessage(0, nullptr));
  ExpectResponse("fault/largest-code", nullptr, CComVariant(), ErrorMessage(2147483647, u"x"));
  ExpectResponse("fault/control-character", nullptr, CComVariant(), ErrorMessage(1, u"bad\x01"));
  ExpectAnswer("fault/answer", CComVariant(), ErrorMessage(404, u"Invalid Var"));
  ExpectAnswer("fault/answer-escaped", CComVariant(1), ErrorMessage(404, u"a<b>&c"));
}

TEST_F(WriterGoldenTest, ArgumentFormsAndHeaderSources) {
  ExpectRequest("forms/empty-array", u"Pair", Arguments({}));
  ExpectRequest("forms/fewer", u"Pair", Arguments({Text(u"only")}));
  ExpectRequest("forms/more", u"Say", Arguments({Text(u"a"), Text(u"b")}));
  ExpectRequest("forms/plain-value", u"Say", CComVariant(5));
  ExpectRequest("forms/nothing", u"Say", CComVariant());
  ExpectRequest("forms/no-arguments", u"Empty", Arguments({}));
  ExpectResponse("forms/no-arguments-response", u"Empty", Arguments({}));
  ExpectRequest("forms/single", u"Single", Single());
  ExpectRequest("forms/single-several", u"Pair", Single());
  ExpectRequest("forms/single-none", u"Empty", Single());
  ExpectResponse("forms/response-plain-value", u"Say", CComVariant(5));
  ExpectResponse("forms/response-nothing", u"Say", CComVariant());
  ExpectResponse("forms/response-fewer", u"Pair", Arguments({CComVariant(1u)}));
  ExpectResponse("forms/response-more", u"Say", Arguments({Text(u"a"), Text(u"b")}));

  CComVariant oneBased = Arguments({Text(u"a"), CComVariant(1u)});
  SAFEARRAYBOUND shifted{2, 1};
  SafeArrayRedim(oneBased.parray, &shifted);
  ExpectRequest("forms/one-based", u"Pair", oneBased);
  ExpectResponse("forms/one-based-response", u"Pair", oneBased);

  CComVariant target(u"referred");
  CComVariant number(42u);
  ExpectRequest("forms/by-reference", u"Pair", Arguments({ByReference(target), ByReference(number)}));
  ExpectRequest("forms/wrong-types", u"Pair", Arguments({CComVariant(1), CComVariant(u"2")}));
  ExpectRequest("forms/string-for-number", u"Pair", Arguments({Text(u"a"), CComVariant(u"12")}));
  ExpectRequest("forms/bad-number-text", u"Pair", Arguments({Text(u"a"), CComVariant(u"twelve")}));
  ExpectRequest("forms/negative-for-unsigned", u"Pair", Arguments({Text(u"a"), CComVariant(-1)}));
  ExpectRequest("forms/empty-value", u"Pair", Arguments({Text(u"a"), CComVariant()}));
  CComVariant error;
  error.vt = VT_ERROR;
  error.scode = DISP_E_PARAMNOTFOUND;
  ExpectRequest("forms/error-value", u"Pair", Arguments({Text(u"a"), error}));
  CComVariant strings;
  strings.vt = VT_ARRAY | VT_BSTR;
  strings.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
  ExpectRequest("forms/array-of-strings", u"Say", strings);
  ExpectRequest("forms/missing-variable", u"Missing", Arguments({CComVariant(1u)}));
  ExpectResponse("forms/missing-variable-response", u"Missing", Arguments({CComVariant(1u)}));
  ExpectRequest("forms/no-converter", u"Unconverted", Arguments({CComVariant(1u)}));
  ExpectResponse("forms/no-converter-response", u"Unconverted", Arguments({CComVariant(1u)}));
  ExpectRequest("forms/missing-variable-not-reached", u"Missing", Arguments({}));

  auto source = MakeFake<FakeHeaderSource>();
  auto second = MakeFake<FakeHeaderSource>();
  auto notASource = MakeFake<FakeBodyWriter>();
  IUnknown* sourceUnknown = static_cast<IMessageHeaderSource*>(source.p);
  IUnknown* secondUnknown = static_cast<IMessageHeaderSource*>(second.p);
  IUnknown* otherUnknown = static_cast<IMessageBodyWriter*>(notASource.p);
  ExpectRequest("sources/request", u"Say", Arguments({Text(u"x")}), sourceUnknown);
  ExpectRequest("sources/request-not-a-source", u"Say", Arguments({Text(u"x")}), otherUnknown);
  ExpectResponse("sources/response-two", u"Say", Arguments({Text(u"x")}), nullptr, sourceUnknown, secondUnknown);
  ExpectResponse("sources/response-second-only", u"Say", Arguments({Text(u"x")}), nullptr, nullptr, secondUnknown);
  ExpectResponse("sources/fault-two", u"Say", CComVariant(), ErrorMessage(402, u"Invalid Args"), sourceUnknown,
                 secondUnknown);
  Expect("sources/query", FakeMessage::Kind::kRequest, [&](IUnknown* message) {
    return readerWriter_->WriteQueryStateVariableRequest(message, CComBSTR(u"Free"), sourceUnknown);
  });
  Expect("sources/answer", FakeMessage::Kind::kResponse, [&](IUnknown* message) {
    return readerWriter_->WriteQueryStateVariableResponse(message, CComVariant(u"v"), nullptr, sourceUnknown);
  });
}

}  // namespace
}  // namespace varnel_test
