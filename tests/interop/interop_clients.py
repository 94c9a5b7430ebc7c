"""The clients the interop steps run against a device: SOAP written by hand
(with checks of what the device does on the wire) and `varnel invoke` /
`varnel query`, over the same exchanges."""

import json
import os
import subprocess
import urllib.parse

from interop_wire import (CLIENT_TIMEOUT, CONTROL_NS, DATATYPES, DATATYPES_DIR, SAMPLE, VALUE_VARIABLES,
                          ServiceDescription, TYPE_OF, action_body, argument, post, query_body, same_value)

# --- the hand-written client and the varnel client ------------------------

def invoke_cases():
    """Exchanges any control point makes with the data types device: the
    action or variable, the inputs as text, and what must come back."""
    all_in = {argument(v, "In"): SAMPLE[v] for v in VALUE_VARIABLES}
    all_out = {argument(v, "Out"): SAMPLE[v] for v in VALUE_VARIABLES}
    text = "a < b & c > 'd' \"e\" \u00e9\u4e2d"
    return [
        {"name": "no arguments", "action": "Ping", "inputs": {}, "outputs": {}},
        {"name": "one output", "action": "GetStatus", "inputs": {}, "outputs": {"ResultStatus": "1"}},
        {"name": "one input", "action": "SetTarget", "inputs": {"NewTargetValue": "42"}, "outputs": {}},
        {"name": "text with markup characters", "action": "EchoText", "inputs": {"TextIn": text},
         "outputs": {"TextOut": text}},
        {"name": "every data type echoed", "action": "EchoValues", "inputs": all_in, "outputs": all_out},
        {"name": "every data type in", "action": "SetValues", "inputs": all_in, "outputs": {}},
        {"name": "every data type out, over 1 KiB", "action": "GetValues", "inputs": {},
         "outputs": dict(all_out, LongTextOut=SAMPLE["LongText"])},
        {"name": "ranged and enumerated", "action": "SetLevel", "inputs": {"DesiredLevel": "55", "Mode": "On"},
         "outputs": {"ResultLevel": "55", "ResultMode": "On"}},
        {"name": "two in, two out", "action": "Divide", "inputs": {"Dividend": "7", "Divisor": "2"},
         "outputs": {"Quotient": "3.5", "Remainder": "1"}},
        {"name": "numeric time-zone offsets", "action": "EchoZoned",
         "inputs": {"DateTimeIn": SAMPLE["ZonedDateTime"], "TimeIn": SAMPLE["ZonedTime"]},
         "outputs": {"DateTimeOut": SAMPLE["ZonedDateTime"], "TimeOut": SAMPLE["ZonedTime"]},
         "varnel": "refuses the input"},
        {"name": "fault from a case", "action": "Divide", "inputs": {"Dividend": "7", "Divisor": "0"}, "fault": 711},
        {"name": "fault with markup in its description", "action": "Fail", "inputs": {"TextIn": "x"}, "fault": 801,
         "description": 'Refused as told: <none> & "nothing"'},
        {"name": "unknown action", "action": "NoSuchAction", "inputs": {}, "fault": 401, "hand_only": True},
        {"name": "query one variable", "query": "Status", "outputs": {"Status": "1"}},
        {"name": "query a date with a time zone", "query": "V_dateTime_tz", "outputs": {"V_dateTime_tz": SAMPLE["V_dateTime_tz"]}},
        {"name": "query a time-zone offset", "query": "ZonedDateTime",
         "outputs": {"ZonedDateTime": SAMPLE["ZonedDateTime"]}, "varnel": "refuses the answer"},
        {"name": "query a long text", "query": "LongText", "outputs": {"LongText": SAMPLE["LongText"]}},
    ]


def output_type(action, name):
    if action is None:
        return TYPE_OF.get(name)
    description = ServiceDescription(os.path.join(DATATYPES_DIR, "DataTypes1.xml"))
    return description.data_type(action, name)


