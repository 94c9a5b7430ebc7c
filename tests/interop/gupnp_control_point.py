#!/usr/bin/python3
"""Invokes actions on a device through a GUPnP control point.

    gupnp_control_point.py --description URL --service-type URN CALLS
    gupnp_control_point.py --control-url URL --scpd URL --service-type URN CALLS

No discovery: the service proxy is built from the device description at
URL (the <service> of that type, in any embedded device), or from a
control URL and a service description URL. CALLS is a JSON file (or - for
standard input) holding a list of calls:

    [{"action": "EchoText", "inputs": {"TextIn": "a < b"}}, ...]

An input given as a JSON string is sent as that text; a number or a
boolean is handed to GUPnP typed as the argument's state variable (GUPnP
then writes it its own way: doubles with 17 significant digits, booleans
as 1 or 0).

Prints one JSON line per call, in order:

    {"action": A, "outputs": {NAME: {"text": T, "gtype": G, "typed": V}}}
    {"action": A, "fault": {"code": C, "description": D}}
    {"action": A, "failure": "what went wrong"}

"text" is the output as GUPnP reads it as a string; "typed" is the value
GUPnP gives for the GType its service introspection assigns the argument
("gtype"), or null where that type is not one Python can read (GUPnP's
boxed date, time, binary, uri and uuid types, and the types it does not
know). Exits 0 when every call was answered (faults included), 1 when
one failed otherwise, 2 on bad usage.

Run with /usr/bin/python3, which sees the GObject introspection bindings.
"""

import argparse
import ctypes
import json
import os
import sys
import tempfile
import urllib.request
import warnings
from xml.sax.saxutils import escape

import gi

gi.require_version("GUPnP", "1.6")
gi.require_version("GSSDP", "1.6")
from gi.repository import GLib, GObject, GSSDP, GUPnP  # noqa: E402

warnings.simplefilter("ignore", DeprecationWarning)

# The GTypes Python can read a value of; others are read as text only.
READABLE = {GObject.TYPE_UCHAR, GObject.TYPE_CHAR, GObject.TYPE_UINT, GObject.TYPE_INT,
            GObject.TYPE_UINT64, GObject.TYPE_INT64, GObject.TYPE_LONG, GObject.TYPE_ULONG,
            GObject.TYPE_FLOAT, GObject.TYPE_DOUBLE, GObject.TYPE_BOOLEAN, GObject.TYPE_STRING}


class XmlNode(ctypes.Structure):
    pass


XmlNode._fields_ = [("_private", ctypes.c_void_p), ("type", ctypes.c_int), ("name", ctypes.c_char_p),
                    ("children", ctypes.POINTER(XmlNode)), ("last", ctypes.POINTER(XmlNode)),
                    ("parent", ctypes.POINTER(XmlNode)), ("next", ctypes.POINTER(XmlNode))]
XML_ELEMENT_NODE = 1

_libxml2 = ctypes.CDLL("libxml2.so.2")
_libxml2.xmlDocGetRootElement.restype = ctypes.POINTER(XmlNode)
_libxml2.xmlDocGetRootElement.argtypes = [ctypes.c_void_p]
_libxml2.xmlNodeGetContent.restype = ctypes.c_void_p
_libxml2.xmlNodeGetContent.argtypes = [ctypes.POINTER(XmlNode)]
_libgupnp = ctypes.CDLL("libgupnp-1.6.so.0")
_libgupnp.gupnp_xml_doc_get_doc.restype = ctypes.c_void_p
_libgupnp.gupnp_xml_doc_get_doc.argtypes = [ctypes.c_void_p]
_libglib = ctypes.CDLL("libglib-2.0.so.0")
_libglib.g_free.argtypes = [ctypes.c_void_p]
ctypes.pythonapi.PyCapsule_GetPointer.restype = ctypes.c_void_p
ctypes.pythonapi.PyCapsule_GetPointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
ctypes.pythonapi.PyCapsule_New.restype = ctypes.py_object
ctypes.pythonapi.PyCapsule_New.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]


