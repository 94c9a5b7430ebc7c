"""What the interop steps share: the peers' data, the checks, server
processes, SOAP written and read by hand, and value comparison by UPnP
data type. Standard library only."""

import base64
import gzip
import http.client
import math
import os
import re
import signal
import subprocess
import sys
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)
from behaviour import Behaviour, ServiceDescription  # noqa: E402

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
        return self.process.returncode

    def check_stop(self, checks, label):
        """Stops the server and checks it ended cleanly: exit status 0 and
        no sanitizer report in its log."""
        status = self.stop()
        with open(self.log_path, "rb") as f:
            reports = re.findall(rb"(?:ERROR: \w+Sanitizer|runtime error)[^\n]*", f.read())
        checks.check(f"{label}: stopped cleanly by SIGTERM", status == 0 and not reports,
                     f"exit {status}; {reports[:3]}")


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
