// The transport interfaces' binary slots, and the fakes that later tests of
// reading and writing rely on to record and fail faithfully.
#include "support/transport_fakes.h"

#include <gtest/gtest.h>

#include <string>

#include "comrt/diagnostics.h"
#include "varnel/varnel.h"

namespace varnel_test {
namespace {

// Calls entry `slot` of the interface's table as a caller built against the
// binary layout does, bypassing the C++ declarations.
template <class Result, class... Args>
Result CallSlot(void* itf, int slot, Args... args) {
  using Entry = Result (*)(void*, Args...);
  void** table = *static_cast<void***>(itf);
  return reinterpret_cast<Entry>(table[slot])(itf, args...);
}

template <class Interface>
CComPtr<Interface> Query(IUnknown* object) {
  CComPtr<Interface> found;
  object->QueryInterface(comrt::uuidof<Interface>(), reinterpret_cast<void**>(&found));
  return found;
}

TEST(TransportSlotsTest, MessageGettersSitInSlotsFiveToSeven) {
  FakeMessageRef made = MakeRequestMessage();
  CComPtr<ITransportMessage> message = Query<ITransportMessage>(made.message);
  ASSERT_TRUE(message);

  CComPtr<IMessageHeaderWriter> headers;
  EXPECT_EQ(S_OK, (CallSlot<HRESULT, IMessageHeaderWriter**>(message, 5, &headers)));
  EXPECT_EQ(static_cast<IMessageHeaderWriter*>(made->headerWriter()), headers.p);
  CComPtr<IMessageBodyReader> reader;
  EXPECT_EQ(S_OK, (CallSlot<HRESULT, IMessageBodyReader**>(message, 6, &reader)));
  EXPECT_EQ(static_cast<IMessageBodyReader*>(made->bodyReader()), reader.p);
  CComPtr<IMessageBodyWriter> body;
  EXPECT_EQ(S_OK, (CallSlot<HRESULT, BYTE, IMessageBodyWriter**>(message, 7, 1, &body)));
  EXPECT_EQ(static_cast<IMessageBodyWriter*>(made->bodyWriter()), body.p);

  EXPECT_EQ((CallLog{"GetHeaderWriter", "GetBodyReader", "GetBodyWriter"}), made->log());
  EXPECT_EQ(std::vector<BYTE>{1}, made->bodyWriterFlags());
}

TEST(TransportSlotsTest, SetSendingSitsInSlotEighteenOfRequestAndResponse) {
  FakeMessageRef request = MakeRequestMessage();
  CComPtr<ITransportRequestMessage> asRequest = Query<ITransportRequestMessage>(request.message);
  ASSERT_TRUE(asRequest);
  EXPECT_EQ(S_OK, (CallSlot<HRESULT, BOOL>(asRequest, 18, TRUE)));
  EXPECT_EQ(std::vector<BOOL>{TRUE}, request->sendingValues());

  FakeMessageRef response = MakeResponseMessage();
  CComPtr<ITransportResponseMessage> asResponse = Query<ITransportResponseMessage>(response.message);
  ASSERT_TRUE(asResponse);
  EXPECT_EQ(S_OK, (CallSlot<HRESULT, BOOL>(asResponse, 18, FALSE)));
  EXPECT_EQ(CallLog{"SetSending(0)"}, response->log());
}

TEST(TransportSlotsTest, WriterMethodsSitInTheirSlots) {
  FakeMessageRef made = MakeRequestMessage();
  IMessageHeaderWriter* headers = made->headerWriter();
  FakePtr<FakeHeaderSource> source = MakeFake<FakeHeaderSource>();
  EXPECT_EQ(S_OK, (CallSlot<HRESULT, const char*, const char*>(headers, 3, "SOAPACTION", "\"urn:x#Go\"")));
  EXPECT_EQ(S_OK, (CallSlot<HRESULT, ULONGLONG>(headers, 4, 0x100000000ull)));
  EXPECT_EQ(S_OK, (CallSlot<HRESULT, IMessageHeaderSource*>(headers, 6, source.p)));
  EXPECT_EQ("\"urn:x#Go\"", made->headerWriter()->header("SOAPACTION"));
  EXPECT_EQ(0x100000000ull, made->headerWriter()->contentLength());
  ASSERT_EQ(1u, made->headerWriter()->attachedSources().size());
  EXPECT_EQ(static_cast<IMessageHeaderSource*>(source.p), made->headerWriter()->attachedSources()[0].p);

  IMessageBodyWriter* body = made->bodyWriter();
  const BYTE bytes[] = {'<', 'a', '/', '>'};
  ULONG written = 0;
  EXPECT_EQ(S_OK, (CallSlot<HRESULT, const BYTE*, ULONG, USHORT, ULONG*>(body, 5, bytes, 4, 0, &written)));
  EXPECT_EQ(4u, written);
  EXPECT_EQ("<a/>", made->bodyWriter()->body());
}

TEST(FakeMessageTest, KindDecidesWhichMessageInterfaceAnswers) {
  FakeMessageRef request = MakeRequestMessage();
  EXPECT_TRUE(Query<ITransportMessage>(request.message));
  EXPECT_TRUE(Query<ITransportRequestMessage>(request.message));
  EXPECT_FALSE(Query<ITransportResponseMessage>(request.message));
  // One identity whichever interface is asked.
  EXPECT_TRUE(Query<ITransportRequestMessage>(request.message).IsEqualObject(request.message));

  FakeMessageRef response = MakeResponseMessage();
  EXPECT_TRUE(Query<ITransportMessage>(response.message));
  EXPECT_FALSE(Query<ITransportRequestMessage>(response.message));
  EXPECT_TRUE(Query<ITransportResponseMessage>(response.message));

  FakeMessageRef neither = MakeMessage(FakeMessage::Kind::kNeither);
  EXPECT_TRUE(Query<ITransportMessage>(neither.message));
  EXPECT_FALSE(Query<ITransportRequestMessage>(neither.message));
  EXPECT_FALSE(Query<ITransportResponseMessage>(neither.message));
}

TEST(FakeMessageTest, LogKeepsCallsOfMessageAndItsWritersInOrder) {
  FakeMessageRef made = MakeResponseMessage();
  CComPtr<ITransportResponseMessage> message = Query<ITransportResponseMessage>(made.message);
  CComPtr<IMessageHeaderWriter> headers;
  message->GetHeaderWriter(&headers);
  headers->SetHeader("CONTENT-TYPE", "text/xml; charset=\"utf-8\"");
  headers->SetContentLength(2);
  message->SetSending(TRUE);
  CComPtr<IMessageBodyWriter> body;
  message->GetBodyWriter(1, &body);
  ULONG written = 0;
  body->Write(reinterpret_cast<const BYTE*>("ok"), 2, 0, &written);
  message->SetSending(FALSE);
  EXPECT_EQ((CallLog{"GetHeaderWriter", "SetHeader(CONTENT-TYPE)", "SetContentLength", "SetSending(1)",
                     "GetBodyWriter", "Write", "SetSending(0)"}),
            made->log());
  EXPECT_EQ((std::vector<BOOL>{TRUE, FALSE}), made->sendingValues());
}

TEST(FakeBodyReaderTest, BodyReadsBackWholeInSmallChunks) {
  std::string body;
  for (int i = 0; i < 40; ++i) body += "<arg" + std::to_string(i) + ">value</arg" + std::to_string(i) + ">";
  FakeMessageRef made = MakeRequestMessage(body);
  made->bodyReader()->SetChunkSize(7);
  CComPtr<IMessageBodyReader> reader;
  ASSERT_EQ(S_OK, Query<ITransportMessage>(made.message)->GetBodyReader(&reader));
  CComPtr<ISequentialStream> stream = Query<ISequentialStream>(reader);
  ASSERT_TRUE(stream);

  std::string got;
  char buffer[64];
  ULONG read = 0;
  HRESULT hr;
  while ((hr = stream->Read(buffer, sizeof buffer, &read)) == S_OK) {
    EXPECT_EQ(7u, read);  // a chunk short of the buffer still says S_OK
    got.append(buffer, read);
  }
  EXPECT_EQ(S_FALSE, hr);  // the end cut this one short
  EXPECT_LE(read, 7u);
  got.append(buffer, read);
  EXPECT_EQ(body, got);
  EXPECT_EQ(static_cast<int>((body.size() + 6) / 7), made->bodyReader()->readCount());
}

TEST(FakeBodyReaderTest, EndMetExactlyAnswersOnTheNextRead) {
  FakePtr<FakeBodyReader> reader = MakeFake<FakeBodyReader>();
  reader->SetBody("abcd");
  char buffer[4];
  ULONG read = 99;
  EXPECT_EQ(S_OK, reader->Read(buffer, 4, &read));
  EXPECT_EQ(4u, read);
  EXPECT_EQ(S_FALSE, reader->Read(buffer, 4, &read));
  EXPECT_EQ(0u, read);
}

TEST(FakeBodyReaderTest, CanLackSequentialStream) {
  FakePtr<FakeBodyReader> reader = MakeFake<FakeBodyReader>();
  reader->WithoutSequentialStream();
  ISequentialStream* stream = reinterpret_cast<ISequentialStream*>(1);
  EXPECT_EQ(E_NOINTERFACE, reader->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&stream)));
  EXPECT_EQ(nullptr, stream);
}

