#!/usr/bin/env python3
"""Takes the README's screenshot: the window under Xvfb in the test namespaces, cameras listed.

    sudo python3 tests/e2e/screenshot.py [--zadari build/dev/zadari] [--output docs/screenshot.png]
                                         [--lan CODE] [--scale F] [--wait S]

Like demo.py it starts the camera simulator with a dozen cameras and the window in the "pc"
namespace, here on a private Xvfb display; it waits until the simulator has been asked by every
family's query and the list had time to fill, then saves the window (ImageMagick `import`).
Exit 77 when namespaces or Xvfb are not available.
"""

from __future__ import annotations

import argparse
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo  # noqa: E402
import harness  # noqa: E402

QUERIES = ("query:peltra", "query:zorix", "query:zorixnet", "query:kt352", "query:moi",
           "query:uicam", "query:ctp", "query:hds", "query:6801", "query:dh")


def wait_for_queries(sim, timeout: float = 20) -> None:
    deadline = time.time() + timeout
    while time.time() < deadline:
        seen = {entry.get("what") for entry in sim.received()}
        if all(q in seen for q in QUERIES):
            return
        time.sleep(0.3)
    seen = {entry.get("what") for entry in sim.received()}
    raise SystemExit(f"screenshot: queries never seen: {sorted(set(QUERIES) - seen)}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--zadari", help="the program (default build/dev/zadari)")
    parser.add_argument("--output", default=os.path.join(demo.ROOT, "docs", "screenshot.png"))
    parser.add_argument("--lan", help="language of the window (en cn b5 fr jp ru spa)")
    parser.add_argument("--scale", type=float, help="QT_SCALE_FACTOR, e.g. 2")
    parser.add_argument("--wait", type=float, default=4, help="seconds after the queries were seen")
    options = parser.parse_args()

    if not harness.e2e_available():
        print(f"screenshot: {harness.unavailable_reason()}", file=sys.stderr)
        return harness.SKIP
    if not shutil.which("Xvfb") or not shutil.which("import"):
        print("screenshot: needs Xvfb and ImageMagick's import", file=sys.stderr)
        return harness.SKIP
    zadari = demo.find_zadari(options.zadari)
    with harness.Topology() as topo:
        devices = demo.demo_devices()
        # An ONVIF camera, a camera still at its factory address (outside the adapter's subnet)
        # and a camera answering at the address of another: the list marks the last two.
        devices.append({"family": 100, "mac": "02:5A:20:00:20:64", "name": "Dome ONVIF"})
        devices.append({"family": 1, "mac": "02:5A:20:00:22:01", "name": "New PELTRA",
                        "ip": "192.168.1.108", "mask": "255.255.255.0", "gateway": "192.168.1.1"})
        devices.append({"family": 1, "mac": "02:5A:20:00:21:01", "name": "Spare PELTRA",
                        "ip": devices[1]["ip"], "mask": "255.255.255.0",
                        "gateway": devices[1]["gateway"]})
        sim = topo.start_camsim(devices, http=True)
        size = "2560x1720" if (options.scale or 1) > 1.5 else "1280x860"
        display, _ = demo.start_xvfb(topo, size)
        home = tempfile.mkdtemp(prefix="zadari-shot-", dir=topo.tmpdir)
        window = demo.start_window(topo, zadari, display, home, options.lan, options.scale)
        wid = demo.wait_for_window(topo, display, window)
        wait_for_queries(sim)
        time.sleep(options.wait)
        # The window id again: the first one may have belonged to a frame that was replaced.
        wid = demo.window_id(topo, display) or wid
        os.makedirs(os.path.dirname(os.path.abspath(options.output)), exist_ok=True)
        result = topo.pc.run(["env", f"DISPLAY={display}", "import", "-window", wid, options.output],
                             timeout=30)
        topo.stop(window)
        if result.returncode != 0 or not os.path.exists(options.output):
            print(f"screenshot: import failed: {result.stderr}", file=sys.stderr)
            return 1
        print(f"screenshot: {options.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
