// A host program for the log tests: loads the component library from the
// path it is given, as any host would, and makes boundary calls fail so that
// the library traces them. The log tests copy this program into a folder of
// their own, with or without a configuration beside it.
//
//   log_host <library> <kind> <count>
//     read   ReadMessage of a body that is no SOAP envelope: two [ERR] lines
//     fault  WriteInvokeActionResponse of a fault that XML cannot carry:
//            one [ERR] and one [DBG] line
//     both   each of the above, <count> times
//     none   loads and uses the library without any failure
//
// Exit status 0 when every call returned the code it should, whether or not
// anything could be logged; 1 when one did not; 2 when the library could not
// be used at all.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/xml_dom.h"
#include "varnel/host/memory_message.h"
#include "varnel/varnel.h"

namespace {

constexpr char16_t kServiceType[] = u"urn:schemas-upnp-org:service:SwitchPower:1";
constexpr char16_t kDescription[] =
    u"<?xml version=\"1.0\"?><scpd xmlns=\"urn:schemas-upnp-org:service-1-0\">"
    u"<specVersion><major>1</major><minor>0</minor></specVersion><actionList><action><name>GetStatus</name>"
    u"<argumentList><argument><name>ResultStatus</name><relatedStateVariable>Status</relatedStateVariable>"
    u"<direction>out</direction></argument></argumentList></action></actionList><serviceStateTable>"
    u"<stateVariable sendEvents=\"yes\"><name>Status</name><dataType>boolean</dataType></stateVariable>"
    u"</serviceStateTable></scpd>";

template <class Interface>
CComPtr<Interface> Create(LPFNGETCLASSOBJECT getClassObject, REFCLSID clsid, REFIID iid) {
  CComPtr<IClassFactory> factory;
  CComPtr<Interface> object;
  if (SUCCEEDED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
  }
  return object;
}

CComPtr<IUPnPSoapMsgReaderWriter> LoadedReaderWriter(LPFNGETCLASSOBJECT getClassObject) {
  auto readerWriter =
      Create<IUPnPSoapMsgReaderWriter>(getClassObject, CLSID_SoapMsgReaderWriter, IID_IUPnPSoapMsgReaderWriter);
  CComPtr<IXMLDOMDocument2> document;
  CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                   reinterpret_cast<void**>(&document));
  if (!readerWriter || !document) return nullptr;
  document->put_async(VARIANT_FALSE);
  document->setProperty(CComBSTR(u"SelectionNamespaces"),
                        CComVariant(u"xmlns:scpd='urn:schemas-upnp-org:service-1-0'"));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document->loadXML(CComBSTR(kDescription), &loaded);
  if (loaded != VARIANT_TRUE || FAILED(readerWriter->SetServiceType(CComBSTR(kServiceType))) ||
      FAILED(readerWriter->LoadServiceDescription(CComVariant(static_cast<IDispatch*>(document.p))))) {
    return nullptr;
  }
  return readerWriter;
}

bool Expect(HRESULT hr, HRESULT expected, const char* what) {
  if (hr == expected) return true;
  std::fprintf(stderr, "log_host: %s returned 0x%08X, expected 0x%08X\n", what, static_cast<unsigned>(hr),
               static_cast<unsigned>(expected));
  return false;
}

int Run(LPFNGETCLASSOBJECT getClassObject, const std::string& kind, long count) {
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter = LoadedReaderWriter(getClassObject);
  auto error = Create<IUPnPSoapErrorMsg>(getClassObject, CLSID_SoapErrorMsg, IID_IUPnPSoapErrorMsg);
  if (!readerWriter || !error) {
    std::fprintf(stderr, "log_host: the library's objects cannot be made\n");
    return 2;
  }
  error->SetErrorCode(501);
  error->SetErrorDescription(CComBSTR(u"control character \x01 in a description"));
  bool allAsExpected = true;
  const bool read = kind == "read" || kind == "both";
  const bool fault = kind == "fault" || kind == "both";
  for (long i = 0; i < count; ++i) {
    if (read) {
      varnel::host::MemoryMessage message(varnel::host::Direction::kRequest, "<html><body>Not found</body></html>");
      CComPtr<IUnknown> object;
      allAsExpected &= Expect(readerWriter->ReadMessage(message.Transport(), &object), ZeltCommonLib::InvalidMessage,
                              "ReadMessage");
    }
    if (fault) {
      varnel::host::MemoryMessage message(varnel::host::Direction::kResponse);
      allAsExpected &= Expect(readerWriter->WriteInvokeActionResponse(message.Transport(), nullptr, CComVariant(),
                                                                      error, nullptr, nullptr),
                              E_INVALIDARG, "WriteInvokeActionResponse");
    }
  }
  return allAsExpected ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: log_host <library> read|fault|both|none <count>\n");
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  auto getClassObject =
      library ? reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(library, "DllGetClassObject")) : nullptr;
  if (!getClassObject) {
    std::fprintf(stderr, "log_host: cannot use %s: %s\n", argv[1], dlerror());
    return 2;
  }
  const int status = Run(getClassObject, argv[2], std::strtol(argv[3], nullptr, 10));
  // Unloading ends the log system as a host's unload would.
  dlclose(library);
  return status;
}
