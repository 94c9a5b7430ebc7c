#!/usr/bin/env python3
"""A small device that records the exact bytes control points send.

    recording_device.py --dir DIR [--description FILE] --behaviour JSON
                        --record FOLDER [--port N] [--timeout SECONDS]

Serves the files of DIR over HTTP on 127.0.0.1 (the device description is
FILE, default description.xml or rootDesc.xml) and answers each POST to a
control URL of the description from the behaviour file (README.md beside
this script), over keep-alive connections. It reads the SOAP body
leniently, with no XML parser, because some control points send argument
values unescaped; what it answers is plain UPnP 1.0 (QueryStateVariable
answers in <return>; faults are HTTP 500 with a UPnPError). A request
without SOAPACTION is answered 412.

Every exchange is written to FOLDER byte for byte as NNNN.request and
NNNN.response, with one JSON line per exchange in exchanges.jsonl (the
same layout as gupnp_device.py --record). Prints the description URL on
standard output once it listens, and stops on SIGTERM or SIGINT or after
--timeout seconds. Standard library only.
"""

import argparse
import html
import json
import os
import re
import signal
import socketserver
import sys
import threading
from xml.sax.saxutils import escape

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from behaviour import Behaviour, ServiceDescription, load_device_description  # noqa: E402

CONTROL_NS = "urn:schemas-upnp-org:control-1-0"
ENVELOPE_START = ('<?xml version="1.0" encoding="utf-8"?>\r\n'
                  '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
                  's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>')
ENVELOPE_END = "</s:Body></s:Envelope>\r\n"
MAX_REQUEST = 1 << 20


def log(text):
    print(f"recording_device: {text}", file=sys.stderr, flush=True)


def soap_arguments(body, action):
    """The child elements of the action element as name -> text, read with
    a regular expression so that unescaped '<' and '&' do not stop it."""
    match = re.search(r"<(?:[\w.-]+:)?%s\b[^>]*?(?:/>|>(.*)</(?:[\w.-]+:)?%s\s*>)"
                      % (re.escape(action), re.escape(action)), body, re.S)
    if not match or match.group(1) is None:
        return {}
    arguments = {}
    for name, text in re.findall(r"<([\w.-]+)(?:\s[^>]*)?>(.*?)</\1\s*>", match.group(1), re.S):
        arguments[name] = html.unescape(text)
    for name in re.findall(r"<([\w.-]+)(?:\s[^>]*)?/>", match.group(1)):
        arguments.setdefault(name, "")
    return arguments


class Device:
    def __init__(self, folder, description_name, behaviour, record):
        self.folder = folder
        self.description_name = description_name
        self.behaviour = behaviour
        self.record = record
        self.services = {}
        for service in load_device_description(os.path.join(folder, description_name)):
            description = ServiceDescription(service.scpd_path(folder))
            self.services[service.control_url] = (service.service_type, description)
            for problem in behaviour.check(service.service_type, description):
                log(f"behaviour: {problem}")
        os.makedirs(record, exist_ok=True)
        self.lock = threading.Lock()
        self.count = 0
        self.log = open(os.path.join(record, "exchanges.jsonl"), "a", encoding="utf-8")

    def answer_get(self, path):
        name = path.split("?", 1)[0].lstrip("/")
        full = os.path.realpath(os.path.join(self.folder, name))
        if not name or not full.startswith(os.path.realpath(self.folder) + os.sep) or not os.path.isfile(full):
            return 404, "Not Found", [], b"", {}
        with open(full, "rb") as f:
            return 200, "OK", [("Content-Type", 'text/xml; charset="utf-8"')], f.read(), {}

    def answer_post(self, path, headers, body):
        service = self.services.get(path.split("?", 1)[0])
        if service is None:
            return 404, "Not Found", [], b"", {}
        soapaction = headers.get("soapaction")
        if soapaction is None:
            return 412, "Precondition Failed", [], b"", {}
        urn, _, action = soapaction.strip().strip('"').partition("#")
        service_type, description = service
        text = body.decode("utf-8", "replace")
        if urn == CONTROL_NS and action == "QueryStateVariable":
            name = soap_arguments(text, action).get("varName", "")
            answer = self.behaviour.query(service_type, description, name)
            note = {"variable": name}
            element, namespace, outputs = "QueryStateVariableResponse", CONTROL_NS, [("return", v) for _, v in answer.outputs]
        else:
            inputs = soap_arguments(text, action)
            answer = self.behaviour.invoke(service_type, description, action, inputs)
            note = {"action": action, "inputs": inputs}
            element, namespace, outputs = f"{action}Response", service_type, answer.outputs
        if answer.is_error:
            note["answer"] = {"error": {"code": answer.error_code, "description": answer.error_description}}
            xml = (f'{ENVELOPE_START}<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring>'
                   f'<detail><UPnPError xmlns="{CONTROL_NS}"><errorCode>{answer.error_code}</errorCode>'
                   f'<errorDescription>{escape(answer.error_description)}</errorDescription></UPnPError>'
                   f'</detail></s:Fault>{ENVELOPE_END}')
            status, reason = 500, "Internal Server Error"
        else:
            note["answer"] = {"outputs": dict(answer.outputs)}
            xml = (f'{ENVELOPE_START}<u:{element} xmlns:u="{namespace}">'
                   + "".join(f"<{n}>{escape(v)}</{n}>" for n, v in outputs)
                   + f"</u:{element}>{ENVELOPE_END}")
            status, reason = 200, "OK"
        return status, reason, [("Content-Type", 'text/xml; charset="utf-8"'), ("Ext", "")], xml.encode(), note

    def write_record(self, request, response, entry):
        with self.lock:
            self.count += 1
            stem = os.path.join(self.record, f"{self.count:04d}")
            with open(stem + ".request", "wb") as f:
                f.write(request)
            with open(stem + ".response", "wb") as f:
                f.write(response)
            entry = dict({"exchange": self.count}, **entry)
            self.log.write(json.dumps(entry) + "\n")
            self.log.flush()


