// The reader/writer of one UPnP service's control messages.
#pragma once

#include <string>
#include <string_view>

#include "com/component_object.h"
#include "comrt/com_ptr.h"
#include "comrt/xml/node_view.h"
#include "comrt/xml_dom.h"
#include "model/service_tables.h"
#include "soap/markup_text.h"
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
  // The message object for the body's message element (the first node in
  // Body, whatever its type), or null when no reader recognises it. Throws
  // what a reader fails with.
  CComPtr<IUnknown> ReadRequestElement(comrt::xml::NodeView element) const;
  CComPtr<IUnknown> ReadResponseElement(comrt::xml::NodeView element) const;
  CComPtr<IUnknown> ReadQueryStateVariableRequest(comrt::xml::NodeView element) const;
  CComPtr<IUnknown> ReadFault(comrt::xml::NodeView element) const;
  CComPtr<IUnknown> ReadQueryStateVariableResponse(comrt::xml::NodeView element) const;
  template <class Message>
  CComPtr<IUnknown> ReadInvokeAction(comrt::xml::NodeView element) const;

  // Writing as text (text_writers.cpp): the whole body of an InvokeAction
  // request or response, a QueryStateVariable request or its answer, into
  // `body`; false when the message must take the DOM path instead (which
  // then writes it or fails as it always has). Never throw.
  bool InvokeActionText(std::u16string_view actionName, const VARIANT& values, bool response,
                        varnel::TextBuffer& body) const noexcept;
  bool QueryText(std::u16string_view variableName, varnel::TextBuffer& body) const noexcept;
  bool AnswerText(const VARIANT& value, varnel::TextBuffer& body) const noexcept;
  // Appends one element per value, `count` of them, named and converted as
  // `arguments` says. False as above; throws std::bad_alloc and what a
  // converter throws.
  bool AppendArgumentsText(const CUPnPArgumentList& arguments, const VARIANT* values, size_t count,
                           varnel::TextBuffer& body) const;

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
