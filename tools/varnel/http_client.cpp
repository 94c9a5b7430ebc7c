#include "http_client.h"

#include <curl/curl.h>

#include <cmath>
#include <memory>

#include "varnel/varnel.h"

namespace varnel_tool {

using varnel::host::Status;

namespace {

struct Received {
  std::string* body;
  uint64_t limit;
  bool tooLong = false;
};

size_t Append(char* data, size_t size, size_t count, void* context) {
  Received* received = static_cast<Received*>(context);
  const size_t bytes = size * count;
  if (received->body->size() + bytes > received->limit) {
    received->tooLong = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  received->body->append(data, bytes);
  return bytes;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

Status Exchange(const std::string& url, const std::vector<varnel::host::Header>* headers, const std::string* body,
                const HttpLimits& limits, HttpAnswer* answer) {
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) return Status(E_OUTOFMEMORY, "cannot start an HTTP exchange");
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> list(nullptr, &curl_slist_free_all);
  // No "Expect: 100-continue" round trip for larger bodies.
  std::vector<std::string> lines = {"Expect:"};
  if (headers) {
    for (const varnel::host::Header& header : *headers) lines.push_back(header.name + ": " + header.value);
  }
  for (const std::string& line : lines) {
    curl_slist* extended = curl_slist_append(list.get(), line.c_str());
    if (!extended) return Status(E_OUTOFMEMORY, "cannot list the request's headers");
    list.release();
    list.reset(extended);
  }

  answer->status = 0;
  answer->body.clear();
  Received received{&answer->body, limits.maxBody};
  char error[CURL_ERROR_SIZE] = {};
  const long timeoutMs = static_cast<long>(std::ceil(limits.timeoutSeconds * 1000));
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBody));
  curl_easy_setopt(handle, CURLOPT_USERAGENT, "Linux UPnP/1.0 varnel/" VARNEL_VERSION);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list.get());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &received);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);
  if (body) {
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body->data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
  }

  const CURLcode result = curl_easy_perform(handle);
  if (received.tooLong || result == CURLE_FILESIZE_EXCEEDED) {
    return Status(ZeltCommonLib::InvalidMessage,
                  "the answer from " + url + " is longer than " + std::to_string(limits.maxBody) + " bytes");
  }
  if (result == CURLE_OPERATION_TIMEDOUT) {
    return Status(E_ABORT, "no answer from " + url + " within " + Seconds(limits.timeoutSeconds) + " s");
  }
  if (result != CURLE_OK) {
    const std::string why = *error ? error : curl_easy_strerror(result);
    return Status(E_FAIL, "HTTP exchange with " + url + " failed: " + why);
  }
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer->status);
  return Status();
}

}  // namespace

HttpGlobal::HttpGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
HttpGlobal::~HttpGlobal() { curl_global_cleanup(); }

Status HttpPost(const std::string& url, const std::vector<varnel::host::Header>& headers, const std::string& body,
                const HttpLimits& limits, HttpAnswer* answer) {
  return Exchange(url, &headers, &body, limits, answer);
}

Status HttpGet(const std::string& url, const HttpLimits& limits, HttpAnswer* answer) {
  return Exchange(url, nullptr, nullptr, limits, answer);
}

}  // namespace varnel_tool
