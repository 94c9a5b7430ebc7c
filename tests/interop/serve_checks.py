"""The device that `--serve` hosts, on the wire: the exchanges of the other
clients written by hand, what it answers to the requests UPnP devices
refuse, and `varnel invoke` / `varnel query` against it. Standard library
only."""

import os
import socket

from behaviour import load_device_description
from interop_clients import compare_outputs, invoke_cases, varnel_client
from interop_wire import (CLIENT_TIMEOUT, CONTROL_NS, DATATYPES, DATATYPES_DIR, Peer, action_body, post,
                          query_body)

# What a served device answers where it differs from the GUPnP device:
# values with a numeric time-zone offset do not read (600) and cannot be
# written (501).
SERVE_ANSWERS = {
    "numeric time-zone offsets": {"fault": 600},
    "query a time-zone offset": {"fault": 501},
}


def as_served(case):
    """The case as the served device answers it."""
    if case["name"] not in SERVE_ANSWERS:
        return case
    served = {k: v for k, v in case.items() if k not in ("outputs", "varnel")}
    served.update(SERVE_ANSWERS[case["name"]])
    return served


def fault_of(reply):
    parsed = reply.parse()
    return parsed[1] if reply.status == 500 and parsed and parsed[0] == "fault" else None


def hand_exchanges(checks, control_url):
    """Every exchange of the GUPnP device's hand-written client."""
    for case in map(as_served, invoke_cases()):
        label = f"serve/hand: {case['name']}"
        if "query" in case:
            reply = post(control_url, query_body(case["query"]), f'"{CONTROL_NS}#QueryStateVariable"',
                         accept_gzip=True)
        else:
            reply = post(control_url, action_body(DATATYPES, case["action"], case["inputs"]),
                         f'"{DATATYPES}#{case["action"]}"', accept_gzip=True)
        if "fault" in case:
            checks.check(f"{label}: HTTP 500 with UPnP error {case['fault']}", fault_of(reply) == case["fault"],
                         f"HTTP {reply.status}, {reply.body[:300]!r}")
            if "description" in case and fault_of(reply) == case["fault"]:
                checks.check(f"{label}: error description", reply.parse()[2] == case["description"],
                             repr(reply.parse()[2]))
            continue
        parsed = reply.parse()
        if not checks.check(f"{label}: HTTP 200 with a response",
                            reply.status == 200 and parsed and parsed[0] == "outputs",
                            f"HTTP {reply.status}, {reply.body[:300]!r}"):
            continue
        got = dict(parsed[1])
        if "query" in case:
            # UPnP 1.0's element, not the variable's name.
            checks.check(f"{label}: value in <return>", list(got) == ["return"], str(list(got)))
            got = {case["query"]: got.get("return")}
        compare_outputs(checks, label, case, got)
        checks.check(f"{label}: answered plain", "content-encoding" not in reply.headers, str(reply.headers))


