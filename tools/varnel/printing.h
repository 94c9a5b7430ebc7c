// How the commands print messages: a written body with its headers, and a
// message read back, as text or as JSON.
#pragma once

#include <ostream>
#include <string>

#include "varnel/host/memory_message.h"
#include "varnel/host/named_values.h"

namespace varnel_tool {

// The headers the library set ("NAME: value" lines, then an empty line) when
// `withHeaders`, then the body as written. Each line after `indent`.
void PrintWritten(std::ostream& out, const varnel::host::MemoryMessage& message, bool withHeaders,
                  const std::string& indent = std::string());

// "InvokeAction request SetTarget", then one line per value:
// "  newTargetValue = 1  (boolean, VT_BOOL)", and the UPnP error.
void PrintDecoded(std::ostream& out, const varnel::host::DecodedMessage& message,
                  const std::string& indent = std::string());
// The same as one JSON object on one line.
void PrintDecodedJson(std::ostream& out, const varnel::host::DecodedMessage& message);

// `text` as a JSON string literal.
std::string JsonString(const std::string& text);

}  // namespace varnel_tool
