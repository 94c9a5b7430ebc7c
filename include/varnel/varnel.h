// Varnel: reading and writing the SOAP messages of UPnP device control.
//
// The public interface of libvarnel.so: the class ids of its creatable
// classes, their interfaces with their IIDs and slot orders, and the
// library's own result codes. Objects are made through the component runtime
// (or DllGetClassObject of the library file); every method returns a result
// code and lets no exception out.
#pragma once

#include "comrt/bstr.h"
#include "comrt/unknown.h"
#include "comrt/variant.h"
#include "varnel/transport.h"

// ---------------------------------------------------------------------------
// Result codes of the library's own.

// An InvokeAction request whose arguments were rejected while reading; the
// thread's error information then carries the UPnP error: source "401"
// (Invalid Action) or "600" (Argument Value Invalid) and its description.
#define E_UPNP_ARGUMENT_ERROR ((HRESULT)0x80040400)

namespace ZeltCommonLib {
// Failures of message bodies, thrown inside the library and returned to the
// caller as their numeric value.
enum ZeltErrorCode : HRESULT {
  // A body that is not one SOAP Body with a child element.
  InvalidMessage = static_cast<HRESULT>(0x80040301u),
};
}  // namespace ZeltCommonLib

// ---------------------------------------------------------------------------
// Class ids.

inline constexpr CLSID CLSID_SoapMsgReaderWriter = {0x0687B02D, 0xDC73, 0x4784, {0x8B, 0xD6, 0x83, 0xFA, 0x57, 0x36, 0xE9, 0x91}};
inline constexpr CLSID CLSID_InvokeActionRequest = {0x31490F3B, 0x3CEE, 0x4CF5, {0x94, 0x59, 0x7D, 0x7D, 0xBC, 0x97, 0x5C, 0xAB}};
inline constexpr CLSID CLSID_InvokeActionResponse = {0x54FAD11A, 0xAEDD, 0x48DE, {0x8C, 0x8B, 0x25, 0x43, 0x3C, 0x8A, 0x83, 0xC8}};
inline constexpr CLSID CLSID_QueryStateVariableRequest = {0xE0C0CEB4, 0x454B, 0x409C, {0xB0, 0x4D, 0x99, 0x7B, 0x22, 0x1C, 0x3C, 0xC6}};
inline constexpr CLSID CLSID_QueryStateVariableResponse = {0x240CDA48, 0x21A8, 0x4633, {0x8D, 0xAD, 0xC3, 0x85, 0x18, 0x2E, 0x8A, 0xBF}};
inline constexpr CLSID CLSID_SoapErrorMsg = {0x1F63881D, 0xC87B, 0x4F47, {0xB4, 0x15, 0xA5, 0x97, 0xC2, 0x48, 0xB1, 0xDB}};
inline constexpr CLSID CLSID_GenaMsgWriterHelper = {0x795D52FC, 0x577A, 0x4020, {0x86, 0x39, 0xC8, 0xCF, 0xE8, 0x09, 0xF4, 0x3E}};

// ---------------------------------------------------------------------------
// Interface ids.

