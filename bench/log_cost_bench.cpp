// What the log costs on the read path: a request that reads, and a body that
// fails (its trace lines filtered out when no configuration asks for them),
// against the same failure with every line built and handed on.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_transport.h"
#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "com/trace.h"
#include "comrt/xml_dom.h"
#include "log/module_logger.h"
#include "varnel/varnel.h"

namespace {

const char kRequest[] =
    "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
    "<u:SetVolume xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\"><InstanceID>0</InstanceID>"
    "<Channel>Master</Channel><DesiredVolume>42</DesiredVolume></u:SetVolume></s:Body></s:Envelope>";
// Well-formed, but no SOAP envelope: the read fails and traces its path.
const char kNotAnEnvelope[] = "<?xml version=\"1.0\"?><html><body>Not found</body></html>";

CComPtr<IUPnPSoapMsgReaderWriter> LoadedReaderWriter() {
  CComPtr<IClassFactory> factory;
  DllGetClassObject(CLSID_SoapMsgReaderWriter, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter;
  factory->CreateInstance(nullptr, IID_IUPnPSoapMsgReaderWriter, reinterpret_cast<void**>(&readerWriter));
  CComPtr<IXMLDOMDocument2> document;
  CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                   reinterpret_cast<void**>(&document));
  document->put_async(VARIANT_FALSE);
  document->setProperty(CComBSTR(u"SelectionNamespaces"), CComVariant(u"xmlns:scpd='urn:schemas-upnp-org:service-1-0'"));
  const std::string path = std::string(VARNEL_TEST_DATA_DIR) + "/scpd/rendering_control.xml";
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document->load(CComVariant(std::u16string(path.begin(), path.end()).c_str()), &loaded);
  readerWriter->LoadServiceDescription(CComVariant(static_cast<IDispatch*>(document.p)));
  return readerWriter;
}

void Read(benchmark::State& state, const char* text, HRESULT expected) {
  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter = LoadedReaderWriter();
  const std::string body = text;
  auto message = varnel_bench::MakeObject<varnel_bench::BenchMessage<ITransportRequestMessage>>();
  for (auto _ : state) {
    message->Receive(&body);
    CComPtr<IUnknown> object;
    const HRESULT hr = readerWriter->ReadMessage(message->GetUnknown(), &object);
    if (hr != expected) state.SkipWithError("unexpected result");
    benchmark::DoNotOptimize(object.p);
  }
}

void BM_ReadRequest(benchmark::State& state) { Read(state, kRequest, S_OK); }
void BM_ReadFailure_NoLog(benchmark::State& state) { Read(state, kNotAnEnvelope, ZeltCommonLib::InvalidMessage); }
// The same failure with a receiver installed, so every line is built.
void BM_ReadFailure_LinesBuilt(benchmark::State& state) {
  log4halden::Logger::Instance()->SetSink([](int, const std::u16string& line) { benchmark::DoNotOptimize(line.data()); });
  Read(state, kNotAnEnvelope, ZeltCommonLib::InvalidMessage);
  log4halden::Logger::Instance()->SetSink(nullptr);
}

// One trace line as the checks write it: filtered out before it is built,
// and built and handed on.
void BM_TraceLine_NoLog(benchmark::State& state) {
  for (auto _ : state) varnel::TraceLine(log4halden::kError, "NULL == spMsgBodyReader", VARNEL_HERE);
}
void BM_TraceLine_Built(benchmark::State& state) {
  log4halden::Logger::Instance()->SetSink([](int, const std::u16string& line) { benchmark::DoNotOptimize(line.data()); });
  for (auto _ : state) varnel::TraceLine(log4halden::kError, "NULL == spMsgBodyReader", VARNEL_HERE);
  log4halden::Logger::Instance()->SetSink(nullptr);
}

BENCHMARK(BM_ReadRequest);
BENCHMARK(BM_ReadFailure_NoLog);
BENCHMARK(BM_ReadFailure_LinesBuilt);
BENCHMARK(BM_TraceLine_NoLog);
BENCHMARK(BM_TraceLine_Built);

}  // namespace