def wire_checks(checks, control_url):
    """What the device answers to requests outside the plain exchanges."""
    label = "serve/wire"
    host = control_url.split("/")[2]
    get_status = action_body(DATATYPES, "GetStatus", {})
    reply = post(control_url, get_status, f'"{DATATYPES}#GetStatus"')
    checks.check(f"{label}: UPnP 1.0 headers", reply.status == 200 and "ext" in reply.headers and
                 reply.headers.get("content-type") == 'text/xml; charset="utf-8"', str(reply.headers))
    reply = post(control_url, query_body("Status"), f'"{DATATYPES}#QueryStateVariable"')
    parsed = reply.parse()
    checks.check(f"{label}: QueryStateVariable in the service's namespace answered",
                 reply.status == 200 and parsed and parsed[1] == [("return", "1")], f"HTTP {reply.status} {parsed}")
    reply = post(control_url, get_status, None)
    checks.check(f"{label}: 412 without SOAPACTION", reply.status == 412 and not reply.body, f"HTTP {reply.status}")
    reply = post(control_url, get_status, "GetStatus")
    checks.check(f"{label}: 412 for a SOAPACTION that is not TYPE#ACTION", reply.status == 412, f"HTTP {reply.status}")
    reply = post(control_url, get_status, f'"{DATATYPES}#Ping"')
    checks.check(f"{label}: 401 for a SOAPACTION naming another action", fault_of(reply) == 401,
                 f"HTTP {reply.status} {reply.body[:200]!r}")
    reply = post(control_url, get_status, '"urn:schemas-upnp-org:service:Other:1#GetStatus"')
    checks.check(f"{label}: 401 for a SOAPACTION naming another service type", fault_of(reply) == 401,
                 f"HTTP {reply.status} {reply.body[:200]!r}")
    reply = post(control_url, get_status, f'"{DATATYPES}#GetStatus"', host="localhost:" + host.rsplit(":", 1)[1])
    checks.check(f"{label}: localhost with its port is its own address", reply.status == 200, f"HTTP {reply.status}")
    reply = post(control_url, get_status, f'"{DATATYPES}#GetStatus"', host="example.com")
    checks.check(f"{label}: 412 for a Host that is not its own address", reply.status == 412, f"HTTP {reply.status}")
    reply = post(control_url, query_body("NoSuchVariable"), f'"{CONTROL_NS}#QueryStateVariable"')
    checks.check(f"{label}: QueryStateVariable of an unknown variable faults 404", fault_of(reply) == 404,
                 f"HTTP {reply.status} {reply.body[:200]!r}")
    refusals = [
        ("unescaped '<' and '&' (malformed XML)", "EchoText",
         action_body(DATATYPES, "EchoText", {"TextIn": "a<b & c"}, escape_values=False), 402),
        ("a DOCTYPE", "EchoText",
         action_body(DATATYPES, "EchoText", {"TextIn": "x"}).replace("?>", '?><!DOCTYPE s:Envelope [<!ENTITY e "x">]>', 1),
         402),
        ("no SOAP body", "GetStatus", '<?xml version="1.0"?><nothing/>', 402),
        ("a missing argument", "SetTarget", action_body(DATATYPES, "SetTarget", {}), 402),
        ("an extra argument", "GetStatus", action_body(DATATYPES, "GetStatus", {"Extra": "1"}), 402),
        ("an integer that is not a number", "SetTarget", action_body(DATATYPES, "SetTarget", {"NewTargetValue": "12abc"}),
         600),
        ("a value outside the allowed list", "SetLevel",
         action_body(DATATYPES, "SetLevel", {"DesiredLevel": "50", "Mode": "Sideways"}), 600),
        ("a value outside the range", "SetLevel", action_body(DATATYPES, "SetLevel", {"DesiredLevel": "105", "Mode": "On"}),
         601),
        ("a value off the step", "SetLevel", action_body(DATATYPES, "SetLevel", {"DesiredLevel": "52", "Mode": "On"}), 601),
        ("an unknown action", "NoSuchAction", action_body(DATATYPES, "NoSuchAction", {}), 401),
    ]
    for name, action, body, code in refusals:
        reply = post(control_url, body, f'"{DATATYPES}#{action}"')
        checks.check(f"{label}: {name} faults {code}", fault_of(reply) == code,
                     f"HTTP {reply.status} {reply.body[:200]!r}")
    # Announced over the limit, the body is refused before it is sent.
    status_line = announce_only(control_url, 1024 * 1024 + 1)
    checks.check(f"{label}: 413 for a body announced over the request limit, before it is sent",
                 status_line.startswith("HTTP/1.1 413"), repr(status_line))


def announce_only(control_url, length):
    """The status line answering a POST whose header announces `length`
    bytes of body, none of which is sent."""
    host = control_url.split("/")[2]
    address, port = host.rsplit(":", 1)
    path = "/" + control_url.split("/", 3)[3]
    with socket.create_connection((address, int(port)), timeout=CLIENT_TIMEOUT) as connection:
        connection.sendall((f"POST {path} HTTP/1.1\r\nHost: {host}\r\nContent-Type: text/xml\r\n"
                            f'SOAPACTION: "{DATATYPES}#GetStatus"\r\nContent-Length: {length}\r\n\r\n').encode())
        answer = b""
        while b"\r\n" not in answer:
            chunk = connection.recv(4096)
            if not chunk:
                break
            answer += chunk
    return answer.split(b"\r\n", 1)[0].decode("latin-1")


def step_serve(checks, options, out, command):
    """The data types device of --serve against SOAP by hand and varnel."""
    device = Peer("device-serve-wire", command, options.logs)
    try:
        service = load_device_description(os.path.join(DATATYPES_DIR, "description.xml"))[0]
        control_url = device.base + service.control_url
        hand_exchanges(checks, control_url)
        wire_checks(checks, control_url)
        if options.varnel:
            cases = [dict(as_served(c), varnel=c["varnel"]) if c.get("varnel") == "refuses the input" else as_served(c)
                     for c in invoke_cases()]
            varnel_client(checks, options.varnel, control_url, device.base + service.scpd_url, cases, "serve")
        else:
            checks.skip("serve/varnel", "no --varnel")
    finally:
        device.check_stop(checks, "serve")
