#!/usr/bin/python3
"""The interop run: other UPnP stacks against each other and against
Varnel, on 127.0.0.1 only. Started by run_interop.sh, which skips the run
when a peer is not installed; see README.md beside this script.

Steps, each bounded by timeouts:
  gupnp-device         a GUPnP device (gupnp_device.py) answers hand-written
                       SOAP requests, and `varnel invoke`/`query` with --varnel
  gupnp-control-point  a GUPnP control point (gupnp_control_point.py) calls a
                       recording device, and the device of --serve
  miniupnpc            upnpc -s, -l, -a, -d against a recording gateway, the
                       gateway of --serve, and --upnpc-url
  decode               with --varnel: `varnel decode` of every body the
                       peers wrote

Every body exchanged is kept under OUT/bodies/<step>/ (NNNN-NAME.request.xml,
NNNN-NAME.response.xml, gzip undone) beside the raw exchanges under
OUT/record/<step>/. Prints one line per check and closes with
"N passed, N failed"; exits 1 when a check failed.
"""

import argparse
import base64
import gzip
import http.client
import json
import math
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)
from behaviour import Behaviour, ServiceDescription, load_device_description  # noqa: E402

PYTHON = "/usr/bin/python3"
DATA = os.path.join(HERE, "data")
DATATYPES_DIR = os.path.join(DATA, "datatypes")
GATEWAY_DIR = os.path.join(DATA, "gateway")
DATATYPES = "urn:schemas-varnel-org:service:DataTypes:1"
CONTROL_NS = "urn:schemas-upnp-org:control-1-0"
SOAP_NS = "http://schemas.xmlsoap.org/soap/envelope/"
PEER_TIMEOUT = 90        # seconds a device started here lives at most
CLIENT_TIMEOUT = 30      # seconds one client run may take

# One value of every data type, as the device description's variables hold
# them; the hand-written and the varnel requests send these.
SAMPLE = Behaviour(os.path.join(DATATYPES_DIR, "behaviour.json")).services[DATATYPES]["variables"]
TYPE_OF = {v.name: v.data_type for v in ServiceDescription(os.path.join(DATATYPES_DIR, "DataTypes1.xml")).variables.values()}
VALUE_VARIABLES = [name for name in SAMPLE if name.startswith("V_")]


def argument(variable, direction):
    return variable[2:] + direction


def has_offset(data_type, text):
    """True for a ".tz" value with a numeric time-zone offset, which Varnel
    does not read (it reads "Z" only)."""
    return bool(data_type and data_type.endswith(".tz") and text and re.search(r"[+-]\d\d:\d\d$", text))


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.skipped = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS {name}", flush=True)
        else:
            self.failed += 1
            print(f"FAIL {name}{': ' + detail if detail else ''}", flush=True)
        return ok

    def skip(self, name, why):
        self.skipped += 1
        print(f"SKIP {name}: {why}", flush=True)


