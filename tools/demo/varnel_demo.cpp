// A small host: registers the component library into a registry store in a
// temporary folder, creates each message object through the runtime by class
// id or ProgID, fills it and prints what it holds; then plays a control point
// and a device of one rendering-control service, the messages passing through
// the in-memory transport of demo_transport.h, converts event values, lets
// the runtime unload the library and unregisters it.
#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_safe_array.h"
#include "comrt/com_variant.h"
#include "comrt/error_info.h"
#include "comrt/registry.h"
#include "comrt/text_conversion.h"
#include "comrt/xml_dom.h"
#include "demo_transport.h"
#include "varnel/varnel.h"

namespace {

// Steps that failed unexpectedly; any makes the exit status non-zero.
int failures = 0;

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

void Fail(const char* what) {
  std::printf("  FAILED: %s\n", what);
  ++failures;
}

// True when `hr` is the code expected; else reports the step as failed.
bool Expect(HRESULT hr, HRESULT expected, const char* what) {
  if (hr == expected) return true;
  std::printf("  FAILED: %s returned %s, expected %s\n", what, Hex(hr).c_str(), Hex(expected).c_str());
  ++failures;
  return false;
}
bool Check(HRESULT hr, const char* what) { return Expect(hr, S_OK, what); }

std::string Utf8(BSTR text) {
  return text ? comrt::ToUtf8(std::u16string_view(text, SysStringLen(text))) : std::string("(null)");
}

std::string Describe(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY: return "(empty)";
    case VT_BSTR: return "\"" + Utf8(value.bstrVal) + "\"";
    case VT_I4: return std::to_string(value.lVal) + " (i4)";
    case VT_UI2: return std::to_string(value.uiVal) + " (ui2)";
    case VT_UI4: return std::to_string(value.ulVal) + " (ui4)";
    case VT_BOOL: return value.boolVal ? "true" : "false";
    default: return "(variant type " + std::to_string(value.vt) + ")";
  }
}

// The library file's own entry points, for what only it can do: register and
// unregister itself. Loaded for the call and let go again.
HRESULT CallEntryPoint(const char* path, const char* name) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::printf("  FAILED: cannot load %s: %s\n", path, dlerror());
    return E_FAIL;
  }
  using EntryPoint = HRESULT (*)();
  auto entryPoint = reinterpret_cast<EntryPoint>(dlsym(handle, name));
  const HRESULT hr = entryPoint ? entryPoint() : E_FAIL;
  dlclose(handle);
  return hr;
}

bool LibraryIsLoaded(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

// Every object of the demo is made by the runtime, which finds the library
// through the registry.
template <class Interface>
CComPtr<Interface> Create(REFCLSID clsid) {
  CComPtr<Interface> object;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, comrt::uuidof<Interface>(), reinterpret_cast<void**>(&object));
  return object;
}

template <class Interface>
CComPtr<Interface> CreateByProgId(const char16_t* progId) {
  CLSID clsid = GUID_NULL;
  if (!Check(CLSIDFromProgID(progId, &clsid), "CLSIDFromProgID")) return nullptr;
  return Create<Interface>(clsid);
}

// An argument list as the message objects hold it: an array of variants.
CComVariant ArgumentArray(std::initializer_list<CComVariant> values) {
  CComSafeArray<VARIANT> array(static_cast<ULONG>(values.size()));
  LONG index = 0;
  for (const CComVariant& value : values) array.SetAt(index++, value);
  CComVariant arguments;
  arguments.vt = VT_ARRAY | VT_VARIANT;
  arguments.parray = array.Detach();
  return arguments;
}

std::string DescribeArguments(const VARIANT& arguments) {
  if (arguments.vt != (VT_ARRAY | VT_VARIANT)) return Describe(arguments);
  CComSafeArray<VARIANT> held(arguments.parray);  // a copy, to read with the wrapper
  std::string text = std::to_string(held.GetCount()) + " argument(s):";
  for (LONG i = held.GetLowerBound(); i <= held.GetUpperBound(); ++i) text += " " + Describe(held.GetAt(i));
  return text;
}

