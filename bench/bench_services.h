// The library's side of each body: a reader/writer with the body's service
// description loaded, what its writers are given to write the body again,
// and one read and one write as a host makes them.
#pragma once

#include <string>

#include "bench_bodies.h"
#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/xml_dom.h"
#include "message_element.h"
#include "varnel/varnel.h"

namespace varnel_bench {

// What the writers are given for one body, taken from the body itself once.
struct WriteInput {
  CComBSTR action;                   // the action's name ("Browse" for a Browse response)
  CComVariant values;                // the argument array as the library reads it, which its writers take
  CComPtr<IUPnPSoapErrorMsg> fault;  // the error a fault carries
  MessageElement message;            // the message element as text, for the floors
  std::string error;                 // why the input could not be made; empty when it was
};

// A free-threaded DOM document of `text` with the "scpd" prefix bound; null
// when it does not parse.
CComPtr<IXMLDOMDocument2> ParseDescription(const std::string& text);

// A new reader/writer of `serviceType` with `description` loaded; null on failure.
CComPtr<IUPnPSoapMsgReaderWriter> NewReaderWriter(const std::u16string& serviceType, const std::string& description);

// The reader/writer of the body's service, made and loaded on first use and
// kept until ReleaseServices(); null when the description does not load.
IUPnPSoapMsgReaderWriter* ReaderWriterFor(const BenchBody& body);

// Made on first use and kept until ReleaseServices().
const WriteInput& WriteInputFor(const BenchBody& body);

// Releases what the two functions above keep, while the library can still
// release it. Call before main returns.
void ReleaseServices();

// Reads `message`'s body as one of `kind` and takes what a host takes from
// the message object: the argument array, or the fault's code and
// description. S_OK, or the first failure.
HRESULT ReadAndTake(IUPnPSoapMsgReaderWriter* readerWriter, IUnknown* message, BodyKind kind);

// Writes `input` on `message` as a request, response or fault by `kind`.
HRESULT Write(IUPnPSoapMsgReaderWriter* readerWriter, IUnknown* message, BodyKind kind, const WriteInput& input);

}  // namespace varnel_bench