inline constexpr IID IID_ISoapMsgReaderWriter = {0x348E3477, 0xAE61, 0x4223, {0xB7, 0xFB, 0x8E, 0x3D, 0x88, 0x1A, 0xC4, 0x55}};
inline constexpr IID IID_IUPnPSoapMsgReaderWriter = {0xDF33BB9B, 0x1239, 0x43D3, {0x94, 0x38, 0x51, 0xD5, 0x21, 0x0D, 0x81, 0xD6}};
inline constexpr IID IID_IInvokeActionRequest = {0xA0F3A940, 0x4472, 0x49BA, {0x9F, 0x9B, 0x7E, 0xCC, 0xB6, 0x33, 0x98, 0x0A}};
inline constexpr IID IID_IUPnPInvokeActionRequest = {0xBC345718, 0xBD2F, 0x42B0, {0xBD, 0x26, 0x82, 0x99, 0xEC, 0xE9, 0xBF, 0x6A}};
inline constexpr IID IID_IInvokeActionResponse = {0xF24CF8A8, 0x29BE, 0x4B5B, {0x95, 0x44, 0x9B, 0x22, 0xD3, 0xD8, 0xAC, 0xD9}};
inline constexpr IID IID_IUPnPInvokeActionResponse = {0x1590885E, 0xC9E4, 0x4BC1, {0x91, 0x48, 0x9C, 0x1A, 0xF3, 0x20, 0x34, 0x5A}};
inline constexpr IID IID_IQueryStateVariableRequest = {0x44241B24, 0x3C0B, 0x4866, {0xAC, 0x38, 0x81, 0x14, 0x9F, 0x21, 0x7C, 0x5E}};
inline constexpr IID IID_IUPnPQueryStateVariableRequest = {0x9088CE7F, 0x508A, 0x4611, {0x9A, 0x74, 0xD8, 0x41, 0x78, 0x98, 0xF7, 0x5E}};
inline constexpr IID IID_IQueryStateVariableResponse = {0x38FE6F42, 0x96B0, 0x4AEA, {0xBA, 0x15, 0xC5, 0x4A, 0xA5, 0x17, 0x99, 0x87}};
inline constexpr IID IID_IUPnPQueryStateVariableResponse = {0x91A6EE7F, 0xD443, 0x49F4, {0xB1, 0x22, 0xA2, 0xA1, 0x0E, 0xAD, 0x36, 0x87}};
inline constexpr IID IID_ISoapErrorMsg = {0x8D8E483A, 0x91CC, 0x48C7, {0x98, 0xC3, 0xDA, 0x63, 0x3A, 0x4E, 0xD3, 0x91}};
inline constexpr IID IID_IUPnPSoapErrorMsg = {0x509A8C20, 0xC8C4, 0x439E, {0x81, 0x69, 0x7B, 0xE3, 0xA0, 0x58, 0xCC, 0x68}};
inline constexpr IID IID_IGenaMsgWriterHelper = {0x5185EAC4, 0xAB42, 0x4A05, {0xBC, 0xE3, 0xB7, 0x54, 0x90, 0xCC, 0xF4, 0xBD}};
inline constexpr IID IID_IUPnPGenaMsgWriterHelper = {0x88C43682, 0x6B6F, 0x49F0, {0x9D, 0x63, 0x29, 0x85, 0xB6, 0xE3, 0xA6, 0x0E}};

// ---------------------------------------------------------------------------
// Message objects. Each class exposes an interface without methods of its own
// (its identity), a working interface, and IMarshal (free-threaded).
//
// Common rules: every getter given a null out pointer returns E_FAIL. String
// getters hand out a new string that the caller frees (null when none is
// stored); string setters store a copy up to the first zero. Variant getters
// copy deeply into the out variant, which must be initialised (it is cleared
// first); variant setters store a deep copy. Setters return S_OK, or the
// failure code when the copy cannot be made (E_OUTOFMEMORY). Setters check
// nothing: a writer checks the message when it uses it.

struct IInvokeActionRequest : public IUnknown {
 protected:
  ~IInvokeActionRequest() = default;
};

struct IUPnPInvokeActionRequest : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetActionName(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetActionName(BSTR name) = 0;
  // The input argument values: an array of variants, lower bound 0, in the
  // order of the service description. For a request read with a rejected
  // action or argument, returns E_UPNP_ARGUMENT_ERROR, leaves *arguments empty
  // and makes the recorded UPnP error the thread's error information.
  virtual HRESULT STDMETHODCALLTYPE GetArguments(VARIANT* arguments) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetArguments(VARIANT arguments) = 0;

 protected:
  ~IUPnPInvokeActionRequest() = default;
};

struct IInvokeActionResponse : public IUnknown {
 protected:
  ~IInvokeActionResponse() = default;
};

struct IUPnPInvokeActionResponse : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetActionName(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetActionName(BSTR name) = 0;
  // The output argument values, as stored.
  virtual HRESULT STDMETHODCALLTYPE GetArguments(VARIANT* arguments) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetArguments(VARIANT arguments) = 0;

 protected:
  ~IUPnPInvokeActionResponse() = default;
};

struct IQueryStateVariableRequest : public IUnknown {
 protected:
  ~IQueryStateVariableRequest() = default;
};

struct IUPnPQueryStateVariableRequest : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetVariableName(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVariableName(BSTR name) = 0;

 protected:
  ~IUPnPQueryStateVariableRequest() = default;
};

struct IQueryStateVariableResponse : public IUnknown {
 protected:
  ~IQueryStateVariableResponse() = default;
};

struct IUPnPQueryStateVariableResponse : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetReturnValue(VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReturnValue(VARIANT value) = 0;

 protected:
  ~IUPnPQueryStateVariableResponse() = default;
};

struct ISoapErrorMsg : public IUnknown {
 protected:
  ~ISoapErrorMsg() = default;
};