class Peer:
    """A server process that prints its URL on its first line of standard
    output; stopped with SIGTERM, then SIGKILL."""

    def __init__(self, name, command, logs):
        self.name = name
        self.log_path = os.path.join(logs, f"{name}.log")
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=self.log,
                                        stdin=subprocess.DEVNULL, start_new_session=True)
        self.url = None
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            line = self.process.stdout.readline().decode("utf-8", "replace")
            if not line:
                break
            match = re.search(r"http://\S+", line)
            if match:
                self.url = match.group(0)
                break
        if not self.url:
            self.stop()
            raise RuntimeError(f"{name} printed no URL (see {self.log_path})")
        # Whatever else it prints goes to its log, so that a full pipe
        # never stops it.
        self.drain = threading.Thread(target=self._drain, daemon=True)
        self.drain.start()

    def _drain(self):
        for line in self.process.stdout:
            self.log.write(line)

    @property
    def base(self):
        parts = urllib.parse.urlsplit(self.url)
        return f"{parts.scheme}://{parts.netloc}"

    def stop(self):
        if self.process.poll() is None:
            try:
                os.killpg(self.process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(timeout=5)
        if getattr(self, "drain", None):
            self.drain.join(timeout=5)
        self.log.close()


# --- SOAP by hand --------------------------------------------------------

def envelope(inner):
    return ('<?xml version="1.0"?>\r\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
            f'{inner}</s:Body></s:Envelope>\r\n')


def action_body(service_type, action, inputs, escape_values=True):
    args = "".join(f"<{k}>{escape(v, {chr(34): '&quot;'}) if escape_values else v}</{k}>" for k, v in inputs.items())
    return envelope(f'<u:{action} xmlns:u="{service_type}">{args}</u:{action}>')


def query_body(variable):
    return envelope(f'<u:QueryStateVariable xmlns:u="{CONTROL_NS}"><u:varName>{variable}</u:varName>'
                    '</u:QueryStateVariable>')


class Reply:
    def __init__(self, status, headers, raw):
        self.status = status
        self.headers = headers
        self.raw = raw
        self.body = gzip.decompress(raw) if headers.get("content-encoding") == "gzip" else raw

    def parse(self):
        """('outputs', [(name, text)]) or ('fault', code, description), or
        None when the body is no SOAP answer."""
        try:
            root = ET.fromstring(self.body)
        except ET.ParseError:
            return None
        body = root.find(f"{{{SOAP_NS}}}Body")
        if body is None or len(body) == 0:
            return None
        element = body[0]
        if element.tag == f"{{{SOAP_NS}}}Fault":
            error = element.find(f".//{{{CONTROL_NS}}}UPnPError")
            if error is None:
                return ("fault", None, None)
            return ("fault", int(error.findtext(f"{{{CONTROL_NS}}}errorCode", "0")),
                    error.findtext(f"{{{CONTROL_NS}}}errorDescription", ""))
        return ("outputs", [(child.tag.split("}")[-1], child.text or "") for child in element],
                element.tag)


def post(url, body, soapaction=None, host=None, accept_gzip=False, content_type='text/xml; charset="utf-8"'):
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=CLIENT_TIMEOUT)
    try:
        connection.putrequest("POST", parts.path or "/", skip_host=True, skip_accept_encoding=True)
        connection.putheader("Host", host or parts.netloc)
        connection.putheader("Content-Type", content_type)
        if soapaction is not None:
            connection.putheader("SOAPACTION", soapaction)
        if accept_gzip:
            connection.putheader("Accept-Encoding", "gzip")
        data = body.encode("utf-8")
        connection.putheader("Content-Length", str(len(data)))
        connection.endheaders(data)
        answer = connection.getresponse()
        return Reply(answer.status, {k.lower(): v for k, v in answer.getheaders()}, answer.read())
    finally:
        connection.close()


# --- value comparison by UPnP data type -----------------------------------

def same_value(data_type, expected, got):
    """True when two value texts mean the same value of data_type."""
    if expected == got:
        return True
    if got is None:
        return False
    try:
        if data_type in ("ui1", "ui2", "ui4", "ui8", "i1", "i2", "i4", "i8", "int"):
            return int(expected) == int(got)
        if data_type in ("r4", "float"):
            return math.isclose(float(expected), float(got), rel_tol=1e-6)
        if data_type in ("r8", "number", "fixed.14.4"):
            return math.isclose(float(expected), float(got), rel_tol=1e-15)
        if data_type == "boolean":
            truth = {"1": True, "true": True, "yes": True, "0": False, "false": False, "no": False}
            return truth[expected.lower()] == truth[got.lower()]
        if data_type == "bin.base64":
            return base64.b64decode(expected) == base64.b64decode(got)
        if data_type == "bin.hex":
            return bytes.fromhex(expected) == bytes.fromhex(got)
        if data_type == "uuid":
            return expected.lower() == got.lower()
    except (ValueError, KeyError, TypeError):
        return False
    return False


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


