// The reader/writer of one UPnP service's control messages.
#pragma once

#include <string>

#include "com/component_object.h"
#include "comrt/com_ptr.h"
#include "comrt/xml_dom.h"
#include "model/service_tables.h"
#include "varnel/varnel.h"

class CUPnPDataType;

class CSoapMsgReaderWriter
    : public varnel::CComponentObject<CSoapMsgReaderWriter, ISoapMsgReaderWriter, IUPnPSoapMsgReaderWriter> {
 public:
  // IUPnPSoapMsgReaderWriter
  HRESULT STDMETHODCALLTYPE SetServiceType(BSTR serviceType) override;
  HRESULT STDMETHODCALLTYPE LoadServiceDescription(VARIANT description) override;
  HRESULT STDMETHODCALLTYPE ReadMessage(IUnknown* message, IUnknown** messageObject) override;
  HRESULT STDMETHODCALLTYPE WriteInvokeActionRequest(IUnknown* message, BSTR actionName, VARIANT inArguments,
                                                     IUnknown* headerSource) override;
  HRESULT STDMETHODCALLTYPE WriteQueryStateVariableRequest(IUnknown* message, BSTR variableName,
                                                           IUnknown* headerSource) override;
  HRESULT STDMETHODCALLTYPE WriteInvokeActionResponse(IUnknown* message, BSTR actionName, VARIANT outArguments,
                                                      IUPnPSoapErrorMsg* errorMessage, IUnknown* headerSource1,
                                                      IUnknown* headerSource2) override;
  HRESULT STDMETHODCALLTYPE WriteQueryStateVariableResponse(IUnknown* message, VARIANT returnValue,
                                                            IUPnPSoapErrorMsg* errorMessage,
                                                            IUnknown* headerSource) override;
  HRESULT STDMETHODCALLTYPE ParseStateVariableValue(BSTR variableName, BSTR value, VARIANT* parsed) override;

 private:
  // The message object for the body's message element, or null when no
  // reader recognises it. Throws what a reader fails with.
  CComPtr<IUnknown> ReadRequestElement(IXMLDOMNode* element) const;
  CComPtr<IUnknown> ReadResponseElement(IXMLDOMNode* element) const;
  CComPtr<IUnknown> ReadQueryStateVariableRequest(IXMLDOMNode* element) const;
  CComPtr<IUnknown> ReadFault(IXMLDOMNode* element) const;
  CComPtr<IUnknown> ReadQueryStateVariableResponse(IXMLDOMNode* element) const;
  template <class Message>
  CComPtr<IUnknown> ReadInvokeAction(IXMLDOMNode* element) const;

  // Appends one element per argument with its value text to `actionElement`,
  // from an array of values or the single-value form (VT_VARIANT); any other
  // variant writes no argument.
  void AppendArguments(IXMLDOMDocument* document, IXMLDOMElement* actionElement, const CUPnPArgumentList& arguments,
                       const VARIANT& values) const;
  // The converter of state variable `name`; E_UNEXPECTED (traced) when the
  // description lacks it, E_NOTIMPL when its data type has no converter.
  const CUPnPDataType& ConverterForWriting(const std::u16string& name) const;

  bool initialized_ = false;
  std::u16string serviceType_;
  ActionTable m_actions;
  DataTypeTable m_dataTypes;
};