// A SOAP fault carrying a UPnP error. A new object holds code -1 and a null
// description.
struct IUPnPSoapErrorMsg : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetErrorCode(LONG* code) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetErrorCode(LONG code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetErrorDescription(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetErrorDescription(BSTR description) = 0;

 protected:
  ~IUPnPSoapErrorMsg() = default;
};

COMRT_DECLARE_INTERFACE(IInvokeActionRequest, IUnknown, IID_IInvokeActionRequest);
COMRT_DECLARE_INTERFACE(IUPnPInvokeActionRequest, IUnknown, IID_IUPnPInvokeActionRequest);
COMRT_DECLARE_INTERFACE(IInvokeActionResponse, IUnknown, IID_IInvokeActionResponse);
COMRT_DECLARE_INTERFACE(IUPnPInvokeActionResponse, IUnknown, IID_IUPnPInvokeActionResponse);
COMRT_DECLARE_INTERFACE(IQueryStateVariableRequest, IUnknown, IID_IQueryStateVariableRequest);
COMRT_DECLARE_INTERFACE(IUPnPQueryStateVariableRequest, IUnknown, IID_IUPnPQueryStateVariableRequest);
COMRT_DECLARE_INTERFACE(IQueryStateVariableResponse, IUnknown, IID_IQueryStateVariableResponse);
COMRT_DECLARE_INTERFACE(IUPnPQueryStateVariableResponse, IUnknown, IID_IUPnPQueryStateVariableResponse);
COMRT_DECLARE_INTERFACE(ISoapErrorMsg, IUnknown, IID_ISoapErrorMsg);
COMRT_DECLARE_INTERFACE(IUPnPSoapErrorMsg, IUnknown, IID_IUPnPSoapErrorMsg);

// ---------------------------------------------------------------------------
// The reader/writer: one per UPnP service. Give it the service type and the
// service description, then read incoming bodies into message objects and
// write requests, responses and faults. Until a description with at least
// one state variable is loaded, every operation but SetServiceType and
// LoadServiceDescription answers E_FAIL. Load descriptions before sharing the
// object between threads; afterwards any thread may use it.

struct ISoapMsgReaderWriter : public IUnknown {
 protected:
  ~ISoapMsgReaderWriter() = default;
};

struct IUPnPSoapMsgReaderWriter : public IUnknown {
  // Stores the service type URN (null stores an empty one). S_OK, or
  // E_OUTOFMEMORY when it cannot be copied.
  virtual HRESULT STDMETHODCALLTYPE SetServiceType(BSTR serviceType) = 0;
  // Adds the actions and state variables of a service description: a DOM
  // document (VT_UNKNOWN or VT_DISPATCH) whose selection namespaces bind the
  // prefix "scpd" to the service namespace. E_INVALIDARG for another variant
  // type, the DOM's code, E_INVALIDARG / E_UNEXPECTED for a faulty description.
  virtual HRESULT STDMETHODCALLTYPE LoadServiceDescription(VARIANT description) = 0;
  // Reads the body of `message` (a transport message that is a request or a
  // response) into a new message object, handed out as its working interface.
  // E_FAIL (not loaded), E_INVALIDARG (null message), E_POINTER (null out),
  // 0x80040301 for a body that is not one SOAP Body with a child element, and
  // the codes of an argument that does not read.
  //
  // At most 16 MiB of body is read; a longer body fails with 0x80040301, as
  // one that does not parse. The host may set another limit in bytes through
  // the environment variable VARNEL_MAX_BODY_BYTES, read once per process: a
  // value below 8 MiB counts as 8 MiB, one that is not a decimal number is
  // ignored.
  //
  // An InvokeAction request naming an unknown action, or an integer text that
  // is not strictly a number, is still read: the request's GetArguments then
  // answers E_UPNP_ARGUMENT_ERROR with the UPnP error (401 or 600). When a
  // request fails to read because of its arguments, the thread's error
  // information (GetErrorInfo) names the UPnP error a device should answer
  // with: source "402" (Invalid Args) for missing, extra or repeated argument
  // elements, "600" (Argument Value Invalid) for a value that is not of its
  // type or not in the allowed list, "601" (Argument Value Out of Range) for
  // a value outside the allowed range or step. A device host answers with a
  // fault carrying that code and description; any other failure leaves no
  // error information (every call starts by clearing the thread's).
  virtual HRESULT STDMETHODCALLTYPE ReadMessage(IUnknown* message, IUnknown** messageObject) = 0;
  // Sends an InvokeAction request of `actionName` with `inArguments` (an array
  // of variants, value i for input argument i) on a request message.
  virtual HRESULT STDMETHODCALLTYPE WriteInvokeActionRequest(IUnknown* message, BSTR actionName, VARIANT inArguments,
                                                             IUnknown* headerSource) = 0;
  // Sends a QueryStateVariable request for `variableName`.
  virtual HRESULT STDMETHODCALLTYPE WriteQueryStateVariableRequest(IUnknown* message, BSTR variableName,
                                                                   IUnknown* headerSource) = 0;
  // Sends the response of `actionName` with `outArguments`, or, with an error
  // message object, a SOAP fault carrying its UPnP error.
  virtual HRESULT STDMETHODCALLTYPE WriteInvokeActionResponse(IUnknown* message, BSTR actionName,
                                                              VARIANT outArguments, IUPnPSoapErrorMsg* errorMessage,
                                                              IUnknown* headerSource1, IUnknown* headerSource2) = 0;
  // Sends a QueryStateVariable response with `returnValue`, or a SOAP fault.
  virtual HRESULT STDMETHODCALLTYPE WriteQueryStateVariableResponse(IUnknown* message, VARIANT returnValue,
                                                                    IUPnPSoapErrorMsg* errorMessage,
                                                                    IUnknown* headerSource) = 0;
  // Reads `value` as a value of state variable `variableName` (leniently).
  // E_FAIL for an unknown variable, E_POINTER, the converter's code.
  virtual HRESULT STDMETHODCALLTYPE ParseStateVariableValue(BSTR variableName, BSTR value, VARIANT* parsed) = 0;

 protected:
  ~IUPnPSoapMsgReaderWriter() = default;
};

COMRT_DECLARE_INTERFACE(ISoapMsgReaderWriter, IUnknown, IID_ISoapMsgReaderWriter);
COMRT_DECLARE_INTERFACE(IUPnPSoapMsgReaderWriter, IUnknown, IID_IUPnPSoapMsgReaderWriter);

// ---------------------------------------------------------------------------
// The event value converter: converts single values of the state variables
// of one service description, for GENA event bodies that the caller builds.
// It never traces and holds its own table, independent of any reader/writer.
// Load descriptions before sharing the object between threads; afterwards
// any thread may convert.

struct IGenaMsgWriterHelper : public IUnknown {
 protected:
  ~IGenaMsgWriterHelper() = default;
};

struct IUPnPGenaMsgWriterHelper : public IUnknown {
  // Adds the state variables of a service description (a DOM document as
  // VT_UNKNOWN or VT_DISPATCH whose selection namespaces bind "scpd"); a
  // variable already present keeps its first converter. Actions are not read.
  // S_OK, or the code of the failed load (E_INVALIDARG for another variant
  // type); variables read before a failure stay.
  virtual HRESULT STDMETHODCALLTYPE LoadServiceDescription(VARIANT description) = 0;
  // Reads `valueText` (integers leniently) as a value of `variableName` into
  // *value, which is cleared first. E_FAIL before a load with variables or for
  // an unknown name (names compare exactly), E_POINTER, E_NOTIMPL for a data
  // type without converter, the converter's code (E_INVALIDARG for a value
  // outside the variable's restrictions; E_FAIL for a fixed.14.4 text that
  // the currency conversion refuses); *value is then left as it was.
  virtual HRESULT STDMETHODCALLTYPE ParseStateVariableValue(BSTR variableName, BSTR valueText, VARIANT* value) = 0;
  // Writes `value` as the text of a value of `variableName` into a new string
  // (empty, never null, for an empty text). Fails as ParseStateVariableValue;
  // *valueText is then left as it was.
  virtual HRESULT STDMETHODCALLTYPE FormatStateVariableValue(BSTR variableName, VARIANT value, BSTR* valueText) = 0;

 protected:
  ~IUPnPGenaMsgWriterHelper() = default;
};

COMRT_DECLARE_INTERFACE(IGenaMsgWriterHelper, IUnknown, IID_IGenaMsgWriterHelper);
COMRT_DECLARE_INTERFACE(IUPnPGenaMsgWriterHelper, IUnknown, IID_IUPnPGenaMsgWriterHelper);

// ---------------------------------------------------------------------------
// Entry points of the library file.

#define VARNEL_ENTRY_POINT __attribute__((visibility("default")))

extern "C" {
// The class object of one of the library's classes, asked for `iid`.
// CLASS_E_CLASSNOTAVAILABLE for any other class id; E_POINTER.
VARNEL_ENTRY_POINT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);
// S_OK when no object of the library is alive and no server lock is held,
// else S_FALSE.
VARNEL_ENTRY_POINT HRESULT DllCanUnloadNow();
// Writes the library's registry entries (its AppID and, for each class, the
// ProgIDs and the class key naming this file's full path) into the classes
// root. S_OK, or the registry's failure code (HRESULT_FROM_WIN32); the
// calling thread's locale is the same afterwards.
VARNEL_ENTRY_POINT HRESULT DllRegisterServer();
// Removes the library's registry entries, whatever of them exist; other
// servers' keys stay. S_OK, or the registry's failure code.
VARNEL_ENTRY_POINT HRESULT DllUnregisterServer();
}
