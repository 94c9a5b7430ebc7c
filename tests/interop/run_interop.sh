#!/usr/bin/env bash
# The interop run against GUPnP and miniupnpc on 127.0.0.1 (README.md in
# this folder). Exits 77, with one line saying what is missing, when a peer
# is not installed; otherwise runs run_interop.py with the arguments given.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

skip() { echo "interop: skipped: $*"; exit 77; }

[ -x /usr/bin/python3 ] || skip "/usr/bin/python3 is not installed (python3-gi gir1.2-gupnp-1.6 gir1.2-gssdp-1.6)"
/usr/bin/python3 - >/dev/null 2>&1 <<'PY' || skip "the GUPnP 1.6 GObject bindings are not installed (python3-gi gir1.2-gupnp-1.6 gir1.2-gssdp-1.6)"
import gi
gi.require_version("GUPnP", "1.6")
gi.require_version("GSSDP", "1.6")
gi.require_version("Soup", "3.0")
from gi.repository import GUPnP, GSSDP, Soup
PY
command -v upnpc >/dev/null 2>&1 || skip "upnpc is not installed (miniupnpc)"
[ -e /sys/class/net/lo ] || skip "there is no loopback interface lo"

exec /usr/bin/python3 "$here/run_interop.py" "$@"