void ShowInvokeActionRequest() {
  CComPtr<IUPnPInvokeActionRequest> request =
      CreateByProgId<IUPnPInvokeActionRequest>(u"Varnel.InvokeActionRequest");
  if (!request) return Fail("no InvokeActionRequest from the library");
  std::printf("Created Varnel.InvokeActionRequest through CoCreateInstance\n");
  request->SetActionName(CComBSTR(u"SetVolume"));
  request->SetArguments(ArgumentArray({CComVariant(0u), CComVariant(u"Master"), CComVariant(uint16_t{42})}));
  CComBSTR name;
  request->GetActionName(&name);
  CComVariant arguments;
  request->GetArguments(&arguments);
  std::printf("InvokeActionRequest: action %s, %s\n", Utf8(name).c_str(), DescribeArguments(arguments).c_str());
}

void ShowInvokeActionResponse() {
  CComPtr<IUPnPInvokeActionResponse> response =
      Create<IUPnPInvokeActionResponse>(CLSID_InvokeActionResponse);
  if (!response) return Fail("no InvokeActionResponse from the library");
  response->SetActionName(CComBSTR(u"GetVolume"));
  response->SetArguments(ArgumentArray({CComVariant(uint16_t{42})}));
  CComBSTR name;
  response->GetActionName(&name);
  CComVariant arguments;
  response->GetArguments(&arguments);
  std::printf("InvokeActionResponse: action %s, %s\n", Utf8(name).c_str(), DescribeArguments(arguments).c_str());
}

void ShowQueryStateVariable() {
  CComPtr<IUPnPQueryStateVariableRequest> request =
      Create<IUPnPQueryStateVariableRequest>(CLSID_QueryStateVariableRequest);
  CComPtr<IUPnPQueryStateVariableResponse> response =
      Create<IUPnPQueryStateVariableResponse>(CLSID_QueryStateVariableResponse);
  if (!request || !response) return Fail("no QueryStateVariable message objects from the library");
  request->SetVariableName(CComBSTR(u"TransportState"));
  response->SetReturnValue(CComVariant(u"PLAYING"));
  CComBSTR name;
  request->GetVariableName(&name);
  CComVariant value;
  response->GetReturnValue(&value);
  std::printf("QueryStateVariableRequest: variable %s\n", Utf8(name).c_str());
  std::printf("QueryStateVariableResponse: return value %s\n", Describe(value).c_str());
}

void ShowSoapError() {
  CComPtr<IUPnPSoapErrorMsg> error = Create<IUPnPSoapErrorMsg>(CLSID_SoapErrorMsg);
  if (!error) return Fail("no SoapErrorMsg from the library");
  LONG code = 0;
  error->GetErrorCode(&code);
  std::printf("SoapErrorMsg (new): code %d\n", code);
  error->SetErrorCode(402);
  error->SetErrorDescription(CComBSTR(u"Invalid Args"));
  error->GetErrorCode(&code);
  CComBSTR description;
  error->GetErrorDescription(&description);
  std::printf("SoapErrorMsg: code %d, description %s\n", code, Utf8(description).c_str());
}

// ---------------------------------------------------------------------------
// End to end: one reader/writer plays the control point and the device.

void PrintBody(const std::string& body) {
  std::printf("  body (%zu bytes):\n", body.size());
  for (size_t start = 0; start < body.size();) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::printf("    %.*s\n", static_cast<int>(end - start), body.data() + start);
    start = end + 1;
  }
}

constexpr char16_t kRenderingControl[] = u"urn:schemas-upnp-org:service:RenderingControl:1";

// Two actions of a rendering-control service and the state variables they use.
constexpr char16_t kDescription[] = uR"(<?xml version="1.0"?>
<scpd xmlns="urn:schemas-upnp-org:service-1-0">
  <specVersion><major>1</major><minor>0</minor></specVersion>
  <actionList>
    <action><name>GetVolume</name><argumentList>
      <argument><name>InstanceID</name><direction>in</direction><relatedStateVariable>A_ARG_TYPE_InstanceID</relatedStateVariable></argument>
      <argument><name>Channel</name><direction>in</direction><relatedStateVariable>A_ARG_TYPE_Channel</relatedStateVariable></argument>
      <argument><name>CurrentVolume</name><direction>out</direction><relatedStateVariable>Volume</relatedStateVariable></argument>
    </argumentList></action>
    <action><name>SetVolume</name><argumentList>
      <argument><name>InstanceID</name><direction>in</direction><relatedStateVariable>A_ARG_TYPE_InstanceID</relatedStateVariable></argument>
      <argument><name>Channel</name><direction>in</direction><relatedStateVariable>A_ARG_TYPE_Channel</relatedStateVariable></argument>
      <argument><name>DesiredVolume</name><direction>in</direction><relatedStateVariable>Volume</relatedStateVariable></argument>
    </argumentList></action>
  </actionList>
  <serviceStateTable>
    <stateVariable sendEvents="no"><name>Volume</name><dataType>ui2</dataType>
      <allowedValueRange><minimum>0</minimum><maximum>100</maximum><step>1</step></allowedValueRange></stateVariable>
    <stateVariable sendEvents="no"><name>A_ARG_TYPE_Channel</name><dataType>string</dataType>
      <allowedValueList><allowedValue>Master</allowedValue><allowedValue>LF</allowedValue><allowedValue>RF</allowedValue></allowedValueList></stateVariable>
    <stateVariable sendEvents="no"><name>A_ARG_TYPE_InstanceID</name><dataType>ui4</dataType></stateVariable>
  </serviceStateTable>
