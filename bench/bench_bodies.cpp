#include "bench_bodies.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace varnel_bench {
namespace {

const char kEnvelopeStart[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>";
const char kEnvelopeEnd[] = "</s:Body></s:Envelope>\n";
const char16_t kGrowthService[] = u"urn:schemas-example-org:service:Growth:1";
const char kGrowthServiceUtf8[] = "urn:schemas-example-org:service:Growth:1";

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "varnel_bench: cannot read %s\n", path.c_str());
    std::exit(2);
  }
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string ReadDataFile(const std::string& relativePath) {
  return ReadFile(std::string(VARNEL_BENCH_DATA_DIR) + "/" + relativePath);
}

// A description with one action of the given arguments and the variables they name.
std::string GrowthDescription(const std::string& action, const std::string& arguments, const std::string& variables) {
  return "<?xml version=\"1.0\"?><scpd xmlns=\"urn:schemas-upnp-org:service-1-0\">"
         "<specVersion><major>1</major><minor>0</minor></specVersion><actionList><action><name>" +
         action + "</name><argumentList>" + arguments + "</argumentList></action></actionList><serviceStateTable>" +
         variables + "</serviceStateTable></scpd>";
}

std::string Argument(const std::string& name, const char* direction, const char* variable) {
  return "<argument><name>" + name + "</name><direction>" + direction + "</direction><relatedStateVariable>" +
         variable + "</relatedStateVariable></argument>";
}

// A request whose one string argument makes the body about `size` bytes.
BenchBody StringBody(const std::string& id, size_t size) {
  // Plain words with a markup character now and then, as descriptions and
  // metadata carry them.
  static const std::string kPiece = "Harbour lights &amp; evening tide, &lt;live&gt; take 2; ";
  std::string head = std::string(kEnvelopeStart) + "<u:Echo xmlns:u=\"" + kGrowthServiceUtf8 + "\"><Text>";
  std::string tail = std::string("</Text></u:Echo>") + kEnvelopeEnd;
  std::string text;
  const size_t wanted = size > head.size() + tail.size() ? size - head.size() - tail.size() : 1;
  text.reserve(wanted + kPiece.size());
  while (text.size() + kPiece.size() <= wanted) text += kPiece;
  text.append(wanted - text.size(), 'x');
  BenchBody body;
  body.id = id;
  body.label = "one string argument, " + id.substr(id.find('_') + 1);
  body.kind = BodyKind::kRequest;
  body.serviceType = kGrowthService;
  body.description =
      GrowthDescription("Echo", Argument("Text", "in", "A_ARG_TYPE_Text"),
                        "<stateVariable sendEvents=\"no\"><name>A_ARG_TYPE_Text</name><dataType>string</dataType>"
                        "</stateVariable>");
  body.xml = head + text + tail;
  body.arguments = 1;
  return body;
}

BenchBody ArgumentsBody(size_t count) {
  std::string arguments;
  std::string elements;
  for (size_t i = 1; i <= count; ++i) {
    const std::string name = "Value" + std::to_string(i);
    arguments += Argument(name, "in", "A_ARG_TYPE_Value");
    elements += "<" + name + ">" + std::to_string(i * 7) + "</" + name + ">";
  }
  BenchBody body;
  body.id = "args_" + std::to_string(count);
  body.label = std::to_string(count) + (count == 1 ? " argument" : " arguments");
  body.kind = BodyKind::kRequest;
  body.serviceType = kGrowthService;
  body.description = GrowthDescription(
      "SetValues", arguments,
      "<stateVariable sendEvents=\"no\"><name>A_ARG_TYPE_Value</name><dataType>ui4</dataType></stateVariable>");
  body.xml = std::string(kEnvelopeStart) + "<u:SetValues xmlns:u=\"" + kGrowthServiceUtf8 + "\">" + elements +
             "</u:SetValues>" + kEnvelopeEnd;
  body.arguments = count;
  return body;
}

}  // namespace

const std::vector<BenchBody>& RealisticBodies() {
  static const std::vector<BenchBody> bodies = [] {
    const std::string contentDirectory = ReadDataFile("scpd/content_directory.xml");
    const std::u16string contentDirectoryType = u"urn:schemas-upnp-org:service:ContentDirectory:1";
    return std::vector<BenchBody>{
        {"a", "(a) SwitchPower SetTarget request", BodyKind::kRequest,
         u"urn:schemas-upnp-org:service:SwitchPower:1", ReadFile(std::string(VARNEL_TEST_DATA_DIR) + "/scpd/switch_power.xml"),
         ReadDataFile("bodies/set_target_request.xml"), 1},
        {"b", "(b) ContentDirectory Browse request", BodyKind::kRequest, contentDirectoryType, contentDirectory,
         ReadDataFile("bodies/browse_request.xml"), 6},
        {"c", "(c) Browse response, 20 KB DIDL-Lite", BodyKind::kResponse, contentDirectoryType, contentDirectory,
         ReadDataFile("bodies/browse_response.xml"), 4},
        {"d", "(d) request with 50 arguments", BodyKind::kRequest, u"urn:schemas-upnp-org:service:ZonePresets:1",
         ReadDataFile("scpd/zone_presets.xml"), ReadDataFile("bodies/zone_presets_request.xml"), 50},
        {"fault", "fault 402 Invalid Args", BodyKind::kFault, contentDirectoryType, contentDirectory,
         ReadDataFile("bodies/invalid_args_fault.xml"), 0},
    };
  }();
  return bodies;
}

const std::vector<BenchBody>& GrowthBodies() {
  static const std::vector<BenchBody> bodies = [] {
    std::vector<BenchBody> made;
    made.push_back(StringBody("string_1KB", 1 << 10));
    made.push_back(StringBody("string_10KB", 10 << 10));
    made.push_back(StringBody("string_100KB", 100 << 10));
    made.push_back(StringBody("string_1MB", 1 << 20));
    made.push_back(StringBody("string_10MB", 10 << 20));
    for (size_t count : {1, 10, 100, 1000, 10000}) made.push_back(ArgumentsBody(count));
    return made;
  }();
  return bodies;
}

std::vector<const BenchBody*> AllBodies() {
  std::vector<const BenchBody*> all;
  for (const BenchBody& body : RealisticBodies()) all.push_back(&body);
  for (const BenchBody& body : GrowthBodies()) all.push_back(&body);
  return all;
}

}  // namespace varnel_bench
