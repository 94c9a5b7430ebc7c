#!/usr/bin/python3
"""Hosts a GUPnP device on the loopback interface.

    gupnp_device.py --dir DIR [--description FILE] --behaviour JSON
                    [--port N] [--timeout SECONDS] [--record DIR]

Serves the device description FILE (default: description.xml, or
rootDesc.xml, in DIR) and the service descriptions it names from DIR, and
answers every action and QueryStateVariable request as the behaviour file
says (README.md beside this script). The device is never made available,
so it neither announces itself nor answers searches: nothing leaves the
loopback interface. Prints the description URL on standard output once it
serves, then runs until SIGTERM or SIGINT or --timeout seconds.

With --record DIR, every HTTP exchange is written there: NNNN.request and
NNNN.response hold the request and the response (start line, headers as
the server holds them, empty line, body as sent on the wire), and
exchanges.jsonl one JSON object per exchange with the input arguments as
text and as GUPnP reads them typed.

Run with /usr/bin/python3, which sees the GObject introspection bindings.
"""

import argparse
import ctypes
import json
import os
import signal
import sys
import warnings

import gi

gi.require_version("GUPnP", "1.6")
gi.require_version("GSSDP", "1.6")
gi.require_version("Soup", "3.0")
from gi.repository import GLib, GObject, GSSDP, GUPnP  # noqa: E402

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from behaviour import Behaviour, ServiceDescription, load_device_description  # noqa: E402

warnings.simplefilter("ignore", DeprecationWarning)

# How GUPnP reads each UPnP data type when asked for a typed value: the
# GType its service introspection gives the type. The types it keeps as
# text (the 64-bit integers, float, dates, times, binaries, uri, uuid) are
# read as strings.
GUPNP_TYPES = {
    "ui1": GObject.TYPE_UINT, "ui2": GObject.TYPE_UINT, "ui4": GObject.TYPE_UINT,
    "i1": GObject.TYPE_INT, "i2": GObject.TYPE_INT, "i4": GObject.TYPE_INT,
    "int": GObject.TYPE_INT, "r4": GObject.TYPE_FLOAT, "r8": GObject.TYPE_DOUBLE,
    "number": GObject.TYPE_DOUBLE, "fixed.14.4": GObject.TYPE_DOUBLE,
    "char": GObject.TYPE_CHAR, "string": GObject.TYPE_STRING,
    "boolean": GObject.TYPE_BOOLEAN,
}

_gobject = ctypes.CDLL("libgobject-2.0.so.0")
_gobject.g_signal_connect_data.restype = ctypes.c_ulong
_gobject.g_signal_connect_data.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p,
                                           ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int]
_gobject.g_value_init.restype = ctypes.c_void_p
_gobject.g_value_init.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
_gobject.g_value_set_string.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
_gobject.g_type_from_name.restype = ctypes.c_size_t
_gobject.g_type_from_name.argtypes = [ctypes.c_char_p]
ctypes.pythonapi.PyCapsule_GetPointer.restype = ctypes.c_void_p
ctypes.pythonapi.PyCapsule_GetPointer.argtypes = [ctypes.py_object, ctypes.c_char_p]

# void handler(GUPnPService*, const char* variable, GValue* value, gpointer)
QUERY_VARIABLE_HANDLER = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p,
                                          ctypes.c_void_p, ctypes.c_void_p)


def log(text):
    print(f"gupnp_device: {text}", file=sys.stderr, flush=True)


class Host:
    """What every service object needs: the behaviour, the service
    descriptions by service type, and the recorder."""
    behaviour = None
    descriptions = {}
    recorder = None


