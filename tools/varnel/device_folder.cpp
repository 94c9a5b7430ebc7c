#include "device_folder.h"

#include <fstream>
#include <functional>
#include <sstream>
#include <utility>
#include <vector>

#include "comrt/activation.h"
#include "comrt/com_bstr.h"
#include "comrt/com_variant.h"
#include "comrt/text_conversion.h"
#include "comrt/xml_dom.h"
#include "tool_context.h"

namespace varnel_tool {

using varnel::host::Status;

namespace {

constexpr char16_t kDeviceBinding[] = u"xmlns:d='urn:schemas-upnp-org:device-1-0'";

std::string Utf8(const CComBSTR& text) {
  return text.m_str ? comrt::ToUtf8(std::u16string_view(text.m_str, text.Length())) : std::string();
}

std::string Trimmed(std::string text) {
  const char* blanks = " \t\r\n";
  text.erase(0, text.find_first_not_of(blanks));
  text.erase(text.find_last_not_of(blanks) + 1);
  return text;
}

// The child elements of `node` by local name, with their text; the first
// of a name counts.
std::map<std::string, std::string> ChildTexts(IXMLDOMNode* node) {
  std::map<std::string, std::string> texts;
  CComPtr<IXMLDOMNode> child;
  node->get_firstChild(&child);
  while (child) {
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT) {
      CComBSTR name, text;
      child->get_baseName(&name);
      child->get_text(&text);
      texts.emplace(Utf8(name), Trimmed(Utf8(text)));
    }
    CComPtr<IXMLDOMNode> next;
    child->get_nextSibling(&next);
    child = std::move(next);
  }
  return texts;
}

// The path of `url` on this server: an absolute URL without its scheme and
// host, an absolute path as it is, a relative one after `base` (a path
// ending in "/"); without query or fragment.
std::string ServerPath(const std::string& url, const std::string& base) {
  std::string path;
  const size_t scheme = url.find("://");
  if (scheme != std::string::npos && url.find_first_of("/?#") > scheme) {
    const size_t start = url.find('/', scheme + 3);
    path = start == std::string::npos ? "/" : url.substr(start);
  } else if (!url.empty() && url[0] == '/') {
    path = url;
  } else {
    path = base + url;
  }
  return path.substr(0, path.find_first_of("?#"));
}

// True when `path` names a file inside the served folder: an absolute path
// without empty, "." or ".." segments.
bool IsPlainPath(const std::string& path) {
  if (path.size() < 2 || path[0] != '/') return false;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    start = end + 1;
  }
  return true;
}

Status ReadFile(const std::string& path, std::string* bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return Status(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "cannot open " + path);
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) return Status(STG_E_READFAULT, "cannot read " + path);
  *bytes = text.str();
  return Status();
}

Status LoadDocument(const std::string& path, CComPtr<IXMLDOMDocument2>& out) {
  CComPtr<IXMLDOMDocument2> document;
  HRESULT hr = CoCreateInstance(CLSID_FreeThreadedDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                                reinterpret_cast<void**>(&document));
  if (FAILED(hr)) return Status(hr, "cannot make a DOM document");
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const std::u16string wide = comrt::FromUtf8(path);
  hr = document->load(CComVariant(wide.c_str()), &loaded);
  if (FAILED(hr) || loaded != VARIANT_TRUE) {
    CComPtr<IXMLDOMParseError> error;
    LONG code = 0;
    CComBSTR reason;
    if (SUCCEEDED(document->get_parseError(&error)) && error) {
      error->get_errorCode(&code);
      error->get_reason(&reason);
    }
    return Status(FAILED(hr) ? hr : FAILED(code) ? code : E_FAIL,
                  "cannot load the device description " + path + ": " + Trimmed(Utf8(reason)));
  }
  hr = document->setProperty(CComBSTR(u"SelectionNamespaces"), CComVariant(kDeviceBinding));
  if (FAILED(hr)) return Status(hr, "cannot bind the device namespace for selection");
  out = std::move(document);
  return Status();
}

std::string DefaultDescription(const std::string& folder) {
  for (const char* name : {"description.xml", "rootDesc.xml"}) {
    if (std::ifstream(folder + "/" + name)) return name;
  }
  return "description.xml";
}

}  // namespace

