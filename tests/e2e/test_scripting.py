#!/usr/bin/env python3
"""End-to-end tests of what scripts and services use in zadari-cli, inside namespaces:
`search --watch`, `--interface` and the password from the environment or a file.

    python3 tests/e2e/test_scripting.py --cli build/dev/zadari-cli [CASE ...]

Cases: watch, watch-sigterm, interface, password (all when none is named). Exit 0 when every
case passed, 1 when one failed, 77 when namespaces cannot be made here (not root, no iproute2).
"""

from __future__ import annotations

import argparse
import json
import os
import queue
import signal
import subprocess
import sys
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Failure, check, mac_key, describe  # noqa: E402

CLI = ""


def cli(topo: harness.Topology, *args: str, timeout: float = 60, **kwargs):
    return topo.pc.run([CLI, *args], timeout=timeout, **kwargs)


class Watch:
    """A running `zadari-cli search --watch`; its standard output read line by line."""

    def __init__(self, topo: harness.Topology, *extra: str):
        self.topo = topo
        self.stderr_path = topo.path(f"watch-{time.monotonic_ns()}.txt")
        self.process = topo.pc.popen([CLI, "search", "--watch", *extra], stdout=subprocess.PIPE,
                                     stderr=open(self.stderr_path, "wb"))
        self.lines: queue.Queue[bytes] = queue.Queue()
        self.seen: list[dict] = []
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self) -> None:
        assert self.process.stdout is not None
        for line in self.process.stdout:
            self.lines.put(line)
        self.lines.put(b"")  # end of output

    def next_event(self, timeout: float) -> dict | None:
        """The next line as JSON; None at the end of the output or when the time ran out."""
        try:
            line = self.lines.get(timeout=timeout)
        except queue.Empty:
            return None
        if not line:
            return None
        check(line.endswith(b"\n"), f"a line without its end: {line!r}")
        try:
            event = json.loads(line)
        except json.JSONDecodeError as error:
            raise Failure(f"not one JSON object per line ({error}): {line!r}")
        check(isinstance(event, dict), f"not an object: {line!r}")
        self.seen.append(event)
        return event

    def wait_for(self, event: str, key: str, timeout: float) -> dict:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            got = self.next_event(max(0.05, deadline - time.monotonic()))
            if got is None:
                break
            if got.get("event") == event and got.get("device", {}).get("macKey") == key:
                return got
        raise Failure(f"no {event!r} for {key} within {timeout} s; seen: {self.seen}\n"
                      f"stderr: {self.stderr()}")

    def stderr(self) -> str:
        with open(self.stderr_path, "r", errors="replace") as handle:
            return handle.read()

    def end(self, signum: int, timeout: float = 10) -> int:
        """Sends the signal to zadari-cli alone and waits for it to end."""
        self.process.send_signal(signum)
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"still running {timeout} s after signal {signum}")


# --- cases ---------------------------------------------------------------------------------

def case_watch(topo: harness.Topology) -> None:
    """A camera appears (added), renames itself (changed: name), falls silent (removed); SIGINT
    ends the watch with exit 0."""
    device = {"family": 5, "mac": "02:5A:90:00:00:05", "ip": "10.231.0.90", "name": "before",
              "httpPort": 8090}
    key = mac_key(device["mac"])
    watch = Watch(topo)
    time.sleep(1.5)
    check(watch.process.poll() is None, "the watch ended by itself: " + watch.stderr())
    check(watch.next_event(0.1) is None, f"events without a camera: {watch.seen}")
    sim = topo.start_camsim([device])

    added = watch.wait_for("added", key, 10)
    check(added["device"]["name"] == "before" and added["device"]["ip"] == device["ip"]
          and added["device"]["httpPort"] == 8090 and added["device"]["family"] == 5,
          f"added: {added}")
    check(set(added) == {"event", "device"}, f"added: {added}")

    sim.write_devices([dict(device, name="after")])
    changed = watch.wait_for("changed", key, 10)
    check("name" in changed["changed"], f"changed: {changed}")
    check(changed["previous"]["name"] == "before", f"changed: {changed}")
    check(changed["device"]["name"] == "after", f"changed: {changed}")
    check("age" not in changed["changed"], f"changed: {changed}")

    sim.write_devices([dict(device, name="after", silent=True)])
    started = time.monotonic()
    removed = watch.wait_for("removed", key, 20)
    check(removed["device"]["name"] == "after", f"removed: {removed}")
    check(time.monotonic() - started > 5, "removed before the row could age out")

    code = watch.end(signal.SIGINT)
    check(code == 0, f"SIGINT: exit {code}; stderr: {watch.stderr()}")
    check(watch.next_event(2) is None, f"lines after the end: {watch.seen[-1]}")
    check([e["event"] for e in watch.seen] == ["added", "changed", "removed"],
          f"events: {watch.seen}")