</scpd>
)";

// A request a peer might send: DesiredVolume is not a number.
constexpr char kBadVolumeRequest[] =
    "<?xml version=\"1.0\"?>\n"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
    "<u:SetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\"><InstanceID>0</InstanceID>"
    "<Channel>Master</Channel><DesiredVolume>12abc</DesiredVolume></u:SetVolume></s:Body></s:Envelope>\n";

// The rendering-control description in a DOM document, as a host holds it.
// A request a peer might send: DesiredVolume is beyond the variable's range.
constexpr char kOutOfRangeRequest[] =
    "<?xml version=\"1.0\"?>\n"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
    "<u:SetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\"><InstanceID>0</InstanceID>"
    "<Channel>Master</Channel><DesiredVolume>150</DesiredVolume></u:SetVolume></s:Body></s:Envelope>\n";

CComPtr<IXMLDOMDocument2> LoadDescriptionDocument() {
  CComPtr<IXMLDOMDocument2> document;
  if (!Check(CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                              reinterpret_cast<void**>(&document)),
             "CoCreateInstance(FreeThreadedDOMDocument60)")) {
    return nullptr;
  }
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document->put_async(VARIANT_FALSE);
  if (!Check(document->setProperty(CComBSTR(u"SelectionNamespaces"),
                                   CComVariant(u"xmlns:scpd='urn:schemas-upnp-org:service-1-0'")),
             "setProperty(SelectionNamespaces)") ||
      !Check(document->loadXML(CComBSTR(kDescription), &loaded), "loadXML")) {
    return nullptr;
  }
  return document;
}

CComPtr<IUPnPSoapMsgReaderWriter> LoadRenderingControl() {
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter = Create<IUPnPSoapMsgReaderWriter>(CLSID_SoapMsgReaderWriter);
  if (!readerWriter) {
    Fail("no reader/writer from the library");
    return nullptr;
  }
  CComPtr<IXMLDOMDocument2> document = LoadDescriptionDocument();
  if (!document || !Check(readerWriter->SetServiceType(CComBSTR(kRenderingControl)), "SetServiceType") ||
      !Check(readerWriter->LoadServiceDescription(CComVariant(static_cast<IDispatch*>(document.p))),
             "LoadServiceDescription")) {
    return nullptr;
  }
  std::printf("Reader/writer created through CoCreateInstance and loaded with the description of %s\n",
              comrt::ToUtf8(kRenderingControl).c_str());
  return readerWriter;
}

using Request = ITransportRequestMessage;
using Response = ITransportResponseMessage;

// Runs `write` on a new message of `Kind`, whose header writer prints the
// headers as they are set, then prints the body; returns it (empty on failure).
template <class Kind, class Write>
std::string Send(const char* what, Write write) {
  std::printf("  headers:\n");
  auto message = demo::NewMessage<Kind>();
  if (!Check(write(message->GetUnknown()), what)) return {};
  PrintBody(message->Sent());
  return message->Sent();
}

// Reads `body` as received on a message of `Kind`; null on failure.
template <class Interface, class Kind>
CComQIPtr<Interface> Receive(IUPnPSoapMsgReaderWriter* readerWriter, const std::string& body) {
  auto message = demo::NewMessage<Kind>(body);
  CComPtr<IUnknown> object;
  if (!Check(readerWriter->ReadMessage(message->GetUnknown(), &object), "ReadMessage")) return nullptr;
  CComQIPtr<Interface> read(object);
  if (!read) Fail("the message read is not of the kind expected");
  return read;
}

