#include "com/module.h"

#include "comrt/class_factory.h"
#include "messages/invoke_action_request.h"
#include "messages/invoke_action_response.h"
#include "messages/query_state_variable_request.h"
#include "messages/query_state_variable_response.h"
#include "messages/soap_error_msg.h"
#include "soap/soap_msg_reader_writer.h"
#include "varnel/varnel.h"

namespace varnel {
namespace {

// Made by the library's static initialisation (constant-initialised, so it
// exists before any other code of the library runs).
CVarnelModule g_module;

// The class object of T: made on first request, kept until unload.
template <class T>
IClassFactory* ClassObject() {
  static comrt::ClassFactory<T, ModuleLock> factory;
  return &factory;
}

struct ClassEntry {
  const CLSID* clsid;
  IClassFactory* (*classObject)();
};

constexpr ClassEntry kClasses[] = {
    {&CLSID_SoapMsgReaderWriter, &ClassObject<CSoapMsgReaderWriter>},
    {&CLSID_InvokeActionRequest, &ClassObject<CInvokeActionRequest>},
    {&CLSID_InvokeActionResponse, &ClassObject<CInvokeActionResponse>},
    {&CLSID_QueryStateVariableRequest, &ClassObject<CQueryStateVariableRequest>},
    {&CLSID_QueryStateVariableResponse, &ClassObject<CQueryStateVariableResponse>},
    {&CLSID_SoapErrorMsg, &ClassObject<CSoapErrorMsg>},
};

}  // namespace

CVarnelModule& CVarnelModule::Instance() { return g_module; }

HRESULT CVarnelModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (const ClassEntry& entry : kClasses) {
    if (IsEqualGUID(clsid, *entry.clsid)) return entry.classObject()->QueryInterface(iid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace varnel

extern "C" VARNEL_ENTRY_POINT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return varnel::CVarnelModule::Instance().GetClassObject(clsid, iid, object);
}

extern "C" VARNEL_ENTRY_POINT HRESULT DllCanUnloadNow() { return varnel::CVarnelModule::Instance().CanUnloadNow(); }
