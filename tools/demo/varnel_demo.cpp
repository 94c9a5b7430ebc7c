// A small host: loads the component library by path, makes each message
// object through its class object, fills it and prints what it holds.
#include <dlfcn.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_safe_array.h"
#include "comrt/com_variant.h"
#include "comrt/error_info.h"
#include "comrt/text_conversion.h"
#include "varnel/varnel.h"

namespace {

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

class Component {
 public:
  explicit Component(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_) getClassObject_ = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle_, "DllGetClassObject"));
  }
  ~Component() {
    if (handle_) dlclose(handle_);
  }
  bool Loaded() const { return getClassObject_ != nullptr; }

  template <class Interface>
  CComPtr<Interface> Create(REFCLSID clsid) {
    CComPtr<IClassFactory> factory;
    CComPtr<Interface> object;
    if (SUCCEEDED(getClassObject_(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
      factory->CreateInstance(nullptr, comrt::uuidof<Interface>(), reinterpret_cast<void**>(&object));
    }
    return object;
  }

 private:
  void* handle_;
  LPFNGETCLASSOBJECT getClassObject_ = nullptr;
};

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

void ShowInvokeActionRequest(Component& component) {
  CComPtr<IUPnPInvokeActionRequest> request = component.Create<IUPnPInvokeActionRequest>(CLSID_InvokeActionRequest);
  if (!request) return;
  request->SetActionName(CComBSTR(u"SetVolume"));
  request->SetArguments(ArgumentArray({CComVariant(0u), CComVariant(u"Master"), CComVariant(uint16_t{42})}));
  CComBSTR name;
  request->GetActionName(&name);
  CComVariant arguments;
  request->GetArguments(&arguments);
  std::printf("InvokeActionRequest: action %s, %s\n", Utf8(name).c_str(), DescribeArguments(arguments).c_str());
}

void ShowInvokeActionResponse(Component& component) {
  CComPtr<IUPnPInvokeActionResponse> response =
      component.Create<IUPnPInvokeActionResponse>(CLSID_InvokeActionResponse);
  if (!response) return;
  response->SetActionName(CComBSTR(u"GetVolume"));
  response->SetArguments(ArgumentArray({CComVariant(uint16_t{42})}));
  CComBSTR name;
  response->GetActionName(&name);
  CComVariant arguments;
  response->GetArguments(&arguments);
  std::printf("InvokeActionResponse: action %s, %s\n", Utf8(name).c_str(), DescribeArguments(arguments).c_str());
}

void ShowQueryStateVariable(Component& component) {
  CComPtr<IUPnPQueryStateVariableRequest> request =
      component.Create<IUPnPQueryStateVariableRequest>(CLSID_QueryStateVariableRequest);
  CComPtr<IUPnPQueryStateVariableResponse> response =
      component.Create<IUPnPQueryStateVariableResponse>(CLSID_QueryStateVariableResponse);
  if (!request || !response) return;
  request->SetVariableName(CComBSTR(u"TransportState"));
  response->SetReturnValue(CComVariant(u"PLAYING"));
  CComBSTR name;
  request->GetVariableName(&name);
  CComVariant value;
  response->GetReturnValue(&value);
  std::printf("QueryStateVariableRequest: variable %s\n", Utf8(name).c_str());
  std::printf("QueryStateVariableResponse: return value %s\n", Describe(value).c_str());
}

void ShowSoapError(Component& component) {
  CComPtr<IUPnPSoapErrorMsg> error = component.Create<IUPnPSoapErrorMsg>(CLSID_SoapErrorMsg);
  if (!error) return;
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

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : VARNEL_LIBRARY_PATH;
  Component component(path);
  if (!component.Loaded()) {
    std::fprintf(stderr, "varnel-demo: cannot load %s: %s\n", path, dlerror());
    return 1;
  }
  std::printf("Loaded %s\n", path);
  ShowInvokeActionRequest(component);
  ShowInvokeActionResponse(component);
  ShowQueryStateVariable(component);
  ShowSoapError(component);
  return 0;
}