TEST(FakeFailureTest, HeaderWriterAnswersTheGivenCodesAndRecordsNothing) {
  FakePtr<FakeHeaderWriter> headers = MakeFake<FakeHeaderWriter>();
  FakePtr<FakeHeaderSource> source = MakeFake<FakeHeaderSource>();
  headers->FailSetHeader(E_OUTOFMEMORY);
  headers->FailSetContentLength(E_INVALIDARG);
  headers->FailAttachHeaderSource(E_ACCESSDENIED);
  EXPECT_EQ(E_OUTOFMEMORY, headers->SetHeader("HOST", "h"));
  EXPECT_EQ(E_INVALIDARG, headers->SetContentLength(5));
  EXPECT_EQ(E_ACCESSDENIED, headers->AttachHeaderSource(source));
  EXPECT_TRUE(headers->headers().empty());
  EXPECT_FALSE(headers->contentLength());
  EXPECT_TRUE(headers->attachedSources().empty());
}

TEST(FakeFailureTest, BodyWriterFailsOrMiscountsAsTold) {
  const BYTE bytes[] = {'a', 'b', 'c'};
  ULONG written = 99;
  FakePtr<FakeBodyWriter> failing = MakeFake<FakeBodyWriter>();
  failing->FailWrite(STG_E_MEDIUMFULL);
  EXPECT_EQ(STG_E_MEDIUMFULL, failing->Write(bytes, 3, 0, &written));
  EXPECT_EQ(0u, written);
  EXPECT_EQ("", failing->body());
  EXPECT_EQ(1, failing->writeCount());

  FakePtr<FakeBodyWriter> shortWriter = MakeFake<FakeBodyWriter>();
  shortWriter->ReportWritten(FakeBodyWriter::Report::kOneShort);
  EXPECT_EQ(S_OK, shortWriter->Write(bytes, 3, 0, &written));
  EXPECT_EQ(2u, written);
  EXPECT_EQ("ab", shortWriter->body());

  FakePtr<FakeBodyWriter> overWriter = MakeFake<FakeBodyWriter>();
  overWriter->ReportWritten(FakeBodyWriter::Report::kOneOver);
  EXPECT_EQ(S_OK, overWriter->Write(bytes, 3, 0, &written));
  EXPECT_EQ(4u, written);
  EXPECT_EQ("abc", overWriter->body());
}

