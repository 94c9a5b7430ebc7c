// What the argument reader leaves in InvokeAction objects: the action name
// taken from the element, the argument list chosen by kind, and a recorded
// UPnP error that the request hands to its caller.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_variant.h"
#include "comrt/error_info.h"
#include "messages/invoke_action_request.h"
#include "messages/invoke_action_response.h"

namespace {

template <class T>
struct Made {
  comrt::CComObject<T>* object = nullptr;
  CComPtr<IUnknown> holder;  // keeps the object alive
};

template <class T>
Made<T> Make() {
  Made<T> made;
  EXPECT_EQ(S_OK, comrt::CComObject<T>::CreateInstance(&made.object));
  made.holder = made.object->GetUnknown();
  return made;
}

std::u16string NameOf(IUPnPInvokeActionRequest* request) {
  CComBSTR name;
  request->GetActionName(&name);
  return name.m_str ? std::u16string(name.m_str) : u"<null>";
}

std::u16string NameOf(IUPnPInvokeActionResponse* response) {
  CComBSTR name;
  response->GetActionName(&name);
  return name.m_str ? std::u16string(name.m_str) : u"<null>";
}

std::u16string TextOf(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : u"<null>"; }

TEST(InvokeActionNameTest, ResponseDropsTrailingResponseFromElementName) {
  auto response = Make<CInvokeActionResponse>();
  response.object->SetNameFromElement(CComBSTR(u"GetVolumeResponse"));
  EXPECT_EQ(u"GetVolume", NameOf(response.object));
  response.object->SetNameFromElement(CComBSTR(u"GetVolume"));
  EXPECT_EQ(u"GetVolume", NameOf(response.object));
  response.object->SetNameFromElement(CComBSTR(u"ResponseTime"));
  EXPECT_EQ(u"ResponseTime", NameOf(response.object));
  response.object->SetNameFromElement(CComBSTR(u"Response"));
  EXPECT_EQ(u"", NameOf(response.object));
}

TEST(InvokeActionNameTest, RequestKeepsElementName) {
  auto request = Make<CInvokeActionRequest>();
  request.object->SetNameFromElement(CComBSTR(u"GetVolumeResponse"));
  EXPECT_EQ(u"GetVolumeResponse", NameOf(request.object));
}

TEST(InvokeActionArgumentsTest, KindSelectsInputOrOutputList) {
  CUPnPAction action;
  ASSERT_EQ(S_OK, action.SetName(u"GetVolume"));
  auto channel = boost::make_shared<CUPnPArgument>();
  channel->SetName(u"Channel");
  channel->SetDirection(CUPnPArgument::Direction::kIn);
  auto volume = boost::make_shared<CUPnPArgument>();
  volume->SetName(u"CurrentVolume");
  volume->SetDirection(CUPnPArgument::Direction::kOut);
  ASSERT_EQ(S_OK, action.AddArgument(channel));
  ASSERT_EQ(S_OK, action.AddArgument(volume));

  auto request = Make<CInvokeActionRequest>();
  auto response = Make<CInvokeActionResponse>();
  const CUPnPArgumentList& in = request.object->SelectArguments(action);
  const CUPnPArgumentList& out = response.object->SelectArguments(action);
  ASSERT_EQ(1u, in.GetSize());
  EXPECT_EQ(u"Channel", in[0].first);
  ASSERT_EQ(1u, out.GetSize());
  EXPECT_EQ(u"CurrentVolume", out[0].first);
}

TEST(ArgumentErrorTest, RecordedErrorIsHandedToTheCallerAndOutlivesSetArguments) {
  auto request = Make<CInvokeActionRequest>();
  EXPECT_FALSE(request.object->HasArgumentError());
  request.object->RecordArgumentError(u"Invalid Action", u"401");
  ASSERT_TRUE(request.object->HasArgumentError());

  for (int attempt = 0; attempt < 2; ++attempt) {
    CComVariant arguments(u"stale");
    EXPECT_EQ(E_UPNP_ARGUMENT_ERROR, request.object->GetArguments(&arguments));
    EXPECT_EQ(VT_EMPTY, arguments.vt);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
    CComBSTR source, description;
    info->GetSource(&source);
    info->GetDescription(&description);
    EXPECT_EQ(u"401", TextOf(source));
    EXPECT_EQ(u"Invalid Action", TextOf(description));
    // Valid values set afterwards do not clear the error.
    EXPECT_EQ(S_OK, request.object->SetArguments(CComVariant(1)));
  }
}

TEST(ArgumentErrorTest, LaterRecordReplacesEarlierOne) {
  auto request = Make<CInvokeActionRequest>();
  request.object->RecordArgumentError(u"Invalid Action", u"401");
  request.object->RecordArgumentError(u"Argument Value Invalid", u"600");
  CComVariant arguments;
  EXPECT_EQ(E_UPNP_ARGUMENT_ERROR, request.object->GetArguments(&arguments));
  CComPtr<IErrorInfo> info;
  ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
  CComBSTR source;
  info->GetSource(&source);
  EXPECT_EQ(u"600", TextOf(source));
}

TEST(ArgumentErrorTest, ResponseCopiesArgumentsWithoutErrorCheck) {
  auto response = Make<CInvokeActionResponse>();
  response.object->RecordArgumentError(u"Invalid Action", u"401");
  response.object->SetArguments(CComVariant(3));
  CComVariant arguments;
  EXPECT_EQ(S_OK, response.object->GetArguments(&arguments));
  EXPECT_EQ(3, arguments.lVal);
  CComPtr<IErrorInfo> info;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, &info));
}

}  // namespace
