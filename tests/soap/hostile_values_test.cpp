// Values a careless or hostile caller might pass: a variant of every type,
// variants with tags that name no type, argument arrays of the wrong shape,
// and null pointers wherever a pointer goes. Every call ends with a result
// code; a call that succeeds sent a complete, well-formed body, and a call
// that fails sent nothing.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "comrt/safearray.h"
#include "comrt/text_conversion.h"
#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

// Owns raw variants, some with tags that VariantClear refuses.
class VariantSet {
 public:
  VariantSet() = default;
  VariantSet(const VariantSet&) = delete;
  VariantSet& operator=(const VariantSet&) = delete;
  ~VariantSet() {
    for (Entry& entry : entries_) {
      if (entry.clearable) VariantClear(&entry.value);
    }
  }

  struct Entry {
    std::string label;
    VARIANT value;
    bool clearable;
  };

  VARIANT& Add(std::string label, VARTYPE type, bool clearable = true) {
    Entry entry{std::move(label), {}, clearable};
    VariantInit(&entry.value);
    entry.value.vt = type;
    entries_.push_back(entry);
    return entries_.back().value;
  }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

SAFEARRAY* ByteArray(LONG lowerBound, ULONG count) {
  SAFEARRAYBOUND bound{count, lowerBound};
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
  void* data = nullptr;
  if (array && count > 0 && SafeArrayAccessData(array, &data) == S_OK) {
    std::memset(data, 0xA5, count);
    SafeArrayUnaccessData(array);
  }
  return array;
}

// Every VARTYPE the platform knows, in odd and extreme values, by reference,
// as arrays, and tags that name nothing (with a pointer that must never be
// followed).
void AddEveryKind(VariantSet& set, IDispatch* someObject, VARIANT* referenced, LONG* referencedLong) {
  set.Add("VT_EMPTY", VT_EMPTY);
  set.Add("VT_NULL", VT_NULL);
  set.Add("VT_I2", VT_I2).iVal = std::numeric_limits<SHORT>::min();
  set.Add("VT_I4", VT_I4).lVal = std::numeric_limits<LONG>::min();
  set.Add("VT_R4 NaN", VT_R4).fltVal = std::numeric_limits<float>::quiet_NaN();
  set.Add("VT_R8 infinity", VT_R8).dblVal = -std::numeric_limits<double>::infinity();
  set.Add("VT_R8 largest", VT_R8).dblVal = std::numeric_limits<double>::max();
  set.Add("VT_R8 denormal", VT_R8).dblVal = std::numeric_limits<double>::denorm_min();
  set.Add("VT_CY", VT_CY).cyVal.int64 = std::numeric_limits<LONGLONG>::min();
  set.Add("VT_DATE NaN", VT_DATE).date = std::numeric_limits<double>::quiet_NaN();
  set.Add("VT_DATE far", VT_DATE).date = 1e300;
  set.Add("VT_DATE before 100", VT_DATE).date = -700000.0;
  set.Add("VT_BSTR", VT_BSTR).bstrVal = SysAllocString(u"1");
  set.Add("VT_BSTR null", VT_BSTR).bstrVal = nullptr;
  set.Add("VT_BSTR with NUL", VT_BSTR).bstrVal = SysAllocStringLen(u"1\0" u"2", 3);
  set.Add("VT_BSTR lone surrogate", VT_BSTR).bstrVal = SysAllocString(u"\xD800x");
  set.Add("VT_BSTR markup", VT_BSTR).bstrVal = SysAllocString(u"]]><&'\"\x01");
  set.Add("VT_DISPATCH null", VT_DISPATCH).pdispVal = nullptr;
  someObject->AddRef();
  set.Add("VT_DISPATCH", VT_DISPATCH).pdispVal = someObject;
  set.Add("VT_ERROR", VT_ERROR).scode = E_FAIL;
  set.Add("VT_BOOL true", VT_BOOL).boolVal = VARIANT_TRUE;
  set.Add("VT_BOOL 5", VT_BOOL).boolVal = 5;
  set.Add("VT_UNKNOWN null", VT_UNKNOWN).punkVal = nullptr;
  someObject->AddRef();
  set.Add("VT_UNKNOWN", VT_UNKNOWN).punkVal = someObject;
  VARIANT& decimal = set.Add("VT_DECIMAL largest", VT_DECIMAL);
  decimal.decVal.Hi32 = 0xFFFFFFFFu;
  decimal.decVal.Lo64 = ~0ULL;
  decimal.vt = VT_DECIMAL;  // the decimal overlays the tag
  VARIANT& badDecimal = set.Add("VT_DECIMAL scale 40", VT_DECIMAL);
  badDecimal.decVal.scale = 40;
  badDecimal.decVal.Lo64 = 1;
  badDecimal.vt = VT_DECIMAL;
  set.Add("VT_I1", VT_I1).cVal = -128;
  set.Add("VT_UI1", VT_UI1).bVal = 255;
  set.Add("VT_UI2", VT_UI2).uiVal = 65535;
  set.Add("VT_UI4", VT_UI4).ulVal = 0xFFFFFFFFu;
  set.Add("VT_I8", VT_I8).llVal = std::numeric_limits<LONGLONG>::min();
  set.Add("VT_UI8", VT_UI8).ullVal = std::numeric_limits<ULONGLONG>::max();
  set.Add("VT_INT", VT_INT).intVal = -1;
  set.Add("VT_UINT", VT_UINT).uintVal = 1;
  set.Add("VT_BYREF|VT_I4", VT_BYREF | VT_I4, false).plVal = referencedLong;
  set.Add("VT_BYREF|VT_VARIANT", VT_BYREF | VT_VARIANT, false).pvarVal = referenced;
  set.Add("VT_BYREF|VT_I4 null", VT_BYREF | VT_I4, false).plVal = nullptr;
  set.Add("VT_BYREF|VT_BSTR null", VT_BYREF | VT_BSTR, false).pbstrVal = nullptr;
  set.Add("VT_BYREF|VT_VARIANT null", VT_BYREF | VT_VARIANT, false).pvarVal = nullptr;
  set.Add("bytes", VT_ARRAY | VT_UI1).parray = ByteArray(0, 16);
  set.Add("bytes from 7", VT_ARRAY | VT_UI1).parray = ByteArray(7, 16);
  set.Add("no bytes", VT_ARRAY | VT_UI1).parray = ByteArray(0, 0);
  set.Add("VT_ARRAY null", VT_ARRAY | VT_UI1).parray = nullptr;
  SAFEARRAYBOUND square[2] = {{2, 0}, {2, 0}};
  set.Add("bytes in 2 dimensions", VT_ARRAY | VT_UI1).parray = SafeArrayCreate(VT_UI1, 2, square);
  set.Add("VT_ARRAY|VT_I4", VT_ARRAY | VT_I4).parray = SafeArrayCreateVector(VT_I4, 0, 3);
  set.Add("VT_ARRAY|VT_VARIANT", VT_ARRAY | VT_VARIANT).parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  // Tags that name no type: the union holds an address that is never valid.
  void* const poison = reinterpret_cast<void*>(uintptr_t{0x10});
  for (VARTYPE tag : {VARTYPE{15}, VARTYPE{24}, VARTYPE{25}, VARTYPE{26}, VARTYPE{27}, VARTYPE{29}, VARTYPE{30},
                      VARTYPE{31}, VARTYPE{36}, VARTYPE{64}, VARTYPE{72}, VARTYPE{0x0FFF}, VARTYPE(0x1000 | VT_I4),
                      VARTYPE(0x8000 | VT_BSTR), VARTYPE(VT_ARRAY | VT_BYREF | VT_EMPTY), VARTYPE(VT_ARRAY | 0x0FFF),
                      VARTYPE{0xFFFF}}) {
    set.Add("tag " + std::to_string(tag), tag, false).byref = poison;
  }
}

// A variable name of the test service, one per converter, plus one without.
const std::vector<const char16_t*>& VariableNames() {
  static const std::vector<const char16_t*> names = {
      u"V_i1",     u"V_i2",        u"V_i4",        u"V_i8",        u"V_ui1",     u"V_ui2",   u"V_ui4",
      u"V_ui8",    u"V_int",       u"V_r4",        u"V_r8",        u"V_float",   u"V_number", u"V_fixed_14_4",
      u"V_char",   u"V_string",    u"V_uri",       u"V_uuid",      u"V_boolean", u"V_date",  u"V_dateTime",
      u"V_dateTime_tz", u"V_time", u"V_time_tz",   u"V_bin_base64", u"V_bin_hex", u"V_unknown", u"V_ui2_listed"};
  return names;
}

class HostileValuesTest : public ReaderWriterTest {
 protected:
  void SetUp() override {
    Load("scpd/all_types.xml", kTestService);
    someObject_ = NewDocument();
    referenced_.vt = VT_BSTR;
    referenced_.bstrVal = SysAllocString(u"7");
    AddEveryKind(values_, reinterpret_cast<IDispatch*>(someObject_.p), &referenced_, &referencedLong_);
  }
  void TearDown() override {
    VariantClear(&referenced_);
    TakeErrorInfo();
  }

