// The message element of a body (the Body's one child) as plain text: what
// the write floors are given to produce the same body.
#pragma once

#include <string>
#include <vector>

namespace varnel_bench {

struct MessageElement {
  std::string prefix;             // empty when unprefixed
  std::string name;               // local name
  std::string declaredNamespace;  // the namespace this element binds to `prefix`; empty when none
  std::string text;               // the unescaped text of an element without element children
  std::vector<MessageElement> children;
};

// The first element child of /s:Envelope/s:Body in `xml`. False when the body
// does not parse or has none.
bool ReadMessageElement(const std::string& xml, MessageElement* element);

// The SOAP envelope namespace.
inline constexpr char kSoapEnvelopeNamespace[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char kSoapEncodingStyle[] = "http://schemas.xmlsoap.org/soap/encoding/";

}  // namespace varnel_bench
