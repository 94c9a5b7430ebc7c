#include "com/class_table.h"

#include "com/module.h"
#include "comrt/class_factory.h"
#include "messages/gena_msg_writer_helper.h"
#include "messages/invoke_action_request.h"
#include "messages/invoke_action_response.h"
#include "messages/query_state_variable_request.h"
#include "messages/query_state_variable_response.h"
#include "messages/soap_error_msg.h"
#include "soap/soap_msg_reader_writer.h"
#include "varnel/varnel.h"

namespace varnel {

// Built from src/com/registration/*.rgs.
extern const char16_t kSoapMsgReaderWriterScript[];
extern const char16_t kInvokeActionRequestScript[];
extern const char16_t kInvokeActionResponseScript[];
extern const char16_t kQueryStateVariableRequestScript[];
extern const char16_t kQueryStateVariableResponseScript[];
extern const char16_t kSoapErrorMsgScript[];
extern const char16_t kGenaMsgWriterHelperScript[];

namespace {

template <class T>
IClassFactory* ClassObject() {
  static comrt::ClassFactory<T, ModuleLock> factory;
  return &factory;
}

const ClassEntry kClasses[] = {
    {&CLSID_SoapMsgReaderWriter, &ClassObject<CSoapMsgReaderWriter>, kSoapMsgReaderWriterScript},
    {&CLSID_InvokeActionRequest, &ClassObject<CInvokeActionRequest>, kInvokeActionRequestScript},
    {&CLSID_InvokeActionResponse, &ClassObject<CInvokeActionResponse>, kInvokeActionResponseScript},
    {&CLSID_QueryStateVariableRequest, &ClassObject<CQueryStateVariableRequest>, kQueryStateVariableRequestScript},
    {&CLSID_QueryStateVariableResponse, &ClassObject<CQueryStateVariableResponse>, kQueryStateVariableResponseScript},
    {&CLSID_SoapErrorMsg, &ClassObject<CSoapErrorMsg>, kSoapErrorMsgScript},
    {&CLSID_GenaMsgWriterHelper, &ClassObject<CGenaMsgWriterHelper>, kGenaMsgWriterHelperScript},
};

}  // namespace

const ClassEntry* ClassTable(size_t* count) {
  *count = sizeof kClasses / sizeof kClasses[0];
  return kClasses;
}

}  // namespace varnel
