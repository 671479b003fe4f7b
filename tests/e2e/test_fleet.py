#!/usr/bin/env python3
"""End-to-end tests of re-addressing many cameras (`zadari-cli plan`, `zadari-cli apply --plan`)
against the camera simulator, inside namespaces.

    python3 tests/e2e/test_fleet.py --cli build/dev/zadari-cli [CASE ...]

Cases: fleet (50 cameras of mixed families, one unknown MAC, one camera that refuses the
account), refused (plans that must send nothing), plan (the range written by `plan`).
Exit 0 when every case passed, 1 when one failed, 77 when namespaces cannot be made here.
"""

from __future__ import annotations

import argparse
import collections
import json
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_apply  # noqa: E402
from harness import check, describe, mac_key  # noqa: E402

SUBNET = "10.231.0"
# The families whose command is a datagram of ours, each with a MAC written as it sends it.
FAMILIES = [0, 1, 2, 3, 5, 6, 8, 999]


def mac_of(index: int, family: int) -> str:
    if family == 2:
        return f"025AF1{index:06X}"  # MO_I sends the MAC as text of at most 13 characters
    return f"02:5A:F1:00:{index >> 8:02X}:{index & 0xFF:02X}"


def colon(mac: str) -> str:
    key = mac_key(mac)
    return ":".join(key[i:i + 2] for i in range(0, 12, 2))


def device(index: int, family: int, ip: str, **extra) -> dict:
    record = {"family": family, "mac": mac_of(index, family), "name": f"f{index}", "ip": ip,
              "mask": "255.255.255.0", "gateway": f"{SUBNET}.1", "httpPort": 80, "ipMode": 2}
    if family == 8:
        record["version"] = "10.2.1"
    record.update(extra)
    return record


def write_plan(topo: harness.Topology, name: str, lines: list[str]) -> str:
    path = topo.path(name)
    with open(path, "w", encoding="utf-8") as plan:
        plan.write("mac,ip,mask,gateway,name\n" + "".join(line + "\n" for line in lines))
    return path


def applied_per_device(sim: harness.CamSim) -> collections.Counter:
    """Setting commands the simulator's devices received, counted per device."""
    return collections.Counter(e.get("device") for e in sim.log(kind="apply") if e.get("device"))


def case_fleet(topo: harness.Topology) -> None:
    devices = [device(i, FAMILIES[i % len(FAMILIES)], f"{SUBNET}.{10 + i}") for i in range(50)]
    # This camera takes commands only with another account: it never answers at its new address.
    devices[4] = device(4, 5, f"{SUBNET}.14", checkUser="other", checkPassword="other")
    sim = topo.start_camsim(devices)
    lines = [f"{colon(d['mac'])},{SUBNET}.{110 + i},,," for i, d in enumerate(devices)]
    lines.append(f"02:5A:F1:00:FF:FF,{SUBNET}.200,,,")  # nobody has this MAC
    plan = write_plan(topo, "plan.csv", lines)
    report = topo.path("report.json")
    started = time.monotonic()
    result = test_apply.cli(topo, "apply", "--plan", plan, "--report", report, "--seconds", "6",
                            "--verify-seconds", "8", timeout=180)
    took = time.monotonic() - started
    check(result.returncode == 1, "an unverified camera and an unknown MAC: " + describe(result))
    with open(report, encoding="utf-8") as file:
        rows = json.load(file)
    status = {row["mac"]: row["status"] for row in rows}
    check(len(rows) == 51, f"{len(rows)} report rows")
    check(status.get("02:5A:F1:00:FF:FF") == "not-found", f"unknown MAC: {status}")
    refused = colon(devices[4]["mac"])
    check(status.get(refused) == "unverified", f"the refusing camera: {status.get(refused)}")
    verified = [mac for mac, word in status.items() if word == "verified"]
    check(len(verified) == 49, f"{len(verified)} verified: {rows}")
    for row in rows:
        check(set(row) >= {"mac", "ip", "status", "detail"}, f"report row {row}")
    time.sleep(0.5)  # let the simulator log what it got
    per_device = applied_per_device(sim)
    for d in devices:
        check(per_device[mac_key(d["mac"])] == 1,
              f"{d['mac']} (family {d['family']}) got {per_device[mac_key(d['mac'])]} commands")
    state = {mac_key(d["mac"]): d for d in sim.state()}
    for i, d in enumerate(devices):
        want = f"{SUBNET}.14" if i == 4 else f"{SUBNET}.{110 + i}"
        check(state[mac_key(d["mac"])]["ip"] == want, f"{d['mac']}: {state[mac_key(d['mac'])]}")
    print(f"  50 cameras re-addressed and verified in {took:.1f} s", flush=True)


