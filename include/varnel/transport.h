// The caller's message channel: interfaces that the caller's HTTP transport
// implements and hands to the library. The library calls them only while one
// of its own calls is running, on the calling thread, and keeps no reference
// to them once that call returns.
//
// Slots count QueryInterface, AddRef and Release as 0..2. Slots the library
// never calls stand as ReservedN placeholders (N = slot number) so that every
// later method keeps its slot; an implementation may answer them E_NOTIMPL.
#pragma once

#include "comrt/unknown.h"

inline constexpr IID IID_ITransportMessage = {0x8A787CA5, 0x4F8D, 0x4EFB, {0xB8, 0xF0, 0x61, 0x40, 0x8F, 0x2B, 0xD8, 0xC9}};
inline constexpr IID IID_ITransportRequestMessage = {0x614E7F7F, 0x4DB5, 0x4F2B, {0xA0, 0x47, 0x0B, 0xD5, 0x58, 0xCE, 0xF3, 0x0F}};
inline constexpr IID IID_ITransportResponseMessage = {0x3C6712A5, 0xC3B3, 0x459C, {0x84, 0x38, 0x71, 0xDE, 0xC5, 0xE4, 0xDC, 0x54}};
inline constexpr IID IID_IMessageHeaderWriter = {0x70A0AE1E, 0xED9F, 0x4E8A, {0xAC, 0xCD, 0x21, 0xC1, 0xA4, 0x8B, 0x8B, 0xBD}};
inline constexpr IID IID_IMessageBodyWriter = {0x9048F964, 0xA21B, 0x48A5, {0x85, 0x97, 0xD2, 0x60, 0x20, 0x23, 0xDF, 0xB8}};
inline constexpr IID IID_IMessageHeaderSource = {0xC088C30F, 0xDCA3, 0x48AF, {0xA9, 0x41, 0x06, 0x33, 0xDA, 0x76, 0x8C, 0x2D}};
// This library's own id: transports publish none for their body reader, and
// the library never asks a reader for it (only for ISequentialStream).
inline constexpr IID IID_IMessageBodyReader = {0x22213ABC, 0xE772, 0x45CB, {0x93, 0x36, 0x2B, 0x9E, 0x43, 0x2E, 0x8E, 0x26}};

// A set of headers kept by the transport; the library only passes it on.
struct IMessageHeaderSource : public IUnknown {
 protected:
  ~IMessageHeaderSource() = default;
};

// The headers of an outgoing message.
struct IMessageHeaderWriter : public IUnknown {
  // Sets header `name` to `value`, both zero-terminated UTF-8.
  virtual HRESULT STDMETHODCALLTYPE SetHeader(const char* name, const char* value) = 0;
  // Announces the length of the body in bytes.
  virtual HRESULT STDMETHODCALLTYPE SetContentLength(ULONGLONG length) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
  // Adds every header that `source` holds to the message.
  virtual HRESULT STDMETHODCALLTYPE AttachHeaderSource(IMessageHeaderSource* source) = 0;

 protected:
  ~IMessageHeaderWriter() = default;
};

// The body of an outgoing message.
struct IMessageBodyWriter : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
  // Appends `count` bytes (`flag` is always 0); *written gets the number taken.
  virtual HRESULT STDMETHODCALLTYPE Write(const BYTE* bytes, ULONG count, USHORT flag, ULONG* written) = 0;

 protected:
  ~IMessageBodyWriter() = default;
};

// The body of a received message; the library reads it through the
// ISequentialStream the reader answers.
struct IMessageBodyReader : public IUnknown {
 protected:
  ~IMessageBodyReader() = default;
};

// One HTTP message, in either direction. It also answers exactly one of
// ITransportRequestMessage and ITransportResponseMessage, which says whether
// it is a request or a response.
struct ITransportMessage : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
  // Hands out a referenced header writer, or null, which fails the library's write with E_UNEXPECTED.
  virtual HRESULT STDMETHODCALLTYPE GetHeaderWriter(IMessageHeaderWriter** writer) = 0;
  // Hands out a referenced reader of the received body.
  virtual HRESULT STDMETHODCALLTYPE GetBodyReader(IMessageBodyReader** reader) = 0;
  // Hands out a referenced writer of the body to send; `flag` is always 1.
  virtual HRESULT STDMETHODCALLTYPE GetBodyWriter(BYTE flag, IMessageBodyWriter** writer) = 0;

 protected:
  ~ITransportMessage() = default;
};

struct ITransportRequestMessage : public ITransportMessage {
  virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved12() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved13() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved14() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved15() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved16() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved17() = 0;
  // TRUE just before the body writer is asked for, FALSE once the body is written or has failed; the result is ignored.
  virtual HRESULT STDMETHODCALLTYPE SetSending(BOOL sending) = 0;

 protected:
  ~ITransportRequestMessage() = default;
};

struct ITransportResponseMessage : public ITransportMessage {
  virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved12() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved13() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved14() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved15() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved16() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved17() = 0;
  // TRUE just before the body writer is asked for, FALSE once the body is written or has failed; the result is ignored.
  virtual HRESULT STDMETHODCALLTYPE SetSending(BOOL sending) = 0;

 protected:
  ~ITransportResponseMessage() = default;
};

COMRT_DECLARE_INTERFACE(IMessageHeaderSource, IUnknown, IID_IMessageHeaderSource);
COMRT_DECLARE_INTERFACE(IMessageHeaderWriter, IUnknown, IID_IMessageHeaderWriter);
COMRT_DECLARE_INTERFACE(IMessageBodyWriter, IUnknown, IID_IMessageBodyWriter);
COMRT_DECLARE_INTERFACE(IMessageBodyReader, IUnknown, IID_IMessageBodyReader);
COMRT_DECLARE_INTERFACE(ITransportMessage, IUnknown, IID_ITransportMessage);
COMRT_DECLARE_INTERFACE(ITransportRequestMessage, ITransportMessage, IID_ITransportRequestMessage);
COMRT_DECLARE_INTERFACE(ITransportResponseMessage, ITransportMessage, IID_ITransportResponseMessage);
