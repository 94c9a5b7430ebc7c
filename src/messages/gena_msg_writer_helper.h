// The event value converter: one service description's state variables, for
// the values of GENA event bodies.
#pragma once

#include "com/component_object.h"
#include "model/service_tables.h"
#include "varnel/varnel.h"

class CGenaMsgWriterHelper
    : public varnel::CComponentObject<CGenaMsgWriterHelper, IGenaMsgWriterHelper, IUPnPGenaMsgWriterHelper> {
 public:
  HRESULT STDMETHODCALLTYPE LoadServiceDescription(VARIANT description) override;
  HRESULT STDMETHODCALLTYPE ParseStateVariableValue(BSTR variableName, BSTR valueText, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE FormatStateVariableValue(BSTR variableName, VARIANT value, BSTR* valueText) override;

 private:
  // The converter of `variableName`; E_FAIL when the name is not in the
  // table, E_NOTIMPL when its data type has no converter.
  const CUPnPDataType& ConverterOf(BSTR variableName) const;

  bool initialized_ = false;
  DataTypeTable m_dataTypes;
};