def varnel_client(checks, varnel, control_url, scpd):
    """`varnel invoke` and `varnel query` against the GUPnP device."""
    common = ["--scpd", scpd, "--control-url", control_url, "--service-type", DATATYPES, "--json", "--timeout", "20"]
    for case in invoke_cases():
        if case.get("hand_only"):
            continue
        label = f"gupnp-device/varnel: {case['name']}"
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


# --- the steps ------------------------------------------------------------

def keep_bodies(record_dir, bodies_dir):
    """Each POST's bodies, named after the action, gzip undone."""
    os.makedirs(bodies_dir, exist_ok=True)
    path = os.path.join(record_dir, "exchanges.jsonl")
    if not os.path.exists(path):
        return []
    kept = []
    for line in open(path, encoding="utf-8"):
        entry = json.loads(line)
        if entry.get("method") != "POST":
            continue
        name = entry.get("action") or ("QueryStateVariable" if entry.get("variable") else "unread")
        stem = os.path.join(bodies_dir, f"{entry['exchange']:04d}-{name}")
        for kind in ("request", "response"):
            with open(os.path.join(record_dir, f"{entry['exchange']:04d}.{kind}"), "rb") as f:
                raw = f.read()
            head, _, body = raw.partition(b"\r\n\r\n")
            if re.search(rb"(?im)^content-encoding:\s*gzip", head):
                body = gzip.decompress(body)
            with open(f"{stem}.{kind}.xml", "wb") as f:
                f.write(body)
        kept.append((stem, entry))
    return kept


def step_gupnp_device(checks, options, out):
    record = os.path.join(out, "record", "gupnp-device")
    device = Peer("gupnp-device", [PYTHON, os.path.join(HERE, "gupnp_device.py"), "--dir", DATATYPES_DIR,
                                   "--behaviour", os.path.join(DATATYPES_DIR, "behaviour.json"),
                                   "--timeout", str(PEER_TIMEOUT), "--record", record], options.logs)
    try:
        services = load_device_description(os.path.join(DATATYPES_DIR, "description.xml"))
        control_url = device.base + services[0].control_url
        scpd_url = device.base + services[0].scpd_url
        hand_client(checks, control_url, record)
        if options.varnel:
            varnel_client(checks, options.varnel, control_url, scpd_url)
        else:
            checks.skip("gupnp-device/varnel", "no --varnel")
    finally:
        device.stop()
    keep_bodies(record, os.path.join(out, "bodies", "gupnp-device"))