void ShowExchange(IUPnPSoapMsgReaderWriter* readerWriter) {
  std::printf("\n[control point] sends SetVolume(InstanceID 0, Channel \"Master\", DesiredVolume 42)\n");
  const std::string request = Send<Request>("WriteInvokeActionRequest", [&](IUnknown* message) {
    return readerWriter->WriteInvokeActionRequest(
        message, CComBSTR(u"SetVolume"),
        ArgumentArray({CComVariant(0u), CComVariant(u"Master"), CComVariant(uint16_t{42})}), nullptr);
  });

  std::printf("\n[device] reads that request\n");
  if (auto read = request.empty() ? nullptr : Receive<IUPnPInvokeActionRequest, Request>(readerWriter, request)) {
    CComBSTR name;
    CComVariant arguments;
    if (Check(read->GetActionName(&name), "GetActionName") && Check(read->GetArguments(&arguments), "GetArguments")) {
      std::printf("  action %s, %s\n", Utf8(name).c_str(), DescribeArguments(arguments).c_str());
    }
  }

  std::printf("\n[device] answers GetVolume with CurrentVolume 42\n");
  Send<Response>("WriteInvokeActionResponse", [&](IUnknown* message) {
    return readerWriter->WriteInvokeActionResponse(message, CComBSTR(u"GetVolume"),
                                                   ArgumentArray({CComVariant(uint16_t{42})}), nullptr, nullptr,
                                                   nullptr);
  });

  std::printf("\n[device] answers SetVolume with a fault: 402 Invalid Args\n");
  CComPtr<IUPnPSoapErrorMsg> error = Create<IUPnPSoapErrorMsg>(CLSID_SoapErrorMsg);
  if (!error) return Fail("no error message object from the library");
  error->SetErrorCode(402);
  error->SetErrorDescription(CComBSTR(u"Invalid Args"));
  const std::string fault = Send<Response>("WriteInvokeActionResponse with a fault", [&](IUnknown* message) {
    return readerWriter->WriteInvokeActionResponse(message, CComBSTR(u"SetVolume"), CComVariant(), error, nullptr,
                                                   nullptr);
  });

  std::printf("\n[control point] reads that fault\n");
  if (auto read = fault.empty() ? nullptr : Receive<IUPnPSoapErrorMsg, Response>(readerWriter, fault)) {
    LONG code = 0;
    CComBSTR description;
    if (Check(read->GetErrorCode(&code), "GetErrorCode") &&
        Check(read->GetErrorDescription(&description), "GetErrorDescription")) {
      std::printf("  UPnP error %d: %s\n", code, Utf8(description).c_str());
    }
  }
}

// A value that does not read does not fail the read: the request keeps the
// UPnP error for the device to answer with.
void ShowBadValue(IUPnPSoapMsgReaderWriter* readerWriter) {
  std::printf("\n[device] reads SetVolume with DesiredVolume \"12abc\"\n");
  auto read = Receive<IUPnPInvokeActionRequest, Request>(readerWriter, kBadVolumeRequest);
  if (!read) return;
  std::printf("  ReadMessage: S_OK\n");
  SetErrorInfo(0, nullptr);  // so that what is read below is GetArguments' own
  CComVariant arguments;
  if (!Expect(read->GetArguments(&arguments), E_UPNP_ARGUMENT_ERROR, "GetArguments")) return;
  std::printf("  GetArguments: %s (E_UPNP_ARGUMENT_ERROR)\n", Hex(E_UPNP_ARGUMENT_ERROR).c_str());
  CComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) != S_OK || !info) return Fail("no error information on the thread");
  CComBSTR source, description;
  info->GetSource(&source);
  info->GetDescription(&description);
  std::printf("  UPnP error %s: %s\n", Utf8(source).c_str(), Utf8(description).c_str());
}