TEST(FakeFailureTest, MessageGettersFailOrHandOutNullAsTold) {
  FakeMessageRef made = MakeRequestMessage("<x/>");
  made->FailGetHeaderWriter(E_OUTOFMEMORY);
  made->FailGetBodyReader(E_FAIL);
  made->FailGetBodyWriter(E_ABORT);
  made->AnswerSetSending(E_UNEXPECTED);
  CComPtr<ITransportRequestMessage> message = Query<ITransportRequestMessage>(made.message);
  CComPtr<IMessageHeaderWriter> headers;
  CComPtr<IMessageBodyReader> reader;
  CComPtr<IMessageBodyWriter> body;
  EXPECT_EQ(E_OUTOFMEMORY, message->GetHeaderWriter(&headers));
  EXPECT_EQ(E_FAIL, message->GetBodyReader(&reader));
  EXPECT_EQ(E_ABORT, message->GetBodyWriter(1, &body));
  EXPECT_EQ(E_UNEXPECTED, message->SetSending(TRUE));
  EXPECT_FALSE(headers || reader || body);

  FakeMessageRef bare = MakeResponseMessage();
  bare->SetHeaderWriter(nullptr);
  CComPtr<IMessageHeaderWriter> none;
  EXPECT_EQ(S_OK, Query<ITransportMessage>(bare.message)->GetHeaderWriter(&none));
  EXPECT_FALSE(none);
}

TEST(FakeFailureTest, ReaderFailsFromTheGivenOffset) {
  FakePtr<FakeBodyReader> reader = MakeFake<FakeBodyReader>();
  reader->SetBody("0123456789");
  reader->FailReadsFrom(6, STG_E_READFAULT);
  char buffer[10];
  ULONG read = 0;
  EXPECT_EQ(S_OK, reader->Read(buffer, 10, &read));
  EXPECT_EQ(6u, read);
  EXPECT_EQ(STG_E_READFAULT, reader->Read(buffer, 10, &read));
  EXPECT_EQ(0u, read);
}

TEST(FakeMessageTest, PartsAreCountedObjectsReleasedWithTheMessage) {
  const comrt::diagnostics::LiveCounts before = comrt::diagnostics::GetLiveCounts();
  {
    FakeMessageRef made = MakeRequestMessage("<x/>");
    FakePtr<FakeHeaderSource> source = MakeFake<FakeHeaderSource>();
    made->headerWriter()->AttachHeaderSource(source);
    EXPECT_EQ(before.objects + 5, comrt::diagnostics::GetLiveCounts().objects);
  }
  EXPECT_EQ(before, comrt::diagnostics::GetLiveCounts());
}

}  // namespace
}  // namespace varnel_test
