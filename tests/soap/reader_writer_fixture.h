// A reader/writer loaded with a service description, and the transport
// fakes to read and write through it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_safe_array.h"
#include "comrt/com_variant.h"
#include "comrt/error_info.h"
#include "support/captured_lines.h"
#include "support/dom_documents.h"
#include "support/transport_fakes.h"
#include "varnel/varnel.h"

namespace varnel_test {

inline constexpr char16_t kRenderingControl[] = u"urn:schemas-upnp-org:service:RenderingControl:1";
inline constexpr char16_t kTestService[] = u"urn:schemas-example-org:service:AllTypes:1";

class ReaderWriterTest : public ::testing::Test {
 protected:
  // A fresh reader/writer made through its class object, without a description.
  static CComPtr<IUPnPSoapMsgReaderWriter> NewReaderWriter() {
    CComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK, DllGetClassObject(CLSID_SoapMsgReaderWriter, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    CComPtr<IUPnPSoapMsgReaderWriter> readerWriter;
    if (factory) {
      EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUPnPSoapMsgReaderWriter,
                                              reinterpret_cast<void**>(&readerWriter)));
    }
    return readerWriter;
  }

  void Load(const std::string& description, const char16_t* serviceType) {
    readerWriter_ = NewReaderWriter();
    ASSERT_TRUE(readerWriter_);
    ASSERT_EQ(S_OK, readerWriter_->SetServiceType(CComBSTR(serviceType)));
    ASSERT_EQ(S_OK, readerWriter_->LoadServiceDescription(AsVariant(LoadDataFile(description))));
  }

  // Reads `body` as a request or a response; *object gets the message object.
  HRESULT Read(FakeMessageRef message, CComPtr<IUnknown>& object) {
    return readerWriter_->ReadMessage(message.message, &object);
  }
  HRESULT ReadRequest(const std::string& body, CComPtr<IUnknown>& object) {
    return Read(MakeRequestMessage(body), object);
  }
  HRESULT ReadResponse(const std::string& body, CComPtr<IUnknown>& object) {
    return Read(MakeResponseMessage(body), object);
  }

  // The thread's error information as (source, description); empty when none.
  static std::pair<std::u16string, std::u16string> TakeErrorInfo() {
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    CComBSTR source, description;
    info->GetSource(&source);
    info->GetDescription(&description);
    return {source.m_str ? source.m_str : u"", description.m_str ? description.m_str : u""};
  }

  CComPtr<IUPnPSoapMsgReaderWriter> readerWriter_;
};

// An argument list as callers pass it: a zero-based array of variants.
inline CComVariant Arguments(std::vector<CComVariant> values) {
  CComSafeArray<VARIANT> array(static_cast<ULONG>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) array.SetAt(static_cast<LONG>(i), values[i]);
  CComVariant arguments;
  arguments.vt = VT_ARRAY | VT_VARIANT;
  arguments.parray = array.Detach();
  return arguments;
}

// The elements of an argument array, in order.
inline std::vector<CComVariant> ValuesOf(const VARIANT& arguments) {
  std::vector<CComVariant> values;
  if (arguments.vt != (VT_ARRAY | VT_VARIANT) || !arguments.parray) return values;
  CComSafeArray<VARIANT> array(arguments.parray);
  for (LONG i = array.GetLowerBound(); i <= array.GetUpperBound(); ++i) values.emplace_back(array.GetAt(i));
  return values;
}

// A SOAP envelope around `body`, as peers write it.
inline std::string Envelope(const std::string& body, const std::string& prefix = "s") {
  return "<?xml version=\"1.0\"?><" + prefix + ":Envelope xmlns:" + prefix +
         "=\"http://schemas.xmlsoap.org/soap/envelope/\" " + prefix +
         ":encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><" + prefix + ":Body>" + body + "</" + prefix +
         ":Body></" + prefix + ":Envelope>";
}

inline std::u16string TextOf(const CComBSTR& text) {
  return text.m_str ? std::u16string(text.m_str, text.Length()) : u"<null>";
}

}  // namespace varnel_test
