// A service as a control point and a device use it through the kit: every
// kind of message written, read back and described, the UPnP errors a
// device answers bad requests with, and what cannot be opened.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "varnel/host/service.h"

namespace {

using varnel::host::DecodedMessage;
using varnel::host::Direction;
using varnel::host::Library;
using varnel::host::MemoryMessage;
using varnel::host::MessageKind;
using varnel::host::Service;
using varnel::host::ServiceDescription;
using varnel::host::Status;
using varnel::host::UPnPError;

constexpr char kSwitchPower[] = "urn:schemas-upnp-org:service:SwitchPower:1";

ServiceDescription Description(const char* file) {
  ServiceDescription description;
  const Status status = ServiceDescription::LoadFile(std::string(VARNEL_TEST_DATA_DIR) + "/scpd/" + file, &description);
  EXPECT_TRUE(status.ok()) << status.ToString();
  return description;
}

std::string Request(const std::string& action, const std::string& arguments) {
  return "<s:Envelope xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'><s:Body><u:" + action + " xmlns:u='" +
         kSwitchPower + "'>" + arguments + "</u:" + action + "></s:Body></s:Envelope>";
}

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const Status status = Service::Open(Library(VARNEL_LIBRARY_PATH), Description("switch_power.xml"), kSwitchPower,
                                        &light_);
    ASSERT_TRUE(status.ok()) << status.ToString();
  }

  // What the other side reads of what `sent` carries.
  DecodedMessage Receive(const MemoryMessage& sent, const char* queried = "") {
    MemoryMessage received(sent.direction(), sent.Body());
    DecodedMessage decoded;
    const Status status = light_->Read(received, queried, &decoded);
    EXPECT_TRUE(status.ok()) << status.ToString();
    return decoded;
  }

  std::unique_ptr<Service> light_;
};

TEST_F(ServiceTest, RequestAndResponseTravelBothWays) {
  MemoryMessage request(Direction::kRequest);
  ASSERT_TRUE(light_->WriteRequest("SetTarget", {{"newTargetValue", "true"}}, &request).ok());
  ASSERT_NE(nullptr, request.FindHeader("SOAPACTION"));
  EXPECT_EQ("\"urn:schemas-upnp-org:service:SwitchPower:1#SetTarget\"", *request.FindHeader("SOAPACTION"));
  EXPECT_EQ(request.Body().size(), request.ContentLength().value_or(0));
  EXPECT_EQ((std::vector<bool>{true, false}), request.SendingChanges());
  EXPECT_EQ(0u, request.BytesWrittenOutsideSending());

  DecodedMessage read = Receive(request);
  EXPECT_EQ(MessageKind::kInvokeActionRequest, read.kind);
  EXPECT_EQ("SetTarget", read.name);
  ASSERT_EQ(1u, read.values.size());
  EXPECT_EQ("newTargetValue", read.values[0].name);
  EXPECT_EQ("boolean", read.values[0].dataType);
  EXPECT_EQ(VT_BOOL, read.values[0].value.vt);
  EXPECT_EQ("1", read.values[0].text);
  EXPECT_FALSE(read.error);

  MemoryMessage response(Direction::kResponse);
  ASSERT_TRUE(light_->WriteResponse("GetStatus", {{"ResultStatus", "0"}}, &response).ok());
  read = Receive(response);
  EXPECT_EQ(MessageKind::kInvokeActionResponse, read.kind);
  EXPECT_EQ("GetStatus", read.name);
  ASSERT_EQ(1u, read.values.size());
  EXPECT_EQ("0", read.values[0].text);

  // Writing again on the same message replaces what it held.
  ASSERT_TRUE(light_->WriteResponse("GetTarget", {{"RetTargetValue", "1"}}, &response).ok());
  EXPECT_EQ(1u, response.Headers().size());
  EXPECT_EQ("GetTarget", Receive(response).name);
}

TEST_F(ServiceTest, QueryAnswerIsWrittenInTheVariablesOwnForm) {
  MemoryMessage query(Direction::kRequest);
  ASSERT_TRUE(light_->WriteQuery("Status", &query).ok());
  DecodedMessage read = Receive(query);
  EXPECT_EQ(MessageKind::kQueryStateVariableRequest, read.kind);
  EXPECT_EQ("Status", read.name);

  MemoryMessage answer(Direction::kResponse);
  ASSERT_TRUE(light_->WriteQueryResponse("Status", "true", &answer).ok());
  // A boolean goes out as UPnP writes it, not as the integer -1.
  EXPECT_NE(std::string::npos, answer.Body().find("<return>1</return>"));
  read = Receive(answer, "Status");
  EXPECT_EQ(MessageKind::kQueryStateVariableResponse, read.kind);
  ASSERT_EQ(1u, read.values.size());
  EXPECT_EQ(VT_BOOL, read.values[0].value.vt);
  // Without the queried variable the answer stays text.
  read = Receive(answer);
  ASSERT_EQ(1u, read.values.size());
  EXPECT_EQ("return", read.values[0].name);
  EXPECT_EQ(VT_BSTR, read.values[0].value.vt);
}

