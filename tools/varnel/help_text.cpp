#include "help_text.h"

namespace varnel_tool {

namespace {

constexpr char kOverview[] = R"(Usage: varnel COMMAND [OPTION]... [ARGUMENT]...
Reads and writes the SOAP messages of UPnP device control (InvokeAction and
QueryStateVariable requests and responses, and faults carrying a UPnP error)
with the Varnel component library.

Commands:
  demo      a full round trip on built-in service descriptions
  decode    read a request or response body and print what it holds
  encode    write a request, response, query, query answer or fault body
  invoke    call an action of a device over HTTP
  query     ask a device for the value of a state variable over HTTP
  help      print the help of a command

  -h, --help     print this help and exit
  -V, --version  print the version and exit

'varnel COMMAND --help' prints the help of one command.
)";

constexpr char kDemo[] = R"(Usage: varnel demo
Runs the library through a full round trip on two built-in descriptions: a
binary light's SwitchPower service and a service with a variable of every
data type. A control point writes InvokeAction requests that the device
reads and answers; bad requests are answered with the fault the library
records (401, 600) or names (402, 601); a QueryStateVariable exchange; event
values converted both ways. Every body is printed with its headers, and
every value read back with its UPnP data type and variant type.
)";

constexpr char kDecode[] = R"(Usage: varnel decode --scpd FILE (--request|--response) [OPTION]... [BODY|-]
Reads a SOAP body as a device reads a request or a control point a
response, and prints the kind of message, the action or variable, each
argument with its UPnP type and value, and the UPnP error of a fault, or
the one recorded in a request (401, 600) or named for a request that does
not read (402, 600, 601). The body comes from the file BODY, or from
standard input when BODY is - or not given.

Options:
  --scpd FILE          the service description (SCPD) of the service
  --request            read the body as a request
  --response           read the body as a response
  --service-type URN   the service type (not needed for reading)
  --variable NAME      type a QueryStateVariable answer as a value of NAME
  --max-body BYTES     refuse a longer body (default 16777216)
  --json               print JSON instead of text
)";

constexpr char kEncode[] = R"(Usage: varnel encode KIND --scpd FILE [OPTION]... ACTION|VARIABLE [NAME=VALUE]...
Writes a SOAP body with the library and prints it. KIND is one of these.
  request          the InvokeAction request of ACTION; one NAME=VALUE per
                   input argument
  response         the response of ACTION; one NAME=VALUE per output argument
  query            the QueryStateVariable request for VARIABLE
  query-response   the answer for VARIABLE: return=VALUE
  fault            a fault in place of the response of ACTION:
                   errorCode=CODE [errorDescription=TEXT] (the description
                   defaults to the standard one of CODE)
Values are text, converted and checked by the library as values of the
argument's related state variable.

Options:
  --scpd FILE          the service description (SCPD) of the service
  --service-type URN   the service type the body names (default
                       urn:schemas-upnp-org:service:Unspecified:1)
  --headers            print the headers before the body
)";

constexpr char kInvoke[] = R"(Usage: varnel invoke --scpd FILE|URL --control-url URL --service-type URN [OPTION]... ACTION [NAME=VALUE]...
Calls ACTION on a device: posts the InvokeAction request to the control URL
and prints the output arguments of the response, or the UPnP error code and
description of the device's fault.

Options:
  --scpd FILE|URL      the service description, a file or an http(s) URL
  --control-url URL    the service's control URL (http or https)
  --service-type URN   the service type
  --timeout SECONDS    give up on a connection or an answer after this
                       long (default 30; fractions allowed)
  --max-body BYTES     refuse a longer answer (default 16777216)
  --json               print JSON instead of text
Redirects are not followed; gzip and deflate answers are accepted.
)";

constexpr char kQuery[] = R"(Usage: varnel query --scpd FILE|URL --control-url URL --service-type URN [OPTION]... VARIABLE
Asks a device for the value of VARIABLE with a QueryStateVariable request
and prints it, typed as a value of the variable, or the UPnP error code and
description of the device's fault. Options as for invoke.
)";

constexpr char kHelp[] = R"(Usage: varnel help [COMMAND]
Prints the help of COMMAND, or of varnel.
)";

constexpr char kClosing[] = R"(Environment:
  VARNEL_LIBRARY  the component library file to load objects from (default:
                  the libvarnel.so this varnel was built with); objects are
                  made from the file directly, no registration is needed

Exit status:
  0  success
  1  the tool failed (the library cannot be loaded, a demo step went wrong)
  2  bad usage: unknown command or option, missing or malformed argument
  3  bad input: a file, description, name, value or body that is refused
  4  the device answered with a UPnP error (invoke, query)
  5  transport failure: no connection, no answer in time, an HTTP error, an
     answer that is not SOAP, or one longer than the limit
Every failure prints one line on standard error that names the problem and
the result code with its text.
)";

const char* BareHelp(std::string_view command) {
  if (command == "demo") return kDemo;
  if (command == "decode") return kDecode;
  if (command == "encode") return kEncode;
  if (command == "invoke") return kInvoke;
  if (command == "query") return kQuery;
  if (command == "help") return kHelp;
  return nullptr;
}

}  // namespace

std::string CommandHelp(std::string_view command) {
  const char* help = BareHelp(command);
  return help ? std::string(help) + "\n" + kClosing : std::string();
}

// In the whole help each command is a section of its own: its usage line
// under a heading, then its text, its options under a heading of their own.
std::string FullHelp() {
  std::string text = kOverview;
  for (const char* command : {"demo", "decode", "encode", "invoke", "query"}) {
    std::string help = BareHelp(command);
    const size_t lineEnd = help.find('\n');
    const std::string usage = help.substr(std::string("Usage: ").size(), lineEnd - std::string("Usage: ").size());
    std::string rest = help.substr(lineEnd + 1);
    const size_t options = rest.find("Options:\n");
    if (options != std::string::npos) rest.replace(options, 8, std::string("Options of ") + command + ":");
    text += std::string("\nThe ") + command + " command:\n  " + usage + "\n\n" + rest;
  }
  return text + "\n" + kClosing;
}

std::string VersionText() { return std::string("varnel ") + VARNEL_VERSION; }

}  // namespace varnel_tool