def case_watch_sigterm(topo: harness.Topology) -> None:
    """SIGTERM ends it too (exit 0), and a list that still has rows is not reported as removed."""
    devices = [{"family": 999, "mac": "02:5A:91:00:00:01", "ip": "10.231.0.91"},
               {"family": 6, "mac": "02:5A:91:00:00:02", "ip": "10.231.0.92"}]
    topo.start_camsim(devices)
    watch = Watch(topo, "--stats")
    for device in devices:
        watch.wait_for("added", mac_key(device["mac"]), 10)
    code = watch.end(signal.SIGTERM)
    check(code == 0, f"SIGTERM: exit {code}; stderr: {watch.stderr()}")
    check(watch.next_event(2) is None, f"lines after SIGTERM: {watch.seen[-1]}")
    check("rows: 2" in watch.stderr(), "no --stats at the end: " + watch.stderr())
    # A watch with --seconds ends by itself.
    result = cli(topo, "search", "--watch", "--seconds", "1.5", timeout=30)
    check(result.returncode == 0, describe(result))
    events = [json.loads(line) for line in result.stdout.splitlines()]
    check(sorted(e["device"]["macKey"] for e in events) == sorted(mac_key(d["mac"]) for d in devices)
          and all(e["event"] == "added" for e in events), describe(result))


def case_interface(topo: harness.Topology) -> None:
    """--interface zv0 finds and reaches only the cameras behind zv0; the other camera hears
    nothing at all. An unknown name is a usage error that names the adapters."""
    behind = [[{"family": 1, "mac": "02:5A:92:00:00:01", "ip": "10.231.0.93"},
               {"family": 6, "mac": "02:5A:92:00:00:02", "ip": "10.231.0.94"},
               {"family": 9, "mac": "02:5A:92:00:00:09", "ip": "10.231.0.95"}],
              [{"family": 5, "mac": "02:5A:93:00:00:05", "ip": "10.231.1.93"},
               {"family": 6, "mac": "02:5A:93:00:00:06", "ip": "10.231.1.94"},
               {"family": 9, "mac": "02:5A:93:00:00:09", "ip": "10.231.1.95"}]]
    sims = [topo.start_camsim(behind[0], camera=0), topo.start_camsim(behind[1], camera=1)]
    for k in (0, 1):
        heard_before = [len(sim.received()) for sim in sims]
        result = cli(topo, "search", "--seconds", "3.5", "--format", "json", "--interface", f"zv{k}")
        check(result.returncode == 0, describe(result))
        found = sorted(row["macKey"] for row in json.loads(result.stdout))
        check(found == sorted(mac_key(d["mac"]) for d in behind[k]),
              f"--interface zv{k}: {found}\n{describe(result)}")
        time.sleep(0.3)
        other = sims[1 - k]
        check(len(other.received()) == heard_before[1 - k],
              f"--interface zv{k}: the camera behind zv{1 - k} received "
              f"{other.received()[heard_before[1 - k]:]}")
        check(len(sims[k].received()) > heard_before[k], f"zv{k}'s camera heard nothing")

    # An apply limited to the other adapter does not find the device; limited to its own it
    # applies (the family-9 client's settings request leaves through that adapter alone).
    target = behind[1][2]
    result = cli(topo, "apply", "--mac", target["mac"], "--ip", "10.231.1.195", "--seconds", "2",
                 "--interface", "zv0")
    check(result.returncode == 3, describe(result))
    result = cli(topo, "apply", "--mac", target["mac"], "--ip", "10.231.1.195", "--seconds", "4",
                 "--interface", "zv1")
    check(result.returncode == 0 and "sent through the family-9 client" in result.stdout,
          describe(result))
    check([d["ip"] for d in sims[1].state() if mac_key(d["mac"]) == mac_key(target["mac"])]
          == ["10.231.1.195"],
          f"not applied: {sims[1].state()}")
    check(all(entry.get("what") != "command:dh" for entry in sims[0].received()),
          "the settings request reached zv0's camera")

    for command in (["search"], ["apply", "--mac", target["mac"]],
                    ["upgrade", "--mac", target["mac"], "--file", "/dev/null"]):
        heard_before = [len(sim.received()) for sim in sims]
        result = cli(topo, *command, "--interface", "eth7")
        check(result.returncode == 2, f"{command}: " + describe(result))
        lines = result.stderr.splitlines()
        check(len(lines) == 1 and "eth7" in lines[0] and "zv0, zv1" in lines[0],
              f"{command}: " + describe(result))
        time.sleep(0.2)
        check([len(sim.received()) for sim in sims] == heard_before, f"{command}: sent something")
    result = cli(topo, "search", "--sdk", "--interface", "zv0")
    check(result.returncode == 2 and "--sdk" in result.stderr, describe(result))