class BehaviourService(GUPnP.Service):
    """Every service of the device: answers each action from the behaviour
    file. GUPnP only emits action-invoked to handlers connected with the
    action name as detail, so overriding the class handler is what reaches
    every action."""

    def do_action_invoked(self, action):
        service_type = self.get_service_type()
        description = Host.descriptions[service_type]
        name = action.get_name()
        inputs, typed = {}, {}
        for argument in description.inputs(name):
            text = action.get_value(argument.name, GObject.TYPE_STRING)
            inputs[argument.name] = text
            gtype = GUPNP_TYPES.get(description.data_type(name, argument.name))
            if gtype is not None and gtype != GObject.TYPE_STRING and text is not None:
                value = action.get_value(argument.name, gtype)
                typed[argument.name] = value if not isinstance(value, bytes) else value.decode("latin-1")
        answer = Host.behaviour.invoke(service_type, description, name, inputs)
        if Host.recorder:
            Host.recorder.note_action(action.get_message(), name, inputs, typed, answer)
        if answer.is_error:
            action.return_error(answer.error_code, answer.error_description)
            return
        for argument_name, text in answer.outputs:
            value = GObject.Value(GObject.TYPE_STRING)
            value.set_string(text)
            action.set_value(argument_name, value)
        action.return_success()


def _pointer(gobject_instance):
    return ctypes.pythonapi.PyCapsule_GetPointer(gobject_instance.__gpointer__, None)


def connect_query_variable(service, handlers):
    """GUPnP's query-variable signal hands an uninitialised GValue that
    PyGObject cannot pass to Python; take it through ctypes instead and set
    the value as text, which GUPnP writes as it is (escaped)."""
    service_type = service.get_service_type()
    description = Host.descriptions[service_type]
    string_type = _gobject.g_type_from_name(b"gchararray")

    def on_query(_service, variable, value, _data):
        name = variable.decode("utf-8")
        answer = Host.behaviour.query(service_type, description, name)
        if Host.recorder:
            Host.recorder.note_query(name, answer)
        # Left uninitialised, the value makes GUPnP answer the variable as
        # unknown.
        if not answer.is_error:
            _gobject.g_value_init(value, string_type)
            _gobject.g_value_set_string(value, answer.outputs[0][1].encode("utf-8"))

    handler = QUERY_VARIABLE_HANDLER(on_query)
    handlers.append(handler)
    _gobject.g_signal_connect_data(_pointer(service), b"query-variable",
                                   ctypes.cast(handler, ctypes.c_void_p), None, None, 0)


class Recorder:
    """Writes every exchange of the device's HTTP server. The request is
    taken when it has been read, before GUPnP handles it (GUPnP cuts the
    SOAPACTION header it parses in place)."""

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.count = 0
        self.exchanges = {}
        self.last_query = None
        self.log = open(os.path.join(folder, "exchanges.jsonl"), "a", encoding="utf-8")

    def note_action(self, message, name, inputs, typed, answer):
        exchange = self.exchanges.get(_pointer(message)) if message is not None else None
        if exchange is not None:
            exchange["entry"].update({"action": name, "inputs": inputs, "typed_inputs": typed,
                                      "answer": _answer_json(answer)})

    def note_query(self, name, answer):
        self.last_query = {"variable": name, "answer": _answer_json(answer)}

    @staticmethod
    def _headers(headers):
        lines = []
        headers.foreach(lambda name, value: lines.append(f"{name}: {value}\r\n"))
        return "".join(lines).encode("utf-8")

    @staticmethod
    def _body(body):
        data = body.flatten().get_data() if body is not None else b""
        return bytes(data) if data is not None else b""

    def read(self, _server, message):
        self.count += 1
        uri = message.get_uri()
        target = uri.get_path() + (f"?{uri.get_query()}" if uri.get_query() else "")
        headers = message.get_request_headers()
        request = (f"{message.get_method()} {target} HTTP/1.1\r\n".encode()
                   + self._headers(headers) + b"\r\n" + self._body(message.get_request_body()))
        self.exchanges[_pointer(message)] = {
            "number": self.count, "request": request,
            "entry": {"exchange": self.count, "method": message.get_method(), "path": target,
                      "soapaction": headers.get_one("SOAPACTION"),
                      "accept_encoding": headers.get_one("Accept-Encoding")}}

    def finished(self, _server, message):
        exchange = self.exchanges.pop(_pointer(message), None)
        if exchange is None:
            return
        stem = os.path.join(self.folder, f"{exchange['number']:04d}")
        response = (f"HTTP/1.1 {message.get_status()} {message.get_reason_phrase() or ''}\r\n".encode()
                    + self._headers(message.get_response_headers()) + b"\r\n"
                    + self._body(message.get_response_body()))
        with open(stem + ".request", "wb") as f:
            f.write(exchange["request"])
        with open(stem + ".response", "wb") as f:
            f.write(response)
        entry = exchange["entry"]
        entry.update({"status": message.get_status(),
                      "content_encoding": message.get_response_headers().get_one("Content-Encoding")})
        if self.last_query is not None and "action" not in entry:
            entry.update(self.last_query)
        self.last_query = None
        self.log.write(json.dumps(entry) + "\n")
        self.log.flush()