def control_point_calls():
    """What the GUPnP control point invokes, and what it must read back
    typed (GType name, value)."""
    text = "a < b & c > 'd' \"e\" \u00e9"
    all_text = {argument(v, "In"): SAMPLE[v] for v in VALUE_VARIABLES}
    typed_in = dict(all_text, ui1In=255, ui2In=65535, ui4In=4294967295, i1In=-128, i2In=-32768,
                    i4In=-2147483648, intIn=2147483647, r4In=3.25, r8In=-1.5e300, numberIn=0.1,
                    fixed_14_4In=-12345.6789, booleanIn=True)
    typed_out = {"ui1Out": ("guint", 255), "ui2Out": ("guint", 65535), "ui4Out": ("guint", 4294967295),
                 "i1Out": ("gint", -128), "i2Out": ("gint", -32768), "i4Out": ("gint", -2147483648),
                 "intOut": ("gint", 2147483647), "r4Out": ("gfloat", 3.25), "r8Out": ("gdouble", -1.5e300),
                 "numberOut": ("gdouble", 0.1), "fixed_14_4Out": ("gdouble", -12345.6789),
                 "charOut": ("gchar", "Z"), "stringOut": ("gchararray", "plain text"), "booleanOut": ("gboolean", True)}
    return [
        ({"action": "Ping"}, {"outputs": {}}),
        ({"action": "GetStatus"}, {"outputs": {"ResultStatus": ("gboolean", True)}}),
        ({"action": "SetTarget", "inputs": {"NewTargetValue": 42}}, {"outputs": {}}),
        ({"action": "EchoText", "inputs": {"TextIn": text}}, {"outputs": {"TextOut": ("gchararray", text)}}),
        ({"action": "EchoValues", "inputs": all_text}, {"outputs": typed_out}),
        ({"action": "EchoValues", "inputs": typed_in}, {"outputs": typed_out}),
        ({"action": "GetValues"}, {"outputs": typed_out}),
        ({"action": "SetLevel", "inputs": {"DesiredLevel": 55, "Mode": "On"}},
         {"outputs": {"ResultLevel": ("guint", 55), "ResultMode": ("gchararray", "On")}}),
        ({"action": "Divide", "inputs": {"Dividend": 7, "Divisor": 2}},
         {"outputs": {"Quotient": ("gdouble", 3.5), "Remainder": ("gint", 1)}}),
        ({"action": "EchoZoned", "inputs": {"DateTimeIn": SAMPLE["ZonedDateTime"], "TimeIn": SAMPLE["ZonedTime"]}},
         {"outputs": {"DateTimeOut": ("GUPnPDateTimeTZ", None), "TimeOut": ("GUPnPTimeTZ", None)},
          "texts": {"DateTimeOut": SAMPLE["ZonedDateTime"], "TimeOut": SAMPLE["ZonedTime"]},
          "serve": {"fault": 600}}),
        ({"action": "Divide", "inputs": {"Dividend": 7, "Divisor": 0}}, {"fault": 711}),
        ({"action": "Fail", "inputs": {"TextIn": "x"}}, {"fault": 801}),
    ]


def step_gupnp_control_point(checks, options, out, device_name, command):
    calls = control_point_calls()
    calls_path = os.path.join(out, "gupnp-control-point-calls.json")
    with open(calls_path, "w", encoding="utf-8") as f:
        json.dump([c for c, _ in calls], f, indent=1)
    device = Peer(device_name, command, options.logs)
    try:
        run = subprocess.run([PYTHON, os.path.join(HERE, "gupnp_control_point.py"), "--description", device.url,
                              "--service-type", DATATYPES, calls_path],
                             capture_output=True, timeout=CLIENT_TIMEOUT * 2)
    except subprocess.TimeoutExpired:
        checks.check(f"gupnp-control-point/{device_name}", False, "no end in time")
        return
    finally:
        device.stop()
    with open(os.path.join(options.logs, f"gupnp-control-point-{device_name}.log"), "wb") as f:
        f.write(run.stdout + b"\n" + run.stderr)
    results = [json.loads(line) for line in run.stdout.decode("utf-8").splitlines() if line.strip()]
    if not checks.check(f"gupnp-control-point/{device_name}: one result per call", len(results) == len(calls),
                        f"{len(results)} of {len(calls)}; exit {run.returncode}; {run.stderr[-300:]!r}"):
        return
    for (call, want), got in zip(calls, results):
        label = f"gupnp-control-point/{device_name}: {call['action']}"
        if device_name == "serve" and "serve" in want:
            want = want["serve"]
        if "fault" in want:
            checks.check(f"{label}: UPnP error {want['fault']}", got.get("fault", {}).get("code") == want["fault"], str(got))
            continue
        if not checks.check(f"{label}: answered", "outputs" in got, str(got)):
            continue
        wrong = []
        for name, (gtype, value) in want["outputs"].items():
            output = got["outputs"].get(name) or {}
            if output.get("gtype") != gtype or output.get("typed") != value:
                wrong.append(f"{name}: {output.get('gtype')} {output.get('typed')!r}, want {gtype} {value!r}")
        checks.check(f"{label}: typed outputs", not wrong, "; ".join(wrong))
        if "texts" in want:
            wrong = [f"{n}={got['outputs'].get(n, {}).get('text')!r}" for n, t in want["texts"].items()
                     if got["outputs"].get(n, {}).get("text") != t]
            checks.check(f"{label}: text outputs", not wrong, "; ".join(wrong))
        if call["action"] == "EchoValues":
            # The types GUPnP keeps as text come back as the text sent.
            inputs = call.get("inputs", {})
            for variable in VALUE_VARIABLES:
                name = argument(variable, "Out")
                if name in want["outputs"]:
                    continue
                sent = inputs.get(argument(variable, "In"))
                text = got["outputs"].get(name, {}).get("text")
                if not same_value(TYPE_OF[variable], sent, text):
                    wrong.append(f"{name}={text!r} (sent {sent!r})")
            checks.check(f"{label}: text outputs", not wrong, "; ".join(wrong))


