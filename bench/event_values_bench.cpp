// The event value converter (CLSID_GenaMsgWriterHelper), one value of each
// data type both ways: event_parse/<type>/varnel and event_format/<type>/varnel.
#include <string>

#include "bench_cases.h"
#include "bench_services.h"
#include "comrt/com_bstr.h"
#include "comrt/text_conversion.h"
#include "counting_allocator.h"

namespace varnel_bench {
namespace {

struct TypedText {
  const char* dataType;
  const char16_t* text;
};

// A typical value of each type, as events carry them.
const TypedText kValues[] = {
    {"i1", u"-12"},
    {"i2", u"-1234"},
    {"i4", u"-123456"},
    {"ui1", u"200"},
    {"ui2", u"65000"},
    {"ui4", u"4000000000"},
    {"int", u"42"},
    {"i8", u"-9000000000"},
    {"ui8", u"18000000000000000000"},
    {"r4", u"0.25"},
    {"r8", u"3.14159265358979"},
    {"float", u"1.5E10"},
    {"fixed.14.4", u"12345.6789"},
    {"number", u"99.5"},
    {"char", u"x"},
    {"string", u"Living Room"},
    {"uri", u"http://192.168.1.20:9000/desc.xml"},
    {"uuid", u"2fac1234-31f8-11b4-a222-08002b34c003"},
    {"boolean", u"1"},
    {"date", u"2011-02-15"},
    {"dateTime", u"2011-02-15T08:05:09"},
    {"dateTime.tz", u"2011-02-15T08:05:09+01:00"},
    {"time", u"10:20:30"},
    {"time.tz", u"10:20:30+01:00"},
    {"bin.base64", u"SGFyYm91ciBsaWdodHMsIGV2ZW5pbmcgdGlkZQ=="},
    {"bin.hex", u"486172626f7572206c6967687473"},
};

// "V_fixed_14_4" for "fixed.14.4".
std::string VariableName(const char* dataType) {
  std::string name = std::string("V_") + dataType;
  for (char& c : name) {
    if (c == '.') c = '_';
  }
  return name;
}

std::string Description() {
  std::string variables;
  for (const TypedText& value : kValues) {
    variables += "<stateVariable sendEvents=\"yes\"><name>" + VariableName(value.dataType) + "</name><dataType>" +
                 value.dataType + "</dataType></stateVariable>";
  }
  return "<?xml version=\"1.0\"?><scpd xmlns=\"urn:schemas-upnp-org:service-1-0\"><specVersion><major>1</major>"
         "<minor>0</minor></specVersion><serviceStateTable>" +
         variables + "</serviceStateTable></scpd>";
}

CComPtr<IUPnPGenaMsgWriterHelper> LoadedHelper() {
  CComPtr<IClassFactory> factory;
  DllGetClassObject(CLSID_GenaMsgWriterHelper, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  CComPtr<IUPnPGenaMsgWriterHelper> helper;
  if (factory) factory->CreateInstance(nullptr, IID_IUPnPGenaMsgWriterHelper, reinterpret_cast<void**>(&helper));
  CComPtr<IXMLDOMDocument2> document = ParseDescription(Description());
  if (!helper || !document) return nullptr;
  CComVariant description(static_cast<IDispatch*>(document.p));
  if (helper->LoadServiceDescription(description) != S_OK) return nullptr;
  return helper;
}

struct Converter {
  CComPtr<IUPnPGenaMsgWriterHelper> helper;
  CComBSTR variable;
  CComBSTR text;
  CComVariant value;  // the text parsed
};

// False, with the state skipped, when the helper cannot convert the value.
bool Prepare(benchmark::State& state, const TypedText* typed, Converter* converter) {
  converter->helper = LoadedHelper();
  if (!converter->helper) {
    state.SkipWithError("the description does not load");
    return false;
  }
  converter->variable = comrt::FromUtf8(VariableName(typed->dataType)).c_str();
  converter->text = typed->text;
  if (converter->helper->ParseStateVariableValue(converter->variable, converter->text, &converter->value) != S_OK) {
    state.SkipWithError("the value does not parse");
    return false;
  }
  return true;
}

void Parse(benchmark::State& state, const TypedText* typed) {
  Converter converter;
  if (!Prepare(state, typed, &converter)) return;
  AllocationMeter meter;
  for (auto _ : state) {
    CComVariant value;
    converter.helper->ParseStateVariableValue(converter.variable, converter.text, &value);
    benchmark::DoNotOptimize(value.llVal);
  }
  meter.Report(state);
}

void Format(benchmark::State& state, const TypedText* typed) {
  Converter converter;
  if (!Prepare(state, typed, &converter)) return;
  AllocationMeter meter;
  for (auto _ : state) {
    CComBSTR text;
    converter.helper->FormatStateVariableValue(converter.variable, converter.value, &text);
    benchmark::DoNotOptimize(text.m_str);
  }
  meter.Report(state);
}

}  // namespace

void RegisterEventValueCases() {
  for (const TypedText& typed : kValues) {
    benchmark::RegisterBenchmark(("event_parse/" + std::string(typed.dataType) + "/varnel").c_str(), Parse, &typed);
    benchmark::RegisterBenchmark(("event_format/" + std::string(typed.dataType) + "/varnel").c_str(), Format, &typed);
  }
}

}  // namespace varnel_bench
