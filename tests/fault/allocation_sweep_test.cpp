// Every allocation of every whole operation fails once, in turn: each run
// answers a failure code, or S_OK with exactly what the unfailed run gave,
// and leaves nothing alive.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/variant.h"
#include "fault/allocation_sweep.h"
#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

const std::string kGetVolume =
    "<u:GetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\">"
    "<InstanceID>0</InstanceID><Channel>Master</Channel></u:GetVolume>";
const std::string kGetVolumeResponse =
    "<u:GetVolumeResponse xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\">"
    "<CurrentVolume>42</CurrentVolume></u:GetVolumeResponse>";
const std::string kQueryVolume =
    "<u:QueryStateVariable xmlns:u=\"urn:schemas-upnp-org:control-1-0\"><u:varName>Volume</u:varName>"
    "</u:QueryStateVariable>";
const std::string kQueryVolumeResponse =
    "<u:QueryStateVariableResponse xmlns:u=\"urn:schemas-upnp-org:control-1-0\"><return>42</return>"
    "</u:QueryStateVariableResponse>";
const std::string kFault =
    "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
    "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>402</errorCode>"
    "<errorDescription>Invalid Args</errorDescription></UPnPError></detail></s:Fault>";

std::string Utf8(const BSTR text) {
  std::string out;
  if (!text) return "<null>";
  for (const char16_t* c = text; *c; ++c) out += *c < 0x80 ? static_cast<char>(*c) : '?';
  return out;
}

std::string Describe(const VARIANT& value) {
  CComVariant text;
  std::string out = "vt " + std::to_string(value.vt) + " ";
  if (value.vt == VT_BSTR) return out + Utf8(value.bstrVal);
  if (text.ChangeType(VT_BSTR, &value) == S_OK) return out + Utf8(text.bstrVal);
  return out + "?";
}

std::string DescribeArguments(const VARIANT& arguments) {
  std::string out = "[";
  for (const CComVariant& value : ValuesOf(arguments)) out += Describe(value) + "; ";
  return out + "]";
}

// The message object as text: its kind, name and values.
std::string Describe(IUnknown* object) {
  if (CComQIPtr<IUPnPInvokeActionRequest> request{object}) {
    CComBSTR name;
    CComVariant arguments;
    const HRESULT hr = request->GetArguments(&arguments);
    request->GetActionName(&name);
    return "request " + Utf8(name) + " " + std::to_string(hr) + " " + DescribeArguments(arguments);
  }
  if (CComQIPtr<IUPnPInvokeActionResponse> response{object}) {
    CComBSTR name;
    CComVariant arguments;
    const HRESULT hr = response->GetArguments(&arguments);
    response->GetActionName(&name);
    return "response " + Utf8(name) + " " + std::to_string(hr) + " " + DescribeArguments(arguments);
  }
  if (CComQIPtr<IUPnPQueryStateVariableRequest> query{object}) {
    CComBSTR name;
    query->GetVariableName(&name);
    return "query " + Utf8(name);
  }
  if (CComQIPtr<IUPnPQueryStateVariableResponse> answer{object}) {
    CComVariant value;
    const HRESULT hr = answer->GetReturnValue(&value);
    return "answer " + std::to_string(hr) + " " + Describe(value);
  }
  if (CComQIPtr<IUPnPSoapErrorMsg> fault{object}) {
    LONG code = 0;
    CComBSTR description;
    fault->GetErrorCode(&code);
    fault->GetErrorDescription(&description);
    return "fault " + std::to_string(code) + " " + Utf8(description);
  }
  return object ? "an unknown object" : "no object";
}

// Everything a write sent through the fake: headers, length, body, in order.
std::string Sent(const FakeMessageRef& message) {
  std::string out;
  for (const auto& header : message->headerWriter()->headers()) out += header.first + ": " + header.second + "\n";
  if (message->headerWriter()->contentLength()) out += "length " + std::to_string(*message->headerWriter()->contentLength()) + "\n";
  for (const std::string& call : message->log()) out += call + ",";
  return out + "\n" + message->bodyWriter()->body();
}