def run_upnpc(checks, label, url, logs, log_name):
    """upnpc's four commands against one gateway."""
    runs = [
        ("status", ["-s"], 0, [r"Connection Type : IP_Routed", r"Status : Connected, uptime=86400s",
                               r"ExternalIPAddress = 203\.0\.113\.7", r"MaxBitRateDown : 250000000 bps",
                               r"Bytes:\s+Sent: 123456789\s+Recv: 987654321"]),
        ("list", ["-l"], 0, [r"0 TCP\s+8080->192\.168\.1\.20:80\s+'web .*more'", r"1 UDP\s+5353->192\.168\.1\.21:5353",
                             r"GetGenericPortMappingEntry\(\) returned 713"]),
        ("add", ["-e", 'web <b> & "q"', "-a", "192.168.1.20", "9000", "9000", "TCP"], 0,
         [r"external 203\.0\.113\.7:9000 TCP is redirected to internal 192\.168\.1\.20:9000"]),
        ("add refused", ["-a", "192.168.1.20", "80", "8080", "TCP"], None, [r"failed with code 718"]),
        ("delete", ["-d", "9000", "TCP"], 0, [r"UPNP_DeletePortMapping\(\) returned : 0"]),
        ("delete missing", ["-d", "9001", "UDP"], None, [r"failed with code : 714"]),
    ]
    with open(os.path.join(logs, log_name), "ab") as log:
        for name, arguments, want_exit, patterns in runs:
            command = ["upnpc", "-u", url] + arguments
            try:
                run = subprocess.run(command, capture_output=True, timeout=CLIENT_TIMEOUT)
            except subprocess.TimeoutExpired:
                checks.check(f"{label}: {name}", False, "no end in time")
                continue
            text = run.stdout.decode("utf-8", "replace") + run.stderr.decode("utf-8", "replace")
            log.write(f"$ {shlex.join(command)}\n{text}exit {run.returncode}\n\n".encode())
            missing = [p for p in patterns if not re.search(p, text)]
            exit_ok = want_exit is None or run.returncode == want_exit
            checks.check(f"{label}: {name}", exit_ok and not missing,
                         f"exit {run.returncode}; missing {missing}" if missing or not exit_ok else "")


def step_miniupnpc(checks, options, out, device_name, command):
    device = Peer(device_name, command, options.logs)
    try:
        run_upnpc(checks, f"miniupnpc/{device_name}", device.url, options.logs, f"upnpc-{device_name}.log")
    finally:
        device.stop()


def recording_device(folder, record):
    return [PYTHON, os.path.join(HERE, "recording_device.py"), "--dir", folder,
            "--behaviour", os.path.join(folder, "behaviour.json"), "--record", record,
            "--timeout", str(PEER_TIMEOUT)]


def serve_command(template, folder):
    return [word.format(dir=folder, behaviour=os.path.join(folder, "behaviour.json"), timeout=PEER_TIMEOUT)
            for word in shlex.split(template)]