def case_password(topo: harness.Topology) -> None:
    """The password reaches the device's check from ZADARI_PASSWORD, --password-file FILE and
    --password-file - (standard input); --password wins over the environment."""
    device = {"family": 9, "mac": "02:5A:94:00:00:09", "ip": "10.231.0.96", "name": "locked",
              "checkPassword": "s3cret"}
    sim = topo.start_camsim([device])
    environment = {key: value for key, value in os.environ.items() if key != "ZADARI_PASSWORD"}
    step = [100]

    def apply(*extra: str, env: dict | None = None, input: str | None = None):
        step[0] += 1
        new_ip = f"10.231.0.{step[0]}"
        result = cli(topo, "apply", "--mac", device["mac"], "--ip", new_ip, "--seconds", "4", *extra,
                     env=env or environment, input=input)
        now = [d["ip"] for d in sim.state() if mac_key(d["mac"]) == mac_key(device["mac"])]
        return result, now == [new_ip]

    result, applied = apply()
    check(result.returncode == 1 and not applied, "no password: " + describe(result))
    result, applied = apply(env=dict(environment, ZADARI_PASSWORD="s3cret"))
    check(result.returncode == 0 and applied, "ZADARI_PASSWORD: " + describe(result))
    result, applied = apply("--password-file", "-", input="s3cret\n")
    check(result.returncode == 0 and applied, "--password-file -: " + describe(result))
    path = topo.path("password.txt")
    with open(path, "w") as handle:
        handle.write("s3cret\r\nsecond line\n")
    result, applied = apply("--password-file", path)
    check(result.returncode == 0 and applied, "--password-file FILE: " + describe(result))
    result, applied = apply("--password", "wrong", env=dict(environment, ZADARI_PASSWORD="s3cret"))
    check(result.returncode == 1 and not applied, "--password over the environment: " + describe(result))
    result, applied = apply("--password-file", "-", input="wrong\n",
                            env=dict(environment, ZADARI_PASSWORD="s3cret"))
    check(result.returncode == 1 and not applied, "--password-file over the environment: " + describe(result))

    usage = [(["--password", "x", "--password-file", path], {}, "give the password once"),
             (["--password-file", topo.path("missing")], {}, "cannot read the password"),
             ([], {"ZADARI_PASSWORD": "fourteen-chars"}, "ZADARI_PASSWORD takes at most 13")]
    for extra, variables, text in usage:
        result, applied = apply(*extra, env=dict(environment, **variables))
        lines = result.stderr.splitlines()
        check(result.returncode == 2 and not applied and len(lines) == 1 and text in lines[0],
              f"{extra} {variables}: " + describe(result))


CASES = {
    "watch": (case_watch, {}),
    "watch-sigterm": (case_watch_sigterm, {}),
    "interface": (case_interface, {"cameras": 2}),
    "password": (case_password, {}),
}


def main() -> int:
    global CLI
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True, help="the zadari-cli program")
    parser.add_argument("cases", nargs="*", help="cases to run (default: all)")
    options = parser.parse_args()
    CLI = os.path.abspath(options.cli)
    harness.skip_unless_available()
    if not os.access(CLI, os.X_OK):
        print(f"no zadari-cli at {CLI}")
        return 1
    names = options.cases or list(CASES)
    failed = []
    for name in names:
        if name not in CASES:
            print(f"unknown case {name}; cases: {', '.join(CASES)}")
            return 1
        run, topology = CASES[name]
        started = time.monotonic()
        try:
            with harness.Topology(**topology) as topo:
                run(topo)
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except Exception:  # noqa: BLE001 - report every case
            failed.append(name)
            print(f"FAIL {name}\n{traceback.format_exc()}", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