CComPtr<IUPnPSoapErrorMsg> ErrorMessage(LONG code, const char16_t* description) {
  CComPtr<IClassFactory> factory;
  DllGetClassObject(CLSID_SoapErrorMsg, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  CComPtr<IUPnPSoapErrorMsg> error;
  factory->CreateInstance(nullptr, IID_IUPnPSoapErrorMsg, reinterpret_cast<void**>(&error));
  error->SetErrorCode(code);
  error->SetErrorDescription(CComBSTR(description));
  return error;
}

class AllocationSweepTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("scpd/rendering_control.xml", kRenderingControl); }

  static void ExpectClean(const SweepSummary& summary) {
    EXPECT_GT(summary.runs, 1) << summary.operation;
    EXPECT_EQ(0, summary.wrongSuccesses) << summary.operation;
    EXPECT_EQ(0, summary.leaks) << summary.operation;
  }

  SweepSummary SweepRead(const std::string& name, FakeMessage::Kind kind, const std::string& body) {
    return SweepAllocations(name, [&](Armed& armed) {
      FakeMessageRef message = MakeMessage(kind, Envelope(body));
      CComPtr<IUnknown> object;
      Outcome outcome{armed([&] { return readerWriter_->ReadMessage(message.message, &object); })};
      if (outcome.hr == S_OK) outcome.result = Describe(object);
      return outcome;
    });
  }

  // A write's outcome; a failed write must have sent no body, or the whole one.
  SweepSummary SweepWrite(const std::string& name, FakeMessage::Kind kind,
                          const std::function<HRESULT(IUnknown*)>& write) {
    std::set<std::string> partial;
    std::string complete;
    SweepSummary summary = SweepAllocations(name, [&](Armed& armed) {
      FakeMessageRef message = MakeMessage(kind);
      Outcome outcome{armed([&] { return write(message.message); })};
      const std::string& body = message->bodyWriter()->body();
      if (outcome.hr == S_OK) {
        outcome.result = Sent(message);
        if (complete.empty()) complete = body;
      } else if (!body.empty() && body != complete) {
        partial.insert(body);
      }
      return outcome;
    });
    EXPECT_TRUE(partial.empty()) << name << " sent part of a body: " << *partial.begin();
    return summary;
  }
};

TEST_F(AllocationSweepTest, ReadingRequestsResponsesAndFaults) {
  ExpectClean(SweepRead("ReadMessage(request)", FakeMessage::Kind::kRequest, kGetVolume));
  ExpectClean(SweepRead("ReadMessage(response)", FakeMessage::Kind::kResponse, kGetVolumeResponse));
  ExpectClean(SweepRead("ReadMessage(fault)", FakeMessage::Kind::kResponse, kFault));
}

TEST_F(AllocationSweepTest, QueryStateVariableReadsAndWrites) {
  ExpectClean(SweepRead("ReadMessage(query)", FakeMessage::Kind::kRequest, kQueryVolume));
  ExpectClean(SweepRead("ReadMessage(query response)", FakeMessage::Kind::kResponse, kQueryVolumeResponse));
  const CComBSTR volume(u"Volume");
  const CComVariant value(uint16_t{42});
  const CComPtr<IUPnPSoapErrorMsg> error = ErrorMessage(404, u"Invalid Var");
  ExpectClean(SweepWrite("WriteQueryStateVariableRequest", FakeMessage::Kind::kRequest, [&](IUnknown* message) {
    return readerWriter_->WriteQueryStateVariableRequest(message, volume, nullptr);
  }));
  ExpectClean(SweepWrite("WriteQueryStateVariableResponse", FakeMessage::Kind::kResponse, [&](IUnknown* message) {
    return readerWriter_->WriteQueryStateVariableResponse(message, value, nullptr, nullptr);
  }));
  ExpectClean(SweepWrite("WriteQueryStateVariableResponse(fault)", FakeMessage::Kind::kResponse,
                         [&](IUnknown* message) {
                           return readerWriter_->WriteQueryStateVariableResponse(message, CComVariant(), error,
                                                                                nullptr);
                         }));
}

TEST_F(AllocationSweepTest, WritingRequestsResponsesAndFaults) {
  // Inputs are made once, outside the swept calls.
  const CComBSTR setVolume(u"SetVolume"), getVolume(u"GetVolume");
  const CComVariant inArguments = Arguments({CComVariant(0u), CComVariant(u"Master"), CComVariant(uint16_t{42})});
  const CComVariant outArguments = Arguments({CComVariant(uint16_t{7})});
  const CComPtr<IUPnPSoapErrorMsg> error = ErrorMessage(402, u"Invalid Args");
  ExpectClean(SweepWrite("WriteInvokeActionRequest", FakeMessage::Kind::kRequest, [&](IUnknown* message) {
    return readerWriter_->WriteInvokeActionRequest(message, setVolume, inArguments, nullptr);
  }));
  ExpectClean(SweepWrite("WriteInvokeActionResponse", FakeMessage::Kind::kResponse, [&](IUnknown* message) {
    return readerWriter_->WriteInvokeActionResponse(message, getVolume, outArguments, nullptr, nullptr, nullptr);
  }));
  ExpectClean(SweepWrite("WriteInvokeActionResponse(fault)", FakeMessage::Kind::kResponse, [&](IUnknown* message) {
    return readerWriter_->WriteInvokeActionResponse(message, getVolume, CComVariant(), error, nullptr, nullptr);
  }));
}