def decode_device_answers(checks, options, out):
    """`varnel decode` of each answer the GUPnP device wrote, against what
    it was told to answer."""
    scpd = os.path.join(DATATYPES_DIR, "DataTypes1.xml")
    description = ServiceDescription(scpd)
    for stem, entry in keep_bodies(os.path.join(out, "record", "gupnp-device"), os.path.join(out, "bodies", "gupnp-device")):
        answer = entry.get("answer")
        if not answer or entry.get("status") not in (200, 500):
            continue
        label = f"decode/gupnp-device: {os.path.basename(stem)}"
        command = [options.varnel, "decode", "--scpd", scpd, "--response", "--json"]
        if entry.get("variable") in TYPE_OF:
            command += ["--variable", entry["variable"]]
        run = subprocess.run(command + [f"{stem}.response.xml"], capture_output=True, timeout=CLIENT_TIMEOUT)
        outputs = answer.get("outputs", {})
        if entry.get("variable"):
            types = {entry["variable"]: TYPE_OF.get(entry["variable"])}
        else:
            types = {n: description.data_type(entry["action"], n) for n in outputs}
        if any(has_offset(types.get(n), v) for n, v in outputs.items()):
            checks.check(f"{label}: time-zone offset refused", run.returncode == 3,
                         f"exit {run.returncode}: {run.stderr[-300:]!r}")
            continue
        try:
            decoded = json.loads(run.stdout)
        except ValueError:
            checks.check(label, False, f"exit {run.returncode}: {run.stderr[-300:]!r}")
            continue
        if "error" in answer:
            # GUPnP answers an unknown variable with its own 402: the code
            # on the wire is the one to find.
            with open(f"{stem}.response.xml", "rb") as f:
                wire = Reply(500, {}, f.read()).parse()
            checks.check(f"{label}: UPnP error {wire[1] if wire else '?'}",
                         wire and (decoded.get("error") or {}).get("code") == wire[1], f"{decoded} {wire}")
            continue
        texts = [v.get("text") for v in decoded.get("values", [])]
        if entry.get("variable"):
            wrong = [] if len(texts) == 1 and same_value(types[entry["variable"]], outputs[entry["variable"]], texts[0]) \
                else [f"{texts!r}"]
        else:
            got = {v["name"]: v.get("text") for v in decoded.get("values", [])}
            wrong = [f"{n}={got.get(n)!r} (want {v!r})" for n, v in outputs.items()
                     if not same_value(types[n], v, got.get(n))]
        checks.check(label, run.returncode == 0 and not wrong, f"exit {run.returncode}; {'; '.join(wrong)}")


def step_decode(checks, options, out):
    """`varnel decode` of each body a peer wrote, against what the
    recording device read from it or the GUPnP device was told to answer."""
    decode_device_answers(checks, options, out)
    for step, folder in (("gupnp-control-point", DATATYPES_DIR), ("miniupnpc", GATEWAY_DIR)):
        record = os.path.join(out, "record", step)
        services = {s.control_url: s for s in load_device_description(
            os.path.join(folder, "description.xml" if folder == DATATYPES_DIR else "rootDesc.xml"))}
        for stem, entry in keep_bodies(record, os.path.join(out, "bodies", step)):
            service = services.get(entry["path"])
            if not service or not entry.get("action"):
                continue
            label = f"decode/{step}: {os.path.basename(stem)}"
            scpd = service.scpd_path(folder)
            run = subprocess.run([options.varnel, "decode", "--scpd", scpd, "--request", "--json", f"{stem}.request.xml"],
                                 capture_output=True, timeout=CLIENT_TIMEOUT)
            body = open(f"{stem}.request.xml", "rb").read()
            description = ServiceDescription(scpd)
            inputs = entry.get("inputs", {})
            unescaped = any(re.search(r"[<&]", v) for v in inputs.values())
            if unescaped and step == "miniupnpc":
                checks.check(f"{label}: refused as malformed XML", run.returncode == 3,
                             f"exit {run.returncode}: {run.stdout[:300]!r}")
                continue
            if any(has_offset(description.data_type(entry["action"], k), v) for k, v in inputs.items()):
                checks.check(f"{label}: time-zone offset refused with 600", run.returncode == 3 and b"600" in run.stderr,
                             f"exit {run.returncode}: {run.stderr[-300:]!r}")
                continue
            try:
                decoded = json.loads(run.stdout)
            except ValueError:
                checks.check(label, False, f"exit {run.returncode}: {run.stderr[-300:]!r} body {body[:200]!r}")
                continue
            got = {v["name"]: v.get("text") for v in decoded.get("values", [])}
            wrong = [f"{k}={got.get(k)!r} (sent {v!r})" for k, v in entry.get("inputs", {}).items()
                     if not same_value(description.data_type(entry["action"], k), v, got.get(k))]
            checks.check(label, run.returncode == 0 and decoded.get("name") == entry["action"] and not wrong,
                         f"exit {run.returncode}; {'; '.join(wrong)}")