TEST_F(ServiceTest, FaultsCarryTheirUPnPError) {
  MemoryMessage fault(Direction::kResponse);
  ASSERT_TRUE(light_->WriteFault(UPnPError{501, "Action Failed"}, "SetTarget", &fault).ok());
  DecodedMessage read = Receive(fault);
  EXPECT_EQ(MessageKind::kFault, read.kind);
  ASSERT_TRUE(read.error);
  EXPECT_EQ(501, read.error->code);
  EXPECT_EQ("Action Failed", read.error->description);

  ASSERT_TRUE(light_->WriteFault(UPnPError{404, "Invalid Var"}, "", &fault).ok());
  EXPECT_EQ(404, Receive(fault).error->code);
}

TEST_F(ServiceTest, BadRequestsGiveTheErrorToAnswerWith) {
  // Recorded in the request, which still reads.
  MemoryMessage unknown(Direction::kRequest, Request("SetPower", "<newTargetValue>1</newTargetValue>"));
  DecodedMessage read;
  ASSERT_TRUE(light_->Read(unknown, {}, &read).ok());
  EXPECT_EQ(MessageKind::kInvokeActionRequest, read.kind);
  ASSERT_TRUE(read.error);
  EXPECT_EQ(401, read.error->code);
  EXPECT_TRUE(read.values.empty());

  // Named by the library for a request that does not read.
  MemoryMessage missing(Direction::kRequest, Request("SetTarget", ""));
  Status status = light_->Read(missing, {}, &read);
  EXPECT_FALSE(status.ok());
  ASSERT_TRUE(read.error);
  EXPECT_EQ(402, read.error->code);
  EXPECT_NE(std::string::npos, status.problem().find("UPnP error 402 Invalid Args"));

  MemoryMessage garbage(Direction::kRequest, "<html/>");
  status = light_->Read(garbage, {}, &read);
  EXPECT_EQ(ZeltCommonLib::InvalidMessage, status.code());
  EXPECT_FALSE(read.error);
  EXPECT_EQ(MessageKind::kNone, read.kind);
}

TEST_F(ServiceTest, WritesThatCannotBeMadeSendNothing) {
  MemoryMessage request(Direction::kRequest);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, light_->WriteRequest("SetPower", {}, &request).code());
  EXPECT_EQ(DISP_E_UNKNOWNNAME, light_->WriteQuery("Power", &request).code());
  EXPECT_EQ(E_INVALIDARG, light_->WriteRequest("SetTarget", {{"newTargetValue", "maybe"}}, &request).code());
  MemoryMessage response(Direction::kResponse);
  EXPECT_EQ(E_INVALIDARG, light_->WriteRequest("SetTarget", {{"newTargetValue", "1"}}, &response).code());
  EXPECT_EQ(E_INVALIDARG, light_->WriteQueryResponse("Status", "maybe", &response).code());
  EXPECT_TRUE(request.Body().empty());
  EXPECT_TRUE(response.Headers().empty());
}

TEST(ServiceOpenTest, WhatCannotBeOpenedIsNamed) {
  std::unique_ptr<Service> service;
  Status status = Service::Open(Library("/nonexistent/libvarnel.so"), Description("switch_power.xml"), kSwitchPower,
                                &service);
  EXPECT_EQ(CO_E_DLLNOTFOUND, status.code());
  EXPECT_NE(std::string::npos, status.problem().find("/nonexistent/libvarnel.so"));
  EXPECT_EQ(nullptr, service);

  status = Service::Open(Library(VARNEL_LIBRARY_PATH), ServiceDescription(), kSwitchPower, &service);
  EXPECT_EQ(E_INVALIDARG, status.code());

  ServiceDescription noVariables;
  ASSERT_TRUE(ServiceDescription::LoadText("<scpd xmlns='urn:schemas-upnp-org:service-1-0'/>", &noVariables).ok());
  status = Service::Open(Library(VARNEL_LIBRARY_PATH), std::move(noVariables), kSwitchPower, &service);
  EXPECT_FALSE(status.ok());

  ServiceDescription refused;
  ASSERT_TRUE(ServiceDescription::LoadText("<scpd xmlns='urn:schemas-upnp-org:service-1-0'><serviceStateTable>"
                                           "<stateVariable><name>B</name><dataType>boolean</dataType>"
                                           "<defaultValue>True</defaultValue></stateVariable>"
                                           "</serviceStateTable></scpd>",
                                           &refused)
                  .ok());
  status = Service::Open(Library(VARNEL_LIBRARY_PATH), std::move(refused), kSwitchPower, &service);
  EXPECT_EQ(E_INVALIDARG, status.code());
  EXPECT_NE(std::string::npos, status.problem().find("refuses the service description"));
}

}  // namespace