TEST_F(AllocationSweepTest, LoadingAServiceDescription) {
  CComPtr<IXMLDOMDocument2> description = LoadDataFile("scpd/rendering_control.xml");
  ExpectClean(SweepAllocations("LoadServiceDescription", [&](Armed& armed) {
    CComPtr<IUPnPSoapMsgReaderWriter> fresh = NewReaderWriter();
    fresh->SetServiceType(CComBSTR(kRenderingControl));
    Outcome outcome{armed([&] { return fresh->LoadServiceDescription(AsVariant(description)); })};
    if (outcome.hr != S_OK) return outcome;
    // What was loaded shows in what the reader/writer can then read and write.
    FakeMessageRef request = MakeRequestMessage(Envelope(kGetVolume));
    CComPtr<IUnknown> object;
    outcome.result = std::to_string(fresh->ReadMessage(request.message, &object)) + " " + Describe(object);
    FakeMessageRef response = MakeResponseMessage();
    outcome.result += std::to_string(fresh->WriteInvokeActionResponse(
        response.message, CComBSTR(u"GetVolume"), Arguments({CComVariant(uint16_t{7})}), nullptr, nullptr, nullptr));
    outcome.result += Sent(response);
    return outcome;
  }));
}

class EventConverterSweepTest : public ::testing::Test {
 protected:
  static CComPtr<IUPnPGenaMsgWriterHelper> NewHelper() {
    CComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK, DllGetClassObject(CLSID_GenaMsgWriterHelper, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    CComPtr<IUPnPGenaMsgWriterHelper> helper;
    if (factory) factory->CreateInstance(nullptr, IID_IUPnPGenaMsgWriterHelper, reinterpret_cast<void**>(&helper));
    return helper;
  }
};

TEST_F(EventConverterSweepTest, LoadingParsingAndFormatting) {
  CComPtr<IXMLDOMDocument2> description = LoadDataFile("scpd/rendering_control.xml");
  {
    const SweepSummary load = SweepAllocations("Gena LoadServiceDescription", [&](Armed& armed) {
      CComPtr<IUPnPGenaMsgWriterHelper> helper = NewHelper();
      Outcome outcome{armed([&] { return helper->LoadServiceDescription(AsVariant(description)); })};
      if (outcome.hr != S_OK) return outcome;
      CComVariant value;
      outcome.result = std::to_string(helper->ParseStateVariableValue(CComBSTR(u"Volume"), CComBSTR(u"42"), &value));
      outcome.result += Describe(value);
      return outcome;
    });
    EXPECT_GT(load.runs, 1);
    EXPECT_EQ(0, load.wrongSuccesses);
    EXPECT_EQ(0, load.leaks);
  }
  CComPtr<IUPnPGenaMsgWriterHelper> helper = NewHelper();
  ASSERT_EQ(S_OK, helper->LoadServiceDescription(AsVariant(description)));
  struct Case {
    const char16_t* variable;
    const char16_t* text;
    CComVariant value;
  };
  const Case cases[] = {{u"Volume", u"42", CComVariant(uint16_t{42})},
                        {u"Mute", u"1", CComVariant(true)},
                        {u"LastChange", u"<Event>&amp;</Event>", CComVariant(u"<Event>&amp;</Event>")}};
  for (const Case& c : cases) {
    const std::string name = Utf8(const_cast<BSTR>(c.variable));
    const SweepSummary parse = SweepAllocations("Gena Parse " + name, [&](Armed& armed) {
      CComBSTR variable(c.variable), text(c.text);
      CComVariant value;
      Outcome outcome{armed([&] { return helper->ParseStateVariableValue(variable, text, &value); })};
      if (outcome.hr == S_OK) outcome.result = Describe(value);
      return outcome;
    });
    const SweepSummary format = SweepAllocations("Gena Format " + name, [&](Armed& armed) {
      CComBSTR variable(c.variable), text;
      Outcome outcome{armed([&] { return helper->FormatStateVariableValue(variable, c.value, &text); })};
      if (outcome.hr == S_OK) outcome.result = Utf8(text);
      return outcome;
    });
    for (const SweepSummary* summary : {&parse, &format}) {
      EXPECT_EQ(0, summary->wrongSuccesses) << summary->operation;
      EXPECT_EQ(0, summary->leaks) << summary->operation;
    }
  }
}

}  // namespace
}  // namespace varnel_test
