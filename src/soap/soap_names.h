// The fixed names, namespaces and header values of UPnP control messages.
#pragma once

namespace varnel {

inline constexpr char16_t kSoapEnvelopeNamespace[] = u"http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char16_t kSoapEncodingStyle[] = u"http://schemas.xmlsoap.org/soap/encoding/";
inline constexpr char16_t kControlNamespace[] = u"urn:schemas-upnp-org:control-1-0";
// The same, and the names the reader looks for, as a body's tree holds them.
inline constexpr char kSoapEnvelopeNamespaceUtf8[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char kQueryStateVariableUtf8[] = "QueryStateVariable";
inline constexpr char kQueryStateVariableResponseUtf8[] = "QueryStateVariableResponse";

inline constexpr char kContentTypeHeader[] = "CONTENT-TYPE";
inline constexpr char kContentTypeValue[] = "text/xml; charset=\"utf-8\"";
inline constexpr char kSoapActionHeader[] = "SOAPACTION";
inline constexpr char kQueryStateVariableSoapAction[] = "\"urn:schemas-upnp-org:control-1-0#QueryStateVariable\"";

inline constexpr char16_t kQueryStateVariable[] = u"QueryStateVariable";
inline constexpr char16_t kQueryStateVariableResponse[] = u"QueryStateVariableResponse";

}  // namespace varnel