  // A write either succeeded with one well-formed body, or sent nothing.
  static void ExpectWholeOrNothing(HRESULT hr, const FakeMessageRef& message, const std::string& label) {
    const std::string& body = message->bodyWriter()->body();
    if (FAILED(hr)) {
      EXPECT_EQ(0, message->bodyWriter()->writeCount()) << label;
      return;
    }
    ASSERT_EQ(S_OK, hr) << label;
    CComPtr<IXMLDOMDocument2> parsed = NewDocument(nullptr);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    parsed->loadXML(CComBSTR(comrt::FromUtf8(body).c_str()), &loaded);
    EXPECT_EQ(VARIANT_TRUE, loaded) << label << ": " << body;
    TakeErrorInfo();
  }

  // An argument array of `count` copies of `value`.
  static CComVariant Repeated(const VARIANT& value, ULONG count) {
    CComVariant arguments;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
    VARIANT* slots = nullptr;
    EXPECT_EQ(S_OK, SafeArrayAccessData(array, reinterpret_cast<void**>(&slots)));
    // A shallow copy keeps tags VariantCopy refuses; the slots are emptied
    // before the array goes.
    for (ULONG i = 0; i < count; ++i) slots[i] = value;
    SafeArrayUnaccessData(array);
    arguments.vt = VT_ARRAY | VT_VARIANT;
    arguments.parray = array;
    return arguments;
  }
  static void ForgetShallowCopies(CComVariant& arguments) {
    VARIANT* slots = nullptr;
    const ULONG count = arguments.parray->rgsabound[0].cElements;
    SafeArrayAccessData(arguments.parray, reinterpret_cast<void**>(&slots));
    for (ULONG i = 0; i < count; ++i) VariantInit(&slots[i]);
    SafeArrayUnaccessData(arguments.parray);
  }

