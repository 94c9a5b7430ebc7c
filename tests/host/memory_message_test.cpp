// The kit's in-memory transport as the library meets it: which way a message
// travels, what a write leaves readable, and bodies read more than once.
#include <gtest/gtest.h>

#include <string>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/stream.h"
#include "varnel/host/memory_message.h"

namespace {

using varnel::host::Direction;
using varnel::host::MemoryMessage;

std::string ReadAll(ISequentialStream* stream, ULONG chunk) {
  std::string read;
  char buffer[64];
  ULONG got = 0;
  HRESULT hr;
  do {
    hr = stream->Read(buffer, chunk, &got);
    read.append(buffer, got);
  } while (hr == S_OK && got == chunk);
  return read;
}

CComPtr<ISequentialStream> BodyStream(const MemoryMessage& message) {
  CComPtr<ITransportMessage> transport;
  EXPECT_EQ(S_OK, message.Transport()->QueryInterface(IID_ITransportMessage, reinterpret_cast<void**>(&transport)));
  CComPtr<IMessageBodyReader> reader;
  EXPECT_EQ(S_OK, transport->GetBodyReader(&reader));
  CComPtr<ISequentialStream> stream;
  EXPECT_EQ(S_OK, reader->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&stream)));
  return stream;
}

TEST(MemoryMessageTest, DirectionIsTheInterfaceTheMessageAnswers) {
  const MemoryMessage request(Direction::kRequest);
  const MemoryMessage response(Direction::kResponse);
  CComPtr<IUnknown> found;
  EXPECT_EQ(S_OK, request.Transport()->QueryInterface(IID_ITransportRequestMessage, reinterpret_cast<void**>(&found)));
  found.Release();
  EXPECT_EQ(E_NOINTERFACE,
            request.Transport()->QueryInterface(IID_ITransportResponseMessage, reinterpret_cast<void**>(&found)));
  EXPECT_EQ(S_OK, response.Transport()->QueryInterface(IID_ITransportResponseMessage, reinterpret_cast<void**>(&found)));
  found.Release();
  EXPECT_EQ(E_NOINTERFACE,
            response.Transport()->QueryInterface(IID_ITransportRequestMessage, reinterpret_cast<void**>(&found)));
}

TEST(MemoryMessageTest, EveryReaderReadsTheBodyFromItsStart) {
  MemoryMessage message(Direction::kRequest, "0123456789abcdef");
  CComPtr<ISequentialStream> first = BodyStream(message);
  EXPECT_EQ("0123456789abcdef", ReadAll(first, 5));  // the last read is short and answers S_FALSE
  EXPECT_EQ("0123456789abcdef", ReadAll(BodyStream(message), 64));

  // A reader keeps the body it was handed out with.
  CComPtr<ISequentialStream> old = BodyStream(message);
  message.SetReceivedBody("new");
  EXPECT_EQ("0123456789abcdef", ReadAll(old, 64));
  EXPECT_EQ("new", ReadAll(BodyStream(message), 64));
  EXPECT_EQ("new", message.ReceivedBody());
}

TEST(MemoryMessageTest, WhatIsWrittenStaysReadable) {
  MemoryMessage message(Direction::kResponse);
  CComPtr<ITransportResponseMessage> transport;
  ASSERT_EQ(S_OK,
            message.Transport()->QueryInterface(IID_ITransportResponseMessage, reinterpret_cast<void**>(&transport)));
  CComPtr<IMessageHeaderWriter> headers;
  ASSERT_EQ(S_OK, transport->GetHeaderWriter(&headers));
  EXPECT_EQ(S_OK, headers->SetHeader("CONTENT-TYPE", "text/xml"));
  EXPECT_EQ(S_OK, headers->SetHeader("Ext", ""));
  EXPECT_EQ(S_OK, headers->SetHeader("content-type", "text/plain"));
  EXPECT_EQ(E_POINTER, headers->SetHeader(nullptr, "x"));
  EXPECT_EQ(S_OK, headers->SetContentLength(3));

  EXPECT_EQ(S_OK, transport->SetSending(TRUE));
  CComPtr<IMessageBodyWriter> body;
  ASSERT_EQ(S_OK, transport->GetBodyWriter(1, &body));
  ULONG written = 0;
  EXPECT_EQ(S_OK, body->Write(reinterpret_cast<const BYTE*>("abc"), 3, 0, &written));
  EXPECT_EQ(3u, written);
  EXPECT_TRUE(message.Sending());
  EXPECT_EQ(S_OK, transport->SetSending(FALSE));
  EXPECT_EQ(S_OK, body->Write(reinterpret_cast<const BYTE*>("de"), 2, 0, &written));

  ASSERT_EQ(3u, message.Headers().size());
  EXPECT_EQ("CONTENT-TYPE", message.Headers()[0].name);
  ASSERT_NE(nullptr, message.FindHeader("Content-Type"));
  EXPECT_EQ("text/plain", *message.FindHeader("Content-Type"));  // the last one set
  EXPECT_EQ(nullptr, message.FindHeader("SOAPACTION"));
  EXPECT_EQ(3u, message.ContentLength().value_or(0));
  EXPECT_EQ("abcde", message.Body());
  EXPECT_FALSE(message.Sending());
  EXPECT_EQ((std::vector<bool>{true, false}), message.SendingChanges());
  EXPECT_EQ(2u, message.BytesWrittenOutsideSending());
  EXPECT_EQ("CONTENT-TYPE: text/xml\r\nExt: \r\ncontent-type: text/plain\r\nCONTENT-LENGTH: 3\r\n",
            message.HeaderText());

  message.ClearWritten();
  EXPECT_TRUE(message.Headers().empty());
  EXPECT_FALSE(message.ContentLength());
  EXPECT_TRUE(message.Body().empty());
  EXPECT_TRUE(message.SendingChanges().empty());
  EXPECT_EQ(0u, message.BytesWrittenOutsideSending());
}

TEST(MemoryMessageTest, PartsOutliveTheMessageThatHandedThemOut) {
  CComPtr<IMessageBodyWriter> body;
  {
    MemoryMessage message(Direction::kRequest);
    CComPtr<ITransportMessage> transport;
    ASSERT_EQ(S_OK, message.Transport()->QueryInterface(IID_ITransportMessage, reinterpret_cast<void**>(&transport)));
    ASSERT_EQ(S_OK, transport->GetBodyWriter(1, &body));
  }
  ULONG written = 0;
  EXPECT_EQ(S_OK, body->Write(reinterpret_cast<const BYTE*>("x"), 1, 0, &written));
  EXPECT_EQ(E_POINTER, body->Write(nullptr, 1, 0, &written));
}

}  // namespace
