#!/usr/bin/env python3
"""Plots time per message against body size, for the library and each floor,
from varnel_bench's JSON: reads on the left, writes on the right, both axes
logarithmic. The bodies are the realistic ones (a, b, c, d, fault) and the
string growth series. Needs gnuplot (with its PNG terminal).

    plot.py bench/results/latest.json bench/results/latest.png
"""
import os
import subprocess
import sys
import tempfile

from report import REALISTIC, STRINGS, Runs, body_bytes, load, to_us

READS = [("varnel", "Varnel ReadMessage + GetArguments"), ("libxml2", "libxml2: new parser + XPath + walk"),
         ("libxml2_reused", "libxml2: reused parser, no XPath"), ("pugixml", "pugixml parse + walk"),
         ("ixml", "ixml parse + walk")]
WRITES = [("varnel", "Varnel write"), ("libxml2_dump", "libxml2: tree build + dump"),
          ("append", "string append with escaping")]


def series(r, operation, implementation):
    points = []
    for body in REALISTIC + STRINGS:
        run = r.get(operation, body, implementation)
        size = body_bytes(r, body)
        if run and size:
            points.append((size, to_us(run)))
    return sorted(points)


def panel(r, operation, implementations, folder, title):
    plots = []
    for implementation, label in implementations:
        points = series(r, operation, implementation)
        if not points:
            continue
        path = os.path.join(folder, f"{operation}_{implementation}.dat")
        with open(path, "w") as f:
            f.writelines(f"{size} {us}\n" for size, us in points)
        plots.append(f"'{path}' using 1:2 with linespoints title '{label}'")
    return (f"set title '{title}'\nplot " + ", \\\n     ".join(plots) + "\n") if plots else ""


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    _, runs, _ = load(sys.argv[1])
    r = Runs(runs)
    with tempfile.TemporaryDirectory() as folder:
        script = "\n".join([
            "set terminal pngcairo size 1400,560 font ',10'" if _has_cairo() else "set terminal png size 1400,560",
            f"set output '{sys.argv[2]}'",
            "set logscale xy", "set grid", "set key top left",
            "set xlabel 'body bytes'", "set ylabel 'µs per message (median CPU time)'",
            "set multiplot layout 1,2",
            panel(r, "read", READS, folder, "Reading a body"),
            panel(r, "write", WRITES, folder, "Writing a body"),
            "unset multiplot", ""])
        subprocess.run(["gnuplot"], input=script, text=True, check=True)


def _has_cairo():
    probe = subprocess.run(["gnuplot", "-e", "set terminal"], capture_output=True, text=True)
    return "pngcairo" in probe.stdout + probe.stderr


if __name__ == "__main__":
    main()