  CComPtr<IXMLDOMDocument2> someObject_;
  VARIANT referenced_{};
  LONG referencedLong_ = 42;
  VariantSet values_;
};

// The test service's "Everything" has one input and one output per data type.
constexpr ULONG kEverythingInputs = 23;

TEST_F(HostileValuesTest, EveryKindOfVariantAsEveryArgumentReturnValueAndEventValue) {
  CComPtr<IUPnPGenaMsgWriterHelper> gena;
  {
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_GenaMsgWriterHelper, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUPnPGenaMsgWriterHelper, reinterpret_cast<void**>(&gena)));
    ASSERT_EQ(S_OK, gena->LoadServiceDescription(AsVariant(LoadDataFile("scpd/all_types.xml"))));
  }
  int succeeded = 0, failed = 0;
  for (const auto& entry : values_.entries()) {
    const VARIANT& value = entry.value;
    // As every input of a request and every output of a response.
    CComVariant arguments = Repeated(value, kEverythingInputs);
    FakeMessageRef request = MakeRequestMessage();
    ExpectWholeOrNothing(
        readerWriter_->WriteInvokeActionRequest(request.message, CComBSTR(u"Everything"), arguments, nullptr), request,
        entry.label + " as request arguments");
    FakeMessageRef response = MakeResponseMessage();
    ExpectWholeOrNothing(readerWriter_->WriteInvokeActionResponse(response.message, CComBSTR(u"Everything"), arguments,
                                                                  nullptr, nullptr, nullptr),
                         response, entry.label + " as response arguments");
    ForgetShallowCopies(arguments);
    // As the argument list itself.
    FakeMessageRef whole = MakeRequestMessage();
    ExpectWholeOrNothing(readerWriter_->WriteInvokeActionRequest(whole.message, CComBSTR(u"Everything"), value, nullptr),
                         whole, entry.label + " as the argument list");
    // As a QueryStateVariable answer.
    FakeMessageRef answer = MakeResponseMessage();
    ExpectWholeOrNothing(readerWriter_->WriteQueryStateVariableResponse(answer.message, value, nullptr, nullptr),
                         answer, entry.label + " as a return value");
    // As an event value of every variable.
    for (const char16_t* name : VariableNames()) {
      BSTR text = nullptr;
      const HRESULT hr = gena->FormatStateVariableValue(CComBSTR(name), value, &text);
      (SUCCEEDED(hr) ? succeeded : failed)++;
      if (FAILED(hr)) {
        EXPECT_EQ(nullptr, text);
      }
      SysFreeString(text);
    }
    // As what a description is loaded from.
    CComPtr<IUPnPSoapMsgReaderWriter> fresh = NewReaderWriter();
    const HRESULT loaded = fresh->LoadServiceDescription(value);
    if (entry.label != "VT_DISPATCH" && entry.label != "VT_UNKNOWN") {
      EXPECT_TRUE(FAILED(loaded)) << entry.label;
    }
    TakeErrorInfo();
  }
  std::printf("[ SWEEP    ] %zu variants: %d event values formatted, %d refused\n", values_.entries().size(),
              succeeded, failed);
}

