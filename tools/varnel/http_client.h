// The control point's HTTP: one request, one answer, over libcurl. Redirects
// are not followed, only http and https are spoken, gzip and deflate answers
// are unpacked, and an answer is cut off past a byte limit counted after
// unpacking.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "varnel/host/memory_message.h"
#include "varnel/host/status.h"

namespace varnel_tool {

struct HttpLimits {
  double timeoutSeconds = 30;  // for the connection, and for the whole exchange
  uint64_t maxBody = 0;        // bytes of answer body, after unpacking
};

struct HttpAnswer {
  long status = 0;
  std::string body;
};

// Call once before any request, from the main thread; the guard's end
// releases what libcurl holds.
class HttpGlobal {
 public:
  HttpGlobal();
  ~HttpGlobal();
  HttpGlobal(const HttpGlobal&) = delete;
  HttpGlobal& operator=(const HttpGlobal&) = delete;
};

// Posts `body` with `headers` to `url`. Any answer with a status line
// succeeds; fails with E_ABORT when no answer came in time, 0x80040301 for an
// answer body longer than the limit, E_FAIL for anything else (no
// connection, a URL that is not http or https, a broken answer).
varnel::host::Status HttpPost(const std::string& url, const std::vector<varnel::host::Header>& headers,
                              const std::string& body, const HttpLimits& limits, HttpAnswer* answer);
// As HttpPost, a GET without body.
varnel::host::Status HttpGet(const std::string& url, const HttpLimits& limits, HttpAnswer* answer);

}  // namespace varnel_tool
