// A device reading a request that fails for its arguments learns from the
// thread's error information which UPnP error to answer: 402 for argument
// elements that do not match, 600 for a value of the wrong kind or outside
// the allowed list, 601 for a value outside the allowed range or step.
#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

class RefusalTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("scpd/checked_values.xml", kTestService); }

  // Reads `action` with the given argument elements; returns the read's code
  // and takes the thread's error information into *upnpError.
  HRESULT Refuse(const std::string& action, const std::string& arguments,
                 std::pair<std::u16string, std::u16string>* upnpError) {
    CComPtr<IUnknown> object;
    const HRESULT hr =
        ReadRequest(Envelope("<u:" + action + " xmlns:u=\"urn:x\">" + arguments + "</u:" + action + ">"), object);
    *upnpError = TakeErrorInfo();
    return hr;
  }

  struct Case {
    const char* action;
    const char* arguments;
    HRESULT code;  // what ReadMessage answers, as for any failed read
  };

  // Every case fails with its code and leaves the UPnP error `source`.
  template <size_t N>
  void ExpectRefused(const Case (&cases)[N], const char16_t* source, const char16_t* description) {
    for (const Case& c : cases) {
      std::pair<std::u16string, std::u16string> upnpError;
      EXPECT_EQ(c.code, Refuse(c.action, c.arguments, &upnpError)) << c.arguments;
      EXPECT_EQ(source, upnpError.first) << c.arguments;
      EXPECT_EQ(description, upnpError.second) << c.arguments;
    }
  }
};

TEST_F(RefusalTest, ValuesOfTheWrongKindOrOutsideTheListAnswer600) {
  const Case cases[] = {
      {"SetFlag", "<Flag>maybe</Flag>", E_INVALIDARG},
      {"SetDay", "<Day>yesterday</Day>", E_INVALIDARG},
      {"SetDay", "<Day>2024-02</Day>", E_INVALIDARG},
      {"SetLetter", "<Letter>c</Letter>", E_INVALIDARG},
      {"SetLetter", "<Letter>ab</Letter>", E_INVALIDARG},
      {"SetMode", "<Mode>Loud</Mode>", E_INVALIDARG},
      {"SetMode", "<Mode>normal</Mode>", E_INVALIDARG},
      {"SetName", "<Name><first>A</first></Name>", E_INVALIDARG},
      {"SetAmount", "<Amount>12abc</Amount>", DISP_E_TYPEMISMATCH},
  };
  ExpectRefused(cases, u"600", u"Argument Value Invalid");
}

TEST_F(RefusalTest, ValuesOutsideTheRangeOrOffTheStepAnswer601) {
  const Case cases[] = {
      {"SetLevel", "<Level>12</Level>", E_INVALIDARG},     {"SetLevel", "<Level>-12</Level>", E_INVALIDARG},
      {"SetLevel", "<Level>3</Level>", E_INVALIDARG},      {"SetRatio", "<Ratio>1.6</Ratio>", E_INVALIDARG},
      {"SetRatio", "<Ratio>-1e9</Ratio>", E_INVALIDARG},   {"SetAmount", "<Amount>10000.0001</Amount>", E_INVALIDARG},
      {"SetAmount", "<Amount>-1</Amount>", E_INVALIDARG},
  };
  ExpectRefused(cases, u"601", u"Argument Value Out of Range");
  // The edges of the range and the step are values like any other.
  for (const char* level : {"-10", "10", "4", "0"}) {
    CComPtr<IUnknown> object;
    EXPECT_EQ(S_OK, ReadRequest(Envelope(std::string("<u:SetLevel xmlns:u=\"urn:x\"><Level>") + level +
                                         "</Level></u:SetLevel>"),
                                object))
        << level;
    EXPECT_TRUE(TakeErrorInfo().first.empty());
  }
}

TEST_F(RefusalTest, MissingExtraOrRepeatedArgumentsAnswer402) {
  const Case cases[] = {
      {"SetLevel", "", E_INVALIDARG},
      {"SetLevel", "<Level>2</Level><Level>4</Level>", E_INVALIDARG},
      {"SetLevel", "<Level>2</Level><Extra>4</Extra>", E_INVALIDARG},
      {"SetLevel", "<Levels>2</Levels>", E_UNEXPECTED},
  };
  ExpectRefused(cases, u"402", u"Invalid Args");
}

// Failures that are not the arguments' fault, responses, and later reads
// leave no such error information behind.
TEST_F(RefusalTest, OnlyARequestRefusedForItsArgumentsLeavesAnError) {
  std::pair<std::u16string, std::u16string> upnpError;
  ASSERT_EQ(E_INVALIDARG, Refuse("SetLevel", "<Level>12</Level>", &upnpError));
  // Left on the thread, then a successful read: nothing stale remains.
  CComPtr<IUnknown> object;
  ASSERT_EQ(E_INVALIDARG, ReadRequest(Envelope("<u:SetLevel xmlns:u=\"urn:x\"><Level>12</Level></u:SetLevel>"), object));
  ASSERT_EQ(S_OK, ReadRequest(Envelope("<u:SetLevel xmlns:u=\"urn:x\"><Level>2</Level></u:SetLevel>"), object));
  EXPECT_TRUE(TakeErrorInfo().first.empty());

  object.Release();
  ASSERT_EQ(E_INVALIDARG, ReadRequest(Envelope("<u:SetLevel xmlns:u=\"urn:x\"><Level>12</Level></u:SetLevel>"), object));
  EXPECT_EQ(static_cast<HRESULT>(0x80040301), ReadRequest(Envelope(""), object));  // not one SOAP Body
  EXPECT_TRUE(TakeErrorInfo().first.empty());

  // A response with a value outside the range fails as before, without one.
  EXPECT_EQ(E_INVALIDARG,
            ReadResponse(Envelope("<u:SetLevelResponse xmlns:u=\"urn:x\"><Level>12</Level></u:SetLevelResponse>"),
                         object));
  EXPECT_TRUE(TakeErrorInfo().first.empty());

  // An unknown action or a strict integer failure is still read and recorded
  // in the request, for GetArguments to hand out.
  object.Release();
  ASSERT_EQ(S_OK, ReadRequest(Envelope("<u:SetLevel xmlns:u=\"urn:x\"><Level>2x</Level></u:SetLevel>"), object));
  EXPECT_TRUE(TakeErrorInfo().first.empty());
  CComQIPtr<IUPnPInvokeActionRequest> request(object);
  ASSERT_TRUE(request);
  CComVariant arguments;
  EXPECT_EQ(E_UPNP_ARGUMENT_ERROR, request->GetArguments(&arguments));
  EXPECT_EQ(u"600", TakeErrorInfo().first);
}

TEST_F(RefusalTest, TheReadTracesAsAnyFailedRead) {
  std::vector<std::u16string> outOfRange, outsideList;
  {
    CapturedLines lines;
    std::pair<std::u16string, std::u16string> upnpError;
    Refuse("SetLevel", "<Level>12</Level>", &upnpError);
    outOfRange = lines.Texts();
  }
  {
    CapturedLines lines;
    std::pair<std::u16string, std::u16string> upnpError;
    Refuse("SetMode", "<Mode>Loud</Mode>", &upnpError);
    outsideList = lines.Texts();
  }
  EXPECT_EQ(outsideList, outOfRange);
  ASSERT_FALSE(outOfRange.empty());
}

}  // namespace
}  // namespace varnel_test