def compare_outputs(checks, label, case, got):
    expected = case["outputs"]
    names_ok = checks.check(f"{label}: output names", [n for n in got] == list(expected),
                            f"got {list(got)}, want {list(expected)}")
    if not names_ok:
        return
    wrong = [f"{n}={got[n]!r} (want {v!r})" for n, v in expected.items()
             if not same_value(output_type(case.get("action"), n), v, got[n])]
    checks.check(f"{label}: output values", not wrong, "; ".join(wrong))


def hand_client(checks, control_url, record_dir):
    """The placeholder control point: SOAP written by hand, so the GUPnP
    device's own behaviour is what is checked."""
    host = urllib.parse.urlsplit(control_url).netloc
    for case in invoke_cases():
        label = f"gupnp-device/hand: {case['name']}"
        if "query" in case:
            reply = post(control_url, query_body(case["query"]), f'"{CONTROL_NS}#QueryStateVariable"',
                         accept_gzip=True)
        else:
            reply = post(control_url, action_body(DATATYPES, case["action"], case["inputs"]),
                         f'"{DATATYPES}#{case["action"]}"', accept_gzip=True)
        parsed = reply.parse()
        if "fault" in case:
            ok = reply.status == 500 and parsed and parsed[0] == "fault" and parsed[1] == case["fault"]
            checks.check(f"{label}: HTTP 500 with UPnP error {case['fault']}", ok,
                         f"HTTP {reply.status}, {parsed}")
            if ok and "description" in case:
                checks.check(f"{label}: error description", parsed[2] == case["description"], repr(parsed[2]))
            continue
        if not checks.check(f"{label}: HTTP 200 with a response", reply.status == 200 and parsed and parsed[0] == "outputs",
                            f"HTTP {reply.status}, {reply.body[:200]!r}"):
            continue
        compare_outputs(checks, label, case, dict(parsed[1]))
        if len(reply.body) > 1024:
            checks.check(f"{label}: gzip for an answer over 1 KiB",
                         reply.headers.get("content-encoding") == "gzip", str(reply.headers))

    # What a GUPnP device does on the wire, beyond plain exchanges.
    label = "gupnp-device/wire"
    reply = post(control_url, query_body("Status"), f'"{CONTROL_NS}#QueryStateVariable"')
    parsed = reply.parse()
    checks.check(f"{label}: QueryStateVariable answer element named after the variable",
                 parsed and parsed[0] == "outputs" and parsed[1] == [("Status", "1")], str(parsed))
    reply = post(control_url, action_body(DATATYPES, "GetValues", {}), f'"{DATATYPES}#GetValues"')
    checks.check(f"{label}: no gzip without Accept-Encoding",
                 reply.status == 200 and "content-encoding" not in reply.headers and len(reply.body) > 1024,
                 str(reply.headers))
    reply = post(control_url, action_body(DATATYPES, "GetStatus", {}), f'"{DATATYPES}#GetStatus"', accept_gzip=True)
    checks.check(f"{label}: no gzip for an answer under 1 KiB",
                 reply.status == 200 and "content-encoding" not in reply.headers, str(reply.headers))
    reply = post(control_url, action_body(DATATYPES, "GetStatus", {}), None)
    checks.check(f"{label}: 412 without SOAPACTION", reply.status == 412, f"HTTP {reply.status}")
    reply = post(control_url, action_body(DATATYPES, "GetStatus", {}), f'"{DATATYPES}#GetStatus"',
                 host="localhost:" + host.rsplit(":", 1)[1])
    checks.check(f"{label}: 412 for a Host that is not its own address", reply.status == 412, f"HTTP {reply.status}")
    reply = post(control_url, action_body(DATATYPES, "GetStatus", {}), f'"{DATATYPES}#Ping"')
    checks.check(f"{label}: 412 for a SOAPACTION naming another action", reply.status == 412, f"HTTP {reply.status}")
    reply = post(control_url, query_body("NoSuchVariable"), f'"{CONTROL_NS}#QueryStateVariable"')
    parsed = reply.parse()
    checks.check(f"{label}: QueryStateVariable of an unknown variable faults 402",
                 reply.status == 500 and parsed and parsed[:2] == ("fault", 402), f"HTTP {reply.status} {parsed}")
    # A body as miniupnpc writes one, markup characters left unescaped:
    # libxml2's recover mode drops what it cannot parse.
    reply = post(control_url, action_body(DATATYPES, "EchoText", {"TextIn": "a<b & c"}, escape_values=False),
                 f'"{DATATYPES}#EchoText"')
    parsed = reply.parse()
    checks.check(f"{label}: unescaped '<' and '&' read as 'a c'",
                 reply.status == 200 and parsed and parsed[1] == [("TextOut", "a c")], f"HTTP {reply.status} {parsed}")
    body = action_body(DATATYPES, "EchoText", {"TextIn": "&e;"}, escape_values=False)
    body = body.replace("?>", '?><!DOCTYPE s:Envelope [<!ENTITY e "expanded">]>', 1)
    reply = post(control_url, body, f'"{DATATYPES}#EchoText"')
    parsed = reply.parse()
    checks.check(f"{label}: an internal entity of a DOCTYPE is expanded",
                 reply.status == 200 and parsed and parsed[1] == [("TextOut", "expanded")], f"HTTP {reply.status} {parsed}")

    # The values GUPnP read, typed, from the request holding every type.
    typed = None
    for line in open(os.path.join(record_dir, "exchanges.jsonl"), encoding="utf-8"):
        entry = json.loads(line)
        if entry.get("action") == "EchoValues":
            typed = entry.get("typed_inputs")
            break
    want = {"ui1In": 255, "ui2In": 65535, "ui4In": 4294967295, "i1In": -128, "i2In": -32768,
            "i4In": -2147483648, "intIn": 2147483647, "r4In": 3.25, "r8In": -1.5e300, "numberIn": 0.1,
            "fixed_14_4In": -12345.6789, "charIn": "Z", "booleanIn": True}
    wrong = [f"{k}={typed.get(k)!r}" for k, v in want.items() if not typed or typed.get(k) != v]
    checks.check(f"{label}: GUPnP reads every numeric, char and boolean input typed", not wrong, ", ".join(wrong))