TEST_F(HostileValuesTest, MessageObjectsStoreWhatTheyCanCopyAndRefuseTheRest) {
  CComPtr<IUnknown> read;
  ASSERT_EQ(S_OK, ReadResponse(Envelope("<u:NoArgumentsResponse xmlns:u=\"urn:schemas-example-org:service:AllTypes:1\"/>"),
                               read));
  CComPtr<IUPnPInvokeActionResponse> response;
  ASSERT_EQ(S_OK, read->QueryInterface(IID_IUPnPInvokeActionResponse, reinterpret_cast<void**>(&response)));
  CComPtr<IUPnPQueryStateVariableResponse> answer;
  {
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_QueryStateVariableResponse, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUPnPQueryStateVariableResponse,
                                            reinterpret_cast<void**>(&answer)));
  }
  for (const auto& entry : values_.entries()) {
    if (SUCCEEDED(answer->SetReturnValue(entry.value))) {
      CComVariant back;
      EXPECT_EQ(S_OK, answer->GetReturnValue(&back)) << entry.label;
    }
    if (SUCCEEDED(response->SetArguments(entry.value))) {
      CComVariant back;
      EXPECT_EQ(S_OK, response->GetArguments(&back)) << entry.label;
    }
  }
}

TEST_F(HostileValuesTest, ArgumentListsOfTheWrongShapeAreRefusedOrReadFromTheirLowerBound) {
  // Two dimensions, the wrong element type, a lower bound of 1, by reference.
  SAFEARRAYBOUND square[2] = {{2, 0}, {14, 0}};
  CComVariant twoDimensions;
  twoDimensions.vt = VT_ARRAY | VT_VARIANT;
  twoDimensions.parray = SafeArrayCreate(VT_VARIANT, 2, square);
  CComVariant longs;
  longs.vt = VT_ARRAY | VT_I4;
  longs.parray = SafeArrayCreateVector(VT_I4, 0, kEverythingInputs);
  CComVariant strings;
  strings.vt = VT_ARRAY | VT_BSTR;
  strings.parray = SafeArrayCreateVector(VT_BSTR, 0, kEverythingInputs);
  CComVariant fromOne;
  fromOne.vt = VT_ARRAY | VT_VARIANT;
  fromOne.parray = SafeArrayCreateVector(VT_VARIANT, 1, 2);
  CComVariant byReference;
  byReference.vt = VT_BYREF | VT_ARRAY | VT_VARIANT;
  byReference.pparray = &fromOne.parray;
  for (const auto& shape : {std::make_pair("2 dimensions", &twoDimensions), std::make_pair("longs", &longs),
                            std::make_pair("strings", &strings), std::make_pair("lower bound 1", &fromOne),
                            std::make_pair("by reference", &byReference)}) {
    FakeMessageRef request = MakeRequestMessage();
    const HRESULT hr =
        readerWriter_->WriteInvokeActionRequest(request.message, CComBSTR(u"Echo"), *shape.second, nullptr);
    ExpectWholeOrNothing(hr, request, shape.first);
    FakeMessageRef response = MakeResponseMessage();
    ExpectWholeOrNothing(readerWriter_->WriteInvokeActionResponse(response.message, CComBSTR(u"Echo"), *shape.second,
                                                                  nullptr, nullptr, nullptr),
                         response, shape.first);
  }
  byReference.vt = VT_EMPTY;  // it borrowed fromOne's array
}

