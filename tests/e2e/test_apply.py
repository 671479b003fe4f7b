#!/usr/bin/env python3
"""End-to-end tests of `zadari-cli apply` against the camera simulator, inside namespaces.

    python3 tests/e2e/test_apply.py --cli build/dev/zadari-cli [CASE ...]

Cases: families, not-applied, hds-gateway, family9, not-found, usage (all when none is named).
Exit 0 when every case passed, 1 when one failed, 77 when namespaces cannot be made here (not
root, no iproute2).
"""

from __future__ import annotations

import argparse
import json
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Failure, check, mac_key, describe  # noqa: E402

CLI = ""
SUBNET = "10.231.0"


def cli(topo: harness.Topology, *args: str, timeout: float = 60):
    """Runs zadari-cli in the pc namespace; returns the completed process."""
    return topo.pc.run([CLI, *args], timeout=timeout)


def apply(topo: harness.Topology, mac: str, *options: str, seconds: float = 5):
    return cli(topo, "apply", "--mac", mac, "--seconds", str(seconds), *options)


def search_json(topo: harness.Topology, seconds: float = 3) -> list[dict]:
    result = cli(topo, "search", "--seconds", str(seconds), "--format", "json")
    check(result.returncode == 0, "search failed: " + describe(result))
    try:
        return json.loads(result.stdout)
    except json.JSONDecodeError as error:
        raise Failure(f"not JSON ({error}):\n{result.stdout}")


def commands(sim: harness.CamSim) -> list[dict]:
    """The setting commands the simulator received (not the queries or answers)."""
    return [entry for entry in sim.received() if entry.get("what", "").startswith("command:")]


# --- cases ---------------------------------------------------------------------------------

# family: (MAC, whether the command carries the name, the port to set)
BROADCAST_FAMILIES = {
    0: ("02:5A:A0:00:00:00", True, 8081),  # KT352 sends four characters of the port
    1: ("02:5A:A0:00:00:01", True, 8101),
    2: ("025AA0000002", False, 8102),  # MO_I: the MAC is text of at most 13 characters
    3: ("02:5A:A0:00:00:03", False, 8103),
    5: ("02:5A:A0:00:00:05", True, 8105),
    6: ("02:5A:A0:00:00:06", True, 8106),
    8: ("02:5A:A0:00:00:08", True, 8108),
    999: ("02:5A:A0:00:03:E7", False, 8199),
}


def case_families(topo: harness.Topology) -> None:
    devices = []
    for index, (family, (mac, _, _)) in enumerate(BROADCAST_FAMILIES.items()):
        device = {"family": family, "mac": mac, "name": f"old{family}", "ip": f"{SUBNET}.{40 + index}",
                  "mask": "255.255.255.0", "gateway": f"{SUBNET}.1", "httpPort": 80, "ipMode": 2}
        if family == 8:
            device["version"] = "10.2.1"
        devices.append(device)
    sim = topo.start_camsim(devices)

    wanted = {}
    for index, (family, (mac, has_name, port)) in enumerate(BROADCAST_FAMILIES.items()):
        new_ip = f"{SUBNET}.{140 + index}"
        options = ["--ip", new_ip, "--port", str(port)]
        if has_name:
            options += ["--name", f"new{family}"]
        before = len(commands(sim))
        result = apply(topo, mac, *options)
        check(result.returncode == 0, f"family {family}: " + describe(result))
        check(result.stdout.startswith("applied: family %d" % family), f"family {family}: " + describe(result))
        check("sent 2" in result.stdout, f"family {family}: no sent line: " + describe(result))
        time.sleep(0.3)  # let the simulator log what it got
        received = commands(sim)[before:]
        check(received, f"family {family}: the simulator received no command")
        applied = [e for e in sim.log(kind="apply") if e.get("device") == mac_key(mac) and e["applied"]]
        check(applied, f"family {family}: the simulator applied nothing: {sim.log(kind='apply')}")
        wanted[mac_key(mac)] = (family, new_ip, port, f"new{family}" if has_name else f"old{family}")

    rows = {row["macKey"]: row for row in search_json(topo, 3)}
    for key, (family, ip, port, name) in wanted.items():
        check(key in rows, f"family {family} ({key}) not listed after the apply: {list(rows)}")
        row = rows[key]
        check(row["ip"] == ip, f"family {family}: ip {row['ip']!r}, want {ip!r}")
        check(row["httpPort"] == port, f"family {family}: httpPort {row['httpPort']}, want {port}")
        if family != 3:  # the uicam reply carries no name
            check(row["name"] == name, f"family {family}: name {row['name']!r}, want {name!r}")