def _answer_json(answer):
    if answer.is_error:
        return {"error": {"code": answer.error_code, "description": answer.error_description}}
    return {"outputs": dict(answer.outputs)}


def find_description(folder, name):
    if name:
        return name
    for candidate in ("description.xml", "rootDesc.xml"):
        if os.path.exists(os.path.join(folder, candidate)):
            return candidate
    raise SystemExit(f"gupnp_device: no description.xml or rootDesc.xml in {folder}")


def main():
    parser = argparse.ArgumentParser(description="Hosts a GUPnP device on lo.")
    parser.add_argument("--dir", required=True, help="folder with the device and service descriptions")
    parser.add_argument("--description", help="the device description file in --dir")
    parser.add_argument("--behaviour", required=True, help="the behaviour JSON file")
    parser.add_argument("--port", type=int, default=0, help="the HTTP port (default: any free one)")
    parser.add_argument("--timeout", type=float, default=60, help="stop after this many seconds")
    parser.add_argument("--record", help="folder to write every exchange to")
    options = parser.parse_args()

    folder = os.path.abspath(options.dir)
    description_name = find_description(folder, options.description)
    Host.behaviour = Behaviour(options.behaviour)
    for service in load_device_description(os.path.join(folder, description_name)):
        description = ServiceDescription(service.scpd_path(folder))
        Host.descriptions[service.service_type] = description
        for problem in Host.behaviour.check(service.service_type, description):
            log(f"behaviour: {problem}")

    context = GUPnP.Context.new_full("lo", None, options.port, GSSDP.UDAVersion.VERSION_1_0)
    factory = GUPnP.ResourceFactory.new()
    for service_type in Host.descriptions:
        factory.register_resource_type(service_type, BehaviourService)
    document = GUPnP.XMLDoc.new_from_path(os.path.join(folder, description_name))
    root = GUPnP.RootDevice.new_full(context, factory, document, description_name, folder)

    # Service objects host their control URLs while they live: make every
    # one of every device, and keep them.
    services, handlers = [], []

    def collect(device):
        for service in device.list_services():
            services.append(service)
            connect_query_variable(service, handlers)
        for child in device.list_devices():
            collect(child)

    collect(root)
    if options.record:
        Host.recorder = Recorder(options.record)
        server = context.get_server()
        server.connect("request-read", Host.recorder.read)
        server.connect("request-finished", Host.recorder.finished)
        server.connect("request-aborted", Host.recorder.finished)

    loop = GLib.MainLoop()
    stop = lambda *_: (loop.quit(), GLib.SOURCE_REMOVE)[1]
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, stop)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGINT, stop)
    GLib.timeout_add(int(options.timeout * 1000), stop)
    print(root.get_location(), flush=True)
    log(f"serving {len(services)} services from {folder}")
    loop.run()
    log("stopped")


if __name__ == "__main__":
    main()
