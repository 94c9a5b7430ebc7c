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
  serve                with --serve: the data types device of --serve against
                       SOAP by hand (its refusals on the wire included) and
                       `varnel invoke`/`query` with --varnel
  decode               with --varnel: `varnel decode` of every body the
                       peers wrote

Every body exchanged is kept under OUT/bodies/<step>/ (NNNN-NAME.request.xml,
NNNN-NAME.response.xml, gzip undone) beside the raw exchanges under
OUT/record/<step>/. Prints one line per check and closes with
"N passed, N failed"; exits 1 when a check failed.
"""


import argparse
import gzip
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)
from behaviour import ServiceDescription, load_device_description  # noqa: E402
from interop_clients import hand_client, varnel_client  # noqa: E402
from serve_checks import step_serve  # noqa: E402
from interop_wire import (CLIENT_TIMEOUT, DATATYPES, DATATYPES_DIR, GATEWAY_DIR, PEER_TIMEOUT, PYTHON,  # noqa: E402
                          SAMPLE, TYPE_OF, VALUE_VARIABLES, Checks, Peer, Reply, argument, has_offset, same_value)


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
    device = Peer(f"device-{device_name}-datatypes", command, options.logs)
    try:
        run = subprocess.run([PYTHON, os.path.join(HERE, "gupnp_control_point.py"), "--description", device.url,
                              "--service-type", DATATYPES, calls_path],
                             capture_output=True, timeout=CLIENT_TIMEOUT * 2)
    except subprocess.TimeoutExpired:
        checks.check(f"gupnp-control-point/{device_name}", False, "no end in time")
        return
    finally:
        stop_device(checks, device, f"gupnp-control-point/{device_name}", device_name)
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


def run_upnpc(checks, label, url, logs, log_name, strict_xml=False):
    """upnpc's four commands against one gateway. A device that reads
    requests as XML (strict_xml: Varnel's) refuses the AddPortMapping whose
    description upnpc sends with '<' and '&' unescaped, as 402 Invalid Args;
    a lenient one maps the port."""
    added = [r"external 203\.0\.113\.7:9000 TCP is redirected to internal 192\.168\.1\.20:9000"]
    runs = [
        ("status", ["-s"], 0, [r"Connection Type : IP_Routed", r"Status : Connected, uptime=86400s",
                               r"ExternalIPAddress = 203\.0\.113\.7", r"MaxBitRateDown : 250000000 bps",
                               r"Bytes:\s+Sent: 123456789\s+Recv: 987654321"]),
        ("list", ["-l"], 0, [r"0 TCP\s+8080->192\.168\.1\.20:80\s+'web .*more'", r"1 UDP\s+5353->192\.168\.1\.21:5353",
                             r"GetGenericPortMappingEntry\(\) returned 713"]),
        ("add", ["-e", "web server", "-a", "192.168.1.20", "9000", "9000", "TCP"], 0, added),
        ("add with markup unescaped", ["-e", 'web <b> & "q"', "-a", "192.168.1.20", "9000", "9000", "TCP"],
         *((2, [r"AddPortMapping\(9000, 9000, 192\.168\.1\.20\) failed with code 402 \(Invalid Args\)"])
           if strict_xml else (0, added))),
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
    device = Peer(f"device-{device_name}-gateway", command, options.logs)
    try:
        run_upnpc(checks, f"miniupnpc/{device_name}", device.url, options.logs, f"upnpc-{device_name}.log",
                  strict_xml=device_name == "serve")
    finally:
        stop_device(checks, device, f"miniupnpc/{device_name}", device_name)


def stop_device(checks, device, label, device_name):
    """Stops a device; the device of --serve must end cleanly."""
    if device_name == "serve":
        device.check_stop(checks, label)
    else:
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
                checks.check(f"{label}: refused as malformed XML", run.returncode == 3 and b"0x80040301" in run.stderr,
                             f"exit {run.returncode}: {run.stderr[-300:]!r}")
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
    parser.add_argument("--steps", default="gupnp-device,gupnp-control-point,miniupnpc,serve,decode")
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
    if "serve" in steps:
        if options.serve:
            guarded("serve", step_serve, serve_command(options.serve, DATATYPES_DIR))
        else:
            checks.skip("serve", "no --serve")
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