class Handler(socketserver.StreamRequestHandler):
    timeout = 30

    def read_request(self):
        head = b""
        while not head.endswith(b"\r\n\r\n") and not head.endswith(b"\n\n"):
            line = self.rfile.readline(65537)
            if not line:
                return None
            if head == b"" and line in (b"\r\n", b"\n"):
                continue
            head += line
            if len(head) > 65536:
                return None
        lines = head.decode("latin-1").splitlines()
        method, target, version = (lines[0].split(" ", 2) + ["", ""])[:3]
        headers = {}
        for line in lines[1:]:
            if ":" in line:
                name, value = line.split(":", 1)
                headers[name.strip().lower()] = value.strip()
        length = int(headers.get("content-length", "0") or 0)
        if length > MAX_REQUEST:
            return None
        body = self.rfile.read(length) if length else b""
        return head, method, target, version.strip(), headers, body

    def handle(self):
        device = self.server.device
        while True:
            try:
                request = self.read_request()
            except (OSError, ValueError):
                return
            if request is None:
                return
            head, method, target, version, headers, body = request
            if method == "GET":
                status, reason, extra, payload, note = device.answer_get(target)
            elif method == "POST":
                status, reason, extra, payload, note = device.answer_post(target, headers, body)
            else:
                status, reason, extra, payload, note = 405, "Method Not Allowed", [], b"", {}
            connection = headers.get("connection", "").lower()
            close = connection == "close" or (version == "HTTP/1.0" and connection != "keep-alive")
            response_head = f"HTTP/1.1 {status} {reason}\r\n"
            for name, value in extra + [("Content-Length", str(len(payload))),
                                        ("Connection", "close" if close else "keep-alive")]:
                response_head += f"{name}: {value}\r\n"
            response = response_head.encode() + b"\r\n" + payload
            self.wfile.write(response)
            self.wfile.flush()
            entry = {"method": method, "path": target, "status": status,
                     "soapaction": headers.get("soapaction"), "user_agent": headers.get("user-agent")}
            entry.update(note)
            device.write_record(head + body, response, entry)
            if close:
                return


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser(description="A device that records what control points send.")
    parser.add_argument("--dir", required=True)
    parser.add_argument("--description")
    parser.add_argument("--behaviour", required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--timeout", type=float, default=60)
    options = parser.parse_args()

    folder = os.path.abspath(options.dir)
    name = options.description
    if not name:
        name = next((n for n in ("description.xml", "rootDesc.xml") if os.path.exists(os.path.join(folder, n))), None)
        if not name:
            raise SystemExit(f"recording_device: no description.xml or rootDesc.xml in {folder}")
    server = Server(("127.0.0.1", options.port), Handler)
    server.device = Device(folder, name, Behaviour(options.behaviour), options.record)
    stop = lambda *_: threading.Thread(target=server.shutdown, daemon=True).start()
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    timer = threading.Timer(options.timeout, stop)
    timer.daemon = True
    timer.start()
    print(f"http://127.0.0.1:{server.server_address[1]}/{name}", flush=True)
    server.serve_forever(poll_interval=0.2)
    server.server_close()
    log("stopped")


if __name__ == "__main__":
    main()