TEST_F(HostileValuesTest, NullPointersInEveryPositionAreRefused) {
  const CComVariant none = Arguments({});
  CComPtr<IUnknown> object;
  EXPECT_EQ(E_INVALIDARG, readerWriter_->ReadMessage(nullptr, &object));
  EXPECT_EQ(E_POINTER, readerWriter_->ReadMessage(MakeRequestMessage("x").message, nullptr));
  EXPECT_TRUE(FAILED(readerWriter_->WriteInvokeActionRequest(nullptr, CComBSTR(u"NoArguments"), none, nullptr)));
  EXPECT_TRUE(FAILED(readerWriter_->WriteQueryStateVariableRequest(nullptr, CComBSTR(u"V_i4"), nullptr)));
  EXPECT_TRUE(FAILED(
      readerWriter_->WriteInvokeActionResponse(nullptr, CComBSTR(u"NoArguments"), none, nullptr, nullptr, nullptr)));
  EXPECT_TRUE(FAILED(readerWriter_->WriteQueryStateVariableResponse(nullptr, CComVariant(1), nullptr, nullptr)));
  EXPECT_EQ(E_POINTER, readerWriter_->ParseStateVariableValue(CComBSTR(u"V_i4"), CComBSTR(u"1"), nullptr));
  // A null name or value is an empty one.
  FakeMessageRef request = MakeRequestMessage();
  ExpectWholeOrNothing(readerWriter_->WriteInvokeActionRequest(request.message, nullptr, none, nullptr), request,
                       "null action");
  FakeMessageRef query = MakeRequestMessage();
  ExpectWholeOrNothing(readerWriter_->WriteQueryStateVariableRequest(query.message, nullptr, nullptr), query,
                       "null variable");
  FakeMessageRef response = MakeResponseMessage();
  ExpectWholeOrNothing(
      readerWriter_->WriteInvokeActionResponse(response.message, nullptr, none, nullptr, nullptr, nullptr), response,
      "null action in a response");
  CComVariant parsed;
  EXPECT_TRUE(FAILED(readerWriter_->ParseStateVariableValue(nullptr, CComBSTR(u"1"), &parsed)));
  EXPECT_TRUE(SUCCEEDED(readerWriter_->ParseStateVariableValue(CComBSTR(u"V_uri"), nullptr, &parsed)));
  EXPECT_EQ(S_OK, readerWriter_->SetServiceType(nullptr));

  CComPtr<IUPnPGenaMsgWriterHelper> gena;
  {
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_GenaMsgWriterHelper, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUPnPGenaMsgWriterHelper, reinterpret_cast<void**>(&gena)));
  }
  CComVariant nullDocument;
  nullDocument.vt = VT_DISPATCH;
  nullDocument.pdispVal = nullptr;
  EXPECT_TRUE(FAILED(gena->LoadServiceDescription(nullDocument)));
  EXPECT_TRUE(FAILED(readerWriter_->LoadServiceDescription(nullDocument)));
  ASSERT_EQ(S_OK, gena->LoadServiceDescription(AsVariant(LoadDataFile("scpd/all_types.xml"))));
  EXPECT_EQ(E_POINTER, gena->ParseStateVariableValue(CComBSTR(u"V_i4"), CComBSTR(u"1"), nullptr));
  EXPECT_EQ(E_POINTER, gena->FormatStateVariableValue(CComBSTR(u"V_i4"), CComVariant(1), nullptr));
  EXPECT_TRUE(FAILED(gena->ParseStateVariableValue(nullptr, CComBSTR(u"1"), &parsed)));
  BSTR text = nullptr;
  EXPECT_TRUE(FAILED(gena->FormatStateVariableValue(nullptr, CComVariant(1), &text)));
  EXPECT_EQ(nullptr, text);
}

}  // namespace
}  // namespace varnel_test
