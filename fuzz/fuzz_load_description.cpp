// LoadServiceDescription of any text, then reads and writes through what it
// loaded.
#include <cstdint>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CComPtr<IXMLDOMDocument2> description = fuzz::DescriptionDocument(text);
  if (!description) return 0;
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter = fuzz::ReaderWriter(description);
  static const char kRequest[] =
      "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><u:A xmlns:u=\"urn:x\"><B>1</B>"
      "</u:A></s:Body></s:Envelope>";
  auto request = varnel::host::MemoryMessage(varnel::host::Direction::kRequest, kRequest);
  CComPtr<IUnknown> object;
  readerWriter->ReadMessage(request.Transport(), &object);
  auto out = varnel::host::MemoryMessage(varnel::host::Direction::kRequest);
  readerWriter->WriteQueryStateVariableRequest(out.Transport(), CComBSTR(u"B"), nullptr);
  CComVariant value;
  readerWriter->ParseStateVariableValue(CComBSTR(u"B"), CComBSTR(u"1"), &value);

  CComPtr<IClassFactory> factory;
  DllGetClassObject(CLSID_GenaMsgWriterHelper, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  CComPtr<IUPnPGenaMsgWriterHelper> helper;
  factory->CreateInstance(nullptr, IID_IUPnPGenaMsgWriterHelper, reinterpret_cast<void**>(&helper));
  helper->LoadServiceDescription(CComVariant(static_cast<IDispatch*>(description.p)));
  CComBSTR formatted;
  helper->FormatStateVariableValue(CComBSTR(u"B"), CComVariant(1), &formatted);
  SetErrorInfo(0, nullptr);
  return 0;
}