def case_refused(topo: harness.Topology) -> None:
    devices = [device(i, 1, f"{SUBNET}.{10 + i}") for i in range(3)]
    devices.append(device(3, 7, f"{SUBNET}.13", version="4.5.6"))  # family 7 has no command
    sim = topo.start_camsim(devices)
    plans = {
        "duplicate address": [f"{colon(devices[0]['mac'])},{SUBNET}.50,,,",
                              f"{colon(devices[1]['mac'])},{SUBNET}.50,,,"],
        "family 7": [f"{colon(devices[0]['mac'])},{SUBNET}.51,,,",
                     f"{colon(devices[3]['mac'])},{SUBNET}.52,,,"],
        "address in use": [f"{colon(devices[0]['mac'])},{SUBNET}.11,,,"],
        "unreadable line": [f"{colon(devices[0]['mac'])},{SUBNET}.300,,,"],
    }
    for what, lines in plans.items():
        result = test_apply.cli(topo, "apply", "--plan", write_plan(topo, "bad.csv", lines),
                                "--seconds", "3")
        check(result.returncode == 2, f"{what}: " + describe(result))
        check(result.stderr.strip(), f"{what}: no problem named: " + describe(result))
    good = write_plan(topo, "good.csv", [f"{colon(devices[0]['mac'])},{SUBNET}.60,,,",
                                         f"{colon(devices[1]['mac'])},{SUBNET}.10,,,"])
    result = test_apply.cli(topo, "apply", "--plan", good, "--dry-run", "--seconds", "3")
    check(result.returncode == 0, "dry run: " + describe(result))
    lines = result.stdout.splitlines()
    # Camera 0 leaves .10 before camera 1 takes it.
    check(len(lines) == 2 and f"to {SUBNET}.60" in lines[0] and f"to {SUBNET}.10" in lines[1],
          "dry run order: " + describe(result))
    time.sleep(0.3)
    check(test_apply.commands(sim) == [], f"setting commands were sent: {test_apply.commands(sim)}")


def case_plan(topo: harness.Topology) -> None:
    devices = [device(i, 1, f"{SUBNET}.{10 + i}") for i in range(3)]
    devices.append(device(3, 7, f"{SUBNET}.13", version="4.5.6"))
    topo.start_camsim(devices)
    out = topo.path("made.csv")
    result = test_apply.cli(topo, "plan", "--range", f"{SUBNET}.10-{SUBNET}.20", "--mask",
                            "255.255.255.0", "--output", out, "--seconds", "2")
    check(result.returncode == 0, describe(result))
    with open(out, encoding="utf-8") as file:
        lines = file.read().splitlines()
    check(lines[0] == "mac,ip,mask,gateway,name", f"header: {lines}")
    planned = {line.split(",")[0]: line.split(",")[1] for line in lines[1:]}
    # The family-7 camera is left out; the others get .14, .15, .16 (.10 to .13 are in use).
    check(sorted(planned.values()) == [f"{SUBNET}.14", f"{SUBNET}.15", f"{SUBNET}.16"],
          f"plan: {lines}")
    check(colon(devices[3]["mac"]) not in planned, f"family 7 planned: {lines}")


CASES = {"fleet": case_fleet, "refused": case_refused, "plan": case_plan}


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True, help="the zadari-cli program")
    parser.add_argument("cases", nargs="*", help="cases to run (default: all)")
    options = parser.parse_args()
    test_apply.CLI = os.path.abspath(options.cli)
    harness.skip_unless_available()
    failed = []
    for name in options.cases or list(CASES):
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