def varnel_client(checks, varnel, control_url, scpd, cases=None, device="gupnp-device"):
    """`varnel invoke` and `varnel query` against a device (the GUPnP
    device unless told), over `cases` (default: invoke_cases())."""
    common = ["--scpd", scpd, "--control-url", control_url, "--service-type", DATATYPES, "--json", "--timeout", "20"]
    for case in cases if cases is not None else invoke_cases():
        if case.get("hand_only"):
            continue
        label = f"{device}/varnel: {case['name']}"
        if "query" in case:
            command = [varnel, "query"] + common + [case["query"]]
        else:
            command = [varnel, "invoke"] + common + [case["action"]] + [f"{k}={v}" for k, v in case["inputs"].items()]
        try:
            run = subprocess.run(command, capture_output=True, timeout=CLIENT_TIMEOUT)
        except subprocess.TimeoutExpired:
            checks.check(label, False, "no answer in time")
            continue
        stderr = run.stderr.decode("utf-8", "replace").strip()
        if "varnel" in case:
            want_exit = 3 if case["varnel"] == "refuses the input" else 5
            checks.check(f"{label}: {case['varnel']}", run.returncode == want_exit and "refused" in stderr,
                         f"exit {run.returncode}: {stderr} {run.stdout[:300]!r}")
            continue
        try:
            decoded = json.loads(run.stdout.decode("utf-8"))
        except ValueError:
            checks.check(label, False, f"exit {run.returncode}, no JSON: {stderr}")
            continue
        if "fault" in case:
            error = decoded.get("error") or {}
            checks.check(f"{label}: UPnP error {case['fault']}", run.returncode == 4 and error.get("code") == case["fault"],
                         f"exit {run.returncode}, {decoded}")
            if "description" in case:
                checks.check(f"{label}: error description", error.get("description") == case["description"], repr(error))
            continue
        if not checks.check(f"{label}: answered", run.returncode == 0 and not decoded.get("error"),
                            f"exit {run.returncode}: {stderr} {decoded.get('error')}"):
            continue
        got = {value["name"]: value.get("text") for value in decoded.get("values", [])}
        if "query" in case:
            got = {case["query"]: next(iter(got.values()), None)}
        compare_outputs(checks, label, case, got)
