#!/usr/bin/env python3
"""Shows the Zadari window at work without a single real camera (needs root and iproute2).

    sudo python3 tests/e2e/demo.py [--zadari build/dev/zadari] [--xvfb] [--lan CODE]
                                   [--scale F] [--seconds N]

It builds the test namespaces of harness.py, starts the camera simulator with a dozen cameras of
every family (their web pages and firmware uploads included), and starts the window inside the
"pc" namespace, so all its discovery traffic stays between the namespaces. The window appears
on the current DISPLAY (a local X server); with --xvfb, or without a DISPLAY, it runs on a
private Xvfb display where nobody sees it (tests/e2e/screenshot.py takes a picture of it). Close the window, or press Ctrl+C, to end; everything the
demo made is removed again.
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINDOW_TITLE = "ZI Zadari Rurova"


def demo_devices(base: str = "10.231.0") -> list[dict]:
    """Twelve cameras: one of every family the simulator plays, and two more."""
    plan = [
        (0, "Lobby KT352"), (1, "Gate PELTRA"), (2, "Garage MO_I"), (3, "Yard uicam"),
        (5, "Hall CTP"), (6, "Roof HDS"), (7, "Dock ZORIX"), (8, "Shop 6801"),
        (9, "Office DH"), (999, "Archive NAS"), (1, "Stairs PELTRA"), (6, "Entrance HDS"),
    ]
    devices = []
    for index, (family, name) in enumerate(plan):
        device = {
            "family": family,
            # MO_I devices carry their MAC as text of at most 13 characters: no separators.
            "mac": (f"025A2000{index:02X}{family % 256:02X}" if family == 2
                    else f"02:5A:20:00:{index:02X}:{family % 256:02X}"),
            "name": name[:15],
            "ip": f"{base}.{20 + index}",
            "mask": "255.255.255.0",
            "gateway": f"{base}.1",
            "httpPort": 80 if index % 3 else 8080,
            "ipMode": 1 if index % 4 == 1 else 2,
        }
        if family == 8:
            device["version"] = "10.2.1"
        devices.append(device)
    return devices


def find_zadari(path: str | None) -> str:
    candidates = [path] if path else [os.path.join(ROOT, "build", "dev", "zadari"),
                                      os.path.join(ROOT, "build", "release", "zadari"),
                                      shutil.which("zadari") or ""]
    for candidate in candidates:
        if candidate and os.access(candidate, os.X_OK):
            return os.path.abspath(candidate)
    raise SystemExit(f"zadari not found (tried {', '.join(c for c in candidates if c)}); "
                     "build it first: cmake --build --preset dev --target zadari")


def start_xvfb(topo: harness.Topology, size: str = "1280x860") -> tuple[str, subprocess.Popen]:
    """A private X server inside the pc namespace; returns its DISPLAY and process."""
    if not shutil.which("Xvfb"):
        raise SystemExit("Xvfb is not installed (apt-get install xvfb)")
    for number in range(91, 140):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
            break
    else:
        raise SystemExit("no free X display number")
    display = f":{number}"
    process = topo.pc.popen(["Xvfb", display, "-screen", "0", f"{size}x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.time() + 10
    while time.time() < deadline:
        if os.path.exists(f"/tmp/.X11-unix/X{number}"):
            time.sleep(0.3)
            return display, process
        if process.poll() is not None:
            break
        time.sleep(0.1)
    raise SystemExit("Xvfb did not start")


def window_id(topo: harness.Topology, display: str, title: str = WINDOW_TITLE) -> str | None:
    """The X window id of the top-level window with this title, if it is mapped."""
    result = topo.pc.run(["env", f"DISPLAY={display}", "xwininfo", "-root", "-tree"], timeout=10)
    # Qt also names a 1x1 leader window after the title; the real one carries the class.
    for line in result.stdout.splitlines():
        if f'"{title}"' in line and '("zadari"' in line:
            return line.split()[0]
    return None


def start_window(topo: harness.Topology, zadari: str, display: str, home: str,
                 lan: str | None = None, scale: float | None = None,
                 extra_env: dict | None = None, args: tuple = ()) -> subprocess.Popen:
    """Starts the program in the pc namespace with its own configuration folder."""
    config = os.path.join(home, "config")
    os.makedirs(os.path.join(config, "zadari"), exist_ok=True)
    if lan:
        with open(os.path.join(config, "zadari", "option.ini"), "w", encoding="ascii") as f:
            f.write(f"[Global]\r\nlan={lan}\r\n")
    env = {"DISPLAY": display, "XDG_CONFIG_HOME": config, "HOME": home,
           "XDG_RUNTIME_DIR": home, "QT_QPA_PLATFORM": "xcb", "LANG": "C.UTF-8"}
    if os.environ.get("XAUTHORITY"):
        env["XAUTHORITY"] = os.environ["XAUTHORITY"]
    if scale:
        env["QT_SCALE_FACTOR"] = str(scale)
    env.update(extra_env or {})
    command = ["env"] + [f"{k}={v}" for k, v in env.items()] + [zadari, *args]
    return topo.pc.popen(command, stdout=subprocess.DEVNULL, stderr=open(os.path.join(home, "zadari.err"), "wb"))


def wait_for_window(topo: harness.Topology, display: str, process: subprocess.Popen,
                    timeout: float = 20) -> str:
    deadline = time.time() + timeout
    while time.time() < deadline:
        if process.poll() is not None:
            raise SystemExit(f"zadari ended early with {process.returncode}")
        wid = window_id(topo, display)
        if wid:
            return wid
        time.sleep(0.2)
    raise SystemExit("the window did not appear")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--zadari", help="the program (default build/dev/zadari)")
    parser.add_argument("--xvfb", action="store_true", help="use a private Xvfb instead of DISPLAY")
    parser.add_argument("--lan", help="start in this language (en cn b5 fr jp ru spa)")
    parser.add_argument("--scale", type=float, help="QT_SCALE_FACTOR, e.g. 2 for 200 %%")
    parser.add_argument("--seconds", type=float, default=0, help="end after N seconds (0: when closed)")
    options = parser.parse_args()

    if not harness.e2e_available():
        print(f"demo: {harness.unavailable_reason()}", file=sys.stderr)
        return harness.SKIP
    zadari = find_zadari(options.zadari)
    with harness.Topology() as topo:
        sim = topo.start_camsim(demo_devices(), http=True)
        display = os.environ.get("DISPLAY", "")
        if options.xvfb or not display:
            display, _ = start_xvfb(topo)
            print(f"demo: the window runs on the private display {display} "
                  "(take a picture with tests/e2e/screenshot.py)")
        home = tempfile.mkdtemp(prefix="zadari-demo-", dir=topo.tmpdir)
        window = start_window(topo, zadari, display, home, options.lan, options.scale)
        print(f"demo: {len(demo_devices())} simulated cameras on 10.231.0.20-31; "
              "close the window or press Ctrl+C to end")
        started = time.time()
        try:
            while window.poll() is None:
                if options.seconds and time.time() - started > options.seconds:
                    break
                time.sleep(0.5)
        except KeyboardInterrupt:
            pass
        topo.stop(window)
        applied = [e for e in sim.log(kind="apply") if e.get("applied")]
        uploads = sim.log(kind="upload")
        print(f"demo: {len(applied)} setting command(s) applied, {len(uploads)} upload(s) received")
    return 0


if __name__ == "__main__":
    sys.exit(main())