def main():
    parser = argparse.ArgumentParser(description="Runs the interop steps.")
    parser.add_argument("--out", help="folder for logs and bodies (default: a new temporary folder)")
    parser.add_argument("--varnel", help="the varnel program: adds the invoke/query and decode checks")
    parser.add_argument("--serve", help="command that hosts a device, with {dir}, {behaviour} and {timeout} "
                                        "replaced, printing its description URL on standard output")
    parser.add_argument("--upnpc-url", help="also run upnpc against this gateway description URL")
    parser.add_argument("--steps", default="gupnp-device,gupnp-control-point,miniupnpc,decode")
    options = parser.parse_args()
    out = os.path.abspath(options.out or tempfile.mkdtemp(prefix="varnel-interop-"))
    for folder in ("record", "bodies", "logs"):
        if os.path.isdir(os.path.join(out, folder)):
            shutil.rmtree(os.path.join(out, folder))
    options.logs = os.path.join(out, "logs")
    os.makedirs(options.logs, exist_ok=True)
    steps = options.steps.split(",")
    print(f"interop: logs and bodies in {out}", flush=True)

    checks = Checks()
    started = time.monotonic()

    def guarded(name, function, *arguments):
        try:
            function(checks, options, out, *arguments)
        except Exception as error:  # a step that breaks is one failed check
            checks.check(f"{name}: ran to the end", False, f"{type(error).__name__}: {error}")

    if "gupnp-device" in steps:
        guarded("gupnp-device", step_gupnp_device)
    if "gupnp-control-point" in steps:
        guarded("gupnp-control-point", step_gupnp_control_point, "recording",
                recording_device(DATATYPES_DIR, os.path.join(out, "record", "gupnp-control-point")))
        if options.serve:
            guarded("gupnp-control-point", step_gupnp_control_point, "serve", serve_command(options.serve, DATATYPES_DIR))
    if "miniupnpc" in steps:
        guarded("miniupnpc", step_miniupnpc, "recording",
                recording_device(GATEWAY_DIR, os.path.join(out, "record", "miniupnpc")))
        if options.serve:
            guarded("miniupnpc", step_miniupnpc, "serve", serve_command(options.serve, GATEWAY_DIR))
        if options.upnpc_url:
            run_upnpc(checks, "miniupnpc/url", options.upnpc_url, options.logs, "upnpc-url.log")
    for step in ("gupnp-control-point", "miniupnpc"):
        keep_bodies(os.path.join(out, "record", step), os.path.join(out, "bodies", step))
    if "decode" in steps:
        if options.varnel:
            guarded("decode", step_decode)
        else:
            checks.skip("decode", "no --varnel")

    print(f"interop: {time.monotonic() - started:.1f} s", flush=True)
    print(f"{checks.passed} passed, {checks.failed} failed" + (f", {checks.skipped} skipped" if checks.skipped else ""),
          flush=True)
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