Status DeviceFolder::Load(const std::string& folder, const std::string& descriptionName, BehaviourFile behaviour,
                          DeviceFolder* out) {
  DeviceFolder device;
  device.behaviour_ = std::make_unique<BehaviourFile>(std::move(behaviour));
  const std::string name = descriptionName.empty() ? DefaultDescription(folder) : descriptionName;
  device.descriptionPath_ = "/" + name;
  if (!IsPlainPath(device.descriptionPath_)) {
    return Status(E_INVALIDARG, "the description \"" + name + "\" is not a file name inside " + folder);
  }
  const std::string descriptionFile = folder + device.descriptionPath_;
  Status status = ReadFile(descriptionFile, &device.files_[device.descriptionPath_]);
  if (!status.ok()) return status;
  CComPtr<IXMLDOMDocument2> document;
  if (!(status = LoadDocument(descriptionFile, document)).ok()) return status;
  CComPtr<IXMLDOMNode> root;
  if (FAILED(document->selectSingleNode(CComBSTR(u"/d:root"), &root)) || !root) {
    return Status(E_INVALIDARG, descriptionFile + " is not a device description: its document element is not "
                                "root in urn:schemas-upnp-org:device-1-0");
  }
  // Relative URLs resolve against URLBase, else against the description.
  std::string base = device.descriptionPath_.substr(0, device.descriptionPath_.rfind('/') + 1);
  const std::map<std::string, std::string> rootTexts = ChildTexts(root);
  const auto urlBase = rootTexts.find("URLBase");
  if (urlBase != rootTexts.end() && !urlBase->second.empty()) {
    base = ServerPath(urlBase->second, "/");
    base.erase(base.rfind('/') + 1);
  }

  CComPtr<IXMLDOMNodeList> nodes;
  HRESULT hr = document->selectNodes(CComBSTR(u"//d:device/d:serviceList/d:service"), &nodes);
  if (FAILED(hr)) return Status(hr, "cannot select the services of " + descriptionFile);
  LONG count = 0;
  nodes->get_length(&count);
  if (count == 0) return Status(E_INVALIDARG, descriptionFile + " names no service");
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IXMLDOMNode> node;
    if (nodes->get_item(i, &node) != S_OK) continue;
    std::map<std::string, std::string> texts = ChildTexts(node);
    const std::string where = descriptionFile + ", service " + std::to_string(i + 1);
    for (const char* required : {"serviceType", "SCPDURL", "controlURL"}) {
      if (texts[required].empty()) return Status(E_INVALIDARG, where + " has no " + required);
    }
    HostedService hosted;
    hosted.serviceType = texts["serviceType"];
    hosted.scpdPath = ServerPath(texts["SCPDURL"], base);
    hosted.controlPath = ServerPath(texts["controlURL"], base);
    if (!IsPlainPath(hosted.scpdPath)) {
      return Status(E_INVALIDARG, where + ": SCPDURL " + texts["SCPDURL"] + " is no file inside " + folder);
    }
    if (device.services_.count(hosted.controlPath) || device.files_.count(hosted.controlPath)) {
      return Status(E_INVALIDARG, where + ": controlURL " + hosted.controlPath + " is taken already");
    }
    const std::string scpdFile = folder + hosted.scpdPath;
    if (!device.files_.count(hosted.scpdPath)) {
      if (!(status = ReadFile(scpdFile, &device.files_[hosted.scpdPath])).ok()) return status;
    }
    if (device.services_.count(hosted.scpdPath)) {
      return Status(E_INVALIDARG, where + ": SCPDURL " + hosted.scpdPath + " is a control URL");
    }
    varnel::host::ServiceDescription description;
    status = varnel::host::ServiceDescription::LoadFile(scpdFile, &description);
    if (!status.ok()) return Status(status.code(), where + ": " + status.problem());
    hosted.behaviour = device.behaviour_->Find(hosted.serviceType);
    if (hosted.behaviour) {
      const std::vector<std::string> unknown = UnknownNames(*hosted.behaviour, description);
      if (!unknown.empty()) {
        std::string problems;
        for (const std::string& problem : unknown) problems += (problems.empty() ? "" : "; ") + problem;
        return Status(E_INVALIDARG, "the behaviour of " + hosted.serviceType + " names what " + scpdFile +
                                        " lacks: " + problems);
      }
    }
    status = varnel::host::Service::Open(ToolLibrary(), std::move(description), hosted.serviceType, &hosted.service);
    if (!status.ok()) return Status(status.code(), where + ": " + status.problem());
    const std::string path = hosted.controlPath;
    device.services_.emplace(path, std::move(hosted));
  }
  for (const auto& [type, service] : device.behaviour_->services()) {
    bool hosted = false;
    for (const auto& [path, entry] : device.services_) hosted = hosted || entry.serviceType == type;
    if (!hosted) return Status(E_INVALIDARG, "the behaviour names the service " + type + ", which " +
                                                 descriptionFile + " does not have");
  }
  *out = std::move(device);
  return Status();
}

const HostedService* DeviceFolder::FindControl(const std::string& path) const {
  const auto found = services_.find(path);
  return found == services_.end() ? nullptr : &found->second;
}

}  // namespace varnel_tool
