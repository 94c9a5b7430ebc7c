#!/usr/bin/env python3
"""Turns varnel_bench's JSON (Google Benchmark) into the tables `make bench` prints.

Each case is named <operation>/<body>/<implementation>. Reads are compared with
the libxml2 floor of the same body (new parser + XPath + walk), writes with the
libxml2 build + dump floor, both measured in the same run. Times are the median
CPU time of the repetitions when the run repeated, else the single run's.

    report.py bench/results/latest.json
"""
import json
import sys

REALISTIC = ["a", "b", "c", "d", "fault"]
READ_TARGET = {"a": 1.0, "b": 1.0, "c": 1.2, "d": 1.0, "fault": 1.0}
WRITE_TARGET = {"a": 0.7, "b": 0.7, "c": 1.5, "d": 0.7}
STRINGS = ["string_1KB", "string_10KB", "string_100KB", "string_1MB", "string_10MB"]
ARGS = ["args_1", "args_10", "args_100", "args_1000", "args_10000"]


def load(path):
    with open(path) as f:
        data = json.load(f)
    medians, singles = {}, {}
    for run in data.get("benchmarks", []):
        if run.get("error_occurred"):
            continue
        name = run.get("run_name", run["name"])
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                medians[name] = run
        else:
            singles.setdefault(name, run)
    singles.update(medians)
    return data.get("context", {}), singles, max((run.get("repetitions", 1) for run in singles.values()), default=1)


def to_us(run, clock="cpu_time"):
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[run.get("time_unit", "ns")]
    return run[clock] * scale


def fmt(value, digits=3):
    if value is None:
        return "-"
    if value == 0:
        return "0"
    return f"{value:.{digits}g}" if abs(value) < 10 ** digits else f"{value:.0f}"


def ratio(a, b):
    return None if a is None or b is None or b == 0 else a / b