def _elements(node):
    child = node.contents.children
    while child:
        if child.contents.type == XML_ELEMENT_NODE:
            yield child
        child = child.contents.next


def _text(node):
    raw = _libxml2.xmlNodeGetContent(node)
    try:
        return ctypes.string_at(raw).decode("utf-8").strip() if raw else ""
    finally:
        _libglib.g_free(raw)


def _find_service(node, service_type):
    """The <service> element of service_type, and the UDN of its device."""
    name = node.contents.name
    if name == b"service":
        for child in _elements(node):
            if child.contents.name == b"serviceType" and _text(child) == service_type:
                return node
        return None
    for child in _elements(node):
        found = _find_service(child, service_type)
        if found:
            return found
    return None


def _udn_of(service_node):
    device = service_node.contents.parent.contents.parent  # serviceList, device
    for child in _elements(device):
        if child.contents.name == b"UDN":
            return _text(child)
    return ""


def build_proxy(context, description_path, location, service_type):
    """A service proxy for the service of service_type in the description
    document at description_path, fetched from location. GUPnP builds
    proxies from the <service> element itself, which introspection does not
    expose: it is found through libxml2 and handed over as a pointer."""
    document = GUPnP.XMLDoc.new_from_path(description_path)
    doc_pointer = ctypes.pythonapi.PyCapsule_GetPointer(document.__gpointer__, None)
    root = _libxml2.xmlDocGetRootElement(_libgupnp.gupnp_xml_doc_get_doc(doc_pointer))
    service = _find_service(root, service_type)
    if not service:
        raise SystemExit(f"gupnp_control_point: no {service_type} service in {location}")
    element = ctypes.pythonapi.PyCapsule_New(ctypes.cast(service, ctypes.c_void_p), None, None)
    return GObject.new(GUPnP.ServiceProxy, context=context, location=location, udn=_udn_of(service),
                       service_type=service_type, url_base=GLib.Uri.parse(location, GLib.UriFlags.NONE),
                       document=document, element=element)


def description_for(control_url, scpd_url, service_type):
    """A device description holding only the service to reach."""
    return ('<?xml version="1.0"?>\n<root xmlns="urn:schemas-upnp-org:device-1-0">'
            '<specVersion><major>1</major><minor>0</minor></specVersion><device>'
            '<deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>'
            '<UDN>uuid:00000000-0000-0000-0000-000000000000</UDN><serviceList><service>'
            f'<serviceType>{escape(service_type)}</serviceType><serviceId>urn:upnp-org:serviceId:Only</serviceId>'
            f'<SCPDURL>{escape(scpd_url)}</SCPDURL><controlURL>{escape(control_url)}</controlURL>'
            '<eventSubURL>/event</eventSubURL></service></serviceList></device></root>\n')


def introspect(proxy):
    loop = GLib.MainLoop()
    result = {}

    def done(source, outcome):
        try:
            result["introspection"] = source.introspect_finish(outcome)
        except GLib.Error as error:
            result["error"] = error
        loop.quit()

    proxy.introspect_async(None, done)
    GLib.timeout_add_seconds(20, loop.quit)
    loop.run()
    if "introspection" not in result:
        raise SystemExit(f"gupnp_control_point: cannot read the service description: {result.get('error')}")
    return result["introspection"]


def typed_input(gtype, value):
    if isinstance(value, str) or gtype not in READABLE or gtype == GObject.TYPE_STRING:
        holder = GObject.Value(GObject.TYPE_STRING)
        holder.set_string(value if isinstance(value, str) else json.dumps(value))
        return holder
    holder = GObject.Value(gtype)
    if gtype == GObject.TYPE_BOOLEAN:
        holder.set_boolean(bool(value))
    elif gtype in (GObject.TYPE_FLOAT, GObject.TYPE_DOUBLE):
        holder.set_value(float(value))
    elif gtype == GObject.TYPE_CHAR:
        holder.set_schar(int(value))
    elif gtype == GObject.TYPE_UCHAR:
        holder.set_uchar(int(value))
    else:
        holder.set_value(int(value))
    return holder


