// The five message objects as a caller meets them: made through their class
// objects, with their start values, copy rules and null-pointer answers.
#include <gtest/gtest.h>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_safe_array.h"
#include "comrt/com_variant.h"
#include "comrt/error_info.h"
#include "comrt/safearray.h"
#include "varnel/varnel.h"

namespace {

template <class Interface>
CComPtr<Interface> Create(REFCLSID clsid) {
  CComPtr<IClassFactory> factory;
  EXPECT_EQ(S_OK, DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  CComPtr<Interface> object;
  if (factory) {
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, comrt::uuidof<Interface>(), reinterpret_cast<void**>(&object)));
  }
  return object;
}

std::u16string Text(const CComBSTR& text) { return text.m_str ? std::u16string(text.m_str, text.Length()) : u"<null>"; }

TEST(SoapErrorMsgTest, StartsWithoutCodeAndDescription) {
  CComPtr<IUPnPSoapErrorMsg> error = Create<IUPnPSoapErrorMsg>(CLSID_SoapErrorMsg);
  ASSERT_TRUE(error);
  LONG code = 0;
  EXPECT_EQ(S_OK, error->GetErrorCode(&code));
  EXPECT_EQ(-1, code);
  CComBSTR description;
  EXPECT_EQ(S_OK, error->GetErrorDescription(&description));
  EXPECT_EQ(nullptr, description.m_str);
}

TEST(SoapErrorMsgTest, StoresWhatItIsGiven) {
  CComPtr<IUPnPSoapErrorMsg> error = Create<IUPnPSoapErrorMsg>(CLSID_SoapErrorMsg);
  ASSERT_TRUE(error);
  EXPECT_EQ(S_OK, error->SetErrorCode(718));
  CComBSTR given(u"ConflictInMappingEntry");
  EXPECT_EQ(S_OK, error->SetErrorDescription(given));
  LONG code = 0;
  error->GetErrorCode(&code);
  EXPECT_EQ(718, code);
  CComBSTR description;
  error->GetErrorDescription(&description);
  EXPECT_EQ(u"ConflictInMappingEntry", Text(description));
  EXPECT_NE(given.m_str, description.m_str);  // a copy each way

  EXPECT_EQ(S_OK, error->SetErrorDescription(nullptr));
  CComBSTR cleared;
  error->GetErrorDescription(&cleared);
  EXPECT_EQ(nullptr, cleared.m_str);
}

TEST(MessageObjectsTest, GettersAnswerNullOutPointerWithFail) {
  CComPtr<IUPnPSoapErrorMsg> error = Create<IUPnPSoapErrorMsg>(CLSID_SoapErrorMsg);
  CComPtr<IUPnPInvokeActionRequest> request = Create<IUPnPInvokeActionRequest>(CLSID_InvokeActionRequest);
  CComPtr<IUPnPInvokeActionResponse> response = Create<IUPnPInvokeActionResponse>(CLSID_InvokeActionResponse);
  CComPtr<IUPnPQueryStateVariableRequest> query =
      Create<IUPnPQueryStateVariableRequest>(CLSID_QueryStateVariableRequest);
  CComPtr<IUPnPQueryStateVariableResponse> answer =
      Create<IUPnPQueryStateVariableResponse>(CLSID_QueryStateVariableResponse);
  ASSERT_TRUE(error && request && response && query && answer);
  EXPECT_EQ(E_FAIL, error->GetErrorCode(nullptr));
  EXPECT_EQ(E_FAIL, error->GetErrorDescription(nullptr));
  EXPECT_EQ(E_FAIL, request->GetActionName(nullptr));
  EXPECT_EQ(E_FAIL, request->GetArguments(nullptr));
  EXPECT_EQ(E_FAIL, response->GetActionName(nullptr));
  EXPECT_EQ(E_FAIL, response->GetArguments(nullptr));
  EXPECT_EQ(E_FAIL, query->GetVariableName(nullptr));
  EXPECT_EQ(E_FAIL, answer->GetReturnValue(nullptr));
}

TEST(MessageObjectsTest, StringSettersStopAtFirstZero) {
  CComPtr<IUPnPQueryStateVariableRequest> query =
      Create<IUPnPQueryStateVariableRequest>(CLSID_QueryStateVariableRequest);
  ASSERT_TRUE(query);
  CComBSTR withZero(7, u"Volume\0X");
  ASSERT_EQ(7u, withZero.Length());
  EXPECT_EQ(S_OK, query->SetVariableName(withZero));
  CComBSTR name;
  EXPECT_EQ(S_OK, query->GetVariableName(&name));
  EXPECT_EQ(u"Volume", Text(name));
  EXPECT_EQ(6u, name.Length());
}

