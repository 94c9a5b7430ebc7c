// A host built against an installed Varnel: it loads the component library by
// path, writes a SwitchPower request with the host kit, reads it back as the
// device would, and prints the argument it holds.
#include <cstdio>
#include <memory>
#include <string>

#include "varnel/host/library.h"
#include "varnel/host/memory_message.h"
#include "varnel/host/service.h"
#include "varnel/host/service_description.h"

namespace {

constexpr char kSwitchPower[] =
    "<scpd xmlns='urn:schemas-upnp-org:service-1-0'><specVersion><major>1</major><minor>0</minor></specVersion>"
    "<actionList><action><name>SetTarget</name><argumentList><argument><name>newTargetValue</name>"
    "<direction>in</direction><relatedStateVariable>Target</relatedStateVariable></argument></argumentList>"
    "</action></actionList><serviceStateTable><stateVariable sendEvents='no'><name>Target</name>"
    "<dataType>boolean</dataType></stateVariable></serviceStateTable></scpd>";

int Fail(const varnel::host::Status& status) {
  std::fprintf(stderr, "consumer: %s\n", status.ToString().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: consumer LIBVARNEL\n");
    return 2;
  }
  using namespace varnel::host;
  ServiceDescription description;
  Status status = ServiceDescription::LoadText(kSwitchPower, &description);
  if (!status.ok()) return Fail(status);
  std::unique_ptr<Service> service;
  status = Service::Open(Library(argv[1]), std::move(description), "urn:schemas-upnp-org:service:SwitchPower:1",
                         &service);
  if (!status.ok()) return Fail(status);
  MemoryMessage request(Direction::kRequest);
  status = service->WriteRequest("SetTarget", {{"newTargetValue", "1"}}, &request);
  if (!status.ok()) return Fail(status);
  MemoryMessage received(Direction::kRequest, request.Body());
  DecodedMessage decoded;
  status = service->Read(received, "", &decoded);
  if (!status.ok()) return Fail(status);
  for (const NamedValue& value : decoded.values) {
    std::printf("%s %s=%s (%s)\n", decoded.name.c_str(), value.name.c_str(), value.text.c_str(),
                value.dataType.c_str());
  }
  return decoded.values.size() == 1 ? 0 : 1;
}