class Runs:
    def __init__(self, runs):
        self.runs = runs

    def get(self, operation, body, implementation):
        return self.runs.get(f"{operation}/{body}/{implementation}")

    def us(self, operation, body, implementation):
        run = self.get(operation, body, implementation)
        return to_us(run) if run else None

    def counter(self, operation, body, implementation, counter):
        run = self.get(operation, body, implementation)
        return run.get(counter) if run else None


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(str(cell) for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def body_bytes(r, body):
    return r.counter("read", body, "varnel", "body_bytes") or r.counter("read", body, "libxml2", "body_bytes")


def mark(value, target):
    if value is None or target is None:
        return fmt(value, 2)
    return f"{fmt(value, 2)} {'ok' if value <= target else 'over'} (<= {target})"


def reads(r, bodies, with_targets):
    rows = []
    for body in bodies:
        varnel, floor = r.us("read", body, "varnel"), r.us("read", body, "libxml2")
        rows.append([body, fmt(body_bytes(r, body)), fmt(varnel), fmt(floor),
                     mark(ratio(varnel, floor), READ_TARGET.get(body) if with_targets else None),
                     fmt(r.us("read", body, "libxml2_reused")), fmt(r.us("read", body, "pugixml")),
                     fmt(r.us("read", body, "ixml")), fmt(ratio(varnel, r.us("read", body, "ixml")), 2),
                     fmt(r.counter("read", body, "varnel", "allocs"), 4),
                     fmt(r.counter("read", body, "libxml2", "allocs"), 4)])
    return table(["body", "bytes", "Varnel µs", "libxml2 µs", "Varnel / libxml2", "libxml2 reused µs",
                  "pugixml µs", "ixml µs", "Varnel / ixml", "allocs Varnel", "allocs libxml2"], rows)


def writes(r, bodies, with_targets):
    rows = []
    for body in bodies:
        varnel, floor = r.us("write", body, "varnel"), r.us("write", body, "libxml2_dump")
        rows.append([body, fmt(varnel), fmt(floor),
                     mark(ratio(varnel, floor), WRITE_TARGET.get(body) if with_targets else None),
                     fmt(r.us("write", body, "append")), fmt(r.counter("write", body, "varnel", "allocs"), 4),
                     fmt(r.counter("write", body, "libxml2_dump", "allocs"), 4)])
    return table(["body", "Varnel µs", "build+dump µs", "Varnel / build+dump", "append µs", "allocs Varnel",
                  "allocs build+dump"], rows)


def growth(r):
    rows = []
    for body in STRINGS + ARGS:
        size = body_bytes(r, body)
        count = r.counter("read", body, "varnel", "arguments")
        per_arg = body.startswith("args_")
        unit = count if per_arg else size
        scale = 1.0 if per_arg else 1e3  # µs per argument, ns per byte
        row = [body]
        for operation, floor in (("read", "libxml2"), ("write", "libxml2_dump")):
            varnel = r.us(operation, body, "varnel")
            row += [fmt(varnel), fmt(ratio(varnel, r.us(operation, body, floor)), 2),
                    fmt(ratio(varnel, unit) * scale if varnel and unit else None)]
        rows.append(row)
    text = table(["body", "read µs", "read / libxml2", "read per unit", "write µs", "write / build+dump",
                  "write per unit"], rows)
    text += "\n\nPer unit: ns per byte for the string series, µs per argument for the argument series.\n"

    def per_unit(operation, body, counter):
        run = r.get(operation, body, "varnel")
        return ratio(to_us(run), run.get(counter)) if run and run.get(counter) else None

    checks = [("read", "args_10000", "args_100", "arguments", 1.5), ("write", "args_10000", "args_100", "arguments", 1.5),
              ("read", "string_10MB", "string_10KB", "body_bytes", 2.0),
              ("write", "string_10MB", "string_10KB", "body_bytes", 2.0)]
    for operation, large, small, counter, target in checks:
        value = ratio(per_unit(operation, large, counter), per_unit(operation, small, counter))
        text += f"\n- {operation}: per-unit cost at {large} / at {small} = {mark(value, target)}"
    return text + "\n"


def others(r):
    rows = []
    qsv = r.get("qsv_round_trip", "a", "varnel")
    if qsv:
        rows.append(["QueryStateVariable round trip (a's service)", fmt(to_us(qsv)) + " µs",
                     f"{fmt(qsv.get('allocs'), 4)} allocs"])
    one = r.runs.get("threads/b/varnel/real_time/threads:1")
    two = r.runs.get("threads/b/varnel/real_time/threads:2")
    if one and two:
        rows.append(["read + write (b), one shared reader/writer: 2 threads / 1 thread",
                     f"{fmt(ratio(two['items_per_second'], one['items_per_second']), 2)}x throughput",
                     f"{fmt(one['items_per_second'])} vs {fmt(two['items_per_second'])} per s"])
    for name in ("BM_ReadRequest", "BM_ReadFailure_NoLog", "BM_ReadFailure_LinesBuilt", "BM_TraceLine_NoLog",
                 "BM_TraceLine_Built"):
        run = r.runs.get(name)
        if run:
            rows.append([f"log cost: {name[3:]}", fmt(to_us(run)) + " µs", ""])
    return table(["case", "time", "notes"], rows)


def event_values(r):
    # In the order the binary lists them (family_index), not the run's shuffled order.
    parses = sorted((run.get("family_index", 0), name.split("/")[1]) for name, run in r.runs.items()
                    if name.startswith("event_parse/"))
    types = [data_type for _, data_type in parses]
    rows = []
    for data_type in types:
        rows.append([data_type, fmt(1e3 * (r.us("event_parse", data_type, "varnel") or 0)),
                     fmt(1e3 * (r.us("event_format", data_type, "varnel") or 0)),
                     fmt(r.counter("event_parse", data_type, "varnel", "allocs"), 3),
                     fmt(r.counter("event_format", data_type, "varnel", "allocs"), 3)])
    return table(["data type", "parse ns", "format ns", "allocs parse", "allocs format"], rows)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    context, runs, repetitions = load(sys.argv[1])
    r = Runs(runs)
    print(f"# varnel_bench ({context.get('date', '?')}, {context.get('num_cpus', '?')} CPUs, "
          f"load {', '.join(fmt(x, 2) for x in context.get('load_avg', []))}; "
          f"medians of {repetitions} interleaved runs, CPU time)\n")
    print("## Reads: ReadMessage + GetArguments (fault: code and description)\n")
    print(reads(r, REALISTIC, True) + "\n")
    print("## Writes: WriteInvokeActionRequest / WriteInvokeActionResponse / fault\n")
    print(writes(r, REALISTIC, True) + "\n")
    print("## Growth\n")
    print(growth(r))
    print("## Growth floors: reads\n")
    print(reads(r, STRINGS + ARGS, False) + "\n")
    print("## Growth floors: writes\n")
    print(writes(r, STRINGS + ARGS, False) + "\n")
    print("## Other cases\n")
    print(others(r) + "\n")
    print("## Event values (CLSID_GenaMsgWriterHelper)\n")
    print(event_values(r))


if __name__ == "__main__":
    main()