def plain(value):
    if isinstance(value, bytes):
        return value.decode("latin-1")
    if isinstance(value, float) and value != value:
        return "NaN"
    return value


def call(proxy, introspection, entry):
    name = entry["action"]
    info = introspection.get_action(name)
    if info is None:
        return {"action": name, "failure": "the service description has no such action"}
    variables = {a.name: introspection.get_state_variable(a.related_state_variable) for a in info.arguments}
    in_names, in_values = [], []
    for arg_name, value in entry.get("inputs", {}).items():
        variable = variables.get(arg_name)
        in_names.append(arg_name)
        in_values.append(typed_input(variable.type if variable else GObject.TYPE_STRING, value))
    action = GUPnP.ServiceProxyAction.new_from_list(name, in_names, in_values)
    out_args = [a for a in info.arguments if a.direction == GUPnP.ServiceActionArgDirection.OUT]
    out_names = [a.name for a in out_args]
    # GUPnP's introspection leaves out the variables of a type it does not
    # know (ui8, i8, float): those outputs are read as text only.
    out_types = [variables[a.name].type if variables.get(a.name) else None for a in out_args]
    try:
        proxy.call_action(action, None)
        _, texts = action.get_result_list(out_names, [GObject.TYPE_STRING] * len(out_names))
        readable = [(n, t) for n, t in zip(out_names, out_types) if t in READABLE]
        typed = {}
        if readable:
            _, values = action.get_result_list([n for n, _ in readable], [t for _, t in readable])
            typed = {n: plain(v) for (n, _), v in zip(readable, values)}
    except GLib.Error as error:
        if error.domain == GLib.quark_to_string(GUPnP.control_error_quark()) and error.code >= 400:
            return {"action": name, "fault": {"code": error.code, "description": error.message}}
        return {"action": name, "failure": f"{error.domain} {error.code}: {error.message}"}
    outputs = {}
    for out_name, gtype, text in zip(out_names, out_types, texts):
        outputs[out_name] = {"text": text, "gtype": GObject.type_name(gtype) if gtype is not None else None,
                             "typed": typed.get(out_name)}
    return {"action": name, "outputs": outputs}


def main():
    parser = argparse.ArgumentParser(description="Invokes actions through a GUPnP control point.")
    parser.add_argument("--description", help="the device description URL")
    parser.add_argument("--control-url", help="the control URL (with --scpd)")
    parser.add_argument("--scpd", help="the service description URL (with --control-url)")
    parser.add_argument("--service-type", required=True)
    parser.add_argument("calls", help="JSON file with the list of calls, or - for standard input")
    options = parser.parse_args()
    if bool(options.description) == bool(options.control_url and options.scpd):
        parser.error("give --description, or --control-url and --scpd")

    calls = json.load(sys.stdin if options.calls == "-" else open(options.calls, encoding="utf-8"))
    context = GUPnP.Context.new_full("lo", None, 0, GSSDP.UDAVersion.VERSION_1_0)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "description.xml")
        if options.description:
            location = options.description
            with urllib.request.urlopen(location, timeout=20) as answer, open(path, "wb") as f:
                f.write(answer.read())
        else:
            location = options.control_url
            with open(path, "w", encoding="utf-8") as f:
                f.write(description_for(options.control_url, options.scpd, options.service_type))
        proxy = build_proxy(context, path, location, options.service_type)
        introspection = introspect(proxy)
        failed = False
        for entry in calls:
            result = call(proxy, introspection, entry)
            failed = failed or "failure" in result
            print(json.dumps(result), flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
