// A device as `varnel serve` hosts it, from a folder: the device
// description, the service descriptions (SCPDs) it names, a service of the
// library per control URL, and the behaviour of each. Everything is read
// when the folder loads; nothing on disk is looked at afterwards.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "behaviour_file.h"
#include "varnel/host/service.h"
#include "varnel/host/status.h"

namespace varnel_tool {

struct HostedService {
  std::string serviceType;
  std::string controlPath;  // the path of its controlURL on this server
  std::string scpdPath;     // the path of its SCPDURL on this server
  std::unique_ptr<varnel::host::Service> service;
  const ServiceBehaviour* behaviour = nullptr;  // in the folder's BehaviourFile; null when it has none
};

class DeviceFolder {
 public:
  // Loads `descriptionName` (a file name inside `folder`; empty: the first
  // of description.xml and rootDesc.xml there) and every service it names,
  // in the root device and its embedded devices. Each controlURL and
  // SCPDURL is taken as a path on this server (an absolute URL's host is
  // dropped; a relative one is resolved against the description's path).
  // Fails with the load's code (exit status 3 for the caller) for a
  // description that does not load, a service without type, SCPD or
  // control URL, an SCPD outside the folder or not loading, two services
  // with one control URL, or a behaviour naming what the descriptions
  // lack; with the library's code when it cannot be loaded.
  static varnel::host::Status Load(const std::string& folder, const std::string& descriptionName,
                                   BehaviourFile behaviour, DeviceFolder* out);

  // The description's path on the server ("/rootDesc.xml").
  const std::string& descriptionPath() const noexcept { return descriptionPath_; }
  // The files served by GET: the description and the SCPDs, by path.
  const std::map<std::string, std::string>& files() const noexcept { return files_; }
  // The service whose control URL is `path`; null when none.
  const HostedService* FindControl(const std::string& path) const;
  const std::map<std::string, HostedService>& services() const noexcept { return services_; }

 private:
  std::unique_ptr<BehaviourFile> behaviour_;  // stable address for HostedService::behaviour
  std::string descriptionPath_;
  std::map<std::string, std::string> files_;
  std::map<std::string, HostedService> services_;
};

}  // namespace varnel_tool