TEST(InvokeActionRequestTest, NewRequestHasNoNameAndEmptyArguments) {
  CComPtr<IUPnPInvokeActionRequest> request = Create<IUPnPInvokeActionRequest>(CLSID_InvokeActionRequest);
  ASSERT_TRUE(request);
  CComBSTR name;
  EXPECT_EQ(S_OK, request->GetActionName(&name));
  EXPECT_EQ(nullptr, name.m_str);
  CComVariant arguments(42);
  EXPECT_EQ(S_OK, request->GetArguments(&arguments));
  EXPECT_EQ(VT_EMPTY, arguments.vt);
}

TEST(InvokeActionRequestTest, ArgumentsAreCopiedDeeplyBothWays) {
  CComPtr<IUPnPInvokeActionRequest> request = Create<IUPnPInvokeActionRequest>(CLSID_InvokeActionRequest);
  ASSERT_TRUE(request);
  CComSafeArray<VARIANT> values(2);
  values.SetAt(0, CComVariant(u"first"));
  values.SetAt(1, CComVariant(7));
  CComVariant given;
  given.vt = VT_ARRAY | VT_VARIANT;
  given.parray = values.Detach();
  EXPECT_EQ(S_OK, request->SetArguments(given));

  // Changing the caller's array afterwards leaves the stored one as it was.
  CComSafeArray<VARIANT> callers;
  callers.Attach(given.parray);
  callers.SetAt(0, CComVariant(u"changed"));
  callers.Detach();

  CComVariant first;
  EXPECT_EQ(S_OK, request->GetArguments(&first));
  ASSERT_EQ(VT_ARRAY | VT_VARIANT, first.vt);
  EXPECT_NE(given.parray, first.parray);
  CComSafeArray<VARIANT> stored;
  stored.Attach(first.parray);
  first.vt = VT_EMPTY;
  ASSERT_EQ(2u, stored.GetCount());
  EXPECT_EQ(0, stored.GetLowerBound());
  ASSERT_EQ(VT_BSTR, stored.GetAt(0).vt);
  EXPECT_EQ(std::u16string(u"first"), stored.GetAt(0).bstrVal);
  EXPECT_EQ(7, stored.GetAt(1).lVal);

  // The handed-out copy is the caller's: changing it changes nothing stored.
  stored.SetAt(1, CComVariant(8));
  CComVariant second;
  EXPECT_EQ(S_OK, request->GetArguments(&second));
  CComSafeArray<VARIANT> again;
  again.Attach(second.parray);
  second.vt = VT_EMPTY;
  EXPECT_EQ(7, again.GetAt(1).lVal);
}

TEST(InvokeActionResponseTest, SetActionNameKeepsResponseSuffix) {
  CComPtr<IUPnPInvokeActionResponse> response = Create<IUPnPInvokeActionResponse>(CLSID_InvokeActionResponse);
  ASSERT_TRUE(response);
  EXPECT_EQ(S_OK, response->SetActionName(CComBSTR(u"GetVolumeResponse")));
  CComBSTR name;
  response->GetActionName(&name);
  EXPECT_EQ(u"GetVolumeResponse", Text(name));
}

TEST(QueryStateVariableResponseTest, ReturnValueIsACopy) {
  CComPtr<IUPnPQueryStateVariableResponse> answer =
      Create<IUPnPQueryStateVariableResponse>(CLSID_QueryStateVariableResponse);
  ASSERT_TRUE(answer);
  CComVariant empty(u"stale");
  EXPECT_EQ(S_OK, answer->GetReturnValue(&empty));
  EXPECT_EQ(VT_EMPTY, empty.vt);  // the out variant is cleared first

  CComVariant value(u"PLAYING");
  EXPECT_EQ(S_OK, answer->SetReturnValue(value));
  CComVariant got;
  EXPECT_EQ(S_OK, answer->GetReturnValue(&got));
  ASSERT_EQ(VT_BSTR, got.vt);
  EXPECT_NE(value.bstrVal, got.bstrVal);
  EXPECT_EQ(std::u16string(u"PLAYING"), got.bstrVal);
}

TEST(QueryStateVariableResponseTest, BadVariantIsRefusedAndNothingChanges) {
  CComPtr<IUPnPQueryStateVariableResponse> answer =
      Create<IUPnPQueryStateVariableResponse>(CLSID_QueryStateVariableResponse);
  ASSERT_TRUE(answer);
  answer->SetReturnValue(CComVariant(5));
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x7F;  // not a variant type
  EXPECT_EQ(DISP_E_BADVARTYPE, answer->SetReturnValue(bad));
  CComVariant got;
  answer->GetReturnValue(&got);
  EXPECT_EQ(VT_I4, got.vt);
  EXPECT_EQ(5, got.lVal);
}

}  // namespace