// A value outside the variable's range fails the read; the thread's error
// information names the UPnP error the device answers with.
void ShowOutOfRange(IUPnPSoapMsgReaderWriter* readerWriter) {
  std::printf("\n[device] reads SetVolume with DesiredVolume 150 (the range is 0 to 100)\n");
  auto message = demo::NewMessage<Request>(kOutOfRangeRequest);
  CComPtr<IUnknown> object;
  const HRESULT hr = readerWriter->ReadMessage(message->GetUnknown(), &object);
  if (!Expect(hr, E_INVALIDARG, "ReadMessage")) return;
  std::printf("  ReadMessage: %s (E_INVALIDARG)\n", Hex(hr).c_str());
  CComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) != S_OK || !info) return Fail("no error information on the thread");
  CComBSTR source, description;
  info->GetSource(&source);
  info->GetDescription(&description);
  if (Utf8(source) != "601") Fail("the UPnP error is not 601");
  std::printf("  UPnP error to answer: %s %s\n", Utf8(source).c_str(), Utf8(description).c_str());

  CComPtr<IUPnPSoapErrorMsg> error = Create<IUPnPSoapErrorMsg>(CLSID_SoapErrorMsg);
  if (!error) return Fail("no error message object from the library");
  error->SetErrorCode(static_cast<LONG>(std::stol(Utf8(source))));
  error->SetErrorDescription(description);
  std::printf("\n[device] answers with that fault\n");
  Send<Response>("WriteInvokeActionResponse with a fault", [&](IUnknown* response) {
    return readerWriter->WriteInvokeActionResponse(response, CComBSTR(u"SetVolume"), CComVariant(), error, nullptr,
                                                   nullptr);
  });
}

void ShowEndToEnd() {
  std::printf("\n== SOAP control of a rendering-control service, end to end ==\n");
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter = LoadRenderingControl();
  if (!readerWriter) return;
  ShowExchange(readerWriter);
  ShowBadValue(readerWriter);
  ShowOutOfRange(readerWriter);
}

// Converts the values of an evented state variable as a device and a control
// point do for GENA event bodies.
void ShowEventValues() {
  std::printf("\n== Event values ==\n");
  CComPtr<IUPnPGenaMsgWriterHelper> helper = CreateByProgId<IUPnPGenaMsgWriterHelper>(u"Varnel.GenaMsgWriterHelper");
  if (!helper) return Fail("no GenaMsgWriterHelper from the library");
  std::printf("Created Varnel.GenaMsgWriterHelper through CoCreateInstance\n");
  CComPtr<IXMLDOMDocument2> document = LoadDescriptionDocument();
  if (!document || !Check(helper->LoadServiceDescription(CComVariant(static_cast<IDispatch*>(document.p))),
                          "GenaMsgWriterHelper::LoadServiceDescription")) {
    return;
  }
  CComBSTR text;
  if (Check(helper->FormatStateVariableValue(CComBSTR(u"Volume"), CComVariant(uint16_t{42}), &text),
            "FormatStateVariableValue")) {
    std::printf("  Volume 42 (ui2) is written \"%s\"\n", Utf8(text).c_str());
  }
  CComVariant value;
  if (Check(helper->ParseStateVariableValue(CComBSTR(u"Volume"), CComBSTR(u"75"), &value), "ParseStateVariableValue")) {
    std::printf("  \"75\" is read as %s\n", Describe(value).c_str());
  }
  text.Empty();
  const HRESULT refused = helper->FormatStateVariableValue(CComBSTR(u"Volume"), CComVariant(uint16_t{150}), &text);
  if (Expect(refused, E_INVALIDARG, "FormatStateVariableValue(150)")) {
    std::printf("  Volume 150 is refused: %s (outside 0..100)\n", Hex(refused).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : VARNEL_LIBRARY_PATH;
  char folder[] = "/tmp/varnel-demo-XXXXXX";
  if (!mkdtemp(folder)) {
    std::fprintf(stderr, "varnel-demo: cannot make a temporary folder\n");
    return 1;
  }
  const std::string store = std::string(folder) + "/registry";
  setenv("COMRT_REGISTRY", store.c_str(), 1);
  if (!Check(CallEntryPoint(path, "DllRegisterServer"), "DllRegisterServer")) {
    std::filesystem::remove_all(folder);
    return 1;
  }
  std::printf("Registered %s into the registry store %s;\n"
              "every object below is made by CoCreateInstance, which finds the library there\n",
              path, store.c_str());
  ShowInvokeActionRequest();
  ShowInvokeActionResponse();
  ShowQueryStateVariable();
  ShowSoapError();
  ShowEndToEnd();
  ShowEventValues();

  CoFreeUnusedLibraries();
  if (LibraryIsLoaded(path)) {
    Fail("objects of the library are still alive after the demo");
  } else {
    std::printf("\nNo object is left: the runtime has unloaded the library\n");
  }
  if (Check(CallEntryPoint(path, "DllUnregisterServer"), "DllUnregisterServer")) {
    std::printf("Unregistered the library; removing %s\n", folder);
  }
  std::filesystem::remove_all(folder);
  if (failures) std::fprintf(stderr, "varnel-demo: %d step(s) failed\n", failures);
  return failures ? 1 : 0;
}
