// Control requests written by hand for the tests of `varnel serve`, and the
// UPnP error read back out of a fault.
#pragma once

#include <cstdlib>
#include <string>

namespace varnel_test {

inline const std::string kInteropData = VARNEL_INTEROP_DATA_DIR;
inline const std::string kDataTypesFolder = kInteropData + "/datatypes";
inline const std::string kDataTypesBehaviour = kDataTypesFolder + "/behaviour.json";
inline const std::string kGatewayFolder = kInteropData + "/gateway";
inline const std::string kDataTypesType = "urn:schemas-varnel-org:service:DataTypes:1";
inline const std::string kDataTypesControl = "/control/DataTypes1";
inline const std::string kControlNamespace = "urn:schemas-upnp-org:control-1-0";

inline std::string SoapEnvelope(const std::string& inside) {
  return "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
         inside + "</s:Body></s:Envelope>\r\n";
}

// An InvokeAction request of `action` in `serviceType`; `arguments` is the
// argument elements as markup.
inline std::string ActionBody(const std::string& action, const std::string& arguments = "",
                              const std::string& serviceType = kDataTypesType) {
  return SoapEnvelope("<u:" + action + " xmlns:u=\"" + serviceType + "\">" + arguments + "</u:" + action + ">");
}

inline std::string QueryBody(const std::string& variable) {
  return SoapEnvelope("<u:QueryStateVariable xmlns:u=\"" + kControlNamespace + "\"><u:varName>" + variable +
                      "</u:varName></u:QueryStateVariable>");
}

inline std::string SoapActionHeader(const std::string& action, const std::string& serviceType = kDataTypesType) {
  return "SOAPACTION: \"" + serviceType + "#" + action + "\"";
}

// The text of the first element `name` in `body`; empty when none.
inline std::string ElementText(const std::string& body, const std::string& name) {
  const size_t open = body.find("<" + name + ">");
  if (open == std::string::npos) return std::string();
  const size_t start = open + name.size() + 2;
  const size_t close = body.find("</" + name + ">", start);
  return close == std::string::npos ? std::string() : body.substr(start, close - start);
}

// The errorCode of a fault body; 0 when there is none.
inline int FaultCode(const std::string& body) { return std::atoi(ElementText(body, "errorCode").c_str()); }

}  // namespace varnel_test
