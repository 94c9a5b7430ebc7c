// An in-memory transport message: what the library reads and writes bodies
// through (include/varnel/transport.h), over a byte buffer. For tests, and
// for hosts whose HTTP stack hands them whole bodies: put the received body
// in, hand Transport() to ReadMessage or a Write* call, read what was written
// back out.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comrt/com_ptr.h"
#include "comrt/types.h"
#include "varnel/host/export.h"
#include "varnel/transport.h"

namespace varnel {
namespace host {

// Which way a message travels: a request (control point to device) or a
// response. The library reads requests as a device and responses as a
// control point.
enum class Direction { kRequest, kResponse };

struct Header {
  std::string name;
  std::string value;
};

class VARNEL_HOST_API MemoryMessage {
 public:
  // A message travelling in `direction` whose received body is `body`.
  // Throws std::bad_alloc. A moved-from message may only be destroyed or
  // assigned to.
  explicit MemoryMessage(Direction direction, std::string body = {});
  ~MemoryMessage();
  MemoryMessage(MemoryMessage&& other) noexcept;
  MemoryMessage& operator=(MemoryMessage&& other) noexcept;
  MemoryMessage(const MemoryMessage&) = delete;
  MemoryMessage& operator=(const MemoryMessage&) = delete;

  // The message as the library takes it: it answers ITransportMessage and
  // ITransportRequestMessage or ITransportResponseMessage. Not referenced for
  // the caller; valid while this object lives.
  IUnknown* Transport() const noexcept;
  Direction direction() const noexcept;

  // Replaces the body that readers of the message get. Each body reader
  // handed out reads the body from its start.
  void SetReceivedBody(std::string body);
  const std::string& ReceivedBody() const noexcept;

  // What the library wrote: the headers in the order set, the announced
  // length (none until SetContentLength), how many header sources were
  // attached, and the body bytes.
  const std::vector<Header>& Headers() const noexcept;
  // The value of the last header set with `name` (compared without regard to
  // ASCII case); null when none.
  const std::string* FindHeader(std::string_view name) const noexcept;
  std::optional<ULONGLONG> ContentLength() const noexcept;
  size_t AttachedHeaderSources() const noexcept;
  const std::string& Body() const noexcept;
  // The headers as "NAME: value" lines ending in "\r\n", Content-Length last
  // when announced.
  std::string HeaderText() const;

  // The sending state: true between the library's SetSending(TRUE) and
  // SetSending(FALSE). SendingChanges lists every call's value in order.
  bool Sending() const noexcept;
  const std::vector<bool>& SendingChanges() const noexcept;
  // Body bytes written while the message was not in its sending state.
  size_t BytesWrittenOutsideSending() const noexcept;

  // Forgets everything written (headers, length, sources, body, sending
  // state) so the message can be written again.
  void ClearWritten() noexcept;

  struct State;

 private:
  std::shared_ptr<State> state_;
  CComPtr<IUnknown> object_;
};

}  // namespace host
}  // namespace varnel
