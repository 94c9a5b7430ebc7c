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
  serve     host a device from a folder over HTTP on 127.0.0.1
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

constexpr char kServe[] = R"(Usage: varnel serve [OPTION]... FOLDER
Hosts a device for development and tests: serves the device description in
FOLDER and the service descriptions (SCPDs) it names over HTTP on
127.0.0.1, and answers each service's control URL through the library:
ReadMessage on the request, then a response or a fault that the library
writes. Prints the description URL on standard output once it listens, and
runs until SIGINT or SIGTERM, or for --timeout seconds. There is no SSDP:
give control points the description URL.

What the device answers comes from the behaviour file (JSON, by service
type; tests/interop/README.md describes it): per action its outputs (given,
or echoed from inputs) or a UPnP error, chosen by the inputs received; per
state variable its QueryStateVariable value. Outputs and variables it does
not give take the defaultValue of their state variable.

Faults (HTTP 500, a SOAP fault with a UPnPError):
  401 Invalid Action   the request names an action the description lacks
                       (the library records it), or SOAPACTION names another
                       service type or another action than the body
  600 Argument Value Invalid
                       an integer that is not strictly a number (recorded),
                       or a value the library refuses as not of its type,
                       holding markup or outside the allowed list (named)
  601 Argument Value Out of Range
                       a value outside the range or off the step (named)
  402 Invalid Args     arguments missing, extra, repeated or unknown (named);
                       and a body that is not a control message
                       (0x80040301: not XML or malformed XML, a DOCTYPE,
                       over the library's limits, no single SOAP Body)
  404 Invalid Var      a QueryStateVariable of a variable the description
                       lacks, or naming none
  501 Action Failed    any other read failure; an output or variable without
                       value; a value the library refuses to write
  and the codes of the behaviour file's errors.
HTTP refusals (no body):
  412 Precondition Failed
                       no SOAPACTION header, or one that is not
                       "SERVICE-TYPE#ACTION"; a Host header other than
                       127.0.0.1:PORT or localhost:PORT
  400 Bad Request      an HTTP/1.1 request without Host
  413 Content Too Large
                       a request body longer than --max-request
  415 Unsupported Media Type
                       a Content-Encoding other than identity
  404, 405             a path that is not served, a method that is not
                       GET or HEAD (descriptions) or POST (control URLs)
QueryStateVariable may name urn:schemas-upnp-org:control-1-0 or the service
type in SOAPACTION; its answer is written in <return>. Answers are never
compressed.

Options:
  --description NAME   the device description, a file in FOLDER (default:
                       description.xml, else rootDesc.xml)
  --behaviour FILE     the behaviour file (default: none)
  --port N             listen on port N (default: one the system chooses)
  --max-request BYTES  refuse a longer request body with 413 (default
                       1048576)
  --timeout SECONDS    stop after this long (default: run until a signal)
  --log                one line per exchange on standard error
Exit status 0 once stopped by a signal or the timeout; 3 for a folder,
description or behaviour file that is refused; 5 when it cannot listen.
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
     answer that is not SOAP, or one longer than the limit; serve cannot
     listen
Every failure prints one line on standard error that names the problem and
the result code with its text.
)";

const char* BareHelp(std::string_view command) {
  if (command == "demo") return kDemo;
  if (command == "decode") return kDecode;
  if (command == "encode") return kEncode;
  if (command == "invoke") return kInvoke;
  if (command == "query") return kQuery;
  if (command == "serve") return kServe;
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
  for (const char* command : {"demo", "decode", "encode", "invoke", "query", "serve"}) {
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