def case_not_applied(topo: harness.Topology) -> None:
    zorix = {"family": 7, "mac": "02:5A:B0:00:00:07", "ip": f"{SUBNET}.60", "version": "4.5.6"}
    old_peltra = {"family": 1, "mac": "02:5A:B0:00:00:01", "ip": f"{SUBNET}.61", "protocolVersion": 1}
    sim = topo.start_camsim([zorix, old_peltra])
    for device in (zorix, old_peltra):
        result = apply(topo, device["mac"], "--ip", f"{SUBNET}.160", seconds=4)
        check(result.returncode == 1, f"family {device['family']}: " + describe(result))
        check(result.stdout.startswith("not applied:"), describe(result))
        check("nothing sent" in result.stdout, describe(result))
    time.sleep(0.3)
    check(commands(sim) == [], f"setting commands were sent: {commands(sim)}")
    state = {mac_key(d["mac"]): d for d in sim.state()}
    for device in (zorix, old_peltra):
        check(state[mac_key(device["mac"])]["ip"] == device["ip"], f"changed: {state}")


def case_hds_gateway(topo: harness.Topology) -> None:
    device = {"family": 6, "mac": "02:5A:C0:00:00:06", "ip": f"{SUBNET}.62"}
    sim = topo.start_camsim([device])
    result = apply(topo, device["mac"], "--gateway", "0.0.0.0", "--ip", f"{SUBNET}.162")
    check(result.returncode == 2, describe(result))
    check("Please fill Gateway." in result.stdout + result.stderr, describe(result))
    check("nothing sent" in result.stdout, describe(result))
    time.sleep(0.3)
    check(commands(sim) == [], f"setting commands were sent: {commands(sim)}")


def case_family9(topo: harness.Topology) -> None:
    device = {"family": 9, "mac": "02:5A:D0:00:00:09", "ip": f"{SUBNET}.63", "name": "dh"}
    sim = topo.start_camsim([device])
    result = apply(topo, device["mac"], "--ip", f"{SUBNET}.163", "--name", "dh2")
    check(result.returncode == 0, describe(result))
    check("sent through the family-9 client" in result.stdout, describe(result))
    time.sleep(0.3)
    state = {mac_key(d["mac"]): d for d in sim.state()}
    now = state[mac_key(device["mac"])]
    check(now["ip"] == f"{SUBNET}.163" and now["name"] == "dh2", f"not applied: {now}")
    rows = {row["macKey"]: row for row in search_json(topo, 2)}
    row = rows.get(mac_key(device["mac"]))
    check(row is not None and row["ip"] == f"{SUBNET}.163" and row["name"] == "dh2",
          f"not listed with the new settings: {rows}")


def case_not_found(topo: harness.Topology) -> None:
    topo.start_camsim([{"family": 999, "mac": "02:5A:E0:00:00:01", "ip": f"{SUBNET}.64"}])
    started = time.monotonic()
    result = apply(topo, "02:5A:E0:00:00:99", "--ip", f"{SUBNET}.164", seconds=1.5)
    check(result.returncode == 3, describe(result))
    check(time.monotonic() - started < 10, "did not give up after its seconds")
    # Another way of writing the listed MAC still finds it (by its key).
    result = apply(topo, "025ae0000001", "--port", "8080", seconds=4)
    check(result.returncode == 0, describe(result))


def case_usage(topo: harness.Topology) -> None:
    for args in (["--ip", "10.0.0.1"], ["--mac", "02:5A:E0:00:00:01", "--port", "70000"],
                 ["--mac", "02:5A:E0:00:00:01", "--mode", "auto"],
                 ["--mac", "02:5A:E0:00:00:01", "--ip", "10.0.0"],
                 ["--mac", "02:5A:E0:00:00:01", "--user", "fourteen-chars"],
                 ["--mac", "02:5A:E0:00:00:01", "--bogus"]):
        result = cli(topo, "apply", *args)
        check(result.returncode == 2, f"{args}: " + describe(result))
    # What the panel does not let one change is refused once the device is known.
    sim = topo.start_camsim([{"family": 2, "mac": "025AE0000002", "ip": f"{SUBNET}.65"},
                             {"family": 0, "mac": "02:5A:E0:00:00:00", "ip": f"{SUBNET}.66"}])
    result = apply(topo, "025AE0000002", "--name", "x", seconds=4)
    check(result.returncode == 2, describe(result))
    # KT352 carries four port characters: 10080 would become 1008, so it is refused by name.
    result = apply(topo, "02:5A:E0:00:00:00", "--port", "10080", seconds=4)
    check(result.returncode == 2, describe(result))
    lines = [line for line in result.stderr.splitlines() if line.strip()]
    check(len(lines) == 1 and "10080" in lines[0], describe(result))
    time.sleep(0.3)
    check(commands(sim) == [], f"setting commands were sent: {commands(sim)}")


CASES = {
    "families": case_families,
    "not-applied": case_not_applied,
    "hds-gateway": case_hds_gateway,
    "family9": case_family9,
    "not-found": case_not_found,
    "usage": case_usage,
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
        started = time.monotonic()
        try:
            with harness.Topology() as topo:
                CASES[name](topo)
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except Exception:  # noqa: BLE001 - report every case
            failed.append(name)
            print(f"FAIL {name}\n{traceback.format_exc()}", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
