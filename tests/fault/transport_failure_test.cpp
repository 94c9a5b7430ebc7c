// Each call the library makes on the caller's transport fails in turn: the
// read or write answers a failure code, hands out no object, and sends no
// body it has not finished.
#include <functional>
#include <string>
#include <vector>

#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

constexpr HRESULT kTransportDown = static_cast<HRESULT>(0x80072EFDu);

struct TransportFault {
  const char* call;
  std::function<void(const FakeMessageRef&)> inject;
};

const std::vector<TransportFault>& WriteFaults() {
  static const std::vector<TransportFault> faults = {
      {"GetHeaderWriter", [](const FakeMessageRef& m) { m->FailGetHeaderWriter(kTransportDown); }},
      {"SetHeader", [](const FakeMessageRef& m) { m->headerWriter()->FailSetHeader(kTransportDown); }},
      {"SetContentLength", [](const FakeMessageRef& m) { m->headerWriter()->FailSetContentLength(kTransportDown); }},
      {"AttachHeaderSource", [](const FakeMessageRef& m) { m->headerWriter()->FailAttachHeaderSource(kTransportDown); }},
      {"GetBodyWriter", [](const FakeMessageRef& m) { m->FailGetBodyWriter(kTransportDown); }},
      {"Write", [](const FakeMessageRef& m) { m->bodyWriter()->FailWrite(kTransportDown); }},
      {"Write taking one byte less",
       [](const FakeMessageRef& m) { m->bodyWriter()->ReportWritten(FakeBodyWriter::Report::kOneShort); }},
  };
  return faults;
}

class TransportFailureTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("scpd/rendering_control.xml", kRenderingControl); }

  // Runs `write` once unfailed for the whole body, then once per fault.
  void ExpectEveryCallFailureRefused(const char* operation, FakeMessage::Kind kind, bool attachesSources,
                                     const std::function<HRESULT(const FakeMessageRef&)>& write) {
    FakeMessageRef unfailed = MakeMessage(kind);
    ASSERT_EQ(S_OK, write(unfailed)) << operation;
    const std::string complete = unfailed->bodyWriter()->body();
    ASSERT_FALSE(complete.empty());
    for (const TransportFault& fault : WriteFaults()) {
      SCOPED_TRACE(std::string(operation) + ", failing " + fault.call);
      if (!attachesSources && std::string(fault.call) == "AttachHeaderSource") continue;
      FakeMessageRef message = MakeMessage(kind);
      fault.inject(message);
      EXPECT_TRUE(FAILED(write(message)));
      const std::string& sent = message->bodyWriter()->body();
      if (std::string(fault.call) == "Write taking one byte less") {
        EXPECT_EQ(complete.substr(0, complete.size() - 1), sent);  // all the writer took
        EXPECT_EQ(1, message->bodyWriter()->writeCount());
      } else {
        EXPECT_EQ("", sent);
      }
    }
  }
};

TEST_F(TransportFailureTest, EveryWriteCallFailingFailsTheWriteWithNothingPartialSent) {
  const CComBSTR setVolume(u"SetVolume"), getVolume(u"GetVolume");
  const CComVariant in = Arguments({CComVariant(0u), CComVariant(u"Master"), CComVariant(uint16_t{42})});
  const CComVariant out = Arguments({CComVariant(uint16_t{7})});
  auto source = MakeFake<FakeHeaderSource>();
  IUnknown* header = static_cast<IMessageHeaderSource*>(source.p);
  ExpectEveryCallFailureRefused("request", FakeMessage::Kind::kRequest, true, [&](const FakeMessageRef& m) {
    return readerWriter_->WriteInvokeActionRequest(m.message, setVolume, in, header);
  });
  ExpectEveryCallFailureRefused("response", FakeMessage::Kind::kResponse, true, [&](const FakeMessageRef& m) {
    return readerWriter_->WriteInvokeActionResponse(m.message, getVolume, out, nullptr, header, header);
  });
  ExpectEveryCallFailureRefused("query", FakeMessage::Kind::kRequest, true, [&](const FakeMessageRef& m) {
    return readerWriter_->WriteQueryStateVariableRequest(m.message, CComBSTR(u"Volume"), header);
  });
}

TEST_F(TransportFailureTest, EveryReadCallFailingFailsTheReadWithoutAnObject) {
  const std::string body = Envelope(
      "<u:GetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\">"
      "<InstanceID>0</InstanceID><Channel>Master</Channel></u:GetVolume>");
  const std::vector<TransportFault> faults = {
      {"GetBodyReader", [](const FakeMessageRef& m) { m->FailGetBodyReader(kTransportDown); }},
      {"first Read", [](const FakeMessageRef& m) { m->bodyReader()->FailReadsFrom(0, kTransportDown); }},
      {"a later Read",
       [](const FakeMessageRef& m) {
         m->bodyReader()->SetChunkSize(16);
         m->bodyReader()->FailReadsFrom(64, kTransportDown);
       }},
  };
  for (const TransportFault& fault : faults) {
    SCOPED_TRACE(fault.call);
    FakeMessageRef request = MakeRequestMessage(body);
    fault.inject(request);
    CComPtr<IUnknown> object;
    EXPECT_TRUE(FAILED(Read(request, object)));
    EXPECT_FALSE(object);
  }
}

}  // namespace
}  // namespace varnel_test
